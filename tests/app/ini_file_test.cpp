// The INI writer: byte-exact edits of Dolvarin.ini and safe writing.
#include "app/ini_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <functional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "store/path_text.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using app::GetIniValue;
using app::IniError;
using app::SetIniValue;
using app::WriteIniValue;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

struct EditCase {
  const char* name;
  std::string before;
  std::string after;
};

class IniEditTest : public ::testing::TestWithParam<EditCase> {};

TEST_P(IniEditTest, SetsTranformadoKeepingEveryOtherByte) {
  const EditCase& c = GetParam();
  EXPECT_EQ(SetIniValue(c.before, "Transformadores", "Transformado", "1"), c.after);
}

const EditCase kEditCases[] = {
    {"EmptyFile", "", "[Transformadores]\r\nTransformado=1\r\n"},
    {"KeyReplacedOtherSectionsKept",
     "; Dolvarin\r\n[Rutas]\r\nDatos=C:\\QX5\r\n\r\n[Transformadores]\r\n"
     "Transformado=-1\r\nOtro=5\r\n\r\n[Ventana]\r\nAncho=800\r\n",
     "; Dolvarin\r\n[Rutas]\r\nDatos=C:\\QX5\r\n\r\n[Transformadores]\r\n"
     "Transformado=1\r\nOtro=5\r\n\r\n[Ventana]\r\nAncho=800\r\n"},
    {"LfFileKeyAddedAfterLastLineOfSection",
     "[Transformadores]\nOtro=5\n\n[B]\ny=2\n",
     "[Transformadores]\nOtro=5\nTransformado=1\n\n[B]\ny=2\n"},
    {"CrLfFileKeyAddedToEmptySection", "[Transformadores]\r\n[B]\r\ny=2\r\n",
     "[Transformadores]\r\nTransformado=1\r\n[B]\r\ny=2\r\n"},
    {"SectionAddedAtEndWithFileLineEnd", "[A]\nx=1\n",
     "[A]\nx=1\n[Transformadores]\nTransformado=1\n"},
    {"SectionAddedWithCrLf", "[A]\r\nx=1\r\n",
     "[A]\r\nx=1\r\n[Transformadores]\r\nTransformado=1\r\n"},
    {"NoFinalBreakKeyReplaced", "[Transformadores]\r\nTransformado=-1",
     "[Transformadores]\r\nTransformado=1"},
    {"NoFinalBreakKeyAdded", "[Transformadores]\r\nOtro=5",
     "[Transformadores]\r\nOtro=5\r\nTransformado=1"},
    {"NoFinalBreakSectionAdded", "[A]\nx=1",
     "[A]\nx=1\n[Transformadores]\nTransformado=1"},
    {"NoLineBreakAtAllUsesCrLf", "x=1", "x=1\r\n[Transformadores]\r\nTransformado=1"},
    {"HeaderAloneWithoutBreak", "[Transformadores]",
     "[Transformadores]\r\nTransformado=1"},
    {"NamesIgnoreLetterCase", "[TRANSFORMADORES]\r\ntransformado=0\r\n",
     "[TRANSFORMADORES]\r\ntransformado=1\r\n"},
    {"FirstOfDuplicateSectionsWins",
     "[Transformadores]\r\nOtro=1\r\n[transformadores]\r\nTransformado=0\r\n",
     "[Transformadores]\r\nOtro=1\r\nTransformado=1\r\n[transformadores]\r\n"
     "Transformado=0\r\n"},
    {"FirstOfDuplicateKeysWins",
     "[Transformadores]\r\nTransformado=0\r\nTransformado=0\r\n",
     "[Transformadores]\r\nTransformado=1\r\nTransformado=0\r\n"},
    {"BlanksAroundNamesKeepTheirBytes",
     "  [ Transformadores ]  \r\n\tTransformado = 0 \r\n",
     "  [ Transformadores ]  \r\n\tTransformado =1\r\n"},
    {"CommentedKeyIsNotTheKey", "[Transformadores]\r\n;Transformado=7\r\n",
     "[Transformadores]\r\n;Transformado=7\r\nTransformado=1\r\n"},
    {"KeyBeforeAnySectionIsNotTheKey", "Transformado=3\r\n[Transformadores]\r\n",
     "Transformado=3\r\n[Transformadores]\r\nTransformado=1\r\n"},
    {"LongerKeyIsAnotherKey", "[Transformadores]\nTransformados=9\n",
     "[Transformadores]\nTransformados=9\nTransformado=1\n"},
    {"KeyInAnotherSectionUntouched", "[Otros]\nTransformado=9\n",
     "[Otros]\nTransformado=9\n[Transformadores]\nTransformado=1\n"},
    {"EmptyValueFilled", "[Transformadores]\nTransformado=\n",
     "[Transformadores]\nTransformado=1\n"},
    {"ByteOrderMarkKept", "\xEF\xBB\xBF[Transformadores]\r\nTransformado=0\r\n",
     "\xEF\xBB\xBF[Transformadores]\r\nTransformado=1\r\n"},
    {"LineEndTakenFromFirstLine", "[A]\nx=1\r\n",
     "[A]\nx=1\r\n[Transformadores]\nTransformado=1\n"},
    {"UnclosedBracketIsNoSection", "[Transformadores\r\nTransformado=0\r\n",
     "[Transformadores\r\nTransformado=0\r\n[Transformadores]\r\nTransformado=1\r\n"},
    {"KeyWithoutValueSign", "[Transformadores]\r\nTransformado\r\n",
     "[Transformadores]\r\nTransformado\r\nTransformado=1\r\n"},
    {"TrailingBlankLinesOfFileKept", "[Transformadores]\r\nA=1\r\n\r\n\r\n",
     "[Transformadores]\r\nA=1\r\nTransformado=1\r\n\r\n\r\n"},
};

