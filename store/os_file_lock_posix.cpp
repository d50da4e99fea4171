// POSIX side of the table lock; on Windows the sharing modes of
// os_file_win32.cpp are the lock.
#ifndef _WIN32
#include "store/os_file_lock_posix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace store {

namespace {

int FlockOp(OsLockKind kind) {
  switch (kind) {
    case OsLockKind::Exclusive: return LOCK_EX;
    case OsLockKind::Shared: return LOCK_SH;
    case OsLockKind::None: break;
  }
  return LOCK_UN;
}

short RecordLockType(OsLockKind kind) {
  switch (kind) {
    case OsLockKind::Exclusive: return F_WRLCK;
    case OsLockKind::Shared: return F_RDLCK;
    case OsLockKind::None: break;
  }
  return F_UNLCK;
}

bool IsBusy(int err) { return err == EWOULDBLOCK || err == EAGAIN || err == EACCES; }

#if defined(__linux__) && defined(F_OFD_SETLK)
// The record-lock family: an open-file-description lock over every byte.
OsLockResult RecordLock(int fd, OsLockKind kind) {
  struct flock fl;
  std::memset(&fl, 0, sizeof fl);
  fl.l_type = RecordLockType(kind);
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 0;  // to the end, however far the file grows
  fl.l_pid = 0;  // required for OFD locks
  if (::fcntl(fd, F_OFD_SETLK, &fl) == 0) return OsLockResult::Taken;
  const int err = errno;
  if (IsBusy(err)) return OsLockResult::Busy;
  if (err == EBADF && kind != OsLockKind::None) {
    // Open for reading only: a write lock needs a writable descriptor.
    // Test for other holders instead.
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = RecordLockType(kind);
    fl.l_whence = SEEK_SET;
    if (::fcntl(fd, F_OFD_GETLK, &fl) != 0) return OsLockResult::Failed;
    if (fl.l_type != F_UNLCK) return OsLockResult::Busy;
    if (kind == OsLockKind::Exclusive) return OsLockResult::Taken;
    errno = err;
    return OsLockResult::Failed;
  }
  if (err == EINVAL) return OsLockResult::Taken;  // a kernel without OFD locks
  errno = err;
  return OsLockResult::Failed;
}
#else
OsLockResult RecordLock(int, OsLockKind) { return OsLockResult::Taken; }
#endif

}  // namespace

OsLockResult LockTableFile(int fd, OsLockKind from, OsLockKind to) {
  // The record lock first: when flock() then fails, the record lock goes
  // back to what it was.
  if (to != OsLockKind::None) {
    OsLockResult r = RecordLock(fd, to);
    if (r != OsLockResult::Taken) return r;
  }
  if (::flock(fd, FlockOp(to) | LOCK_NB) != 0) {
    const int err = errno;
    if (to != OsLockKind::None) RecordLock(fd, from);
    errno = err;
    return err == EWOULDBLOCK ? OsLockResult::Busy : OsLockResult::Failed;
  }
  if (to == OsLockKind::None) RecordLock(fd, OsLockKind::None);
  return OsLockResult::Taken;
}

}  // namespace store
#endif  // !_WIN32
