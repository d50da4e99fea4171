// The teachers step: fPROFES.txt becomes PROFT and its index tag ABREV.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dae_import/teachers_import.h"
#include "tests/dae_import/import_fixture.h"

namespace {

namespace fs = std::filesystem;

using importtest::CrLf;
using importtest::Fixed;
using importtest::ImportFixture;
using Row = std::vector<std::string>;

std::string Teacher(const std::string& type, const std::string& docType,
                    const std::string& dni, const std::string& p1,
                    const std::string& p2, const std::string& p3,
                    const std::string& dept, const std::string& pos2 = "") {
  return Fixed({{type, 1}, {pos2, 1}, {docType, 1}, {dni, 15}, {p1, 40},
                {p2, 40}, {p3, 20}, {"ZZZZZZ", 6}, {dept, 100}}) +
         "not read";
}

class Teachers : public ImportFixture {
 protected:
  void Run() {
    auto ctx = Ctx();
    dae_import::ImportaProfesores(ctx);
  }
};

TEST_F(Teachers, InitialsCollisionsAndFields) {
  WriteDae("fPROFES.txt",
           CrLf({Teacher("1", "", "", "CABECERA", "", "", ""),
                 Teacher("2", "1", "  10000001A ", "Agirre", "Bilbao", "Carmen",
                         "Matem\xE1ticas", "9"),
                 Teacher("2", "2", "X1000002B", "Arana", "Barrenetxea", "Cristina", "Ingl\xE9s"),
                 Teacher("2", "1", "10000003C", "Alonso", "Blanco", "C\xE9sar", "Ingl\xE9s"),
                 Teacher("2", "3", "PA0000004", "arrieta", "beitia", "carlos", "Tecnolog\xED" "a"),
                 Teacher("2", "1", "10000005E", "Pe\xF1" "a", "Etxeberria", "Miren",
                         "\tLengua Castellana y Literatura  ")}));
  Run();
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(state.resultCode, 1);
  importtest::Dump d = Read("PROFT");
  EXPECT_EQ(d.fields, (Row{"ABREV:C:4:0", "NOMBRE:C:40:0", "DEPART:C:40:0",
                           "DNI:C:15:0", "TIPODNI:C:1:0"}));
  ASSERT_EQ(d.rows.size(), 5u);
  EXPECT_EQ(d.rows[0], (Row{"ABC", "Agirre Bilbao Carmen", "Matemáticas", "10000001A", "1"}));
  EXPECT_EQ(d.rows[1], (Row{"ABC1", "Arana Barrenetxea Cristina", "Inglés", "X1000002B", "2"}));
  EXPECT_EQ(d.rows[2], (Row{"ABC2", "Alonso Blanco César", "Inglés", "10000003C", "1"}));
  EXPECT_EQ(d.rows[3], (Row{"abc3", "arrieta beitia carlos", "Tecnología", "PA0000004", "3"}));
  EXPECT_EQ(d.rows[4], (Row{"PEM", "Peña Etxeberria Miren",
                            "Lengua Castellana y Literatura", "10000005E", "1"}));
}

TEST_F(Teachers, TheIndexTagOrdersByAbbreviation) {
  SKIP_WITHOUT_READERS();
  WriteDae("fPROFES.txt",
           CrLf({Teacher("2", "1", "1", "Zubia", "Uriarte", "Lur", "D"),
                 Teacher("2", "1", "2", "Agirre", "Bilbao", "Carmen", "D"),
                 Teacher("2", "1", "3", "Mendia", "Pagola", "Edurne", "D"),
                 Teacher("2", "1", "4", "Arana", "Bengoa", "Cruz", "D")}));
  Run();
  EXPECT_EQ(WalkTag("PROFT", "ABREV"), (Row{"2|ABC", "4|ABC1", "3|MPE", "1|ZUL"}));
}

TEST_F(Teachers, RecordTypesEmptyLinesAndEmptyNameParts) {
  WriteDae("fPROFES.txt",
           CrLf({"1 anything after a one is skipped",
                 Teacher("A", "1", "1", "Xab", "", "Yef", "D"),
                 "",
                 Teacher(" ", "1", "2", "Xenia", "", "Yoldi", "D"),
                 "",
                 Teacher("0", "\x01", "3", "", "", "", ""),
                 "1"}));
  Run();
  importtest::Dump d = Read("PROFT");
  ASSERT_EQ(d.rows.size(), 5u);
  EXPECT_EQ(d.rows[0], (Row{"XY", "Xab  Yef", "D", "1", "1"}));
  EXPECT_EQ(d.rows[1], (Row{"", "", "", "", ""}));  // name of two blanks, stored padded
  EXPECT_EQ(d.rows[2], (Row{"XY1", "Xenia  Yoldi", "D", "2", "1"}));
  EXPECT_EQ(d.rows[3], (Row{"1", "", "", "", ""}));
  // Position 3 is taken as it comes, not trimmed.
  EXPECT_EQ(d.rows[4], (Row{"2", "", "", "3", "\x01"}));
}

TEST_F(Teachers, LongValuesAreCutAndTheTenthCollisionSharesItsAbbreviation) {
  SKIP_WITHOUT_READERS();
  std::vector<std::string> lines;
  lines.push_back(Teacher("2", "1", "0", "Aaaaaaaaaaaaaaaaaaaa", "Bbbbbbbbbbbbbbbbbbbb",
                          "Cccccccccc", std::string(60, 'd')));
  for (int i = 1; i <= 12; ++i)
    lines.push_back(Teacher("2", "1", std::to_string(i), "Ane", "Bea", "Cruz", "D"));
  WriteDae("fPROFES.txt", CrLf(lines));
  Run();
  importtest::Dump d = Read("PROFT");
  ASSERT_EQ(d.rows.size(), 13u);
  EXPECT_EQ(d.At(0, "NOMBRE"),
            "Aaaaaaaaaaaaaaaaaaaa Bbbbbbbbbbbbbbbbbbb");  // first 40 characters
  EXPECT_EQ(d.At(0, "DEPART"), std::string(40, 'd'));
  EXPECT_EQ(d.Column("ABREV"),
            (Row{"ABC", "ABC1", "ABC2", "ABC3", "ABC4", "ABC5", "ABC6", "ABC7",
                 "ABC8", "ABC9", "ABC1", "ABC1", "ABC1"}));
  // ABC10, ABC11 and ABC12 (kept whole in the list) are stored as ABC1.
  const Row walk = WalkTag("PROFT", "ABREV");
  ASSERT_EQ(walk.size(), 13u);
  EXPECT_EQ(walk[0], "1|ABC");
  std::vector<std::string> abc1;
  for (const std::string& w : walk)
    if (w.substr(w.find('|') + 1) == "ABC1") abc1.push_back(w.substr(0, w.find('|')));
  std::sort(abc1.begin(), abc1.end());
  EXPECT_EQ(abc1, (Row{"11", "12", "13", "2"}));
}

TEST_F(Teachers, MissingFileKeepsTheOldTable) {
  WriteDae("fPROFES.txt", CrLf({Teacher("2", "1", "1", "Ane", "Bea", "Cruz", "D")}));
  Run();
  const std::string dbf = testsupport::ReadFile(TablePath("PROFT"));
  const fs::path mdx = store::ResolveFileNoCase(workDir.path(), "PROFT.MDX");
  const std::string index = testsupport::ReadFile(mdx);
  fs::remove(daeDir / "fPROFES.txt");
  Run();
  EXPECT_EQ(ui.messages, (Row{"No existe archivo de profesores (fPROFES.TXT)"}));
  EXPECT_EQ(state.resultCode, -1);
  EXPECT_EQ(testsupport::ReadFile(TablePath("PROFT")), dbf);
  EXPECT_EQ(testsupport::ReadFile(mdx), index);
}

TEST_F(Teachers, OnlyAHeaderRecordReplacesTheTableByAnEmptyOne) {
  SKIP_WITHOUT_READERS();
  WriteDae("fPROFES.txt", CrLf({Teacher("2", "1", "1", "Ane", "Bea", "Cruz", "D")}));
  Run();
  WriteDae("fPROFES.txt", CrLf({"1CABECERA"}));
  Run();
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(Read("PROFT").rows.empty());
  EXPECT_TRUE(WalkTag("PROFT", "ABREV").empty());
}

}  // namespace
