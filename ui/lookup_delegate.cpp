#include "ui/lookup_delegate.h"

#include <QApplication>
#include <algorithm>
#include <vector>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollBar>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "store/cp1252.h"
#include "ui/data_grid.h"

namespace ui {

namespace {

QString FromTable(const std::string& bytes) {
  return QString::fromStdString(store::Cp1252ToUtf8(bytes));
}

}  // namespace

LookupEditor::LookupEditor(const LookupSpec& spec, QWidget* parent)
    : QLineEdit(parent), spec_(spec) {
  button_ = new QToolButton(this);
  button_->setObjectName(QStringLiteral("dropButton"));
  button_->setArrowType(Qt::DownArrow);
  button_->setFocusPolicy(Qt::NoFocus);
  button_->setCursor(Qt::ArrowCursor);
  button_->setToolTip(QStringLiteral("Lista de códigos (F4)"));
  connect(button_, &QToolButton::clicked, this, [this] {
    if (listVisible())
      hideList();
    else
      showList();
  });

  // The list is a popup window whose parent is this editor, so that the
  // grid still counts the focus as its own while the list is open.
  popup_ = new QFrame(this, Qt::Popup);
  popup_->setFrameShape(QFrame::Box);
  popup_->setObjectName(QStringLiteral("lookupPopup"));
  auto* layout = new QVBoxLayout(popup_);
  layout->setContentsMargins(1, 1, 1, 1);
  list_ = new QTableWidget(popup_);
  list_->setObjectName(QStringLiteral("lookupList"));
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->verticalHeader()->hide();
  list_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  list_->setWordWrap(false);
  layout->addWidget(list_);
  list_->installEventFilter(this);
  connect(list_, &QTableWidget::cellClicked, this,
          [this](int row, int) { chooseRow(row); });
}

void LookupEditor::fillList() {
  list_->clear();
  list_->setColumnCount(static_cast<int>(spec_.columns.size()));
  QStringList titles;
  for (const auto& c : spec_.columns)
    titles << QString::fromStdString(c.field);
  list_->setHorizontalHeaderLabels(titles);
  store::Table* t = spec_.table;
  std::vector<uint32_t> rows;
  std::vector<int> fields;
  if (t && t->Active()) {
    rows = t->VisibleRecords();
    for (const auto& c : spec_.columns) fields.push_back(t->FieldIndex(c.field));
  }
  list_->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    for (int c = 0; c < static_cast<int>(fields.size()); ++c) {
      QString text = fields[c] >= 0 ? FromTable(t->ValueAt(rows[r], fields[c]))
                                    : QString();
      list_->setItem(r, c, new QTableWidgetItem(text));
    }
  }
  // Each column is as wide as its widest text (descriptions are shown
  // whole) and at least as its width in characters and its title; the
  // list stays within the window, narrowing its widest columns if needed.
  const QFontMetrics fm = list_->fontMetrics();
  const QFontMetrics hfm = list_->horizontalHeader()->fontMetrics();
  const int avg = fm.averageCharWidth();
  std::vector<int> widths;
  for (int c = 0; c < static_cast<int>(spec_.columns.size()); ++c) {
    int w = std::max(avg * spec_.columns[c].width + 12,
                     hfm.horizontalAdvance(titles[c]) + 16);
    for (int r = 0; r < list_->rowCount(); ++r)
      if (QTableWidgetItem* item = list_->item(r, c))
        w = std::max(w, fm.horizontalAdvance(item->text()) + 14);
    widths.push_back(w);
  }
  const int extra = 2 * list_->frameWidth() + 2 +
                    list_->verticalScrollBar()->sizeHint().width() + 2;
  int room = window()->width() - 4;
  if (QScreen* s = screen()) room = std::min(room, s->availableSize().width());
  int width = extra;
  for (int w : widths) width += w;
  while (width > room) {
    auto widest = std::max_element(widths.begin(), widths.end());
    if (*widest <= 40) break;
    const int cut = std::min(width - room, *widest - 40);
    *widest -= std::max(1, std::min(cut, *widest / 4 + 1));
    width = extra;
    for (int w : widths) width += w;
  }
  for (int c = 0; c < static_cast<int>(widths.size()); ++c) {
    list_->setColumnWidth(c, widths[c]);
    for (int r = 0; r < list_->rowCount(); ++r)
      if (QTableWidgetItem* item = list_->item(r, c))
        item->setToolTip(item->text());
  }
  int shown = std::min(std::max(list_->rowCount(), 1), 12);
  int height = list_->horizontalHeader()->sizeHint().height() +
               shown * list_->verticalHeader()->defaultSectionSize() + 6;
  popup_->resize(std::min(width, std::max(room, 60)), height);
}

