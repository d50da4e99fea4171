// A stand-in for a Windows program that the tool starts (the system's help
// viewer): writes the arguments it was given, one a line in UTF-8, to a
// file beside itself named as it is with ".args" added. The file appears
// whole (written under another name, then renamed), so a test that waits
// for it reads it all.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

std::string Utf8(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string out(static_cast<size_t>(n - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (args == nullptr) return 2;
  std::wstring self(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    if (n == 0) return 2;
    if (n < self.size()) {
      self.resize(n);
      break;
    }
    self.resize(self.size() * 2);
  }
  const std::wstring log = self + L".args";
  const std::wstring partial = log + L".tmp";
  FILE* f = _wfopen(partial.c_str(), L"wb");
  if (f == nullptr) return 2;
  for (int i = 1; i < count; ++i) {
    const std::string line = Utf8(args[i]) + "\n";
    std::fwrite(line.data(), 1, line.size(), f);
  }
  const bool written = std::fclose(f) == 0;
  LocalFree(args);
  if (!written || !MoveFileExW(partial.c_str(), log.c_str(), MOVEFILE_REPLACE_EXISTING)) return 2;
  return 0;
}
