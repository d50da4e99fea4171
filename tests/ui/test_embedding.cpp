// Embedding under a real X server: Xvfb on a free display, a plain X client
// (xmessage) as the foreign window, and the built tool copied into a
// temporary folder and started as the timetabling product starts it. What
// the X server holds is read with xwininfo and xprop; the tool's buttons and
// boxes are pressed with xdotool. Skipped only when Xvfb is not installed.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <filesystem>
#include <functional>
#include <memory>

#include "tests/ui/test_main_form_fixture.h"

#ifndef TRANSDAE_GUI
#error "TRANSDAE_GUI (the path of the built tool) must be defined"
#endif

namespace {

namespace fs = std::filesystem;

constexpr const char* kCaption = "Exportar e importar datos entre Dolvarin y DAE";

bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 15000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return false;
    QThread::msleep(50);
  }
  return true;
}

// A display of its own: Xvfb on the first free display number.
class XServer {
 public:
  ~XServer() {
    if (process_) {
      process_->terminate();  // lets the server remove its socket and lock
      if (!process_->waitForFinished(5000)) {
        process_->kill();
        process_->waitForFinished(5000);
      }
    }
  }

  // The server chooses a free display itself and writes its number when it
  // is ready (-displayfd), so that tests running side by side never meet on
  // one display.
  bool Start() {
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty()) return false;
    for (int attempt = 0; attempt < 3; ++attempt) {
      auto p = std::make_unique<QProcess>();
      p->setProcessChannelMode(QProcess::SeparateChannels);
      p->start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                      QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                      QStringLiteral("tcp")});
      if (!p->waitForStarted(5000)) continue;
      QByteArray out;
      QElapsedTimer clock;
      clock.start();
      while (!out.contains('\n') && p->state() == QProcess::Running && clock.elapsed() < 15000) {
        p->waitForReadyRead(200);
        out += p->readAllStandardOutput();
      }
      bool ok = false;
      const int number = out.trimmed().toInt(&ok);
      if (ok && p->state() == QProcess::Running) {
        display_ = QStringLiteral(":%1").arg(number);
        process_ = std::move(p);
        return true;
      }
      p->kill();
      p->waitForFinished(2000);
    }
    return false;
  }

  const QString& display() const { return display_; }

 private:
  std::unique_ptr<QProcess> process_;
  QString display_;
};

