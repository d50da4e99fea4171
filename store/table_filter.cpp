// Parsing of filter texts (FIELD = 'value'). Double quotes are accepted
// around the value as well, with the same doubling rule.
#include "store/table_filter.h"

#include <cctype>

#include "store/store_error.h"

namespace store {

namespace {

[[noreturn]] void Bad(const std::string& text, const std::string& why) {
  throw StoreError("El filtro \"" + text + "\" no es válido: " + why);
}

bool IsNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

}  // namespace

FilterCondition ParseFilter(const std::string& text) {
  size_t i = 0;
  const size_t n = text.size();
  auto skip = [&] {
    while (i < n && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  };
  FilterCondition c;
  skip();
  size_t start = i;
  while (i < n && IsNameChar(text[i])) ++i;
  c.field = text.substr(start, i - start);
  if (c.field.empty()) Bad(text, "falta el nombre del campo");
  skip();
  if (i >= n || text[i] != '=') Bad(text, "falta el signo =");
  ++i;
  skip();
  if (i >= n || (text[i] != '\'' && text[i] != '"')) Bad(text, "falta el valor entre comillas");
  const char quote = text[i++];
  bool closed = false;
  while (i < n) {
    if (text[i] == quote) {
      if (i + 1 < n && text[i + 1] == quote) {
        c.value += quote;
        i += 2;
        continue;
      }
      ++i;
      closed = true;
      break;
    }
    c.value += text[i++];
  }
  if (!closed) Bad(text, "falta la comilla de cierre");
  skip();
  if (i != n) Bad(text, "sobra texto después del valor");
  return c;
}

std::string QuoteFilterValue(const std::string& value) {
  std::string out = "'";
  for (char ch : value) {
    if (ch == '\'') out += "''";
    else out += ch;
  }
  return out + "'";
}

}  // namespace store
