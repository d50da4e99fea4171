// The operating-system lock on a table file, as other programs see it.
//
// Programs lock dBase files in several ways: whole-file flock(), POSIX
// record locks (fcntl F_SETLK, which dBase engines and lockf() use, often
// on byte ranges far past the end of the file) and open-file-description
// locks (F_OFD_SETLK). On Linux these are separate lock families: a flock()
// does not see a POSIX lock and the reverse. So a table is locked here in
// both families at once: flock() over the file and an open-file-description
// lock over every byte (offset 0 to infinity), which conflicts with any
// POSIX or OFD lock of another program on any range. Both belong to the
// open file description: a second open of the same file, even in this
// process, conflicts like another program, and closing the descriptor
// releases both.
#pragma once

namespace store {

enum class OsLockKind { None, Shared, Exclusive };

enum class OsLockResult {
  Taken,   // the lock is held (or released, for None)
  Busy,    // another holder conflicts; nothing changed
  Failed,  // the system refused for another reason (errno is set)
};

// Takes, changes or releases the lock of fd without waiting. When the
// descriptor is open for reading only, an exclusive record lock cannot be
// taken; the record-lock family is then only tested for other holders.
// On Busy or Failed the lock held before is kept.
OsLockResult LockTableFile(int fd, OsLockKind from, OsLockKind to);

}  // namespace store
