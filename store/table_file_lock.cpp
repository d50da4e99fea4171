#include "store/table_file_lock.h"

#include <system_error>

#include "store/file_links.h"
#include "store/path_text.h"
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
  const std::string label = FileNameText(path);
  // The table's files may be links even when the name leads nowhere.
  RefuseLinkedTable(path, label);
  if (!os::Status(path).isRegular) return;
  if (SharedTable::IsOpenInProcess(path)) {
    throw StoreError("La tabla " + Quoted(label) +
                     " está abierta en esta ventana y no se puede reemplazar");
  }
  // Writable when it can be, so that the record lock is a write lock that
  // other programs' record locks see.
  os::File file;
  bool opened = file.Open(path, os::OpenMode::ReadWrite, os::LockKind::Guard);
  if (!opened && os::IsAccessDenied(os::LastError()))
    opened = file.Open(path, os::OpenMode::ReadOnly, os::LockKind::Guard);
  if (!opened) {
    const int err = os::LastError();
    if (os::IsWouldBlock(err)) {
      throw StoreError("La tabla " + Quoted(label) +
                       " está en uso por otro programa y no se puede reemplazar; "
                       "ciérrela en ese programa y vuelva a intentarlo");
    }
    throw StoreError("No se puede abrir la tabla " + Quoted(label) + " (" + PathText(path) +
                     "): " + SystemErrorText(err));
  }
  file_ = std::move(file);
}

TableFileLock::TableFileLock(TableFileLock&& other) noexcept : file_(std::move(other.file_)) {}

TableFileLock::~TableFileLock() = default;

}  // namespace store
