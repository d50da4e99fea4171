// Windows side of os_file.h.
//
// Locks are sharing modes (see os_file.h): what the handle lets other
// opens of the same file do, checked by Windows against every handle,
// those of other programs and this process's own alike. No byte-range
// lock (LockFileEx) is taken besides: the sharing mode already keeps
// every other opener out, and a byte-range lock would make this process's
// own reads through another handle (a copy of a held table) fail.
//
// Every handle shares deletion. Windows refuses to rename over or delete
// a file that any handle without FILE_SHARE_DELETE has open; with it,
// RemoveFile and RenameFile move the name of a file that this process
// still holds aside (to a hidden name of the temporary-file form, see
// temp_file.h) and delete it there, so that the name is free at once and
// the old handles keep reading the old file until they close, as on
// POSIX.
#ifdef _WIN32
#include <windows.h>

#include <cerrno>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "store/os_file.h"
#include "store/path_text.h"

namespace store::os {

namespace fs = std::filesystem;

namespace {

thread_local int lastError = 0;

int FromWindows(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_INVALID_ACCESS:
      return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EAGAIN;
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL:
      return ENOSPC;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DIRECTORY:
      return EISDIR;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_NOT_SAME_DEVICE:
      return EXDEV;
    case ERROR_DIR_NOT_EMPTY:
      return ENOTEMPTY;
    case ERROR_INVALID_HANDLE:
      return EBADF;
    case ERROR_INVALID_PARAMETER:
    case ERROR_NEGATIVE_SEEK:
      return EINVAL;
    case ERROR_BUSY:
      return EBUSY;
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_IO_DEVICE:
    case ERROR_HANDLE_EOF:
      return EIO;
    case ERROR_CANT_RESOLVE_FILENAME:
      return ELOOP;
    default:
      return kWindowsErrorBase + static_cast<int>(code);
  }
}

bool Failed() {
  const DWORD code = ::GetLastError();
  lastError = code == ERROR_SUCCESS ? EIO : FromWindows(code);
  return false;
}

bool FailedWith(int err) {
  lastError = err;
  return false;
}

// A failed call on `path`: a path on a drive that does not exist (a
// removed memory stick, an unmapped network drive) fails as "not found";
// it is told apart so that the user reads why.
bool FailedAt(const fs::path& path) {
  Failed();
  if (lastError == ENOENT) {
    const std::wstring root = path.root_name().native();
    if (root.size() == 2 && root[1] == L':' &&
        ::GetDriveTypeW((root + L"\\").c_str()) == DRIVE_NO_ROOT_DIR)
      lastError = kWindowsErrorBase + ERROR_INVALID_DRIVE;
  }
  return false;
}

HANDLE H(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }
std::intptr_t Native(HANDLE h) { return reinterpret_cast<std::intptr_t>(h); }

DWORD ShareFor(LockKind kind) {
  switch (kind) {
    case LockKind::Exclusive: return FILE_SHARE_DELETE;
    case LockKind::Guard: return FILE_SHARE_READ | FILE_SHARE_DELETE;
    case LockKind::Hold:
    case LockKind::Shared:
    case LockKind::None: break;
  }
  return FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
}

HANDLE OpenHandle(const fs::path& path, bool writable, DWORD disposition, LockKind lock,
                  bool noFollow = false) {
  DWORD flags = FILE_ATTRIBUTE_NORMAL;
  // A new file is never made through a link put at its name.
  if (disposition == CREATE_NEW || noFollow) flags |= FILE_FLAG_OPEN_REPARSE_POINT;
  const fs::path systemPath = SystemPath(path);
  if (lock != LockKind::Hold)
    return ::CreateFileW(systemPath.c_str(), GENERIC_READ | (writable ? GENERIC_WRITE : 0),
                         ShareFor(lock), nullptr, disposition, flags, nullptr);
  // A hold: first as Guard, which fails while any other handle may write
  // or does not share reading; then a handle that keeps only the right to
  // delete, which every open not sharing deletion meets as a sharing
  // violation, while this process's own handles (which share deletion)
  // still open the file.
  HANDLE check = ::CreateFileW(systemPath.c_str(), GENERIC_READ | (writable ? GENERIC_WRITE : 0),
                               ShareFor(LockKind::Guard), nullptr, disposition, flags, nullptr);
  if (check == INVALID_HANDLE_VALUE) return check;
  HANDLE h = ::CreateFileW(systemPath.c_str(), DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD code = ::GetLastError();
  ::CloseHandle(check);
  ::SetLastError(code);
  return h;
}

bool HandleIdentity(HANDLE h, FileId& id) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(h, &info)) return Failed();
  id.volume = info.dwVolumeSerialNumber;
  id.index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

// A hidden name in path's folder, of the temporary-file form, for a file
// moved aside to be deleted.
fs::path AsideName(const fs::path& path) {
  static std::mt19937_64 gen(std::random_device{}() ^
                             (static_cast<uint64_t>(::GetCurrentProcessId()) << 32) ^
                             static_cast<uint64_t>(::GetTickCount64()));
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(gen()));
  return path.parent_path() / (std::string(".transdae-") + buf + ".tmp");
}

