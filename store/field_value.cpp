// Field values in dBase records.
//
// Character fields hold code page 1252 bytes padded with spaces on the
// right. Numeric fields (N, and F as some writers use it) hold the number
// as ASCII text right-aligned in the field, optionally signed and with a
// decimal point; blanks mean "empty". Logical fields hold one byte:
// T/t/Y/y true, F/f/N/n false, ' ' or '?' unset.
#include "store/field_value.h"

#include <algorithm>
#include <cstring>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "store/store_error.h"

namespace store {

namespace {

std::string_view TrimBlanks(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\0')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\0')) --e;
  return s.substr(b, e - b);
}

bool IsNumeric(const DbfField& f) { return f.type == 'N' || f.type == 'F'; }

// Parses a decimal number as dBase writers store it. "1.", ".5", "+3",
// "-.5" and a comma as decimal separator are accepted.
std::optional<double> ParseNumber(std::string_view text) {
  std::string_view t = TrimBlanks(text);
  if (t.empty()) return std::nullopt;
  // The common case, a whole number of up to 15 digits, read at once: the
  // result is exact, as the general reading below would give it.
  if (t.size() <= 16) {
    size_t i = (t[0] == '-' || t[0] == '+') ? 1 : 0;
    if (i < t.size()) {
      int64_t v = 0;
      size_t digits = 0;
      for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i, ++digits) v = v * 10 + (t[i] - '0');
      if (i == t.size() && digits > 0 && digits <= 15) {
        return t[0] == '-' ? -static_cast<double>(v) : static_cast<double>(v);
      }
    }
  }
  std::string s(t);
  for (char& c : s) {
    if (c == ',') c = '.';
  }
  size_t start = (s[0] == '+') ? 1 : 0;
  const char* b = s.data() + start;
  const char* e = s.data() + s.size();
  double v = 0;
  auto r = std::from_chars(b, e, v, std::chars_format::general);
  if (r.ec != std::errc() || r.ptr != e) {
    // from_chars rejects "1." in some libraries; fall back to strtod.
    char* end = nullptr;
    std::string rest(b, e);
    v = std::strtod(rest.c_str(), &end);
    if (end == rest.c_str() || *end != '\0') return std::nullopt;
  }
  if (!std::isfinite(v)) return std::nullopt;
  return v;
}

std::string Quoted(std::string_view s) { return "'" + std::string(s) + "'"; }

void PutRightAligned(const DbfField& f, std::string& record, const std::string& digits) {
  if (digits.size() > static_cast<size_t>(f.width)) {
    throw StoreError("El valor " + digits + " no cabe en el campo " + f.name + " (anchura " +
                     std::to_string(f.width) + ")");
  }
  std::string cell(static_cast<size_t>(f.width) - digits.size(), ' ');
  cell += digits;
  record.replace(static_cast<size_t>(f.offset), static_cast<size_t>(f.width), cell);
}

void PutNumber(const DbfField& f, std::string& record, double value) {
  char buf[64];
  if (f.decimals > 0) {
    std::snprintf(buf, sizeof buf, "%.*f", f.decimals, value);
  } else {
    std::snprintf(buf, sizeof buf, "%.0f", RoundHalfEven(value));
  }
  std::string s = buf;
  if (s == "-0") s = "0";
  PutRightAligned(f, record, s);
}

}  // namespace

double RoundHalfEven(double value) {
  double r = std::round(value);  // halves away from zero
  if (std::fabs(value - std::trunc(value)) == 0.5) {
    r = 2.0 * std::round(value / 2.0);
  }
  return r;
}

std::string ShortestDecimal(double value) {
  if (value == 0) return "0";
  // A whole number below 10^15 is its digits, as the general path below
  // ends up writing it.
  if (std::fabs(value) < 1e15 && value == std::trunc(value)) {
    return std::to_string(static_cast<int64_t>(value));
  }
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  std::string s(buf, r.ptr);
  // to_chars may choose exponent form for large or tiny numbers; a reader
  // of a dBase column expects plain digits.
  if (s.find('e') != std::string::npos) {
    std::snprintf(buf, sizeof buf, "%.15g", value);
    s = buf;
    if (s.find('e') != std::string::npos) {
      std::snprintf(buf, sizeof buf, "%.17f", value);
      s = buf;
      while (!s.empty() && s.back() == '0') s.pop_back();
      if (!s.empty() && s.back() == '.') s.pop_back();
    }
  }
  return s;
}

std::string_view FieldBytes(const DbfField& field, const std::string& record) {
  return std::string_view(record).substr(static_cast<size_t>(field.offset),
                                         static_cast<size_t>(field.width));
}

