// CUADROH2 and CUADROH3, the DAE timetable records, and their key.
#pragma once
#include <filesystem>
#include <string>

#include "store/field_def.h"
#include "store/table.h"

namespace dae_export {

// Creates both tables empty, with their fields and tags, in place of the
// old ones.
void CreaTablasCuadro(const std::filesystem::path& workFolder);

// Creates one of them ("CUADROH2.DBF" or "CUADROH3.DBF") through `t`: the
// new table is built beside the old one and takes its place when `t`
// closes (store::Table::CreateTable).
void CreaTablaCuadro(store::Table& t, const std::filesystem::path& workFolder,
                     const std::string& name);

// PROF padded with spaces (cut) to four characters, DIA in decimal digits,
// HORA in decimal digits with a "0" in front unless exactly two long.
std::string BuildProfDiaSes(const std::string& prof, const std::string& diaText,
                            int hora);

// The parts of a key that the records repeat in fields of their own.
// Each is what the key holds at those characters (less when it is short).
std::string KeyTeacher(const std::string& key);   // characters 1-4
std::string KeyDay(const std::string& key);       // character 5
std::string KeySession(const std::string& key);   // characters 6-7
std::string KeyDaySession(const std::string& key);  // characters 5-7

// Field and tag definitions of the two tables, in table order.
const store::FieldDefs& CuadroH2Fields();
const store::IndexDefs& CuadroH2Tags();
const store::FieldDefs& CuadroH3Fields();
const store::IndexDefs& CuadroH3Tags();

// Table names as the tool's objects give them.
inline constexpr const char* kCuadroH2 = "CUADROH2.DBF";
inline constexpr const char* kCuadroH3 = "CUADROH3.DBF";

// Refresh mark values.
inline constexpr const char* kRefreshed = "S";
inline constexpr const char* kNotRefreshed = "N";

}  // namespace dae_export
