// The item model through which a grid shows and edits a store::Table.
//
// Rows are the table's visible records (detail link and filter applied) in
// its current order, followed by the pending new record while the table is
// in insert state. The model follows the table through a listener: a change
// of the row list (records posted, appended, deleted, reordered, a master
// moved, the table opened or closed) resets the model; anything else only
// repaints. Cell texts are the table's code page 1252 bytes shown as UTF-8.
//
// The current record of the table is the grid's current row: the model
// reads the record being edited (or built) from the table's current fields,
// so a change not yet posted is shown as it stands.
//
// The table must outlive the model.
#pragma once
#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "store/table.h"

namespace ui {

// A drop-down list of a grid cell: the rows of a code table (open,
// normally read-only) in stored order, shown with the given columns; the
// chosen row's codeField goes into the cell.
struct LookupSpec {
  struct ListColumn {
    std::string field;
    int width = 10;  // characters
  };
  store::Table* table = nullptr;
  std::string codeField;
  std::vector<ListColumn> columns;
};

struct GridColumn {
  std::string field;     // upper-case field name
  int width = 10;        // display width in characters
  QString title;         // may hold '\n' for a two-line title
  bool editable = true;
  std::shared_ptr<LookupSpec> lookup;  // null: no drop-down
  bool markBlank = false;  // soft background while the cell is blank
};

class TableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  TableModel(store::Table& table, std::vector<GridColumn> columns,
             QObject* parent = nullptr);
  ~TableModel() override;

  store::Table& table() const { return table_; }
  const std::vector<GridColumn>& columns() const { return columns_; }
  const GridColumn& column(int c) const { return columns_.at(c); }
  int columnOfField(const std::string& field) const;  // -1 when absent

  // The record shown in a row; 0 for the pending new record (or no row).
  uint32_t recordAt(int row) const;
  bool isPendingRow(int row) const;
  // The row of the table's current record (the pending row in insert
  // state); -1 when the table is closed or empty.
  int currentRow() const;
  // The text of a cell as the grid shows it (UTF-8).
  QString cellText(int row, int column) const;

  // Sets a field of the current record from the grid: puts the table into
  // edit state unless it is already editing or inserting, and stores the
  // text cut to the field's width. Throws store::StoreError.
  void setCurrentField(int column, const QString& text);

  // When set, a blank cell of a markBlank column is marked only where the
  // rule answers true (the row's other cells may decide whether the cell
  // needs a value).
  void setMarkRule(std::function<bool(int row, int column)> rule) { markRule_ = std::move(rule); }

  // When set, a text typed into a cell is checked before it is stored: a
  // non-empty answer is the message that refuses it (valueRefused), and
  // the field keeps its value.
  void setCheckRule(std::function<QString(int column, const QString& text)> rule) {
    checkRule_ = std::move(rule);
  }

  // Re-reads the row list from the table (a reset when it changed).
  void refresh();

  // QAbstractTableModel.
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value,
               int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role) const override;

 signals:
  // A field was set through the grid (column index of the model).
  void fieldChanged(int column);
  // The table moved, opened, closed or its rows changed: the grid follows.
  void tableMoved();
  // Setting a field from the grid failed (text of the store's error).
  void storeError(const QString& text);
  // A typed text was refused by the check rule (its message).
  void valueRefused(const QString& message);

 private:
  void onTableEvent(store::TableEvent event);
  std::vector<uint32_t> readRows(bool* pending) const;
  int fieldIndex(int column) const;

  store::Table& table_;
  std::vector<GridColumn> columns_;
  std::vector<uint32_t> rows_;
  bool pendingRow_ = false;
  int listenerId_ = -1;
  bool inEvent_ = false;
  std::function<bool(int row, int column)> markRule_;
  std::function<QString(int column, const QString& text)> checkRule_;
};

}  // namespace ui
