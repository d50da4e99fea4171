// Copies of the timetabling product's tables kept before the import deletes
// them: what is copied and where, every spelling of a table, what is kept
// through repeated, failed and killed runs and a clock set back, a link in
// place of the copies' folder, what the tool did not make, a copy that
// cannot be made and a table that another program holds.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <set>
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

const auto Teacher = importtest::TeacherLine;

using testsupport::FileHolder;
using testsupport::Sharing;

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
  SKIP_WITHOUT_READERS();
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
  EXPECT_EQ(FilesIn(runs[0]),
            (std::vector<std::string>{"COPIA.TXT", "Proft.Mdx", "proft.dbf"}));
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

// Every file of every copy, as "folder/name" -> bytes.
std::map<std::string, std::string> CopiedFiles(const fs::path& copies) {
  std::map<std::string, std::string> out;
  for (const auto& d : fs::directory_iterator(copies)) {
    if (!d.is_directory() || d.is_symlink()) continue;
    for (const auto& f : fs::directory_iterator(d.path()))
      out[d.path().filename().string() + "/" + f.path().filename().string()] = ReadFile(f.path());
  }
  return out;
}

// How many copies hold `bytes` as one of their files.
int CopiesHolding(const fs::path& copies, const std::string& bytes) {
  int n = 0;
  for (const auto& [name, content] : CopiedFiles(copies))
    if (content == bytes) ++n;
  return n;
}

TEST_F(ProductBackup, EverySpellingOfATableIsCopiedBeforeTheImportRemovesIt) {
  WriteFile(workDir / "PROFT.DBF", "mayúsculas");
  WriteFile(workDir / "proft.dbf", "minúsculas");
  if (ReadFile(workDir / "PROFT.DBF") == "minúsculas")
    GTEST_SKIP() << "this file system ignores letter case: one spelling per name";
  WriteFile(workDir / "Proft.Mdx", "índice");
  WriteFile(workDir / "ASIGT.DBF", "asignaciones");
  WriteFile(workDir / "asigt.DBF", "otras asignaciones");
  auto ctx = Ctx();
  dae_import::ImportaTablasDAE(ctx);  // its DAE files are missing: only the deletion runs
  RunTeachers();
  const std::vector<fs::path> runs = dae_import::BackupRuns(workDir.path());
  ASSERT_EQ(runs.size(), 1u) << "one run, one folder";
  EXPECT_EQ(FilesIn(runs[0]), (std::vector<std::string>{"ASIGT.DBF", "COPIA.TXT", "PROFT.DBF",
                                                        "Proft.Mdx", "asigt.DBF", "proft.dbf"}));
  EXPECT_EQ(ReadFile(runs[0] / "PROFT.DBF"), "mayúsculas");
  EXPECT_EQ(ReadFile(runs[0] / "proft.dbf"), "minúsculas");
  EXPECT_EQ(ReadFile(runs[0] / "asigt.DBF"), "otras asignaciones");
  // The import removed every spelling and wrote one table.
  EXPECT_FALSE(fs::exists(workDir / "proft.dbf"));
  EXPECT_FALSE(fs::exists(workDir / "Proft.Mdx"));
  EXPECT_FALSE(fs::exists(workDir / "asigt.DBF"));
  EXPECT_FALSE(fs::exists(workDir / "ASIGT.DBF"));
  EXPECT_EQ(Read("PROFT").rows.size(), 2u);
  const std::vector<dae_import::BackupCopy> copies = dae_import::BackupCopies(workDir.path());
  ASSERT_EQ(copies.size(), 1u);
  ASSERT_EQ(copies[0].tables.size(), 2u);
  EXPECT_EQ(copies[0].tables[0].name, "ASIGT");
  EXPECT_EQ(copies[0].tables[1].name, "PROFT");
  EXPECT_EQ(copies[0].tables[1].files,
            (std::vector<std::string>{"PROFT.DBF", "Proft.Mdx", "proft.dbf"}));
}

#ifndef _WIN32
// A run of the teachers step in a child process killed after `delay`
// microseconds, wherever it is then.
void KilledRun(const std::function<void()>& run, int delay) {
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    for (;;) {
      try {
        run();
      } catch (...) {
      }
    }
  }
  ::usleep(static_cast<useconds_t>(delay));
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
}
#endif

