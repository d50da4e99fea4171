// A sealed record: the small text file that guides a step the next run must
// be able to finish (a table's replacement, a restore's swap).
//
// Layout, every line ending in "\n":
//   <kind>                  a word naming what the record is for
//   <letter> <text>         any number of lines
//   S <16 hex digits>       FNV-1a (64-bit) of every byte before this line
//
// A record cut short by a kill, edited by hand or of another kind does not
// read: its seal no longer matches, and nothing it says is acted on.
#pragma once

#include <string>
#include <vector>

namespace store {

struct SealedLine {
  char letter;
  std::string text;
};

// The whole record, sealed.
std::string SealRecord(const std::string& kind, const std::vector<SealedLine>& lines);

// The lines of a record of this kind whose seal matches; false otherwise
// (lines is then left with what was read before the fault).
bool ReadSealedRecord(const std::string& record, const std::string& kind,
                      std::vector<SealedLine>& lines);

}  // namespace store
