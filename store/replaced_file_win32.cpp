// Attributes kept across a rewrite (Windows).
#ifdef _WIN32
#include <windows.h>

#include "store/replaced_file.h"
#include "store/os_file.h"

namespace store::replaced_file {

namespace {

constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

}  // namespace

std::string FolderRefusal(const std::filesystem::path&) { return ""; }

std::string FileRefusal(const std::filesystem::path& file) {
  const DWORD a = GetFileAttributesW(store::os::SystemPath(file).c_str());
  if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY))
    return "el archivo es de sólo lectura";
  return "";
}

Kept KeptOf(const std::filesystem::path& file) {
  Kept k;
  const DWORD a = GetFileAttributesW(store::os::SystemPath(file).c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return k;
  k.fromFile = true;
  k.attributes = a & kKeptAttributes;
  return k;
}

Kept ForNewFile() { return Kept{}; }

int Apply(const std::filesystem::path& temp, const Kept& kept) {
  if (!kept.fromFile || kept.attributes == 0) return 0;
  if (!SetFileAttributesW(store::os::SystemPath(temp).c_str(), kept.attributes))
    return store::os::ErrorFromSystemCode(static_cast<int>(GetLastError()));
  return 0;
}

int ApplyHidden(const std::filesystem::path& temp, const Kept& kept) {
  const DWORD hidden = kept.attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  if (!kept.fromFile || hidden == 0) return 0;
  const std::filesystem::path p = store::os::SystemPath(temp);
  const DWORD now = GetFileAttributesW(p.c_str());
  if (now == INVALID_FILE_ATTRIBUTES || !SetFileAttributesW(p.c_str(), (now & ~FILE_ATTRIBUTE_NORMAL) | hidden))
    return store::os::ErrorFromSystemCode(static_cast<int>(GetLastError()));
  return 0;
}

}  // namespace store::replaced_file
#endif  // _WIN32
