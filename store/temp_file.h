// Temporary files written beside a target and then renamed over it.
//
// A temporary file gets a name that no other file has:
//
//   .transdae-<16 hexadecimal digits>.tmp
//
// drawn at random and created only if absent (os::OpenMode::CreateNew), so
// a file, a hard link or a symbolic link that someone put in the folder is
// never opened, let alone written through. While its writer lives the file
// is held (an advisory lock on POSIX, a sharing mode on Windows); a file of
// that name form that nobody holds was left by a writer that was killed,
// and the next writer in the same folder removes it (RemoveStaleTempFiles).
#pragma once
#include <filesystem>
#include <string>

#include "store/os_file.h"

namespace store {

// True for a name of the form above.
bool IsTempFileName(const std::string& name);

// A new temporary file in `folder`, open in `file` (read and write,
// locked against every other program: LockKind::Exclusive), its name in
// `path`. False with os::LastError() set. `mode` is the permission asked
// for at creation (POSIX).
bool CreateTempFile(const std::filesystem::path& folder, std::filesystem::path& path,
                    os::File& file, unsigned mode = 0666);

// Removes the temporary files of `folder` that no living writer holds.
// Errors are ignored: a file that cannot go stays for a later run.
void RemoveStaleTempFiles(const std::filesystem::path& folder);

// Writes bytes to a new temporary file in target's folder, flushes it to the
// disk and renames it over target, or leaves target as it was. A target
// that exists passes on what replaced_file.h keeps (permission bits,
// hidden and system attributes); a new one is made with `mode`. Returns 0 or
// the error number (os::LastError()) of the step that failed (the temporary is removed then).
int ReplaceFileAtomically(const std::filesystem::path& target, const std::string& bytes,
                          unsigned mode = 0666);

}  // namespace store
