// The two chains of the main window and the centre panel's OK.
//
// Import (BExportarClick): DAE folder check, result code 1, the four import
// steps each whatever the one before did, then the centre panel; the chain
// goes on from the centre panel's OK (flag 0: the level panel) and ends with
// the level panel's "Aceptar".
// Export (BImportarClick): DAE folder check, the template step, then the
// expansion when the workflow flag is 0; with the flag at 1 the export waits
// for the centre data, and the centre panel's OK carries it on once code,
// year and version are filled in.
//
// Every direction button starts its chain with the workflow flag at 0, so a
// value left by an unfinished or failed chain cannot divert the new one.
// When the export meets a missing or damaged index of the template or of the
// DAE record tables, the user is asked whether to rebuild it; after a rebuild
// the export starts again once.
// When a handler returns the cursor is the arrow: a chain that pauses or ends
// normally has set it back already, and one that ended early (a missing
// table, an error) gets it back here. Errors that the steps do not handle end
// the handler and go to the general error report; the window stays and the
// result code keeps its value.
#include "app/main_workflow.h"

#include <string_view>
#include <system_error>

#include "chain/error_report.h"
#include "app/index_repair.h"
#include "dae_export/timetable_expansion.h"
#include "dae_export/timetable_template.h"
#include "dae_import/centre_and_levels.h"
#include "dae_import/code_tables_import.h"
#include "dae_import/dae_file_check.h"
#include "dae_import/groups_import.h"
#include "dae_import/subjects_import.h"
#include "dae_import/teachers_import.h"
#include "dae_import/dae_file_check.h"
#include "dae_import/product_backup.h"
#include "store/path_text.h"
#include "store/table_replacement.h"

namespace app {

namespace fs = std::filesystem;

namespace {


// Blank: nothing but characters 0 to 32.
bool IsBlank(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) > ' ') return false;
  return true;
}

}  // namespace

MainWorkflow::MainWorkflow(chain::UserInterface& ui, chain::ProcessState& state,
                           fs::path workFolder)
    : ui_(ui),
      state_(state),
      workFolder_(std::move(workFolder)),
      tables_(workFolder_),
      notices_(ui) {}

chain::StepContext MainWorkflow::Context() {
  return chain::StepContext{ui_, state_, workFolder_, daeFolder_};
}

void MainWorkflow::StartRun() {
  EndRun();
  // A new chain opens what it needs; a table left open by an earlier one
  // would stand in the way of its holds.
  tables_.CloseAll();
  run_ = std::make_unique<store::WorkFolderLock>(workFolder_);
  // Whatever a killed run left half done is finished or undone.
  dae_import::FinishInterruptedRestore(workFolder_);
  store::RecoverWorkFolder(workFolder_);
}

void MainWorkflow::EndRun() {
  importHolds_.reset();
  exportHolds_.clear();
  run_.reset();
}

void MainWorkflow::ReportError(const std::exception& e) {
  ui_.SetBusyCursor(false);
  ui_.ReportError(chain::ErrorReportText(e));
}

void MainWorkflow::BExportarClick(const std::string& currentFolder) {
  Guarded([&] {
    EndRun();
    state_.workflowFlag = 0;
    state_.backupFolder.clear();  // a new run keeps its copies apart
    daeFolder_ = currentFolder + static_cast<char>(fs::path::preferred_separator);
    if (!dae_import::DaeFolderExists(currentFolder)) {
      ui_.ShowMessage(dae_import::MissingFolderText(currentFolder));
      if (state_.embedded) {
        state_.resultCode = -1;
        ui_.CloseMainWindow();
      }
      return;
    }
    ui_.SetBusyCursor(true);
    state_.resultCode = 1;
    chain::StepContext ctx = Context();
    // No table that the import changes may be held elsewhere, and the
    // product's tables are copied, before the first table changes; they
    // stay held until the chain ends. Every DAE file is read whole once
    // before that.
    StartRun();
    dae_import::CheckDaeTextFiles(ctx.daeFolder);
    importHolds_ = std::make_unique<dae_import::ImportHolds>(ctx);
    dae_import::ImportaTablasDAE(ctx);
    dae_import::ImportaAsignaturas(ctx);
    dae_import::ImportaProfesores(ctx);
    dae_import::ImportaGrupos(ctx);
    dae_import::MuestraDatosCentro(ctx, tables_);
    ui_.SetBusyCursor(false);
  });
}

