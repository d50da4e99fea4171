// A production index that no longer matches its table (rows added or
// removed by a program that does not maintain the .MDX, a changed key
// byte) is found when the table is opened, made anew from the records and
// reported once; an index that matches is left as it is.
#include <gtest/gtest.h>

#include "store/dbf_file.h"
#include "store/index_check.h"
#include "store/mdx_file.h"
#include "store/store_error.h"
#include "store/store_notices.h"
#include "store/table.h"
#include "tests/store/store_test_util.h"
#include "tests/support/child_holder.h"

using namespace store;
namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
using testsupport::ShellQuote;

namespace {

Strings PerlWalk(const fs::path& dbf, const std::string& tag) {
  std::string tool = (testsupport::SourceDir() / "tests/tools/mdx_walk.pl").string();
  auto r = testsupport::RunCommand("perl " + ShellQuote(tool) + " " + ShellQuote(dbf.string()) +
                                   " " + ShellQuote(tag));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  return testsupport::SplitLines(r.out);
}

void Dump(const std::string& args) {
  auto r = storetest::RunDump(args);
  ASSERT_EQ(r.exitCode, 0) << r.err;
}

// PROFT-like table with an ABREV tag: ABC, GJ, PEM, ZLI, ÑRA.
void MakeTeachers(const fs::path& folder) {
  storetest::MakeTeachers(folder, {"ABC", "GJ", "PEM", "ZLI", "\xD1RA"});
}

struct Notices {
  Strings got;
  ScopedNoticeSink sink{[this](const std::string& s) { got.push_back(s); }};
};

void ReplaceOnce(const fs::path& file, const std::string& from, const std::string& to) {
  std::string bytes = testsupport::ReadFile(file);
  size_t at = bytes.find(from);
  ASSERT_NE(at, std::string::npos);
  ASSERT_EQ(bytes.find(from, at + 1), std::string::npos) << "ambiguous";
  bytes.replace(at, from.size(), to);
  testsupport::WriteFile(file, bytes);
}

struct Damage {
  const char* name;
  std::function<void(const fs::path& folder)> apply;
  bool rebuilt;               // the index must be made anew
  Strings abrevInTagOrder;    // what the tag then walks
};

class IndexCheck : public ::testing::TestWithParam<Damage> {};

const char kRebuilt[] =
    "El índice de la tabla 'PROFT' no coincidía con sus registros y se ha reconstruido.";

}  // namespace

