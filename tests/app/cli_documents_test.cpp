// transdae-cli export --documents: teachers' documents typed into the coding
// window before "&Salir", as a user completes a teacher that the timetable
// added without one.
#include <string>

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::CommandResult;
using testsupport::ShellQuote;
using testsupport::TempDir;

using testsupport::ExamplesDir;
std::string Q(const fs::path& p) { return ShellQuote(p.string()); }
CommandResult Cli(const std::string& args) { return testsupport::RunCli(args); }

// A work folder with the sample school imported and its solution in place,
// and a copy of the DAE folder for the timetable file.
struct Exported {
  TempDir tmp;
  fs::path work = tmp / "QTEMP";
  fs::path dae = tmp / "DAE";
  Exported() {
    fs::create_directories(dae);
    for (const auto& e : fs::directory_iterator(ExamplesDir() / "dae"))
      fs::copy_file(e.path(), dae / e.path().filename());
    CommandResult r = Cli("import --dae " + Q(dae) + " --work " + Q(work) +
                          " --levels " + Q(ExamplesDir() / "levels.csv"));
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    fs::copy_file(ExamplesDir() / "solution" / "SOLUC.DBF", work / "SOLUC.DBF");
  }
  CommandResult Export(const std::string& extra) {
    return Cli("export --dae " + Q(dae) + " --work " + Q(work) + " " + extra);
  }
};

TEST(CliDocuments, MissingTeacherCompletedThenFileWritten) {
  Exported x;
  // Without documents the added teacher XYZ has none: no file.
  CommandResult first = x.Export("");
  EXPECT_EQ(first.exitCode, 3) << first.out;  // finished without the file
  EXPECT_NE(first.out.find(
                testsupport::AsPrinted("!!ATENCIÓN!! El Proceso NO ha finalizado Correctamente")),
            std::string::npos);
  EXPECT_FALSE(fs::exists(x.dae / "fCUADROS.txt"));

  testsupport::WriteFile(x.tmp / "docs.csv", "ABREV;TIPODNI;DNI\r\nXYZ;1;99999999R\r\n");
  CommandResult second = x.Export("--documents " + Q(x.tmp / "docs.csv"));
  EXPECT_EQ(second.exitCode, 0) << second.out << second.err;
  EXPECT_NE(second.out.find("Proceso finalizado"), std::string::npos);
  ASSERT_TRUE(fs::exists(x.dae / "fCUADROS.txt"));

  // The document reached every type 2 and type 3 line of XYZ's sessions.
  std::string file = testsupport::ReadFile(x.dae / "fCUADROS.txt");
  size_t type2 = 0, type3 = 0;
  for (const std::string& line : testsupport::SplitLines(file)) {
    if (line.rfind("2199999999R", 0) == 0) ++type2;
    if (line.size() > 22 && line[0] == '3' && line.substr(6, 16) == "199999999R      ")
      ++type3;
  }
  EXPECT_GT(type2, 0u);
  EXPECT_GT(type3, 0u);
  // And the teacher row keeps it.
  CommandResult prof = Cli("show PROFT --work " + Q(x.work));
  EXPECT_NE(prof.out.find("XYZ,,,99999999R,1"), std::string::npos) << prof.out;
}

TEST(CliDocuments, UnknownTeacherIsReportedAndSkipped) {
  Exported x;
  testsupport::WriteFile(x.tmp / "docs.csv",
                         "ABREV;TIPODNI;DNI\nQQQ;1;1\nXYZ;1;77777777A\n");
  CommandResult r = x.Export("--documents " + Q(x.tmp / "docs.csv"));
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("QQQ"), std::string::npos);
  EXPECT_TRUE(fs::exists(x.dae / "fCUADROS.txt"));
}

TEST(CliDocuments, MalformedFileIsAUsageErrorAndTouchesNothing) {
  const struct {
    const char* content;
    const char* expected;
  } cases[] = {
      {"", "falta la cabecera"},
      {"ABREV;DNI\nXYZ;1\n", "cabecera"},
      {"ABREV;TIPODNI;DNI\nXYZ;1\n", "3 valores"},
      {"ABREV;TIPODNI;DNI\nABCDE;1;123\n", "ABREV"},
      {"ABREV;TIPODNI;DNI\nXYZ;12;123\n", "TIPODNI"},
      {"ABREV;TIPODNI;DNI\nXYZ;1;1234567890123456\n", "DNI"},
      {"ABREV;TIPODNI;DNI\nXYZ;1;\n", "DNI"},
      {"ABREV;TIPODNI;DNI\nXYZ;1;1\nxyz;1;2\n", "repetido"},
      {"ABREV;TIPODNI;DNI\nXYZ;1;\xE2\x82\xAC\xE2\x98\x83\n", "1252"},
  };
  Exported x;
  for (const auto& c : cases) {
    testsupport::WriteFile(x.tmp / "docs.csv", c.content);
    CommandResult r = x.Export("--documents " + Q(x.tmp / "docs.csv"));
    EXPECT_EQ(r.exitCode, 2) << c.content;
    EXPECT_NE(r.err.find(c.expected), std::string::npos) << c.content << "\n" << r.err;
    EXPECT_FALSE(fs::exists(x.work / "CUADROH2.DBF")) << c.content;
  }
}

}  // namespace
