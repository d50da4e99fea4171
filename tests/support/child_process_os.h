// The system side of child_process.h: starting a program with piped
// standard streams, the pipes and the process. child_process_posix.cpp and
// child_process_win32.cpp each define these; child_process.cpp builds the
// rest on them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport::os {

using Handle = std::intptr_t;  // a descriptor (POSIX) or a HANDLE (Windows)
constexpr Handle kNoHandle = -1;

struct Started {
  Handle process = kNoHandle;  // pid or process HANDLE
  long id = 0;
  Handle input = kNoHandle;    // write end of the program's standard input
  Handle output = kNoHandle;   // read end of its standard output
  Handle error = kNoHandle;    // read end of its standard error, or kNoHandle
                               // when it writes to this process's own
};

// Starts the program; throws std::runtime_error with the system's reason
// when it cannot.
Started Start(const std::string& program, const std::vector<std::string>& arguments,
              bool pipeError);
// Bytes read (0 at the end of the pipe, -1 on error).
long long Read(Handle pipe, char* buffer, std::size_t size);
// False when the reader has gone.
bool Write(Handle pipe, const char* data, std::size_t size);
void Close(Handle pipe);
// Waits for the end; the exit status, -1 when a signal ended it.
int Wait(Handle process);
void Kill(Handle process);
void Release(Handle process);

// Text that the batch front end wrote to a pipe or a file, as UTF-8: on
// Windows it writes redirected text in the console's code page (the OEM
// code page without a console), which is turned back here; on POSIX the
// bytes are UTF-8 already.
std::string FromRedirectedText(const std::string& bytes);
// That code page (65001 on POSIX).
unsigned RedirectedCodePage();
// UTF-8 text as it reads back after the batch front end printed it to a
// pipe: the characters the code page lacks replaced by look-alikes or '?'.
std::string ThroughRedirectedCodePage(const std::string& utf8);

// The program and arguments that run a command line: /bin/sh -c on POSIX;
// on Windows, with no shell to hand, the line's own words.
std::vector<std::string> ShellCommand(const std::string& line);

}  // namespace testsupport::os
