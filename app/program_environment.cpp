// The parts of the program's environment that are the same on every
// system; the rest is in program_environment_posix.cpp and
// program_environment_win32.cpp.
#include "app/program_environment.h"

#include <iostream>

namespace app {

size_t WholeUtf8Length(std::string_view text) {
  // Looks back over at most three continuation bytes for the lead byte of
  // the last character and checks whether all its bytes are there.
  const size_t n = text.size();
  size_t back = 0;
  while (back < 3 && back < n &&
         (static_cast<unsigned char>(text[n - 1 - back]) & 0xC0) == 0x80)
    ++back;
  if (back == n) return n;  // nothing but continuation bytes: no character to wait for
  const unsigned char lead = static_cast<unsigned char>(text[n - 1 - back]);
  size_t need = 1;
  if (lead >= 0xF0 && lead <= 0xF7) need = 4;
  else if (lead >= 0xE0) need = lead <= 0xEF ? 3 : 1;
  else if (lead >= 0xC2) need = 2;
  if (need > back + 1) return n - 1 - back;  // the last character is cut
  return n;
}

ConsoleBuffer::int_type ConsoleBuffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char ch = traits_type::to_char_type(c);
  return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
}

std::streamsize ConsoleBuffer::xsputn(const char* s, std::streamsize n) {
  pending_.append(s, static_cast<size_t>(n));
  // Whole lines go out at once; a long line without a break in pieces.
  if (pending_.find('\n') != std::string::npos || pending_.size() >= 4096) {
    if (!Flush(false)) return 0;
  }
  return n;
}

int ConsoleBuffer::sync() { return Flush(false) ? 0 : -1; }

ConsoleBuffer::~ConsoleBuffer() { Flush(true); }

ConsoleStreams::ConsoleStreams()
    : out_(stdout), err_(stderr), oldOut_(std::cout.rdbuf(&out_)), oldErr_(std::cerr.rdbuf(&err_)) {}

ConsoleStreams::~ConsoleStreams() {
  std::cout.flush();
  std::cerr.flush();
  std::cout.rdbuf(oldOut_);
  std::cerr.rdbuf(oldErr_);
}

}  // namespace app
