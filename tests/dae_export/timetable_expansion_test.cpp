// The expansion of the timetable solution into the DAE records, and the
// end of the export around it.
#include <gtest/gtest.h>

#include <fstream>

#include "chain/main_tables.h"
#include "dae_export/ajusta_dae.h"
#include "dae_export/record_tables.h"
#include "dae_export/timetable_expansion.h"
#include "dae_export/timetable_template.h"
#include "store/store_error.h"
#include "store/work_folder.h"
#include "tests/dae_export/export_fixture.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using chain::Answer;
using exporttest::Lesson;
using exporttest::Rows;
using testsupport::TempDir;

const char* kM1 =
    "Si Conserva los Datos de la Exportación Anterior,\r"
    "estos se ajustarán a los cambios hechos en el horario,\r"
    "pero se conservarán los Códigos DAE puestos anteriormente.\r"
    "¿Desea Conservar los Datos de la Exportación Anterior?";
const std::string kM2 =
    "Si desea acceder directamente a la Codificación DAE, pulse SÍ.\r"
    "                                                             \r"
    "Si desea Exportar Nuevamente Conservando Datos, pulse NO.";

// All fields of a type 2 record but TIPREG, in a readable order.
const std::vector<std::string> kH2 = {
    "PROF_DIA_SES", "ABREVPROF", "DIASEM", "NUMSESION", "DIA_SES", "TIPDOC",
    "DOC",          "TIPTAR",    "HORAINI", "HORAFIN",  "GRUPNIV", "ABREVASIG",
    "CODASIG",      "TIPASIG",   "IDIOMA",  "AULA_OBS", "TIP_ACTIV", "REG_MOD"};
const std::vector<std::string> kH3 = {
    "PROF_DIA_SES", "ABREVGRUP", "CODGRUPO", "TIPDOC", "DOC", "ABREVPROF",
    "NUMSESGRUP",   "DIASEM",    "NUMALUM",  "REG_MOD"};

struct Expansion : ::testing::Test {
  TempDir work, dae;
  testsupport::ScriptedUI ui;
  chain::ProcessState state;
  std::unique_ptr<chain::MainTables> tables =
      std::make_unique<chain::MainTables>(work.path());
  chain::StepContext ctx{ui, state, work.path(), (dae.path() / "").string()};
  int codingWindows = 0;
  int flagInWindow = -1;
  std::string rutaInWindow;

  void SetUp() override {
    exporttest::MakeProft(work.path(), {{"AB", "Ana Bel", "Mate", "11111111A", "1"},
                                        {"ABC", "Ane B C", "Ingl", "22222222B", "2"},
                                        {"CD", "Carlos D", "Hist", "", ""}});
    exporttest::MakeGrupost(work.path(), {{"1ESO", "SEC", "00101", "24"},
                                          {"2ESO", "SECX", "00201", ""},
                                          {"1BAT", "", "00301", "28"},
                                          {"1ESO", "XXX", "99999", "99"}});
    exporttest::MakeAsignomt(work.path(), {{"MATE", "0101"},
                                           {"INGE", "0301"},
                                           {"MATE", "9999"}});
    dae_export::EnsurePlantilla(work.path());
    exporttest::MakeCentre(work.path(), "019876", "2024", "1");
    exporttest::MakeCodeTables(work.path());
    ui.onCodingWindow = [this](dae_export::AjustaDAE&) {
      ++codingWindows;
      flagInWindow = state.workflowFlag;
      rutaInWindow = state.rutaDAE;
    };
  }

  void Soluc(const std::vector<Lesson>& rows) { exporttest::MakeSoluc(work.path(), rows); }
  void Run() { dae_export::Importar2(ctx, *tables); }
  std::vector<std::string> H2() { return Rows(work / "CUADROH2.DBF", kH2); }
  std::vector<std::string> H3() { return Rows(work / "CUADROH3.DBF", kH3); }
  // Codes a user typed into a record in the coding window.
  void Code(const char* table, const std::string& key,
            const std::vector<std::pair<std::string, std::string>>& values) {
    store::Table t;
    t.SetDatabaseName(work.path());
    t.SetTableName(table);
    t.SetIndexName("PROF_DIA_SES");
    t.Open();
    ASSERT_TRUE(t.FindKey(key)) << key;
    t.Edit();
    for (const auto& [f, v] : values) t.FieldByName(f).SetAsString(v);
    t.Post();
    t.Close();
  }
};

