// Subject codes: the abbreviation of a subject made unique within one run.
//
// An abbreviation not yet handed out (letter case ignored) is kept as it is.
// Otherwise the base is its first three characters (all of it when
// shorter), and for n = 1, 2, 3 ... the candidate is the base followed by n
// in decimal; a candidate longer than four characters becomes its first two
// characters followed by its last two. The first candidate not yet handed
// out is taken. Every record counts again from 1, so it takes the lowest
// free candidate.
//
// The sequence repeats itself once n outgrows the four characters:
//   base of 2 or 3 (MAT): MAT1..MAT9, MA10..MA99, MA00..MA09, then MA10 again
//   base of 1 (A):        A1..A999, then repeats            (999 candidates)
//   empty base:           1..9999, then repeats             (9999 candidates)
// so a base has a fixed number of candidates, and when all of them are taken
// there is no code to give.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "dae_import/code_list.h"

namespace dae_import {

// The candidate for base and n (n >= 1).
std::string SubjectCandidate(std::string_view base, unsigned n);
// How many distinct candidates a base of that length has: n from 1 to this
// count yields each of them once; later n only repeat them.
unsigned SubjectCandidateCount(std::size_t baseLength);

// Hands out the subject codes of one run.
class SubjectCodes {
 public:
  // The code for an abbreviation, added to the list; nullopt (nothing
  // added) when the abbreviation is taken and so is every candidate of its
  // base.
  std::optional<std::string> Allocate(std::string_view abbreviation);
  const CodeList& List() const { return list_; }

 private:
  CodeList list_;
  // Upper-cased base -> the lowest n that may still be free. The list only
  // grows, so every lower n stays taken; this keeps long runs of one base
  // from counting up from 1 again and again.
  std::unordered_map<std::string, unsigned> next_;
};

}  // namespace dae_import
