// The launch command line: argument count, handle conversion, mode words.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include "chain/error_report.h"

namespace {

using app::HiddenPanel;
using app::LaunchOptions;
using app::ParseCommandLine;

struct LaunchCase {
  const char* name;
  std::vector<std::string> args;
  bool embedded;
  std::uintptr_t handle;
  HiddenPanel hidden;
  std::string error;
};

class LaunchTest : public ::testing::TestWithParam<LaunchCase> {};

TEST_P(LaunchTest, Parses) {
  const LaunchCase& c = GetParam();
  LaunchOptions o = ParseCommandLine(c.args);
  EXPECT_EQ(o.embedded, c.embedded);
  if (c.embedded) {
    EXPECT_EQ(o.parentHandle, c.handle);
  }
  EXPECT_EQ(o.hiddenPanel, c.hidden);
  EXPECT_EQ(o.error, c.error);
}

const LaunchCase kCases[] = {
    {"NoArguments", {}, false, 0, HiddenPanel::None, ""},
    {"OneArgument", {"importar"}, false, 0, HiddenPanel::None, ""},
    {"ThreeArguments", {"importar", "1F", "x"}, false, 0, HiddenPanel::None, ""},
    {"ThreeArgumentsBadHandleNoError", {"exportar", "xyz", "1"}, false, 0,
     HiddenPanel::None, ""},
    {"Importar", {"importar", "1f"}, true, 0x1F, HiddenPanel::Left, ""},
    {"ImportarCapitals", {"IMPORTAR", "3A0001F"}, true, 0x3A0001F, HiddenPanel::Left, ""},
    {"Exportar", {"exportar", "ff"}, true, 0xFF, HiddenPanel::Right, ""},
    {"ExportarMixedCase", {"ExPoRtAr", "aBcDeF"}, true, 0xABCDEF, HiddenPanel::Right, ""},
    {"OtherWordEmbeddedBothPanels", {"otro", "10"}, true, 0x10, HiddenPanel::None, ""},
    {"EmptyWordEmbedded", {"", "1"}, true, 1, HiddenPanel::None, ""},
    {"AccentedWordNotLowered", {"IMPORTAR\xC3\x81", "1"}, true, 1, HiddenPanel::None, ""},
    {"LeadingZeros", {"importar", "0000000000000000000001"}, true, 1,
     HiddenPanel::Left, ""},
    {"ZeroHandle", {"importar", "0"}, true, 0, HiddenPanel::Left, ""},
    {"CPrefixFails", {"importar", "0x1F"}, false, 0, HiddenPanel::None,
     "'$0x1F' no es un valor entero válido"},
    {"DollarPrefixFails", {"importar", "$1F"}, false, 0, HiddenPanel::None,
     "'$$1F' no es un valor entero válido"},
    {"EmptyFails", {"exportar", ""}, false, 0, HiddenPanel::None,
     "'$' no es un valor entero válido"},
    {"NotHexFails", {"exportar", "xyz"}, false, 0, HiddenPanel::None,
     "'$xyz' no es un valor entero válido"},
    {"BlankFails", {"importar", " 1F"}, false, 0, HiddenPanel::None,
     "'$ 1F' no es un valor entero válido"},
    {"SignFails", {"importar", "-1"}, false, 0, HiddenPanel::None,
     "'$-1' no es un valor entero válido"},
    {"TooBigFails", {"importar", "1FFFFFFFFFFFFFFFF"}, false, 0, HiddenPanel::None,
     "'$1FFFFFFFFFFFFFFFF' no es un valor entero válido"},
};

INSTANTIATE_TEST_SUITE_P(Cases, LaunchTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Launch, LargestHandleFits) {
  LaunchOptions o = ParseCommandLine({"importar", "FFFFFFFFFFFFFFFF"});
  ASSERT_TRUE(o.embedded);
  EXPECT_EQ(o.parentHandle, static_cast<std::uintptr_t>(0xFFFFFFFFFFFFFFFFull));
}

TEST(Launch, ConversionErrorGetsThePeriodOfTheErrorReport) {
  LaunchOptions o = ParseCommandLine({"importar", "xyz"});
  EXPECT_EQ(chain::ErrorReportText(o.error), "'$xyz' no es un valor entero válido.");
}

TEST(Launch, ArgvFormSkipsProgramName) {
  const char* argv[] = {"/opt/transdae/transdae", "Exportar", "2a"};
  LaunchOptions o = ParseCommandLine(3, argv);
  EXPECT_TRUE(o.embedded);
  EXPECT_EQ(o.parentHandle, 0x2Au);
  EXPECT_EQ(o.hiddenPanel, HiddenPanel::Right);
  const char* one[] = {"transdae"};
  EXPECT_FALSE(ParseCommandLine(1, one).embedded);
}

TEST(Launch, LowerAsciiLettersOnly) {
  EXPECT_EQ(app::LowerAsciiLetters("AZaz09\xC3\x81\xC1"), "azaz09\xC3\x81\xC1");
}

}  // namespace
