// What the main window's tests share: a sample DAE folder copied into a
// temporary folder, a work folder named by QTEMP, a folder standing for the
// executable's, and a window built on them; helpers that find controls by
// name, type into grid cells as a user would and read tables back with the
// independent dBase reader.
#pragma once
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "chain/process_state.h"
#include "store/work_folder.h"
#include "tests/support/host_program.h"
#include "tests/support/test_support.h"
#include "tests/ui/modal_answerer.h"
#include "ui/data_grid.h"
#include "ui/folder_browser.h"
#include "ui/main_form.h"

namespace uitest {

namespace fs = std::filesystem;

// A table read by tests/tools/dbf_dump.py: field names and rows of texts.
struct DumpedTable {
  std::vector<std::string> fields;
  std::vector<std::vector<std::string>> rows;
  int column(const std::string& name) const {
    for (size_t i = 0; i < fields.size(); ++i)
      if (fields[i] == name) return static_cast<int>(i);
    return -1;
  }
  std::vector<std::string> values(const std::string& name) const {
    std::vector<std::string> out;
    const int c = column(name);
    for (const auto& row : rows) out.push_back(c >= 0 && c < (int)row.size() ? row[c] : "");
    return out;
  }
};

inline std::vector<std::string> SplitBar(const std::string& line) {
  std::vector<std::string> out;
  std::string piece;
  for (char ch : line) {
    if (ch == '|') {
      out.push_back(piece);
      piece.clear();
    } else {
      piece += ch;
    }
  }
  out.push_back(piece);
  return out;
}

inline DumpedTable DumpTable(const fs::path& dbf) {
  const fs::path tool = testsupport::SourceDir() / "tests" / "tools" / "dbf_dump.py";
  const testsupport::CommandResult r = testsupport::RunHostProgram(
      {"/usr/bin/python3", testsupport::HostPath(tool), testsupport::HostPath(dbf)});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  DumpedTable table;
  const std::vector<std::string> lines = testsupport::SplitLines(r.out);
  if (lines.empty()) return table;
  for (const std::string& field : SplitBar(lines[0])) table.fields.push_back(field.substr(0, field.find(':')));
  for (size_t i = 1; i < lines.size(); ++i) table.rows.push_back(SplitBar(lines[i]));
  return table;
}

// Reads "Transformado" of section "Transformadores"; "" when absent.
inline std::string ResultEntry(const fs::path& ini) {
  if (!fs::exists(ini)) return "";
  bool inSection = false;
  for (std::string line : testsupport::SplitLines(testsupport::ReadFile(ini))) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') {
      inSection = line == "[Transformadores]";
      continue;
    }
    if (inSection && line.rfind("Transformado=", 0) == 0) return line.substr(13);
  }
  return "";
}

class FormFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApp();
    dae_ = tmp_.path() / "dae";
    work_ = tmp_.path() / "QTEMP";
    exe_ = tmp_.path() / "bin";
    fs::create_directories(dae_);
    fs::create_directories(work_);
    fs::create_directories(exe_);
    for (const auto& entry : fs::directory_iterator(testsupport::SourceDir() / "examples" / "dae"))
      fs::copy_file(entry.path(), dae_ / entry.path().filename());
    hadQtemp_ = qEnvironmentVariableIsSet("QTEMP");
    oldQtemp_ = qgetenv("QTEMP");
    qputenv("QTEMP", QByteArray::fromStdString(work_.string()));
  }

  void TearDown() override {
    form_.reset();
    if (hadQtemp_)
      qputenv("QTEMP", oldQtemp_);
    else
      qunsetenv("QTEMP");
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
  }

  // Builds, creates (command line applied) and shows the window.
  ui::TMForm& Open(const app::LaunchOptions& options = {}, QString start = {}) {
    ui::FormSetup setup;
    setup.state = &state_;
    setup.exeFolder = exe_;
    setup.startFolder = start.isEmpty() ? QString::fromStdString(dae_.string()) : start;
    form_ = std::make_unique<ui::TMForm>(setup);
    form_->FormCreate(options);
    form_->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    return *form_;
  }
  ui::TMForm& OpenEmbedded(app::HiddenPanel hidden = app::HiddenPanel::None) {
    app::LaunchOptions options;
    options.embedded = true;
    options.parentHandle = 0x3a0001f;
    options.hiddenPanel = hidden;
    return Open(options);
  }

  template <typename T>
  T* W(const char* name) {
    T* w = form_ ? form_->findChild<T*>(QString::fromLatin1(name)) : nullptr;
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QPushButton* Button(const char* name) { return W<QPushButton>(name); }
  ui::DataGrid* Grid(const char* name) { return W<ui::DataGrid>(name); }

  void Click(QAbstractButton* button) {
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isVisible()) << button->objectName().toStdString();
    QTest::mouseClick(button, Qt::LeftButton);
    QApplication::processEvents();
  }

  // Moves to a cell with the keyboard focus on the grid and types the text
  // as a user would (the first key opens the cell editor), then Return.
  void TypeIntoCell(ui::DataGrid* grid, int row, int column, const QString& text) {
    ASSERT_NE(grid, nullptr);
    QWidget* window = grid->window();
    if (!window->isActiveWindow()) {
      window->activateWindow();
      ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }
    grid->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    grid->setCurrentIndex(grid->model()->index(row, column));
    QApplication::processEvents();
    for (int i = 0; i < text.size(); ++i) {
      QWidget* target = QApplication::focusWidget();
      ASSERT_NE(target, nullptr);
      if (i == 0 && target == grid) {
        QTest::keyClick(target, text[0].toLatin1());
        if (auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget())) {
          // The first key replaced the cell's text with itself.
          ASSERT_EQ(editor->text(), text.left(1));
        }
        continue;
      }
      QTest::keyClick(target, text[i].toLatin1());
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QApplication::processEvents();
    QApplication::processEvents();
  }

  std::vector<QString> Column(ui::DataGrid* grid, int column) {
    std::vector<QString> out;
    for (int r = 0; r < grid->model()->rowCount(); ++r)
      out.push_back(grid->tableModel()->cellText(r, column).trimmed());
    return out;
  }

  fs::path Table(const std::string& name) { return store::ResolveFileNoCase(work_, name); }
  fs::path Ini() { return exe_ / "Dolvarin.ini"; }

  testsupport::TempDir tmp_;
  fs::path dae_, work_, exe_;
  chain::ProcessState state_;
  std::unique_ptr<ui::TMForm> form_;
  bool hadQtemp_ = false;
  QByteArray oldQtemp_;
};

}  // namespace uitest
