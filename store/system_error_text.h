// Operating-system errors worded in Spanish for the user.
//
// Every error of a file operation that reaches the user goes through here,
// so that no English text of the C library or the system reaches a message
// box. The POSIX side reads errno values; a std::error_code carries either.
#pragma once
#include <string>
#include <system_error>

namespace store {

// "Permiso denegado", "No queda espacio en el disco", ... for an errno
// value; a general Spanish text with the number for values not listed.
std::string SystemErrorText(int err);
std::string SystemErrorText(const std::error_code& ec);

}  // namespace store
