// The result entry that the timetabling product reads after the tool has
// ended: "Dolvarin.ini" in the folder of the tool's own executable, section
// "Transformadores", key "Transformado", the result code as decimal text.
// Written on close in embedded mode only; nothing else of the file changes.
#pragma once
#include <filesystem>
#include <string>

#include "chain/process_state.h"

namespace app {

inline constexpr const char* kIniFileName = "Dolvarin.ini";
inline constexpr const char* kResultSection = "Transformadores";
inline constexpr const char* kResultKey = "Transformado";

// The folder of the running executable (ExecutablePath(): /proc/self/exe
// on Linux, GetModuleFileNameW on Windows), never the current folder
// unless the system cannot tell where the executable is.
std::filesystem::path ExecutableFolder();

// exeFolder / "Dolvarin.ini".
std::filesystem::path ResultIniPath(const std::filesystem::path& exeFolder);

// Writes Transformado=<resultCode>. Throws IniError (Spanish text naming the
// file) when the file cannot be written; the file is then left as it was.
void WriteResultEntry(const std::filesystem::path& exeFolder, int resultCode);

// The close step of the main window. In embedded mode writes the result
// entry with the result code as it stands; in stand-alone mode does nothing.
// Never throws: returns "" on success (or when nothing was to be written),
// otherwise the error's text for the general error report (period rule
// already applied).
//
// The main window's close handler calls it, shows a non-empty text with
// chain::UserInterface::ReportError (or its own error box) and then lets the window
// close all the same: a file that cannot be written must not keep the user
// from ending the tool; the file keeps its previous content.
std::string CloseStep(const chain::ProcessState& state,
                      const std::filesystem::path& exeFolder);

}  // namespace app
