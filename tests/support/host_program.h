// Programs of the build machine (Linux) started from a test: xdotool, which
// types into the windows through the X server, and the independent dBase
// readers. A test built for Linux starts them as any program; a test built
// for Windows starts them only under Wine, which runs Unix programs but
// neither waits for them nor gives their exit status or streams. So both
// sides run the program through /bin/sh with a small script that sends its
// output to a file and writes its exit status to another file last; the
// test waits for that file.
#pragma once
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace testsupport {

// True where programs of the build machine can be started: on POSIX, and
// on Windows under Wine.
bool HostProgramsAvailable();

// The path as the build machine names it (under Wine, the Unix path of a
// Windows path); the path itself on POSIX.
std::string HostPath(const std::filesystem::path& path);

// One program of the build machine, started at once.
class HostProgram {
 public:
  // `words`: the program (a path, or a name looked up in PATH) and its
  // arguments, UTF-8; throws std::runtime_error when it cannot start.
  explicit HostProgram(const std::vector<std::string>& words);
  ~HostProgram();
  HostProgram(const HostProgram&) = delete;
  HostProgram& operator=(const HostProgram&) = delete;

  // True once the program has ended (does not wait).
  bool Finished();
  // Waits at most `limit` for the end; false when it has not come.
  bool Wait(std::chrono::milliseconds limit);
  // After Finished(): its exit status (127: not found) and its output,
  // standard output and error together.
  int ExitCode() const { return exitCode_; }
  const std::string& Output() const { return output_; }
  // Output only (standard error is kept apart when asked for).
  const std::string& Error() const { return error_; }

 private:
  std::filesystem::path folder_;  // the script and its files
  long id_ = -1;                  // the shell's process, POSIX only
  bool finished_ = false;
  int exitCode_ = -1;
  std::string output_, error_;
};

// Runs a program of the build machine to its end (at most `limit`);
// standard output and standard error apart. exitCode -1 when it did not
// end in time.
CommandResult RunHostProgram(const std::vector<std::string>& words,
                             std::chrono::milliseconds limit = std::chrono::minutes(2));

namespace os {
// The platform's halves of HostProgram (host_program_posix.cpp,
// host_program_win32.cpp): starts `/bin/sh script` (script a host path);
// gives back a process id to reap, or -1.
long StartHostShell(const std::string& script);
// Reaps the shell once its exit file is there (POSIX); nothing on Windows.
void ReapHostShell(long id);
bool HostProgramsAvailable();
std::string HostPath(const std::filesystem::path& path);
}  // namespace os

}  // namespace testsupport
