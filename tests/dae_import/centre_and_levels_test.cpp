// The centre panel and the level panel on the main window's table objects.
#include "dae_import/centre_and_levels.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "chain/main_tables.h"
#include "dae_import/code_tables_import.h"
#include "dae_import/groups_import.h"
#include "tests/dae_import/import_fixture.h"

namespace {

namespace fs = std::filesystem;

using importtest::CrLf;
using importtest::Fixed;
using importtest::ImportFixture;
using Row = std::vector<std::string>;
using store::DataSetState;

std::string Level(const std::string& cod, const std::string& descCastR,
                  const std::string& descEuskR) {
  return Fixed({{cod, 3}, {"SEC", 3}, {"Descripci\xF3n " + cod, 100},
                {"Deskribapena " + cod, 100}, {descCastR, 20}, {descEuskR, 20}});
}

std::string Group(const std::string& code, const std::string& alias,
                  const std::string& level, const std::string& course) {
  return Fixed({{"2", 1}, {code, 5}, {alias, 30}, {level, 3}, {"", 6},
                {"D", 2}, {course, 2}});
}

class Panels : public ImportFixture {
 protected:
  std::unique_ptr<chain::MainTables> tables;

  void SetUp() override {
    ImportFixture::SetUp();
    tables = std::make_unique<chain::MainTables>(workDir.path());
  }
  void TearDown() override { tables->CloseAll(); }

  // The code tables (levels ESO, BAC, FPB and, when asked, NIV) and the
  // groups: two of ESO, one of BAC, one without level.
  void Import(bool withNivLevel = false) {
    WriteDae("fTIPTAR.txt", "");
    WriteDae("fASIGNAT.txt", "");
    WriteDae("fOTRACT.txt", "");
    WriteDae("fTIPDOC.txt", "");
    std::vector<std::string> levels = {Level("ESO", "E.S.O.", "D.B.H."),
                                       Level("BAC", "Bachillerato", "Batxilergoa"),
                                       Level("FPB", "F.P. B\xE1sica", "Oinarrizko LH")};
    if (withNivLevel) levels.push_back(Level("NIV", "Sin nivel", "Mailarik gabe"));
    WriteDae("fNIVIMP.txt", CrLf(levels));
    WriteDae("fIDIOMA.txt", "");
    WriteDae("fGRUPNIV.txt", "");
    WriteDae("fGRUPOS.txt", CrLf({"1XX0198762024" "1",
                                  Group("00101", "1ESO A", "ESO", "1"),
                                  Group("00102", "1ESO B", "ESO", "1"),
                                  Group("00301", "1BAT", "BAC", "1"),
                                  Group("00901", "Apoyo", "", "1")}));
    auto ctx = Ctx();
    dae_import::ImportaTablasDAE(ctx);
    dae_import::ImportaGrupos(ctx);
    ASSERT_TRUE(ui.messages.empty());
  }

  // Types abbreviations into the level table as the grid would, leaving the
  // last one pending unless post is asked.
  void Type(const std::string& cod, const std::string& cast,
            const std::string& eusk, bool post = true) {
    store::Table& t = tables->wwTableNIVIMP;
    for (t.First(); !t.Eof(); t.Next()) {
      if (t.FieldByName("COD").AsString() != cod) continue;
      t.Edit();
      t.FieldByName("ABREVCAST").SetAsString(cast);
      t.FieldByName("ABREVEUSK").SetAsString(eusk);
      if (post) t.Post();
      return;
    }
    ADD_FAILURE() << "no level " << cod;
  }

  void ToLevelPanel() {
    auto ctx = Ctx();
    dae_import::MuestraDatosCentro(ctx, *tables);
    dae_import::DatosNivel(ctx, *tables);
    ASSERT_TRUE(ui.levelsVisible);
  }

  void Accept() {
    auto ctx = Ctx();
    dae_import::FinalRecogida(ctx, *tables);
  }