void MainWorkflow::BImportarClick(const std::string& currentFolder) {
  Guarded([&] {
    state_.workflowFlag = 0;
    daeFolder_ = currentFolder + static_cast<char>(fs::path::preferred_separator);
    if (!dae_import::DaeFolderExists(currentFolder)) {
      ui_.ShowMessage(dae_import::MissingFolderText(currentFolder));
      if (state_.embedded) {
        state_.resultCode = 0;
        ui_.CloseMainWindow();
      }
      return;
    }
    chain::StepContext ctx = Context();
    StartRun();
    // Every table the export may change, held until it ends: one held
    // elsewhere (its .DBF or its .MDX) stops it before anything is written.
    for (const char* name : {"PLANTILLA", "daeCENTRO", "CUADROH2", "CUADROH3", "PROFT"})
      exportHolds_.emplace_back(workFolder_, std::string(name) + ".DBF");
    // A missing or damaged index of one of the tool's own tables can be
    // rebuilt from its records; the chain then starts again, once.
    for (int attempt = 0;; ++attempt) {
      try {
        dae_export::PlantillaCentro(ctx, tables_);
        if (state_.workflowFlag == 0) dae_export::Importar2(ctx, tables_);
        break;
      } catch (const store::IndexError& e) {
        if (attempt > 0 || !OfferIndexRebuild(ui_, e, tables_)) throw;
        state_.workflowFlag = 0;
      }
    }
    if (state_.workflowFlag != 1) EndRun();  // else it waits for the centre
    ui_.SetBusyCursor(false);
  });
}

void MainWorkflow::BitBtn1Click() {
  Guarded([&] {
    chain::StepContext ctx = Context();
    if (!dae_import::CentreRowAcceptable(ctx, tables_)) return;
    if (state_.workflowFlag == 0) {
      dae_import::DatosNivel(ctx, tables_);
      return;
    }
    store::Table& centre = tables_.wwTableCentro;
    if (!centre.Active()) centre.Open();
    centre.First();
    const bool complete = !IsBlank(centre.FieldByName("CODCENTRO").AsString()) &&
                          !IsBlank(centre.FieldByName("ANOACAD").AsString()) &&
                          !IsBlank(centre.FieldByName("VERSION").AsString());
    if (complete) {
      state_.workflowFlag = 0;
      ui_.SetPanelVisible(chain::Panel::Centre, false);
      centre.Close();
      if (!run_) StartRun();
      dae_export::Importar2(ctx, tables_);
      EndRun();
      ui_.SetBusyCursor(false);
    } else {
      dae_import::MuestraDatosCentro(ctx, tables_);
    }
  });
}

void MainWorkflow::FinalRecogida() {
  Guarded([&] {
    chain::StepContext ctx = Context();
    dae_import::FinalRecogida(ctx, tables_);
    // A repeated abbreviation keeps the level panel open; else the import
    // has ended.
    if (state_.workflowFlag != 1) EndRun();
  });
}

void MainWorkflow::Button2Click() {
  Guarded([&] {
    chain::StepContext ctx = Context();
    dae_import::Button2Click(ctx, tables_);
  });
}

void MainWorkflow::Button3Click() {
  Guarded([&] {
    chain::StepContext ctx = Context();
    dae_import::Button3Click(ctx, tables_);
  });
}

void MainWorkflow::wwDBGridNIVIMPEnter() {
  Guarded([&] { dae_import::wwDBGridNIVIMPEnter(tables_); });
}

}  // namespace app
