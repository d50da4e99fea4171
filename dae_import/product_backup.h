// Copies of the timetabling product's tables, kept before an import deletes
// them, and the putting back of one copy.
//
// The import rebuilds ASIGNOMT, PROFT and GRUPOST and deletes ASIGT.DBF and
// DIASHORAT.DBF for good; all of them belong to the timetabling product.
// Before one of them is deleted every file of it (<name>.DBF and
// <name>.MDX in every letter case present: "PROFT.DBF" and "proft.dbf" are
// both kept) is copied, unchanged, into one folder per import run:
//
//   <work folder>/COPIAS/NNNNNN-AAAAMMDD-HHMMSS/
//       COPIA.TXT          what the folder holds (below)
//       PROFT.DBF ...      the files, with the letter case they had
//
// NNNNNN is a counter, one more than the highest of the folders already
// there; the copies are ordered by it, never by the clock (the date is only
// shown). A folder is one of the tool's copies only when it is a real
// folder (not a link), its name has that form and COPIA.TXT is the tool's:
// nothing else in COPIAS is ever read, changed or removed. COPIAS itself
// must be a real folder: a link there stops the import with a message
// before anything is copied or deleted.
//
// COPIA.TXT lists the counter, the date, and per table its version (a hash
// of its files) and each file with its size and hash. It is rewritten
// (whole) after each table is copied, so a run that is interrupted leaves a
// copy of the tables it had reached, which counts like any other.
//
// Versions. Two copies of a table hold the same version when their files
// have the same names and the same bytes, apart from the date of the last
// change that dBase keeps in the headers (so a table rebuilt the same way on
// another day is the same version).
//
// What is removed. After each copy the older copies are looked at, oldest
// first. A copy that holds no table (its run was killed before the first
// was copied) is removed. The newest kBackupNewestKept copies are always
// kept. An older copy
// is removed only when every table version it holds is also held by a copy
// that stays (checked byte by byte, not only by the hash), and only the
// files that COPIA.TXT lists are removed; the folder goes if it is then
// empty. So the last copy of a version is never removed, whatever the
// order, the number or the outcome of the runs; failed, interrupted or
// repeated imports of the same data add no new version, and the space taken
// grows only with the number of distinct versions.
//
// While the files are copied and deleted the table is held with the lock
// that open tables take, so a table that another program has open is
// reported and left alone. A copy that cannot be made whole stops the step
// with an error before anything is deleted.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "chain/step_context.h"
#include "store/table_file_lock.h"
#include "store/table_replacement.h"

namespace dae_import {

inline constexpr const char* kBackupFolderName = "COPIAS";
inline constexpr const char* kBackupManifestName = "COPIA.TXT";
inline constexpr int kBackupNewestKept = 10;

// The tables of the product that an import replaces or deletes, in the
// order a copy lists them.
const std::vector<std::string>& ProductTableNames();

// Every file of a table held against other programs while it lives; the
// table's replacement goes ahead under that hold.
class KeptTable {
 public:
  KeptTable() = default;
  KeptTable(KeptTable&&) = default;
  void Hold(store::TableFileLock&& lock) { locks_.push_back(std::move(lock)); }

 private:
  std::vector<store::TableFileLock> locks_;
};

// Every table that an import changes or deletes: the product's and the
// tool's own (the DAE code tables, daeCENTRO).
const std::vector<std::string>& ImportedTableNames();

// What an import holds from the check before its first step to its end.
// Taking it: every file (.DBF and .MDX, every spelling) of every table of
// ImportedTableNames is held against other programs, a held or read-only
// file stopping the import with a message that names it, before anything
// is written; then every product table present is copied into this run's
// copy folder (ctx.state.backupFolder). Throws StoreError when one is held
// or the copy cannot be made; nothing has been changed then. While the
// object lives, other programs cannot take those tables, and the steps
// change them under its hold.
class ImportHolds {
 public:
  explicit ImportHolds(chain::StepContext& ctx);
  ImportHolds(const ImportHolds&) = delete;
  ImportHolds& operator=(const ImportHolds&) = delete;

 private:
  std::vector<store::TableFileLock> locks_;
};

// Takes the product's table `name` ("PROFT", without extension) away from
// other programs and copies every file of it into this run's backup folder
// (ctx.state.backupFolder, set on the first copy of the run). The returned
// object holds the table until it is destroyed: delete and rebuild the table
// while it lives. Throws StoreError when the table is in use or the copy
// cannot be made; nothing has been deleted then.
[[nodiscard]] KeptTable KeepProductTable(chain::StepContext& ctx, const std::string& name);

// One table in a copy.
struct CopiedTable {
  std::string name;                  // "PROFT"
  std::string version;               // hash of its files
  std::vector<std::string> files;    // "PROFT.DBF", "proft.mdx", ...; none:
                                     // the table was not there (a copy made
                                     // before a restore)
};

// One copy folder of the tool.
struct BackupCopy {
  std::filesystem::path folder;
  unsigned long number = 0;
  std::string date;                  // "10/12/2026 13:45:00", local time
  std::string note;                  // why it was made
  std::vector<CopiedTable> tables;
};

// The tool's copies in <work>/COPIAS, lowest counter first. A folder that is
// not one of them is left out. An empty list when COPIAS is missing.
std::vector<BackupCopy> BackupCopies(const std::filesystem::path& workFolder);
// Folders of the tool's name form in COPIAS whose COPIA.TXT is there but
// cannot be read (damaged or edited by hand): shown, never used or removed.
std::vector<std::filesystem::path> DamagedCopies(const std::filesystem::path& workFolder);
// Why a copy cannot be put back as it is ("" when every file it lists is
// there with the bytes it had).
std::string CopyProblem(const BackupCopy& copy);
// Their folders, in the same order.
std::vector<std::filesystem::path> BackupRuns(const std::filesystem::path& workFolder);

// Removes the copies that are not needed, as described above; `keep` (the
// running copy) stays in any case. Errors are ignored: what cannot go stays.
void PruneBackupCopies(const std::filesystem::path& workFolder,
                       const std::filesystem::path& keep = {});

// Rows in a copied table, read with the store; -1 when the copy has no such
// table or it cannot be read.
long CopiedTableRows(const BackupCopy& copy, const std::string& table);

// What a restore did.
struct RestoreResult {
  std::vector<std::string> tables;         // the tables put back
  std::filesystem::path previousCopy;      // the copy of what they replaced
};

// Puts every table of `copy` back into the work folder, all of them or none:
// each file is checked against COPIA.TXT, every table concerned (in the
// copy or in the work folder) is held against other programs, what the
// work folder holds of them is first copied into a new copy folder (a table
// that is not there is noted as such, so the restore can itself be undone
// exactly), the files are written beside their targets
// under temporary names and only then put in place; spellings of a table
// that the copy does not have are removed. Throws StoreError naming the table
// or file when something stands in the way; the work folder is then as it
// was.
RestoreResult RestoreBackupCopy(const std::filesystem::path& workFolder,
                                const BackupCopy& copy);

// What a restore that was killed left: a swap it had recorded is finished
// (true is returned), staged files of one that had not are removed, and
// safety copies of restores that changed nothing are removed. Called by
// every run that changes the work folder, before anything else. Throws
// StoreError when a recorded swap cannot be finished now.
bool FinishInterruptedRestore(const std::filesystem::path& workFolder);

}  // namespace dae_import
