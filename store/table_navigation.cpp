// Order, visibility and moving: which records an object shows (deleted
// ones never; the filter and the detail link), in which order (physical or
// a tag's), and how First, Next, FindKey and bookmarks go through them.
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

// ---------------------------------------------------------------- visibility

bool TableImpl::Visible(uint32_t recno) const {
  if (recno == 0 || recno > shared->RecordCount()) return false;
  const std::string& rec = Record(recno);
  if (rec[0] == '*') return false;
  if (filter) {
    const DbfField& f = DbfFields()[static_cast<size_t>(filterField)];
    std::string text = FieldText(f, rec);
    const std::string want = RightTrimmed(filter->value);
    if (f.type == 'N' || f.type == 'F') {
      auto n = FieldNumber(f, rec);
      std::string probeRec(1 + 64, ' ');
      DbfField probe;
      probe.type = 'N';
      probe.width = 64;
      probe.offset = 1;
      std::optional<double> w;
      try {
        SetFieldText(probe, probeRec, want);
        w = FieldNumber(probe, probeRec);
      } catch (const StoreError&) {
      }
      if (n && w) {
        if (*n != *w) return false;
      } else if (text != want) {
        return false;
      }
    } else if (f.type == 'L') {
      if (!Cp1252EqualsIgnoreCase(text.substr(0, 1), want.substr(0, 1))) return false;
    } else if (text != want) {
      return false;
    }
  }
  if (Linked()) {
    std::optional<std::string> mv = MasterValue();
    if (!mv) return false;
    if (tag >= 0) {
      auto mk = MasterKey();
      if (!mk) return false;
      const std::string& again = Record(recno);
      if (!SameKey(shared->KeyOf(tag, again), *mk)) return false;
    } else {
      const DbfField& f = DbfFields()[static_cast<size_t>(LinkedField())];
      if (FieldText(f, Record(recno)) != RightTrimmed(*mv)) return false;
    }
  }
  return true;
}

uint32_t TableImpl::FirstVisible() const {
  if (tag < 0) {
    const uint32_t n = shared->RecordCount();
    for (uint32_t r = 1; r <= n; ++r) {
      if (Visible(r)) return r;
    }
    return 0;
  }
  if (Linked()) {
    auto mk = MasterKey();
    if (!mk) return 0;
    for (auto e = shared->IndexLowerBound(tag, *mk); e && SameKey(e->key, *mk);
         e = shared->IndexNext(tag, *e)) {
      if (VisibleEntry(*e)) return e->recno;
    }
    return 0;
  }
  for (auto e = shared->IndexFirst(tag); e; e = shared->IndexNext(tag, *e)) {
    if (VisibleEntry(*e)) return e->recno;
  }
  return 0;
}

uint32_t TableImpl::LastVisible() const {
  if (tag < 0) {
    for (uint32_t r = shared->RecordCount(); r >= 1; --r) {
      if (Visible(r)) return r;
    }
    return 0;
  }
  if (Linked()) {
    auto mk = MasterKey();
    if (!mk) return 0;
    for (auto e = shared->IndexPrior(tag, MdxEntry{*mk, UINT32_MAX}); e && SameKey(e->key, *mk);
         e = shared->IndexPrior(tag, *e)) {
      if (VisibleEntry(*e)) return e->recno;
    }
    return 0;
  }
  for (auto e = shared->IndexLast(tag); e; e = shared->IndexPrior(tag, *e)) {
    if (VisibleEntry(*e)) return e->recno;
  }
  return 0;
}

uint32_t TableImpl::NextVisible(uint32_t from) const {
  if (from == 0) return 0;
  if (tag < 0) {
    const uint32_t n = shared->RecordCount();
    for (uint32_t r = from + 1; r <= n; ++r) {
      if (Visible(r)) return r;
    }
    return 0;
  }
  std::optional<MdxKey> mk;
  if (Linked()) {
    mk = MasterKey();
    if (!mk) return 0;
  }
  for (auto e = shared->IndexNext(tag, shared->EntryOf(tag, from)); e;
       e = shared->IndexNext(tag, *e)) {
    if (mk && !SameKey(e->key, *mk)) return 0;
    if (VisibleEntry(*e)) return e->recno;
  }
  return 0;
}

