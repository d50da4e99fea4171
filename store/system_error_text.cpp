#include "store/system_error_text.h"

#include <cerrno>

#include "store/os_file.h"

namespace store {

namespace {

// Windows system codes that have no errno value of their own (the others
// arrive as errno values, see os_file.h).
std::string WindowsErrorText(int code) {
  switch (code) {
    case 15: return "La unidad no existe";                              // INVALID_DRIVE
    case 21: return "El disco no está preparado";                       // NOT_READY
    case 50: return "La operación no se admite en este disco";          // NOT_SUPPORTED
    case 51:                                                            // REM_NOT_LIST
    case 59:                                                            // UNEXP_NET_ERR
    case 64: return "Se ha perdido la conexión con la carpeta de red";  // NETNAME_DELETED
    case 65: return "Acceso denegado a la carpeta de red";              // NETWORK_ACCESS_DENIED
    case 123:                                                           // INVALID_NAME
    case 161: return "El nombre del archivo, de la carpeta o de la unidad no es válido";
    case 303: return "El archivo se está borrando";                     // DELETE_PENDING
    case 1005: return "El disco no tiene un sistema de archivos reconocido";
    case 1224: return "El archivo está abierto en memoria por otro programa";
    case 1920: return "El sistema no puede acceder al archivo";         // CANT_ACCESS_FILE
    case 4390: return "El archivo no es un enlace";                     // NOT_A_REPARSE_POINT
    default: return "Error de Windows número " + std::to_string(code);
  }
}

}  // namespace

std::string SystemErrorText(int err) {
  const int windows = os::WindowsErrorNumber(err);
  if (windows >= 0) return WindowsErrorText(windows);
  switch (err) {
    case 0: return "Error desconocido del sistema";
    case EACCES:
    case EPERM: return "Permiso denegado";
    case ENOENT: return "No existe el archivo o la carpeta";
    case ENOSPC: return "No queda espacio en el disco";
#ifdef EDQUOT
    case EDQUOT: return "Se ha superado la cuota de disco";
#endif
    case EROFS: return "El sistema de archivos es de sólo lectura";
    case ENOTDIR: return "Una parte de la ruta no es una carpeta";
    case EISDIR: return "Es una carpeta, no un archivo";
    case EEXIST: return "El archivo ya existe";
    case ENOMEM: return "No hay memoria suficiente";
    case EBUSY:
    case ETXTBSY: return "El archivo está en uso";
    case EAGAIN:
#if defined(EWOULDBLOCK) && EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
      return "El archivo está bloqueado o en uso por otro programa";
    case EIO: return "Error de entrada/salida del disco";
    case ENAMETOOLONG: return "El nombre del archivo es demasiado largo";
    case ELOOP: return "La ruta es un enlace simbólico o forma un ciclo de enlaces";
    case EMFILE:
    case ENFILE: return "Hay demasiados archivos abiertos";
    case EFBIG: return "El archivo es demasiado grande";
    case EINVAL: return "Argumento no válido";
    case EXDEV: return "No se puede mover el archivo a otro disco";
    case ENOTEMPTY: return "La carpeta no está vacía";
    case EBADF: return "El archivo no está abierto";
    default: return "Error del sistema número " + std::to_string(err);
  }
}

std::string SystemErrorText(const std::error_code& ec) {
  if (ec.category() == std::generic_category()) return SystemErrorText(ec.value());
  // The system's own codes (GetLastError() values on Windows).
  if (ec.category() == std::system_category())
    return SystemErrorText(os::ErrorFromSystemCode(ec.value()));
  return "Error del sistema número " + std::to_string(ec.value());
}

}  // namespace store
