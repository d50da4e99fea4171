#include "store/work_folder_lock.h"

#include <cerrno>
#include <chrono>
#include <system_error>
#include <thread>

#include "store/path_text.h"
#include "store/store_error.h"
#include "store/system_error_text.h"

namespace store {

namespace fs = std::filesystem;

WorkFolderLock::WorkFolderLock(const fs::path& folder, int waitMs) {
  std::error_code ec;
  if (!fs::exists(folder, ec)) {
    fs::create_directories(folder, ec);
    if (ec)
      throw StoreError("No se puede crear la carpeta " + PathText(folder) + ": " +
                       SystemErrorText(ec));
  }
  const fs::path path = folder / kWorkFolderLockName;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    int err = 0;
    const os::PathStatus st = os::Status(path);
    if (st.exists && !st.isRegular) {
      throw StoreError("En la carpeta de trabajo " + PathText(folder) + " hay algo que no es un "
                       "archivo en el lugar de " + std::string(kWorkFolderLockName) +
                       " (un enlace o una carpeta); quítelo y vuelva a intentarlo. No se ha "
                       "cambiado nada");
    }
    // Made once, never through a link; then only locked, never written.
    if (!st.exists) {
      if (file_.Open(path, os::OpenMode::CreateNew, os::LockKind::Exclusive)) return;
      err = os::LastError();
      if (os::IsAlreadyExists(err)) continue;  // made by another run just now
      // A folder where this user can make no file: this run cannot change
      // anything there either, and its first write will say why, naming
      // the table.
      if (os::IsAccessDenied(err) || err == EROFS) return;
    } else {
      if (file_.Open(path, os::OpenMode::ReadWrite, os::LockKind::Exclusive)) return;
      err = os::LastError();
      if (os::IsNotFound(err)) continue;
    }
    if (!os::IsWouldBlock(err)) {
      throw StoreError("No se puede usar la carpeta de trabajo " + PathText(folder) + ": " +
                       SystemErrorText(err) + ". No se ha cambiado nada");
    }
    if (std::chrono::steady_clock::now() >= until) {
      throw StoreError("Otra ejecución de la herramienta está usando la carpeta de trabajo " +
                       PathText(folder) +
                       "; espere a que termine y vuelva a intentarlo. No se ha cambiado nada");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

}  // namespace store
