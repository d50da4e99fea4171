#include "chain/error_report.h"

namespace chain {

std::string ErrorReportText(const std::string& message) {
  if (!message.empty() &&
      static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
    return message + ".";
  return message;
}

}  // namespace chain
