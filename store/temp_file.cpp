#include "store/temp_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

namespace store {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPrefix = ".transdae-";
constexpr const char* kSuffix = ".tmp";
constexpr size_t kDigits = 16;

std::string RandomName() {
  static std::random_device rd;
  static std::mt19937_64 gen((static_cast<uint64_t>(rd()) << 32) ^ rd() ^
                             static_cast<uint64_t>(::getpid()));
  const uint64_t v = gen();
  char buf[kDigits + 1];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
  return std::string(kPrefix) + buf + kSuffix;
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = EIO;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
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

int CreateTempFile(const fs::path& folder, fs::path& path, unsigned mode) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    path = (folder.empty() ? fs::path(".") : folder) / RandomName();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          static_cast<mode_t>(mode));
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return -1;
    }
    // Held from here on; a cleaner that took the file first has removed it
    // (or is about to): then another name is tried.
    struct stat mine {}, there {};
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &mine) == 0 &&
        ::lstat(path.c_str(), &there) == 0 && mine.st_ino == there.st_ino &&
        mine.st_dev == there.st_dev)
      return fd;
    ::close(fd);
  }
  errno = EEXIST;
  return -1;
}

void RemoveStaleTempFiles(const fs::path& folder) {
  std::error_code ec;
  for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec), end;
       !ec && it != end; it.increment(ec)) {
    const fs::path p = it->path();
    if (!IsTempFileName(p.filename().string())) continue;
    struct stat info {};
    if (::lstat(p.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    const int fd = ::open(p.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat opened {};
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 &&
        opened.st_ino == info.st_ino && opened.st_dev == info.st_dev)
      ::unlink(p.c_str());  // nobody writes it: left by a killed run
    ::close(fd);
  }
}

int ReplaceFileAtomically(const fs::path& target, const std::string& bytes, unsigned mode) {
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  RemoveStaleTempFiles(folder);
  fs::path tmp;
  int fd = CreateTempFile(folder, tmp, mode);
  if (fd < 0) return errno;
  auto abandon = [&](int err) {
    if (fd >= 0) ::close(fd);
    ::unlink(tmp.c_str());
    return err;
  };
  if (!WriteAll(fd, bytes)) return abandon(errno);
  if (::fsync(fd) != 0) return abandon(errno);
  // The name goes over the target while the file is still held, so no
  // cleaner can take it in between.
  if (::rename(tmp.c_str(), target.c_str()) != 0) return abandon(errno);
  const int closed = ::close(fd);
  fd = -1;
  if (closed != 0) return errno;
  const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return 0;
}

}  // namespace store
