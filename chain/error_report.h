// The general error report's text rule.
#pragma once
#include <exception>
#include <string>

namespace chain {

// Appends a period when the text's last character comes after the period
// in character order (letters and digits do); otherwise the text as is.
std::string ErrorReportText(const std::string& message);

// The Spanish text of an error that ends a handler: the message of the
// tool's own errors; for an error of the operating system (std::system_error,
// std::filesystem::filesystem_error) its Spanish wording and the file it
// concerns; "No hay memoria suficiente ..." for std::bad_alloc. Never the
// English text of the library.
std::string ExceptionText(const std::exception& e);

// ErrorReportText(ExceptionText(e)): what the general error report shows.
std::string ErrorReportText(const std::exception& e);

}  // namespace chain
