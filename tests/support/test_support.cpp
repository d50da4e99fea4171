#include "tests/support/test_support.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

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
  if (!f) throw std::runtime_error("cannot write " + path.string());
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + path.string());
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

CommandResult RunCommand(const std::string& commandLine) {
  TempDir tmp;
  fs::path out = tmp / "out", err = tmp / "err";
  std::string full = "( " + commandLine + " ) >" + ShellQuote(out.string()) +
                     " 2>" + ShellQuote(err.string()) + " </dev/null";
  int status = std::system(full.c_str());
  CommandResult r;
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = ReadFile(out);
  r.err = ReadFile(err);
  return r;
}

fs::path SourceDir() { return fs::path(TRANSDAE_SOURCE_DIR); }

std::string CliPath() {
  if (const char* p = std::getenv("TRANSDAE_CLI")) return p;
  return (fs::path(TRANSDAE_BINARY_DIR) / "transdae-cli").string();
}

fs::path ExamplesDir() { return SourceDir() / "examples"; }

CommandResult RunCli(const std::string& arguments) {
  return RunCommand(ShellQuote(CliPath()) + " " + arguments);
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
    const std::string name = it->path().filename().string();
    if (name.rfind(".transdae-", 0) == 0 && name.size() > 14 &&
        name.compare(name.size() - 4, 4, ".tmp") == 0)
      out.push_back(name);
  }
  return out;
}

NoMoreFiles::NoMoreFiles() {
  struct rlimit old {};
  if (getrlimit(RLIMIT_NOFILE, &old) != 0) throw std::runtime_error("getrlimit");
  oldCur_ = old.rlim_cur;
  oldMax_ = old.rlim_max;
  const int next = ::dup(0);  // the lowest free descriptor
  if (next < 0) throw std::runtime_error("dup");
  ::close(next);
  struct rlimit small = old;
  small.rlim_cur = static_cast<rlim_t>(next);
  if (setrlimit(RLIMIT_NOFILE, &small) != 0) throw std::runtime_error("setrlimit");
}

NoMoreFiles::~NoMoreFiles() {
  struct rlimit old {};
  old.rlim_cur = static_cast<rlim_t>(oldCur_);
  old.rlim_max = static_cast<rlim_t>(oldMax_);
  setrlimit(RLIMIT_NOFILE, &old);
}

}  // namespace testsupport
