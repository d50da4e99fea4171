// The timetable template table, the template step and the window's logic.
#include <gtest/gtest.h>

#include "chain/main_tables.h"
#include "chain/process_state.h"
#include "dae_export/control_plantilla.h"
#include "dae_export/timetable_template.h"
#include "store/work_folder.h"
#include "tests/dae_export/export_fixture.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_support.h"

namespace {

using exporttest::Dump;
using exporttest::Walk;
using testsupport::ReadFile;
using testsupport::TempDir;

std::vector<std::string> DefaultDump() {
  std::vector<std::string> rows;
  for (const auto& r : dae_export::DefaultTemplateRows())
    rows.push_back(std::to_string(r.hora) + "|" + r.horaIni + "|" + r.horaFin);
  return rows;
}

TEST(TemplateTable, CreatedWithFieldsRowsAndTag) {
  SKIP_WITHOUT_READERS();
  TempDir work;
  dae_export::EnsurePlantilla(work.path());
  ASSERT_TRUE(std::filesystem::exists(work / "PLANTILLA.DBF"));
  ASSERT_TRUE(std::filesystem::exists(work / "PLANTILLA.MDX"));

  std::vector<std::string> lines = Dump(work / "PLANTILLA.DBF");
  ASSERT_EQ(lines.size(), 21u);
  // HORA is numeric without decimals; the times are characters of five.
  EXPECT_TRUE(lines[0].rfind("HORA:N:", 0) == 0) << lines[0];
  EXPECT_NE(lines[0].find(":0|HORAINI:C:5:0|HORAFIN:C:5:0"), std::string::npos)
      << lines[0];
  std::vector<std::string> rows(lines.begin() + 1, lines.end());
  EXPECT_EQ(rows, DefaultDump());
  EXPECT_EQ(rows[15], "16|23:00|24:00");
  EXPECT_EQ(rows[16], "17|00:00|01:00");
  EXPECT_EQ(rows[19], "20|03:00|04:00");

  std::vector<std::string> tag = Walk(work / "PLANTILLA.DBF", "HORA");
  ASSERT_EQ(tag.size(), 20u);
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(tag[i], std::to_string(i + 1) + "|" + std::to_string(i + 1));
}

TEST(TemplateTable, ExistingTemplateIsNeverTouched) {
  TempDir work;
  dae_export::EnsurePlantilla(work.path());
  // The user's correction of period 1.
  {
    store::Table t;
    t.SetDatabaseName(work.path());
    t.SetTableName("plantilla");
    t.Open();
    t.Edit();
    t.FieldByName("HORAINI").SetAsString("8:30");
    t.Post();
    t.Close();
  }
  const std::string dbf = ReadFile(work / "PLANTILLA.DBF");
  const std::string mdx = ReadFile(work / "PLANTILLA.MDX");
  dae_export::EnsurePlantilla(work.path());
  EXPECT_EQ(ReadFile(work / "PLANTILLA.DBF"), dbf);
  EXPECT_EQ(ReadFile(work / "PLANTILLA.MDX"), mdx);
  EXPECT_EQ(Dump(work / "PLANTILLA.DBF")[1], "1|8:30|09:00");

  // Without its index file the table is still not remade.
  std::filesystem::remove(work / "PLANTILLA.MDX");
  dae_export::EnsurePlantilla(work.path());
  EXPECT_EQ(ReadFile(work / "PLANTILLA.DBF"), dbf);
  EXPECT_FALSE(std::filesystem::exists(work / "PLANTILLA.MDX"));
}

TEST(TemplateTable, ExistingFileInOtherLetterCaseCounts) {
  TempDir work;
  testsupport::WriteFile(work / "plantilla.dbf", "not a table");
  dae_export::EnsurePlantilla(work.path());
  EXPECT_EQ(ReadFile(work / "plantilla.dbf"), "not a table");
  // No second spelling was made beside it (there is one name in the folder,
  // whether or not the file system tells letter case apart).
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(work.path())) {
    ++entries;
    EXPECT_EQ(e.path().filename(), "plantilla.dbf");
  }
  EXPECT_EQ(entries, 1);
}

struct TemplateStep : ::testing::Test {
  TempDir work;
  testsupport::ScriptedUI ui;
  chain::ProcessState state;
  chain::MainTables tables{work.path()};
  chain::StepContext ctx{ui, state, work.path(), (work.path() / "").string()};
};

