// The DAE text reader: line ends, Ctrl-Z, records, fields, trimming, file
// lookup and read errors, on real files in temporary folders.
#include "dae_import/dae_text_reader.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "store/path_text.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using dae_import::CutField;
using dae_import::DaeFileError;
using dae_import::DaeTextReader;
using dae_import::FindDaeFile;
using dae_import::TrimControls;
using dae_import::TrimmedField;
using testsupport::TempDir;
using testsupport::WriteFile;

std::vector<std::string> ReadAll(const fs::path& p) {
  DaeTextReader r(p);
  std::vector<std::string> lines;
  std::string line;
  while (r.ReadLine(line)) lines.push_back(line);
  EXPECT_TRUE(r.AtEnd());
  EXPECT_FALSE(r.ReadLine(line));
  return lines;
}

std::vector<std::string> ReadBytes(const std::string& bytes) {
  TempDir dir;
  WriteFile(dir / "f.txt", bytes);
  return ReadAll(dir / "f.txt");
}

struct LineCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> records;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class LineSplitting : public ::testing::TestWithParam<LineCase> {};

TEST_P(LineSplitting, GivesTheRecordsOfTheFile) {
  EXPECT_EQ(ReadBytes(GetParam().bytes), GetParam().records);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Cases, LineSplitting,
    ::testing::Values(
        LineCase{"EmptyFile", "", {}},
        LineCase{"LastLineWithoutBreak", "abc", {"abc"}},
        LineCase{"FinalLfMakesNoRecord", "abc\n", {"abc"}},
        LineCase{"FinalCrLfMakesNoRecord", "abc\r\n", {"abc"}},
        LineCase{"TwoFinalBreaksGiveOneEmptyRecord", "abc\r\n\r\n", {"abc", ""}},
        LineCase{"TwoFinalLfGiveOneEmptyRecord", "abc\n\n", {"abc", ""}},
        LineCase{"OnlyABreak", "\r\n", {""}},
        LineCase{"EmptyLinesBeforeText", "\n\nx", {"", "", "x"}},
        LineCase{"MixedLineEnds", "a\nb\r\nc", {"a", "b", "c"}},
        LineCase{"LoneCrDroppedInsideLine", "ab\rcd\r\nef", {"abcd", "ef"}},
        LineCase{"LoneCrAtEndDropped", "ab\r", {"ab"}},
        LineCase{"CrCrLf", "a\r\r\nb", {"a", "b"}},
        LineCase{"CtrlZEndsTheFile", "a\nb\x1A" "c\nd\n", {"a", "b"}},
        LineCase{"CtrlZAfterBreak", "a\r\n\x1A" "b\r\n", {"a"}},
        LineCase{"CtrlZFirst", "\x1A" "abc\n", {}},
        LineCase{"CrBeforeCtrlZ", "a\r\x1A", {"a"}},
        LineCase{"NulIsAnOrdinaryByte", "a\0b\n\0\n"s, {"a\0b"s, "\0"s}},
        LineCase{"HighBytesKept", "Pe\xF1" "a\r\n\xC1rea", {"Pe\xF1" "a", "\xC1rea"}}),
    [](const ::testing::TestParamInfo<LineCase>& info) {
      return std::string(info.param.name);
    });

TEST(DaeTextReader, BreaksSplitAcrossReadBlocksAreJoined) {
  // The reader works in blocks of 64 KiB: put a CR at the last byte of the
  // first block, its LF (or the next text) at the first of the second.
  const std::string x(65535, 'x');
  EXPECT_EQ(ReadBytes(x + "\r\ny"), (std::vector<std::string>{x, "y"}));
  EXPECT_EQ(ReadBytes(x + "\rz\n"), (std::vector<std::string>{x + "z"}));
  EXPECT_EQ(ReadBytes(x + "\r"), (std::vector<std::string>{x}));
  EXPECT_EQ(ReadBytes(x + "\n\x1A"), (std::vector<std::string>{x}));
}

TEST(DaeTextReader, ReadsLinesOfSeveralMegabytes) {
  std::string big(5 * 1024 * 1024, 'a');
  big[3 * 1024 * 1024] = 'M';
  const std::vector<std::string> lines = ReadBytes(big + "\r\nfin\r\n");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], big);
  EXPECT_EQ(lines[1], "fin");
}

TEST(DaeTextReader, AtEndTellsWhetherARecordRemains) {
  TempDir dir;
  WriteFile(dir / "f.txt", "a\r\n\r\n");
  DaeTextReader r(dir / "f.txt");
  std::string line = "stale";
  EXPECT_FALSE(r.AtEnd());
  ASSERT_TRUE(r.ReadLine(line));
  EXPECT_EQ(line, "a");
  EXPECT_FALSE(r.AtEnd());  // the empty line before the end is a record
  ASSERT_TRUE(r.ReadLine(line));
  EXPECT_EQ(line, "");
  EXPECT_TRUE(r.AtEnd());
  line = "stale";
  EXPECT_FALSE(r.ReadLine(line));
  EXPECT_EQ(line, "");
}

