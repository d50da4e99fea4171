// A work folder and a DAE folder named with characters of no single code
// page ("Curso 2024-25 Año ő", "DAE ñandú Ω"): the import, a second import
// over tables the first one left, putting a copy back, and the export with
// its DAE timetable file, all through the main window's chains.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/main_workflow.h"
#include "dae_export/ajusta_dae.h"
#include "dae_export/control_plantilla.h"
#include "dae_export/timetable_file_writer.h"
#include "dae_import/product_backup.h"
#include "store/path_text.h"
#include "store/table.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using store::PathFromText;
using store::PathText;
using testsupport::ScriptedUI;
using testsupport::TempDir;

constexpr const char* kFinished = "Proceso finalizado";

long Rows(const fs::path& work, const std::string& table) {
  store::Table t;
  t.SetDatabaseName(work);
  t.SetTableName(table);
  t.Open();
  long n = 0;
  for (t.First(); !t.Eof(); t.Next()) ++n;
  t.Close();
  return n;
}

void Import(const fs::path& work, const fs::path& dae, const std::string& language) {
  ScriptedUI ui;
  ui.language = language;
  chain::ProcessState state;
  app::MainWorkflow wf(ui, state, work);
  wf.BExportarClick(PathText(dae));
  ASSERT_TRUE(ui.errors.empty()) << ui.errors.front();
  wf.BitBtn1Click();
  wf.FinalRecogida();
  EXPECT_TRUE(ui.errors.empty()) << ui.errors.front();
  EXPECT_EQ(ui.messages, std::vector<std::string>{kFinished});
  EXPECT_EQ(state.resultCode, 1);
  // The run's copies of the product's tables are kept inside the work
  // folder, their folder handed on as UTF-8 text.
  if (!state.backupFolder.empty()) {
    EXPECT_EQ(PathFromText(state.backupFolder).parent_path(), work / dae_import::kBackupFolderName);
  }
}

TEST(UnicodeFolders, ImportRestoreAndExport) {
  TempDir dir;
  const fs::path work = dir.path() / PathFromText("Curso 2024-25 Año ő");
  const fs::path dae = dir.path() / PathFromText("DAE ñandú Ω");
  fs::create_directory(work);
  fs::copy(testsupport::SourceDir() / "examples" / "dae", dae, fs::copy_options::recursive);

  Import(work, dae, "EUSKERA");
  for (const char* table : {"ASIGNOMT", "PROFT", "GRUPOST", "daeCENTRO", "daeTIPTAR"})
    EXPECT_TRUE(fs::exists(work / (std::string(table) + ".DBF"))) << table;
  const long teachers = Rows(work, "PROFT");
  EXPECT_GT(teachers, 0);

  // A second import replaces the tables the first one made (a copy of them
  // is kept first); putting that copy back restores them.
  Import(work, dae, "CASTELLANO");
  const std::vector<dae_import::BackupCopy> copies = dae_import::BackupCopies(work);
  ASSERT_FALSE(copies.empty());
  EXPECT_EQ(copies.back().folder.parent_path(), work / dae_import::kBackupFolderName);
  const dae_import::RestoreResult restored = dae_import::RestoreBackupCopy(work, copies.back());
  EXPECT_FALSE(restored.tables.empty());
  EXPECT_TRUE(fs::is_directory(restored.previousCopy));
  EXPECT_EQ(Rows(work, "PROFT"), teachers);

  // The export writes fCUADROS.txt into the DAE folder.
  fs::copy_file(testsupport::SourceDir() / "examples" / "solution" / "SOLUC.DBF",
                work / "SOLUC.DBF");
  ScriptedUI ui;
  ui.onTemplateWindow = [](dae_export::ControlPlantilla& w) {
    w.PlantiHorDBGridEnter();
    w.PlantiHorDBGridExit();
    w.BitBtn1Click();
  };
  // Every teacher gets a document, typed into the teacher grid.
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
  EXPECT_EQ(state.rutaDAE, PathText(dae) + static_cast<char>(fs::path::preferred_separator));
  EXPECT_TRUE(fs::exists(work / "CUADROH2.DBF"));
  EXPECT_TRUE(fs::is_regular_file(dae / dae_export::kTimetableFileName))
      << (ui.messages.empty() ? "" : ui.messages.back());
}

}  // namespace
