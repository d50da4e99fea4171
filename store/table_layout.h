// How field and index definitions become the columns of a .DBF file and
// the tags of its production index.
//
// Field names are stored upper case and cut to 10 characters (the limit of
// a dBase field descriptor); a longer name still finds its field by its
// first 10 characters. ftString becomes a character column of its width
// (1..254), ftInteger a numeric column of width 11 without decimals,
// ftBoolean a logical column of width 1. Each tag orders by its single
// field: a character tag's key length is the field width; a numeric field
// gets a numeric tag.
#pragma once
#include <string>
#include <vector>

#include "store/dbf_file.h"
#include "store/field_def.h"
#include "store/mdx_file.h"

namespace store {

constexpr int kIntegerFieldWidth = 11;

// Throws StoreError naming the table when a definition cannot be stored.
std::vector<DbfField> LayoutFields(const FieldDefs& defs, const std::string& label);
// Marks the fields that get a tag.
std::vector<MdxTagDef> LayoutTags(std::vector<DbfField>& fields, const IndexDefs& defs,
                                  const std::string& label);

}  // namespace store
