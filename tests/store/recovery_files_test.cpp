// The files the engine leaves for its own recovery: carried out only for
// their own table's plain files, set aside otherwise (the whole commands
// over planted files are in tests/app/cli_recovery_files_test.cpp), and
// never an obstacle to a later run, even when someone marked them
// read-only (on Windows a read-only file cannot be deleted or written
// until the mark is taken off).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "store/os_file.h"
#include "store/pager.h"
#include "store/recovery_files.h"
#include "store/store_notices.h"
#include "store/table.h"
#include "store/table_replacement.h"
#include "store/temp_file.h"
#include "store/transaction.h"
#include "tests/store/store_test_util.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace store;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

void MakeTeachers(const fs::path& dir, int rows) {
  Table t;
  storetest::Define(t, dir, "PROFT", {{"ABREV", FieldType::String, 4}}, {"ABREV"});
  t.CreateTable();
  t.Open();
  Transaction tx(t);
  for (int i = 0; i < rows; ++i) {
    t.Append();
    t.FieldByName("ABREV").SetAsString("P" + std::to_string(i));
    t.Post();
  }
  tx.Commit();
  t.Close();
}

std::vector<std::string> Names(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

void MarkReadOnly(const fs::path& p) {
  fs::permissions(p, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
}

#ifdef _WIN32
bool IsReadOnly(const fs::path& p) {
  return (fs::status(p).permissions() & fs::perms::owner_write) == fs::perms::none;
}
#endif

TEST(RecoveryFileNames, OnlyTheTablesOwnFilesBelongToIt) {
  struct Case {
    const char* table;
    const char* name;
    bool dbf, index, stagedDbf, stagedIndex;
  } cases[] = {
      {"PROFT.DBF", "PROFT.DBF", true, false, false, false},
      {"PROFT.DBF", "proft.dbf", true, false, false, false},
      {"PROFT.DBF", "PROFT.MDX", false, true, false, false},
      {"PROFT.DBF", "Proft.mdx", false, true, false, false},
      {"PROFT.DBF", "PROFT.DBF.transdae-new", false, false, true, false},
      {"PROFT.DBF", "PROFT.MDX.transdae-new", false, false, false, true},
      {"PROFT.DBF", "SOLUC.DBF", false, false, false, false},
      {"PROFT.DBF", "evil", false, false, false, false},
      {"PROFT.DBF", "../PROFT.DBF", false, false, false, false},
      {"PROFT.DBF", "PROFT.DBF2", false, false, false, false},
      {"PROFT.DBF", "", false, false, false, false},
      // A staged table's own files are its staging names.
      {"PROFT.DBF.transdae-new", "PROFT.MDX.transdae-new", false, true, false, false},
      {"", "", false, false, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsTableDbfName(c.table, c.name), c.dbf) << c.table << " " << c.name;
    EXPECT_EQ(IsTableIndexName(c.table, c.name), c.index) << c.table << " " << c.name;
    EXPECT_EQ(IsStagedDbfName(c.table, c.name), c.stagedDbf) << c.table << " " << c.name;
    EXPECT_EQ(IsStagedIndexName(c.table, c.name), c.stagedIndex) << c.table << " " << c.name;
  }
  EXPECT_EQ(TableOfRecoveryFile("PROFT.DBF.transdae-journal", kJournalSuffix), "PROFT.DBF");
  EXPECT_EQ(TableOfRecoveryFile(".transdae-journal", kJournalSuffix), "");
  EXPECT_EQ(TableOfRecoveryFile("PROFT.DBF", kJournalSuffix), "");
}

TEST(RecoveryFileNames, NamesReadFromAFileAreShownSafely) {
  EXPECT_EQ(ShownFileName("SOLUC.DBF"), "SOLUC.DBF");
  EXPECT_EQ(ShownFileName("A\nB\x1b"), "A?B?");
  EXPECT_EQ(ShownFileName("A\xF1o"), "A\xC3\xB1o");  // code page 1252 "Año"
  EXPECT_EQ(ShownFileName("A\xC3\xB1o"), "A\xC3\xB1o");
}

// A journal set aside is renamed, never deleted; one set aside before is
// kept too, and the user hears of it.
TEST(SetAside, RenamesWithoutLosingAnEarlierOneAndTellsTheUser) {
  TempDir dir;
  std::vector<std::string> told;
  ScopedNoticeSink sink([&](const std::string& t) { told.push_back(t); });
  WriteFile(dir / "PROFT.DBF.transdae-journal", "uno");
  SetAsideRecoveryFile(dir / "PROFT.DBF.transdae-journal", "el diario de cambios", "PROFT.DBF",
                       "motivo");
  WriteFile(dir / "PROFT.DBF.transdae-journal", "dos");
  SetAsideRecoveryFile(dir / "PROFT.DBF.transdae-journal", "el diario de cambios", "PROFT.DBF",
                       "motivo");
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{
                                   "PROFT.DBF.transdae-journal.2.transdae-rejected",
                                   "PROFT.DBF.transdae-journal.transdae-rejected"}));
  EXPECT_EQ(ReadFile(dir / "PROFT.DBF.transdae-journal.transdae-rejected"), "uno");
  EXPECT_EQ(ReadFile(dir / "PROFT.DBF.transdae-journal.2.transdae-rejected"), "dos");
  ASSERT_EQ(told.size(), 2u);
  EXPECT_EQ(told[1],
            "No se ha aplicado el diario de cambios 'PROFT.DBF.transdae-journal' de la tabla "
            "'PROFT.DBF': motivo. Se ha apartado como "
            "'PROFT.DBF.transdae-journal.2.transdae-rejected' y la tabla se ha dejado como está.");
  // A file set aside is no longer anything a run looks at.
  MakeTeachers(dir.path(), 3);
  Table t;
  t.SetDatabaseName(dir.path());
  t.SetTableName("PROFT");
  t.Open();
  EXPECT_EQ(t.VisibleRecords().size(), 3u);
  EXPECT_EQ(told.size(), 2u);
}

