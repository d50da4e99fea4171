#include "dae_import/dae_text_reader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include "store/cp1252.h"
#include "store/path_text.h"
#include "store/system_error_text.h"

namespace dae_import {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kBlock = 64 * 1024;

// Spanish wording of the usual reasons a file cannot be opened or read
// (error numbers of store::os, errno values on every system).
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
    case 0: return "error desconocido";
    default: {
      std::string text = store::SystemErrorText(err);
      if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
      return text;
    }
  }
}

// Names on disk are UTF-8; letter case is compared as code page 1252 does,
// as for the tables.
bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  return store::Cp1252EqualsIgnoreCase(store::Utf8ToCp1252(a), store::Utf8ToCp1252(b));
}

// A plain file, or a link to one.
bool IsRegularFile(const fs::path& p) {
  const store::os::PathStatus st = store::os::Status(p);
  if (!st.isLink) return st.isRegular;
  std::error_code ec;
  return fs::is_regular_file(p, ec);  // the link followed
}

}  // namespace

std::optional<fs::path> FindDaeFile(const std::string& daeFolder,
                                    const std::string& name) {
  const fs::path exact = store::PathFromText(daeFolder + name);
  fs::path dir = exact.parent_path();
  if (dir.empty()) dir = ".";
  const std::string wanted = store::FileNameText(exact);
  // The name as it is spelled on disk, so that every message names the
  // file the user sees: the exact spelling when a file has it (a system
  // that ignores letter case finds "FTIPTAR.TXT" under "fTIPTAR.txt" too,
  // so the listing is asked), else the first in name order of those that
  // match without regard to case ("ftiptar.txt" and "FTIPTAR.TXT"), so that
  // the choice never depends on the listing.
  // Listed through the store's door to the system, which takes folders of
  // any length.
  std::vector<fs::path> names;
  if (!store::os::ListFolder(dir, names)) return std::nullopt;
  std::optional<fs::path> found;
  std::string foundName;
  for (const fs::path& entry : names) {
    const std::string n = store::FileNameText(entry);
    if (!SameNameIgnoringCase(n, wanted) || !IsRegularFile(dir / entry)) continue;
    const bool exactName = n == wanted;
    if (!found || exactName || (foundName != wanted && n < foundName)) {
      found = exact.parent_path() / entry;
      foundName = n;
    }
  }
  return found;
}

DaeTextReader::DaeTextReader(const fs::path& path) : path_(path) {
  if (!file_.Open(path, store::os::OpenMode::ReadOnly)) {
    const int err = store::os::LastError();
    throw DaeFileError("No se puede abrir el archivo " + store::PathText(path_) +
                       ": " + Reason(err));
  }
  buffer_.resize(kBlock);
}

DaeTextReader::~DaeTextReader() { Close(); }

void DaeTextReader::Close() {
  file_.Close();
  eof_ = true;
  pos_ = size_ = 0;
}

void DaeTextReader::ThrowReadError(int err) const {
  throw DaeFileError("Error al leer el archivo " + store::PathText(path_) + ": " +
                     Reason(err));
}

bool DaeTextReader::Fill() {
  if (pos_ < size_) return true;
  pos_ = size_ = 0;
  if (eof_ || !file_.IsOpen()) return false;
  const long long n = file_.ReadAt(offset_, buffer_.data(), buffer_.size());
  if (n < 0) ThrowReadError(store::os::LastError());
  size_ = static_cast<std::size_t>(n);
  offset_ += static_cast<uint64_t>(n);
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

namespace {

// The first byte of `line` that is no character of code page 1252.
const char* UndefinedIn1252(const std::string& line) {
  return std::find_if(line.data(), line.data() + line.size(), [](char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u == 0x81 || u == 0x8D || u == 0x8F || u == 0x90 || u == 0x9D;
  });
}

}  // namespace

bool DaeTextReader::ReadLine(std::string& line) {
  if (!ReadRawLine(line)) return false;
  ++lines_;
  const char* bad = UndefinedIn1252(line);
  if (bad != line.data() + line.size()) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(static_cast<unsigned char>(*bad)));
    throw DaeFileError("El archivo " + store::PathText(path_) + " tiene en la línea " +
                       std::to_string(lines_) + " (posición " +
                       std::to_string(bad - line.data() + 1) + ") el byte " + hex +
                       ", que no es ningún carácter del código de página 1252 en que escribe "
                       "DAE; el archivo no se ha leído. Vuelva a sacarlo de DAE o corríjalo");
  }
  return true;
}

bool DaeTextReader::ReadRawLine(std::string& line) {
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

namespace dae_import {

void CheckDaeTextFile(const std::filesystem::path& path) {
  DaeTextReader reader(path);
  std::string line;
  while (reader.ReadLine(line)) {
  }
}

}  // namespace dae_import
