#include "dae_import/dae_file_check.h"

namespace dae_import {

std::unique_ptr<DaeTextReader> OpenDaeFileOrReport(
    chain::StepContext& ctx, const std::string& name,
    const std::string& missingMessage) {
  std::optional<std::filesystem::path> path = FindDaeFile(ctx.daeFolder, name);
  if (!path) {
    ctx.ui.ShowMessage(missingMessage);
    ctx.state.resultCode = -1;
    return nullptr;
  }
  return std::make_unique<DaeTextReader>(*path);
}

}  // namespace dae_import
