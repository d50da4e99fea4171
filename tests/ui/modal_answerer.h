// Test helpers for the Qt windows: one QApplication for the whole test
// binary, and an answerer for modal boxes.
//
// ModalAnswerer polls QApplication::activeModalWidget() from a timer, which
// keeps firing inside the nested event loop of a modal box. Each modal it
// finds is recorded (title, text, icon, buttons, default button) and dealt
// with by the next queued action: click a button by its text, or run a
// function that handles the modal itself (and must close it). Actions run
// just after the poll, so that they may open further boxes, which are
// answered in turn. A modal found
// with no action queued is recorded as unexpected and rejected, so that a
// test never hangs on a box it did not foresee. Keep one answerer alive at
// a time: two would compete for the same box.
//
//   uitest::ModalAnswerer answers;
//   answers.click("Aceptar");            // the next box: press "Aceptar"
//   answers.act([](QWidget* w) { ... }); // the box after: custom handling
//   QTest::mouseClick(button, Qt::LeftButton);
//   EXPECT_EQ(answers.texts(), QStringList{...});
#pragma once
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <ostream>
#include <functional>
#include <string>
#include <vector>

// Readable QStrings in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QStringList& list, std::ostream* out) {
  *out << '{' << list.join(QStringLiteral(" | ")).toStdString() << '}';
}

namespace uitest {

// The application object of the test binary, created on first use. Without
// a display the offscreen platform is used (on Linux).
inline QApplication* EnsureQtApp() {
  if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance()))
    return existing;
#ifndef _WIN32
  // Windows has only its own platform (drawn by Wine on the stage's X
  // server).
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
  static int argc = 1;
  static char name[] = "test_ui";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  QApplication::setApplicationName(QStringLiteral("transPelmarDAE"));
  QApplication::setQuitOnLastWindowClosed(false);
  return app;
}

// What a modal box showed.
struct SeenBox {
  QString objectName;   // "PlainMessage", "Question", "ErrorReport", ...
  QString className;    // "QMessageBox", "ui::TControlPlantilla", ...
  QString title;
  QString text;         // a message box's text ("" for other windows)
  int icon = -1;        // QMessageBox::Icon, -1 for other windows
  QStringList buttons;  // texts of the box's push buttons
  QString defaultButton;
  QString escapeButton;
  QString answer;       // the button pressed ("" for custom actions)
  bool unexpected = false;
};

class ModalAnswerer : public QObject {
 public:
  using Action = std::function<void(QWidget* modal)>;

  explicit ModalAnswerer(int intervalMs = 15) {
    EnsureQtApp();
    timer_.setInterval(intervalMs);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
    timer_.start();
  }
  ~ModalAnswerer() override { timer_.stop(); }

  // The next modal: press the button with this text ("Aceptar", "&Si").
  ModalAnswerer& click(const QString& buttonText) {
    queue_.push_back({buttonText, nullptr});
    return *this;
  }
  // The next modal: run action, which must close it.
  ModalAnswerer& act(Action action) {
    queue_.push_back({QString(), std::move(action)});
    return *this;
  }

  std::vector<SeenBox> seen;

  QStringList texts() const {
    QStringList out;
    for (const SeenBox& s : seen) out << s.text;
    return out;
  }
  int unexpectedCount() const {
    int n = 0;
    for (const SeenBox& s : seen) n += s.unexpected ? 1 : 0;
    return n;
  }
  size_t pending() const { return queue_.size(); }

  // Runs the event loop until n boxes have been seen or timeoutMs passed.
  bool waitForSeen(size_t n, int timeoutMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (seen.size() < n && clock.elapsed() < timeoutMs)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return seen.size() >= n;
  }

 private:
  struct Step {
    QString button;
    Action action;
  };

  // A window that is itself under test (a modal dialog shown by the test)
  // is not one of the boxes to answer.
 public:
  void ignore(QWidget* w) { handled_.push_back(w); }

 private:
  bool handled(QWidget* w) const {
    for (const QPointer<QWidget>& p : handled_)
      if (p == w) return true;
    return false;
  }

  void poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || handled(modal)) return;
    handled_.push_back(modal);

    SeenBox box;
    box.objectName = modal->objectName();
    box.className = QString::fromLatin1(modal->metaObject()->className());
    box.title = modal->windowTitle();
    auto* message = qobject_cast<QMessageBox*>(modal);
    if (message) {
      box.text = message->text();
      box.icon = static_cast<int>(message->icon());
      for (QAbstractButton* b : message->buttons()) box.buttons << b->text();
      if (message->defaultButton()) box.defaultButton = message->defaultButton()->text();
      if (message->escapeButton()) box.escapeButton = message->escapeButton()->text();
    } else {
      for (QPushButton* b : modal->findChildren<QPushButton*>()) box.buttons << b->text();
    }

    if (queue_.empty()) {
      box.unexpected = true;
      seen.push_back(box);
      if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->reject();
      else
        modal->close();
      return;
    }
    Step step = std::move(queue_.front());
    queue_.pop_front();
    if (step.action) {
      seen.push_back(box);
      // Run outside this timer's slot: Qt does not fire a timer again while
      // its slot runs, and the action may open further modal boxes.
      QPointer<QWidget> target(modal);
      QMetaObject::invokeMethod(
          this,
          [target, action = std::move(step.action)] {
            if (target) action(target);
          },
          Qt::QueuedConnection);
      return;
    }
    box.answer = step.button;
    QAbstractButton* target = nullptr;
    for (QAbstractButton* b : modal->findChildren<QAbstractButton*>())
      if (b->text() == step.button && b->isVisible()) target = b;
    if (!target) {
      box.unexpected = true;  // the button asked for is not there
      seen.push_back(box);
      if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->reject();
      else
        modal->close();
      return;
    }
    seen.push_back(box);
    QPointer<QAbstractButton> button(target);
    QMetaObject::invokeMethod(
        this,
        [button] {
          if (button) button->click();
        },
        Qt::QueuedConnection);
  }

  QTimer timer_;
  std::deque<Step> queue_;
  QList<QPointer<QWidget>> handled_;
};

}  // namespace uitest