bool IsHeldError(DWORD code) {
  return code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION;
}

}  // namespace

int LastError() { return lastError; }
int WindowsErrorNumber(int err) {
  return err >= kWindowsErrorBase ? err - kWindowsErrorBase : -1;
}
int ErrorFromSystemCode(int code) { return FromWindows(static_cast<DWORD>(code)); }



bool File::Open(const fs::path& path, OpenMode mode, LockKind lock, unsigned) {
  Close();
  DWORD disposition = OPEN_EXISTING;
  switch (mode) {
    case OpenMode::ReadWrite:
    case OpenMode::ReadWriteNoFollow:
    case OpenMode::ReadOnly: break;
    case OpenMode::CreateNew: disposition = CREATE_NEW; break;
    case OpenMode::CreateOrTruncate:
      // The old name goes first and the file is made new: a link put at
      // the name is removed, never written through.
      if (!RemoveOwnFile(path)) return false;
      disposition = CREATE_NEW;
      break;
  }
  const bool writable = mode != OpenMode::ReadOnly;
  const bool noFollow = mode == OpenMode::ReadWriteNoFollow;
  HANDLE h = OpenHandle(path, writable, disposition, lock, noFollow);
  if (h == INVALID_HANDLE_VALUE) return FailedAt(path);
  if (::GetFileType(h) != FILE_TYPE_DISK) {
    ::CloseHandle(h);
    return FailedWith(EINVAL);
  }
  if (noFollow) {
    // The reparse point itself was opened: it is no file of this name.
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(h, &info)) {
      Failed();
      const int err = lastError;
      ::CloseHandle(h);
      return FailedWith(err);
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      ::CloseHandle(h);
      return FailedWith(ELOOP);
    }
  }
  handle_ = Native(h);
  locked_ = lock;
  writable_ = writable;
  appendAt_ = 0;
  path_ = path;
  return true;
}

void File::Close() {
  if (handle_ != kNoHandle) {
    ::CloseHandle(H(handle_));
    handle_ = kNoHandle;
    locked_ = LockKind::None;
    writable_ = false;
  }
}

namespace {
// The position of a read or write, given with the call so that no file
// pointer is shared between threads.
OVERLAPPED At(uint64_t pos) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(pos & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(pos >> 32);
  return at;
}
}  // namespace

long long File::ReadAt(uint64_t offset, void* buffer, size_t size) const {
  auto* p = static_cast<unsigned char*>(buffer);
  size_t done = 0;
  while (done < size) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30));
    OVERLAPPED at = At(offset + done);
    DWORD got = 0;
    if (!::ReadFile(H(handle_), p + done, chunk, &got, &at)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) break;
      Failed();
      return -1;
    }
    if (got == 0) break;
    done += got;
  }
  return static_cast<long long>(done);
}

