// Subjects: fASIGNAT.txt and the task types become ASIGNOMT.
#pragma once
#include "chain/step_context.h"

namespace dae_import {

void ImportaAsignaturas(chain::StepContext& ctx);

}  // namespace dae_import
