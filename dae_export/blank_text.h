// "Blank" as the export understands it: nothing left after removing the
// spaces and control characters (bytes 0 to 32) at both ends.
#pragma once
#include <string>
#include <string_view>

namespace dae_export {

inline std::string_view TrimSpacesAndControls(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
  return s.substr(b, e - b);
}

inline bool IsBlank(std::string_view s) { return TrimSpacesAndControls(s).empty(); }

}  // namespace dae_export
