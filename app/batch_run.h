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
inline constexpr int kExitFinished = 0;  // the chain reached "Proceso finalizado"
inline constexpr int kExitStopped = 1;   // it ended any other way
inline constexpr int kExitUsage = 2;     // usage error, nothing done

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

}  // namespace app
