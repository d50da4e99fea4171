// transdae-cli run as a process over the sample school and real tables.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "store/path_text.h"
#include "store/table.h"
#include "store/work_folder.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::CommandResult;
using testsupport::ShellQuote;
using testsupport::SplitLines;
using testsupport::TempDir;
using testsupport::WriteFile;

using testsupport::ExamplesDir;

using testsupport::RunCli;

std::string Q(const fs::path& p) { return ShellQuote(p.string()); }

std::string LastLine(const std::string& out) {
  std::vector<std::string> lines = SplitLines(out);
  return lines.empty() ? "" : lines.back();
}

bool HasLine(const std::string& out, const std::string& line) {
  std::vector<std::string> lines = SplitLines(out);
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// CSV rows of `show TABLE` as lists of cells (no quoted cells expected).
std::vector<std::vector<std::string>> ShowRows(const fs::path& work,
                                               const std::string& table) {
  CommandResult r = RunCli("show " + table + " --work " + Q(work));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  std::vector<std::vector<std::string>> rows;
  for (const std::string& line : SplitLines(r.out)) {
    std::vector<std::string> cells;
    size_t start = 0;
    for (;;) {
      size_t p = line.find(',', start);
      cells.push_back(line.substr(start, p == std::string::npos ? p : p - start));
      if (p == std::string::npos) break;
      start = p + 1;
    }
    rows.push_back(cells);
  }
  return rows;
}

std::vector<std::string> ShowColumn(const fs::path& work, const std::string& table,
                                    const std::string& field) {
  auto rows = ShowRows(work, table);
  std::vector<std::string> values;
  if (rows.empty()) return values;
  auto it = std::find(rows[0].begin(), rows[0].end(), field);
  EXPECT_NE(it, rows[0].end()) << field;
  if (it == rows[0].end()) return values;
  size_t col = static_cast<size_t>(it - rows[0].begin());
  for (size_t i = 1; i < rows.size(); ++i)
    values.push_back(col < rows[i].size() ? rows[i][col] : "");
  return values;
}

std::string Import(const fs::path& work, const std::string& extra = "") {
  return "import --dae " + Q(ExamplesDir() / "dae") + " --work " + Q(work) + " " + extra;
}

// ---- Usage.

TEST(CliUsage, ErrorsExitTwoWithUsageOnStandardError) {
  for (const std::string args :
       {"", "importar", "import", "import --dae", "export --dae x --lang E",
        "show", "import --dae x --centre 1,2", "show T --bogus"}) {
    CommandResult r = RunCli(args);
    EXPECT_EQ(r.exitCode, 2) << args;
    EXPECT_EQ(r.out, "") << args;
    EXPECT_NE(r.err.find("Uso:"), std::string::npos) << args;
  }
}

TEST(CliUsage, HelpDescribesTheCommandsAndTheCsvSeparator) {
  CommandResult r = RunCli("--help");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("transdae-cli import --dae"), std::string::npos);
  EXPECT_NE(r.out.find("separados por comas"), std::string::npos);
}

// ---- Import.

TEST(CliImport, WholeChainWithLevelsFile) {
  TempDir work;
  CommandResult r = RunCli(Import(work.path(), "--levels " + Q(ExamplesDir() / "levels.csv")));
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(LastLine(r.out), "resultado: 1");
  EXPECT_TRUE(HasLine(r.out, "Proceso finalizado")) << r.out;
  std::vector<std::string> niveles = ShowColumn(work.path(), "GRUPOST", "NIVEL");
  ASSERT_FALSE(niveles.empty());
  EXPECT_NE(std::find(niveles.begin(), niveles.end(), "DBH"), niveles.end());
  EXPECT_EQ(std::find(niveles.begin(), niveles.end(), "ESO"), niveles.end());
}

TEST(CliImport, LanguageChoosesTheCastellanoAbbreviations) {
  TempDir work;
  CommandResult r = RunCli(Import(work.path(), "--lang CASTELLANO --levels " +
                                                Q(ExamplesDir() / "levels.csv")));
  EXPECT_EQ(r.exitCode, 0) << r.out;
  std::vector<std::string> niveles = ShowColumn(work.path(), "GRUPOST", "NIVEL");
  EXPECT_NE(std::find(niveles.begin(), niveles.end(), "BACH"), niveles.end());
  EXPECT_EQ(std::find(niveles.begin(), niveles.end(), "DBH"), niveles.end());
}

