// The timetable template window on a real template in a temporary folder.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <memory>

#include "dae_export/control_plantilla.h"
#include "dae_export/timetable_template.h"
#include "tests/support/test_support.h"
#include "tests/ui/test_grid_support.h"
#include "ui/control_plantilla_dialog.h"
#include "ui/data_grid.h"
#include "ui/record_navigator.h"

namespace {

using gridtest::Key;
using gridtest::Type;
using Nav = ui::RecordNavigator;

class TemplateWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::EnsureQtApp();
    dae_export::EnsurePlantilla(dir_.path());
    logic_ = std::make_unique<dae_export::ControlPlantilla>(dir_.path());
    window_ = std::make_unique<ui::TControlPlantilla>(*logic_);
    ASSERT_TRUE(gridtest::ShowAndActivate(window_.get()));
    gridtest::Settle();
    grid_ = window_->PlantiHorDBGrid;
  }
  void TearDown() override {
    window_.reset();
    logic_.reset();
  }

  store::Table& table() { return logic_->wwTablePlantilla; }
  std::vector<std::vector<std::string>> File() {
    return gridtest::ReadBack(dir_.path(), "PLANTILLA", "HORA");
  }
  QString Cell(int row, int column) {
    return grid_->model()->index(row, column).data().toString();
  }
  void Goto(int row, int column) {
    grid_->setCurrentIndex(grid_->model()->index(row, column));
    gridtest::Settle();
  }

  testsupport::TempDir dir_;
  std::unique_ptr<dae_export::ControlPlantilla> logic_;
  std::unique_ptr<ui::TControlPlantilla> window_;
  ui::DataGrid* grid_ = nullptr;
};

TEST_F(TemplateWindowTest, OpensOnTheTwentyPeriodsWithTheGridFocusedAndEditing) {
  EXPECT_EQ(window_->windowTitle(), "Control de Plantilla Horaria");
  QStringList texts;
  for (QLabel* l : window_->findChildren<QLabel*>()) texts << l->text();
  EXPECT_TRUE(texts.contains(
      QString::fromUtf8("COMPROBACIÓN DE LA PLANTILLA HORARIA DEL CENTRO")));
  EXPECT_TRUE(texts.contains("PLANTILLA HORARIA DEL CENTRO"));
  EXPECT_TRUE(texts.contains(
      "Modifique, en caso necesario, las Horas de Inicio y Final de Clase, "
      "en la presente rejilla. Deben ser iguales que la Plantilla Horaria de "
      "su Centro."));
  EXPECT_EQ(window_->BitBtn2->text(), "Aceptar");
  EXPECT_TRUE(window_->BitBtn2->isDefault());

  // Gaining the focus opened the table and put the first row into edit.
  EXPECT_TRUE(grid_->hasFocusWithin());
  ASSERT_TRUE(table().Active());
  EXPECT_EQ(table().State(), store::DataSetState::Edit);
  ASSERT_EQ(grid_->model()->rowCount(), 20);
  const QStringList titles = {"HORA", "HORA INICIO CLASE", "HORA FINAL CLASE"};
  for (int c = 0; c < 3; ++c)
    EXPECT_EQ(grid_->model()->headerData(c, Qt::Horizontal).toString()
                  .replace('\n', ' '),
              titles[c]);
  struct Row {
    int row;
    const char *hora, *ini, *fin;
  };
  for (Row r : {Row{0, "1", "08:00", "09:00"}, Row{15, "16", "23:00", "24:00"},
                Row{16, "17", "00:00", "01:00"},
                Row{19, "20", "03:00", "04:00"}}) {
    EXPECT_EQ(Cell(r.row, 0), r.hora);
    EXPECT_EQ(Cell(r.row, 1), r.ini);
    EXPECT_EQ(Cell(r.row, 2), r.fin);
  }
}

TEST_F(TemplateWindowTest, ATimeTypedAndThenMovingRowsIsStoredAsTyped) {
  Goto(0, 1);
  Type("8:30");
  Key(Qt::Key_Return);  // to the next cell: HORAFIN of the same row
  EXPECT_EQ(grid_->currentIndex().column(), 2);
  EXPECT_EQ(File()[0][1], "08:00") << "pending until the row is left";
  Key(Qt::Key_Down);
  auto file = File();
  EXPECT_EQ(file[0][1], "8:30");
  EXPECT_EQ(file[0][2], "09:00");
  EXPECT_EQ(file.size(), 20u);
}

TEST_F(TemplateWindowTest, TheHourColumnCannotBeEdited) {
  Goto(3, 0);
  Type("99");
  EXPECT_FALSE(grid_->isEditing());
  Key(Qt::Key_Down);
  EXPECT_EQ(File()[3][0], "4");
  EXPECT_FALSE(grid_->model()->flags(grid_->model()->index(3, 0)) &
               Qt::ItemIsEditable);
}

