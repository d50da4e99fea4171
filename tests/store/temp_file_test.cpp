// Temporary files: a name no other file has, created only if absent, never
// written through a link, and none left behind by a killed writer.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <set>
#include <string>

#include "store/os_file.h"
#include "store/path_text.h"
#include "store/temp_file.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::TempFilesIn;
using testsupport::WriteFile;

TEST(TempFile, NamesAreFreshAndCreatedOnlyIfAbsent) {
  TempDir dir;
  std::set<std::string> names;
  for (int i = 0; i < 50; ++i) {
    fs::path p;
    store::os::File f;
    ASSERT_TRUE(store::CreateTempFile(dir.path(), p, f));
    EXPECT_TRUE(store::IsTempFileName(store::FileNameText(p))) << p;
    EXPECT_TRUE(names.insert(store::FileNameText(p)).second) << "a name came twice";
    EXPECT_EQ(store::os::Status(p).linkCount, 1u) << "a new file, not one already there";
    EXPECT_EQ(store::os::Status(p).isRegular, true);
  }
  for (const char* name : {".transdae-0123456789abcdef.tmp"})
    EXPECT_TRUE(store::IsTempFileName(name));
  for (const char* name : {"fCUADROS.txt.tmp", ".transdae-0123456789ABCDEF.tmp",
                           ".transdae-0123.tmp", "transdae-0123456789abcdef.tmp",
                           ".transdae-0123456789abcdef.tmpx"})
    EXPECT_FALSE(store::IsTempFileName(name)) << name;
}

TEST(TempFile, ALinkInTheFolderIsNeverWrittenThrough) {
  TempDir dir, outside;
  const fs::path victim = outside / "ajeno.txt";
  WriteFile(victim, "no se toca");
  const fs::path target = dir / "fCUADROS.txt";
  // Links under the names an earlier writer used, and under the tool's
  // own name form (as a stale temporary would look).
  // (Symbolic links need privileges on Windows: hard links only there.)
  fs::create_hard_link(victim, dir / "fCUADROS.txt.tmp");
  fs::create_hard_link(victim, dir / ".transdae-00000000000000aa.tmp");
#ifndef _WIN32
  fs::create_symlink(victim, dir / "fCUADROS.txt.tmp2");
  fs::create_symlink(victim, dir / ".transdae-00000000000000bb.tmp");
#endif
  for (int i = 0; i < 5; ++i)
    ASSERT_EQ(store::ReplaceFileAtomically(target, "nuevo " + std::to_string(i)), 0);
  EXPECT_EQ(ReadFile(target), "nuevo 4");
  EXPECT_EQ(ReadFile(victim), "no se toca");
  EXPECT_EQ(store::os::Status(victim).linkCount, 2u) << "the stale-looking hard link name went, "
                                                "the old fixed name stays";
#ifndef _WIN32
  EXPECT_TRUE(fs::is_symlink(dir / ".transdae-00000000000000bb.tmp")) << "a link is not ours";
#endif
  EXPECT_TRUE(fs::exists(dir / "fCUADROS.txt.tmp"));
}


// The same within one process, as Windows sees it (sharing modes belong to
// each handle) and POSIX too (locks belong to each open file): a writer
// still holding its temporary, and one that went without removing it, as
// a killed process leaves it.
TEST(TempFile, OnlyTheTemporariesNobodyHoldsAreRemoved) {
  TempDir dir;
  fs::path held, left;
  store::os::File living, gone;
  ASSERT_TRUE(store::CreateTempFile(dir.path(), held, living));
  ASSERT_TRUE(living.WriteAll("a medias"));
  ASSERT_TRUE(store::CreateTempFile(dir.path(), left, gone));
  ASSERT_TRUE(gone.WriteAll("abandonado"));
  gone.Close();
  ASSERT_EQ(TempFilesIn(dir.path()).size(), 2u);
  ASSERT_EQ(store::ReplaceFileAtomically(dir / "fCUADROS.txt", "hecho\x1A\n"), 0);
  EXPECT_EQ(TempFilesIn(dir.path()), std::vector<std::string>{store::FileNameText(held)});
  EXPECT_EQ(ReadFile(dir / "fCUADROS.txt"), "hecho\x1A\n");
  living.Close();
  store::RemoveStaleTempFiles(dir.path());
  EXPECT_TRUE(TempFilesIn(dir.path()).empty());
}

// A replacement goes over a target that an object of this process still
// has open: the open object keeps the old bytes, the name the new ones.
TEST(TempFile, ReplacesATargetHeldOpenHere) {
  TempDir dir;
  const fs::path target = dir / "Dolvarin.ini";
  WriteFile(target, "viejo");
  store::os::File reader;
  ASSERT_TRUE(reader.Open(target, store::os::OpenMode::ReadOnly));
  ASSERT_EQ(store::ReplaceFileAtomically(target, "nuevo"), 0);
  EXPECT_EQ(ReadFile(target), "nuevo");
  char old[5] = {};
  EXPECT_TRUE(reader.ReadExactly(0, old, 5));
  EXPECT_EQ(std::string(old, 5), "viejo");
  reader.Close();
  store::RemoveStaleTempFiles(dir.path());
  EXPECT_TRUE(TempFilesIn(dir.path()).empty());
}

#ifndef _WIN32
// A child that creates a temporary in `dir` and then waits to be killed.
pid_t WriterThatHangs(const fs::path& dir) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    fs::path p;
    store::os::File f;
    store::CreateTempFile(dir, p, f);
    f.WriteAll("a medias");
    (void)!::write(ready[1], "y", 1);
    for (;;) ::pause();
  }
  char c;
  (void)!::read(ready[0], &c, 1);
  ::close(ready[0]);
  ::close(ready[1]);
  return pid;
}

TEST(TempFile, AWriterKilledHalfWayLeavesNothingForLong) {
  TempDir dir;
  const pid_t living = WriterThatHangs(dir.path());
  const pid_t killed = WriterThatHangs(dir.path());
  ASSERT_GT(living, 0);
  ASSERT_GT(killed, 0);
  ASSERT_EQ(TempFilesIn(dir.path()).size(), 2u);
  ::kill(killed, SIGKILL);
  ::waitpid(killed, nullptr, 0);
  // The next write in the folder removes what the killed one left, and
  // leaves alone the file that a living writer still holds.
  ASSERT_EQ(store::ReplaceFileAtomically(dir / "fCUADROS.txt", "hecho"), 0);
  EXPECT_EQ(TempFilesIn(dir.path()).size(), 1u);
  ::kill(living, SIGKILL);
  ::waitpid(living, nullptr, 0);
  store::RemoveStaleTempFiles(dir.path());
  EXPECT_TRUE(TempFilesIn(dir.path()).empty());
  EXPECT_EQ(ReadFile(dir / "fCUADROS.txt"), "hecho");
}

#endif  // !_WIN32

}  // namespace
