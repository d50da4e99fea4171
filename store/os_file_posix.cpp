// POSIX side of os_file.h.
#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "store/os_file.h"
#include "store/os_file_lock_posix.h"
#include "store/path_text.h"

namespace store::os {

namespace {
thread_local int lastError = 0;

bool Failed() {
  lastError = errno ? errno : EIO;
  return false;
}
}  // namespace

int LastError() { return lastError; }
int WindowsErrorNumber(int) { return -1; }
int ErrorFromSystemCode(int code) { return code; }


namespace {
int Fd(std::intptr_t h) { return static_cast<int>(h); }
}  // namespace


bool File::Open(const std::filesystem::path& path, OpenMode mode, LockKind lock,
                unsigned permissions) {
  Close();
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::ReadWrite: flags |= O_RDWR; break;
    case OpenMode::ReadOnly: flags |= O_RDONLY; break;
    case OpenMode::ReadWriteNoFollow: flags |= O_RDWR | O_NOFOLLOW; break;
    case OpenMode::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW; break;
    case OpenMode::CreateOrTruncate:
      // The old name goes first and the file is made new: a link put at
      // the name is removed, never written through.
      if (::unlink(path.c_str()) != 0 && errno != ENOENT) return Failed();
      flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW;
      break;
  }
  // A FIFO at the name does not hang.
  const bool existing = mode == OpenMode::ReadOnly || mode == OpenMode::ReadWriteNoFollow;
  if (existing) flags |= O_NONBLOCK;
  int fd;
  do {
    fd = ::open(path.c_str(), flags, static_cast<mode_t>(permissions));
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Failed();
  if (existing) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  handle_ = fd;
  writable_ = mode != OpenMode::ReadOnly;
  appendAt_ = 0;
  path_ = path;
  if (lock != LockKind::None && !TryLock(lock)) {
    const int err = lastError;
    Close();
    lastError = err;
    return false;
  }
  return true;
}

void File::Close() {
  if (handle_ != kNoHandle) {
    ::close(Fd(handle_));  // drops the locks too
    handle_ = kNoHandle;
    locked_ = LockKind::None;
    writable_ = false;
  }
}

long long File::ReadAt(uint64_t offset, void* buffer, size_t size) const {
  auto* p = static_cast<unsigned char*>(buffer);
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::pread(Fd(handle_), p + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      Failed();
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<long long>(done);
}

bool File::ReadExactly(uint64_t offset, void* buffer, size_t size) const {
  long long n = ReadAt(offset, buffer, size);
  if (n < 0) return false;
  if (static_cast<size_t>(n) != size) {
    lastError = EIO;
    return false;
  }
  return true;
}

bool File::WriteAt(uint64_t offset, const void* data, size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::pwrite(Fd(handle_), p + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Failed();
    done += static_cast<size_t>(n);
  }
  return true;
}

bool File::Sync() {
  while (::fsync(Fd(handle_)) != 0) {
    if (errno != EINTR) return Failed();
  }
  return true;
}

bool File::Truncate(uint64_t size) {
  while (::ftruncate(Fd(handle_), static_cast<off_t>(size)) != 0) {
    if (errno != EINTR) return Failed();
  }
  return true;
}

bool File::Size(uint64_t& size) const {
  struct stat st {};
  if (::fstat(Fd(handle_), &st) != 0) return Failed();
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool File::IsRegularFile() const {
  struct stat st {};
  if (::fstat(Fd(handle_), &st) != 0) return Failed();
  return S_ISREG(st.st_mode);
}

bool File::Identity(FileId& id) const {
  struct stat st {};
  if (::fstat(Fd(handle_), &st) != 0) return Failed();
  id.volume = static_cast<uint64_t>(st.st_dev);
  id.index = static_cast<uint64_t>(st.st_ino);
  return true;
}

bool File::NameCount(uint64_t& count) const {
  struct stat st {};
  if (::fstat(Fd(handle_), &st) != 0) return Failed();
  count = static_cast<uint64_t>(st.st_nlink);
  return true;
}

bool File::TryLock(LockKind kind) {
  // Both lock families other programs use: flock() and a record lock over
  // every byte (os_file_lock_posix.h).
  auto family = [](LockKind k) {
    return k == LockKind::Exclusive || k == LockKind::Guard || k == LockKind::Hold
               ? OsLockKind::Exclusive
           : k == LockKind::Shared  ? OsLockKind::Shared
                                    : OsLockKind::None;
  };
  OsLockResult r;
  do {
    errno = 0;
    r = LockTableFile(Fd(handle_), family(locked_), family(kind));
  } while (r == OsLockResult::Failed && errno == EINTR);
  if (r == OsLockResult::Busy) {
    errno = EWOULDBLOCK;
    return Failed();
  }
  if (r == OsLockResult::Failed) return Failed();
  locked_ = kind;
  return true;
}

long ProcessId() { return static_cast<long>(::getpid()); }

PathStatus Status(const std::filesystem::path& path) {
  PathStatus s;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    Failed();
    return s;
  }
  s.exists = true;
  s.isRegular = S_ISREG(st.st_mode);
  s.isFolder = S_ISDIR(st.st_mode);
  s.isLink = S_ISLNK(st.st_mode);
  s.linkCount = static_cast<uint64_t>(st.st_nlink);
  s.readOnly = s.isRegular && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  return s;
}

bool Identity(const std::filesystem::path& path, FileId& id) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return Failed();
  id.volume = static_cast<uint64_t>(st.st_dev);
  id.index = static_cast<uint64_t>(st.st_ino);
  return true;
}

std::string LinkTarget(const std::filesystem::path& path) {
  std::vector<char> buf(4096);
  const ssize_t n = ::readlink(path.c_str(), buf.data(), buf.size() - 1);
  if (n <= 0) return std::string();
  return std::string(buf.data(), static_cast<size_t>(n));
}

bool Exists(const std::filesystem::path& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

std::filesystem::path SystemPath(const std::filesystem::path& path) { return path; }

bool IsFolder(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return Failed();
  if (!S_ISDIR(st.st_mode)) {
    errno = ENOTDIR;
    return Failed();
  }
  return true;
}

bool ListFolder(const std::filesystem::path& folder, std::vector<std::filesystem::path>& names) {
  names.clear();
  const std::filesystem::path dir = folder.empty() ? std::filesystem::path(".") : folder;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return Failed();
  for (;;) {
    errno = 0;
    const dirent* e = ::readdir(d);
    if (!e) break;
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  const int err = errno;
  ::closedir(d);
  if (err != 0) {
    errno = err;
    return Failed();
  }
  return true;
}

bool CreateFolder(const std::filesystem::path& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  return Failed();
}

bool RemoveFolder(const std::filesystem::path& path) {
  if (::rmdir(path.c_str()) == 0) return true;
  return Failed();
}

bool RemoveFile(const std::filesystem::path& path) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
  return Failed();
}

// Permission bits do not stop the removal of a name on POSIX.
bool RemoveOwnFile(const std::filesystem::path& path) { return RemoveFile(path); }

bool ClearReadOnlyMark(const std::filesystem::path& path) {
  // Through a descriptor of the file at this very name: a link is never
  // followed, so no other file's permissions change.
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno == ENOENT ? true : Failed();
  struct stat st {};
  bool ok = true;
  if (::fstat(fd, &st) != 0) {
    ok = Failed();
  } else if (S_ISREG(st.st_mode) && st.st_nlink == 1 && !(st.st_mode & S_IWUSR) &&
             ::fchmod(fd, (st.st_mode & 07777) | S_IWUSR) != 0) {
    ok = Failed();
  }
  ::close(fd);
  return ok;
}

bool RenameFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  return Failed();
}

void RecoverReplaced(const std::filesystem::path&) {}

bool SyncFolder(const std::filesystem::path& folder) {
  const std::filesystem::path dir = folder.empty() ? std::filesystem::path(".") : folder;
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Failed();
  bool ok = true;
  while (::fsync(fd) != 0) {
    if (errno == EINTR) continue;
    // Some file systems cannot sync a folder; their entries are then as
    // durable as they get.
    if (errno != EINVAL && errno != EROFS) ok = Failed();
    break;
  }
  ::close(fd);
  return ok;
}

bool EnvironmentPath(const char* name, std::filesystem::path& value) {
  const char* v = std::getenv(name);
  if (!v || !*v) return false;
  value = PathFromText(v);
  return true;
}

std::filesystem::path StandardWorkFolder() {
  std::filesystem::path home;
  if (EnvironmentPath("HOME", home)) return home / "QTEMP";
  std::error_code ec;
  return std::filesystem::temp_directory_path(ec) / "QTEMP";
}

std::tm LocalTime(std::time_t t) {
  std::tm tm{};
  ::localtime_r(&t, &tm);
  return tm;
}

}  // namespace store::os
#endif  // !_WIN32
