// The record key PROF_DIA_SES and the parts of it that the records repeat.
#include <gtest/gtest.h>

#include "dae_export/record_tables.h"

namespace {

using dae_export::BuildProfDiaSes;

struct KeyCase {
  const char* prof;
  const char* dia;
  int hora;
  const char* key;
};

TEST(RecordKey, BuildsTeacherDayAndTwoDigitSession) {
  const KeyCase cases[] = {
      {"AB", "3", 7, "AB  307"},     // short teacher padded, hour 7 -> 07
      {"ABCD", "1", 12, "ABCD112"},  // full width, two-digit hour unchanged
      {"A", "5", 1, "A   501"},
      {"ABCDE", "2", 3, "ABCD203"},  // a longer abbreviation is cut
      {"", "4", 9, "    409"},
      {"MG", "2", 20, "MG  220"},
      {"MG", "2", 123, "MG  20123"},  // three digits also get the "0"
      {"MG", "2", 0, "MG  200"},
      {"ÑÁ", "1", 2, "ÑÁ102"},        // bytes, not characters: UTF-8 here
  };
  for (const KeyCase& c : cases) {
    SCOPED_TRACE(std::string(c.prof) + "/" + c.dia + "/" + std::to_string(c.hora));
    EXPECT_EQ(BuildProfDiaSes(c.prof, c.dia, c.hora), c.key);
  }
}

TEST(RecordKey, Cp1252TeacherKeepsFourBytes) {
  // A code page 1252 abbreviation with accented letters is one byte each.
  EXPECT_EQ(BuildProfDiaSes("\xD1\xC1", "1", 2), "\xD1\xC1  102");
}

TEST(RecordKey, PartsOfTheKey) {
  const std::string key = BuildProfDiaSes("AB", "3", 7);
  EXPECT_EQ(dae_export::KeyTeacher(key), "AB  ");
  EXPECT_EQ(dae_export::KeyDay(key), "3");
  EXPECT_EQ(dae_export::KeySession(key), "07");
  EXPECT_EQ(dae_export::KeyDaySession(key), "307");
  EXPECT_EQ(dae_export::KeySession("AB  3"), "");
  EXPECT_EQ(dae_export::KeySession("AB  30"), "0");
}

TEST(RecordKey, ShortTeacherSortsBeforeLongerWithSameLetters) {
  // The index tag compares the bytes; the space must come before letters.
  std::string shortKey = BuildProfDiaSes("AB", "5", 20);
  std::string longKey = BuildProfDiaSes("ABC", "1", 1);
  EXPECT_LT(shortKey, longKey);
  EXPECT_LT(BuildProfDiaSes("AB", "1", 9), BuildProfDiaSes("AB", "1", 10));
  EXPECT_LT(BuildProfDiaSes("AB", "1", 20), BuildProfDiaSes("AB", "2", 1));
}

TEST(RecordTables, FieldsInTableOrderWithWidths) {
  std::string h2;
  for (const auto& f : dae_export::CuadroH2Fields())
    h2 += f.name + ":" + std::to_string(f.width) + " ";
  EXPECT_EQ(h2,
            "TIPREG:1 TIPDOC:1 ABREVPROF:4 DOC:15 NUMSESION:2 DIASEM:1 TIPTAR:3 "
            "HORAINI:5 HORAFIN:5 GRUPNIV:3 ABREVASIG:4 CODASIG:4 TIPASIG:1 "
            "IDIOMA:2 AULA_OBS:30 TIP_ACTIV:3 PROF_DIA_SES:7 DIA_SES:3 REG_MOD:1 ");
  std::string h3;
  for (const auto& f : dae_export::CuadroH3Fields())
    h3 += f.name + ":" + std::to_string(f.width) + " ";
  EXPECT_EQ(h3,
            "TIPREG:1 ABREVGRUP:4 CODGRUPO:5 TIPDOC:1 ABREVPROF:4 DOC:15 "
            "NUMSESGRUP:2 DIASEM:1 NUMALUM:2 PROF_DIA_SES:7 REG_MOD:1 ");
  for (const auto& f : dae_export::CuadroH2Fields())
    EXPECT_EQ(f.type, store::FieldType::String) << f.name;
  std::string tags;
  for (const auto& t : dae_export::CuadroH2Tags()) tags += t.name + "=" + t.field + " ";
  tags += "| ";
  for (const auto& t : dae_export::CuadroH3Tags()) tags += t.name + "=" + t.field + " ";
  EXPECT_EQ(tags,
            "ABREVPROF=ABREVPROF DOC=DOC PROF_DIA_SES=PROF_DIA_SES DIA_SES=DIA_SES | "
            "ABREVPROF=ABREVPROF DOC=DOC PROF_DIA_SES=PROF_DIA_SES ");
}

}  // namespace
