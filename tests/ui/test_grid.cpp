// The data-aware grid on a real table: editing, settling, adding and
// deleting records, moving with Enter, the owner's hooks and error reports.
#include <gtest/gtest.h>

#include <QDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <memory>

#include "tests/support/test_support.h"
#include "tests/ui/test_grid_support.h"
#include "ui/data_grid.h"

namespace {

using gridtest::Key;
using gridtest::ReadBack;
using gridtest::Type;
using store::DataSetState;

class GridTest : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::EnsureQtApp();
    gridtest::MakeTable(
        dir_.path(), "ITEMS",
        {{"CODE", store::FieldType::String, 4},
         {"NAME", store::FieldType::String, 10},
         {"QTY", store::FieldType::Integer, 5}},
        {},
        {{std::string("A1"), std::string("Uno"), 1},
         {std::string("B2"), std::string("Dos"), 2},
         {std::string("C3"), std::string("\xD1" "and\xFA"), 3}});
    table_.SetDatabaseName(dir_.path());
    table_.SetTableName("items");
    table_.Open();
  }

  void TearDown() override {
    host_.reset();
    if (table_.Active()) table_.Close();
  }

  // A dialog holding the grid, a line edit to move the focus to, and a
  // default button that must not be pressed by keys meant for the grid.
  ui::DataGrid* Make(ui::GridOptions options = {},
                     std::vector<ui::GridColumn> columns = {}) {
    if (columns.empty())
      columns = {{"CODE", 4, "Código", false, nullptr, false},
                 {"NAME", 10, "Nombre largo\ndel artículo", true, nullptr,
                  false},
                 {"QTY", 5, "Cant.", true, nullptr, false}};
    host_ = std::make_unique<QDialog>();
    auto* layout = new QVBoxLayout(host_.get());
    grid_ = new ui::DataGrid(table_, std::move(columns), options, host_.get());
    grid_->errorHandler = [this](const QString& t) { errors_ << t; };
    other_ = new QLineEdit(host_.get());
    ok_ = new QPushButton("OK", host_.get());
    ok_->setDefault(true);
    QObject::connect(ok_, &QPushButton::clicked, host_.get(), &QDialog::accept);
    layout->addWidget(grid_);
    layout->addWidget(other_);
    layout->addWidget(ok_);
    EXPECT_TRUE(gridtest::ShowAndActivate(host_.get()));
    grid_->setFocus();
    gridtest::Settle();
    return grid_;
  }

  void Goto(int row, int column) {
    grid_->setCurrentIndex(grid_->model()->index(row, column));
    gridtest::Settle();
  }
  QModelIndex Current() const { return grid_->currentIndex(); }
  QString Cell(int row, int column) const {
    return grid_->model()->index(row, column).data().toString();
  }
  std::vector<std::vector<std::string>> File() const {
    return ReadBack(dir_.path(), "ITEMS");
  }

  testsupport::TempDir dir_;
  store::Table table_;
  std::unique_ptr<QDialog> host_;
  ui::DataGrid* grid_ = nullptr;
  QLineEdit* other_ = nullptr;
  QPushButton* ok_ = nullptr;
  QStringList errors_;
};

TEST_F(GridTest, ShowsTheRecordsInTableOrderAsUtf8Text) {
  Make();
  ASSERT_EQ(grid_->model()->rowCount(), 3);
  ASSERT_EQ(grid_->model()->columnCount(), 3);
  EXPECT_EQ(Cell(0, 0), "A1");
  EXPECT_EQ(Cell(1, 1), "Dos");
  EXPECT_EQ(Cell(2, 1), QString::fromUtf8("Ñandú"));
  EXPECT_EQ(Cell(2, 2), "3");
  EXPECT_EQ(grid_->model()->headerData(1, Qt::Horizontal).toString(),
            "Nombre largo\ndel artículo");
  EXPECT_FALSE(grid_->model()->flags(grid_->model()->index(0, 0)) &
               Qt::ItemIsEditable);
  EXPECT_TRUE(grid_->model()->flags(grid_->model()->index(0, 1)) &
              Qt::ItemIsEditable);
  // The view starts on the table's current record, first editable column.
  EXPECT_EQ(Current().row(), 0);
  EXPECT_EQ(Current().column(), 1);
}

