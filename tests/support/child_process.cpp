#include "tests/support/child_process.h"

#include <stdexcept>
#include <thread>

#include "tests/support/child_process_os.h"

namespace testsupport {

struct ChildProcess::Impl {
  os::Started p;
  std::string buffered;  // output read past the last line handed out
  bool outputEnded = false;
  bool waited = false;
  bool killed = false;
  int status = -1;
};

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments)
    : impl_(new Impl) {
  impl_->p = os::Start(program, arguments, /*pipeError=*/false);
}

ChildProcess::~ChildProcess() {
  Wait();
  os::Close(impl_->p.output);
  os::Release(impl_->p.process);
}

void ChildProcess::Write(const std::string& bytes) {
  if (impl_->p.input == os::kNoHandle || !os::Write(impl_->p.input, bytes.data(), bytes.size()))
    throw std::runtime_error("the child process no longer reads its input");
}

void ChildProcess::CloseInput() {
  os::Close(impl_->p.input);
  impl_->p.input = os::kNoHandle;
}

bool ChildProcess::ReadLine(std::string& line) {
  for (;;) {
    const std::size_t end = impl_->buffered.find('\n');
    if (end != std::string::npos) {
      line = impl_->buffered.substr(0, end);
      impl_->buffered.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return true;
    }
    if (impl_->outputEnded) {
      if (impl_->buffered.empty()) return false;
      line.swap(impl_->buffered);
      impl_->buffered.clear();
      return true;
    }
    char chunk[512];
    const long long n = os::Read(impl_->p.output, chunk, sizeof chunk);
    if (n <= 0) impl_->outputEnded = true;
    else impl_->buffered.append(chunk, static_cast<std::size_t>(n));
  }
}

int ChildProcess::Wait() {
  if (!impl_->waited) {
    CloseInput();
    impl_->status = os::Wait(impl_->p.process);
    if (impl_->killed) impl_->status = -1;  // as POSIX reports a signal
    impl_->waited = true;
  }
  return impl_->status;
}

void ChildProcess::Kill() {
  if (impl_->waited) return;
  os::Kill(impl_->p.process);
  impl_->killed = true;
}

long ChildProcess::Id() const { return impl_->p.id; }

namespace {

std::string ReadAll(os::Handle pipe) {
  std::string all;
  char chunk[4096];
  for (long long n; (n = os::Read(pipe, chunk, sizeof chunk)) > 0;)
    all.append(chunk, static_cast<std::size_t>(n));
  return all;
}

}  // namespace

CommandResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& input) {
  const os::Started p = os::Start(program, arguments, /*pipeError=*/true);
  CommandResult r;
  // Both outputs are drained at once, so that a program filling one pipe
  // never waits on the other.
  std::thread err([&] { r.err = ReadAll(p.error); });
  std::thread out([&] { r.out = ReadAll(p.output); });
  if (!input.empty()) os::Write(p.input, input.data(), input.size());
  os::Close(p.input);
  out.join();
  err.join();
  os::Close(p.output);
  os::Close(p.error);
  r.exitCode = os::Wait(p.process);
  os::Release(p.process);
  return r;
}

std::vector<std::string> SplitShellWords(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == ' ' || c == '\t' || c == '\n') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else if (c == '\'') {
      const std::size_t close = line.find('\'', i + 1);
      if (close == std::string::npos) throw std::invalid_argument("unclosed ' in " + line);
      word.append(line, i + 1, close - i - 1);
      i = close;
      inWord = true;
    } else if (c == '"') {
      for (++i;; ++i) {
        if (i >= line.size()) throw std::invalid_argument("unclosed \" in " + line);
        if (line[i] == '"') break;
        if (line[i] == '\\' && i + 1 < line.size() &&
            std::string("\"\\$`\n").find(line[i + 1]) != std::string::npos)
          ++i;
        word += line[i];
      }
      inWord = true;
    } else if (c == '\\' && i + 1 < line.size()) {
      word += line[++i];
      inWord = true;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

std::string WindowsCommandLine(const std::vector<std::string>& arguments) {
  std::string line;
  for (const std::string& a : arguments) {
    if (!line.empty()) line += ' ';
    if (!a.empty() && a.find_first_of(" \t\n\v\"") == std::string::npos) {
      line += a;
      continue;
    }
    // Inside quotes, backslashes are plain unless they come before a
    // quote: then each is doubled, and the quote itself is escaped.
    line += '"';
    std::size_t backslashes = 0;
    for (char c : a) {
      if (c == '\\') {
        ++backslashes;
        continue;
      }
      if (c == '"') line.append(backslashes * 2 + 1, '\\');
      else line.append(backslashes, '\\');
      backslashes = 0;
      line += c;
    }
    line.append(backslashes * 2, '\\');
    line += '"';
  }
  return line;
}

}  // namespace testsupport
