// The table against other processes: exclusive and shared locks (another
// run of the tool, the test holder, holding the table), and a writer
// killed at random moments (Linux: a forked child sharing a counter).
#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <optional>
#include <chrono>
#include <random>
#include <thread>

#include "store/store_error.h"
#include "store/table.h"
#include "store/table_file_lock.h"
#include "tests/store/store_test_util.h"
#include "tests/support/child_holder.h"

using namespace store;
namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace {

// Another run of the tool holding a table open until the object goes.
class Holder : public testsupport::TableHolder {
 public:
  Holder(const fs::path& folder, const std::string& name, bool exclusive)
      : TableHolder(folder, name,
                    exclusive ? testsupport::Sharing::Exclusive : testsupport::Sharing::Shared) {}
  bool opened() const { return held(); }
};

std::string OpenError(const fs::path& folder, const std::string& name, bool exclusive) {
  Table t;
  t.SetDatabaseName(folder);
  t.SetTableName(name);
  t.SetExclusive(exclusive);
  try {
    t.Open();
  } catch (const StoreError& e) {
    EXPECT_FALSE(t.Active());
    return e.what();
  }
  return "";
}

void MakeProft(const fs::path& folder) {
  Table t;
  storetest::Define(t, folder, "PROFT",
                    {{"ABREV", FieldType::String, 4}, {"SEQ", FieldType::Integer, 0}}, {"ABREV"});
  t.CreateTable();
}

}  // namespace

TEST(TableLocks, ExclusiveOpenFailsAtOnceWhileAnotherProgramHoldsTheTable) {
  testsupport::TempDir dir;
  MakeProft(dir.path());
  {
    Holder other(dir.path(), "PROFT", /*exclusive=*/true);
    ASSERT_TRUE(other.opened());
    std::string e1 = OpenError(dir.path(), "proft", true);
    EXPECT_NE(e1.find("'PROFT.DBF'"), std::string::npos) << e1;
    EXPECT_NE(e1.find("otro programa"), std::string::npos) << e1;
    std::string e2 = OpenError(dir.path(), "PROFT", false);
    EXPECT_NE(e2.find("abierta en exclusiva por otro programa"), std::string::npos) << e2;
    // Nor can it be replaced under the other program's feet.
    Table again;
    storetest::Define(again, dir.path(), "PROFT", {{"X", FieldType::String, 1}});
    EXPECT_THROW(again.CreateTable(), StoreError);
    if (storetest::kHaveReaders) {
      EXPECT_EQ(storetest::DumpTable(dir / "PROFT.DBF")[0], "ABREV:C:4:0|SEQ:N:11:0");
    }
  }
  EXPECT_EQ(OpenError(dir.path(), "PROFT", true), "");  // free again
}

TEST(TableLocks, SharedOpensMixOnlyWithSharedOnes) {
  testsupport::TempDir dir;
  MakeProft(dir.path());
  Holder other(dir.path(), "PROFT", /*exclusive=*/false);
  ASSERT_TRUE(other.opened());
  EXPECT_EQ(OpenError(dir.path(), "PROFT", false), "");
  EXPECT_NE(OpenError(dir.path(), "PROFT", true), "");
  // Within this process a shared object does not block an exclusive one,
  // but the other program still does.
  Table a;
  a.SetDatabaseName(dir.path());
  a.SetTableName("PROFT");
  a.Open();
  EXPECT_NE(OpenError(dir.path(), "PROFT", true), "");
  EXPECT_TRUE(a.Active());
}

TEST(TableLocks, AnotherProgramCannotOpenWhatThisOneHoldsExclusively) {
  testsupport::TempDir dir;
  MakeProft(dir.path());
  Table mine;
  mine.SetDatabaseName(dir.path());
  mine.SetTableName("PROFT");
  mine.SetExclusive(true);
  mine.Open();
  {
    Holder other(dir.path(), "PROFT", false);
    EXPECT_FALSE(other.opened());
  }
  // A program that knows nothing of this engine (flock on Linux, a
  // sharing mode on Windows).
  std::string detail;
  EXPECT_EQ(testsupport::OtherProgramOpens(dir / "PROFT.DBF", testsupport::Sharing::Shared, &detail),
            testsupport::OpenOutcome::Busy)
      << detail;
  mine.Close();
  EXPECT_EQ(testsupport::OtherProgramOpens(dir / "PROFT.DBF", testsupport::Sharing::Shared, &detail),
            testsupport::OpenOutcome::Opened)
      << detail;
  Holder later(dir.path(), "PROFT", false);
  EXPECT_TRUE(later.opened());
}