  Row Levels() {
    tables->CloseAll();
    return Read("GRUPOST").Column("NIVEL");
  }
};

TEST_F(Panels, CentrePanelMissingTable) {
  ui.busy = true;
  auto ctx = Ctx();
  dae_import::MuestraDatosCentro(ctx, *tables);
  EXPECT_EQ(ui.messages, (Row{"No existe archivo del Centro (daeCENTRO.DBF)"}));
  EXPECT_EQ(state.resultCode, -1);
  EXPECT_FALSE(ui.centreVisible);
  EXPECT_FALSE(tables->wwTableCentro.Active());
}

TEST_F(Panels, CentrePanelShowsTheFirstRowInEditState) {
  Import();
  ui.busy = true;
  ui.backToLevelsVisible = true;
  auto ctx = Ctx();
  dae_import::MuestraDatosCentro(ctx, *tables);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(ui.centreVisible);
  EXPECT_FALSE(ui.backToLevelsVisible);
  EXPECT_FALSE(ui.busy);
  EXPECT_EQ(tables->wwTableCentro.State(), DataSetState::Edit);
  EXPECT_EQ(tables->wwTableCentro.FieldByName("CODCENTRO").AsString(), "019876");

  // A correction typed into the grid is stored when the level panel opens.
  tables->wwTableCentro.FieldByName("VERSION").SetAsString("12345");
  dae_import::DatosNivel(ctx, *tables);
  EXPECT_FALSE(tables->wwTableCentro.Active());
  EXPECT_FALSE(ui.centreVisible);
  EXPECT_TRUE(ui.levelsVisible);
  EXPECT_TRUE(tables->wwTableNIVIMP.Active());
  EXPECT_EQ(Read("daeCENTRO").rows, (std::vector<Row>{{"019876", "2024", "12345"}}));
}

TEST_F(Panels, EmptyCentreTableStartsANewRowForTheUser) {
  dae_import::CreaTablaCentro(workDir.path());
  auto ctx = Ctx();
  dae_import::MuestraDatosCentro(ctx, *tables);
  EXPECT_EQ(tables->wwTableCentro.State(), DataSetState::Insert);
  tables->wwTableCentro.FieldByName("CODCENTRO").SetAsString("011111");
  tables->wwTableCentro.FieldByName("ANOACAD").SetAsString("2025");
  tables->wwTableCentro.FieldByName("VERSION").SetAsString("2");
  // No daeNIVIMP: the row is stored, the message shown, the centre panel
  // stays with its table closed.
  dae_import::DatosNivel(ctx, *tables);
  EXPECT_EQ(ui.messages, (Row{"No existe archivo del Centro (daeNIVIMP.DBF)"}));
  EXPECT_EQ(state.resultCode, -1);
  EXPECT_TRUE(ui.centreVisible);
  EXPECT_FALSE(ui.levelsVisible);
  EXPECT_FALSE(tables->wwTableCentro.Active());
  EXPECT_EQ(Read("daeCENTRO").rows, (std::vector<Row>{{"011111", "2025", "2"}}));
}

TEST_F(Panels, AcceptWritesTheChosenLanguageIntoTheGroups) {
  struct Case {
    std::string language;
    Row levels;
  };
  for (const Case& c : {Case{"EUSKERA", {"DBH", "DBH", "BATX", "NIV"}},
                        Case{"CASTELLANO", {"ESO", "ESO", "BACH", "NIV"}},
                        Case{"euskera", {"ESO", "ESO", "BACH", "NIV"}}}) {
    SCOPED_TRACE(c.language);
    tables->CloseAll();
    ui = testsupport::ScriptedUI();
    state = chain::ProcessState();
    Import();
    ui.language = c.language;
    ToLevelPanel();
    Type("ESO", "ESO", "DBH");
    Type("BAC", "BACH", "BATX");
    ui.busy = true;
    Accept();
    EXPECT_EQ(ui.messages, (Row{"Proceso finalizado"}));
    EXPECT_EQ(state.workflowFlag, 0);
    EXPECT_FALSE(ui.levelsVisible);
    EXPECT_TRUE(ui.backToLevelsVisible);
    EXPECT_FALSE(ui.busy);
    EXPECT_FALSE(ui.closed);  // stand-alone: the window stays
    EXPECT_FALSE(tables->wwTableNIVIMP.Active());
    EXPECT_EQ(Levels(), c.levels);
    // The description keeps the DAE level as the import wrote it.
    EXPECT_EQ(Read("GRUPOST").Column("DESCRIP"),
              (Row{"D ESO 1 1", "D ESO 1 2", "D BAC 1 1", "D NIV 1 1"}));
    // The abbreviations are stored in the level table.
    importtest::Dump n = Read("daeNIVIMP");
    EXPECT_EQ(n.Column("ABREVCAST"), (Row{"ESO", "BACH", ""}));
    EXPECT_EQ(n.Column("ABREVEUSK"), (Row{"DBH", "BATX", ""}));
  }
}

TEST_F(Panels, EmbeddedModeClosesTheWindowAfterTheMessage) {
  Import();
  state.embedded = true;
  ToLevelPanel();
  Accept();
  EXPECT_EQ(ui.messages, (Row{"Proceso finalizado"}));
  EXPECT_TRUE(ui.closed);
}

TEST_F(Panels, RepeatedAbbreviationsStopBeforeAnyGroupChanges) {
  struct Case {
    Row eso, bac, fpb;  // Castellano, Euskera
    std::string message;
    std::string stopRow;
  };
  const std::string cast = "Abreviatura en Castellano Repetida - Compruébelo.";
  const std::string eusk = "Abreviatura en Euskera Repetida - Compruébelo.";
  const std::vector<Case> cases = {
      {{"ESO", "DBH"}, {"eso", "BATX"}, {"FP", "OLH"}, cast, "BAC"},
      {{"ESO", "DBH"}, {"BACH", "BATX"}, {"FP", "batx"}, eusk, "FPB"},
      {{"A\xD1" "O", "X"}, {"a\xF1o", "Y"}, {"", ""}, cast, "BAC"},
      // Castellano is checked before Euskera on the same row.
      {{"ESO", "DBH"}, {"ESO", "DBH"}, {"", ""}, cast, "BAC"},
      // Only the first repeat is reported.
      {{"ESO", "DBH"}, {"BACH", "DBH"}, {"ESO", "X"}, eusk, "BAC"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stopRow + " " + c.message);
    tables->CloseAll();
    ui = testsupport::ScriptedUI();
    state = chain::ProcessState();
    Import();
    ToLevelPanel();
    Type("ESO", c.eso[0], c.eso[1]);
    Type("BAC", c.bac[0], c.bac[1]);
    Type("FPB", c.fpb[0], c.fpb[1]);
    Accept();
    EXPECT_EQ(ui.messages, Row{c.message});
    EXPECT_EQ(state.workflowFlag, 1);
    EXPECT_TRUE(ui.levelsVisible);
    EXPECT_FALSE(ui.backToLevelsVisible);
    ASSERT_TRUE(tables->wwTableNIVIMP.Active());
    EXPECT_EQ(tables->wwTableNIVIMP.FieldByName("COD").AsString(), c.stopRow);
    EXPECT_EQ(Levels(), (Row{"ESO", "ESO", "BAC", "NIV"}));
  }
}

TEST_F(Panels, OneTextInBothLanguagesIsNoRepeat) {
  Import();
  ui.language = "CASTELLANO";
  ToLevelPanel();
  Type("ESO", "ESO", "BAT");
  Type("BAC", "BAT", "BAT2");
  Type("FPB", "FPB", "FPB");
  Accept();
  EXPECT_EQ(ui.messages, (Row{"Proceso finalizado"}));
  EXPECT_EQ(Levels(), (Row{"ESO", "ESO", "BAT", "NIV"}));
}

TEST_F(Panels, EmptyOrOtherLanguageAbbreviationsChangeNothing) {
  Import();
  ui.language = "CASTELLANO";
  ToLevelPanel();
  Type("ESO", "", "DBH");
  Type("BAC", "   ", "BATX");
  Accept();
  EXPECT_EQ(ui.messages, (Row{"Proceso finalizado"}));
  EXPECT_EQ(Levels(), (Row{"ESO", "ESO", "BAC", "NIV"}));
}

TEST_F(Panels, GroupsWithoutLevelChangeOnlyWhenALevelNIVExists) {
  Import(true);
  ToLevelPanel();
  Type("NIV", "SN", "MG");
  Accept();
  EXPECT_EQ(Levels(), (Row{"ESO", "ESO", "BAC", "MG"}));
}

TEST_F(Panels, APendingAbbreviationIsPostedAndChecked) {
  Import();
  ToLevelPanel();
  Type("ESO", "ESO", "DBH");
  Type("FPB", "FPB", "dbh", /*post=*/false);
  ASSERT_EQ(tables->wwTableNIVIMP.State(), DataSetState::Edit);
  Accept();
  EXPECT_EQ(ui.messages, (Row{"Abreviatura en Euskera Repetida - Compruébelo."}));
  tables->CloseAll();
  EXPECT_EQ(Read("daeNIVIMP").Column("ABREVEUSK"), (Row{"DBH", "", "dbh"}));
}

TEST_F(Panels, GridEnterPutsTheLevelTableIntoEditState) {
  Import();
  ToLevelPanel();
  EXPECT_EQ(tables->wwTableNIVIMP.State(), DataSetState::Browse);
  dae_import::wwDBGridNIVIMPEnter(*tables);
  EXPECT_EQ(tables->wwTableNIVIMP.State(), DataSetState::Edit);
  tables->wwTableNIVIMP.FieldByName("ABREVCAST").SetAsString("E");
  dae_import::wwDBGridNIVIMPEnter(*tables);  // already editing: nothing changes
  EXPECT_EQ(tables->wwTableNIVIMP.FieldByName("ABREVCAST").AsString(), "E");
  Accept();
  EXPECT_EQ(ui.messages, (Row{"Proceso finalizado"}));
  EXPECT_EQ(Read("daeNIVIMP").Column("ABREVCAST"), (Row{"E", "", ""}));
}

TEST_F(Panels, BackToCentreAndBackToLevels) {
  Import();
  ToLevelPanel();
  Type("ESO", "ESO", "DBH", /*post=*/false);  // typed, not yet stored
  state.workflowFlag = 1;
  auto ctx = Ctx();
  dae_import::Button2Click(ctx, *tables);  // "Volver a Datos Centro"
  EXPECT_EQ(state.workflowFlag, 0);
  EXPECT_FALSE(ui.levelsVisible);
  EXPECT_TRUE(ui.centreVisible);
  EXPECT_TRUE(tables->wwTableNIVIMP.Active());  // stays open with the typing
  EXPECT_EQ(tables->wwTableCentro.State(), DataSetState::Edit);

  dae_import::DatosNivel(ctx, *tables);  // the centre panel's OK
  EXPECT_TRUE(ui.levelsVisible);
  // Its First stored the abbreviation typed before going back.
  EXPECT_EQ(Read("daeNIVIMP").Column("ABREVEUSK"), (Row{"DBH", "", ""}));
  Accept();
  EXPECT_EQ(Levels(), (Row{"DBH", "DBH", "BAC", "NIV"}));

  // After the chain: "Volver a Niveles Estudios" reopens the levels; a
  // second "Aceptar" gives the groups the abbreviations as they are now,
  // those already changed included: the groups and the levels agree.
  ui.messages.clear();
  dae_import::Button3Click(ctx, *tables);
  EXPECT_TRUE(ui.levelsVisible);
  Type("BAC", "BACH", "BATX");
  Type("ESO", "ESO", "XXX");
  Accept();
  EXPECT_EQ(ui.messages, (Row{"Proceso finalizado"}));
  EXPECT_EQ(Levels(), (Row{"XXX", "XXX", "BATX", "NIV"}));
}

// Abbreviations changed, cleared or taken in the other language when the
// levels are accepted again: each group ends with its level's abbreviation
// in the chosen language, or its DAE level code when there is none.
TEST_F(Panels, LevelsAcceptedAgainReachEveryGroup) {
  Import();
  ToLevelPanel();
  Type("ESO", "ESO", "DBH");
  Type("BAC", "BACH", "BATX");
  Accept();
  ASSERT_EQ(Levels(), (Row{"DBH", "DBH", "BATX", "NIV"}));
  struct Step {
    const char* what;
    std::string language;
    std::vector<Row> levels;  // cod, cast, eusk
    Row groups;
  };
  const Step steps[] = {
      {"changed", "EUSKERA", {{"ESO", "ESO", "DBH2"}}, {"DBH2", "DBH2", "BATX", "NIV"}},
      {"cleared", "EUSKERA", {{"BAC", "BACH", ""}}, {"DBH2", "DBH2", "BAC", "NIV"}},
      {"other language", "CASTELLANO", {}, {"ESO", "ESO", "BACH", "NIV"}},
      {"both cleared", "CASTELLANO", {{"ESO", "", ""}, {"BAC", "", ""}},
       {"ESO", "ESO", "BAC", "NIV"}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    ui.messages.clear();
    ui.language = step.language;
    auto ctx = Ctx();
    dae_import::Button3Click(ctx, *tables);  // "Volver a Niveles Estudios"
    ASSERT_TRUE(ui.levelsVisible);
    for (const Row& l : step.levels) Type(l[0], l[1], l[2]);
    Accept();
    EXPECT_EQ(ui.messages, (Row{"Proceso finalizado"}));
    EXPECT_EQ(Levels(), step.groups);
  }
}

// The centre panel's values are checked before its OK goes on: a year that
// is not four digits stops it with a message, nothing stored.
TEST_F(Panels, CentreRowWithABadYearIsRefused) {
  Import();
  auto ctx = Ctx();
  dae_import::MuestraDatosCentro(ctx, *tables);
  store::Table& centre = tables->wwTableCentro;
  ASSERT_EQ(centre.State(), DataSetState::Edit);
  const std::string stored = centre.FieldByName("ANOACAD").AsString();
  centre.FieldByName("ANOACAD").SetAsString("20x5");
  EXPECT_FALSE(dae_import::CentreRowAcceptable(ctx, *tables));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].find("'20x5' no es v\xC3\xA1lido"), std::string::npos) << ui.messages[0];
  EXPECT_EQ(centre.State(), DataSetState::Edit);
  centre.Cancel();
  tables->CloseAll();
  EXPECT_EQ(Read("daeCENTRO").Column("ANOACAD"), (Row{stored}));
}

}  // namespace
