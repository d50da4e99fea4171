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
#include "store/path_text.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <map>
#include <optional>
#include <system_error>

#include "store/cp1252.h"
#include "store/dbf_file.h"
#include "store/field_value.h"
#include "store/file_links.h"
#include "store/mdx_file.h"
#include "store/shared_table.h"
#include "store/os_file.h"
#include "store/store_error.h"
#include "store/system_error_text.h"
#include "store/table_checks.h"
#include "store/table_filter.h"
#include "store/table_layout.h"
#include "store/table_maintenance.h"
#include "store/table_replacement.h"
#include "store/transaction.h"
#include "store/work_folder.h"

#include "store/table_impl.h"

namespace store {

// ---------------------------------------------------------------- builds

namespace {

// Objects of this process whose new table (CreateTable) is not in place
// yet, by the upper-case path of the table they replace.
std::map<std::string, TableImpl*>& PendingBuilds() {
  static std::map<std::string, TableImpl*> builds;
  return builds;
}

std::string BuildKey(const fs::path& p) {
  std::string k = PathText(fs::absolute(p).lexically_normal());
  for (char& c : k) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return k;
}

void ForgetBuild(TableImpl* t) {
  auto& b = PendingBuilds();
  for (auto it = b.begin(); it != b.end();) {
    if (it->second == t) it = b.erase(it);
    else ++it;
  }
}

}  // namespace

// A table created by another object and never opened by it is put in place
// before this object opens the table by name; one being filled stays
// apart until its object closes.
void SettlePendingBuild(TableImpl* opener, const fs::path& path) {
  auto it = PendingBuilds().find(BuildKey(path));
  if (it == PendingBuilds().end() || it->second == opener || it->second->Active()) return;
  TableImpl* builder = it->second;
  builder->Close(true);
}

// ---------------------------------------------------------------- naming

std::string TableImpl::Label() const {
  fs::path p = ResolvedPath();
  return FileNameText(p);
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
  return dir / PathFromText(leaf);
}

// ---------------------------------------------------------------- fields

int TableImpl::FieldIndex(const std::string& name) const {
  if (Active()) {
    // Steps ask for the same few names on every record: the answers are
    // kept while the table is open.
    auto known = fieldIndexCache.find(name);
    if (known != fieldIndexCache.end()) return known->second;
    const auto& f = DbfFields();
    int found = -1;
    for (size_t i = 0; i < f.size() && found < 0; ++i) {
      if (!StoredNameMatches(f[i].name, name)) continue;
      CheckFieldReadable(f[i], shared->Label());  // memo, date, ...: refused by name
      found = static_cast<int>(i);
    }
    fieldIndexCache.emplace(name, found);
    return found;
  }
  const FieldDefs& defs = fieldsView.empty() ? fieldDefs : fieldsView;
  for (size_t i = 0; i < defs.size(); ++i) {
    if (StoredNameMatches(defs[i].name, name) || Cp1252EqualsIgnoreCase(defs[i].name, name)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

// ---------------------------------------------------------------- events

void TableImpl::Emit(TableEvent ev) {
  if (listeners.empty() && details.empty()) return;
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
  if (cur > shared->RecordCount()) {  // records taken back by a rollback
    cur = FirstVisible();
    eof = bof = cur == 0;
  }
  if (state == DataSetState::Edit && editRecno > shared->RecordCount()) {
    DoCancel(true);
  }
  if (state == DataSetState::Browse && cur != 0 && shared->IsDeleted(cur)) {
    uint32_t r = NextVisible(cur);
    if (r == 0) r = PriorVisible(cur);
    cur = r;
    if (r == 0) eof = bof = true;
  }
  Emit(TableEvent::DataChanged);
}

void TableImpl::Open() {
  if (Active()) return;
  if (!staged) {
    SettlePendingBuild(this, CreationPath());
    // Finishes or undoes what a killed process left half done.
    const fs::path named = ResolvedPath();
    if (!SharedTable::IsOpenInProcess(named)) RecoverTable(named, FileNameText(named));
  }
  const fs::path path = staged ? staged->DbfPath() : ResolvedPath();
  const std::string label = staged ? FileNameText(staged->Target())
                                   : FileNameText(path);
  if (!os::Exists(path)) {
    throw StoreError("No se encuentra la tabla " + Quoted(label) + " (" + PathText(path) + ")");
  }
  fieldIndexCache.clear();
  shared = SharedTable::Acquire(path, label, exclusive, this, staged != nullptr);
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

void TableImpl::Close(bool putInPlace) {
  if (!Active()) {
    if (staged && putInPlace) {
      std::unique_ptr<StagedTable> done = std::move(staged);
      ForgetBuild(this);
      done->Commit();
    }
    return;
  }
  DoCancel(false);
  // A staged table's pages go to its file when its last object closes.
  if (putInPlace && shared->Staged() && shared->Users().size() == 1) {
    shared->Finish();
    if (staged) staged->MarkSynced();
  }
  shared->Detach(this, exclusive);
  shared.reset();
  state = DataSetState::Inactive;
  cur = 0;
  tag = -1;
  eof = bof = true;
  cacheRecno = 0;
  Emit(TableEvent::Closed);
  Emit(TableEvent::StateChanged);
  if (staged && putInPlace) {
    std::unique_ptr<StagedTable> done = std::move(staged);
    ForgetBuild(this);
    done->Commit();
  }
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
    // A table built by this object takes its place unless the object is
    // destroyed by a failure.
    Close(std::uncaught_exceptions() <= exceptionsAtCreate);
  } catch (...) {
  }
  ForgetBuild(this);
  staged.reset();
  Unlink();
  for (TableImpl* d : details) d->master = nullptr;
  details.clear();
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
  os::FileId id;
  if (os::Identity(p, id)) return p;
  return impl_->CreationPath();
}

bool Table::Exists() const {
  os::FileId id;  // a link is followed
  return os::Identity(impl_->ResolvedPath(), id);
}

// ---------------------------------------------------------------- create

void Table::CreateTable() {
  TableImpl& t = *impl_;
  t.CheckInactive();
  const fs::path target = t.CreationPath();
  const std::string label = FileNameText(target);
  const fs::path existing = t.ResolvedPath();
  if (SharedTable::IsOpenInProcess(existing) || SharedTable::IsOpenInProcess(target)) {
    throw StoreError("La tabla " + Quoted(label) + " está abierta y no se puede reemplazar");
  }

  std::vector<DbfField> fields = LayoutFields(t.fieldDefs, label);
  std::vector<MdxTagDef> tags = LayoutTags(fields, t.indexDefs, label);

  const fs::path dir = target.parent_path();
  if (!dir.empty() && !os::Exists(dir) && !os::CreateFolders(dir)) {
    throw StoreError("No se puede crear la carpeta " + PathText(dir) + ": " +
                     SystemErrorText(os::LastError()));
  }
  ForgetBuild(&t);
  t.staged.reset();
  // Whatever a killed process left is settled before the new build starts;
  // a table held by another program is refused before anything is made.
  RefuseLinkedTable(existing, label);  // never replaced through a link
  RecoverTable(existing, label);
  CheckReplaceable(existing);

  // The new table is built under staging names; it takes the old one's
  // place when this object closes (or is discarded without a failure).
  auto staged = std::make_unique<StagedTable>(target, label, !tags.empty());
  // Made without a sync: the files are synced once, when filled, before
  // they take their names (StagedTable::Commit).
  if (!tags.empty()) MdxFile::Create(staged->MdxPath(), PathText(target.stem()), tags, false);
  DbfFile::Create(staged->DbfPath(), label, fields, !tags.empty(), false);
  ForgetBuild(&t);
  t.staged = std::move(staged);
  t.exceptionsAtCreate = std::uncaught_exceptions();
  PendingBuilds()[BuildKey(target)] = &t;
}

// ---------------------------------------------------------------- open/close

void Table::SetActive(bool active) {
  if (active) {
    impl_->Open();
  } else {
    impl_->Close();
  }
}

// ---------------------------------------------------------------- transactions

Transaction::Transaction(Table& table) {
  TableImpl& t = *table.impl_;
  t.CheckActive();
  shared_ = t.shared;
  shared_->Begin();
}

Transaction::~Transaction() {
  if (!shared_) return;
  try {
    shared_->RollbackTransaction();
  } catch (...) {
  }
}

void Transaction::Commit() {
  if (!shared_) return;
  std::shared_ptr<SharedTable> s = std::move(shared_);
  s->CommitTransaction();
}

bool Transaction::DeferIndex() { return shared_ && shared_->DeferIndex(); }

void Transaction::Rollback() {
  if (!shared_) return;
  std::shared_ptr<SharedTable> s = std::move(shared_);
  s->RollbackTransaction();
}
bool Table::Active() const { return impl_->Active(); }

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
