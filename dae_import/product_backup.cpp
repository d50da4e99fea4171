#include "dae_import/product_backup.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>
#include <system_error>
#include <utility>

#include "store/dbf_file.h"
#include "store/os_file.h"
#include "store/path_text.h"
#include "store/sealed_record.h"
#include "store/store_error.h"
#include "store/system_error_text.h"
#include "store/table.h"
#include "store/temp_file.h"
#include "store/work_folder.h"

namespace dae_import {

namespace fs = std::filesystem;

namespace {

constexpr const char* kManifestMagic = "transdae: copia de tablas de Dolvarin, formato 1";
constexpr const char* kNothingChanged = "No se ha borrado ni modificado ninguna tabla.";

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// "NNNNNN-AAAAMMDD-HHMMSS": the counter; 0 for any other name.
unsigned long ParseCopyName(const std::string& name) {
  if (name.size() != 22 || name[6] != '-' || name[15] != '-') return 0;
  unsigned long n = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    if (i == 6 || i == 15) continue;
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return 0;
    if (i < 6) n = n * 10 + static_cast<unsigned long>(name[i] - '0');
  }
  return n;
}

// A folder of its own (not a link to one).
bool IsRealFolder(const fs::path& p) {
  const store::os::PathStatus s = store::os::Status(p);
  return s.isFolder && !s.isLink;
}

// A plain file (not a link to one).
bool IsRegularFile(const fs::path& p) { return store::os::Status(p).isRegular; }

// The entries of a folder, as paths inside it (listed by the store's door
// to the system, which takes folders of any length); empty with `ok` false
// when it cannot be read.
std::vector<fs::path> Entries(const fs::path& folder, bool* ok = nullptr) {
  std::vector<fs::path> names;
  const bool listed = store::os::ListFolder(folder, names);
  if (ok) *ok = listed;
  for (fs::path& n : names) n = folder / n;
  return names;
}

// Reads a whole file in binary; false with store::os::LastError() set on
// failure.
bool ReadWhole(const fs::path& p, std::string& bytes) {
  store::os::File f;
  if (!f.Open(p, store::os::OpenMode::ReadOnly)) return false;
  bytes.clear();
  char buf[65536];
  for (uint64_t at = 0;;) {
    const long long n = f.ReadAt(at, buf, sizeof buf);
    if (n < 0) return false;
    if (n == 0) break;
    bytes.append(buf, static_cast<size_t>(n));
    at += static_cast<uint64_t>(n);
  }
  return true;
}

std::string Leaf(const fs::path& p) { return store::FileNameText(p); }

// Removes a folder only when it is empty; errors are left for a later run.
void RemoveEmptyFolder(const fs::path& p) {
  bool listed = false;
  if (IsRealFolder(p) && Entries(p, &listed).empty() && listed) store::os::RemoveFolder(p);
}

// The bytes of a table file without the dates of last change that dBase
// writes into its headers: a table rebuilt the same way on another day is
// the same version.
std::string WithoutDates(const std::string& fileName, std::string bytes) {
  const std::string ext = Upper(Leaf(store::PathFromText(fileName).extension()));
  auto clear = [&bytes](size_t at) {
    if (at + 3 <= bytes.size()) bytes[at] = bytes[at + 1] = bytes[at + 2] = 0;
  };
  if (ext == ".DBF") {
    clear(1);
  } else if (ext == ".MDX") {
    clear(1);
    clear(44);
    // Each tag's header (its page number in the tag table) has one more.
    if (bytes.size() >= 32) {
      const unsigned tags = static_cast<unsigned char>(bytes[28]) |
                            (static_cast<unsigned char>(bytes[29]) << 8);
      for (unsigned i = 0; i < tags && i < 48; ++i) {
        const size_t e = 544 + static_cast<size_t>(i) * 32;
        if (e + 4 > bytes.size()) break;
        uint32_t page = 0;
        for (int k = 3; k >= 0; --k)
          page = (page << 8) | static_cast<unsigned char>(bytes[e + static_cast<size_t>(k)]);
        const uint64_t h = static_cast<uint64_t>(page) * 512;
        if (h + 260 <= bytes.size()) clear(static_cast<size_t>(h) + 257);
      }
    }
  }
  return bytes;
}

std::string Hash(const std::string& bytes) {
  uint64_t a = 1469598103934665603ULL, b = 0x9E3779B97F4A7C15ULL;
  for (unsigned char c : bytes) {
    a = (a ^ c) * 1099511628211ULL;
    b = (b + c) * 0xBF58476D1CE4E5B9ULL;
    b ^= b >> 29;
  }
  char buf[40];
  std::snprintf(buf, sizeof buf, "%016llx%016llx", static_cast<unsigned long long>(a),
                static_cast<unsigned long long>(b));
  return buf;
}

struct FileEntry {
  std::string table, name, hash;
  uint64_t size = 0;
};

// What a copy folder's COPIA.TXT says, with the files.
struct Manifest {
  BackupCopy copy;
  std::vector<FileEntry> files;
  // A copy that a restore makes of what it is about to replace, until the
  // restore has recorded its swap: such a copy is not offered and goes
  // with the next run if the restore never got that far.
  bool pending = false;
};

std::string ManifestText(const Manifest& m) {
  std::ostringstream o;
  o << kManifestMagic << "\n";
  o << "numero " << m.copy.number << "\n";
  o << "fecha " << m.copy.date << "\n";
  o << "motivo " << m.copy.note << "\n";
  if (m.pending) o << "pendiente\n";
  for (const CopiedTable& t : m.copy.tables) o << "tabla " << t.name << " " << t.version << "\n";
  for (const FileEntry& f : m.files)
    o << "archivo " << f.table << " " << f.size << " " << f.hash << " " << f.name << "\n";
  return o.str();
}

bool ReadManifest(const fs::path& folder, Manifest& m) {
  const fs::path file = folder / kBackupManifestName;
  if (!IsRegularFile(file)) return false;
  std::string text;
  if (!ReadWhole(file, text) || text.size() > (1u << 20)) return false;
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line != kManifestMagic) return false;
  m = Manifest{};
  m.copy.folder = folder;
  while (std::getline(in, line)) {
    const size_t sp = line.find(' ');
    const std::string word = line.substr(0, sp);
    const std::string rest = sp == std::string::npos ? "" : line.substr(sp + 1);
    std::istringstream r(rest);
    if (word == "numero") {
      r >> m.copy.number;
    } else if (word == "fecha") {
      m.copy.date = rest;
    } else if (word == "motivo") {
      m.copy.note = rest;
    } else if (word == "pendiente") {
      m.pending = true;
    } else if (word == "tabla") {
      CopiedTable t;
      r >> t.name >> t.version;
      const auto& names = ProductTableNames();
      if (std::find(names.begin(), names.end(), t.name) == names.end()) return false;
      m.copy.tables.push_back(t);
    } else if (word == "archivo") {
      FileEntry f;
      r >> f.table >> f.size >> f.hash;
      r.get();
      std::getline(r, f.name);
      // Only the files of the product's tables, in this folder.
      const std::string up = Upper(f.name);
      const auto& names = ProductTableNames();
      if (std::find(names.begin(), names.end(), f.table) == names.end() ||
          (up != f.table + ".DBF" && up != f.table + ".MDX"))
        return false;
      m.files.push_back(f);
    }
  }
  for (CopiedTable& t : m.copy.tables)
    for (const FileEntry& f : m.files)
      if (f.table == t.name) t.files.push_back(f.name);
  std::string name = Leaf(folder);
  const std::string removing = ".borrando-";
  if (name.rfind(removing, 0) == 0) name = name.substr(removing.size());
  return m.copy.number > 0 && m.copy.number == ParseCopyName(name);
}

