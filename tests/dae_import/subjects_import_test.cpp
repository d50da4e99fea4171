// The subjects step: fASIGNAT.txt and daeTIPTAR become ASIGNOMT.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "dae_import/code_tables_import.h"
#include "dae_import/subjects_import.h"
#include "tests/dae_import/import_fixture.h"

namespace {

namespace fs = std::filesystem;

using importtest::CrLf;
using importtest::Fixed;
using importtest::ImportFixture;
using Row = std::vector<std::string>;

std::string Subject(const std::string& code, const std::string& descCast,
                    const std::string& shortCast, const std::string& abbrCast,
                    const std::string& descEusk, const std::string& shortEusk,
                    const std::string& abbrEusk) {
  return Fixed({{code, 4}, {descCast, 100}, {shortCast, 20}, {abbrCast, 4},
                {descEusk, 100}, {shortEusk, 20}, {abbrEusk, 4}});
}

std::string Task(const std::string& cod, const std::string& cast,
                 const std::string& eusk) {
  return Fixed({{"1", 1}, {cod, 3}, {"N", 1}, {"S", 1}, {cast, 250}, {eusk, 250}});
}

class Subjects : public ImportFixture {
 protected:
  // Builds daeTIPTAR through the code tables step (it stops at the
  // missing fASIGNAT.txt), then forgets what that step said.
  void MakeTaskTypes(const std::vector<std::string>& lines) {
    WriteDae("fTIPTAR.txt", CrLf(lines));
    const bool hadSubjects = fs::exists(daeDir / "fASIGNAT.txt");
    std::string keep;
    if (hadSubjects) {
      keep = testsupport::ReadFile(daeDir / "fASIGNAT.txt");
      fs::remove(daeDir / "fASIGNAT.txt");
    }
    auto ctx = Ctx();
    dae_import::ImportaTablasDAE(ctx);
    ASSERT_TRUE(TableExists("daeTIPTAR"));
    if (hadSubjects) WriteDae("fASIGNAT.txt", keep);
    ui.messages.clear();
    state.resultCode = 1;
  }

  void Run(const std::string& language) {
    ui.language = language;
    auto ctx = Ctx();
    dae_import::ImportaAsignaturas(ctx);
  }

