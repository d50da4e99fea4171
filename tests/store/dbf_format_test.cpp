// The .DBF files of the engine as other programs see them, and tables
// written by other programs as the engine sees them.
#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>

#include "store/os_file.h"
#include "store/store_error.h"
#include "store/table.h"
#include "tests/store/store_test_util.h"

using namespace store;
namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::ShellQuote;

namespace {

uint32_t U32(const std::string& b, size_t at) {
  return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 |
         uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}
uint16_t U16(const std::string& b, size_t at) {
  return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8);
}

void MakeCuadro(const fs::path& folder) {
  Table t;
  storetest::Define(t, folder, "CUADROH3",
                    {{"TIPREG", FieldType::String, 1},
                     {"ABREVPROF", FieldType::String, 4},
                     {"PROF_DIA_SES", FieldType::String, 7},
                     {"HORA", FieldType::Integer, 0},
                     {"ACTIVO", FieldType::Boolean, 0}},
                    {"ABREVPROF", "PROF_DIA_SES"});
  t.CreateTable();
}

}  // namespace

TEST(DbfFormat, HeaderOfANewTable) {
  SKIP_WITHOUT_READERS();
  testsupport::TempDir dir;
  MakeCuadro(dir.path());
  std::string b = ReadFile(dir / "CUADROH3.DBF");
  ASSERT_EQ(b.size(), 32u * 6 + 2);
  EXPECT_EQ(uint8_t(b[0]), 0x03);
  std::time_t now = std::time(nullptr);
  const std::tm tm = store::os::LocalTime(now);
  EXPECT_EQ(uint8_t(b[1]), tm.tm_year % 256);
  EXPECT_EQ(uint8_t(b[2]), tm.tm_mon + 1);
  EXPECT_EQ(U32(b, 4), 0u);
  EXPECT_EQ(U16(b, 8), 32 + 5 * 32 + 1);
  EXPECT_EQ(U16(b, 10), 1 + 1 + 4 + 7 + 11 + 1);
  EXPECT_EQ(uint8_t(b[28]), 1);     // production index
  EXPECT_EQ(uint8_t(b[29]), 0x57);  // Windows ANSI
  EXPECT_EQ(uint8_t(b[32 + 5 * 32]), 0x0D);
  EXPECT_EQ(b.size(), size_t(32 + 5 * 32 + 1 + 1));
  EXPECT_EQ(uint8_t(b.back()), 0x1A);
  // The long name is stored cut to the ten characters a descriptor holds.
  EXPECT_EQ(b.substr(32 + 2 * 32, 11), std::string("PROF_DIA_S\0", 11));

  auto cp = storetest::RunDump("--codepage " + ShellQuote((dir / "CUADROH3.DBF").string()));
  EXPECT_EQ(cp.out, "cp1252\n") << cp.err;
}

TEST(DbfFormat, ProductionIndexFlagOnlyWithAnIndexFile) {
  testsupport::TempDir dir;
  Table t;
  storetest::Define(t, dir.path(), "GRUPOST", {{"ABREV", FieldType::String, 4}});
  testsupport::WriteFile(dir / "grupost.mdx", "left over from an older table");
  t.CreateTable();
  t.Close();  // puts the new table in place
  EXPECT_EQ(uint8_t(ReadFile(dir / "GRUPOST.DBF")[28]), 0);
  EXPECT_FALSE(fs::exists(dir / "grupost.mdx"));
  EXPECT_FALSE(fs::exists(dir / "GRUPOST.MDX"));
}

TEST(DbfFormat, EveryFieldAndValueReadBackByPythonAndPerl) {
  SKIP_WITHOUT_READERS();
  testsupport::TempDir dir;
  MakeCuadro(dir.path());
  {
    Table t;
    t.SetDatabaseName(dir.path());
    t.SetTableName("CUADROH3.DBF");
    t.Open();
    t.AppendValues({std::string("3"), std::string("AB"), std::string("AB  307"), 7, true});
    t.AppendValues({std::string("3"), std::string("\xD1" "U\xD1" "O"), std::string("XY  112"), -12, false});
    t.Append();  // a record with every field empty
    t.FieldByName("TIPREG").SetAsString("");
    t.Post();
  }
  auto lines = storetest::DumpTable(dir / "CUADROH3.DBF");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "TIPREG:C:1:0|ABREVPROF:C:4:0|PROF_DIA_S:C:7:0|HORA:N:11:0|ACTIVO:L:1:0");
  EXPECT_EQ(lines[1], "3|AB|AB  307|7|T");
  EXPECT_EQ(lines[2], "3|ÑUÑO|XY  112|-12|F");
  EXPECT_EQ(lines[3], "||||");

  // Perl's DBD::XBase, a second independent reader.
  auto perl = testsupport::RunCommand(
      "perl -MXBase -e '$t = XBase->new(shift) or die XBase->errstr; "
      "print join(\"|\", $t->field_names), \"\\n\"; "
      "for $i (0 .. $t->last_record) { @r = $t->get_record($i); next if $r[0]; "
      "shift @r; print join(\"|\", map { defined $_ ? $_ : \"\" } @r), \"\\n\" }' " +
      ShellQuote((dir / "CUADROH3.DBF").string()));
  ASSERT_EQ(perl.exitCode, 0) << perl.err;
  auto plines = testsupport::SplitLines(perl.out);
  ASSERT_EQ(plines.size(), 4u);
  EXPECT_EQ(plines[0], "TIPREG|ABREVPROF|PROF_DIA_S|HORA|ACTIVO");
  EXPECT_EQ(plines[1], "3|AB|AB  307|7|1");
  EXPECT_EQ(plines[2], "3|\xD1U\xD1O|XY  112|-12|0");
}

