// Reading and writing the value of one field inside a record's bytes.
#pragma once
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "store/dbf_file.h"

namespace store {

// The stored bytes of a field.
std::string_view FieldBytes(const DbfField& field, const std::string& record);

// Numeric (N/F) fields: the number, or nothing when the field is empty or
// holds no number.
std::optional<double> FieldNumber(const DbfField& field, const std::string& record);

// The text of a field as a reader sees it: character fields without their
// right padding; numbers in their shortest decimal form ("" when empty);
// logicals "True"/"False" ("" when unset); other types their stored text
// without padding.
std::string FieldText(const DbfField& field, const std::string& record);
// Numbers rounded to the nearest integer, halves to the even neighbour;
// character fields read as a number; 0 when empty. Throws StoreError when
// the value is not a number or does not fit in 32 bits.
int32_t FieldInteger(const DbfField& field, const std::string& record);
bool FieldBoolean(const DbfField& field, const std::string& record);

// Setting: text longer than a character field is cut to its width.
// Throws StoreError when the value cannot be stored in the field.
void SetFieldText(const DbfField& field, std::string& record, std::string_view text);

// SetFieldText's common case, in line: a character field inside the
// record takes the text cut to its width and padded with spaces. False
// (nothing done) for any other field.
inline bool SetCharacterField(const DbfField& field, std::string& record, std::string_view text) {
  const size_t offset = static_cast<size_t>(field.offset);
  const size_t width = static_cast<size_t>(field.width);
  if (field.type != 'C' || record.size() < offset + width) return false;
  const size_t n = text.size() < width ? text.size() : width;
  char* cell = record.data() + offset;
  if (n > 0) std::memmove(cell, text.data(), n);
  std::memset(cell + n, ' ', width - n);
  return true;
}
void SetFieldInteger(const DbfField& field, std::string& record, int64_t value);
void SetFieldBoolean(const DbfField& field, std::string& record, bool value);

// Shortest decimal text of a number ("3", "2.5", "-0.125").
std::string ShortestDecimal(double value);
// Rounds to the nearest integer, halves to even.
double RoundHalfEven(double value);

}  // namespace store
