// The store's only door to the operating system's files.
//
// Every file call of the table store (open, read, write, sync, lock,
// rename, delete, folder sync) goes through this header, so that the
// store above it is the same on every system; os_file_posix.cpp is the
// POSIX side. Calls report failure by their result and an errno-style
// number (ErrorNumber()), which store::SystemErrorText words in Spanish.
#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace store::os {

enum class OpenMode {
  ReadWrite,       // existing file, read and write
  ReadOnly,        // existing file, read only
  CreateNew,       // a new file that must not exist yet, read and write
  CreateOrTruncate // a new file in place of whatever had the name (which
                   // is removed, not written through), read and write
};

enum class LockKind { None, Shared, Exclusive };

// The number of the last failed call of this thread (errno on POSIX).
int LastError();
// Error numbers the store tests for.
bool IsNotFound(int err);
bool IsWouldBlock(int err);
bool IsAccessDenied(int err);

class File {
 public:
  File() = default;
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;

  // False on failure (LastError() tells why).
  bool Open(const std::filesystem::path& path, OpenMode mode);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // Reads up to size bytes at offset; the number read (short at the end of
  // the file), -1 on error.
  long long ReadAt(uint64_t offset, void* buffer, size_t size) const;
  // Reads exactly size bytes; false on error or when the file is shorter.
  bool ReadExactly(uint64_t offset, void* buffer, size_t size) const;
  // Writes all size bytes; false on error.
  bool WriteAt(uint64_t offset, const void* data, size_t size);
  bool Sync();
  bool Truncate(uint64_t size);
  // Size of the open file; false on error.
  bool Size(uint64_t& size) const;
  bool IsRegularFile() const;
  // Takes, changes or drops an advisory whole-file lock without waiting:
  // a flock() and a record lock over every byte, so that programs using
  // either family see it and are seen. False with
  // IsWouldBlock(LastError()) when another holder conflicts; the lock held
  // before is kept then.
  bool TryLock(LockKind kind);

 private:
  int fd_ = -1;
  LockKind locked_ = LockKind::None;
};

// The number of this process (a child made by fork has its own).
long ProcessId();

// Folder and name operations.
bool Exists(const std::filesystem::path& path);
bool RemoveFile(const std::filesystem::path& path);  // true also when missing
bool RenameFile(const std::filesystem::path& from, const std::filesystem::path& to);
// Makes a folder's entries (created, renamed, deleted files) durable.
bool SyncFolder(const std::filesystem::path& folder);

}  // namespace store::os
