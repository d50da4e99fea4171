#include "tests/keys/keys_support.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>

#include "tests/support/host_program.h"
#include "tests/support/test_support.h"
#include "ui/data_grid.h"

namespace keys {

namespace {

// The suite's X server and application, for the whole process.
class XEnvironment : public ::testing::Environment {
 public:
  XEnvironment(int argc, char** argv) : argc_(argc), argv_(argv) {}

  void SetUp() override {
#ifdef _WIN32
    // Under Wine the windows are drawn on the X server that the stage
    // started before Wine (its DISPLAY); xdotool runs as a program of the
    // build machine.
    if (!testsupport::HostProgramsAvailable() || qEnvironmentVariableIsEmpty("DISPLAY")) return;
    if (testsupport::RunHostProgram({"/bin/sh", "-c", "command -v xdotool"}).exitCode != 0) return;
    app_ = std::make_unique<QApplication>(argc_, argv_);
    Have() = true;
    return;
#endif
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
      return;
    for (int attempt = 0; attempt < 3 && !server_; ++attempt) {
      auto p = std::make_unique<QProcess>();
      // The server picks a free display and writes its number when ready.
      p->start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                      QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                      QStringLiteral("tcp")});
      if (!p->waitForStarted(10000)) continue;
      QByteArray out;
      QElapsedTimer clock;
      clock.start();
      while (!out.contains('\n') && p->state() == QProcess::Running && clock.elapsed() < 30000) {
        p->waitForReadyRead(200);
        out += p->readAllStandardOutput();
      }
      bool ok = false;
      const int number = out.trimmed().toInt(&ok);
      if (!ok || p->state() != QProcess::Running) {
        p->kill();
        p->waitForFinished(3000);
        continue;
      }
      qputenv("DISPLAY", QStringLiteral(":%1").arg(number).toLatin1());
      server_ = std::move(p);
    }
    if (!server_) return;
    qputenv("QT_QPA_PLATFORM", "xcb");
    app_ = std::make_unique<QApplication>(argc_, argv_);
    Have() = true;
  }

  void TearDown() override {
    app_.reset();
    if (server_) {
      server_->terminate();
      if (!server_->waitForFinished(5000)) {
        server_->kill();
        server_->waitForFinished(5000);
      }
    }
  }

  static bool& Have() {
    static bool have = false;
    return have;
  }

 private:
  int argc_;
  char** argv_;
  std::unique_ptr<QProcess> server_;
  std::unique_ptr<QApplication> app_;
};

}  // namespace

bool HaveDisplay() { return XEnvironment::Have(); }

void InstallEnvironment(int argc, char** argv) {
  ::testing::AddGlobalTestEnvironment(new XEnvironment(argc, argv));
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  return true;
}

QPoint Global(QWidget* w, QPoint local) { return w->mapToGlobal(local); }
QPoint Centre(QWidget* w) { return w->mapToGlobal(w->rect().center()); }

QPoint CellCentre(ui::DataGrid* grid, int row, int column) {
  const QModelIndex index = grid->model()->index(row, column);
  grid->scrollTo(index);
  QCoreApplication::processEvents();
  return grid->viewport()->mapToGlobal(grid->visualRect(index).center());
}

QStringList ClickArgs(QPoint p) {
  // No --sync: it waits for a movement that never comes when the pointer
  // is already there; the server keeps the motion before the click anyway.
  return {QStringLiteral("mousemove"), QString::number(p.x()),
          QString::number(p.y()), QStringLiteral("click"), QStringLiteral("1")};
}

QStringList TypeArgs(const QString& text, int delayMs) {
  // "type" takes every argument after it as text: what follows goes to
  // another run of xdotool.
  return {QStringLiteral("type"), QStringLiteral("--delay"), QString::number(delayMs), text, kThen};
}

QStringList KeyArgs(const QStringList& keys, int delayMs) {
  return QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QString::number(delayMs)} + keys;
}

bool ShowActive(QWidget* w) {
  w->move(20, 20);
  w->show();
  if (!WaitFor([&] { return w->isVisible(); })) return false;
  w->activateWindow();
  w->raise();
  return WaitFor([&] { return w->isActiveWindow(); });
}

QWidget* ActiveBox() {
  QWidget* w = QApplication::activeModalWidget();
  auto* box = qobject_cast<QMessageBox*>(w);
  if (!box || !box->isVisible() || !box->isActiveWindow()) return nullptr;
  return box;
}

QString BoxText(QWidget* box) {
  auto* b = qobject_cast<QMessageBox*>(box);
  return b ? b->text() : QString();
}

std::vector<std::vector<std::pair<std::string, std::string>>> Dump(const fs::path& dbf) {
  const fs::path tool = testsupport::SourceDir() / "tests" / "tools" / "dbf_dump.py";
  const testsupport::CommandResult r = testsupport::RunHostProgram(
      {"/usr/bin/python3", testsupport::HostPath(tool), testsupport::HostPath(dbf)});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  std::vector<std::vector<std::pair<std::string, std::string>>> rows;
  const std::vector<std::string> lines = testsupport::SplitLines(r.out);
  if (lines.empty()) return rows;
  auto split = [](const std::string& line) {
    std::vector<std::string> out(1);
    for (char c : line) {
      if (c == '|')
        out.emplace_back();
      else
        out.back() += c;
    }
    return out;
  };
  std::vector<std::string> names;
  for (const std::string& f : split(lines[0])) names.push_back(f.substr(0, f.find(':')));
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> values = split(lines[i]);
    std::vector<std::pair<std::string, std::string>> row;
    for (size_t c = 0; c < names.size(); ++c) row.push_back({names[c], c < values.size() ? values[c] : ""});
    rows.push_back(row);
  }
  return rows;
}

