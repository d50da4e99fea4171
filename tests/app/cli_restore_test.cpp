// transdae-cli restore over the sample school, and the exit statuses of the
// batch front end.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/child_holder.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::CommandResult;
using testsupport::ReadFile;
using testsupport::ShellQuote;
using testsupport::TempDir;
using testsupport::WriteFile;

using testsupport::ExamplesDir;
std::string Q(const fs::path& p) { return ShellQuote(p.string()); }

using testsupport::RunCli;

CommandResult Import(const fs::path& work, const std::string& lang,
                     const fs::path& dae = ExamplesDir() / "dae") {
  return RunCli("import --dae " + Q(dae) + " --work " + Q(work) + " --lang " + lang +
             " --levels " + Q(ExamplesDir() / "levels.csv"));
}

// The product's tables in the work folder, file by file.
std::map<std::string, std::string> ProductTables(const fs::path& work) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::directory_iterator(work)) {
    const std::string name = e.path().filename().string();
    for (const char* t : {"ASIGNOMT.", "PROFT.", "GRUPOST."})
      if (name.rfind(t, 0) == 0) out[name] = ReadFile(e.path());
  }
  return out;
}

std::vector<std::string> CopyFolders(const fs::path& work) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(work / "COPIAS"))
    out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

TEST(CliRestore, ImportTwiceRestoreTheFirstAndUndoTheRestore) {
  TempDir work;
  ASSERT_EQ(Import(work.path(), "EUSKERA").exitCode, 0);
  const auto first = ProductTables(work.path());
  ASSERT_EQ(first.size(), 4u) << "three tables, PROFT with its index";
  ASSERT_EQ(Import(work.path(), "CASTELLANO").exitCode, 0);
  const auto second = ProductTables(work.path());
  ASSERT_NE(second, first);
  const std::vector<std::string> folders = CopyFolders(work.path());
  ASSERT_EQ(folders.size(), 1u) << "the first import had nothing to keep";

  CommandResult list = RunCli("restore --list --work " + Q(work.path()));
  EXPECT_EQ(list.exitCode, 0) << list.err;
  EXPECT_NE(list.out.find(folders[0]), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("tablas: ASIGNOMT PROFT GRUPOST"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("profesores: 10  asignaturas: 17  grupos: 8"), std::string::npos)
      << list.out;
  EXPECT_EQ(ProductTables(work.path()), second) << "--list changes nothing";

  // restore alone puts back the newest copy: the tables before the second import.
  CommandResult back = RunCli("restore --work " + Q(work.path()));
  EXPECT_EQ(back.exitCode, 0) << back.out << back.err;
  EXPECT_EQ(ProductTables(work.path()), first);
  const std::vector<std::string> after = CopyFolders(work.path());
  ASSERT_EQ(after.size(), 2u);
  EXPECT_NE(back.out.find("restore --from " + after[1]), std::string::npos) << back.out;

  // Undone by putting back what it replaced, named by its number.
  CommandResult undo = RunCli("restore --from " + after[1].substr(0, 6) + " --work " +
                           Q(work.path()));
  EXPECT_EQ(undo.exitCode, 0) << undo.out << undo.err;
  EXPECT_EQ(ProductTables(work.path()), second);
  // The tables read back as tables.
  CommandResult show = RunCli("show PROFT --work " + Q(work.path()) + " --tag ABREV");
  EXPECT_EQ(show.exitCode, 0) << show.err;
}

TEST(CliRestore, RefusedWhileATableIsHeldAndForAnUnknownCopy) {
  TempDir work;
  ASSERT_EQ(Import(work.path(), "EUSKERA").exitCode, 0);
  ASSERT_EQ(Import(work.path(), "CASTELLANO").exitCode, 0);
  const auto before = ProductTables(work.path());
  {
    testsupport::FileHolder holder(work / "GRUPOST.DBF", testsupport::Sharing::Shared);
    ASSERT_TRUE(holder.held());
    CommandResult r = RunCli("restore --work " + Q(work.path()));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("'GRUPOST.DBF'"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("en uso por otro programa"), std::string::npos) << r.err;
  }
  EXPECT_EQ(ProductTables(work.path()), before);
  EXPECT_EQ(CopyFolders(work.path()).size(), 1u);
  CommandResult r = RunCli("restore --from 999 --work " + Q(work.path()));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("No hay ninguna copia \"999\""), std::string::npos) << r.err;
  EXPECT_EQ(RunCli("restore --list --from 1").exitCode, 2);
  TempDir empty;
  r = RunCli("restore --work " + Q(empty.path()));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("No hay ninguna copia de las tablas"), std::string::npos) << r.err;
}

// ---- Exit statuses.

fs::path DaeWith(const TempDir& dir, const std::string& leaveOut) {
  for (const auto& e : fs::directory_iterator(ExamplesDir() / "dae"))
    if (e.path().filename() != leaveOut) fs::copy(e.path(), dir / e.path().filename().string());
  return dir.path();
}

TEST(CliExitStatus, FinishedIncompleteErrorAndUsage) {
  struct Case {
    const char* what;
    std::function<CommandResult(const fs::path& work)> run;
    int status;
  };
  const std::vector<Case> cases = {
      {"import complete", [](const fs::path& w) { return Import(w, "EUSKERA"); }, 0},
      {"import with fPROFES.txt missing",
       [](const fs::path& w) {
         TempDir dae;
         return Import(w, "EUSKERA", DaeWith(dae, "fPROFES.txt"));
       },
       3},
      {"import whose subjects run out of codes",
       [](const fs::path& w) {
         TempDir dae;
         DaeWith(dae, "");
         const std::string all = ReadFile(dae / "fASIGNAT.txt");
         const std::string line = all.substr(0, all.find('\n') + 1);
         std::string many;
         for (int i = 0; i < 120; ++i) many += line;
         WriteFile(dae / "fASIGNAT.txt", many);
         return Import(w, "EUSKERA", dae.path());
       },
       3},
      {"export without the documents: no fCUADROS.txt",
       [](const fs::path& w) {
         Import(w, "EUSKERA");
         fs::copy(ExamplesDir() / "solution" / "SOLUC.DBF", w / "SOLUC.DBF");
         TempDir dae;
         CommandResult r = RunCli("export --dae " + Q(dae.path()) + " --work " + Q(w));
         EXPECT_FALSE(fs::exists(dae / "fCUADROS.txt"));
         return r;
       },
       3},
      {"export complete",
       [](const fs::path& w) {
         Import(w, "EUSKERA");
         fs::copy(ExamplesDir() / "solution" / "SOLUC.DBF", w / "SOLUC.DBF");
         TempDir dae;
         CommandResult r = RunCli("export --dae " + Q(dae.path()) + " --work " + Q(w) +
                               " --documents " + Q(ExamplesDir() / "documents.csv"));
         EXPECT_TRUE(fs::exists(dae / "fCUADROS.txt"));
         return r;
       },
       0},
      {"import into a work folder that is a file",
       [](const fs::path& w) {
         WriteFile(w / "archivo", "x");
         return Import(w / "archivo", "EUSKERA");
       },
       1},
      {"usage", [](const fs::path&) { return RunCli("import --work x"); }, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir work;
    CommandResult r = c.run(work.path());
    EXPECT_EQ(r.exitCode, c.status) << r.out << r.err;
  }
}

}  // namespace