TEST(CliImport, CentreValuesAreTypedIntoTheCentreRow) {
  TempDir work;
  CommandResult r = RunCli(Import(work.path(), "--centre 099999,2030,7"));
  EXPECT_EQ(r.exitCode, 0) << r.out;
  auto rows = ShowRows(work.path(), "daeCENTRO");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"CODCENTRO", "ANOACAD", "VERSION"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"099999", "2030", "7"}));
}

TEST(CliImport, MissingFolder) {
  TempDir work;
  CommandResult r = RunCli("import --dae " + Q(work / "no") + " --work " + Q(work.path()));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "No existe la carpeta\n" + store::PathText(work / "no") + "\nresultado: 0\n");
}

TEST(CliImport, MissingFilesStopAtTheCentrePanel) {
  TempDir work, dae;
  CommandResult r = RunCli("import --dae " + Q(dae.path()) + " --work " + Q(work.path()));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(HasLine(r.out, "No existe archivo de grupos (fGRUPOS.TXT)")) << r.out;
  EXPECT_TRUE(HasLine(r.out, "No existe archivo del Centro (daeCENTRO.DBF)")) << r.out;
  EXPECT_EQ(LastLine(r.out), "resultado: -1");
}

TEST(CliImport, RepeatedAbbreviationStops) {
  TempDir work;
  WriteFile(work / "niveles.csv", "COD;ABREVCAST;ABREVEUSK\nESO;X;A\nBAC;x;B\n");
  CommandResult r = RunCli(Import(work.path(), "--levels " + Q(work / "niveles.csv")));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(HasLine(r.out, "Abreviatura en Castellano Repetida - Compruébelo.")) << r.out;
  EXPECT_FALSE(HasLine(r.out, "Proceso finalizado"));
  EXPECT_EQ(LastLine(r.out), "resultado: 1");
  std::vector<std::string> niveles = ShowColumn(work.path(), "GRUPOST", "NIVEL");
  EXPECT_NE(std::find(niveles.begin(), niveles.end(), "ESO"), niveles.end());
}

TEST(CliImport, MalformedLevelsFileChangesNothing) {
  TempDir work, files;
  WriteFile(files / "niveles.csv", "COD;ABREVCAST;ABREVEUSK\nESO;DEMASIADO;A\n");
  CommandResult r = RunCli(Import(work.path(), "--levels " + Q(files / "niveles.csv")));
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("línea 2"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::is_empty(work.path()));
}

TEST(CliImport, UnknownLevelCodeIsReported) {
  TempDir work;
  WriteFile(work / "niveles.csv", "COD;ABREVCAST;ABREVEUSK\nZZZ;Z;Z\n");
  CommandResult r = RunCli(Import(work.path(), "--levels " + Q(work / "niveles.csv")));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("el nivel ZZZ"), std::string::npos) << r.out;
}

TEST(CliImport, StoreErrorIsPrintedAndEndsTheRun) {
  // A damaged centre table from an earlier run and no fGRUPOS.txt: the
  // centre panel meets the damaged file.
  TempDir work, dae;
  for (const auto& e : fs::directory_iterator(ExamplesDir() / "dae"))
    if (e.path().filename() != "fGRUPOS.txt")
      fs::copy(e.path(), dae / e.path().filename().string());
  WriteFile(work / "daeCENTRO.DBF", "esto no es una tabla");
  CommandResult r = RunCli("import --dae " + Q(dae.path()) + " --work " + Q(work.path()));
  EXPECT_EQ(r.exitCode, 1);
  std::vector<std::string> lines = SplitLines(r.out);
  ASSERT_GE(lines.size(), 2u) << r.out;
  EXPECT_EQ(lines[lines.size() - 2].rfind("Error: ", 0), 0u) << r.out;
  EXPECT_EQ(lines.back(), "resultado: -1");
}

// ---- Export.

// A work folder holding an accepted import and the sample solution, and a
// copy of the DAE folder to write into.
struct ExportSetup {
  TempDir work, dir;
  fs::path dae;
  ExportSetup() {
    dae = dir / "dae";
    fs::copy(ExamplesDir() / "dae", dae, fs::copy_options::recursive);
    CommandResult r = RunCli(Import(work.path(), "--levels " + Q(ExamplesDir() / "levels.csv")));
    EXPECT_EQ(r.exitCode, 0) << r.out;
    fs::copy_file(ExamplesDir() / "solution" / "SOLUC.DBF", work / "SOLUC.DBF");
  }
  std::string Export(const std::string& extra = "") const {
    return "export --dae " + Q(dae) + " --work " + Q(work.path()) + " " + extra;
  }
};