TEST_F(TemplateStep, CentrePresentShowsWindowAndLeavesFlag) {
  exporttest::MakeCentre(work.path(), "012345", "2024", "1");
  int shown = 0;
  std::vector<std::string> seen;
  ui.onTemplateWindow = [&](dae_export::ControlPlantilla& w) {
    ++shown;
    EXPECT_FALSE(ui.busy);
    w.PlantiHorDBGridEnter();
    ASSERT_TRUE(w.wwTablePlantilla.Active());
    w.wwTablePlantilla.First();
    while (!w.wwTablePlantilla.Eof()) {
      seen.push_back(w.wwTablePlantilla.FieldByName("HORAINI").AsString());
      w.wwTablePlantilla.Next();
    }
    w.PlantiHorDBGridExit();
    w.BitBtn1Click();
  };
  state.workflowFlag = 0;
  dae_export::PlantillaCentro(ctx, tables);
  EXPECT_EQ(shown, 1);
  ASSERT_EQ(seen.size(), 20u);
  EXPECT_EQ(seen.front(), "08:00");
  EXPECT_EQ(seen.back(), "03:00");
  EXPECT_TRUE(ui.busy);
  EXPECT_EQ(state.workflowFlag, 0);
  EXPECT_FALSE(ui.centreVisible);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(TemplateStep, CentreMissingIsCreatedAfterTheWindow) {
  bool centreDuringWindow = true;
  ui.onTemplateWindow = [&](dae_export::ControlPlantilla&) {
    centreDuringWindow = store::FileExistsNoCase(work.path(), "daeCENTRO.DBF");
  };
  dae_export::PlantillaCentro(ctx, tables);
  EXPECT_FALSE(centreDuringWindow);
  ASSERT_TRUE(store::FileExistsNoCase(work.path(), "daeCENTRO.DBF"));
  std::vector<std::string> centre = Dump(work / "daeCENTRO.DBF");
  ASSERT_EQ(centre.size(), 1u);  // fields only, no row
  EXPECT_EQ(centre[0], "CODCENTRO:C:6:0|ANOACAD:C:4:0|VERSION:C:5:0");
  EXPECT_EQ(state.workflowFlag, 1);
  EXPECT_TRUE(ui.centreVisible);
}

TEST(TemplateWindow, EditedRowStoredOnLeavingTheGridAndRowsKept) {
  TempDir work;
  dae_export::EnsurePlantilla(work.path());
  {
    dae_export::ControlPlantilla w(work.path());
    w.PlantiHorDBGridEnter();
    EXPECT_EQ(w.wwTablePlantilla.State(), store::DataSetState::Edit);
    w.wwTablePlantilla.FieldByName("HORAINI").SetAsString("8:30");
    w.wwTablePlantilla.FieldByName("HORAFIN").SetAsString("09:25");
    w.PlantiHorDBGridExit();
    EXPECT_EQ(w.wwTablePlantilla.State(), store::DataSetState::Browse);
    // Back into the grid, to row 2, change and click "Aceptar": leaving
    // the grid posts before the table closes.
    w.wwTablePlantilla.Next();
    w.PlantiHorDBGridEnter();
    w.wwTablePlantilla.FieldByName("HORAINI").SetAsString("09:25");
    w.PlantiHorDBGridExit();
    w.BitBtn1Click();
    EXPECT_FALSE(w.wwTablePlantilla.Active());
  }
  std::vector<std::string> rows = Dump(work / "PLANTILLA.DBF");
  ASSERT_EQ(rows.size(), 21u);
  EXPECT_EQ(rows[1], "1|8:30|09:25");
  EXPECT_EQ(rows[2], "2|09:25|10:00");
  EXPECT_EQ(rows[3], "3|10:00|11:00");
}

TEST(TemplateWindow, EnteringAnEmptyTemplateAddsNoRow) {
  TempDir work;
  store::Table t;
  t.SetDatabaseName(work.path());
  t.SetTableName("PLANTILLA.DBF");
  store::FieldDef hora;
  hora.name = "HORA";
  hora.type = store::FieldType::Integer;
  hora.width = 11;
  store::FieldDef ini;
  ini.name = "HORAINI";
  ini.width = 5;
  t.FieldDefsList() = {hora, ini};
  t.CreateTable();
  {
    dae_export::ControlPlantilla w(work.path());
    w.PlantiHorDBGridEnter();
    w.PlantiHorDBGridExit();
    w.BitBtn1Click();
  }
  EXPECT_EQ(Dump(work / "PLANTILLA.DBF").size(), 1u);
}

}  // namespace
