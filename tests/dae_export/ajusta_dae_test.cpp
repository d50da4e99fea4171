// The DAE coding window's logic: its cursors, the document copy and the
// exit check that writes the DAE timetable file.
#include <gtest/gtest.h>

#include "dae_export/ajusta_dae.h"
#include "dae_export/record_tables.h"
#include "dae_export/timetable_file_writer.h"
#include "dae_import/groups_import.h"
#include "store/path_text.h"
#include "tests/dae_export/export_fixture.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using chain::Answer;
using dae_export::AjustaDAE;
using dae_export::BuildProfDiaSes;
using exporttest::Rows;
using testsupport::TempDir;

const char* kQuestion =
    "           !!!ATENCIÓN!!!                 \r"
    "Todavía hay algún Profesor SIN DOCumento(DNI).\r"
    "       ¿Desea corregir esta incidencia?       ";

struct Coding : ::testing::Test {
  TempDir work, dae;
  testsupport::ScriptedUI ui;
  chain::ProcessState state;

  void SetUp() override {
    state.rutaDAE = (dae.path() / "").string();
    exporttest::MakeCentre(work.path(), "019876", "2024", "1");
    exporttest::MakeCodeTables(work.path());
    dae_export::CreaTablasCuadro(work.path());
  }
  void Teachers(const std::vector<exporttest::Teacher>& rows) {
    exporttest::MakeProft(work.path(), rows);
  }
  void Session(const std::string& prof, const std::string& dia, int hora,
               const std::vector<std::string>& groups) {
    const std::string key = BuildProfDiaSes(prof, dia, hora);
    exporttest::AppendRow(work.path(), "CUADROH2",
                          {{"TIPREG", "2"}, {"ABREVPROF", prof}, {"DIASEM", dia},
                           {"NUMSESION", dae_export::KeySession(key)},
                           {"TIPDOC", "9"}, {"DOC", "OLD"},
                           {"PROF_DIA_SES", key}, {"REG_MOD", "N"}});
    for (const std::string& g : groups)
      exporttest::AppendRow(work.path(), "CUADROH3",
                            {{"TIPREG", "3"}, {"ABREVGRUP", g}, {"ABREVPROF", prof},
                             {"DIASEM", dia}, {"NUMSESGRUP", dae_export::KeySession(key)},
                             {"TIPDOC", "9"}, {"DOC", "OLD"},
                             {"PROF_DIA_SES", key}, {"REG_MOD", "N"}});
  }
  std::vector<std::string> Visible(store::Table& t, const char* field) {
    std::vector<std::string> out;
    for (uint32_t rec : t.VisibleRecords()) out.push_back(t.ValueAt(rec, t.FieldIndex(field)));
    return out;
  }
  fs::path File() { return dae / dae_export::kTimetableFileName; }
};

TEST_F(Coding, CursorsFollowTeacherAndSession) {
  Teachers({{"ABC", "", "", "2", "1"}, {"AB", "", "", "1", "1"}});
  Session("ABC", "1", 1, {"1ESO"});
  Session("AB", "2", 3, {"2ESO", "1BAT"});
  Session("AB", "1", 4, {"1ESO"});
  AjustaDAE w(ui, state, work.path());
  w.FormCreate();
  for (store::Table* t : {&w.wwTabledaeCENTRO, &w.wwTableProfesor, &w.wwTableCUADROH2,
                          &w.wwTableCUADROH3, &w.wwTableCUADROH3AUX, &w.wwTabledaeTIPDOC,
                          &w.wwTabledaeOTRACT})
    EXPECT_TRUE(t->Active());
  EXPECT_TRUE(w.wwTabledaeTIPTAR.ReadOnly());
  EXPECT_EQ(w.wwTabledaeCENTRO.FieldByName("CODCENTRO").AsString(), "019876");
  // The first teacher in ABREV order, then that teacher's sessions by ABREVPROF.
  EXPECT_EQ(w.wwTableProfesor.FieldByName("ABREV").AsString(), "AB");
  EXPECT_EQ(Visible(w.wwTableCUADROH2, "PROF_DIA_SES"),
            (std::vector<std::string>{"AB  203", "AB  104"}));
  EXPECT_EQ(Visible(w.wwTableCUADROH3, "ABREVGRUP"),
            (std::vector<std::string>{"2ESO", "1BAT"}));
  EXPECT_EQ(Visible(w.wwTableCUADROH3AUX, "ABREVGRUP"),
            (std::vector<std::string>{"2ESO", "1BAT", "1ESO"}));
  w.wwTableCUADROH2.Next();
  EXPECT_EQ(Visible(w.wwTableCUADROH3, "ABREVGRUP"), std::vector<std::string>{"1ESO"});
  w.wwTableProfesor.Next();
  EXPECT_EQ(Visible(w.wwTableCUADROH2, "PROF_DIA_SES"),
            std::vector<std::string>{"ABC 101"});
}