TEST_F(Expansion, FirstExportAsksNothingAndBuildsEveryRecord) {
  SKIP_WITHOUT_READERS();
  Soluc({
      {"MATE", "AB", "1ESO", "A11", "3", "7", "1", ""},
      {"INGE", "ABC", "2ESO", "B01", "1", "12", "2", ""},  // two sessions
      {"G01", "AB", "", "", "5", "1", "1", "G01"},        // no group
      {"MATE", "CD", "1BAT", "LAB", "2", "3", "1", ""},   // blank NIVELDAE
      {"MATE", "XY", "1ESO", "A11", "1", "1", "1", ""},   // not in PROFT
      {"MATE", "XY", "2ESO", "A11", "2", "1", "1", ""},   // ... once more
      {"ZZZZ", "AB", "9ZZZ", "A11", "4", "2", "1", ""},   // no group, no subject
      {"MATE", "MM", "1ESO", "A11", "0", "5", "1", ""},   // not placed
      {"MATE", "", "1ESO", "A11", "1", "5", "1", ""},     // no teacher
      {"MATE", "AB", "1ESO", "A11", "1", "6", "1", "", true},  // deleted
      {"MATE", "AB", "1eso", "A11", "1", "25", "1", ""},  // no such hour; case
  });
  Run();
  EXPECT_TRUE(ui.questions.empty());
  EXPECT_EQ(H2(), (std::vector<std::string>{
      "AB  307|AB|3|07|307|1|11111111A|101|14:00|15:00|SEC|MATE|0101||02|A11||N",
      "ABC 112|ABC|1|12|112|2|22222222B|101|19:00|22:00|SEC|INGE|0301||02|B01||N",
      "AB  501|AB|5|01|501|1|11111111A|G01|08:00|09:00||G01|||02|||N",
      "CD  203|CD|2|03|203|||101|10:00|11:00||MATE|0101||02|LAB||N",
      "XY  101|XY|1|01|101|||101|08:00|09:00|SEC|MATE|0101||02|A11||N",
      "XY  201|XY|2|01|201|||101|08:00|09:00|SEC|MATE|0101||02|A11||N",
      "AB  402|AB|4|02|402|1|11111111A||09:00|10:00||ZZZZ|||02|A11||N",
      "AB  125|AB|1|25|125|1|11111111A|||||MATE|0101||02|A11||N",
  }));
  EXPECT_EQ(H3(), (std::vector<std::string>{
      "AB  307|1ESO|00101|1|11111111A|AB|07|3|24|N",
      "ABC 112|2ESO|00201|2|22222222B|ABC|12|1||N",
      "CD  203|1BAT|00301|||CD|03|2|28|N",
      "XY  101|1ESO|00101|||XY|01|1|24|N",
      "XY  201|2ESO|00201|||XY|01|2||N",
      "AB  402|9ZZZ||1|11111111A|AB|02|4||N",
      "AB  125|1eso||1|11111111A|AB|25|1||N",
  }));
  // The missing teacher is added once, with only ABREV; the unplaced one
  // is not.
  EXPECT_EQ(Rows(work / "PROFT.DBF", {"ABREV", "NOMBRE", "DEPART", "DNI", "TIPODNI"}),
            (std::vector<std::string>{"AB|Ana Bel|Mate|11111111A|1",
                                      "ABC|Ane B C|Ingl|22222222B|2",
                                      "CD|Carlos D|Hist||", "XY||||"}));
  // The new teacher is in the index too.
  EXPECT_EQ(exporttest::Walk(work / "PROFT.DBF", "ABREV").back(), "4|XY");
  EXPECT_EQ(codingWindows, 1);
  EXPECT_EQ(flagInWindow, 1);
  EXPECT_EQ(rutaInWindow, (dae.path() / "").string());
  EXPECT_EQ(state.workflowFlag, 0);
  EXPECT_EQ(state.resultCode, 1);
  EXPECT_EQ(ui.messages, std::vector<std::string>{"Proceso finalizado"});
  EXPECT_FALSE(ui.busy);
  EXPECT_FALSE(ui.closed);
  // The main window's tables are closed again, so the product can use them.
  EXPECT_FALSE(tables->wwTableSoluc.Active());
  EXPECT_FALSE(tables->wwTableProfesor.Active());
}