uint32_t TableImpl::PriorVisible(uint32_t from) const {
  if (from == 0) return 0;
  if (tag < 0) {
    for (uint32_t r = std::min(from, shared->RecordCount() + 1) - 1; r >= 1; --r) {
      if (Visible(r)) return r;
    }
    return 0;
  }
  std::optional<MdxKey> mk;
  if (Linked()) {
    mk = MasterKey();
    if (!mk) return 0;
  }
  for (auto e = shared->IndexPrior(tag, shared->EntryOf(tag, from)); e;
       e = shared->IndexPrior(tag, *e)) {
    if (mk && !SameKey(e->key, *mk)) return 0;
    if (VisibleEntry(*e)) return e->recno;
  }
  return 0;
}

// ---------------------------------------------------------------- order, filter

int TableImpl::ResolveTag(const std::string& name) const {
  if (name.empty()) return -1;
  int t = shared->FindTag(name);
  if (t < 0) {
    throw StoreError("La tabla " + Quoted(shared->Label()) + " no tiene el índice " +
                     Quoted(name));
  }
  if (shared->Tags()[static_cast<size_t>(t)].field < 0) {
    throw StoreError("El índice " + Quoted(name) + " de la tabla " + Quoted(shared->Label()) +
                     " no ordena por un campo de la tabla");
  }
  return t;
}

void TableImpl::ComputeFilter(bool on, const std::string& text,
                              std::optional<FilterCondition>& cond, int& field) const {
  cond.reset();
  field = -1;
  bool blank = std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
  if (!on || blank) return;
  FilterCondition c = ParseFilter(text);
  int fi = FieldIndex(c.field);
  if (fi < 0) throw StoreError(texts::FieldNotFound(c.field, Label()));
  c.value = Stored(c.value);
  cond = c;
  field = fi;
}

void TableImpl::MoveTo(uint32_t recno) {
  const bool changed = recno != cur;
  cur = recno;
  eof = bof = false;
  if (changed) Emit(TableEvent::Scrolled);
}

void TableImpl::GoFirst() {
  const uint32_t before = cur;
  cur = FirstVisible();
  bof = true;
  eof = cur == 0;
  if (cur != before) Emit(TableEvent::Scrolled);
}

void TableImpl::Reposition() {
  if (cur == 0 || !Visible(cur)) {
    GoFirst();
  }
  Emit(TableEvent::DataChanged);
}

void TableImpl::RefreshRange() {
  Settle();
  lastMasterValue = MasterValue();
  const uint32_t before = cur;
  cur = FirstVisible();
  bof = true;
  eof = cur == 0;
  Emit(TableEvent::DataChanged);
  if (cur != before) Emit(TableEvent::Scrolled);
}

// ---------------------------------------------------------------- moving

void Table::First() {
  TableImpl& t = *impl_;
  t.CheckActive();
  t.Settle();
  t.GoFirst();
}

void Table::Next() {
  TableImpl& t = *impl_;
  t.CheckActive();
  t.Settle();
  if (t.cur == 0) {
    t.eof = true;
    return;
  }
  uint32_t r = t.NextVisible(t.cur);
  if (r == 0) {
    t.eof = true;
    return;
  }
  t.MoveTo(r);
}

void Table::Prior() {
  TableImpl& t = *impl_;
  t.CheckActive();
  t.Settle();
  if (t.cur == 0) {
    t.bof = true;
    return;
  }
  uint32_t r = t.PriorVisible(t.cur);
  if (r == 0) {
    t.bof = true;
    return;
  }
  t.MoveTo(r);
}

void Table::Last() {
  TableImpl& t = *impl_;
  t.CheckActive();
  t.Settle();
  const uint32_t before = t.cur;
  t.cur = t.LastVisible();
  t.eof = true;
  t.bof = t.cur == 0;
  if (t.cur != before) t.Emit(TableEvent::Scrolled);
}