std::vector<std::string> Values(const fs::path& dbf, const std::string& field) {
  std::vector<std::string> out;
  for (const auto& row : Dump(dbf))
    for (const auto& [name, value] : row)
      if (name == field) out.push_back(value);
  return out;
}

// ------------------------------------------------------------------ Script

Script& Script::wait(std::string what, std::function<bool()> ready) {
  steps_.push_back({std::move(what), std::move(ready), nullptr, nullptr});
  return *this;
}

Script& Script::send(std::string what, std::function<bool()> ready,
                     std::function<QStringList()> input) {
  steps_.push_back({std::move(what), std::move(ready), std::move(input), nullptr});
  return *this;
}

Script& Script::run(std::string what, std::function<void()> action) {
  steps_.push_back({std::move(what), [] { return true; }, nullptr, std::move(action)});
  return *this;
}

Script& Script::answer(const QString& part, const QStringList& keys) {
  return send(
      "la caja «" + part.toStdString() + "»",
      [this, part] {
        QWidget* box = ActiveBox();
        return box && BoxText(box).contains(part);
      },
      [this, keys] {
        boxes << BoxText(ActiveBox());
        return KeyArgs(keys);
      });
}

bool Script::play(int stepTimeoutMs) {
  QElapsedTimer whole;
  whole.start();
  stepTimeoutMs_ = stepTimeoutMs;
  next_ = 0;
  done_ = false;
  failure_.clear();
  stepClock_.start();
  connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
  timer_.start(20);
  // The steps go on from the timer, also inside the tool's modal windows.
  WaitFor([&] { return done_; }, 600000);
  timer_.stop();
  disconnect(&timer_, nullptr, this, nullptr);
  if (qEnvironmentVariableIsSet("KEYS_TRACE"))
    fprintf(stderr, "guion: %lld ms\n", static_cast<long long>(whole.elapsed()));
  if (!done_ && failure_.empty()) failure_ = "el guion no terminó";
  return done_ && failure_.empty();
}

void Script::tick() {
  if (done_ || running_) return;
  running_ = true;
  if (xdo_) {
    if (!xdo_->Finished()) {
      if (xdoClock_.elapsed() > 60000) {
        failure_ = "xdotool no terminó: " + xdoArguments_.join(' ').toStdString();
        done_ = true;
      }
      running_ = false;
      return;
    }
    const bool ok = xdo_->ExitCode() == 0;
    const std::string out = xdo_->Output() + xdo_->Error();
    if (qEnvironmentVariableIsSet("KEYS_TRACE"))
      fprintf(stderr, "  xdotool %lld ms: %s\n", static_cast<long long>(xdoClock_.elapsed()),
              xdoArguments_.join(' ').toStdString().c_str());
    xdo_.reset();
    if (!ok) {
      failure_ = "xdotool falló: " + out;
      done_ = true;
      running_ = false;
      return;
    }
    stepClock_.restart();
    if (!queued_.empty()) {
      startQueued();
      running_ = false;
      return;
    }
  }
  if (next_ >= steps_.size()) {
    done_ = true;
    running_ = false;
    return;
  }
  Step& step = steps_[next_];
  if (!step.ready()) {
    if (stepClock_.elapsed() > stepTimeoutMs_) {
      QWidget* focus = QApplication::focusWidget();
      QWidget* active = QApplication::activeWindow();
      failure_ = "no llegó: " + step.what + " (foco: " +
                 (focus ? std::string(focus->metaObject()->className()) + " " +
                              focus->objectName().toStdString()
                        : std::string("ninguno")) +
                 "; ventana activa: " +
                 (active ? active->windowTitle().toStdString() : std::string("ninguna")) +
                 "; modal: " +
                 (QApplication::activeModalWidget()
                      ? std::string(QApplication::activeModalWidget()->metaObject()->className()) + " «" +
                            BoxText(QApplication::activeModalWidget()).toStdString() + "»"
                      : std::string("ninguna")) +
                 ")";
      done_ = true;
      // Close what is open so that the tool's handlers return.
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) d->reject();
    }
    running_ = false;
    return;
  }
  ++next_;
  if (qEnvironmentVariableIsSet("KEYS_TRACE"))
    fprintf(stderr, "[%lld ms] %s\n", static_cast<long long>(stepClock_.elapsed()), step.what.c_str());
  stepClock_.restart();
  if (step.action) step.action();
  if (step.input) {
    QStringList command;
    for (const QString& arg : step.input()) {
      if (arg == kThen) {
        if (!command.isEmpty()) queued_.push_back(command);
        command.clear();
      } else {
        command << arg;
      }
    }
    if (!command.isEmpty()) queued_.push_back(command);
  }
  startQueued();
  running_ = false;
}

void Script::startQueued() {
  if (queued_.empty()) return;
  std::vector<std::string> words{"xdotool"};
  for (const QString& a : queued_.front()) words.push_back(a.toStdString());
  xdoArguments_ = queued_.front();
  xdo_ = std::make_unique<testsupport::HostProgram>(words);
  xdoClock_.start();
  queued_.pop_front();
}

}  // namespace keys