// Stray files of a killed run, marked read-only by someone, are removed or
// finished by the next run all the same, and the table can be rebuilt.
TEST(ReadOnlyEngineFiles, NeverBlockALaterRun) {
  TempDir dir;
  MakeTeachers(dir.path(), 5);
  const std::string dbf = ReadFile(dir / "PROFT.DBF");
  WriteFile(dir / "PROFT.DBF.transdae-new", "a medio hacer");
  WriteFile(dir / "PROFT.MDX.transdae-new", "a medio hacer");
  WriteFile(dir / "PROFT.DBF.transdae-replace", "TDREPL01\nM PROFT.DBF.transdae-new\tPROFT.DBF\n");
  WriteFile(dir / "PROFT.DBF.transdae-journal", "TDJRNL01 cortado");
  WriteFile(dir / ".transdae-0123456789abcdef.tmp", "temporal");
  for (const char* n : {"PROFT.DBF.transdae-new", "PROFT.MDX.transdae-new",
                        "PROFT.DBF.transdae-replace", "PROFT.DBF.transdae-journal",
                        ".transdae-0123456789abcdef.tmp"}) {
    MarkReadOnly(dir / n);
  }
#ifdef _WIN32
  // The mark holds here as on Windows: a plain removal is refused.
  WriteFile(dir / "marcado.txt", "x");
  MarkReadOnly(dir / "marcado.txt");
  EXPECT_FALSE(os::RemoveFile(dir / "marcado.txt"));
  EXPECT_TRUE(os::RemoveOwnFile(dir / "marcado.txt"));
#endif
  RecoverWorkFolder(dir.path());
  RemoveStaleTempFiles(dir.path());
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"PROFT.DBF", "PROFT.MDX"}));
  EXPECT_EQ(ReadFile(dir / "PROFT.DBF"), dbf);
  // Read-only strays left right where a new build puts its files.
  WriteFile(dir / "PROFT.DBF.transdae-new", "a medio hacer");
  MarkReadOnly(dir / "PROFT.DBF.transdae-new");
  MakeTeachers(dir.path(), 7);
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"PROFT.DBF", "PROFT.MDX"}));
  Table t;
  t.SetDatabaseName(dir.path());
  t.SetTableName("PROFT");
  t.Open();
  EXPECT_EQ(t.VisibleRecords().size(), 7u);
}

