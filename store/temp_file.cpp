#include "store/temp_file.h"

#include <cstdio>
#include <random>

#include "store/path_text.h"
#include "store/replaced_file.h"

namespace store {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPrefix = ".transdae-";
constexpr const char* kSuffix = ".tmp";
constexpr size_t kDigits = 16;

std::string RandomName() {
  static std::random_device rd;
  static std::mt19937_64 gen((static_cast<uint64_t>(rd()) << 32) ^ rd() ^
                             static_cast<uint64_t>(os::ProcessId()));
  const uint64_t v = gen();
  char buf[kDigits + 1];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
  return std::string(kPrefix) + buf + kSuffix;
}

}  // namespace

bool IsTempFileName(const std::string& name) {
  const std::string prefix = kPrefix, suffix = kSuffix;
  if (name.size() != prefix.size() + kDigits + suffix.size()) return false;
  if (name.compare(0, prefix.size(), prefix) != 0) return false;
  if (name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) return false;
  for (size_t i = prefix.size(); i < prefix.size() + kDigits; ++i) {
    const char c = name[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

bool CreateTempFile(const fs::path& folder, fs::path& path, os::File& file, unsigned mode) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    path = (folder.empty() ? fs::path(".") : folder) / RandomName();
    if (!file.Open(path, os::OpenMode::CreateNew, os::LockKind::None, mode)) {
      if (os::IsAlreadyExists(os::LastError())) continue;
      return false;
    }
    // Held from here on; a cleaner that took the file first has removed it
    // (or is about to): then another name is tried.
    os::FileId mine, there;
    if (file.TryLock(os::LockKind::Exclusive) && file.Identity(mine) &&
        os::Identity(path, there) && mine == there)
      return true;
    file.Close();
  }
  file.Close();
  return false;
}

void RemoveStaleTempFiles(const fs::path& folder) {
  std::vector<fs::path> names;
  if (!os::ListFolder(folder, names)) return;
  for (const fs::path& name : names) {
    const fs::path p = (folder.empty() ? fs::path(".") : folder) / name;
    if (!IsTempFileName(FileNameText(p))) continue;
    const os::PathStatus st = os::Status(p);
    if (!st.isRegular) continue;
    os::FileId before, opened;
    if (!os::Identity(p, before)) continue;
    os::File f;
    // Nobody writes it when it can be locked: left by a killed run.
    if (f.Open(p, os::OpenMode::ReadOnly, os::LockKind::Exclusive) && f.Identity(opened) &&
        opened == before)
      os::RemoveOwnFile(p);
  }
}

int ReplaceFileAtomically(const fs::path& target, const std::string& bytes, unsigned mode) {
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  RemoveStaleTempFiles(folder);
  // What belongs to the file rather than to its bytes (permission bits,
  // hidden and system attributes) passes to the new file.
  const replaced_file::Kept kept =
      os::Status(target).isRegular ? replaced_file::KeptOf(target) : replaced_file::Kept{};
  fs::path tmp;
  os::File file;
  if (!CreateTempFile(folder, tmp, file, mode)) return os::LastError();
  auto abandon = [&](int err) {
    file.Close();
    os::RemoveFile(tmp);
    return err;
  };
  if (!file.WriteAll(bytes)) return abandon(os::LastError());
  if (kept.fromFile) {
    if (const int err = replaced_file::Apply(tmp, kept); err != 0) return abandon(err);
  }
  if (!file.Sync()) return abandon(os::LastError());
  // The name goes over the target while the file is still held, so no
  // cleaner can take it in between.
  if (!os::RenameFile(tmp, target)) return abandon(os::LastError());
  file.Close();
  os::SyncFolder(folder);
  return 0;
}

}  // namespace store