TEST(DbfFormat, TableWrittenByAnotherProgramWithDecimalsAndDeletedRecords) {
  SKIP_WITHOUT_READERS();
  testsupport::TempDir dir;
  fs::path soluc = dir / "soluc.dbf";
  auto w = storetest::RunDump("--write " + ShellQuote(soluc.string()) +
                              " 'PROF C(4); DIA N(1,0); HORA N(5,1); PESO N(8,3); FIJA L' "
                              "'AB|3|2.5|1.25|T' '*BORR|1|1|1|F' 'CD|1|3.5|-0.5|F' 'EF||||' "
                              "'*OTRO|2|2|2|T' 'GH|5|12|7|T'");
  ASSERT_EQ(w.exitCode, 0) << w.err;
  Table t;
  t.SetDatabaseName(dir.path());
  t.SetTableName("SOLUC");
  t.Open();
  ASSERT_EQ(t.Fields().size(), 5u);
  EXPECT_EQ(t.Fields()[1].type, FieldType::Integer);
  EXPECT_EQ(t.Fields()[2].type, FieldType::Numeric);
  EXPECT_EQ(t.Fields()[2].decimals, 1);
  EXPECT_EQ(t.Fields()[4].type, FieldType::Boolean);
  struct Row {
    std::string prof;
    int32_t hora;
    std::string horaText, peso;
    int32_t pesoInt;
    bool fija;
  };
  const Row expected[] = {{"AB", 2, "2.5", "1.25", 1, true},
                          {"CD", 4, "3.5", "-0.5", 0, false},
                          {"EF", 0, "", "", 0, false},
                          {"GH", 12, "12", "7", 7, true}};
  t.First();
  for (const Row& r : expected) {
    ASSERT_FALSE(t.Eof()) << r.prof;
    EXPECT_EQ(t.FieldByName("PROF").AsString(), r.prof);
    EXPECT_EQ(t.FieldByName("HORA").AsInteger(), r.hora) << r.prof;
    EXPECT_EQ(t.FieldByName("HORA").AsString(), r.horaText) << r.prof;
    EXPECT_EQ(t.FieldByName("PESO").AsString(), r.peso) << r.prof;
    EXPECT_EQ(t.FieldByName("PESO").AsInteger(), r.pesoInt) << r.prof;
    EXPECT_EQ(t.FieldByName("FIJA").AsBoolean(), r.fija) << r.prof;
    t.Next();
  }
  EXPECT_TRUE(t.Eof());
  EXPECT_EQ(t.VisibleRecords(), (std::vector<uint32_t>{1, 3, 4, 6}));

  // Changing one of its records keeps the other program's layout.
  t.First();
  t.Edit();
  t.FieldByName("PESO").SetAsString("2.75");
  t.FieldByName("DIA").SetAsInteger(4);
  t.Post();
  t.Close();
  auto lines = storetest::DumpTable(soluc);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "PROF:C:4:0|DIA:N:1:0|HORA:N:5:1|PESO:N:8:3|FIJA:L:1:0");
  EXPECT_EQ(lines[1], "AB|4|2.5|2.75|T");
  EXPECT_EQ(lines[2], "CD|1|3.5|-0.5|F");
}

TEST(DbfFormat, ARecordChangeTouchesOnlyItsRecordAndTheHeader) {
  testsupport::TempDir dir;
  Table t;
  storetest::Define(t, dir.path(), "GRUPOST",
                    {{"ABREV", FieldType::String, 5}, {"NIVEL", FieldType::String, 5}});
  t.CreateTable();
  t.Close();  // puts the new table in place
  t.Open();
  for (int i = 0; i < 5; ++i) t.AppendValues({"G" + std::to_string(i), std::string("N")});
  const std::string before = ReadFile(dir / "GRUPOST.DBF");
  const size_t header = U16(before, 8), reclen = U16(before, 10);
  t.First();
  t.Next();
  t.Next();
  t.Edit();
  t.FieldByName("NIVEL").SetAsString("ESO1");
  t.Post();
  t.Delete();  // now record 4 is current
  const std::string after = ReadFile(dir / "GRUPOST.DBF");
  ASSERT_EQ(after.size(), before.size());
  const size_t recStart = header + 2 * reclen;
  for (size_t i = 0; i < after.size(); ++i) {
    if (i >= 1 && i <= 7) continue;  // date and count
    if (i >= recStart && i < recStart + reclen) continue;
    EXPECT_EQ(before[i], after[i]) << "byte " << i << " changed";
  }
  EXPECT_EQ(after.substr(recStart, reclen), "*G2   ESO1 ");
  EXPECT_EQ(t.FieldByName("ABREV").AsString(), "G3");
}