INSTANTIATE_TEST_SUITE_P(Cases, IniEditTest, ::testing::ValuesIn(kEditCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(IniEdit, AccentedLettersOfCodePage1252MatchWithoutCase) {
  // "[ÁREA]" in code page 1252 is found as "área".
  EXPECT_EQ(SetIniValue("[\xC1REA]\r\nK\xD1=0\r\n", "\xE1rea", "k\xF1", "v"),
            "[\xC1REA]\r\nK\xD1=v\r\n");
}

TEST(IniEdit, LineBreaksInValueCannotSplitTheLine) {
  std::string out = SetIniValue("", "S", "K", "a\r\nb");
  EXPECT_EQ(out, "[S]\r\nK=a  b\r\n");
}

TEST(IniEdit, GetReadsWhatSetWrote) {
  std::string v;
  EXPECT_FALSE(GetIniValue("[A]\nx=1\n", "Transformadores", "Transformado", &v));
  EXPECT_TRUE(GetIniValue("[a]\n x = 1 \n", "A", "X", &v));
  EXPECT_EQ(v, "1");
  EXPECT_FALSE(GetIniValue("[A]\n[B]\nx=1\n", "A", "x", &v));
}

TEST(IniEdit, BinaryGarbageIsEditedBytewise) {
  std::string garbage;
  for (int round = 0; round < 4; ++round)
    for (int b = 0; b < 256; ++b) garbage += static_cast<char>(b);
  std::string out = SetIniValue(garbage, "Transformadores", "Transformado", "-1");
  ASSERT_GE(out.size(), garbage.size());
  EXPECT_EQ(out.substr(0, garbage.size()), garbage);
  std::string v;
  ASSERT_TRUE(GetIniValue(out, "Transformadores", "Transformado", &v));
  EXPECT_EQ(v, "-1");
}

// Random INI-like files: setting a key makes it readable, setting it again
// changes nothing, and every line of the original stays in order.
TEST(IniEdit, RandomFilesKeepTheirLinesAndReadBack) {
  std::mt19937 rng(20240611);
  const std::vector<std::string> pieces = {
      "[Transformadores]", "[transformadores]", "[Otra]", "[ Transformadores ]",
      "Transformado=0",    "TRANSFORMADO = 5", "; comentario", "",
      "x=1",               "[",                "=",          "Transformado",
      "\x01\xff\x80",      "  ",               "[Otra"};
  for (int iter = 0; iter < 2000; ++iter) {
    std::string content;
    const char* eol = (rng() % 2) ? "\r\n" : "\n";
    int lines = static_cast<int>(rng() % 8);
    std::vector<std::string> written;
    for (int i = 0; i < lines; ++i) {
      written.push_back(pieces[rng() % pieces.size()]);
      content += written.back();
      if (i + 1 < lines || rng() % 2) content += eol;
    }
    const std::string value = std::to_string(static_cast<int>(rng() % 3) - 1);
    std::string once = SetIniValue(content, "Transformadores", "Transformado", value);
    std::string got;
    ASSERT_TRUE(GetIniValue(once, "Transformadores", "Transformado", &got)) << content;
    EXPECT_EQ(got, value) << content;
    EXPECT_EQ(SetIniValue(once, "Transformadores", "Transformado", value), once)
        << content;
    // Every original line is still there, in order (the changed key line
    // keeps its text up to the '=').
    size_t pos = 0;
    for (const std::string& line : written) {
      std::string expect = line;
      size_t eq = line.find('=');
      if (eq != std::string::npos) expect = line.substr(0, eq + 1);
      size_t at = once.find(expect, pos);
      ASSERT_NE(at, std::string::npos) << "line '" << line << "' lost in:\n" << once;
      pos = at + expect.size();
    }
  }
}

// ---- Writing real files.

#ifndef _WIN32
mode_t ModeOf(const fs::path& p) {
  struct stat st {};
  if (::stat(p.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}
#endif

// Takes every write permission away (on Windows: sets the read-only
// attribute).
void MakeReadOnly(const fs::path& p) {
  fs::permissions(p, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
}

void MakeWritable(const fs::path& p) {
  fs::permissions(p, fs::perms::owner_write, fs::perm_options::add);
}

std::string Text(const fs::path& p) { return store::PathText(p); }

std::vector<std::string> Entries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder))
    names.push_back(store::FileNameText(e.path()));
  return names;
}

TEST(IniWrite, CreatesAMissingFile) {
  TempDir dir;
  WriteIniValue(dir / "Dolvarin.ini", "Transformadores", "Transformado", "1");
  EXPECT_EQ(ReadFile(dir / "Dolvarin.ini"), "[Transformadores]\r\nTransformado=1\r\n");
#ifndef _WIN32
  mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(ModeOf(dir / "Dolvarin.ini"), 0666 & ~mask);
#endif
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"Dolvarin.ini"});
}

