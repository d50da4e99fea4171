// Other programs started by the tests: the batch front end, the readers,
// the holder of a table. One interface; child_process_posix.cpp starts them
// with fork and exec, child_process_win32.cpp with CreateProcessW. All
// texts (program, arguments, output) are UTF-8.
#pragma once
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

struct CommandResult {
  int exitCode = -1;  // -1 when the program was ended by a signal
  std::string out;    // standard output, bytes as written
  std::string err;    // standard error
};

// A running program whose standard input and output are pipes of this
// process; its standard error is this process's. The destructor closes
// its input and waits for it.
class ChildProcess {
 public:
  // Starts `program` (a path, or a name looked up in PATH) with
  // `arguments`; throws std::runtime_error when it cannot be started.
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Writes to the program's input.
  void Write(const std::string& bytes);
  // Ends the program's input: it reads end of file.
  void CloseInput();
  // The next line of its output, without the line end ("\n" or "\r\n");
  // false at the end of the output.
  bool ReadLine(std::string& line);
  // Waits for the program to end; its exit status, -1 when a signal ended
  // it. Closes its input first.
  int Wait();
  // Ends it at once, as a crash would (SIGKILL, TerminateProcess).
  void Kill();
  long Id() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Runs a program to its end with `input` as its standard input; captures
// both output streams.
CommandResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& input = "");

// Splits a command line into words as a POSIX shell quotes them ('...',
// "...", backslash); no expansion, redirection or pipe is understood.
std::vector<std::string> SplitShellWords(const std::string& line);

// The Windows command line that hands `arguments` unchanged to a program
// whose runtime splits it the usual way (CommandLineToArgvW's rules).
std::string WindowsCommandLine(const std::vector<std::string>& arguments);

}  // namespace testsupport
