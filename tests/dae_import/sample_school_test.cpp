// The sample school of examples/: its files are what the generator writes,
// and importing them shows the rules they are meant to exercise.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "chain/main_tables.h"
#include "dae_import/centre_and_levels.h"
#include "dae_import/code_tables_import.h"
#include "dae_import/groups_import.h"
#include "dae_import/subjects_import.h"
#include "dae_import/teachers_import.h"
#include "tests/dae_import/import_fixture.h"

namespace {

namespace fs = std::filesystem;
using importtest::ImportFixture;
using Row = std::vector<std::string>;

const Row kDaeFiles = {"fTIPTAR.txt", "fASIGNAT.txt", "fOTRACT.txt", "fTIPDOC.txt",
                       "fNIVIMP.txt", "fIDIOMA.txt",  "fGRUPNIV.txt", "fPROFES.txt",
                       "fGRUPOS.txt"};

using testsupport::ExamplesDir;

class SampleSchool : public ImportFixture {
 protected:
  void SetUp() override {
    ImportFixture::SetUp();
    for (const std::string& f : kDaeFiles)
      fs::copy_file(ExamplesDir() / "dae" / f, daeDir / f);
  }

  void ImportAll(const std::string& language) {
    ui.language = language;
    auto ctx = Ctx();
    dae_import::ImportaTablasDAE(ctx);
    dae_import::ImportaAsignaturas(ctx);
    dae_import::ImportaProfesores(ctx);
    dae_import::ImportaGrupos(ctx);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(state.resultCode, 1);
  }
};

TEST(SampleSchoolFiles, AreWhatTheGeneratorWrites) {
#ifdef _WIN32
  GTEST_SKIP() << "the generator (Python) runs on Linux only";
#endif
  testsupport::TempDir out;
  const testsupport::CommandResult r = testsupport::RunCommand(
      "/usr/bin/python3 " +
      testsupport::ShellQuote((ExamplesDir() / "make_dae_files.py").string()) + " " +
      testsupport::ShellQuote(out.path().string()));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  for (const std::string& f : kDaeFiles) {
    const std::string committed = testsupport::ReadFile(ExamplesDir() / "dae" / f);
    EXPECT_EQ(testsupport::ReadFile(out / ("dae/" + f)), committed) << f;
    // DAE's own form: CR LF line ends, no bare LF.
    std::size_t lf = 0, crlf = 0;
    for (std::size_t i = 0; i < committed.size(); ++i)
      if (committed[i] == '\n') {
        ++lf;
        if (i > 0 && committed[i - 1] == '\r') ++crlf;
      }
    EXPECT_GT(lf, 0u) << f;
    EXPECT_EQ(lf, crlf) << f;
  }
  EXPECT_EQ(testsupport::ReadFile(out / "levels.csv"),
            testsupport::ReadFile(ExamplesDir() / "levels.csv"));
}

TEST_F(SampleSchool, CastellanoImport) {
  ImportAll("CASTELLANO");
  EXPECT_EQ(Read("daeTIPTAR").Column("COD"), (Row{"T01", "G01", "R01", "J01"}));
  importtest::Dump s = Read("ASIGNOMT");
  EXPECT_EQ(s.Column("COD"),
            (Row{"MATE", "MAT1", "mat2", "LENG", "EUSK", "INGL", "GEHI", "BIGE",
                 "FIQU", "EDFI", "TECN", "MUSI", "ÉTIC", "T01", "G01", "R01", "J01"}));
  EXPECT_EQ(s.At(1, "NOMBRE"), "Matemáticas Aplicadas");
  EXPECT_EQ(s.At(13, "NOMBRE"), "Tutoría de grupo");

  importtest::Dump t = Read("PROFT");
  EXPECT_EQ(t.Column("ABREV"), (Row{"ABC", "ABC1", "ABC2", "PEM", "GJ", "ÑRA",
                                    "ZLI", "UOL", "MSB", "EFX"}));
  EXPECT_EQ(t.At(4, "NOMBRE"), "Goikoetxea  Jon");
  EXPECT_EQ(t.At(6, "TIPODNI"), "3");

  importtest::Dump g = Read("GRUPOST");
  EXPECT_EQ(g.Column("ABREV"),
            (Row{"1ESO", "1ES1", "1ES2", "2ESO", "2ES1", "1BAT", "1FPB", "Tuto"}));
  EXPECT_EQ(g.Column("GRUPO"), (Row{"1", "2", "3", "1", "2", "1", "1", "1"}));
  EXPECT_EQ(g.Column("NIVEL"), (Row{"ESO", "ESO", "ESO", "ESO", "ESO", "BAC", "FPB", "NIV"}));
  EXPECT_EQ(Read("daeCENTRO").rows, (std::vector<Row>{{"019876", "2024", "1"}}));
}

TEST_F(SampleSchool, EuskeraImportAndLevelsFromTheLevelsFile) {
  ImportAll("EUSKERA");
  EXPECT_EQ(Read("ASIGNOMT").Column("COD"),
            (Row{"MATE", "MATA", "mat1", "GAZT", "EUSK", "INGE", "GEHI", "BIGE",
                 "FIKI", "GORP", "TEKN", "MUSI", "ETIK", "T01", "G01", "R01", "J01"}));

  // Every level of fNIVIMP has a line in levels.csv; type them in the
  // level panel and accept.
  std::ifstream csv(ExamplesDir() / "levels.csv");
  std::string line;
  std::getline(csv, line);
  ASSERT_EQ(line, "COD;ABREVCAST;ABREVEUSK");
  std::map<std::string, std::pair<std::string, std::string>> abbrevs;
  while (std::getline(csv, line)) {
    const Row cells = importtest::SplitBar([&] {
      std::string s = line;
      for (char& c : s)
        if (c == ';') c = '|';
      return s;
    }());
    ASSERT_EQ(cells.size(), 3u) << line;
    abbrevs[cells[0]] = {cells[1], cells[2]};
  }
  EXPECT_EQ(Read("daeNIVIMP").Column("COD").size(), abbrevs.size());

  chain::MainTables tables(workDir.path());
  auto ctx = Ctx();
  dae_import::MuestraDatosCentro(ctx, tables);
  dae_import::DatosNivel(ctx, tables);
  store::Table& n = tables.wwTableNIVIMP;
  for (n.First(); !n.Eof(); n.Next()) {
    const auto it = abbrevs.find(n.FieldByName("COD").AsString());
    ASSERT_NE(it, abbrevs.end());
    n.Edit();
    n.FieldByName("ABREVCAST").SetAsString(it->second.first);
    n.FieldByName("ABREVEUSK").SetAsString(it->second.second);
  }
  dae_import::FinalRecogida(ctx, tables);
  EXPECT_EQ(ui.messages, (Row{"Proceso finalizado"}));
  tables.CloseAll();
  EXPECT_EQ(Read("GRUPOST").Column("NIVEL"),
            (Row{"DBH", "DBH", "DBH", "DBH", "DBH", "BATX", "OLH", "NIV"}));
}

}  // namespace