TEST(IniWrite, EditsInPlaceKeepingPermissionsAndOtherBytes) {
  TempDir dir;
  const fs::path ini = dir / "Dolvarin.ini";
  WriteFile(ini, "[Rutas]\r\nDatos=C:\\QX5\r\n[Transformadores]\r\nTransformado=0\r\n");
#ifdef _WIN32
  // What Windows keeps of a file beside its bytes: its attributes.
  ASSERT_TRUE(SetFileAttributesW(ini.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
#else
  ::chmod(ini.c_str(), 0640);
#endif
  WriteIniValue(ini, "Transformadores", "Transformado", "-1");
  EXPECT_EQ(ReadFile(ini), "[Rutas]\r\nDatos=C:\\QX5\r\n[Transformadores]\r\nTransformado=-1\r\n");
#ifdef _WIN32
  EXPECT_TRUE(GetFileAttributesW(ini.c_str()) & FILE_ATTRIBUTE_HIDDEN);
#else
  EXPECT_EQ(ModeOf(ini), 0640u);
#endif
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"Dolvarin.ini"});
}

// Every byte but the value stays, whatever the line ends and control
// characters: CR LF and lone LF lines, a Ctrl-Z (which a text-mode read
// takes for the end of the file) in the middle and at the end, a lone CR.
TEST(IniWrite, KeepsEveryByteOfLineEndsAndControlCharacters) {
  TempDir dir;
  const fs::path ini = dir / "Dolvarin.ini";
  const std::string head = "[Rutas]\r\nDatos=C:\\QX5\n\x1a\r\nNota=a\rb\n";
  const std::string tail = "\r\nOtra=\x1a\n\x1a";
  WriteFile(ini, head + "[Transformadores]\nTransformado=0" + tail);
  WriteIniValue(ini, "Transformadores", "Transformado", "1");
  EXPECT_EQ(ReadFile(ini), head + "[Transformadores]\nTransformado=1" + tail);
  WriteIniValue(ini, "Transformadores", "Transformado", "-1");
  EXPECT_EQ(ReadFile(ini), head + "[Transformadores]\nTransformado=-1" + tail);
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"Dolvarin.ini"});
}

