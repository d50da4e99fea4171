// Another program holding a table or a file, as far as the tool can tell.
//
// FileHolder and TableHolder run the test holder tool (transdae_test_holder,
// tests/support/holder_main.cpp) as a separate process on every system;
// OtherProgramOpens asks it to try an open once. The tool takes hold the
// way other programs do on each system:
//   - a file, as the timetabling product holds its tables: on Windows a
//     CreateFileW sharing mode (exclusive: no sharing at all; shared: reading
//     and writing shared, deleting not); on POSIX a whole-file flock()
//     (LOCK_EX or LOCK_SH);
//   - a table, as another run of this tool does: a store::Table opened
//     exclusive or shared, kept open.
// ChildHolder and LockHolder (POSIX only) run code in a forked child.
#pragma once
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

class ChildProcess;

enum class Sharing { Exclusive, Shared };

// What the holder tool said of its open: "held" (or "opened" for a try),
// "busy" (another holder conflicts: sharing violation, lock held) or
// "error <text>".
struct HolderReport {
  std::string line;
  bool held() const { return line == "held"; }
  bool busy() const { return line == "busy"; }
};

class FileHolder {
 public:
  // Returns once the holder has taken hold or failed to (held() tells).
  FileHolder(const std::filesystem::path& file, Sharing sharing);
  // Tells the holder to let go, and waits for it.
  ~FileHolder();
  FileHolder(const FileHolder&) = delete;
  FileHolder& operator=(const FileHolder&) = delete;
  bool held() const { return report_.held(); }
  const HolderReport& report() const { return report_; }
  // Lets go now (the destructor then does nothing).
  void Release();

 protected:
  FileHolder(const std::vector<std::string>& arguments);

 private:
  std::unique_ptr<ChildProcess> child_;
  HolderReport report_;
};

// Another run of the tool holding table `name` of `folder` open.
class TableHolder : public FileHolder {
 public:
  TableHolder(const std::filesystem::path& folder, const std::string& name, Sharing sharing);
};

// Whether another program can open `file` with `sharing` now: it opens,
// reports and closes at once. Opened, Busy (sharing violation or lock held)
// or Failed (report in `detail`).
enum class OpenOutcome { Opened, Busy, Failed };
OpenOutcome OtherProgramOpens(const std::filesystem::path& file, Sharing sharing,
                              std::string* detail = nullptr);

#ifndef _WIN32
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
#endif

}  // namespace testsupport
