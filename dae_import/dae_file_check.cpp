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

void CheckDaeTextFiles(const std::string& daeFolder) {
  for (const char* name : {"fTIPTAR.txt", "fASIGNAT.txt", "fOTRACT.txt", "fTIPDOC.txt",
                           "fNIVIMP.txt", "fIDIOMA.txt", "fGRUPNIV.txt", "fPROFES.txt",
                           "fGRUPOS.txt"}) {
    if (std::optional<std::filesystem::path> path = FindDaeFile(daeFolder, name)) {
      CheckDaeTextFile(*path);
    }
  }
}

}  // namespace dae_import
