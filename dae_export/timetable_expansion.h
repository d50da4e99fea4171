// The timetable expansion: SOLUC becomes the DAE records, then the coding
// window and the end of the export.
#pragma once
#include "chain/main_tables.h"
#include "chain/step_context.h"

namespace dae_export {

void Importar2(chain::StepContext& ctx, chain::MainTables& t);

}  // namespace dae_export
