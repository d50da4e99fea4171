// The batch front end's commands: the import and export chains run without
// windows, their pauses answered from the options, and a table printed as
// CSV.
#pragma once
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "app/cli_options.h"
#include "chain/process_state.h"

namespace app {

// Exit statuses.
// 0: the chain reached "Proceso finalizado" with result code 1 and, for the
//    export, wrote fCUADROS.txt (show, restore: done).
// 3: the chain finished but incomplete: a DAE file was missing (result code
//    -1), the subjects ran out of codes, or the export ended without writing
//    fCUADROS.txt.
// 1: an error ended the chain before its end, or the command failed.
// 2: a usage error; nothing was done.
inline constexpr int kExitFinished = 0;
inline constexpr int kExitStopped = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitIncomplete = 3;

// Runs a whole command line (the arguments after the program name); out
// gets the messages and the "resultado: N" line, err the usage text and the
// front end's own errors. Never throws.
int RunBatch(const std::vector<std::string>& args, std::ostream& out,
             std::ostream& err);

// The commands, for options already parsed.
int RunImport(const CliOptions& options, chain::ProcessState& state, std::ostream& out,
              std::ostream& err);
int RunExport(const CliOptions& options, chain::ProcessState& state, std::ostream& out,
              std::ostream& err);
int RunShow(const CliOptions& options, std::ostream& out, std::ostream& err);
int RunRestore(const CliOptions& options, std::ostream& out, std::ostream& err);

}  // namespace app
