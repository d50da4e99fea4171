// Drop-down lists of code tables in grid cells.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QSignalSpy>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <memory>

#include "tests/support/test_support.h"
#include "tests/ui/test_grid_support.h"
#include "ui/data_grid.h"
#include "ui/lookup_delegate.h"

namespace {

using gridtest::Key;
using gridtest::Type;

class LookupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::EnsureQtApp();
    gridtest::MakeTable(dir_.path(), "TASKS",
                        {{"ABREV", store::FieldType::String, 4},
                         {"TIPTAR", store::FieldType::String, 3}},
                        {},
                        {{std::string("AB"), std::string("")},
                         {std::string("CD"), std::string("G")}});
    // Stored order differs from alphabetical order on purpose.
    gridtest::MakeTable(dir_.path(), "CODES",
                        {{"COD", store::FieldType::String, 3},
                         {"DESCCAST", store::FieldType::String, 30},
                         {"DESCEUSK", store::FieldType::String, 30}},
                        {},
                        {{std::string("NL"), std::string("No lectiva"),
                          std::string("Ez lektiboa")},
                         {std::string("L"), std::string("Lectiva"),
                          std::string("Lektiboa")},
                         {std::string("G"), std::string("Guardia"),
                          std::string("Zaintza")}});
    tasks_.SetDatabaseName(dir_.path());
    tasks_.SetTableName("TASKS");
    tasks_.Open();
    codes_.SetDatabaseName(dir_.path());
    codes_.SetTableName("CODES");
    codes_.SetReadOnly(true);
    codes_.Open();

    auto spec = std::make_shared<ui::LookupSpec>();
    spec->table = &codes_;
    spec->codeField = "COD";
    spec->columns = {{"COD", 3}, {"DESCCAST", 20}, {"DESCEUSK", 20}};
    host_ = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(host_.get());
    grid_ = new ui::DataGrid(
        tasks_,
        {{"ABREV", 4, "Profe.", true, nullptr, false},
         {"TIPTAR", 3, "TAREA", true, spec, true}},
        {}, host_.get());
    layout->addWidget(grid_);
    ASSERT_TRUE(gridtest::ShowAndActivate(host_.get()));
    grid_->setFocus();
    gridtest::Settle();
  }

  void TearDown() override {
    host_.reset();
    tasks_.Close();
    codes_.Close();
  }

  ui::LookupEditor* OpenEditor(int row) {
    grid_->setCurrentIndex(grid_->model()->index(row, 1));
    gridtest::Settle();
    Key(Qt::Key_F2);
    return qobject_cast<ui::LookupEditor*>(grid_->activeEditor());
  }

  testsupport::TempDir dir_;
  store::Table tasks_, codes_;
  std::unique_ptr<QWidget> host_;
  ui::DataGrid* grid_ = nullptr;
};

TEST_F(LookupTest, TheListShowsTheCodeTableInStoredOrderTitledByFieldName) {
  ui::LookupEditor* editor = OpenEditor(0);
  ASSERT_NE(editor, nullptr);
  ASSERT_NE(editor->dropButton(), nullptr);
  QTest::mouseClick(editor->dropButton(), Qt::LeftButton);
  gridtest::Settle();
  ASSERT_TRUE(editor->listVisible());
  QTableWidget* list = editor->listWidget();
  ASSERT_EQ(list->rowCount(), 3);
  ASSERT_EQ(list->columnCount(), 3);
  EXPECT_EQ(list->horizontalHeaderItem(0)->text(), "COD");
  EXPECT_EQ(list->horizontalHeaderItem(1)->text(), "DESCCAST");
  EXPECT_EQ(list->horizontalHeaderItem(2)->text(), "DESCEUSK");
  EXPECT_EQ(list->item(0, 0)->text(), "NL");
  EXPECT_EQ(list->item(1, 1)->text(), "Lectiva");
  EXPECT_EQ(list->item(2, 2)->text(), "Zaintza");
  // The list counts as part of the grid: opening it is no exit.
  EXPECT_TRUE(grid_->hasFocusWithin());
}

TEST_F(LookupTest, ChoosingARowStoresItsCodeAtOnce) {
  QSignalSpy changes(grid_, &ui::DataGrid::fieldChanged);
  ui::LookupEditor* editor = OpenEditor(0);
  ASSERT_NE(editor, nullptr);
  editor->showList();
  gridtest::Settle();
  QTableWidget* list = editor->listWidget();
  QRect r = list->visualItemRect(list->item(1, 1));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
  gridtest::Settle();
  EXPECT_FALSE(editor->listVisible());
  EXPECT_EQ(editor->text(), "L");
  EXPECT_EQ(tasks_.State(), store::DataSetState::Edit);
  EXPECT_EQ(tasks_.FieldByName("TIPTAR").AsString(), "L");
  ASSERT_EQ(changes.size(), 1);
  EXPECT_EQ(changes[0][0].toString(), "TIPTAR");

  Key(Qt::Key_Return);
  Key(Qt::Key_Down);
  EXPECT_EQ(gridtest::ReadBack(dir_.path(), "TASKS")[0][1], "L");
}

TEST_F(LookupTest, KeyboardOpensTheListOnTheCurrentCodeAndChooses) {
  ui::LookupEditor* editor = OpenEditor(1);  // holds "G"
  ASSERT_NE(editor, nullptr);
  Key(Qt::Key_F4);
  ASSERT_TRUE(editor->listVisible());
  EXPECT_EQ(editor->listWidget()->currentRow(), 2);
  Key(Qt::Key_Up);
  Key(Qt::Key_Return);
  EXPECT_FALSE(editor->listVisible());
  EXPECT_EQ(tasks_.FieldByName("TIPTAR").AsString(), "L");

  // Escape closes the list and changes nothing.
  Key(Qt::Key_Down, Qt::AltModifier);
  ASSERT_TRUE(editor->listVisible());
  Key(Qt::Key_Escape);
  EXPECT_FALSE(editor->listVisible());
  EXPECT_EQ(tasks_.FieldByName("TIPTAR").AsString(), "L");
}

TEST_F(LookupTest, ACodeMayStillBeTypedByHand) {
  grid_->setCurrentIndex(grid_->model()->index(0, 1));
  gridtest::Settle();
  Type("XYZW");  // cut to the field's three characters
  Key(Qt::Key_Return);
  Key(Qt::Key_Down);
  EXPECT_EQ(gridtest::ReadBack(dir_.path(), "TASKS")[0][1], "XYZ");
}

}  // namespace
