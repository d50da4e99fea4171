#include "dae_import/centre_data_check.h"

#include "dae_import/dae_text_reader.h"
#include "store/cp1252.h"

namespace dae_import {

std::string CentreValueProblem(const std::string& field, const std::string& value) {
  const std::string text(TrimControls(value));
  if (text.empty()) return {};
  if (store::Cp1252Upper(field) == "ANOACAD") {
    bool digits = text.size() == 4;
    for (char c : text) digits = digits && c >= '0' && c <= '9';
    if (!digits)
      return "El Año Académico '" + store::Cp1252ToUtf8(text) +
             "' no es válido: escríbalo con cuatro cifras (por ejemplo 2024).";
  }
  return {};
}

}  // namespace dae_import
