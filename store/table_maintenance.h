// Upkeep of a closed table: packing away deleted records and making its
// production index anew.
#pragma once
#include <filesystem>

#include "store/field_def.h"

namespace store {

// Rewrites the table without its deleted records (the new file replaces
// the old one whole) and rebuilds its index when it has one. Throws
// StoreError when the table is open in this process or in another program.
void PackTable(const std::filesystem::path& dbfPath, const IndexDefs& fallbackTags);

// Makes the production index anew from the live records: with the tags of
// the existing index when it can be read, else with fallbackTags. Sets the
// table's production-index flag.
void RebuildTableIndex(const std::filesystem::path& dbfPath, const IndexDefs& fallbackTags);

}  // namespace store
