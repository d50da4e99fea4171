// The centre panel and the study-level panel.
//
// Centre panel: the first row of daeCENTRO (CODCENTRO, ANOACAD, VERSION),
// put into edit state as soon as the panel shows (in an empty table a new
// row is started for the user to fill in).
//
// Level panel: the rows of daeNIVIMP in physical order; the user types the
// abbreviations ABREVCAST and ABREVEUSK (up to five characters). On
// "Aceptar" no non-empty abbreviation may repeat within a language (letter
// case ignored, Castellano checked before Euskera on each row, only the
// first repeat reported); then every group of GRUPOST whose NIVEL equals a
// level's COD exactly takes that level's abbreviation in the chosen
// language, when it has one.
#include "dae_import/centre_and_levels.h"

#include <string>
#include <vector>

#include "dae_import/centre_data_check.h"
#include "dae_import/code_list.h"
#include "dae_import/dae_text_reader.h"
#include "dae_import/language_choice.h"
#include "store/table.h"
#include "store/transaction.h"
#include "store/work_folder.h"

namespace dae_import {

namespace {

bool Editing(const store::Table& t) {
  const store::DataSetState s = t.State();
  return s == store::DataSetState::Edit || s == store::DataSetState::Insert;
}

bool NonEmpty(const std::string& text) { return !TrimControls(text).empty(); }

// Checks one abbreviation against its language's list; false on a repeat
// (reported, flag set to 1).
bool CheckAbbreviation(chain::StepContext& ctx, CodeList& seen,
                       const std::string& abbreviation,
                       const char* repeatMessage) {
  if (!NonEmpty(abbreviation)) return true;
  if (!seen.Contains(abbreviation)) {
    seen.Add(abbreviation);
    return true;
  }
  ctx.ui.ShowMessage(repeatMessage);
  ctx.state.workflowFlag = 1;
  return false;
}

}  // namespace

void MuestraDatosCentro(chain::StepContext& ctx, chain::MainTables& t) {
  if (!store::FileExistsNoCase(ctx.workFolder, "daeCENTRO.DBF")) {
    ctx.ui.ShowMessage("No existe archivo del Centro (daeCENTRO.DBF)");
    ctx.state.resultCode = -1;
    return;
  }
  if (!t.wwTableCentro.Active()) t.wwTableCentro.Open();
  t.wwTableCentro.First();
  ctx.ui.SetBusyCursor(false);
  ctx.ui.SetPanelVisible(chain::Panel::BackToLevels, false);
  ctx.ui.SetPanelVisible(chain::Panel::Centre, true);
  if (!Editing(t.wwTableCentro)) t.wwTableCentro.Edit();
}

bool CentreRowAcceptable(chain::StepContext& ctx, chain::MainTables& t) {
  store::Table& centre = t.wwTableCentro;
  if (!centre.Active() || (!Editing(centre) && centre.RecNo() == 0)) return true;
  for (const char* name : {"CODCENTRO", "ANOACAD", "VERSION"}) {
    store::Field* f = centre.FindField(name);
    if (!f) continue;
    const std::string problem = CentreValueProblem(name, f->AsString());
    if (!problem.empty()) {
      ctx.ui.ShowMessage(problem);
      return false;
    }
  }
  return true;
}

void DatosNivel(chain::StepContext& ctx, chain::MainTables& t) {
  if (Editing(t.wwTableCentro)) t.wwTableCentro.Post();
  t.wwTableCentro.Close();
  if (!store::FileExistsNoCase(ctx.workFolder, "daeNIVIMP.DBF")) {
    ctx.ui.ShowMessage("No existe archivo del Centro (daeNIVIMP.DBF)");
    ctx.state.resultCode = -1;
    return;
  }
  if (!t.wwTableNIVIMP.Active()) t.wwTableNIVIMP.Open();
  t.wwTableNIVIMP.First();
  ctx.ui.SetPanelVisible(chain::Panel::Centre, false);
  ctx.ui.SetPanelVisible(chain::Panel::Levels, true);
}

void wwDBGridNIVIMPEnter(chain::MainTables& t) {
  if (!Editing(t.wwTableNIVIMP)) t.wwTableNIVIMP.Edit();
}

void FinalRecogida(chain::StepContext& ctx, chain::MainTables& t) {
  if (Editing(t.wwTableNIVIMP)) t.wwTableNIVIMP.Post();
  CompruebaAbreviaturas(ctx, t);
  if (ctx.state.workflowFlag == 1) return;
  AplicaAbreviaturas(ctx, t);
  t.wwTableNIVIMP.Close();
  ctx.ui.SetPanelVisible(chain::Panel::BackToLevels, true);
  ctx.ui.SetPanelVisible(chain::Panel::Levels, false);
  ctx.ui.SetBusyCursor(false);
  ctx.ui.ShowMessage("Proceso finalizado");
  if (ctx.state.embedded) ctx.ui.CloseMainWindow();
}

void CompruebaAbreviaturas(chain::StepContext& ctx, chain::MainTables& t) {
  ctx.state.workflowFlag = 0;
  CodeList castellano, euskera;
  store::Table& levels = t.wwTableNIVIMP;
  for (levels.First(); !levels.Eof(); levels.Next()) {
    if (!CheckAbbreviation(ctx, castellano,
                           levels.FieldByName("ABREVCAST").AsString(),
                           "Abreviatura en Castellano Repetida - Compruébelo."))
      return;
    if (!CheckAbbreviation(ctx, euskera,
                           levels.FieldByName("ABREVEUSK").AsString(),
                           "Abreviatura en Euskera Repetida - Compruébelo."))
      return;
  }
}

void AplicaAbreviaturas(chain::StepContext& ctx, chain::MainTables& t) {
  const char* abbrevField =
      IsEuskera(ctx.ui.LanguageText()) ? "ABREVEUSK" : "ABREVCAST";
  store::Table& groups = t.wwTableGrupos;
  store::Table& levels = t.wwTableNIVIMP;
  if (!groups.Active()) groups.Open();
  // Every group changes in one commit: a failure or a kill half way leaves
  // GRUPOST as it was.
  store::Transaction tx(groups);
  // A group's level is found by the DAE level code it was imported with
  // (NIVELDAE, "NIV" when it had none), so that abbreviations given again
  // ("Volver a Niveles Estudios") replace those of the last time, and a
  // cleared abbreviation gives the group its level code back. A group
  // whose imported code is no level's is matched by NIVEL as it stands.
  const bool hasDaeLevel = groups.FindField("NIVELDAE") != nullptr;
  for (groups.First(); !groups.Eof(); groups.Next()) {
    const std::string level = groups.FieldByName("NIVEL").AsString();
    std::vector<std::string> codes;
    if (hasDaeLevel) {
      std::string imported(TrimControls(groups.FieldByName("NIVELDAE").AsString()));
      codes.push_back(imported.empty() ? "NIV" : imported);
    }
    codes.push_back(level);
    bool matched = false;
    for (const std::string& code : codes) {
      for (levels.First(); !levels.Eof(); levels.Next()) {
        if (levels.FieldByName("COD").AsString() != code) continue;
        const std::string abbreviation = levels.FieldByName(abbrevField).AsString();
        const std::string wanted = NonEmpty(abbreviation) ? abbreviation : code;
        if (wanted != level) {
          groups.Edit();
          groups.FieldByName("NIVEL").SetAsString(wanted);
        }
        matched = true;
        break;
      }
      if (matched) break;
    }
  }
  if (Editing(groups)) groups.Post();
  tx.Commit();
  groups.Close();
}

void Button2Click(chain::StepContext& ctx, chain::MainTables& t) {
  ctx.state.workflowFlag = 0;
  ctx.ui.SetPanelVisible(chain::Panel::Levels, false);
  MuestraDatosCentro(ctx, t);
}

void Button3Click(chain::StepContext& ctx, chain::MainTables& t) {
  DatosNivel(ctx, t);
}

}  // namespace dae_import
