// The groups step: fGRUPOS.txt becomes GRUPOST and daeCENTRO.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dae_import/groups_import.h"
#include "tests/dae_import/import_fixture.h"

namespace {

namespace fs = std::filesystem;

using importtest::CrLf;
using importtest::Fixed;
using importtest::ImportFixture;
using Row = std::vector<std::string>;

std::string Group(const std::string& code, const std::string& alias,
                  const std::string& level, const std::string& spec,
                  const std::string& shift, const std::string& course,
                  const std::string& pupils) {
  return Fixed({{"2", 1}, {code, 5}, {alias, 30}, {level, 3}, {spec, 6},
                {shift, 2}, {course, 2}, {std::string(161, 'Z'), 161},
                {pupils, 2}}) +
         "not read";
}

std::string Centre(const std::string& code, const std::string& year,
                   const std::string& version) {
  return "1XX" + Fixed({{code, 6}, {year, 4}, {version, 1}}) + "not read";
}

const Row kGroupFields = {
    "ABREV:C:4:0",    "TURNO:C:1:0",    "NIVEL:C:5:0",    "CURSO:C:3:0",
    "GRUPO:C:2:0",    "CODGRUDAE:C:5:0", "ALIASDAE:C:30:0", "NIVELDAE:C:3:0",
    "ESPECDAE:C:6:0", "TURNODAE:C:2:0", "CURSODAE:C:2:0", "NUMALUMN:C:2:0",
    "DESCRIP:C:40:0"};
const Row kCentreFields = {"CODCENTRO:C:6:0", "ANOACAD:C:4:0", "VERSION:C:5:0"};

class Groups : public ImportFixture {
 protected:
  void Run() {
    auto ctx = Ctx();
    dae_import::ImportaGrupos(ctx);
  }
};

TEST_F(Groups, CentreAndGroupsWithNumbersAbbreviationsAndDescriptions) {
  WriteDae("fGRUPOS.txt",
           CrLf({Centre("019876", "2024", "1"),
                 Group("00101", "1ESO A", "ESO", "", "D", "1", "24"),
                 Group("00102", "1ESO B", "ESO", "", "D", "1", "23"),
                 Group("00103", "1eso C", "ESO", "", "D", "1", "25"),
                 Group("00201", "2ESO A", "ESO", "", "D", "2", "26"),
                 Group("00301", "1BAT Ciencias", "BAC", "CIENC", "D", "1", "28"),
                 Group("00901", "Tutor\xED" "a de apoyo", "", "", "D", "1", " 8"),
                 Group("00902", "Tutor\xED" "a II", "   ", "", "T", "1", "9")}));
  Run();
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(state.resultCode, 1);
  importtest::Dump c = Read("daeCENTRO");
  EXPECT_EQ(c.fields, kCentreFields);
  EXPECT_EQ(c.rows, (std::vector<Row>{{"019876", "2024", "1"}}));

  importtest::Dump g = Read("GRUPOST");
  EXPECT_EQ(g.fields, kGroupFields);
  ASSERT_EQ(g.rows.size(), 7u);
  EXPECT_EQ(g.rows[0], (Row{"1ESO", "D", "ESO", "1", "1", "00101", "1ESO A", "ESO",
                            "", "D", "1", "24", "D ESO 1 1"}));
  EXPECT_EQ(g.rows[1], (Row{"1ES1", "D", "ESO", "1", "2", "00102", "1ESO B", "ESO",
                            "", "D", "1", "23", "D ESO 1 2"}));
  EXPECT_EQ(g.rows[2], (Row{"1es2", "D", "ESO", "1", "3", "00103", "1eso C", "ESO",
                            "", "D", "1", "25", "D ESO 1 3"}));
  EXPECT_EQ(g.rows[3], (Row{"2ESO", "D", "ESO", "2", "1", "00201", "2ESO A", "ESO",
                            "", "D", "2", "26", "D ESO 2 1"}));
  EXPECT_EQ(g.rows[4], (Row{"1BAT", "D", "BAC", "1", "1", "00301", "1BAT Ciencias",
                            "BAC", "CIENC", "D", "1", "28", "D BAC 1 1"}));
  EXPECT_EQ(g.rows[5], (Row{"Tuto", "D", "NIV", "1", "1", "00901", "Tutoría de apoyo",
                            "", "", "D", "1", "8", "D NIV 1 1"}));
  EXPECT_EQ(g.rows[6], (Row{"Tut1", "T", "NIV", "1", "2", "00902", "Tutoría II",
                            "", "", "T", "1", "9", "T NIV 1 2"}));
}

TEST_F(Groups, TheTenthGroupOfALevelAndCourseIsZeroTheEleventhOne) {
  std::vector<std::string> lines;
  for (int i = 1; i <= 11; ++i)
    lines.push_back(Group("0010" + std::to_string(i % 10), "G" + std::to_string(i),
                          "ESO", "", "D", "3", "20"));
  lines.push_back(Group("00200", "Otro", "BAC", "", "D", "3", "20"));
  WriteDae("fGRUPOS.txt", CrLf(lines));
  Run();
  importtest::Dump g = Read("GRUPOST");
  EXPECT_EQ(g.Column("GRUPO"),
            (Row{"1", "2", "3", "4", "5", "6", "7", "8", "9", "0", "1", "1"}));
  EXPECT_EQ(g.At(9, "DESCRIP"), "D ESO 3 0");
}

TEST_F(Groups, AliasCandidatesCollideWithoutRegardToCaseAndAreCutToFour) {
  std::vector<std::string> lines = {Group("1", "ABCD uno", "E", "", "D", "1", "1"),
                                    Group("2", "ABCDE", "E", "", "D", "1", "1"),
                                    Group("3", "abcd tres", "E", "", "D", "1", "1"),
                                    Group("4", "  AB", "E", "", "D", "1", "1"),
                                    Group("5", "\xC1" "BC", "E", "", "D", "1", "1"),
                                    Group("6", "\xE1" "bc", "E", "", "D", "1", "1")};
  for (int i = 0; i < 10; ++i) lines.push_back(Group("9", "ABCD", "E", "", "D", "2", "1"));
  WriteDae("fGRUPOS.txt", CrLf(lines));
  Run();
  const Row abrev = Read("GRUPOST").Column("ABREV");
  // "  AB" at 7-10 trims to AB. ABC10 .. ABC12 are stored as ABC1.
  EXPECT_EQ(abrev, (Row{"ABCD", "ABC1", "abc2", "AB", "ÁBC", "ábc1", "ABC3", "ABC4",
                        "ABC5", "ABC6", "ABC7", "ABC8", "ABC9", "ABC1", "ABC1", "ABC1"}));
}

TEST_F(Groups, ShiftWithABlankFirstCharacterAndIgnoredLines) {
  WriteDae("fGRUPOS.txt", CrLf({"", "3 a line of another type", "x",
                                Group("00101", "1A", "ESO", "", " M", "1", "20"),
                                "", "  2 indented"}));
  Run();
  importtest::Dump g = Read("GRUPOST");
  ASSERT_EQ(g.rows.size(), 1u);
  EXPECT_EQ(g.At(0, "TURNO"), "");
  EXPECT_EQ(g.At(0, "TURNODAE"), "M");
  EXPECT_EQ(g.At(0, "DESCRIP"), " ESO 1 1");  // begins with the blank TURNO's space
  EXPECT_TRUE(Read("daeCENTRO").rows.empty());
}

TEST_F(Groups, ShortGroupLinesGiveEmptyFields) {
  WriteDae("fGRUPOS.txt", "2001\r\n2\r\n");
  Run();
  importtest::Dump g = Read("GRUPOST");
  ASSERT_EQ(g.rows.size(), 2u);
  EXPECT_EQ(g.rows[0], (Row{"", "", "NIV", "", "1", "001", "", "", "", "", "", "",
                            " NIV  1"}));
  EXPECT_EQ(g.rows[1], (Row{"1", "", "NIV", "", "2", "", "", "", "", "", "", "",
                            " NIV  2"}));
}

TEST_F(Groups, CentreValuesAreNotTrimmedAndOnlyTheFirstCentreRecordCounts) {
  WriteDae("fGRUPOS.txt",
           CrLf({Centre("  0123", "2024", "3"),
                 Group("00101", "1A", "ESO", "", "D", "1", "20"),
                 Centre("999999", "2099", "9"), "1XX888888"}));
  Run();
  EXPECT_TRUE(ui.messages.empty());
  importtest::Dump c = Read("daeCENTRO");
  ASSERT_EQ(c.rows.size(), 1u);
  EXPECT_EQ(c.rows[0], (Row{"  0123", "2024", "3"}));
  EXPECT_EQ(Read("GRUPOST").rows.size(), 1u);
}

TEST_F(Groups, OnlyACentreRecordAndNoCentreRecord) {
  WriteDae("fGRUPOS.txt", CrLf({Centre("019876", "2024", "1")}));
  Run();
  EXPECT_TRUE(Read("GRUPOST").rows.empty());
  EXPECT_EQ(Read("daeCENTRO").rows, (std::vector<Row>{{"019876", "2024", "1"}}));

  // A later run without a centre record leaves the centre table empty.
  WriteDae("fGRUPOS.txt", CrLf({Group("00101", "1A", "ESO", "", "D", "1", "20")}));
  Run();
  importtest::Dump c = Read("daeCENTRO");
  EXPECT_EQ(c.fields, kCentreFields);
  EXPECT_TRUE(c.rows.empty());
  EXPECT_EQ(Read("GRUPOST").rows.size(), 1u);
}

TEST_F(Groups, MissingFileTouchesNeitherTable) {
  WriteDae("fGRUPOS.txt", CrLf({Centre("019876", "2024", "1"),
                                Group("00101", "1A", "ESO", "", "D", "1", "20")}));
  Run();
  const std::string groups = testsupport::ReadFile(TablePath("GRUPOST"));
  const std::string centre = testsupport::ReadFile(TablePath("daeCENTRO"));
  fs::remove(daeDir / "fGRUPOS.txt");
  Run();
  EXPECT_EQ(ui.messages, (Row{"No existe archivo de grupos (fGRUPOS.TXT)"}));
  EXPECT_EQ(state.resultCode, -1);
  EXPECT_EQ(testsupport::ReadFile(TablePath("GRUPOST")), groups);
  EXPECT_EQ(testsupport::ReadFile(TablePath("daeCENTRO")), centre);
}

TEST_F(Groups, CreaTablaCentroMakesAnEmptyTableAndRemovesAnOldIndex) {
  testsupport::WriteFile(workDir / "DAECENTRO.DBF", "not a table");
  testsupport::WriteFile(workDir / "daecentro.mdx", "old index");
  dae_import::CreaTablaCentro(workDir.path());
  EXPECT_FALSE(fs::exists(workDir / "daecentro.mdx"));
  importtest::Dump c = Read("daeCENTRO");
  EXPECT_EQ(c.fields, kCentreFields);
  EXPECT_TRUE(c.rows.empty());
}

}  // namespace