TEST_F(Coding, DocumentReachesEveryRecordOfTheTeacher) {
  Teachers({{"AB", "", "", "1", "1"}, {"ABC", "", "", "", ""}, {"CD", "", "", "3", "1"}});
  Session("AB", "1", 1, {"1ESO"});
  Session("ABC", "1", 2, {"1ESO"});
  Session("ABC", "2", 5, {"2ESO", "1BAT"});
  Session("ABC", "3", 1, {});
  Session("CD", "1", 1, {"1ESO"});
  AjustaDAE w(ui, state, work.path());
  w.FormCreate();
  ASSERT_TRUE(w.wwTableProfesor.FindKey("ABC"));
  // The type 2 grid stands on the second session of ABC.
  w.wwTableCUADROH2.Next();
  const uint32_t type2Before = w.wwTableCUADROH2.RecNo();
  const uint32_t type3Before = w.wwTableCUADROH3.RecNo();
  ASSERT_NE(type2Before, 0u);
  // The user types a document and leaves the column; nothing is posted yet.
  w.wwTableProfesor.Edit();
  w.wwTableProfesor.FieldByName("TIPODNI").SetAsString("2");
  w.wwTableProfesor.FieldByName("DNI").SetAsString("X1234567L");
  w.wwDBGridPROFTColExit("NOMBRE");  // another column: no copy
  EXPECT_EQ(Rows(work / "CUADROH2.DBF", {"DOC"})[1], "OLD");
  w.wwDBGridPROFTColExit("DNI");
  EXPECT_EQ(w.wwTableCUADROH2.RecNo(), type2Before);
  EXPECT_EQ(w.wwTableCUADROH3.RecNo(), type3Before);
  EXPECT_EQ(Rows(work / "CUADROH2.DBF", {"ABREVPROF", "TIPDOC", "DOC"}),
            (std::vector<std::string>{"AB|9|OLD", "ABC|2|X1234567L", "ABC|2|X1234567L",
                                      "ABC|2|X1234567L", "CD|9|OLD"}));
  // Type 3 records of every session of ABC, not only the one in view.
  EXPECT_EQ(Rows(work / "CUADROH3.DBF", {"ABREVPROF", "ABREVGRUP", "TIPDOC", "DOC"}),
            (std::vector<std::string>{"AB|1ESO|9|OLD", "ABC|1ESO|2|X1234567L",
                                      "ABC|2ESO|2|X1234567L", "ABC|1BAT|2|X1234567L",
                                      "CD|1ESO|9|OLD"}));
}

