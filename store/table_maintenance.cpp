// Packing and index rebuilding. Both work on a closed table under an
// exclusive lock, write their result beside the old file and rename it
// into place, so that a failure leaves the table as it was.
#include "store/table_maintenance.h"
#include "store/path_text.h"

#include <cstring>
#include <ctime>
#include <system_error>

#include "store/dbf_file.h"
#include "store/file_links.h"
#include "store/mdx_file.h"
#include "store/os_file.h"
#include "store/pager.h"
#include "store/shared_table.h"
#include "store/store_error.h"
#include "store/system_error_text.h"
#include "store/table_replacement.h"
#include "store/table_layout.h"
#include "store/work_folder.h"

namespace store {

namespace fs = std::filesystem;

namespace {

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

// The staging name of the file: a stray left by a kill is removed by the
// next open of the table.
fs::path TempBeside(const fs::path& path) {
  fs::path tmp = path;
  tmp += kStagingSuffix;
  return tmp;
}

void CheckClosedHere(const fs::path& path, const std::string& label) {
  os::FileId id;
  if (!os::Identity(path, id)) {
    throw StoreError("No se encuentra la tabla " + Quoted(label) + " (" + PathText(path) + ")");
  }
  if (SharedTable::IsOpenInProcess(path)) {
    throw StoreError("La tabla " + Quoted(label) +
                     " está abierta; ciérrela antes de compactarla o de rehacer su índice");
  }
  RefuseLinkedTable(path, label);
}

void WriteWhole(const fs::path& path, const std::string& bytes, const std::string& label) {
  os::File f;
  if (!f.Open(path, os::OpenMode::CreateOrTruncate) || !f.WriteAt(0, bytes.data(), bytes.size()) ||
      !f.Sync()) {
    const int err = os::LastError();
    f.Close();
    os::RemoveFile(path);
    throw StoreError("No se puede escribir la tabla " + Quoted(label) + ": " +
                     SystemErrorText(err));
  }
}

fs::path IndexPathOf(const fs::path& dbfPath) {
  return ResolveFileNoCase(dbfPath.parent_path(), PathText(dbfPath.stem()) + ".MDX");
}

}  // namespace

void PackTable(const fs::path& dbfPath, const IndexDefs& fallbackTags) {
  const std::string label = FileNameText(dbfPath);
  CheckClosedHere(dbfPath, label);
  RecoverTable(dbfPath, label);
  bool indexed = false;
  {
    DbfFile dbf;
    dbf.Open(dbfPath, label);
    dbf.SetLock(DbfFile::Lock::Exclusive);
    if (!dbf.Writable()) {
      throw StoreError("La tabla " + Quoted(label) + " no se puede modificar (archivo de sólo lectura)");
    }
    indexed = dbf.ProductionIndexFlag();
    std::string out = dbf.HeaderBytes();
    std::string record;
    uint32_t live = 0;
    for (uint32_t r = 1; r <= dbf.RecordCount(); ++r) {
      dbf.ReadRecord(r, record);
      if (record[0] == '*') continue;
      out += record;
      ++live;
    }
    out += '\x1A';
    std::time_t now = std::time(nullptr);
    const std::tm tm = os::LocalTime(now);
    out[1] = static_cast<char>(tm.tm_year % 256);
    out[2] = static_cast<char>(tm.tm_mon + 1);
    out[3] = static_cast<char>(tm.tm_mday);
    for (int i = 0; i < 4; ++i) out[4 + static_cast<size_t>(i)] = static_cast<char>((live >> (8 * i)) & 0xFF);
    const fs::path tmp = TempBeside(dbfPath);
    WriteWhole(tmp, out, label);
    if (!os::RenameFile(tmp, dbfPath) || !os::SyncFolder(dbfPath.parent_path())) {
      const int err = os::LastError();
      os::RemoveFile(tmp);
      throw StoreError("No se puede compactar la tabla " + Quoted(label) + ": " +
                       SystemErrorText(err));
    }
  }
  if (indexed) RebuildTableIndex(dbfPath, fallbackTags);
}

void RebuildTableIndex(const fs::path& dbfPath, const IndexDefs& fallbackTags) {
  const std::string label = FileNameText(dbfPath);
  CheckClosedHere(dbfPath, label);
  RecoverTable(dbfPath, label);
  DbfFile dbf;
  dbf.Open(dbfPath, label);
  dbf.SetLock(DbfFile::Lock::Exclusive);
  if (!dbf.Writable()) {
    throw StoreError("La tabla " + Quoted(label) + " no se puede modificar (archivo de sólo lectura)");
  }
  const fs::path oldIndex = IndexPathOf(dbfPath);
  std::vector<MdxTagDef> tags;
  {
    os::FileId id;
    if (os::Identity(oldIndex, id)) {
      try {
        MdxFile old;
        old.Open(oldIndex, true);
        tags = old.Tags();
      } catch (const StoreError&) {
        tags.clear();  // unreadable: fall back to the definitions
      }
    }
  }
  std::vector<DbfField> fields = dbf.Fields();
  if (tags.empty()) tags = LayoutTags(fields, fallbackTags, label);
  if (tags.empty()) {
    if (dbf.ProductionIndexFlag()) {
      throw StoreError("No se puede rehacer el índice de la tabla " + Quoted(label) +
                       ": no se conocen sus etiquetas");
    }
    return;
  }
  // Field of each tag.
  std::vector<int> tagField;
  for (MdxTagDef& def : tags) {
    int fi = -1;
    for (size_t i = 0; i < fields.size(); ++i) {
      if (StoredNameMatches(fields[i].name, def.expression)) fi = static_cast<int>(i);
    }
    if (fi < 0) {
      throw StoreError("El índice " + Quoted(def.name) + " de la tabla " + Quoted(label) +
                       " ordena por un campo que la tabla no tiene (" + def.expression + ")");
    }
    const DbfField& f = fields[static_cast<size_t>(fi)];
    def.expression = f.name;
    if (def.keyType == 'C' && def.keyLength <= 0) def.keyLength = f.width;
    tagField.push_back(fi);
  }
  const std::string base = PathText(dbfPath.stem());
  const fs::path target = dbfPath.parent_path() / PathFromText(base + ".MDX");
  const fs::path tmp = TempBeside(target);
  try {
    MdxFile::Create(tmp, base, tags);
    MdxFile mdx;
    mdx.SetDeferred(true);
    mdx.Open(tmp, false);
    // Every live record's key of each tag, then each tag built at once.
    std::vector<std::string> keys(tags.size());
    std::vector<uint32_t> recnos;
    std::string record;
    for (uint32_t r = 1; r <= dbf.RecordCount(); ++r) {
      dbf.ReadRecord(r, record);
      if (record[0] == '*') continue;
      recnos.push_back(r);
      for (size_t t = 0; t < tags.size(); ++t) {
        const DbfField& f = fields[static_cast<size_t>(tagField[t])];
        AppendStoredKey(f, tags[t].keyType, mdx.StoredKeyLength(static_cast<int>(t)), record,
                        keys[t]);
      }
    }
    for (size_t t = 0; t < tags.size(); ++t) {
      mdx.BuildTag(static_cast<int>(t), keys[t].data(), recnos.data(), recnos.size());
    }
    mdx.Save();
    mdx.Close();
  } catch (...) {
    os::RemoveFile(tmp);
    throw;
  }
  DeleteFileNoCase(dbfPath.parent_path(), base + ".MDX");
  if (!os::RenameFile(tmp, target) || !os::SyncFolder(target.parent_path())) {
    const int err = os::LastError();
    os::RemoveFile(tmp);
    throw StoreError("No se puede escribir el índice de la tabla " + Quoted(label) + ": " +
                     SystemErrorText(err));
  }
  if (!dbf.ProductionIndexFlag()) {
    dbf.SetProductionIndexFlag(true);
    fs::path journal = dbfPath;
    journal += kJournalSuffix;
    CommitPages(journal, {&dbf.PagerRef()}, true);
  }
}

}  // namespace store
