// Groups and centre: fGRUPOS.txt becomes GRUPOST and daeCENTRO.
#pragma once
#include <filesystem>

#include "chain/step_context.h"

namespace dae_import {

void ImportaGrupos(chain::StepContext& ctx);
// Deletes and creates daeCENTRO empty (no rows); opens and shows nothing.
void CreaTablaCentro(const std::filesystem::path& workFolder);

}  // namespace dae_import
