// The program's environment on Windows: the executable's path and the
// command line are asked for as UTF-16 and converted to UTF-8; a console
// gets UTF-16 through WriteConsoleW.
#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include "app/program_environment.h"
#include "store/path_text.h"

namespace app {

namespace fs = std::filesystem;

namespace {

std::string Utf8FromWide(const wchar_t* text, int length) {
  if (length <= 0) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
  return out;
}

std::wstring WideFromUtf8(std::string_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  if (size <= 0) return {};
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), length, out.data(), size);
  return out;
}

// UTF-8 text in a single-byte or double-byte code page: a character the
// page lacks becomes its best-fit look-alike ("Š" to "S") or '?'.
std::string InCodePage(std::string_view utf8, unsigned codePage) {
  if (codePage == CP_UTF8) return std::string(utf8);
  const std::wstring wide = WideFromUtf8(utf8);
  if (wide.empty()) return {};
  const int length = static_cast<int>(wide.size());
  const int size =
      WideCharToMultiByte(codePage, 0, wide.data(), length, nullptr, 0, "?", nullptr);
  if (size <= 0) return std::string(utf8);  // a code page the system lacks
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), length, out.data(), size, "?", nullptr);
  return out;
}

// All of data to a file or pipe handle.
bool WriteBytes(HANDLE h, const char* data, size_t size) {
  while (size > 0) {
    DWORD written = 0;
    const DWORD chunk = size > 65536 ? 65536 : static_cast<DWORD>(size);
    if (!WriteFile(h, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

bool WriteConsoleText(HANDLE h, const std::wstring& text) {
  const wchar_t* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    DWORD written = 0;
    const DWORD chunk = left > 8192 ? 8192 : static_cast<DWORD>(left);
    if (!WriteConsoleW(h, p, chunk, &written, nullptr) || written == 0) return false;
    p += written;
    left -= written;
  }
  return true;
}

}  // namespace

fs::path ExecutablePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      return fs::path(buffer);
    }
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) {
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return args;
  }
  for (int i = 1; i < count; ++i)
    args.push_back(Utf8FromWide(wide[i], static_cast<int>(wcslen(wide[i]))));
  LocalFree(wide);
  return args;
}

unsigned RedirectedCodePage() {
  // The console the program was started from, even with its output
  // redirected: "transdae-cli ... > salida.txt" followed by "type
  // salida.txt" in the same window shows the text right.
  const UINT console = GetConsoleOutputCP();
  if (console != 0) return console;
  return GetOEMCP();
}

std::string StandardWorkFolderWording() { return "\\QTEMP de la unidad actual"; }

std::string OutputEncodingWording() {
  return "en la consola, Unicode; redirigida, en la página de códigos de la consola";
}

ConsoleBuffer::ConsoleBuffer(std::FILE* stream) : stream_(stream) {
  HANDLE h = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  handle_ = h;
  DWORD mode = 0;
  console_ = h != nullptr && h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode);
}

bool ConsoleBuffer::Flush(bool all) {
  const size_t n = all ? pending_.size() : WholeUtf8Length(pending_);
  if (n == 0) return true;
  HANDLE h = static_cast<HANDLE>(handle_);
  bool ok = false;
  if (h == nullptr || h == INVALID_HANDLE_VALUE) {
    ok = true;  // no stream at all (a program started without one)
  } else if (console_) {
    ok = WriteConsoleText(h, WideFromUtf8(std::string_view(pending_).substr(0, n)));
  } else {
    // A file or a pipe: the text in the console's code page (see the
    // header), LF not turned into CR LF (the C runtime's text mode is
    // bypassed).
    std::fflush(stream_);
    const std::string bytes =
        InCodePage(std::string_view(pending_).substr(0, n), RedirectedCodePage());
    ok = WriteBytes(h, bytes.data(), bytes.size());
  }
  pending_.erase(0, n);
  return ok;
}

}  // namespace app
#endif  // _WIN32
