// How the chains talk to the user. The Qt windows, the batch front end and
// the tests each implement it. Texts are UTF-8.
#pragma once
#include <string>

namespace dae_export {
class ControlPlantilla;  // logic of the timetable template window
class AjustaDAE;         // logic of the DAE coding window
}  // namespace dae_export

namespace chain {

enum class Answer { Yes, No };

// Parts of the main window that the steps show and hide.
enum class Panel {
  Centre,            // Panel1, the centre data
  Levels,            // Panel2, the study levels
  BackToLevels,      // button "Volver a Niveles Estudios"
};

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // Plain message: caption "transPelmarDAE", no icon, button "Aceptar".
  virtual void ShowMessage(const std::string& text) = 0;
  // Question: caption "Confirmación", "&Si" (default) and "&No"; Escape
  // answers No.
  virtual Answer Ask(const std::string& text) = 0;
  // General error report: caption "transPelmarDAE", error icon, OK. The
  // text arrives with the period rule already applied.
  virtual void ReportError(const std::string& text) = 0;

  virtual void SetPanelVisible(Panel panel, bool visible) = 0;
  virtual void SetBusyCursor(bool busy) = 0;
  virtual void CloseMainWindow() = 0;
  // The language box's text as it stands now.
  virtual std::string LanguageText() = 0;

  // Modal windows: show, wait until closed, return.
  virtual void RunTemplateWindow(dae_export::ControlPlantilla& window) = 0;
  virtual void RunCodingWindow(dae_export::AjustaDAE& window) = 0;
};

}  // namespace chain