TEST(DaeTextReader, OpeningAMissingFileThrowsASpanishErrorNamingIt) {
  TempDir dir;
  const fs::path p = dir / "fASIGNAT.txt";
  try {
    DaeTextReader r(p);
    FAIL() << "no error";
  } catch (const DaeFileError& e) {
    const std::string what = e.what();
    EXPECT_NE(what.find("No se puede abrir el archivo"), std::string::npos) << what;
    EXPECT_NE(what.find(store::PathText(p)), std::string::npos) << what;
    EXPECT_NE(what.find("no existe"), std::string::npos) << what;
  }
}

TEST(DaeTextReader, AReadErrorThrowsASpanishErrorNamingTheFile) {
  // A folder opens as a stream on this platform but cannot be read.
  TempDir dir;
  fs::create_directory(dir / "carpeta");
  try {
    DaeTextReader r(dir / "carpeta");
    std::string line;
    r.ReadLine(line);
    FAIL() << "no error";
  } catch (const DaeFileError& e) {
    const std::string what = e.what();
    EXPECT_NE(what.find(store::PathText(dir / "carpeta")), std::string::npos) << what;
    EXPECT_TRUE(what.find("Error al leer el archivo") != std::string::npos ||
                what.find("No se puede abrir el archivo") != std::string::npos)
        << what;
  }
}

struct FieldCase {
  std::string line;
  std::size_t start, length;
  std::string cut;
};

// The five bytes that are no character of code page 1252 stop the
// reading at their line, with a message naming the file, the line and the
// byte; every other byte is text.
TEST(DaeTextReader, BytesUndefinedInCodePage1252AreRefusedNamingFileAndLine) {
  for (unsigned char bad : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
    TempDir dir;
    const fs::path p = dir / "fPROFES.txt";
    WriteFile(p, "uno\r\ndos\r\ntr" + std::string(1, static_cast<char>(bad)) + "s\r\ncuatro\r\n");
    DaeTextReader r(p);
    std::string line;
    ASSERT_TRUE(r.ReadLine(line));
    ASSERT_TRUE(r.ReadLine(line));
    EXPECT_EQ(line, "dos");
    try {
      r.ReadLine(line);
      ADD_FAILURE() << "no error for byte " << int(bad);
    } catch (const DaeFileError& e) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%02X", bad);
      EXPECT_EQ(std::string(e.what()),
                "El archivo " + store::PathText(p) + " tiene en la línea 3 (posición 3) el byte " +
                    hex + ", que no es ningún carácter del código de página 1252 en que escribe "
                    "DAE; el archivo no se ha leído. Vuelva a sacarlo de DAE o corríjalo");
    }
    EXPECT_THROW(dae_import::CheckDaeTextFile(p), DaeFileError);
  }
  // Every other byte from 0x80 up, and the controls, are read as they are.
  std::string all;
  for (int b = 1; b < 256; ++b) {
    if (b == 10 || b == 13 || b == 26 || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 ||
        b == 0x9D)
      continue;
    all += static_cast<char>(b);
  }
  EXPECT_EQ(ReadBytes(all + "\r\n"), std::vector<std::string>{all});
  TempDir dir;
  WriteFile(dir / "f.txt", all);
  EXPECT_NO_THROW(dae_import::CheckDaeTextFile(dir / "f.txt"));
}

TEST(CutField, TakesBytesByOneBasedStartAndLength) {
  const std::vector<FieldCase> cases = {
      {"abcdef", 1, 3, "abc"},  {"abcdef", 2, 3, "bcd"},
      {"abcdef", 5, 4, "ef"},   // the line ends inside the field
      {"abcdef", 6, 1, "f"},    {"abcdef", 7, 2, ""},  // ends before the start
      {"abcdef", 40, 5, ""},    {"", 1, 4, ""},
      {"ab\0cd"s, 2, 3, "b\0c"s},
  };
  for (const FieldCase& c : cases)
    EXPECT_EQ(std::string(CutField(c.line, c.start, c.length)), c.cut)
        << c.line << " @" << c.start << "+" << c.length;
}

TEST(TrimControls, RemovesCodesZeroToThirtyTwoAtBothEndsOnly) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"  Matemáticas\t", "Matemáticas"},
      {" \tab  c\x01\x1F ", "ab  c"},
      {"\0x\0"s, "x"},
      {"\x1F\x7F\x1F", "\x7F"},       // DEL (127) is kept
      {"\xA0" "x\xA0", "\xA0" "x\xA0"},  // non-breaking space (160) is kept
      {"   \t\r", ""},
      {"", ""},
      {"a b", "a b"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(std::string(TrimControls(in)), out) << in;
}

