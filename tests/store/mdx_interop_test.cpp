// Production index files read back by the independent Perl XBase reader
// (tests/tools/mdx_walk.pl): the order it walks must be ours.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>

#include "store/mdx_file.h"
#include "tests/store/store_test_util.h"
#include "tests/support/test_support.h"

namespace {

using store::MdxEntry;
using store::MdxFile;
using store::MdxTagDef;
using testsupport::TempDir;
namespace fs = std::filesystem;

struct Field {
  std::string name;
  char type;
  int width;
};

// A minimal dBase IV table file with the production-index flag set and the
// "has a tag" byte set on every field, holding the given rows (already
// formatted to the field widths).
void WriteDbf(const fs::path& path, const std::vector<Field>& fields,
              const std::vector<std::vector<std::string>>& rows) {
  int recordLength = 1;
  for (const Field& f : fields) recordLength += f.width;
  const int headerLength = 32 + 32 * static_cast<int>(fields.size()) + 1;
  std::string h(32, '\0');
  h[0] = 0x03;
  h[1] = 124;
  h[2] = 1;
  h[3] = 1;
  const uint32_t n = static_cast<uint32_t>(rows.size());
  std::memcpy(&h[4], &n, 4);
  h[8] = static_cast<char>(headerLength & 0xFF);
  h[9] = static_cast<char>(headerLength >> 8);
  h[10] = static_cast<char>(recordLength & 0xFF);
  h[11] = static_cast<char>(recordLength >> 8);
  h[28] = 0x01;
  for (const Field& f : fields) {
    std::string d(32, '\0');
    std::memcpy(&d[0], f.name.data(), f.name.size());
    d[11] = f.type;
    d[16] = static_cast<char>(f.width);
    d[31] = 0x01;
    h += d;
  }
  h += '\r';
  for (const auto& row : rows) {
    h += ' ';
    for (size_t i = 0; i < fields.size(); ++i) {
      std::string v = row[i];
      v.resize(static_cast<size_t>(fields[i].width), ' ');
      h += v;
    }
  }
  h += '\x1A';
  testsupport::WriteFile(path, h);
}

std::vector<std::string> PerlWalk(const fs::path& dbf, const std::string& tag) {
  const std::string cmd = "perl " +
                          testsupport::ShellQuote((testsupport::SourceDir() / "tests/tools/mdx_walk.pl").string()) +
                          " " + testsupport::ShellQuote(dbf.string()) + " " + testsupport::ShellQuote(tag);
  auto r = testsupport::RunCommand(cmd);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  return testsupport::SplitLines(r.out);
}

std::string Trim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string NumberText(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

TEST(MdxInterop, PerlWalksCharacterTagInOurOrder) {
  SKIP_WITHOUT_READERS();
  TempDir dir;
  std::vector<std::string> keys = {"ABC", "AB", "A", "B", "AB", "ZZZZ", "",
                                   "ab", "1", "10", "2", "AB", "A B", "ABCD"};
  std::vector<std::vector<std::string>> rows;
  for (auto& k : keys) rows.push_back({k});
  WriteDbf(dir / "PROFT.DBF", {{"ABREV", 'C', 4}}, rows);
  MdxTagDef d{"ABREV", "ABREV", 'C', 4};
  MdxFile::Create(dir / "PROFT.MDX", "PROFT", {d});
  MdxFile mdx;
  mdx.Open(dir / "PROFT.MDX", false);
  for (size_t i = 0; i < keys.size(); ++i) {
    MdxEntry e;
    e.key.chars = keys[i];
    e.key.chars.resize(4, ' ');
    e.recno = static_cast<uint32_t>(i + 1);
    mdx.Insert(0, e);
  }
  std::vector<std::string> ours;
  for (auto e = mdx.First(0); e; e = mdx.Next(0, *e)) {
    ours.push_back(std::to_string(e->recno) + "|" + Trim(e->key.chars));
  }
  // Byte order of the space-padded keys: "    " < "1   " < "10  " <
  // "2   " < "A   " < "A B " < "AB  " (three, by record number) < "ABC " <
  // "ABCD" < "B   " < "ZZZZ" < "ab  ".
  const std::vector<std::string> expected = {
      "7|",   "9|1",  "10|10", "11|2",  "3|A",   "13|A B", "2|AB",
      "5|AB", "12|AB", "1|ABC", "14|ABCD", "4|B", "6|ZZZZ", "8|ab"};
  EXPECT_EQ(ours, expected);
  EXPECT_EQ(PerlWalk(dir / "PROFT.DBF", "ABREV"), expected);
}

TEST(MdxInterop, PerlWalksNumericTagInNumericOrder) {
  SKIP_WITHOUT_READERS();
  TempDir dir;
  const std::vector<double> values = {10, 2, 1, 20, 0, -1, 2.5, 100, 3, -12.75, 0.05, 1000000};
  std::vector<std::vector<std::string>> rows;
  for (double v : values) rows.push_back({NumberText(v)});
  WriteDbf(dir / "PLANTILLA.DBF", {{"HORA", 'N', 11}}, rows);
  MdxTagDef d{"HORA", "HORA", 'N', 0};
  MdxFile::Create(dir / "PLANTILLA.MDX", "PLANTILLA", {d});
  MdxFile mdx;
  mdx.Open(dir / "PLANTILLA.MDX", false);
  for (size_t i = 0; i < values.size(); ++i) {
    MdxEntry e;
    e.key.number = values[i];
    e.recno = static_cast<uint32_t>(i + 1);
    mdx.Insert(0, e);
  }
  std::vector<std::string> ours;
  for (auto e = mdx.First(0); e; e = mdx.Next(0, *e)) {
    ours.push_back(std::to_string(e->recno) + "|" + NumberText(e->key.number));
  }
  const std::vector<std::string> expected = {
      "10|-12.75", "6|-1", "5|0",  "11|0.05", "3|1",    "2|2",
      "7|2.5",     "9|3",  "1|10", "4|20",    "8|100", "12|1000000"};
  EXPECT_EQ(ours, expected);
  EXPECT_EQ(PerlWalk(dir / "PLANTILLA.DBF", "HORA"), expected);
}

// Several tags, thousands of entries over several levels, many removals:
// the Perl reader walks every tag exactly as we do.
TEST(MdxInterop, PerlAgreesOnLargeMultiTagFile) {
  SKIP_WITHOUT_READERS();
  TempDir dir;
  const std::vector<Field> fields = {{"ABREVPROF", 'C', 4}, {"DOC", 'C', 15},
                                     {"PROF_DIA_S", 'C', 7}, {"DIA_SES", 'C', 3}};
  std::vector<MdxTagDef> defs = {{"ABREVPROF", "ABREVPROF", 'C', 4},
                                 {"DOC", "DOC", 'C', 15},
                                 {"PROF_DIA_S", "PROF_DIA_S", 'C', 7},
                                 {"DIA_SES", "DIA_SES", 'C', 3}};
  const int n = 4000;
  std::mt19937 rng(7);
  std::vector<std::vector<std::string>> rows;
  for (int i = 0; i < n; ++i) {
    std::string prof = "P" + std::to_string(rng() % 90);
    std::string doc = (rng() % 4 == 0) ? "" : std::to_string(10000000 + rng() % 500);
    std::string day = std::to_string(1 + rng() % 5);
    std::string ses = std::to_string(1 + rng() % 8);
    std::string pds = prof;
    pds.resize(4, ' ');
    pds += day + "0" + ses;
    rows.push_back({prof, doc, pds, day + "0" + ses});
  }
  WriteDbf(dir / "CUADROH2.DBF", fields, rows);
  MdxFile::Create(dir / "CUADROH2.MDX", "CUADROH2", defs);
  MdxFile mdx;
  mdx.Open(dir / "CUADROH2.MDX", false);
  std::vector<int> order(n);
  for (int i = 0; i < n; ++i) order[static_cast<size_t>(i)] = i;
  std::shuffle(order.begin(), order.end(), rng);
  for (int i : order) {
    for (size_t t = 0; t < defs.size(); ++t) {
      MdxEntry e;
      e.key.chars = rows[static_cast<size_t>(i)][t];
      e.key.chars.resize(static_cast<size_t>(defs[t].keyLength), ' ');
      e.recno = static_cast<uint32_t>(i + 1);
      mdx.Insert(static_cast<int>(t), e);
    }
  }
  // Remove a third of the rows from every tag (the table keeps them; the
  // walk must simply not list them).
  for (int j = 0; j < n / 3; ++j) {
    const int i = order[static_cast<size_t>(j)];
    for (size_t t = 0; t < defs.size(); ++t) {
      MdxEntry e;
      e.key.chars = rows[static_cast<size_t>(i)][t];
      e.key.chars.resize(static_cast<size_t>(defs[t].keyLength), ' ');
      e.recno = static_cast<uint32_t>(i + 1);
      mdx.Remove(static_cast<int>(t), e);
    }
  }
  mdx.Verify();
  for (size_t t = 0; t < defs.size(); ++t) {
    std::set<std::pair<std::string, uint32_t>> model;
    for (int j = n / 3; j < n; ++j) {
      const int i = order[static_cast<size_t>(j)];
      std::string k = rows[static_cast<size_t>(i)][t];
      k.resize(static_cast<size_t>(defs[t].keyLength), ' ');
      model.emplace(k, static_cast<uint32_t>(i + 1));
    }
    std::vector<std::string> expected;
    for (auto& [k, r] : model) expected.push_back(std::to_string(r) + "|" + Trim(k));
    std::vector<std::string> ours;
    for (auto e = mdx.First(static_cast<int>(t)); e; e = mdx.Next(static_cast<int>(t), *e)) {
      ours.push_back(std::to_string(e->recno) + "|" + Trim(e->key.chars));
    }
    EXPECT_EQ(ours, expected) << defs[t].name;
    EXPECT_EQ(PerlWalk(dir / "CUADROH2.DBF", defs[t].name), expected) << defs[t].name;
  }
}

// After nearly every entry is removed (blocks merged, the root shrunk to
// a leaf) the Perl reader still walks what is left.
TEST(MdxInterop, PerlWalksTreeShrunkByRemovals) {
  SKIP_WITHOUT_READERS();
  TempDir dir;
  const int n = 3000;
  std::vector<std::vector<std::string>> rows;
  for (int i = 0; i < n; ++i) rows.push_back({std::to_string(i % 700)});
  WriteDbf(dir / "PROFT.DBF", {{"ABREV", 'C', 4}}, rows);
  MdxFile::Create(dir / "PROFT.MDX", "PROFT", {MdxTagDef{"ABREV", "ABREV", 'C', 4}});
  MdxFile mdx;
  mdx.Open(dir / "PROFT.MDX", false);
  auto entry = [&](int i) {
    MdxEntry e;
    e.key.chars = rows[static_cast<size_t>(i)][0];
    e.key.chars.resize(4, ' ');
    e.recno = static_cast<uint32_t>(i + 1);
    return e;
  };
  for (int i = 0; i < n; ++i) mdx.Insert(0, entry(i));
  std::set<std::pair<std::string, uint32_t>> model;
  for (int i = 0; i < n; ++i) {
    if (i % 97 == 5) {
      model.emplace(entry(i).key.chars, entry(i).recno);
    } else {
      mdx.Remove(0, entry(i));
    }
  }
  mdx.Verify();
  std::vector<std::string> expected;
  for (auto& [k, r] : model) expected.push_back(std::to_string(r) + "|" + Trim(k));
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(PerlWalk(dir / "PROFT.DBF", "ABREV"), expected);
  for (int i = 0; i < n; ++i) mdx.Remove(0, entry(i));
  EXPECT_TRUE(PerlWalk(dir / "PROFT.DBF", "ABREV").empty());
}

// The walk tool's own answers: tag names in any letter case; a missing
// tag, index or table is an error with status 2.
TEST(MdxInterop, WalkToolFindsTagsAndReportsMissingOnes) {
  SKIP_WITHOUT_READERS();
  TempDir dir;
  WriteDbf(dir / "PROFT.DBF", {{"ABREV", 'C', 4}}, {{"XY"}});
  MdxFile::Create(dir / "proft.mdx", "PROFT", {MdxTagDef{"ABREV", "ABREV", 'C', 4}});
  {
    MdxFile mdx;
    mdx.Open(dir / "proft.mdx", false);
    mdx.Insert(0, MdxEntry{{"XY", 0}, 1});
  }
  EXPECT_EQ(PerlWalk(dir / "PROFT.DBF", "abrev"), std::vector<std::string>{"1|XY"});
  const std::string tool =
      "perl " + testsupport::ShellQuote((testsupport::SourceDir() / "tests/tools/mdx_walk.pl").string()) + " ";
  auto r = testsupport::RunCommand(tool + testsupport::ShellQuote((dir / "PROFT.DBF").string()) + " NOTAG");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("no tag NOTAG"), std::string::npos) << r.err;
  r = testsupport::RunCommand(tool + testsupport::ShellQuote((dir / "OTRA.DBF").string()) + " ABREV");
  EXPECT_EQ(r.exitCode, 2);
  fs::remove(dir / "proft.mdx");
  r = testsupport::RunCommand(tool + testsupport::ShellQuote((dir / "PROFT.DBF").string()) + " ABREV");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("no index file"), std::string::npos) << r.err;
  r = testsupport::RunCommand(tool);
  EXPECT_EQ(r.exitCode, 2);
}

}  // namespace
