// The work folder and the rule by which names are found in it: a table or
// index file is looked up without regard to letter case, so "plantilla",
// "PLANTILLA.DBF" and "Plantilla.dbf" all denote one file, on every file
// system. An exact match wins; otherwise the case-insensitive matches are
// taken in sorted order so that the choice never depends on directory
// order.
#include "store/work_folder.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>
#include <vector>

#include "store/cp1252.h"
#include "store/file_links.h"
#include "store/os_file.h"
#include "store/path_text.h"
#include "store/store_error.h"
#include "store/system_error_text.h"

namespace store {

namespace fs = std::filesystem;

namespace {

// Names on disk are UTF-8; letter case is compared as code page 1252 does.
bool SameNameNoCase(const std::string& a, const std::string& b) {
  return Cp1252EqualsIgnoreCase(Utf8ToCp1252(a), Utf8ToCp1252(b));
}

std::vector<fs::path> MatchesNoCase(const fs::path& folder, const std::string& name) {
  std::vector<fs::path> found;
  std::vector<fs::path> names;
  if (!os::ListFolder(folder, names)) return found;
  for (const fs::path& entry : names) {
    if (SameNameNoCase(PathText(entry), name)) found.push_back(folder / entry);
  }
  std::sort(found.begin(), found.end());
  return found;
}

// Splits "sub\\NAME.DBF" or "sub/NAME.DBF" given as a name into the folder
// part (joined to folder) and the last component.
void SplitName(const fs::path& folder, const std::string& name, fs::path& dir,
               std::string& leaf) {
  std::string n = name;
  std::replace(n.begin(), n.end(), '\\', '/');
  size_t slash = n.find_last_of('/');
  if (slash == std::string::npos) {
    dir = folder;
    leaf = n;
    return;
  }
  fs::path sub = PathFromText(n.substr(0, slash + 1));
  dir = sub.is_absolute() || folder.empty() ? sub : folder / sub;
  leaf = n.substr(slash + 1);
}

// A table's file (.DBF or .MDX) that is a link is left alone: deleting
// the name would cut the link that someone made on purpose.
void RefuseLinkedTableName(const fs::path& p) {
  const std::string ext = PathText(p.extension());
  const bool dbf = Cp1252EqualsIgnoreCase(ext, ".DBF");
  if (!dbf && !Cp1252EqualsIgnoreCase(ext, ".MDX")) return;
  const std::string label = dbf ? FileNameText(p) : PathText(p.stem()) + ".DBF";
  RefuseLinkedTableFile(p, label);
}

}  // namespace

fs::path WorkFolder() {
  fs::path env;
  if (os::EnvironmentPath("QTEMP", env)) return env;
  return os::StandardWorkFolder();
}

// The name as the folder spells it: on a disk that ignores letter case
// "proft.DBF" opens PROFT.DBF, which is what the tool then reports.
fs::path ResolveFileNoCase(const fs::path& folder, const std::string& name) {
  fs::path dir;
  std::string leaf;
  SplitName(folder, name, dir, leaf);
  const fs::path exact = dir / PathFromText(leaf);
  std::vector<fs::path> found = MatchesNoCase(dir, leaf);
  for (const fs::path& p : found) {
    if (FileNameText(p) == leaf) return p;
  }
  if (!found.empty()) return found.front();
  return exact;
}

bool FileExistsNoCase(const fs::path& folder, const std::string& name) {
  return os::Exists(ResolveFileNoCase(folder, name));
}

void DeleteFileNoCase(const fs::path& folder, const std::string& name) {
  fs::path dir;
  std::string leaf;
  SplitName(folder, name, dir, leaf);
  std::vector<fs::path> found = MatchesNoCase(dir, leaf);
  for (const fs::path& p : found) {
    if (os::Status(p).isFolder) continue;
    RefuseLinkedTableName(p);
    if (!os::RemoveFile(p)) {
      throw StoreError("No se puede borrar el archivo " + PathText(p) + ": " +
                       SystemErrorText(os::LastError()));
    }
  }
}

}  // namespace store