bool Table::Eof() const { return !impl_->Active() || impl_->eof; }
bool Table::Bof() const { return !impl_->Active() || impl_->bof; }

// ---------------------------------------------------------------- keys

namespace {

bool FindKeyImpl(TableImpl& t, const MdxKey& key) {
  for (auto e = t.shared->IndexLowerBound(t.tag, key); e && t.SameKey(e->key, key);
       e = t.shared->IndexNext(t.tag, *e)) {
    if (t.VisibleEntry(*e)) {
      t.MoveTo(e->recno);
      return true;
    }
  }
  return false;
}

void CheckIndexed(const TableImpl& t) {
  if (t.tag < 0) {
    throw StoreError("La tabla " + Quoted(t.shared->Label()) +
                     " no tiene un índice activo para buscar por clave");
  }
}

}  // namespace

bool Table::FindKey(const std::string& value) {
  TableImpl& t = *impl_;
  t.CheckActive();
  t.Settle();
  CheckIndexed(t);
  const TagInfo& info = t.shared->Tags()[static_cast<size_t>(t.tag)];
  MdxKey key;
  if (info.keyType == 'N') {
    DbfField probe;
    probe.type = 'N';
    probe.width = 64;
    probe.offset = 1;
    std::string rec(65, ' ');
    try {
      SetFieldText(probe, rec, value);
    } catch (const StoreError&) {
      return false;
    }
    auto n = FieldNumber(probe, rec);
    if (!n) return false;
    key.number = *n;
  } else {
    key.chars = t.Stored(value.substr(0, static_cast<size_t>(info.keyLength)));
    key.chars.resize(static_cast<size_t>(info.keyLength), ' ');
  }
  return FindKeyImpl(t, key);
}

bool Table::FindKey(int value) {
  TableImpl& t = *impl_;
  t.CheckActive();
  t.Settle();
  CheckIndexed(t);
  const TagInfo& info = t.shared->Tags()[static_cast<size_t>(t.tag)];
  if (info.keyType != 'N') return FindKey(std::to_string(value));
  MdxKey key;
  key.number = value;
  return FindKeyImpl(t, key);
}

void Table::AppendValues(const std::vector<Value>& values) {
  TableImpl& t = *impl_;
  t.CheckActive();
  t.CheckWritable();
  t.Settle();
  const auto& fields = t.DbfFields();
  if (values.size() > fields.size()) {
    throw StoreError("Demasiados valores para la tabla " + Quoted(t.shared->Label()));
  }
  std::string rec = t.shared->Dbf().BlankRecord();
  if (t.Linked()) {
    std::optional<std::string> mv = t.MasterValue();
    int lf = t.LinkedField();
    if (mv && lf >= 0) SetFieldText(fields[static_cast<size_t>(lf)], rec, *mv);
  }
  for (size_t i = 0; i < values.size(); ++i) {
    const DbfField& f = fields[i];
    if (const auto* s = std::get_if<std::string>(&values[i])) {
      SetFieldText(f, rec, t.Stored(*s));
    } else if (const auto* n = std::get_if<int>(&values[i])) {
      SetFieldInteger(f, rec, *n);
    } else if (const auto* b = std::get_if<bool>(&values[i])) {
      SetFieldBoolean(f, rec, *b);
    }
  }
  t.busy = true;
  uint32_t r = 0;
  try {
    r = t.shared->Append(rec);
  } catch (...) {
    t.busy = false;
    throw;
  }
  t.busy = false;
  t.Emit(TableEvent::DataChanged);
  t.MoveTo(r);
}

// ---------------------------------------------------------------- bookmarks

Bookmark Table::GetBookmark() const {
  const TableImpl& t = *impl_;
  if (!t.Active() || t.state == DataSetState::Insert) return Bookmark{};
  return Bookmark{t.cur};
}

void Table::GotoBookmark(const Bookmark& bookmark) {
  TableImpl& t = *impl_;
  t.CheckActive();
  t.Settle();
  if (bookmark.recno == 0) return;
  if (bookmark.recno > t.shared->RecordCount() || t.shared->IsDeleted(bookmark.recno)) {
    throw StoreError("El registro marcado ya no existe en la tabla " + Quoted(t.shared->Label()));
  }
  t.MoveTo(bookmark.recno);
}