bool File::ReadExactly(uint64_t offset, void* buffer, size_t size) const {
  long long n = ReadAt(offset, buffer, size);
  if (n < 0) return false;
  if (static_cast<size_t>(n) != size) return FailedWith(EIO);
  return true;
}

bool File::WriteAt(uint64_t offset, const void* data, size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  size_t done = 0;
  while (done < size) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30));
    OVERLAPPED at = At(offset + done);
    DWORD put = 0;
    if (!::WriteFile(H(handle_), p + done, chunk, &put, &at)) return Failed();
    if (put == 0) return FailedWith(EIO);
    done += put;
  }
  return true;
}

bool File::Sync() {
  if (!::FlushFileBuffers(H(handle_))) return Failed();
  return true;
}

bool File::Truncate(uint64_t size) {
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(size);
  if (!::SetFilePointerEx(H(handle_), to, nullptr, FILE_BEGIN)) return Failed();
  if (!::SetEndOfFile(H(handle_))) return Failed();
  return true;
}

bool File::Size(uint64_t& size) const {
  LARGE_INTEGER s;
  if (!::GetFileSizeEx(H(handle_), &s)) return Failed();
  size = static_cast<uint64_t>(s.QuadPart);
  return true;
}

bool File::IsRegularFile() const {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(H(handle_), &info)) return Failed();
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool File::Identity(FileId& id) const { return HandleIdentity(H(handle_), id); }

bool File::NameCount(uint64_t& count) const {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(H(handle_), &info)) return Failed();
  count = info.nNumberOfLinks;
  return true;
}

bool File::TryLock(LockKind kind) {
  if (kind == locked_) return true;
  // A sharing mode is fixed when a handle is opened: the file is opened
  // again with the new one. Our own handle would conflict with the new
  // open, so it goes first; when the new open fails the file is opened
  // again as it was.
  FileId before;
  if (!HandleIdentity(H(handle_), before)) return false;
  ::CloseHandle(H(handle_));
  handle_ = kNoHandle;
  HANDLE h = OpenHandle(path_, writable_, OPEN_EXISTING, kind);
  FileId after;
  if (h != INVALID_HANDLE_VALUE && HandleIdentity(h, after) && after == before) {
    handle_ = Native(h);
    locked_ = kind;
    return true;
  }
  int err = h == INVALID_HANDLE_VALUE ? (Failed(), lastError) : EAGAIN;
  if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  h = OpenHandle(path_, writable_, OPEN_EXISTING, locked_);
  if (h != INVALID_HANDLE_VALUE && HandleIdentity(h, after) && after == before) {
    handle_ = Native(h);
  } else {
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    locked_ = LockKind::None;
    writable_ = false;
  }
  return FailedWith(err);
}

long ProcessId() { return static_cast<long>(::GetCurrentProcessId()); }