std::optional<double> FieldNumber(const DbfField& field, const std::string& record) {
  return ParseNumber(FieldBytes(field, record));
}

std::string FieldText(const DbfField& field, const std::string& record) {
  std::string_view raw = FieldBytes(field, record);
  if (IsNumeric(field)) {
    auto n = ParseNumber(raw);
    return n ? ShortestDecimal(*n) : std::string();
  }
  if (field.type == 'L') {
    char c = raw.empty() ? ' ' : raw[0];
    if (c == 'T' || c == 't' || c == 'Y' || c == 'y') return "True";
    if (c == 'F' || c == 'f' || c == 'N' || c == 'n') return "False";
    return "";
  }
  size_t e = raw.size();
  while (e > 0 && (raw[e - 1] == ' ' || raw[e - 1] == '\0')) --e;
  return std::string(raw.substr(0, e));
}

int32_t FieldInteger(const DbfField& field, const std::string& record) {
  std::string_view raw = FieldBytes(field, record);
  double v = 0;
  if (field.type == 'L') return FieldBoolean(field, record) ? 1 : 0;
  std::optional<double> n = ParseNumber(raw);
  if (!n) {
    if (TrimBlanks(raw).empty()) return 0;
    throw StoreError(Quoted(TrimBlanks(raw)) + " no es un valor entero válido para el campo " +
                     field.name);
  }
  v = RoundHalfEven(*n);
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) {
    throw StoreError("El valor " + ShortestDecimal(*n) + " del campo " + field.name +
                     " no cabe en un entero");
  }
  return static_cast<int32_t>(v);
}

bool FieldBoolean(const DbfField& field, const std::string& record) {
  std::string_view raw = FieldBytes(field, record);
  if (IsNumeric(field)) {
    auto n = ParseNumber(raw);
    return n && *n != 0;
  }
  std::string_view t = TrimBlanks(raw);
  if (t.empty()) return false;
  char c = t[0];
  return c == 'T' || c == 't' || c == 'Y' || c == 'y';
}

void SetFieldText(const DbfField& field, std::string& record, std::string_view text) {
  if (SetCharacterField(field, record, text)) return;
  const size_t offset = static_cast<size_t>(field.offset);
  const size_t width = static_cast<size_t>(field.width);
  if (IsNumeric(field)) {
    if (TrimBlanks(text).empty()) {
      record.replace(static_cast<size_t>(field.offset), static_cast<size_t>(field.width),
                     static_cast<size_t>(field.width), ' ');
      return;
    }
    auto n = ParseNumber(text);
    if (!n) {
      throw StoreError(Quoted(text) + " no es un valor numérico válido para el campo " +
                       field.name);
    }
    PutNumber(field, record, *n);
    return;
  }
  if (field.type == 'L') {
    std::string_view t = TrimBlanks(text);
    char c = t.empty() ? ' ' : t[0];
    char stored;
    if (t.empty()) {
      stored = ' ';
    } else if (c == 'T' || c == 't' || c == 'Y' || c == 'y' || c == 'S' || c == 's') {
      stored = 'T';
    } else if (c == 'F' || c == 'f' || c == 'N' || c == 'n') {
      stored = 'F';
    } else {
      throw StoreError(Quoted(text) + " no es un valor lógico válido para el campo " +
                       field.name);
    }
    record[static_cast<size_t>(field.offset)] = stored;
    return;
  }
  if (record.size() >= offset + width) {
    // In place: the text, cut to the width, padded with spaces.
    const size_t n = std::min(text.size(), width);
    char* cell = record.data() + offset;
    if (n > 0) std::memmove(cell, text.data(), n);
    std::memset(cell + n, ' ', width - n);
    return;
  }
  std::string cell(text.substr(0, width));
  cell.resize(width, ' ');
  record.replace(offset, width, cell);
}

void SetFieldInteger(const DbfField& field, std::string& record, int64_t value) {
  if (IsNumeric(field)) {
    if (field.decimals > 0) {
      PutNumber(field, record, static_cast<double>(value));
    } else {
      PutRightAligned(field, record, std::to_string(value));
    }
    return;
  }
  if (field.type == 'L') {
    record[static_cast<size_t>(field.offset)] = value != 0 ? 'T' : 'F';
    return;
  }
  SetFieldText(field, record, std::to_string(value));
}

void SetFieldBoolean(const DbfField& field, std::string& record, bool value) {
  if (field.type == 'L') {
    record[static_cast<size_t>(field.offset)] = value ? 'T' : 'F';
  } else if (IsNumeric(field)) {
    SetFieldInteger(field, record, value ? 1 : 0);
  } else {
    SetFieldText(field, record, value ? "True" : "False");
  }
}

}  // namespace store