TEST_F(Expansion, TwoRowsOfOneKeyMakeOneRecordOfEachType) {
  Soluc({{"MATE", "AB", "1ESO", "A11", "3", "7", "1", ""},
         {"INGE", "AB", "2ESO", "B01", "3", "7", "1", "R01"}});
  Run();
  // Overwritten fields from the later row; written-if-blank ones from the
  // first; the type 3 record takes the later group and its code, and an
  // empty pupil count does not erase 24.
  EXPECT_EQ(H2(), (std::vector<std::string>{
      "AB  307|AB|3|07|307|1|11111111A|101|14:00|15:00|SEC|INGE|0301||02|B01||N"}));
  EXPECT_EQ(H3(), (std::vector<std::string>{
      "AB  307|2ESO|00201|1|11111111A|AB|07|3|24|N"}));
}

TEST_F(Expansion, SameGroupTwiceKeepsTheGroupCode) {
  Soluc({{"MATE", "AB", "1ESO", "A11", "3", "7", "1", ""}});
  Run();
  Code("CUADROH3.DBF", "AB  307", {{"CODGRUPO", "77777"}});
  Soluc({{"MATE", "AB", "1ESO", "A11", "3", "7", "1", ""},
         {"MATE", "AB", "1ESO", "A12", "3", "7", "1", ""}});
  ui.answers = {Answer::Yes, Answer::No};
  Run();
  EXPECT_EQ(H3(), (std::vector<std::string>{
      "AB  307|1ESO|77777|1|11111111A|AB|07|3|24|N"}));
}

TEST_F(Expansion, AnswerNoToKeepingStartsAfresh) {
  Soluc({{"MATE", "AB", "1ESO", "A11", "3", "7", "1", ""}});
  Run();
  Code("CUADROH2.DBF", "AB  307", {{"TIPTAR", "T01"}});
  exporttest::AppendRow(work.path(), "CUADROH2", {{"PROF_DIA_SES", "ZZ  101"}});
  ui.answers = {Answer::No};
  Run();
  EXPECT_EQ(ui.questions, std::vector<std::string>{kM1});
  EXPECT_EQ(flagInWindow, 1);
  EXPECT_EQ(H2(), (std::vector<std::string>{
      "AB  307|AB|3|07|307|1|11111111A|101|14:00|15:00|SEC|MATE|0101||02|A11||N"}));
}

// Starting afresh and failing half way (a solution without TAREA) leaves
// the previous export's tables exactly as they were, indexes included.
TEST_F(Expansion, FreshExportThatFailsLeavesThePreviousTables) {
  Soluc({{"MATE", "AB", "1ESO", "A11", "3", "7", "1", ""}});
  Run();
  Code("CUADROH2.DBF", "AB  307", {{"TIPTAR", "T01"}});
  std::vector<std::string> files;
  for (const char* f : {"CUADROH2.DBF", "CUADROH2.MDX", "CUADROH3.DBF", "CUADROH3.MDX"})
    files.push_back(testsupport::ReadFile(work / f));
  exporttest::WriteAsAnotherProgram(
      work / "SOLUC.DBF",
      "ASIG C(4); PROF C(4); CODGRUPO C(4); AULA C(4); DIA N(2,0); HORA N(2,0); SESIONES N(2,0)",
      {"MATE|QQ|1ESO|A11|1|1|1"});
  ui.answers = {Answer::No};
  EXPECT_THROW(Run(), store::StoreError);
  size_t i = 0;
  for (const char* f : {"CUADROH2.DBF", "CUADROH2.MDX", "CUADROH3.DBF", "CUADROH3.MDX"})
    EXPECT_EQ(testsupport::ReadFile(work / f), files[i++]) << f;
  for (const auto& e : std::filesystem::directory_iterator(work.path()))
    EXPECT_EQ(e.path().filename().string().find("transdae"), std::string::npos);
}

