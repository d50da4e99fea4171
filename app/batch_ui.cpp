#include "app/batch_ui.h"

#include "dae_export/ajusta_dae.h"
#include "dae_export/control_plantilla.h"

namespace app {

void PrintLines(std::ostream& out, const std::string& text) {
  std::string buf;
  buf.reserve(text.size() + 1);
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r') {
      buf += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      buf += c;
    }
  }
  buf += '\n';
  out << buf;
  out.flush();
}

BatchUI::BatchUI(std::ostream& out, std::string language, AnswerPolicy policy)
    : out_(out), language_(std::move(language)), policy_(std::move(policy)) {}

void BatchUI::Print(const std::string& text) { PrintLines(out_, text); }

void BatchUI::Note(const std::string& text) { Print(text); }

void BatchUI::ShowMessage(const std::string& text) {
  messages_.push_back(text);
  Print(text);
}

chain::Answer BatchUI::Ask(const std::string& text) {
  Print(text);
  chain::Answer a = policy_ ? policy_(text) : chain::Answer::No;
  Print(a == chain::Answer::Yes ? "respuesta: Sí" : "respuesta: No");
  return a;
}

void BatchUI::ReportError(const std::string& text) {
  errors_.push_back(text);
  Print("Error: " + text);
}

void BatchUI::SetPanelVisible(chain::Panel panel, bool visible) {
  switch (panel) {
    case chain::Panel::Centre: centre_ = visible; break;
    case chain::Panel::Levels: levels_ = visible; break;
    case chain::Panel::BackToLevels: backToLevels_ = visible; break;
  }
}

bool BatchUI::PanelVisible(chain::Panel panel) const {
  switch (panel) {
    case chain::Panel::Centre: return centre_;
    case chain::Panel::Levels: return levels_;
    case chain::Panel::BackToLevels: return backToLevels_;
  }
  return false;
}

void BatchUI::RunTemplateWindow(dae_export::ControlPlantilla& window) {
  window.PlantiHorDBGridEnter();
  window.PlantiHorDBGridExit();
  window.BitBtn1Click();
}

void BatchUI::RunCodingWindow(dae_export::AjustaDAE& window) {
  window.FormCreate();
  if (codingInput_) codingInput_(window);
  if (!window.BitBtn1Click())
    Note("La ventana de codificación DAE se cierra sin escribir el fichero.");
}

}  // namespace app
