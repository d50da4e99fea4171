// The test harness's own parts that the suites lean on: starting another
// program with its arguments intact (Unicode ones included), its streams
// and exit status, and another program holding a file or a table. Run on
// Linux and under Wine alike.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "store/path_text.h"
#include "store/store_error.h"
#include "store/table.h"
#include "tests/support/child_holder.h"
#include "tests/support/child_process.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using testsupport::ChildProcess;
using testsupport::CommandResult;
using testsupport::HolderPath;
using testsupport::OpenOutcome;
using testsupport::OtherProgramOpens;
using testsupport::RunProgram;
using testsupport::Sharing;
using Strings = std::vector<std::string>;

namespace {

TEST(ShellWords, SplitAsTheShellQuotes) {
  struct Case {
    std::string line;
    Strings words;
  } cases[] = {
      {"", {}},
      {"  a  b\tc ", {"a", "b", "c"}},
      {"'C:\\Curso 2024-25\\Año' x", {"C:\\Curso 2024-25\\Año", "x"}},
      {"''", {""}},
      {"a'b c'd", {"ab cd"}},
      {"'it'\\''s'", {"it's"}},
      {"\"say \\\"hi\\\" \\\\ \\n\"", {"say \"hi\" \\ \\n"}},
      {"a\\ b", {"a b"}},
  };
  for (const Case& c : cases) EXPECT_EQ(testsupport::SplitShellWords(c.line), c.words) << c.line;
  EXPECT_THROW(testsupport::SplitShellWords("'open"), std::invalid_argument);
  // What ShellQuote makes, SplitShellWords takes back.
  for (const std::string s : {"plain", "", "a b", "it's", "\"q\"", "back\\slash\\", "Año ñ"})
    EXPECT_EQ(testsupport::SplitShellWords(testsupport::ShellQuote(s)), Strings{s});
}

TEST(WindowsCommandLine, QuotesOnlyWhatNeedsIt) {
  struct Case {
    Strings args;
    std::string line;
  } cases[] = {
      {{"a", "b"}, "a b"},
      {{""}, "\"\""},
      {{"C:\\Curso 2024-25\\Año"}, "\"C:\\Curso 2024-25\\Año\""},
      {{"C:\\dir\\"}, "C:\\dir\\"},
      {{"C:\\my dir\\"}, "\"C:\\my dir\\\\\""},
      {{"say \"hi\""}, "\"say \\\"hi\\\"\""},
      {{"a\\\"b"}, "\"a\\\\\\\"b\""},
      {{"tab\there"}, "\"tab\there\""},
  };
  for (const Case& c : cases) EXPECT_EQ(testsupport::WindowsCommandLine(c.args), c.line);
}

// Arguments that a careless quoting or a trip through the ANSI code page
// would change.
const Strings kAwkward = {"plain",        "",          "two words",   "C:\\Curso 2024-25\\Año",
                          "trailing\\",   "sp ace\\",  "q\"uote",     "\\\"",
                          "ñáéíóúü€",     "it's",      "*?",          "%PATH%",
                          "tab\tinside",  "-flag=1",   "漢字"};

TEST(RunProgram, HandsEveryArgumentOverUnchanged) {
  Strings args = {"echo"};
  args.insert(args.end(), kAwkward.begin(), kAwkward.end());
  const CommandResult r = RunProgram(HolderPath(), args);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::string expected;
  for (const std::string& a : kAwkward) expected += a + "\n";
  EXPECT_EQ(r.out, expected);
  EXPECT_EQ(r.err, "fin\n");
}

TEST(RunProgram, FeedsInputAndKeepsEveryByte) {
  // More than a pipe holds, with the bytes a text mode would change.
  std::string input;
  for (int i = 0; i < 200000; ++i) input += static_cast<char>(i % 256);
  input += "\r\n\x1a\n";
  const CommandResult r = RunProgram(HolderPath(), {"cat"}, input);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out.size(), input.size());
  EXPECT_TRUE(r.out == input);
}

TEST(RunProgram, ReportsTheExitStatus) {
  for (int status : {0, 1, 2, 37}) EXPECT_EQ(RunProgram(HolderPath(), {"exit", std::to_string(status)}).exitCode, status);
  EXPECT_THROW(RunProgram((fs::path(HolderPath()).parent_path() / "no-such-program").string(), {}),
               std::runtime_error);
}

TEST(RunCommand, RunsALineQuotedForTheShell) {
  const CommandResult r = testsupport::RunCommand(testsupport::ShellQuote(HolderPath()) +
                                                  " echo 'dos palabras' \"Año\"");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "dos palabras\nAño\n");
}

