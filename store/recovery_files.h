// The files this tool leaves beside a table for its own recovery (a
// rollback journal, a replacement record, a table moved aside), and what
// makes one fit to be carried out.
//
// Such a file says which files of the folder to write, rename or delete.
// Its name is the tool's, but anybody who can write the folder can put a
// file of that name there, or change the files it names. So before any of
// it is carried out:
//   - it names only files of its own table: the table's .DBF, its
//     production index (.MDX of the same base name), and their staging
//     names ("T.DBF.transdae-new", "T.MDX.transdae-new"), without regard
//     to letter case;
//   - it and every file it names that exists are plain files with one name
//     each: no symbolic link (never followed), no hard link, no folder.
// A recovery file that fails either test is never carried out, nor
// deleted: it is set aside under a name that no run applies
// ("<name>.transdae-rejected"), the user is told (store_notices.h) naming
// it, and the table is left as it is.
#pragma once
#include <filesystem>
#include <string>

namespace store {

inline constexpr const char* kRejectedSuffix = ".transdae-rejected";

// The table's .DBF name that a recovery file named `recoveryName` belongs
// to: the name without `suffix` (".transdae-journal", ...), "" when it does
// not end so.
std::string TableOfRecoveryFile(const std::string& recoveryName, const std::string& suffix);

// True when `name` is the table's own .DBF name or its production index's
// (letter case ignored). `dbfName` may itself be a staging name, whose
// index is then the staging index.
bool IsTableDbfName(const std::string& dbfName, const std::string& name);
bool IsTableIndexName(const std::string& dbfName, const std::string& name);
// The same, for the staging name of either of them.
bool IsStagedDbfName(const std::string& dbfName, const std::string& name);
bool IsStagedIndexName(const std::string& dbfName, const std::string& name);

// A name read from a recovery file, fit to be shown: control characters
// become '?', and bytes that are not UTF-8 are read as code page 1252.
std::string ShownFileName(const std::string& bytes);

// Why the file at `path` may not be written, renamed or deleted by a
// recovery ("" when it is a plain file with one name, or is missing). The
// text names the file.
std::string RecoveryTargetProblem(const std::filesystem::path& path);

// Sets the recovery file aside (renamed, never deleted) and tells the
// user: `what` is the kind of file ("el diario de cambios"), `label` the
// table, `reason` why it was not carried out. Throws StoreError when it
// cannot be renamed (it is then left where it is, not carried out).
void SetAsideRecoveryFile(const std::filesystem::path& file, const std::string& what,
                          const std::string& label, const std::string& reason);

}  // namespace store
