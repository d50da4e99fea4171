// Windows code page 1252 ("Western European, Windows ANSI").
//
// Bytes 0x00-0x7F are ASCII and 0xA0-0xFF are the Latin-1 characters of
// the same number. 0x80-0x9F hold typographic characters (euro sign,
// quotes, dashes, Š š Œ œ Ž ž Ÿ ...); five of them (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) are unassigned: read, they show as the control character of
// the same number, as Windows itself does; written, those control
// characters become '?' like every other character the code page lacks,
// so that no text of the user's puts into a table a byte that other dBase
// readers cannot decode.
//
// Letter case: a-z, the Latin-1 small letters 0xE0-0xFE (except the
// division sign 0xF7) map to 0xC0-0xDE, and the pairs š/Š (0x9A/0x8A),
// œ/Œ (0x9C/0x8C), ž/Ž (0x9E/0x8E), ÿ/Ÿ (0xFF/0x9F). ß (0xDF) and µ (0xB5)
// have no upper case in the code page and stay as they are.
#include "store/cp1252.h"

#include <array>
#include <cstdint>
#include <unordered_map>

namespace store {
namespace {

// Unicode code point of each byte 0x80-0x9F.
constexpr std::array<uint16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

uint32_t CodePoint(unsigned char c) {
  if (c >= 0x80 && c <= 0x9F) return kHigh[c - 0x80];
  return c;
}

const std::unordered_map<uint32_t, unsigned char>& ReverseHigh() {
  static const std::unordered_map<uint32_t, unsigned char> map = [] {
    std::unordered_map<uint32_t, unsigned char> m;
    for (int i = 0; i < 32; ++i) {
      if (kHigh[i] >= 0x80 && kHigh[i] <= 0x9F) continue;  // unassigned
      m[kHigh[i]] = static_cast<unsigned char>(0x80 + i);
    }
    return m;
  }();
  return map;
}

void PutUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (char ch : bytes) PutUtf8(out, CodePoint(static_cast<unsigned char>(ch)));
  return out;
}

std::string Utf8ToCp1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  const size_t n = utf8.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    uint32_t cp = 0;
    int extra = 0;
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      extra = 1;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      extra = 2;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      extra = 3;
    } else {
      out += '?';  // a stray continuation byte or an invalid lead byte
      ++i;
      continue;
    }
    bool ok = i + static_cast<size_t>(extra) < n;
    size_t j = i + 1;
    for (int k = 0; ok && k < extra; ++k, ++j) {
      unsigned char cc = static_cast<unsigned char>(utf8[j]);
      if ((cc & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok) {
      out += '?';
      i = j > i + 1 ? j : i + 1;
      continue;
    }
    i = j;
    if (cp < 0x80) {
      out += '?';  // overlong form
    } else if (cp >= 0xA0 && cp <= 0xFF) {
      out += static_cast<char>(cp);
    } else {
      auto it = ReverseHigh().find(cp);
      out += it != ReverseHigh().end() ? static_cast<char>(it->second) : '?';
    }
  }
  return out;
}

unsigned char Cp1252Upper(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 32);
  switch (c) {
    case 0x9A: return 0x8A;  // š
    case 0x9C: return 0x8C;  // œ
    case 0x9E: return 0x8E;  // ž
    case 0xFF: return 0x9F;  // ÿ
    default: return c;
  }
}

std::string Cp1252Upper(std::string_view text) {
  std::string out(text);
  for (char& ch : out) ch = static_cast<char>(Cp1252Upper(static_cast<unsigned char>(ch)));
  return out;
}

bool Cp1252EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Cp1252Upper(static_cast<unsigned char>(a[i])) !=
        Cp1252Upper(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

}  // namespace store
