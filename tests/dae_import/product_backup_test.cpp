// Copies of the timetabling product's tables kept before the import deletes
// them: what is copied and where, how many runs are kept, a copy that cannot
// be made and a table that another program holds.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fcntl.h>
#include <string>
#include <vector>

#include "dae_import/code_tables_import.h"
#include "dae_import/product_backup.h"
#include "dae_import/teachers_import.h"
#include "store/store_error.h"
#include "store/table.h"
#include "tests/dae_import/import_fixture.h"
#include "tests/support/child_holder.h"

namespace {

namespace fs = std::filesystem;
using importtest::CrLf;
using importtest::Fixed;
using importtest::ImportFixture;
using testsupport::ReadFile;
using testsupport::WriteFile;

std::string Teacher(const std::string& dni, const std::string& p1, const std::string& p2,
                    const std::string& p3) {
  return Fixed({{"2", 1}, {"", 1}, {"1", 1}, {dni, 15}, {p1, 40}, {p2, 40}, {p3, 20},
                {"", 6}, {"Dept", 100}});
}

using testsupport::LockHolder;

std::vector<std::string> Names(const std::vector<fs::path>& paths) {
  std::vector<std::string> out;
  for (const fs::path& p : paths) out.push_back(p.filename().string());
  return out;
}

std::vector<std::string> FilesIn(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

class ProductBackup : public ImportFixture {
 protected:
  void SetUp() override {
    ImportFixture::SetUp();
    WriteDae("fPROFES.txt", CrLf({Teacher("1A", "Agirre", "Bilbao", "Carmen"),
                                  Teacher("2B", "Pe\xF1" "a", "Etxeberria", "Miren")}));
  }
  void RunTeachers() {
    auto ctx = Ctx();
    dae_import::ImportaProfesores(ctx);
  }
  fs::path Copies() const { return workDir / "COPIAS"; }
};

TEST_F(ProductBackup, TableFilesAreCopiedUnchangedBeforeTheImportReplacesThem) {
  RunTeachers();  // a PROFT (with its index) to be replaced
  const std::string dbf = ReadFile(TablePath("PROFT"));
  const std::string mdx = ReadFile(store::ResolveFileNoCase(workDir.path(), "PROFT.MDX"));
  const importtest::Dump first = Read("PROFT");
  EXPECT_FALSE(fs::exists(Copies())) << "the first run had nothing to keep";

  // Another program's spelling of the names is kept as it is.
  fs::rename(TablePath("PROFT"), workDir / "proft.dbf");
  fs::rename(store::ResolveFileNoCase(workDir.path(), "PROFT.MDX"), workDir / "Proft.Mdx");
  state.backupFolder.clear();
  RunTeachers();
  const std::vector<fs::path> runs = dae_import::BackupRuns(workDir.path());
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(state.backupFolder, runs[0].string());
  EXPECT_EQ(FilesIn(runs[0]), (std::vector<std::string>{"Proft.Mdx", "proft.dbf"}));
  EXPECT_EQ(ReadFile(runs[0] / "proft.dbf"), dbf);
  EXPECT_EQ(ReadFile(runs[0] / "Proft.Mdx"), mdx);
  // The table the step writes is the same as without the copy.
  const importtest::Dump second = Read("PROFT");
  EXPECT_EQ(second.fields, first.fields);
  EXPECT_EQ(second.rows, first.rows);
  EXPECT_EQ(WalkTag("PROFT", "ABREV").size(), 2u);
  // The copy is a table that other readers open as it was.
  fs::rename(runs[0] / "proft.dbf", runs[0] / "PROFT.DBF");
  fs::rename(runs[0] / "Proft.Mdx", runs[0] / "PROFT.MDX");
  store::Table kept;
  kept.SetDatabaseName(runs[0]);
  kept.SetTableName("PROFT");
  kept.SetIndexName("ABREV");
  kept.Open();
  kept.First();
  EXPECT_EQ(kept.FieldByName("ABREV").AsString(), "ABC");
}

TEST_F(ProductBackup, OneFolderPerRunAndOnlyTheNewestFiveStay) {
  fs::create_directories(Copies());
  for (const char* old : {"20200101-000000", "20200101-000000-2", "20200101-000000-10",
                          "20200102-000000", "20200103-000000", "20200104-000000"})
    fs::create_directory(Copies() / old);
  // Folders that are not runs of the tool are never touched.
  fs::create_directory(Copies() / "mis notas");
  fs::create_directory(Copies() / "20200101-000000-x");
  WriteFile(Copies() / "20190101-000000", "a file, not a folder");

  WriteFile(workDir / "ASIGT.DBF", "asignaciones");
  WriteFile(workDir / "diashorat.dbf", "dias");
  WriteFile(workDir / "DIASHORAT.MDX", "indice");
  RunTeachers();  // nothing to keep yet: no folder made
  EXPECT_EQ(dae_import::BackupRuns(workDir.path()).size(), 6u);

  // The code step (even with its files missing) and the teachers step of one
  // run share one folder.
  auto ctx = Ctx();
  dae_import::ImportaTablasDAE(ctx);
  RunTeachers();
  const std::vector<fs::path> runs = dae_import::BackupRuns(workDir.path());
  ASSERT_EQ(runs.size(), 5u);
  EXPECT_EQ(Names(runs)[0], "20200101-000000-10") << "the two oldest went";
  EXPECT_EQ(runs.back().string(), state.backupFolder);
  EXPECT_EQ(FilesIn(runs.back()), (std::vector<std::string>{
                                      "ASIGT.DBF", "DIASHORAT.MDX", "PROFT.DBF", "PROFT.MDX",
                                      "diashorat.dbf"}));
  EXPECT_EQ(ReadFile(runs.back() / "ASIGT.DBF"), "asignaciones");
  EXPECT_FALSE(fs::exists(workDir / "ASIGT.DBF"));
  EXPECT_FALSE(fs::exists(workDir / "diashorat.dbf"));
  EXPECT_TRUE(fs::is_directory(Copies() / "mis notas"));
  EXPECT_TRUE(fs::is_directory(Copies() / "20200101-000000-x"));
  EXPECT_TRUE(fs::is_regular_file(Copies() / "20190101-000000"));

  // A new run in the same second gets a folder of its own.
  state.backupFolder.clear();
  RunTeachers();
  const std::vector<fs::path> after = dae_import::BackupRuns(workDir.path());
  ASSERT_EQ(after.size(), 5u);
  EXPECT_NE(after.back(), runs.back());
  EXPECT_EQ(after.back().string(), state.backupFolder);
}

TEST_F(ProductBackup, ACopyThatCannotBeMadeStopsBeforeAnythingIsDeleted) {
  RunTeachers();
  const std::string before = ReadFile(TablePath("PROFT"));
  WriteFile(Copies(), "COPIAS is a file here, so no folder can be made in it");
  state.backupFolder.clear();
  try {
    RunTeachers();
    FAIL() << "the step went on without a copy";
  } catch (const store::StoreError& e) {
    const std::string what = e.what();
    EXPECT_NE(what.find("No se puede guardar una copia"), std::string::npos) << what;
    EXPECT_NE(what.find("No se ha borrado"), std::string::npos) << what;
  }
  EXPECT_EQ(ReadFile(TablePath("PROFT")), before);
  EXPECT_TRUE(store::FileExistsNoCase(workDir.path(), "PROFT.MDX"));
}

TEST_F(ProductBackup, ATableHeldByAnotherProgramIsReportedAndLeftAlone) {
  RunTeachers();
  const std::string before = ReadFile(TablePath("PROFT"));
  for (int how : {LOCK_SH, LOCK_EX}) {
    SCOPED_TRACE(how == LOCK_SH ? "shared" : "exclusive");
    LockHolder holder(TablePath("PROFT"), how);
    ASSERT_TRUE(holder.held());
    state.backupFolder.clear();
    try {
      RunTeachers();
      FAIL() << "a table in use was replaced";
    } catch (const store::StoreError& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find("'PROFT.DBF'"), std::string::npos) << what;
      EXPECT_NE(what.find("en uso por otro programa"), std::string::npos) << what;
    }
    EXPECT_EQ(ReadFile(TablePath("PROFT")), before);
    EXPECT_FALSE(fs::exists(Copies())) << "nothing is copied for a table that stays";
  }
  state.backupFolder.clear();
  RunTeachers();  // released: the step works again
  EXPECT_EQ(dae_import::BackupRuns(workDir.path()).size(), 1u);
}

}  // namespace