TEST_F(Coding, LeavingTheColumnUnchangedStillOverwritesRecords) {
  Teachers({{"AB", "", "", "11111111A", "1"}});
  Session("AB", "1", 1, {"1ESO"});
  Session("AB", "1", 2, {"1ESO"});
  AjustaDAE w(ui, state, work.path());
  w.FormCreate();
  // A document typed into one type 2 record only stays there...
  w.wwTableCUADROH2.Edit();
  w.wwTableCUADROH2.FieldByName("DOC").SetAsString("TYPED");
  w.wwTableCUADROH2.Post();
  EXPECT_EQ(Rows(work / "CUADROH2.DBF", {"DOC"}), (std::vector<std::string>{"TYPED", "OLD"}));
  EXPECT_EQ(Rows(work / "CUADROH3.DBF", {"DOC"}), (std::vector<std::string>{"OLD", "OLD"}));
  // ...until the teacher's document is copied again.
  w.wwDBGridPROFTFieldChanged("TIPODNI");
  EXPECT_EQ(Rows(work / "CUADROH2.DBF", {"TIPDOC", "DOC"}),
            (std::vector<std::string>{"1|11111111A", "1|11111111A"}));
  EXPECT_EQ(Rows(work / "CUADROH3.DBF", {"TIPDOC", "DOC"}),
            (std::vector<std::string>{"1|11111111A", "1|11111111A"}));
}

TEST_F(Coding, ExitWithEveryDocumentWritesTheFile) {
  Teachers({{"AB", "", "", "11111111A", "1"}});
  Session("AB", "1", 1, {"1ESO"});
  state.workflowFlag = 1;
  AjustaDAE w(ui, state, work.path());
  w.FormCreate();
  EXPECT_TRUE(w.BitBtn1Click());
  EXPECT_TRUE(ui.questions.empty());
  EXPECT_EQ(state.incidencia, 0);
  EXPECT_EQ(state.workflowFlag, 0);
  EXPECT_FALSE(w.wwTableProfesor.Active());
  EXPECT_FALSE(w.wwTableCUADROH2.Active());
  EXPECT_FALSE(w.wwTabledaeOTRACT.Active());
  const std::string file = testsupport::ReadFile(File());
  EXPECT_EQ(testsupport::SplitLines(file).size(), 3u);
  EXPECT_EQ(file.substr(0, 16), "1CH01987620241\r\n");
  EXPECT_EQ(file.substr(16, 17), "29OLD            ");
}

TEST_F(Coding, MissingDocumentAskedForTheFirstTeacher) {
  Teachers({{"CD", "", "", "", ""}, {"AB", "", "", "1", "1"}, {"ABC", "", "", "   ", "1"}});
  Session("AB", "1", 1, {});
  testsupport::WriteFile(File(), "previous");
  state.workflowFlag = 1;
  AjustaDAE w(ui, state, work.path());
  w.FormCreate();
  // "Yes": back to the window, on the first teacher without a document
  // (a document of spaces counts as none).
  ui.answers = {Answer::Yes};
  EXPECT_FALSE(w.BitBtn1Click());
  EXPECT_EQ(ui.questions, std::vector<std::string>{kQuestion});
  EXPECT_EQ(w.wwTableProfesor.FieldByName("ABREV").AsString(), "ABC");
  EXPECT_EQ(state.workflowFlag, 1);
  EXPECT_TRUE(w.wwTableProfesor.Active());
  EXPECT_EQ(testsupport::ReadFile(File()), "previous");
  // The user completes ABC; the next press stops at CD.
  w.wwTableProfesor.Edit();
  w.wwTableProfesor.FieldByName("DNI").SetAsString("22222222B");
  w.wwDBGridPROFTColExit("DNI");
  ui.answers = {Answer::Yes};
  EXPECT_FALSE(w.BitBtn1Click());
  EXPECT_EQ(w.wwTableProfesor.FieldByName("ABREV").AsString(), "CD");
  // "No": no file, flag 4.
  ui.answers = {Answer::No};
  EXPECT_TRUE(w.BitBtn1Click());
  EXPECT_EQ(ui.questions.size(), 3u);
  EXPECT_EQ(state.incidencia, 4);
  EXPECT_EQ(state.workflowFlag, 4);
  EXPECT_EQ(testsupport::ReadFile(File()), "previous");
  EXPECT_EQ(Rows(work / "PROFT.DBF", {"ABREV", "DNI"})[2], "ABC|22222222B");
}

