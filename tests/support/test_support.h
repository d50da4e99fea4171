// Helpers shared by the test suites: temporary folders, files, commands.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

// The independent readers (python3-dbf and Perl's XBase) are Linux
// programs: a test that needs one starts with SKIP_WITHOUT_READERS(), and
// under Windows it is skipped with the reason.
#ifdef _WIN32
#define SKIP_WITHOUT_READERS() \
  GTEST_SKIP() << "the independent readers (python3-dbf, Perl XBase) run on Linux only"
#else
#define SKIP_WITHOUT_READERS() static_cast<void>(0)
#endif

namespace testsupport {

// A fresh folder under the system's temporary folder, removed afterwards.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // A name inside: give non-ASCII names as store::PathFromText("Año"),
  // never as a plain std::string (which Windows reads in the ANSI code page).
  std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

void WriteFile(const std::filesystem::path& path, const std::string& bytes);
std::string ReadFile(const std::filesystem::path& path);

// Runs a command line; captures both streams, input empty. On POSIX the
// line goes to /bin/sh; on Windows there is no shell: the line is split
// into words by the shell's quoting rules (see SplitShellWords) and the
// first word is the program.
CommandResult RunCommand(const std::string& commandLine);
// Quotes a text for the shell (and for SplitShellWords).
std::string ShellQuote(const std::string& text);
// Quotes a path's UTF-8 text for the shell: never path.string(), which
// goes through the ANSI code page on Windows.
std::string QuotePath(const std::filesystem::path& path);

// The source tree (for examples/ and tests/tools/).
std::filesystem::path SourceDir();
// The batch front end built beside the tests.
std::string CliPath();
// The sample school's folder (examples/ of the source tree).
std::filesystem::path ExamplesDir();
// Runs the batch front end with arguments already quoted for the shell
// (split by SplitShellWords; no shell runs, on any system).
CommandResult RunCli(const std::string& arguments);
// Runs the batch front end with these arguments (UTF-8), as given. Its
// output is given back as UTF-8 (on Windows it writes redirected text in
// the console's code page: see program_environment.h); RunProgram gives the
// bytes as written.
CommandResult RunCli(const std::vector<std::string>& arguments);
// A text as RunCli gives it back after the batch front end printed it: on
// Windows the characters missing in the console's code page replaced.
std::string AsPrinted(const std::string& utf8);
// The bytes that the batch front end wrote to a pipe (ChildProcess), as
// UTF-8: on Windows they are in the console's code page.
std::string FromPrinted(const std::string& bytes);
// The test holder tool (tests/support/holder_main.cpp), see child_holder.h.
std::string HolderPath();

// Lines of a text, split at '\n' (a final empty piece dropped).
std::vector<std::string> SplitLines(const std::string& text);

// Names in `folder` that are the tool's temporary files (".transdae-....tmp").
std::vector<std::string> TempFilesIn(const std::filesystem::path& folder);

#ifndef _WIN32
// While it lives, the process can open no further file (the limit of open
// descriptors is set to the ones already open): every open fails EMFILE.
// POSIX only: Windows has no limit of open handles to lower.
class NoMoreFiles {
 public:
  NoMoreFiles();
  ~NoMoreFiles();
  NoMoreFiles(const NoMoreFiles&) = delete;
  NoMoreFiles& operator=(const NoMoreFiles&) = delete;

 private:
  unsigned long long oldCur_ = 0, oldMax_ = 0;
};
#endif

}  // namespace testsupport
