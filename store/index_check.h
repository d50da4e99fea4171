// Checking a production index against its table when the table is opened,
// and making it anew when it no longer matches.
//
// Other programs change dBase tables without keeping the .MDX in step
// (many writers do not maintain it at all), and a damaged byte can change
// a key while the B-tree still reads well. An index that is trusted in that
// state hides records from FindKey, so a step adds a record that is already
// there. The check costs one pass over the table and one walk of each tag:
//   - every entry points at an existing record, and no record twice;
//   - entries are in strictly increasing (key, record number) order;
//   - the key of an entry equals the key of its record;
//   - every live (not deleted) record has its entry.
// An entry for a deleted record is accepted when its key is its record's:
// dBase engines keep those entries, and readers skip them.
// Tags whose expression is not a plain field of the table are not checked.
#pragma once
#include <filesystem>
#include <memory>
#include <string>

#include "store/dbf_file.h"
#include "store/mdx_file.h"

namespace store {

// "" when the index matches the table; otherwise what was found first, in
// Spanish ("la etiqueta ABREV no tiene entrada para el registro 12").
std::string IndexMismatch(const DbfFile& dbf, const MdxFile& mdx);

// The index to use for the open table: mdx itself when it matches, else a
// new index made from the live records with the same tag definitions,
// written beside the old one and renamed over it; the user is told which
// table's index was rebuilt (Notify). dbf must be open with a lock; the
// rebuild needs it alone for a moment (the lock is raised to exclusive and
// set back). Throws IndexError naming the table when the index does not
// match and cannot be rebuilt (another program has the table open, the
// files are read-only or links).
std::unique_ptr<MdxFile> CheckedIndex(DbfFile& dbf, std::unique_ptr<MdxFile> mdx,
                                      const std::filesystem::path& mdxPath,
                                      const std::string& label);

// The notice given when the index of table `label` was rebuilt.
std::string IndexRebuiltNotice(const std::string& label);

}  // namespace store
