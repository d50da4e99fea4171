#include "app/index_repair.h"

#include "dae_export/record_tables.h"
#include "store/cp1252.h"
#include "store/path_text.h"
#include "store/table.h"

namespace app {

namespace {

// The tags the tool gives each of its own indexed tables; used when the old
// index cannot be read at all.
const store::IndexDefs* OwnTags(const std::string& stem) {
  static const store::IndexDefs plantilla = {{"HORA", "HORA"}};
  const std::string upper = store::Cp1252Upper(stem);
  if (upper == "PLANTILLA") return &plantilla;
  if (upper == "CUADROH2") return &dae_export::CuadroH2Tags();
  if (upper == "CUADROH3") return &dae_export::CuadroH3Tags();
  return nullptr;
}

}  // namespace

std::string RebuildIndexQuestion(const std::string& error, const std::string& label) {
  return error + "\r¿Desea reconstruir el índice de la tabla '" + label +
         "' a partir de sus registros y volver a intentarlo?";
}

bool IsOwnIndexedTable(const store::IndexError& e) {
  return OwnTags(store::FileNameText(e.TablePath().stem())) != nullptr;
}

bool OfferIndexRebuild(chain::UserInterface& ui, const store::IndexError& e, chain::MainTables& tables) {
  const store::IndexDefs* tags = OwnTags(store::FileNameText(e.TablePath().stem()));
  if (!tags) return false;
  const std::string label = store::FileNameText(e.TablePath());
  ui.SetBusyCursor(false);
  if (ui.Ask(RebuildIndexQuestion(e.what(), label)) != chain::Answer::Yes) return false;
  tables.CloseAll();
  store::Table t;
  t.SetDatabaseName(e.TablePath().parent_path());
  t.SetTableName(store::FileNameText(e.TablePath()));
  t.IndexDefsList() = *tags;
  t.RebuildIndex();
  return true;
}

}  // namespace app
