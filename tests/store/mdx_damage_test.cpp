// Damaged or missing index files are refused with a Spanish error that
// names the file, at opening and during later work; never a crash or an
// endless loop.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <set>

#include "store/mdx_file.h"
#include "store/store_error.h"
#include "tests/support/test_support.h"

namespace {

using store::MdxEntry;
using store::MdxFile;
using store::MdxTagDef;
using store::StoreError;
using testsupport::TempDir;
namespace fs = std::filesystem;

uint32_t Get32(const std::string& b, size_t at) {
  uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}
void Put32(std::string& b, size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); }

// An index of one C4 tag holding n entries; with 2000 entries the root is
// a branch over leaves.
void MakeIndex(const fs::path& path, int n) {
  MdxFile::Create(path, "T", {MdxTagDef{"ABREV", "ABREV", 'C', 4}});
  MdxFile mdx;
  mdx.Open(path, false);
  for (int i = 0; i < n; ++i) {
    MdxEntry e;
    e.key.chars = std::to_string(1000 + i % 997);
    e.recno = static_cast<uint32_t>(i + 1);
    mdx.Insert(0, e);
  }
}

size_t RootOffset(const std::string& b) {
  const uint32_t tagHeaderPage = Get32(b, 544);
  return static_cast<size_t>(Get32(b, tagHeaderPage * 512)) * 512;
}

struct Damage {
  const char* name;
  const char* reason;  // part of the message
  std::function<void(std::string&)> apply;
};

void ExpectRefused(const fs::path& path, const std::string& reason) {
  MdxFile mdx;
  try {
    mdx.Open(path, false);
    mdx.Verify();
    FAIL() << "the damaged index was accepted";
  } catch (const StoreError& e) {
    const std::string msg = e.what();
    EXPECT_NE(msg.find(path.string()), std::string::npos) << msg;
    EXPECT_NE(msg.find("índice"), std::string::npos) << msg;
    EXPECT_NE(msg.find(reason), std::string::npos) << msg;
  }
  EXPECT_FALSE(mdx.IsOpen());
}

class MdxDamageTest : public ::testing::TestWithParam<Damage> {};

TEST_P(MdxDamageTest, OpenRefusesDamagedFile) {
  TempDir dir;
  const fs::path file = dir / "T.MDX";
  MakeIndex(file, 2000);
  std::string bytes = testsupport::ReadFile(file);
  GetParam().apply(bytes);
  testsupport::WriteFile(file, bytes);
  ExpectRefused(file, GetParam().reason);
}

INSTANTIATE_TEST_SUITE_P(
    Files, MdxDamageTest,
    ::testing::Values(
        Damage{"empty", "archivo demasiado corto", [](std::string& b) { b.clear(); }},
        Damage{"truncated_header", "archivo demasiado corto", [](std::string& b) { b.resize(1000); }},
        Damage{"truncated_last_block", "número de páginas", [](std::string& b) { b.resize(b.size() - 1024); }},
        Damage{"wrong_block_size", "tamaño de bloque", [](std::string& b) { b[20] = 4; b[22] = 0; b[23] = 8; }},
        Damage{"no_tags", "número de etiquetas", [](std::string& b) { b[28] = 0; }},
        Damage{"too_many_tags", "número de etiquetas", [](std::string& b) { b[28] = static_cast<char>(200); }},
        Damage{"tag_header_outside", "cabecera de etiqueta", [](std::string& b) { Put32(b, 544, 0x00FFFFFF); }},
        Damage{"bad_key_type", "tipo de clave", [](std::string& b) { b[Get32(b, 544) * 512 + 9] = 'X'; }},
        Damage{"bad_key_length", "longitud de clave", [](std::string& b) { b[Get32(b, 544) * 512 + 12] = 0; }},
        Damage{"garbage_root_pointer", "fuera de rango", [](std::string& b) { Put32(b, Get32(b, 544) * 512, 0xFFFFFFF0u); }},
        Damage{"root_in_file_header", "fuera de rango", [](std::string& b) { Put32(b, Get32(b, 544) * 512, 1); }},
        Damage{"page_count_beyond_file", "número de páginas", [](std::string& b) { Put32(b, 32, Get32(b, 32) + 64); }},
        Damage{"cycle_to_root", "ciclo", [](std::string& b) {
                 const size_t root = RootOffset(b);
                 Put32(b, root + 8, static_cast<uint32_t>(root / 512));
               }},
        Damage{"child_shared_twice", "dos veces", [](std::string& b) {
                 const size_t root = RootOffset(b);
                 Put32(b, root + 8 + 8, Get32(b, root + 8));  // second child := first
               }},
        Damage{"child_outside_file", "fuera de rango", [](std::string& b) {
                 const size_t root = RootOffset(b);
                 Put32(b, root + 8, 0x7FFFFFFF);
               }},
        Damage{"child_at_the_last_page_number", "fuera de rango", [](std::string& b) {
                 const size_t root = RootOffset(b);
                 Put32(b, root + 8 + 8, 0xFFFFFFFFu);
               }},
        Damage{"too_many_keys", "demasiadas claves", [](std::string& b) { Put32(b, RootOffset(b), 5000); }},
        Damage{"keys_out_of_order_in_leaf", "desordenadas", [](std::string& b) {
                 // The first key of the first leaf becomes its greatest.
                 const size_t leaf = static_cast<size_t>(Get32(b, RootOffset(b) + 8)) * 512;
                 b.replace(leaf + 8 + 4, 4, "9999");
               }},
        Damage{"keys_out_of_order_across_leaves", "fuera del intervalo", [](std::string& b) {
                 // The first key of the second leaf becomes smaller than
                 // every key of the first leaf.
                 const size_t leaf2 = static_cast<size_t>(Get32(b, RootOffset(b) + 16)) * 512;
                 b.replace(leaf2 + 8 + 4, 4, "0000");
               }},
        Damage{"branch_key_wrong", "fuera del intervalo", [](std::string& b) {
                 b.replace(RootOffset(b) + 8 + 4, 4, "0000");
               }},
        Damage{"zero_record_number", "registro nulo", [](std::string& b) {
                 const size_t leaf = static_cast<size_t>(Get32(b, RootOffset(b) + 8)) * 512;
                 Put32(b, leaf + 8, 0);
               }},
        Damage{"free_chain_cycle", "bloques libres", [](std::string& b) {
                 // A block past the tree, pointing to itself as next free.
                 const uint32_t pages = Get32(b, 32);
                 b.resize(b.size() + 1024, '\0');
                 Put32(b, 32, pages + 2);
                 Put32(b, 36, pages);
                 Put32(b, static_cast<size_t>(pages) * 512 + 4, pages);
               }},
        Damage{"free_block_in_the_tree", "bloque libre en uso", [](std::string& b) {
                 // The free chain offers the root block: using it would
                 // overwrite the tree.
                 Put32(b, 36, static_cast<uint32_t>(RootOffset(b) / 512));
               }},
        Damage{"two_tags_one_header", "cabecera de etiqueta repetida", [](std::string& b) {
                 std::memcpy(b.data() + 576, b.data() + 544, 32);
                 b[576 + 4] = 'X';
                 b[28] = 2;
               }}),
    [](const auto& info) { return std::string(info.param.name); });

