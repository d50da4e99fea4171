// The user interface of the batch front end: messages, questions and error
// reports are printed, one per line (a carriage return inside a text starts
// a new line); questions are answered by a policy; the modal windows are
// accepted as they stand.
#pragma once
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "chain/user_interface.h"

namespace app {

class BatchUI : public chain::UserInterface {
 public:
  // Chooses the answer to a question (its text as the chain asked it).
  using AnswerPolicy = std::function<chain::Answer(const std::string& question)>;

  BatchUI(std::ostream& out, std::string language, AnswerPolicy policy);

  void ShowMessage(const std::string& text) override;
  chain::Answer Ask(const std::string& text) override;
  void ReportError(const std::string& text) override;
  void SetPanelVisible(chain::Panel panel, bool visible) override;
  void SetBusyCursor(bool busy) override { busy_ = busy; }
  void CloseMainWindow() override { closed_ = true; }
  std::string LanguageText() override { return language_; }
  // Grid gains the focus, loses it, "Aceptar".
  void RunTemplateWindow(dae_export::ControlPlantilla& window) override;
  // Opens the window's tables, then "&Salir" once; when the exit check keeps
  // the window open, it is left as by its close box.
  void RunCodingWindow(dae_export::AjustaDAE& window) override;

  // What is typed into the coding window after its tables are open and
  // before "&Salir" is pressed.
  void SetCodingInput(std::function<void(dae_export::AjustaDAE&)> input) {
    codingInput_ = std::move(input);
  }

  // Prints a line of the front end's own.
  void Note(const std::string& text);

  const std::vector<std::string>& Messages() const { return messages_; }
  const std::vector<std::string>& Errors() const { return errors_; }
  bool PanelVisible(chain::Panel panel) const;
  bool Busy() const { return busy_; }
  bool Closed() const { return closed_; }

 private:
  void Print(const std::string& text);

  std::ostream& out_;
  std::string language_;
  AnswerPolicy policy_;
  std::vector<std::string> messages_;
  std::vector<std::string> errors_;
  bool centre_ = false, levels_ = false, backToLevels_ = false;
  bool busy_ = false, closed_ = false;
  std::function<void(dae_export::AjustaDAE&)> codingInput_;
};

// Prints text with every "\r\n", "\r" or "\n" as one line break, then a
// final line break.
void PrintLines(std::ostream& out, const std::string& text);

}  // namespace app
