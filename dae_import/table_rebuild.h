// Rebuilding a table of the work folder from nothing: the table is created
// from its list of fields, in order, none required, and of index tags, if
// it has any, beside the old one. The table object is left closed, ready to
// be opened; the new table replaces the old one (its .DBF and .MDX, letter
// case ignored) when the object closes, or is dropped if a failure
// discards the object first.
#pragma once
#include <filesystem>
#include <string>

#include "store/field_def.h"
#include "store/table.h"

namespace dae_import {

// A character field of the given width.
store::FieldDef StringField(const std::string& name, int width);
// A logical field.
store::FieldDef BooleanField(const std::string& name);

// `name` without extension ("ASIGNOMT").
void RebuildTable(store::Table& table, const std::filesystem::path& workFolder,
                  const std::string& name, const store::FieldDefs& fields,
                  const store::IndexDefs& tags = {});

// Sets folder and name ("daeTIPTAR" gets ".DBF") on a closed object.
void NameTable(store::Table& table, const std::filesystem::path& workFolder,
               const std::string& name);

}  // namespace dae_import
