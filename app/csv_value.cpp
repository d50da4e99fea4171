#include "app/csv_value.h"

namespace app {

std::string CsvValue(const std::string& value) {
  if (value.find_first_of(",;\"\r\n") == std::string::npos) return value;
  std::string q = "\"";
  for (char c : value) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

}  // namespace app
