// Reading DAE's fixed-width text files.
//
// DAE writes single-byte text (code page 1252); a byte is a character and
// positions count bytes. Nothing is converted: a field's bytes go into the
// tables as they stand. The five bytes that are no character of code page
// 1252 (0x81, 0x8D, 0x8F, 0x90, 0x9D) are refused: a line holding one
// stops the reading with a message naming the file and the line, since
// such a byte is no text of DAE's (a file saved as UTF-8 has them in
// "Á", "Í", "Ï", "Ð", "Ý"), and no dBase reader could decode it in a table.
// Replacing it would store a guess; the file is the user's to correct.
//
// Lines: a line ends at LF (10) or at CR LF (13 10); the break is not part
// of the line. A CR that is not followed by LF is dropped from the line's
// text. A Ctrl-Z (26) ends the file: nothing from it on is read. The last
// line needs no break; a break at the very end of the file makes no extra
// record, while an empty line before the end is a record of its own (so a
// file ending in two breaks yields one empty record at its end). An empty
// file yields no records. NUL bytes are ordinary bytes. Lines may be of any
// length; the file is read in blocks, never whole.
//
// Fields: a field is given by a 1-based start and a length: the bytes of the
// line from the start on, at most that many. A line that ends inside the
// field gives what there is, one that ends before the start gives an empty
// field. Trimming removes every byte with a code from 0 to 32 (space, tab,
// every control character) at both ends and keeps those inside.
//
// Files: a DAE file is the DAE folder followed directly by the file name.
// The name is matched without regard to letter case (a folder copied from
// Windows media may hold "FTIPTAR.TXT" for "fTIPTAR.txt"); the exact
// spelling wins when both exist. The path found carries the name as it is
// spelled on disk, also where the system itself ignores letter case, so
// that messages name the file the user sees. Only a regular file counts: a name that
// resolves to a folder, a pipe or a device counts as missing, so that it is
// reported like a missing file and never blocks the reading.
#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "store/os_file.h"

namespace dae_import {

// An error while opening or reading a DAE file; the text is Spanish and
// names the file.
class DaeFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The regular file that daeFolder + name denotes, the name matched without
// regard to letter case; nullopt when there is none.
std::optional<std::filesystem::path> FindDaeFile(const std::string& daeFolder,
                                                 const std::string& name);

// Reads one DAE file record by record.
class DaeTextReader {
 public:
  // Opens the file; throws DaeFileError when it cannot be opened.
  explicit DaeTextReader(const std::filesystem::path& path);
  ~DaeTextReader();
  DaeTextReader(const DaeTextReader&) = delete;
  DaeTextReader& operator=(const DaeTextReader&) = delete;

  // True when no further record remains (end of file or a Ctrl-Z next).
  bool AtEnd();
  // Reads the next record's line into `line` (without its break). Returns
  // false, leaving `line` empty, when no record remains. Throws DaeFileError
  // on a read error and on a byte that is no character of code page 1252.
  bool ReadLine(std::string& line);
  void Close();

  const std::filesystem::path& Path() const { return path_; }
  // The number of lines read so far (the last one read is that line).
  uint64_t LineNumber() const { return lines_; }

 private:
  bool ReadRawLine(std::string& line);
  // Makes at least one unread byte available; false at the end of data.
  bool Fill();
  [[noreturn]] void ThrowReadError(int err) const;

  std::filesystem::path path_;
  store::os::File file_;   // binary: CR LF and Ctrl-Z reach the reader
  uint64_t offset_ = 0;    // where the next block starts
  std::vector<char> buffer_;
  std::size_t pos_ = 0;    // next unread byte in buffer_
  std::size_t size_ = 0;   // bytes held in buffer_
  bool eof_ = false;       // the file gave its last byte
  bool stopped_ = false;   // a Ctrl-Z was met
  uint64_t lines_ = 0;     // lines read
};

// Reads every line of the file; throws DaeFileError as ReadLine does. Used
// to check the DAE files before an import changes anything.
void CheckDaeTextFile(const std::filesystem::path& path);

// The bytes of `line` from 1-based `start`, at most `length` of them.
std::string_view CutField(std::string_view line, std::size_t start,
                          std::size_t length);
// Removes bytes 0..32 at both ends.
std::string_view TrimControls(std::string_view text);
// CutField then TrimControls, as a string.
std::string TrimmedField(std::string_view line, std::size_t start,
                         std::size_t length);
// CutField as a string, untrimmed.
std::string RawField(std::string_view line, std::size_t start,
                     std::size_t length);

}  // namespace dae_import
