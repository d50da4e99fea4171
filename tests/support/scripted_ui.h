// A user interface for tests: records what the chains show and answers
// questions from a script.
#pragma once
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "chain/user_interface.h"

namespace testsupport {

class ScriptedUI : public chain::UserInterface {
 public:
  std::vector<std::string> messages;   // plain messages, in order
  std::vector<std::string> questions;  // questions asked, in order
  std::vector<std::string> errors;     // general error reports
  std::deque<chain::Answer> answers;     // next answers; No when exhausted
  std::string language = "EUSKERA";
  bool busy = false;
  bool closed = false;
  bool centreVisible = false, levelsVisible = false, backToLevelsVisible = false;
  std::function<void(dae_export::ControlPlantilla&)> onTemplateWindow;
  std::function<void(dae_export::AjustaDAE&)> onCodingWindow;

  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  chain::Answer Ask(const std::string& text) override {
    questions.push_back(text);
    if (answers.empty()) return chain::Answer::No;
    chain::Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  void ReportError(const std::string& text) override { errors.push_back(text); }
  void SetPanelVisible(chain::Panel p, bool v) override {
    if (p == chain::Panel::Centre) centreVisible = v;
    if (p == chain::Panel::Levels) levelsVisible = v;
    if (p == chain::Panel::BackToLevels) backToLevelsVisible = v;
  }
  void SetBusyCursor(bool b) override { busy = b; }
  void CloseMainWindow() override { closed = true; }
  std::string LanguageText() override { return language; }
  void RunTemplateWindow(dae_export::ControlPlantilla& w) override {
    if (onTemplateWindow) onTemplateWindow(w);
  }
  void RunCodingWindow(dae_export::AjustaDAE& w) override {
    if (onCodingWindow) onCodingWindow(w);
  }
};

}  // namespace testsupport
