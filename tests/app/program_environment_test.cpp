// What the program learns from and tells to its system: the executable's
// path, the command line, the console.
#include "app/program_environment.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/cli_options.h"
#include "store/path_text.h"

namespace {

namespace fs = std::filesystem;

TEST(WholeUtf8Length, HoldsBackOnlyACharacterCutAtTheEnd) {
  struct Case {
    std::string text;
    size_t whole;
  };
  const std::vector<Case> cases = {
      {"", 0},
      {"abc\n", 4},
      {"A\xC3\xB1o", 4},            // "Año": whole
      {"A\xC3", 1},                 // the ñ's first byte only
      {"\xE2\x82\xAC", 3},          // "€"
      {"x\xE2\x82", 1},             // "€" cut after two of three bytes
      {"x\xE2", 1},
      {"\xF0\x9F\x98\x80", 4},      // a character outside the BMP
      {"x\xF0\x9F\x98", 1},
      {"\xC3\xB1\xC3\xB1", 4},
      {"\x80\x80", 2},              // stray continuation bytes: nothing to wait for
      {"x\xFF", 2},                 // not UTF-8 at all: given out as it is
      {"\xC3\xB1\n\xC5", 3},
  };
  for (const Case& c : cases) EXPECT_EQ(app::WholeUtf8Length(c.text), c.whole) << c.text;
}

#ifndef _WIN32
TEST(CommandLine, PosixArgumentsAreTheBytesGiven) {
  const char* argv[] = {"/opt/transdae-cli", "import", "--work", "/datos/Año ő", ""};
  std::vector<char*> args;
  for (const char* a : argv) args.push_back(const_cast<char*>(a));
  EXPECT_EQ(app::CommandLineArguments(5, args.data()),
            (std::vector<std::string>{"import", "--work", "/datos/Año ő", ""}));
}
#else
// The arguments are read again from the process's own command line
// (GetCommandLineW): what main() was handed in the ANSI code page plays no
// part. The batch front end's tests start it with arguments of any
// character; here the test program's own command line is compared.
TEST(CommandLine, WindowsArgumentsComeFromTheUnicodeCommandLine) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  ASSERT_NE(wide, nullptr);
  std::vector<std::string> expected;
  for (int i = 1; i < count; ++i) expected.push_back(store::PathText(fs::path(wide[i])));
  LocalFree(wide);
  char* ansi[] = {const_cast<char*>("x"), const_cast<char*>("bogus")};
  EXPECT_EQ(app::CommandLineArguments(2, ansi), expected);
}

// A console shows UTF-16 text: what the buffer writes is read back from a
// console screen buffer made for the test.
TEST(ConsoleBuffer, WindowsConsoleGetsTheCharactersThemselves) {
  HANDLE screen = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            CONSOLE_TEXTMODE_BUFFER, nullptr);
  if (screen == INVALID_HANDLE_VALUE) GTEST_SKIP() << "this process has no console";
  HANDLE old = GetStdHandle(STD_OUTPUT_HANDLE);
  SetStdHandle(STD_OUTPUT_HANDLE, screen);
  std::wstring shown(16, L'\0');
  bool console = false;
  {
    app::ConsoleBuffer buffer(stdout);
    console = buffer.IsConsole();
    std::ostream out(&buffer);
    // "Año ő €", the "ñ" split across two writes.
    out << "A\xC3";
    out.flush();
    out << "\xB1o \xC5\x91 \xE2\x82\xAC";
    out.flush();
  }
  DWORD read = 0;
  ReadConsoleOutputCharacterW(screen, shown.data(), 7, COORD{0, 0}, &read);
  SetStdHandle(STD_OUTPUT_HANDLE, old);
  CloseHandle(screen);
  EXPECT_TRUE(console);
  shown.resize(read);
  EXPECT_EQ(shown, L"A\u00f1o \u0151 \u20ac");
}
#endif

