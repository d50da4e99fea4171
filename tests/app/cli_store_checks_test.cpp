// The export of the sample school run by transdae-cli over tables that
// other programs changed or wrote in their own way: the teachers' index
// made stale (rows appended or removed by a program that does not keep the
// .MDX, a changed key byte), a solution written in code page 850, a
// solution whose header or columns cannot be read. The export must give
// the same teachers and the same timetable file as over sound tables, or
// stop with a message naming the table and write nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::CommandResult;
using testsupport::ShellQuote;
using testsupport::SplitLines;
using testsupport::TempDir;

using testsupport::ExamplesDir;
std::string Q(const fs::path& p) { return ShellQuote(p.string()); }

using testsupport::RunCli;

// python3-dbf changes tables here as another program would (Linux only:
// those tests start with SKIP_WITHOUT_READERS()).
CommandResult Python(const std::string& args) {
  return testsupport::RunCommand(
      "/usr/bin/python3 " + Q(testsupport::SourceDir() / "tests/tools/dbf_dump.py") + " " + args);
}

bool HasLine(const std::string& out, const std::string& line) {
  auto lines = SplitLines(out);
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// An imported school with the sample solution, and a DAE folder.
struct School {
  TempDir work, dir;
  fs::path dae;
  School() {
    dae = dir / "dae";
    fs::copy(ExamplesDir() / "dae", dae, fs::copy_options::recursive);
    CommandResult r = RunCli("import --dae " + Q(dae) + " --work " + Q(work.path()) +
                          " --levels " + Q(ExamplesDir() / "levels.csv"));
    EXPECT_EQ(r.exitCode, 0) << r.out;
    fs::copy_file(ExamplesDir() / "solution" / "SOLUC.DBF", work / "SOLUC.DBF");
  }
  // documents: extra lines of the documents file typed into the coding
  // window ("ABREV;TIPODNI;DNI").
  CommandResult Export(const std::string& documents = "") const {
    const fs::path csv = dir / "documents.csv";
    testsupport::WriteFile(csv, testsupport::ReadFile(ExamplesDir() / "documents.csv") + documents);
    return RunCli("export --dae " + Q(dae) + " --work " + Q(work.path()) + " --documents " + Q(csv));
  }
  // ABREV of every live PROFT row, in physical order.
  std::vector<std::string> Teachers() const {
    CommandResult r = RunCli("show PROFT --work " + Q(work.path()));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> out;
    auto lines = SplitLines(r.out);
    for (size_t i = 1; i < lines.size(); ++i) out.push_back(lines[i].substr(0, lines[i].find(',')));
    return out;
  }
  std::string TimetableFile() const { return testsupport::ReadFile(dae / "fCUADROS.txt"); }
};

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

// The export over the untouched sample school.
struct Baseline {
  std::vector<std::string> teachers;
  std::string file;
};
const Baseline& Reference() {
  static const Baseline b = [] {
    School s;
    CommandResult r = s.Export();
    EXPECT_EQ(r.exitCode, 0) << r.out;
    return Baseline{Sorted(s.Teachers()), s.TimetableFile()};
  }();
  return b;
}

const char kRebuilt[] =
    "El índice de la tabla 'PROFT' no coincidía con sus registros y se ha reconstruido.";

void ReplaceOnce(const fs::path& file, const std::string& from, const std::string& to) {
  std::string b = testsupport::ReadFile(file);
  const size_t at = b.find(from);
  ASSERT_NE(at, std::string::npos);
  ASSERT_EQ(b.find(from, at + 1), std::string::npos);
  b.replace(at, from.size(), to);
  testsupport::WriteFile(file, b);
}

}  // namespace

TEST(CliStaleIndex, BaselineAddsTheMissingTeacherOnce) {
  const Baseline& b = Reference();
  EXPECT_EQ(std::count(b.teachers.begin(), b.teachers.end(), "XYZ"), 1);
  EXPECT_FALSE(b.file.empty());
}

// Each damage leaves PROFT's index out of step; the export rebuilds it,
// says so, and adds no teacher twice.
struct StaleCase {
  const char* name;
  void (*damage)(const School&);
  // Documents to type for teachers that the export adds back.
  const char* documents;
};

class CliStaleIndex : public ::testing::TestWithParam<StaleCase> {};

TEST_P(CliStaleIndex, RebuiltReportedAndNoTeacherAddedTwice) {
  if (std::string(GetParam().name).find("python") != std::string::npos) SKIP_WITHOUT_READERS();
  School s;
  GetParam().damage(s);
  CommandResult r = s.Export(GetParam().documents);
  EXPECT_TRUE(HasLine(r.out, kRebuilt)) << r.out;
  EXPECT_TRUE(HasLine(r.out, "Proceso finalizado")) << r.out;
  EXPECT_EQ(r.exitCode, 0) << r.out;
  const std::vector<std::string>& want = Reference().teachers;
  EXPECT_EQ(Sorted(s.Teachers()), want);
  EXPECT_EQ(s.TimetableFile(), Reference().file);

  // The next run finds the index sound: no notice.
  CommandResult again = s.Export(GetParam().documents);
  EXPECT_EQ(again.out.find("se ha reconstruido"), std::string::npos) << again.out;
  EXPECT_EQ(Sorted(s.Teachers()), want);
}

