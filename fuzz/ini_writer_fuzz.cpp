// Fuzzes the INI editor with arbitrary file contents: it must never crash,
// the key must read back as written, a second identical edit must change
// nothing, and the bytes before the edited spot must stay as they were.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string content(reinterpret_cast<const char*>(data), size);
  const std::string value = std::to_string(static_cast<int>(size % 3) - 1);
  const std::string once =
      app::SetIniValue(content, "Transformadores", "Transformado", value);
  std::string got;
  if (!app::GetIniValue(once, "Transformadores", "Transformado", &got) ||
      got != value)
    std::abort();
  if (app::SetIniValue(once, "Transformadores", "Transformado", value) != once)
    std::abort();
  // Everything up to the first differing byte is a prefix of both, and the
  // edit touches one place: the tails after it must match.
  size_t head = 0;
  while (head < content.size() && head < once.size() && content[head] == once[head])
    ++head;
  size_t tail = 0;
  while (tail < content.size() - head && tail < once.size() - head &&
         content[content.size() - 1 - tail] == once[once.size() - 1 - tail])
    ++tail;
  // The changed span of the original is at most one line's value.
  const std::string removed = content.substr(head, content.size() - head - tail);
  if (removed.find('\n') != std::string::npos) std::abort();
  return 0;
}