class EmbeddingTest : public uitest::FormFixture {
 protected:
  void SetUp() override {
#ifdef _WIN32
    GTEST_SKIP() << "X11 windows; on Windows test_embedding_win32 puts the tool inside a Win32 window";
#endif
    FormFixture::SetUp();
    if (!x_.Start()) {
      if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        GTEST_SKIP() << "Xvfb is not installed";
      FAIL() << "Xvfb did not start on any free display";
    }
    for (const char* tool : {"xwininfo", "xprop", "xdotool", "xmessage"})
      ASSERT_FALSE(QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
          << tool << " is needed for this test";
    env_ = QProcessEnvironment::systemEnvironment();
    env_.insert(QStringLiteral("DISPLAY"), x_.display());
    env_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env_.insert(QStringLiteral("QTEMP"), QString::fromStdString(work_.string()));
    // The tool under test runs from a copy: its result entry must land
    // beside the copy.
    tool_ = exe_ / "transdae";
    fs::copy_file(TRANSDAE_GUI, tool_);
  }

  void TearDown() override {
    for (auto& p : processes_) {
      if (p->state() != QProcess::NotRunning) {
        p->kill();
        p->waitForFinished(5000);
      }
    }
    FormFixture::TearDown();
  }

  QProcess* Spawn(const QString& program, const QStringList& args, const fs::path& cwd = {}) {
    processes_.push_back(std::make_unique<QProcess>());
    QProcess* p = processes_.back().get();
    p->setProcessChannelMode(QProcess::MergedChannels);
    p->setProcessEnvironment(env_);
    if (!cwd.empty()) p->setWorkingDirectory(QString::fromStdString(cwd.string()));
    p->start(program, args);
    EXPECT_TRUE(p->waitForStarted(5000)) << program.toStdString();
    return p;
  }

  // Runs an X client to its end and returns its standard output.
  QString X(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProcessEnvironment(env_);
    p.start(program, args);
    p.waitForFinished(15000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
  }

  // The id of the first child window of parent whose line holds text.
  QString ChildWithText(const QString& parent, const QString& text) {
    const QStringList args = parent.isEmpty()
                                 ? QStringList{QStringLiteral("-root"), QStringLiteral("-children")}
                                 : QStringList{QStringLiteral("-children"), QStringLiteral("-id"), parent};
    for (const QString& line : X(QStringLiteral("xwininfo"), args).split(QLatin1Char('\n'))) {
      const QString t = line.trimmed();
      if (t.startsWith(QStringLiteral("0x")) && t.contains(text)) return t.section(QLatin1Char(' '), 0, 0);
    }
    return {};
  }

  // "Relative upper-left X", "Width", "Border width", "Map State", ...
  QString Info(const QString& window, const QString& key) {
    for (const QString& line : X(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window}).split(QLatin1Char('\n'))) {
      const QString t = line.trimmed();
      if (t.startsWith(key + QLatin1Char(':'))) return t.mid(key.size() + 1).trimmed();
    }
    return {};
  }

  // Starts the host window and returns its id (the host process is
  // host_). A host that ends before its window shows is started again.
  QString StartHost() {
    QString host;
    QString report;
    for (int attempt = 0; attempt < 3 && host.isEmpty(); ++attempt) {
      host_ = Spawn(QStringLiteral("xmessage"),
                    {QStringLiteral("-name"), QStringLiteral("transdae-anfitrion"),
                     QStringLiteral("-geometry"), QStringLiteral("700x400+10+10"),
                     QStringLiteral("Ventana anfitriona")});
      WaitUntil([&] {
        host = ChildWithText({}, QStringLiteral("\"transdae-anfitrion\""));
        return !host.isEmpty() || host_->state() == QProcess::NotRunning;
      });
      if (host.isEmpty())
        report += QStringLiteral("xmessage (exit %1): %2\n")
                      .arg(host_->exitCode())
                      .arg(QString::fromLocal8Bit(host_->readAll()));
    }
    EXPECT_FALSE(host.isEmpty()) << report.toStdString()
                                 << X(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")})
                                        .toStdString();
    return host;
  }

  // Where a button of the window lies (window coordinates), laid out as the
  // tool lays it out with the given panel hidden.
  QPoint ButtonCentre(const char* name, app::HiddenPanel hidden) {
    ui::TMForm& form = OpenEmbedded(hidden);
    auto* button = form.findChild<QPushButton*>(QString::fromLatin1(name));
    EXPECT_NE(button, nullptr) << name;
    const QPoint centre = button ? button->mapTo(&form, button->rect().center()) : QPoint();
    form_.reset();
    return centre;
  }

  void ClickAt(const QString& window, QPoint at) {
    X(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QStringLiteral("--window"), window,
                                  QString::number(at.x()), QString::number(at.y()),
                                  QStringLiteral("click"), QStringLiteral("1")});
  }

  // The visible boxes titled with the application's title.
  QStringList VisibleBoxes() {
    return X(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                         QStringLiteral("--name"), QStringLiteral("^transPelmarDAE$")})
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  }

  XServer x_;
  QProcess* host_ = nullptr;
  QProcessEnvironment env_;
  fs::path tool_;
  std::vector<std::unique_ptr<QProcess>> processes_;
};

