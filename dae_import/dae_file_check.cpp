#include "dae_import/dae_file_check.h"

#include "store/os_file.h"
#include "store/path_text.h"

namespace dae_import {

std::string MissingFolderText(const std::string& folder) {
  std::string shown = store::PathText(store::PathFromText(folder));
  const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
  while (shown.size() > 1 && shown.back() == separator &&
         !(shown.size() == 3 && shown[1] == ':'))  // "C:\" stays whole
    shown.pop_back();
  return shown.empty() ? "No existe la carpeta" : "No existe la carpeta\r" + shown;
}

bool DaeFolderExists(const std::string& folder) {
  return !folder.empty() && store::os::IsFolder(store::PathFromText(folder));
}

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
