// What the tool learns from, and tells to, the system it runs on: the
// folder of its own executable, its command line, and the console.
//
// Every text here is UTF-8, on every system. The POSIX side
// (program_environment_posix.cpp) takes the bytes the system hands over;
// the Windows side (program_environment_win32.cpp) asks the system for
// UTF-16 (GetModuleFileNameW, GetCommandLineW) and converts, so that an
// argument or a folder with "ñ" or "á" in it, or any other character, is
// never squeezed through the ANSI code page.
#pragma once
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

namespace app {

// The full path of the running executable; empty when the system cannot
// tell (then the caller decides what stands in for it).
std::filesystem::path ExecutablePath();

// The command line's arguments after the program's own name, as UTF-8.
// argc/argv are what main() received: the POSIX side uses them as they are;
// the Windows side reads the command line again as UTF-16 and uses argv
// only when that fails.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// The standard output or error stream of the process, for UTF-8 text.
//
// On a Windows console the text is converted to UTF-16 and written with
// WriteConsoleW, so that accents and "ñ" show whatever the console's code
// page is; a character split across two writes is held back until it is
// whole. Redirected to a file or a pipe on Windows, the text is written in
// the code page of the console the program was started from (what `type`
// and `more` in that console read it with), or, without a console, in the
// system's OEM code page (what a console shows by default); a character
// missing there becomes its nearest look-alike or '?'. A console set to
// UTF-8 (chcp 65001) gets UTF-8. On every other system the UTF-8 bytes go
// out unchanged.
class ConsoleBuffer : public std::streambuf {
 public:
  // stream: stdout or stderr.
  explicit ConsoleBuffer(std::FILE* stream);
  ~ConsoleBuffer() override;
  ConsoleBuffer(const ConsoleBuffer&) = delete;
  ConsoleBuffer& operator=(const ConsoleBuffer&) = delete;

  // True when the text goes to a console as UTF-16 (Windows only).
  bool IsConsole() const { return console_; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override;

 private:
  // Writes the whole UTF-8 characters of pending_; false on failure.
  bool Flush(bool all);

  std::FILE* stream_;
  void* handle_ = nullptr;  // the console's handle, when console_
  bool console_ = false;
  std::string pending_;
};

// The code page that text redirected to a file or a pipe is written in
// (Windows: the console's output code page, else the OEM code page); 65001
// is UTF-8, and POSIX systems always answer 65001.
unsigned RedirectedCodePage();

// The place of the standard work folder as the usage text names it:
// "$HOME/QTEMP" on POSIX, "\QTEMP de la unidad actual" on Windows.
std::string StandardWorkFolderWording();
// How the usage text names the characters of the output: "UTF-8" on
// POSIX, the console's code page on Windows.
std::string OutputEncodingWording();

// The length of the longest start of text that does not end inside a
// UTF-8 character: what a console may be given now, the rest waiting for
// the next write.
size_t WholeUtf8Length(std::string_view text);

// While it lives, std::cout and std::cerr write through ConsoleBuffers; the
// streams get their own buffers back when it ends.
class ConsoleStreams {
 public:
  ConsoleStreams();
  ~ConsoleStreams();
  ConsoleStreams(const ConsoleStreams&) = delete;
  ConsoleStreams& operator=(const ConsoleStreams&) = delete;

 private:
  ConsoleBuffer out_, err_;
  std::streambuf* oldOut_;
  std::streambuf* oldErr_;
};

}  // namespace app
