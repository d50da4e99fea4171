#include "store/sealed_record.h"

#include <cstdint>
#include <cstdio>

namespace store {
namespace {

uint64_t Fnv1a(const std::string& s, size_t size) {
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < size; ++i) {
    h ^= static_cast<unsigned char>(s[i]);
    h *= 1099511628211ull;
  }
  return h;
}

std::string Hex(uint64_t v) {
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
  return buf;
}

}  // namespace

std::string SealRecord(const std::string& kind, const std::vector<SealedLine>& lines) {
  std::string body = kind + "\n";
  for (const SealedLine& line : lines) {
    body += line.letter;
    body += ' ';
    body += line.text;
    body += '\n';
  }
  return body + "S " + Hex(Fnv1a(body, body.size())) + "\n";
}

bool ReadSealedRecord(const std::string& record, const std::string& kind,
                      std::vector<SealedLine>& lines) {
  const std::string head = kind + "\n";
  if (record.compare(0, head.size(), head) != 0) return false;
  size_t at = head.size();
  while (at < record.size()) {
    const size_t nl = record.find('\n', at);
    if (nl == std::string::npos) return false;
    if (nl - at < 2 || record[at + 1] != ' ') return false;
    const char letter = record[at];
    std::string text = record.substr(at + 2, nl - at - 2);
    if (letter == 'S') return nl + 1 == record.size() && text == Hex(Fnv1a(record, at));
    lines.push_back({letter, std::move(text)});
    at = nl + 1;
  }
  return false;  // no seal
}

}  // namespace store
