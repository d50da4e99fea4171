// Errors of the operating system and of the store reach the user in Spanish
// and name the table or file: one case per family, through the batch front
// end on real folders (a read-only and a full file system mounted for the
// test, another user without permission), and an exhausted memory inside a
// chain.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <new>
#include <string>

#include "app/main_workflow.h"
#include "chain/error_report.h"
#include "store/system_error_text.h"
#include "store/path_text.h"
#include "tests/support/child_holder.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::CommandResult;
using testsupport::RunCommand;
using testsupport::ShellQuote;
using testsupport::TempDir;
using testsupport::WriteFile;

using testsupport::ExamplesDir;
std::string Q(const fs::path& p) { return testsupport::QuotePath(p); }

std::string ImportLine(const fs::path& work) {
  return ShellQuote(testsupport::CliPath()) + " import --dae " + Q(ExamplesDir() / "dae") +
         " --work " + Q(work) + " --levels " + Q(ExamplesDir() / "levels.csv");
}

#ifndef _WIN32
// A full disk, a read-only file system and another user: tmpfs mounts and
// setpriv are Linux's.

// A small tmpfs mounted for the test (skipped where mounting is not allowed).
class Mount {
 public:
  explicit Mount(const std::string& options) {
    point_ = dir_ / "montaje";
    fs::create_directory(point_);
    mounted_ = RunCommand("mount -t tmpfs -o " + options + " transdae-prueba " + Q(point_) +
                          " 2>/dev/null").exitCode == 0;
  }
  ~Mount() {
    if (mounted_) RunCommand("umount -l " + Q(point_));
  }
  bool mounted() const { return mounted_; }
  const fs::path& path() const { return point_; }

 private:
  TempDir dir_;
  fs::path point_;
  bool mounted_ = false;
};
#endif

bool HasEnglish(const std::string& text) {
  for (const char* english : {"denied", "No space", "Read-only", "Not a directory",
                              "Is a directory", "bad_alloc", "No such file"})
    if (text.find(english) != std::string::npos) return true;
  return false;
}

void ExpectSpanish(const CommandResult& r, const std::string& text, const std::string& file) {
  const std::string all = r.out + r.err;
  EXPECT_NE(all.find(text), std::string::npos) << all;
  EXPECT_NE(all.find(file), std::string::npos) << all;
  EXPECT_FALSE(HasEnglish(all)) << all;
  EXPECT_EQ(r.exitCode, 1) << all;
}

#ifndef _WIN32
TEST(SpanishErrors, DiskFull) {
  Mount m("size=96k");
  if (!m.mounted()) GTEST_SKIP() << "no se puede montar un tmpfs aquí";
  RunCommand("head -c 200000 /dev/zero > " + Q(m.path() / "relleno") + " 2>/dev/null");
  ExpectSpanish(RunCommand(ImportLine(m.path())), "No queda espacio en el disco", "daeTIPTAR");
}

TEST(SpanishErrors, ReadOnlyFileSystem) {
  Mount m("ro,size=96k");
  if (!m.mounted()) GTEST_SKIP() << "no se puede montar un tmpfs aquí";
  ExpectSpanish(RunCommand(ImportLine(m.path())), "El sistema de archivos es de sólo lectura",
                "daeTIPTAR");
}

TEST(SpanishErrors, PermissionDenied) {
  if (::geteuid() != 0 || RunCommand("command -v setpriv").exitCode != 0)
    GTEST_SKIP() << "needs root to run the tool as another user";
  TempDir work;
  fs::permissions(work.path(), fs::perms::owner_all | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read |
                                   fs::perms::others_exec);
  // The tool run as "nobody" in a folder of root's.
  const CommandResult r = RunCommand(
      "ASAN_OPTIONS=detect_leaks=0 setpriv --reuid=65534 --regid=65534 --clear-groups " +
      ImportLine(work.path()));
  if (r.out.empty() && r.exitCode != 1) GTEST_SKIP() << "the tool cannot run as nobody: " << r.err;
  ExpectSpanish(r, "Permiso denegado", "daeTIPTAR");
}
#endif