// The files of the tables a copy holds whole.
std::vector<FileEntry> CompleteFiles(const Manifest& m) {
  std::vector<FileEntry> out;
  for (const FileEntry& f : m.files)
    for (const CopiedTable& t : m.copy.tables)
      if (t.name == f.table) {
        out.push_back(f);
        break;
      }
  return out;
}

std::vector<Manifest> Manifests(const fs::path& workFolder) {
  std::vector<Manifest> found;
  const fs::path root = workFolder / kBackupFolderName;
  if (!IsRealFolder(root)) return found;
  for (const fs::path& p : Entries(root)) {
    if (ParseCopyName(Leaf(p)) == 0 || !IsRealFolder(p)) continue;
    Manifest m;
    if (ReadManifest(p, m)) found.push_back(std::move(m));
  }
  std::sort(found.begin(), found.end(),
            [](const Manifest& a, const Manifest& b) { return a.copy.number < b.copy.number; });
  return found;
}

[[noreturn]] void CopyFailed(const std::string& file, const fs::path& folder,
                             const std::string& why) {
  throw store::StoreError("No se puede guardar una copia de " + file + " en " +
                          store::PathText(folder) + ": " + why + ".\r" + kNothingChanged);
}

// The files of a table in `folder`: <name>.DBF and <name>.MDX in every
// letter case, sorted by name.
std::vector<std::string> TableFiles(const fs::path& folder, const std::string& name) {
  std::vector<std::string> out;
  const std::string dbf = Upper(name + ".DBF"), mdx = Upper(name + ".MDX");
  for (const fs::path& p : Entries(folder)) {
    const std::string leaf = Leaf(p);
    const std::string up = Upper(leaf);
    if (up != dbf && up != mdx) continue;
    if (IsRegularFile(p)) out.push_back(leaf);
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string VersionOf(const std::vector<FileEntry>& files) {
  std::string all;
  for (const FileEntry& f : files) all += f.name + '\0' + std::to_string(f.size) + '\0' + f.hash + '\n';
  return Hash(all);
}

void WriteManifest(const Manifest& m) {
  const int err = store::ReplaceFileAtomically(m.copy.folder / kBackupManifestName, ManifestText(m));
  if (err != 0) CopyFailed(kBackupManifestName, m.copy.folder, store::SystemErrorText(err));
}

// A new, empty copy folder with its COPIA.TXT.
Manifest MakeCopyFolder(const fs::path& workFolder, const std::string& note,
                        bool pending = false) {
  const fs::path root = workFolder / kBackupFolderName;
  const store::os::PathStatus info = store::os::Status(root);
  if (info.exists) {
    if (info.isLink)
      throw store::StoreError("La carpeta de copias " + store::PathText(root) +
                              " es un enlace; no se copia nada a través de ella.\r"
                              "Sustitúyala por una carpeta normal. " + kNothingChanged);
    if (!info.isFolder) CopyFailed("las tablas", root, "no es una carpeta");
  } else if (!store::os::IsNotFound(store::os::LastError())) {
    CopyFailed("las tablas", root, store::SystemErrorText(store::os::LastError()));
  } else {
    if (!store::os::CreateFolder(root))
      CopyFailed("las tablas", root, store::SystemErrorText(store::os::LastError()));
  }
  if (!IsRealFolder(root)) CopyFailed("las tablas", root, "no es una carpeta");

  unsigned long number = 0;
  bool listed = false;
  for (const fs::path& p : Entries(root, &listed)) number = std::max(number, ParseCopyName(Leaf(p)));
  if (!listed) CopyFailed("las tablas", root, store::SystemErrorText(store::os::LastError()));

  const std::tm tm = store::os::LocalTime(std::time(nullptr));
  char stamp[32] = "", shown[32] = "";
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
  std::strftime(shown, sizeof shown, "%d/%m/%Y %H:%M:%S", &tm);
  Manifest m;
  for (int attempt = 0;; ++attempt) {
    ++number;
    if (number > 999999) CopyFailed("las tablas", root, "se ha llegado al número 999999");
    char name[64];
    std::snprintf(name, sizeof name, "%06lu-%s", number, stamp);
    const fs::path folder = root / name;
    if (store::os::CreateFolder(folder)) {
      m.copy.folder = folder;
      break;
    }
    // The name taken (by a folder or a file): the next number is tried.
    const int err = store::os::LastError();
    if (!store::os::IsAlreadyExists(err) || attempt > 1000)
      CopyFailed("las tablas", folder, store::SystemErrorText(err));
  }
  m.copy.number = number;
  m.copy.date = shown;
  m.copy.note = note;
  m.pending = pending;
  try {
    WriteManifest(m);
  } catch (...) {
    RemoveEmptyFolder(m.copy.folder);
    throw;
  }
  return m;
}

// Copies the files of table `name` from `from` into the copy m (unless m has
// that table already). COPIA.TXT lists the files before they are written,
// so that no file of a copy is ever unlisted, and names the table only once
// they are all whole: a kill in between leaves listed files of no table,
// which count for nothing and go with the copy.
void CopyTableInto(Manifest& m, const fs::path& from, const std::string& name,
                   const std::vector<std::string>& files) {
  const std::string key = Upper(name);
  for (const CopiedTable& t : m.copy.tables)
    if (t.name == key) return;  // kept earlier in this run: the older copy stays
  std::vector<FileEntry> added;
  std::vector<std::string> contents;
  for (const std::string& leaf : files) {
    std::string bytes;
    if (!ReadWhole(from / store::PathFromText(leaf), bytes))
      CopyFailed(leaf, m.copy.folder, store::SystemErrorText(store::os::LastError()));
    FileEntry f;
    f.table = key;
    f.name = leaf;
    f.size = bytes.size();
    f.hash = Hash(WithoutDates(leaf, bytes));
    added.push_back(f);
    contents.push_back(std::move(bytes));
  }
  // Files of this table that an earlier attempt of this run listed go.
  m.files.erase(std::remove_if(m.files.begin(), m.files.end(),
                               [&key](const FileEntry& f) { return f.table == key; }),
                m.files.end());
  m.files.insert(m.files.end(), added.begin(), added.end());
  auto unlist = [&m, &key] {
    m.files.erase(std::remove_if(m.files.begin(), m.files.end(),
                                 [&key](const FileEntry& f) { return f.table == key; }),
                  m.files.end());
  };
  try {
    WriteManifest(m);
  } catch (...) {
    unlist();
    throw;
  }
  auto dropFiles = [&](size_t upTo) {
    for (size_t k = 0; k < upTo; ++k)
      store::os::RemoveFile(m.copy.folder / store::PathFromText(added[k].name));
  };
  for (size_t i = 0; i < added.size(); ++i) {
    const int err = store::ReplaceFileAtomically(
        m.copy.folder / store::PathFromText(added[i].name), contents[i]);
    if (err != 0) {
      dropFiles(i);
      unlist();
      try {
        WriteManifest(m);
      } catch (...) {
      }
      CopyFailed(added[i].name, m.copy.folder, store::SystemErrorText(err));
    }
  }
  CopiedTable t;
  t.name = key;
  t.version = VersionOf(added);
  for (const FileEntry& f : added) t.files.push_back(f.name);
  m.copy.tables.push_back(t);
  try {
    WriteManifest(m);
  } catch (...) {
    m.copy.tables.pop_back();
    dropFiles(added.size());
    unlist();
    throw;
  }
}

bool SameTableFiles(const Manifest& a, const Manifest& b, const std::string& table) {
  std::vector<const FileEntry*> fa, fb;
  for (const FileEntry& f : a.files)
    if (f.table == table) fa.push_back(&f);
  for (const FileEntry& f : b.files)
    if (f.table == table) fb.push_back(&f);
  if (fa.size() != fb.size()) return false;
  for (size_t i = 0; i < fa.size(); ++i) {
    if (fa[i]->name != fb[i]->name || fa[i]->hash != fb[i]->hash) return false;
    std::string x, y;
    if (!ReadWhole(a.copy.folder / store::PathFromText(fa[i]->name), x) ||
        !ReadWhole(b.copy.folder / store::PathFromText(fb[i]->name), y))
      return false;
    if (WithoutDates(fa[i]->name, x) != WithoutDates(fb[i]->name, y)) return false;
  }
  return true;
}

constexpr const char* kRemovingPrefix = ".borrando-";

bool IsTableFileName(const std::string& leaf) {
  const std::string up = Upper(leaf);
  for (const std::string& t : ProductTableNames())
    if (up == t + ".DBF" || up == t + ".MDX") return true;
  return false;
}

// Empties a copy folder already renamed for removal: the files its COPIA.TXT
// lists, files of the product's tables that a run killed while copying left
// unlisted, its temporaries, COPIA.TXT last (until then a killed removal is
// finished by the next run), then the folder. Without COPIA.TXT only the
// temporaries and an empty folder go.
void FinishRemoval(const fs::path& folder) {
  Manifest m;
  const bool listed = ReadManifest(folder, m);
  if (listed)
    for (const FileEntry& f : m.files) {
      const fs::path p = folder / store::PathFromText(f.name);
      if (IsRegularFile(p)) store::os::RemoveFile(p);
    }
  if (listed)
    for (const fs::path& p : Entries(folder))
      if (IsTableFileName(Leaf(p)) && IsRegularFile(p)) store::os::RemoveFile(p);
  store::RemoveStaleTempFiles(folder);
  if (listed) store::os::RemoveFile(folder / kBackupManifestName);
  RemoveEmptyFolder(folder);
}

// Removes a copy: renamed first (atomically) out of the copies, then
// emptied.
void RemoveCopy(const Manifest& m) {
  const fs::path removing =
      m.copy.folder.parent_path() / store::PathFromText(kRemovingPrefix + Leaf(m.copy.folder));
  if (!store::os::RenameFile(m.copy.folder, removing)) return;
  FinishRemoval(removing);
}

Manifest CurrentRun(chain::StepContext& ctx) {
  Manifest m;
  const fs::path run = store::PathFromText(ctx.state.backupFolder);
  store::os::FileId runRoot, root;
  if (!run.empty() && IsRealFolder(run) && ReadManifest(run, m) &&
      store::os::Identity(run.parent_path(), runRoot) &&
      store::os::Identity(ctx.workFolder / kBackupFolderName, root) && runRoot == root)
    return m;
  m = MakeCopyFolder(ctx.workFolder, "importación");
  ctx.state.backupFolder = store::PathText(m.copy.folder);
  return m;
}

}  // namespace

const std::vector<std::string>& ProductTableNames() {
  static const std::vector<std::string> names = {"ASIGT", "DIASHORAT", "ASIGNOMT", "PROFT",
                                                 "GRUPOST"};
  return names;
}

const std::vector<std::string>& ImportedTableNames() {
  static const std::vector<std::string> names = {
      "ASIGNOMT",  "PROFT",     "GRUPOST",   "ASIGT",     "DIASHORAT",
      "daeTIPTAR", "daeASIGNAT", "daeOTRACT", "daeTIPDOC", "daeNIVIMP",
      "daeIDIOMA", "daeGRUPNIV", "daeCENTRO"};
  return names;
}

ImportHolds::ImportHolds(chain::StepContext& ctx) {
  // Every file first, so that nothing is copied while one is held.
  for (const std::string& name : ImportedTableNames()) {
    try {
      locks_.emplace_back(ctx.workFolder, name + ".DBF");
    } catch (const store::StoreError& e) {
      locks_.clear();
      throw store::StoreError(std::string(e.what()) + ".\r" + kNothingChanged);
    }
  }
  // Then the product's tables, copied whole before the first one changes.
  Manifest run;
  bool made = false;
  for (const std::string& name : ProductTableNames()) {
    const std::vector<std::string> files = TableFiles(ctx.workFolder, name);
    if (files.empty()) continue;
    if (!made) {
      run = CurrentRun(ctx);
      made = true;
    }
    CopyTableInto(run, ctx.workFolder, name, files);
  }
  if (made) PruneBackupCopies(ctx.workFolder, run.copy.folder);
}

std::vector<BackupCopy> BackupCopies(const fs::path& workFolder) {
  std::vector<BackupCopy> out;
  for (Manifest& m : Manifests(workFolder))
    if (!m.pending) out.push_back(std::move(m.copy));
  return out;
}

std::vector<std::filesystem::path> DamagedCopies(const fs::path& workFolder) {
  std::vector<fs::path> out;
  const fs::path root = workFolder / kBackupFolderName;
  if (!IsRealFolder(root)) return out;
  std::error_code ec;
  for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path p = it->path();
    if (ParseCopyName(Leaf(p)) == 0 || !IsRealFolder(p)) continue;
    // A folder without COPIA.TXT was left empty by a killed run (the next
    // import removes it); one whose COPIA.TXT cannot be read is damaged.
    if (!store::os::Exists(p / kBackupManifestName)) continue;
    Manifest m;
    if (!ReadManifest(p, m)) out.push_back(p);
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string CopyProblem(const BackupCopy& copy) {
  Manifest m;
  if (!IsRealFolder(copy.folder) || !ReadManifest(copy.folder, m))
    return "su " + std::string(kBackupManifestName) + " no se puede leer";
  for (const FileEntry& f : CompleteFiles(m)) {
    std::string bytes;
    const fs::path p = copy.folder / store::PathFromText(f.name);
    if (!IsRegularFile(p) || !ReadWhole(p, bytes)) return "falta el archivo " + f.name;
    if (bytes.size() != f.size || Hash(WithoutDates(f.name, bytes)) != f.hash)
      return "el archivo " + f.name + " no es el que se guardó";
  }
  return "";
}

std::vector<fs::path> BackupRuns(const fs::path& workFolder) {
  std::vector<fs::path> out;
  for (const BackupCopy& c : BackupCopies(workFolder)) out.push_back(c.folder);
  return out;
}

void PruneBackupCopies(const fs::path& workFolder, const fs::path& keep) {
  const fs::path root = workFolder / kBackupFolderName;
  if (!IsRealFolder(root)) return;
  // Folders of the tool's name form left by a run killed before its
  // COPIA.TXT was written: its temporary goes, then the folder if it is
  // empty (rmdir takes nothing else).
  for (const fs::path& p : Entries(root)) {
    const std::string name = Leaf(p);
    if (ParseCopyName(name) != 0 && IsRealFolder(p) && !store::os::Exists(p / kBackupManifestName)) {
      store::RemoveStaleTempFiles(p);
      RemoveEmptyFolder(p);
    }
    // A removal that a killed run left half done.
    if (name.rfind(kRemovingPrefix, 0) == 0 &&
        ParseCopyName(name.substr(std::string(kRemovingPrefix).size())) != 0 && IsRealFolder(p))
      FinishRemoval(p);
  }
  std::vector<Manifest> copies = Manifests(workFolder);
  for (const Manifest& m : copies) store::RemoveStaleTempFiles(m.copy.folder);
  // A restore's safety copy that the restore never recorded its swap for:
  // the restore changed nothing, so the copy holds nothing to go back to.
  for (auto it = copies.begin(); it != copies.end();) {
    if (it->pending && (keep.empty() || it->copy.folder != keep)) {
      RemoveCopy(*it);
      it = copies.erase(it);
    } else {
      ++it;
    }
  }
  std::vector<bool> stays(copies.size(), true);
  const size_t newest = static_cast<size_t>(kBackupNewestKept);
  for (size_t i = 0; i < copies.size(); ++i) {
    if (!keep.empty() && copies[i].copy.folder == keep) continue;
    // A copy that holds no table (its run was killed before the first one
    // was copied) goes whatever its age; of the others the newest stay.
    if (i + newest >= copies.size() && !copies[i].copy.tables.empty()) continue;
    bool elsewhere = true;
    for (const CopiedTable& t : copies[i].copy.tables) {
      bool found = false;
      for (size_t j = 0; j < copies.size() && !found; ++j) {
        if (j == i || !stays[j]) continue;
        for (const CopiedTable& u : copies[j].copy.tables)
          if (u.name == t.name && u.version == t.version &&
              SameTableFiles(copies[i], copies[j], t.name)) {
            found = true;
            break;
          }
      }
      if (!found) {
        elsewhere = false;
        break;
      }
    }
    if (!elsewhere) continue;
    RemoveCopy(copies[i]);
    stays[i] = false;
  }
}

KeptTable KeepProductTable(chain::StepContext& ctx, const std::string& name) {
  KeptTable kept;
  const std::vector<std::string> files = TableFiles(ctx.workFolder, name);
  kept.Hold(store::TableFileLock(ctx.workFolder, name + ".DBF"));
  if (files.empty()) return kept;
  Manifest run = CurrentRun(ctx);
  CopyTableInto(run, ctx.workFolder, name, files);
  PruneBackupCopies(ctx.workFolder, run.copy.folder);
  return kept;
}

long CopiedTableRows(const BackupCopy& copy, const std::string& table) {
  std::string dbfName;
  for (const CopiedTable& t : copy.tables)
    if (t.name == Upper(table))
      for (const std::string& f : t.files)
        if (Upper(Leaf(store::PathFromText(f).extension())) == ".DBF") dbfName = f;
  if (dbfName.empty()) return -1;
  // Read with the record layer only: opening it as a table would check its
  // index, and rebuild a stale one inside the copy, which must stay the
  // bytes COPIA.TXT lists.
  try {
    store::DbfFile dbf;
    dbf.Open(copy.folder / store::PathFromText(dbfName), dbfName);
    long rows = 0;
    std::string record;
    for (uint32_t r = 1; r <= dbf.RecordCount(); ++r) {
      dbf.ReadRecord(r, record);
      if (record[0] != '*') ++rows;
    }
    return rows;
  } catch (const std::exception&) {
    return -1;
  }
}

namespace {

// The swap of a restore. Its new files are written beside their targets as
// "<name>.transdae-restaura"; then this record, in the work folder, lists
// what puts them in place:
//   TDREST01
//   C <the safety copy's folder name>
//   M <staged name>\t<final name>
//   D <name>                       a spelling the copy does not have
//   S <checksum>                   FNV-1a of every line before it
// Once the record is whole the restore is decided: the next run finishes
// it (FinishInterruptedRestore) if this one was killed. A record without
// its checksum was cut short before the swap began: nothing but staged
// files was written, and they go.
constexpr const char* kRestoreRecordName = ".transdae-restauracion";
constexpr const char* kRestoreStagingSuffix = ".transdae-restaura";
constexpr const char* kRestoreMagic = "TDREST01";

struct RestoreRecord {
  std::string before;
  std::vector<std::pair<std::string, std::string>> moves;
  std::vector<std::string> deletions;
};

std::string RestoreRecordText(const RestoreRecord& r) {
  std::vector<store::SealedLine> lines{{'C', r.before}};
  for (const auto& [from, to] : r.moves) lines.push_back({'M', from + "\t" + to});
  for (const std::string& d : r.deletions) lines.push_back({'D', d});
  return store::SealRecord(kRestoreMagic, lines);
}

// Only names of the product's tables (and their staged forms) in the work
// folder: a record never leads anywhere else.
bool ParseRestoreRecord(const std::string& text, RestoreRecord& r) {
  std::vector<store::SealedLine> lines;
  if (!store::ReadSealedRecord(text, kRestoreMagic, lines)) return false;
  for (const store::SealedLine& line : lines) {
    const std::string& rest = line.text;
    if (line.letter == 'C') {
      if (ParseCopyName(rest) == 0) return false;
      r.before = rest;
    } else if (line.letter == 'M') {
      const size_t tab = rest.find('\t');
      if (tab == std::string::npos) return false;
      const std::string from = rest.substr(0, tab), to = rest.substr(tab + 1);
      if (!IsTableFileName(to) || from != to + kRestoreStagingSuffix) return false;
      r.moves.emplace_back(from, to);
    } else if (line.letter == 'D') {
      if (!IsTableFileName(rest)) return false;
      r.deletions.push_back(rest);
    } else {
      return false;
    }
  }
  return true;
}

// Carries out a whole record: old spellings go, the staged files take
// their names. Idempotent: a staged file already moved, a spelling already
// gone, are done. Only plain files are touched. False with the error of
// the step that failed (and its file in `failed`).
bool ApplyRestoreRecord(const fs::path& work, const RestoreRecord& r, int& err,
                        std::string& failed) {
  std::vector<store::os::FileId> fresh;
  for (const auto& [from, to] : r.moves) {
    store::os::FileId id;
    if ((IsRegularFile(work / store::PathFromText(from)) &&
         store::os::Identity(work / store::PathFromText(from), id)) ||
        (IsRegularFile(work / store::PathFromText(to)) &&
         store::os::Identity(work / store::PathFromText(to), id)))
      fresh.push_back(id);
  }
  for (const std::string& d : r.deletions) {
    const fs::path old = work / store::PathFromText(d);
    if (!IsRegularFile(old)) continue;
    store::os::FileId id;
    if (store::os::Identity(old, id) && std::find(fresh.begin(), fresh.end(), id) != fresh.end())
      continue;  // on a disk that ignores letter case: the new file
    if (!store::os::RemoveFile(old)) {
      err = store::os::LastError();
      failed = d;
      return false;
    }
  }
  for (const auto& [from, to] : r.moves) {
    const fs::path source = work / store::PathFromText(from);
    if (!IsRegularFile(source)) continue;  // moved before a kill
    const fs::path target = work / store::PathFromText(to);
    const store::os::PathStatus t = store::os::Status(target);
    if (t.exists && !t.isRegular) {
      err = EISDIR;
      failed = to;
      return false;
    }
    if (!store::os::RenameFile(source, target)) {
      err = store::os::LastError();
      failed = to;
      return false;
    }
  }
  if (!store::os::SyncFolder(work)) {
    err = store::os::LastError();
    failed = kRestoreRecordName;
    return false;
  }
  return true;
}

std::string ReadSmall(const fs::path& p) {
  std::string text;
  if (!IsRegularFile(p) || !ReadWhole(p, text) || text.size() > (1u << 20)) return std::string();
  return text;
}

// The safety copy named by a record, made final (no longer pending).
void ConfirmSafetyCopy(const fs::path& work, const std::string& name) {
  Manifest m;
  const fs::path folder = work / kBackupFolderName / store::PathFromText(name);
  if (IsRealFolder(folder) && ReadManifest(folder, m) && m.pending) {
    m.pending = false;
    WriteManifest(m);
  }
}

// Staged files of a restore that never recorded its swap.
void RemoveRestoreStrays(const fs::path& work) {
  std::error_code ec;
  std::vector<fs::path> strays;
  for (fs::directory_iterator it(work, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string leaf = Leaf(it->path());
    const std::string suffix = kRestoreStagingSuffix;
    if (leaf.size() > suffix.size() &&
        leaf.compare(leaf.size() - suffix.size(), suffix.size(), suffix) == 0 &&
        IsTableFileName(leaf.substr(0, leaf.size() - suffix.size())) &&
        IsRegularFile(it->path()))
      strays.push_back(it->path());
  }
  for (const fs::path& p : strays) store::os::RemoveFile(p);
}

}  // namespace

bool FinishInterruptedRestore(const fs::path& workFolder) {
  const fs::path recordPath = workFolder / kRestoreRecordName;
  bool finished = false;
  const store::os::PathStatus st = store::os::Status(recordPath);
  if (st.exists) {
    RestoreRecord r;
    if (st.isRegular && ParseRestoreRecord(ReadSmall(recordPath), r)) {
      ConfirmSafetyCopy(workFolder, r.before);
      int err = 0;
      std::string failed;
      if (!ApplyRestoreRecord(workFolder, r, err, failed))
        throw store::StoreError("No se puede terminar de volver a poner la copia que una "
                                "restauración interrumpida dejó a medias: " + failed + " en " +
                                store::PathText(workFolder) + ": " +
                                store::SystemErrorText(err) + ".");
      finished = true;
    }
    if (st.isRegular || st.isLink) store::os::RemoveFile(recordPath);
    store::os::SyncFolder(workFolder);
  }
  RemoveRestoreStrays(workFolder);
  // Safety copies of restores that changed nothing.
  for (const Manifest& m : Manifests(workFolder))
    if (m.pending) RemoveCopy(m);
  return finished;
}

RestoreResult RestoreBackupCopy(const fs::path& workFolder, const BackupCopy& wanted) {
  Manifest source;
  if (!IsRealFolder(wanted.folder) || !ReadManifest(wanted.folder, source) || source.pending)
    throw store::StoreError("La carpeta " + store::PathText(wanted.folder) +
                            " no es una copia de las tablas hecha por esta herramienta.");
  if (source.copy.tables.empty())
    throw store::StoreError("La copia " + Leaf(wanted.folder) +
                            " no contiene ninguna tabla; no se ha cambiado nada.");

  // 1. Every file of the copy, checked against what was stored. Files of
  // a table whose copying a kill cut short are not part of it.
  source.files = CompleteFiles(source);
  std::map<std::string, std::string> bytesOf;
  for (const FileEntry& f : source.files) {
    std::string bytes;
    const fs::path p = source.copy.folder / store::PathFromText(f.name);
    const bool ok = IsRegularFile(p) && ReadWhole(p, bytes);
    if (!ok || bytes.size() != f.size || Hash(WithoutDates(f.name, bytes)) != f.hash)
      throw store::StoreError("La copia " + Leaf(source.copy.folder) +
                              " está dañada: el archivo " + f.name +
                              " no es el que se guardó. No se ha cambiado ninguna tabla.");
    bytesOf[f.name] = std::move(bytes);
  }

  // 2. What a killed run left is settled (a restore finished, a change in
  // place rolled back, a replacement finished), so that the copy below is
  // of whole tables and no journal is left to be played over the restored
  // files; then every table concerned, its .DBF and .MDX, is held against
  // other programs (a held or read-only file stops the restore here).
  FinishInterruptedRestore(workFolder);
  store::RemoveStaleTempFiles(workFolder);
  store::RecoverWorkFolder(workFolder);
  std::vector<store::TableFileLock> held;
  std::map<std::string, std::vector<std::string>> current;
  for (const CopiedTable& t : source.copy.tables) {
    current[t.name] = TableFiles(workFolder, t.name);
    try {
      held.emplace_back(workFolder, t.name + ".DBF");
    } catch (const store::StoreError& e) {
      throw store::StoreError(std::string(e.what()) + ". No se ha cambiado ninguna tabla.");
    }
  }

  // 3. What the work folder holds of them, copied first, as a pending copy
  // until the swap is recorded. A table that is not there is kept as a
  // table without files, so that putting this copy back removes it again.
  RestoreResult result;
  char note[96];
  std::snprintf(note, sizeof note, "antes de volver a poner la copia %06lu", source.copy.number);
  Manifest before = MakeCopyFolder(workFolder, note, true);
  struct Staged {
    fs::path path, target;
  };
  std::vector<Staged> staged;
  auto dropAll = [&] {
    for (Staged& s : staged) store::os::RemoveFile(s.path);
    staged.clear();
    RemoveCopy(before);
  };
  try {
    for (const CopiedTable& t : source.copy.tables)
      CopyTableInto(before, workFolder, t.name, current[t.name]);
  } catch (...) {
    dropAll();
    throw;
  }
  result.previousCopy = before.copy.folder;

  // 4. The new files, beside their targets under staging names.
  RestoreRecord record;
  record.before = Leaf(before.copy.folder);
  for (const FileEntry& f : source.files) {
    Staged s;
    s.target = workFolder / store::PathFromText(f.name);
    s.path = workFolder / store::PathFromText(f.name + kRestoreStagingSuffix);
    store::os::File file;
    int err = 0;
    if (!file.Open(s.path, store::os::OpenMode::CreateOrTruncate)) {
      err = store::os::LastError();
    } else {
      staged.push_back(s);
      if (!file.WriteAll(bytesOf[f.name]) || !file.Sync()) err = store::os::LastError();
    }
    if (err != 0) {
      file.Close();
      dropAll();
      throw store::StoreError("No se puede volver a poner " + f.name + " en " +
                              store::PathText(workFolder) + ": " + store::SystemErrorText(err) +
                              ". No se ha cambiado ninguna tabla.");
    }
    record.moves.emplace_back(Leaf(s.path), f.name);
  }
  std::vector<std::string> copyNames;
  for (const FileEntry& f : source.files) copyNames.push_back(f.name);
  for (const auto& c : current)
    for (const std::string& leaf : c.second)
      if (std::find(copyNames.begin(), copyNames.end(), leaf) == copyNames.end())
        record.deletions.push_back(leaf);

  // 5. The record: from here on the restore is decided. The safety copy
  // becomes a copy like any other.
  const fs::path recordPath = workFolder / kRestoreRecordName;
  {
    const std::string text = RestoreRecordText(record);
    store::os::File f;
    if (!f.Open(recordPath, store::os::OpenMode::CreateOrTruncate) ||
        !f.WriteAt(0, text.data(), text.size()) || !f.Sync() ||
        !store::os::SyncFolder(workFolder)) {
      const int err = store::os::LastError();
      f.Close();
      store::os::RemoveFile(recordPath);
      dropAll();
      throw store::StoreError("No se puede volver a poner la copia " +
                              Leaf(source.copy.folder) + " en " + store::PathText(workFolder) +
                              ": " + store::SystemErrorText(err) +
                              ". No se ha cambiado ninguna tabla.");
    }
  }
  ConfirmSafetyCopy(workFolder, record.before);

  // 6. In place.
  int err = 0;
  std::string failed;
  if (!ApplyRestoreRecord(workFolder, record, err, failed)) {
    // Back as it was, from the safety copy.
    for (Staged& s : staged) store::os::RemoveFile(s.path);
    bool back = true;
    for (const FileEntry& f : before.files) {
      std::string bytes;
      if (!ReadWhole(before.copy.folder / store::PathFromText(f.name), bytes) ||
          store::ReplaceFileAtomically(workFolder / store::PathFromText(f.name), bytes) != 0)
        back = false;
    }
    for (const FileEntry& f : source.files) {
      bool wasThere = false;
      for (const auto& c : current)
        wasThere = wasThere || std::find(c.second.begin(), c.second.end(), f.name) != c.second.end();
      if (!wasThere && !store::os::RemoveFile(workFolder / store::PathFromText(f.name)))
        back = false;
    }
    store::os::RemoveFile(recordPath);
    store::os::SyncFolder(workFolder);
    std::string tail = " Las tablas se han dejado como estaban.";
    if (back) {
      RemoveCopy(before);
    } else {
      tail = " Alguna tabla puede haber quedado a medias: vuelva a poner la copia " +
             Leaf(before.copy.folder) + ", que guarda las tablas de antes de esta restauración.";
    }
    throw store::StoreError("No se puede volver a poner " + failed + " en " +
                            store::PathText(workFolder) + ": " + store::SystemErrorText(err) +
                            "." + tail);
  }
  store::os::RemoveFile(recordPath);
  store::os::SyncFolder(workFolder);
  for (const CopiedTable& t : source.copy.tables) result.tables.push_back(t.name);
  PruneBackupCopies(workFolder, before.copy.folder);
  return result;
}

}  // namespace dae_import
