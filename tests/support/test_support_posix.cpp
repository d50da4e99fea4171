// The helpers of test_support.h that only POSIX systems have.
#include <sys/resource.h>
#include <unistd.h>

#include <stdexcept>

#include "tests/support/test_support.h"

namespace testsupport {

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