// Redirected to a file (or a pipe), the text goes out in the code page that
// `type` and `more` read it with (UTF-8 on POSIX), LF not turned into CR LF.
TEST(ConsoleBuffer, RedirectedOutputIsInTheConsolesCodePage) {
  // The batch front end's own tests read its output through pipes; here
  // the buffer writes through stderr's stream into a file the test reads.
  const fs::path file = fs::temp_directory_path() / "transdae-consola-prueba.txt";
  std::string bytes;
#ifdef _WIN32
  HANDLE old = GetStdHandle(STD_ERROR_HANDLE);
  HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  SetStdHandle(STD_ERROR_HANDLE, h);
  {
    app::ConsoleBuffer buffer(stderr);
    EXPECT_FALSE(buffer.IsConsole());
    std::ostream out(&buffer);
    out << "A\xC3" << std::flush << "\xB1o\nsegunda l\xC3\xADnea\n";
  }
  SetStdHandle(STD_ERROR_HANDLE, old);
  CloseHandle(h);
#else
  std::FILE* f = std::fopen(file.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  {
    app::ConsoleBuffer buffer(f);
    EXPECT_FALSE(buffer.IsConsole());
    std::ostream out(&buffer);
    out << "A\xC3" << std::flush << "\xB1o\nsegunda l\xC3\xADnea\n";
  }
  std::fclose(f);
#endif
  {
    std::FILE* in = std::fopen(store::PathText(file).c_str(), "rb");  // an ASCII name
    ASSERT_NE(in, nullptr);
    char buf[256];
    const size_t n = std::fread(buf, 1, sizeof buf, in);
    std::fclose(in);
    bytes.assign(buf, n);
  }
  fs::remove(file);
  const unsigned page = app::RedirectedCodePage();
#ifdef _WIN32
  // The code pages of a Spanish (850) or American (437) console: "ñ" is
  // 0xA4 and "í" 0xA1 in both.
  if (page == 850 || page == 437) {
    EXPECT_EQ(bytes, "A\xA4o\nsegunda l\xA1nea\n");
    return;
  }
#endif
  if (page == 65001) {
    EXPECT_EQ(bytes, "A\xC3\xB1o\nsegunda l\xC3\xADnea\n");
    return;
  }
  GTEST_SKIP() << "a console code page " << page << " this test does not know";
}

#ifdef _WIN32
// The console's code page when there is one, else the OEM code page; a
// character that the page lacks becomes a look-alike or '?', never bytes of
// another encoding.
TEST(ConsoleBuffer, RedirectedOutputReplacesWhatTheCodePageLacks) {
  const UINT console = GetConsoleOutputCP();
  EXPECT_EQ(app::RedirectedCodePage(), console != 0 ? console : GetOEMCP());
  if (app::RedirectedCodePage() != 850 && app::RedirectedCodePage() != 437)
    GTEST_SKIP() << "needs a console code page 850 or 437";
  const fs::path file = fs::temp_directory_path() / "transdae-consola-sustitutos.txt";
  HANDLE old = GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  SetStdHandle(STD_OUTPUT_HANDLE, h);
  {
    app::ConsoleBuffer buffer(stdout);
    std::ostream out(&buffer);
    // "Š" (no code page of a console has it), "ő", "€" (not in 437).
    out << "[\xC5\xA0][\xC5\x91][\xE2\x82\xAC]\n";
  }
  SetStdHandle(STD_OUTPUT_HANDLE, old);
  CloseHandle(h);
  std::string bytes;
  {
    std::FILE* in = std::fopen(store::PathText(file).c_str(), "rb");
    ASSERT_NE(in, nullptr);
    char buf[64];
    bytes.assign(buf, std::fread(buf, 1, sizeof buf, in));
    std::fclose(in);
  }
  fs::remove(file);
  ASSERT_EQ(bytes.size(), 10u) << bytes;  // one byte for each character
  EXPECT_TRUE(bytes[1] == 'S' || bytes[1] == '?') << bytes;
  EXPECT_TRUE(bytes[4] == 'o' || bytes[4] == '?') << bytes;
  EXPECT_EQ(bytes.find('\xC5'), std::string::npos) << "no UTF-8 byte";
}
#endif

// The usage text names where the work folder is when nothing names it, as
// the system at hand has it.
TEST(UsageText, NamesTheStandardWorkFolderOfTheSystem) {
  const std::string usage = app::CliUsageText();
#ifdef _WIN32
  EXPECT_NE(usage.find("\\QTEMP de la unidad actual"), std::string::npos) << usage;
  EXPECT_EQ(usage.find("$HOME"), std::string::npos) << usage;
  EXPECT_EQ(usage.find("(UTF-8)"), std::string::npos) << usage;
#else
  EXPECT_NE(usage.find("$HOME/QTEMP"), std::string::npos) << usage;
  EXPECT_NE(usage.find("salida est\xC3\xA1ndar (UTF-8)"), std::string::npos) << usage;
#endif
}

}  // namespace
