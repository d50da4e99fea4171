// The program's environment on POSIX systems: the bytes the system hands
// over are UTF-8 already.
#ifndef _WIN32
#include <system_error>

#include "app/program_environment.h"

namespace app {

namespace fs = std::filesystem;

fs::path ExecutablePath() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return exe;
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return args;
}

unsigned RedirectedCodePage() { return 65001; }

std::string StandardWorkFolderWording() { return "$HOME/QTEMP"; }

std::string OutputEncodingWording() { return "UTF-8"; }

ConsoleBuffer::ConsoleBuffer(std::FILE* stream) : stream_(stream) {}

bool ConsoleBuffer::Flush(bool all) {
  const size_t n = all ? pending_.size() : WholeUtf8Length(pending_);
  bool ok = true;
  if (n > 0) ok = std::fwrite(pending_.data(), 1, n, stream_) == n;
  pending_.erase(0, n);
  return std::fflush(stream_) == 0 && ok;
}

}  // namespace app
#endif  // !_WIN32