TEST_F(GridTest, TypingEditsTheRecordAndMovingToAnotherRowPostsIt) {
  Make();
  Goto(0, 1);
  Type("Z");
  EXPECT_EQ(table_.State(), DataSetState::Edit);
  Type("ed");
  Key(Qt::Key_Return);
  EXPECT_EQ(table_.FieldByName("NAME").AsString(), "Zed");
  EXPECT_EQ(table_.State(), DataSetState::Edit);
  EXPECT_EQ(File()[0][1], "Uno") << "not posted before the row is left";
  EXPECT_EQ(Cell(0, 1), "Zed") << "the pending change is shown";

  Key(Qt::Key_Down);
  EXPECT_EQ(table_.State(), DataSetState::Browse);
  EXPECT_EQ(Current().row(), 1);
  EXPECT_EQ(table_.RecNo(), 2u);
  EXPECT_EQ(File()[0][1], "Zed");
  EXPECT_EQ(File().size(), 3u);
  EXPECT_TRUE(errors_.isEmpty());
}

TEST_F(GridTest, ArrowKeyInsideAnOpenEditorCommitsAndPosts) {
  Make();
  Goto(1, 1);
  Type("Nuevo");
  Key(Qt::Key_Up);  // the editor is still open
  EXPECT_EQ(Current().row(), 0);
  EXPECT_EQ(table_.State(), DataSetState::Browse);
  EXPECT_EQ(File()[1][1], "Nuevo");
}

TEST_F(GridTest, TextIsCutToTheFieldWidthAndStoredInCodePage1252) {
  Make();
  Goto(0, 1);
  Type(QString::fromUtf8("Peñaranda-Larga"));
  Key(Qt::Key_Return);
  Key(Qt::Key_Down);
  EXPECT_EQ(File()[0][1], "Pe\xF1" "aranda-");
  EXPECT_EQ(Cell(0, 1), QString::fromUtf8("Peñaranda-"));
}

TEST_F(GridTest, ColumnsThatAreNotEditableRefuseTyping) {
  Make();
  Goto(0, 0);
  Type("C");  // would jump to "C3" if typing searched the column
  EXPECT_FALSE(grid_->isEditing());
  EXPECT_EQ(table_.State(), DataSetState::Browse);
  EXPECT_EQ(Current().row(), 0);
  EXPECT_EQ(Cell(0, 0), "A1");
  EXPECT_FALSE(grid_->model()->setData(grid_->model()->index(0, 0), "ZZ",
                                       Qt::EditRole));
  EXPECT_EQ(File()[0][0], "A1");
}

TEST_F(GridTest, AnEditorClosedWithoutChangeSetsNoField) {
  Make();
  Goto(1, 1);
  Key(Qt::Key_F2);
  EXPECT_TRUE(grid_->isEditing());
  Key(Qt::Key_Return);
  EXPECT_FALSE(table_.Modified());
}

TEST_F(GridTest, IntegerColumnsTakeDigitsAndReportOtherText) {
  Make();
  Goto(1, 2);
  Type("42");
  Key(Qt::Key_Return);
  Key(Qt::Key_Up);
  EXPECT_EQ(File()[1][2], "42");

  Goto(0, 2);
  Type("x");
  Key(Qt::Key_Return);
  ASSERT_EQ(errors_.size(), 1);
  EXPECT_TRUE(errors_[0].contains("no es un valor entero"));
  EXPECT_EQ(File()[0][2], "1");
}

TEST_F(GridTest, InsertKeyAppendsARecordThatIsStoredOnceTyped) {
  ui::GridOptions o;
  o.allowInsert = true;
  Make(o);
  Goto(1, 1);
  Key(Qt::Key_Insert);
  EXPECT_EQ(table_.State(), DataSetState::Insert);
  ASSERT_EQ(grid_->model()->rowCount(), 4);
  EXPECT_EQ(Current().row(), 3);
  Type("Nuevo");
  Key(Qt::Key_Return);
  Key(Qt::Key_Up);
  EXPECT_EQ(table_.State(), DataSetState::Browse);
  auto file = File();
  ASSERT_EQ(file.size(), 4u);
  EXPECT_EQ(file[3][1], "Nuevo");
  EXPECT_EQ(file[3][0], "");
  EXPECT_EQ(grid_->model()->rowCount(), 4);
}

