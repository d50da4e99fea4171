// Copies of the timetabling product's tables, kept before an import deletes
// them.
//
// The import rebuilds ASIGNOMT, PROFT and GRUPOST and deletes ASIGT.DBF and
// DIASHORAT.DBF for good; all of them belong to the timetabling product.
// Before one of them is deleted its files (<name>.DBF and <name>.MDX, any
// letter case) are copied, unchanged, into one folder per import run:
//
//   <work folder>/COPIAS/AAAAMMDD-HHMMSS/      (local time of the first copy)
//
// A second run within the same second gets "-2", "-3", ... after the time.
// The folder is made when the first table of the run is copied; a run that
// finds none of the tables makes no folder. Only the newest five run
// folders are kept; older ones (folders of that name form only) are
// deleted when a new one is made.
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
inline constexpr int kBackupRunsKept = 5;

// A product table held by this run: the lock keeps other programs out, the
// mark lets the table's replacement go ahead under that lock.
struct ProductTableHold {
  store::TableFileLock lock;
  store::HeldHere mark;
};

// Before the import changes any product table: throws StoreError naming
// the first of ASIGNOMT, PROFT, GRUPOST, ASIGT and DIASHORAT that another
// program holds, so that the import never stops half way with some of
// them replaced and others not. Holds none of them afterwards.
void CheckProductTablesFree(const std::filesystem::path& workFolder);

// Takes the product's table `name` ("PROFT", without extension) away from
// other programs and copies its files into this run's backup folder
// (ctx.state.backupFolder, set on the first copy of the run). The returned
// lock holds the table until it is destroyed: delete and rebuild the table
// while it lives. Throws StoreError when the table is in use or the copy
// cannot be made; nothing has been deleted then.
[[nodiscard]] ProductTableHold KeepProductTable(chain::StepContext& ctx,
                                                    const std::string& name);

// The run folders of <work>/COPIAS, oldest first.
std::vector<std::filesystem::path> BackupRuns(const std::filesystem::path& workFolder);

}  // namespace dae_import
