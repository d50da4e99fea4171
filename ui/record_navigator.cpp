#include "ui/record_navigator.h"

#include <QHBoxLayout>
#include <algorithm>
#include <QStyle>

#include "chain/error_report.h"
#include "ui/data_grid.h"

namespace ui {

namespace {

struct ButtonLook {
  const char* name;     // object name
  const char* glyph;    // face
  const char* tooltip;  // Spanish hint
};

const ButtonLook kLooks[RecordNavigator::ButtonCount] = {
    {"First", "|\u25C0", "Primer registro"},
    {"PriorPage", "\u25C0\u25C0", "Diez registros atrás"},
    {"Prior", "\u25C0", "Registro anterior"},
    {"Next", "\u25B6", "Registro siguiente"},
    {"NextPage", "\u25B6\u25B6", "Diez registros adelante"},
    {"Last", "\u25B6|", "Último registro"},
    {"Edit", "\u270E", "Modificar registro"},
    {"Post", "\u2714", "Guardar cambios"},
    {"Cancel", "\u2716", "Cancelar cambios"},
    {"Refresh", "\u21BB", "Refrescar datos"},
};

bool Pending(const store::Table& t) {
  return t.State() == store::DataSetState::Edit ||
         t.State() == store::DataSetState::Insert;
}

}  // namespace

RecordNavigator::RecordNavigator(store::Table& table, QWidget* parent)
    : QWidget(parent), table_(table) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(1);
  const int side = fontMetrics().height() + 10;
  for (int b = 0; b < ButtonCount; ++b) {
    auto* button = new QToolButton(this);
    button->setObjectName(QString::fromLatin1(kLooks[b].name));
    button->setText(QString::fromUtf8(kLooks[b].glyph));
    button->setToolTip(QString::fromUtf8(kLooks[b].tooltip));
    button->setAccessibleName(QString::fromUtf8(kLooks[b].tooltip));
    // Pressing a button leaves the focus where it was, so that a grid
    // being edited is not left.
    button->setFocusPolicy(Qt::NoFocus);
    button->setMinimumSize(side + 6, side);
    buttons_[b] = button;
    layout->addWidget(button);
    connect(button, &QToolButton::clicked, this,
            [this, b] { act(static_cast<Button>(b)); });
  }
  listenerId_ = table_.AddListener([this](store::TableEvent) { updateButtons(); });
  updateButtons();
}

RecordNavigator::~RecordNavigator() {
  if (listenerId_ >= 0) table_.RemoveListener(listenerId_);
}

void RecordNavigator::attachGrid(DataGrid* grid) { grid_ = grid; }

void RecordNavigator::moveBy(int delta) {
  std::vector<uint32_t> rows = table_.VisibleRecords();
  if (rows.empty()) return;
  int pos = -1;
  uint32_t cur = table_.RecNo();
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i] == cur) pos = static_cast<int>(i);
  // A new record stands after the last one.
  if (pos < 0) pos = static_cast<int>(rows.size());
  int target = std::clamp(pos + delta, 0, static_cast<int>(rows.size()) - 1);
  table_.GotoRecord(rows[target]);
}

void RecordNavigator::act(Button b) {
  if (grid_) grid_->commitEditor();
  try {
    if (!table_.Active()) return;
    switch (b) {
      case First:
        table_.First();
        break;
      case PriorPage:
        moveBy(-kPageSize);
        break;
      case Prior:
        moveBy(-1);
        break;
      case Next:
        moveBy(1);
        break;
      case NextPage:
        moveBy(kPageSize);
        break;
      case Last:
        moveBy(1 << 30);
        break;
      case EditRecord:
        if (!Pending(table_)) table_.Edit();
        break;
      case PostRecord:
        if (Pending(table_)) table_.Post();
        break;
      case CancelRecord:
        if (Pending(table_)) table_.Cancel();
        break;
      case Refresh:
        // A pending change is settled first, as any move does.
        if (Pending(table_)) {
          if (table_.Modified())
            table_.Post();
          else
            table_.Cancel();
        }
        if (grid_) grid_->tableModel()->refresh();
        break;
      case ButtonCount:
        break;
    }
  } catch (const std::exception& e) {
    QString text = QString::fromStdString(chain::ExceptionText(e));
    if (errorHandler)
      errorHandler(text);
    else
      ShowGridError(this, text);
  }
  updateButtons();
}

void RecordNavigator::updateButtons() {
  bool active = false, pending = false, readOnly = false;
  bool atFirst = true, atLast = true;
  try {
    active = table_.Active();
    if (active) {
      pending = Pending(table_);
      readOnly = table_.ReadOnly();
      std::vector<uint32_t> rows = table_.VisibleRecords();
      uint32_t cur = table_.RecNo();
      if (!rows.empty()) {
        atFirst = cur == rows.front();
        atLast = cur == rows.back();
        if (cur == 0) {  // a new record, after the last one
          atFirst = false;
          atLast = true;
        }
      }
    }
  } catch (const std::exception&) {
    active = false;
  }
  buttons_[First]->setEnabled(active && !atFirst);
  buttons_[PriorPage]->setEnabled(active && !atFirst);
  buttons_[Prior]->setEnabled(active && !atFirst);
  buttons_[Next]->setEnabled(active && !atLast);
  buttons_[NextPage]->setEnabled(active && !atLast);
  buttons_[Last]->setEnabled(active && !atLast);
  buttons_[EditRecord]->setEnabled(active && !pending && !readOnly);
  buttons_[PostRecord]->setEnabled(active && pending);
  buttons_[CancelRecord]->setEnabled(active && pending);
  buttons_[Refresh]->setEnabled(active);
}

}  // namespace ui
