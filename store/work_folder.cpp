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
  std::error_code ec;
  fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec);
  if (ec) return found;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    std::string entry = it->path().filename().string();
    if (SameNameNoCase(entry, name)) found.push_back(folder / entry);
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
  fs::path sub = fs::path(n.substr(0, slash + 1));
  dir = sub.is_absolute() || folder.empty() ? sub : folder / sub;
  leaf = n.substr(slash + 1);
}

// A table's file (.DBF or .MDX) that is a link is left alone: deleting
// the name would cut the link that someone made on purpose.
void RefuseLinkedTableName(const fs::path& p) {
  const std::string ext = p.extension().string();
  const bool dbf = Cp1252EqualsIgnoreCase(ext, ".DBF");
  if (!dbf && !Cp1252EqualsIgnoreCase(ext, ".MDX")) return;
  const std::string label = dbf ? p.filename().string() : p.stem().string() + ".DBF";
  RefuseLinkedTableFile(p, label);
}

}  // namespace

fs::path WorkFolder() {
  const char* env = std::getenv("QTEMP");
  if (env && *env) return fs::path(env);
#ifdef _WIN32
  std::error_code ec;
  fs::path cwd = fs::current_path(ec);
  return cwd.root_path() / "QTEMP";
#else
  const char* home = std::getenv("HOME");
  if (home && *home) return fs::path(home) / "QTEMP";
  return fs::temp_directory_path() / "QTEMP";
#endif
}

fs::path ResolveFileNoCase(const fs::path& folder, const std::string& name) {
  fs::path dir;
  std::string leaf;
  SplitName(folder, name, dir, leaf);
  std::error_code ec;
  fs::path exact = dir / leaf;
  if (fs::exists(exact, ec)) return exact;
  std::vector<fs::path> found = MatchesNoCase(dir, leaf);
  if (!found.empty()) return found.front();
  return exact;
}

bool FileExistsNoCase(const fs::path& folder, const std::string& name) {
  std::error_code ec;
  return fs::exists(ResolveFileNoCase(folder, name), ec);
}

void DeleteFileNoCase(const fs::path& folder, const std::string& name) {
  fs::path dir;
  std::string leaf;
  SplitName(folder, name, dir, leaf);
  std::vector<fs::path> found = MatchesNoCase(dir, leaf);
  for (const fs::path& p : found) {
    std::error_code ec;
    if (fs::is_directory(p, ec)) continue;
    RefuseLinkedTableName(p);
    if (!fs::remove(p, ec) && ec) {
      throw StoreError("No se puede borrar el archivo " + p.string() + ": " +
                       SystemErrorText(ec));
    }
  }
}

}  // namespace store
