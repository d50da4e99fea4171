// What both systems share of starting a program of the build machine: the
// script, the files it leaves, and waiting for them.
#include "tests/support/host_program.h"

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/test_support.h"

namespace testsupport {

namespace fs = std::filesystem;

bool HostProgramsAvailable() { return os::HostProgramsAvailable(); }
std::string HostPath(const fs::path& path) { return os::HostPath(path); }

namespace {

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

HostProgram::HostProgram(const std::vector<std::string>& words) {
  if (words.empty()) throw std::runtime_error("no program to start");
  std::random_device rd;
  for (int i = 0; i < 100 && folder_.empty(); ++i) {
    const fs::path p = fs::temp_directory_path() / ("transdae-host-" + std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(p, ec)) folder_ = p;
  }
  if (folder_.empty()) throw std::runtime_error("cannot create a folder for a host program");
  const std::string dir = HostPath(folder_);
  std::string script = "cd / || exit 1\n";
  for (const std::string& w : words) script += ShellQuote(w) + " ";
  script += ">" + ShellQuote(dir + "/out") + " 2>" + ShellQuote(dir + "/err") + " </dev/null\n";
  // The status is written whole, then renamed: its presence means the end.
  script += "echo $? >" + ShellQuote(dir + "/status.part") + " && mv " +
            ShellQuote(dir + "/status.part") + " " + ShellQuote(dir + "/status") + "\n";
  WriteFile(folder_ / "run.sh", script);
  id_ = os::StartHostShell(dir + "/run.sh");
}

HostProgram::~HostProgram() {
  if (!finished_) Wait(std::chrono::seconds(30));
  std::error_code ec;
  fs::remove_all(folder_, ec);
}

bool HostProgram::Finished() {
  if (finished_) return true;
  std::error_code ec;
  if (!fs::exists(folder_ / "status", ec)) return false;
  os::ReapHostShell(id_);
  const std::string status = Slurp(folder_ / "status");
  exitCode_ = std::atoi(status.c_str());
  error_ = Slurp(folder_ / "err");
  output_ = Slurp(folder_ / "out");
  finished_ = true;
  return true;
}

bool HostProgram::Wait(std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!Finished()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

CommandResult RunHostProgram(const std::vector<std::string>& words, std::chrono::milliseconds limit) {
  HostProgram p(words);
  CommandResult r;
  if (!p.Wait(limit)) {
    r.err = "did not end in time";
    return r;
  }
  r.exitCode = p.ExitCode();
  r.out = p.Output();
  r.err = p.Error();
  return r;
}

}  // namespace testsupport
