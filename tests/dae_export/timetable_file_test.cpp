// The DAE timetable file written from the tables, byte for byte.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "dae_export/record_tables.h"
#include "dae_import/groups_import.h"
#include "dae_export/timetable_file_writer.h"
#include "store/path_text.h"
#include "tests/dae_export/export_fixture.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace dae_export;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

using Values = std::vector<std::pair<std::string, std::string>>;

// A type 2 record as the expansion leaves it, with some fields overridden.
Values Type2(const std::string& prof, const std::string& dia, int hora,
             Values extra = {}) {
  const std::string key = BuildProfDiaSes(prof, dia, hora);
  Values v = {{"TIPREG", "2"},          {"TIPDOC", "1"},
              {"ABREVPROF", prof},      {"DOC", "12345678Z"},
              {"NUMSESION", KeySession(key)}, {"DIASEM", KeyDay(key)},
              {"TIPTAR", "101"},        {"HORAINI", "08:00"},
              {"HORAFIN", "09:00"},     {"GRUPNIV", "SEC"},
              {"ABREVASIG", "MATE"},    {"CODASIG", "0101"},
              {"TIPASIG", " "},         {"IDIOMA", "02"},
              {"AULA_OBS", "A11"},      {"TIP_ACTIV", "   "},
              {"PROF_DIA_SES", key},    {"DIA_SES", KeyDaySession(key)},
              {"REG_MOD", "N"}};
  for (auto& [f, val] : extra)
    for (auto& p : v)
      if (p.first == f) p.second = val;
  return v;
}

Values Type3(const std::string& prof, const std::string& dia, int hora,
             const std::string& group, const std::string& code,
             const std::string& pupils) {
  const std::string key = BuildProfDiaSes(prof, dia, hora);
  return {{"TIPREG", "3"},        {"ABREVGRUP", group},  {"CODGRUPO", code},
          {"TIPDOC", "1"},        {"ABREVPROF", prof},   {"DOC", "12345678Z"},
          {"NUMSESGRUP", KeySession(key)}, {"DIASEM", KeyDay(key)},
          {"NUMALUM", pupils},    {"PROF_DIA_SES", key}, {"REG_MOD", "N"}};
}

struct WriterTest : ::testing::Test {
  TempDir work, dae;
  store::Table h2, h3;
  CentreRecord centre{"019876", "2024", "1"};

  void SetUp() override { CreaTablasCuadro(work.path()); }
  void Add2(const Values& v) { exporttest::AppendRow(work.path(), "CUADROH2", v); }
  void Add3(const Values& v) { exporttest::AppendRow(work.path(), "CUADROH3", v); }
  void OpenTables() {
    for (store::Table* t : {&h2, &h3}) {
      t->SetDatabaseName(work.path());
    }
    h2.SetTableName(kCuadroH2);
    h3.SetTableName(kCuadroH3);
    h2.Open();
    h3.Open();
  }
  std::string Write() {
    if (!h2.Active()) OpenTables();
    return WriteWith(h2, h3);
  }
  std::string WriteWith(store::Table& a, store::Table& b) {
    EXPECT_EQ(WriteTimetableFile((dae.path() / "").string(), centre, a, b),
              WriteOutcome::Written);
    return ReadFile(dae / kTimetableFileName);
  }
};

TEST_F(WriterTest, NoType2RecordsGivesTheCentreLineOnly) {
  EXPECT_EQ(Write(), "1CH01987620241\r\n");
}

TEST_F(WriterTest, EmptyCentreAndLongVersion) {
  // A centre table without rows: every value reads empty.
  dae_import::CreaTablaCentro(work.path());
  store::Table c;
  c.SetDatabaseName(work.path());
  c.SetTableName("daeCENTRO.DBF");
  c.Open();
  centre = ReadCentre(c);
  c.Close();
  EXPECT_EQ(Write(), "1CH           \r\n");
  centre = CentreRecord{"019876", "2024", "ABCDE"};
  EXPECT_EQ(Write(), "1CH0198762024A\r\n");
}