// Random bytes changed anywhere in a valid file with two tags: every
// outcome is either a working index or a StoreError, never a crash, a
// hang or another kind of error.
TEST(MdxDamage, RandomlyChangedBytesGiveStoreErrorOrWorkingIndex) {
  TempDir dir;
  const fs::path file = dir / "R.MDX";
  MdxFile::Create(file, "R", {MdxTagDef{"ABREV", "ABREV", 'C', 4}, MdxTagDef{"HORA", "HORA", 'N', 0}});
  {
    MdxFile mdx;
    mdx.Open(file, false);
    for (int i = 0; i < 1500; ++i) {
      MdxEntry e;
      e.key.chars = std::to_string(i % 300);
      e.key.number = i % 40;
      e.recno = static_cast<uint32_t>(i + 1);
      mdx.Insert(0, e);
      mdx.Insert(1, e);
    }
  }
  const std::string good = testsupport::ReadFile(file);
  std::mt19937 rng(2024);
  int opened = 0, refused = 0;
  for (int round = 0; round < 150; ++round) {
    std::string b = good;
    const int changes = 1 + static_cast<int>(rng() % 6);
    for (int c = 0; c < changes; ++c) {
      // Half of the changes hit the headers, where pointers live.
      const size_t at = (rng() % 2 == 0) ? rng() % 4096 : rng() % b.size();
      b[at] = static_cast<char>(rng() % 4 == 0 ? 0 : rng());
    }
    testsupport::WriteFile(file, b);
    try {
      MdxFile mdx;
      mdx.Open(file, false);
      ++opened;
      for (int tag = 0; tag < 2; ++tag) {
        int steps = 0;
        for (auto e = mdx.First(tag); e && steps < 5000; e = mdx.Next(tag, *e)) ++steps;
        ASSERT_LT(steps, 5000) << "walk longer than the entries, round " << round;
        for (auto e = mdx.Last(tag); e && steps < 5010; e = mdx.Prior(tag, *e)) ++steps;
        MdxEntry e;
        e.key.chars = "77";
        e.key.number = 7;
        e.recno = 4000 + static_cast<uint32_t>(round);
        mdx.Insert(tag, e);
        mdx.Remove(tag, e);
        e.recno = 8;
        mdx.Remove(tag, e);
        mdx.LowerBound(tag, e.key);
      }
      mdx.Verify();
    } catch (const StoreError&) {
      ++refused;
    } catch (const std::exception& e) {
      FAIL() << "round " << round << ": " << e.what();
    }
  }
  EXPECT_GT(refused, 0);
  EXPECT_GT(opened, 0);
}

