#include "ui/data_grid.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include "chain/error_report.h"
#include "ui/dialogs.h"
#include "ui/lookup_delegate.h"

namespace ui {

namespace {

constexpr int kCellPadding = 8;  // pixels around a cell's text

// A title wider than its column is broken into two lines at the space
// nearest to its middle.
QString WrapTitle(const QString& title, int columnWidth,
                  const QFontMetrics& fm) {
  if (title.contains('\n')) return title;
  if (fm.horizontalAdvance(title) + kCellPadding <= columnWidth) return title;
  int best = -1;
  for (int i = 0; i < title.size(); ++i) {
    if (title[i] != ' ') continue;
    if (best < 0 || std::abs(i - title.size() / 2) <
                        std::abs(best - title.size() / 2))
      best = i;
  }
  if (best < 0) return title;
  return title.left(best) + '\n' + title.mid(best + 1);
}

int TitleWidth(const QString& title, const QFontMetrics& fm) {
  int w = 0;
  for (const QString& line : title.split('\n'))
    w = std::max(w, fm.horizontalAdvance(line));
  return w + kCellPadding + 4;
}

}  // namespace

void ShowGridError(QWidget* parent, const QString& text) {
  // The same box as every other error report (a plain "OK" button).
  ShowErrorReport(parent, QString::fromStdString(
                              chain::ErrorReportText(text.toStdString())));
}

DataGrid::DataGrid(store::Table& table, std::vector<GridColumn> columns,
                   GridOptions options, QWidget* parent)
    : QTableView(parent), model_(nullptr), options_(options) {
  // Titles are laid out before the model sees them: each column is at
  // least as wide as its data and as the longest line of its title.
  const QFontMetrics hfm = horizontalHeader()->fontMetrics();
  for (GridColumn& c : columns) {
    int data = columnWidthForChars(c.width);
    c.title = WrapTitle(c.title, data, hfm);
  }
  model_ = new TableModel(table, std::move(columns), this);
  setModel(model_);
  setItemDelegate(new LookupDelegate(this));

  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  // No SelectedClicked: the view would wait for a possible double click
  // before opening the editor, and refuse every key typed meanwhile. A
  // click on the current cell opens its editor at once instead (see
  // mouseReleaseEvent).
  setEditTriggers(QAbstractItemView::AnyKeyPressed |
                  QAbstractItemView::DoubleClicked |
                  QAbstractItemView::EditKeyPressed);
  setWordWrap(false);
  setCornerButtonEnabled(false);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setStretchLastSection(false);
  horizontalHeader()->setSectionsMovable(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  verticalHeader()->setMinimumWidth(fontMetrics().horizontalAdvance('W') + 8);
  verticalHeader()->setHighlightSections(false);
  applyColumnWidths();

  connect(model_, &TableModel::tableMoved, this, &DataGrid::followTable);
  connect(model_, &TableModel::storeError, this, &DataGrid::reportError);
  connect(model_, &TableModel::valueRefused, this,
          [this](const QString& message) { refusal_ = message; });
  connect(model_, &TableModel::fieldChanged, this, [this](int column) {
    // Reported on the column the user stood on when the field was set.
    int col = lastColumn_ >= 0 ? lastColumn_ : column;
    emit fieldChanged(QString::fromStdString(model_->column(col).field));
  });
  connect(qApp, &QApplication::focusChanged, this, &DataGrid::onFocusChanged);
  followTable();
}

DataGrid::~DataGrid() {
  // The cell editors are destroyed with the grid's children, after this
  // destructor; their focus changes must no longer reach a half-destroyed
  // grid.
  disconnect(qApp, nullptr, this, nullptr);
}

int DataGrid::columnWidthForChars(int n) const {
  // Digits (times, codes, numbers) are often wider than the font's average
  // character; a column of n characters holds n of either.
  const QFontMetrics fm = fontMetrics();
  const int per = std::max(fm.averageCharWidth(), fm.horizontalAdvance('0'));
  return per * std::max(n, 1) + kCellPadding;
}

void DataGrid::applyColumnWidths() {
  const QFontMetrics hfm = horizontalHeader()->fontMetrics();
  for (int c = 0; c < model_->columnCount(); ++c) {
    const GridColumn& col = model_->column(c);
    int w = std::max(columnWidthForChars(col.width), TitleWidth(col.title, hfm));
    if (col.lookup) w += fontMetrics().height();  // room for the drop button
    setColumnWidth(c, w);
  }
}

void DataGrid::setVisibleRows(int n) {
  visibleRows_ = n;
  updateGeometry();
}

QSize DataGrid::sizeHint() const {
  if (visibleRows_ < 0) return QTableView::sizeHint();
  // The row indicator keeps its minimum width while the table is closed.
  int w = 2 * frameWidth() + std::max(verticalHeader()->sizeHint().width(),
                                      verticalHeader()->minimumWidth());
  for (int c = 0; c < model_->columnCount(); ++c) w += columnWidth(c);
  if (verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff)
    w += verticalScrollBar()->sizeHint().width();
  int h = 2 * frameWidth() + horizontalHeader()->sizeHint().height() +
          visibleRows_ * verticalHeader()->defaultSectionSize();
  if (horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOn)
    h += horizontalScrollBar()->sizeHint().height();
  return {w, h};
}

int DataGrid::currentColumn() const {
  QModelIndex i = currentIndex();
  return i.isValid() ? i.column() : lastColumn_;
}

std::string DataGrid::currentFieldName() const {
  int c = currentColumn();
  if (c < 0 || c >= model_->columnCount()) return {};
  return model_->column(c).field;
}

void DataGrid::setCurrentColumn(int column) {
  if (column < 0 || column >= model_->columnCount()) return;
  int row = model_->currentRow();
  if (row < 0) {
    lastColumn_ = column;
    return;
  }
  setCurrentIndex(model_->index(row, column));
}

template <typename F>
bool DataGrid::guarded(F&& action) {
  try {
    action();
    return true;
  } catch (const std::exception& e) {
    reportError(QString::fromStdString(chain::ExceptionText(e)));
    return false;
  }
}

void DataGrid::reportError(const QString& text) {
  if (errorHandler)
    errorHandler(text);
  else
    ShowGridError(this, text);
}

// Puts the view's current cell on the table's current record, keeping the
// column.
void DataGrid::followTable() {
  if (following_) return;
  int row = model_->currentRow();
  if (row < 0) return;
  int col = lastColumn_;
  if (col < 0 || col >= model_->columnCount()) {
    col = 0;
    for (int c = 0; c < model_->columnCount(); ++c)
      if (model_->column(c).editable) {
        col = c;
        break;
      }
    lastColumn_ = col;
  }
  QModelIndex target = model_->index(row, col);
  following_ = true;
  if (currentIndex() != target) setCurrentIndex(target);
  following_ = false;
  scrollTo(target);
}

void DataGrid::currentChanged(const QModelIndex& current,
                              const QModelIndex& previous) {
  // The base class writes an editor still open on the cell being left into
  // its field first.
  const bool dropping = dropRefused_;
  dropRefused_ = true;
  QTableView::currentChanged(current, previous);
  dropRefused_ = dropping;
  if (following_ || !current.isValid()) {
    if (current.isValid()) lastColumn_ = current.column();
    return;
  }
  const int oldColumn = lastColumn_;
  lastColumn_ = current.column();
  // The owner hears of the column being left while the record left is
  // still the table's current one.
  if (oldColumn >= 0 && oldColumn != current.column() &&
      oldColumn < model_->columnCount())
    emit columnExited(QString::fromStdString(model_->column(oldColumn).field),
                      QString::fromStdString(model_->column(current.column()).field));
  QModelIndex now = currentIndex();
  if (!now.isValid()) return;
  if (now.row() != model_->currentRow()) {
    uint32_t recno = model_->recordAt(now.row());
    if (recno != 0) guarded([&] { table().GotoRecord(recno); });
    followTable();
  }
}

bool DataGrid::edit(const QModelIndex& index, EditTrigger trigger,
                    QEvent* event) {
  const bool opens =
      index.isValid() && state() != QAbstractItemView::EditingState &&
      (trigger == QAbstractItemView::AllEditTriggers ||
       (editTriggers() & trigger)) &&
      (model_->flags(index) & Qt::ItemIsEditable);
  if (!opens || trigger == QAbstractItemView::SelectedClicked)
    return QTableView::edit(index, trigger, event);
  // Opening a cell editor is where typing starts: the table goes into edit
  // state (on an empty table this starts a new record).
  const int column = index.column();
  if (index.row() != model_->currentRow()) {
    uint32_t recno = model_->recordAt(index.row());
    if (recno != 0 && !guarded([&] { table().GotoRecord(recno); }))
      return false;
  }
  store::DataSetState st = table().State();
  if (st != store::DataSetState::Edit && st != store::DataSetState::Insert) {
    if (!guarded([&] { table().Edit(); })) return false;
  }
  int row = model_->currentRow();
  if (row < 0) return false;
  QModelIndex fresh = model_->index(row, column);
  if (currentIndex() != fresh) {
    following_ = true;
    setCurrentIndex(fresh);
    following_ = false;
    lastColumn_ = column;
  }
  return QTableView::edit(fresh, trigger, event);
}

void DataGrid::closeEditor(QWidget* editor,
                           QAbstractItemDelegate::EndEditHint hint) {
  const bool registered = editor && editor == editor_;
  if (registered && tellingRefusal_) {
    // The message box took the focus from the editor: the editor stays.
    refusal_.clear();
    return;
  }
  if (registered && !refusal_.isEmpty()) {
    // The text was not stored. Left by a key (Tab, Enter, a button's
    // shortcut), the editor stays with the text for the user to correct;
    // left by a click elsewhere, the text is dropped. Either way the user
    // is told why.
    const QString message = refusal_;
    refusal_.clear();
    const bool focusGone = !isWithin(QApplication::focusWidget());
    if (!dropRefused_ && !focusGone) {
      tellRefusal(message);
      if (editor_ == editor) {
        // The keyboard goes back to the text.
        editor->setFocus(Qt::OtherFocusReason);
        if (auto* line = qobject_cast<QLineEdit*>(editor)) line->selectAll();
      }
      return;
    }
    // A button clicked meanwhile must not go on before the user has read
    // why (commitEditor answers false until then).
    droppedUntold_ = true;
    QTimer::singleShot(0, this, [this, message] {
      tellRefusal(message);
      droppedUntold_ = false;
    });
    hint = QAbstractItemDelegate::RevertModelCache;
  }
  const bool moveNext = registered && options_.enterMovesToNextCell &&
                        hint == QAbstractItemDelegate::SubmitModelCache;
  QTableView::closeEditor(editor, moveNext ? QAbstractItemDelegate::NoHint
                                           : hint);
  if (registered) {
    editor_ = nullptr;
    emit editorClosed();
  }
  if (moveNext) moveToNextCell();
}

void DataGrid::editorOpened(QWidget* editor, int column) {
  editor_ = editor;
  if (auto* line = qobject_cast<QLineEdit*>(editor)) {
    const QString field = QString::fromStdString(model_->column(column).field);
    connect(line, &QLineEdit::textEdited, this, [this, line, field](const QString& text) {
      if (line == editor_) emit editorTextEdited(field, text);
    });
  }
}

bool DataGrid::commitEditor() {
  if (droppedUntold_) return false;
  QWidget* editor = editor_;
  if (!editor || state() != QAbstractItemView::EditingState) return true;
  commitData(editor);
  closeEditor(editor, QAbstractItemDelegate::NoHint);
  return !(editor_ == editor && state() == QAbstractItemView::EditingState);
}

void DataGrid::mousePressEvent(QMouseEvent* event) {
  const QModelIndex at = indexAt(event->position().toPoint());
  pressedCurrent_ = (event->button() == Qt::LeftButton && at.isValid() &&
                     at == currentIndex() &&
                     state() != QAbstractItemView::EditingState)
                        ? QPersistentModelIndex(at)
                        : QPersistentModelIndex();
  QTableView::mousePressEvent(event);
}

void DataGrid::mouseReleaseEvent(QMouseEvent* event) {
  const QPersistentModelIndex pressed = pressedCurrent_;
  pressedCurrent_ = QPersistentModelIndex();
  const QPoint pos = event->position().toPoint();
  QTableView::mouseReleaseEvent(event);
  if (event->button() != Qt::LeftButton || !pressed.isValid()) return;
  const QModelIndex at = indexAt(pos);
  if (at != pressed || at != currentIndex()) return;
  if (state() == QAbstractItemView::EditingState) return;
  if (!(model_->flags(at) & Qt::ItemIsEditable)) return;
  openCurrentCell(dropButtonRect(at).contains(pos));
}

void DataGrid::openCurrentCell(bool showList) {
  const QModelIndex at = currentIndex();
  if (!at.isValid()) return;
  if (state() != QAbstractItemView::EditingState &&
      !edit(at, QAbstractItemView::EditKeyPressed, nullptr))
    return;
  if (!showList) return;
  if (auto* lookup = qobject_cast<LookupEditor*>(editor_.data()))
    lookup->showList();
}

QRect DataGrid::dropButtonRect(const QModelIndex& index) const {
  if (!index.isValid() || index != currentIndex() ||
      index.column() >= model_->columnCount() ||
      !model_->column(index.column()).lookup ||
      !(model_->flags(index) & Qt::ItemIsEditable))
    return {};
  const QRect cell = visualRect(index);
  const int w = std::min(cell.height(), 18);
  return QRect(cell.right() - w + 1, cell.top(), w, cell.height());
}

QModelIndex DataGrid::moveCursor(CursorAction action,
                                 Qt::KeyboardModifiers modifiers) {
  if (action != MoveNext && action != MovePrevious)
    return QTableView::moveCursor(action, modifiers);
  // Tab passes over the columns that cannot be edited.
  const QModelIndex from = currentIndex();
  const int columns = model_->columnCount();
  const int rows = model_->rowCount();
  bool anyEditable = false;
  for (int c = 0; c < columns; ++c) anyEditable |= model_->column(c).editable;
  if (!from.isValid() || !anyEditable)
    return QTableView::moveCursor(action, modifiers);
  const int step = action == MoveNext ? 1 : -1;
  int r = from.row(), c = from.column();
  for (int guard = 0; guard < rows * columns; ++guard) {
    c += step;
    if (c >= columns) {
      if (r + 1 >= rows) return from;
      ++r;
      c = 0;
    } else if (c < 0) {
      if (r == 0) return from;
      --r;
      c = columns - 1;
    }
    if (model_->column(c).editable) return model_->index(r, c);
  }
  return from;
}

// Shows why a typed text was refused; the grid's window is then the active
// one again, so that the keys go on reaching it.
void DataGrid::tellRefusal(const QString& message) {
  tellingRefusal_ = true;
  ShowPlainMessage(this, message);
  tellingRefusal_ = false;
  if (isVisible() && !window()->isActiveWindow()) window()->activateWindow();
}

bool DataGrid::currentHasList() const {
  const QModelIndex at = currentIndex();
  return at.isValid() && at.column() < model_->columnCount() &&
         model_->column(at.column()).lookup &&
         (model_->flags(at) & Qt::ItemIsEditable);
}

// Delete or Backspace on a cell that is not being edited empties it, as
// typing over it would; the check rule may refuse an empty value.
void DataGrid::clearCurrentCell() {
  const QModelIndex at = currentIndex();
  if (!at.isValid() || !(model_->flags(at) & Qt::ItemIsEditable)) return;
  model_->setData(at, QString(), Qt::EditRole);
  if (!refusal_.isEmpty()) {
    const QString message = refusal_;
    refusal_.clear();
    tellRefusal(message);
  }
}

void DataGrid::keyboardSearch(const QString&) {
  // Typing never jumps to another row: it edits the current cell or, in a
  // column that is not editable, does nothing.
}

void DataGrid::moveToNextCell() {
  QModelIndex i = currentIndex();
  if (!i.isValid()) return;
  int r = i.row(), c = i.column() + 1;
  if (c >= model_->columnCount()) {
    if (r + 1 >= model_->rowCount()) return;
    ++r;
    c = 0;
  }
  setCurrentIndex(model_->index(r, c));
}

void DataGrid::appendRecord() {
  commitEditor();
  if (!table().Active()) return;
  // A new record still untouched is not followed by another.
  if (table().State() == store::DataSetState::Insert && !table().Modified())
    return;
  guarded([&] { table().Append(); });
  followTable();
}

void DataGrid::deleteRecord() {
  commitEditor();
  if (!table().Active() || model_->rowCount() == 0) return;
  QMessageBox box(QMessageBox::Question, QStringLiteral("Confirmación"),
                  QStringLiteral("Delete record?"), QMessageBox::NoButton,
                  this);
  QPushButton* ok = box.addButton(QStringLiteral("Aceptar"),
                                  QMessageBox::AcceptRole);
  QPushButton* cancel = box.addButton(QStringLiteral("Cancelar"),
                                      QMessageBox::RejectRole);
  box.setDefaultButton(ok);
  box.setEscapeButton(cancel);
  box.exec();
  if (box.clickedButton() != ok) return;
  guarded([&] { table().Delete(); });
  followTable();
}

void DataGrid::keyPressEvent(QKeyEvent* event) {
  const bool editing = state() == QAbstractItemView::EditingState;
  const Qt::KeyboardModifiers mods =
      event->modifiers() & ~Qt::KeypadModifier;
  switch (event->key()) {
    case Qt::Key_Insert:
      if (options_.allowInsert && mods == Qt::NoModifier) {
        appendRecord();
        event->accept();
        return;
      }
      break;
    case Qt::Key_Down:
      if (mods == Qt::AltModifier && !editing && currentHasList()) {
        openCurrentCell(true);
        event->accept();
        return;
      }
      if (options_.allowInsert && mods == Qt::NoModifier &&
          currentIndex().isValid() &&
          currentIndex().row() == model_->rowCount() - 1) {
        appendRecord();
        event->accept();
        return;
      }
      break;
    case Qt::Key_Delete:
      if (options_.allowDelete && mods == Qt::ControlModifier && !editing) {
        deleteRecord();
        event->accept();
        return;
      }
      if (mods == Qt::NoModifier && !editing) {
        clearCurrentCell();
        event->accept();
        return;
      }
      break;
    case Qt::Key_Backspace:
      if (mods == Qt::NoModifier && !editing) {
        clearCurrentCell();
        event->accept();
        return;
      }
      break;
    case Qt::Key_F4:
      if (mods == Qt::NoModifier && !editing && currentHasList()) {
        openCurrentCell(true);
        event->accept();
        return;
      }
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (options_.enterMovesToNextCell) {
        // With an editor open, its own Enter handling commits it and the
        // move follows when it closes.
        if (!editing) moveToNextCell();
        event->accept();
        return;
      }
      break;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      // Tab moves between cells; Ctrl+Tab leaves the grid for the next
      // control of the window (a button under it), Ctrl+Shift+Tab for the
      // one before.
      if (mods & Qt::ControlModifier) {
        if (editing && !commitEditor()) {
          event->accept();
          return;
        }
        QWidget::focusNextPrevChild(event->key() == Qt::Key_Tab &&
                                    !(mods & Qt::ShiftModifier));
        event->accept();
        return;
      }
      break;
    case Qt::Key_Escape:
      if (!editing && table().Active() &&
          (table().State() == store::DataSetState::Edit ||
           table().State() == store::DataSetState::Insert)) {
        guarded([&] { table().Cancel(); });
        followTable();
        event->accept();
        return;
      }
      break;
    default:
      break;
  }
  QTableView::keyPressEvent(event);
}

bool DataGrid::isWithin(const QWidget* w) const {
  // Cell editors and their drop-down lists (separate popup windows) are
  // children of this grid.
  for (; w; w = w->parentWidget())
    if (w == this) return true;
  return false;
}

bool DataGrid::hasFocusWithin() const {
  return isWithin(QApplication::focusWidget());
}

void DataGrid::onFocusChanged(QWidget*, QWidget* now) {
  if (!now) return;  // the application lost the focus: nothing left here
  const bool inside = isWithin(now);
  if (inside && !focusInside_) {
    focusInside_ = true;
    emit entered();
    return;
  }
  // A modal box of another window (a question, an error report) takes the
  // focus for a while without the user leaving the grid.
  if (!inside && focusInside_ && now->window() == window()) {
    focusInside_ = false;
    const bool dropping = dropRefused_;
    dropRefused_ = true;
    commitEditor();
    dropRefused_ = dropping;
    if (table().Active() &&
        table().State() == store::DataSetState::Insert &&
        !table().Modified())
      guarded([&] { table().Cancel(); });
    emit exited();
  }
}

}  // namespace ui
