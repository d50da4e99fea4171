// Teachers: fPROFES.txt becomes PROFT with its index ABREV.
#pragma once
#include "chain/step_context.h"

namespace dae_import {

void ImportaProfesores(chain::StepContext& ctx);

}  // namespace dae_import