TEST_F(Expansion, KeepAndGoStraightToCodingTouchesNoTable) {
  Soluc({{"MATE", "AB", "1ESO", "A11", "3", "7", "1", ""}});
  Run();
  Code("CUADROH2.DBF", "AB  307", {{"TIPTAR", "T01"}, {"REG_MOD", "N"}});
  // A new timetable that would change everything.
  Soluc({{"MATE", "QQ", "1ESO", "A11", "1", "1", "1", ""}});
  const std::string h2 = testsupport::ReadFile(work / "CUADROH2.DBF");
  const std::string h3 = testsupport::ReadFile(work / "CUADROH3.DBF");
  const std::string prof = testsupport::ReadFile(work / "PROFT.DBF");
  ui.answers = {Answer::Yes, Answer::Yes};
  ui.messages.clear();
  Run();
  EXPECT_EQ(ui.questions, (std::vector<std::string>{kM1, kM2}));
  EXPECT_EQ(codingWindows, 2);
  EXPECT_EQ(flagInWindow, 0);
  EXPECT_EQ(testsupport::ReadFile(work / "CUADROH2.DBF"), h2);
  EXPECT_EQ(testsupport::ReadFile(work / "CUADROH3.DBF"), h3);
  EXPECT_EQ(testsupport::ReadFile(work / "PROFT.DBF"), prof);
  EXPECT_EQ(ui.messages, std::vector<std::string>{"Proceso finalizado"});
  EXPECT_EQ(state.resultCode, 1);
}

TEST_F(Expansion, KeptCodesSurviveARefresh) {
  Soluc({{"MATE", "AB", "1ESO", "A11", "3", "7", "1", ""},
         {"MATE", "ABC", "2ESO", "A11", "1", "1", "1", ""},
         {"MATE", "CD", "1BAT", "A11", "1", "2", "1", ""}});
  Run();
  Code("CUADROH2.DBF", "AB  307",
       {{"TIPDOC", "3"}, {"DOC", "X999"}, {"TIPTAR", "T01"}, {"GRUPNIV", "BAT"},
        {"CODASIG", "ZZ"}, {"IDIOMA", "EU"}, {"TIP_ACTIV", "GUA"},
        {"HORAINI", "00:01"}, {"HORAFIN", ""}});
  Code("CUADROH3.DBF", "AB  307",
       {{"CODGRUPO", "77777"}, {"TIPDOC", "3"}, {"DOC", "X999"}});
  Code("CUADROH3.DBF", "ABC 101", {{"NUMALUM", "25"}});
  Code("CUADROH3.DBF", "CD  102", {{"NUMALUM", "25"}});
  // Group 1BAT now has 30 pupils; 2ESO still none.
  exporttest::MakeGrupost(work.path(), {{"1ESO", "SEC", "00101", "24"},
                                        {"2ESO", "SEC", "00201", ""},
                                        {"1BAT", "", "00301", "30"}});
  ui.answers = {Answer::Yes, Answer::No};
  Run();
  EXPECT_EQ(ui.questions, (std::vector<std::string>{kM1, kM2}));
  EXPECT_EQ(flagInWindow, 0);
  // The codes typed into AB's record stay (subject, language and activity
  // included); the times come again from the template.
  EXPECT_EQ(H2(), (std::vector<std::string>{
      "AB  307|AB|3|07|307|3|X999|T01|14:00|15:00|BAT|MATE|ZZ||EU|A11|GUA|N",
      "ABC 101|ABC|1|01|101|2|22222222B|101|08:00|09:00|SEC|MATE|0101||02|A11||N",
      "CD  102|CD|1|02|102|||101|09:00|10:00||MATE|0101||02|A11||N"}));
  EXPECT_EQ(H3(), (std::vector<std::string>{
      "AB  307|1ESO|77777|3|X999|AB|07|3|24|N",
      "ABC 101|2ESO|00201|2|22222222B|ABC|01|1|25|N",
      "CD  102|1BAT|00301|||CD|02|1|30|N"}));
}

