#include "dae_import/dae_text_reader.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace dae_import {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kBlock = 64 * 1024;

// Spanish wording of the usual reasons a file cannot be opened or read.
std::string Reason(int err) {
  switch (err) {
    case ENOENT: return "el archivo no existe";
    case EACCES:
    case EPERM: return "acceso denegado";
    case EISDIR: return "es una carpeta, no un archivo";
    case EIO: return "error de entrada/salida del disco";
    case EMFILE:
    case ENFILE: return "hay demasiados archivos abiertos";
    case ENOMEM: return "no hay memoria suficiente";
#ifdef ELOOP
    case ELOOP: return "hay un ciclo de enlaces simbólicos";
#endif
    case 0: return "error desconocido";
    default: return "error del sistema número " + std::to_string(err);
  }
}

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

bool IsRegularFile(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec);  // follows symbolic links
}

}  // namespace

std::optional<fs::path> FindDaeFile(const std::string& daeFolder,
                                    const std::string& name) {
  const fs::path exact(daeFolder + name);
  if (IsRegularFile(exact)) return exact;

  fs::path dir = exact.parent_path();
  if (dir.empty()) dir = ".";
  const std::string wanted = exact.filename().string();
  std::error_code ec;
  fs::directory_iterator it(dir, ec);
  if (ec) return std::nullopt;
  // Several spellings may match ("ftiptar.txt" and "FTIPTAR.TXT"): take the
  // first in name order, so that the choice never depends on the listing.
  std::optional<fs::path> found;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    const fs::path& p = it->path();
    const std::string n = p.filename().string();
    if (!SameNameIgnoringCase(n, wanted) || !IsRegularFile(p)) continue;
    if (!found || n < found->filename().string()) found = p;
  }
  return found;
}

DaeTextReader::DaeTextReader(const fs::path& path) : path_(path) {
  errno = 0;
  file_ = std::fopen(path.c_str(), "rb");
  if (!file_) {
    const int err = errno;
    throw DaeFileError("No se puede abrir el archivo " + path_.string() +
                       ": " + Reason(err));
  }
  buffer_.resize(kBlock);
}

DaeTextReader::~DaeTextReader() { Close(); }

void DaeTextReader::Close() {
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  eof_ = true;
  pos_ = size_ = 0;
}

void DaeTextReader::ThrowReadError(int err) const {
  throw DaeFileError("Error al leer el archivo " + path_.string() + ": " +
                     Reason(err));
}

bool DaeTextReader::Fill() {
  if (pos_ < size_) return true;
  pos_ = size_ = 0;
  if (eof_ || !file_) return false;
  errno = 0;
  size_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
  if (std::ferror(file_)) ThrowReadError(errno);
  if (size_ == 0) {
    eof_ = true;
    return false;
  }
  return true;
}

bool DaeTextReader::AtEnd() {
  if (stopped_) return true;
  if (!Fill()) return true;
  if (buffer_[pos_] == 26) {
    stopped_ = true;
    return true;
  }
  return false;
}

bool DaeTextReader::ReadLine(std::string& line) {
  line.clear();
  if (AtEnd()) return false;
  for (;;) {
    if (!Fill()) return true;  // the last line needs no break
    const char* data = buffer_.data();
    const char* p = data + pos_;
    const char* end = data + size_;
    const char* stop = std::find_if(p, end, [](char c) {
      return c == '\n' || c == '\r' || c == 26;
    });
    line.append(p, stop);
    pos_ = static_cast<std::size_t>(stop - data);
    if (stop == end) continue;
    const char c = *stop;
    if (c == 26) {
      stopped_ = true;
      return true;
    }
    ++pos_;
    if (c == '\n') return true;
    // A CR: the line ends here when LF follows; otherwise it is dropped.
    if (!Fill()) return true;
    if (buffer_[pos_] == '\n') {
      ++pos_;
      return true;
    }
  }
}

std::string_view CutField(std::string_view line, std::size_t start,
                          std::size_t length) {
  if (start == 0 || start > line.size()) return {};
  return line.substr(start - 1, length);
}

std::string_view TrimControls(std::string_view text) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  std::size_t b = 0, e = text.size();
  while (b < e && blank(text[b])) ++b;
  while (e > b && blank(text[e - 1])) --e;
  return text.substr(b, e - b);
}

std::string TrimmedField(std::string_view line, std::size_t start,
                         std::size_t length) {
  return std::string(TrimControls(CutField(line, start, length)));
}

std::string RawField(std::string_view line, std::size_t start,
                     std::size_t length) {
  return std::string(CutField(line, start, length));
}

}  // namespace dae_import
