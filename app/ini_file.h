// Setting one key of an INI file while keeping every other byte of it.
//
// The file is read as lines split at LF; a CR before the LF belongs to the
// line end, so files with LF and with CR LF ends both keep them. A line whose
// first non-blank character is '[' opens a section; its name is the text up
// to the last ']' of the line, blanks around it ignored. Any other line with
// a '=' is a key line: the key is the text before the first '=', blanks
// around it ignored. Lines before the first section, comments (';') and
// anything else are kept as they are and never match.
//
// Names match without regard to letter case (A-Z and the accented letters
// of code page 1252). With duplicate sections only the first one counts; with
// duplicate keys in it, only the first key.
//
// Edits, all byte-exact outside the touched line:
//  - key found: its line keeps everything up to and including the '=', the
//    value that follows is replaced, the line end stays;
//  - key missing in an existing section: "key=value" is inserted after the
//    section's last non-blank line;
//  - section missing: "[section]" and "key=value" are added at the end.
// New lines take the file's own line end (that of its first line; CR LF for
// a file without any). A file that did not end with a line break still does
// not; a new or empty file gets "[section]\r\nkey=value\r\n".
//
// Writing is atomic: the new content goes to a temporary file beside the
// original, which then replaces it by a rename, so a failure never leaves a
// truncated file. The original's permission bits are kept; a symbolic link is
// followed and its target replaced.
#pragma once
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace app {

// A failed INI write. The text is Spanish and names the file.
class IniError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The content with section/key set to value (pure; never fails).
std::string SetIniValue(std::string_view content, std::string_view section,
                        std::string_view key, std::string_view value);

// Reads the value of section/key, with the same matching rules as
// SetIniValue; false when the section or key is absent. The value is the
// text after the '=', blanks around it removed.
bool GetIniValue(std::string_view content, std::string_view section,
                 std::string_view key, std::string* value);

// Sets section/key in the file, creating the file, section or key where
// missing. Throws IniError when the file cannot be read or written (a
// read-only file or folder, a folder in the file's place, a missing folder).
void WriteIniValue(const std::filesystem::path& file, std::string_view section,
                   std::string_view key, std::string_view value);

}  // namespace app
