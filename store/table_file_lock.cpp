#include "store/table_file_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "store/file_links.h"
#include "store/os_file_lock.h"
#include "store/shared_table.h"
#include "store/store_error.h"
#include "store/system_error_text.h"
#include "store/work_folder.h"

namespace store {

namespace fs = std::filesystem;

namespace {

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

}  // namespace

TableFileLock::TableFileLock(const fs::path& folder, const std::string& fileName) {
  const fs::path path = ResolveFileNoCase(folder, fileName);
  std::error_code ec;
  const std::string label = path.filename().string();
  // The table's files may be links even when the name leads nowhere.
  RefuseLinkedTable(path, label);
  if (!fs::is_regular_file(path, ec)) return;
  if (SharedTable::IsOpenInProcess(path)) {
    throw StoreError("La tabla " + Quoted(label) +
                     " está abierta en esta ventana y no se puede reemplazar");
  }
  // Writable when it can be, so that the record lock is a write lock that
  // other programs' record locks see.
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    throw StoreError("No se puede abrir la tabla " + Quoted(label) + " (" + path.string() +
                     "): " + SystemErrorText(errno));
  }
  const OsLockResult taken = LockTableFile(fd, OsLockKind::None, OsLockKind::Exclusive);
  if (taken != OsLockResult::Taken) {
    const int err = errno;
    ::close(fd);
    if (taken == OsLockResult::Busy) {
      throw StoreError("La tabla " + Quoted(label) +
                       " está en uso por otro programa y no se puede reemplazar; "
                       "ciérrela en ese programa y vuelva a intentarlo");
    }
    throw StoreError("No se puede bloquear la tabla " + Quoted(label) + ": " +
                     SystemErrorText(err));
  }
  fd_ = fd;
}

TableFileLock::TableFileLock(TableFileLock&& other) noexcept : fd_(other.fd_) {
  other.fd_ = -1;
}

TableFileLock::~TableFileLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace store
