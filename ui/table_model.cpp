#include "ui/table_model.h"

#include <QBrush>
#include <QColor>

#include "chain/error_report.h"
#include "store/cp1252.h"
#include "store/store_error.h"

namespace ui {

namespace {

QString FromTable(const std::string& bytes) {
  return QString::fromStdString(store::Cp1252ToUtf8(bytes));
}

bool IsBlank(const QString& text) {
  for (QChar c : text)
    if (c.unicode() > 32) return false;
  return true;
}

// Soft background of a codable cell that is still blank.
const QColor kBlankCell(255, 241, 184);

}  // namespace

TableModel::TableModel(store::Table& table, std::vector<GridColumn> columns,
                       QObject* parent)
    : QAbstractTableModel(parent), table_(table), columns_(std::move(columns)) {
  rows_ = readRows(&pendingRow_);
  listenerId_ = table_.AddListener(
      [this](store::TableEvent event) { onTableEvent(event); });
}

TableModel::~TableModel() {
  if (listenerId_ >= 0) table_.RemoveListener(listenerId_);
}

int TableModel::columnOfField(const std::string& field) const {
  for (size_t i = 0; i < columns_.size(); ++i)
    if (store::Cp1252EqualsIgnoreCase(columns_[i].field, field))
      return static_cast<int>(i);
  return -1;
}

std::vector<uint32_t> TableModel::readRows(bool* pending) const {
  *pending = false;
  if (!table_.Active()) return {};
  std::vector<uint32_t> rows = table_.VisibleRecords();
  *pending = table_.State() == store::DataSetState::Insert;
  return rows;
}

int TableModel::fieldIndex(int column) const {
  if (!table_.Active() || column < 0 ||
      column >= static_cast<int>(columns_.size()))
    return -1;
  return table_.FieldIndex(columns_[column].field);
}

uint32_t TableModel::recordAt(int row) const {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return 0;
  return rows_[row];
}

bool TableModel::isPendingRow(int row) const {
  return pendingRow_ && row == static_cast<int>(rows_.size());
}

int TableModel::currentRow() const {
  if (!table_.Active()) return -1;
  if (pendingRow_) return static_cast<int>(rows_.size());
  uint32_t recno = table_.RecNo();
  if (recno == 0) return -1;
  for (size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i] == recno) return static_cast<int>(i);
  return -1;
}

QString TableModel::cellText(int row, int column) const {
  int fi = fieldIndex(column);
  if (fi < 0) return {};
  const std::string& name = columns_[column].field;
  if (isPendingRow(row)) return FromTable(table_.FieldByName(name).AsString());
  uint32_t recno = recordAt(row);
  if (recno == 0) return {};
  if (recno == table_.RecNo() &&
      table_.State() == store::DataSetState::Edit)
    return FromTable(table_.FieldByName(name).AsString());
  return FromTable(table_.ValueAt(recno, fi));
}

void TableModel::setCurrentField(int column, const QString& text) {
  const GridColumn& col = columns_.at(column);
  using store::DataSetState;
  if (table_.State() != DataSetState::Edit &&
      table_.State() != DataSetState::Insert)
    table_.Edit();
  store::Field& field = table_.FieldByName(col.field);
  const std::string bytes = store::Utf8ToCp1252(text.toStdString());
  switch (field.DataType()) {
    case store::FieldType::String:
      field.SetAsString(bytes);
      break;
    case store::FieldType::Integer:
    case store::FieldType::Numeric: {
      QString t = text.trimmed();
      if (t.isEmpty()) {
        field.SetAsString("");
        break;
      }
      bool ok = false;
      int value = t.toInt(&ok);
      if (!ok)
        throw store::StoreError("'" + text.toStdString() +
                                "' no es un valor entero válido");
      field.SetAsInteger(value);
      break;
    }
    case store::FieldType::Boolean: {
      QString t = text.trimmed().toUpper();
      field.SetAsBoolean(t == "TRUE" || t == "T" || t == "S" || t == "SI" ||
                         t == "SÍ" || t == "1");
      break;
    }
  }
}

