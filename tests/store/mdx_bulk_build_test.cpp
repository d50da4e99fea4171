// A tag built at once from its entries: the same order as the entries
// inserted one by one, a tree that the structure checks accept (also after
// the file is opened again), blocks taken from the free chain first, and a
// tree that inserts and removals go on changing afterwards.
#include "store/mdx_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <set>

#include "store/mdx_bcd.h"
#include "store/store_error.h"
#include "tests/support/test_support.h"

namespace {

using store::MdxEntry;
using store::MdxFile;
using store::MdxKey;
using store::MdxTagDef;
using testsupport::TempDir;
namespace fs = std::filesystem;

// Entries as the reader gives them: stored key bytes and record number.
using Entries = std::vector<std::pair<std::string, uint32_t>>;

Entries AllEntries(const MdxFile& mdx, int tag) {
  Entries out;
  const size_t length = static_cast<size_t>(mdx.StoredKeyLength(tag));
  mdx.ForEachLeaf(tag, [&](const char* keys, const uint32_t* recnos, size_t n) {
    for (size_t i = 0; i < n; ++i) out.emplace_back(std::string(keys + i * length, length), recnos[i]);
    return true;
  });
  return out;
}

MdxTagDef Tag(const char* name, char type, int width) {
  MdxTagDef d;
  d.name = name;
  d.expression = name;
  d.keyType = type;
  d.keyLength = width;
  return d;
}

struct BuildCase {
  const char* name;
  char type;
  int width;       // character keys; a width of 100 gives 9 keys a node
  int count;       // entries
  int distinct;    // different keys among them (equal keys run over leaves)
  bool shuffled;   // given out of order
};

// The keys of a case, with record numbers 1..count.
std::vector<MdxEntry> CaseEntries(const BuildCase& c) {
  std::vector<MdxEntry> out;
  std::mt19937 rng(static_cast<unsigned>(c.count * 31 + c.width));
  for (int i = 0; i < c.count; ++i) {
    const int k = static_cast<int>(rng() % static_cast<unsigned>(c.distinct));
    MdxEntry e;
    e.recno = static_cast<uint32_t>(i + 1);
    if (c.type == 'N') {
      e.key.number = (k - c.distinct / 2) * 1.5;
    } else {
      // k in base 36, as many digits as the key holds (up to 6), then
      // the padding.
      const size_t digits = std::min<size_t>(static_cast<size_t>(c.width), 6);
      std::string s(digits, '0');
      for (size_t d = digits, v = static_cast<size_t>(k); d-- > 0; v /= 36) {
        s[d] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[v % 36];
      }
      s.resize(static_cast<size_t>(c.width), ' ');
      e.key.chars = s;
    }
    out.push_back(e);
  }
  if (c.shuffled) std::shuffle(out.begin(), out.end(), rng);
  return out;
}

class MdxBulkBuild : public ::testing::TestWithParam<BuildCase> {};

// Built at once and built by inserts, the tag walks the same entries in
// the same order, forwards and backwards; the built file passes the checks
// when it is opened again and answers searches.
TEST_P(MdxBulkBuild, SameOrderAsInsertsAndAcceptedByTheChecks) {
  const BuildCase& c = GetParam();
  TempDir dir;
  const std::vector<MdxTagDef> tags{Tag("CLAVE", c.type, c.width)};
  MdxFile::Create(dir / "BULK.MDX", "BULK", tags);
  MdxFile::Create(dir / "ONE.MDX", "ONE", tags);
  const std::vector<MdxEntry> entries = CaseEntries(c);

  MdxFile one;
  one.Open(dir / "ONE.MDX", false);
  for (const MdxEntry& e : entries) one.Insert(0, e);

  {
    MdxFile bulk;
    bulk.Open(dir / "BULK.MDX", false);
    std::string keys;
    std::vector<uint32_t> recnos;
    for (const MdxEntry& e : entries) {
      keys += bulk.StoredKey(0, e.key);
      recnos.push_back(e.recno);
    }
    // One entry given twice is kept once, as a repeated insert is.
    if (!entries.empty()) {
      keys += bulk.StoredKey(0, entries[0].key);
      recnos.push_back(entries[0].recno);
    }
    bulk.BuildTag(0, keys.data(), recnos.data(), recnos.size());
    bulk.Verify();
  }
  MdxFile bulk;
  bulk.Open(dir / "BULK.MDX", true);  // the check on open walks the tree
  bulk.Verify();
  const Entries expected = AllEntries(one, 0);
  ASSERT_EQ(expected.size(), entries.size());
  EXPECT_EQ(AllEntries(bulk, 0), expected);

  // First/Last, Next/Prior and searches agree too.
  std::vector<uint32_t> fwd, back, want;
  for (const auto& e : expected) want.push_back(e.second);
  for (auto e = bulk.First(0); e; e = bulk.Next(0, *e)) fwd.push_back(e->recno);
  for (auto e = bulk.Last(0); e; e = bulk.Prior(0, *e)) back.push_back(e->recno);
  std::reverse(back.begin(), back.end());
  EXPECT_EQ(fwd, want);
  EXPECT_EQ(back, want);
  for (size_t i = 0; i < entries.size(); i += std::max<size_t>(1, entries.size() / 17)) {
    auto a = bulk.LowerBound(0, entries[i].key);
    auto b = one.LowerBound(0, entries[i].key);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->recno, b->recno) << "search " << i;
  }
  // Built in full nodes, the index is no larger than the one made by
  // inserts, which splits its nodes in halves.
  EXPECT_LE(fs::file_size(dir / "BULK.MDX"), fs::file_size(dir / "ONE.MDX"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MdxBulkBuild,
    ::testing::Values(BuildCase{"empty", 'C', 7, 0, 1, false},
                      BuildCase{"one_entry", 'C', 7, 1, 1, false},
                      BuildCase{"one_full_leaf", 'C', 100, 9, 9, true},
                      BuildCase{"two_leaves", 'C', 100, 10, 10, true},
                      // 11 leaves: a branch of 10 children and one of 1
                      // become 9 and 2.
                      BuildCase{"last_branch_borrows", 'C', 100, 91, 91, true},
                      BuildCase{"three_levels", 'C', 100, 1000, 400, true},
                      BuildCase{"equal_keys_over_many_leaves", 'C', 100, 700, 3, true},
                      BuildCase{"short_keys_in_order", 'C', 3, 5000, 5000, false},
                      BuildCase{"long_keys_shuffled", 'C', 15, 3000, 900, true},
                      BuildCase{"numeric", 'N', 0, 2000, 150, true}),
    [](const auto& info) { return std::string(info.param.name); });

// After a build the tree is an ordinary one: inserts in the middle (which
// split its full nodes) and removals (which merge and free them) keep it
// whole and in order.
TEST(MdxBulkBuildAfter, InsertsAndRemovalsGoOnWorking) {
  TempDir dir;
  MdxFile::Create(dir / "T.MDX", "T", {Tag("CLAVE", 'C', 100)});
  MdxFile mdx;
  mdx.Open(dir / "T.MDX", false);
  std::set<std::pair<std::string, uint32_t>> model;
  std::string keys;
  std::vector<uint32_t> recnos;
  auto key = [](int k) {
    char b[16];
    std::snprintf(b, sizeof b, "K%05d", k);
    std::string s = b;
    s.resize(100, ' ');
    return s;
  };
  for (int i = 0; i < 800; ++i) {
    keys += key(i * 2);
    recnos.push_back(static_cast<uint32_t>(i + 1));
    model.emplace(key(i * 2), i + 1);
  }
  mdx.BuildTag(0, keys.data(), recnos.data(), recnos.size());
  std::mt19937 rng(5);
  for (int i = 0; i < 600; ++i) {
    const int k = static_cast<int>(rng() % 1600);
    const uint32_t r = 1000 + static_cast<uint32_t>(i);
    mdx.Insert(0, MdxEntry{MdxKey{key(k), 0}, r});
    model.emplace(key(k), r);
  }
  mdx.Verify();
  std::vector<std::pair<std::string, uint32_t>> all(model.begin(), model.end());
  std::shuffle(all.begin(), all.end(), rng);
  for (size_t i = 0; i < all.size() * 9 / 10; ++i) {
    mdx.Remove(0, MdxEntry{MdxKey{all[i].first, 0}, all[i].second});
    model.erase(all[i]);
  }
  mdx.Verify();
  mdx.Close();
  mdx.Open(dir / "T.MDX", true);
  EXPECT_EQ(AllEntries(mdx, 0), Entries(model.begin(), model.end()));
}

// The blocks of a build come from the free chain before the file grows,
// and a tag that already holds a key is refused without a change.
TEST(MdxBulkBuildAfter, FreeBlocksUsedFirstAndATagWithKeysRefused) {
  TempDir dir;
  const fs::path path = dir / "T.MDX";
  MdxFile::Create(path, "T", {Tag("A", 'C', 100), Tag("B", 'C', 100)});
  MdxFile mdx;
  mdx.Open(path, false);
  auto key = [](int k) {
    std::string s = "K" + std::to_string(100000 + k);
    s.resize(100, ' ');
    return s;
  };
  // Tag A grows to many blocks, then gives them all back.
  for (int i = 0; i < 300; ++i) mdx.Insert(0, MdxEntry{MdxKey{key(i), 0}, static_cast<uint32_t>(i + 1)});
  for (int i = 0; i < 300; ++i) mdx.Remove(0, MdxEntry{MdxKey{key(i), 0}, static_cast<uint32_t>(i + 1)});
  mdx.Verify();
  const auto sizeWithFreeBlocks = fs::file_size(path);

  std::string keys;
  std::vector<uint32_t> recnos;
  for (int i = 0; i < 200; ++i) {
    keys += key(i);
    recnos.push_back(static_cast<uint32_t>(i + 1));
  }
  mdx.BuildTag(1, keys.data(), recnos.data(), recnos.size());
  mdx.Verify();
  EXPECT_EQ(fs::file_size(path), sizeWithFreeBlocks);
  EXPECT_EQ(AllEntries(mdx, 1).size(), 200u);

  const std::string before = testsupport::ReadFile(path);
  const uint32_t r = 7;
  try {
    mdx.BuildTag(1, keys.data(), &r, 1);
    ADD_FAILURE() << "a tag with keys was built again";
  } catch (const store::StoreError& e) {
    EXPECT_NE(std::string(e.what()).find("ya tiene claves"), std::string::npos) << e.what();
  }
  EXPECT_EQ(testsupport::ReadFile(path), before);
  EXPECT_EQ(AllEntries(mdx, 1).size(), 200u);
  mdx.Verify();
}

}  // namespace
