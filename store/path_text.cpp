#include "store/path_text.h"

namespace store {

std::filesystem::path PathFromText(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string PathText(const std::filesystem::path& path) {
  // The system's own separator ("C:/Curso" is shown "C:\Curso" on Windows).
  std::filesystem::path shown = path;
  shown.make_preferred();
  const std::u8string text = shown.u8string();
  return std::string(text.begin(), text.end());
}

std::string FileNameText(const std::filesystem::path& path) {
  return PathText(path.filename());
}

}  // namespace store
