// The production index: order, persistence, page reuse and damaged files,
// checked against an in-memory model of the entries.
#include "store/mdx_file.h"

#include <gtest/gtest.h>

#include <algorithm>
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

}  // namespace
