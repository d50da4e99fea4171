#include "dae_import/subject_code_rule.h"

#include "store/cp1252.h"

namespace dae_import {

std::string SubjectCandidate(std::string_view base, unsigned n) {
  std::string c(base);
  c += std::to_string(n);
  if (c.size() > 4) c = c.substr(0, 2) + c.substr(c.size() - 2);
  return c;
}

unsigned SubjectCandidateCount(std::size_t baseLength) {
  switch (baseLength) {
    case 0: return 9999;
    case 1: return 999;
    default: return 109;  // 9 of base+digit, then the two-digit endings
  }
}

std::optional<std::string> SubjectCodes::Allocate(
    std::string_view abbreviation) {
  if (!list_.Contains(abbreviation)) {
    list_.Add(abbreviation);
    return std::string(abbreviation);
  }
  const std::string_view base = abbreviation.substr(0, 3);
  const unsigned count = SubjectCandidateCount(base.size());
  unsigned& n = next_.try_emplace(store::Cp1252Upper(base), 1).first->second;
  for (; n <= count; ++n) {
    std::string candidate = SubjectCandidate(base, n);
    if (!list_.Contains(candidate)) {
      list_.Add(candidate);
      ++n;
      return candidate;
    }
  }
  return std::nullopt;
}

}  // namespace dae_import