PathStatus Status(const fs::path& path) {
  PathStatus s;
  const DWORD attrs = ::GetFileAttributesW(SystemPath(path).c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES) {
    FailedAt(path);
    return s;
  }
  s.exists = true;
  s.isLink = (attrs & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  s.isFolder = !s.isLink && (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
  s.isRegular = !s.isLink && !s.isFolder;
  s.readOnly = s.isRegular && (attrs & FILE_ATTRIBUTE_READONLY) != 0;
  s.linkCount = 1;
  // The number of names, from the file itself (never through a link).
  HANDLE h = ::CreateFileW(SystemPath(path).c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING,
                           FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileInformationByHandle(h, &info)) s.linkCount = info.nNumberOfLinks;
    ::CloseHandle(h);
  }
  return s;
}

bool Identity(const fs::path& path, FileId& id) {
  HANDLE h = ::CreateFileW(SystemPath(path).c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return Failed();
  const bool ok = HandleIdentity(h, id);
  ::CloseHandle(h);
  return ok;
}

std::string LinkTarget(const fs::path& path) {
  std::error_code ec;
  const fs::path target = fs::read_symlink(path, ec);
  return ec ? std::string() : PathText(target);
}

fs::path SystemPath(const fs::path& path) {
  const std::wstring& given = path.native();
  if (given.rfind(L"\\\\?\\", 0) == 0 || given.rfind(L"\\\\.\\", 0) == 0) return path;
  // Short paths go as they are: the system takes them in every form.
  constexpr size_t kShortLimit = 248;  // a folder's limit (MAX_PATH - 12)
  if (given.size() < kShortLimit && path.is_absolute()) return path;
  // The full path, '/' turned into backslashes and "." and ".." resolved, as
  // the extended form requires (the system no longer does it for that form).
  const DWORD need = ::GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
  if (need == 0) return path;
  std::wstring full(need, L'\0');
  const DWORD got = ::GetFullPathNameW(given.c_str(), need, full.data(), nullptr);
  if (got == 0 || got >= need) return path;
  full.resize(got);
  if (full.size() < kShortLimit) return path;
  if (full.rfind(L"\\\\", 0) == 0) return fs::path(L"\\\\?\\UNC\\" + full.substr(2));
  if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return fs::path(L"\\\\?\\" + full);
  return path;
}

bool IsFolder(const fs::path& path) {
  const DWORD attrs = ::GetFileAttributesW(SystemPath(path).c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES) return FailedAt(path);
  if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) return FailedWith(ENOTDIR);
  return true;
}

bool ListFolder(const fs::path& folder, std::vector<fs::path>& names) {
  names.clear();
  const fs::path pattern = SystemPath(folder.empty() ? fs::path(L".") : folder) / L"*";
  WIN32_FIND_DATAW found;
  HANDLE h = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                nullptr, 0);
  if (h == INVALID_HANDLE_VALUE) {
    // An empty folder has at least "." and ".."; no entry at all means
    // the folder could not be read (a drive's root excepted).
    if (::GetLastError() == ERROR_FILE_NOT_FOUND) return true;
    return FailedAt(folder);
  }
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.emplace_back(name);
  } while (::FindNextFileW(h, &found));
  const DWORD code = ::GetLastError();
  ::FindClose(h);
  if (code != ERROR_NO_MORE_FILES) {
    ::SetLastError(code);
    return Failed();
  }
  return true;
}

bool CreateFolder(const fs::path& path) {
  if (::CreateDirectoryW(SystemPath(path).c_str(), nullptr)) return true;
  return FailedAt(path);
}

bool RemoveFolder(const fs::path& path) {
  if (::RemoveDirectoryW(SystemPath(path).c_str())) return true;
  return Failed();
}

bool Exists(const fs::path& path) {
  return ::GetFileAttributesW(SystemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool RemoveFile(const fs::path& path) {
  const DWORD attrs = ::GetFileAttributesW(SystemPath(path).c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return true;
    return Failed();
  }
  if ((attrs & FILE_ATTRIBUTE_DIRECTORY) && !(attrs & FILE_ATTRIBUTE_REPARSE_POINT))
    return FailedWith(EISDIR);
  // Moved aside first, so that the name is free at once even when handles
  // of this process still have the file open (it goes when they close).
  const fs::path aside = AsideName(path);
  if (!::MoveFileExW(SystemPath(path).c_str(), SystemPath(aside).c_str(), 0)) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_FILE_NOT_FOUND) return true;
    if (code != ERROR_SHARING_VIOLATION && ::DeleteFileW(SystemPath(path).c_str())) return true;
    ::SetLastError(code);
    return Failed();
  }
  if (::DeleteFileW(SystemPath(aside).c_str())) return true;
  const DWORD code = ::GetLastError();
  ::MoveFileExW(SystemPath(aside).c_str(), SystemPath(path).c_str(), 0);  // as it was
  ::SetLastError(code);
  return Failed();
}

bool ClearReadOnlyMark(const fs::path& path) {
  const DWORD attrs = ::GetFileAttributesW(SystemPath(path).c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return true;
    return Failed();
  }
  if (!(attrs & FILE_ATTRIBUTE_READONLY)) return true;
  // A link (or a folder) keeps its attributes.
  if (attrs & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) return FailedWith(EACCES);
  if (!::SetFileAttributesW(SystemPath(path).c_str(), attrs & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)))
    return Failed();
  return true;
}