TEST_F(GridTest, DownOnTheLastRowAppendsOnceAndLeavingTheGridDiscardsIt) {
  ui::GridOptions o;
  o.allowInsert = true;
  Make(o);
  Goto(2, 1);
  Key(Qt::Key_Down);
  EXPECT_EQ(table_.State(), DataSetState::Insert);
  EXPECT_EQ(grid_->model()->rowCount(), 4);
  Key(Qt::Key_Down);  // an untouched new record is not followed by another
  EXPECT_EQ(grid_->model()->rowCount(), 4);

  other_->setFocus();
  gridtest::Settle();
  EXPECT_EQ(table_.State(), DataSetState::Browse);
  EXPECT_EQ(grid_->model()->rowCount(), 3);
  EXPECT_EQ(File().size(), 3u);
}

TEST_F(GridTest, MovingOffAnUntouchedNewRecordDiscardsIt) {
  ui::GridOptions o;
  o.allowInsert = true;
  Make(o);
  Goto(0, 1);
  Key(Qt::Key_Insert);
  ASSERT_EQ(grid_->model()->rowCount(), 4);
  Key(Qt::Key_Up);
  EXPECT_EQ(table_.State(), DataSetState::Browse);
  EXPECT_EQ(grid_->model()->rowCount(), 3);
  EXPECT_EQ(File().size(), 3u);
}

TEST_F(GridTest, LeavingTheGridKeepsATypedNewRecordPending) {
  ui::GridOptions o;
  o.allowInsert = true;
  Make(o);
  Key(Qt::Key_Insert);
  Type("Medio");  // editor still open when the focus leaves
  other_->setFocus();
  gridtest::Settle();
  EXPECT_EQ(table_.State(), DataSetState::Insert);
  EXPECT_EQ(table_.FieldByName("NAME").AsString(), "Medio");
  table_.First();  // settling stores it
  EXPECT_EQ(File().size(), 4u);
}

TEST_F(GridTest, WithoutTheOptionsNoKeyAddsOrDeletesRecords) {
  Make();
  uitest::ModalAnswerer answers;
  struct Case {
    int row;
    Qt::Key key;
    Qt::KeyboardModifiers mods;
  };
  for (Case c : {Case{1, Qt::Key_Insert, Qt::NoModifier},
                 Case{2, Qt::Key_Down, Qt::NoModifier},
                 Case{1, Qt::Key_Delete, Qt::ControlModifier}}) {
    Goto(c.row, 1);
    Key(c.key, c.mods);
    EXPECT_EQ(grid_->model()->rowCount(), 3) << "key " << c.key;
    EXPECT_EQ(table_.State(), DataSetState::Browse) << "key " << c.key;
  }
  EXPECT_TRUE(answers.seen.empty());
  EXPECT_EQ(File().size(), 3u);
}

TEST_F(GridTest, CtrlDeleteAsksAndDeletesOnlyOnAceptar) {
  ui::GridOptions o;
  o.allowDelete = true;
  Make(o);
  uitest::ModalAnswerer answers;
  Goto(1, 1);
  answers.click("Cancelar");
  Key(Qt::Key_Delete, Qt::ControlModifier);
  ASSERT_EQ(answers.seen.size(), 1u);
  EXPECT_EQ(answers.seen[0].text, "Delete record?");
  EXPECT_EQ(answers.seen[0].buttons, (QStringList{"Aceptar", "Cancelar"}));
  EXPECT_EQ(File().size(), 3u);

  ASSERT_TRUE(gridtest::Reactivate(host_.get()));
  answers.click("Aceptar");
  Key(Qt::Key_Delete, Qt::ControlModifier);
  ASSERT_EQ(answers.seen.size(), 2u);
  auto file = File();
  ASSERT_EQ(file.size(), 2u);
  EXPECT_EQ(file[0][0], "A1");
  EXPECT_EQ(file[1][0], "C3");
  EXPECT_EQ(grid_->model()->rowCount(), 2);
  EXPECT_EQ(Cell(Current().row(), 0), "C3") << "the next record is current";
  EXPECT_EQ(answers.unexpectedCount(), 0);
}