INSTANTIATE_TEST_SUITE_P(
    Damages, CliStaleIndex,
    ::testing::Values(
        // XYZ, the teacher the export would add, added already by another
        // program (the export itself must not add it again).
        StaleCase{"teacher_appended_by_python",
                  [](const School& s) {
                    auto r = Python("--append " + Q(s.work / "PROFT.DBF") +
                                    " 'XYZ|Xabier Yarza Zubia|||'");
                    ASSERT_EQ(r.exitCode, 0) << r.err;
                  },
                  ""},
        // ZLI's key byte changed in the index: ZLI would be missed.
        StaleCase{"flipped_key_byte",
                  [](const School& s) { ReplaceOnce(s.work / "PROFT.MDX", "ZLI ", "ZLJ "); },
                  ""},
        // A teacher removed and the table packed: every later record moves
        // up, and each stale entry points at the wrong teacher. The export
        // adds the removed teacher back (once), with the same document.
        StaleCase{"teacher_deleted_and_packed_by_python",
                  [](const School& s) {
                    auto r = Python("--delete-pack " + Q(s.work / "PROFT.DBF") + " ABREV ABC1");
                    ASSERT_EQ(r.exitCode, 0) << r.err;
                  },
                  "ABC1;1;10000002B\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CliCodePage, SolutionInCodePage850GivesTheSameExport) {
  SKIP_WITHOUT_READERS();
  School s;
  fs::remove(s.work / "SOLUC.DBF");
  auto p = Python("--copy-cp cp850 " + Q(ExamplesDir() / "solution" / "SOLUC.DBF") + " " +
                  Q(s.work / "SOLUC.DBF"));
  ASSERT_EQ(p.exitCode, 0) << p.err;
  // ÑRA is stored as 0xA5 'R' 'A' (which code page 1252 would show as ¥RA).
  ASSERT_NE(testsupport::ReadFile(s.work / "SOLUC.DBF").find("\xA5RA"), std::string::npos);

  CommandResult r = s.Export();
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(Sorted(s.Teachers()), Reference().teachers);
  EXPECT_EQ(s.TimetableFile(), Reference().file);
}

// A solution that cannot be read ends the export with a message naming the
// table (and field): no timetable file is written.
struct UnreadableCase {
  const char* name;
  void (*spoil)(const fs::path& soluc);
  const char* message;
};

class CliUnreadableSolution : public ::testing::TestWithParam<UnreadableCase> {};

TEST_P(CliUnreadableSolution, StopsWithTheTableNamedAndWritesNoFile) {
  School s;
  GetParam().spoil(s.work / "SOLUC.DBF");
  CommandResult r = s.Export();
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.out.find(GetParam().message), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(s.dae / "fCUADROS.txt"));
  EXPECT_EQ(Sorted(s.Teachers()), Sorted([] {
              // the imported teachers, XYZ not added
              std::vector<std::string> t = Reference().teachers;
              t.erase(std::find(t.begin(), t.end(), "XYZ"));
              return t;
            }()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliUnreadableSolution,
    ::testing::Values(
        // PROF is 4 wide; said to be 3, every later field would shift.
        UnreadableCase{"field_widths_short_of_the_record",
                       [](const fs::path& p) {
                         std::string b = testsupport::ReadFile(p);
                         ASSERT_EQ(b[32 + 32 + 16], 4);
                         b[32 + 32 + 16] = 3;
                         testsupport::WriteFile(p, b);
                       },
                       "La tabla 'SOLUC.DBF' está dañada: los anchos de sus campos suman"},
        UnreadableCase{"memo_field",
                       [](const fs::path& p) {
                         std::string b = testsupport::ReadFile(p);
                         // TAREA, the 12th field, made a memo (its width
                         // kept): what a memo holds is a block number.
                         ASSERT_EQ(b.substr(32 + 11 * 32, 5), "TAREA");
                         b[32 + 11 * 32 + 11] = 'M';
                         testsupport::WriteFile(p, b);
                       },
                       "El campo 'TAREA' de la tabla 'SOLUC.DBF' es de tipo memo (M), que esta "
                       "herramienta no sabe leer"},
        UnreadableCase{"unknown_code_page",
                       [](const fs::path& p) {
                         std::string b = testsupport::ReadFile(p);
                         b[29] = static_cast<char>(0x64);  // Eastern European MS-DOS, 852
                         testsupport::WriteFile(p, b);
                       },
                       "La tabla 'SOLUC.DBF' está escrita en un juego de caracteres que esta "
                       "herramienta no sabe convertir (controlador de idioma 0x64)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CliShow, StaleIndexRebuiltAndToldOnStandardError) {
  SKIP_WITHOUT_READERS();
  School s;
  auto p = Python("--append " + Q(s.work / "PROFT.DBF") + " 'AAA|Aurora Alonso|||'");
  ASSERT_EQ(p.exitCode, 0) << p.err;
  CommandResult r = RunCli("show PROFT --tag ABREV --work " + Q(s.work.path()));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, std::string("transdae-cli: ") + kRebuilt + "\n");
  auto lines = SplitLines(r.out);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[1].substr(0, 4), "AAA,");  // first in key order
}
