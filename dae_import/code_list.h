// A code list: the abbreviations (or keys) handed out during one run of a
// step. Membership ignores letter case as Windows code page 1252 defines it
// (MATE and mate, Ñ and ñ, Á and á are the same), while the caller keeps the
// case of what it stores. Lookups are hashed, so a large DAE file costs no
// linear scan per record.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>

namespace dae_import {

class CodeList {
 public:
  bool Contains(std::string_view code) const;
  // Adds the code; a code already there (in any letter case) stays once.
  void Add(std::string_view code);
  std::size_t Size() const { return codes_.size(); }
  void Clear() { codes_.clear(); }

 private:
  std::unordered_set<std::string> codes_;  // upper-cased
};

}  // namespace dae_import
