// The parts of os_file.h that are the same on every system: the questions
// asked of an error number, what a File object owns and how it passes from
// one object to another, appending writes. The system calls are in
// os_file_posix.cpp and os_file_win32.cpp.
#include "store/os_file.h"

#include <cerrno>
#include <utility>

namespace store::os {

// Both sides report errno values (Windows codes are mapped to them where
// one exists), so the questions asked of them are the same.
bool IsNotFound(int err) {
  return err == ENOENT || err == ENOTDIR || WindowsErrorNumber(err) == kMissingDrive;
}
bool IsWouldBlock(int err) { return err == EWOULDBLOCK || err == EAGAIN; }
bool IsAccessDenied(int err) { return err == EACCES || err == EROFS || err == EPERM; }
bool IsAlreadyExists(int err) { return err == EEXIST; }

File::~File() { Close(); }

File::File(File&& other) noexcept
    : handle_(other.handle_),
      locked_(other.locked_),
      writable_(other.writable_),
      appendAt_(other.appendAt_),
      path_(std::move(other.path_)) {
  other.handle_ = kNoHandle;
  other.locked_ = LockKind::None;
  other.writable_ = false;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    locked_ = other.locked_;
    writable_ = other.writable_;
    appendAt_ = other.appendAt_;
    path_ = std::move(other.path_);
    other.handle_ = kNoHandle;
    other.locked_ = LockKind::None;
    other.writable_ = false;
  }
  return *this;
}

bool CreateFolders(const std::filesystem::path& path) {
  if (IsFolder(path)) return true;
  if (WindowsErrorNumber(LastError()) == kMissingDrive) return false;  // nothing to make it on
  const std::filesystem::path parent = path.parent_path();
  if (!parent.empty() && parent != path) {
    if (!Exists(parent)) {
      if (!CreateFolders(parent)) return false;
    } else if (!IsFolder(parent)) {
      return false;  // a file in the way: "not a folder"
    }
  }
  return CreateFolder(path) || (IsAlreadyExists(LastError()) && IsFolder(path));
}

bool File::WriteAll(const void* data, size_t size) {
  if (!WriteAt(appendAt_, data, size)) return false;
  appendAt_ += size;
  return true;
}

}  // namespace store::os