TEST_F(EmbeddingTest, ToolWindowIsAFramelessChildAtTwoTwoAndSalirWritesTheEntry) {
  const QPoint salir = ButtonCentre("BClose", app::HiddenPanel::Left);
  const QString host = StartHost();
  ASSERT_FALSE(host.isEmpty());
  QString hex = host.mid(2);  // the product writes the handle without a prefix
  QProcess* tool = Spawn(QString::fromStdString(tool_.string()), {QStringLiteral("importar"), hex}, dae_);

  QString child;
  ASSERT_TRUE(WaitUntil([&] {
    child = ChildWithText(host, QString::fromUtf8(kCaption));
    return !child.isEmpty() && Info(child, QStringLiteral("Map State")) == QStringLiteral("IsViewable");
  })) << X(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")}).toStdString();

  EXPECT_EQ(Info(child, QStringLiteral("Relative upper-left X")), QStringLiteral("2"));
  EXPECT_EQ(Info(child, QStringLiteral("Relative upper-left Y")), QStringLiteral("2"));
  EXPECT_EQ(Info(child, QStringLiteral("Width")), QStringLiteral("599"));
  EXPECT_EQ(Info(child, QStringLiteral("Height")), QStringLiteral("311"));
  EXPECT_EQ(Info(child, QStringLiteral("Border width")), QStringLiteral("0"));
  // Not a top-level window of its own.
  EXPECT_TRUE(ChildWithText({}, QString::fromUtf8(kCaption)).isEmpty());
  // Asked to be shown without decorations (flags 2: decorations; value 0).
  const QString hints = X(QStringLiteral("xprop"), {QStringLiteral("-id"), child, QStringLiteral("_MOTIF_WM_HINTS")});
  const QStringList values = hints.section(QLatin1Char('='), 1).split(QLatin1Char(','));
  ASSERT_GE(values.size(), 3) << hints.toStdString();
  EXPECT_EQ(values[2].trimmed(), QStringLiteral("0x0")) << hints.toStdString();

  // "&Salir" ends the tool, which leaves its result beside the copy.
  ClickAt(child, salir);
  ASSERT_TRUE(tool->waitForFinished(15000));
  EXPECT_EQ(tool->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(tool->exitCode(), 0);
  EXPECT_EQ(uitest::ResultEntry(exe_ / "Dolvarin.ini"), "0");
  EXPECT_TRUE(ChildWithText(host, QString::fromUtf8(kCaption)).isEmpty());
}

TEST_F(EmbeddingTest, EmbeddedImportWithoutItsFolderWritesMinusOneAndCloses) {
  const QPoint aceptar = ButtonCentre("BExportar", app::HiddenPanel::Right);
  const QString host = StartHost();
  ASSERT_FALSE(host.isEmpty());
  const fs::path gone = tmp_.path() / "desaparecida";
  fs::create_directories(gone);
  QProcess* tool = Spawn(QString::fromStdString(tool_.string()), {QStringLiteral("EXPORTAR"), host.mid(2)}, gone);
  QString child;
  ASSERT_TRUE(WaitUntil([&] {
    child = ChildWithText(host, QString::fromUtf8(kCaption));
    return !child.isEmpty() && Info(child, QStringLiteral("Map State")) == QStringLiteral("IsViewable");
  }));
  fs::remove_all(gone);  // the folder list's current folder vanishes

  ClickAt(child, aceptar);
  QStringList boxes;
  ASSERT_TRUE(WaitUntil([&] {
    boxes = VisibleBoxes();
    return !boxes.isEmpty();
  })) << "no message box";
  X(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("--window"), boxes.first(), QStringLiteral("Return")});

  ASSERT_TRUE(tool->waitForFinished(15000));
  EXPECT_EQ(tool->exitCode(), 0);
  EXPECT_EQ(uitest::ResultEntry(exe_ / "Dolvarin.ini"), "-1");
}

TEST_F(EmbeddingTest, ToolEndsWhenTheForeignWindowVanishes) {
  const QString host = StartHost();
  ASSERT_FALSE(host.isEmpty());
  QProcess* xmessage = host_;
  QProcess* tool = Spawn(QString::fromStdString(tool_.string()), {QStringLiteral("importar"), host.mid(2)}, dae_);
  ASSERT_TRUE(WaitUntil([&] {
    const QString child = ChildWithText(host, QString::fromUtf8(kCaption));
    return !child.isEmpty() && Info(child, QStringLiteral("Map State")) == QStringLiteral("IsViewable");
  }));
  xmessage->terminate();  // the owner of the foreign window ends
  ASSERT_TRUE(xmessage->waitForFinished(10000));
  ASSERT_TRUE(tool->waitForFinished(15000)) << "the tool outlived its window";
  EXPECT_EQ(tool->exitCode(), 0);
  EXPECT_EQ(uitest::ResultEntry(exe_ / "Dolvarin.ini"), "0");
}

TEST_F(EmbeddingTest, BadHandleIsReportedAndTheToolStartsStandAlone) {
  const QPoint salir = ButtonCentre("BClose", app::HiddenPanel::None);
  const QString host = StartHost();
  ASSERT_FALSE(host.isEmpty());
  QProcess* tool = Spawn(QString::fromStdString(tool_.string()), {QStringLiteral("importar"), QStringLiteral("zz")}, dae_);

  QStringList boxes;
  ASSERT_TRUE(WaitUntil([&] {
    boxes = VisibleBoxes();
    return !boxes.isEmpty();
  })) << "no error report";
  X(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("--window"), boxes.first(), QStringLiteral("Return")});

  // The window then opens as a top-level window of its own, not inside
  // the host.
  QString window;
  ASSERT_TRUE(WaitUntil([&] {
    window = ChildWithText({}, QString::fromUtf8(kCaption));
    return !window.isEmpty() && Info(window, QStringLiteral("Map State")) == QStringLiteral("IsViewable");
  }));
  EXPECT_TRUE(ChildWithText(host, QString::fromUtf8(kCaption)).isEmpty());
  EXPECT_EQ(Info(window, QStringLiteral("Width")), QStringLiteral("599"));
  const QString hints = X(QStringLiteral("xprop"), {QStringLiteral("-id"), window, QStringLiteral("_MOTIF_WM_HINTS")});
  const QStringList values = hints.section(QLatin1Char('='), 1).split(QLatin1Char(','));
  EXPECT_FALSE(values.size() >= 3 && values[2].trimmed() == QStringLiteral("0x0")) << hints.toStdString();

  ClickAt(window, salir);
  ASSERT_TRUE(tool->waitForFinished(15000));
  EXPECT_EQ(tool->exitCode(), 0);
  EXPECT_FALSE(fs::exists(exe_ / "Dolvarin.ini"));  // stand-alone: no entry
}

}  // namespace
