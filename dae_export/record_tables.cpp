// The DAE timetable records.
//
// CUADROH2 holds one type 2 record per teacher, day and session; CUADROH3
// one type 3 record tying such a session to its group. All fields are
// character columns. Both tables carry a production index with one tag per
// key field (ascending, not unique), named after the field.
//
// The record key PROF_DIA_SES has seven characters:
//   1-4  teacher abbreviation, padded on the right with spaces (cut to 4)
//   5    day of the week, decimal digits
//   6-7  hour of the day, decimal digits, with a "0" in front whenever its
//        decimal form is not exactly two characters long
// e.g. teacher AB, day 3, hour 7 -> "AB  307"; ABCD, 1, 12 -> "ABCD112".
// Because the space sorts before digits and letters, a two-letter teacher
// sorts before a longer abbreviation that begins with the same letters,
// and one teacher's sessions follow day by day, hour by hour.
//
// REG_MOD is the refresh mark: "N" on every record between exports, "S" on
// the records that an expansion wrote; the expansion's sweep deletes the
// records still marked "N" and marks the rest "N" again.
#include "dae_export/record_tables.h"

#include "store/table.h"
#include "store/work_folder.h"

namespace dae_export {

namespace {

store::FieldDef Str(const char* name, int width) {
  store::FieldDef f;
  f.name = name;
  f.type = store::FieldType::String;
  f.width = width;
  return f;
}

store::IndexDef Tag(const char* field) { return store::IndexDef{field, field}; }

void Recreate(const std::filesystem::path& folder, const std::string& base,
              const store::FieldDefs& fields, const store::IndexDefs& tags) {
  store::Table t;  // the new empty table replaces the old one as t goes
  t.SetDatabaseName(folder);
  t.SetTableName(base + ".DBF");
  t.FieldDefsList() = fields;
  t.IndexDefsList() = tags;
  t.CreateTable();
}

std::string Part(const std::string& key, size_t pos, size_t len) {
  if (key.size() <= pos) return std::string();
  return key.substr(pos, len);
}

}  // namespace

const store::FieldDefs& CuadroH2Fields() {
  static const store::FieldDefs fields = {
      Str("TIPREG", 1),    Str("TIPDOC", 1),       Str("ABREVPROF", 4),
      Str("DOC", 15),      Str("NUMSESION", 2),    Str("DIASEM", 1),
      Str("TIPTAR", 3),    Str("HORAINI", 5),      Str("HORAFIN", 5),
      Str("GRUPNIV", 3),   Str("ABREVASIG", 4),    Str("CODASIG", 4),
      Str("TIPASIG", 1),   Str("IDIOMA", 2),       Str("AULA_OBS", 30),
      Str("TIP_ACTIV", 3), Str("PROF_DIA_SES", 7), Str("DIA_SES", 3),
      Str("REG_MOD", 1)};
  return fields;
}

const store::IndexDefs& CuadroH2Tags() {
  static const store::IndexDefs tags = {Tag("ABREVPROF"), Tag("DOC"),
                                        Tag("PROF_DIA_SES"), Tag("DIA_SES")};
  return tags;
}

const store::FieldDefs& CuadroH3Fields() {
  static const store::FieldDefs fields = {
      Str("TIPREG", 1),     Str("ABREVGRUP", 4), Str("CODGRUPO", 5),
      Str("TIPDOC", 1),     Str("ABREVPROF", 4), Str("DOC", 15),
      Str("NUMSESGRUP", 2), Str("DIASEM", 1),    Str("NUMALUM", 2),
      Str("PROF_DIA_SES", 7), Str("REG_MOD", 1)};
  return fields;
}

const store::IndexDefs& CuadroH3Tags() {
  static const store::IndexDefs tags = {Tag("ABREVPROF"), Tag("DOC"),
                                        Tag("PROF_DIA_SES")};
  return tags;
}

void CreaTablaCuadro(store::Table& t, const std::filesystem::path& workFolder,
                     const std::string& name) {
  const bool h2 = name == kCuadroH2;
  t.SetDatabaseName(workFolder);
  t.SetTableName(name);
  t.FieldDefsList() = h2 ? CuadroH2Fields() : CuadroH3Fields();
  t.IndexDefsList() = h2 ? CuadroH2Tags() : CuadroH3Tags();
  t.CreateTable();
}

void CreaTablasCuadro(const std::filesystem::path& workFolder) {
  Recreate(workFolder, "CUADROH2", CuadroH2Fields(), CuadroH2Tags());
  Recreate(workFolder, "CUADROH3", CuadroH3Fields(), CuadroH3Tags());
}

std::string BuildProfDiaSes(const std::string& prof, const std::string& diaText,
                            int hora) {
  std::string key = prof.substr(0, 4);
  key.resize(4, ' ');
  key += diaText;
  std::string h = std::to_string(hora);
  if (h.size() != 2) h = "0" + h;
  key += h;
  return key;
}

std::string KeyTeacher(const std::string& key) { return Part(key, 0, 4); }
std::string KeyDay(const std::string& key) { return Part(key, 4, 1); }
std::string KeySession(const std::string& key) { return Part(key, 5, 2); }
std::string KeyDaySession(const std::string& key) { return Part(key, 4, 3); }

}  // namespace dae_export
