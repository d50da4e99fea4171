#include "store/record_reader.h"

#include <algorithm>

#include "store/field_value.h"
#include "store/store_error.h"
#include "store/table_impl.h"

namespace store {

RecordReader::RecordReader(const Table& table) : t_(*table.impl_) {}

int RecordReader::Add(const std::string& name) {
  t_.CheckActive();
  const int index = t_.FieldIndex(name);
  const DbfField* f = t_.FieldAt(index);
  if (!f) throw StoreError(texts::FieldNotFound(name, t_.Label()));
  Slot s;
  s.field = *f;
  s.offset = static_cast<size_t>(f->offset);
  s.width = static_cast<size_t>(f->width);
  s.plain = f->type == 'C' && t_.shared->Text().IsWindows();
  end_ = std::max(end_, s.offset + s.width);
  slots_.push_back(std::move(s));
  return static_cast<int>(slots_.size()) - 1;
}

void RecordReader::Load(uint32_t recno) {
  // As ValueAt chooses the bytes it reads.
  record_ = nullptr;
  if (!t_.Active()) return;
  if (t_.state == DataSetState::Insert && recno == 0) {
    record_ = &t_.pending;
  } else if (t_.state == DataSetState::Edit && recno == t_.editRecno) {
    record_ = &t_.pending;
  } else if (recno != 0 && recno <= t_.shared->RecordCount()) {
    record_ = &t_.Record(recno);
  }
  whole_ = record_ && record_->size() >= end_;
}

std::string_view RecordReader::Converted(Slot& s) {
  s.converted = t_.Shown(FieldText(s.field, *record_));
  return s.converted;
}

int32_t RecordReader::Integer(int slot) const {
  if (!record_) return 0;
  return FieldInteger(slots_[static_cast<size_t>(slot)].field, *record_);
}

}  // namespace store
