#include "store/recovery_files.h"

#include <string_view>

#include "store/cp1252.h"
#include "store/os_file.h"
#include "store/path_text.h"
#include "store/store_error.h"
#include "store/store_notices.h"
#include "store/system_error_text.h"

namespace store {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kStaged = ".transdae-new";

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

bool EndsWithNoCase(std::string_view s, std::string_view end) {
  return s.size() >= end.size() && SameNoCase(s.substr(s.size() - end.size()), end);
}

// "PROFT.DBF" gives "PROFT.MDX"; a staging name "PROFT.DBF.transdae-new"
// gives the staging index "PROFT.MDX.transdae-new".
std::string IndexNameOf(const std::string& dbfName) {
  std::string dbf = dbfName;
  const bool staged = EndsWithNoCase(dbf, kStaged);
  if (staged) dbf.resize(dbf.size() - kStaged.size());
  std::string index = PathText(PathFromText(dbf).stem()) + ".MDX";
  if (staged) index += kStaged;
  return index;
}

bool IsUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

}  // namespace

std::string ShownFileName(const std::string& bytes) {
  std::string out = bytes;
  for (char& c : out) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = '?';
  }
  return IsUtf8(out) ? out : Cp1252ToUtf8(out);
}

std::string TableOfRecoveryFile(const std::string& recoveryName, const std::string& suffix) {
  if (recoveryName.size() <= suffix.size() || !EndsWithNoCase(recoveryName, suffix)) return "";
  return recoveryName.substr(0, recoveryName.size() - suffix.size());
}

bool IsTableDbfName(const std::string& dbfName, const std::string& name) {
  return !dbfName.empty() && SameNoCase(name, dbfName);
}

bool IsTableIndexName(const std::string& dbfName, const std::string& name) {
  return !dbfName.empty() && SameNoCase(name, IndexNameOf(dbfName));
}

bool IsStagedDbfName(const std::string& dbfName, const std::string& name) {
  return !dbfName.empty() && SameNoCase(name, dbfName + std::string(kStaged));
}

bool IsStagedIndexName(const std::string& dbfName, const std::string& name) {
  return !dbfName.empty() && SameNoCase(name, IndexNameOf(dbfName) + std::string(kStaged));
}

std::string RecoveryTargetProblem(const fs::path& path) {
  const os::PathStatus st = os::Status(path);
  if (!st.exists) return "";
  const std::string name = Quoted(FileNameText(path));
  if (st.isLink) {
    const std::string target = os::LinkTarget(path);
    return "el archivo " + name + " es un enlace simbólico" +
           (target.empty() ? std::string() : " a " + target);
  }
  if (st.isFolder) return name + " es una carpeta";
  if (!st.isRegular) return name + " no es un archivo normal";
  if (st.linkCount > 1) {
    return "el archivo " + name + " tiene otros nombres en el disco (enlace duro, " +
           std::to_string(st.linkCount) + " nombres)";
  }
  return "";
}

void SetAsideRecoveryFile(const fs::path& file, const std::string& what, const std::string& label,
                          const std::string& reason) {
  const fs::path dir = file.parent_path();
  const std::string name = FileNameText(file);
  // A name that no run carries out, and that nothing else has: an earlier
  // file set aside is kept too.
  std::string aside = name + kRejectedSuffix;
  for (int n = 2; os::Status(dir / PathFromText(aside)).exists; ++n) {
    aside = name + "." + std::to_string(n) + kRejectedSuffix;
  }
  if (!os::RenameFile(file, dir / PathFromText(aside))) {
    const int err = os::LastError();
    throw StoreError("No se ha aplicado " + what + " " + Quoted(name) + " de la tabla " +
                     Quoted(label) + ": " + reason + ". Tampoco se ha podido apartar: " +
                     SystemErrorText(err) + ". Quítelo de la carpeta " + PathText(dir) +
                     " para que la tabla se pueda usar");
  }
  os::SyncFolder(dir);
  Notify("No se ha aplicado " + what + " " + Quoted(name) + " de la tabla " + Quoted(label) +
         ": " + reason + ". Se ha apartado como " + Quoted(aside) +
         " y la tabla se ha dejado como está.");
}

}  // namespace store
