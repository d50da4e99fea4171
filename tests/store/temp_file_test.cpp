// Temporary files: a name no other file has, created only if absent, never
// written through a link, and none left behind by a killed writer.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <string>

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
    const int fd = store::CreateTempFile(dir.path(), p);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(store::IsTempFileName(p.filename().string())) << p;
    EXPECT_TRUE(names.insert(p.filename().string()).second) << "a name came twice";
    struct stat info {};
    ASSERT_EQ(::fstat(fd, &info), 0);
    EXPECT_EQ(info.st_nlink, 1u) << "a new file, not one already there";
    ::close(fd);
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
  fs::create_hard_link(victim, dir / "fCUADROS.txt.tmp");
  fs::create_symlink(victim, dir / "fCUADROS.txt.tmp2");
  fs::create_hard_link(victim, dir / ".transdae-00000000000000aa.tmp");
  fs::create_symlink(victim, dir / ".transdae-00000000000000bb.tmp");
  for (int i = 0; i < 5; ++i)
    ASSERT_EQ(store::ReplaceFileAtomically(target, "nuevo " + std::to_string(i)), 0);
  EXPECT_EQ(ReadFile(target), "nuevo 4");
  EXPECT_EQ(ReadFile(victim), "no se toca");
  EXPECT_EQ(fs::hard_link_count(victim), 2u) << "the stale-looking hard link name went, "
                                                "the old fixed name stays";
  EXPECT_TRUE(fs::is_symlink(dir / ".transdae-00000000000000bb.tmp")) << "a link is not ours";
  EXPECT_TRUE(fs::exists(dir / "fCUADROS.txt.tmp"));
}

// A child that creates a temporary in `dir` and then waits to be killed.
pid_t WriterThatHangs(const fs::path& dir) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    fs::path p;
    const int fd = store::CreateTempFile(dir, p);
    (void)!::write(fd, "a medias", 8);
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

}  // namespace
