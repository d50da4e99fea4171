// Group numbers: the groups of one level and course are numbered 1, 2, 3 ...
// in file order, and the stored number is the last digit of that count
// (the tenth group is 0, the eleventh 1 again).
//
// Level and course are compared without regard to letter case and kept
// apart from each other, so that level AB with course 11 and level AB1 with
// course 1 are two sequences, not one.
#pragma once
#include <string>
#include <string_view>
#include <unordered_map>

namespace dae_import {

class GroupNumbering {
 public:
  // The count of this group within its level and course (1 for the first).
  unsigned long Next(std::string_view level, std::string_view course);

 private:
  std::unordered_map<std::string, unsigned long> counts_;
};

// The one character stored for a count: its last decimal digit.
std::string GroupNumberDigit(unsigned long n);

}  // namespace dae_import
