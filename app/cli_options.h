// The options of the batch front end, and the files and values it reads.
//
//   transdae-cli import --dae DIR [--work DIR] [--lang TEXT]
//                       [--centre CODE,YEAR,VERSION] [--levels FILE]
//   transdae-cli export --dae DIR [--work DIR] [--fresh] [--codes-only]
//                       [--centre CODE,YEAR,VERSION] [--documents FILE]
//   transdae-cli show TABLE [--work DIR] [--tag TAG]
//   transdae-cli restore [--work DIR] [--list] [--from COPY]
//   transdae-cli --help
//
// An option's value follows it as the next argument or after '=' ("--dae=x").
// Every option may be given once; one that does not belong to the command is
// a usage error.
//
// Levels file (UTF-8, a byte order mark allowed, LF or CR LF): the header
// line "COD;ABREVCAST;ABREVEUSK", then one line per level code with its
// Castellano and Euskera abbreviations, separated by ';'. Blanks around a
// value are ignored; blank lines are skipped. An abbreviation may be empty
// and has at most five characters; every character must exist in code page
// 1252; a code may appear once.
//
// Documents file (same form): the header line "ABREV;TIPODNI;DNI", then one
// line per teacher: the abbreviation (1 to 4 characters), the document type
// (at most 1) and the document number (1 to 15). They are typed into the
// coding window's teacher grid before "&Salir".
#pragma once
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace app {

enum class CliCommand { Import, Export, Show, Restore, Help };

// Centre data as the user would type them (UTF-8).
struct CentreValues {
  std::string code, year, version;
};

struct CliOptions {
  CliCommand command = CliCommand::Help;
  std::string daeFolder;                         // --dae, as given
  std::optional<std::filesystem::path> workFolder;  // --work
  std::string language = "EUSKERA";              // --lang
  std::optional<CentreValues> centre;            // --centre
  std::optional<std::filesystem::path> levelsFile;  // --levels
  std::optional<std::filesystem::path> documentsFile;  // --documents
  bool fresh = false;                            // --fresh
  bool codesOnly = false;                        // --codes-only
  std::string table;                             // show TABLE
  std::string tag;                               // --tag
  bool listOnly = false;                         // restore --list
  std::optional<std::string> restoreFrom;        // restore --from
};

// A usage error; the text is Spanish.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// args are the arguments after the program name. Throws UsageError.
CliOptions ParseCliOptions(const std::vector<std::string>& args);

// The usage text printed by --help and after a usage error.
std::string CliUsageText();

// "CODE,YEAR,VERSION": three non-empty values (blanks around them ignored)
// that fit their fields (6, 4 and 5 characters). Throws UsageError.
CentreValues ParseCentreValues(const std::string& text);

// One line of the levels file, converted to code page 1252.
struct LevelAbbreviations {
  std::string code, abrevCast, abrevEusk;
};

// Parses the content of a levels file. Throws UsageError naming the line.
std::vector<LevelAbbreviations> ParseLevelsFile(const std::string& utf8);
// Reads and parses a levels file. Throws UsageError.
std::vector<LevelAbbreviations> ReadLevelsFile(const std::filesystem::path& file);

// One line of the documents file, converted to code page 1252.
struct TeacherDocument {
  std::string abrev, tipoDni, dni;
};

// Parses the content of a documents file. Throws UsageError naming the line.
std::vector<TeacherDocument> ParseDocumentsFile(const std::string& utf8);
// Reads and parses a documents file. Throws UsageError.
std::vector<TeacherDocument> ReadDocumentsFile(const std::filesystem::path& file);

// UTF-8 text to code page 1252; throws UsageError (naming what) when a
// character has no place in the code page or the text is not UTF-8.
std::string ToCp1252Strict(const std::string& utf8, const std::string& what);

// Number of characters of a UTF-8 text.
size_t Utf8Length(const std::string& utf8);

}  // namespace app
