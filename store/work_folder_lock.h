// One run at a time changes a work folder.
//
// Every run that may change the tables of a work folder (an import, an
// export, a restore) first takes the folder: it locks the file
// "<work folder>/.transdae-en-uso" (made by the first run that needs it
// and then kept, never deleted, so that two runs never lock two different
// files of that name). While one run has it, a second run on the same
// folder waits a little and then stops with a message before it has read,
// settled or changed anything: it never touches the first run's staging
// files or copy folder. The lock is the system's (whole-file locks on
// POSIX, a handle that shares nothing on Windows), so a killed run lets go
// of it at once.
#pragma once
#include <filesystem>

#include "store/os_file.h"

namespace store {

inline constexpr const char* kWorkFolderLockName = ".transdae-en-uso";

class WorkFolderLock {
 public:
  // Takes `folder` (made if missing), waiting up to `waitMs` milliseconds
  // for another run to end. Throws StoreError in Spanish naming the folder
  // when it stays taken or the lock file cannot be used. A folder where no
  // file can be made (no permission, a read-only disk) is not taken: no
  // run of this user can change it.
  explicit WorkFolderLock(const std::filesystem::path& folder, int waitMs = 3000);
  WorkFolderLock(const WorkFolderLock&) = delete;
  WorkFolderLock& operator=(const WorkFolderLock&) = delete;

 private:
  os::File file_;
};

}  // namespace store
