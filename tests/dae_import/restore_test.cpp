// Putting a copy of the timetabling product's tables back: every table of
// the copy at once, nothing while a table is held or the copy is damaged,
// and what was replaced kept first, so that the restore can be undone.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "dae_import/product_backup.h"
#include "dae_import/teachers_import.h"
#include "store/store_error.h"
#include "tests/dae_import/import_fixture.h"
#include "tests/support/child_holder.h"

namespace {

namespace fs = std::filesystem;
using importtest::CrLf;
using importtest::Fixed;
using importtest::ImportFixture;
using testsupport::FileHolder;
using testsupport::Sharing;
using testsupport::ReadFile;
using testsupport::WriteFile;

const auto Teacher = importtest::TeacherLine;

class Restore : public ImportFixture {
 protected:
  // The product's tables: a real PROFT (three teachers) and the others as
  // plain bytes, one of them in a second spelling.
  void SetUp() override {
    ImportFixture::SetUp();
    Teachers({Teacher("1A", "Agirre", "Bilbao", "Carmen"), Teacher("2B", "Pérez", "Olano", "Jon"),
              Teacher("3C", "Ruiz", "Sanz", "Ana")});
    WriteFile(workDir / "ASIGT.DBF", "asignaciones");
    WriteFile(workDir / "DIASHORAT.DBF", "días");
    WriteFile(workDir / "diashorat.mdx", "índice de días");
    WriteFile(workDir / "ASIGNOMT.DBF", "asignaturas");
    WriteFile(workDir / "GRUPOST.DBF", "grupos");
  }
  void Teachers(const std::vector<std::string>& lines) {
    WriteDae("fPROFES.txt", CrLf(lines));
    state.backupFolder.clear();
    auto ctx = Ctx();
    dae_import::ImportaProfesores(ctx);
  }
  // Every file of the work folder but the copies.
  std::map<std::string, std::string> Work() const {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::directory_iterator(workDir.path()))
      if (e.is_regular_file()) out[e.path().filename().string()] = ReadFile(e.path());
    return out;
  }
  // One copy of all five tables, as an import makes it.
  dae_import::BackupCopy CopyAll() {
    state.backupFolder.clear();
    auto ctx = Ctx();
    for (const std::string& name : dae_import::ProductTableNames())
      (void)dae_import::KeepProductTable(ctx, name);
    return dae_import::BackupCopies(workDir.path()).back();
  }
  // Changes every table as the next import would.
  void ChangeAll() {
    for (const char* f : {"ASIGT.DBF", "DIASHORAT.DBF", "diashorat.mdx"}) fs::remove(workDir / f);
    WriteFile(workDir / "asignomt.dbf", "otras asignaturas");
    fs::remove(workDir / "ASIGNOMT.DBF");
    WriteFile(workDir / "GRUPOST.DBF", "otros grupos");
    Teachers({Teacher("9Z", "Zubia", "Zabala", "Zuriñe")});
  }
};

TEST_F(Restore, EveryTableOfTheCopyComesBackAndTheRestoreCanBeUndone) {
  SKIP_WITHOUT_READERS();
  const std::map<std::string, std::string> before = Work();
  const dae_import::BackupCopy copy = CopyAll();
  ASSERT_EQ(copy.tables.size(), 5u);
  EXPECT_EQ(dae_import::CopiedTableRows(copy, "PROFT"), 3);
  EXPECT_EQ(dae_import::CopiedTableRows(copy, "GRUPOST"), -1) << "not a table: no count";
  ChangeAll();
  const std::map<std::string, std::string> changed = Work();
  ASSERT_NE(changed, before);

  const dae_import::RestoreResult r = dae_import::RestoreBackupCopy(workDir.path(), copy);
  EXPECT_EQ(r.tables, (std::vector<std::string>{"ASIGT", "DIASHORAT", "ASIGNOMT", "PROFT",
                                                "GRUPOST"}));
  EXPECT_EQ(Work(), before) << "every file as it was, the other spelling gone";
  EXPECT_EQ(Read("PROFT").rows.size(), 3u);
  EXPECT_EQ(WalkTag("PROFT", "ABREV").size(), 3u);
  EXPECT_TRUE(testsupport::TempFilesIn(workDir.path()).empty());

  // What the restore replaced is a copy of its own: putting it back undoes it.
  ASSERT_FALSE(r.previousCopy.empty());
  const std::vector<dae_import::BackupCopy> copies = dae_import::BackupCopies(workDir.path());
  ASSERT_EQ(copies.back().folder, r.previousCopy);
  EXPECT_EQ(dae_import::CopiedTableRows(copies.back(), "PROFT"), 1);
  const dae_import::RestoreResult undo =
      dae_import::RestoreBackupCopy(workDir.path(), copies.back());
  EXPECT_EQ(undo.tables.size(), 5u);
  EXPECT_EQ(Work(), changed) << "ASIGT and DIASHORAT, absent then, are gone again";
  // And once more forward.
  dae_import::RestoreBackupCopy(workDir.path(), copy);
  EXPECT_EQ(Work(), before);
}

