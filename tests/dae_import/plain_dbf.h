// A reader and writer of dBase tables that knows nothing of the tool's
// engine: the header and the records taken byte by byte, as another
// program would. The suites use it where the independent readers of the
// Linux side (python3-dbf through tests/tools/dbf_dump.py) cannot run, under
// Windows; it prints and takes what dbf_dump.py does.
#pragma once
#include <charconv>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "store/cp1252.h"
#include "tests/support/test_support.h"

namespace plaindbf {

struct Field {
  std::string name;
  char type = 'C';
  unsigned length = 0, decimals = 0;
};

inline unsigned Le(const std::string& b, size_t at, int bytes) {
  unsigned v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<size_t>(i)]);
  return v;
}

inline std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
  return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

// A number as Python prints the value python3-dbf gives: an int for a field
// without decimals, else a float, printed as an int when integral.
inline std::string Number(const std::string& raw, unsigned decimals) {
  const std::string t = Trim(raw);
  if (t.empty()) return "";
  const double d = std::stod(t);
  if (decimals == 0 && t.find('.') == std::string::npos) return std::to_string(std::stoll(t));
  if (d == static_cast<double>(static_cast<long long>(d))) return std::to_string(static_cast<long long>(d));
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, d);
  return std::string(buf, r.ptr);
}

// The lines dbf_dump.py PATH prints: NAME:TYPE:LEN:DEC joined by '|', then
// the live records in physical order.
inline std::vector<std::string> Dump(const std::filesystem::path& path) {
  const std::string b = testsupport::ReadFile(path);
  if (b.size() < 32) throw std::runtime_error("not a table: " + path.filename().string());
  const unsigned count = Le(b, 4, 4), headerLength = Le(b, 8, 2), recordLength = Le(b, 10, 2);
  std::vector<Field> fields;
  for (size_t at = 32; at + 32 <= headerLength && b[at] != '\x0D'; at += 32) {
    Field f;
    f.name = b.substr(at, 11).c_str();
    f.type = b[at + 11];
    f.length = static_cast<unsigned char>(b[at + 16]);
    f.decimals = static_cast<unsigned char>(b[at + 17]);
    fields.push_back(f);
  }
  std::vector<std::string> out;
  std::string header;
  for (const Field& f : fields) {
    if (!header.empty()) header += '|';
    header += f.name + ":" + f.type + ":" + std::to_string(f.length) + ":" +
              std::to_string(f.decimals);
  }
  out.push_back(header);
  for (unsigned r = 0; r < count; ++r) {
    const size_t at = headerLength + static_cast<size_t>(r) * recordLength;
    if (at + recordLength > b.size()) break;
    if (b[at] == '*') continue;
    std::string line;
    size_t pos = at + 1;
    for (size_t i = 0; i < fields.size(); ++i) {
      const Field& f = fields[i];
      const std::string raw = b.substr(pos, f.length);
      pos += f.length;
      std::string v;
      if (f.type == 'C') {
        v = raw.substr(0, raw.find_last_not_of(' ') == std::string::npos ? 0 : raw.find_last_not_of(' ') + 1);
        v = store::Cp1252ToUtf8(v);
      } else if (f.type == 'N' || f.type == 'F') {
        v = Number(raw, f.decimals);
      } else if (f.type == 'L') {
        v = (raw == "T" || raw == "t" || raw == "Y" || raw == "y") ? "T"
            : (raw == "F" || raw == "f" || raw == "N" || raw == "n") ? "F" : "";
      } else {
        v = Trim(raw);
      }
      if (i) line += '|';
      line += v;
    }
    out.push_back(line);
  }
  return out;
}

