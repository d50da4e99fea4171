// The tool's only door to the operating system's files.
//
// Every file call (open, read, write, sync, lock, rename, delete, folder
// sync, what a name is on disk) goes through this header, so that the
// code above it is the same on every system. os_file_posix.cpp is the
// POSIX side, os_file_win32.cpp the Windows side. Calls report failure by
// their result and an error number (LastError()), which
// store::SystemErrorText words in Spanish.
//
// Error numbers are errno values on every system: the Windows side turns
// its system codes into the errno value of the same meaning (a sharing or
// lock violation into the "busy" value that IsWouldBlock tells), and
// keeps the codes without one distinguishable (WindowsErrorNumber), so
// that SystemErrorText still words them.
//
// Locks are what other programs see. On POSIX: advisory whole-file locks
// of both families (flock and record locks, os_file_lock_posix.h). On Windows:
// the sharing mode of the handle. An exclusive file shares nothing but
// deletion, a shared one lets others read and write, an unlocked one lets
// others do anything; another program's conflicting open then fails with
// a sharing violation, and ours reports "busy" when another program holds
// the file. Every handle shares deletion, so that this process can delete
// a table or put a new one in its place while objects of its own still
// hold the old one, as on POSIX (see RemoveFile and RenameFile).
#pragma once
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace store::os {

enum class OpenMode {
  ReadWrite,       // existing file, read and write
  ReadOnly,        // existing file, read only
  CreateNew,       // a new file that must not exist yet (nor a link at its
                   // name), read and write
  CreateOrTruncate, // a new file in place of whatever had the name (which
                    // is removed, not written through, a read-only mark
                    // on it no obstacle), read and write
  ReadWriteNoFollow  // existing file at this very name, read and write: a
                     // symbolic link (or other reparse point) there is not
                     // followed, the open fails with ELOOP
};

enum class LockKind {
  None,
  Shared,     // others may read and write, nobody locks exclusively
  Exclusive,  // nobody else reads, writes or locks
  Guard,      // nobody else writes or locks; readers may still read (the
              // tool's own copies of a table it holds). On POSIX the same
              // as Exclusive (advisory locks do not stop reading).
  Hold,       // taken as Guard (so it fails while anyone else has the file
              // open for writing), then kept so that other programs still
              // cannot open or lock the file while this process's own
              // objects can. On POSIX the same as Exclusive (the store
              // knows which files it holds, see table_file_lock.h); on
              // Windows a handle with only the right to delete, shared
              // for everything: every open that does not share deletion
              // (as the timetabling product's) fails against it. Such a
              // file can be neither read nor written through this object.
};

// The number of the last failed call of this thread (an errno value).
int LastError();
// Error numbers the store tests for.
bool IsNotFound(int err);
bool IsWouldBlock(int err);  // another holder conflicts (lock, sharing)
bool IsAccessDenied(int err);
bool IsAlreadyExists(int err);
// A Windows system code without an errno value of its own is kept as
// kWindowsErrorBase + code; this gives the code back (-1 for others).
inline constexpr int kWindowsErrorBase = 0x10000;
int WindowsErrorNumber(int err);
// The Windows code of a path on a drive that does not exist
// (ERROR_INVALID_DRIVE), kept apart from other "not found" errors so that
// its reason is told; IsNotFound holds for it.
inline constexpr int kMissingDrive = 15;
// The error number for a system's own code as std::error_code's
// system_category carries it (errno on POSIX, GetLastError() values on
// Windows).
int ErrorFromSystemCode(int code);

// The identity of a file, the same for every name and spelling it has:
// device and inode on POSIX, volume serial and file index on Windows.
struct FileId {
  uint64_t volume = 0;
  uint64_t index = 0;
  bool operator==(const FileId&) const = default;
  bool operator<(const FileId& o) const {
    return volume != o.volume ? volume < o.volume : index < o.index;
  }
};

class File {
 public:
  File() = default;
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;

  // False on failure (LastError() tells why; IsWouldBlock when another
  // program holds the file against the lock asked for). The lock is taken
  // with the open (no window between them on Windows). Files are always
  // binary. `permissions` applies to files made here (POSIX mode bits;
  // ignored on Windows).
  bool Open(const std::filesystem::path& path, OpenMode mode, LockKind lock = LockKind::None,
            unsigned permissions = 0666);
  void Close();
  bool IsOpen() const { return handle_ != kNoHandle; }
  bool Writable() const { return writable_; }

  // Reads up to size bytes at offset; the number read (short at the end of
  // the file), -1 on error.
  long long ReadAt(uint64_t offset, void* buffer, size_t size) const;
  // Reads exactly size bytes; false on error or when the file is shorter.
  bool ReadExactly(uint64_t offset, void* buffer, size_t size) const;
  // Writes all size bytes; false on error.
  bool WriteAt(uint64_t offset, const void* data, size_t size);
  // Writes all size bytes after what WriteAll wrote before (from offset 0
  // after Open); false on error.
  bool WriteAll(const void* data, size_t size);
  bool WriteAll(const std::string& bytes) { return WriteAll(bytes.data(), bytes.size()); }
  bool Sync();
  bool Truncate(uint64_t size);
  // Size of the open file; false on error.
  bool Size(uint64_t& size) const;
  bool IsRegularFile() const;
  bool Identity(FileId& id) const;
  // The number of names (hard links) the open file has.
  bool NameCount(uint64_t& count) const;
  // Takes, changes or drops the lock without waiting. False with
  // IsWouldBlock(LastError()) when another holder conflicts; the lock held
  // before is kept then. On Windows the handle is opened again with the
  // new sharing mode (and with the old one when that fails); should that
  // fail too, the file is closed.
  bool TryLock(LockKind kind);
  LockKind Lock() const { return locked_; }

 private:
  static constexpr std::intptr_t kNoHandle = -1;
  std::intptr_t handle_ = kNoHandle;  // a descriptor or a HANDLE
  LockKind locked_ = LockKind::None;
  bool writable_ = false;
  uint64_t appendAt_ = 0;
  std::filesystem::path path_;  // for opening again (Windows)
};

// The number of this process (a child made by fork has its own).
long ProcessId();

// What is at a name; a link is not followed.
struct PathStatus {
  bool exists = false;
  bool isRegular = false;  // a plain file (not a link)
  bool isFolder = false;
  bool isLink = false;     // a symbolic link or another reparse point
  uint64_t linkCount = 0;  // names of a plain file (hard links)
  bool readOnly = false;   // a plain file marked read-only: the read-only
                           // attribute on Windows; on POSIX no write
                           // permission for anyone (chmod a-w)
};
PathStatus Status(const std::filesystem::path& path);
// The identity of the file at path (a link is followed); false when it
// cannot be had.
bool Identity(const std::filesystem::path& path, FileId& id);
// The target of a symbolic link as text (UTF-8), "" when unknown.
std::string LinkTarget(const std::filesystem::path& path);

// The form of path that the system's own calls take, whatever its length.
// On Windows a full path of 248 characters or more (a folder's limit; 260
// for a file) is given in its extended form ("\\?\C:\..." or
// "\\?\UNC\server\share\..."), made absolute and with '\' separators,
// which the system takes up to 32,767 characters; shorter paths go as they
// are. Every call of the Windows side passes its paths through it. On POSIX
// the path itself.
std::filesystem::path SystemPath(const std::filesystem::path& path);

// Folder and name operations.
bool Exists(const std::filesystem::path& path);
// True when path is a folder, a link to one followed (the DAE folder, the
// work folder may be links).
bool IsFolder(const std::filesystem::path& path);
// The names of the entries of a folder ("." and ".." left out), in no
// particular order, each a path of its last component only. False with
// LastError() when the folder cannot be read.
bool ListFolder(const std::filesystem::path& folder, std::vector<std::filesystem::path>& names);
// Makes a new folder; false with IsAlreadyExists(LastError()) when the
// name is taken (by a folder or anything else).
bool CreateFolder(const std::filesystem::path& path);
// Makes a folder and every missing folder above it; true when it is a
// folder already.
bool CreateFolders(const std::filesystem::path& path);
// Removes an empty folder (a link in its place is not followed).
bool RemoveFolder(const std::filesystem::path& path);
// Removes a file (true also when missing). On Windows a file that objects
// of this process hold open still loses its name at once (it is moved
// aside under a hidden name and goes when the last of them closes it).
bool RemoveFile(const std::filesystem::path& path);
// Removes a file of this tool's own (its staging, journal, record and
// temporary names): a read-only mark that someone or a moved-aside table
// put on it is taken off first, so that it never blocks a later run.
bool RemoveOwnFile(const std::filesystem::path& path);
// Takes a read-only mark off a plain file of this tool's own (the Windows
// attribute; on POSIX the owner's write permission), so that it can be
// opened for writing. A link at the name is left alone. True when the file
// is writable or missing.
bool ClearReadOnlyMark(const std::filesystem::path& path);
// Renames from over to (replacing it). The replacement reaches the disk
// before the call returns on Windows; on POSIX SyncFolder does that. On
// Windows a target that objects of this process hold open cannot be
// renamed over: it is first moved aside to "<to>.transdae-old", then from
// takes its name, then the old file is deleted. A crash between those
// steps leaves "<to>.transdae-old" for RecoverReplaced.
bool RenameFile(const std::filesystem::path& from, const std::filesystem::path& to);
// Finishes what a RenameFile cut short by a crash left at `to`: the old
// file goes back to its name when nothing took it, else it is deleted.
// Nothing to do on POSIX (rename is one step there).
void RecoverReplaced(const std::filesystem::path& to);
inline constexpr const char* kReplacedSuffix = ".transdae-old";
// Makes a folder's entries (created, renamed, deleted files) durable.
// Nothing to do on Windows (RenameFile writes through).
bool SyncFolder(const std::filesystem::path& folder);

// The value of an environment variable as a path (read as UTF-16 on
// Windows, so that every character survives); false when unset or empty.
bool EnvironmentPath(const char* name, std::filesystem::path& value);
// Where the work folder is when nothing names it: "\QTEMP" of the
// current drive on Windows, $HOME/QTEMP elsewhere.
std::filesystem::path StandardWorkFolder();

// The local time of t, as localtime_r/localtime_s give it.
std::tm LocalTime(std::time_t t);

}  // namespace store::os
