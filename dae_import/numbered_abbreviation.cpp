#include "dae_import/numbered_abbreviation.h"

#include "store/cp1252.h"

namespace dae_import {

std::string NumberedAbbreviations::Allocate(std::string_view candidate) {
  if (!list_.Contains(candidate)) {
    list_.Add(candidate);
    return std::string(candidate);
  }
  const std::string_view base = candidate.substr(0, 3);
  unsigned long& n =
      next_.try_emplace(store::Cp1252Upper(base), 1).first->second;
  for (;; ++n) {
    std::string c(base);
    c += std::to_string(n);
    if (!list_.Contains(c)) {
      list_.Add(c);
      ++n;
      return c;
    }
  }
}

}  // namespace dae_import
