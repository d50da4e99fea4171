// Programs of the build machine on POSIX: the shell started with
// posix_spawn and reaped once it has written its status.
#include <spawn.h>
#include <sys/wait.h>

#include <stdexcept>

#include "tests/support/host_program.h"

extern char** environ;

namespace testsupport::os {

long StartHostShell(const std::string& script) {
  pid_t pid = -1;
  char sh[] = "/bin/sh";
  std::string s = script;
  char* argv[] = {sh, s.data(), nullptr};
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) != 0)
    throw std::runtime_error("cannot start /bin/sh");
  return pid;
}

void ReapHostShell(long id) {
  if (id > 0) {
    int status = 0;
    waitpid(static_cast<pid_t>(id), &status, 0);
  }
}

bool HostProgramsAvailable() { return true; }

std::string HostPath(const std::filesystem::path& path) { return path.string(); }

}  // namespace testsupport::os
