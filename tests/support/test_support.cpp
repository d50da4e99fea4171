#include "tests/support/test_support.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "store/path_text.h"
#include "tests/support/child_process_os.h"

namespace testsupport {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device rd;
  for (int i = 0; i < 100; ++i) {
    fs::path p = fs::temp_directory_path() /
                 ("transdae-test-" + std::to_string(::getpid()) + "-" +
                  std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = p;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  // Folders made read-only by a test must not stop the clean-up.
  for (auto it = fs::recursive_directory_iterator(path_, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) throw std::runtime_error("cannot write " + store::PathText(path));
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + store::PathText(path));
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += "'\\''";
    else out += c;
  }
  return out + "'";
}

std::string QuotePath(const fs::path& path) { return ShellQuote(store::PathText(path)); }

CommandResult RunCommand(const std::string& commandLine) {
  const std::vector<std::string> words = os::ShellCommand(commandLine);
  if (words.empty()) throw std::invalid_argument("empty command line");
  return RunProgram(words[0], {words.begin() + 1, words.end()});
}

fs::path SourceDir() { return store::PathFromText(TRANSDAE_SOURCE_DIR); }

std::string CliPath() {
  if (const char* p = std::getenv("TRANSDAE_CLI")) return p;
  return TRANSDAE_CLI_PATH;
}

std::string HolderPath() {
  if (const char* p = std::getenv("TRANSDAE_TEST_HOLDER")) return p;
  return TRANSDAE_HOLDER_PATH;
}

fs::path ExamplesDir() { return SourceDir() / "examples"; }

std::string AsPrinted(const std::string& utf8) { return os::ThroughRedirectedCodePage(utf8); }
std::string FromPrinted(const std::string& bytes) { return os::FromRedirectedText(bytes); }

CommandResult RunCli(const std::string& arguments) { return RunCli(SplitShellWords(arguments)); }

CommandResult RunCli(const std::vector<std::string>& arguments) {
  CommandResult r = RunProgram(CliPath(), arguments);
  r.out = os::FromRedirectedText(r.out);
  r.err = os::FromRedirectedText(r.err);
  return r;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string cur;
  for (char c : text) {
    if (c == '\n') {
      lines.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) lines.push_back(cur);
  return lines;
}

std::vector<std::string> TempFilesIn(const fs::path& folder) {
  std::vector<std::string> out;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = store::FileNameText(it->path());
    if (name.rfind(".transdae-", 0) == 0 && name.size() > 14 &&
        name.compare(name.size() - 4, 4, ".tmp") == 0)
      out.push_back(name);
  }
  return out;
}

}  // namespace testsupport
