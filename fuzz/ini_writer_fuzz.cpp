// Fuzz target: setting one key of an arbitrary INI text. Whatever the input,
// the key must read back with the value set, and setting it again to the
// same value must change nothing.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view content(reinterpret_cast<const char*>(data), size);
  for (std::string_view value : {"1", "-1", "0"}) {
    std::string once = app::SetIniValue(content, "Transformadores", "Transformado", value);
    std::string got;
    if (!app::GetIniValue(once, "Transformadores", "Transformado", &got) || got != value)
      std::abort();
    std::string twice = app::SetIniValue(once, "TRANSFORMADORES", "transformado", value);
    if (twice != once) std::abort();
  }
  return 0;
}