// A whole journal of the table's own, marked read-only, is still rolled
// back.
TEST(ReadOnlyEngineFiles, AReadOnlyJournalIsStillRolledBack) {
  TempDir dir;
  MakeTeachers(dir.path(), 5);
  const std::string before = ReadFile(dir / "PROFT.DBF");
  // The journal a commit leaves when it is killed after writing the
  // table (layout in pager.cpp): page 0 as it was, the length before.
  std::string changed = before;
  changed[before.size() - 3] = 'Q';
  changed += "extra";
  WriteFile(dir / "PROFT.DBF", changed);
  auto put = [](std::string& out, uint64_t v, int n) {
    for (int i = 0; i < n; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  auto fnv = [](const std::string& s) {
    uint64_t h = 1469598103934665603ull;
    for (char c : s) {
      h ^= static_cast<unsigned char>(c);
      h *= 1099511628211ull;
    }
    return h;
  };
  std::string body;
  put(body, 9, 2);
  body += "PROFT.DBF";
  put(body, before.size(), 8);
  put(body, 0, 1);
  put(body, 0, 4);
  const std::string page = before.substr(0, std::min<size_t>(4096, before.size()));
  put(body, page.size(), 4);
  body += page;
  std::string head = "TDJRNL01";
  put(head, 4096, 4);
  put(head, 1, 4);
  put(head, 1, 4);
  put(head, 0, 4);
  put(head, body.size(), 8);
  put(head, fnv(body), 8);
  put(head, fnv(head), 8);
  WriteFile(dir / "PROFT.DBF.transdae-journal", head + body);
  MarkReadOnly(dir / "PROFT.DBF.transdae-journal");
  std::vector<std::string> told;
  ScopedNoticeSink sink([&](const std::string& t) { told.push_back(t); });
  RecoverWorkFolder(dir.path());
  EXPECT_EQ(ReadFile(dir / "PROFT.DBF"), before);
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"PROFT.DBF", "PROFT.MDX"}));
  EXPECT_TRUE(told.empty());
}

// On Windows a table that this process holds is replaced by moving it
// aside to "<name>.transdae-old"; a read-only one keeps its mark there,
// and neither that nor a kill may leave the aside file in the way.
TEST(ReadOnlyEngineFiles, ATableMovedAsideNeverStaysInTheWay) {
#ifndef _WIN32
  GTEST_SKIP() << "a table is moved aside only on Windows (POSIX renames over an open file)";
#else
  TempDir dir;
  // Left by a kill after the new file took the name: deleted.
  WriteFile(dir / "T.DBF", "nuevo");
  WriteFile(dir / "T.DBF.transdae-old", "viejo");
  MarkReadOnly(dir / "T.DBF.transdae-old");
  os::RecoverReplaced(dir / "T.DBF");
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"T.DBF"}));
  // Left by a kill before: it goes back to its name, mark and all.
  fs::remove(dir / "T.DBF");
  WriteFile(dir / "T.DBF.transdae-old", "viejo");
  MarkReadOnly(dir / "T.DBF.transdae-old");
  os::RecoverReplaced(dir / "T.DBF");
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"T.DBF"}));
  EXPECT_EQ(ReadFile(dir / "T.DBF"), "viejo");
  EXPECT_TRUE(IsReadOnly(dir / "T.DBF"));
  // A read-only file held by this process, renamed over: whatever the
  // outcome, nothing is left aside, and the next rename is not blocked.
  fs::permissions(dir / "T.DBF", fs::perms::owner_write, fs::perm_options::add);
  WriteFile(dir / "T.DBF.transdae-old", "de antes");
  MarkReadOnly(dir / "T.DBF.transdae-old");
  MarkReadOnly(dir / "T.DBF");
  {
    os::File held;
    ASSERT_TRUE(held.Open(dir / "T.DBF", os::OpenMode::ReadOnly));
    WriteFile(dir / "nuevo.tmp", "nuevo");
    os::RenameFile(dir / "nuevo.tmp", dir / "T.DBF");
  }
  EXPECT_FALSE(fs::exists(dir / "T.DBF.transdae-old"));
  WriteFile(dir / "otro.tmp", "otro");
  if (IsReadOnly(dir / "T.DBF")) fs::permissions(dir / "T.DBF", fs::perms::owner_write, fs::perm_options::add);
  EXPECT_TRUE(os::RenameFile(dir / "otro.tmp", dir / "T.DBF")) << os::LastError();
  EXPECT_EQ(ReadFile(dir / "T.DBF"), "otro");
  EXPECT_FALSE(fs::exists(dir / "T.DBF.transdae-old"));
#endif
}

}  // namespace
