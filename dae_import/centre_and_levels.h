// The centre panel and the study-level panel of the main window: what they
// do with the tables, apart from how they are drawn.
#pragma once
#include "chain/main_tables.h"
#include "chain/step_context.h"

namespace dae_import {

void MuestraDatosCentro(chain::StepContext& ctx, chain::MainTables& t);
// Before the centre panel's OK goes on: the centre row as it stands (what
// the user typed included) must hold acceptable values. Otherwise the first
// problem is shown and false returned; nothing is stored and the panel
// stays.
bool CentreRowAcceptable(chain::StepContext& ctx, chain::MainTables& t);
void DatosNivel(chain::StepContext& ctx, chain::MainTables& t);
void wwDBGridNIVIMPEnter(chain::MainTables& t);
// "Aceptar" of the level panel.
void FinalRecogida(chain::StepContext& ctx, chain::MainTables& t);
void CompruebaAbreviaturas(chain::StepContext& ctx, chain::MainTables& t);
void AplicaAbreviaturas(chain::StepContext& ctx, chain::MainTables& t);
// "Volver a Datos Centro".
void Button2Click(chain::StepContext& ctx, chain::MainTables& t);
// "Volver a Niveles Estudios".
void Button3Click(chain::StepContext& ctx, chain::MainTables& t);

}  // namespace dae_import