DataSetState Table::State() const { return impl_->state; }

bool Table::IsEmpty() const {
  const TableImpl& t = *impl_;
  if (!t.Active()) return true;
  if (t.state == DataSetState::Insert) return false;
  return t.FirstVisible() == 0;
}

// ---------------------------------------------------------------- grids

const FieldDefs& Table::Fields() const {
  const TableImpl& t = *impl_;
  return t.fieldsView.empty() ? t.fieldDefs : t.fieldsView;
}

int Table::FieldIndex(const std::string& name) const { return impl_->FieldIndex(name); }

std::vector<uint32_t> Table::VisibleRecords() const {
  const TableImpl& t = *impl_;
  std::vector<uint32_t> out;
  if (!t.Active()) return out;
  if (t.tag >= 0 && !t.Linked()) {
    // The whole tag in order, leaf after leaf, each entry read where the
    // index keeps it.
    const int tag = t.tag;
    const size_t length = static_cast<size_t>(t.shared->StoredKeyLength(tag));
    out.reserve(t.shared->RecordCount());
    t.shared->ForEachIndexLeaf(tag, [&](const char* keys, const uint32_t* recnos, size_t n) {
      for (size_t i = 0; i < n; ++i) {
        const uint32_t r = recnos[i];
        if (t.Visible(r) && t.shared->StoredEntryIsLive(tag, keys + i * length, r, t.Record(r))) {
          out.push_back(r);
        }
      }
      return true;
    });
    return out;
  }
  for (uint32_t r = t.FirstVisible(); r != 0; r = t.NextVisible(r)) out.push_back(r);
  return out;
}

uint32_t Table::RecNo() const {
  const TableImpl& t = *impl_;
  if (!t.Active() || t.state == DataSetState::Insert) return 0;
  return t.cur;
}

void Table::GotoRecord(uint32_t recno) {
  TableImpl& t = *impl_;
  t.CheckActive();
  t.Settle();
  if (!t.Visible(recno)) {
    throw StoreError("El registro " + std::to_string(recno) + " no está visible en la tabla " +
                     Quoted(t.shared->Label()));
  }
  t.MoveTo(recno);
}

std::string Table::ValueAt(uint32_t recno, int fieldIndex) const {
  const TableImpl& t = *impl_;
  const DbfField* f = t.FieldAt(fieldIndex);
  if (!f) return std::string();
  if (t.state == DataSetState::Insert && recno == 0) return t.Shown(FieldText(*f, t.pending));
  if (t.state == DataSetState::Edit && recno == t.editRecno) return t.Shown(FieldText(*f, t.pending));
  if (recno == 0 || recno > t.shared->RecordCount()) return std::string();
  return t.Shown(FieldText(*f, t.Record(recno)));
}

void Table::ValueInto(uint32_t recno, int fieldIndex, std::string& out) const {
  const TableImpl& t = *impl_;
  const DbfField* f = t.FieldAt(fieldIndex);
  const std::string* rec = nullptr;
  if (!f) {
  } else if (t.state == DataSetState::Insert && recno == 0) {
    rec = &t.pending;
  } else if (t.state == DataSetState::Edit && recno == t.editRecno) {
    rec = &t.pending;
  } else if (recno != 0 && recno <= t.shared->RecordCount()) {
    rec = &t.Record(recno);
  }
  if (!rec) {
    out.clear();
    return;
  }
  if (f->type == 'C' && t.shared->Text().IsWindows()) {
    // As FieldText reads a character field, without a string of its own.
    std::string_view raw = FieldBytes(*f, *rec);
    size_t e = raw.size();
    while (e > 0 && (raw[e - 1] == ' ' || raw[e - 1] == '\0')) --e;
    out.clear();
    out.append(raw.data(), e);
    return;
  }
  out = t.Shown(FieldText(*f, *rec));
}

bool Table::Modified() const { return impl_->Pending() && impl_->modified; }

}  // namespace store
