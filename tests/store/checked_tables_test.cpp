// A table that this process left whole is opened again without the check
// of its index against its records, as long as both files still hold what
// it left, byte for byte; any change made by another program (even one
// that keeps the files' sizes and times) brings the full check back, and
// with it the rebuild of an index that no longer matches and the refusal
// of a damaged one.
#include <gtest/gtest.h>

#include <functional>

#include "store/checked_tables.h"
#include "store/content_digest.h"
#include "store/store_error.h"
#include "store/store_notices.h"
#include "store/table.h"
#include "store/transaction.h"
#include "tests/store/store_test_util.h"

using namespace store;
namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace {

const char kRebuilt[] =
    "El índice de la tabla 'PROFT' no coincidía con sus registros y se ha reconstruido.";

void OpenTeachers(Table& t, const fs::path& folder) {
  t.SetDatabaseName(folder);
  t.SetTableName("PROFT");
  t.SetIndexName("ABREV");
  t.Open();
}

// PROFT (ABREV C4, NOMBRE C20, tag ABREV) made afresh by this process:
// ABC, GJ, PEM, ZLI.
void MakeTeachers(const fs::path& folder) { storetest::MakeTeachers(folder, {"PEM", "ABC", "ZLI", "GJ"}); }

// Replaces the only occurrence of from in file by to (same length), and
// gives the file back the modification time it had.
void PatchKeepingTime(const fs::path& file, const std::string& from, const std::string& to) {
  ASSERT_EQ(from.size(), to.size());
  const auto time = fs::last_write_time(file);
  std::string bytes = testsupport::ReadFile(file);
  const size_t at = bytes.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  ASSERT_EQ(bytes.find(from, at + 1), std::string::npos) << "ambiguous";
  bytes.replace(at, from.size(), to);
  testsupport::WriteFile(file, bytes);
  fs::last_write_time(file, time);
}

struct Notices {
  Strings got;
  ScopedNoticeSink sink{[this](const std::string& s) { got.push_back(s); }};
};

}  // namespace

TEST(CheckedTables, ATableLeftWholeByThisProcessOpensWithoutTheCheck) {
  testsupport::TempDir dir;
  const uint64_t before = FullIndexChecks();
  MakeTeachers(dir.path());  // built here: never checked
  Notices notices;
  {
    Table t;
    OpenTeachers(t, dir.path());
    EXPECT_EQ(storetest::Column(t, "ABREV"), (Strings{"ABC", "GJ", "PEM", "ZLI"}));
    // Changed in place, one record and then several in a transaction.
    t.AppendValues({std::string("BAR"), std::string("Nombre BAR")});
    Transaction tx(t);
    ASSERT_TRUE(t.FindKey("PEM"));
    t.Delete();
    t.AppendValues({std::string("AAA"), std::string("Nombre AAA")});
    tx.Commit();
  }
  for (int round = 0; round < 2; ++round) {
    Table t;
    OpenTeachers(t, dir.path());
    EXPECT_EQ(storetest::Column(t, "ABREV"), (Strings{"AAA", "ABC", "BAR", "GJ", "ZLI"}));
    EXPECT_TRUE(t.FindKey("BAR"));
  }
  EXPECT_EQ(FullIndexChecks(), before);
  EXPECT_TRUE(notices.got.empty());
}

struct BehindTheBack {
  const char* name;
  std::function<void(const fs::path& folder)> change;
  bool rebuilt;        // the check finds the index behind the records
  bool refused;        // the index is damaged: the table does not open
  Strings abrevInTagOrder;
};

void PrintTo(const BehindTheBack& c, std::ostream* os) { *os << c.name; }

class ChangedBehindTheProcess : public ::testing::TestWithParam<BehindTheBack> {};

