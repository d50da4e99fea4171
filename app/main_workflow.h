// The main window's logic (TMForm) apart from how it is drawn: the DAE
// folder, the declared tables, the two chains and the centre panel's OK.
// Each public handler catches what its steps do not handle and shows it in
// the general error report, so no error escapes to the caller.
#pragma once
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "chain/main_tables.h"
#include "chain/notice_relay.h"
#include "chain/process_state.h"
#include "chain/step_context.h"
#include "chain/user_interface.h"
#include "dae_import/product_backup.h"
#include "store/table_file_lock.h"
#include "store/work_folder_lock.h"

namespace app {

class MainWorkflow {
 public:
  MainWorkflow(chain::UserInterface& ui, chain::ProcessState& state,
               std::filesystem::path workFolder);

  chain::MainTables& Tables() { return tables_; }
  const std::string& DaeFolder() const { return daeFolder_; }
  const std::filesystem::path& WorkFolder() const { return workFolder_; }

  // Direction buttons; currentFolder is the folder list's current folder.
  void BExportarClick(const std::string& currentFolder);  // import chain
  void BImportarClick(const std::string& currentFolder);  // export chain
  // Centre panel's OK.
  void BitBtn1Click();
  // Level panel.
  void FinalRecogida();          // "Aceptar"
  void Button2Click();           // "Volver a Datos Centro"
  void Button3Click();           // "Volver a Niveles Estudios"
  void wwDBGridNIVIMPEnter();

  // Runs fn and shows any error it throws in the general error report (the
  // cursor set back to the arrow first).
  template <typename Fn>
  void Guarded(Fn&& fn);

 private:
  chain::StepContext Context();
  void ReportError(const std::exception& e);
  // A chain that changes the work folder takes it from other runs first
  // and settles what a killed run left; EndRun lets go of it, and of the
  // import's holds, when the chain has ended.
  void StartRun();
  void EndRun();

  chain::UserInterface& ui_;
  chain::ProcessState& state_;
  std::filesystem::path workFolder_;
  std::string daeFolder_;
  chain::MainTables tables_;
  chain::NoticeRelay notices_;  // the store's notices reach this user
  std::unique_ptr<store::WorkFolderLock> run_;
  std::unique_ptr<dae_import::ImportHolds> importHolds_;
  std::vector<store::TableFileLock> exportHolds_;
};

template <typename Fn>
void MainWorkflow::Guarded(Fn&& fn) {
  try {
    fn();
  } catch (const std::exception& e) {
    EndRun();
    ReportError(e);
  } catch (...) {
    EndRun();
    ReportError(std::runtime_error("Error desconocido"));
  }
}

}  // namespace app
