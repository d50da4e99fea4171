// A child process that takes hold of something (a file lock, an open table)
// and keeps it until the object is destroyed: another program, as far as
// the tool can tell.
#pragma once
#include <filesystem>
#include <functional>

namespace testsupport {

class ChildHolder {
 public:
  // Runs take() in a forked child; it returns whether it got hold. The
  // child then waits until this object is destroyed.
  explicit ChildHolder(const std::function<bool()>& take);
  ~ChildHolder();
  ChildHolder(const ChildHolder&) = delete;
  ChildHolder& operator=(const ChildHolder&) = delete;
  bool held() const { return held_; }

 private:
  int pid_ = -1;
  int done_ = -1;
  bool held_ = false;
};

// A child holding `file` with flock(how) (LOCK_SH or LOCK_EX), the lock that
// open tables take.
class LockHolder : public ChildHolder {
 public:
  LockHolder(const std::filesystem::path& file, int how);
};

}  // namespace testsupport
