// The timetable expansion: SOLUC becomes the DAE records, then the coding
// window and the end of the export.
#pragma once
#include "app/main_tables.h"
#include "app/step_context.h"

namespace dae_export {

void Importar2(app::StepContext& ctx, app::MainTables& t);

}  // namespace dae_export