// A table's hold covers its index: a held .MDX (either sharing mode) stops
// it, named; while held, other programs cannot open either file, and this
// process's own objects still open, write and replace the table.
TEST(TableHold, CoversTheIndexAndLetsOnlyThisProcessIn) {
  using testsupport::Sharing;
  for (Sharing sharing : {Sharing::Exclusive, Sharing::Shared}) {
    testsupport::TempDir dir;
    MakeProft(dir.path());
    {
      testsupport::FileHolder other(dir / "PROFT.MDX", sharing);
      ASSERT_TRUE(other.held()) << other.report().line;
      const std::string e = storetest::ErrorOf([&] { TableFileLock hold(dir.path(), "proft.dbf"); });
      EXPECT_NE(e.find("El índice 'PROFT.MDX' de la tabla 'PROFT.DBF' está en uso por otro programa"),
                std::string::npos)
          << e;
      Table again;
      storetest::Define(again, dir.path(), "PROFT", {{"ABREV", FieldType::String, 4}}, {"ABREV"});
      const std::string replace = storetest::ErrorOf([&] { again.CreateTable(); });
      EXPECT_NE(replace.find("'PROFT.MDX'"), std::string::npos) << replace;
    }
    std::optional<TableFileLock> hold(std::in_place, dir.path(), "PROFT.DBF");
    ASSERT_TRUE(hold->Held());
    EXPECT_TRUE(IsHeldHere(dir / "PROFT.MDX"));
    for (const char* f : {"PROFT.DBF", "PROFT.MDX"})
      EXPECT_EQ(testsupport::OtherProgramOpens(dir / f, sharing), testsupport::OpenOutcome::Busy)
          << f;
    {
      Table mine;
      mine.SetDatabaseName(dir.path());
      mine.SetTableName("PROFT");
      mine.SetIndexName("ABREV");
      mine.SetExclusive(true);
      mine.Open();
      mine.Append();
      mine.FieldByName("ABREV").SetAsString("ANA");
      mine.Post();
      EXPECT_EQ(storetest::Column(mine, "ABREV"), Strings{"ANA"});
    }
    Table fresh;
    storetest::Define(fresh, dir.path(), "PROFT", {{"ABREV", FieldType::String, 4}}, {"ABREV"});
    fresh.CreateTable();
    fresh.Open();
    fresh.Close();
    // The new table joined the hold before it took its name.
    EXPECT_TRUE(IsHeldHere(dir / "PROFT.DBF"));
    EXPECT_EQ(testsupport::OtherProgramOpens(dir / "PROFT.MDX", sharing),
              testsupport::OpenOutcome::Busy);
    hold.reset();
    EXPECT_FALSE(IsHeldHere(dir / "PROFT.DBF"));
    EXPECT_EQ(testsupport::OtherProgramOpens(dir / "PROFT.DBF", sharing),
              testsupport::OpenOutcome::Opened);
  }
}

// A table marked read-only is read, never written, replaced or deleted.
TEST(ReadOnlyTable, ReadButNeverWrittenNorReplaced) {
  const fs::perms w = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  for (const char* file : {"PROFT.DBF", "PROFT.MDX"}) {
    SCOPED_TRACE(file);
    testsupport::TempDir dir;
    MakeProft(dir.path());
    const std::string dbfBefore = testsupport::ReadFile(dir / "PROFT.DBF");
    const std::string mdxBefore = testsupport::ReadFile(dir / "PROFT.MDX");
    fs::permissions(dir / file, w, fs::perm_options::remove);
    Table t;
    t.SetDatabaseName(dir.path());
    t.SetTableName("PROFT");
    t.SetIndexName("ABREV");
    t.Open();
    EXPECT_TRUE(t.Eof());
    const std::string write = storetest::ErrorOf([&] {
      t.Append();
      t.FieldByName("ABREV").SetAsString("ANA");
      t.Post();
    });
    EXPECT_NE(write.find(std::string("'") + file + "'"), std::string::npos) << write;
    EXPECT_NE(write.find("es de sólo lectura"), std::string::npos) << write;
    t.Close();
    Table again;
    storetest::Define(again, dir.path(), "PROFT", {{"ABREV", FieldType::String, 4}}, {"ABREV"});
    const std::string replace = storetest::ErrorOf([&] { again.CreateTable(); });
    EXPECT_NE(replace.find("es de sólo lectura"), std::string::npos) << replace;
    EXPECT_EQ(testsupport::ReadFile(dir / "PROFT.DBF"), dbfBefore);
    EXPECT_EQ(testsupport::ReadFile(dir / "PROFT.MDX"), mdxBefore);
    fs::permissions(dir / file, w, fs::perm_options::add);
  }
}

