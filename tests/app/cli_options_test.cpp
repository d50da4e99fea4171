// Options of the batch front end, the centre values and the levels file.
#include "app/cli_options.h"

#include <gtest/gtest.h>

#include "app/csv_value.h"
#include "tests/support/test_support.h"

namespace {

using app::CliCommand;
using app::CliOptions;
using app::ParseCliOptions;
using app::UsageError;

TEST(CliOptions, ImportWithEveryOption) {
  CliOptions o = ParseCliOptions({"import", "--dae", "/d", "--work=/w", "--lang",
                                  "CASTELLANO", "--centre", "012345,2024,1",
                                  "--levels", "niv.csv"});
  EXPECT_EQ(o.command, CliCommand::Import);
  EXPECT_EQ(o.daeFolder, "/d");
  ASSERT_TRUE(o.workFolder);
  EXPECT_EQ(*o.workFolder, "/w");
  EXPECT_EQ(o.language, "CASTELLANO");
  ASSERT_TRUE(o.centre);
  EXPECT_EQ(o.centre->code, "012345");
  EXPECT_EQ(o.centre->year, "2024");
  EXPECT_EQ(o.centre->version, "1");
  ASSERT_TRUE(o.levelsFile);
  EXPECT_EQ(*o.levelsFile, "niv.csv");
}

TEST(CliOptions, Defaults) {
  CliOptions o = ParseCliOptions({"import", "--dae", "d"});
  EXPECT_EQ(o.language, "EUSKERA");
  EXPECT_FALSE(o.workFolder);
  EXPECT_FALSE(o.centre);
  EXPECT_FALSE(o.levelsFile);
  CliOptions e = ParseCliOptions({"export", "--dae", "d"});
  EXPECT_FALSE(e.fresh);
  EXPECT_FALSE(e.codesOnly);
}

TEST(CliOptions, ExportFlagsAndShow) {
  CliOptions e = ParseCliOptions({"export", "--fresh", "--dae", "d", "--codes-only"});
  EXPECT_EQ(e.command, CliCommand::Export);
  EXPECT_TRUE(e.fresh);
  EXPECT_TRUE(e.codesOnly);
  CliOptions s = ParseCliOptions({"show", "--work", "w", "PROFT", "--tag", "ABREV"});
  EXPECT_EQ(s.command, CliCommand::Show);
  EXPECT_EQ(s.table, "PROFT");
  EXPECT_EQ(s.tag, "ABREV");
  EXPECT_EQ(ParseCliOptions({"--help"}).command, CliCommand::Help);
}

struct BadCase {
  std::vector<std::string> args;
  const char* expected;  // piece of the message
};

class CliOptionsBad : public ::testing::TestWithParam<BadCase> {};

TEST_P(CliOptionsBad, IsAUsageError) {
  try {
    ParseCliOptions(GetParam().args);
    FAIL() << "accepted";
  } catch (const UsageError& e) {
    EXPECT_NE(std::string(e.what()).find(GetParam().expected), std::string::npos)
        << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliOptionsBad,
    ::testing::Values(
        BadCase{{}, "Falta la orden"},
        BadCase{{"importar"}, "Orden desconocida"},
        BadCase{{"import"}, "falta --dae"},
        BadCase{{"import", "--dae"}, "Falta el valor de --dae"},
        BadCase{{"import", "--dae="}, "está vacío"},
        BadCase{{"import", "--dae", "a", "--dae", "b"}, "repetida"},
        BadCase{{"import", "--dae", "a", "--fresh"}, "no vale para import"},
        BadCase{{"export", "--dae", "a", "--lang", "X"}, "no vale para export"},
        BadCase{{"export", "--dae", "a", "--levels", "f"}, "no vale para export"},
        BadCase{{"show", "T", "--dae", "a"}, "no vale para show"},
        BadCase{{"export", "--dae", "a", "--fresh=1"}, "no lleva valor"},
        BadCase{{"import", "--dae", "a", "suelto"}, "Argumento de más"},
        BadCase{{"import", "--dae", "a", "--verbose"}, "Opción desconocida"},
        BadCase{{"show"}, "falta el nombre de la tabla"},
        BadCase{{"show", "A", "B"}, "Argumento de más"},
        BadCase{{"import", "--dae", "a", "--centre", "1,2"}, "CÓDIGO,AÑO,VERSIÓN"},
        BadCase{{"import", "--dae", "a", "--centre", "1,2,3,4"}, "CÓDIGO,AÑO,VERSIÓN"},
        BadCase{{"import", "--dae", "a", "--centre", " ,2024,1"}, "código del centro"},
        BadCase{{"import", "--dae", "a", "--centre", "1234567,2024,1"},
                "más de 6 caracteres"},
        BadCase{{"import", "--dae", "a", "--centre", "1,20245,1"}, "más de 4"},
        BadCase{{"import", "--dae", "a", "--centre", "1,2024,123456"}, "más de 5"},
        BadCase{{"import", "--dae", "a", "--centre", "\xE6\x97\xA5,2024,1"},
                "página de códigos 1252"},
        BadCase{{"import", "--help"}, "--help va sin orden"}));

TEST(CentreValues, BlanksTrimmedAccentsCountAsOneCharacter) {
  app::CentreValues v = app::ParseCentreValues(" 01234\xC3\x91 , 2024 ,v1 ");
  EXPECT_EQ(v.code, "01234\xC3\x91");  // six characters with the Ñ
  EXPECT_EQ(v.year, "2024");
  EXPECT_EQ(v.version, "v1");
}

TEST(LevelsFile, ParsesAndConvertsToCodePage1252) {
  auto levels = app::ParseLevelsFile(
      "\xEF\xBB\xBF" "COD;ABREVCAST;ABREVEUSK\r\n"
      "\r\n"
      "ESO; 1ESO ;DBH1\r\n"
      "BAC;;BATX\r\n"
      "NI\xC3\x91;A\xC3\x91O;\r\n");
  ASSERT_EQ(levels.size(), 3u);
  EXPECT_EQ(levels[0].code, "ESO");
  EXPECT_EQ(levels[0].abrevCast, "1ESO");
  EXPECT_EQ(levels[0].abrevEusk, "DBH1");
  EXPECT_EQ(levels[1].abrevCast, "");
  EXPECT_EQ(levels[1].abrevEusk, "BATX");
  EXPECT_EQ(levels[2].code, "NI\xD1");
  EXPECT_EQ(levels[2].abrevCast, "A\xD1O");
  EXPECT_EQ(levels[2].abrevEusk, "");
}

TEST(LevelsFile, HeaderOnlyIsAnEmptyList) {
  EXPECT_TRUE(app::ParseLevelsFile("COD;ABREVCAST;ABREVEUSK").empty());
}

struct BadLevels {
  const char* name;
  std::string content;
  const char* expected;
};

class LevelsFileBad : public ::testing::TestWithParam<BadLevels> {};

TEST_P(LevelsFileBad, IsRefusedNamingTheLine) {
  try {
    app::ParseLevelsFile(GetParam().content);
    FAIL() << "accepted";
  } catch (const UsageError& e) {
    EXPECT_NE(std::string(e.what()).find(GetParam().expected), std::string::npos)
        << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LevelsFileBad,
    ::testing::Values(
        BadLevels{"Empty", "", "falta la cabecera"},
        BadLevels{"OnlyBlankLines", "\n\r\n  \n", "falta la cabecera"},
        BadLevels{"NoHeader", "ESO;1ESO;DBH1\n", "línea 1: se esperaba la cabecera"},
        BadLevels{"WrongHeader", "COD,ABREVCAST,ABREVEUSK\n", "se esperaba la cabecera"},
        BadLevels{"TwoValues", "COD;ABREVCAST;ABREVEUSK\nESO;1ESO\n",
                  "línea 2: se esperaban 3 valores"},
        BadLevels{"FourValues", "COD;ABREVCAST;ABREVEUSK\n\nESO;a;b;c\n",
                  "línea 3: se esperaban 3 valores"},
        BadLevels{"EmptyCode", "COD;ABREVCAST;ABREVEUSK\n ;a;b\n", "falta el código"},
        BadLevels{"RepeatedCode", "COD;ABREVCAST;ABREVEUSK\nESO;a;b\nESO;c;d\n",
                  "línea 3: el nivel ESO está repetido"},
        BadLevels{"TooLong", "COD;ABREVCAST;ABREVEUSK\nESO;ABCDEF;b\n",
                  "ABREVCAST \"ABCDEF\" tiene más de 5"},
        BadLevels{"NotInCodePage", "COD;ABREVCAST;ABREVEUSK\nESO;a;\xE6\x97\xA5\n",
                  "página de códigos 1252"},
        BadLevels{"NotUtf8", "COD;ABREVCAST;ABREVEUSK\nESO;\xFF;b\n",
                  "página de códigos 1252"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LevelsFile, UnreadableFileIsAUsageError) {
  testsupport::TempDir dir;
  EXPECT_THROW(app::ReadLevelsFile(dir / "no.csv"), UsageError);
  EXPECT_THROW(app::ReadLevelsFile(dir.path()), UsageError);
}

TEST(Csv, QuotesOnlyWhatNeedsIt) {
  EXPECT_EQ(app::CsvValue("ABC 1"), "ABC 1");
  EXPECT_EQ(app::CsvValue(""), "");
  EXPECT_EQ(app::CsvValue("a,b"), "\"a,b\"");
  EXPECT_EQ(app::CsvValue("a;b"), "\"a;b\"");
  EXPECT_EQ(app::CsvValue("di \"x\""), "\"di \"\"x\"\"\"");
  EXPECT_EQ(app::CsvValue("a\nb"), "\"a\nb\"");
  EXPECT_EQ(app::CsvValue("a\rb"), "\"a\rb\"");
}

}  // namespace
