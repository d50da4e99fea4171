// The batch front end as another program starts it: arguments and the
// QTEMP variable naming folders with characters of no single code page,
// its output read through a pipe, and the Windows errors of files that
// another program holds, in Spanish and naming the file.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include "store/path_text.h"
#include "tests/support/child_holder.h"
#include "tests/support/child_process_os.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using store::PathFromText;
using store::PathText;
using testsupport::AsPrinted;
using testsupport::CommandResult;
using testsupport::ExamplesDir;
using testsupport::RunCli;
using testsupport::TempDir;

// A work folder and a DAE folder (a copy of the sample school's) whose
// names no single code page holds.
struct Folders {
  TempDir dir;
  fs::path work = dir.path() / PathFromText("Curso 2024-25 Año ő");
  fs::path dae = dir.path() / PathFromText("DAE ñandú Ω");
  Folders() {
    fs::create_directory(work);
    fs::copy(ExamplesDir() / "dae", dae, fs::copy_options::recursive);
  }
  std::vector<std::string> Import(const std::string& language = "EUSKERA") const {
    return {"import", "--dae", PathText(dae), "--work", PathText(work), "--lang", language,
            "--levels", PathText(ExamplesDir() / "levels.csv")};
  }
};

// While it lives, QTEMP names `folder` (as the timetabling product sets it).
class QtempVariable {
 public:
  explicit QtempVariable(const fs::path& folder) {
#ifdef _WIN32
    SetEnvironmentVariableW(L"QTEMP", folder.c_str());
#else
    ::setenv("QTEMP", folder.c_str(), 1);
#endif
  }
  ~QtempVariable() {
#ifdef _WIN32
    SetEnvironmentVariableW(L"QTEMP", nullptr);
#else
    ::unsetenv("QTEMP");
#endif
  }
};

bool Contains(const std::string& text, const std::string& piece) {
  return text.find(piece) != std::string::npos;
}

TEST(CliUnicode, ImportExportAndRestoreWithFoldersNamedWithAnyCharacter) {
  Folders f;
  CommandResult r = RunCli(f.Import());
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_TRUE(fs::exists(f.work / "PROFT.DBF"));
  EXPECT_TRUE(fs::exists(f.work / "daeCENTRO.DBF"));

  fs::copy_file(ExamplesDir() / "solution" / "SOLUC.DBF", f.work / "SOLUC.DBF");
  r = RunCli({"export", "--dae", PathText(f.dae), "--work", PathText(f.work), "--documents",
              PathText(ExamplesDir() / "documents.csv")});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_TRUE(fs::is_regular_file(f.dae / "fCUADROS.txt"));

  // A second import keeps a copy of the tables it replaces; the list names
  // the copies' folder in UTF-8, lines ending in LF alone, on every system.
  r = RunCli(f.Import("CASTELLANO"));
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  r = RunCli({"restore", "--list", "--work", PathText(f.work)});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  // Printed to a pipe on Windows, the "ő" that the console's code page
  // lacks is replaced.
  EXPECT_TRUE(Contains(r.out, AsPrinted(PathText(f.work / "COPIAS")))) << r.out;
  EXPECT_TRUE(Contains(r.out, AsPrinted("Curso 2024-25 A\xC3\xB1o \xC5\x91"))) << r.out;
  EXPECT_FALSE(Contains(r.out, "\r")) << r.out;
  const std::string castellano = testsupport::ReadFile(f.work / "ASIGNOMT.DBF");
  r = RunCli({"restore", "--work", PathText(f.work)});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_TRUE(Contains(r.out, "Se han vuelto a poner las tablas")) << r.out;
  EXPECT_NE(testsupport::ReadFile(f.work / "ASIGNOMT.DBF"), castellano);
}

TEST(CliUnicode, WorkFolderFromQtempWithAnyCharacter) {
  Folders f;
  const QtempVariable qtemp(f.work);
  std::vector<std::string> args = f.Import();
  args.erase(args.begin() + 3, args.begin() + 5);  // no --work
  const CommandResult r = RunCli(args);
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_TRUE(fs::exists(f.work / "PROFT.DBF"));
  EXPECT_TRUE(fs::exists(f.work / "GRUPOST.DBF"));
}

TEST(CliUnicode, MessagesNameTheFolderAsGiven) {
  Folders f;
  const fs::path missing = f.dir.path() / PathFromText("No está ő");
  const CommandResult r = RunCli({"show", "PROFT", "--work", PathText(missing)});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(Contains(r.err, AsPrinted("No existe la tabla PROFT en " + PathText(missing))))
      << r.err;
}