// A folder whose name holds characters of no single code page.
TEST(IniWrite, FolderWithAnyCharacterInItsName) {
  TempDir dir;
  const fs::path exe = dir.path() / store::PathFromText("Curso 2024-25 Año ő");
  fs::create_directory(exe);
  WriteIniValue(exe / "Dolvarin.ini", "Transformadores", "Transformado", "1");
  EXPECT_EQ(ReadFile(exe / "Dolvarin.ini"), "[Transformadores]\r\nTransformado=1\r\n");
  MakeReadOnly(exe / "Dolvarin.ini");
  try {
    WriteIniValue(exe / "Dolvarin.ini", "Transformadores", "Transformado", "0");
    FAIL() << "no error";
  } catch (const IniError& e) {
    EXPECT_NE(std::string(e.what()).find(Text(exe / "Dolvarin.ini")), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("Año ő"), std::string::npos) << e.what();
  }
  MakeWritable(exe / "Dolvarin.ini");
}

#ifndef _WIN32
TEST(IniWrite, FollowsASymbolicLink) {
  TempDir dir;
  fs::create_directory(dir / "real");
  WriteFile(dir / "real" / "Dolvarin.ini", "[A]\nx=1\n");
  fs::create_symlink(dir / "real" / "Dolvarin.ini", dir / "Dolvarin.ini");
  WriteIniValue(dir / "Dolvarin.ini", "Transformadores", "Transformado", "1");
  EXPECT_TRUE(fs::is_symlink(dir / "Dolvarin.ini"));
  EXPECT_EQ(ReadFile(dir / "real" / "Dolvarin.ini"),
            "[A]\nx=1\n[Transformadores]\nTransformado=1\n");
}
#endif

TEST(IniWrite, BinaryFileIsEditedWithoutLoss) {
  TempDir dir;
  std::string garbage;
  for (int b = 255; b >= 0; --b) garbage += static_cast<char>(b);
  WriteFile(dir / "Dolvarin.ini", garbage);
  WriteIniValue(dir / "Dolvarin.ini", "Transformadores", "Transformado", "1");
  std::string now = ReadFile(dir / "Dolvarin.ini");
  EXPECT_EQ(now.substr(0, garbage.size()), garbage);
  std::string v;
  EXPECT_TRUE(GetIniValue(now, "Transformadores", "Transformado", &v));
  EXPECT_EQ(v, "1");
}

// The failures: each throws a Spanish IniError naming the file, and leaves
// whatever was there untouched with no temporary file behind.
TEST(IniWrite, ReadOnlyFileIsRefused) {
  TempDir dir;
  const fs::path ini = dir / "Dolvarin.ini";
  WriteFile(ini, "[Transformadores]\r\nTransformado=0\r\n");
  MakeReadOnly(ini);
  try {
    WriteIniValue(ini, "Transformadores", "Transformado", "1");
    FAIL() << "no error";
  } catch (const IniError& e) {
    EXPECT_NE(std::string(e.what()).find(Text(ini)), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("sólo lectura"), std::string::npos) << e.what();
  }
  EXPECT_EQ(ReadFile(ini), "[Transformadores]\r\nTransformado=0\r\n");
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"Dolvarin.ini"});
  MakeWritable(ini);
}

