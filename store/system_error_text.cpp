#include "store/system_error_text.h"

#include <cerrno>

namespace store {

std::string SystemErrorText(int err) {
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
    case EAGAIN: return "El archivo está bloqueado por otro programa";
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
  if (ec.category() == std::generic_category() || ec.category() == std::system_category())
    return SystemErrorText(ec.value());
  return "Error del sistema número " + std::to_string(ec.value());
}

}  // namespace store
