#include "store/mdx_bcd.h"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "store/store_error.h"

namespace store {

namespace {

constexpr int kExponentBias = 52;
constexpr int kMaxDigits = 20;

// A decoded key: sign, the digits without leading or trailing zeros and
// the exponent of 0.d1d2... (zero has no digits).
struct Decimal {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};

std::optional<Decimal> Parse(const std::string& bytes) {
  if (bytes.size() != static_cast<size_t>(kBcdKeyLength)) return std::nullopt;
  const auto b0 = static_cast<unsigned char>(bytes[0]);
  const auto b1 = static_cast<unsigned char>(bytes[1]);
  if ((b1 & 0x03) != 0x01) return std::nullopt;
  const int count = (b1 >> 2) & 0x1F;
  if (count > kMaxDigits) return std::nullopt;
  Decimal d;
  d.negative = (b1 & 0x80) != 0;
  d.exponent = static_cast<int>(b0) - kExponentBias;
  for (int i = 0; i < count; ++i) {
    const auto byte = static_cast<unsigned char>(bytes[2 + i / 2]);
    const int nibble = (i % 2 == 0) ? (byte >> 4) : (byte & 0x0F);
    if (nibble > 9) return std::nullopt;
    d.digits.push_back(static_cast<char>('0' + nibble));
  }
  size_t lead = 0;
  while (lead < d.digits.size() && d.digits[lead] == '0') ++lead;
  d.digits.erase(0, lead);
  d.exponent -= static_cast<int>(lead);
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  if (d.digits.empty()) {
    d.negative = false;
    d.exponent = 0;
  }
  return d;
}

}  // namespace

std::string EncodeBcdKey(double value) {
  if (!std::isfinite(value)) {
    throw StoreError("Valor numérico no válido para una clave de índice");
  }
  std::string out(kBcdKeyLength, '\0');
  if (value == 0) {
    out[0] = static_cast<char>(kExponentBias);
    out[1] = 0x01;
    return out;
  }
  const bool negative = value < 0;
  char buf[64];
  // Shortest text that reads back as the same number, as d.ddde±x.
  auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value),
                           std::chars_format::scientific);
  std::string text(buf, res.ptr);
  const size_t e = text.find('e');
  std::string digits;
  for (size_t i = 0; i < e; ++i) {
    if (text[i] != '.') digits.push_back(text[i]);
  }
  int exp10 = 0;
  std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0),
                  text.data() + text.size(), exp10);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  if (static_cast<int>(digits.size()) > kMaxDigits) digits.resize(kMaxDigits);
  const int intDigits = exp10 + 1;  // digits before the decimal point
  const int biased = kExponentBias + intDigits;
  if (biased < 0 || biased > 255) {
    throw StoreError("Valor numérico fuera del intervalo de una clave de índice");
  }
  // Whole numbers keep their zeros up to the units, as dBase writes them.
  int count = static_cast<int>(digits.size());
  if (intDigits > count && intDigits <= kMaxDigits) count = intDigits;
  digits.resize(static_cast<size_t>(count), '0');
  out[0] = static_cast<char>(biased);
  out[1] = static_cast<char>((count << 2) | 0x01 | (negative ? 0x80 : 0));
  for (int i = 0; i < count; ++i) {
    const int nibble = digits[static_cast<size_t>(i)] - '0';
    auto& byte = out[static_cast<size_t>(2 + i / 2)];
    byte = static_cast<char>(static_cast<unsigned char>(byte) |
                             (i % 2 == 0 ? nibble << 4 : nibble));
  }
  return out;
}

std::optional<double> DecodeBcdKey(const std::string& bytes) {
  auto d = Parse(bytes);
  if (!d) return std::nullopt;
  if (d->digits.empty()) return 0.0;
  std::string text = (d->negative ? "-0." : "0.") + d->digits + "e" +
                     std::to_string(d->exponent);
  double value = 0;
  auto res = std::from_chars(text.data(), text.data() + text.size(), value);
  if (res.ec != std::errc()) return std::nullopt;
  return value;
}

int CompareBcdKeys(const std::string& a, const std::string& b) {
  Decimal da = Parse(a).value_or(Decimal{});
  Decimal db = Parse(b).value_or(Decimal{});
  auto sign = [](const Decimal& d) {
    return d.digits.empty() ? 0 : (d.negative ? -1 : 1);
  };
  const int sa = sign(da);
  const int sb = sign(db);
  if (sa != sb) return sa < sb ? -1 : 1;
  if (sa == 0) return 0;
  int magnitude = 0;  // |a| against |b|
  if (da.exponent != db.exponent) {
    magnitude = da.exponent < db.exponent ? -1 : 1;
  } else {
    const int c = da.digits.compare(db.digits);
    magnitude = c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  return sa > 0 ? magnitude : -magnitude;
}

int CompareBcdKeyBytes(std::string_view a, std::string_view b) {
  return CompareBcdKeys(std::string(a), std::string(b));
}

}  // namespace store