TEST_P(ChangedBehindTheProcess, IsCheckedInFullAgain) {
  const BehindTheBack& c = GetParam();
  testsupport::TempDir dir;
  MakeTeachers(dir.path());
  {
    Table t;
    OpenTeachers(t, dir.path());  // left whole, and remembered so
  }
  c.change(dir.path());

  Notices notices;
  const uint64_t before = FullIndexChecks();
  Table t;
  if (c.refused) {
    try {
      OpenTeachers(t, dir.path());
      FAIL() << "opened";
    } catch (const IndexError& e) {
      EXPECT_NE(std::string(e.what()).find("'PROFT.DBF' no se puede usar"), std::string::npos)
          << e.what();
    }
    EXPECT_EQ(FullIndexChecks(), before);  // refused before the records are read
    return;
  }
  OpenTeachers(t, dir.path());
  EXPECT_EQ(FullIndexChecks(), before + 1);
  EXPECT_EQ(notices.got, c.rebuilt ? Strings{kRebuilt} : Strings{});
  EXPECT_EQ(storetest::Column(t, "ABREV"), c.abrevInTagOrder);
  for (const std::string& a : c.abrevInTagOrder) EXPECT_TRUE(t.FindKey(a)) << a;
  t.Close();
  // What the check left (the rebuilt index included) is remembered in turn.
  t.Open();
  EXPECT_EQ(FullIndexChecks(), before + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChangedBehindTheProcess,
    ::testing::Values(
        // A record's key changed in the .DBF, the size and the
        // modification time kept: the index still says GJ.
        BehindTheBack{"record_key_changed_same_size_and_time",
                      [](const fs::path& f) { PatchKeepingTime(f / "PROFT.DBF", "GJ  Nombre", "GK  Nombre"); },
                      true, false, {"ABC", "GK", "PEM", "ZLI"}},
        // A byte of the index changed the same way: a key that no record
        // has, the tree still in order.
        BehindTheBack{"index_key_changed_same_size_and_time",
                      [](const fs::path& f) { PatchKeepingTime(f / "PROFT.MDX", "PEM ", "PEN "); },
                      true, false, {"ABC", "GJ", "PEM", "ZLI"}},
        // A leaf whose keys are out of order: damaged, not used.
        BehindTheBack{"index_damaged",
                      [](const fs::path& f) { PatchKeepingTime(f / "PROFT.MDX", "ABC ", "ZZZ "); },
                      false, true, {}},
        // A record added by another program: the index lacks it.
        BehindTheBack{"record_appended",
                      [](const fs::path& f) {
                        std::string b = testsupport::ReadFile(f / "PROFT.DBF");
                        const size_t end = b.size() - 1;  // the end-of-file mark
                        ASSERT_EQ(b[end], '\x1A');
                        const std::string rec = std::string(" XYZ ") + std::string(20, ' ') + "\x1A";
                        b.replace(end, 1, rec);
                        b[4] = static_cast<char>(b[4] + 1);  // the record count
                        testsupport::WriteFile(f / "PROFT.DBF", b);
                      },
                      true, false, {"ABC", "GJ", "PEM", "XYZ", "ZLI"}},
        // Another file put in the table's place, of the same size and
        // time, whose records differ outside the keys: checked, and found
        // to match.
        BehindTheBack{"file_replaced_by_another_of_the_same_size",
                      [](const fs::path& f) {
                        std::string b = testsupport::ReadFile(f / "PROFT.DBF");
                        const size_t at = b.find("Nombre ZLI");
                        ASSERT_NE(at, std::string::npos);
                        b.replace(at, 10, "Nombre XYZ");
                        const auto time = fs::last_write_time(f / "PROFT.DBF");
                        fs::remove(f / "PROFT.DBF");
                        testsupport::WriteFile(f / "PROFT.DBF", b);
                        fs::last_write_time(f / "PROFT.DBF", time);
                      },
                      false, false, {"ABC", "GJ", "PEM", "ZLI"}}),
    [](const auto& info) { return std::string(info.param.name); });

// The rule is the content: the same bytes written again by another program
// need no check, whatever their time.
TEST(CheckedTables, TheSameBytesWrittenAgainNeedNoCheck) {
  testsupport::TempDir dir;
  MakeTeachers(dir.path());
  { Table t; OpenTeachers(t, dir.path()); }
  for (const char* f : {"PROFT.DBF", "PROFT.MDX"}) {
    const std::string b = testsupport::ReadFile(dir / f);
    testsupport::WriteFile(dir / f, b);
  }
  const uint64_t before = FullIndexChecks();
  Table t;
  OpenTeachers(t, dir.path());
  EXPECT_EQ(FullIndexChecks(), before);
  EXPECT_TRUE(t.FindKey("ZLI"));
}

// The digest tells apart contents that differ in one byte anywhere, or in
// length only, however the bytes are fed.
TEST(ContentDigest, OneByteOrTheLengthMakesTheDifference) {
  std::string base(3 * 4096 + 45, '\0');
  for (size_t i = 0; i < base.size(); ++i) base[i] = static_cast<char>((i * 131 + 7) % 251);
  auto digest = [](const std::string& s, size_t piece) {
    ContentHasher h;
    for (size_t at = 0; at < s.size(); at += piece) h.Add(s.data() + at, std::min(piece, s.size() - at));
    return h.Finish();
  };
  const ContentDigest whole = digest(base, base.size());
  EXPECT_EQ(whole.length, base.size());
  for (size_t piece : {4096u, 32u, 7u}) EXPECT_EQ(digest(base, piece), whole) << piece;
  for (size_t at : {0u, 1u, 31u, 32u, 4095u, 4096u, 3u * 4096u + 44u}) {
    for (unsigned char flip : {0x01, 0x80}) {
      std::string changed = base;
      changed[at] = static_cast<char>(changed[at] ^ flip);
      EXPECT_NE(digest(changed, 4096), whole) << at << " " << int(flip);
    }
  }
  // Two changes that would cancel in a plain sum or a plain exclusive or.
  std::string twice = base;
  twice[8] = static_cast<char>(twice[8] ^ 0x80);
  twice[40] = static_cast<char>(twice[40] ^ 0x80);
  EXPECT_NE(digest(twice, 4096), whole);
  EXPECT_NE(digest(base + std::string(1, '\0'), 4096), whole);
  EXPECT_NE(digest(base.substr(0, base.size() - 1), 4096), whole);
}
