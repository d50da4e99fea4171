#include "dae_import/group_numbering.h"

#include "store/cp1252.h"

namespace dae_import {

unsigned long GroupNumbering::Next(std::string_view level,
                                   std::string_view course) {
  // The level's length leads the key, so no two pairs share a key.
  std::string key = std::to_string(level.size()) + ':' +
                    store::Cp1252Upper(level) + store::Cp1252Upper(course);
  return ++counts_[key];
}

std::string GroupNumberDigit(unsigned long n) {
  return std::string(1, static_cast<char>('0' + n % 10));
}

}  // namespace dae_import
