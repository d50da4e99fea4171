#include "chain/main_tables.h"

namespace chain {

namespace {
void Declare(store::Table& t, const std::filesystem::path& folder,
             const char* name, const char* index, bool exclusive) {
  t.SetDatabaseName(folder);
  t.SetTableName(name);
  t.SetIndexName(index);
  t.SetExclusive(exclusive);
}
}  // namespace

MainTables::MainTables(const std::filesystem::path& workFolder) {
  Declare(wwTableNomAsg, workFolder, "ASIGNOMT", "", true);
  Declare(wwTableGrupos, workFolder, "GRUPOST", "", true);
  Declare(wwTableProfesor, workFolder, "PROFT", "ABREV", true);
  Declare(wwTableSoluc, workFolder, "SOLUC", "", true);
  Declare(wwTableCentro, workFolder, "daeCENTRO.DBF", "", false);
  Declare(wwTableNIVIMP, workFolder, "daeNIVIMP.DBF", "", false);
}

void MainTables::CloseAll() {
  for (store::Table* t : {&wwTableNomAsg, &wwTableGrupos, &wwTableProfesor,
                          &wwTableSoluc, &wwTableCentro, &wwTableNIVIMP})
    if (t->Active()) t->Close();
}

}  // namespace chain