TEST_F(ProductBackup, NoRunOfImportsRemovesTheOnlyCopyOfAVersion) {
  // The product's own tables, before this tool ever ran.
  const std::string original = "PROFT de Dolvarin, anterior a toda importación";
  const std::string originalIndex = "su índice";
  WriteFile(workDir / "PROFT.DBF", original);
  WriteFile(workDir / "PROFT.MDX", originalIndex);
  RunTeachers();
  const std::string imported = ReadFile(TablePath("PROFT"));
  // Repeated imports, imports that fail on a table the product holds, and
  // imports killed at any moment, many more than the copies kept.
  for (int i = 0; i < 3 * dae_import::kBackupNewestKept; ++i) {
    SCOPED_TRACE(i);
    state.backupFolder.clear();
    if (i % 3 == 1) {
      FileHolder holder(TablePath("PROFT"), Sharing::Shared);
      ASSERT_TRUE(holder.held());
      EXPECT_THROW(RunTeachers(), store::StoreError);
    } else if (i % 3 == 2) {
#ifdef _WIN32
      // A run killed half way is a forked child's on POSIX; here the run
      // goes to its end.
      RunTeachers();
#else
      KilledRun([this] {
        state.backupFolder.clear();
        RunTeachers();
      }, 2000 + 1500 * i);
#endif
    } else {
      RunTeachers();
    }
    ASSERT_EQ(CopiesHolding(Copies(), original), 1) << "the original must stay, once";
    ASSERT_GE(CopiesHolding(Copies(), originalIndex), 1);
  }
  state.backupFolder.clear();
  RunTeachers();
  state.backupFolder.clear();
  RunTeachers();
  const std::vector<dae_import::BackupCopy> copies = dae_import::BackupCopies(workDir.path());
  EXPECT_EQ(copies.back().folder.string(), state.backupFolder);
  std::multiset<std::string> versions;
  for (const dae_import::BackupCopy& c : copies) {
    ASSERT_EQ(c.tables.size(), 1u);
    EXPECT_EQ(c.tables[0].name, "PROFT");
    versions.insert(c.tables[0].version);
  }
  // The table the import wrote is one version however often it ran (only
  // the date in its header differs).
  EXPECT_EQ(copies[copies.size() - 1].tables[0].version,
            copies[copies.size() - 2].tables[0].version);
  // Space: beyond the newest copies, only a version found nowhere else.
  const size_t newest = static_cast<size_t>(dae_import::kBackupNewestKept);
  ASSERT_GE(copies.size(), newest);
  for (size_t i = 0; i + newest < copies.size(); ++i)
    EXPECT_EQ(versions.count(copies[i].tables[0].version), 1u) << copies[i].folder;
  EXPECT_LE(copies.size(), newest + 1 + 3 * dae_import::kBackupNewestKept / 3);
  // Nothing a killed run left behind stays: no temporary, no folder without
  // its COPIA.TXT, no half-done removal.
  for (const auto& d : fs::directory_iterator(Copies())) {
    EXPECT_EQ(d.path().filename().string().rfind(".borrando-", 0), std::string::npos);
    EXPECT_TRUE(fs::exists(d.path() / "COPIA.TXT")) << d.path();
    EXPECT_TRUE(testsupport::TempFilesIn(d.path()).empty()) << d.path();
  }
  EXPECT_TRUE(CopiesHolding(Copies(), imported) >= 1);
}