// The check reads the documents where they are stored: the teacher grid
// stays where it stood, or moves once, to the teacher without one. A
// document typed and not yet posted counts, as it is posted first.
TEST_F(Coding, DocumentCheckMovesTheTeacherGridAtMostOnce) {
  Teachers({{"AB", "", "", "1", "1"}, {"CD", "", "", "", "1"}, {"EF", "", "", "3", "1"},
            {"GH", "", "", "4", "1"}});
  Session("AB", "1", 1, {});
  state.workflowFlag = 1;
  AjustaDAE w(ui, state, work.path());
  w.FormCreate();
  store::Table& prof = w.wwTableProfesor;
  int moves = 0;
  prof.AddListener([&](store::TableEvent e) { moves += e == store::TableEvent::Scrolled; });
  // Standing on the last teacher, CD lacks a document: one move, onto CD.
  prof.Last();
  moves = 0;
  ui.answers = {Answer::Yes};
  EXPECT_FALSE(w.BitBtn1Click());
  EXPECT_EQ(moves, 1);
  EXPECT_EQ(prof.FieldByName("ABREV").AsString(), "CD");
  // CD's document typed and not posted: no question, the file is written
  // with it, and the grid never moved.
  prof.Edit();
  prof.FieldByName("DNI").SetAsString("22222222B");
  moves = 0;
  EXPECT_TRUE(w.BitBtn1Click());
  EXPECT_EQ(moves, 0);
  EXPECT_EQ(ui.questions.size(), 1u);
  EXPECT_EQ(state.incidencia, 0);
  EXPECT_EQ(Rows(work / "PROFT.DBF", {"ABREV", "DNI"})[1], "CD|22222222B");
  EXPECT_TRUE(fs::exists(File()));
}

TEST_F(Coding, EmptyTipoDniAsksNothing) {
  Teachers({{"AB", "", "", "11111111A", ""}});
  AjustaDAE w(ui, state, work.path());
  w.FormCreate();
  EXPECT_TRUE(w.BitBtn1Click());
  EXPECT_TRUE(ui.questions.empty());
  EXPECT_TRUE(fs::exists(File()));
}

TEST_F(Coding, NoTeachersWritesTheFile) {
  Teachers({});
  AjustaDAE w(ui, state, work.path());
  w.FormCreate();
  EXPECT_TRUE(w.BitBtn1Click());
  EXPECT_TRUE(ui.questions.empty());
  EXPECT_EQ(testsupport::ReadFile(File()), "1CH01987620241\r\n");
  EXPECT_EQ(state.workflowFlag, 0);
}

TEST_F(Coding, MissingDaeFolderIsAnIncident) {
  Teachers({{"AB", "", "", "1", "1"}});
  state.rutaDAE = (dae.path() / "gone" / "").string();
  AjustaDAE w(ui, state, work.path());
  w.FormCreate();
  EXPECT_TRUE(w.BitBtn1Click());
  EXPECT_EQ(ui.messages, std::vector<std::string>{"No existe la carpeta\r" +
                                                  store::PathText(dae.path() / "gone")});
  EXPECT_EQ(state.incidencia, 4);
  EXPECT_EQ(state.workflowFlag, 4);
  EXPECT_FALSE(fs::exists(dae / "gone"));
}

TEST_F(Coding, CentreEditsArePostedOnLeaving) {
  Teachers({});
  AjustaDAE w(ui, state, work.path());
  w.FormCreate();
  w.DBEditCODECENTROChange();
  EXPECT_EQ(w.wwTabledaeCENTRO.State(), store::DataSetState::Edit);
  w.wwTabledaeCENTRO.FieldByName("CODCENTRO").SetAsString("011111");
  w.DBEditCODECENTROChange();  // already editing: stays so
  w.wwTabledaeCENTRO.FieldByName("VERSION").SetAsString("2");
  w.DBEditCODECENTROExit();
  EXPECT_EQ(w.wwTabledaeCENTRO.State(), store::DataSetState::Browse);
  EXPECT_EQ(Rows(work / "daeCENTRO.DBF", {"CODCENTRO", "ANOACAD", "VERSION"}),
            std::vector<std::string>{"011111|2024|2"});
  EXPECT_TRUE(w.BitBtn1Click());
  EXPECT_EQ(testsupport::ReadFile(File()), "1CH01111120242\r\n");
}

