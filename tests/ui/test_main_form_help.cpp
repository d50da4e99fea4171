// F1 and "F1 AYUDA": the help file shown with a viewer that the system has,
// or the tool's own help, with the topic of the focused control.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>
#include <QDir>
#include <QFileInfo>
#include <sys/stat.h>

#include "tests/ui/test_main_form_fixture.h"
#include "ui/help_viewer.h"

namespace {

using uitest::FormFixture;
namespace fs = std::filesystem;

class HelpTest : public FormFixture {
 protected:
  void SetUp() override {
    FormFixture::SetUp();
    viewers_ = tmp_.path() / "visores";
    fs::create_directories(viewers_);
  }

  ui::TMForm& OpenWithHelp(bool withFile) {
    ui::TMForm& form = Open();
    chm_ = exe_ / "DAE.CHM";
    if (withFile) testsupport::WriteFile(chm_, "ITSF fake compiled help");
    form.help().setHelpFile(QString::fromStdString(chm_.string()));
    form.help().setViewerSearchPaths({QString::fromStdString(viewers_.string())});
    form.help().setUseDesktopHandler(false);
    form.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
    return form;
  }

  // A stand-in viewer program that writes its arguments, one a line, and
  // the file where they are found. On a POSIX system a shell script; on
  // Windows a program that writes them beside itself (recorder_main.cpp).
  fs::path FakeViewer(const std::string& name) {
#ifdef _WIN32
    const fs::path program = viewers_ / (name + ".exe");
    fs::copy_file(fs::path(TRANSDAE_RECORDER), program, fs::copy_options::overwrite_existing);
    fs::path log = program;
    log += ".args";
    return log;
#else
    const fs::path program = viewers_ / name;
    const fs::path log = tmp_.path() / (name + ".args");
    testsupport::WriteFile(program, "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" +
                                        log.string() + ".tmp'\nmv '" + log.string() + ".tmp' '" +
                                        log.string() + "'\n");
    ::chmod(program.c_str(), 0755);
    return log;
#endif
  }

  // The help file as the viewer is given it: whole, in the system's form.
  std::string ChmArgument() const {
    return QDir::toNativeSeparators(QFileInfo(QString::fromStdString(chm_.string())).absoluteFilePath())
        .toStdString();
  }

  void PressF1(QWidget* focus) {
    QWidget* window = focus->window();
    if (!window->isActiveWindow()) {
      window->activateWindow();
      ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }
    focus->setFocus(Qt::OtherFocusReason);
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    QApplication::processEvents();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
    QApplication::processEvents();
  }

  fs::path viewers_;
  fs::path chm_;
};

TEST_F(HelpTest, HelpContextFollowsTheFocusedControl) {
  ui::TMForm& form = Open();
  auto* box = W<QComboBox>("ComboBoxEuskCast");
  struct Case {
    const QWidget* widget;
    int context;
  };
  const Case cases[] = {
      {&form, 3},
      {box, 1},
      {box->lineEdit(), 1},
      {W<QWidget>("Directorios"), 3},
      {W<QWidget>("BExportar"), 3},
      {nullptr, 3},
  };
  for (const Case& c : cases) EXPECT_EQ(ui::HelpContextOf(c.widget), c.context);
}

TEST_F(HelpTest, WithoutTheFileTheToolsOwnHelpSaysSoAndShowsTheTopic) {
  ui::TMForm& form = OpenWithHelp(false);
#ifndef _WIN32
  FakeViewer("xchm");  // a viewer without a file to show changes nothing
#endif

  PressF1(W<QComboBox>("ComboBoxEuskCast"));
  EXPECT_EQ(form.help().lastShown(), ui::HelpViewer::Shown::BuiltIn);
  QDialog* window = form.help().builtInWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->property("helpContextShown").toInt(), 1);
  auto* note = window->findChild<QLabel*>(QStringLiteral("HelpNote"));
  ASSERT_NE(note, nullptr);
  EXPECT_TRUE(note->isVisible());
  EXPECT_TRUE(note->text().contains(QStringLiteral("DAE.CHM")));
  EXPECT_TRUE(note->text().contains(QString::fromStdString(exe_.string())));
  auto* text = window->findChild<QTextBrowser*>(QStringLiteral("HelpText"));
  ASSERT_NE(text, nullptr);
  EXPECT_TRUE(text->toPlainText().contains(QStringLiteral("EUSKERA")));
  // Buttons are named as the user sees them, without the ampersand of
  // their keyboard accelerator.
  EXPECT_TRUE(text->toPlainText().contains(QStringLiteral("Salir cierra la herramienta")));
  EXPECT_FALSE(text->toPlainText().contains(QLatin1Char('&')));
  // The topic is scrolled into view: the language section is not at the
  // top of the document, so the view has moved.
  EXPECT_GT(text->verticalScrollBar()->value(), 0);
  window->close();

