// Locks of other programs, taken by a real other program (python3 run as a
// child process) in each of the ways programs lock files on Linux: flock,
// POSIX record locks (lockf/fcntl F_SETLK, over the whole file or over one
// byte far past its end as dBase engines lock records) and open-file-
// description locks. A table held so is reported as held; and the lock
// this store takes is seen by such programs in turn.
// Linux only: other programs here are child processes made by fork or run
// by the shell. On Windows the same holds are sharing modes, tested in
// sharing_test.cpp.
#ifndef _WIN32
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "store/store_error.h"
#include "store/table.h"
#include "store/table_file_lock.h"
#include "tests/store/store_test_util.h"

using namespace store;
namespace fs = std::filesystem;
using testsupport::ShellQuote;

using storetest::ErrorOf;

namespace {

// A python3 process holding `file` with the lock that `lockCode` takes
// (python statements on the open file f), until the object is destroyed.
class PythonHolder {
 public:
  PythonHolder(const fs::path& dir, const fs::path& file, const std::string& lockCode)
      : ready_(dir / "ready") {
    const std::string script =
        "import fcntl, os, struct, sys\n"
        "f = open(sys.argv[1], 'r+b')\n" +
        lockCode +
        "\n"
        "open(sys.argv[2], 'w').close()\n"
        "sys.stdin.read()\n";
    testsupport::WriteFile(dir / "hold.py", script);
    pipe_ = ::popen(("/usr/bin/python3 " + ShellQuote((dir / "hold.py").string()) + " " +
                     ShellQuote(file.string()) + " " + ShellQuote(ready_.string()))
                        .c_str(),
                    "w");
    for (int i = 0; i < 200 && !fs::exists(ready_); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
  }
  ~PythonHolder() {
    if (pipe_) ::pclose(pipe_);  // end of input: the program ends
  }
  bool held() const { return fs::exists(ready_); }

 private:
  fs::path ready_;
  FILE* pipe_ = nullptr;
};

void MakeTable(const fs::path& folder) {
  Table t;
  storetest::Define(t, folder, "SOLUC", {{"PROF", FieldType::String, 4}});
  t.CreateTable();
}

// Whether python3 can take the lock of lockCode on file now (exit 0) or
// finds it held (exit 1).
bool PythonCanLock(const fs::path& dir, const fs::path& file, const std::string& lockCode) {
  const std::string script =
      "import fcntl, os, struct, sys\n"
      "f = open(sys.argv[1], 'r+b')\n"
      "try:\n    " +
      lockCode +
      "\nexcept OSError:\n    sys.exit(1)\n";
  testsupport::WriteFile(dir / "try.py", script);
  auto r = testsupport::RunCommand("/usr/bin/python3 " + ShellQuote((dir / "try.py").string()) +
                                   " " + ShellQuote(file.string()));
  EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 1) << r.err;
  return r.exitCode == 0;
}

struct LockCase {
  const char* name;
  const char* code;
  bool blocksShared;  // a shared open is refused too
};

// struct flock for F_OFD_SETLK: type, whence, start, len, pid.
#define OFD(type) \
  "fcntl.fcntl(f, fcntl.F_OFD_SETLK, struct.pack('hhqqi', " type ", 0, 0, 0, 0))"

const LockCase kCases[] = {
    {"flock_exclusive", "fcntl.flock(f, fcntl.LOCK_EX | fcntl.LOCK_NB)", true},
    {"flock_shared", "fcntl.flock(f, fcntl.LOCK_SH | fcntl.LOCK_NB)", false},
    {"posix_whole_file", "fcntl.lockf(f, fcntl.LOCK_EX | fcntl.LOCK_NB)", true},
    {"posix_read", "fcntl.lockf(f, fcntl.LOCK_SH | fcntl.LOCK_NB)", false},
    {"posix_one_record_past_the_end",
     "fcntl.lockf(f, fcntl.LOCK_EX | fcntl.LOCK_NB, 1, 1000000000 + 3)", true},
    {"ofd_write", OFD("fcntl.F_WRLCK"), true},
    {"ofd_read", OFD("fcntl.F_RDLCK"), false},
};

class ForeignLock : public ::testing::TestWithParam<LockCase> {};

}  // namespace

TEST_P(ForeignLock, TableReportedAsHeld) {
  testsupport::TempDir dir;
  MakeTable(dir.path());
  const fs::path file = dir / "SOLUC.DBF";
  PythonHolder other(dir.path(), file, GetParam().code);
  ASSERT_TRUE(other.held());

  Table exclusive;
  exclusive.SetDatabaseName(dir.path());
  exclusive.SetTableName("SOLUC");
  exclusive.SetExclusive(true);
  EXPECT_EQ(ErrorOf([&] { exclusive.Open(); }),
            "La tabla 'SOLUC.DBF' está en uso por otro programa y no se puede abrir en exclusiva");
  EXPECT_FALSE(exclusive.Active());

  Table shared;
  shared.SetDatabaseName(dir.path());
  shared.SetTableName("SOLUC");
  if (GetParam().blocksShared) {
    EXPECT_EQ(ErrorOf([&] { shared.Open(); }),
              "La tabla 'SOLUC.DBF' está abierta en exclusiva por otro programa");
  } else {
    shared.Open();
    EXPECT_TRUE(shared.Active());
    shared.Close();
  }

  const std::string e = ErrorOf([&] { TableFileLock lock(dir.path(), "SOLUC.DBF"); });
  EXPECT_NE(e.find("está en uso por otro programa y no se puede reemplazar"), std::string::npos)
      << e;

  Table replace;
  storetest::Define(replace, dir.path(), "SOLUC", {{"PROF", FieldType::String, 4}});
  EXPECT_NE(ErrorOf([&] { replace.CreateTable(); }).find("está en uso por otro programa"),
            std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ForeignLock, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OwnLock, SeenByOtherProgramsInEveryFamily) {
  testsupport::TempDir dir;
  MakeTable(dir.path());
  const fs::path file = dir / "SOLUC.DBF";
  {
    Table t;
    t.SetDatabaseName(dir.path());
    t.SetTableName("SOLUC");
    t.SetExclusive(true);
    t.Open();
    for (const LockCase& c : kCases) {
      EXPECT_FALSE(PythonCanLock(dir.path(), file, c.code)) << c.name;
    }
  }
  {
    Table t;
    t.SetDatabaseName(dir.path());
    t.SetTableName("SOLUC");
    t.Open();  // shared: readers may join, writers may not
    for (const LockCase& c : kCases) {
      EXPECT_EQ(PythonCanLock(dir.path(), file, c.code), !c.blocksShared) << c.name;
    }
  }
  // Closed: every kind can be taken again.
  for (const LockCase& c : kCases) {
    EXPECT_TRUE(PythonCanLock(dir.path(), file, c.code)) << c.name;
  }
}
#endif  // !_WIN32