// Writers that leave a branch key above the greatest key below it (they
// do not update branch keys when entries go) make valid files: such a file
// opens and works.
TEST(MdxDamage, BranchKeyAboveItsChildIsAccepted) {
  TempDir dir;
  const fs::path file = dir / "T.MDX";
  MdxFile::Create(file, "T", {MdxTagDef{"ABREV", "ABREV", 'C', 4}});
  std::set<std::pair<std::string, uint32_t>> model;
  {
    MdxFile mdx;
    mdx.Open(file, false);
    for (int i = 0; i < 1000; ++i) {
      MdxEntry e;
      e.key.chars = std::to_string(1000 + i);  // distinct, increasing
      e.recno = static_cast<uint32_t>(i + 1);
      mdx.Insert(0, e);
      model.emplace(e.key.chars, e.recno);
    }
  }
  // Raise the first branch key to the first key of the second child.
  std::string b = testsupport::ReadFile(file);
  const size_t root = RootOffset(b);
  const size_t second = static_cast<size_t>(Get32(b, root + 16)) * 512;
  const std::string firstOfSecond = b.substr(second + 12, 4);
  ASSERT_GT(firstOfSecond, b.substr(root + 12, 4));
  b.replace(root + 12, 4, firstOfSecond);
  testsupport::WriteFile(file, b);

  MdxFile mdx;
  mdx.Open(file, false);
  std::vector<std::pair<std::string, uint32_t>> walked;
  for (auto e = mdx.First(0); e; e = mdx.Next(0, *e)) walked.emplace_back(e->key.chars, e->recno);
  EXPECT_EQ(walked, (std::vector<std::pair<std::string, uint32_t>>(model.begin(), model.end())));
  // A key between the real greatest key of the first child and the raised
  // branch key is found where it belongs, inserted and removed.
  const std::string between = std::to_string(std::stoi(firstOfSecond) - 1);
  auto lb = mdx.LowerBound(0, store::MdxKey{between, 0});
  ASSERT_TRUE(lb);
  EXPECT_EQ(lb->key.chars, between);
  MdxEntry extra;
  extra.key.chars = between;
  extra.recno = 5000;
  mdx.Insert(0, extra);
  EXPECT_EQ(mdx.Prior(0, MdxEntry{{firstOfSecond, 0}, 1})->recno, 5000u);
  mdx.Remove(0, extra);
  mdx.Remove(0, MdxEntry{{between, 0}, lb->recno});
  model.erase({between, lb->recno});
  mdx.Verify();
  walked.clear();
  for (auto e = mdx.First(0); e; e = mdx.Next(0, *e)) walked.emplace_back(e->key.chars, e->recno);
  EXPECT_EQ(walked, (std::vector<std::pair<std::string, uint32_t>>(model.begin(), model.end())));
}

TEST(MdxDamage, MissingFileIsNamed) {
  TempDir dir;
  MdxFile mdx;
  try {
    mdx.Open(dir / "NADA.MDX", true);
    FAIL() << "a missing index was opened";
  } catch (const StoreError& e) {
    EXPECT_NE(std::string(e.what()).find("No se encuentra el índice"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("NADA.MDX"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(mdx.IsOpen());
}

// The pages of an open file are kept while it is open: damage done by
// someone else meanwhile is not seen by that object, and the next open
// refuses the file instead of looping in it.
TEST(MdxDamage, DamageAfterOpenIsMetByTheNextOpen) {
  TempDir dir;
  const fs::path file = dir / "T.MDX";
  MakeIndex(file, 2000);
  MdxFile mdx;
  mdx.Open(file, false);
  ASSERT_TRUE(mdx.First(0));
  mdx.Verify();

  std::string bytes = testsupport::ReadFile(file);
  const size_t root = RootOffset(bytes);
  Put32(bytes, root + 8, static_cast<uint32_t>(root / 512));  // cycle
  testsupport::WriteFile(file, bytes);

  EXPECT_TRUE(mdx.First(0));
  EXPECT_NO_THROW(mdx.Verify());
  mdx.Close();
  EXPECT_THROW(mdx.Open(file, false), StoreError);
  EXPECT_FALSE(mdx.IsOpen());
}

TEST(MdxDamage, OperationsOnClosedOrReadOnlyIndexAreRefused) {
  TempDir dir;
  const fs::path file = dir / "T.MDX";
  MakeIndex(file, 10);
  MdxEntry e;
  e.key.chars = "1000";
  e.recno = 99;
  MdxFile closed;
  EXPECT_THROW(closed.First(0), StoreError);
  EXPECT_THROW(closed.Insert(0, e), StoreError);
  EXPECT_THROW(closed.Verify(), StoreError);

  MdxFile ro;
  ro.Open(file, true);
  EXPECT_THROW(ro.Insert(0, e), StoreError);
  EXPECT_THROW(ro.Remove(0, *ro.First(0)), StoreError);
  EXPECT_THROW(ro.First(5), StoreError);
  EXPECT_THROW(ro.First(-1), StoreError);
  ro.Verify();
  int n = 0;
  for (auto x = ro.First(0); x; x = ro.Next(0, *x)) ++n;
  EXPECT_EQ(n, 10);
  ro.Close();
  EXPECT_FALSE(ro.IsOpen());
  EXPECT_THROW(ro.First(0), StoreError);
}

}  // namespace