#ifndef _WIN32
namespace {

// A child appends numbered records until it is killed; after each posted
// record it publishes how many it has posted.
void AppendUntilKilled(const fs::path& folder, bool indexed, std::atomic<int>* posted) {
  try {
    Table t;
    t.SetDatabaseName(folder);
    t.SetTableName("PROFT");
    t.SetExclusive(true);
    if (indexed) t.SetIndexName("ABREV");
    t.Open();
    int n = static_cast<int>(storetest::Column(t, "SEQ").size());
    posted->store(n);
    for (;; ++n) {
      t.Append();
      char abrev[12];
      std::snprintf(abrev, sizeof abrev, "%04d", (n * 7919) % 10000);
      t.FieldByName("ABREV").SetAsString(abrev);
      t.FieldByName("SEQ").SetAsInteger(n);
      t.Post();
      posted->store(n + 1);
    }
  } catch (...) {
    ::_exit(3);
  }
}

void KillRepeatedly(bool indexed) {
  testsupport::TempDir dir;
  MakeProft(dir.path());
  auto* posted = static_cast<std::atomic<int>*>(
      ::mmap(nullptr, sizeof(std::atomic<int>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(posted, MAP_FAILED);
  std::mt19937 rng(12345 + indexed);
  int rebuilds = 0;
  for (int round = 0; round < 8; ++round) {
    new (posted) std::atomic<int>(-1);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) AppendUntilKilled(dir.path(), indexed, posted);
    // Let it work past its start, then kill it at a random moment.
    while (posted->load() < 0) std::this_thread::yield();
    const int start = posted->load();
    std::this_thread::sleep_for(std::chrono::microseconds(2000 + rng() % 30000));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped on its own, status " << status;
    const int reported = posted->load();
    EXPECT_GE(reported, start);

    Table t;
    t.SetDatabaseName(dir.path());
    t.SetTableName("PROFT");
    try {
      t.Open();
    } catch (const StoreError& e) {
      // A kill in the middle of an index page change: the index is the only
      // casualty and a rebuild restores it.
      ASSERT_TRUE(indexed) << e.what();
      Table fix;
      fix.SetDatabaseName(dir.path());
      fix.SetTableName("PROFT");
      fix.RebuildIndex();
      ++rebuilds;
      t.Open();
    }
    Strings seq = storetest::Column(t, "SEQ");
    const int stored = static_cast<int>(seq.size());
    // Every posted record is there; at most the one being written is lost
    // (or already stored though not yet reported).
    EXPECT_GE(stored, reported) << "round " << round;
    EXPECT_LE(stored, reported + 1) << "round " << round;
    for (int i = 0; i < stored; ++i) ASSERT_EQ(seq[size_t(i)], std::to_string(i));
    if (indexed) {
      t.SetIndexName("ABREV");
      Strings keys = storetest::Column(t, "ABREV");
      EXPECT_EQ(static_cast<int>(keys.size()), stored);
      EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    }
    t.Close();
    Strings dump = storetest::DumpTable(dir / "PROFT.DBF");
    EXPECT_EQ(static_cast<int>(dump.size()), stored + 1) << "round " << round;
  }
  ::munmap(posted, sizeof(std::atomic<int>));
  ::testing::Test::RecordProperty("index_rebuilds", rebuilds);
}

}  // namespace

TEST(TableKill, KilledWriterLosesAtMostThePendingRecord) { KillRepeatedly(false); }

TEST(TableKill, KilledWriterOfAnIndexedTableLeavesARecoverableTable) { KillRepeatedly(true); }
#endif  // !_WIN32
