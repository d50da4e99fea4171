// The data-aware grid: a table view over a TableModel whose current row is
// the table's current record.
//
// Behaviour shared by every grid of the tool:
// - Typing starts at once: the first key opens the cell editor and goes
//   into it, whether the cell was current or was just clicked. A click on
//   the cell that is already current opens its editor at once (no waiting
//   for a possible double click, which would swallow the keys typed in the
//   meantime).
// - Tab and Shift+Tab pass over the columns that cannot be edited.
// - A codable cell shows its drop-down button while it is current; a click
//   on the button opens the list.
// - Moving the current cell to another row makes that record current
//   through the table (GotoRecord), which settles a pending record: posted
//   when a field was set, discarded otherwise.
// - Typing into an editable cell puts the table into edit state (unless it
//   is already editing or inserting); the text is stored in the field when
//   the cell editor closes, cut to the field's width. Columns that are not
//   editable refuse typing.
// - Leaving the grid commits an open cell editor and discards a new record
//   that is still untouched.
// - Delete or Backspace on a cell that is not being edited empties it; F4
//   or Alt+Down on a codable cell opens its drop-down list at once.
// - A text that the model's check rule refuses is not stored: a plain
//   message says why, and the editor stays open with the text (or, when
//   the user clicked elsewhere, the text is dropped).
// Optional behaviours (GridOptions): adding records (Insert key, or the
// down arrow on the last row), deleting (Ctrl+Delete after the question
// "Delete record?" answered "Aceptar"), Enter moving to the next cell.
//
// Store errors raised while the user works in the grid are shown in the
// general error report and leave the table as the store left it.
#pragma once
#include <QPointer>
#include <QString>
#include <QTableView>
#include <functional>
#include <string>
#include <vector>

#include "store/table.h"
#include "ui/table_model.h"

namespace ui {

struct GridOptions {
  bool allowInsert = false;           // Insert key / Down on the last row
  bool allowDelete = false;           // Ctrl+Delete after confirmation
  bool enterMovesToNextCell = false;  // Enter acts like moving right
};

// The general error report: caption "transPelmarDAE", error icon, OK.
void ShowGridError(QWidget* parent, const QString& text);

class DataGrid : public QTableView {
  Q_OBJECT

 public:
  DataGrid(store::Table& table, std::vector<GridColumn> columns,
           GridOptions options = {}, QWidget* parent = nullptr);
  ~DataGrid() override;

  TableModel* tableModel() const { return model_; }
  store::Table& table() const { return model_->table(); }
  const GridOptions& options() const { return options_; }

  // The current column (model index) and its field name ("" when none).
  int currentColumn() const;
  std::string currentFieldName() const;
  void setCurrentColumn(int column);

  // Pixel width of a column of n characters in this grid's font.
  int columnWidthForChars(int n) const;
  // Shows n data rows without a vertical scroll bar being needed.
  void setVisibleRows(int n);

  // Writes an open cell editor's text into the field now (used before a
  // button acts on the table while the grid may still be editing). False
  // when the text was refused (the model's check rule): its message has
  // been shown and the editor stays open with the text, for the user to
  // correct it or undo it with Escape.
  bool commitEditor();
  // True while the focus is on the grid or on one of its cell editors.
  bool hasFocusWithin() const;
  // A cell editor is open / the open cell editor (nullptr when none).
  bool isEditing() const { return state() == QAbstractItemView::EditingState; }
  QWidget* activeEditor() const { return isEditing() ? editor_.data() : nullptr; }

  // How store errors are shown; by default ShowGridError.
  std::function<void(const QString&)> errorHandler;

  QSize sizeHint() const override;

  // The drop-down button of a codable cell, drawn while the cell is the
  // current one (viewport coordinates; empty for other cells).
  QRect dropButtonRect(const QModelIndex& index) const;
  // Opens the cell editor of the current cell now and, for a codable cell,
  // its drop-down list.
  void openCurrentCell(bool showList);

 signals:
  // The focus came into the grid / left it (cell editors count as inside).
  void entered();
  void exited();
  // The current cell moved from column oldField to newField.
  void columnExited(const QString& oldField, const QString& newField);
  // A field was set through the grid while it stood on that column.
  void fieldChanged(const QString& field);
  // The text of the open cell editor changed as the user typed (field of
  // its column, the text as it stands); editorClosed when it closes.
  void editorTextEdited(const QString& field, const QString& text);
  void editorClosed();

 protected:
  void currentChanged(const QModelIndex& current,
                      const QModelIndex& previous) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  QModelIndex moveCursor(CursorAction action,
                         Qt::KeyboardModifiers modifiers) override;
  bool edit(const QModelIndex& index, EditTrigger trigger,
            QEvent* event) override;
  void closeEditor(QWidget* editor,
                   QAbstractItemDelegate::EndEditHint hint) override;
  void keyboardSearch(const QString& search) override;

 private:
  friend class LookupDelegate;
  void editorOpened(QWidget* editor, int column);
  void onFocusChanged(QWidget* old, QWidget* now);
  void followTable();
  void moveToNextCell();
  bool currentHasList() const;
  void clearCurrentCell();
  void tellRefusal(const QString& message);
  void appendRecord();
  void deleteRecord();
  void reportError(const QString& text);
  void applyColumnWidths();
  bool isWithin(const QWidget* w) const;
  template <typename F>
  bool guarded(F&& action);

  TableModel* model_;
  GridOptions options_;
  QPointer<QWidget> editor_;
  bool following_ = false;   // the view is being moved to the table's row
  bool focusInside_ = false;
  int lastColumn_ = -1;
  int visibleRows_ = -1;
  // The mouse went down on the cell that was already current.
  QPersistentModelIndex pressedCurrent_;
  // A typed text refused by the check rule, not yet told to the user.
  QString refusal_;
  // The editor closes because the current cell moved (a click elsewhere)
  // or the focus left the grid: a refused text is then dropped, not kept.
  bool dropRefused_ = false;
  bool tellingRefusal_ = false;  // its message box is open
  bool droppedUntold_ = false;   // a dropped text's message still to show
};

}  // namespace ui
