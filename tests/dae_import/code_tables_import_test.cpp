// The DAE code tables step: seven files become seven tables, read back by
// python3-dbf.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "dae_import/code_tables_import.h"
#include "tests/dae_import/import_fixture.h"

namespace {

namespace fs = std::filesystem;

using importtest::CrLf;
using importtest::Fixed;
using importtest::ImportFixture;
using testsupport::ReadFile;
using testsupport::WriteFile;

const std::vector<std::string> kFiles = {
    "fTIPTAR.txt", "fASIGNAT.txt", "fOTRACT.txt", "fTIPDOC.txt",
    "fNIVIMP.txt", "fIDIOMA.txt",  "fGRUPNIV.txt"};
const std::vector<std::string> kTables = {
    "daeTIPTAR", "daeASIGNAT", "daeOTRACT", "daeTIPDOC",
    "daeNIVIMP", "daeIDIOMA",  "daeGRUPNIV"};

std::string Tiptar(const std::string& flag, const std::string& cod,
                   const std::string& r, const std::string& o,
                   const std::string& cast, const std::string& eusk) {
  return Fixed({{flag, 1}, {cod, 3}, {r, 1}, {o, 1}, {cast, 250}, {eusk, 250}});
}

class CodeTables : public ImportFixture {
 protected:
  // One plain record in each file.
  void WriteAllFiles() {
    WriteDae("fTIPTAR.txt",
             CrLf({Tiptar("1", "T01", "N", "S", "Tutor\xED" "a", "Tutoretza")}));
    WriteDae("fASIGNAT.txt",
             CrLf({Fixed({{"0101", 4}, {"Matem\xE1ticas", 100}, {"Matem.", 20},
                          {"MATE", 4}, {"Matematika", 100}, {"Mat.", 20},
                          {"MATE", 4}})}));
    WriteDae("fOTRACT.txt",
             CrLf({Fixed({{"GUA", 3}, {"Guardia", 100}, {"Zaintza", 100},
                          {"Guard.", 20}, {"Zaint.", 20}})}));
    WriteDae("fTIPDOC.txt",
             CrLf({Fixed({{"1", 1}, {"DNI", 100}, {"NAN", 100}})}));
    WriteDae("fNIVIMP.txt",
             CrLf({Fixed({{"ESO", 3}, {"SEC", 3}, {"Secundaria", 100},
                          {"Bigarren Hezkuntza", 100}, {"ESO", 20},
                          {"DBH", 20}})}));
    WriteDae("fIDIOMA.txt",
             CrLf({Fixed({{"EU", 2}, {"Euskera", 100}, {"Euskara", 100},
                          {"EUSK", 4}, {"EUSK", 4}})}));
    WriteDae("fGRUPNIV.txt",
             CrLf({Fixed({{"SEC", 3}, {"Secundaria", 50}, {"Bigarren", 50},
                          {"", 3}, {"1", 1}, {"01", 50}})}));
  }
};

TEST_F(CodeTables, BuildsTheSevenTablesWithTheirFieldsInOrder) {
  WriteAllFiles();
  auto ctx = Ctx();
  dae_import::ImportaTablasDAE(ctx);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(state.resultCode, 1);  // untouched on success

  const std::map<std::string, std::vector<std::string>> fields = {
      {"daeTIPTAR", {"COD:C:3:0", "REFUERZO:C:1:0", "OTRACTIV:C:1:0",
                     "DESCCAST:C:250:0", "DESCEUSK:C:250:0"}},
      {"daeASIGNAT", {"COD:C:4:0", "DESCCAST:C:100:0", "DESCCASTR:C:20:0",
                      "CODCAST:C:4:0", "DESCEUSK:C:100:0", "DESCEUSKR:C:20:0",
                      "CODEUSK:C:4:0"}},
      {"daeOTRACT", {"COD:C:4:0", "DESCCAST:C:100:0", "DESCEUSK:C:100:0",
                     "DESCCASTR:C:20:0", "DESCEUSKR:C:20:0"}},
      {"daeTIPDOC", {"COD:C:1:0", "DESCCAST:C:100:0", "DESCEUSK:C:100:0"}},
      {"daeNIVIMP", {"COD:C:3:0", "GRUPNIV:C:3:0", "DESCCAST:C:100:0",
                     "DESCEUSK:C:100:0", "DESCCASTR:C:20:0", "DESCEUSKR:C:20:0",
                     "ABREVCAST:C:5:0", "ABREVEUSK:C:5:0"}},
      {"daeIDIOMA", {"IDIOMA:C:2:0", "DESCCAST:C:100:0", "DESCEUSK:C:100:0",
                     "DESCCASTR:C:4:0", "DESCEUSKR:C:4:0"}},
      {"daeGRUPNIV", {"NIVEL:C:3:0", "DESCCAST:C:50:0", "DESCEUSK:C:50:0",
                      "GRUPOPADRE:C:3:0", "IDTIPTAREA:C:1:0", "ORDEN:C:50:0"}},
  };
  const std::map<std::string, std::vector<std::string>> rows = {
      {"daeTIPTAR", {"T01", "N", "S", "Tutoría", "Tutoretza"}},
      {"daeASIGNAT", {"0101", "Matemáticas", "Matem.", "MATE", "Matematika",
                      "Mat.", "MATE"}},
      {"daeOTRACT", {"GUA", "Guardia", "Zaintza", "Guard.", "Zaint."}},
      {"daeTIPDOC", {"1", "DNI", "NAN"}},
      {"daeNIVIMP", {"ESO", "SEC", "Secundaria", "Bigarren Hezkuntza", "ESO",
                     "DBH", "", ""}},
      {"daeIDIOMA", {"EU", "Euskera", "Euskara", "EUSK", "EUSK"}},
      {"daeGRUPNIV", {"SEC", "Secundaria", "Bigarren", "", "1", "01"}},
  };
  for (const std::string& t : kTables) {
    SCOPED_TRACE(t);
    importtest::Dump d = Read(t);
    EXPECT_EQ(d.fields, fields.at(t));
    ASSERT_EQ(d.rows.size(), 1u);
    EXPECT_EQ(d.rows[0], rows.at(t));
  }
}

TEST_F(CodeTables, TaskTypesKeepOnlyLinesFlaggedOne) {
  WriteAllFiles();
  const std::string spanish(250, 'c'), basque(250, 'e');
  WriteDae("fTIPTAR.txt",
           CrLf({"1101AB" + std::string("  Refuerzo\t") +
                     std::string(239, ' ') + "  Indartzea",
                 "0101ABignored", "2T02NSotro", " 1T03NSblank first", "",
                 "1", "X9", "1R01SN" + spanish + basque + "tail not read"}));
  auto ctx = Ctx();
  dae_import::ImportaTablasDAE(ctx);
  importtest::Dump d = Read("daeTIPTAR");
  ASSERT_EQ(d.rows.size(), 3u);
  EXPECT_EQ(d.rows[0], (std::vector<std::string>{"101", "A", "B", "Refuerzo",
                                                 "Indartzea"}));
  EXPECT_EQ(d.rows[1], (std::vector<std::string>{"", "", "", "", ""}));
  EXPECT_EQ(d.rows[2],
            (std::vector<std::string>{"R01", "S", "N", spanish, basque}));
}

TEST_F(CodeTables, ShortLinesEmptyLinesAndTrimming) {
  WriteAllFiles();
  // 130 characters: COD..CODCAST whole, DESCEUSK from 129-130 only.
  std::string line130 = Fixed({{"0102", 4}, {" \tLengua  y Lit.\t", 100},
                               {"Lengua", 20}, {"LENG", 4}}) + "Ga";
  ASSERT_EQ(line130.size(), 130u);
  WriteDae("fASIGNAT.txt", line130 + "\r\n\r\n" + "0103\r\n\r\n");
  WriteDae("fOTRACT.txt", "GUA\n");         // one break at the end: no extra row
  WriteDae("fTIPDOC.txt", "");              // empty file: empty table
  auto ctx = Ctx();
  dae_import::ImportaTablasDAE(ctx);

  importtest::Dump a = Read("daeASIGNAT");
  ASSERT_EQ(a.rows.size(), 4u);
  EXPECT_EQ(a.rows[0], (std::vector<std::string>{"0102", "Lengua  y Lit.",
                                                 "Lengua", "LENG", "Ga", "", ""}));
  EXPECT_EQ(a.rows[1], std::vector<std::string>(7, ""));
  EXPECT_EQ(a.rows[2], (std::vector<std::string>{"0103", "", "", "", "", "", ""}));
  EXPECT_EQ(a.rows[3], std::vector<std::string>(7, ""));  // two final breaks

  importtest::Dump o = Read("daeOTRACT");
  ASSERT_EQ(o.rows.size(), 1u);
  EXPECT_EQ(o.At(0, "COD"), "GUA");
  EXPECT_TRUE(Read("daeTIPDOC").rows.empty());
}

TEST_F(CodeTables, CtrlZEndsTheFileAndDuplicatesAreKept) {
  WriteAllFiles();
  WriteDae("fIDIOMA.txt", "EUEuskera\r\nEUEuskera\r\nCA\x1A" "IN\r\nFR\r\n");
  auto ctx = Ctx();
  dae_import::ImportaTablasDAE(ctx);
  EXPECT_EQ(Read("daeIDIOMA").Column("IDIOMA"),
            (std::vector<std::string>{"EU", "EU", "CA"}));
}

TEST_F(CodeTables, DeletesAsigtAndDiashoratAndOnlyThem) {
  WriteAllFiles();
  WriteFile(workDir / "asigt.dbf", "x");
  WriteFile(workDir / "DIASHORAT.DBF", "x");
  WriteFile(workDir / "ASIGT.MDX", "x");
  WriteFile(workDir / "SOLUC.DBF", "x");
  auto ctx = Ctx();
  dae_import::ImportaTablasDAE(ctx);
  EXPECT_FALSE(fs::exists(workDir / "asigt.dbf"));
  EXPECT_FALSE(fs::exists(workDir / "DIASHORAT.DBF"));
  EXPECT_TRUE(fs::exists(workDir / "ASIGT.MDX"));
  EXPECT_TRUE(fs::exists(workDir / "SOLUC.DBF"));
}

TEST_F(CodeTables, MissingFirstFileTouchesNoTableButStillDeletesAsigt) {
  WriteAllFiles();
  fs::remove(daeDir / "fTIPTAR.txt");
  WriteFile(workDir / "ASIGT.DBF", "x");
  WriteFile(workDir / "DIASHORAT.DBF", "x");
  WriteFile(workDir / "daeASIGNAT.DBF", "old bytes");
  auto ctx = Ctx();
  dae_import::ImportaTablasDAE(ctx);
  EXPECT_EQ(ui.messages,
            (std::vector<std::string>{"No existe archivo de asignaturas (fTIPTAR.TXT)"}));
  EXPECT_EQ(state.resultCode, -1);
  EXPECT_FALSE(fs::exists(workDir / "ASIGT.DBF"));
  EXPECT_FALSE(fs::exists(workDir / "DIASHORAT.DBF"));
  EXPECT_EQ(ReadFile(workDir / "daeASIGNAT.DBF"), "old bytes");
  for (const std::string& t : kTables) {
    if (t != "daeASIGNAT") {
      EXPECT_FALSE(TableExists(t)) << t;
    }
  }
}

TEST_F(CodeTables, EachMissingFileHasItsOwnMessage) {
  const std::vector<std::string> messages = {
      "No existe archivo de asignaturas (fTIPTAR.TXT)",
      "No existe archivo de asignaturas (fASIGNAT.TXT)",
      "No existe archivo de asignaturas (fOTRACT.TXT)",
      "No existe archivo de asignaturas (fTIPDOC.TXT)",
      "No existe archivo de asignaturas (fNIVIMP.TXT)",
      "No existe archivo de asignaturas (fIDIOMA.TXT)",
      "No existe archivo de asignaturas (fGRUPNIV.TXT)"};
  for (std::size_t i = 0; i < kFiles.size(); ++i) {
    SCOPED_TRACE(kFiles[i]);
    for (const auto& e : fs::directory_iterator(workDir.path())) fs::remove(e.path());
    WriteAllFiles();
    fs::remove(daeDir / kFiles[i]);
    ui.messages.clear();
    state.resultCode = 1;
    auto ctx = Ctx();
    dae_import::ImportaTablasDAE(ctx);
    EXPECT_EQ(ui.messages, std::vector<std::string>{messages[i]});
    EXPECT_EQ(state.resultCode, -1);
    for (std::size_t k = 0; k < kTables.size(); ++k)
      EXPECT_EQ(TableExists(kTables[k]), k < i) << kTables[k];
  }
}

TEST_F(CodeTables, TwoMissingFilesReportOnlyTheFirstAndKeepOldTables) {
  WriteAllFiles();
  auto ctx = Ctx();
  dae_import::ImportaTablasDAE(ctx);
  const std::string oldIdioma = ReadFile(TablePath("daeIDIOMA"));
  const std::string oldGrupniv = ReadFile(TablePath("daeGRUPNIV"));

  fs::remove(daeDir / "fIDIOMA.txt");
  fs::remove(daeDir / "fGRUPNIV.txt");
  WriteDae("fNIVIMP.txt", CrLf({"BAC", "FPB"}));
  dae_import::ImportaTablasDAE(ctx);
  EXPECT_EQ(ui.messages,
            (std::vector<std::string>{"No existe archivo de asignaturas (fIDIOMA.TXT)"}));
  EXPECT_EQ(Read("daeNIVIMP").Column("COD"), (std::vector<std::string>{"BAC", "FPB"}));
  EXPECT_EQ(ReadFile(TablePath("daeIDIOMA")), oldIdioma);
  EXPECT_EQ(ReadFile(TablePath("daeGRUPNIV")), oldGrupniv);
}

TEST_F(CodeTables, RebuildRemovesAStaleIndexAndRepeatsIdentically) {
  WriteAllFiles();
  WriteDae("fNIVIMP.txt", CrLf({"ESO", "BAC", "ESO"}));
  WriteFile(workDir / "daeNIVIMP.MDX", "stale index");
  auto ctx = Ctx();
  dae_import::ImportaTablasDAE(ctx);
  EXPECT_FALSE(store::FileExistsNoCase(workDir.path(), "daeNIVIMP.MDX"));
  std::vector<importtest::Dump> first;
  for (const std::string& t : kTables) first.push_back(Read(t));
  dae_import::ImportaTablasDAE(ctx);
  for (std::size_t i = 0; i < kTables.size(); ++i) {
    importtest::Dump again = Read(kTables[i]);
    EXPECT_EQ(again.fields, first[i].fields) << kTables[i];
    EXPECT_EQ(again.rows, first[i].rows) << kTables[i];
  }
  EXPECT_EQ(Read("daeNIVIMP").Column("COD"),
            (std::vector<std::string>{"ESO", "BAC", "ESO"}));
}

TEST_F(CodeTables, FileNamesAreMatchedWithoutRegardToCase) {
  WriteAllFiles();
  for (const std::string& f : kFiles) {
    std::string upper = f;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    fs::rename(daeDir / f, daeDir / upper);
  }
  auto ctx = Ctx();
  dae_import::ImportaTablasDAE(ctx);
  EXPECT_TRUE(ui.messages.empty());
  for (const std::string& t : kTables) EXPECT_EQ(Read(t).rows.size(), 1u) << t;
}

TEST_F(CodeTables, AFolderWithTheFileNameCountsAsMissing) {
  WriteAllFiles();
  fs::remove(daeDir / "fOTRACT.txt");
  fs::create_directory(daeDir / "fOTRACT.txt");
  auto ctx = Ctx();
  dae_import::ImportaTablasDAE(ctx);
  EXPECT_EQ(ui.messages,
            (std::vector<std::string>{"No existe archivo de asignaturas (fOTRACT.TXT)"}));
  EXPECT_EQ(state.resultCode, -1);
  EXPECT_TRUE(TableExists("daeASIGNAT"));
  EXPECT_FALSE(TableExists("daeOTRACT"));
}

}  // namespace
