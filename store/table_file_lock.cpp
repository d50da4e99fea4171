#include "store/table_file_lock.h"

#include <algorithm>
#include <system_error>

#include "store/cp1252.h"
#include "store/file_links.h"
#include "store/path_text.h"
#include "store/shared_table.h"
#include "store/store_error.h"
#include "store/system_error_text.h"
#include "store/work_folder.h"

namespace store {

namespace fs = std::filesystem;

namespace {

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

std::vector<os::FileId>& HeldIds() {
  static std::vector<os::FileId> held;
  return held;
}

// Every TableFileLock of this process that holds something.
std::vector<TableFileLock*>& Holds() {
  static std::vector<TableFileLock*> holds;
  return holds;
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

bool IsIndexName(const std::string& name) {
  return name.size() >= 4 && Upper(name.substr(name.size() - 4)) == ".MDX";
}

// "La tabla 'PROFT.DBF'" or "El índice 'PROFT.MDX' de la tabla 'PROFT.DBF'".
std::string Subject(const std::string& name, const std::string& table) {
  if (IsIndexName(name)) return "El índice " + Quoted(name) + " de la tabla " + Quoted(table);
  return "La tabla " + Quoted(name);
}

}  // namespace

bool IsHeldHere(const fs::path& path) {
  if (HeldIds().empty()) return false;
  os::FileId id;
  if (!os::Identity(path, id)) return false;
  return std::find(HeldIds().begin(), HeldIds().end(), id) != HeldIds().end();
}

std::vector<std::string> TableFileNames(const fs::path& folder, const std::string& dbfName) {
  const std::string base = PathText(PathFromText(dbfName).stem());
  const std::string dbf = Upper(base + ".DBF"), mdx = Upper(base + ".MDX");
  std::vector<std::string> out;
  std::error_code ec;
  for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec), end;
       !ec && it != end; it.increment(ec)) {
    const std::string leaf = FileNameText(it->path());
    const std::string up = Upper(leaf);
    if (up == dbf || up == mdx) out.push_back(leaf);
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string ReadOnlyFileProblem(const fs::path& file, const std::string& label) {
  if (!os::Status(file).readOnly) return "";
  return Subject(FileNameText(file), label) +
         " es de sólo lectura: la herramienta no la modifica, ni la reemplaza ni la borra. "
         "Quítele el atributo de sólo lectura si quiere que se modifique y vuelva a "
         "intentarlo";
}

TableFileLock::TableFileLock(const fs::path& folder, const std::string& fileName) {
  const fs::path dbfPath = ResolveFileNoCase(folder, fileName);
  const std::string label = FileNameText(dbfPath);
  // The table's files may be links even when the name leads nowhere.
  RefuseLinkedTable(dbfPath, label);
  std::vector<std::string> names = TableFileNames(folder, fileName);
  if (!IsIndexName(fileName)) {
    // The .DBF first, so that a table held whole is named by its table.
    std::stable_partition(names.begin(), names.end(),
                          [](const std::string& n) { return !IsIndexName(n); });
  } else {
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const std::string& n) { return !IsIndexName(n); }),
                names.end());
  }
  for (const std::string& name : names) {
    const fs::path path = folder / PathFromText(name);
    RefuseLinkedTableFile(path, label);
    if (!os::Status(path).isRegular) continue;
    const std::string readOnly = ReadOnlyFileProblem(path, label);
    if (!readOnly.empty()) throw StoreError(readOnly);
  }
  for (const std::string& name : names) {
    const fs::path path = folder / PathFromText(name);
    if (!os::Status(path).isRegular) continue;
    if (!IsIndexName(name) && SharedTable::IsOpenInProcess(path)) {
      throw StoreError("La tabla " + Quoted(name) +
                       " está abierta en esta ventana y no se puede reemplazar");
    }
    if (IsHeldHere(path)) continue;
    // Writable, so that the record lock is a write lock that other
    // programs' record locks see.
    os::File file;
    if (!file.Open(path, os::OpenMode::ReadWrite, os::LockKind::Hold)) {
      const int err = os::LastError();
      if (os::IsWouldBlock(err)) {
        throw StoreError(Subject(name, label) +
                         " está en uso por otro programa y no se puede reemplazar; "
                         "ciérrela en ese programa y vuelva a intentarlo");
      }
      throw StoreError("No se puede abrir " + Subject(name, label) + " (" + PathText(path) +
                       "): " + SystemErrorText(err));
    }
    os::FileId id;
    if (os::Identity(path, id)) ids_.push_back(id);
    files_.push_back(std::move(file));
  }
  HeldIds().insert(HeldIds().end(), ids_.begin(), ids_.end());
  Holds().push_back(this);
}

TableFileLock::TableFileLock(TableFileLock&& other) noexcept
    : files_(std::move(other.files_)), ids_(std::move(other.ids_)) {
  other.files_.clear();
  other.ids_.clear();
  for (TableFileLock*& h : Holds())
    if (h == &other) h = this;
}

TableFileLock::~TableFileLock() {
  for (const os::FileId& id : ids_) {
    auto it = std::find(HeldIds().begin(), HeldIds().end(), id);
    if (it != HeldIds().end()) HeldIds().erase(it);
  }
  Holds().erase(std::remove(Holds().begin(), Holds().end(), this), Holds().end());
}

bool TableFileLock::Extend(const fs::path& heldPath, const fs::path& newFile) {
  os::FileId held;
  if (!os::Identity(heldPath, held)) return false;
  for (TableFileLock* h : Holds()) {
    if (std::find(h->ids_.begin(), h->ids_.end(), held) == h->ids_.end()) continue;
    os::File file;
    os::FileId id;
    if (!file.Open(newFile, os::OpenMode::ReadWrite, os::LockKind::Hold) ||
        !file.Identity(id))
      return false;
    h->files_.push_back(std::move(file));
    h->ids_.push_back(id);
    HeldIds().push_back(id);
    return true;
  }
  return false;
}

}  // namespace store
