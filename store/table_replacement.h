// Tables made afresh: built beside the old table under staging names and
// put in its place whole, and what a killed process left behind.
//
// Files of this tool beside a table "T.DBF" (no other program makes them):
//   T.DBF.transdae-new      the new table being built
//   T.MDX.transdae-new      its production index
//   T.DBF.transdae-replace  the replacement record: written and synced
//                           once the new files are whole and synced, it
//                           lists the renames and deletions that put them
//                           in place; finished on the next open if a
//                           crash cuts them short
//   T.DBF.transdae-journal  the rollback journal of a change in place
//                           (pager.cpp)
//   T.DBF.transdae-old      (Windows) the old file moved aside while this
//                           process held it (os_file.h, RenameFile)
// A record or journal is carried out only when it names its own table's
// files and they are plain files; otherwise it is set aside
// (recovery_files.h).
// Until the replacement record is whole, other programs and later runs see
// the old table; staging files without a whole record are strays of a
// killed build and are deleted by the next open of the table or by
// RecoverWorkFolder.
#pragma once
#include <filesystem>
#include <optional>
#include <string>

namespace store {

inline constexpr const char* kStagingSuffix = ".transdae-new";
inline constexpr const char* kReplacementSuffix = ".transdae-replace";

// A new table being built for the target .DBF path. While it lives, its
// staging files belong to this process. Commit puts it in place of the old
// table; destroying it without Commit deletes the staging files.
class StagedTable {
 public:
  StagedTable(const std::filesystem::path& target, const std::string& label, bool indexed);
  ~StagedTable();
  StagedTable(const StagedTable&) = delete;
  StagedTable& operator=(const StagedTable&) = delete;

  const std::filesystem::path& DbfPath() const { return dbf_; }
  const std::filesystem::path& MdxPath() const { return mdx_; }
  const std::filesystem::path& Target() const { return target_; }
  bool Indexed() const { return indexed_; }

  // Replaces the old table (whatever spelling of the name it has) by the
  // staged files. Throws StoreError, with the staged files deleted and the
  // old table left as it was, when the old table is held by another
  // program or the renames cannot start.
  void Commit();
  void Discard();
  // The staged files are made without a sync (DbfFile::Create, sync
  // false): Commit syncs them before they take their names, unless the
  // table's pages went to them with a sync last (SharedTable::Finish).
  void MarkSynced() { synced_ = true; }

 private:
  std::filesystem::path target_;
  std::filesystem::path dbf_;
  std::filesystem::path mdx_;
  std::string label_;
  bool indexed_ = false;
  bool done_ = false;
  bool synced_ = false;
};

// Before a table is used: finishes a replacement whose record is whole,
// deletes stray staging files, and rolls back an interrupted change in
// place (its journal). dbfPath is the table's .DBF path in any spelling.
void RecoverTable(const std::filesystem::path& dbfPath, const std::string& label);

// Throws StoreError when the table may not be replaced now: another
// program has it open, or one of its files is read-only (unless this
// process holds it already, IsHeldHere in table_file_lock.h).
void CheckReplaceable(const std::filesystem::path& dbfPath);

// The same for every table of a folder that has files of this tool.
void RecoverWorkFolder(const std::filesystem::path& folder);

}  // namespace store
