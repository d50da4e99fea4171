// The DAE code tables: seven code files become seven tables.
#pragma once
#include "chain/step_context.h"

namespace dae_import {

// Deletes ASIGT and DIASHORAT, then rebuilds daeTIPTAR, daeASIGNAT,
// daeOTRACT, daeTIPDOC, daeNIVIMP, daeIDIOMA and daeGRUPNIV.
void ImportaTablasDAE(chain::StepContext& ctx);

}  // namespace dae_import