TEST_F(GridTest, EnterMovesToTheNextCellAndNeverPressesTheDefaultButton) {
  ui::GridOptions o;
  o.enterMovesToNextCell = true;
  Make(o);
  struct Step {
    int row, column, toRow, toColumn;
  };
  for (Step s : {Step{0, 0, 0, 1}, Step{0, 2, 1, 0}, Step{2, 2, 2, 2}}) {
    Goto(s.row, s.column);
    Key(Qt::Key_Return);
    EXPECT_EQ(Current().row(), s.toRow) << s.row << "," << s.column;
    EXPECT_EQ(Current().column(), s.toColumn) << s.row << "," << s.column;
  }
  // From an open editor: the text is written, then the move follows.
  Goto(1, 1);
  Type("Xy");
  Key(Qt::Key_Return);
  EXPECT_EQ(Current().row(), 1);
  EXPECT_EQ(Current().column(), 2);
  EXPECT_EQ(table_.FieldByName("NAME").AsString(), "Xy");
  EXPECT_FALSE(grid_->isEditing());
  EXPECT_TRUE(host_->isVisible());
  EXPECT_EQ(host_->result(), 0);
}

TEST_F(GridTest, ColumnExitIsReportedBeforeTheRecordChanges) {
  Make();
  QSignalSpy exits(grid_, &ui::DataGrid::columnExited);
  std::vector<uint32_t> recnoAtExit;
  QObject::connect(grid_, &ui::DataGrid::columnExited, grid_,
                   [&] { recnoAtExit.push_back(table_.RecNo()); });
  Goto(0, 1);
  Key(Qt::Key_Right);
  ASSERT_EQ(exits.size(), 1);
  EXPECT_EQ(exits[0][0].toString(), "NAME");
  EXPECT_EQ(exits[0][1].toString(), "QTY");
  Key(Qt::Key_Down);  // same column: no column exit
  EXPECT_EQ(exits.size(), 1);

  // A click on another row and column: the exit is heard while the record
  // left is still current.
  ASSERT_EQ(table_.RecNo(), 2u);
  QRect r = grid_->visualRect(grid_->model()->index(2, 1));
  QTest::mouseClick(grid_->viewport(), Qt::LeftButton, {}, r.center());
  gridtest::Settle();
  ASSERT_EQ(exits.size(), 2);
  EXPECT_EQ(exits[1][0].toString(), "QTY");
  EXPECT_EQ(recnoAtExit.back(), 2u);
  EXPECT_EQ(table_.RecNo(), 3u);
}

TEST_F(GridTest, FieldChangedNamesTheColumnTheUserStoodOn) {
  Make();
  QSignalSpy changes(grid_, &ui::DataGrid::fieldChanged);
  Goto(0, 1);
  Type("Abc");
  EXPECT_EQ(changes.size(), 0) << "reported when the text is written";
  Key(Qt::Key_Right);  // still in the editor: moves the text cursor
  Key(Qt::Key_Return);
  ASSERT_EQ(changes.size(), 1);
  EXPECT_EQ(changes[0][0].toString(), "NAME");
  // Leaving the cell for another column writes the text first: the change
  // is still reported on the column that was left.
  Goto(1, 1);
  Type("Q");
  QRect r = grid_->visualRect(grid_->model()->index(1, 2));
  QTest::mouseClick(grid_->viewport(), Qt::LeftButton, {}, r.center());
  gridtest::Settle();
  ASSERT_EQ(changes.size(), 2);
  EXPECT_EQ(changes[1][0].toString(), "NAME");
}

TEST_F(GridTest, FocusInAndOutAreReportedAndLeavingWritesTheEditor) {
  Make();
  QSignalSpy entered(grid_, &ui::DataGrid::entered);
  QSignalSpy exited(grid_, &ui::DataGrid::exited);
  other_->setFocus();
  gridtest::Settle();
  EXPECT_EQ(exited.size(), 1);
  grid_->setFocus();
  gridtest::Settle();
  EXPECT_EQ(entered.size(), 1);
  Goto(2, 1);
  Type("Ida");  // the editor takes the focus: still inside the grid
  EXPECT_EQ(exited.size(), 1);
  EXPECT_EQ(entered.size(), 1);
  other_->setFocus();
  gridtest::Settle();
  EXPECT_EQ(exited.size(), 2);
  EXPECT_EQ(table_.FieldByName("NAME").AsString(), "Ida");
  EXPECT_EQ(table_.State(), DataSetState::Edit);
}

