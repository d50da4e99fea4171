// The dataset layer: table objects over the shared open tables.
//
// An object walks its table in physical order or in the order of one tag of
// the production index. Its position is the current record number; in tag
// order the entry (key of that record, record number) is asked of the index
// for the next or prior one, so a step never materialises the whole order.
// A record is visible when it is not deleted, passes the filter (when
// filtering is on and a filter text is set) and, for a detail object, has
// the master's value as its key.
//
// Pending records: Append and Edit copy a record into a buffer; fields set
// change only the buffer; Post (or settling with a field set) writes it.
// Settling happens at First, Next, Prior, Last, Append, FindKey,
// AppendValues, GotoRecord and GotoBookmark, and when a master moves.
#include "store/table.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <random>
#include <system_error>

#include "store/cp1252.h"
#include "store/dbf_file.h"
#include "store/field_value.h"
#include "store/file_links.h"
#include "store/mdx_file.h"
#include "store/os_file_lock.h"
#include "store/shared_table.h"
#include "store/store_error.h"
#include "store/table_checks.h"
#include "store/table_filter.h"
#include "store/table_layout.h"
#include "store/table_maintenance.h"
#include "store/work_folder.h"

namespace store {

namespace fs = std::filesystem;

namespace {

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

std::string RightTrimmed(const std::string& s) {
  size_t e = s.size();
  while (e > 0 && s[e - 1] == ' ') --e;
  return s.substr(0, e);
}

FieldType LogicalType(const DbfField& f) {
  switch (f.type) {
    case 'N':
    case 'F':
      return f.decimals > 0 || f.type == 'F' ? FieldType::Numeric : FieldType::Integer;
    case 'L':
      return FieldType::Boolean;
    default:
      return FieldType::String;
  }
}

bool HasExtension(const std::string& leaf) {
  size_t dot = leaf.find_last_of('.');
  return dot != std::string::npos && dot != 0 && dot + 1 < leaf.size();
}

// Splits a table name ("PROFT", "PROFT.DBF", "/x/y/PROFT.DBF",
// "\\QTEMP\\PROFT.DBF") into its folder (relative to base) and file name.
void SplitTableName(const fs::path& base, const std::string& name, fs::path& dir,
                    std::string& leaf) {
  std::string n = name;
  std::replace(n.begin(), n.end(), '\\', '/');
  size_t slash = n.find_last_of('/');
  if (slash == std::string::npos) {
    dir = base;
    leaf = n;
    return;
  }
  fs::path sub(n.substr(0, slash + 1));
  dir = sub.is_absolute() ? sub : base / sub;
  leaf = n.substr(slash + 1);
}

const std::string kEmpty;

}  // namespace

struct TableImpl {
  explicit TableImpl(Table* t) : self(t) {}
  ~TableImpl();

  Table* self;
  // Properties.
  fs::path folder;
  std::string tableName;
  FieldDefs fieldDefs;
  IndexDefs indexDefs;
  std::string indexName;
  bool exclusive = false;
  bool readOnly = false;
  TableImpl* master = nullptr;
  std::string masterFields;
  std::vector<TableImpl*> details;
  std::string filterText;
  bool filtered = false;

  // Open state.
  std::shared_ptr<SharedTable> shared;
  DataSetState state = DataSetState::Inactive;
  int tag = -1;
  uint32_t cur = 0;
  bool eof = true;
  bool bof = true;
  std::string pending;
  bool modified = false;
  uint32_t editRecno = 0;
  uint32_t savedCur = 0;  // current record before an insert began
  std::optional<FilterCondition> filter;
  int filterField = -1;
  std::optional<std::string> lastMasterValue;
  bool busy = false;  // this object is changing the table itself

  FieldDefs fieldsView;  // of the table last opened
  std::map<int, std::unique_ptr<Field>> fieldObjects;
  std::vector<std::pair<int, std::function<void(TableEvent)>>> listeners;
  int nextListener = 1;

  mutable uint32_t cacheRecno = 0;
  mutable uint64_t cacheGeneration = 0;
  mutable std::string cache;

