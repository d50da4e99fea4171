// The two modal windows as laid out on the platform in use: every control
// lies inside its window and has room for its whole text, and every grid
// shows all of its columns and titles. With TRANSDAE_SCREENSHOT_DIR set
// the windows are also saved there as PNG images
// (scripts/screenshots_dialogs.sh runs this on an X server).
#include <gtest/gtest.h>

#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <memory>

#include "chain/process_state.h"
#include "dae_export/ajusta_dae.h"
#include "dae_export/control_plantilla.h"
#include "dae_export/timetable_template.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_support.h"
#include "tests/ui/test_ajusta_dae_fixture.h"
#include "tests/ui/test_grid_support.h"
#include "ui/ajusta_dae_dialog.h"
#include "ui/control_plantilla_dialog.h"
#include "ui/data_grid.h"
#include "ui/lookup_delegate.h"
#include "ui/record_navigator.h"

namespace {

QString Describe(const QWidget* w) {
  QString d = QString::fromLatin1(w->metaObject()->className()) + " " +
              w->objectName();
  if (auto* l = qobject_cast<const QLabel*>(w)) d += " \"" + l->text() + "\"";
  if (auto* b = qobject_cast<const QPushButton*>(w)) d += " \"" + b->text() + "\"";
  return d;
}

void CheckLayout(QWidget* window) {
  const QRect inside = window->rect();
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (!w->isVisibleTo(window) || w->isWindow()) continue;
    const bool control = qobject_cast<QLabel*>(w) ||
                         qobject_cast<QPushButton*>(w) ||
                         qobject_cast<QLineEdit*>(w) ||
                         qobject_cast<ui::DataGrid*>(w) ||
                         qobject_cast<ui::RecordNavigator*>(w);
    if (!control || qobject_cast<QLineEdit*>(w->parentWidget())) continue;
    const QRect r(w->mapTo(window, QPoint(0, 0)), w->size());
    EXPECT_TRUE(inside.contains(r)) << Describe(w).toStdString();
    if (auto* l = qobject_cast<QLabel*>(w)) {
      if (l->wordWrap())
        EXPECT_GE(l->height(), l->heightForWidth(l->width()))
            << Describe(w).toStdString();
      else
        EXPECT_GE(l->width(), l->sizeHint().width())
            << Describe(w).toStdString();
    }
    if (auto* b = qobject_cast<QPushButton*>(w)) {
      EXPECT_GE(b->width(), b->sizeHint().width()) << Describe(w).toStdString();
    }
    if (auto* g = qobject_cast<ui::DataGrid*>(w)) {
      EXPECT_LE(g->horizontalHeader()->length(), g->viewport()->width())
          << "all columns in view: " << Describe(w).toStdString();
      EXPECT_GE(g->horizontalHeader()->height(),
                g->horizontalHeader()->sizeHint().height())
          << "whole titles: " << Describe(w).toStdString();
      // Cell texts fit their columns.
      const QFontMetrics cellFont = g->fontMetrics();
      for (int r = 0; r < g->model()->rowCount(); ++r)
        for (int c = 0; c < g->model()->columnCount(); ++c)
          EXPECT_LE(cellFont.horizontalAdvance(
                        g->model()->index(r, c).data().toString()) + 6,
                    g->columnWidth(c))
              << "cell " << r << "," << c << " of " << Describe(w).toStdString();
      for (int c = 0; c < g->model()->columnCount(); ++c) {
        const QString title = g->model()->headerData(c, Qt::Horizontal).toString();
        for (const QString& line : title.split('\n'))
          EXPECT_LE(g->horizontalHeader()->fontMetrics().horizontalAdvance(line),
                    g->columnWidth(c))
              << "title \"" << line.toStdString() << "\" of "
              << Describe(w).toStdString();
      }
    }
  }
}

void Save(const QPixmap& picture, const char* name) {
  const QByteArray dir = qgetenv("TRANSDAE_SCREENSHOT_DIR");
  if (dir.isEmpty()) return;
  QDir().mkpath(QString::fromLocal8Bit(dir));
  const QString path = QString::fromLocal8Bit(dir) + "/" + name;
  EXPECT_TRUE(picture.save(path)) << path.toStdString();
}

// The window's picture: on Windows as the system draws it on the screen,
// frame and caption included; elsewhere as Qt paints it.
QPixmap Picture(QWidget* window) {
#ifdef _WIN32
  if (QScreen* screen = window->screen()) {
    gridtest::Settle();
    const QRect area = window->frameGeometry();
    return screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
  }
#endif
  return window->grab();
}

