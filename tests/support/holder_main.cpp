// transdae_test_holder: another program, for the tests, that holds a file or
// a table open until told to let go.
//
//   transdae_test_holder file  exclusive|shared FILE
//   transdae_test_holder table exclusive|shared FOLDER TABLE
//   transdae_test_holder try   exclusive|shared FILE
//   transdae_test_holder echo ARG...   each argument on a line of its own
//                                      (and "fin" on the standard error)
//   transdae_test_holder cat           the standard input, copied out
//   transdae_test_holder exit N        ends with exit status N
//
// It writes one line to its standard output: "held" (or "opened" for try),
// "busy" when another holder conflicts (a sharing violation on Windows, a
// lock held on POSIX), or "error <text>". file and table then keep hold
// until a line or the end of the standard input arrives; try lets go at
// once. Exit status 0, or 2 for a wrong command line. Arguments are UTF-8
// (read as Unicode on Windows).
//
// A file is held as the timetabling product holds its tables: on Windows
// with a sharing mode (exclusive: none; shared: reading and writing), on
// POSIX with flock (LOCK_EX, LOCK_SH).
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "store/path_text.h"
#include "store/store_error.h"
#include "store/table.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>
#else
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
std::string Narrow(const wchar_t* w) {
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
  if (n > 1) ::WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
  return s;
}

std::vector<std::string> Arguments(int, char**) {
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(Narrow(argv[i]));
  ::LocalFree(argv);
  return args;
}

// "held", "busy" or "error ..."; the handle stays open while the process
// lives.
std::string OpenFile(const std::string& file, bool exclusive, bool keep) {
  const std::wstring path = store::PathFromText(file).wstring();
  const DWORD share = exclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD e = ::GetLastError();
    if (e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION) return "busy";
    return "error Windows " + std::to_string(e);
  }
  if (!keep) ::CloseHandle(h);
  return "held";
}

int ReadInput(char* buffer, unsigned size) { return _read(0, buffer, size); }
#else
std::vector<std::string> Arguments(int argc, char** argv) { return {argv, argv + argc}; }

std::string OpenFile(const std::string& file, bool exclusive, bool keep) {
  const int fd = ::open(file.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return std::string("error ") + ::strerror(errno);
  if (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    const int e = errno;
    ::close(fd);
    return e == EWOULDBLOCK ? "busy" : std::string("error ") + ::strerror(e);
  }
  if (!keep) ::close(fd);
  return "held";
}

int ReadInput(char* buffer, unsigned size) { return static_cast<int>(::read(0, buffer, size)); }
#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // Bytes in and out as they are: no CR LF translation, no stop at 0x1A.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  const std::vector<std::string> args = Arguments(argc, argv);
  // The modes that check how a program is started and its streams.
  if (args.size() >= 2 && args[1] == "echo") {
    for (size_t i = 2; i < args.size(); ++i) std::cout << args[i] << '\n';
    std::cerr << "fin\n";
    return 0;
  }
  if (args.size() == 2 && args[1] == "cat") {
    // Each piece passed on as it comes, so that a reader sees every line
    // at once.
    char buffer[4096];
    for (int n; (n = ReadInput(buffer, sizeof buffer)) > 0;) {
      std::fwrite(buffer, 1, static_cast<size_t>(n), stdout);
      std::fflush(stdout);
    }
    return 0;
  }
  if (args.size() == 3 && args[1] == "exit") return std::stoi(args[2]);
  const bool fileMode = args.size() == 4 && (args[1] == "file" || args[1] == "try");
  const bool tableMode = args.size() == 5 && args[1] == "table";
  if ((!fileMode && !tableMode) || (args[2] != "exclusive" && args[2] != "shared")) {
    std::cerr << "uso: transdae_test_holder file|try exclusive|shared ARCHIVO\n"
                 "     transdae_test_holder table exclusive|shared CARPETA TABLA\n";
    return 2;
  }
  const bool exclusive = args[2] == "exclusive";
  store::Table table;  // open while the process waits, in table mode
  std::string word;
  if (fileMode) {
    word = OpenFile(args[3], exclusive, args[1] == "file");
    if (args[1] == "try" && word == "held") word = "opened";
  } else {
    try {
      table.SetDatabaseName(store::PathFromText(args[3]));
      table.SetTableName(args[4]);
      table.SetExclusive(exclusive);
      table.Open();
      word = "held";
    } catch (const store::StoreError& e) {
      word = std::string("error ") + e.what();
    }
  }
  std::cout << word << std::endl;
  if (args[1] != "try") {
    std::string line;
    std::getline(std::cin, line);
  }
  return 0;
}
