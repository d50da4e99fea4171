#include "dae_export/clock_time_check.h"

#include "dae_export/blank_text.h"
#include "store/cp1252.h"

namespace dae_export {

namespace {

bool Digits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

std::string ClockTimeProblem(const std::string& value, bool allowBlank) {
  const std::string text(TrimSpacesAndControls(value));
  if (text.empty()) {
    if (allowBlank) return {};
    return "Falta la hora: escríbala como HH:MM (por ejemplo 08:30).";
  }
  const size_t colon = text.find(':');
  bool valid = colon != std::string::npos;
  if (valid) {
    const std::string hours = text.substr(0, colon), minutes = text.substr(colon + 1);
    valid = Digits(hours) && hours.size() <= 2 && Digits(minutes) && minutes.size() == 2;
    if (valid) {
      const int h = std::stoi(hours), m = std::stoi(minutes);
      valid = m <= 59 && (h <= 23 || (h == 24 && m == 0));
    }
  }
  if (valid) return {};
  return "La hora '" + store::Cp1252ToUtf8(text) +
         "' no es válida: escríbala como HH:MM (por ejemplo 08:30).";
}

}  // namespace dae_export
