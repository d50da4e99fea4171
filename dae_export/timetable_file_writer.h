// The DAE timetable file fCUADROS.txt: its lines and how it is written.
#pragma once
#include <filesystem>
#include <stdexcept>
#include <string>

#include "store/table.h"

namespace dae_export {

inline constexpr const char* kTimetableFileName = "fCUADROS.txt";

// The values of one record as the tables hold them (text as the store
// returns it, without right padding).
struct CentreRecord {
  std::string codCentro, anoAcad, version;
};
struct Type2Record {
  std::string tipDoc, doc, numSesion, diaSem, tipTar, horaIni, horaFin,
      grupNiv, codAsig, tipAsig, idioma, aulaObs, tipActiv;
};
struct Type3Record {
  std::string codGrupo, tipDoc, doc, numSesGrup, diaSem, numAlum;
};

// One line of the file, without its line end.
std::string CentreLine(const CentreRecord& r);  // 14 characters
std::string Type2Line(const Type2Record& r);     // 76 characters
std::string Type3Line(const Type3Record& r);     // 27 characters

// A fixed-width field: padded with spaces on the right or cut.
std::string FitText(const std::string& value, size_t width);
// A time field: "00:00" when empty, "0" put before a one-digit hour
// ("8:30" -> "08:30"), otherwise the text followed by "00:00", cut to five.
std::string TimeField(const std::string& value);
// The pupils field: "00" when empty, "0" before a single digit, otherwise
// the text followed by "00", cut to two.
std::string PupilsField(const std::string& value);

// The values of the current record (pending values included).
CentreRecord ReadCentre(store::Table& daeCentro);

// The whole file: the centre line, then every CUADROH2 record in the order
// of its key PROF_DIA_SES, each followed by the CUADROH3 records of the
// same key (in the order of that tag); each line ends with CR LF. Settles
// a pending record of either table first, then reads every record through
// cursors of its own: the given tables keep their detail links, filters,
// order and current records, whether the file is written or not.
std::string BuildTimetableFile(const CentreRecord& centre, store::Table& cuadroH2,
                               store::Table& cuadroH3);

// A file that could not be written; the text is Spanish and names the file.
class TimetableFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Puts bytes into path as a whole or not at all: they go to a temporary
// file beside it, which is flushed to disk and then renamed over path. On
// any failure the temporary is removed, path keeps what it held, and
// TimetableFileError is thrown. A read-only file (the attribute on Windows,
// no write permission on POSIX) is refused before anything is written; the
// new file keeps the old one's hidden and system attributes (Windows) or
// permission bits (POSIX).
void ReplaceFileWhole(const std::filesystem::path& path, const std::string& bytes);

enum class WriteOutcome { Written, FolderMissing };

// Writes fCUADROS.txt into daeFolder. A missing folder writes and deletes
// nothing and answers FolderMissing.
WriteOutcome WriteTimetableFile(const std::string& daeFolder,
                                const CentreRecord& centre,
                                store::Table& cuadroH2, store::Table& cuadroH3);

}  // namespace dae_export
