// The result entry written on close: Dolvarin.ini beside the executable.
#include "app/result_entry.h"

#include <gtest/gtest.h>

#include "app/ini_file.h"
#include "app/program_environment.h"
#include "chain/error_report.h"
#include "store/path_text.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

TEST(ResultEntry, ExecutableFolderHoldsTheRunningProgram) {
  const fs::path exe = app::ExecutablePath();
  EXPECT_EQ(store::FileNameText(exe.stem()), "test_app") << store::PathText(exe);
  EXPECT_TRUE(fs::is_regular_file(exe)) << store::PathText(exe);
  fs::path folder = app::ExecutableFolder();
  EXPECT_EQ(folder, exe.parent_path());
  EXPECT_EQ(app::ResultIniPath(folder), folder / "Dolvarin.ini");
}

// The INI entry goes beside the executable wherever the program was
// started from: the current folder plays no part.
TEST(ResultEntry, ExecutableFolderIsNotTheCurrentFolder) {
  TempDir elsewhere;
  const fs::path before = fs::current_path();
  const fs::path expected = app::ExecutablePath().parent_path();
  fs::current_path(elsewhere.path());
  const fs::path folder = app::ExecutableFolder();
  fs::current_path(before);
  EXPECT_EQ(folder, expected);
  EXPECT_FALSE(fs::equivalent(folder, elsewhere.path()));
  EXPECT_TRUE(folder.is_absolute()) << store::PathText(folder);
}

TEST(ResultEntry, StandAloneWritesNothingWhateverTheResult) {
  TempDir exe;
  chain::ProcessState state;
  state.resultCode = 1;
  EXPECT_EQ(app::CloseStep(state, exe.path()), "");
  EXPECT_FALSE(fs::exists(exe / "Dolvarin.ini"));
}

TEST(ResultEntry, EmbeddedWritesTheCodeAndKeepsTheRest) {
  TempDir exe;
  const std::string before =
      "[General]\r\nIdioma=EUS\r\n\r\n[Transformadores]\r\nTransformado=1\r\n"
      "Horario=3\r\n";
  WriteFile(exe / "Dolvarin.ini", before);
  chain::ProcessState state;
  state.embedded = true;
  for (int code : {-1, 0, 1}) {
    state.resultCode = code;
    EXPECT_EQ(app::CloseStep(state, exe.path()), "");
    EXPECT_EQ(ReadFile(exe / "Dolvarin.ini"),
              "[General]\r\nIdioma=EUS\r\n\r\n[Transformadores]\r\nTransformado=" +
                  std::to_string(code) + "\r\nHorario=3\r\n");
  }
}

TEST(ResultEntry, EmbeddedCreatesAMissingFile) {
  TempDir exe;
  chain::ProcessState state;
  state.embedded = true;
  state.resultCode = -1;
  EXPECT_EQ(app::CloseStep(state, exe.path()), "");
  EXPECT_EQ(ReadFile(exe / "Dolvarin.ini"), "[Transformadores]\r\nTransformado=-1\r\n");
}

TEST(ResultEntry, FailedWriteIsReturnedNotThrown) {
  TempDir exe;
  WriteFile(exe / "Dolvarin.ini", "[Transformadores]\r\nTransformado=0\r\n");
  // Read-only (on Windows: the read-only attribute).
  fs::permissions(exe / "Dolvarin.ini",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  chain::ProcessState state;
  state.embedded = true;
  state.resultCode = 1;
  std::string text;
  EXPECT_NO_THROW(text = app::CloseStep(state, exe.path()));
  EXPECT_NE(text.find(store::PathText(exe / "Dolvarin.ini")), std::string::npos) << text;
  EXPECT_EQ(text.rfind("No se puede escribir en ", 0), 0u) << text;
  EXPECT_EQ(ReadFile(exe / "Dolvarin.ini"), "[Transformadores]\r\nTransformado=0\r\n");

  // The text is the one the general error report would show for the error.
  try {
    app::WriteResultEntry(exe / "no-such-folder", 1);
    FAIL() << "no error";
  } catch (const app::IniError& e) {
    EXPECT_EQ(app::CloseStep(state, exe / "no-such-folder"),
              chain::ErrorReportText(e.what()));
  }
  fs::permissions(exe / "Dolvarin.ini", fs::perms::owner_write, fs::perm_options::add);
}

}  // namespace
