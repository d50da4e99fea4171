#include "chain/error_report.h"

#include <filesystem>
#include <new>
#include <system_error>

#include "store/path_text.h"
#include "store/system_error_text.h"

namespace chain {

std::string ErrorReportText(const std::string& message) {
  if (!message.empty() &&
      static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
    return message + ".";
  return message;
}

std::string ExceptionText(const std::exception& e) {
  if (dynamic_cast<const std::bad_alloc*>(&e))
    return "No hay memoria suficiente para terminar la operación";
  if (const auto* fe = dynamic_cast<const std::filesystem::filesystem_error*>(&e)) {
    std::string text = store::SystemErrorText(fe->code());
    if (!fe->path1().empty()) text += ": " + store::PathText(fe->path1());
    if (!fe->path2().empty()) text += ", " + store::PathText(fe->path2());
    return text;
  }
  if (const auto* se = dynamic_cast<const std::system_error*>(&e))
    return store::SystemErrorText(se->code());
  return e.what();
}

std::string ErrorReportText(const std::exception& e) {
  return ErrorReportText(ExceptionText(e));
}

}  // namespace chain
