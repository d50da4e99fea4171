// Table files that are links.
//
// A .DBF or .MDX whose name in the work folder is a symbolic link, or a
// file with more than one name (a hard link), shares its bytes with a file
// elsewhere: writing it in place would change that other file, and
// replacing it would silently cut the link. The tool does neither: such a
// table can still be read, but every change to it (records, index,
// replacement, deletion) is refused with a message naming it. The work
// folder itself may be a link; only the table's own names are looked at.
#pragma once
#include <filesystem>
#include <string>

namespace store {

// The message for a file that is a link at a table's name ("" when it is
// a plain file or does not exist). label names the table ("PROFT.DBF").
std::string LinkedFileProblem(const std::filesystem::path& file, const std::string& label);

// The same for a table's .DBF and then its production index (.MDX of the
// same base name beside it, found without regard to letter case).
std::string LinkedTableProblem(const std::filesystem::path& dbfPath, const std::string& label);

// Throw StoreError with that message when there is a problem.
void RefuseLinkedTableFile(const std::filesystem::path& file, const std::string& label);
void RefuseLinkedTable(const std::filesystem::path& dbfPath, const std::string& label);

}  // namespace store
