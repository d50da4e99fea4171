#include "store/index_check.h"
#include "store/path_text.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <vector>

#include "store/cp1252.h"
#include "store/field_value.h"
#include "store/mdx_bcd.h"
#include "store/file_links.h"
#include "store/os_file.h"
#include "store/shared_table.h"
#include "store/store_error.h"
#include "store/store_notices.h"
#include "store/system_error_text.h"
#include "store/table_replacement.h"

namespace store {

namespace fs = std::filesystem;

namespace {

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

std::string Trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  while (!s.empty() && s.front() == ' ') s.erase(s.begin());
  return s;
}

// The field each tag orders by; -1 when its expression is not a field.
std::vector<int> TagFields(const DbfFile& dbf, const MdxFile& mdx) {
  std::vector<int> out;
  for (const MdxTagDef& def : mdx.Tags()) {
    const std::string expr = Trimmed(def.expression);
    int field = -1;
    for (size_t i = 0; i < dbf.Fields().size(); ++i) {
      if (Cp1252EqualsIgnoreCase(dbf.Fields()[i].name, expr)) {
        field = static_cast<int>(i);
        break;
      }
    }
    out.push_back(field);
  }
  return out;
}

// The staging name of a table's new index ("T.MDX.transdae-new"): a stray
// left by a kill is removed by the next open of the table.
fs::path StagedIndexPath(const fs::path& dbfPath) {
  return dbfPath.parent_path() / PathFromText(PathText(dbfPath.stem()) + ".MDX" + kStagingSuffix);
}

}  // namespace

std::string IndexMismatch(const DbfFile& dbf, const MdxFile& mdx) {
  const std::vector<int> tagField = TagFields(dbf, mdx);
  const std::vector<MdxTagDef>& tags = mdx.Tags();
  const uint32_t count = dbf.RecordCount();

  // One pass over the table: which records are live, and every checked
  // tag's key of every record, side by side in one buffer per tag
  // (character keys as the index stores them; numeric keys as numbers).
  std::vector<char> live(count + 1, 0);
  uint32_t liveCount = 0;
  std::vector<std::string> charKeys(tags.size());
  std::vector<std::vector<double>> numberKeys(tags.size());
  std::vector<size_t> keyLength(tags.size(), 0);
  for (size_t t = 0; t < tags.size(); ++t) {
    if (tagField[t] < 0) continue;
    if (tags[t].keyType == 'N') {
      numberKeys[t].resize(count + 1);
    } else {
      keyLength[t] = static_cast<size_t>(mdx.StoredKeyLength(static_cast<int>(t)));
      charKeys[t].assign((static_cast<size_t>(count) + 1) * keyLength[t], ' ');
    }
  }
  std::string record;
  for (uint32_t r = 1; r <= count; ++r) {
    dbf.ReadRecord(r, record);
    live[r] = record[0] != '*';
    liveCount += live[r] ? 1 : 0;
    for (size_t t = 0; t < tags.size(); ++t) {
      if (tagField[t] < 0) continue;
      const DbfField& f = dbf.Fields()[static_cast<size_t>(tagField[t])];
      if (tags[t].keyType == 'N') {
        numberKeys[t][r] = FieldNumber(f, record).value_or(0.0);
      } else {
        // The field's bytes, cut or padded with spaces to the key length.
        const size_t n = std::min(static_cast<size_t>(f.width), keyLength[t]);
        std::memcpy(charKeys[t].data() + static_cast<size_t>(r) * keyLength[t],
                    record.data() + f.offset, n);
      }
    }
  }

  // One walk of each tag, leaf after leaf, comparing each entry with the
  // record it names; nothing is copied per entry.
  std::vector<char> seen(count + 1, 0);
  std::string problem;
  for (size_t t = 0; t < tags.size() && problem.empty(); ++t) {
    if (tagField[t] < 0) continue;
    const int tag = static_cast<int>(t);
    const bool numeric = tags[t].keyType == 'N';
    const size_t len = numeric ? static_cast<size_t>(mdx.StoredKeyLength(tag)) : keyLength[t];
    const std::string tagName = Trimmed(tags[t].name);
    std::fill(seen.begin(), seen.end(), 0);
    uint32_t liveSeen = 0;
    bool havePrev = false;
    std::string prevKey(len, '\0');
    double prevNumber = 0;
    uint32_t prevRecno = 0;
    std::string packed;  // a numeric key being decoded (short: no allocation)
    mdx.ForEachLeaf(tag, [&](const char* keys, const uint32_t* recnos, size_t n) {
      for (size_t i = 0; i < n; ++i) {
        const char* key = keys + i * len;
        const uint32_t recno = recnos[i];
        double number = 0;
        if (numeric) {
          packed.assign(key, len);
          number = DecodeBcdKey(packed).value_or(0.0);
        }
        if (havePrev) {
          const int c = numeric ? (prevNumber < number ? -1 : (prevNumber > number ? 1 : 0))
                                : std::memcmp(prevKey.data(), key, len);
          if (c > 0 || (c == 0 && prevRecno >= recno)) {
            problem = "las entradas de la etiqueta " + tagName + " no están en orden";
            return false;
          }
        }
        if (recno == 0 || recno > count) {
          problem = "la etiqueta " + tagName + " apunta al registro " + std::to_string(recno) +
                    ", que la tabla no tiene";
          return false;
        }
        if (seen[recno]) {
          problem = "la etiqueta " + tagName + " tiene dos entradas para el registro " +
                    std::to_string(recno);
          return false;
        }
        seen[recno] = 1;
        liveSeen += live[recno] ? 1 : 0;
        const bool same =
            numeric ? number == numberKeys[t][recno]
                    : std::memcmp(key, charKeys[t].data() + static_cast<size_t>(recno) * len,
                                  len) == 0;
        if (!same) {
          problem = "la clave de la etiqueta " + tagName + " para el registro " +
                    std::to_string(recno) + " no es la de su registro";
          return false;
        }
        havePrev = true;
        if (numeric) prevNumber = number;
        else std::memcpy(prevKey.data(), key, len);
        prevRecno = recno;
      }
      return true;
    });
    if (!problem.empty()) break;
    if (liveSeen != liveCount) {
      for (uint32_t r = 1; r <= count; ++r) {
        if (live[r] && !seen[r]) {
          return "la etiqueta " + tagName + " no tiene entrada para el registro " +
                 std::to_string(r);
        }
      }
    }
  }
  return problem;
}

