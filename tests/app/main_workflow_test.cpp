// The main window's chains driven through a scripted user, over the sample
// school's DAE files and real tables in temporary folders.
#include "app/main_workflow.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "chain/error_report.h"
#include "dae_export/ajusta_dae.h"
#include "dae_export/control_plantilla.h"
#include "store/path_text.h"
#include "store/table.h"
#include "store/work_folder.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ScriptedUI;
using testsupport::TempDir;

constexpr const char* kFinished = "Proceso finalizado";
// The DAE folder ends in the system's own separator.
constexpr char kSeparator = static_cast<char>(fs::path::preferred_separator);
constexpr const char* kNotFinished =
    "!!ATENCIÓN!! El Proceso NO ha finalizado Correctamente";

// Remembers every cursor change, not only the last.
class RecordingUI : public ScriptedUI {
 public:
  std::vector<bool> cursor;
  void SetBusyCursor(bool b) override {
    ScriptedUI::SetBusyCursor(b);
    cursor.push_back(b);
  }
};

fs::path SampleDae() { return testsupport::SourceDir() / "examples" / "dae"; }

// A copy of the sample DAE folder (the export writes into it).
fs::path CopySampleDae(const TempDir& dir) {
  fs::path dae = dir / "dae";
  fs::copy(SampleDae(), dae, fs::copy_options::recursive);
  return dae;
}

std::vector<std::string> Column(const fs::path& work, const std::string& table,
                                const std::string& field) {
  store::Table t;
  t.SetDatabaseName(work);
  t.SetTableName(table);
  t.Open();
  std::vector<std::string> values;
  for (t.First(); !t.Eof(); t.Next()) values.push_back(t.FieldByName(field).AsString());
  t.Close();
  return values;
}

void SetCentre(store::Table& centre, const std::string& code,
               const std::string& year, const std::string& version) {
  if (centre.State() == store::DataSetState::Browse) centre.Edit();
  centre.FieldByName("CODCENTRO").SetAsString(code);
  centre.FieldByName("ANOACAD").SetAsString(year);
  centre.FieldByName("VERSION").SetAsString(version);
}

// The coding window left by "&Salir"; a teacher without a document is
// answered No by the scripted user's default.
void LeaveCodingWindow(ScriptedUI& ui) {
  ui.onTemplateWindow = [](dae_export::ControlPlantilla& w) {
    w.PlantiHorDBGridEnter();
    w.PlantiHorDBGridExit();
    w.BitBtn1Click();
  };
  ui.onCodingWindow = [](dae_export::AjustaDAE& w) {
    w.FormCreate();
    w.BitBtn1Click();
  };
}

// ---- Missing DAE folder.

struct MissingFolderCase {
  const char* name;
  bool importButton;
  bool embedded;
  int expectedResult;
  bool expectedClosed;
};

class MissingFolder : public ::testing::TestWithParam<MissingFolderCase> {};