TEST_F(Coding, EmptyCentreTypedIntoIsWrittenButNotKept) {
  Teachers({});
  dae_import::CreaTablaCentro(work.path());
  {
    AjustaDAE w(ui, state, work.path());
    w.FormCreate();
    w.DBEditCODECENTROChange();  // an empty table: a new row
    EXPECT_EQ(w.wwTabledaeCENTRO.State(), store::DataSetState::Insert);
    w.wwTabledaeCENTRO.FieldByName("CODCENTRO").SetAsString("012345");
    w.wwTabledaeCENTRO.FieldByName("ANOACAD").SetAsString("2025");
    w.DBEditCODECENTROExit();  // only edit state is posted
    EXPECT_EQ(w.wwTabledaeCENTRO.State(), store::DataSetState::Insert);
    EXPECT_TRUE(w.BitBtn1Click());
    EXPECT_EQ(testsupport::ReadFile(File()), "1CH0123452025 \r\n");
  }
  EXPECT_EQ(exporttest::Dump(work / "daeCENTRO.DBF").size(), 1u);
}

TEST_F(Coding, PendingSummaryCountsWithoutChangingAnything) {
  Teachers({{"AB", "", "", "1", "1"}, {"CD", "", "", " ", ""}, {"EF", "", "", "", ""}});
  Session("AB", "1", 1, {"1ESO", "2ESO"});  // every codable field blank
  exporttest::AppendRow(work.path(), "CUADROH2",
                        {{"PROF_DIA_SES", "CD  101"}, {"TIPTAR", "101"},
                         {"GRUPNIV", "SEC"}, {"CODASIG", "0101"}, {"IDIOMA", "02"},
                         {"TIP_ACTIV", "  "}});
  const std::string before = testsupport::ReadFile(work / "CUADROH2.DBF");
  AjustaDAE w(ui, state, work.path());
  w.FormCreate();
  AjustaDAE::Pending p = w.PendingSummary();
  // The first type 2 record (no task: a lesson) lacks TIPTAR, GRUPNIV,
  // CODASIG and IDIOMA, not TIP_ACTIV; the second, a lesson fully coded,
  // needs no TIP_ACTIV; 1 per type 3.
  EXPECT_EQ(p.blankCodableCells, 4 + 0 + 2);
  EXPECT_EQ(p.teachersWithoutDocument, 2);
  EXPECT_EQ(testsupport::ReadFile(work / "CUADROH2.DBF"), before);
  EXPECT_TRUE(AjustaDAE::IsCodableField("CUADROH2", "tiptar"));
  EXPECT_TRUE(AjustaDAE::IsCodableField("CUADROH3.DBF", "CODGRUPO"));
  EXPECT_FALSE(AjustaDAE::IsCodableField("CUADROH2", "DOC"));
  EXPECT_FALSE(AjustaDAE::IsCodableField("PROFT", "TIPODNI"));
}

