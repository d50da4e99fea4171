// The record navigator on a real table, with a grid attached.
#include <gtest/gtest.h>

#include <QVBoxLayout>
#include <memory>

#include "tests/support/test_support.h"
#include "tests/ui/test_grid_support.h"
#include "ui/data_grid.h"
#include "ui/record_navigator.h"

namespace {

using gridtest::Type;
using Nav = ui::RecordNavigator;

class NavigatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::EnsureQtApp();
    std::vector<std::vector<store::Value>> rows;
    for (int i = 1; i <= 25; ++i)
      rows.push_back({i, std::string("r") + std::to_string(i)});
    gridtest::MakeTable(dir_.path(), "ROWS",
                        {{"NUM", store::FieldType::Integer, 4},
                         {"TXT", store::FieldType::String, 8}},
                        {{"NUM", "NUM"}}, rows);
    table_.SetDatabaseName(dir_.path());
    table_.SetTableName("ROWS");
    table_.SetIndexName("NUM");
    table_.Open();
    host_ = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(host_.get());
    grid_ = new ui::DataGrid(table_,
                             {{"NUM", 4, "NUM", false, nullptr, false},
                              {"TXT", 8, "TXT", true, nullptr, false}},
                             {}, host_.get());
    nav_ = new Nav(table_, host_.get());
    nav_->attachGrid(grid_);
    layout->addWidget(grid_);
    layout->addWidget(nav_);
    ASSERT_TRUE(gridtest::ShowAndActivate(host_.get()));
    grid_->setFocus();
    gridtest::Settle();
  }
  void TearDown() override {
    host_.reset();
    table_.Close();
  }

  void Click(Nav::Button b) {
    QTest::mouseClick(nav_->button(b), Qt::LeftButton);
    gridtest::Settle();
  }
  void GotoRow(int row) {
    table_.GotoRecord(table_.VisibleRecords().at(row));
    gridtest::Settle();
  }
  int Row() { return table_.FieldByName("NUM").AsInteger() - 1; }

  testsupport::TempDir dir_;
  store::Table table_;
  std::unique_ptr<QWidget> host_;
  ui::DataGrid* grid_ = nullptr;
  Nav* nav_ = nullptr;
};

TEST_F(NavigatorTest, HasExactlyTheTenButtonsAndNoneToAddOrDelete) {
  const QStringList names = {"First", "PriorPage", "Prior",  "Next",
                             "NextPage", "Last",  "Edit",   "Post",
                             "Cancel",  "Refresh"};
  QList<QToolButton*> buttons = nav_->findChildren<QToolButton*>();
  ASSERT_EQ(buttons.size(), 10);
  for (int b = 0; b < Nav::ButtonCount; ++b) {
    EXPECT_EQ(nav_->button(static_cast<Nav::Button>(b))->objectName(),
              names[b]);
    EXPECT_EQ(nav_->button(static_cast<Nav::Button>(b))->focusPolicy(),
              Qt::NoFocus);
  }
}

TEST_F(NavigatorTest, MovesByOneByTenAndToTheEnds) {
  struct Case {
    int from;
    Nav::Button button;
    int to;
  };
  const Case cases[] = {
      {0, Nav::Next, 1},       {5, Nav::Prior, 4},      {0, Nav::NextPage, 10},
      {12, Nav::NextPage, 22}, {20, Nav::NextPage, 24}, {15, Nav::PriorPage, 5},
      {3, Nav::PriorPage, 0},  {7, Nav::First, 0},      {7, Nav::Last, 24},
  };
  for (const Case& c : cases) {
    GotoRow(c.from);
    Click(c.button);
    EXPECT_EQ(Row(), c.to) << "from " << c.from << " button " << c.button;
    EXPECT_EQ(grid_->currentIndex().row(), c.to)
        << "the grid follows, from " << c.from << " button " << c.button;
  }
}

TEST_F(NavigatorTest, ButtonsAreEnabledWhereTheyCanAct) {
  GotoRow(0);
  EXPECT_FALSE(nav_->button(Nav::First)->isEnabled());
  EXPECT_FALSE(nav_->button(Nav::PriorPage)->isEnabled());
  EXPECT_TRUE(nav_->button(Nav::Next)->isEnabled());
  EXPECT_TRUE(nav_->button(Nav::EditRecord)->isEnabled());
  EXPECT_FALSE(nav_->button(Nav::PostRecord)->isEnabled());
  EXPECT_FALSE(nav_->button(Nav::CancelRecord)->isEnabled());
  GotoRow(24);
  EXPECT_FALSE(nav_->button(Nav::Last)->isEnabled());
  EXPECT_FALSE(nav_->button(Nav::NextPage)->isEnabled());
  EXPECT_TRUE(nav_->button(Nav::Prior)->isEnabled());
  Click(Nav::EditRecord);
  EXPECT_EQ(table_.State(), store::DataSetState::Edit);
  EXPECT_FALSE(nav_->button(Nav::EditRecord)->isEnabled());
  EXPECT_TRUE(nav_->button(Nav::PostRecord)->isEnabled());
  EXPECT_TRUE(nav_->button(Nav::CancelRecord)->isEnabled());
  table_.Close();
  gridtest::Settle();
  for (int b = 0; b < Nav::ButtonCount; ++b)
    EXPECT_FALSE(nav_->button(static_cast<Nav::Button>(b))->isEnabled()) << b;
}

TEST_F(NavigatorTest, PostStoresCancelDiscardsAndMovingSettles) {
  GotoRow(2);
  grid_->setCurrentIndex(grid_->model()->index(2, 1));
  Type("uno");  // the editor is still open when the button acts
  Click(Nav::PostRecord);
  EXPECT_EQ(table_.State(), store::DataSetState::Browse);
  EXPECT_EQ(gridtest::ReadBack(dir_.path(), "ROWS")[2][1], "uno");

  Type("dos");
  Click(Nav::CancelRecord);
  EXPECT_EQ(table_.State(), store::DataSetState::Browse);
  EXPECT_EQ(gridtest::ReadBack(dir_.path(), "ROWS")[2][1], "uno");
  EXPECT_EQ(grid_->model()->index(2, 1).data().toString(), "uno");

  Type("tres");
  Click(Nav::NextPage);
  EXPECT_EQ(Row(), 12);
  EXPECT_EQ(gridtest::ReadBack(dir_.path(), "ROWS")[2][1], "tres");

  Click(Nav::EditRecord);
  Click(Nav::Next);  // nothing set: the edit is discarded, nothing stored
  EXPECT_EQ(table_.State(), store::DataSetState::Browse);
  EXPECT_EQ(Row(), 13);
}

TEST_F(NavigatorTest, RefreshSettlesAndShowsWhatOthersStored) {
  store::Table other;
  other.SetDatabaseName(dir_.path());
  other.SetTableName("ROWS");
  other.Open();
  other.Last();
  other.Edit();
  other.FieldByName("TXT").SetAsString("fuera");
  other.Post();
  other.Close();
  GotoRow(4);
  grid_->setCurrentIndex(grid_->model()->index(4, 1));
  Type("dentro");
  Click(Nav::Refresh);
  EXPECT_EQ(table_.State(), store::DataSetState::Browse);
  EXPECT_EQ(gridtest::ReadBack(dir_.path(), "ROWS")[4][1], "dentro");
  EXPECT_EQ(grid_->model()->index(24, 1).data().toString(), "fuera");
}

}  // namespace