// A kept record whose session now teaches another subject takes that
// subject's code and the default language again; the one whose subject
// stayed keeps what the user typed, also where ASIGNOMT has no code.
TEST_F(Expansion, KeptSubjectCodeFollowsTheSubject) {
  Soluc({{"MATE", "AB", "1ESO", "A11", "3", "7", "1", ""},
         {"FISI", "ABC", "2ESO", "A11", "1", "1", "1", ""},
         {"MATE", "CD", "1BAT", "A11", "1", "2", "1", ""}});
  Run();
  Code("CUADROH2.DBF", "AB  307", {{"CODASIG", "0999"}, {"IDIOMA", "EU"}});
  Code("CUADROH2.DBF", "ABC 101", {{"CODASIG", "0777"}, {"IDIOMA", "EU"}});
  Code("CUADROH2.DBF", "CD  102", {{"CODASIG", "    "}, {"IDIOMA", "  "}, {"TIP_ACTIV", "   "}});
  Soluc({{"INGE", "AB", "1ESO", "A11", "3", "7", "1", ""},
         {"FISI", "ABC", "2ESO", "A11", "1", "1", "1", ""},
         {"MATE", "CD", "1BAT", "A11", "1", "2", "1", ""}});
  ui.answers = {Answer::Yes, Answer::No};
  Run();
  EXPECT_EQ(H2(), (std::vector<std::string>{
      "AB  307|AB|3|07|307|1|11111111A|101|14:00|15:00|SEC|INGE|0301||02|A11||N",
      "ABC 101|ABC|1|01|101|2|22222222B|101|08:00|09:00|SEC|FISI|0777||EU|A11||N",
      "CD  102|CD|1|02|102|||101|09:00|10:00||MATE|0101||02|A11||N"}));
}

TEST_F(Expansion, MovedLessonIsSweptAndRemadeBlank) {
  SKIP_WITHOUT_READERS();
  Soluc({{"MATE", "AB", "1ESO", "A11", "3", "7", "1", ""},
         {"MATE", "ABC", "2ESO", "A11", "1", "1", "1", ""}});
  Run();
  Code("CUADROH2.DBF", "AB  307", {{"TIPTAR", "T01"}, {"GRUPNIV", "BAT"}});
  Code("CUADROH3.DBF", "AB  307", {{"CODGRUPO", "77777"}});
  Soluc({{"MATE", "AB", "1ESO", "A11", "3", "8", "1", ""},
         {"MATE", "ABC", "2ESO", "A11", "1", "1", "1", ""}});
  ui.answers = {Answer::Yes, Answer::No};
  Run();
  EXPECT_EQ(H2(), (std::vector<std::string>{
      "ABC 101|ABC|1|01|101|2|22222222B|101|08:00|09:00|SEC|MATE|0101||02|A11||N",
      "AB  308|AB|3|08|308|1|11111111A|101|15:00|16:00|SEC|MATE|0101||02|A11||N"}));
  EXPECT_EQ(H3(), (std::vector<std::string>{
      "ABC 101|2ESO|00201|2|22222222B|ABC|01|1||N",
      "AB  308|1ESO|00101|1|11111111A|AB|08|3|24|N"}));
  // The tags know only the live records.
  EXPECT_EQ(exporttest::Walk(work / "CUADROH2.DBF", "PROF_DIA_SES").size(), 2u);
  EXPECT_EQ(exporttest::Walk(work / "CUADROH3.DBF", "ABREVPROF").size(), 2u);
}

