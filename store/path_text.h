// Paths as text, the same on every system.
//
// Every text of the tool (messages, command-line arguments, the names in a
// copy's manifest) is UTF-8. A std::filesystem::path built from a plain
// std::string, or read back with .string(), is converted with the system's
// narrow code page on Windows, which loses "ñ", "á" and every character the
// code page lacks. These two functions are the only way text and paths
// meet: they convert through UTF-8 on every system, so a work folder
// "C:\Curso 2024-25\Año" survives every round trip.
#pragma once
#include <filesystem>
#include <string>
#include <string_view>

namespace store {

// The path named by UTF-8 text.
std::filesystem::path PathFromText(std::string_view utf8);

// The UTF-8 text of a path (whole, as given, with the system's separator:
// '/' becomes '\' on Windows) and of its last component.
std::string PathText(const std::filesystem::path& path);
std::string FileNameText(const std::filesystem::path& path);

}  // namespace store