TEST_P(MissingFolder, ShowsMessageSetsResultAndClosesOnlyEmbedded) {
  const MissingFolderCase& c = GetParam();
  TempDir work;
  RecordingUI ui;
  chain::ProcessState state;
  state.embedded = c.embedded;
  state.resultCode = 7;  // whatever an earlier chain left
  app::MainWorkflow wf(ui, state, work.path());
  const std::string folder = (work / "no-existe").string();
  if (c.importButton) wf.BExportarClick(folder);
  else wf.BImportarClick(folder);
  // The message names the folder on a line of its own.
  EXPECT_EQ(ui.messages,
            std::vector<std::string>{"No existe la carpeta\r" + store::PathText(work / "no-existe")});
  EXPECT_EQ(state.resultCode, c.expectedResult);
  EXPECT_EQ(ui.closed, c.expectedClosed);
  EXPECT_TRUE(ui.errors.empty());
  EXPECT_FALSE(ui.busy);
  EXPECT_EQ(wf.DaeFolder(), folder + kSeparator);
  EXPECT_TRUE(fs::is_empty(work.path())) << "a table was made";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MissingFolder,
    ::testing::Values(MissingFolderCase{"ImportStandAlone", true, false, 7, false},
                      MissingFolderCase{"ImportEmbedded", true, true, -1, true},
                      MissingFolderCase{"ExportStandAlone", false, false, 7, false},
                      MissingFolderCase{"ExportEmbedded", false, true, 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MainWorkflow, EmptyFolderTextIsNoFolder) {
  TempDir work;
  ScriptedUI ui;
  chain::ProcessState state;
  state.embedded = true;
  app::MainWorkflow wf(ui, state, work.path());
  wf.BExportarClick("");
  EXPECT_EQ(ui.messages, std::vector<std::string>{"No existe la carpeta"});
  EXPECT_EQ(state.resultCode, -1);
}

// ---- Import chain.

TEST(ImportChain, RunsToTheLevelPanelAndFinishes) {
  TempDir work;
  RecordingUI ui;
  chain::ProcessState state;
  state.embedded = true;
  app::MainWorkflow wf(ui, state, work.path());

  wf.BExportarClick(SampleDae().string());
  EXPECT_EQ(wf.DaeFolder(), SampleDae().string() + kSeparator);
  EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();
  EXPECT_TRUE(ui.errors.empty()) << ui.errors.front();
  EXPECT_EQ(state.resultCode, 1);
  ASSERT_FALSE(ui.cursor.empty());
  EXPECT_TRUE(ui.cursor.front()) << "hourglass while the steps run";
  EXPECT_FALSE(ui.busy);
  EXPECT_TRUE(ui.centreVisible);
  EXPECT_FALSE(ui.closed);

  wf.BitBtn1Click();  // the centre as imported
  EXPECT_FALSE(ui.centreVisible);
  EXPECT_TRUE(ui.levelsVisible);
  EXPECT_TRUE(ui.questions.empty());

  // Type an abbreviation for ESO and accept.
  wf.wwDBGridNIVIMPEnter();
  store::Table& levels = wf.Tables().wwTableNIVIMP;
  for (levels.First(); !levels.Eof(); levels.Next()) {
    if (levels.FieldByName("COD").AsString() != "ESO") continue;
    levels.Edit();
    levels.FieldByName("ABREVEUSK").SetAsString("DBH");
    break;
  }
  wf.FinalRecogida();
  EXPECT_EQ(ui.messages, std::vector<std::string>{kFinished});
  EXPECT_TRUE(ui.closed);
  EXPECT_FALSE(ui.levelsVisible);
  EXPECT_TRUE(ui.backToLevelsVisible);
  EXPECT_EQ(state.resultCode, 1);
  std::vector<std::string> niveles = Column(work.path(), "GRUPOST", "NIVEL");
  EXPECT_NE(std::find(niveles.begin(), niveles.end(), "DBH"), niveles.end());
  EXPECT_EQ(std::find(niveles.begin(), niveles.end(), "ESO"), niveles.end());
}

TEST(ImportChain, MissingFilesGoOnAndEndWithArrowCursor) {
  // No DAE file at all and no centre table from an earlier run: every step
  // reports its file, the centre panel cannot open, the window stays.
  TempDir work, dae;
  RecordingUI ui;
  chain::ProcessState state;
  state.embedded = true;
  app::MainWorkflow wf(ui, state, work.path());
  wf.BExportarClick(dae.path().string());
  ASSERT_GE(ui.messages.size(), 4u);
  EXPECT_EQ(ui.messages.back(), "No existe archivo del Centro (daeCENTRO.DBF)");
  EXPECT_EQ(std::count(ui.messages.begin(), ui.messages.end(),
                       "No existe archivo de grupos (fGRUPOS.TXT)"),
            1);
  EXPECT_EQ(state.resultCode, -1);
  EXPECT_FALSE(ui.closed);
  EXPECT_FALSE(ui.centreVisible);
  EXPECT_TRUE(ui.errors.empty());
  ASSERT_FALSE(ui.cursor.empty());
  EXPECT_FALSE(ui.cursor.back()) << "the hourglass must not stay";
}

TEST(ImportChain, StartsWithTheFlagAtZero) {
  // An export left waiting for the centre data (flag 1); the import button
  // then leads through the centre panel's OK to the level panel, not to the
  // export.
  TempDir work;
  ScriptedUI ui;
  chain::ProcessState state;
  state.workflowFlag = 1;
  app::MainWorkflow wf(ui, state, work.path());
  wf.BExportarClick(SampleDae().string());
  ASSERT_TRUE(ui.centreVisible);
  wf.BitBtn1Click();
  EXPECT_TRUE(ui.levelsVisible);
  EXPECT_TRUE(ui.questions.empty());
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_FALSE(fs::exists(store::ResolveFileNoCase(work.path(), "CUADROH2.DBF")));
}

TEST(ImportChain, StoreErrorGoesToTheErrorReportWithItsPeriod) {
  TempDir work;
  RecordingUI ui;
  chain::ProcessState state;
  state.embedded = true;
  app::MainWorkflow wf(ui, state, work.path());
  // A damaged centre table left by an earlier run, and no fGRUPOS.txt, so
  // the centre panel opens the damaged file.
  TempDir dae;
  for (const auto& e : fs::directory_iterator(SampleDae()))
    if (e.path().filename() != "fGRUPOS.txt") fs::copy(e.path(), dae / e.path().filename().string());
  testsupport::WriteFile(work / "daeCENTRO.DBF", "esto no es una tabla");
  std::string raw;
  {
    store::Table t;
    t.SetDatabaseName(work.path());
    t.SetTableName("daeCENTRO.DBF");
    try {
      t.Open();
    } catch (const std::exception& e) {
      raw = e.what();
    }
  }
  ASSERT_FALSE(raw.empty()) << "the damaged table opened";

  wf.BExportarClick(dae.path().string());
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(ui.errors[0], chain::ErrorReportText(raw));
  EXPECT_EQ(state.resultCode, -1);  // kept: fGRUPOS.txt was missing
  EXPECT_FALSE(ui.closed);
  EXPECT_FALSE(ui.busy);
  EXPECT_FALSE(ui.centreVisible);
}

// ---- Export chain.

// The work folder after an accepted import of the sample school, with the
// sample timetable solution beside it.
void ImportSample(const fs::path& work) {
  ScriptedUI ui;
  chain::ProcessState state;
  app::MainWorkflow wf(ui, state, work);
  wf.BExportarClick(SampleDae().string());
  wf.BitBtn1Click();
  wf.FinalRecogida();
  ASSERT_EQ(ui.messages, std::vector<std::string>{kFinished});
  fs::copy_file(testsupport::SourceDir() / "examples" / "solution" / "SOLUC.DBF",
                work / "SOLUC.DBF");
}

TEST(ExportChain, WithCentreTableRunsStraightToTheEnd) {
  TempDir work, dir;
  ImportSample(work.path());
  fs::path dae = CopySampleDae(dir);
  RecordingUI ui;
  LeaveCodingWindow(ui);
  chain::ProcessState state;
  state.embedded = true;
  state.workflowFlag = 4;  // left by an earlier export without its file
  app::MainWorkflow wf(ui, state, work.path());
  wf.BImportarClick(dae.string());
  EXPECT_TRUE(ui.errors.empty()) << ui.errors.front();
  EXPECT_FALSE(ui.centreVisible);
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_TRUE(ui.messages.back() == kFinished || ui.messages.back() == kNotFinished)
      << ui.messages.back();
  EXPECT_EQ(state.resultCode, 1);
  EXPECT_TRUE(ui.closed);
  EXPECT_FALSE(ui.busy);
  EXPECT_EQ(state.rutaDAE, dae.string() + kSeparator);
  EXPECT_TRUE(fs::exists(store::ResolveFileNoCase(work.path(), "CUADROH2.DBF")));
}

TEST(ExportChain, MissingCentreWaitsForCompleteCentreData) {
  TempDir work, dir;
  ImportSample(work.path());
  store::DeleteFileNoCase(work.path(), "daeCENTRO.DBF");
  fs::path dae = CopySampleDae(dir);
  RecordingUI ui;
  LeaveCodingWindow(ui);
  chain::ProcessState state;
  app::MainWorkflow wf(ui, state, work.path());

  wf.BImportarClick(dae.string());
  EXPECT_TRUE(ui.errors.empty()) << ui.errors.front();
  EXPECT_TRUE(ui.centreVisible);
  EXPECT_EQ(state.workflowFlag, 1);
  EXPECT_TRUE(ui.questions.empty());
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_FALSE(ui.busy);
  EXPECT_FALSE(fs::exists(store::ResolveFileNoCase(work.path(), "CUADROH2.DBF")));

  // Empty row, then a row missing its version: the panel stays, silently.
  wf.BitBtn1Click();
  EXPECT_TRUE(ui.centreVisible);
  SetCentre(wf.Tables().wwTableCentro, "012345", "2024", "   ");
  wf.BitBtn1Click();
  EXPECT_TRUE(ui.centreVisible);
  EXPECT_EQ(state.workflowFlag, 1);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(ui.questions.empty());
  EXPECT_FALSE(fs::exists(store::ResolveFileNoCase(work.path(), "CUADROH2.DBF")));

  SetCentre(wf.Tables().wwTableCentro, "012345", "2024", "1");
  wf.BitBtn1Click();
  EXPECT_TRUE(ui.errors.empty()) << ui.errors.front();
  EXPECT_FALSE(ui.centreVisible);
  EXPECT_FALSE(wf.Tables().wwTableCentro.Active());
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_TRUE(ui.messages.back() == kFinished || ui.messages.back() == kNotFinished);
  EXPECT_EQ(state.resultCode, 1);
  EXPECT_EQ(Column(work.path(), "daeCENTRO", "CODCENTRO"),
            std::vector<std::string>{"012345"});
  EXPECT_TRUE(fs::exists(store::ResolveFileNoCase(work.path(), "CUADROH2.DBF")));
}

TEST(ExportChain, StoreErrorEndsTheChainKeepingResultAndWindow) {
  TempDir work, dir;
  fs::path dae = CopySampleDae(dir);
  // A centre table exists, but no timetable solution: the expansion fails.
  ImportSample(work.path());
  fs::remove(work / "SOLUC.DBF");
  RecordingUI ui;
  LeaveCodingWindow(ui);
  chain::ProcessState state;
  state.embedded = true;
  state.resultCode = 5;
  app::MainWorkflow wf(ui, state, work.path());
  wf.BImportarClick(dae.string());
  std::string raw;
  {
    store::Table soluc;
    soluc.SetDatabaseName(work.path());
    soluc.SetTableName("SOLUC");
    try {
      soluc.Open();
    } catch (const std::exception& err) {
      raw = err.what();
    }
  }
  ASSERT_FALSE(raw.empty());
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(ui.errors[0], chain::ErrorReportText(raw));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(state.resultCode, 5);
  EXPECT_FALSE(ui.closed);
  EXPECT_FALSE(ui.busy);
}

}  // namespace