TEST_F(Coding, PendingSummaryFollowsTheLectiveRuleAndWhatIsBeingTyped) {
  // Task types: 101 a lesson, G01 another activity.
  fs::remove(work / "daeTIPTAR.DBF");
  {
    store::Table t;
    t.SetDatabaseName(work.path());
    t.SetTableName("daeTIPTAR");
    t.FieldDefsList() = {{"COD", store::FieldType::String, 3},
                         {"OTRACTIV", store::FieldType::String, 1}};
    t.CreateTable();
    t.Open();
    t.AppendValues({std::string("101"), std::string("N")});
    t.AppendValues({std::string("G01"), std::string("S")});
    t.Close();
  }
  Teachers({{"AB", "", "", "1", "1"}, {"CD", "", "", "", ""}});
  // A guard duty without ACTIV. (1 missing; Cód.ASIG and IDIOMA are not
  // needed) and a lesson fully coded.
  exporttest::AppendRow(work.path(), "CUADROH2",
                        {{"ABREVPROF", "AB"}, {"PROF_DIA_SES", "AB  101"}, {"TIPTAR", "G01"},
                         {"GRUPNIV", "SEC"}});
  exporttest::AppendRow(work.path(), "CUADROH2",
                        {{"ABREVPROF", "AB"}, {"PROF_DIA_SES", "AB  102"}, {"TIPTAR", "101"},
                         {"GRUPNIV", "SEC"}, {"CODASIG", "0101"}, {"IDIOMA", "02"}});
  AjustaDAE w(ui, state, work.path());
  w.FormCreate();
  EXPECT_FALSE(w.IsLectiveTask("G01"));
  EXPECT_TRUE(w.IsLectiveTask("101"));
  EXPECT_TRUE(w.IsLectiveTask("ZZZ"));  // not listed: a lesson
  EXPECT_EQ(w.PendingSummary().blankCodableCells, 1);
  EXPECT_EQ(w.PendingSummary().teachersWithoutDocument, 1);

  // The window stands on AB's guard duty; "101" being typed as its task
  // makes it a lesson: Cód.ASIG and IDIOMA are missing, ACTIV. is not.
  ASSERT_EQ(w.wwTableCUADROH2.FieldByName("TIPTAR").AsString(), "G01");
  AjustaDAE::Typed typed;
  typed.table = &w.wwTableCUADROH2;
  typed.field = "TIPTAR";
  typed.text = "101";
  EXPECT_EQ(w.PendingSummary(typed).blankCodableCells, 2);
  // An activity set but not yet posted counts as given.
  w.wwTableCUADROH2.Edit();
  w.wwTableCUADROH2.FieldByName("TIP_ACTIV").SetAsString("001");
  EXPECT_EQ(w.PendingSummary().blankCodableCells, 0);
  w.wwTableCUADROH2.Cancel();

  // A document being typed for CD counts before it is stored.
  w.wwTableProfesor.Next();
  ASSERT_EQ(w.wwTableProfesor.FieldByName("ABREV").AsString(), "CD");
  typed = {};
  typed.table = &w.wwTableProfesor;
  typed.field = "DNI";
  typed.text = "12345678Z";
  EXPECT_EQ(w.PendingSummary(typed).teachersWithoutDocument, 0);
  EXPECT_EQ(w.PendingSummary().teachersWithoutDocument, 1);
}

TEST_F(Coding, FileErrorEndsTheHandlerAndKeepsTheWindow) {
  Teachers({{"AB", "", "", "1", "1"}});
  Session("AB", "1", 1, {"1ESO"});
  // A folder of the file's name: the file cannot take its place.
  fs::create_directory(File());
  testsupport::WriteFile(File() / "dentro.txt", "previous");
  state.workflowFlag = 1;
  AjustaDAE w(ui, state, work.path());
  w.FormCreate();
  const uint32_t teacher = w.wwTableProfesor.RecNo();
  EXPECT_THROW(w.BitBtn1Click(), dae_export::TimetableFileError);
  EXPECT_EQ(state.workflowFlag, 1);
  EXPECT_TRUE(w.wwTableProfesor.Active());
  EXPECT_TRUE(w.wwTableCUADROH3.Active());
  // The window's cursors are as they were: links, filters, records.
  EXPECT_EQ(w.wwTableProfesor.RecNo(), teacher);
  EXPECT_EQ(w.wwTableCUADROH2.MasterSource(), &w.wwTableProfesor);
  EXPECT_EQ(w.wwTableCUADROH2.IndexName(), "ABREVPROF");
  EXPECT_EQ(w.wwTableCUADROH3.MasterSource(), &w.wwTableCUADROH2);
  EXPECT_TRUE(w.wwTableCUADROH3.Filtered());
  EXPECT_EQ(w.wwTableCUADROH3.IndexName(), "PROF_DIA_SES");
  EXPECT_EQ(testsupport::ReadFile(File() / "dentro.txt"), "previous");
  // Nothing else was left in the DAE folder (no temporary).
  EXPECT_EQ(std::distance(fs::directory_iterator(dae.path()), fs::directory_iterator()), 1);
}

}  // namespace

