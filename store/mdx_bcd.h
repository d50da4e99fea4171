// Numeric index keys: the 12-byte packed decimal form in which the
// production index stores the keys of numeric tags.
//
//   byte 0      52 + the number of digits before the decimal point (the
//               decimal exponent of 0.d1d2d3... plus 52)
//   byte 1      bit 7 the sign (1 = negative), bits 6..2 the number of
//               digits stored, bits 1..0 always 01
//   bytes 2-11  the digits, two to a byte, the first in the high nibble,
//               unused nibbles zero
//
// Zero is stored with no digits: 0x34 0x01 and ten zero bytes.
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace store {

inline constexpr int kBcdKeyLength = 12;

// The 12 bytes of a number. Throws StoreError for a value that is not a
// finite number or that does not fit (more than 20 significant digits are
// rounded away; the exponent must fit the first byte).
std::string EncodeBcdKey(double value);

// The number of 12 stored bytes; nullopt if they are not a valid key.
std::optional<double> DecodeBcdKey(const std::string& bytes);

// Orders two valid stored keys as numbers: <0, 0, >0. Keys that do not
// decode sort as zero.
int CompareBcdKeys(const std::string& a, const std::string& b);
// The same, for keys read in place from an index page.
int CompareBcdKeyBytes(std::string_view a, std::string_view b);

}  // namespace store