// A table whose index another program left stale (a record appended to
// the .DBF alone) is copied as it is; listing the copy counts its rows
// without touching its files, and the copy can still be put back.
TEST_F(Restore, ACopiedTableWithAStaleIndexStaysAsCopied) {
  {
    std::string dbf = ReadFile(workDir / "PROFT.DBF");
    const size_t header = static_cast<unsigned char>(dbf[8]) |
                          (static_cast<size_t>(static_cast<unsigned char>(dbf[9])) << 8);
    const size_t length = static_cast<unsigned char>(dbf[10]) |
                          (static_cast<size_t>(static_cast<unsigned char>(dbf[11])) << 8);
    ASSERT_EQ(static_cast<unsigned char>(dbf[4]), 3u);
    const std::string last = dbf.substr(header + 2 * length, length);
    dbf.insert(header + 3 * length, last);
    dbf[4] = 4;
    WriteFile(workDir / "PROFT.DBF", dbf);
  }
  const std::map<std::string, std::string> before = Work();
  const dae_import::BackupCopy copy = CopyAll();
  std::map<std::string, std::string> copied;
  for (const auto& e : fs::directory_iterator(copy.folder))
    copied[e.path().filename().string()] = ReadFile(e.path());
  EXPECT_EQ(dae_import::CopiedTableRows(copy, "PROFT"), 4);
  for (const auto& [name, bytes] : copied)
    EXPECT_EQ(ReadFile(copy.folder / name), bytes) << name << " changed by the listing";
  ChangeAll();
  EXPECT_NO_THROW(dae_import::RestoreBackupCopy(workDir.path(), copy));
  EXPECT_EQ(Work(), before);
}

TEST_F(Restore, NothingChangesWhileATableIsHeldByAnotherProgram) {
  const dae_import::BackupCopy copy = CopyAll();
  ChangeAll();
  const std::map<std::string, std::string> changed = Work();
  const size_t copiesBefore = dae_import::BackupCopies(workDir.path()).size();
  for (Sharing how : {Sharing::Shared, Sharing::Exclusive}) {
    {
      FileHolder holder(TablePath("PROFT"), how);
      ASSERT_TRUE(holder.held());
      try {
        dae_import::RestoreBackupCopy(workDir.path(), copy);
        FAIL() << "a held table was replaced";
      } catch (const store::StoreError& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("PROFT.DBF"), std::string::npos) << what;
        EXPECT_NE(what.find("en uso por otro programa"), std::string::npos) << what;
      }
    }  // (Windows lets nobody read a file held without sharing)
    EXPECT_EQ(Work(), changed);
    EXPECT_EQ(dae_import::BackupCopies(workDir.path()).size(), copiesBefore);
  }
}

TEST_F(Restore, ADamagedCopyIsNotPutBack) {
  const std::map<std::string, std::string> before = Work();
  const dae_import::BackupCopy copy = CopyAll();
  ChangeAll();
  const std::map<std::string, std::string> changed = Work();
  const std::string good = ReadFile(copy.folder / "PROFT.DBF");
  std::string bytes = good;
  bytes[bytes.size() / 2] ^= 0x20;
  WriteFile(copy.folder / "PROFT.DBF", bytes);
  try {
    dae_import::RestoreBackupCopy(workDir.path(), copy);
    FAIL() << "a damaged copy was put back";
  } catch (const store::StoreError& e) {
    const std::string what = e.what();
    EXPECT_NE(what.find("está dañada"), std::string::npos) << what;
    EXPECT_NE(what.find("PROFT.DBF"), std::string::npos) << what;
  }
  EXPECT_EQ(Work(), changed);
  // A file missing from the copy is the same.
  WriteFile(copy.folder / "PROFT.DBF", good);
  fs::remove(copy.folder / "GRUPOST.DBF");
  EXPECT_THROW(dae_import::RestoreBackupCopy(workDir.path(), copy), store::StoreError);
  EXPECT_EQ(Work(), changed);
  EXPECT_NE(Work(), before);
}

TEST_F(Restore, AFolderThatIsNotOneOfTheToolsCopiesIsRefused) {
  const std::map<std::string, std::string> before = Work();
  testsupport::TempDir other;
  WriteFile(other / "PROFT.DBF", "ajeno");
  dae_import::BackupCopy fake;
  fake.folder = other.path();
  try {
    dae_import::RestoreBackupCopy(workDir.path(), fake);
    FAIL();
  } catch (const store::StoreError& e) {
    EXPECT_NE(std::string(e.what()).find("no es una copia"), std::string::npos) << e.what();
  }
  EXPECT_EQ(Work(), before);
}

}  // namespace
