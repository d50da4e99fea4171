// The process-wide registry of open tables.
//
// All Table objects of the process that have the same file open share one
// SharedTable: one open .DBF, one open production index, one operating-
// system lock. Every change of a record goes through it, so the file, its
// index and every object on it stay in step, and each object hears
// DataChanged at once. The lock is exclusive while any exclusive object is
// attached, shared otherwise; it only keeps other programs out.
#pragma once
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/checked_tables.h"
#include "store/code_page.h"
#include "store/dbf_file.h"
#include "store/mdx_file.h"

namespace store {

struct TableImpl;

// One tag of the production index as the table uses it.
struct TagInfo {
  std::string name;   // as the index stores it
  int field = -1;     // the field it orders by; -1 when the expression is
                      // not a plain field of the table
  char keyType = 'C';
  int keyLength = 0;
};

class SharedTable {
 public:
  // Opens the table (or joins the objects that already have it open) and
  // takes the lock that "exclusive" asks for. Throws StoreError.
  // A staged table (one being built under a staging name, seen by nobody
  // else) keeps its changes in memory until Finish, and has no journal.
  static std::shared_ptr<SharedTable> Acquire(const std::filesystem::path& dbfPath,
                                              const std::string& label, bool exclusive,
                                              TableImpl* user, bool staged = false);
  // True while some object of this process has the file open.
  static bool IsOpenInProcess(const std::filesystem::path& dbfPath);

  ~SharedTable();
  SharedTable(const SharedTable&) = delete;
  SharedTable& operator=(const SharedTable&) = delete;

  void Detach(TableImpl* user, bool exclusive);

  const std::string& Label() const { return label_; }
  const DbfFile& Dbf() const { return dbf_; }
  const std::vector<DbfField>& Fields() const { return dbf_.Fields(); }
  uint32_t RecordCount() const { return dbf_.RecordCount(); }
  // Increases with every change, so that cached records can be checked.
  uint64_t Generation() const { return generation_; }

  void ReadRecord(uint32_t recno, std::string& out) const { dbf_.ReadRecord(recno, out); }
  bool IsDeleted(uint32_t recno) const;

  // Record changes, with the index kept in step and every attached object
  // told (DataChanged). Outside a transaction each change is committed
  // (on disk, synced) before it returns; a failure undoes every change
  // since the last commit.
  uint32_t Append(const std::string& record);
  void Update(uint32_t recno, const std::string& record);
  void Delete(uint32_t recno);

  // Tags.
  const std::vector<TagInfo>& Tags() const { return tags_; }
  // The tag of that name (letter case ignored; a name longer than a tag
  // name matches by its first characters); -1 when there is none.
  int FindTag(const std::string& name) const;
  MdxKey KeyOf(int tag, const std::string& record) const;
  MdxEntry EntryOf(int tag, uint32_t recno) const;
  int CompareKeys(int tag, const MdxKey& a, const MdxKey& b) const;
  std::optional<MdxEntry> IndexFirst(int tag) const;
  std::optional<MdxEntry> IndexLast(int tag) const;
  std::optional<MdxEntry> IndexNext(int tag, const MdxEntry& after) const;
  std::optional<MdxEntry> IndexPrior(int tag, const MdxEntry& before) const;
  std::optional<MdxEntry> IndexLowerBound(int tag, const MdxKey& key) const;

  // False for an entry left behind by an interrupted change: its record is
  // deleted, or its key is not the record's key.
  bool EntryIsLive(int tag, const MdxEntry& entry, const std::string& record) const;

  // The tag's entries leaf after leaf (MdxFile::ForEachLeaf), and the
  // same test as EntryIsLive on an entry as the index stores it.
  template <typename Visit>
  void ForEachIndexLeaf(int tag, Visit&& visit) const {
    EnsureIndex();
    mdx_->ForEachLeaf(tag, visit);
  }
  int StoredKeyLength(int tag) const { return mdx_->StoredKeyLength(tag); }
  bool StoredEntryIsLive(int tag, const char* storedKey, uint32_t recno,
                         const std::string& record) const;

  const std::vector<TableImpl*>& Users() const { return users_; }

  // Transactions: changes made between Begin and CommitTransaction are
  // committed as one; RollbackTransaction forgets them (every attached
  // object is told). Transactions nest; only the outermost commits.
  void Begin();
  // Within a transaction, on a table without records whose index is
  // empty: the records appended from now on are indexed at once, from the
  // records themselves, instead of one entry at a time. Until then the
  // index is left alone by every change; it is built before anything
  // reads it and before the transaction commits, so that no reader sees
  // it behind the records and the committed table and index are whole
  // together. False (and nothing changes) when the table does not qualify.
  bool DeferIndex();
  bool IndexDeferred() const { return indexDeferred_; }
  void CommitTransaction();
  void RollbackTransaction();
  bool InTransaction() const { return transactionDepth_ > 0; }
  // Writes a staged table's pages to its file (synced); nothing for
  // others.
  void Finish();
  bool Staged() const { return staged_; }

  // The character set of the table's text: records and index keys stay in
  // it; the dataset layer converts texts to and from code page 1252.
  const CodePage& Text() const { return codePage_; }

 private:
  SharedTable() = default;
  void Attach(TableImpl* user, bool exclusive);
  void OpenIndex();
  // True when this process remembers the table whole and both files still
  // hold that content (which is then kept as contentAtOpen_).
  bool StillAsRemembered(MdxFile& mdx);
  // When the table is whole and everything is committed, remembers its
  // content (checked_tables.h); called when the last object closes.
  void RememberIfWhole() noexcept;
  void Changed();
  // Builds the index of a deferred fill, and ends the deferral. A failure
  // leaves the index as empty as it was and the deferral on.
  void EnsureIndex() const {
    if (indexDeferred_) BuildDeferredIndex();
  }
  void BuildDeferredIndex() const;
  void PutEntry(int tag, const MdxEntry& entry);
  void AfterChange();
  void Commit();
  void Discard();
  // Throws when the table's files are links (see file_links.h).
  void RefuseLinkedWrites() const;

  std::string key_;
  std::string label_;
  DbfFile dbf_;
  std::unique_ptr<MdxFile> mdx_;
  std::vector<TagInfo> tags_;
  std::vector<TableImpl*> users_;
  int exclusiveUsers_ = 0;
  uint64_t generation_ = 1;
  std::filesystem::path journal_;
  bool staged_ = false;
  int transactionDepth_ = 0;
  mutable bool indexDeferred_ = false;
  CodePage codePage_;
  std::string linkProblem_;  // "" when the files may be written
  // The index is known to match the records: checked on open, found as
  // this process left it, or built here.
  bool whole_ = false;
  // Both files' content when the open found them as remembered, until the
  // first commit.
  std::optional<CheckedContent> contentAtOpen_;
  mutable std::string scratch_;
  std::string old_;  // the record before a change
};

// Matches a name against a stored field or tag name: letter case ignored;
// a name longer than the stored limit of 10 characters also matches by its
// first 10 characters (dBase cuts longer names when the table is made).
bool StoredNameMatches(const std::string& stored, const std::string& wanted);

// The index key of a record for a tag on field f.
MdxKey KeyFromRecord(const DbfField& f, char keyType, int keyLength, const std::string& record);
// The same key in the form the index stores it (MdxFile::StoredKey),
// storedLength bytes appended to out: no allocation per key.
void AppendStoredKey(const DbfField& f, char keyType, int storedLength, const std::string& record,
                     std::string& out);

// Told by SharedTable after every change of a record (defined by the
// dataset layer).
void TableDataChanged(TableImpl* user);

}  // namespace store