std::string IndexRebuiltNotice(const std::string& label) {
  std::string name = label;
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && Cp1252EqualsIgnoreCase(name.substr(dot), ".DBF")) {
    name.erase(dot);
  }
  return "El índice de la tabla " + Quoted(name) +
         " no coincidía con sus registros y se ha reconstruido.";
}

std::unique_ptr<MdxFile> CheckedIndex(DbfFile& dbf, std::unique_ptr<MdxFile> mdx,
                                      const fs::path& mdxPath, const std::string& label) {
  const std::string mismatch = IndexMismatch(dbf, *mdx);
  if (mismatch.empty()) return mdx;

  const std::string cannot = "El índice de la tabla " + Quoted(label) +
                             " no coincide con sus registros (" + mismatch +
                             ") y no se puede reconstruir: ";
  std::vector<MdxTagDef> tags = mdx->Tags();
  const std::vector<int> tagField = TagFields(dbf, *mdx);
  for (size_t t = 0; t < tags.size(); ++t) {
    if (tagField[t] < 0) {
      throw IndexError(cannot + "la etiqueta " + Trimmed(tags[t].name) +
                           " no ordena por un campo de la tabla",
                       dbf.Path());
    }
  }
  if (!dbf.Writable()) throw IndexError(cannot + "la tabla es de sólo lectura", dbf.Path());
  const std::string linked = LinkedTableProblem(dbf.Path(), label);
  if (!linked.empty()) throw IndexError(cannot + linked, dbf.Path());

  // The table alone while its index is replaced.
  const DbfFile::Lock before = dbf.CurrentLock();
  try {
    dbf.SetLock(DbfFile::Lock::Exclusive);
  } catch (const StoreError&) {
    throw IndexError(cannot + "otro programa tiene la tabla abierta", dbf.Path());
  }
  mdx->Close();
  mdx.reset();

  // Built whole under the staging name, synced, then renamed over the old
  // index: a kill leaves the old index or the new one, never a part.
  const fs::path tmp = StagedIndexPath(dbf.Path());
  try {
    MdxFile::Create(tmp, PathText(dbf.Path().stem()), tags);
    MdxFile fresh;
    fresh.Open(tmp, false);
    // Every live record's key of each tag, then each tag built at once.
    std::vector<std::string> keys(tags.size());
    std::vector<uint32_t> recnos;
    std::string record;
    for (uint32_t r = 1; r <= dbf.RecordCount(); ++r) {
      dbf.ReadRecord(r, record);
      if (record[0] == '*') continue;
      recnos.push_back(r);
      for (size_t t = 0; t < tags.size(); ++t) {
        const DbfField& f = dbf.Fields()[static_cast<size_t>(tagField[t])];
        AppendStoredKey(f, tags[t].keyType, fresh.StoredKeyLength(static_cast<int>(t)), record,
                        keys[t]);
      }
    }
    for (size_t t = 0; t < tags.size(); ++t) {
      fresh.BuildTag(static_cast<int>(t), keys[t].data(), recnos.data(), recnos.size());
    }
    fresh.Save();
    fresh.Close();
    if (!os::RenameFile(tmp, mdxPath) || !os::SyncFolder(mdxPath.parent_path()))
      throw StoreError(SystemErrorText(os::LastError()));
  } catch (const StoreError& e) {
    os::RemoveFile(tmp);
    throw IndexError(cannot + e.what(), dbf.Path());
  }
  if (before != DbfFile::Lock::Exclusive) {
    try {
      dbf.SetLock(before);
    } catch (const StoreError&) {
      // Keeping the stronger lock is harmless.
    }
  }
  auto rebuilt = std::make_unique<MdxFile>();
  rebuilt->SetDeferred(true);
  rebuilt->Open(mdxPath, false);
  Notify(IndexRebuiltNotice(label));
  return rebuilt;
}

}  // namespace store
