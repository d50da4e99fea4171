// Subjects: fASIGNAT.txt and the task types become ASIGNOMT.
#pragma once
#include "app/step_context.h"

namespace dae_import {

void ImportaAsignaturas(app::StepContext& ctx);

}  // namespace dae_import
