// The work folder that holds every table, and how names resolve in it.
#pragma once
#include <filesystem>
#include <string>

namespace store {

// QTEMP from the environment when set; otherwise \QTEMP of the current
// drive on Windows and $HOME/QTEMP elsewhere.
std::filesystem::path WorkFolder();

// The file "name" inside "folder", found without regard to letter case.
// When no such file exists, folder/name as spelled.
std::filesystem::path ResolveFileNoCase(const std::filesystem::path& folder,
                                        const std::string& name);
bool FileExistsNoCase(const std::filesystem::path& folder,
                      const std::string& name);
// Deletes the file if it exists (letter case ignored). Throws StoreError
// when it exists and cannot be deleted.
void DeleteFileNoCase(const std::filesystem::path& folder,
                      const std::string& name);

}  // namespace store
