// The sample school end to end: examples/dae imported, the sample solution
// examples/solution/SOLUC.DBF exported, the coding window completed, and
// the DAE timetable file checked against what the data say by hand.
#include <gtest/gtest.h>

#include "chain/main_tables.h"
#include "dae_export/ajusta_dae.h"
#include "dae_export/timetable_expansion.h"
#include "dae_export/timetable_template.h"
#include "dae_import/code_tables_import.h"
#include "dae_import/groups_import.h"
#include "dae_import/subjects_import.h"
#include "dae_import/teachers_import.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;

TEST(SampleSchool, ImportThenExportTheSampleSolution) {
  TempDir work, dae;
  for (const auto& e : fs::directory_iterator(testsupport::SourceDir() / "examples/dae"))
    fs::copy_file(e.path(), dae / e.path().filename().string());
  testsupport::ScriptedUI ui;
  ui.language = "EUSKERA";
  chain::ProcessState state;
  chain::MainTables tables(work.path());
  chain::StepContext ctx{ui, state, work.path(), (dae.path() / "").string()};
  dae_import::ImportaTablasDAE(ctx);
  dae_import::ImportaAsignaturas(ctx);
  dae_import::ImportaProfesores(ctx);
  dae_import::ImportaGrupos(ctx);
  ASSERT_TRUE(ui.messages.empty());
  fs::copy_file(testsupport::SourceDir() / "examples/solution/SOLUC.DBF",
                work / "SOLUC.DBF");
  dae_export::EnsurePlantilla(work.path());

  std::string firstMissing;
  ui.onCodingWindow = [&](dae_export::AjustaDAE& w) {
    w.FormCreate();
    // XYZ came from the timetable only and has no document yet.
    ui.answers = {chain::Answer::Yes};
    EXPECT_FALSE(w.BitBtn1Click());
    firstMissing = w.wwTableProfesor.FieldByName("ABREV").AsString();
    w.wwTableProfesor.Edit();
    w.wwTableProfesor.FieldByName("TIPODNI").SetAsString("1");
    w.wwTableProfesor.FieldByName("DNI").SetAsString("99999999R");
    w.wwDBGridPROFTColExit("DNI");
    EXPECT_TRUE(w.BitBtn1Click());
  };
  dae_export::Importar2(ctx, tables);
  EXPECT_EQ(firstMissing, "XYZ");
  EXPECT_EQ(ui.messages, std::vector<std::string>{"Proceso finalizado"});

  const std::string file = testsupport::ReadFile(dae / "fCUADROS.txt");
  std::vector<std::string> lines = testsupport::SplitLines(file);
  for (std::string& l : lines) {
    ASSERT_EQ(l.back(), '\r');
    l.pop_back();
  }
  // 31 live rows, one unplaced: 30 lessons; EFX has two at day 2, hour 4:
  // 29 type 2 lines. Two lessons have no group: 27 type 3 lines.
  ASSERT_EQ(lines.size(), 1u + 29u + 27u);
  EXPECT_EQ(lines[0], "1CH01987620241");
  const std::string room = std::string(27, ' ');
  auto has = [&](const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  };
  // ABC (document 10000001A, type 1), MATE in 1ESO, day 1, period 1.
  EXPECT_EQ(lines[1], "2" "1" "10000001A      " "01" "1" "101" "08:00" "09:00" "ESO"
                      "0101" " " "02" "A11" + room + "   ");
  EXPECT_EQ(lines[2], "3" "00101" "1" "10000001A      " "01" "1" "24");
  // ZLI, two sessions from period 6: ends with period 8.
  EXPECT_TRUE(has("2" "3" "PA0000007      " "06" "2" "101" "13:00" "16:00" "ESO"
                  "0701" " " "02" "GIM" + room + "   "));
  // Two lessons of EFX at once: the later row's subject and group.
  EXPECT_TRUE(has("2" "1" "10000010K      " "04" "2" "101" "11:00" "12:00" "FPB"
                  "0801" " " "02" "TAL" + room + "   "));
  EXPECT_TRUE(has("3" "00301" "1" "10000010K      " "04" "2" "28"));
  // The tutoring group has 8 pupils.
  EXPECT_TRUE(has("3" "00901" "1" "10000010K      " "06" "4" "08"));
  // A group unknown to GRUPOST: no task, level, code or pupils.
  EXPECT_TRUE(has("2" "1" "10000008H      " "04" "4" "   " "11:00" "12:00" "   "
                  "0601" " " "02" "LAB" + room + "   "));
  EXPECT_TRUE(has("3" "     " "1" "10000008H      " "04" "4" "00"));
  // The guard of ABC: its task, no group line after it.
  auto guard = std::find(lines.begin(), lines.end(),
                         "2" "1" "10000001A      " "04" "3" "G01" "11:00" "12:00" "   "
                         "G01 " " " "02" + std::string(30, ' ') + "   ");
  ASSERT_NE(guard, lines.end());
  ASSERT_NE(guard + 1, lines.end());
  EXPECT_EQ((guard + 1)->substr(0, 1), "2");
  // XYZ's records carry the document typed in the coding window.
  EXPECT_TRUE(has("2" "1" "99999999R      " "07" "1" "101" "14:00" "15:00" "ESO"
                  "0901" " " "02" "MUS" + room + "   "));
  EXPECT_TRUE(has("3" "00202" "1" "99999999R      " "07" "1" "22"));
  // Neither the unplaced lesson nor the deleted row (both ETIK, 1001).
  for (const std::string& l : lines) {
    if (l[0] == '2') {
      EXPECT_NE(l.substr(36, 4), "1001") << l;
    }
  }

  // Teachers in abbreviation order, recognised by their documents.
  const std::vector<std::pair<std::string, std::string>> byDoc = {
      {"10000001A", "ABC"}, {"10000002B", "ABC1"}, {"X1000003C", "ABC2"},
      {"10000010K", "EFX"}, {"10000005E", "GJ"},   {"10000009J", "MSB"},
      {"10000004D", "PEM"}, {"10000008H", "UOL"},  {"99999999R", "XYZ"},
      {"PA0000007", "ZLI"}, {"10000006F", "\xD1RA"}};
  std::vector<std::string> order;
  for (const std::string& l : lines) {
    if (l[0] != '2') continue;
    std::string doc = l.substr(2, 9);
    for (const auto& [d, t] : byDoc)
      if (d == doc && (order.empty() || order.back() != t)) order.push_back(t);
  }
  std::vector<std::string> expected;
  for (const auto& p : byDoc) expected.push_back(p.second);
  EXPECT_EQ(order, expected);
}

}  // namespace
