// Subjects: fASIGNAT.txt and the task types become ASIGNOMT.
#pragma once
#include "chain/step_context.h"

namespace dae_import {

// How the message begins that stops the subjects import when no numbered
// abbreviation is left for a subject.
inline constexpr const char* kNoFreeSubjectCodeText = "No queda ninguna abreviatura libre";

void ImportaAsignaturas(chain::StepContext& ctx);

}  // namespace dae_import
