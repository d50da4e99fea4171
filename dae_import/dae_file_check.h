// The test that every import step makes before it touches a DAE file or the
// table made from it: when the file is missing, the step's message is shown,
// the result code becomes -1 and the step ends, having deleted or created
// nothing for that file.
#pragma once
#include <memory>
#include <string>

#include "chain/step_context.h"
#include "dae_import/dae_text_reader.h"

namespace dae_import {

// The message for a DAE folder that does not exist: "No existe la carpeta",
// then, on a line of its own (lines are joined by a carriage return), the
// folder as the user gave it, with the system's separator and without a
// separator at its end.
std::string MissingFolderText(const std::string& folder);
// Whether the DAE folder exists (a link to a folder counts; any length).
bool DaeFolderExists(const std::string& folder);

// Opens the DAE file `name` of the context's DAE folder. When it is missing,
// shows `missingMessage`, sets the result code to -1 and returns null.
// Throws DaeFileError when it exists but cannot be opened.
std::unique_ptr<DaeTextReader> OpenDaeFileOrReport(
    chain::StepContext& ctx, const std::string& name,
    const std::string& missingMessage);

// Reads every DAE file of the import chain that is in the DAE folder, so
// that a file the chain could not read whole (a byte that is no character
// of code page 1252, a read error) stops the import before it changes any
// table. Throws DaeFileError naming the file and the line. Missing files
// are left to the steps, which report them.
void CheckDaeTextFiles(const std::string& daeFolder);

}  // namespace dae_import
