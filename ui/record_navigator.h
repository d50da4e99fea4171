// A bar of buttons that moves through a table and edits its current
// record: first, ten back, previous, next, ten forward, last, edit, post,
// cancel, refresh. It offers no way to add or delete records.
//
// Moving settles a pending record as the table does (posted when a field
// was set, discarded otherwise). When a grid is attached, its open cell
// editor is written into the field before any button acts, and refresh
// re-reads the grid's rows.
#pragma once
#include <QPointer>
#include <QToolButton>
#include <QWidget>
#include <array>
#include <functional>

#include "store/table.h"

namespace ui {

class DataGrid;

class RecordNavigator : public QWidget {
  Q_OBJECT

 public:
  enum Button {
    First,
    PriorPage,  // ten records back
    Prior,
    Next,
    NextPage,   // ten records forward
    Last,
    EditRecord,
    PostRecord,
    CancelRecord,
    Refresh,
    ButtonCount
  };
  static constexpr int kPageSize = 10;

  explicit RecordNavigator(store::Table& table, QWidget* parent = nullptr);
  ~RecordNavigator() override;

  void attachGrid(DataGrid* grid);
  QToolButton* button(Button b) const { return buttons_[b]; }
  // What a button does (also the slot of its click).
  void act(Button b);
  // Enables the buttons that make sense in the table's position and state.
  void updateButtons();

  // How store errors are shown; by default the general error report.
  std::function<void(const QString&)> errorHandler;

 private:
  void moveBy(int delta);

  store::Table& table_;
  QPointer<DataGrid> grid_;
  std::array<QToolButton*, ButtonCount> buttons_{};
  int listenerId_ = -1;
};

}  // namespace ui
