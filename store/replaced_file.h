// What a file rewritten through a temporary keeps of the file it replaces,
// and whether the system lets it be replaced at all.
//
// A rewrite puts a new file in the old one's place, so what belongs to the
// file rather than to its bytes is carried over by hand. On POSIX that is
// the permission bits and, where the writer may, the owner and group; a
// file or folder without its owner's write bit counts as read-only, as a
// read-only attribute would. On Windows it is the hidden, system and
// archive attributes; a file with the read-only attribute is refused, and
// a folder that cannot take the temporary file says so when it is made
// (the read-only attribute of a folder means nothing there).
#pragma once
#include <filesystem>
#include <string>

namespace store::replaced_file {

// Why a new file cannot be made in `folder`, in Spanish; "" when nothing
// speaks against it.
std::string FolderRefusal(const std::filesystem::path& folder);

// Why the existing plain file cannot be replaced, in Spanish; "" when
// nothing speaks against it.
std::string FileRefusal(const std::filesystem::path& file);

struct Kept {
  bool fromFile = false;
  unsigned mode = 0;           // POSIX permission bits
  long long owner = -1, group = -1;
  unsigned long attributes = 0;  // Windows file attributes
};

// What the replacement of `file` keeps.
Kept KeptOf(const std::filesystem::path& file);
// What a file made where there was none gets (the process's defaults).
Kept ForNewFile();

// Gives the temporary file what is kept, before it is renamed into place.
// 0 or the error number (store::os::LastError() style).
int Apply(const std::filesystem::path& temp, const Kept& kept);

// Only the marks that hide a file from the user: the hidden and system
// attributes on Windows (a table the school hid stays hidden when a new
// one takes its place); nothing on POSIX, where a hidden file is one whose
// name starts with a dot. 0 or the error number.
int ApplyHidden(const std::filesystem::path& temp, const Kept& kept);

}  // namespace store::replaced_file
