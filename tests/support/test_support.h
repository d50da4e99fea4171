// Helpers shared by the test suites: temporary folders, files, commands.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the system's temporary folder, removed afterwards.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

void WriteFile(const std::filesystem::path& path, const std::string& bytes);
std::string ReadFile(const std::filesystem::path& path);

struct CommandResult {
  int exitCode = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};
// Runs a shell command line; captures both streams.
CommandResult RunCommand(const std::string& commandLine);
// Quotes a text for the shell.
std::string ShellQuote(const std::string& text);

// The source tree (for examples/ and tests/tools/).
std::filesystem::path SourceDir();
// The batch front end built beside the tests.
std::string CliPath();
// The sample school's folder (examples/ of the source tree).
std::filesystem::path ExamplesDir();
// Runs the batch front end with arguments already quoted for the shell.
CommandResult RunCli(const std::string& arguments);

// Lines of a text, split at '\n' (a final empty piece dropped).
std::vector<std::string> SplitLines(const std::string& text);

// Names in `folder` that are the tool's temporary files (".transdae-....tmp").
std::vector<std::string> TempFilesIn(const std::filesystem::path& folder);

// While it lives, the process can open no further file (the limit of open
// descriptors is set to the ones already open): every open fails EMFILE.
class NoMoreFiles {
 public:
  NoMoreFiles();
  ~NoMoreFiles();
  NoMoreFiles(const NoMoreFiles&) = delete;
  NoMoreFiles& operator=(const NoMoreFiles&) = delete;

 private:
  unsigned long long oldCur_ = 0, oldMax_ = 0;
};

}  // namespace testsupport
