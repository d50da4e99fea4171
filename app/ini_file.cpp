#include "app/ini_file.h"

#include <cerrno>
#include <cstdint>
#include <string>
#include <system_error>

#include "store/replaced_file.h"
#include "store/cp1252.h"
#include "store/os_file.h"
#include "store/path_text.h"
#include "store/system_error_text.h"
#include "store/temp_file.h"

namespace app {

namespace fs = std::filesystem;

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Line breaks inside a name or value would split the line; they become
// spaces.
std::string OneLine(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  return out;
}

// One line of the file: [begin, textEnd) is its text, [textEnd, end) its
// line end ("", "\n" or "\r\n").
struct Line {
  size_t begin = 0, textEnd = 0, end = 0;
};

class LineCursor {
 public:
  explicit LineCursor(std::string_view content) : content_(content) {
    // A UTF-8 byte order mark is not part of the first line's text.
    if (content_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
  }
  bool Next(Line* line) {
    if (pos_ >= content_.size()) return false;
    size_t nl = content_.find('\n', pos_);
    line->begin = pos_;
    if (nl == std::string_view::npos) {
      line->textEnd = line->end = content_.size();
    } else {
      line->end = nl + 1;
      line->textEnd = (nl > pos_ && content_[nl - 1] == '\r') ? nl - 1 : nl;
    }
    pos_ = line->end;
    return true;
  }

 private:
  std::string_view content_;
  size_t pos_ = 0;
};

// The section name of a header line; false when the line is no header.
bool SectionName(std::string_view text, std::string_view* name) {
  std::string_view t = Trim(text);
  if (t.empty() || t.front() != '[') return false;
  size_t close = t.rfind(']');
  if (close == std::string_view::npos || close == 0) return false;
  *name = Trim(t.substr(1, close - 1));
  return true;
}

// The key of a key line and the offset of its '=' within text.
bool KeyName(std::string_view text, std::string_view* key, size_t* eq) {
  std::string_view t = Trim(text);
  if (t.empty() || t.front() == ';' || t.front() == '[') return false;
  size_t e = text.find('=');
  if (e == std::string_view::npos) return false;
  *key = Trim(text.substr(0, e));
  *eq = e;
  return true;
}

std::string LineEndOf(std::string_view content) {
  size_t nl = content.find('\n');
  if (nl != std::string_view::npos && (nl == 0 || content[nl - 1] != '\r'))
    return "\n";
  return "\r\n";
}

// Where the section/key stands in content.
struct Location {
  bool sectionFound = false;
  bool keyFound = false;
  Line keyLine;               // when keyFound
  size_t eq = 0;              // offset of '=' in content, when keyFound
  Line lastNonBlank;          // last non-blank line of the section
};

Location Find(std::string_view content, std::string_view section,
              std::string_view key) {
  Location loc;
  LineCursor cursor(content);
  Line line;
  bool inSection = false;
  while (cursor.Next(&line)) {
    std::string_view text =
        content.substr(line.begin, line.textEnd - line.begin);
    std::string_view name;
    if (SectionName(text, &name)) {
      if (inSection) break;  // the first matching section has ended
      if (store::Cp1252EqualsIgnoreCase(name, section)) {
        inSection = loc.sectionFound = true;
        loc.lastNonBlank = line;
      }
      continue;
    }
    if (!inSection) continue;
    if (!Trim(text).empty()) loc.lastNonBlank = line;
    std::string_view k;
    size_t eq = 0;
    if (KeyName(text, &k, &eq) && store::Cp1252EqualsIgnoreCase(k, key)) {
      loc.keyFound = true;
      loc.keyLine = line;
      loc.eq = line.begin + eq;
      break;
    }
  }
  return loc;
}

std::string Reason(int err) {
  switch (err) {
    case EACCES:
    case EPERM: return "permiso denegado";
    case EROFS: return "el sistema de archivos es de sólo lectura";
    case ENOSPC: return "no queda espacio en el disco";
#ifdef EDQUOT
    case EDQUOT: return "se ha superado la cuota de disco";
#endif
    case EISDIR: return "es una carpeta";
    case ENOENT: return "la carpeta no existe";
    case ENOTDIR: return "la ruta no es una carpeta";
    case ENAMETOOLONG: return "el nombre es demasiado largo";
    case EIO: return "error de entrada/salida";
#ifdef ELOOP
    case ELOOP: return "demasiados enlaces simbólicos";
#endif
    default: return store::SystemErrorText(err);
  }
}

[[noreturn]] void WriteFailure(const fs::path& file, const std::string& why) {
  throw IniError("No se puede escribir en " + store::PathText(file) + " (" + why + ")");
}

[[noreturn]] void ReadFailure(const fs::path& file, const std::string& why) {
  throw IniError("No se puede leer " + store::PathText(file) + " (" + why + ")");
}

// The whole file, read in binary (every byte, 0x1A and lone LF included).
bool ReadAll(const fs::path& path, std::string* out) {
  store::os::File f;
  uint64_t size = 0;
  if (!f.Open(path, store::os::OpenMode::ReadOnly) || !f.Size(size)) return false;
  out->assign(static_cast<size_t>(size), '\0');
  const long long n = size ? f.ReadAt(0, out->data(), out->size()) : 0;
  if (n < 0) return false;
  out->resize(static_cast<size_t>(n));
  return true;
}

}  // namespace

std::string SetIniValue(std::string_view content, std::string_view section,
                        std::string_view key, std::string_view value) {
  const std::string sec = OneLine(section), k = OneLine(key), v = OneLine(value);
  Location loc = Find(content, sec, k);
  std::string out;
  out.reserve(content.size() + sec.size() + k.size() + v.size() + 8);
  if (loc.keyFound) {
    out.append(content.substr(0, loc.eq + 1));
    out.append(v);
    out.append(content.substr(loc.keyLine.textEnd));
    return out;
  }
  const std::string eol = LineEndOf(content);
  const std::string keyLine = k + "=" + v;
  if (loc.sectionFound) {
    const Line& last = loc.lastNonBlank;
    out.append(content.substr(0, last.end));
    if (last.end > last.textEnd) {
      out.append(keyLine).append(eol);
    } else {  // the section's last line ends the file without a line break
      out.append(eol).append(keyLine);
    }
    out.append(content.substr(last.end));
    return out;
  }
  out.append(content);
  const std::string header = "[" + sec + "]";
  if (content.empty() || content.back() == '\n') {
    out.append(header).append(eol).append(keyLine).append(eol);
  } else {
    out.append(eol).append(header).append(eol).append(keyLine);
  }
  return out;
}

bool GetIniValue(std::string_view content, std::string_view section,
                 std::string_view key, std::string* value) {
  Location loc = Find(content, section, key);
  if (!loc.keyFound) return false;
  if (value)
    *value = std::string(
        Trim(content.substr(loc.eq + 1, loc.keyLine.textEnd - loc.eq - 1)));
  return true;
}

void WriteIniValue(const fs::path& file, std::string_view section,
                   std::string_view key, std::string_view value) {
  // A symbolic link is followed: its target is the file that changes.
  fs::path target = file;
  std::error_code ec;
  if (fs::is_symlink(fs::symlink_status(file, ec))) {
    fs::path resolved = fs::weakly_canonical(file, ec);
    if (!ec) target = resolved;
  }
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";

  const fs::file_status folderStatus = fs::status(folder, ec);
  if (!fs::exists(folderStatus))
    WriteFailure(file, ec && !fs::status_known(folderStatus) ? store::SystemErrorText(ec)
                                                              : Reason(ENOENT));
  if (!fs::is_directory(folderStatus)) WriteFailure(file, Reason(ENOTDIR));
  if (const std::string why = store::replaced_file::FolderRefusal(folder); !why.empty())
    WriteFailure(file, why);

  std::string content;
  store::replaced_file::Kept kept = store::replaced_file::ForNewFile();
  const store::os::PathStatus info = store::os::Status(target);
  if (info.exists) {
    if (info.isFolder) WriteFailure(file, Reason(EISDIR));
    if (!info.isRegular) WriteFailure(file, "no es un archivo normal");
    if (const std::string why = store::replaced_file::FileRefusal(target); !why.empty())
      WriteFailure(file, why);
    kept = store::replaced_file::KeptOf(target);
    if (!ReadAll(target, &content)) ReadFailure(file, Reason(store::os::LastError()));
  } else if (!store::os::IsNotFound(store::os::LastError())) {
    WriteFailure(file, Reason(store::os::LastError()));
  }

  const std::string updated = SetIniValue(content, section, key, value);

  store::RemoveStaleTempFiles(folder);
  fs::path tmpPath;
  store::os::File tmp;
  if (!store::CreateTempFile(folder, tmpPath, tmp, 0600))
    WriteFailure(file, Reason(store::os::LastError()));
  // The temporary stays open (and locked) until it has its name, so that no
  // other writer takes it for one left by a killed run.
  auto fail = [&](int err) {
    tmp.Close();
    store::os::RemoveFile(tmpPath);
    WriteFailure(file, Reason(err));
  };
  if (!tmp.WriteAll(updated)) fail(store::os::LastError());
  if (const int err = store::replaced_file::Apply(tmpPath, kept); err != 0) fail(err);
  if (!tmp.Sync()) fail(store::os::LastError());
  if (!store::os::RenameFile(tmpPath, target)) fail(store::os::LastError());
  tmp.Close();
  store::os::SyncFolder(folder);
}

}  // namespace app
