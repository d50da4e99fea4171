// The production index file (.MDX) of a table: one B-tree per tag.
// (Format notes are at the top of mdx_file.cpp.)
//
// Entries are ordered by (key, record number): equal keys follow their
// record numbers, so every entry is unique and can be found and removed in
// logarithmic time. Character keys are the field's bytes padded with
// spaces to the key length and compare byte by byte (the space sorts before
// every digit and letter). Numeric keys compare as numbers.
//
// The file is read and written through its pager (pager.h), whose cache
// lives as long as the file is open here: one MdxFile per file in this
// process (the table layer shares it between the objects on a table).
// Deferred, changes stay in memory until Flush puts them into the pager,
// whose commit then writes them; otherwise each change is written at once.
//
// The table file: MdxFile never touches the .DBF. For other dBase readers
// to use the index, the table layer sets, in the .DBF it creates with
// tags, header byte 28 to 0x01 (a production index exists) and byte 31 of
// the 32-byte descriptor of every field that has a tag to 0x01; a table
// without tags keeps both at 0x00. The index names the table by
// dbfBaseName (the file name without extension) in its header.
#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace store {

struct MdxTagDef {
  std::string name;        // tag name, upper case, at most 10 characters
  std::string expression;  // the field name
  char keyType = 'C';      // 'C' character, 'N' numeric
  int keyLength = 0;       // 'C': the field width
};

struct MdxKey {
  std::string chars;   // 'C' keys: exactly keyLength bytes
  double number = 0;   // 'N' keys
};

struct MdxEntry {
  MdxKey key;
  uint32_t recno = 0;
};

class Pager;

class MdxFile {
 public:
  // Writes a new, empty index file (replacing one of the same name) for
  // the table whose file name without extension is dbfBaseName. Synced
  // unless the caller syncs it itself before it takes its final name.
  static void Create(const std::filesystem::path& path,
                     const std::string& dbfBaseName,
                     const std::vector<MdxTagDef>& tags, bool sync = true);

  MdxFile();
  ~MdxFile();
  MdxFile(const MdxFile&) = delete;
  MdxFile& operator=(const MdxFile&) = delete;

  // Throws StoreError (Spanish text naming the file) when the file is
  // missing or damaged. verify false leaves the trees unchecked (Verify
  // below), for a file whose content is known to be whole: only its
  // header and tag headers are read and checked.
  void Open(const std::filesystem::path& path, bool readOnly, bool verify = true);
  void Close();
  bool IsOpen() const;

  const std::vector<MdxTagDef>& Tags() const;
  int TagIndex(const std::string& name) const;  // letter case ignored; -1

  // A character key shorter than the key length is padded with spaces, a
  // longer one is cut. Inserting an entry that is already there (same key
  // and record number) changes nothing. Record number 0 is refused.
  void Insert(int tag, const MdxEntry& entry);
  void Remove(int tag, const MdxEntry& entry);  // no-op if absent

  // Fills an empty tag at once (throws StoreError when it holds a key):
  // count keys in their stored form side by side (StoredKeyLength bytes
  // each, as StoredKey gives them) and their record numbers, in any order.
  // The entries end in the order that inserting them one by one gives;
  // the tree is built from its leaves up, in full nodes, which costs a
  // fraction of the inserts. An entry given twice is kept once.
  void BuildTag(int tag, const char* keys, const uint32_t* recnos, size_t count);
  // A key in the form the tag stores it: a character key padded with
  // spaces or cut to the key length, a numeric key packed.
  std::string StoredKey(int tag, const MdxKey& key) const;

  std::optional<MdxEntry> First(int tag) const;
  std::optional<MdxEntry> Last(int tag) const;
  // The first entry ordered after / before the given one (which need not
  // exist).
  std::optional<MdxEntry> Next(int tag, const MdxEntry& after) const;
  std::optional<MdxEntry> Prior(int tag, const MdxEntry& before) const;
  // The first entry whose key is >= key (any record number).
  std::optional<MdxEntry> LowerBound(int tag, const MdxKey& key) const;

  // Every entry of a tag in key order, a leaf at a time, without a copy:
  // visit gets count keys side by side, each of the tag's stored key
  // length (a character key as stored, a numeric key in its packed form,
  // mdx_bcd.h), and their record numbers; it returns false to stop. The
  // pointers are good until visit returns. visit is called directly (no
  // std::function): the work done per entry is compiled into the walk.
  template <typename Visit>
  void ForEachLeaf(int tag, Visit&& visit) const {
    using V = std::remove_reference_t<Visit>;
    WalkLeaves(
        tag,
        [](void* v, const char* keys, const uint32_t* recnos, size_t count) -> bool {
          return (*static_cast<V*>(v))(keys, recnos, count);
        },
        const_cast<void*>(static_cast<const void*>(std::addressof(visit))));
  }
  // The length in bytes of a tag's stored keys.
  int StoredKeyLength(int tag) const;

  // Compares two keys of a tag: <0, 0, >0.
  int CompareKeys(int tag, const MdxKey& a, const MdxKey& b) const;

  // Deferred (as the table layer uses it): changes stay in memory until
  // Flush and the pager's commit. Not deferred (the default, for a file
  // used alone): each change is written to the file before it returns.
  void SetDeferred(bool deferred);

  // Puts the changed nodes into the pager's pages (before a commit).
  void Flush();
  Pager& PagerRef();
  // Forgets every change since the last commit (the pager's and the
  // parsed nodes').
  void Discard();
  // Flushes and writes the pages straight to the file, synced, without a
  // journal: for an index being built under a staging name.
  void Save();

  // Checks the structure of every tag (page bounds, order of keys); throws
  // StoreError when it is damaged.
  void Verify() const;

 private:
  using LeafStep = bool (*)(void* visitor, const char* keys, const uint32_t* recnos, size_t count);
  void WalkLeaves(int tag, LeafStep step, void* visitor) const;
  void WriteThrough();
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace store
