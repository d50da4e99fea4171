// Changes that are whole or absent: the rollback journal of changes in
// place, tables rebuilt beside the old one, transactions, and posts that
// are on disk when they return. Crashes are real processes killed with
// SIGKILL, at the commit's own points or at once.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <stdexcept>

#include "store/os_file.h"
#include "store/pager.h"
#include "store/path_text.h"
#include "store/store_error.h"
#include "store/table.h"
#include "store/table_replacement.h"
#include "store/transaction.h"
#include "tests/store/killed_child.h"
#include "tests/store/store_test_util.h"
#include "tests/support/child_process.h"

using namespace store;
namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace {

// Killed processes are made by fork (Linux only).
#ifndef _WIN32
using storetest::killAt;
using storetest::KillHere;
using storetest::RunChildKilled;
#endif  // !_WIN32

Strings Names(const fs::path& dir) {
  Strings out;
  for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

std::string Abrev(int i) {
  char b[12];
  std::snprintf(b, sizeof b, "%04d", (i * 7919) % 10000);
  return b;
}

Strings Rows1(const fs::path& dir) {
  Table t;
  t.SetDatabaseName(dir);
  t.SetTableName("PROFT");
  t.Open();
  return storetest::Column(t, "ABREV");
}

void MakeProft(const fs::path& dir, int rows) {
  Table t;
  storetest::Define(t, dir, "PROFT",
                    {{"ABREV", FieldType::String, 4}, {"NOMBRE", FieldType::String, 30}}, {"ABREV"});
  t.CreateTable();
  t.Open();
  Transaction tx(t);
  for (int i = 0; i < rows; ++i) {
    t.Append();
    t.FieldByName("ABREV").SetAsString(Abrev(i));
    t.FieldByName("NOMBRE").SetAsString("Profesor " + std::to_string(i));
    t.Post();
  }
  tx.Commit();
  t.Close();
}

// A change of many pages of both files: rows rewritten (keys moved),
// appended and deleted, in one transaction.
void BigChange(const fs::path& dir) {
  Table t;
  t.SetDatabaseName(dir);
  t.SetTableName("PROFT");
  t.SetExclusive(true);
  t.Open();
  Transaction tx(t);
  int i = 0;
  for (t.First(); !t.Eof(); t.Next(), ++i) {
    if (i % 3 == 0) {
      t.Edit();
      t.FieldByName("ABREV").SetAsString(Abrev(i + 5000));
      t.FieldByName("NOMBRE").SetAsString("Cambiado " + std::to_string(i));
      t.Post();
    }
  }
  for (int k = 0; k < 400; ++k) {
    t.Append();
    t.FieldByName("ABREV").SetAsString(Abrev(9000 + k));
    t.FieldByName("NOMBRE").SetAsString("Nuevo " + std::to_string(k));
    t.Post();
  }
  t.First();
  t.Delete();
  tx.Commit();
  t.Close();
}

struct Snapshot {
  std::string dbf, mdx;
  bool operator==(const Snapshot& o) const { return dbf == o.dbf && mdx == o.mdx; }
};

Snapshot Take(const fs::path& dir) {
  return {testsupport::ReadFile(dir / "PROFT.DBF"), testsupport::ReadFile(dir / "PROFT.MDX")};
}

void Restore(const fs::path& dir, const Snapshot& s) {
  testsupport::WriteFile(dir / "PROFT.DBF", s.dbf);
  testsupport::WriteFile(dir / "PROFT.MDX", s.mdx);
}

// Opens the table in this process (which finishes or undoes what the
// killed one left) and checks it with the independent readers.
void OpenAndCheck(const fs::path& dir) {
  Table t;
  t.SetDatabaseName(dir);
  t.SetTableName("PROFT");
  t.SetIndexName("ABREV");
  t.Open();
  Strings keys = storetest::Column(t, "ABREV");
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
  t.Close();
  if (!storetest::kHaveReaders) return;
  Strings dump = storetest::DumpTable(dir / "PROFT.DBF");
  EXPECT_EQ(dump.size(), keys.size() + 1);
  const std::string walk = "perl " +
      testsupport::ShellQuote((testsupport::SourceDir() / "tests/tools/mdx_walk.pl").string()) +
      " " + testsupport::ShellQuote((dir / "PROFT.DBF").string()) + " ABREV";
  auto r = testsupport::RunCommand(walk);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(testsupport::SplitLines(r.out).size(), keys.size());
}

}  // namespace

// A commit killed at any point before its journal is deleted leaves, after
// the next open, both files byte for byte as before; killed after, as after
// the same change made without a kill.
#ifndef _WIN32
TEST(Journal, CommitKilledAtEachPointRollsBackOrStaysWhole) {
  SKIP_WITHOUT_READERS();
  testsupport::TempDir dir;
  MakeProft(dir.path(), 600);
  const Snapshot before = Take(dir.path());
  BigChange(dir.path());
  const Snapshot after = Take(dir.path());
  ASSERT_FALSE(before == after);

  struct Case {
    CommitPoint point;
    bool expectAfter;
  };
  for (Case c : {Case{CommitPoint::JournalWritten, false}, Case{CommitPoint::JournalSynced, false},
                 Case{CommitPoint::PagesWritten, false}, Case{CommitPoint::FilesSynced, false},
                 Case{CommitPoint::Done, true}}) {
    SCOPED_TRACE(static_cast<int>(c.point));
    Restore(dir.path(), before);
    killAt = c.point;
    RunChildKilled([&] {
      SetCommitHookForTesting(KillHere);
      BigChange(dir.path());
    });
    const bool journalLeft = fs::exists(dir / "PROFT.DBF.transdae-journal");
    EXPECT_EQ(journalLeft, !c.expectAfter);
    OpenAndCheck(dir.path());
    EXPECT_FALSE(fs::exists(dir / "PROFT.DBF.transdae-journal"));
    const Snapshot now = Take(dir.path());
    EXPECT_TRUE(now == (c.expectAfter ? after : before));
  }
}
#endif  // !_WIN32

// A journal cut short was written before any table page changed: it is
// deleted and the table is left alone.
#ifndef _WIN32
TEST(Journal, TornJournalIsRemovedAndTheTableUntouched) {
  SKIP_WITHOUT_READERS();
  testsupport::TempDir dir;
  MakeProft(dir.path(), 50);
  const Snapshot before = Take(dir.path());
  killAt = CommitPoint::JournalSynced;
  RunChildKilled([&] {
    SetCommitHookForTesting(KillHere);
    BigChange(dir.path());
  });
  const fs::path journal = dir / "PROFT.DBF.transdae-journal";
  std::string bytes = testsupport::ReadFile(journal);
  ASSERT_GT(bytes.size(), 100u);
  for (size_t cut : {bytes.size() - 1, bytes.size() / 2, size_t{20}}) {
    testsupport::WriteFile(journal, bytes.substr(0, cut));
    OpenAndCheck(dir.path());
    EXPECT_FALSE(fs::exists(journal));
    EXPECT_TRUE(Take(dir.path()) == before);
  }
}
#endif  // !_WIN32

TEST(Journal, TransactionLeftByAnExceptionTakesBackEveryChange) {
  testsupport::TempDir dir;
  MakeProft(dir.path(), 30);
  const Snapshot before = Take(dir.path());
  Table t, other;
  for (Table* x : {&t, &other}) {
    x->SetDatabaseName(dir.path());
    x->SetTableName("PROFT");
    x->SetIndexName("ABREV");
    x->Open();
  }
  const Strings keys = storetest::Column(other, "ABREV");
  try {
    Transaction tx(t);
    t.First();
    t.Edit();
    t.FieldByName("ABREV").SetAsString("ZZZZ");
    t.Post();
    t.AppendValues({std::string("AAAA"), std::string("Nuevo")});
    EXPECT_EQ(storetest::Column(other, "ABREV").size(), keys.size() + 1);
    throw std::runtime_error("fallo");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(storetest::Column(other, "ABREV"), keys);
  EXPECT_EQ(storetest::Column(t, "ABREV"), keys);
  EXPECT_TRUE(Take(dir.path()) == before);
  // The objects go on working after the rollback.
  t.AppendValues({std::string("0000"), std::string("Otro")});
  EXPECT_EQ(storetest::Column(other, "ABREV").front(), "0000");
}

// Without a transaction a Post is on disk when it returns: a process
// killed right after it loses nothing.
#ifndef _WIN32
TEST(Journal, PostIsOnDiskWhenItReturns) {
  SKIP_WITHOUT_READERS();
  testsupport::TempDir dir;
  MakeProft(dir.path(), 5);
  RunChildKilled([&] {
    Table t;
    t.SetDatabaseName(dir.path());
    t.SetTableName("PROFT");
    t.Open();
    t.Append();
    t.FieldByName("ABREV").SetAsString("KILL");
    t.Post();
    t.First();
    t.Edit();
    t.FieldByName("NOMBRE").SetAsString("Editado");
    t.Post();
    ::kill(::getpid(), SIGKILL);
  });
  Strings dump = storetest::DumpTable(dir / "PROFT.DBF");
  ASSERT_EQ(dump.size(), 7u);
  EXPECT_NE(dump[1].find("Editado"), std::string::npos) << dump[1];
  EXPECT_NE(dump[6].find("KILL"), std::string::npos) << dump[6];
  OpenAndCheck(dir.path());
}
#endif  // !_WIN32

// ---------------------------------------------------------------- rebuilds

namespace {

void BuildNewProft(const fs::path& dir, int rows, bool failHalfWay, [[maybe_unused]] bool killHalfWay) {
  Table t;
  storetest::Define(t, dir, "PROFT",
                    {{"ABREV", FieldType::String, 4}, {"NOMBRE", FieldType::String, 30},
                     {"DNI", FieldType::String, 9}},
                    {"ABREV", "DNI"});
  t.CreateTable();
  t.Open();
  for (int i = 0; i < rows; ++i) {
    if (i == rows / 2 && failHalfWay) throw StoreError("disco lleno");
#ifndef _WIN32
    if (i == rows / 2 && killHalfWay) ::kill(::getpid(), SIGKILL);
#endif
    t.Append();
    t.FieldByName("ABREV").SetAsString(Abrev(i + 1));
    t.FieldByName("DNI").SetAsString(std::to_string(10000000 + i));
    t.Post();
  }
  t.Close();
}

}  // namespace

TEST(Rebuild, OldTableStandsUntilTheNewOneIsCompleteThenBothFilesChange) {
  testsupport::TempDir dir;
  MakeProft(dir.path(), 20);
  const Snapshot before = Take(dir.path());
  Table t;
  storetest::Define(t, dir.path(), "PROFT", {{"ABREV", FieldType::String, 4}}, {"ABREV"});
  t.CreateTable();
  t.Open();
  t.AppendValues({std::string("NEW1")});
  // Another object, and another program, still see the old table.
  Table reader;
  reader.SetDatabaseName(dir.path());
  reader.SetTableName("PROFT");
  reader.Open();
  EXPECT_EQ(storetest::Column(reader, "ABREV").size(), 20u);
  reader.Close();
  EXPECT_TRUE(Take(dir.path()) == before);
  if (storetest::kHaveReaders) {
    EXPECT_EQ(storetest::DumpTable(dir / "PROFT.DBF").size(), 21u);
  }
  t.Close();
  if (storetest::kHaveReaders) {
    Strings dump = storetest::DumpTable(dir / "PROFT.DBF");
    ASSERT_EQ(dump.size(), 2u);
    EXPECT_EQ(dump[0], "ABREV:C:4:0");
  }
  EXPECT_EQ(Rows1(dir.path()), Strings{"NEW1"});
  EXPECT_EQ(Names(dir.path()), (Strings{"PROFT.DBF", "PROFT.MDX"}));
  OpenAndCheck(dir.path());
}

TEST(Rebuild, FailureMidBuildLeavesTheOldTableAndNoStrayFiles) {
  testsupport::TempDir dir;
  MakeProft(dir.path(), 20);
  const Snapshot before = Take(dir.path());
  EXPECT_THROW(BuildNewProft(dir.path(), 300, true, false), StoreError);
  EXPECT_TRUE(Take(dir.path()) == before);
  EXPECT_EQ(Names(dir.path()), (Strings{"PROFT.DBF", "PROFT.MDX"}));
  // A new table without an index replaces the old index too.
  {
    Table t;
    storetest::Define(t, dir.path(), "proft", {{"X", FieldType::String, 2}});
    t.CreateTable();
  }
  EXPECT_EQ(Names(dir.path()), (Strings{"proft.DBF"}));
}

#ifndef _WIN32
TEST(Rebuild, KillMidBuildLeavesStraysThatTheNextOpenRemoves) {
  SKIP_WITHOUT_READERS();
  testsupport::TempDir dir;
  MakeProft(dir.path(), 20);
  const Snapshot before = Take(dir.path());
  RunChildKilled([&] { BuildNewProft(dir.path(), 2000, false, true); });
  Strings left = Names(dir.path());
  EXPECT_GT(left.size(), 2u);
  EXPECT_TRUE(Take(dir.path()) == before);
  OpenAndCheck(dir.path());
  EXPECT_EQ(Names(dir.path()), (Strings{"PROFT.DBF", "PROFT.MDX"}));
  EXPECT_TRUE(Take(dir.path()) == before);
}
#endif  // !_WIN32

#ifndef _WIN32
TEST(Rebuild, KillAfterTheReplacementRecordIsFinishedByTheNextRun) {
  SKIP_WITHOUT_READERS();
  testsupport::TempDir dir;
  MakeProft(dir.path(), 20);
  killAt = CommitPoint::ReplacementRecorded;
  RunChildKilled([&] {
    SetCommitHookForTesting(KillHere);
    BuildNewProft(dir.path(), 200, false, false);
  });
  EXPECT_TRUE(fs::exists(dir / "PROFT.DBF.transdae-replace"));
  RecoverWorkFolder(dir.path());
  EXPECT_EQ(Names(dir.path()), (Strings{"PROFT.DBF", "PROFT.MDX"}));
  Strings dump = storetest::DumpTable(dir / "PROFT.DBF");
  ASSERT_EQ(dump.size(), 201u);
  EXPECT_EQ(dump[0], "ABREV:C:4:0|NOMBRE:C:30:0|DNI:C:9:0");
  OpenAndCheck(dir.path());
}
#endif  // !_WIN32

// ---------------------------------------------------------------- crashes on every system

// A crash made the same way on every system: this test program started
// again as a separate process (its job and folder in its environment),
// which does one change and ends itself at a commit point as a crash would
// (TerminateProcess on Windows, SIGKILL elsewhere), before the tests run.
namespace {

constexpr const char* kJobVariable = "TRANSDAE_CRASH_JOB";
constexpr const char* kDirVariable = "TRANSDAE_CRASH_DIR";
CommitPoint crashAt = CommitPoint::Done;

[[noreturn]] void DieNow() {
#ifdef _WIN32
  ::TerminateProcess(::GetCurrentProcess(), 9);
#else
  ::kill(::getpid(), SIGKILL);
#endif
  std::abort();
}

void DieAtThePoint(CommitPoint p) {
  if (p == crashAt) DieNow();
}

void SetVariable(const char* name, const std::string& utf8) {
#ifdef _WIN32
  ::_wputenv_s(PathFromText(name).wstring().c_str(), PathFromText(utf8).wstring().c_str());
#else
  if (utf8.empty()) ::unsetenv(name);
  else ::setenv(name, utf8.c_str(), 1);
#endif
}

fs::path ThisProgram() {
#ifdef _WIN32
  wchar_t buf[32768];
  const DWORD n = ::GetModuleFileNameW(nullptr, buf, 32768);
  return fs::path(std::wstring(buf, n));
#else
  return fs::read_symlink("/proc/self/exe");
#endif
}

// Runs in the child, before main: "change <point>" or "rebuild <point>".
bool RunCrashJobIfAsked() {
  fs::path job, dir;
  if (!os::EnvironmentPath(kJobVariable, job) || !os::EnvironmentPath(kDirVariable, dir))
    return false;
  const std::string what = PathText(job);
  const size_t space = what.find(' ');
  crashAt = static_cast<CommitPoint>(std::stoi(what.substr(space + 1)));
  SetCommitHookForTesting(DieAtThePoint);
  try {
    if (what.compare(0, space, "change") == 0) BigChange(dir);
    if (what.compare(0, space, "rebuild") == 0) BuildNewProft(dir, 200, false, false);
  } catch (...) {
    std::_Exit(3);
  }
  std::_Exit(4);  // the point was never reached
}

const bool crashChild = RunCrashJobIfAsked();

// Starts the child for job in dir and waits for it to die.
void CrashInAnotherProcess(const std::string& job, CommitPoint at, const fs::path& dir) {
  SetVariable(kJobVariable, job + " " + std::to_string(static_cast<int>(at)));
  SetVariable(kDirVariable, PathText(dir));
  const testsupport::CommandResult r = testsupport::RunProgram(PathText(ThisProgram()), {});
  SetVariable(kJobVariable, "");
  SetVariable(kDirVariable, "");
  EXPECT_NE(r.exitCode, 0) << r.out << r.err;
  EXPECT_NE(r.exitCode, 3) << "the child failed: " << r.err;
  EXPECT_NE(r.exitCode, 4) << "the child never reached the point";
}

}  // namespace

TEST(Crash, ACommitKilledAtEachPointRollsBackOrStaysWhole) {
  (void)crashChild;
  testsupport::TempDir dir;
  MakeProft(dir.path(), 300);
  const Snapshot before = Take(dir.path());
  BigChange(dir.path());
  const Snapshot after = Take(dir.path());
  ASSERT_FALSE(before == after);
  for (CommitPoint p : {CommitPoint::JournalWritten, CommitPoint::PagesWritten,
                        CommitPoint::FilesSynced, CommitPoint::Done}) {
    SCOPED_TRACE(static_cast<int>(p));
    Restore(dir.path(), before);
    CrashInAnotherProcess("change", p, dir.path());
    EXPECT_EQ(fs::exists(dir / "PROFT.DBF.transdae-journal"), p != CommitPoint::Done);
    OpenAndCheck(dir.path());
    EXPECT_FALSE(fs::exists(dir / "PROFT.DBF.transdae-journal"));
    EXPECT_TRUE(Take(dir.path()) == (p == CommitPoint::Done ? after : before));
  }
}

TEST(Crash, ARebuildKilledOnceItsRecordIsWholeIsFinishedByTheNextOpen) {
  testsupport::TempDir dir;
  MakeProft(dir.path(), 20);
  CrashInAnotherProcess("rebuild", CommitPoint::ReplacementRecorded, dir.path());
  EXPECT_TRUE(fs::exists(dir / "PROFT.DBF.transdae-replace"));
  EXPECT_EQ(Rows1(dir.path()).size(), 200u);
  EXPECT_EQ(Names(dir.path()), (Strings{"PROFT.DBF", "PROFT.MDX"}));
  OpenAndCheck(dir.path());
}