  const std::string longCast = std::string("Matem\xE1ticas Aplicadas a las Ciencias Sociales II");
};

TEST_F(Subjects, CastellanoCollisionsThenTaskRows) {
  MakeTaskTypes({Task("T01", "Tutor\xED" "a de grupo con las familias", "Taldeko tutoretza"),
                 Task("G01", "Guardia", "Zaintza")});
  WriteDae("fASIGNAT.txt",
           CrLf({Subject("0101", "Matem\xE1ticas", "Matem\xE1ticas", "MATE",
                         "Matematika", "Matematika", "MATE"),
                 Subject("0102", longCast, "Matem. Aplicadas", "MATE",
                         "Matematika Aplikatuak", "Mat. Aplik.", "MATA"),
                 Subject("0103", "Matem\xE1ticas optativa", "Mat. opt.", "mate",
                         "Matematika hautazkoa", "Mat. hautaz.", "mate"),
                 Subject("0201", "Lengua", "Lengua", "LENG", "Gaztelania",
                         "Gaztelania", "GAZT")}));
  Run("CASTELLANO");
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(state.resultCode, 1);
  importtest::Dump d = Read("ASIGNOMT");
  EXPECT_EQ(d.fields, (Row{"COD:C:4:0", "CODLARGO:C:8:0", "NOMBRE:C:40:0",
                           "CODIGODAE:C:4:0", "ESTAREA:L:1:0"}));
  ASSERT_EQ(d.rows.size(), 6u);
  EXPECT_EQ(d.rows[0], (Row{"MATE", "Matemáti", "Matemáticas", "0101", "F"}));
  EXPECT_EQ(d.rows[1], (Row{"MAT1", "Matem. A",
                            "Matemáticas Aplicadas a las Ciencias Soc", "0102", "F"}));
  EXPECT_EQ(d.rows[2], (Row{"mat2", "Mat. opt", "Matemáticas optativa", "0103", "F"}));
  EXPECT_EQ(d.rows[3], (Row{"LENG", "Lengua", "Lengua", "0201", "F"}));
  EXPECT_EQ(d.rows[4], (Row{"T01", "Tutoría", "Tutoría de grupo con las familias",
                            "T01", "T"}));
  EXPECT_EQ(d.rows[5], (Row{"G01", "Guardia", "Guardia", "G01", "T"}));
}

TEST_F(Subjects, EuskeraUsesTheEuskeraColumns) {
  MakeTaskTypes({Task("T01", "Tutor\xED" "a", "Taldeko tutoretza")});
  WriteDae("fASIGNAT.txt",
           CrLf({Subject("0101", "Matem\xE1ticas", "Matem.", "MATE",
                         "Matematika", "Matematika", "MATE"),
                 Subject("0102", "Aplicadas", "Aplic.", "MATE",
                         "Matematika Aplikatuak", "Mat. Aplik.", "MATA"),
                 Subject("0103", "Optativa", "Opt.", "mate",
                         "Matematika hautazkoa", "Mat. hautaz.", "mate")}));
  Run("EUSKERA");
  importtest::Dump d = Read("ASIGNOMT");
  ASSERT_EQ(d.rows.size(), 4u);
  EXPECT_EQ(d.rows[0], (Row{"MATE", "Matemati", "Matematika", "0101", "F"}));
  EXPECT_EQ(d.rows[1], (Row{"MATA", "Mat. Apl", "Matematika Aplikatuak", "0102", "F"}));
  EXPECT_EQ(d.rows[2], (Row{"mat1", "Mat. hau", "Matematika hautazkoa", "0103", "F"}));
  EXPECT_EQ(d.rows[3], (Row{"T01", "Taldeko", "Taldeko tutoretza", "T01", "T"}));
}

TEST_F(Subjects, AnyOtherLanguageTextIsCastellano) {
  MakeTaskTypes({Task("T01", "Tutor\xED" "a", "Tutoretza")});
  WriteDae("fASIGNAT.txt", CrLf({Subject("0101", "Lengua", "Lengua", "LENG",
                                         "Gaztelania", "Gaztelania", "GAZT")}));
  for (const std::string text : {"CASTELLANO", "euskera", "Euskera", ""}) {
    SCOPED_TRACE(text);
    Run(text);
    importtest::Dump d = Read("ASIGNOMT");
    ASSERT_EQ(d.rows.size(), 2u);
    EXPECT_EQ(d.rows[0], (Row{"LENG", "Lengua", "Lengua", "0101", "F"}));
    EXPECT_EQ(d.rows[1], (Row{"T01", "Tutoría", "Tutoría", "T01", "T"}));
  }
}

TEST_F(Subjects, EmptyAbbreviationsEmptyLinesAndAccentedCollisions) {
  MakeTaskTypes({});
  WriteDae("fASIGNAT.txt",
           CrLf({Subject("0901", "Sin abreviatura", "Sin", "", "Laburdurarik gabe", "Gabe", ""),
                 "",
                 Subject("0902", "\xC1rabe", "\xC1rabe", "\xC1RAB", "Arabiera", "Arabiera", "ARAB"),
                 Subject("0903", "\xE1rabe II", "\xE1rabe II", "\xE1rab", "Arabiera II", "Arab II", "ARAB"),
                 Subject("0904", "Se\xF1" "as", "Se\xF1" "as", "\xD1" "A", "Keinuak", "Keinuak", "KEIN"),
                 Subject("0905", "se\xF1" "as II", "se\xF1" "as II", "\xF1" "a", "Keinuak II", "Kein II", "KEIN")}));
  Run("CASTELLANO");
  importtest::Dump d = Read("ASIGNOMT");
  EXPECT_EQ(d.Column("COD"), (Row{"", "1", "ÁRAB", "ára1", "ÑA", "ña1"}));
  EXPECT_EQ(d.rows[1], (Row{"1", "", "", "", "F"}));  // the empty line
  EXPECT_EQ(d.Column("ESTAREA"), Row(6, "F"));
}

TEST_F(Subjects, TaskRowsTakeNoPartInUniqueness) {
  MakeTaskTypes({Task("LEN", "Lengua de refuerzo", "Indartzea"),
                 Task("LEN", "Otra", "Beste")});
  WriteDae("fASIGNAT.txt", CrLf({Subject("0201", "Lengua", "Lengua", "LEN",
                                         "Gaztelania", "Gazt", "GAZT")}));
  Run("CASTELLANO");
  EXPECT_EQ(Read("ASIGNOMT").Column("COD"), (Row{"LEN", "LEN", "LEN"}));
}

TEST_F(Subjects, EmptyFileGivesTaskRowsOnly) {
  MakeTaskTypes({Task("T01", "Tutor\xED" "a", "Tutoretza")});
  WriteDae("fASIGNAT.txt", "");
  Run("CASTELLANO");
  EXPECT_EQ(Read("ASIGNOMT").Column("COD"), (Row{"T01"}));
}

TEST_F(Subjects, MissingFileKeepsTheOldTable) {
  MakeTaskTypes({Task("T01", "Tutor\xED" "a", "Tutoretza")});
  WriteDae("fASIGNAT.txt", CrLf({Subject("0201", "Lengua", "Lengua", "LENG",
                                         "Gaztelania", "Gazt", "GAZT")}));
  Run("CASTELLANO");
  const std::string before = testsupport::ReadFile(TablePath("ASIGNOMT"));
  fs::remove(daeDir / "fASIGNAT.txt");
  Run("CASTELLANO");
  EXPECT_EQ(ui.messages,
            (Row{"No existe archivo de asignaturas (fASIGNAT.TXT)"}));
  EXPECT_EQ(state.resultCode, -1);
  EXPECT_EQ(testsupport::ReadFile(TablePath("ASIGNOMT")), before);
}

// A failure half way leaves the table as it was before the step (here:
// none) and no files of the unfinished build.
TEST_F(Subjects, MissingTaskTableFailsLeavingNoHalfBuiltTable) {
  WriteDae("fASIGNAT.txt", CrLf({Subject("0201", "Lengua", "Lengua", "LENG",
                                         "Gaztelania", "Gazt", "GAZT"),
                                 Subject("0202", "Euskera", "Euskera", "EUSK",
                                         "Euskara", "Euskara", "EUSK")}));
  ui.language = "CASTELLANO";
  auto ctx = Ctx();
  EXPECT_THROW(dae_import::ImportaAsignaturas(ctx), std::exception);
  for (const auto& e : fs::directory_iterator(workDir.path())) {
    const std::string name = e.path().filename().string();
    EXPECT_EQ(name.find("ASIGNOMT"), std::string::npos) << name;
    EXPECT_EQ(name.find("transdae"), std::string::npos) << name;
  }
}

TEST_F(Subjects, ExhaustedCandidatesStopTheStepKeepingTheRowsSoFar) {
  MakeTaskTypes({Task("T01", "Tutor\xED" "a", "Tutoretza")});
  // MATE and its 109 candidates fill the list; the 111th MATE has no code.
  std::vector<std::string> lines(111, Subject("0101", "Matem\xE1ticas", "Mat.",
                                              "MATE", "Matematika", "Mat.", "MATE"));
  lines.push_back(Subject("0201", "Lengua", "Lengua", "LENG", "Gazt", "Gazt", "GAZT"));
  WriteDae("fASIGNAT.txt", CrLf(lines));
  Run("CASTELLANO");
  ASSERT_EQ(ui.messages.size(), 1u);
  const std::string& m = ui.messages[0];
  EXPECT_NE(m.find("No queda ninguna abreviatura libre"), std::string::npos) << m;
  EXPECT_NE(m.find("l\xC3\xADnea 111"), std::string::npos) << m;
  EXPECT_NE(m.find("'MATE'"), std::string::npos) << m;
  EXPECT_EQ(state.resultCode, -1);
  importtest::Dump d = Read("ASIGNOMT");
  ASSERT_EQ(d.rows.size(), 110u);
  const Row cods = d.Column("COD");
  EXPECT_EQ(cods[0], "MATE");
  EXPECT_EQ(cods[1], "MAT1");
  EXPECT_EQ(cods[10], "MA10");
  EXPECT_EQ(cods[100], "MA00");
  EXPECT_EQ(cods[109], "MA09");
  EXPECT_EQ(std::set<std::string>(cods.begin(), cods.end()).size(), 110u);
  EXPECT_EQ(d.Column("ESTAREA"), Row(110, "F"));  // no task rows
}

}  // namespace
