// Tables with a production index: the index kept in step record by record
// (checked with Perl's XBase::Index), numeric tags, missing and damaged
// index files, rebuilding and packing.
#include <gtest/gtest.h>

#include "store/mdx_file.h"
#include "store/store_error.h"
#include "store/table.h"
#include "tests/store/store_test_util.h"

using namespace store;
namespace fs = std::filesystem;
using storetest::Column;
using Strings = std::vector<std::string>;
using testsupport::ShellQuote;

using storetest::ErrorOf;

namespace {

// Entries of one tag as the Perl reader walks them: "RECNO|KEY".
Strings Walk(const fs::path& dbf, const std::string& tag) {
  std::string tool = (testsupport::SourceDir() / "tests/tools/mdx_walk.pl").string();
  auto r = testsupport::RunCommand("perl " + ShellQuote(tool) + " " + ShellQuote(dbf.string()) +
                                   " " + ShellQuote(tag));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  return testsupport::SplitLines(r.out);
}

// The walk checked against what is expected where the reader is (Linux);
// elsewhere the engine's own checks of the test stand alone.
void ExpectWalk(const fs::path& dbf, const std::string& tag, const Strings& expected) {
  if (!storetest::kHaveReaders) return;
  EXPECT_EQ(Walk(dbf, tag), expected) << tag;
}

void MakeCuadro(const fs::path& folder) {
  Table t;
  storetest::Define(t, folder, "CUADROH2",
                    {{"ABREVPROF", FieldType::String, 4},
                     {"DOC", FieldType::String, 15},
                     {"PROF_DIA_SES", FieldType::String, 7},
                     {"DIA_SES", FieldType::String, 3}},
                    {"ABREVPROF", "DOC", "PROF_DIA_SES", "DIA_SES"});
  t.CreateTable();
}

void AddSession(Table& t, const std::string& key, const std::string& doc = "") {
  t.AppendValues({key.substr(0, 4), doc, key, key.substr(4)});
}

}  // namespace

TEST(TableIndex, KeptInStepWithEveryChangeAndReadableByPerl) {
  testsupport::TempDir dir;
  MakeCuadro(dir.path());
  Table t;
  t.SetDatabaseName(dir.path());
  t.SetTableName("CUADROH2.DBF");
  t.SetIndexName("PROF_DIA_SES");
  t.Open();
  for (const char* k : {"ABCD112", "AB  307", "ABC 101", "AB  112", "B   501"}) AddSession(t, k);
  // Spaces of a short abbreviation sort before any letter.
  EXPECT_EQ(Column(t, "PROF_DIA_SES"),
            (Strings{"AB  112", "AB  307", "ABC 101", "ABCD112", "B   501"}));
  // Change a key, fill a document, delete a record.
  ASSERT_TRUE(t.FindKey("AB  307"));
  t.Edit();
  t.FieldByName("PROF_DIA_SES").SetAsString("ZZ  101");
  t.FieldByName("DOC").SetAsString("12345678Z");
  t.Post();
  EXPECT_EQ(t.FieldByName("PROF_DIA_SES").AsString(), "ZZ  101");  // still current
  t.Next();
  EXPECT_TRUE(t.Eof());
  ASSERT_TRUE(t.FindKey("ABC 101"));
  t.Delete();
  EXPECT_EQ(t.FieldByName("PROF_DIA_SES").AsString(), "ABCD112");  // next in key order
  t.Close();

  const fs::path dbf = dir / "CUADROH2.DBF";
  ExpectWalk(dbf, "PROF_DIA_S", (Strings{"4|AB  112", "1|ABCD112", "5|B   501", "2|ZZ  101"}));
  ExpectWalk(dbf, "ABREVPROF", (Strings{"2|AB", "4|AB", "1|ABCD", "5|B"}));
  ExpectWalk(dbf, "DOC", (Strings{"1|", "4|", "5|", "2|12345678Z"}));
  ExpectWalk(dbf, "DIA_SES", (Strings{"1|112", "4|112", "2|307", "5|501"}));
}

