// Teachers: fPROFES.txt becomes PROFT with its index ABREV.
#pragma once
#include "app/step_context.h"

namespace dae_import {

void ImportaProfesores(app::StepContext& ctx);

}  // namespace dae_import