TEST(WindowLayout, TemplateWindow) {
  uitest::EnsureQtApp();
  testsupport::TempDir dir;
  dae_export::EnsurePlantilla(dir.path());
  dae_export::ControlPlantilla logic(dir.path());
  ui::TControlPlantilla window(logic);
  ASSERT_TRUE(gridtest::ShowAndActivate(&window));
  gridtest::Settle();
  CheckLayout(&window);
  Save(Picture(&window), "control_plantilla.png");
}

TEST(WindowLayout, CodingWindow) {
  uitest::EnsureQtApp();
  testsupport::TempDir dir;
  codingtest::MakeCodingTables(dir.path());
  testsupport::ScriptedUI scripted;
  chain::ProcessState state;
  dae_export::AjustaDAE logic(scripted, state, dir.path());
  ui::TAjustaDAE window(logic);
  ASSERT_TRUE(gridtest::ShowAndActivate(&window));
  gridtest::Settle();
  // On the teacher with several sessions, one of them coded.
  ui::DataGrid* teachers = window.wwDBGridPROFT;
  teachers->setCurrentIndex(teachers->model()->index(1, 2));
  ui::DataGrid* type2 = window.wwDBGridCUADROH2;
  type2->setFocus();
  type2->setCurrentIndex(
      type2->model()->index(0, type2->tableModel()->columnOfField("TIPTAR")));
  gridtest::Settle();
  gridtest::Type("L");
  gridtest::Key(Qt::Key_Return);
  // A codable cell current: its drop-down button shows.
  type2->setCurrentIndex(
      type2->model()->index(0, type2->tableModel()->columnOfField("GRUPNIV")));
  gridtest::Settle();
  EXPECT_FALSE(type2->dropButtonRect(type2->currentIndex()).isEmpty());
  CheckLayout(&window);
  Save(Picture(&window), "ajusta_dae.png");

  // The drop-down list of the task type.
  type2->setCurrentIndex(
      type2->model()->index(1, type2->tableModel()->columnOfField("TIPTAR")));
  gridtest::Settle();
  gridtest::Key(Qt::Key_F2);
  auto* editor = qobject_cast<ui::LookupEditor*>(type2->activeEditor());
  ASSERT_NE(editor, nullptr);
  editor->showList();
  gridtest::Settle();
  QWidget* popup = editor->listWidget()->window();
  ASSERT_TRUE(popup->isVisible());
  QTableWidget* list = editor->listWidget();
  for (int c = 0; c < list->columnCount(); ++c)
    EXPECT_GE(list->columnWidth(c),
              list->horizontalHeader()->fontMetrics().horizontalAdvance(
                  list->horizontalHeaderItem(c)->text()));
  // The descriptions are shown whole: the window has room for them.
  for (int r = 0; r < list->rowCount(); ++r)
    for (int c = 0; c < list->columnCount(); ++c)
      EXPECT_LE(list->fontMetrics().horizontalAdvance(list->item(r, c)->text()),
                list->columnWidth(c))
          << list->item(r, c)->text().toStdString();
  auto shoot = [&](QWidget* shown, const char* name) {
    if (QScreen* screen = window.screen()) {
      const QRect area = window.frameGeometry().united(shown->frameGeometry());
      QPixmap shot = screen->grabWindow(0, area.x(), area.y(), area.width(),
                                        area.height());
      if (!shot.isNull() && qgetenv("QT_QPA_PLATFORM") != "offscreen")
        Save(shot, name);
    }
  };
  shoot(popup, "ajusta_dae_lista.png");
  editor->hideList();
  gridtest::Key(Qt::Key_Escape);

  // The list of the last column opens inside the window too.
  type2->setCurrentIndex(
      type2->model()->index(1, type2->tableModel()->columnOfField("TIP_ACTIV")));
  gridtest::Settle();
  gridtest::Key(Qt::Key_F2);
  editor = qobject_cast<ui::LookupEditor*>(type2->activeEditor());
  ASSERT_NE(editor, nullptr);
  editor->showList();
  gridtest::Settle();
  popup = editor->listWidget()->window();
  ASSERT_TRUE(popup->isVisible());
  const QRect inside(window.mapToGlobal(QPoint(0, 0)), window.size());
  EXPECT_TRUE(inside.contains(popup->geometry()));
  shoot(popup, "ajusta_dae_lista_activ.png");
  editor->hideList();
}

}  // namespace
