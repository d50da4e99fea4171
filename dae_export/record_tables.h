// CUADROH2 and CUADROH3, the DAE timetable records, and their key.
#pragma once
#include <filesystem>
#include <string>

namespace dae_export {

// Deletes and creates both tables empty, with their fields and tags.
void CreaTablasCuadro(const std::filesystem::path& workFolder);

// PROF padded with spaces (cut) to four characters, DIA in decimal digits,
// HORA in decimal digits with a "0" in front unless exactly two long.
std::string BuildProfDiaSes(const std::string& prof, const std::string& diaText,
                            int hora);

}  // namespace dae_export
