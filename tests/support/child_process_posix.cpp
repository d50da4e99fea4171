// Programs started with fork and exec, their streams on pipes.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "tests/support/child_process.h"
#include "tests/support/child_process_os.h"

namespace testsupport::os {

namespace {

void MakePipe(int fds[2]) {
  if (::pipe2(fds, O_CLOEXEC) != 0)
    throw std::runtime_error(std::string("pipe: ") + ::strerror(errno));
}

}  // namespace

Started Start(const std::string& program, const std::vector<std::string>& arguments,
              bool pipeError) {
  // Everything the child needs is made before fork: after it, only calls
  // that are safe in the child of a threaded process.
  std::vector<std::string> words{program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  int in[2], out[2], err[2] = {-1, -1}, failed[2];
  MakePipe(in);
  MakePipe(out);
  if (pipeError) MakePipe(err);
  MakePipe(failed);  // carries errno when exec fails; closed by exec
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error(std::string("fork: ") + ::strerror(errno));
  if (pid == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    if (pipeError) ::dup2(err[1], 2);
    ::execvp(argv[0], argv.data());
    const int e = errno;
    (void)!::write(failed[1], &e, sizeof e);
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  if (pipeError) ::close(err[1]);
  ::close(failed[1]);
  int e = 0;
  const bool execFailed = ::read(failed[0], &e, sizeof e) == sizeof e;
  ::close(failed[0]);
  if (execFailed) {
    ::waitpid(pid, nullptr, 0);
    ::close(in[1]);
    ::close(out[0]);
    if (pipeError) ::close(err[0]);
    throw std::runtime_error("cannot start " + program + ": " + ::strerror(e));
  }
  // A child that stops reading must not end this process with SIGPIPE.
  ::signal(SIGPIPE, SIG_IGN);
  Started s;
  s.process = pid;
  s.id = pid;
  s.input = in[1];
  s.output = out[0];
  s.error = pipeError ? err[0] : kNoHandle;
  return s;
}

long long Read(Handle pipe, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(pipe), buffer, size);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

bool Write(Handle pipe, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(static_cast<int>(pipe), data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

void Close(Handle pipe) {
  if (pipe != kNoHandle) ::close(static_cast<int>(pipe));
}

int Wait(Handle process) {
  int status = 0;
  while (::waitpid(static_cast<pid_t>(process), &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void Kill(Handle process) { ::kill(static_cast<pid_t>(process), SIGKILL); }

void Release(Handle) {}

std::vector<std::string> ShellCommand(const std::string& line) { return {"/bin/sh", "-c", line}; }

unsigned RedirectedCodePage() { return 65001; }

std::string FromRedirectedText(const std::string& bytes) { return bytes; }

std::string ThroughRedirectedCodePage(const std::string& utf8) { return utf8; }

}  // namespace testsupport::os
