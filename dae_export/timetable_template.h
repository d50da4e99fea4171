// The centre's timetable template PLANTILLA and the export's first step.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "chain/main_tables.h"
#include "chain/step_context.h"

namespace dae_export {

// One period of the template: its number and its clock times.
struct TemplateRow {
  int hora = 0;
  std::string horaIni;
  std::string horaFin;
};

// The twenty periods a new template starts with.
std::vector<TemplateRow> DefaultTemplateRows();

// Creates PLANTILLA with its tag HORA and the twenty default rows when the
// file does not exist; otherwise touches nothing.
void EnsurePlantilla(const std::filesystem::path& workFolder);

// Ensures the template, shows the template window, sets the busy cursor;
// creates a missing daeCENTRO, sets the workflow flag to 1 and opens the
// centre panel.
void PlantillaCentro(chain::StepContext& ctx, chain::MainTables& t);

}  // namespace dae_export