TEST_F(WriterTest, RecordsInKeyOrderEachFollowedByItsGroups) {
  // Appended out of key order: ABC before AB, a later session first.
  Add2(Type2("ABC", "1", 2, {{"DOC", "87654321X"}, {"TIPDOC", "2"}}));
  Add2(Type2("AB", "3", 7, {{"HORAINI", ""}, {"HORAFIN", ""}, {"AULA_OBS", ""}}));
  Add2(Type2("AB", "1", 12, {{"TIPTAR", "G01"}, {"GRUPNIV", ""}, {"CODASIG", ""},
                             {"IDIOMA", ""}, {"TIP_ACTIV", "GUA"}}));
  Add3(Type3("ABC", "1", 2, "1ESO", "00101", "24"));
  Add3(Type3("AB", "3", 7, "2ESO", "00201", ""));
  Add3(Type3("AB", "3", 7, "1BAT", "00301", "5"));
  const std::string doc1 = "12345678Z      ", room = "A11" + std::string(27, ' ');
  const std::string expected =
      "1CH01987620241\r\n"
      // AB, day 1, session 12: a guard without group (no type 3 line).
      "2" "1" + doc1 + "12" "1" "G01" "08:00" "09:00" "   " "    " " " "  " + room +
      "GUA\r\n"
      // AB, day 3, session 07: empty times and room; two groups.
      "2" "1" + doc1 + "07" "3" "101" "00:00" "00:00" "SEC" "0101" " " "02" +
      std::string(30, ' ') + "   \r\n"
      "3" "00201" "1" + doc1 + "07" "3" "00\r\n"
      "3" "00301" "1" + doc1 + "07" "3" "05\r\n"
      // ABC, day 1, session 02.
      "2" "2" "87654321X      " "02" "1" "101" "08:00" "09:00" "SEC" "0101" " " "02" +
      room + "   \r\n"
      "3" "00101" "1" + doc1 + "02" "1" "24\r\n";
  EXPECT_EQ(Write(), expected);
}

// A key that two type 2 records share gets its groups after each of them;
// groups whose key has no type 2 record are left out; the groups of a key
// come in the order of their tag however far apart they were appended.
TEST_F(WriterTest, GroupsFollowEveryRecordOfTheirKeyAndOnlyThose) {
  Add3(Type3("AB", "1", 1, "1ESO", "00101", "21"));
  Add3(Type3("ZZ", "5", 9, "9ESO", "00909", "99"));  // no type 2 record
  Add2(Type2("AB", "1", 1, {{"TIPTAR", "T01"}}));
  Add2(Type2("AC", "1", 1));
  Add3(Type3("AC", "1", 1, "3ESO", "00301", "23"));
  Add2(Type2("AB", "1", 1, {{"TIPTAR", "T02"}}));
  Add3(Type3("AB", "1", 1, "2ESO", "00201", "22"));
  // Each line by its type and what tells it apart: the task of a type 2
  // line (21-23), the group code of a type 3 line (2-6).
  std::vector<std::string> lines;
  for (const std::string& l : testsupport::SplitLines(Write())) {
    if (l[0] == '2') lines.push_back("2:" + l.substr(20, 3));
    else if (l[0] == '3') lines.push_back("3:" + l.substr(1, 5));
    else lines.push_back(l.substr(0, 1));
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"1", "2:T01", "3:00101", "3:00201", "2:T02",
                                             "3:00101", "3:00201", "2:101", "3:00301"}));
}

TEST_F(WriterTest, EveryLineHasItsWidth) {
  Add2(Type2("GJ", "5", 7));
  Add3(Type3("GJ", "5", 7, "1ESO", "00101", "24"));
  const std::string file = Write();
  std::vector<std::string> lines = testsupport::SplitLines(file);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].size(), 15u);  // 14 and the CR
  EXPECT_EQ(lines[1].size(), 77u);
  EXPECT_EQ(lines[2].size(), 28u);
  for (const std::string& l : lines) EXPECT_EQ(l.back(), '\r');
  EXPECT_NE(file.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(file.find('\x1A'), std::string::npos);
}

TEST_F(WriterTest, BytesAsStoredWithoutConversion) {
  // Code page 1252 bytes (Ñ, á) reach the file unchanged.
  Add2(Type2("\xD1RA", "2", 2, {{"AULA_OBS", "Aula de m\xFAsica"}}));
  const std::string file = Write();
  EXPECT_NE(file.find("Aula de m\xFAsica"), std::string::npos);
}