TEST(DbfFormat, ToleratesWhatOtherWritersDo) {
  SKIP_WITHOUT_READERS();
  testsupport::TempDir dir;
  fs::path p = dir / "T.DBF";
  ASSERT_EQ(storetest::RunDump("--write " + ShellQuote(p.string()) + " 'A C(3)' 'uno' 'dos'").exitCode, 0);
  std::string b = ReadFile(p);
  // No end mark after the last record.
  std::string noMark = b;
  if (uint8_t(noMark.back()) == 0x1A) noMark.pop_back();
  // A header padded past the terminator, as its header length says.
  std::string padded = b;
  const uint16_t hl = U16(b, 8);
  padded.insert(hl, std::string(4, '\0'));
  padded[8] = char((hl + 4) & 0xFF);
  padded[9] = char((hl + 4) >> 8);
  // Bytes left after the records by an interrupted append.
  std::string trailing = b + std::string("xyz\x1A", 4);
  for (const std::string& variant : {noMark, padded, trailing}) {
    testsupport::WriteFile(p, variant);
    Table t;
    t.SetDatabaseName(dir.path());
    t.SetTableName("T");
    ASSERT_NO_THROW(t.Open());
    EXPECT_EQ(storetest::Column(t, "A"), (std::vector<std::string>{"uno", "dos"}));
    t.AppendValues({std::string("tre")});
    t.Close();
    auto lines = storetest::DumpTable(p);
    EXPECT_EQ(lines, (std::vector<std::string>{"A:C:3:0", "uno", "dos", "tre"}));
  }
}

namespace {

struct Damage {
  const char* name;
  void (*apply)(std::string&);
  const char* message;  // part of the error text
};

void SetU16(std::string& b, size_t at, uint16_t v) {
  b[at] = char(v & 0xFF);
  b[at + 1] = char(v >> 8);
}
void SetU32(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = char((v >> (8 * i)) & 0xFF);
}

}  // namespace

class DbfDamage : public ::testing::TestWithParam<Damage> {};

TEST_P(DbfDamage, OpenGivesAClearErrorNamingTheTable) {
  SKIP_WITHOUT_READERS();
  testsupport::TempDir dir;
  fs::path p = dir / "PROFT.DBF";
  // Two fields (A C(3), B C(2)), three records.
  ASSERT_EQ(storetest::RunDump("--write " + ShellQuote(p.string()) +
                               " 'A C(3); B C(2)' 'uno|x' 'dos|y' 'tre|z'")
                .exitCode,
            0);
  std::string b = ReadFile(p);
  GetParam().apply(b);
  testsupport::WriteFile(p, b);
  Table t;
  t.SetDatabaseName(dir.path());
  t.SetTableName("proft");
  try {
    t.Open();
    FAIL() << "a damaged table was opened";
  } catch (const StoreError& e) {
    std::string what = e.what();
    EXPECT_NE(what.find("'PROFT.DBF'"), std::string::npos) << what;
    EXPECT_NE(what.find(GetParam().message), std::string::npos) << what;
  }
  EXPECT_FALSE(t.Active());
}

INSTANTIATE_TEST_SUITE_P(
    Headers, DbfDamage,
    ::testing::Values(
        Damage{"count_past_end", [](std::string& b) { SetU32(b, 4, 50); }, "registros"},
        Damage{"truncated_last_record", [](std::string& b) { b.resize(b.size() - 3); },
               "último registro está incompleto"},
        Damage{"header_too_short", [](std::string& b) { SetU16(b, 8, 40); }, "demasiado corta"},
        Damage{"header_past_end", [](std::string& b) { SetU16(b, 8, 5000); },
               "pasa del final"},
        Damage{"zero_width", [](std::string& b) { b[32 + 32 + 16] = 0; }, "anchura 0"},
        Damage{"field_past_record",
               [](std::string& b) { b[32 + 32 + 16] = 9; }, "pasa de la longitud de registro"},
        Damage{"no_terminator", [](std::string& b) { b[32 + 64] = 'X'; }, "terminador"},
        Damage{"not_a_table", [](std::string& b) { b = "hello"; }, "más corto"},
        Damage{"unknown_version", [](std::string& b) { b[0] = 0x7F; }, "versión"}),
    [](const auto& info) { return std::string(info.param.name); });