void TableModel::refresh() {
  bool pending = false;
  std::vector<uint32_t> rows;
  try {
    rows = readRows(&pending);
  } catch (const std::exception&) {
    rows.clear();
    pending = false;
  }
  if (rows != rows_ || pending != pendingRow_) {
    beginResetModel();
    rows_ = std::move(rows);
    pendingRow_ = pending;
    endResetModel();
  } else if (rowCount() > 0) {
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    emit headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
  }
  emit tableMoved();
}

void TableModel::onTableEvent(store::TableEvent) {
  if (inEvent_) return;
  inEvent_ = true;
  refresh();
  inEvent_ = false;
}

int TableModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return static_cast<int>(rows_.size()) + (pendingRow_ ? 1 : 0);
}

int TableModel::columnCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return static_cast<int>(columns_.size());
}

QVariant TableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  try {
    switch (role) {
      case Qt::DisplayRole:
      case Qt::EditRole:
        return cellText(index.row(), index.column());
      case Qt::TextAlignmentRole: {
        int fi = fieldIndex(index.column());
        if (fi >= 0) {
          store::FieldType type = table_.Fields().at(fi).type;
          if (type == store::FieldType::Integer ||
              type == store::FieldType::Numeric)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        }
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
      }
      case Qt::BackgroundRole:
        if (columns_[index.column()].markBlank &&
            IsBlank(cellText(index.row(), index.column())) &&
            (!markRule_ || markRule_(index.row(), index.column())))
          return QBrush(kBlankCell);
        return {};
      default:
        return {};
    }
  } catch (const std::exception&) {
    return {};
  }
}

bool TableModel::setData(const QModelIndex& index, const QVariant& value,
                         int role) {
  if (!index.isValid() || role != Qt::EditRole) return false;
  if (!(flags(index) & Qt::ItemIsEditable)) return false;
  const QString text = value.toString();
  try {
    // A grid row is the table's current record; a commit for another row
    // (an editor outliving a move) first makes that record current.
    if (index.row() != currentRow()) {
      uint32_t recno = recordAt(index.row());
      if (recno == 0) return false;
      table_.GotoRecord(recno);
    }
    // An editor closed without a change sets nothing, so that an untouched
    // record stays untouched.
    if (text == cellText(index.row(), index.column())) return false;
    if (checkRule_) {
      const QString problem = checkRule_(index.column(), text);
      if (!problem.isEmpty()) {
        emit valueRefused(problem);
        return false;
      }
    }
    setCurrentField(index.column(), text);
  } catch (const std::exception& e) {
    emit storeError(QString::fromStdString(chain::ExceptionText(e)));
    return false;
  }
  int row = currentRow();
  if (row >= 0) {
    emit dataChanged(this->index(row, 0),
                     this->index(row, columnCount() - 1));
    emit headerDataChanged(Qt::Vertical, row, row);
  }
  emit fieldChanged(index.column());
  return true;
}

Qt::ItemFlags TableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
  if (columns_[index.column()].editable && !table_.ReadOnly())
    f |= Qt::ItemIsEditable;
  return f;
}

QVariant TableModel::headerData(int section, Qt::Orientation orientation,
                                int role) const {
  if (orientation == Qt::Horizontal) {
    if (section < 0 || section >= columnCount()) return {};
    if (role == Qt::DisplayRole) return columns_[section].title;
    if (role == Qt::TextAlignmentRole)
      return QVariant::fromValue(Qt::AlignCenter);
    return {};
  }
  if (role == Qt::DisplayRole) {
    // The record indicator: current record, record in edit, new record.
    if (section != currentRow()) return QString();
    switch (table_.State()) {
      case store::DataSetState::Edit:
        return QStringLiteral("I");
      case store::DataSetState::Insert:
        return QStringLiteral("*");
      default:
        return QStringLiteral("\u25BA");
    }
  }
  if (role == Qt::TextAlignmentRole)
    return QVariant::fromValue(Qt::AlignCenter);
  return {};
}

}  // namespace ui
