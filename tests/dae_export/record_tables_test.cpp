// CUADROH2 and CUADROH3 made empty, and the order of their key tag.
#include <gtest/gtest.h>

#include "dae_export/record_tables.h"
#include "tests/dae_export/export_fixture.h"
#include "tests/support/test_support.h"

namespace {

using exporttest::Dump;
using exporttest::Walk;
using testsupport::TempDir;

const char* kH2Header =
    "TIPREG:C:1:0|TIPDOC:C:1:0|ABREVPROF:C:4:0|DOC:C:15:0|NUMSESION:C:2:0|"
    "DIASEM:C:1:0|TIPTAR:C:3:0|HORAINI:C:5:0|HORAFIN:C:5:0|GRUPNIV:C:3:0|"
    "ABREVASIG:C:4:0|CODASIG:C:4:0|TIPASIG:C:1:0|IDIOMA:C:2:0|AULA_OBS:C:30:0|"
    "TIP_ACTIV:C:3:0|PROF_DIA_S:C:7:0|DIA_SES:C:3:0|REG_MOD:C:1:0";
const char* kH3Header =
    "TIPREG:C:1:0|ABREVGRUP:C:4:0|CODGRUPO:C:5:0|TIPDOC:C:1:0|ABREVPROF:C:4:0|"
    "DOC:C:15:0|NUMSESGRUP:C:2:0|DIASEM:C:1:0|NUMALUM:C:2:0|PROF_DIA_S:C:7:0|"
    "REG_MOD:C:1:0";

// dBase names have at most ten characters: PROF_DIA_SES is stored as
// PROF_DIA_S, field and tag alike, and still found by its whole name.
void ExpectEmptyTables(const TempDir& work) {
  std::vector<std::string> h2 = Dump(work / "CUADROH2.DBF");
  std::vector<std::string> h3 = Dump(work / "CUADROH3.DBF");
  ASSERT_EQ(h2.size(), 1u);
  ASSERT_EQ(h3.size(), 1u);
  EXPECT_EQ(h2[0], kH2Header);
  EXPECT_EQ(h3[0], kH3Header);
  for (const char* tag : {"ABREVPROF", "DOC", "PROF_DIA_SES", "DIA_SES"})
    EXPECT_TRUE(Walk(work / "CUADROH2.DBF", tag).empty()) << tag;
  for (const char* tag : {"ABREVPROF", "DOC", "PROF_DIA_SES"})
    EXPECT_TRUE(Walk(work / "CUADROH3.DBF", tag).empty()) << tag;
}

TEST(RecordTables, CreatedEmptyWithFieldsAndTags) {
  SKIP_WITHOUT_READERS();
  TempDir work;
  dae_export::CreaTablasCuadro(work.path());
  ExpectEmptyTables(work);
}

TEST(RecordTables, ReplaceTablesThatHoldRecords) {
  SKIP_WITHOUT_READERS();
  TempDir work;
  dae_export::CreaTablasCuadro(work.path());
  exporttest::AppendRow(work.path(), "CUADROH2",
                        {{"ABREVPROF", "AB"}, {"PROF_DIA_SES", "AB  307"}});
  exporttest::AppendRow(work.path(), "CUADROH3",
                        {{"ABREVPROF", "AB"}, {"PROF_DIA_SES", "AB  307"}});
  ASSERT_EQ(Dump(work / "CUADROH2.DBF").size(), 2u);
  dae_export::CreaTablasCuadro(work.path());
  ExpectEmptyTables(work);
}

TEST(RecordTables, OnlyOneTableThereBeforehand) {
  SKIP_WITHOUT_READERS();
  TempDir work;
  dae_export::CreaTablasCuadro(work.path());
  std::filesystem::remove(work / "CUADROH3.DBF");
  std::filesystem::remove(work / "CUADROH3.MDX");
  dae_export::CreaTablasCuadro(work.path());
  ExpectEmptyTables(work);
  std::filesystem::remove(work / "CUADROH2.DBF");
  std::filesystem::remove(work / "CUADROH2.MDX");
  dae_export::CreaTablasCuadro(work.path());
  ExpectEmptyTables(work);
}

TEST(RecordTables, KeyTagListsShortTeacherFirstThenDayThenSession) {
  SKIP_WITHOUT_READERS();
  TempDir work;
  dae_export::CreaTablasCuadro(work.path());
  // Appended out of order; the tag must sort them.
  const std::vector<std::string> keys = {
      dae_export::BuildProfDiaSes("ABC", "1", 1),
      dae_export::BuildProfDiaSes("AB", "2", 1),
      dae_export::BuildProfDiaSes("AB", "1", 10),
      dae_export::BuildProfDiaSes("AB", "1", 9),
      dae_export::BuildProfDiaSes("A", "5", 20),
      dae_export::BuildProfDiaSes("ABCD", "1", 1),
  };
  for (const std::string& k : keys)
    exporttest::AppendRow(work.path(), "CUADROH2", {{"PROF_DIA_SES", k}});
  EXPECT_EQ(Walk(work / "CUADROH2.DBF", "PROF_DIA_SES"),
            (std::vector<std::string>{"5|A   520", "4|AB  109", "3|AB  110",
                                      "2|AB  201", "1|ABC 101", "6|ABCD101"}));
}

}  // namespace
