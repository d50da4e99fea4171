// The pager: a file seen as pages kept in memory, and the commit that
// writes a table's changed pages to disk as one change. The on-disk facts
// and the crash guarantees are described at the top of pager.cpp.
#pragma once
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "store/content_digest.h"
#include "store/os_file.h"

namespace store {

// Names of the files that only this tool makes beside a table, built on
// the .DBF file's own name ("PROFT.DBF" gives "PROFT.DBF.transdae-journal").
inline constexpr const char* kJournalSuffix = ".transdae-journal";

// One open file read and written through a cache of its pages. The cache
// lives as long as the file is open: nothing is checked against the disk
// between calls, so another program's change made while the file is open
// here is not seen. Writes change the cached pages only; Commit (below)
// puts them on disk.
class Pager {
 public:
  static constexpr uint32_t kPageSize = 4096;

  Pager() = default;
  ~Pager();
  Pager(const Pager&) = delete;
  Pager& operator=(const Pager&) = delete;

  // Takes an open file; label names the file in error texts.
  void Attach(os::File file, const std::filesystem::path& path, const std::string& label,
              bool writable);
  void Detach();  // drops the cache and closes the file (pending writes lost)
  bool IsOpen() const { return file_.IsOpen(); }
  bool Writable() const { return writable_; }
  const std::filesystem::path& Path() const { return path_; }
  os::File& File() { return file_; }

  // Size with the pending writes.
  uint64_t Size() const { return size_; }
  // Reads bytes of the file (pending writes included); throws StoreError
  // when the range passes the end.
  void Read(uint64_t offset, void* buffer, size_t size) const;
  // Writes into the cache; the file grows when the range passes its end.
  void Write(uint64_t offset, const void* data, size_t size);

  bool Dirty() const { return !dirty_.empty() || size_ != diskSize_; }

  // The digest of the whole file as this pager sees it (pending writes
  // included). Every page is read into the cache, so that what is read
  // afterwards is what was summed up. Throws StoreError.
  ContentDigest Digest() const;

  // ---- For the commit.
  uint64_t DiskSize() const { return diskSize_; }
  // The pages changed since the last commit, in order.
  std::vector<uint32_t> DirtyPages() const;
  // The bytes page p held at the last commit (its part inside DiskSize()).
  std::string OriginalPage(uint32_t p) const;
  // Writes the changed pages (runs of pages in one call each) and sets the
  // file's length; throws StoreError.
  void WriteBack();
  void SyncFile();
  // After a commit: the cache is what the disk holds.
  void MarkClean();
  // Forgets every pending write: the cache is again what the last commit
  // left.
  void Discard();

 private:
  struct Page {
    char data[kPageSize];
    bool dirty = false;
    std::unique_ptr<char[]> original;  // content at the last commit
  };
  Page& Load(uint32_t p) const;
  [[noreturn]] void IoFail(const std::string& what, int err) const;

  os::File file_;
  std::filesystem::path path_;
  std::string label_;
  bool writable_ = false;
  uint64_t size_ = 0;
  uint64_t diskSize_ = 0;
  mutable std::vector<std::unique_ptr<Page>> pages_;
  std::vector<uint32_t> dirty_;
};

// Where a commit may be interrupted; a test hook hears each point as the
// commit passes it (a crash test kills its process there).
// ReplacementRecorded: a staged table's replacement record is whole
// (table_replacement.h), before the renames.
enum class CommitPoint {
  JournalWritten,
  JournalSynced,
  PagesWritten,
  FilesSynced,
  Done,
  ReplacementRecorded
};
// Tells the hook (if a test set one) that a commit passed a point.
void PassCommitPoint(CommitPoint point);
using CommitHook = void (*)(CommitPoint);
void SetCommitHookForTesting(CommitHook hook);

// Commits the pending writes of a table's pagers (its .DBF first, then its
// .MDX) as one change under the journal at journalPath. When journaled is
// false (a table being built under a staging name, which nobody else sees)
// the pages are written and synced without a journal. Throws StoreError;
// after a failure the files are as before the commit (rolled back at once,
// or at the next open when even that fails) and the pagers still hold the
// pending writes.
void CommitPages(const std::filesystem::path& journalPath, const std::vector<Pager*>& pagers,
                 bool journaled);

// Brings back the files named in a complete journal to their state before
// the interrupted commit, then removes the journal; an incomplete journal
// (its writer died before it was whole, so the files were never touched)
// is removed. No journal: nothing to do. label names the table in errors.
// Throws StoreError when another process is committing under that journal.
void RecoverJournal(const std::filesystem::path& journalPath, const std::string& label);

}  // namespace store
