// Owner and permission bits kept across a rewrite (POSIX).
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "store/replaced_file.h"
#include "store/path_text.h"

namespace store::replaced_file {

std::string FolderRefusal(const std::filesystem::path& folder) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) return "";  // the caller has looked already
  // Write permission on the folder is needed for the temporary file; a
  // folder without its owner's write bit counts as read-only for every
  // user, as a read-only attribute would.
  if (::access(folder.c_str(), W_OK | X_OK) != 0 || !(info.st_mode & S_IWUSR))
    return "la carpeta " + store::PathText(folder) + " es de sólo lectura";
  return "";
}

std::string FileRefusal(const std::filesystem::path& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) return "";
  if (::access(file.c_str(), W_OK) != 0 || !(info.st_mode & S_IWUSR))
    return "el archivo es de sólo lectura";
  return "";
}

Kept KeptOf(const std::filesystem::path& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) return ForNewFile();
  Kept k;
  k.fromFile = true;
  k.mode = info.st_mode & 07777;
  k.owner = static_cast<long long>(info.st_uid);
  k.group = static_cast<long long>(info.st_gid);
  return k;
}

Kept ForNewFile() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  Kept k;
  k.mode = 0666 & ~mask;
  return k;
}

int Apply(const std::filesystem::path& temp, const Kept& kept) {
  if (kept.fromFile &&
      ::chown(temp.c_str(), static_cast<uid_t>(kept.owner), static_cast<gid_t>(kept.group)) != 0) {
    // Keeping the owner needs privileges; without them the file becomes the
    // writer's own, as any rewrite would.
  }
  if (::chmod(temp.c_str(), static_cast<mode_t>(kept.mode)) != 0) return errno;
  return 0;
}

int ApplyHidden(const std::filesystem::path&, const Kept&) { return 0; }

}  // namespace store::replaced_file
#endif  // !_WIN32