TEST(CliExport, FirstExportAsksNothingAndEndsWithResultOne) {
  ExportSetup s;
  CommandResult r = RunCli(s.Export());
  EXPECT_EQ(LastLine(r.out), "resultado: 1") << r.out;
  EXPECT_EQ(r.out.find("Exportación Anterior"), std::string::npos) << r.out;
  if (HasLine(r.out, "Proceso finalizado")) {
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(fs::exists(s.dae / "fCUADROS.txt"));
  } else {
    EXPECT_TRUE(HasLine(
        r.out, testsupport::AsPrinted("!!ATENCIÓN!! El Proceso NO ha finalizado Correctamente")));
    EXPECT_EQ(r.exitCode, 3) << "finished, but without the file";
  }
  EXPECT_EQ(r.out.find('\r'), std::string::npos) << "carriage returns must become lines";
}

TEST(CliExport, SecondExportKeepsOrStartsAfresh) {
  ExportSetup s;
  ASSERT_EQ(LastLine(RunCli(s.Export()).out), "resultado: 1");

  CommandResult kept = RunCli(s.Export());
  // The keep question is printed line by line and answered Yes; then the
  // question about going straight to the coding is answered No.
  EXPECT_NE(kept.out.find("Si Conserva los Datos de la Exportación Anterior,\n"
                          "estos se ajustarán a los cambios hechos en el horario,\n"),
            std::string::npos)
      << kept.out;
  EXPECT_NE(kept.out.find("¿Desea Conservar los Datos de la Exportación Anterior?\n"
                          "respuesta: Sí\n"),
            std::string::npos)
      << kept.out;
  EXPECT_NE(kept.out.find("pulse NO.\nrespuesta: No\n"), std::string::npos) << kept.out;

  CommandResult codes = RunCli(s.Export("--codes-only"));
  EXPECT_NE(codes.out.find("pulse NO.\nrespuesta: Sí\n"), std::string::npos) << codes.out;

  CommandResult fresh = RunCli(s.Export("--fresh"));
  EXPECT_NE(fresh.out.find("Anterior?\nrespuesta: No\n"), std::string::npos) << fresh.out;
  EXPECT_EQ(fresh.out.find("Codificación DAE"), std::string::npos) << fresh.out;
  EXPECT_EQ(LastLine(fresh.out), "resultado: 1");
}

// A subject code typed into a record in the coding window (here written
// into CUADROH2 as the window stores it) stays through an export that keeps
// the previous one, in the table and in fCUADROS.txt; an export started
// afresh takes the code from ASIGNOMT again.
TEST(CliExport, TypedSubjectCodeSurvivesAKeptExport) {
  ExportSetup s;
  const std::string documents = "--documents " + Q(ExamplesDir() / "documents.csv");
  ASSERT_EQ(RunCli(s.Export(documents)).exitCode, 0);
  const std::string first = testsupport::ReadFile(s.dae / "fCUADROS.txt");
  auto Count = [](const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  };
  std::string key, typed, before;
  {
    store::Table codes;
    codes.SetDatabaseName(s.work.path());
    codes.SetTableName("daeASIGNAT");
    codes.SetReadOnly(true);
    codes.Open();
    store::Table h2;
    h2.SetDatabaseName(s.work.path());
    h2.SetTableName("CUADROH2");
    h2.Open();
    h2.First();
    ASSERT_FALSE(h2.Eof());
    key = h2.FieldByName("PROF_DIA_SES").AsString();
    before = h2.FieldByName("CODASIG").AsString();
    for (codes.First(); !codes.Eof() && typed.empty(); codes.Next())
      if (codes.FieldByName("COD").AsString() != before) typed = codes.FieldByName("COD").AsString();
    ASSERT_FALSE(typed.empty());
    h2.Edit();
    h2.FieldByName("CODASIG").SetAsString(typed);
    h2.Post();
  }
  const int firstCount = Count(first, typed);
  auto codeOf = [&] {
    store::Table h2;
    h2.SetDatabaseName(s.work.path());
    h2.SetTableName("CUADROH2");
    h2.SetIndexName("PROF_DIA_SES");
    h2.SetReadOnly(true);
    h2.Open();
    return h2.FindKey(key) ? h2.FieldByName("CODASIG").AsString() : std::string("<falta>");
  };
  CommandResult kept = RunCli(s.Export(documents));
  ASSERT_EQ(kept.exitCode, 0) << kept.out;
  EXPECT_EQ(codeOf(), typed);
  // The file carries the code once more than before it was typed.
  EXPECT_EQ(Count(testsupport::ReadFile(s.dae / "fCUADROS.txt"), typed), firstCount + 1);

  CommandResult fresh = RunCli(s.Export("--fresh " + documents));
  ASSERT_EQ(fresh.exitCode, 0) << fresh.out;
  EXPECT_EQ(codeOf(), before);
}

