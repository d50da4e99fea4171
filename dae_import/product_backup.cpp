#include "dae_import/product_backup.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <system_error>
#include <utility>

#include "store/store_error.h"
#include "store/work_folder.h"

namespace dae_import {

namespace fs = std::filesystem;

namespace {

// "AAAAMMDD-HHMMSS" or "AAAAMMDD-HHMMSS-N": the stamp and N (1 without it);
// false for any other name.
bool ParseRunName(const std::string& name, std::string& stamp, unsigned long& n) {
  if (name.size() < 15) return false;
  for (size_t i = 0; i < 15; ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(name[i])) != 0;
    if (i == 8 ? name[i] != '-' : !digit) return false;
  }
  stamp = name.substr(0, 15);
  n = 1;
  if (name.size() == 15) return true;
  if (name[15] != '-' || name.size() == 16 || name.size() > 25) return false;
  n = 0;
  for (size_t i = 16; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
    n = n * 10 + static_cast<unsigned long>(name[i] - '0');
  }
  return n >= 2;
}

std::string Stamp() {
  std::time_t now = std::time(nullptr);
  char buf[32] = "";
  if (const std::tm* tm = std::localtime(&now)) std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", tm);
  return buf;
}

[[noreturn]] void CopyFailed(const std::string& file, const fs::path& folder,
                             const std::string& why) {
  throw store::StoreError("No se puede guardar una copia de " + file + " en " +
                          folder.string() + ": " + why +
                          ".\rNo se ha borrado ni modificado ninguna tabla.");
}

fs::path MakeRunFolder(const fs::path& workFolder) {
  const fs::path root = workFolder / kBackupFolderName;
  std::error_code ec;
  fs::create_directories(root, ec);
  if (ec || !fs::is_directory(root)) CopyFailed("las tablas", root, ec.message());
  const std::string stamp = Stamp();
  fs::path run;
  for (unsigned long n = 1;; ++n) {
    run = root / (n == 1 ? stamp : stamp + "-" + std::to_string(n));
    if (fs::create_directory(run, ec)) break;
    if (ec) CopyFailed("las tablas", run, ec.message());
    if (n > 1000) CopyFailed("las tablas", run, "ya existe");
  }
  // Keep the newest runs only.
  std::vector<fs::path> runs = BackupRuns(workFolder);
  for (size_t i = 0; i + kBackupRunsKept < runs.size(); ++i) {
    if (runs[i] == run) continue;
    fs::remove_all(runs[i], ec);  // an old copy that cannot go stays
  }
  return run;
}

// Copies file into folder under its own name, whole or not at all. A copy
// already there (the table was kept earlier in the same run) is the older
// one and stays.
void CopyWhole(const fs::path& file, const fs::path& folder) {
  const std::string name = file.filename().string();
  const fs::path target = folder / name;
  std::error_code ec;
  if (fs::exists(target, ec)) return;
  const fs::path partial = folder / (name + ".parcial");
  fs::remove(partial, ec);
  if (!fs::copy_file(file, partial, ec) || ec) {
    fs::remove(partial, ec);
    CopyFailed(name, folder, ec ? ec.message() : "no se pudo copiar");
  }
  const auto want = fs::file_size(file, ec);
  const auto got = ec ? 0 : fs::file_size(partial, ec);
  if (ec || got != want) {
    fs::remove(partial, ec);
    CopyFailed(name, folder, "la copia está incompleta");
  }
  fs::rename(partial, target, ec);
  if (ec) {
    fs::remove(partial, ec);
    CopyFailed(name, folder, ec.message());
  }
}

}  // namespace

std::vector<fs::path> BackupRuns(const fs::path& workFolder) {
  std::vector<std::pair<std::pair<std::string, unsigned long>, fs::path>> found;
  std::error_code ec;
  for (fs::directory_iterator it(workFolder / kBackupFolderName, ec), end; !ec && it != end;
       it.increment(ec)) {
    std::string stamp;
    unsigned long n = 0;
    if (!it->is_directory(ec) || ec) {
      ec.clear();
      continue;
    }
    if (ParseRunName(it->path().filename().string(), stamp, n))
      found.push_back({{stamp, n}, it->path()});
  }
  std::sort(found.begin(), found.end());
  std::vector<fs::path> runs;
  for (auto& f : found) runs.push_back(std::move(f.second));
  return runs;
}

void CheckProductTablesFree(const fs::path& workFolder) {
  for (const char* name : {"ASIGNOMT", "PROFT", "GRUPOST", "ASIGT", "DIASHORAT"}) {
    const store::TableFileLock probe(workFolder, std::string(name) + ".DBF");
  }
}

ProductTableHold KeepProductTable(chain::StepContext& ctx, const std::string& name) {
  store::TableFileLock lock(ctx.workFolder, name + ".DBF");
  store::HeldHere mark(store::ResolveFileNoCase(ctx.workFolder, name + ".DBF"));
  std::vector<fs::path> files;
  std::error_code ec;
  for (const char* ext : {".DBF", ".MDX"}) {
    const fs::path p = store::ResolveFileNoCase(ctx.workFolder, name + ext);
    if (fs::is_regular_file(p, ec)) files.push_back(p);
  }
  if (files.empty()) return ProductTableHold{std::move(lock), std::move(mark)};
  fs::path run = ctx.state.backupFolder;
  if (run.empty() || !fs::is_directory(run, ec)) {
    run = MakeRunFolder(ctx.workFolder);
    ctx.state.backupFolder = run.string();
  }
  for (const fs::path& f : files) CopyWhole(f, run);
  return ProductTableHold{std::move(lock), std::move(mark)};
}

}  // namespace dae_import
