// A DAE file holding a byte that is no character of code page 1252 (as a
// file saved as UTF-8 does: "Á" is C3 81) is refused by the import before
// it changes any table: the message names the file and the line, and every
// file of the work folder stays byte for byte as it was.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::CommandResult;
using testsupport::ExamplesDir;
using testsupport::QuotePath;
using testsupport::ReadFile;
using testsupport::RunCli;
using testsupport::TempDir;
using testsupport::WriteFile;

std::map<std::string, std::string> Tree(const fs::path& folder) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (e.is_regular_file()) out[fs::relative(e.path(), folder).generic_string()] = ReadFile(e.path());
  }
  return out;
}

struct BadByteCase {
  const char* file;
  int line;           // 1-based line that gets the byte
  unsigned char byte;
};

class UndefinedByteInDaeFile : public testing::TestWithParam<BadByteCase> {};

TEST_P(UndefinedByteInDaeFile, StopsTheImportBeforeAnyTableChanges) {
  const BadByteCase& c = GetParam();
  TempDir dir;
  const fs::path dae = dir / "dae", work = dir / "work";
  fs::copy(ExamplesDir() / "dae", dae, fs::copy_options::recursive);
  // A first import, so that every table (and a copy) is there to keep.
  CommandResult first = RunCli("import --dae " + QuotePath(dae) + " --work " + QuotePath(work) +
                               " --levels " + QuotePath(ExamplesDir() / "levels.csv"));
  ASSERT_EQ(first.exitCode, 0) << first.out;
  // Then DAE gives another teacher list, one of whose lines is not 1252.
  std::string text = ReadFile(dae / c.file);
  size_t at = 0;
  for (int l = 1; l < c.line; ++l) at = text.find('\n', at) + 1;
  text.insert(at + 20, 1, static_cast<char>(c.byte));
  text.replace(at + 4, 3, "XYZ");  // the line differs from the first import's
  WriteFile(dae / c.file, text);
  const auto before = Tree(work);

  CommandResult r = RunCli("import --dae " + QuotePath(dae) + " --work " + QuotePath(work) +
                           " --levels " + QuotePath(ExamplesDir() / "levels.csv"));
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%02X", c.byte);
  EXPECT_EQ(r.exitCode, 1) << r.out;
  const std::string said = r.out + r.err;
  EXPECT_NE(said.find(std::string(c.file) + " tiene en la línea " + std::to_string(c.line) +
                      " (posición 21) el byte " + hex),
            std::string::npos)
      << said;
  EXPECT_EQ(said.find("Proceso finalizado"), std::string::npos) << said;
  EXPECT_TRUE(Tree(work) == before) << said;
}

INSTANTIATE_TEST_SUITE_P(Cases, UndefinedByteInDaeFile,
                         testing::Values(BadByteCase{"fPROFES.txt", 2, 0x81},
                                         BadByteCase{"fGRUPOS.txt", 3, 0x9D},
                                         BadByteCase{"fTIPTAR.txt", 1, 0x8D},
                                         BadByteCase{"fASIGNAT.txt", 5, 0x90}),
                         [](const auto& info) {
                           return std::string(info.param.file).substr(1, 6) + "_" +
                                  std::to_string(info.param.byte);
                         });

}  // namespace
