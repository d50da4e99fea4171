#include "app/result_entry.h"

#include <string>
#include <system_error>

#include "chain/error_report.h"
#include "app/ini_file.h"
#include "app/program_environment.h"

namespace app {

namespace fs = std::filesystem;

fs::path ExecutableFolder() {
  const fs::path exe = ExecutablePath();
  std::error_code ec;
  if (exe.empty()) return fs::current_path(ec);
  return exe.parent_path();
}

fs::path ResultIniPath(const fs::path& exeFolder) {
  return exeFolder / kIniFileName;
}

void WriteResultEntry(const fs::path& exeFolder, int resultCode) {
  WriteIniValue(ResultIniPath(exeFolder), kResultSection, kResultKey,
                std::to_string(resultCode));
}

std::string CloseStep(const chain::ProcessState& state, const fs::path& exeFolder) {
  if (!state.embedded) return "";
  try {
    WriteResultEntry(exeFolder, state.resultCode);
    return "";
  } catch (const std::exception& e) {
    return chain::ErrorReportText(e);
  }
}

}  // namespace app