TEST_P(IndexCheck, FoundOnOpeningRebuiltAndReportedOnce) {
  SKIP_WITHOUT_READERS();
  const Damage& d = GetParam();
  testsupport::TempDir dir;
  MakeTeachers(dir.path());
  d.apply(dir.path());

  Notices notices;
  Table t;
  t.SetDatabaseName(dir.path());
  t.SetTableName("PROFT");
  t.SetIndexName("ABREV");
  t.Open();
  if (d.rebuilt) {
    EXPECT_EQ(notices.got, Strings{kRebuilt});
  } else {
    EXPECT_TRUE(notices.got.empty()) << notices.got.front();
  }
  EXPECT_EQ(storetest::Column(t, "ABREV"), d.abrevInTagOrder);
  // Every live teacher is found by its key.
  for (const std::string& a : d.abrevInTagOrder) {
    EXPECT_TRUE(t.FindKey(a)) << a;
    EXPECT_EQ(t.FieldByName("ABREV").AsString(), a);
  }
  t.Close();

  // The other reader walks the same index; a second opening finds nothing.
  Strings keys;
  for (const std::string& line : PerlWalk(dir / "PROFT.DBF", "ABREV")) {
    keys.push_back(line.substr(line.find('|') + 1));
  }
  Strings want;
  for (const std::string& a : d.abrevInTagOrder) want.push_back(a);
  if (d.rebuilt) {
    EXPECT_EQ(keys, want);
  }
  t.Open();
  EXPECT_EQ(notices.got.size(), d.rebuilt ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IndexCheck,
    ::testing::Values(
        Damage{"intact", [](const fs::path&) {}, false,
               {"ABC", "GJ", "PEM", "ZLI", "\xD1RA"}},
        Damage{"rows_appended_by_python",
               [](const fs::path& f) {
                 Dump("--append " + ShellQuote((f / "PROFT.DBF").string()) +
                      " 'XYZ|Nuevo' 'AAA|Primero'");
               },
               true, {"AAA", "ABC", "GJ", "PEM", "XYZ", "ZLI", "\xD1RA"}},
        Damage{"deleted_and_packed_by_python",
               [](const fs::path& f) {
                 Dump("--delete-pack " + ShellQuote((f / "PROFT.DBF").string()) + " ABREV GJ");
               },
               true, {"ABC", "PEM", "ZLI", "\xD1RA"}},
        // dBase engines keep the entry of a deleted record: not a fault.
        Damage{"deleted_not_packed",
               [](const fs::path& f) {
                 std::string b = testsupport::ReadFile(f / "PROFT.DBF");
                 const size_t at = b.find("PEM ");
                 b[at - 1] = '*';
                 testsupport::WriteFile(f / "PROFT.DBF", b);
               },
               false, {"ABC", "GJ", "ZLI", "\xD1RA"}},
        // A key byte changed, the tree still in order: ÑRA becomes ÑRB.
        Damage{"flipped_key_byte",
               [](const fs::path& f) { ReplaceOnce(f / "PROFT.MDX", "\xD1RA ", "\xD1RB "); },
               true, {"ABC", "GJ", "PEM", "ZLI", "\xD1RA"}},
        // A record number changed: two entries for one record.
        Damage{"flipped_record_number",
               [](const fs::path& f) {
                 // Entries hold the record number in the 4 bytes before
                 // the key; PEM is record 3, made to point at record 2.
                 std::string b = testsupport::ReadFile(f / "PROFT.MDX");
                 const size_t at = b.find("PEM ");
                 ASSERT_NE(at, std::string::npos);
                 ASSERT_EQ(b[at - 4], '\x03');
                 b[at - 4] = '\x02';
                 testsupport::WriteFile(f / "PROFT.MDX", b);
               },
               true, {"ABC", "GJ", "PEM", "ZLI", "\xD1RA"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IndexCheckMismatch, NamesWhatWasFoundFirst) {
  SKIP_WITHOUT_READERS();
  testsupport::TempDir dir;
  MakeTeachers(dir.path());
  Dump("--append " + ShellQuote((dir / "PROFT.DBF").string()) + " 'XYZ|Nuevo'");
  DbfFile dbf;
  dbf.Open(dir / "PROFT.DBF", "PROFT.DBF");
  MdxFile mdx;
  mdx.Open(dir / "PROFT.MDX", true);
  EXPECT_EQ(IndexMismatch(dbf, mdx), "la etiqueta ABREV no tiene entrada para el registro 6");
}

TEST(IndexCheckMismatch, NotRebuiltWhileAnotherProgramHasTheTableOpen) {
  SKIP_WITHOUT_READERS();
  testsupport::TempDir dir;
  MakeTeachers(dir.path());
  Dump("--append " + ShellQuote((dir / "PROFT.DBF").string()) + " 'XYZ|Nuevo'");
  const std::string before = testsupport::ReadFile(dir / "PROFT.MDX");
  testsupport::FileHolder other(dir / "PROFT.DBF", testsupport::Sharing::Shared);
  ASSERT_TRUE(other.held());
  Notices notices;
  Table t;
  t.SetDatabaseName(dir.path());
  t.SetTableName("PROFT");
  try {
    t.Open();
    FAIL() << "opened";
  } catch (const IndexError& e) {
    EXPECT_NE(std::string(e.what()).find("'PROFT.DBF' no coincide con sus registros"),
              std::string::npos)
        << e.what();
    EXPECT_NE(std::string(e.what()).find("otro programa tiene la tabla abierta"),
              std::string::npos)
        << e.what();
  }
  EXPECT_TRUE(notices.got.empty());
  EXPECT_EQ(testsupport::ReadFile(dir / "PROFT.MDX"), before);
}