namespace {

// A document typed into the teacher's row reaches the records at once; when
// the row is then undone (Escape) the records get back what they held, and
// when it is stored they keep the new document.
TEST_F(Coding, UndoingTheTeachersRowUndoesTheCopy) {
  Teachers({{"AB", "", "", "11111111A", "1"}, {"CD", "", "", "22222222B", "1"}});
  Session("AB", "1", 1, {"1ESO"});
  Session("AB", "1", 2, {"1ESO", "2ESO"});
  Session("CD", "1", 3, {"1BAT"});
  AjustaDAE w(ui, state, work.path());
  w.FormCreate();
  store::Table& prof = w.wwTableProfesor;
  ASSERT_EQ(prof.FieldByName("ABREV").AsString(), "AB");
  // The teachers as stored. On Windows the window holds PROFT without
  // sharing it, so no other reader may open it: the stored rows are read
  // through the window's own table, which comes back to where it was.
  auto teachers = [&](const std::vector<std::string>& fields) {
#ifdef _WIN32
    const store::Bookmark here = prof.GetBookmark();
    std::vector<std::string> out;
    for (prof.First(); !prof.Eof(); prof.Next()) {
      std::string row;
      for (size_t k = 0; k < fields.size(); ++k)
        row += (k ? "|" : "") + prof.FieldByName(fields[k]).AsString();
      out.push_back(row);
    }
    prof.GotoBookmark(here);
    return out;
#else
    return Rows(work / "PROFT.DBF", fields);
#endif
  };
  const std::vector<std::string> h2Before = Rows(work / "CUADROH2.DBF", {"ABREVPROF", "TIPDOC", "DOC"});
  const std::vector<std::string> h3Before = Rows(work / "CUADROH3.DBF", {"ABREVPROF", "TIPDOC", "DOC"});

  struct Case {
    const char* what;
    const char* field;  // the column typed into
    const char* value;
  };
  for (const Case& c : {Case{"documento", "DNI", "ZLI"}, Case{"tipo", "TIPODNI", "2"}}) {
    SCOPED_TRACE(c.what);
    prof.Edit();
    prof.FieldByName(c.field).SetAsString(c.value);
    w.wwDBGridPROFTFieldChanged(c.field);
    w.wwDBGridPROFTColExit(c.field);  // Tab: the copy runs again
    EXPECT_NE(Rows(work / "CUADROH2.DBF", {"ABREVPROF", "TIPDOC", "DOC"}), h2Before);
    prof.Cancel();  // Escape
    EXPECT_EQ(Rows(work / "CUADROH2.DBF", {"ABREVPROF", "TIPDOC", "DOC"}), h2Before);
    EXPECT_EQ(Rows(work / "CUADROH3.DBF", {"ABREVPROF", "TIPDOC", "DOC"}), h3Before);
    EXPECT_EQ(teachers({"ABREV", "TIPODNI", "DNI"}),
              (std::vector<std::string>{"AB|1|11111111A", "CD|1|22222222B"}));
  }

  // A record changed by hand after the copy keeps the user's change.
  prof.Edit();
  prof.FieldByName("DNI").SetAsString("ZLI");
  w.wwDBGridPROFTColExit("DNI");
  w.wwTableCUADROH2.First();
  w.wwTableCUADROH2.Edit();
  w.wwTableCUADROH2.FieldByName("DOC").SetAsString("MINE");
  w.wwTableCUADROH2.Post();
  prof.Cancel();
  EXPECT_EQ(Rows(work / "CUADROH2.DBF", {"ABREVPROF", "TIPDOC", "DOC"}),
            (std::vector<std::string>{"AB|1|MINE", "AB|9|OLD", "CD|9|OLD"}));

  // Stored, by moving to another teacher: the copy stands, and undoing the
  // next teacher's untouched row changes nothing.
  prof.Edit();
  prof.FieldByName("DNI").SetAsString("NEW");
  w.wwDBGridPROFTColExit("DNI");
  prof.Next();
  prof.Edit();
  prof.Cancel();
  EXPECT_EQ(Rows(work / "CUADROH2.DBF", {"ABREVPROF", "TIPDOC", "DOC"}),
            (std::vector<std::string>{"AB|1|NEW", "AB|1|NEW", "CD|9|OLD"}));
  EXPECT_EQ(Rows(work / "CUADROH3.DBF", {"ABREVPROF", "DOC"}),
            (std::vector<std::string>{"AB|NEW", "AB|NEW", "AB|NEW", "CD|OLD"}));
  EXPECT_EQ(teachers({"ABREV", "DNI"}),
            (std::vector<std::string>{"AB|NEW", "CD|22222222B"}));
}

// Codes typed by hand must be in the cell's list, times must be times; what
// the record already holds is never refused.
TEST_F(Coding, TypedValuesAreChecked) {
  Teachers({{"AB", "", "", "11111111A", "1"}});
  Session("AB", "1", 1, {"1ESO"});
  AjustaDAE w(ui, state, work.path());
  w.FormCreate();
  struct Case {
    store::Table* table;
    const char* field;
    const char* value;
    const char* refusedWith;  // nullptr: accepted
  };
  const Case cases[] = {
      {&w.wwTableProfesor, "TIPODNI", "a", "TipoDOC"},
      {&w.wwTableProfesor, "TIPODNI", "1", nullptr},
      {&w.wwTableProfesor, "TIPODNI", " ", nullptr},
      {&w.wwTableProfesor, "DNI", "anything", nullptr},
      {&w.wwTableCUADROH2, "CODASIG", "ZZ99", "Cód.ASIG"},
      {&w.wwTableCUADROH2, "codasig", "1", nullptr},
      {&w.wwTableCUADROH2, "TIPTAR", "X", "TAREA"},
      {&w.wwTableCUADROH2, "TIP_ACTIV", "Q", "ACTIV."},
      {&w.wwTableCUADROH2, "TIPDOC", "9", nullptr},  // as stored
      {&w.wwTableCUADROH2, "TIPDOC", "8", "TipoDOC"},
      {&w.wwTableCUADROH2, "HORAINI", "ab", "HH:MM"},
      {&w.wwTableCUADROH2, "HORAFIN", "9:55", nullptr},
      {&w.wwTableCUADROH2, "HORAFIN", "", nullptr},
      {&w.wwTableCUADROH2, "AULA_OBS", "ab", nullptr},
      {&w.wwTableCUADROH3, "CODGRUPO", "ZZ", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field) + "=" + c.value);
    const std::string problem = w.TypedValueProblem(*c.table, c.field, c.value);
    if (!c.refusedWith) {
      EXPECT_EQ(problem, "");
    } else {
      EXPECT_NE(problem.find(c.refusedWith), std::string::npos) << problem;
      EXPECT_NE(problem.find(std::string("'") + c.value + "'"), std::string::npos) << problem;
    }
  }
  EXPECT_FALSE(AjustaDAE::CentreValueProblem("ANOACAD", "20x5").empty());
  EXPECT_TRUE(AjustaDAE::CentreValueProblem("ANOACAD", "2025").empty());
}

}  // namespace