void LookupEditor::showList() {
  fillList();
  // The row of the code now in the cell is selected.
  const QString current = text().trimmed();
  int codeIndex = -1;
  for (int c = 0; c < static_cast<int>(spec_.columns.size()); ++c)
    if (spec_.columns[c].field == spec_.codeField) codeIndex = c;
  int select = list_->rowCount() > 0 ? 0 : -1;
  if (spec_.table && spec_.table->Active() && !current.isEmpty()) {
    int fi = spec_.table->FieldIndex(spec_.codeField);
    std::vector<uint32_t> rows = spec_.table->VisibleRecords();
    for (int r = 0; fi >= 0 && r < static_cast<int>(rows.size()); ++r)
      if (FromTable(spec_.table->ValueAt(rows[r], fi)) == current) {
        select = r;
        break;
      }
  }
  (void)codeIndex;
  if (select >= 0) list_->setCurrentCell(select, 0);
  // Below the cell, kept inside the window (and the screen): moved left
  // when it would pass the window's right edge, above the cell when there
  // is no room below.
  QPoint below = mapToGlobal(QPoint(0, height()));
  QRect area = QRect(window()->mapToGlobal(QPoint(0, 0)), window()->size());
  if (QScreen* s = screen()) area = area.intersected(s->availableGeometry());
  if (below.x() + popup_->width() > area.right() + 1)
    below.setX(std::max(area.left(), area.right() + 1 - popup_->width()));
  if (below.y() + popup_->height() > area.bottom() + 1) {
    const int above = mapToGlobal(QPoint(0, 0)).y() - popup_->height();
    below.setY(above >= area.top() ? above
                                   : std::max(area.top(), area.bottom() + 1 -
                                                              popup_->height()));
  }
  popup_->move(below);
  popup_->show();
  list_->setFocus(Qt::PopupFocusReason);
}

void LookupEditor::hideList() {
  popup_->hide();
  setFocus(Qt::OtherFocusReason);
}

bool LookupEditor::listVisible() const { return popup_->isVisible(); }

void LookupEditor::chooseRow(int row) {
  store::Table* t = spec_.table;
  if (!t || !t->Active()) return;
  std::vector<uint32_t> rows = t->VisibleRecords();
  int fi = t->FieldIndex(spec_.codeField);
  if (row < 0 || row >= static_cast<int>(rows.size()) || fi < 0) return;
  QString code = FromTable(t->ValueAt(rows[row], fi));
  if (maxLength() > 0) code = code.left(maxLength());
  popup_->hide();
  setText(code);
  setFocus(Qt::OtherFocusReason);
  emit chosen(code);
}

void LookupEditor::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  const int w = std::min(height(), 18);
  button_->setGeometry(width() - w, 0, w, height());
  setTextMargins(0, 0, w, 0);
}

void LookupEditor::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F4 ||
      (event->key() == Qt::Key_Down && (event->modifiers() & Qt::AltModifier))) {
    showList();
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

bool LookupEditor::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    switch (key->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
        chooseRow(list_->currentRow());
        return true;
      case Qt::Key_Escape:
      case Qt::Key_F4:
        hideList();
        return true;
      default:
        break;
    }
  }
  return QLineEdit::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------

LookupDelegate::LookupDelegate(DataGrid* grid)
    : QStyledItemDelegate(grid), grid_(grid) {}

QWidget* LookupDelegate::createEditor(QWidget* parent,
                                      const QStyleOptionViewItem&,
                                      const QModelIndex& index) const {
  const TableModel* model = grid_->tableModel();
  const GridColumn& col = model->column(index.column());
  QLineEdit* editor;
  if (col.lookup) {
    auto* lookup = new LookupEditor(*col.lookup, parent);
    // A code chosen from the list is stored at once.
    connect(lookup, &LookupEditor::chosen, this, [this, lookup] {
      emit const_cast<LookupDelegate*>(this)->commitData(lookup);
    });
    editor = lookup;
  } else {
    editor = new QLineEdit(parent);
  }
  editor->setFrame(false);
  store::Table& t = model->table();
  if (t.Active()) {
    int fi = t.FieldIndex(col.field);
    if (fi >= 0 && t.Fields().at(fi).type == store::FieldType::String)
      editor->setMaxLength(t.Fields().at(fi).width);
  }
  grid_->editorOpened(editor, index.column());
  return editor;
}

void LookupDelegate::setEditorData(QWidget* editor,
                                   const QModelIndex& index) const {
  auto* line = qobject_cast<QLineEdit*>(editor);
  if (!line) return;
  // An editor already holding typed text keeps it (the model repaints the
  // row while the user types).
  if (line->isModified()) return;
  line->setText(index.data(Qt::EditRole).toString());
}

void LookupDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                  const QModelIndex& index) const {
  auto* line = qobject_cast<QLineEdit*>(editor);
  if (!line) return;
  model->setData(index, line->text(), Qt::EditRole);
}

void LookupDelegate::paint(QPainter* painter,
                           const QStyleOptionViewItem& option,
                           const QModelIndex& index) const {
  QStyledItemDelegate::paint(painter, option, index);
  const QRect button = grid_->dropButtonRect(index);
  if (button.isEmpty()) return;
  QStyleOptionButton frame;
  frame.initFrom(grid_->viewport());
  frame.rect = button;
  frame.state = QStyle::State_Enabled | QStyle::State_Raised;
  QStyle* style = grid_->style();
  style->drawControl(QStyle::CE_PushButtonBevel, &frame, painter, grid_);
  QStyleOption arrow;
  arrow.initFrom(grid_->viewport());
  arrow.rect = button.adjusted(3, 3, -3, -3);
  arrow.state = QStyle::State_Enabled;
  style->drawPrimitive(QStyle::PE_IndicatorArrowDown, &arrow, painter, grid_);
}

void LookupDelegate::updateEditorGeometry(QWidget* editor,
                                          const QStyleOptionViewItem& option,
                                          const QModelIndex&) const {
  editor->setGeometry(option.rect);
}

}  // namespace ui