  PressF1(W<QWidget>("Directorios"));
  EXPECT_EQ(form.help().builtInWindow()->property("helpContextShown").toInt(), 3);

  Click(Button("Button1"));  // "F1 AYUDA": the table of contents
  EXPECT_EQ(form.help().builtInWindow()->property("helpContextShown").toInt(), 0);
  EXPECT_TRUE(form.help().builtInWindow()->isVisible());
}

// The system's viewer of compiled HTML help at the focused control's
// topic: on Windows its own (hh.exe -mapid N), elsewhere xchm (-c N).
TEST_F(HelpTest, WithFileAndViewerTheViewerShowsItAtTheTopic) {
#ifdef _WIN32
  const std::string viewer = "hh", topicOption = "-mapid";
#else
  const std::string viewer = "xchm", topicOption = "-c";
#endif
  ui::TMForm& form = OpenWithHelp(true);
  const fs::path log = FakeViewer(viewer);

  PressF1(W<QWidget>("Directorios"));
  EXPECT_EQ(form.help().lastShown(), ui::HelpViewer::Shown::ExternalViewer);
  ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(log); }, 10000));
  EXPECT_EQ(testsupport::SplitLines(testsupport::ReadFile(log)),
            (std::vector<std::string>{topicOption, "3", ChmArgument()}));
  fs::remove(log);

  PressF1(W<QComboBox>("ComboBoxEuskCast"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(log); }, 10000));
  EXPECT_EQ(testsupport::SplitLines(testsupport::ReadFile(log)),
            (std::vector<std::string>{topicOption, "1", ChmArgument()}));
  fs::remove(log);

  Click(Button("Button1"));  // "F1 AYUDA": the table of contents
  ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(log); }, 10000));
  EXPECT_EQ(testsupport::SplitLines(testsupport::ReadFile(log)), (std::vector<std::string>{ChmArgument()}));
  EXPECT_EQ(form.help().builtInWindow(), nullptr);  // no own help was needed
}

TEST_F(HelpTest, AViewerWithoutTopicsGetsTheFileAlone) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has one viewer, its own, which takes topics";
#else
  ui::TMForm& form = OpenWithHelp(true);
  const fs::path log = FakeViewer("kchmviewer");
  PressF1(W<QComboBox>("ComboBoxEuskCast"));
  EXPECT_EQ(form.help().lastShown(), ui::HelpViewer::Shown::ExternalViewer);
  ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(log); }, 5000));
  EXPECT_EQ(testsupport::SplitLines(testsupport::ReadFile(log)), (std::vector<std::string>{ChmArgument()}));
#endif
}

TEST_F(HelpTest, WithFileButNoViewerTheToolsOwnHelpSaysWhy) {
  ui::TMForm& form = OpenWithHelp(true);
  PressF1(W<QWidget>("Directorios"));
  EXPECT_EQ(form.help().lastShown(), ui::HelpViewer::Shown::BuiltIn);
  ASSERT_NE(form.help().builtInWindow(), nullptr);
  const QString note =
      form.help().builtInWindow()->findChild<QLabel*>(QStringLiteral("HelpNote"))->text();
  EXPECT_TRUE(note.contains(QStringLiteral("visor"))) << note.toStdString();
  EXPECT_TRUE(note.contains(QString::fromStdString(chm_.string()))) << note.toStdString();
}

}  // namespace
