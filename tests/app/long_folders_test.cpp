// Folders whose paths have more than 260 characters (the old limit of a
// Windows path): the DAE folder, the work folder with its copies, and the
// export's target. The import, a second import over its tables, putting a
// copy back and the export with its DAE timetable file all work there, on
// every system.
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/main_workflow.h"
#include "dae_export/ajusta_dae.h"
#include "dae_export/control_plantilla.h"
#include "dae_export/timetable_file_writer.h"
#include "dae_import/dae_text_reader.h"
#include "dae_import/product_backup.h"
#include "store/os_file.h"
#include "store/path_text.h"
#include "store/table.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using store::PathFromText;
using store::PathText;
using testsupport::ScriptedUI;

// A folder inside `base` whose path has at least `length` characters,
// made of components of 60 (accents included), made here.
fs::path LongFolder(const fs::path& base, const std::string& start, size_t length) {
  fs::path p = base / PathFromText(start);
  for (int i = 0; PathText(p).size() < length; ++i)
    p /= PathFromText("Carpeta con un nombre bastante largo de la programación " +
                      std::to_string(10 + i));
  EXPECT_TRUE(store::os::CreateFolders(p)) << PathText(p);
  return p;
}

// Copies a file through the store's door to the system (which takes paths
// of any length).
void CopyInto(const fs::path& from, const fs::path& to) {
  const std::string bytes = testsupport::ReadFile(from);
  store::os::File f;
  ASSERT_TRUE(f.Open(to, store::os::OpenMode::CreateNew)) << PathText(to);
  ASSERT_TRUE(f.WriteAll(bytes));
}

// Removes a folder with everything in it, whatever the length of its paths.
void RemoveTree(const fs::path& folder) {
  std::vector<fs::path> names;
  if (!store::os::ListFolder(folder, names)) return;
  for (const fs::path& n : names) {
    const fs::path p = folder / n;
    if (store::os::Status(p).isFolder) RemoveTree(p);
    else store::os::RemoveFile(p);
  }
  store::os::RemoveFolder(folder);
}

class LongFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    dae = LongFolder(dir.path(), "DAE ñ", 300);
    work = LongFolder(dir.path(), "Trabajo Año", 280);
    ASSERT_GE(PathText(dae).size(), 300u);
    std::vector<fs::path> names;
    ASSERT_TRUE(store::os::ListFolder(testsupport::ExamplesDir() / "dae", names));
    for (const fs::path& n : names) CopyInto(testsupport::ExamplesDir() / "dae" / n, dae / n);
  }
  void TearDown() override {
    RemoveTree(dae);
    RemoveTree(work);
  }

  long Rows(const std::string& table) {
    store::Table t;
    t.SetDatabaseName(work);
    t.SetTableName(table);
    t.Open();
    long n = 0;
    for (t.First(); !t.Eof(); t.Next()) ++n;
    t.Close();
    return n;
  }

  void Import(const std::string& language) {
    ScriptedUI ui;
    ui.language = language;
    chain::ProcessState state;
    app::MainWorkflow wf(ui, state, work);
    wf.BExportarClick(PathText(dae));
    ASSERT_TRUE(ui.errors.empty()) << ui.errors.front();
    wf.BitBtn1Click();
    wf.FinalRecogida();
    EXPECT_TRUE(ui.errors.empty()) << ui.errors.front();
    // No DAE file is reported missing.
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Proceso finalizado"});
    EXPECT_EQ(state.resultCode, 1);
  }

  testsupport::TempDir dir;
  fs::path dae, work;
};

TEST_F(LongFolders, DaeFilesAreFoundInAFolderOfMoreThan260Characters) {
  for (const char* name : {"fTIPTAR.txt", "fASIGNAT.txt", "fPROFES.txt", "fGRUPOS.txt"}) {
    const std::optional<fs::path> found =
        dae_import::FindDaeFile(PathText(dae) + static_cast<char>(fs::path::preferred_separator), name);
    ASSERT_TRUE(found) << name;
    dae_import::DaeTextReader reader(*found);
    std::string line;
    EXPECT_TRUE(reader.ReadLine(line)) << name;
    EXPECT_FALSE(line.empty()) << name;
  }
}

TEST_F(LongFolders, ImportCopiesRestoreAndExportWork) {
  Import("EUSKERA");
  const long teachers = Rows("PROFT");
  EXPECT_GT(teachers, 0);
  EXPECT_GT(Rows("daeTIPTAR"), 0);

  // The second import keeps a copy of the first one's tables in COPIAS;
  // putting it back restores them.
  Import("CASTELLANO");
  const std::vector<dae_import::BackupCopy> copies = dae_import::BackupCopies(work);
  ASSERT_FALSE(copies.empty());
  EXPECT_EQ(copies.back().folder.parent_path(), work / dae_import::kBackupFolderName);
  const dae_import::RestoreResult restored = dae_import::RestoreBackupCopy(work, copies.back());
  EXPECT_FALSE(restored.tables.empty());
  EXPECT_TRUE(store::os::IsFolder(restored.previousCopy));
  EXPECT_EQ(Rows("PROFT"), teachers);

  // The export writes fCUADROS.txt into the DAE folder.
  CopyInto(testsupport::SourceDir() / "examples" / "solution" / "SOLUC.DBF", work / "SOLUC.DBF");
  ScriptedUI ui;
  ui.onTemplateWindow = [](dae_export::ControlPlantilla& w) {
    w.PlantiHorDBGridEnter();
    w.PlantiHorDBGridExit();
    w.BitBtn1Click();
  };
  ui.onCodingWindow = [](dae_export::AjustaDAE& w) {
    w.FormCreate();
    store::Table& prof = w.wwTableProfesor;
    int n = 0;
    for (prof.First(); !prof.Eof(); prof.Next()) {
      prof.Edit();
      prof.FieldByName("TIPODNI").SetAsString("1");
      prof.FieldByName("DNI").SetAsString(std::to_string(10000000 + ++n) + "A");
      w.wwDBGridPROFTColExit("DNI");
      prof.Post();
    }
    w.BitBtn1Click();
  };
  chain::ProcessState state;
  app::MainWorkflow wf(ui, state, work);
  wf.BImportarClick(PathText(dae));
  EXPECT_TRUE(ui.errors.empty()) << ui.errors.front();
  EXPECT_EQ(state.resultCode, 1);
  EXPECT_GT(Rows("CUADROH2"), 0);
  const store::os::PathStatus written = store::os::Status(dae / dae_export::kTimetableFileName);
  EXPECT_TRUE(written.isRegular) << (ui.messages.empty() ? "" : ui.messages.back());
}

// A work folder that does not exist yet is made, every missing folder of
// its long path with it, when the first table is created.
TEST_F(LongFolders, AMissingLongWorkFolderIsMadeWithTheFirstTable) {
  const fs::path deeper = work / PathFromText("Curso 2025-26") / PathFromText("Año nuevo");
  ScriptedUI ui;
  chain::ProcessState state;
  {
    app::MainWorkflow wf(ui, state, deeper);
    wf.BExportarClick(PathText(dae));
  }
  EXPECT_TRUE(ui.errors.empty()) << ui.errors.front();
  EXPECT_TRUE(store::os::Status(deeper / "PROFT.DBF").isRegular);
}

}  // namespace