TEST_F(WriterTest, ExistingFileReplacedNeverAppended) {
  WriteFile(dae / kTimetableFileName,
            std::string(5000, 'x') + "\r\nold contents\r\n");
  Add2(Type2("AB", "1", 1));
  const std::string first = Write();
  EXPECT_EQ(first.substr(0, 16), "1CH01987620241\r\n");
  EXPECT_EQ(first.size(), 16u + 78u);
  EXPECT_EQ(Write(), first);
  EXPECT_TRUE(testsupport::TempFilesIn(dae.path()).empty());
}

TEST_F(WriterTest, MissingFolderWritesNothing) {
  OpenTables();
  const fs::path gone = dae / "no_such_folder";
  EXPECT_EQ(WriteTimetableFile((gone / "").string(), centre, h2, h3),
            WriteOutcome::FolderMissing);
  EXPECT_FALSE(fs::exists(gone));
  EXPECT_EQ(WriteTimetableFile("", centre, h2, h3), WriteOutcome::FolderMissing);
}

#ifndef _WIN32
// Limits of descriptors and file sizes are POSIX's; on Windows the file
// held by another program stands for a failed write.
TEST_F(WriterTest, TemporaryThatCannotBeCreatedLeavesTheOldFile) {
  const fs::path target = dae / kTimetableFileName;
  WriteFile(target, "previous\r\n");
  Add2(Type2("AB", "1", 1));
  OpenTables();
  try {
    testsupport::NoMoreFiles noFiles;  // the temporary cannot be opened
    WriteTimetableFile((dae.path() / "").string(), centre, h2, h3);
    FAIL() << "no error";
  } catch (const TimetableFileError& e) {
    EXPECT_NE(std::string(e.what()).find(target.string()), std::string::npos)
        << e.what();
    EXPECT_NE(std::string(e.what()).find("No se ha podido escribir"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("Hay demasiados archivos abiertos"), std::string::npos)
        << e.what();
  }
  EXPECT_EQ(ReadFile(target), "previous\r\n");
}

TEST_F(WriterTest, WriteFailingHalfWayLeavesTheOldFileAndNoTemporary) {
  const fs::path target = dae / kTimetableFileName;
  WriteFile(target, "previous\r\n");
  for (int h = 1; h <= 20; ++h) Add2(Type2("AB", "1", h));  // ~1.6 kB
  OpenTables();
  // The file-size limit makes the write stop after 512 bytes.
  struct rlimit old {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 512;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string error;
  try {
    WriteTimetableFile((dae.path() / "").string(), centre, h2, h3);
  } catch (const TimetableFileError& e) {
    error = e.what();
  }
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);
  EXPECT_NE(error.find(target.string()), std::string::npos) << error;
  EXPECT_EQ(ReadFile(target), "previous\r\n");
  EXPECT_TRUE(testsupport::TempFilesIn(dae.path()).empty());
}

TEST_F(WriterTest, ReadOnlyFolderLeavesTheOldFile) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  const fs::path target = dae / kTimetableFileName;
  WriteFile(target, "previous\r\n");
  fs::permissions(dae.path(), fs::perms::owner_read | fs::perms::owner_exec);
  OpenTables();
  EXPECT_THROW(WriteTimetableFile((dae.path() / "").string(), centre, h2, h3),
               TimetableFileError);
  fs::permissions(dae.path(), fs::perms::owner_all);
  EXPECT_EQ(ReadFile(target), "previous\r\n");
}
#endif

// A file the user made read-only (its attribute on Windows, no write
// permission on POSIX) is refused, naming it, and stays as it was.
TEST_F(WriterTest, ReadOnlyFileIsRefusedNamingItAndKeptAsItWas) {
  const fs::path target = dae / kTimetableFileName;
  WriteFile(target, "previous\r\n");
#ifdef _WIN32
  ASSERT_TRUE(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY));
#else
  fs::permissions(target, fs::perms::owner_read | fs::perms::group_read);
#endif
  Add2(Type2("AB", "1", 1));
  OpenTables();
  std::string error;
  try {
    WriteTimetableFile((dae.path() / "").string(), centre, h2, h3);
  } catch (const TimetableFileError& e) {
    error = e.what();
  }
  EXPECT_EQ(error, "No se ha podido escribir el archivo '" + store::PathText(target) +
                       "' (el archivo es de sólo lectura); no se ha modificado.");
  EXPECT_EQ(ReadFile(target), "previous\r\n");
  EXPECT_TRUE(testsupport::TempFilesIn(dae.path()).empty());