TEST(SpanishErrors, NotAFolder) {
  TempDir dir;
  WriteFile(dir / "archivo", "no es una carpeta");
  ExpectSpanish(RunCommand(ImportLine(dir / "archivo" / "QTEMP")),
                "Una parte de la ruta no es una carpeta", "archivo");
}

TEST(SpanishErrors, FolderInPlaceOfAFile) {
  TempDir work, dae;
  ASSERT_EQ(RunCommand(ImportLine(work.path())).exitCode, 0);
  fs::copy(ExamplesDir() / "solution" / "SOLUC.DBF", work / "SOLUC.DBF");
  fs::create_directory(dae / "fCUADROS.txt");
  WriteFile(dae / "fCUADROS.txt" / "dentro", "x");
  const CommandResult r = RunCommand(ShellQuote(testsupport::CliPath()) + " export --dae " +
                                     Q(dae.path()) + " --work " + Q(work.path()) +
                                     " --documents " + Q(ExamplesDir() / "documents.csv"));
  ExpectSpanish(r, "hay una carpeta con ese nombre", "fCUADROS.txt");
}

TEST(SpanishErrors, TableInUse) {
  TempDir work;
  ASSERT_EQ(RunCommand(ImportLine(work.path())).exitCode, 0);
  testsupport::FileHolder holder(work / "PROFT.DBF", testsupport::Sharing::Exclusive);
  ASSERT_TRUE(holder.held());
  ExpectSpanish(RunCommand(ImportLine(work.path())), "en uso por otro programa", "'PROFT.DBF'");
}

TEST(SpanishErrors, FieldNotFoundNamesTheTable) {
  TempDir work;
  ASSERT_EQ(RunCommand(ImportLine(work.path())).exitCode, 0);
  const CommandResult r = RunCommand(ShellQuote(testsupport::CliPath()) + " show PROFT --work " +
                                     Q(work.path()) + " --tag NOEXISTE");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("PROFT"), std::string::npos) << r.err;
  EXPECT_FALSE(HasEnglish(r.err)) << r.err;
}

// A user interface whose language box cannot be read for want of memory.
class NoMemoryUI : public testsupport::ScriptedUI {
 public:
  std::string LanguageText() override { throw std::bad_alloc(); }
};

TEST(SpanishErrors, OutOfMemoryEndsTheChainWithASpanishReport) {
  TempDir work;
  NoMemoryUI ui;
  chain::ProcessState state;
  app::MainWorkflow wf(ui, state, work.path());
  wf.BExportarClick((ExamplesDir() / "dae").string());
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(ui.errors[0], "No hay memoria suficiente para terminar la operación.");
  // And the other kinds of library error.
  EXPECT_EQ(chain::ExceptionText(std::filesystem::filesystem_error(
                "x", fs::path("/a/PROFT.DBF"), std::make_error_code(std::errc::read_only_file_system))),
            "El sistema de archivos es de sólo lectura: " + store::PathText(fs::path("/a/PROFT.DBF")));
  EXPECT_EQ(chain::ExceptionText(std::system_error(std::make_error_code(std::errc::no_space_on_device))),
            "No queda espacio en el disco");
}

TEST(SpanishErrors, EveryCommonSystemErrorHasASpanishText) {
  for (int err : {EACCES, EPERM, ENOENT, ENOSPC, EROFS, ENOTDIR, EISDIR, EEXIST, ENOMEM, EBUSY,
                  EAGAIN, EIO, ENAMETOOLONG, ELOOP, EMFILE, EFBIG, EXDEV, ENOTEMPTY}) {
    const std::string text = store::SystemErrorText(err);
    EXPECT_EQ(text.find("Error del sistema número"), std::string::npos) << err;
    EXPECT_FALSE(HasEnglish(text)) << text;
  }
}

}  // namespace
