// The general error report's text rule.
#pragma once
#include <string>

namespace chain {

// Appends a period when the text's last character comes after the period
// in character order (letters and digits do); otherwise the text as is.
std::string ErrorReportText(const std::string& message);

}  // namespace chain