TEST(ChildProcess, TalksLineByLineAndCanBeKilled) {
  {
    ChildProcess p(HolderPath(), {"cat"});
    EXPECT_GT(p.Id(), 0);
    p.Write("uno\r\ndos\n");
    std::string line;
    ASSERT_TRUE(p.ReadLine(line));
    EXPECT_EQ(line, "uno");
    ASSERT_TRUE(p.ReadLine(line));
    EXPECT_EQ(line, "dos");
    p.CloseInput();
    EXPECT_FALSE(p.ReadLine(line));
    EXPECT_EQ(p.Wait(), 0);
  }
  ChildProcess p(HolderPath(), {"cat"});
  p.Kill();
  EXPECT_EQ(p.Wait(), -1);
}

class Holders : public ::testing::Test {
 protected:
  void SetUp() override {
    store::Table t;
    t.SetDatabaseName(dir_.path());
    t.SetTableName("PROFT");
    store::FieldDef d;
    d.name = "ABREV";
    d.width = 4;
    t.FieldDefsList().push_back(d);
    t.CreateTable();
  }
  fs::path Dbf() const { return dir_ / "PROFT.DBF"; }
  // The store's view: the text of the error of opening the table, or "".
  std::string OpenError(bool exclusive) {
    store::Table t;
    t.SetDatabaseName(dir_.path());
    t.SetTableName("PROFT");
    t.SetExclusive(exclusive);
    try {
      t.Open();
    } catch (const store::StoreError& e) {
      return e.what();
    }
    return "";
  }
  testsupport::TempDir dir_;
};

TEST_F(Holders, AFileHeldExclusivelyKeepsOthersOutUntilLetGo) {
  testsupport::FileHolder holder(Dbf(), Sharing::Exclusive);
  ASSERT_TRUE(holder.held()) << holder.report().line;
  EXPECT_EQ(OtherProgramOpens(Dbf(), Sharing::Shared), OpenOutcome::Busy);
  EXPECT_EQ(OtherProgramOpens(Dbf(), Sharing::Exclusive), OpenOutcome::Busy);
  testsupport::FileHolder second(Dbf(), Sharing::Shared);
  EXPECT_TRUE(second.report().busy()) << second.report().line;
  EXPECT_NE(OpenError(false), "");
  holder.Release();
  EXPECT_EQ(OtherProgramOpens(Dbf(), Sharing::Exclusive), OpenOutcome::Opened);
  EXPECT_EQ(OpenError(true), "");
}

TEST_F(Holders, AFileHeldSharedLetsOtherSharersIn) {
  testsupport::FileHolder holder(Dbf(), Sharing::Shared);
  ASSERT_TRUE(holder.held()) << holder.report().line;
  EXPECT_EQ(OtherProgramOpens(Dbf(), Sharing::Shared), OpenOutcome::Opened);
  EXPECT_EQ(OtherProgramOpens(Dbf(), Sharing::Exclusive), OpenOutcome::Busy);
  EXPECT_NE(OpenError(true), "");
}

TEST_F(Holders, ATableHeldByAnotherRunOfTheTool) {
  {
    testsupport::TableHolder holder(dir_.path(), "PROFT", Sharing::Exclusive);
    ASSERT_TRUE(holder.held()) << holder.report().line;
    EXPECT_EQ(OtherProgramOpens(Dbf(), Sharing::Shared), OpenOutcome::Busy);
    EXPECT_NE(OpenError(false), "");
  }
  EXPECT_EQ(OtherProgramOpens(Dbf(), Sharing::Exclusive), OpenOutcome::Opened);
  testsupport::TableHolder missing(dir_.path(), "NADA", Sharing::Shared);
  EXPECT_FALSE(missing.held());
  EXPECT_NE(missing.report().line.find("NADA"), std::string::npos) << missing.report().line;
}

TEST_F(Holders, AFolderWithUnicodeInItsName) {
  const fs::path folder = dir_.path() / store::PathFromText("Curso 2024-25 Año ñ");
  fs::create_directory(folder);
  fs::copy_file(Dbf(), folder / "PROFT.DBF");
  testsupport::FileHolder holder(folder / "PROFT.DBF", Sharing::Exclusive);
  EXPECT_TRUE(holder.held()) << holder.report().line;
  EXPECT_EQ(OtherProgramOpens(folder / "PROFT.DBF", Sharing::Shared), OpenOutcome::Busy);
}

}  // namespace
