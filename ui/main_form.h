// TMForm, the main window: the two direction panels, the DAE folder
// browser, the centre panel and the level panel. It is the user interface
// of the chains (chain::UserInterface) and owns their logic
// (app::MainWorkflow); its buttons call the workflow's handlers.
//
// Geometry: client area 599 x 311. Top band 106 high: the left panel (import
// direction, 289 wide) and the right panel (export direction, the rest).
// Bottom band 205 high: the folder browser, the help and exit buttons, the
// version label, and the centre panel over the folder list. The level panel
// covers nearly the whole window when shown.
//
// Embedded start: the window becomes a frameless child of a foreign window
// at (2, 2), keeps its size, and may offer one direction only; closing it
// then writes the result entry beside the executable.
#pragma once
#include <QPointer>
#include <QString>
#include <QWidget>
#include <filesystem>
#include <memory>
#include <string>

#include "app/command_line.h"
#include "app/main_workflow.h"
#include "chain/process_state.h"
#include "chain/user_interface.h"

class QComboBox;
class QLabel;
class QPushButton;
#include <QWindow>

namespace ui {

class DataGrid;
class DriveBox;
class FolderList;
class GradientPanel;
class HelpViewer;
class PathLabel;

inline constexpr int kFormWidth = 599;
inline constexpr int kFormHeight = 311;
inline constexpr int kTopBandHeight = 106;
inline constexpr int kLeftPanelWidth = 289;
inline constexpr int kBottomBandHeight = 205;
inline constexpr int kEmbeddedOffset = 2;

// Where the window finds the process state, the tables and the INI file.
// Empty members take the process's own: chain::Process(), store::WorkFolder(),
// app::ExecutableFolder() and the current directory.
struct FormSetup {
  chain::ProcessState* state = nullptr;
  std::filesystem::path workFolder;
  std::filesystem::path exeFolder;
  QString startFolder;
};

class TMForm : public QWidget, public chain::UserInterface {
  Q_OBJECT

 public:
  explicit TMForm(FormSetup setup = {}, QWidget* parent = nullptr);
  ~TMForm() override;

  // The creation step: the result code becomes 0, then the command line is
  // applied (a conversion error is reported and the window stays
  // stand-alone; a valid handle embeds the window and records embedded
  // mode; the mode word hides one direction panel).
  void FormCreate(const app::LaunchOptions& options);

  app::MainWorkflow& workflow() { return *workflow_; }
  chain::ProcessState& state() { return *state_; }
  HelpViewer& help() { return *help_; }
  const std::filesystem::path& exeFolder() const { return exeFolder_; }
  // The foreign window that holds this one (nullptr when stand-alone).
  QWindow* hostWindow() const { return host_; }

  // The folder list's current folder (the DAE folder's source).
  QString currentFolder() const;

  // ---- chain::UserInterface
  void ShowMessage(const std::string& text) override;
  chain::Answer Ask(const std::string& text) override;
  void ReportError(const std::string& text) override;
  void SetPanelVisible(chain::Panel panel, bool visible) override;
  void SetBusyCursor(bool busy) override;
  void CloseMainWindow() override;
  std::string LanguageText() override;
  void RunTemplateWindow(dae_export::ControlPlantilla& window) override;
  void RunCodingWindow(dae_export::AjustaDAE& window) override;

  // The question asked when the window closes while an import waits in the
  // centre or level panel.
  static const char* const kImportUnfinishedQuestion;
  // An import chain waits in the centre or level panel: the product's
  // tables were replaced, the centre data and levels not yet given.
  bool importUnfinished() const;

 signals:
  // The window has closed (after the close step): the application ends.
  // Emitted also in embedded mode, where the window is no top-level window
  // and its closing does not end the event loop by itself.
  void formClosed();

 protected:
  void closeEvent(QCloseEvent* event) override;  // FormClose
  void showEvent(QShowEvent* event) override;

 private:
  void buildTopBand();
  void buildBottomBand();
  void buildCentrePanel();
  void buildLevelPanel();
  void embedInto(std::uintptr_t handle);
  void hideDirectionPanel(app::HiddenPanel panel);

  // Handlers of the controls.
  void BExportarClick();
  void BImportarClick();
  void BitBtn1Click();
  void Button1Click();
  void FinalRecogidaClick();
  void Button2Click();
  void Button3Click();
  void wwDBGridNIVIMPEnter();
  void showHelpForFocus();

  class HostWatch;
  std::unique_ptr<HostWatch> hostWatch_;
  chain::ProcessState* state_;
  std::filesystem::path workFolder_;
  std::filesystem::path exeFolder_;
  std::unique_ptr<app::MainWorkflow> workflow_;
  HelpViewer* help_ = nullptr;
  QPointer<QWindow> host_;
  bool busy_ = false;
  bool importStarted_ = false;  // the last chain started is the import
  bool hostGone_ = false;       // the product's window has vanished

  // Controls (object names as the tool names them).
  GradientPanel* leftPanel_ = nullptr;
  GradientPanel* rightPanel_ = nullptr;
  GradientPanel* bottomBand_ = nullptr;
  QComboBox* ComboBoxEuskCast = nullptr;
  QPushButton* BExportar = nullptr;
  QPushButton* BImportar = nullptr;
  PathLabel* LabelRuta = nullptr;
  FolderList* Directorios = nullptr;
  DriveBox* Unidades = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* BClose = nullptr;
  QPushButton* Button3 = nullptr;
  QLabel* LabelVersion = nullptr;
  GradientPanel* Panel1 = nullptr;
  DataGrid* wwDBGridCODCENTRO = nullptr;
  QPushButton* BitBtn1 = nullptr;
  GradientPanel* Panel2 = nullptr;
  DataGrid* wwDBGridNIVIMP = nullptr;
  QPushButton* BitBtn2 = nullptr;
  QPushButton* Button2 = nullptr;
};

}  // namespace ui
