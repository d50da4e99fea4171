// The windows driven as a person drives them: a virtual X server (Xvfb) of
// the suite's own, the tool's windows shown on it in this process, and
// xdotool sending clicks and keys through the X server (never to a named
// window), at a person's pace or in a burst. Tables are read back with the
// independent dBase reader. Built for Windows and run under Wine, the suite
// shows the windows on the X server that the stage started (its DISPLAY)
// and starts xdotool and the reader as programs of the build machine
// (tests/support/host_program.h).
//
// A Script is a list of steps run from a timer, so that it goes on inside
// the modal windows that the tool opens: each step waits (by polling) until
// its condition holds, then sends its input and waits for xdotool to end.
// KEYS_TRACE=1 in the environment prints each step and each xdotool run
// with its time.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPoint>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "chain/user_interface.h"
#include "tests/support/host_program.h"
#include "ui/dialogs.h"

class QWidget;

namespace ui {
class DataGrid;
}

namespace keys {

namespace fs = std::filesystem;

// True when the suite's X server runs (set up once for the process, by the
// environment that InstallEnvironment registers).
bool HaveDisplay();
void InstallEnvironment(int argc, char** argv);
#define KEYS_REQUIRE_DISPLAY()                                   \
  do {                                                           \
    if (!keys::HaveDisplay()) GTEST_SKIP() << "Xvfb no disponible"; \
  } while (0)

// Pace of typing: milliseconds between keys.
inline constexpr int kHuman = 120;
inline constexpr int kBurst = 0;

// Spins the event loop until done() or the time runs out.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 20000);

// Screen position of a point of a widget / of the centre of a grid cell.
QPoint Global(QWidget* w, QPoint local);
QPoint Centre(QWidget* w);
QPoint CellCentre(ui::DataGrid* grid, int row, int column);
// xdotool arguments: move the pointer there and click / type text / press
// keys. They may be joined; text typed ends one run of xdotool (kThen) and
// what follows it is sent by the next.
inline const QString kThen = QStringLiteral("::then::");
QStringList ClickArgs(QPoint global);
QStringList TypeArgs(const QString& text, int delayMs);
QStringList KeyArgs(const QStringList& keys, int delayMs = 60);

// Shows a window at a fixed place and waits until it has the focus.
bool ShowActive(QWidget* w);
// The modal box on top (a QMessageBox), when it is active.
QWidget* ActiveBox();
QString BoxText(QWidget* box);

// The table as the independent reader sees it: rows of "FIELD" -> value.
std::vector<std::vector<std::pair<std::string, std::string>>> Dump(const fs::path& dbf);
std::vector<std::string> Values(const fs::path& dbf, const std::string& field);

class Script : public QObject {
 public:
  struct Step {
    std::string what;
    std::function<bool()> ready;
    std::function<QStringList()> input;  // xdotool arguments; empty: none
    std::function<void()> action;        // run in process instead
  };
  Script& wait(std::string what, std::function<bool()> ready);
  Script& send(std::string what, std::function<bool()> ready,
               std::function<QStringList()> input);
  Script& run(std::string what, std::function<void()> action);
  // Answers the next message box whose text holds part, with keys.
  Script& answer(const QString& part, const QStringList& keys);

  // Runs the steps; false (with the step that did not come) on timeout.
  // A step that waits longer than stepTimeoutMs ends the script, and open
  // modal windows are closed so that the tool's handlers return.
  bool play(int stepTimeoutMs = 45000);
  const std::string& failure() const { return failure_; }
  // Texts of the message boxes answered, in order.
  QStringList boxes;

 private:
  void tick();
  void startQueued();
  std::deque<QStringList> queued_;
  std::vector<Step> steps_;
  size_t next_ = 0;
  bool done_ = false;
  bool running_ = false;
  std::unique_ptr<testsupport::HostProgram> xdo_;
  QStringList xdoArguments_;
  QElapsedTimer stepClock_, xdoClock_;
  int stepTimeoutMs_ = 45000;
  std::string failure_;
  QTimer timer_;
};

// The questions and messages of a window under test, shown as the tool
// shows them (modal boxes a test answers with keys).
class DialogsUI : public chain::UserInterface {
 public:
  void ShowMessage(const std::string& text) override { ui::ShowPlainMessage(nullptr, ui::MessageText(text)); }
  chain::Answer Ask(const std::string& text) override {
    return ui::AskQuestion(nullptr, ui::MessageText(text)) ? chain::Answer::Yes : chain::Answer::No;
  }
  void ReportError(const std::string& text) override { ui::ShowErrorReport(nullptr, ui::MessageText(text)); }
  void SetPanelVisible(chain::Panel, bool) override {}
  void SetBusyCursor(bool) override {}
  void CloseMainWindow() override {}
  std::string LanguageText() override { return "EUSKERA"; }
  void RunTemplateWindow(dae_export::ControlPlantilla&) override {}
  void RunCodingWindow(dae_export::AjustaDAE&) override {}
};

}  // namespace keys
