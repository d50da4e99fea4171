// The timetable template window's logic: the grid on PLANTILLA opens the
// table and puts the current row into edit state when it gains the focus,
// stores a pending row when it loses it, and "Aceptar" closes the table.
#include "dae_export/control_plantilla.h"

#include "dae_export/clock_time_check.h"
#include "store/cp1252.h"

namespace dae_export {

namespace {
bool Editing(const store::Table& t) {
  return t.State() == store::DataSetState::Edit ||
         t.State() == store::DataSetState::Insert;
}
}  // namespace

ControlPlantilla::ControlPlantilla(const std::filesystem::path& workFolder) {
  wwTablePlantilla.SetDatabaseName(workFolder);
  wwTablePlantilla.SetTableName("plantilla");
}

ControlPlantilla::~ControlPlantilla() {
  try {
    if (wwTablePlantilla.Active()) wwTablePlantilla.Close();
  } catch (...) {
  }
}

void ControlPlantilla::PlantiHorDBGridEnter() {
  if (!wwTablePlantilla.Active()) wwTablePlantilla.Open();
  if (!Editing(wwTablePlantilla)) wwTablePlantilla.Edit();
}

void ControlPlantilla::PlantiHorDBGridExit() {
  if (!wwTablePlantilla.Active() || !Editing(wwTablePlantilla)) return;
  // The grid adds no rows: a row that entering an empty template started
  // and nobody filled is dropped instead of being stored blank.
  if (wwTablePlantilla.State() == store::DataSetState::Insert &&
      !wwTablePlantilla.Modified()) {
    wwTablePlantilla.Cancel();
    return;
  }
  wwTablePlantilla.Post();
}

void ControlPlantilla::BitBtn1Click() {
  if (wwTablePlantilla.Active()) wwTablePlantilla.Close();
}

std::string ControlPlantilla::TypedValueProblem(const std::string& field,
                                                const std::string& value) {
  const std::string name = store::Cp1252Upper(field);
  if (name == "HORAINI" || name == "HORAFIN") return ClockTimeProblem(value, false);
  return {};
}

}  // namespace dae_export