#ifdef _WIN32
  EXPECT_TRUE(GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_READONLY);
  SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
#else
  fs::permissions(target, fs::perms::owner_all);
#endif
}

// What belongs to the file rather than to its bytes passes to the new one:
// the hidden attribute on Windows, the permission bits on POSIX.
TEST_F(WriterTest, ReplacedFileKeepsItsAttributes) {
  const fs::path target = dae / kTimetableFileName;
  WriteFile(target, "previous\r\n");
#ifdef _WIN32
  ASSERT_TRUE(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
#else
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
#endif
  Add2(Type2("AB", "1", 1));
  EXPECT_EQ(Write().substr(0, 16), "1CH01987620241\r\n");
#ifdef _WIN32
  const DWORD attributes = GetFileAttributesW(target.c_str());
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN) << attributes;
  EXPECT_FALSE(attributes & FILE_ATTRIBUTE_READONLY) << attributes;
#else
  EXPECT_EQ(fs::status(target).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
#endif
}

// The type 3 lines chosen through a filter on a detail of the type 2
// table, as the coding window's cursors allow, match the writer's.
TEST_F(WriterTest, SameLinesAsTheFilteredDetailSelection) {
  Add2(Type2("ABC", "1", 2));
  Add2(Type2("AB", "3", 7));
  Add2(Type2("AB", "1", 1));
  Add2(Type2("O'B", "2", 2));  // a quote in the key
  Add3(Type3("AB", "3", 7, "2ESO", "00201", "22"));
  Add3(Type3("ABC", "1", 2, "1ESO", "00101", "24"));
  Add3(Type3("AB", "3", 7, "1BAT", "00301", "28"));
  Add3(Type3("O'B", "2", 2, "1FPB", "00401", "12"));

  store::Table a2, a3;
  a2.SetDatabaseName(work.path());
  a2.SetTableName(kCuadroH2);
  a2.SetIndexName("PROF_DIA_SES");
  a3.SetDatabaseName(work.path());
  a3.SetTableName(kCuadroH3);
  a3.SetIndexName("PROF_DIA_SES");
  a3.SetMasterSource(&a2);
  a3.SetMasterFields("PROF_DIA_SES");
  a2.Open();
  a3.Open();
  std::string expected = CentreLine(centre) + "\r\n";
  for (a2.First(); !a2.Eof(); a2.Next()) {
    Type2Record r{a2.FieldByName("TIPDOC").AsString(), a2.FieldByName("DOC").AsString(),
                  a2.FieldByName("NUMSESION").AsString(), a2.FieldByName("DIASEM").AsString(),
                  a2.FieldByName("TIPTAR").AsString(), a2.FieldByName("HORAINI").AsString(),
                  a2.FieldByName("HORAFIN").AsString(), a2.FieldByName("GRUPNIV").AsString(),
                  a2.FieldByName("CODASIG").AsString(), a2.FieldByName("TIPASIG").AsString(),
                  a2.FieldByName("IDIOMA").AsString(), a2.FieldByName("AULA_OBS").AsString(),
                  a2.FieldByName("TIP_ACTIV").AsString()};
    expected += Type2Line(r) + "\r\n";
    const std::string key = a2.FieldByName("PROF_DIA_SES").AsString();
    std::string quoted;
    for (char c : key) quoted += c == '\'' ? std::string("''") : std::string(1, c);
    a3.SetFiltered(false);
    a3.SetFilter("PROF_DIA_SES = '" + quoted + "'");
    a3.SetFiltered(true);
    for (a3.First(); !a3.Eof() && a3.FieldByName("PROF_DIA_SES").AsString() == key;
         a3.Next()) {
      Type3Record t{a3.FieldByName("CODGRUPO").AsString(), a3.FieldByName("TIPDOC").AsString(),
                    a3.FieldByName("DOC").AsString(), a3.FieldByName("NUMSESGRUP").AsString(),
                    a3.FieldByName("DIASEM").AsString(), a3.FieldByName("NUMALUM").AsString()};
      expected += Type3Line(t) + "\r\n";
    }
  }
  ASSERT_EQ(testsupport::SplitLines(expected).size(), 9u);

  // The writer given the same kind of cursors (a detail, filtered).
  EXPECT_EQ(WriteWith(a2, a3), expected);
}

}  // namespace
