// The production index: order, persistence, page reuse and damaged files,
// checked against an in-memory model of the entries.
#include "store/mdx_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <set>

#include "store/store_error.h"
#include "tests/support/test_support.h"

namespace {

using store::MdxEntry;
using store::MdxFile;
using store::MdxKey;
using store::MdxTagDef;
using testsupport::TempDir;
namespace fs = std::filesystem;

using Model = std::set<std::pair<std::string, uint32_t>>;

MdxEntry CharEntry(const std::string& key, uint32_t recno, size_t width) {
  MdxEntry e;
  e.key.chars = key;
  e.key.chars.resize(width, ' ');
  e.recno = recno;
  return e;
}

// Walks the tag forwards with Next and backwards with Prior and checks
// both against the model.
void ExpectWalk(const MdxFile& mdx, int tag, const Model& model) {
  std::vector<std::pair<std::string, uint32_t>> fwd;
  for (auto e = mdx.First(tag); e; e = mdx.Next(tag, *e)) {
    fwd.emplace_back(e->key.chars, e->recno);
    ASSERT_LE(fwd.size(), model.size()) << "walk longer than the model";
  }
  std::vector<std::pair<std::string, uint32_t>> expected(model.begin(), model.end());
  ASSERT_EQ(fwd, expected);
  std::vector<std::pair<std::string, uint32_t>> back;
  for (auto e = mdx.Last(tag); e; e = mdx.Prior(tag, *e)) {
    back.emplace_back(e->key.chars, e->recno);
    ASSERT_LE(back.size(), model.size());
  }
  std::reverse(back.begin(), back.end());
  ASSERT_EQ(back, expected);
}

std::vector<MdxTagDef> OneCharTag(int width) {
  MdxTagDef d;
  d.name = "ABREV";
  d.expression = "ABREV";
  d.keyType = 'C';
  d.keyLength = width;
  return {d};
}

TEST(MdxFile, EmptyTagHasNoEntries) {
  TempDir dir;
  MdxFile::Create(dir / "PROFT.MDX", "PROFT", OneCharTag(4));
  MdxFile mdx;
  mdx.Open(dir / "PROFT.MDX", false);
  ASSERT_EQ(mdx.Tags().size(), 1u);
  EXPECT_EQ(mdx.Tags()[0].name, "ABREV");
  EXPECT_EQ(mdx.Tags()[0].expression, "ABREV");
  EXPECT_EQ(mdx.Tags()[0].keyLength, 4);
  EXPECT_EQ(mdx.TagIndex("abrev"), 0);
  EXPECT_EQ(mdx.TagIndex("OTRA"), -1);
  EXPECT_FALSE(mdx.First(0));
  EXPECT_FALSE(mdx.Last(0));
  EXPECT_FALSE(mdx.LowerBound(0, MdxKey{"A   ", 0}));
  mdx.Verify();
}

struct Scenario {
  const char* name;
  int count;        // entries inserted
  int distinctKeys; // keys are drawn from this many values
  int removeEvery;  // remove every n-th inserted entry (0: none)
  bool removeAll;
};

class MdxModelTest : public ::testing::TestWithParam<Scenario> {};

TEST_P(MdxModelTest, MatchesModelAndSurvivesReopen) {
  const Scenario& s = GetParam();
  TempDir dir;
  const fs::path file = dir / "T.MDX";
  MdxFile::Create(file, "T", OneCharTag(4));
  Model model;
  std::mt19937 rng(12345);
  std::vector<std::pair<std::string, uint32_t>> inserted;
  {
    MdxFile mdx;
    mdx.Open(file, false);
    for (int i = 0; i < s.count; ++i) {
      const int k = static_cast<int>(rng() % static_cast<unsigned>(s.distinctKeys));
      std::string key = std::to_string(k);
      key.resize(4, ' ');
      const uint32_t recno = static_cast<uint32_t>(i + 1);
      mdx.Insert(0, CharEntry(key, recno, 4));
      model.emplace(key, recno);
      inserted.emplace_back(key, recno);
    }
    std::shuffle(inserted.begin(), inserted.end(), rng);
    for (size_t i = 0; i < inserted.size(); ++i) {
      if (s.removeAll || (s.removeEvery > 0 && i % static_cast<size_t>(s.removeEvery) == 0)) {
        mdx.Remove(0, CharEntry(inserted[i].first, inserted[i].second, 4));
        model.erase(inserted[i]);
      }
    }
    mdx.Verify();
    ExpectWalk(mdx, 0, model);
  }
  MdxFile again;
  again.Open(file, true);
  again.Verify();
  ExpectWalk(again, 0, model);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, MdxModelTest,
    ::testing::Values(Scenario{"few", 10, 1000, 0, false},
                      Scenario{"one_leaf_full", 126, 100000, 0, false},
                      Scenario{"many_levels", 20000, 100000, 0, false},
                      Scenario{"duplicates", 5000, 3, 0, false},
                      Scenario{"remove_half", 5000, 500, 2, false},
                      Scenario{"remove_all", 5000, 50, 0, true},
                      Scenario{"remove_all_dups", 3000, 1, 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

// Keys of every width, with bytes above 0x7F, in the orders a table is
// filled in: rising (records written in key order, equal keys in runs),
// rising and then entries older than those already there, and at random.
// Keys order as unsigned bytes, whatever their width.
struct OrderScenario {
  const char* name;
  int width;
  int count;
  enum Order { Rising, RisingThenOlder, Random } order;
};

class MdxOrderTest : public ::testing::TestWithParam<OrderScenario> {};

TEST_P(MdxOrderTest, KeysOfEveryWidthOrderAsUnsignedBytes) {
  const OrderScenario& s = GetParam();
  const size_t width = static_cast<size_t>(s.width);
  static const unsigned char kBytes[] = {' ', '0', 'A', 'Z', 'a', 0x7F, 0x80, 0xC1, 0xD1, 0xFF};
  std::mt19937 rng(4242);
  auto randomKey = [&] {
    std::string k(width, ' ');
    for (char& c : k) c = static_cast<char>(kBytes[rng() % sizeof kBytes]);
    // Keys that share all but their last byte, or all bytes, are common.
    if (rng() % 3 == 0) k.assign(width, static_cast<char>(0xD1));
    if (rng() % 3 == 0) k.back() = static_cast<char>(kBytes[rng() % sizeof kBytes]);
    return k;
  };
  std::vector<std::string> keys;
  for (int i = 0; i < s.count; ++i) keys.push_back(randomKey());
  std::vector<std::pair<std::string, uint32_t>> entries;
  if (s.order == OrderScenario::Random) {
    for (size_t i = 0; i < keys.size(); ++i) entries.emplace_back(keys[i], i + 1);
  } else {
    std::sort(keys.begin(), keys.end());
    const size_t rising =
        s.order == OrderScenario::Rising ? keys.size() : keys.size() * 2 / 3;
    // Record numbers rise with the keys; the later entries take the
    // numbers below them, so each lands before entries already there.
    const uint32_t base = static_cast<uint32_t>(keys.size() - rising);
    for (size_t i = 0; i < rising; ++i) entries.emplace_back(keys[i], base + i + 1);
    for (size_t i = rising; i < keys.size(); ++i) {
      entries.emplace_back(keys[rng() % rising], static_cast<uint32_t>(keys.size() - i));
    }
  }

  TempDir dir;
  const fs::path file = dir / "T.MDX";
  MdxFile::Create(file, "T", OneCharTag(s.width));
  Model model;
  {
    MdxFile mdx;
    mdx.Open(file, false);
    for (const auto& [key, recno] : entries) {
      mdx.Insert(0, CharEntry(key, recno, width));
      model.emplace(key, recno);
    }
    mdx.Save();
    mdx.Verify();
    ExpectWalk(mdx, 0, model);
    // Seeks land on the first entry at or above each key sought.
    for (int i = 0; i < 200; ++i) {
      const std::string k = randomKey();
      const auto want = model.lower_bound({k, 0});
      const auto got = mdx.LowerBound(0, MdxKey{k, 0});
      ASSERT_EQ(static_cast<bool>(got), want != model.end()) << i;
      if (got) {
        EXPECT_EQ(got->key.chars, want->first) << i;
        EXPECT_EQ(got->recno, want->second) << i;
      }
    }
  }
  MdxFile again;
  again.Open(file, true);
  again.Verify();
  ExpectWalk(again, 0, model);
}

INSTANTIATE_TEST_SUITE_P(
    Widths, MdxOrderTest,
    ::testing::Values(OrderScenario{"rising_3", 3, 6000, OrderScenario::Rising},
                      OrderScenario{"rising_then_older_7", 7, 6000, OrderScenario::RisingThenOlder},
                      OrderScenario{"random_8", 8, 6000, OrderScenario::Random},
                      OrderScenario{"rising_then_older_12", 12, 6000,
                                    OrderScenario::RisingThenOlder},
                      OrderScenario{"random_15", 15, 6000, OrderScenario::Random},
                      OrderScenario{"rising_21", 21, 6000, OrderScenario::Rising}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

uint32_t FileU32(const std::string& b, size_t at) {
  uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}
uint16_t FileU16(const std::string& b, size_t at) {
  uint16_t v;
  std::memcpy(&v, b.data() + at, 2);
  return v;
}

std::string Key4(int i) {
  std::string k = std::to_string(i);
  k.resize(4, ' ');
  return k;
}

TEST(MdxFile, CreateWritesTheHeaderOtherReadersExpect) {
  TempDir dir;
  const fs::path file = dir / "CUADROH2.MDX";
  MdxFile::Create(file, "CUADROH2",
                  {MdxTagDef{"ABREVPROF", "ABREVPROF", 'C', 4}, MdxTagDef{"DOC", "DOC", 'C', 15},
                   MdxTagDef{"hora", "HORA", 'N', 0}});
  const std::string b = testsupport::ReadFile(file);
  ASSERT_EQ(b.size() % 1024, 0u);
  EXPECT_EQ(b[0], 2);                                // version
  EXPECT_EQ(b.substr(4, 9), std::string("CUADROH2\0", 9));
  EXPECT_EQ(FileU16(b, 20), 2);                      // pages per block
  EXPECT_EQ(FileU16(b, 22), 1024);                   // bytes per block
  EXPECT_EQ(b[24], 1);                               // production index
  EXPECT_EQ(b[25], 48);
  EXPECT_EQ(b[26], 32);
  EXPECT_EQ(FileU16(b, 28), 3);                      // tags in use
  EXPECT_EQ(FileU32(b, 32) * 512, b.size());         // pages in the file
  EXPECT_EQ(FileU32(b, 36), 0u);                     // no free block
  struct Expect { const char* name; char type; int keyLen; int item; int maxKeys; };
  const Expect tags[] = {{"ABREVPROF", 'C', 4, 8, 126}, {"DOC", 'C', 15, 20, 50}, {"HORA", 'N', 12, 16, 63}};
  for (int i = 0; i < 3; ++i) {
    const size_t e = 544 + static_cast<size_t>(i) * 32;
    const uint32_t hp = FileU32(b, e);
    EXPECT_EQ(std::string(b.c_str() + e + 4), tags[i].name);
    EXPECT_EQ(b[e + 15], 0x10);
    EXPECT_EQ(b[e + 20], tags[i].type);
    const size_t h = static_cast<size_t>(hp) * 512;
    ASSERT_LE(h + 1024, b.size());
    const uint32_t root = FileU32(b, h);
    ASSERT_LE(static_cast<size_t>(root) * 512 + 1024, b.size());
    EXPECT_EQ(FileU32(b, static_cast<size_t>(root) * 512), 0u);  // empty root leaf
    EXPECT_EQ(b[h + 9], tags[i].type);
    EXPECT_EQ(FileU16(b, h + 12), tags[i].keyLen);
    EXPECT_EQ(FileU16(b, h + 14), tags[i].maxKeys);
    EXPECT_EQ(FileU16(b, h + 18), tags[i].item);
    EXPECT_EQ(b[h + 23], 0);                         // not unique
  }
  // The tag names form a search tree: ABREVPROF at the root, DOC to its
  // right, HORA to the right of DOC.
  EXPECT_EQ(b[544 + 17], 2);
  EXPECT_EQ(b[576 + 18], 1);
  EXPECT_EQ(b[576 + 17], 3);
  EXPECT_EQ(b[608 + 18], 2);
  EXPECT_EQ(std::string(b.c_str() + FileU32(b, 608) * 512 + 24), "HORA");
}

TEST(MdxFile, CreateRefusesBadDefinitionsAndReplacesOldFile) {
  TempDir dir;
  const fs::path file = dir / "T.MDX";
  const std::vector<std::vector<MdxTagDef>> bad = {
      {},
      {MdxTagDef{"", "A", 'C', 4}},
      {MdxTagDef{"NOMBREDEMASIADOLARGO", "A", 'C', 4}},
      {MdxTagDef{"A", "", 'C', 4}},
      {MdxTagDef{"A", "A", 'C', 0}},
      {MdxTagDef{"A", "A", 'C', 101}},
      {MdxTagDef{"A", "A", 'D', 8}},
      {MdxTagDef{"A", "A", 'C', 4}, MdxTagDef{"a", "B", 'C', 4}},
  };
  for (const auto& defs : bad) {
    EXPECT_THROW(MdxFile::Create(file, "T", defs), store::StoreError) << defs.size();
    EXPECT_FALSE(fs::exists(file));
  }
  MdxFile::Create(file, "T", OneCharTag(4));
  {
    MdxFile mdx;
    mdx.Open(file, false);
    for (int i = 1; i <= 500; ++i) mdx.Insert(0, CharEntry(Key4(i), static_cast<uint32_t>(i), 4));
  }
  MdxFile::Create(file, "T", OneCharTag(4));
  MdxFile mdx;
  mdx.Open(file, false);
  EXPECT_FALSE(mdx.First(0));
  EXPECT_EQ(fs::file_size(file), 4096u);
}

TEST(MdxFile, SeeksFollowKeyThenRecordNumber) {
  TempDir dir;
  MdxFile::Create(dir / "T.MDX", "T", OneCharTag(4));
  MdxFile mdx;
  mdx.Open(dir / "T.MDX", false);
  // "AB" three times, then "ABC", "B"; enough filler that "AB" spans leaves.
  for (uint32_t r = 1; r <= 300; ++r) mdx.Insert(0, CharEntry("AB", r * 2, 4));
  mdx.Insert(0, CharEntry("ABC", 5, 4));
  mdx.Insert(0, CharEntry("B", 7, 4));
  mdx.Insert(0, CharEntry("AA", 9, 4));

  auto lb = mdx.LowerBound(0, MdxKey{"AB", 0});
  ASSERT_TRUE(lb);
  EXPECT_EQ(lb->key.chars, "AB  ");
  EXPECT_EQ(lb->recno, 2u);
  auto lb2 = mdx.LowerBound(0, MdxKey{"AB  ", 0});
  ASSERT_TRUE(lb2);
  EXPECT_EQ(lb2->recno, 2u);
  auto lbAbc = mdx.LowerBound(0, MdxKey{"ABB", 0});
  ASSERT_TRUE(lbAbc);
  EXPECT_EQ(lbAbc->key.chars, "ABC ");
  EXPECT_FALSE(mdx.LowerBound(0, MdxKey{"C", 0}));
  EXPECT_EQ(mdx.LowerBound(0, MdxKey{"", 0})->key.chars, "AA  ");

  // Next and Prior from entries that are not there.
  EXPECT_EQ(mdx.Next(0, CharEntry("AB", 3, 4))->recno, 4u);
  EXPECT_EQ(mdx.Prior(0, CharEntry("AB", 3, 4))->recno, 2u);
  EXPECT_EQ(mdx.Next(0, CharEntry("AB", 600, 4))->key.chars, "ABC ");
  EXPECT_EQ(mdx.Next(0, CharEntry("AB", 601, 4))->key.chars, "ABC ");
  EXPECT_EQ(mdx.Prior(0, CharEntry("ABC", 1, 4))->recno, 600u);
  EXPECT_EQ(mdx.Prior(0, CharEntry("AB", 1, 4))->key.chars, "AA  ");
  EXPECT_FALSE(mdx.Prior(0, CharEntry("AA", 9, 4)));
  EXPECT_FALSE(mdx.Next(0, CharEntry("B", 7, 4)));
  EXPECT_EQ(mdx.First(0)->key.chars, "AA  ");
  EXPECT_EQ(mdx.Last(0)->key.chars, "B   ");
}

TEST(MdxFile, CompareKeysPadsCharacterKeysAndComparesNumbers) {
  TempDir dir;
  MdxFile::Create(dir / "T.MDX", "T",
                  {MdxTagDef{"ABREV", "ABREV", 'C', 4}, MdxTagDef{"HORA", "HORA", 'N', 0}});
  MdxFile mdx;
  mdx.Open(dir / "T.MDX", true);
  struct Case { const char* a; const char* b; int sign; };
  const Case chars[] = {{"AB", "ABC", -1}, {"AB", "AB  ", 0}, {"", "0", -1}, {" ", "", 0},
                        {"9", "A", -1}, {"Z", "a", -1}, {"ABCD", "ABC", 1}, {"\xD1", "Z", 1}};
  for (const Case& c : chars) {
    const int r = mdx.CompareKeys(0, MdxKey{c.a, 0}, MdxKey{c.b, 0});
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " / " << c.b;
  }
  const std::pair<double, double> nums[] = {{2, 10}, {-1, 0}, {-10, -2}, {2.5, 3}, {0.05, 0.5}};
  for (auto [a, b] : nums) {
    EXPECT_LT(mdx.CompareKeys(1, MdxKey{"", a}, MdxKey{"", b}), 0) << a << " " << b;
    EXPECT_GT(mdx.CompareKeys(1, MdxKey{"", b}, MdxKey{"", a}), 0) << a << " " << b;
  }
  EXPECT_EQ(mdx.CompareKeys(1, MdxKey{"", 7}, MdxKey{"", 7}), 0);
}

TEST(MdxFile, RepeatedInsertAndAbsentRemoveChangeNothing) {
  TempDir dir;
  const fs::path file = dir / "T.MDX";
  MdxFile::Create(file, "T", OneCharTag(4));
  MdxFile mdx;
  mdx.Open(file, false);
  mdx.Insert(0, CharEntry("AB", 1, 4));
  mdx.Insert(0, CharEntry("AB", 1, 4));
  mdx.Remove(0, CharEntry("AB", 2, 4));
  mdx.Remove(0, CharEntry("ZZ", 1, 4));
  ExpectWalk(mdx, 0, Model{{"AB  ", 1}});
  EXPECT_THROW(mdx.Insert(0, CharEntry("AB", 0, 4)), store::StoreError);
  // A key longer than the field is cut to it.
  mdx.Insert(0, CharEntry("ABCDEF", 3, 6));
  ExpectWalk(mdx, 0, Model{{"AB  ", 1}, {"ABCD", 3}});
}

// A table swept on every run (all entries removed, all inserted again)
// keeps its index at the same size: freed blocks are used again.
TEST(MdxFile, FreedBlocksAreReused) {
  TempDir dir;
  const fs::path file = dir / "T.MDX";
  MdxFile::Create(file, "T", OneCharTag(4));
  MdxFile mdx;
  mdx.Open(file, false);
  uintmax_t sizeAfterFirstFill = 0;
  for (int round = 0; round < 5; ++round) {
    for (int i = 0; i < 3000; ++i) mdx.Insert(0, CharEntry(Key4(i % 400), static_cast<uint32_t>(i + 1), 4));
    if (round == 0) sizeAfterFirstFill = fs::file_size(file);
    EXPECT_EQ(fs::file_size(file), sizeAfterFirstFill) << "round " << round;
    for (int i = 2999; i >= 0; i -= 2) mdx.Remove(0, CharEntry(Key4(i % 400), static_cast<uint32_t>(i + 1), 4));
    for (int i = 0; i < 3000; i += 2) mdx.Remove(0, CharEntry(Key4(i % 400), static_cast<uint32_t>(i + 1), 4));
    EXPECT_FALSE(mdx.First(0));
    mdx.Verify();
    const std::string h = testsupport::ReadFile(file);
    EXPECT_EQ(h[FileU32(h, 544) * 512 + 246], 0) << "tag still marked as holding keys";
    mdx.Insert(0, CharEntry("X", 1, 4));
    const std::string h2 = testsupport::ReadFile(file);
    EXPECT_EQ(h2[FileU32(h2, 544) * 512 + 246], 1) << "tag not marked as holding keys";
    mdx.Remove(0, CharEntry("X", 1, 4));
  }
  const std::string b = testsupport::ReadFile(file);
  EXPECT_NE(FileU32(b, 36), 0u);  // the free chain holds the blocks
  EXPECT_GT(FileU32(b, 40), 20u);
}

// Random removals leave no trail of thin blocks: thin neighbours merge.
TEST(MdxFile, ThinBlocksMergeAfterRandomRemovals) {
  TempDir dir;
  const fs::path file = dir / "T.MDX";
  MdxFile::Create(file, "T", OneCharTag(4));
  MdxFile mdx;
  mdx.Open(file, false);
  std::vector<uint32_t> recs;
  for (uint32_t r = 1; r <= 10000; ++r) {
    mdx.Insert(0, CharEntry(Key4(static_cast<int>(r)), r, 4));
    recs.push_back(r);
  }
  std::mt19937 rng(99);
  std::shuffle(recs.begin(), recs.end(), rng);
  Model model;
  for (size_t i = 0; i < recs.size(); ++i) {
    if (i < 9700) {
      mdx.Remove(0, CharEntry(Key4(static_cast<int>(recs[i])), recs[i], 4));
    } else {
      model.emplace(Key4(static_cast<int>(recs[i])), recs[i]);
    }
  }
  mdx.Verify();
  ExpectWalk(mdx, 0, model);
  // 300 entries of 126 to a block need 3 blocks; with merging far fewer
  // than one block per remaining entry stay in use.
  const std::string b = testsupport::ReadFile(file);
  const uint32_t usedBlocks = (FileU32(b, 32) - 4) / 2 - FileU32(b, 40);
  EXPECT_LT(usedBlocks, 20u);
}

// A change writes only the blocks it touches, not the whole file.
TEST(MdxFile, ChangeWritesOnlyTouchedBlocks) {
  TempDir dir;
  const fs::path file = dir / "T.MDX";
  MdxFile::Create(file, "T", OneCharTag(4));
  MdxFile mdx;
  mdx.Open(file, false);
  for (int i = 0; i < 5000; ++i) mdx.Insert(0, CharEntry(Key4(i), static_cast<uint32_t>(i + 1), 4));
  auto changedBlocks = [](const std::string& a, const std::string& b) {
    int n = 0;
    const size_t blocks = std::max(a.size(), b.size()) / 1024;
    for (size_t i = 0; i < blocks; ++i) {
      if (a.compare(i * 1024, 1024, b, i * 1024, 1024) != 0) ++n;
    }
    return n;
  };
  std::string before = testsupport::ReadFile(file);
  ASSERT_GT(before.size(), 40u * 1024);
  mdx.Insert(0, CharEntry("0005", 99999, 4));
  std::string after = testsupport::ReadFile(file);
  EXPECT_LE(changedBlocks(before, after), 4);  // leaf, maybe a split: new block, parent, header
  before = after;
  mdx.Remove(0, CharEntry("2500", 2501, 4));
  after = testsupport::ReadFile(file);
  EXPECT_GE(changedBlocks(before, after), 1);
  EXPECT_LE(changedBlocks(before, after), 4);
}

// Two objects on the same file take turns; each sees the other's changes.
// Each change of an object used alone is in the file when it returns: an
// object opened afterwards sees all of them.
TEST(MdxFile, ALaterObjectSeesEveryChangeOfAnEarlierOne) {
  TempDir dir;
  const fs::path file = dir / "T.MDX";
  MdxFile::Create(file, "T", OneCharTag(4));
  MdxFile a;
  a.Open(file, false);
  Model model;
  for (int i = 0; i < 3000; ++i) {
    a.Insert(0, CharEntry(Key4(i % 50), static_cast<uint32_t>(i + 1), 4));
    model.emplace(Key4(i % 50), static_cast<uint32_t>(i + 1));
  }
  for (int i = 0; i < 3000; i += 3) {
    a.Remove(0, CharEntry(Key4(i % 50), static_cast<uint32_t>(i + 1), 4));
    model.erase({Key4(i % 50), static_cast<uint32_t>(i + 1)});
  }
  MdxFile b;
  b.Open(file, false);
  b.Verify();
  ExpectWalk(a, 0, model);
  ExpectWalk(b, 0, model);
}

// A numeric tag against a model ordered by value.
TEST(MdxFile, NumericTagMatchesModel) {
  TempDir dir;
  const fs::path file = dir / "P.MDX";
  MdxFile::Create(file, "P", {MdxTagDef{"HORA", "HORA", 'N', 0}});
  MdxFile mdx;
  mdx.Open(file, false);
  std::mt19937 rng(3);
  std::set<std::pair<double, uint32_t>> model;
  for (uint32_t r = 1; r <= 3000; ++r) {
    double v;
    switch (r % 4) {
      case 0: v = static_cast<double>(static_cast<int>(rng() % 200) - 100); break;
      case 1: v = (static_cast<int>(rng() % 20001) - 10000) / 100.0; break;
      case 2: v = static_cast<double>(rng() % 30); break;
      default: v = (static_cast<double>(rng()) - 2147483648.0) * 1e6; break;
    }
    MdxEntry e;
    e.key.number = v;
    e.recno = r;
    mdx.Insert(0, e);
    model.emplace(v, r);
  }
  mdx.Verify();
  std::vector<std::pair<double, uint32_t>> walked;
  for (auto e = mdx.First(0); e; e = mdx.Next(0, *e)) walked.emplace_back(e->key.number, e->recno);
  const std::vector<std::pair<double, uint32_t>> expected(model.begin(), model.end());
  EXPECT_EQ(walked, expected);
  auto lb = mdx.LowerBound(0, MdxKey{"", 10});
  ASSERT_TRUE(lb);
  EXPECT_EQ(lb->key.number, model.lower_bound({10.0, 0})->first);
}

}  // namespace
