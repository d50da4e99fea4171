#include "dae_import/table_rebuild.h"

#include "store/work_folder.h"

namespace dae_import {

store::FieldDef StringField(const std::string& name, int width) {
  store::FieldDef f;
  f.name = name;
  f.type = store::FieldType::String;
  f.width = width;
  return f;
}

store::FieldDef BooleanField(const std::string& name) {
  store::FieldDef f;
  f.name = name;
  f.type = store::FieldType::Boolean;
  f.width = 1;
  return f;
}

void NameTable(store::Table& table, const std::filesystem::path& workFolder,
               const std::string& name) {
  table.SetDatabaseName(workFolder);
  table.SetTableName(name + ".DBF");
}

void RebuildTable(store::Table& table, const std::filesystem::path& workFolder,
                  const std::string& name, const store::FieldDefs& fields,
                  const store::IndexDefs& tags) {
  // The new table is built beside the old one, which stays (for other
  // programs too) until `table` closes with the new one complete; an index
  // that the new table lacks goes with the old table then.
  NameTable(table, workFolder, name);
  table.FieldDefsList().clear();
  for (const store::FieldDef& f : fields) table.FieldDefsList().push_back(f);
  table.IndexDefsList().clear();
  for (const store::IndexDef& t : tags) table.IndexDefsList().push_back(t);
  table.CreateTable();
}

}  // namespace dae_import
