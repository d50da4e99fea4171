// Record states and editing: Append, Edit, Post, Cancel, Delete, the
// pending record and how it is settled, and the fields read and set.
#include "store/table_impl.h"

#include <cmath>
#include <exception>
#include <system_error>
#include "store/table.h"
#include "store/cp1252.h"
#include "store/dbf_file.h"
#include "store/field_value.h"
#include "store/mdx_file.h"
#include "store/shared_table.h"
#include "store/os_file.h"
#include "store/store_error.h"
#include "store/system_error_text.h"
#include "store/table_filter.h"
#include "store/table_layout.h"
#include "store/table_maintenance.h"
#include "store/table_replacement.h"
#include "store/transaction.h"
#include "store/work_folder.h"

namespace store {

// ---------------------------------------------------------------- states

void TableImpl::Settle() {
  if (!Pending()) return;
  if (modified) {
    DoPost();
  } else {
    DoCancel(true);
  }
}

void TableImpl::DoPost() {
  const uint32_t before = cur;
  busy = true;
  try {
    if (state == DataSetState::Insert) {
      cur = shared->Append(pending);
    } else {
      if (shared->IsDeleted(editRecno)) {
        throw StoreError("El registro que se estaba modificando ha sido borrado de la tabla " +
                         Quoted(shared->Label()));
      }
      shared->Update(editRecno, pending);
      cur = editRecno;
    }
  } catch (...) {
    busy = false;
    if (cur > shared->RecordCount()) cur = 0;
    throw;
  }
  busy = false;
  state = DataSetState::Browse;
  pending.clear();
  modified = false;
  eof = bof = false;
  Emit(TableEvent::StateChanged);
  Emit(TableEvent::DataChanged);
  if (cur != before) Emit(TableEvent::Scrolled);
}

void TableImpl::DoCancel(bool notify) {
  if (!Pending()) return;
  const bool wasInsert = state == DataSetState::Insert;
  if (wasInsert) cur = savedCur;
  state = DataSetState::Browse;
  pending.clear();
  modified = false;
  if (cur == 0) {
    eof = bof = true;
  } else if (wasInsert) {
    eof = false;
  }
  if (notify) {
    Emit(TableEvent::StateChanged);
    if (wasInsert) Emit(TableEvent::Scrolled);
  }
}

void TableImpl::StartInsert() {
  savedCur = cur;
  pending.assign(static_cast<size_t>(shared->Dbf().RecordLength()), ' ');  // as BlankRecord, in the same room
  if (Linked()) {
    std::optional<std::string> mv = MasterValue();
    int lf = LinkedField();
    if (mv && lf >= 0) SetFieldText(DbfFields()[static_cast<size_t>(lf)], pending, *mv);
  }
  modified = false;
  editRecno = 0;
  state = DataSetState::Insert;
  eof = true;
  bof = false;
  Emit(TableEvent::StateChanged);
  Emit(TableEvent::Scrolled);
}

// ================================================================ Field

const std::string& Field::FieldName() const {
  const TableImpl& t = *table_->impl_;
  if (t.Active()) return t.DbfFields()[static_cast<size_t>(index_)].name;
  const FieldDefs& defs = t.fieldsView.empty() ? t.fieldDefs : t.fieldsView;
  if (index_ < static_cast<int>(defs.size())) return defs[static_cast<size_t>(index_)].name;
  return kEmpty;
}

FieldType Field::DataType() const {
  const TableImpl& t = *table_->impl_;
  if (const DbfField* f = t.FieldAt(index_)) return LogicalType(*f);
  const FieldDefs& defs = t.fieldsView.empty() ? t.fieldDefs : t.fieldsView;
  if (index_ < static_cast<int>(defs.size())) return defs[static_cast<size_t>(index_)].type;
  return FieldType::String;
}

int Field::Size() const {
  const TableImpl& t = *table_->impl_;
  if (const DbfField* f = t.FieldAt(index_)) return f->width;
  const FieldDefs& defs = t.fieldsView.empty() ? t.fieldDefs : t.fieldsView;
  if (index_ < static_cast<int>(defs.size())) return defs[static_cast<size_t>(index_)].width;
  return 0;
}

std::string Field::AsString() const {
  const TableImpl& t = *table_->impl_;
  const DbfField* f = t.FieldAt(index_);
  const std::string* rec = t.CurrentBytes();
  if (!f || !rec) return std::string();
  return t.Shown(FieldText(*f, *rec));
}

int32_t Field::AsInteger() const {
  const TableImpl& t = *table_->impl_;
  const DbfField* f = t.FieldAt(index_);
  const std::string* rec = t.CurrentBytes();
  if (!f || !rec) return 0;
  return FieldInteger(*f, *rec);
}

bool Field::AsBoolean() const {
  const TableImpl& t = *table_->impl_;
  const DbfField* f = t.FieldAt(index_);
  const std::string* rec = t.CurrentBytes();
  if (!f || !rec) return false;
  return FieldBoolean(*f, *rec);
}

void Field::SetAsString(std::string_view value) {
  TableImpl& t = *table_->impl_;
  std::string& rec = t.WritableRecord();
  const DbfField* f = t.FieldAt(index_);
  if (!f) throw StoreError(texts::FieldNotFound(FieldName(), t.Label()));
  if (t.shared->Text().IsWindows()) {
    // The tool's own code page: stored as it is.
    if (!SetCharacterField(*f, rec, value)) SetFieldText(*f, rec, value);
  } else {
    SetFieldText(*f, rec, t.Stored(std::string(value)));
  }
  t.modified = true;
}

void Field::SetAsInteger(int32_t value) {
  TableImpl& t = *table_->impl_;
  std::string& rec = t.WritableRecord();
  const DbfField* f = t.FieldAt(index_);
  if (!f) throw StoreError(texts::FieldNotFound(FieldName(), t.Label()));
  SetFieldInteger(*f, rec, value);
  t.modified = true;
}

void Field::SetAsBoolean(bool value) {
  TableImpl& t = *table_->impl_;
  std::string& rec = t.WritableRecord();
  const DbfField* f = t.FieldAt(index_);
  if (!f) throw StoreError(texts::FieldNotFound(FieldName(), t.Label()));
  SetFieldBoolean(*f, rec, value);
  t.modified = true;
}

// ---------------------------------------------------------------- editing

void Table::Append() {
  TableImpl& t = *impl_;
  t.CheckActive();
  t.CheckWritable();
  t.Settle();
  t.StartInsert();
}

void Table::Edit() {
  TableImpl& t = *impl_;
  t.CheckActive();
  t.CheckWritable();
  if (t.Pending()) return;
  if (t.cur == 0 || t.shared->IsDeleted(t.cur)) {
    t.StartInsert();
    return;
  }
  t.pending = t.Record(t.cur);
  t.editRecno = t.cur;
  t.modified = false;
  t.state = DataSetState::Edit;
  t.Emit(TableEvent::StateChanged);
}

void Table::Post() {
  TableImpl& t = *impl_;
  t.CheckActive();
  if (!t.Pending()) throw StoreError(texts::kNotEditing);
  t.DoPost();
}

void Table::Cancel() {
  TableImpl& t = *impl_;
  if (!t.Active()) return;
  t.DoCancel(true);
}

void Table::Delete() {
  TableImpl& t = *impl_;
  t.CheckActive();
  t.CheckWritable();
  if (t.state == DataSetState::Insert) {
    t.DoCancel(true);
    return;
  }
  if (t.state == DataSetState::Edit) t.DoCancel(true);
  if (t.cur == 0) {
    throw StoreError("No se puede borrar: la tabla " + Quoted(t.shared->Label()) +
                     " no tiene ningún registro visible");
  }
  const uint32_t gone = t.cur;
  t.busy = true;
  try {
    t.shared->Delete(gone);
  } catch (...) {
    t.busy = false;
    throw;
  }
  t.busy = false;
  uint32_t r = t.NextVisible(gone);
  if (r == 0) r = t.PriorVisible(gone);
  t.cur = r;
  t.bof = false;
  t.eof = false;
  if (r == 0) t.eof = t.bof = true;
  t.Emit(TableEvent::DataChanged);
  t.Emit(TableEvent::Scrolled);
}

Field& Table::FieldByName(const std::string& name) {
  Field* f = FindField(name);
  if (!f) throw StoreError(texts::FieldNotFound(name, impl_->Label()));
  return *f;
}

Field* Table::FindField(const std::string& name) {
  int i = impl_->FieldIndex(name);
  if (i < 0) return nullptr;
  auto& slot = impl_->fieldObjects[i];
  if (!slot) slot.reset(new Field(this, i));
  return slot.get();
}

}  // namespace store