#ifdef _WIN32
// On Windows a file that another program holds without sharing cannot be
// opened, replaced or deleted; the tool says so in Spanish, naming the file.
TEST(CliUnicode, WindowsFileHeldByAnotherProgramIsNamedInSpanish) {
  Folders f;
  {
    testsupport::FileHolder holder(f.dae / "fASIGNAT.txt", testsupport::Sharing::Exclusive);
    ASSERT_TRUE(holder.held()) << holder.report().line;
    const CommandResult r = RunCli(f.Import());
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, AsPrinted(PathText(f.dae / "fASIGNAT.txt")))) << r.out;
    EXPECT_TRUE(Contains(r.out, "otro programa")) << r.out;
  }
  ASSERT_EQ(RunCli(f.Import()).exitCode, 0);
  fs::copy_file(ExamplesDir() / "solution" / "SOLUC.DBF", f.work / "SOLUC.DBF");
  testsupport::WriteFile(f.dae / "fCUADROS.txt", "anterior\r\n");
  {
    testsupport::FileHolder holder(f.dae / "fCUADROS.txt", testsupport::Sharing::Exclusive);
    ASSERT_TRUE(holder.held()) << holder.report().line;
    const CommandResult r =
        RunCli({"export", "--dae", PathText(f.dae), "--work", PathText(f.work), "--documents",
                PathText(ExamplesDir() / "documents.csv")});
    EXPECT_NE(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, AsPrinted("No se ha podido escribir el archivo '" +
                                          PathText(f.dae / "fCUADROS.txt") + "'")))
        << r.out;
    EXPECT_TRUE(Contains(r.out, "otro programa")) << r.out;
  }
  EXPECT_EQ(testsupport::ReadFile(f.dae / "fCUADROS.txt"), "anterior\r\n");
}

// Folders typed with '/' ("--work C:/Curso") are shown with the system's
// separator, in every message.
TEST(CliUnicode, WindowsPathsAreShownWithBackslashes) {
  TempDir dir;
  auto slashed = [](const fs::path& p) {
    std::string text = PathText(p);
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
  };
  const fs::path work = dir / "No hay";
  CommandResult r = RunCli({"show", "PROFT", "--work", slashed(work)});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "transdae-cli: No existe la tabla PROFT en " + PathText(work) + "\n");
  r = RunCli({"import", "--dae", slashed(dir / "DAE"), "--work", slashed(work)});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "No existe la carpeta\n" + PathText(dir / "DAE") + "\nresultado: 0\n");
}

// Output redirected to a file (by the command interpreter) or to a pipe is
// in the console's code page, which `type` and `more` read it with:
// "importación" is "importaci\xA2n" in code pages 850 and 437, never the
// UTF-8 bytes that they would show as "importaci├│n".
TEST(CliUnicode, WindowsRedirectedOutputIsInTheConsolesCodePage) {
  const unsigned page = testsupport::os::RedirectedCodePage();
  if (page != 850 && page != 437) GTEST_SKIP() << "needs a console code page 850 or 437";
  const std::string expected = "Deshace una importaci\xA2n";
  // A pipe.
  const CommandResult piped = testsupport::RunProgram(testsupport::CliPath(), {"--help"});
  EXPECT_EQ(piped.exitCode, 0);
  EXPECT_TRUE(Contains(piped.out, expected)) << piped.out;
  EXPECT_FALSE(Contains(piped.out, "\xC3")) << "UTF-8 in the pipe";
  EXPECT_FALSE(Contains(piped.out, "\r\n")) << "lines end in LF alone";
  // A file, as "transdae-cli --help > ayuda.txt" in a console makes it.
  testsupport::TempDir dir;
  const fs::path file = dir / "ayuda.txt";
  std::string cli = testsupport::CliPath();
  std::replace(cli.begin(), cli.end(), '/', '\\');
  const CommandResult shell =
      testsupport::RunProgram("cmd.exe", {"/c", cli + " --help > " + PathText(file)});
  EXPECT_EQ(shell.exitCode, 0) << shell.out << shell.err;
  const std::string bytes = testsupport::ReadFile(file);
  EXPECT_EQ(bytes, piped.out);
  // And an error of the tool, on the error stream.
  const CommandResult missing = testsupport::RunProgram(
      testsupport::CliPath(), {"show", "PROFT", "--work", PathText(dir / PathFromText("No está"))});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_TRUE(Contains(missing.err, "No est\xA0")) << missing.err;
}
#endif

}  // namespace