TEST(TrimmedField, CutsThenTrims) {
  EXPECT_EQ(TrimmedField("0101  Lengua \t  LE", 5, 10), "Lengua");
  EXPECT_EQ(TrimmedField("0101      ", 5, 100), "");
}

// The DAE folder as the main window hands it over: ending in a separator.
std::string Folder(const fs::path& p) {
  return store::PathText(p) + static_cast<char>(fs::path::preferred_separator);
}

size_t EntriesIn(const fs::path& folder) {
  size_t n = 0;
  for (const auto& e : fs::directory_iterator(folder)) n += e.exists() ? 1 : 0;
  return n;
}

TEST(FindDaeFile, MatchesTheNameWithoutRegardToLetterCase) {
  TempDir dir;
  const std::string folder = Folder(dir.path());
  EXPECT_FALSE(FindDaeFile(folder, "fTIPTAR.txt"));
  WriteFile(dir / "FTIPTAR.TXT", "1\r\n");
  auto found = FindDaeFile(folder, "fTIPTAR.txt");
  ASSERT_TRUE(found);
  // The name as it is spelled on disk, also where the system would open
  // it under the spelling asked for.
  EXPECT_EQ(store::FileNameText(*found), "FTIPTAR.TXT");
  WriteFile(dir / "fTIPTAR.txt", "1\r\n");
  found = FindDaeFile(folder, "fTIPTAR.txt");
  ASSERT_TRUE(found);
  if (EntriesIn(dir.path()) == 2) {
    // The exact spelling wins when it exists too.
    EXPECT_EQ(store::FileNameText(*found), "fTIPTAR.txt");
  } else {
    // A system that ignores letter case wrote into the one file there is.
    EXPECT_EQ(store::FileNameText(*found), "FTIPTAR.TXT");
  }
}

// Messages name the file as it is on disk, in a folder whose name holds
// characters of no single code page.
TEST(FindDaeFile, FolderWithAnyCharacterAndTheSpellingOnDisk) {
  TempDir dir;
  const fs::path dae = dir.path() / store::PathFromText("DAE ñandú Ω");
  fs::create_directory(dae);
  WriteFile(dae / "Fprofes.TXT", "uno\r\ndos\x1a tras el final");
  auto found = FindDaeFile(Folder(dae), "fPROFES.txt");
  ASSERT_TRUE(found);
  EXPECT_EQ(store::PathText(*found), store::PathText(dae / "Fprofes.TXT"));
  EXPECT_EQ(ReadAll(*found), (std::vector<std::string>{"uno", "dos"}));
  try {
    DaeTextReader r(dae / "fGRUPOS.txt");
    FAIL() << "no error";
  } catch (const DaeFileError& e) {
    const std::string what = e.what();
    EXPECT_NE(what.find(store::PathText(dae / "fGRUPOS.txt")), std::string::npos) << what;
    EXPECT_NE(what.find("ñandú Ω"), std::string::npos) << what;
    EXPECT_NE(what.find("no existe"), std::string::npos) << what;
  }
}

TEST(FindDaeFile, AFolderPipeOrMissingFolderCountsAsMissing) {
  TempDir dir;
  const std::string folder = Folder(dir.path());
  fs::create_directory(dir / "fGRUPOS.txt");
  EXPECT_FALSE(FindDaeFile(folder, "fGRUPOS.txt"));
  // A regular file in another spelling beside the folder is found (where
  // letter case tells names apart).
  if (!fs::exists(dir / "FGRUPOS.TXT")) {
    WriteFile(dir / "FGRUPOS.TXT", "");
    auto found = FindDaeFile(folder, "fGRUPOS.txt");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->filename(), "FGRUPOS.TXT");
  }

#ifndef _WIN32
  ASSERT_EQ(::mkfifo((dir / "fPROFES.txt").c_str(), 0600), 0);
  EXPECT_FALSE(FindDaeFile(folder, "fPROFES.txt"));
#endif

  EXPECT_FALSE(FindDaeFile(folder + "no_existe/", "fPROFES.txt"));
}

#ifndef _WIN32
TEST(FindDaeFile, FollowsSymbolicLinksToFiles) {
  TempDir dir;
  WriteFile(dir / "real.txt", "x");
  fs::create_symlink(dir / "real.txt", dir / "fidioma.TXT");
  auto found = FindDaeFile(dir.path().string() + "/", "fIDIOMA.txt");
  ASSERT_TRUE(found);
  EXPECT_EQ(ReadAll(*found), (std::vector<std::string>{"x"}));
  fs::create_symlink(dir / "nowhere.txt", dir / "fOTRACT.txt");
  EXPECT_FALSE(FindDaeFile(dir.path().string() + "/", "fOTRACT.txt"));
}
#endif

}  // namespace
