// A table made by the engine, filled and read back by the engine and by the
// independent reader.
#include <gtest/gtest.h>

#include "store/store_error.h"
#include "tests/store/store_test_util.h"

using namespace store;
using storetest::Col;

TEST(TableRoundTrip, CreatedTableIsReadBackByAnotherReader) {
  SKIP_WITHOUT_READERS();
  testsupport::TempDir dir;
  {
    Table t;
    storetest::Define(t, dir.path(), "ASIGNOMT.DBF",
                      {{"ABREV", FieldType::String, 4},
                       {"NOMBRE", FieldType::String, 30},
                       {"HORA", FieldType::Integer, 0},
                       {"ESTAREA", FieldType::Boolean, 0}});
    t.CreateTable();
    t.Open();
    EXPECT_TRUE(t.Eof());
    t.Append();
    t.FieldByName("ABREV").SetAsString("MAT");
    t.FieldByName("NOMBRE").SetAsString("Matem\xE1ticas y Espa\xF1ol");
    t.FieldByName("HORA").SetAsInteger(12);
    t.FieldByName("ESTAREA").SetAsBoolean(true);
    t.Post();
    t.Append();
    t.FieldByName("ABREV").SetAsString("TUTORIA_LARGA");
    t.FieldByName("HORA").SetAsInteger(-3);
    t.FieldByName("ESTAREA").SetAsBoolean(false);
    t.Post();
    t.Close();
  }
  auto lines = storetest::DumpTable(dir / "ASIGNOMT.DBF");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "ABREV:C:4:0|NOMBRE:C:30:0|HORA:N:11:0|ESTAREA:L:1:0");
  EXPECT_EQ(lines[1], "MAT|Matemáticas y Español|12|T");
  EXPECT_EQ(lines[2], "TUTO||-3|F");

  Table r;
  r.SetDatabaseName(dir.path());
  r.SetTableName("asignomt");
  r.Open();
  EXPECT_EQ(storetest::Column(r, "ABREV"), (std::vector<std::string>{"MAT", "TUTO"}));
  r.First();
  EXPECT_EQ(r.FieldByName("HORA").AsInteger(), 12);
  EXPECT_EQ(r.FieldByName("HORA").AsString(), "12");
  EXPECT_TRUE(r.FieldByName("ESTAREA").AsBoolean());
}

TEST(TableRoundTrip, IndexedTableWalksInKeyOrderAndFindsKeys) {
  testsupport::TempDir dir;
  Table t;
  storetest::Define(t, dir.path(), "PROFT",
                    {{"ABREV", FieldType::String, 4}, {"NOMBRE", FieldType::String, 10}},
                    {"ABREV"});
  t.CreateTable();
  t.Close();  // puts the new table in place
  EXPECT_TRUE(std::filesystem::exists(dir / "PROFT.MDX"));
  t.SetIndexName("ABREV");
  t.Open();
  for (const char* a : {"MG", "AB", "ZZ", "AB", "B"}) t.AppendValues({std::string(a), std::string(a) + "x"});
  EXPECT_EQ(storetest::Column(t, "ABREV"),
            (std::vector<std::string>{"AB", "AB", "B", "MG", "ZZ"}));
  EXPECT_TRUE(t.FindKey("MG"));
  EXPECT_EQ(t.FieldByName("NOMBRE").AsString(), "MGx");
  EXPECT_FALSE(t.FindKey("M"));
  EXPECT_EQ(t.FieldByName("ABREV").AsString(), "MG");
  t.SetIndexName("");
  EXPECT_EQ(t.FieldByName("ABREV").AsString(), "MG");
  EXPECT_EQ(storetest::Column(t, "ABREV"),
            (std::vector<std::string>{"MG", "AB", "ZZ", "AB", "B"}));
}
