// The centre panel and the study-level panel of the main window: what they
// do with the tables, apart from how they are drawn.
#pragma once
#include "app/main_tables.h"
#include "app/step_context.h"

namespace dae_import {

void MuestraDatosCentro(app::StepContext& ctx, app::MainTables& t);
void DatosNivel(app::StepContext& ctx, app::MainTables& t);
void wwDBGridNIVIMPEnter(app::MainTables& t);
// "Aceptar" of the level panel.
void FinalRecogida(app::StepContext& ctx, app::MainTables& t);
void CompruebaAbreviaturas(app::StepContext& ctx, app::MainTables& t);
void AplicaAbreviaturas(app::StepContext& ctx, app::MainTables& t);
// "Volver a Datos Centro".
void Button2Click(app::StepContext& ctx, app::MainTables& t);
// "Volver a Niveles Estudios".
void Button3Click(app::StepContext& ctx, app::MainTables& t);

}  // namespace dae_import
