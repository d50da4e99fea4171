// The character set of a table file, named by its language-driver byte
// (header byte 29), and the conversion of its text to and from the
// Windows character set (code page 1252) in which the tool works.
//
// Recognised bytes: 0x00 (no driver recorded; taken as 1252, the set in
// which this tool and the timetabling product write), 0x03, 0x57, 0x58 and
// 0x59 (Windows ANSI, 1252), the MS-DOS drivers of code page 437 (0x01 and
// its national variants 0x09, 0x0B, 0x0D, 0x0F, 0x11, 0x15, 0x18, 0x19,
// 0x1B) and of code page 850 (0x02, 0x0A, 0x0E, 0x10, 0x12, 0x14, 0x16,
// 0x1A, 0x1D, 0x25, 0x37). Any other byte names a character set that the
// tool does not convert: the table is refused with a message naming it.
//
// Both directions convert byte by byte (all three sets are single-byte and
// share ASCII). A character that the other set lacks becomes its nearest
// look-alike: an accented capital its plain letter (Š -> S, Ÿ -> Y),
// typographic quotes and dashes the plain ones (' " -), box-drawing
// characters of the MS-DOS sets '-', '|' or '+', and '?' when there is
// none (for example the euro sign, written 'E' in 437 and 850, or the
// MS-DOS Greek letters). Such a character does not come back as it was if
// the text is written again.
#pragma once
#include <string>
#include <string_view>

namespace store {

class CodePage {
 public:
  // Code page 1252: no conversion.
  CodePage() = default;

  // The code page of a table whose language-driver byte is `driver`.
  // Throws StoreError naming the table (label) for an unknown byte.
  static CodePage ForLanguageDriver(unsigned char driver, const std::string& label);
  // True when the byte names a code page handled here.
  static bool Known(unsigned char driver);

  int Number() const { return number_; }  // 1252, 850 or 437
  bool IsWindows() const { return number_ == 1252; }

  // Stored text -> code page 1252, and back.
  std::string ToWindows(std::string_view stored) const;
  std::string ToStored(std::string_view windows) const;

 private:
  explicit CodePage(int number) : number_(number) {}
  int number_ = 1252;
};

}  // namespace store