TEST_F(ProductBackup, TheClockPlaysNoPartInWhatIsKept) {
  WriteFile(workDir / "PROFT.DBF", "original");
  RunTeachers();
  // The first copy was made with the clock far ahead: its folder carries a
  // later date than any that follows, and so do the times of its files.
  const std::vector<fs::path> first = dae_import::BackupRuns(workDir.path());
  ASSERT_EQ(first.size(), 1u);
  const std::string name = first[0].filename().string();
  const fs::path ahead = Copies() / (name.substr(0, 7) + "20991231-235959");
  fs::rename(first[0], ahead);
  const auto future = fs::file_time_type::clock::now() + std::chrono::hours(24 * 365 * 50);
  for (const auto& f : fs::directory_iterator(ahead)) fs::last_write_time(f.path(), future);
#ifndef _WIN32
  fs::last_write_time(ahead, future);  // a folder's time cannot be set this way on Windows
#endif
  for (int i = 0; i < 2 * dae_import::kBackupNewestKept; ++i) {
    state.backupFolder.clear();
    RunTeachers();
  }
  const std::vector<dae_import::BackupCopy> copies = dae_import::BackupCopies(workDir.path());
  ASSERT_FALSE(copies.empty());
  EXPECT_EQ(copies.front().folder, ahead) << "the oldest by counter, whatever its date";
  EXPECT_EQ(ReadFile(ahead / "PROFT.DBF"), "original");
  EXPECT_EQ(copies.back().folder.string(), state.backupFolder) << "the newest run is last";
  EXPECT_EQ(copies.back().number, 2u * dae_import::kBackupNewestKept + 1);
  EXPECT_EQ(copies.size(), static_cast<size_t>(dae_import::kBackupNewestKept) + 1);
}

// Symbolic links are POSIX's (on Windows they need a privilege).
#ifndef _WIN32
TEST_F(ProductBackup, CopiasAsALinkIsRefusedAndItsTargetIsLeftAlone) {
  RunTeachers();
  const std::string before = ReadFile(TablePath("PROFT"));
  // Somewhere else, something that looks like the tool's copies.
  testsupport::TempDir elsewhere;
  fs::create_directory(elsewhere / "000001-20200101-000000");
  WriteFile(elsewhere / "000001-20200101-000000" / "COPIA.TXT",
            "transdae: copia de tablas de Dolvarin, formato 1\nnumero 1\n");
  WriteFile(elsewhere / "000001-20200101-000000" / "PROFT.DBF", "ajeno");
  fs::create_directory_symlink(elsewhere.path(), Copies());
  for (int i = 0; i < 3; ++i) {
    state.backupFolder.clear();
    try {
      RunTeachers();
      FAIL() << "the import copied through a link";
    } catch (const store::StoreError& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find("es un enlace"), std::string::npos) << what;
      EXPECT_NE(what.find("No se ha borrado ni modificado ninguna tabla"), std::string::npos)
          << what;
    }
  }
  EXPECT_EQ(ReadFile(TablePath("PROFT")), before);
  EXPECT_EQ(FilesIn(elsewhere.path()), (std::vector<std::string>{"000001-20200101-000000"}));
  EXPECT_EQ(FilesIn(elsewhere / "000001-20200101-000000"),
            (std::vector<std::string>{"COPIA.TXT", "PROFT.DBF"}));
  EXPECT_TRUE(dae_import::BackupRuns(workDir.path()).empty());
}

#endif

TEST_F(ProductBackup, WhatTheToolDidNotMakeIsNeverTouched) {
  fs::create_directories(Copies());
  testsupport::TempDir elsewhere;
  WriteFile(elsewhere / "PROFT.DBF", "fuera");
  WriteFile(elsewhere / "COPIA.TXT", "transdae: copia de tablas de Dolvarin, formato 1\n"
                                     "numero 2\ntabla PROFT x\narchivo PROFT 5 x PROFT.DBF\n");
  const std::vector<std::string> strangers = {
      "20200101-000000",            // the dated form of earlier versions
      "000001-20200101-000000",     // the tool's name form without its COPIA.TXT
      "000003-20200101-000000",     // a COPIA.TXT that is not the tool's
      "mis notas"};
  for (const std::string& d : strangers) {
    fs::create_directory(Copies() / d);
    WriteFile(Copies() / d / "PROFT.DBF", "de otro");
  }
  WriteFile(Copies() / "000003-20200101-000000" / "COPIA.TXT", "mis copias\n");
  WriteFile(Copies() / "000004-20200101-000000", "a file, not a folder");
#ifndef _WIN32
  fs::create_directory_symlink(elsewhere.path(), Copies() / "000002-20200101-000000");
#endif

  WriteFile(workDir / "PROFT.DBF", "original");
  for (int i = 0; i < 2 * dae_import::kBackupNewestKept; ++i) {
    state.backupFolder.clear();
    RunTeachers();
  }
  for (const std::string& d : strangers)
    EXPECT_EQ(ReadFile(Copies() / d / "PROFT.DBF"), "de otro") << d;
  EXPECT_EQ(ReadFile(Copies() / "000004-20200101-000000"), "a file, not a folder");
#ifndef _WIN32
  EXPECT_TRUE(fs::is_symlink(Copies() / "000002-20200101-000000"));
#endif
  EXPECT_EQ(FilesIn(elsewhere.path()), (std::vector<std::string>{"COPIA.TXT", "PROFT.DBF"}));
  // The tool's own copies count on from the highest number there.
  const std::vector<dae_import::BackupCopy> copies = dae_import::BackupCopies(workDir.path());
  ASSERT_FALSE(copies.empty());
  EXPECT_EQ(copies.front().number, 5u);
  for (const dae_import::BackupCopy& c : copies)
    EXPECT_EQ(Copies(), c.folder.parent_path());
}