bool RemoveOwnFile(const fs::path& path) {
  // Windows refuses to delete a read-only file; the mark goes first, and
  // comes back when the file cannot go all the same.
  const DWORD attrs = ::GetFileAttributesW(SystemPath(path).c_str());
  const bool marked = attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY) &&
                      !(attrs & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY));
  if (marked) ClearReadOnlyMark(path);
  if (RemoveFile(path)) return true;
  const int err = lastError;
  if (marked) ::SetFileAttributesW(SystemPath(path).c_str(), attrs);
  return FailedWith(err);
}

bool RenameFile(const fs::path& from, const fs::path& to) {
  constexpr DWORD kFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  if (::MoveFileExW(SystemPath(from).c_str(), SystemPath(to).c_str(), kFlags)) return true;
  const DWORD code = ::GetLastError();
  // Only a plain file goes aside: a folder (or anything else) in the
  // target's place stays where it is and the rename fails, as on POSIX.
  const PathStatus target = Status(to);
  if (target.isFolder && code == ERROR_ACCESS_DENIED) return FailedWith(EISDIR);
  if (!IsHeldError(code) || !target.isRegular || !Exists(from)) {
    ::SetLastError(code);
    return Failed();
  }
  // The target is open (by this process, sharing deletion): Windows does
  // not rename over an open file, but lets its name move. The old file
  // goes aside, the new one takes the name, the old one is deleted.
  fs::path aside = to;
  aside += kReplacedSuffix;
  RemoveOwnFile(aside);  // left by an earlier crash while `to` stood
  if (!::MoveFileExW(SystemPath(to).c_str(), SystemPath(aside).c_str(), MOVEFILE_WRITE_THROUGH)) {
    // Another program holds the target without sharing its deletion: say
    // so rather than "access denied".
    const DWORD asideCode = ::GetLastError();
    ::SetLastError(asideCode == ERROR_SHARING_VIOLATION ? asideCode : code);
    return Failed();
  }
  if (!::MoveFileExW(SystemPath(from).c_str(), SystemPath(to).c_str(), kFlags)) {
    const DWORD again = ::GetLastError();
    ::MoveFileExW(SystemPath(aside).c_str(), SystemPath(to).c_str(), MOVEFILE_WRITE_THROUGH);  // as it was
    ::SetLastError(again);
    return Failed();
  }
  // A read-only table moved aside keeps its mark: it is taken off, so
  // that the old file goes now (a failure leaves it for RecoverReplaced).
  RemoveOwnFile(aside);
  return true;
}

void RecoverReplaced(const fs::path& to) {
  fs::path aside = to;
  aside += kReplacedSuffix;
  if (!Exists(aside)) return;
  if (Exists(to)) {
    RemoveOwnFile(aside);
  } else {
    ::MoveFileExW(SystemPath(aside).c_str(), SystemPath(to).c_str(), MOVEFILE_WRITE_THROUGH);
  }
}

bool SyncFolder(const fs::path&) { return true; }

bool EnvironmentPath(const char* name, fs::path& value) {
  std::wstring wide;
  for (const char* c = name; *c; ++c) wide += static_cast<wchar_t>(*c);  // ASCII names
  const wchar_t* v = ::_wgetenv(wide.c_str());
  if (!v || !*v) return false;
  value = fs::path(std::wstring(v));
  return true;
}

fs::path StandardWorkFolder() {
  std::error_code ec;
  const fs::path cwd = fs::current_path(ec);
  return (ec ? fs::path(L"C:\\") : cwd.root_path()) / L"QTEMP";
}

std::tm LocalTime(std::time_t t) {
  std::tm tm{};
  ::localtime_s(&tm, &t);
  return tm;
}

}  // namespace store::os
#endif  // _WIN32
