// Programs of the build machine from a Windows test: only under Wine, which
// starts a Unix program given to CreateProcessW and converts Windows paths
// to Unix ones (wine_get_unix_file_name, in Wine's kernel32).
#include <windows.h>

#include <stdexcept>

#include "tests/support/host_program.h"

namespace testsupport::os {

namespace {

using UnixName = char*(CDECL*)(LPCWSTR);

UnixName UnixNameFunction() {
  HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  return kernel ? reinterpret_cast<UnixName>(
                      reinterpret_cast<void*>(::GetProcAddress(kernel, "wine_get_unix_file_name")))
                : nullptr;
}

}  // namespace

bool HostProgramsAvailable() {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version") && UnixNameFunction();
}

std::string HostPath(const std::filesystem::path& path) {
  UnixName unixName = UnixNameFunction();
  if (!unixName) throw std::runtime_error("not under Wine: no Unix paths");
  const std::wstring w = std::filesystem::absolute(path).wstring();
  char* name = unixName(w.c_str());
  if (!name) throw std::runtime_error("no Unix path for a Windows path");
  std::string out = name;
  ::HeapFree(::GetProcessHeap(), 0, name);
  return out;
}

long StartHostShell(const std::string& script) {
  if (!HostProgramsAvailable()) throw std::runtime_error("programs of the build machine need Wine");
  // Wine hands the words to the Unix program; the script's path has no
  // quote in it (a temporary folder of digits).
  std::wstring commandLine = L"/bin/sh \"" + std::filesystem::path(std::u8string(script.begin(), script.end())).wstring() + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
    throw std::runtime_error("cannot start /bin/sh under Wine: error " +
                             std::to_string(::GetLastError()));
  if (pi.hThread) ::CloseHandle(pi.hThread);
  if (pi.hProcess) ::CloseHandle(pi.hProcess);
  return -1;
}

void ReapHostShell(long) {}

}  // namespace testsupport::os