uint32_t StoredRecords(const fs::path& dbf) {
  std::ifstream f(dbf, std::ios::binary);
  unsigned char b[8] = {};
  f.read(reinterpret_cast<char*>(b), 8);
  return b[4] | b[5] << 8 | b[6] << 16 | uint32_t(b[7]) << 24;
}

TEST_F(Expansion, EmptySolutionWithKeptTablesSweepsEverything) {
  Soluc({{"MATE", "AB", "1ESO", "A11", "3", "7", "1", ""},
         {"MATE", "ABC", "2ESO", "A11", "1", "1", "1", ""}});
  Run();
  Soluc({});
  bool emptyInWindow = false;
  ui.onCodingWindow = [&](dae_export::AjustaDAE& w) {
    w.FormCreate();
    emptyInWindow = w.wwTableCUADROH2.IsEmpty() && w.wwTableCUADROH3.IsEmpty();
  };
  ui.answers = {Answer::Yes, Answer::No};
  Run();
  EXPECT_TRUE(emptyInWindow);
  EXPECT_TRUE(H2().empty());
  EXPECT_TRUE(H3().empty());
  // Nothing live is left, so the deleted records are packed away.
  EXPECT_EQ(StoredRecords(work / "CUADROH2.DBF"), 0u);
  EXPECT_EQ(StoredRecords(work / "CUADROH3.DBF"), 0u);
}

TEST_F(Expansion, FewDeletionsAreNotPacked) {
  SKIP_WITHOUT_READERS();
  Soluc({{"MATE", "AB", "1ESO", "A11", "3", "7", "1", ""},
         {"MATE", "ABC", "2ESO", "A11", "1", "1", "1", ""},
         {"MATE", "CD", "1BAT", "A11", "1", "2", "1", ""}});
  Run();
  Soluc({{"MATE", "AB", "1ESO", "A11", "3", "7", "1", ""},
         {"MATE", "ABC", "2ESO", "A11", "1", "1", "1", ""}});
  ui.answers = {Answer::Yes, Answer::No};
  Run();
  EXPECT_EQ(H2().size(), 2u);
  EXPECT_EQ(StoredRecords(work / "CUADROH2.DBF"), 3u);
  // Many exports that each drop a record: packed once deletions dominate.
  for (int i = 0; i < 3; ++i) {
    Soluc({{"MATE", "AB", "1ESO", "A11", "3", std::to_string(8 + i), "1", ""}});
    ui.answers = {Answer::Yes, Answer::No};
    Run();
  }
  EXPECT_EQ(H2().size(), 1u);
  EXPECT_LE(StoredRecords(work / "CUADROH2.DBF"), 2u);
  EXPECT_EQ(exporttest::Walk(work / "CUADROH2.DBF", "PROF_DIA_SES"),
            (std::vector<std::string>{
                std::to_string(StoredRecords(work / "CUADROH2.DBF")) + "|AB  310"}));
}

TEST_F(Expansion, NumbersOfAnyWidthAndDecimalsAreRounded) {
  exporttest::MakeSoluc(work.path(),
                        {{"MATE", "AB", "1ESO", "A11", "3.00", "7.00", "2.50", ""},
                         {"MATE", "AB", "1ESO", "A11", "0.40", "8", "1", ""},
                         {"MATE", "AB", "1ESO", "A11", "2", "3.5", "", ""}},
                        "N(6,2)");
  Run();
  // 2.5 sessions round to 2 (end of period 9); day 0.4 rounds to 0 and is
  // skipped; hour 3.5 rounds to 4; empty sessions read 0.
  EXPECT_EQ(Rows(work / "CUADROH2.DBF", {"PROF_DIA_SES", "HORAINI", "HORAFIN"}),
            (std::vector<std::string>{"AB  307|14:00|17:00", "AB  204|11:00|12:00"}));
}

