// The forked holders of child_holder.h, POSIX only.
#include "tests/support/child_holder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace testsupport {

ChildHolder::ChildHolder(const std::function<bool()>& take) {
  int ready[2], done[2];
  if (::pipe(ready) != 0) throw std::runtime_error("pipe");
  if (::pipe(done) != 0) {
    ::close(ready[0]);
    ::close(ready[1]);
    throw std::runtime_error("pipe");
  }
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork");
  if (pid_ == 0) {
    ::close(ready[0]);
    ::close(done[1]);
    char ok = 'n';
    try {
      if (take()) ok = 'y';
    } catch (...) {
    }
    (void)!::write(ready[1], &ok, 1);
    char c;
    (void)!::read(done[0], &c, 1);
    ::_exit(0);
  }
  ::close(ready[1]);
  ::close(done[0]);
  done_ = done[1];
  char c = 'n';
  (void)!::read(ready[0], &c, 1);
  ::close(ready[0]);
  held_ = c == 'y';
}

ChildHolder::~ChildHolder() {
  ::close(done_);
  int status = 0;
  ::waitpid(pid_, &status, 0);
}

LockHolder::LockHolder(const std::filesystem::path& file, int how)
    : ChildHolder([&file, how] {
        int fd = ::open(file.c_str(), O_RDONLY);
        return fd >= 0 && ::flock(fd, how | LOCK_NB) == 0;
      }) {}

}  // namespace testsupport