// What dbf_dump.py --write PATH SPECS ROW... writes: a dBase III table in
// code page 1252, without an index; specs "NAME C(10); N N(5,2); L L".
inline void Write(const std::filesystem::path& path, const std::string& specs,
                  const std::vector<std::string>& rows) {
  std::vector<Field> fields;
  size_t start = 0;
  while (start < specs.size()) {
    size_t end = specs.find(';', start);
    if (end == std::string::npos) end = specs.size();
    const std::string column = Trim(specs.substr(start, end - start));
    start = end + 1;
    if (column.empty()) continue;
    Field f;
    const size_t sp = column.find(' ');
    f.name = column.substr(0, sp);
    for (char& c : f.name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string type = Trim(column.substr(sp + 1));
    f.type = type[0];
    if (f.type == 'L') f.length = 1;
    else if (f.type == 'D') f.length = 8;
    const size_t open = type.find('(');
    if (open != std::string::npos) {
      f.length = static_cast<unsigned>(std::stoul(type.substr(open + 1)));
      const size_t comma = type.find(',', open);
      if (comma != std::string::npos) f.decimals = static_cast<unsigned>(std::stoul(type.substr(comma + 1)));
    }
    fields.push_back(f);
  }
  unsigned recordLength = 1;
  for (const Field& f : fields) recordLength += f.length;
  const unsigned headerLength = 32 + 32 * static_cast<unsigned>(fields.size()) + 1;
  auto put = [](std::string& b, size_t at, unsigned v, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  std::string b(headerLength, '\0');
  const std::time_t now = std::time(nullptr);
  const std::tm* tm = std::gmtime(&now);
  b[0] = 0x03;
  b[1] = static_cast<char>(tm->tm_year);
  b[2] = static_cast<char>(tm->tm_mon + 1);
  b[3] = static_cast<char>(tm->tm_mday);
  put(b, 4, static_cast<unsigned>(rows.size()), 4);
  put(b, 8, headerLength, 2);
  put(b, 10, recordLength, 2);
  b[29] = 0x03;  // code page 1252
  unsigned offset = 1;
  for (size_t i = 0; i < fields.size(); ++i) {
    const size_t at = 32 + 32 * i;
    for (size_t k = 0; k < fields[i].name.size() && k < 10; ++k) b[at + k] = fields[i].name[k];
    b[at + 11] = fields[i].type;
    put(b, at + 12, offset, 4);
    b[at + 16] = static_cast<char>(fields[i].length);
    b[at + 17] = static_cast<char>(fields[i].decimals);
    offset += fields[i].length;
  }
  b[headerLength - 1] = '\x0D';
  for (std::string row : rows) {
    const bool deleted = !row.empty() && row[0] == '*';
    if (deleted) row.erase(0, 1);
    std::vector<std::string> parts;
    for (size_t p = 0; !row.empty();) {
      const size_t bar = row.find('|', p);
      parts.push_back(row.substr(p, bar == std::string::npos ? std::string::npos : bar - p));
      if (bar == std::string::npos) break;
      p = bar + 1;
    }
    std::string record(1, deleted ? '*' : ' ');
    for (size_t i = 0; i < fields.size(); ++i) {
      const Field& f = fields[i];
      const std::string text = i < parts.size() ? parts[i] : "";
      std::string v;
      if (text.empty()) {
        v = f.type == 'L' ? "?" : "";
      } else if (f.type == 'C') {
        v = store::Utf8ToCp1252(text);
      } else if (f.type == 'N' || f.type == 'F') {
        char buf[64];
        if (f.decimals || text.find('.') != std::string::npos)
          std::snprintf(buf, sizeof buf, "%*.*f", static_cast<int>(f.length),
                        static_cast<int>(f.decimals), std::stod(text));
        else
          std::snprintf(buf, sizeof buf, "%*lld", static_cast<int>(f.length), std::stoll(text));
        v = buf;
      } else if (f.type == 'L') {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
        v = (c == 'T' || c == 'Y' || c == '1') ? "T" : "F";
      } else {
        v = text;
      }
      if (f.type == 'N' || f.type == 'F') v.insert(0, v.size() < f.length ? f.length - v.size() : 0, ' ');
      v.resize(f.length, ' ');
      record += v;
    }
    b += record;
  }
  b += '\x1A';
  testsupport::WriteFile(path, b);
}

}  // namespace plaindbf
