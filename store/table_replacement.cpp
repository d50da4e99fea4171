// Staged tables and their replacement record; see table_replacement.h.
//
// Replacement record ("T.DBF.transdae-replace"), text, one item a line:
//   TDREPL01
//   M <staged name>\t<final name>     a rename inside the folder
//   D <name>                          a file deleted (old spellings, an
//                                     old index the new table lacks)
//   S <checksum>                      64-bit FNV-1a of every line before
//                                     it, in hexadecimal
// A record without its closing checksum line is torn: its writer died
// before the renames began, so nothing but staging files was touched.
// Finishing a record is idempotent: a rename whose source is gone was
// done; a deletion of a missing file was done. A record is finished only
// when each of its steps is one of its own table's (a staging name onto
// the table's name, an old spelling of the table deleted) and every file
// it names is a plain file with one name; any other is set aside
// unapplied (recovery_files.h).
#include "store/table_replacement.h"
#include "store/path_text.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <system_error>
#include <vector>

#include "store/os_file.h"
#include "store/pager.h"
#include "store/recovery_files.h"
#include "store/replaced_file.h"
#include "store/sealed_record.h"
#include "store/store_error.h"
#include "store/system_error_text.h"
#include "store/table_file_lock.h"
#include "store/work_folder.h"

namespace store {

namespace fs = std::filesystem;

namespace {

constexpr const char* kRecordMagic = "TDREPL01";

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

std::set<std::string>& StagedHere() {
  static std::set<std::string> staged;
  return staged;
}

std::string StagedKey(const fs::path& p) {
  std::error_code ec;
  fs::path abs = fs::absolute(p, ec);
  return PathText((ec ? p : abs).lexically_normal());
}

bool SameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

bool EndsWithNoCase(const std::string& s, const std::string& end) {
  return s.size() >= end.size() && SameNoCase(s.substr(s.size() - end.size()), end);
}

// The names of a folder, read once.
std::vector<std::string> FolderNames(const fs::path& dir) {
  std::vector<std::string> names;
  std::vector<fs::path> entries;
  os::ListFolder(dir, entries);
  for (const fs::path& entry : entries) names.push_back(FileNameText(entry));
  return names;
}

std::vector<std::string> Matching(const std::vector<std::string>& names, const std::string& name) {
  std::vector<std::string> out;
  for (const std::string& n : names) {
    if (SameNoCase(n, name)) out.push_back(n);
  }
  return out;
}

struct Record {
  std::vector<std::pair<std::string, std::string>> moves;
  std::vector<std::string> deletions;
};

std::string Serialize(const Record& r) {
  std::vector<SealedLine> lines;
  for (const auto& [from, to] : r.moves) lines.push_back({'M', from + "\t" + to});
  for (const std::string& d : r.deletions) lines.push_back({'D', d});
  return SealRecord(kRecordMagic, lines);
}

bool SafeName(const std::string& n) {
  return !n.empty() && n != "." && n != ".." && n.find('/') == std::string::npos &&
         n.find('\\') == std::string::npos;
}

bool Parse(const std::string& text, Record& out) {
  std::vector<SealedLine> lines;
  if (!ReadSealedRecord(text, kRecordMagic, lines)) return false;
  for (const SealedLine& line : lines) {
    if (line.letter == 'M') {
      const size_t tab = line.text.find('\t');
      if (tab == std::string::npos) return false;
      std::string from = line.text.substr(0, tab), to = line.text.substr(tab + 1);
      if (!SafeName(from) || !SafeName(to)) return false;
      out.moves.emplace_back(from, to);
    } else if (line.letter == 'D') {
      if (!SafeName(line.text)) return false;
      out.deletions.push_back(line.text);
    } else {
      return false;
    }
  }
  return true;
}

[[noreturn]] void ReplaceFail(const std::string& label, int err) {
  throw StoreError("No se puede poner en su sitio la tabla nueva " + Quoted(label) + ": " +
                   SystemErrorText(err));
}

constexpr const char* kRecordKind = "el registro de sustitución";

// Why a whole record may not be carried out for the table `table` (its
// .DBF name): "" when it may.
std::string RecordProblem(const fs::path& dir, const std::string& table, const Record& r) {
  for (const auto& [from, to] : r.moves) {
    const bool own = (IsStagedDbfName(table, from) && IsTableDbfName(table, to)) ||
                     (IsStagedIndexName(table, from) && IsTableIndexName(table, to));
    if (!own) {
      return "pide renombrar " + Quoted(ShownFileName(from)) + " como " +
             Quoted(ShownFileName(to)) + ", lo que no es un paso de esta tabla";
    }
  }
  for (const std::string& d : r.deletions) {
    if (!IsTableDbfName(table, d) && !IsTableIndexName(table, d)) {
      return "pide borrar el archivo " + Quoted(ShownFileName(d)) + ", que no es de esta tabla";
    }
  }
  for (const auto& [from, to] : r.moves) {
    for (const std::string& n : {from, to}) {
      std::string problem = RecoveryTargetProblem(dir / PathFromText(n));
      if (!problem.empty()) return problem;
    }
  }
  for (const std::string& d : r.deletions) {
    std::string problem = RecoveryTargetProblem(dir / PathFromText(d));
    if (!problem.empty()) return problem;
  }
  return "";
}

// Carries out a whole record, then deletes it.
void Finish(const fs::path& dir, const fs::path& recordPath, const Record& r,
            const std::string& label) {
  // The new files: a staged file still under its staging name, or the one
  // already moved to its final name (by a run that a crash cut short).
  std::vector<os::FileId> fresh;
  for (const auto& [from, to] : r.moves) {
    os::FileId id;
    if (os::Identity(dir / PathFromText(from), id) || os::Identity(dir / PathFromText(to), id))
      fresh.push_back(id);
  }
  // Old spellings go first, so that the new files take their names as
  // spelt here. On a disk that ignores letter case an old spelling may
  // name a new file (after the moves of an earlier run): that stays.
  for (const std::string& d : r.deletions) {
    const fs::path old = dir / PathFromText(d);
    os::FileId id;
    if (os::Identity(old, id) && std::find(fresh.begin(), fresh.end(), id) != fresh.end())
      continue;
    if (!os::RemoveFile(old)) ReplaceFail(label, os::LastError());
  }
  for (const auto& [from, to] : r.moves) {
    if (!os::Exists(dir / PathFromText(from))) continue;  // done before a crash
    if (!os::RenameFile(dir / PathFromText(from), dir / PathFromText(to)))
      ReplaceFail(label, os::LastError());
  }
  if (!os::SyncFolder(dir)) ReplaceFail(label, os::LastError());
  if (!os::RemoveOwnFile(recordPath)) ReplaceFail(label, os::LastError());
  os::SyncFolder(dir);
}

std::string ReadAll(const fs::path& p) {
  os::File f;
  if (!f.Open(p, os::OpenMode::ReadOnly)) return std::string();
  uint64_t size = 0;
  if (!f.Size(size) || size > (1u << 20)) return std::string();
  std::string s(static_cast<size_t>(size), '\0');
  if (size > 0 && !f.ReadExactly(0, s.data(), s.size())) return std::string();
  return s;
}

std::string Base(const fs::path& dbf) { return PathText(dbf.stem()); }

}  // namespace

// ---------------------------------------------------------------- StagedTable

StagedTable::StagedTable(const fs::path& target, const std::string& label, bool indexed)
    : target_(target), label_(label), indexed_(indexed) {
  const fs::path dir = target.parent_path();
  dbf_ = dir / PathFromText(FileNameText(target) + kStagingSuffix);
  mdx_ = dir / PathFromText(Base(target) + ".MDX" + kStagingSuffix);
  StagedHere().insert(StagedKey(dbf_));
  // Leftovers of an earlier build of this process or of a killed one.
  os::RemoveOwnFile(dbf_);
  os::RemoveOwnFile(mdx_);
}

StagedTable::~StagedTable() {
  if (!done_) Discard();
  StagedHere().erase(StagedKey(dbf_));
}

void StagedTable::Discard() {
  os::RemoveOwnFile(dbf_);
  os::RemoveOwnFile(mdx_);
  done_ = true;
}

void StagedTable::Commit() {
  if (done_) return;
  const fs::path dir = target_.parent_path();
  const std::string finalName = FileNameText(target_);
  const std::string finalIndex = Base(target_) + ".MDX";
  const fs::path recordPath = dir / PathFromText(finalName + kReplacementSuffix);
  Record r;
  try {
    // The old table is held against every other user through the swap
    // (by the caller, when it holds it already).
    if (!synced_) {
      for (const fs::path& p : indexed_ ? std::vector<fs::path>{dbf_, mdx_}
                                        : std::vector<fs::path>{dbf_}) {
        os::File f;
        if (!f.Open(p, os::OpenMode::ReadWrite) || !f.Sync()) ReplaceFail(label_, os::LastError());
      }
      synced_ = true;
    }
    std::optional<TableFileLock> hold;
    const fs::path current = ResolveFileNoCase(dir, finalName);
    if (!IsHeldHere(current)) {
      hold.emplace(dir, finalName);
    } else {
      // Held by a step of this process until its end: the new files join
      // that hold before they take their names, so that no other program
      // can take the new table in between.
      TableFileLock::Extend(current, dbf_);
      if (indexed_) TableFileLock::Extend(current, mdx_);
    }
    const std::vector<std::string> names = FolderNames(dir);
    for (const std::string& old : Matching(names, finalName)) {
      RecoverJournal(dir / PathFromText(old + kJournalSuffix), label_);
    }
    r.moves.emplace_back(FileNameText(dbf_), finalName);
    if (indexed_) r.moves.emplace_back(FileNameText(mdx_), finalIndex);
    for (const std::string& old : Matching(names, finalName)) {
      if (old != finalName) r.deletions.push_back(old);
    }
    for (const std::string& old : Matching(names, finalIndex)) {
      if (old != finalIndex || !indexed_) r.deletions.push_back(old);
    }
    // A table the school hid stays hidden: the new files take the old
    // ones' hidden and system attributes (Windows) before they take their
    // names.
    const std::vector<std::string> oldTables = Matching(names, finalName);
    const std::vector<std::string> oldIndexes = Matching(names, finalIndex);
    if (!oldTables.empty()) {
      if (const int err = replaced_file::ApplyHidden(
              dbf_, replaced_file::KeptOf(dir / PathFromText(oldTables.front())));
          err != 0)
        ReplaceFail(label_, err);
    }
    if (indexed_ && !oldIndexes.empty()) {
      if (const int err = replaced_file::ApplyHidden(
              mdx_, replaced_file::KeptOf(dir / PathFromText(oldIndexes.front())));
          err != 0)
        ReplaceFail(label_, err);
    }
    const std::string text = Serialize(r);
    os::File f;
    if (!f.Open(recordPath, os::OpenMode::CreateOrTruncate) ||
        !f.WriteAt(0, text.data(), text.size()) || !f.Sync() || !os::SyncFolder(dir)) {
      const int err = os::LastError();
      f.Close();
      os::RemoveFile(recordPath);
      ReplaceFail(label_, err);
    }
    f.Close();
    PassCommitPoint(CommitPoint::ReplacementRecorded);
    Finish(dir, recordPath, r, label_);
  } catch (...) {
    // Before the record is whole the old table stands; after it, the next
    // open finishes the replacement (the staged files are then moved).
    if (!os::Exists(recordPath)) Discard();
    done_ = true;
    throw;
  }
  done_ = true;
}

// ---------------------------------------------------------------- recovery

void RecoverTable(const fs::path& dbfPath, const std::string& label) {
  const fs::path dir = dbfPath.parent_path();
  std::string name = FileNameText(dbfPath);
  const std::vector<std::string> names = FolderNames(dir);
  bool ours = false;
  for (const std::string& n : names) {
    if (EndsWithNoCase(n, kStagingSuffix) || EndsWithNoCase(n, kReplacementSuffix) ||
        EndsWithNoCase(n, kJournalSuffix) || EndsWithNoCase(n, os::kReplacedSuffix)) {
      ours = true;
      break;
    }
  }
  if (!ours) return;
  for (const std::string& rec : Matching(names, name + kReplacementSuffix)) {
    const fs::path recordPath = dir / PathFromText(rec);
    // The record itself must be a plain file of its own (read, never
    // followed to another file's bytes).
    if (std::string problem = RecoveryTargetProblem(recordPath); !problem.empty()) {
      SetAsideRecoveryFile(recordPath, kRecordKind, label, problem);
      continue;
    }
    Record r;
    if (Parse(ReadAll(recordPath), r)) {
      const std::string problem =
          RecordProblem(dir, TableOfRecoveryFile(rec, kReplacementSuffix), r);
      if (problem.empty()) {
        Finish(dir, recordPath, r, label);
      } else {
        SetAsideRecoveryFile(recordPath, kRecordKind, label, problem);
      }
    } else {
      os::RemoveOwnFile(recordPath);  // torn: the old table stands
      os::SyncFolder(dir);
    }
  }
  // A file renamed over while this process held it (see os::RenameFile);
  // only a plain file goes back to the table's name.
  for (const std::string& file : {name, PathText(PathFromText(name).stem()) + ".MDX"}) {
    for (const std::string& old : Matching(names, file + os::kReplacedSuffix)) {
      const fs::path aside = dir / PathFromText(old);
      if (std::string problem = RecoveryTargetProblem(aside); !problem.empty()) {
        SetAsideRecoveryFile(aside, "el archivo apartado", label, problem);
        continue;
      }
      os::RecoverReplaced(dir / PathFromText(old.substr(0, old.size() -
                                                        std::string(os::kReplacedSuffix).size())));
    }
  }
  // Staging files without a whole record are strays of a killed build,
  // unless a build of this very process owns them.
  const std::string base = PathText(PathFromText(name).stem());
  const std::string owner = StagedKey(dir / PathFromText(name + kStagingSuffix));
  bool here = false;
  for (const std::string& key : StagedHere()) here = here || SameNoCase(key, owner);
  if (!here) {
    for (const std::string& staged : {name + kStagingSuffix, base + ".MDX" + kStagingSuffix}) {
      for (const std::string& stray : Matching(names, staged)) {
        os::RemoveOwnFile(dir / PathFromText(stray));
      }
    }
  }
  for (const std::string& j : Matching(FolderNames(dir), name + kJournalSuffix)) {
    RecoverJournal(dir / PathFromText(j), label);
  }
}

void CheckReplaceable(const fs::path& dbfPath) {
  if (IsHeldHere(dbfPath)) return;
  TableFileLock probe(dbfPath.parent_path(), FileNameText(dbfPath));
}

void RecoverWorkFolder(const fs::path& folder) {
  std::map<std::string, std::string> tables;  // upper-case base -> .DBF name
  for (const std::string& n : FolderNames(folder)) {
    std::string rest;
    for (const char* suffix :
         {kStagingSuffix, kReplacementSuffix, kJournalSuffix, os::kReplacedSuffix}) {
      const std::string s = suffix;
      if (EndsWithNoCase(n, s)) rest = n.substr(0, n.size() - s.size());
    }
    if (rest.empty()) continue;
    const std::string base = PathText(PathFromText(rest).stem());
    std::string key = base;
    for (char& c : key) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    if (!tables.count(key) || EndsWithNoCase(rest, ".DBF")) {
      tables[key] = EndsWithNoCase(rest, ".DBF") ? rest : base + ".DBF";
    }
  }
  for (const auto& [key, dbf] : tables) RecoverTable(folder / PathFromText(dbf), dbf);
}

}  // namespace store