TEST(TableIndex, NumericTagOrdersByValueAndFindsIntegers) {
  testsupport::TempDir dir;
  Table t;
  storetest::Define(t, dir.path(), "PLANTILLA",
                    {{"HORA", FieldType::Integer, 0}, {"INICIO", FieldType::String, 5}}, {"HORA"});
  t.CreateTable();
  t.SetIndexName("HORA");
  t.Open();
  for (int h : {10, 2, 20, 1, -3}) {
    t.Append();
    t.FieldByName("HORA").SetAsInteger(h);
    t.FieldByName("INICIO").SetAsString(std::to_string(h) + ":00");
    t.Post();
  }
  EXPECT_EQ(Column(t, "HORA"), (Strings{"-3", "1", "2", "10", "20"}));
  EXPECT_TRUE(t.FindKey(10));
  EXPECT_EQ(t.FieldByName("INICIO").AsString(), "10:00");
  EXPECT_TRUE(t.FindKey(std::string("2")));
  EXPECT_EQ(t.FieldByName("INICIO").AsString(), "2:00");
  EXPECT_FALSE(t.FindKey(3));
  EXPECT_FALSE(t.FindKey(std::string("dos")));
  EXPECT_EQ(t.FieldByName("HORA").AsInteger(), 2);
  t.Close();
  ExpectWalk(dir / "PLANTILLA.DBF", "HORA", (Strings{"5|-3", "4|1", "2|2", "1|10", "3|20"}));
}

TEST(TableIndex, MissingOrDamagedIndexIsAClearErrorAndRebuildIsTheWayOut) {
  testsupport::TempDir dir;
  MakeCuadro(dir.path());
  {
    Table t;
    t.SetDatabaseName(dir.path());
    t.SetTableName("CUADROH2");
    t.Open();
    for (const char* k : {"CD  201", "AB  101", "EF  301"}) AddSession(t, k);
    t.First();
    t.Delete();
  }
  const fs::path mdx = dir / "CUADROH2.MDX";
  const std::string good = testsupport::ReadFile(mdx);
  struct Case {
    const char* name;
    std::function<void()> damage;
  } cases[] = {
      {"missing", [&] { fs::remove(mdx); }},
      {"truncated", [&] { testsupport::WriteFile(mdx, good.substr(0, 700)); }},
      {"garbled", [&] {
         std::string b = good;
         for (size_t i = 2048; i < b.size(); ++i) b[i] = char(0xFF);
         testsupport::WriteFile(mdx, b);
       }},
  };
  for (const Case& c : cases) {
    c.damage();
    Table t;
    t.SetDatabaseName(dir.path());
    t.SetTableName("cuadroh2");
    std::string err = ErrorOf([&] { t.Open(); });
    EXPECT_NE(err.find("'CUADROH2.DBF'"), std::string::npos) << c.name << ": " << err;
    EXPECT_FALSE(t.Active());
    // The definitions of the table's step rebuild it.
    Table fix;
    storetest::Define(fix, dir.path(), "CUADROH2",
                      {{"ABREVPROF", FieldType::String, 4},
                       {"DOC", FieldType::String, 15},
                       {"PROF_DIA_SES", FieldType::String, 7},
                       {"DIA_SES", FieldType::String, 3}},
                      {"ABREVPROF", "DOC", "PROF_DIA_SES", "DIA_SES"});
    ASSERT_NO_THROW(fix.RebuildIndex()) << c.name;
    t.SetIndexName("PROF_DIA_SES");
    ASSERT_NO_THROW(t.Open()) << c.name;
    EXPECT_EQ(Column(t, "PROF_DIA_SES"), (Strings{"AB  101", "EF  301"})) << c.name;
    t.Close();
    ExpectWalk(dir / "CUADROH2.DBF", "DIA_SES", (Strings{"2|101", "3|301"}));
  }
  // Without definitions and without a readable index nothing tells the tags.
  fs::remove(mdx);
  Table bare;
  bare.SetDatabaseName(dir.path());
  bare.SetTableName("CUADROH2");
  EXPECT_NE(ErrorOf([&] { bare.RebuildIndex(); }).find("no se conocen sus etiquetas"),
            std::string::npos);
}