  // ---- helpers
  bool Active() const { return state != DataSetState::Inactive; }
  bool Pending() const { return state == DataSetState::Edit || state == DataSetState::Insert; }
  std::string Label() const;
  fs::path ResolvedPath() const;
  fs::path CreationPath() const;

  void CheckActive() const {
    if (!Active()) throw StoreError(texts::kClosedDataset);
  }
  void CheckInactive() const {
    if (Active()) {
      throw StoreError("No se puede realizar esta operación en una fuente de datos abierta");
    }
  }
  void CheckWritable() const {
    if (readOnly) throw StoreError(texts::kReadOnly);
  }
  const std::vector<DbfField>& DbfFields() const { return shared->Fields(); }

  const std::string& Record(uint32_t recno) const {
    if (cacheRecno != recno || cacheGeneration != shared->Generation()) {
      shared->ReadRecord(recno, cache);
      cacheRecno = recno;
      cacheGeneration = shared->Generation();
    }
    return cache;
  }
  // The record whose fields are read: the pending one, else the current.
  const std::string* CurrentBytes() const {
    if (!Active()) return nullptr;
    if (Pending()) return &pending;
    if (cur == 0) return nullptr;
    return &Record(cur);
  }

  int FieldIndex(const std::string& name) const;
  void Emit(TableEvent ev);
  void OnMasterEvent(TableEvent ev);
  void OnSharedChanged();

  // Detail link.
  std::optional<std::string> MasterValue() const;
  int LinkedField() const;
  std::optional<MdxKey> MasterKey() const;
  bool Linked() const { return master != nullptr && !masterFields.empty(); }

  bool Visible(uint32_t recno) const;
  uint32_t FirstVisible() const;
  uint32_t LastVisible() const;
  uint32_t NextVisible(uint32_t from) const;
  uint32_t PriorVisible(uint32_t from) const;
  // A visible record reached through a live index entry.
  bool VisibleEntry(const MdxEntry& e) const {
    if (!Visible(e.recno)) return false;
    return shared->EntryIsLive(tag, e, Record(e.recno));
  }
  bool SameKey(const MdxKey& a, const MdxKey& b) const {
    return shared->CompareKeys(tag, a, b) == 0;
  }

  int ResolveTag(const std::string& name) const;
  void ComputeFilter(bool on, const std::string& text, std::optional<FilterCondition>& cond,
                     int& field) const;

  void Settle();
  void DoPost();
  void DoCancel(bool notify);
  void StartInsert();
  void MoveTo(uint32_t recno);
  void GoFirst();
  void Reposition();  // after the order, filter or link changed
  void RefreshRange();
  void Open();
  void Close();
  void Unlink();