TEST_F(GridTest, TheGridFollowsTheTableWhenOthersMoveOrCloseIt) {
  Make();
  table_.Last();
  gridtest::Settle();
  EXPECT_EQ(Current().row(), 2);
  table_.First();
  gridtest::Settle();
  EXPECT_EQ(Current().row(), 0);
  table_.Close();
  gridtest::Settle();
  EXPECT_EQ(grid_->model()->rowCount(), 0);
  table_.Open();
  gridtest::Settle();
  EXPECT_EQ(grid_->model()->rowCount(), 3);

  // A record appended through another object on the same file shows up.
  store::Table other;
  other.SetDatabaseName(dir_.path());
  other.SetTableName("ITEMS");
  other.Open();
  other.AppendValues({std::string("D4"), std::string("Cuatro"), 4});
  other.Close();
  gridtest::Settle();
  grid_->tableModel()->refresh();
  EXPECT_EQ(grid_->model()->rowCount(), 4);
  EXPECT_EQ(Cell(3, 1), "Cuatro");
}

TEST_F(GridTest, AStoreErrorIsReportedAndNothingIsThrown) {
  Make({}, {{"NAME", 10, "Nombre", true, nullptr, false},
            {"MISSING", 6, "Falta", true, nullptr, false}});
  Goto(0, 1);
  Type("abc");
  Key(Qt::Key_Return);
  ASSERT_EQ(errors_.size(), 1);
  EXPECT_EQ(errors_[0], "No se encuentra el campo 'MISSING' en la tabla 'ITEMS.DBF'");
  EXPECT_EQ(File()[0][1], "Uno");
}

TEST_F(GridTest, TheDefaultErrorReportIsTheGeneralOne) {
  Make({}, {{"NAME", 10, "Nombre", true, nullptr, false},
            {"MISSING", 6, "Falta", true, nullptr, false}});
  grid_->errorHandler = nullptr;
  uitest::ModalAnswerer answers;
  answers.act([](QWidget* w) { static_cast<QDialog*>(w)->accept(); });
  Goto(0, 1);
  Type("abc");
  Key(Qt::Key_Return);
  ASSERT_TRUE(answers.waitForSeen(1));
  EXPECT_EQ(answers.seen[0].title, "transPelmarDAE");
  EXPECT_EQ(answers.seen[0].icon, static_cast<int>(QMessageBox::Critical));
  EXPECT_EQ(answers.seen[0].text, "No se encuentra el campo 'MISSING' en la tabla 'ITEMS.DBF'");
}

TEST_F(GridTest, ColumnsAreSizedInCharactersAndTwoLineTitlesGetATallerRow) {
  Make();
  const int avg = grid_->fontMetrics().averageCharWidth();
  EXPECT_GE(grid_->columnWidth(1), avg * 10);
  EXPECT_GT(grid_->columnWidth(1), grid_->columnWidth(0));
  const int twoLines = grid_->horizontalHeader()->sizeHint().height();

  ui::DataGrid oneLine(table_, {{"NAME", 10, "Nombre", true, nullptr, false}});
  EXPECT_GT(twoLines, oneLine.horizontalHeader()->sizeHint().height());

  // A title wider than its column is broken into two lines.
  ui::DataGrid narrow(table_,
                      {{"QTY", 2, "Núm. de ALUMNOS", true, nullptr, false}});
  EXPECT_TRUE(narrow.model()->headerData(0, Qt::Horizontal).toString()
                  .contains('\n'));
}

TEST_F(GridTest, BlankMarkedCellsGetASoftBackground) {
  table_.Append();
  table_.FieldByName("CODE").SetAsString("E5");
  table_.Post();
  Make({}, {{"CODE", 4, "Código", true, nullptr, false},
            {"NAME", 10, "Nombre", true, nullptr, true}});
  EXPECT_FALSE(grid_->model()->index(0, 1).data(Qt::BackgroundRole).isValid());
  EXPECT_TRUE(grid_->model()->index(3, 1).data(Qt::BackgroundRole).isValid());
  EXPECT_FALSE(grid_->model()->index(3, 0).data(Qt::BackgroundRole).isValid());
  Goto(3, 1);
  Type("Lleno");
  Key(Qt::Key_Return);
  EXPECT_FALSE(grid_->model()->index(3, 1).data(Qt::BackgroundRole).isValid());
}

}  // namespace