TEST_F(Expansion, CodingWindowWithoutFileGivesTheWarning) {
  Soluc({{"MATE", "AB", "1ESO", "A11", "3", "7", "1", ""}});
  state.embedded = true;
  ui.onCodingWindow = [&](dae_export::AjustaDAE&) { state.workflowFlag = 4; };
  Run();
  EXPECT_EQ(ui.messages, std::vector<std::string>{
                             "!!ATENCIÓN!! El Proceso NO ha finalizado Correctamente"});
  EXPECT_EQ(state.workflowFlag, 4);
  EXPECT_EQ(state.resultCode, 1);
  EXPECT_TRUE(ui.closed);
}

TEST_F(Expansion, EmbeddedClosesAfterTheCompletionMessage) {
  Soluc({{"MATE", "AB", "1ESO", "A11", "3", "7", "1", ""}});
  state.embedded = true;
  Run();
  EXPECT_EQ(ui.messages, std::vector<std::string>{"Proceso finalizado"});
  EXPECT_TRUE(ui.closed);
}

TEST_F(Expansion, MissingSolutionEndsTheStepWithTheStoreError) {
  state.resultCode = 0;
  try {
    Run();
    FAIL() << "no error";
  } catch (const store::StoreError& e) {
    EXPECT_NE(std::string(e.what()).find("SOLUC"), std::string::npos) << e.what();
  }
  EXPECT_EQ(codingWindows, 0);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(state.resultCode, 0);
  EXPECT_EQ(state.workflowFlag, 1);
  for (store::Table* t : {&tables->wwTableSoluc, &tables->wwTableGrupos,
                          &tables->wwTableProfesor, &tables->wwTableNomAsg})
    EXPECT_FALSE(t->Active());
}

TEST_F(Expansion, SolutionWithoutTareaNamesTheField) {
  std::vector<std::string> lines;
  exporttest::WriteAsAnotherProgram(
      work / "SOLUC.DBF",
      "ASIG C(4); PROF C(4); CODGRUPO C(4); AULA C(4); DIA N(2,0); HORA N(2,0); SESIONES N(2,0)",
      {"MATE|AB|1ESO|A11|3|7|1"});
  try {
    Run();
    FAIL() << "no error";
  } catch (const store::StoreError& e) {
    EXPECT_EQ(std::string(e.what()), "No se encuentra el campo 'TAREA' en la tabla 'SOLUC.DBF'");
  }
  EXPECT_EQ(codingWindows, 0);
  // The failed export leaves the tables as they were: here, none at all.
  EXPECT_FALSE(store::FileExistsNoCase(work.path(), "CUADROH2.DBF"));
  EXPECT_FALSE(store::FileExistsNoCase(work.path(), "CUADROH3.DBF"));
}

TEST_F(Expansion, TareaAsNumberIsReadAsText) {
  exporttest::MakeSoluc(work.path(),
                        {{"MATE", "AB", "1ESO", "A11", "3", "7", "1", "205"},
                         {"MATE", "AB", "1ESO", "A11", "3", "8", "1", ""}},
                        "N(2,0)", "N(3,0)");
  Run();
  EXPECT_EQ(Rows(work / "CUADROH2.DBF", {"PROF_DIA_SES", "TIPTAR"}),
            (std::vector<std::string>{"AB  307|205", "AB  308|101"}));
}

TEST_F(Expansion, OnlyCuadroH2ThereIsAStoreError) {
  Soluc({{"MATE", "AB", "1ESO", "A11", "3", "7", "1", ""}});
  dae_export::CreaTablasCuadro(work.path());
  fs::remove(work / "CUADROH3.DBF");
  fs::remove(work / "CUADROH3.MDX");
  ui.answers = {Answer::Yes, Answer::No};
  EXPECT_THROW(Run(), store::StoreError);
  EXPECT_EQ(codingWindows, 0);
  EXPECT_EQ(state.workflowFlag, 0);
}

}  // namespace