TEST_F(TemplateWindowTest, TheGridAddsAndDeletesNoPeriods) {
  uitest::ModalAnswerer answers;
  answers.ignore(window_.get());
  Goto(19, 1);
  Key(Qt::Key_Down);
  Key(Qt::Key_Insert);
  Key(Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_EQ(grid_->model()->rowCount(), 20);
  EXPECT_TRUE(answers.seen.empty());
  EXPECT_EQ(File().size(), 20u);
}

TEST_F(TemplateWindowTest, AceptarClickedStoresThePendingChangeAndClosesTheTable) {
  Goto(4, 2);
  Type("13:55");
  QTest::mouseClick(window_->BitBtn2, Qt::LeftButton);
  gridtest::Settle();
  EXPECT_EQ(window_->result(), QDialog::Accepted);
  EXPECT_FALSE(window_->isVisible());
  EXPECT_FALSE(table().Active());
  EXPECT_EQ(File()[4][2], "13:55");
}

TEST_F(TemplateWindowTest, AceptarFromTheKeyboardStillStoresTheChange) {
  // The button acts without the focus leaving the grid.
  Goto(6, 1);
  Type("14:05");
  ASSERT_TRUE(grid_->hasFocusWithin());
  window_->BitBtn2->click();
  gridtest::Settle();
  EXPECT_EQ(window_->result(), QDialog::Accepted);
  EXPECT_EQ(File()[6][1], "14:05");
}

TEST_F(TemplateWindowTest, TheCloseBoxStoresThePendingChange) {
  Goto(2, 1);
  Type("10:10");
  window_->close();
  gridtest::Settle();
  EXPECT_EQ(window_->result(), QDialog::Rejected);
  EXPECT_FALSE(table().Active());
  EXPECT_EQ(File()[2][1], "10:10");
}

TEST_F(TemplateWindowTest, EscapeDoesNotCloseTheWindow) {
  window_->BitBtn2->setFocus();
  gridtest::Settle();
  Key(Qt::Key_Escape);
  EXPECT_TRUE(window_->isVisible());
}

TEST_F(TemplateWindowTest, TheNavigatorMovesTheGridAndStoresWhatItLeaves) {
  Nav* nav = window_->DBNavigator;
  ASSERT_NE(nav, nullptr);
  EXPECT_EQ(nav->findChildren<QToolButton*>().size(), 10);
  Goto(0, 1);
  Type("07:45");
  QTest::mouseClick(nav->button(Nav::NextPage), Qt::LeftButton);
  gridtest::Settle();
  EXPECT_EQ(grid_->currentIndex().row(), 10);
  EXPECT_EQ(table().FieldByName("HORA").AsInteger(), 11);
  EXPECT_EQ(File()[0][1], "07:45");
  EXPECT_TRUE(grid_->hasFocusWithin()) << "the buttons take no focus";

  QTest::mouseClick(nav->button(Nav::Last), Qt::LeftButton);
  gridtest::Settle();
  EXPECT_EQ(grid_->currentIndex().row(), 19);
  QTest::mouseClick(nav->button(Nav::PriorPage), Qt::LeftButton);
  gridtest::Settle();
  EXPECT_EQ(grid_->currentIndex().row(), 9);
  QTest::mouseClick(nav->button(Nav::First), Qt::LeftButton);
  gridtest::Settle();
  EXPECT_EQ(grid_->currentIndex().row(), 0);

  QTest::mouseClick(nav->button(Nav::EditRecord), Qt::LeftButton);
  gridtest::Settle();
  EXPECT_EQ(table().State(), store::DataSetState::Edit);
  Type("06:00");
  QTest::mouseClick(nav->button(Nav::CancelRecord), Qt::LeftButton);
  gridtest::Settle();
  EXPECT_EQ(table().State(), store::DataSetState::Browse);
  EXPECT_EQ(Cell(0, 1), "07:45");
  EXPECT_EQ(File()[0][1], "07:45");
}

TEST(TemplateWindow, LaterOpeningsShowTheStoredCorrections) {
  uitest::EnsureQtApp();
  testsupport::TempDir dir;
  dae_export::EnsurePlantilla(dir.path());
  {
    store::Table t;
    t.SetDatabaseName(dir.path());
    t.SetTableName("PLANTILLA");
    t.SetIndexName("HORA");
    t.Open();
    ASSERT_TRUE(t.FindKey(3));
    t.Edit();
    t.FieldByName("HORAFIN").SetAsString("10:50");
    t.Post();
    t.Close();
  }
  dae_export::ControlPlantilla logic(dir.path());
  ui::TControlPlantilla window(logic);
  ASSERT_TRUE(gridtest::ShowAndActivate(&window));
  gridtest::Settle();
  ASSERT_EQ(window.PlantiHorDBGrid->model()->rowCount(), 20);
  EXPECT_EQ(window.PlantiHorDBGrid->model()->index(2, 2).data().toString(),
            "10:50");
}

}  // namespace