TEST(CliExport, MissingCentreNeedsCentreValues) {
  ExportSetup s;
  store::DeleteFileNoCase(s.work.path(), "daeCENTRO.DBF");
  CommandResult without = RunCli(s.Export());
  EXPECT_EQ(without.exitCode, 1);
  EXPECT_NE(without.out.find("--centre"), std::string::npos) << without.out;
  EXPECT_EQ(LastLine(without.out), "resultado: 0");
  EXPECT_FALSE(fs::exists(store::ResolveFileNoCase(s.work.path(), "CUADROH2.DBF")));

  // The aborted export left the centre table created empty; as in the
  // window, an existing centre table is not asked for again, and the values
  // given are reported unused.
  CommandResult again = RunCli(s.Export("--centre 012345,2024,1"));
  EXPECT_NE(again.out.find("no se han usado los datos de --centre"), std::string::npos)
      << again.out;
  EXPECT_EQ(ShowColumn(s.work.path(), "daeCENTRO", "CODCENTRO"),
            std::vector<std::string>{});

  store::DeleteFileNoCase(s.work.path(), "daeCENTRO.DBF");
  CommandResult with = RunCli(s.Export("--centre 012345,2024,1"));
  EXPECT_EQ(with.out.find("no se han usado"), std::string::npos) << with.out;
  EXPECT_EQ(LastLine(with.out), "resultado: 1") << with.out;
  EXPECT_EQ(ShowColumn(s.work.path(), "daeCENTRO", "CODCENTRO"),
            std::vector<std::string>{"012345"});
  EXPECT_TRUE(fs::exists(store::ResolveFileNoCase(s.work.path(), "CUADROH2.DBF")));
}

TEST(CliExport, MissingFolder) {
  TempDir work;
  CommandResult r = RunCli("export --dae " + Q(work / "no") + " --work " + Q(work.path()));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "No existe la carpeta\n" + store::PathText(work / "no") + "\nresultado: 0\n");
}

// ---- Show.

// A table with a value that needs quotes, a deleted record and an index tag.
void MakeShowTable(const fs::path& work) {
  store::Table t;
  t.SetDatabaseName(work);
  t.SetTableName("MUESTRA.DBF");
  store::FieldDef cod{"COD", store::FieldType::String, 4};
  store::FieldDef nom{"NOMBRE", store::FieldType::String, 20};
  store::FieldDef num{"NUM", store::FieldType::Integer, 4};
  t.FieldDefsList() = {cod, nom, num};
  t.IndexDefsList() = {store::IndexDef{"COD", "COD"}};
  t.CreateTable();
  t.Open();
  t.AppendValues({std::string("C"), std::string("Pe\xF1" "a, \"la\""), 3});
  t.AppendValues({std::string("A"), std::string("borrada"), 1});
  t.AppendValues({std::string("B"), std::string("uno;dos"), 2});
  t.First();
  t.Next();
  ASSERT_EQ(t.FieldByName("COD").AsString(), "A");
  t.Delete();
  t.Close();
}

TEST(CliShow, PrintsCsvWithoutDeletedRecords) {
  TempDir work;
  MakeShowTable(work.path());
  CommandResult r = RunCli("show muestra --work " + Q(work.path()));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "COD,NOMBRE,NUM\n"
            "C,\"Peña, \"\"la\"\"\",3\n"
            "B,\"uno;dos\",2\n");
  CommandResult tagged = RunCli("show MUESTRA --tag COD --work " + Q(work.path()));
  EXPECT_EQ(tagged.exitCode, 0) << tagged.err;
  EXPECT_EQ(tagged.out,
            "COD,NOMBRE,NUM\n"
            "B,\"uno;dos\",2\n"
            "C,\"Peña, \"\"la\"\"\",3\n");
}

TEST(CliShow, MissingTableOrTagIsAnError) {
  TempDir work;
  CommandResult r = RunCli("show NADA --work " + Q(work.path()));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("No existe la tabla NADA"), std::string::npos) << r.err;
  MakeShowTable(work.path());
  CommandResult t = RunCli("show MUESTRA --tag NOMBRE --work " + Q(work.path()));
  EXPECT_EQ(t.exitCode, 1);
  EXPECT_EQ(t.out, "");
  EXPECT_NE(t.err, "");
}

}  // namespace
