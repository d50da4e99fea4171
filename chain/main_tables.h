// The table objects that the main window declares. They live as long as the
// window; the steps and the panels open and close them.
#pragma once
#include <filesystem>

#include "store/table.h"

namespace chain {

struct MainTables {
  store::Table wwTableNomAsg;    // "ASIGNOMT", exclusive
  store::Table wwTableGrupos;    // "GRUPOST", exclusive
  store::Table wwTableProfesor;  // "PROFT", index ABREV, exclusive
  store::Table wwTableSoluc;     // "SOLUC", exclusive
  store::Table wwTableCentro;    // "daeCENTRO.DBF"
  store::Table wwTableNIVIMP;    // "daeNIVIMP.DBF"

  // Sets folder, names, indexes and exclusive use as the window declares.
  explicit MainTables(const std::filesystem::path& workFolder);
  void CloseAll();
};

}  // namespace chain