TEST_F(ProductBackup, ATableRebuiltOnAnotherDayIsTheSameVersion) {
  RunTeachers();
  // The same table with another date of last change in the headers of its
  // .DBF and .MDX (as a rebuild on another day writes them)...
  for (int day = 1; day <= 2 * dae_import::kBackupNewestKept; ++day) {
    for (const char* ext : {".DBF", ".MDX"}) {
      const fs::path p = store::ResolveFileNoCase(workDir.path(), std::string("PROFT") + ext);
      std::string bytes = ReadFile(p);
      bytes[1] = static_cast<char>(100 + day % 20);
      bytes[3] = static_cast<char>(1 + day % 28);
      WriteFile(p, bytes);
    }
    state.backupFolder.clear();
    RunTeachers();
  }
  // ...is one version: the older copies went, the newest stayed.
  const std::vector<dae_import::BackupCopy> copies = dae_import::BackupCopies(workDir.path());
  EXPECT_EQ(copies.size(), static_cast<size_t>(dae_import::kBackupNewestKept));
  for (const dae_import::BackupCopy& c : copies)
    EXPECT_EQ(c.tables[0].version, copies[0].tables[0].version);
  // A change of one record's byte is another version, which stays.
  std::string bytes = ReadFile(TablePath("PROFT"));
  bytes.back() = 'X';
  WriteFile(TablePath("PROFT"), bytes);
  state.backupFolder.clear();
  RunTeachers();
  for (int i = 0; i < 2 * dae_import::kBackupNewestKept; ++i) {
    state.backupFolder.clear();
    RunTeachers();
  }
  EXPECT_EQ(CopiesHolding(Copies(), bytes), 1);
}

TEST_F(ProductBackup, ARemovalThatWasKilledIsFinishedByTheNextRun) {
  WriteFile(workDir / "PROFT.DBF", "original");
  RunTeachers();
  for (int i = 0; i < dae_import::kBackupNewestKept + 1; ++i) {
    state.backupFolder.clear();
    RunTeachers();
  }
  // A copy renamed for removal, with one of its files already gone.
  const std::vector<fs::path> runs = dae_import::BackupRuns(workDir.path());
  const fs::path victim = runs[1];
  const fs::path removing = Copies() / (".borrando-" + victim.filename().string());
  fs::rename(victim, removing);
  fs::remove(removing / "PROFT.MDX");
  // Something of the user's under a name of the same form stays.
  fs::create_directory(Copies() / ".borrando-mis cosas");
  WriteFile(Copies() / ".borrando-mis cosas" / "PROFT.DBF", "mío");
  state.backupFolder.clear();
  RunTeachers();
  EXPECT_FALSE(fs::exists(removing));
  EXPECT_EQ(ReadFile(Copies() / ".borrando-mis cosas" / "PROFT.DBF"), "mío");
  EXPECT_EQ(CopiesHolding(Copies(), "original"), 1);
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
  for (Sharing how : {Sharing::Shared, Sharing::Exclusive}) {
    SCOPED_TRACE(how == Sharing::Shared ? "shared" : "exclusive");
    {
      FileHolder holder(TablePath("PROFT"), how);
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
    }  // (Windows lets nobody read a file held without sharing)
    EXPECT_EQ(ReadFile(TablePath("PROFT")), before);
    EXPECT_FALSE(fs::exists(Copies())) << "nothing is copied for a table that stays";
  }
  state.backupFolder.clear();
  RunTeachers();  // released: the step works again
  EXPECT_EQ(dae_import::BackupRuns(workDir.path()).size(), 1u);
}

}  // namespace