TEST(TableIndex, EntriesLeftByAnInterruptedChangeAreSkippedAndDroppedByARebuild) {
  testsupport::TempDir dir;
  MakeCuadro(dir.path());
  const fs::path dbf = dir / "CUADROH2.DBF";
  {
    Table t;
    t.SetDatabaseName(dir.path());
    t.SetTableName("CUADROH2");
    t.Open();
    AddSession(t, "MG  101");
    AddSession(t, "AB  101");
  }
  {
    // What a process killed in the middle of an append or a key change
    // leaves: an entry past the last record, and an entry whose key is not
    // its record's.
    MdxFile m;
    m.Open(dir / "CUADROH2.MDX", false);
    int tag = m.TagIndex("PROF_DIA_S");
    ASSERT_GE(tag, 0);
    m.Insert(tag, MdxEntry{MdxKey{"QQ  101", 0}, 3});
    m.Insert(tag, MdxEntry{MdxKey{"AA  101", 0}, 1});
  }
  Table t;
  t.SetDatabaseName(dir.path());
  t.SetTableName("CUADROH2");
  t.SetIndexName("PROF_DIA_SES");
  t.Open();
  EXPECT_EQ(Column(t, "PROF_DIA_SES"), (Strings{"AB  101", "MG  101"}));
  EXPECT_FALSE(t.FindKey("AA  101"));
  EXPECT_FALSE(t.FindKey("QQ  101"));
  AddSession(t, "QQ  101");  // record 3 now exists with that very key
  AddSession(t, "CC  101");
  EXPECT_EQ(Column(t, "PROF_DIA_SES"), (Strings{"AB  101", "CC  101", "MG  101", "QQ  101"}));
  t.Close();
  Table fix;
  fix.SetDatabaseName(dir.path());
  fix.SetTableName("CUADROH2");
  fix.RebuildIndex();  // tags taken from the existing index
  ExpectWalk(dbf, "PROF_DIA_S", (Strings{"2|AB  101", "4|CC  101", "1|MG  101", "3|QQ  101"}));
  if (storetest::kHaveReaders) {
    EXPECT_EQ(Walk(dbf, "DIA_SES").size(), 4u);
  }
}

TEST(TableIndex, PackRemovesDeletedRecordsAndRebuildsTheIndex) {
  SKIP_WITHOUT_READERS();
  testsupport::TempDir dir;
  MakeCuadro(dir.path());
  const fs::path dbf = dir / "CUADROH2.DBF";
  Table t;
  t.SetDatabaseName(dir.path());
  t.SetTableName("CUADROH2");
  t.Open();
  for (int i = 0; i < 30; ++i) {
    char key[16];
    std::snprintf(key, sizeof key, "P%02d 1%02d", 29 - i, i % 20);
    AddSession(t, key, "D" + std::to_string(i));
  }
  t.First();
  int n = 0;
  while (!t.Eof()) {
    if (n++ % 3 != 0) t.Delete();
    else t.Next();
  }
  const Strings live = storetest::DumpTable(dbf);
  ASSERT_EQ(live.size(), 11u);
  const auto sizeBefore = fs::file_size(dbf);
  EXPECT_NE(ErrorOf([&] { t.Pack(); }), "(no error)");  // open here
  Table other;
  other.SetDatabaseName(dir.path());
  other.SetTableName("CUADROH2");
  EXPECT_NE(ErrorOf([&] { other.Pack(); }).find("abierta"), std::string::npos);
  t.Close();
  other.Pack();
  EXPECT_LT(fs::file_size(dbf), sizeBefore);
  EXPECT_EQ(storetest::DumpTable(dbf), live);
  const std::string bytes = testsupport::ReadFile(dbf);
  EXPECT_EQ(bytes.find('*', 32 + 4 * 32 + 1), std::string::npos);
  EXPECT_EQ(uint8_t(bytes[28]), 1);
  Strings walk = Walk(dbf, "PROF_DIA_S");
  ASSERT_EQ(walk.size(), 10u);
  EXPECT_EQ(walk.front(), "10|P02 107");
  EXPECT_EQ(walk.back(), "1|P29 100");
  other.SetIndexName("DOC");
  other.Open();
  EXPECT_TRUE(other.FindKey("D27"));
  EXPECT_EQ(other.RecNo(), 10u);
}
