// Cell editors of the data-aware grid, among them the drop-down list of a
// code table.
//
// A plain cell is edited in a line edit limited to the field's width. A
// cell with a LookupSpec gets a line edit with a drop-down button (also
// opened by F4 or Alt+Down): the list shows the rows of the code table in
// stored order, one column per list field, titled by the field's name;
// choosing a row (click, or Enter on it) puts that row's code into the cell
// and stores it at once. Typing a code by hand is still allowed; nothing
// checks that it is in the code table.
#pragma once
#include <QFrame>
#include <QLineEdit>
#include <QStyledItemDelegate>

#include "ui/table_model.h"

class QTableWidget;
class QToolButton;

namespace ui {

class DataGrid;

class LookupEditor : public QLineEdit {
  Q_OBJECT

 public:
  LookupEditor(const LookupSpec& spec, QWidget* parent = nullptr);

  void showList();
  void hideList();
  bool listVisible() const;
  // The list (for keyboard work and tests) and its button.
  QTableWidget* listWidget() const { return list_; }
  QToolButton* dropButton() const { return button_; }
  // Chooses a row of the list: its code goes into the editor.
  void chooseRow(int row);

 signals:
  void chosen(const QString& code);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void fillList();

  LookupSpec spec_;
  QToolButton* button_;
  QFrame* popup_;
  QTableWidget* list_;
};

// The item delegate of every DataGrid.
class LookupDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  explicit LookupDelegate(DataGrid* grid);

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override;
  void setEditorData(QWidget* editor, const QModelIndex& index) const override;
  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override;
  // Draws the cell, and the drop-down button of a codable cell while it is
  // the current cell.
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  void updateEditorGeometry(QWidget* editor,
                            const QStyleOptionViewItem& option,
                            const QModelIndex& index) const override;

 private:
  DataGrid* grid_;
};

}  // namespace ui