  // Field access.
  std::string& WritableRecord();
  const DbfField* FieldAt(int index) const;
};

// ---------------------------------------------------------------- naming

std::string TableImpl::Label() const {
  fs::path p = ResolvedPath();
  return p.filename().string();
}

fs::path TableImpl::ResolvedPath() const {
  fs::path base = folder.empty() ? WorkFolder() : folder;
  fs::path dir;
  std::string leaf;
  SplitTableName(base, tableName, dir, leaf);
  if (!HasExtension(leaf)) leaf += ".DBF";
  return ResolveFileNoCase(dir, leaf);
}

fs::path TableImpl::CreationPath() const {
  fs::path base = folder.empty() ? WorkFolder() : folder;
  fs::path dir;
  std::string leaf;
  SplitTableName(base, tableName, dir, leaf);
  size_t dot = leaf.find_last_of('.');
  if (HasExtension(leaf) && Cp1252EqualsIgnoreCase(leaf.substr(dot), ".DBF")) {
    leaf = leaf.substr(0, dot);
  }
  if (!HasExtension(leaf)) leaf += ".DBF";
  return dir / leaf;
}

// ---------------------------------------------------------------- fields

int TableImpl::FieldIndex(const std::string& name) const {
  if (Active()) {
    const auto& f = DbfFields();
    for (size_t i = 0; i < f.size(); ++i) {
      if (!StoredNameMatches(f[i].name, name)) continue;
      CheckFieldReadable(f[i], shared->Label());  // memo, date, ...: refused by name
      return static_cast<int>(i);
    }
    return -1;
  }
  const FieldDefs& defs = fieldsView.empty() ? fieldDefs : fieldsView;
  for (size_t i = 0; i < defs.size(); ++i) {
    if (StoredNameMatches(defs[i].name, name) || Cp1252EqualsIgnoreCase(defs[i].name, name)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

const DbfField* TableImpl::FieldAt(int index) const {
  if (!Active() || index < 0 || index >= static_cast<int>(DbfFields().size())) return nullptr;
  return &DbfFields()[static_cast<size_t>(index)];
}

std::string& TableImpl::WritableRecord() {
  CheckActive();
  if (!Pending()) throw StoreError(texts::kNotEditing);
  return pending;
}

// ---------------------------------------------------------------- events

void TableImpl::Emit(TableEvent ev) {
  auto copy = listeners;
  for (auto& l : copy) {
    if (l.second) l.second(ev);
  }
  auto ds = details;
  for (TableImpl* d : ds) {
    if (std::find(details.begin(), details.end(), d) != details.end()) d->OnMasterEvent(ev);
  }
}

void TableImpl::OnMasterEvent(TableEvent ev) {
  if (!Active() || !Linked()) return;
  switch (ev) {
    case TableEvent::Scrolled:
    case TableEvent::Opened:
    case TableEvent::Closed:
      RefreshRange();
      break;
    case TableEvent::DataChanged:
    case TableEvent::StateChanged:
      if (MasterValue() != lastMasterValue) RefreshRange();
      break;
  }
}

void TableDataChanged(TableImpl* user) { user->OnSharedChanged(); }

void TableImpl::OnSharedChanged() {
  if (busy || !Active()) return;  // the acting object tells its own listeners
  if (state == DataSetState::Browse && cur != 0 && shared->IsDeleted(cur)) {
    uint32_t r = NextVisible(cur);
    if (r == 0) r = PriorVisible(cur);
    cur = r;
    if (r == 0) eof = bof = true;
  }
  Emit(TableEvent::DataChanged);
}

// ---------------------------------------------------------------- link

std::optional<std::string> TableImpl::MasterValue() const {
  if (!Linked() || !master->Active()) return std::nullopt;
  const std::string* rec = master->CurrentBytes();
  if (!rec) return std::nullopt;
  int fi = master->FieldIndex(masterFields);
  if (fi < 0) throw StoreError(texts::FieldNotFound(masterFields));
  return shared->Text().ToStored(
      master->shared->Text().ToWindows(FieldText(master->DbfFields()[static_cast<size_t>(fi)], *rec)));
}

int TableImpl::LinkedField() const {
  if (tag >= 0) return shared->Tags()[static_cast<size_t>(tag)].field;
  int fi = FieldIndex(masterFields);
  if (fi < 0) throw StoreError(texts::FieldNotFound(masterFields));
  return fi;
}

std::optional<MdxKey> TableImpl::MasterKey() const {
  std::optional<std::string> v = MasterValue();
  if (!v || tag < 0) return std::nullopt;
  const TagInfo& t = shared->Tags()[static_cast<size_t>(tag)];
  MdxKey key;
  if (t.keyType == 'N') {
    std::string rec(1 + 64, ' ');
    DbfField probe;
    probe.type = 'N';
    probe.width = 64;
    probe.offset = 1;
    try {
      SetFieldText(probe, rec, *v);
    } catch (const StoreError&) {
      return std::nullopt;
    }
    auto n = FieldNumber(probe, rec);
    if (!n) return std::nullopt;
    key.number = *n;
  } else {
    key.chars = v->substr(0, static_cast<size_t>(t.keyLength));
    key.chars.resize(static_cast<size_t>(t.keyLength), ' ');
  }
  return key;
}

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
  if (fi < 0) throw StoreError(texts::FieldNotFound(c.field));
  c.value = shared->Text().ToStored(c.value);
  cond = c;
  field = fi;
}

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
  pending = shared->Dbf().BlankRecord();
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

void TableImpl::Open() {
  if (Active()) return;
  const fs::path path = ResolvedPath();
  const std::string label = path.filename().string();
  std::error_code ec;
  if (!fs::exists(path, ec)) {
    throw StoreError("No se encuentra la tabla " + Quoted(label) + " (" + path.string() + ")");
  }
  shared = SharedTable::Acquire(path, label, exclusive, this);
  try {
    state = DataSetState::Browse;
    fieldsView.clear();
    for (const DbfField& f : DbfFields()) {
      FieldDef d;
      d.name = f.name;
      d.type = LogicalType(f);
      d.width = f.width;
      d.decimals = f.decimals;
      fieldsView.push_back(d);
    }
    tag = ResolveTag(indexName);
    ComputeFilter(filtered, filterText, filter, filterField);
    if (Linked()) LinkedField();  // checks that the linked field exists
    lastMasterValue = MasterValue();
    pending.clear();
    modified = false;
    cur = FirstVisible();
    bof = true;
    eof = cur == 0;
  } catch (...) {
    state = DataSetState::Inactive;
    shared->Detach(this, exclusive);
    shared.reset();
    cur = 0;
    eof = bof = true;
    throw;
  }
  Emit(TableEvent::Opened);
  Emit(TableEvent::StateChanged);
}

void TableImpl::Close() {
  if (!Active()) return;
  DoCancel(false);
  shared->Detach(this, exclusive);
  shared.reset();
  state = DataSetState::Inactive;
  cur = 0;
  tag = -1;
  eof = bof = true;
  cacheRecno = 0;
  Emit(TableEvent::Closed);
  Emit(TableEvent::StateChanged);
}

void TableImpl::Unlink() {
  if (master) {
    auto& d = master->details;
    d.erase(std::remove(d.begin(), d.end(), this), d.end());
    master = nullptr;
  }
}

TableImpl::~TableImpl() {
  listeners.clear();
  try {
    Close();
  } catch (...) {
  }
  Unlink();
  for (TableImpl* d : details) d->master = nullptr;
  details.clear();
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
  return t.shared->Text().ToWindows(FieldText(*f, *rec));
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

void Field::SetAsString(const std::string& value) {
  TableImpl& t = *table_->impl_;
  std::string& rec = t.WritableRecord();
  const DbfField* f = t.FieldAt(index_);
  if (!f) throw StoreError(texts::FieldNotFound(FieldName()));
  SetFieldText(*f, rec, t.shared->Text().ToStored(value));
  t.modified = true;
}

void Field::SetAsInteger(int32_t value) {
  TableImpl& t = *table_->impl_;
  std::string& rec = t.WritableRecord();
  const DbfField* f = t.FieldAt(index_);
  if (!f) throw StoreError(texts::FieldNotFound(FieldName()));
  SetFieldInteger(*f, rec, value);
  t.modified = true;
}

void Field::SetAsBoolean(bool value) {
  TableImpl& t = *table_->impl_;
  std::string& rec = t.WritableRecord();
  const DbfField* f = t.FieldAt(index_);
  if (!f) throw StoreError(texts::FieldNotFound(FieldName()));
  SetFieldBoolean(*f, rec, value);
  t.modified = true;
}

// ================================================================ Table

Table::Table() : impl_(std::make_unique<TableImpl>(this)) {}
Table::~Table() = default;

void Table::SetDatabaseName(const fs::path& folder) {
  impl_->CheckInactive();
  impl_->folder = folder;
}
const fs::path& Table::DatabaseName() const { return impl_->folder; }
void Table::SetTableName(const std::string& name) {
  impl_->CheckInactive();
  impl_->tableName = name;
}
const std::string& Table::TableName() const { return impl_->tableName; }
FieldDefs& Table::FieldDefsList() { return impl_->fieldDefs; }
IndexDefs& Table::IndexDefsList() { return impl_->indexDefs; }

void Table::SetIndexName(const std::string& tag) {
  TableImpl& t = *impl_;
  if (!t.Active()) {
    t.indexName = tag;
    return;
  }
  t.Settle();
  int newTag = t.ResolveTag(tag);
  t.indexName = tag;
  t.tag = newTag;
  t.lastMasterValue = t.MasterValue();
  t.Reposition();
}
const std::string& Table::IndexName() const { return impl_->indexName; }

void Table::SetExclusive(bool exclusive) {
  impl_->CheckInactive();
  impl_->exclusive = exclusive;
}
bool Table::Exclusive() const { return impl_->exclusive; }
void Table::SetReadOnly(bool readOnly) {
  impl_->CheckInactive();
  impl_->readOnly = readOnly;
}
bool Table::ReadOnly() const { return impl_->readOnly; }

void Table::SetMasterSource(Table* master) {
  TableImpl& t = *impl_;
  TableImpl* m = master ? master->impl_.get() : nullptr;
  if (m == t.master) return;
  for (TableImpl* p = m; p; p = p->master) {
    if (p == &t) throw StoreError("Una tabla no puede ser maestra de sí misma");
  }
  if (t.Active()) t.Settle();
  t.Unlink();
  if (m) {
    t.master = m;
    m->details.push_back(&t);
  }
  if (t.Active()) t.RefreshRange();
}
Table* Table::MasterSource() const { return impl_->master ? impl_->master->self : nullptr; }

void Table::SetMasterFields(const std::string& field) {
  TableImpl& t = *impl_;
  if (field == t.masterFields) return;
  if (t.Active()) t.Settle();
  t.masterFields = field;
  if (t.Active() && t.master) t.RefreshRange();
}
const std::string& Table::MasterFields() const { return impl_->masterFields; }

void Table::SetFilter(const std::string& filter) {
  TableImpl& t = *impl_;
  if (!t.Active()) {
    t.filterText = filter;
    return;
  }
  t.Settle();
  std::optional<FilterCondition> cond;
  int field = -1;
  t.ComputeFilter(t.filtered, filter, cond, field);
  t.filterText = filter;
  t.filter = cond;
  t.filterField = field;
  t.Reposition();
}
const std::string& Table::Filter() const { return impl_->filterText; }

void Table::SetFiltered(bool on) {
  TableImpl& t = *impl_;
  if (!t.Active()) {
    t.filtered = on;
    return;
  }
  if (on == t.filtered) return;
  t.Settle();
  std::optional<FilterCondition> cond;
  int field = -1;
  t.ComputeFilter(on, t.filterText, cond, field);
  t.filtered = on;
  t.filter = cond;
  t.filterField = field;
  t.Reposition();
}
bool Table::Filtered() const { return impl_->filtered; }

fs::path Table::FilePath() const {
  fs::path p = impl_->ResolvedPath();
  std::error_code ec;
  if (fs::exists(p, ec)) return p;
  return impl_->CreationPath();
}

bool Table::Exists() const {
  std::error_code ec;
  return fs::exists(impl_->ResolvedPath(), ec);
}

// ---------------------------------------------------------------- create

namespace {

// Holds an exclusive lock on an existing table file while it is replaced,
// so that a table another program has open is never swept away.
class ReplaceGuard {
 public:
  ReplaceGuard(const fs::path& path, const std::string& label) {
    std::error_code ec;
    if (!fs::exists(path, ec)) return;
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return;
    if (LockTableFile(fd_, OsLockKind::None, OsLockKind::Exclusive) != OsLockResult::Taken) {
      ::close(fd_);
      fd_ = -1;
      throw StoreError("La tabla " + Quoted(label) +
                       " está en uso por otro programa y no se puede reemplazar");
    }
  }
  ~ReplaceGuard() {
    if (fd_ >= 0) ::close(fd_);
  }
  ReplaceGuard(const ReplaceGuard&) = delete;
  ReplaceGuard& operator=(const ReplaceGuard&) = delete;

 private:
  int fd_ = -1;
};

fs::path TempBeside(const fs::path& path) {
  std::random_device rd;
  fs::path tmp = path;
  tmp += ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(rd() % 1000000);
  return tmp;
}

}  // namespace

void Table::CreateTable() {
  TableImpl& t = *impl_;
  t.CheckInactive();
  const fs::path target = t.CreationPath();
  const std::string label = target.filename().string();
  const fs::path existing = t.ResolvedPath();
  if (SharedTable::IsOpenInProcess(existing) || SharedTable::IsOpenInProcess(target)) {
    throw StoreError("La tabla " + Quoted(label) + " está abierta y no se puede reemplazar");
  }

  std::vector<DbfField> fields = LayoutFields(t.fieldDefs, label);
  std::vector<MdxTagDef> tags = LayoutTags(fields, t.indexDefs, label);

  std::error_code ec;
  const fs::path dir = target.parent_path();
  if (!dir.empty() && !fs::exists(dir, ec)) {
    fs::create_directories(dir, ec);
    if (ec) {
      throw StoreError("No se puede crear la carpeta " + dir.string() + ": " + ec.message());
    }
  }

  RefuseLinkedTable(existing, label);  // never replaced through a link
  ReplaceGuard guard(existing, label);
  const std::string base = target.stem().string();
  const fs::path mdxTarget = dir / (base + ".MDX");
  fs::path mdxTemp;
  if (!tags.empty()) {
    // The index is written aside first: if it cannot be made, the old table
    // stays as it was.
    mdxTemp = TempBeside(mdxTarget);
    MdxFile::Create(mdxTemp, base, tags);
  }
  try {
    DbfFile::Create(target, label, fields, !tags.empty());
  } catch (...) {
    if (!mdxTemp.empty()) fs::remove(mdxTemp, ec);
    throw;
  }
  // Other spellings of the same name are the replaced table.
  if (existing != target && fs::exists(existing, ec)) fs::remove(existing, ec);
  DeleteFileNoCase(dir, base + ".MDX");
  if (!mdxTemp.empty()) {
    fs::rename(mdxTemp, mdxTarget, ec);
    if (ec) {
      throw StoreError("No se puede crear el índice de la tabla " + Quoted(label) + ": " +
                       ec.message());
    }
  }
}

// ---------------------------------------------------------------- open/close

void Table::SetActive(bool active) {
  if (active) {
    impl_->Open();
  } else {
    impl_->Close();
  }
}
bool Table::Active() const { return impl_->Active(); }

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
  if (!f) throw StoreError(texts::FieldNotFound(name));
  return *f;
}

Field* Table::FindField(const std::string& name) {
  int i = impl_->FieldIndex(name);
  if (i < 0) return nullptr;
  auto& slot = impl_->fieldObjects[i];
  if (!slot) slot.reset(new Field(this, i));
  return slot.get();
}

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
    key.chars = t.shared->Text().ToStored(value.substr(0, static_cast<size_t>(info.keyLength)));
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
      SetFieldText(f, rec, t.shared->Text().ToStored(*s));
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
  const auto shown = [&t](std::string stored) { return t.shared->Text().ToWindows(stored); };
  if (t.state == DataSetState::Insert && recno == 0) return shown(FieldText(*f, t.pending));
  if (t.state == DataSetState::Edit && recno == t.editRecno) return shown(FieldText(*f, t.pending));
  if (recno == 0 || recno > t.shared->RecordCount()) return std::string();
  return shown(FieldText(*f, t.Record(recno)));
}

bool Table::Modified() const { return impl_->Pending() && impl_->modified; }

// ---------------------------------------------------------------- listeners

int Table::AddListener(std::function<void(TableEvent)> listener) {
  int id = impl_->nextListener++;
  impl_->listeners.emplace_back(id, std::move(listener));
  return id;
}

void Table::RemoveListener(int id) {
  auto& l = impl_->listeners;
  l.erase(std::remove_if(l.begin(), l.end(), [id](const auto& p) { return p.first == id; }),
          l.end());
}

// ---------------------------------------------------------------- upkeep

void Table::Pack() {
  TableImpl& t = *impl_;
  t.CheckInactive();
  PackTable(t.ResolvedPath(), t.indexDefs);
}

void Table::RebuildIndex() {
  TableImpl& t = *impl_;
  t.CheckInactive();
  RebuildTableIndex(t.ResolvedPath(), t.indexDefs);
}

}  // namespace store
