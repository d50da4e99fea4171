// Teacher and group abbreviations: a candidate made unique within one run.
//
// A candidate not yet handed out (letter case ignored) is kept as it is.
// Otherwise its first three characters are the base, and for n = 1, 2, 3 ...
// the base followed by n in decimal is tried; the first one not yet handed
// out is taken. Every record counts again from 1, so it takes the lowest
// free number. The result is not cut: ABC10 is handed out (and kept in the
// list) as such, while the table that stores it keeps its first four
// characters.
#pragma once
#include <string>
#include <string_view>
#include <unordered_map>

#include "dae_import/code_list.h"

namespace dae_import {

class NumberedAbbreviations {
 public:
  // The abbreviation for a candidate, added to the list.
  std::string Allocate(std::string_view candidate);
  const CodeList& List() const { return list_; }

 private:
  CodeList list_;
  // Upper-cased base -> lowest n that may still be free (the list only
  // grows, so lower numbers stay taken).
  std::unordered_map<std::string, unsigned long> next_;
};

}  // namespace dae_import
