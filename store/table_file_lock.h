// Holding a table's files (its .DBF and its production index .MDX, in
// every letter case present) against every other user while the table is
// copied, deleted and made anew.
//
// The lock is the same operating-system lock that open tables take, asked
// for without waiting: a table that another program has open (shared or
// exclusive, its .DBF or its .MDX) or that an object of this process has
// open cannot be taken, and the caller learns it at once, naming the file,
// before anything has been touched. A file marked read-only is refused the
// same way: the tool never replaces or deletes it.
//
// While the lock lives the files it holds are "held here": this process
// may read them (to copy them), open them as tables (its objects then take
// no lock of their own, the hold keeps other programs out), and delete or
// replace them (os::RemoveFile, os::RenameFile). A second TableFileLock of
// this process on a file already held here holds nothing more.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "store/os_file.h"

namespace store {

class TableFileLock {
 public:
  // Takes the table whose .DBF is folder/fileName (letter case ignored)
  // with its index; files that do not exist need no lock. Throws
  // StoreError naming the file when it is in use here or by another
  // program, or read-only; nothing is held then.
  TableFileLock(const std::filesystem::path& folder, const std::string& fileName);
  ~TableFileLock();
  TableFileLock(const TableFileLock&) = delete;
  TableFileLock& operator=(const TableFileLock&) = delete;
  TableFileLock(TableFileLock&& other) noexcept;
  TableFileLock& operator=(TableFileLock&&) = delete;

  bool Held() const { return !files_.empty(); }

  // A new file that this process made to take the place of a file held
  // here (a table built beside it): the hold that has `heldPath` takes
  // `newFile` too, before it is put in place, so that the new table is
  // held from the moment it appears until the hold ends. False when no
  // hold of this process has heldPath, or the new file cannot be taken.
  static bool Extend(const std::filesystem::path& heldPath, const std::filesystem::path& newFile);

 private:
  std::vector<os::File> files_;
  std::vector<os::FileId> ids_;
};

// True when the file at path is one that a TableFileLock of this process
// holds (the file itself, whatever name it has now).
bool IsHeldHere(const std::filesystem::path& path);

// The files of table `dbfName` ("PROFT.DBF") in folder: its .DBF and .MDX
// names in every letter case present, sorted.
std::vector<std::string> TableFileNames(const std::filesystem::path& folder,
                                        const std::string& dbfName);

// The message for a table file marked read-only ("" when it is not):
// "La tabla 'PROFT.DBF' es de sólo lectura..." or the index's.
std::string ReadOnlyFileProblem(const std::filesystem::path& file, const std::string& label);

}  // namespace store