#ifndef _WIN32
// On Windows the read-only attribute of a folder does not keep files out.
TEST(IniWrite, ReadOnlyFolderIsRefused) {
  TempDir dir;
  fs::create_directory(dir / "exe");
  const fs::path ini = dir / "exe" / "Dolvarin.ini";
  WriteFile(ini, "[Transformadores]\nTransformado=0\n");
  ::chmod((dir / "exe").c_str(), 0555);
  try {
    WriteIniValue(ini, "Transformadores", "Transformado", "1");
    FAIL() << "no error";
  } catch (const IniError& e) {
    EXPECT_NE(std::string(e.what()).find(Text(ini)), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("sólo lectura"), std::string::npos) << e.what();
  }
  ::chmod((dir / "exe").c_str(), 0755);
  EXPECT_EQ(ReadFile(ini), "[Transformadores]\nTransformado=0\n");
  EXPECT_EQ(Entries(dir / "exe"), std::vector<std::string>{"Dolvarin.ini"});
}
#endif

struct FailureCase {
  const char* name;
  std::function<fs::path(const fs::path&)> prepare;  // returns the INI path
  const char* reason;
};

class IniWriteFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(IniWriteFailure, ThrowsSpanishErrorNamingTheFile) {
  TempDir dir;
  fs::path ini = GetParam().prepare(dir.path());
  try {
    WriteIniValue(ini, "Transformadores", "Transformado", "1");
    FAIL() << "no error";
  } catch (const IniError& e) {
    std::string text = e.what();
    EXPECT_EQ(text.rfind("No se puede escribir en " + Text(ini), 0), 0u) << text;
    EXPECT_NE(text.find(GetParam().reason), std::string::npos) << text;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniWriteFailure,
    ::testing::Values(
        FailureCase{"FolderInItsPlace",
                    [](const fs::path& d) {
                      fs::create_directory(d / "Dolvarin.ini");
                      return d / "Dolvarin.ini";
                    },
                    "es una carpeta"},
        FailureCase{"MissingFolder",
                    [](const fs::path& d) { return d / "no" / "Dolvarin.ini"; },
                    "la carpeta no existe"},
        FailureCase{"FileAsFolder",
                    [](const fs::path& d) {
                      WriteFile(d / "archivo", "x");
                      return d / "archivo" / "Dolvarin.ini";
                    },
                    "no es una carpeta"}
#ifndef _WIN32
        ,
        FailureCase{"PipeInItsPlace",
                    [](const fs::path& d) {
                      ::mkfifo((d / "Dolvarin.ini").c_str(), 0644);
                      return d / "Dolvarin.ini";
                    },
                    "no es un archivo normal"}
#endif
        ),
    [](const auto& info) { return std::string(info.param.name); });

#ifndef _WIN32
// A user without write permission on the folder (the usual case outside
// tests run as root) gets the same refusal from the system itself.
TEST(IniWrite, FolderOfAnotherUserIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to switch to another user";
  TempDir dir;
  ::chmod(dir.path().c_str(), 0755);  // others may enter, not write
  const fs::path ini = dir / "Dolvarin.ini";
  WriteFile(ini, "[A]\n");
  ::chmod(ini.c_str(), 0666);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    try {
      WriteIniValue(ini, "Transformadores", "Transformado", "1");
      ::_exit(1);
    } catch (const IniError& e) {
      ::_exit(std::string(e.what()).find(ini.string()) != std::string::npos ? 0 : 2);
    }
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadFile(ini), "[A]\n");
}
#endif

}  // namespace
