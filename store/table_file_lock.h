// Holding a table's .DBF file against every other user while the table is
// copied, deleted and made anew.
//
// The lock is the same operating-system lock that open tables take, asked
// for without waiting: a table that another program has open (shared or
// exclusive) or that an object of this process has open cannot be taken,
// and the caller learns it at once, before anything has been touched.
// This process may still read the table's files while it holds them (to
// copy them), and delete or replace them (os::RemoveFile, os::RenameFile).
#pragma once
#include <filesystem>
#include <string>

#include "store/os_file.h"

namespace store {

class TableFileLock {
 public:
  // Takes folder/fileName (letter case ignored) when it exists; a missing
  // file needs no lock. Throws StoreError naming the table when the table is
  // in use here or by another program.
  TableFileLock(const std::filesystem::path& folder, const std::string& fileName);
  ~TableFileLock();
  TableFileLock(const TableFileLock&) = delete;
  TableFileLock& operator=(const TableFileLock&) = delete;
  TableFileLock(TableFileLock&& other) noexcept;
  TableFileLock& operator=(TableFileLock&&) = delete;

  bool Held() const { return file_.IsOpen(); }

 private:
  os::File file_;
};

}  // namespace store
