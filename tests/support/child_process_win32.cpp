// Programs started with CreateProcessW, their streams on anonymous pipes.
#include <windows.h>

#include <stdexcept>

#include "tests/support/child_process.h"
#include "tests/support/child_process_os.h"

namespace testsupport::os {

namespace {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                      static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0) throw std::runtime_error("not UTF-8: " + utf8);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                        w.data(), n);
  return w;
}

HANDLE H(Handle h) { return reinterpret_cast<HANDLE>(h); }
Handle Of(HANDLE h) { return reinterpret_cast<Handle>(h); }

std::runtime_error Failure(const std::string& what) {
  return std::runtime_error(what + ": Windows error " + std::to_string(::GetLastError()));
}

// A pipe whose end for the child is inheritable and whose end for this
// process is not.
void MakePipe(HANDLE& childEnd, HANDLE& ourEnd, bool childReads) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE r, w;
  if (!::CreatePipe(&r, &w, &sa, 0)) throw Failure("CreatePipe");
  childEnd = childReads ? r : w;
  ourEnd = childReads ? w : r;
  ::SetHandleInformation(ourEnd, HANDLE_FLAG_INHERIT, 0);
}

}  // namespace

unsigned RedirectedCodePage() {
  const UINT console = ::GetConsoleOutputCP();
  return console != 0 ? console : ::GetOEMCP();
}

std::string FromRedirectedText(const std::string& bytes) {
  const UINT page = RedirectedCodePage();
  if (bytes.empty() || page == CP_UTF8) return bytes;
  const int n = ::MultiByteToWideChar(page, 0, bytes.data(), static_cast<int>(bytes.size()),
                                      nullptr, 0);
  if (n <= 0) throw Failure("MultiByteToWideChar");
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(page, 0, bytes.data(), static_cast<int>(bytes.size()), w.data(), n);
  const int m = ::WideCharToMultiByte(CP_UTF8, 0, w.data(), n, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(m), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, w.data(), n, out.data(), m, nullptr, nullptr);
  return out;
}

std::string ThroughRedirectedCodePage(const std::string& utf8) {
  const UINT page = RedirectedCodePage();
  if (utf8.empty() || page == CP_UTF8) return utf8;
  const std::wstring w = Wide(utf8);
  const int n = static_cast<int>(w.size());
  const int m = ::WideCharToMultiByte(page, 0, w.data(), n, nullptr, 0, "?", nullptr);
  std::string bytes(static_cast<std::size_t>(m), '\0');
  ::WideCharToMultiByte(page, 0, w.data(), n, bytes.data(), m, "?", nullptr);
  return FromRedirectedText(bytes);
}

Started Start(const std::string& program, const std::vector<std::string>& arguments,
              bool pipeError) {
  std::vector<std::string> words{program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::wstring commandLine = Wide(WindowsCommandLine(words));

  HANDLE childIn, ourIn, childOut, ourOut, childErr = nullptr, ourErr = nullptr;
  MakePipe(childIn, ourIn, true);
  MakePipe(childOut, ourOut, false);
  if (pipeError) {
    MakePipe(childErr, ourErr, false);
  } else if (!::DuplicateHandle(::GetCurrentProcess(), ::GetStdHandle(STD_ERROR_HANDLE),
                                ::GetCurrentProcess(), &childErr, 0, TRUE,
                                DUPLICATE_SAME_ACCESS)) {
    childErr = nullptr;  // this process has no standard error to share
  }

  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = childIn;
  si.hStdOutput = childOut;
  si.hStdError = childErr;
  PROCESS_INFORMATION pi{};
  // A name with a folder in it is started as given; a bare name is looked
  // up the system's way (".exe" added, the PATH searched).
  const bool hasFolder = program.find_first_of("/\\:") != std::string::npos;
  const std::wstring application = hasFolder ? Wide(program) : std::wstring();
  const BOOL ok = ::CreateProcessW(hasFolder ? application.c_str() : nullptr, commandLine.data(),
                                   nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT, nullptr,
                                   nullptr, &si, &pi);
  const DWORD error = ::GetLastError();
  ::CloseHandle(childIn);
  ::CloseHandle(childOut);
  if (childErr) ::CloseHandle(childErr);
  if (!ok) {
    ::CloseHandle(ourIn);
    ::CloseHandle(ourOut);
    if (ourErr) ::CloseHandle(ourErr);
    throw std::runtime_error("cannot start " + program + ": Windows error " +
                             std::to_string(error));
  }
  ::CloseHandle(pi.hThread);
  Started s;
  s.process = Of(pi.hProcess);
  s.id = static_cast<long>(pi.dwProcessId);
  s.input = Of(ourIn);
  s.output = Of(ourOut);
  s.error = pipeError ? Of(ourErr) : kNoHandle;
  return s;
}

long long Read(Handle pipe, char* buffer, std::size_t size) {
  DWORD n = 0;
  if (!::ReadFile(H(pipe), buffer, static_cast<DWORD>(size), &n, nullptr))
    return ::GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
  return n;
}

bool Write(Handle pipe, const char* data, std::size_t size) {
  while (size > 0) {
    DWORD n = 0;
    if (!::WriteFile(H(pipe), data, static_cast<DWORD>(size), &n, nullptr) || n == 0) return false;
    data += n;
    size -= n;
  }
  return true;
}

void Close(Handle pipe) {
  if (pipe != kNoHandle) ::CloseHandle(H(pipe));
}

int Wait(Handle process) {
  if (::WaitForSingleObject(H(process), INFINITE) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  if (!::GetExitCodeProcess(H(process), &code)) return -1;
  return static_cast<int>(code);
}

void Kill(Handle process) { ::TerminateProcess(H(process), 137); }

void Release(Handle process) {
  if (process != kNoHandle) ::CloseHandle(H(process));
}

std::vector<std::string> ShellCommand(const std::string& line) { return SplitShellWords(line); }

}  // namespace testsupport::os
