// The registry of open tables and the record changes that keep a table's
// file and its production index in step.
//
// A change (a record appended, rewritten or deleted, with its index
// entries) goes into the pagers of the .DBF and the .MDX, and is committed
// at once under the table's journal unless a transaction is open; a
// failure half way discards everything since the last commit, so the
// files and the index never part.
#include "store/shared_table.h"
#include "store/path_text.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <system_error>

#include "store/checked_tables.h"
#include "store/cp1252.h"
#include "store/field_value.h"
#include "store/os_file.h"
#include "store/pager.h"
#include "store/file_links.h"
#include "store/index_check.h"
#include "store/mdx_bcd.h"
#include "store/store_error.h"
#include "store/table_file_lock.h"
#include "store/table_replacement.h"
#include "store/work_folder.h"

namespace store {

namespace fs = std::filesystem;

namespace {

// The registry belongs to one process: a child made by fork() starts with
// an empty one, so that it opens (and locks) its tables as the separate
// program it is.
std::map<std::string, std::weak_ptr<SharedTable>>& Registry() {
  static std::map<std::string, std::weak_ptr<SharedTable>> registry;
  static long owner = os::ProcessId();
  if (owner != os::ProcessId()) {
    for (auto& entry : registry) {
      // Leak the inherited objects: their descriptors belong to the parent's
      // locks and must not be closed or reused here.
      if (auto inherited = entry.second.lock()) new std::shared_ptr<SharedTable>(inherited);
    }
    registry.clear();
    owner = os::ProcessId();
  }
  return registry;
}

// Keyed by the file itself, so that every name of it (another spelling on
// a disk that ignores letter case, a path through another folder) finds
// the same entry; a name without a file by its path.
std::string RegistryKey(const fs::path& path) {
  os::FileId id;
  if (os::Identity(path, id))
    return "file " + std::to_string(id.volume) + ":" + std::to_string(id.index);
  std::error_code ec;
  fs::path canon = fs::canonical(path, ec);
  if (ec) canon = fs::absolute(path, ec).lexically_normal();
  return "path " + PathText(canon);
}

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

}  // namespace

bool StoredNameMatches(const std::string& stored, const std::string& wanted) {
  if (Cp1252EqualsIgnoreCase(stored, wanted)) return true;
  constexpr size_t kLimit = DbfFile::kMaxFieldName;
  return stored.size() == kLimit && wanted.size() > kLimit &&
         Cp1252EqualsIgnoreCase(stored, std::string_view(wanted).substr(0, kLimit));
}

bool SharedTable::IsOpenInProcess(const fs::path& dbfPath) {
  auto it = Registry().find(RegistryKey(dbfPath));
  return it != Registry().end() && !it->second.expired();
}

std::shared_ptr<SharedTable> SharedTable::Acquire(const fs::path& dbfPath,
                                                  const std::string& label, bool exclusive,
                                                  TableImpl* user, bool staged) {
  const std::string key = RegistryKey(dbfPath);
  auto it = Registry().find(key);
  if (it != Registry().end()) {
    if (auto existing = it->second.lock()) {
      existing->Attach(user, exclusive);
      return existing;
    }
  }
  std::shared_ptr<SharedTable> t(new SharedTable());
  t->key_ = key;
  t->label_ = label;
  t->staged_ = staged;
  t->journal_ = dbfPath;
  t->journal_ += kJournalSuffix;
  t->dbf_.Open(dbfPath, label);
  t->codePage_ = CodePage::ForLanguageDriver(t->dbf_.LanguageDriver(), label);
  t->linkProblem_ = LinkedTableProblem(dbfPath, label);
  // A table marked read-only is not written, as other dBase engines
  // refuse to write it.
  if (t->linkProblem_.empty() && !staged) {
    t->linkProblem_ = ReadOnlyFileProblem(dbfPath, label);
    if (t->linkProblem_.empty())
      t->linkProblem_ = ReadOnlyFileProblem(
          ResolveFileNoCase(dbfPath.parent_path(), PathText(dbfPath.stem()) + ".MDX"), label);
  }
  t->dbf_.SetLock(exclusive ? DbfFile::Lock::Exclusive : DbfFile::Lock::Shared);
  t->OpenIndex();
  t->Attach(user, exclusive);
  Registry()[key] = t;
  return t;
}

SharedTable::~SharedTable() {
  RememberIfWhole();
  auto it = Registry().find(key_);
  if (it != Registry().end() && it->second.expired()) Registry().erase(it);
  if (mdx_) mdx_->Close();
  dbf_.Close();
}

void SharedTable::OpenIndex() {
  if (!dbf_.ProductionIndexFlag()) return;
  const fs::path& dbfPath = dbf_.Path();
  // A staged table's index is staged beside it ("T.MDX.transdae-new").
  fs::path mdxPath = staged_ ? dbfPath.parent_path() / PathFromText(PathText(dbfPath.stem().stem()) + ".MDX" +
                                                        kStagingSuffix)
                             : ResolveFileNoCase(dbfPath.parent_path(),
                                                 PathText(dbfPath.stem()) + ".MDX");
  os::FileId id;
  if (!os::Identity(mdxPath, id)) {
    throw IndexError("Falta el índice de producción de la tabla " + Quoted(label_) + " (" +
                     FileNameText(mdxPath) + ")", dbfPath);
  }
  auto mdx = std::make_unique<MdxFile>();
  mdx->SetDeferred(true);
  try {
    mdx->Open(mdxPath, !dbf_.Writable(), /*verify=*/false);
  } catch (const StoreError& e) {
    throw IndexError("El índice de la tabla " + Quoted(label_) + " no se puede usar: " +
                     e.what(), dbfPath);
  }
  // A table that this process left whole and whose files still hold, byte
  // for byte, what it left needs no check (checked_tables.h); a staged
  // table's index is our own. Any other index is checked against the table
  // on its first open in this process, and rebuilt when it does not match.
  const bool known = !staged_ && StillAsRemembered(*mdx);
  if (!known) {
    try {
      mdx->Verify();  // the structure of every tag
    } catch (const StoreError& e) {
      throw IndexError("El índice de la tabla " + Quoted(label_) + " no se puede usar: " +
                       e.what(), dbfPath);
    }
    if (!staged_) {
      CountFullIndexCheck();
      mdx = CheckedIndex(dbf_, std::move(mdx), mdxPath, label_);
    }
  }
  whole_ = true;
  tags_.clear();
  for (const MdxTagDef& def : mdx->Tags()) {
    TagInfo info;
    info.name = def.name;
    info.keyType = def.keyType;
    info.keyLength = def.keyLength;
    std::string expr = def.expression;
    while (!expr.empty() && expr.back() == ' ') expr.pop_back();
    while (!expr.empty() && expr.front() == ' ') expr.erase(expr.begin());
    for (size_t i = 0; i < dbf_.Fields().size(); ++i) {
      if (Cp1252EqualsIgnoreCase(dbf_.Fields()[i].name, expr)) {
        info.field = static_cast<int>(i);
        break;
      }
    }
    tags_.push_back(info);
  }
  mdx_ = std::move(mdx);
}

bool SharedTable::StillAsRemembered(MdxFile& mdx) {
  const std::optional<CheckedContent> remembered = RememberedTable(key_);
  if (!remembered) return false;
  ForgetCheckedTable(key_);  // remembered again when this open ends whole
  if (remembered->dbf.length != dbf_.PagerRef().Size() ||
      remembered->mdx.length != mdx.PagerRef().Size()) {
    return false;
  }
  try {
    const CheckedContent now{dbf_.PagerRef().Digest(), mdx.PagerRef().Digest()};
    if (now.dbf != remembered->dbf || now.mdx != remembered->mdx) return false;
    contentAtOpen_ = now;
    return true;
  } catch (const StoreError&) {
    return false;  // the check that follows reports what is wrong
  }
}

void SharedTable::RememberIfWhole() noexcept {
  if (!whole_ || !mdx_ || !linkProblem_.empty() || transactionDepth_ > 0 || indexDeferred_ ||
      dbf_.PagerRef().Dirty() || mdx_->PagerRef().Dirty()) {
    return;
  }
  try {
    CheckedContent content;
    if (contentAtOpen_) {
      content = *contentAtOpen_;  // nothing committed since it was summed up
    } else {
      content.dbf = dbf_.PagerRef().Digest();
      content.mdx = mdx_->PagerRef().Digest();
    }
    RememberCheckedTable(key_, content);
  } catch (...) {
    ForgetCheckedTable(key_);
  }
}

void SharedTable::Attach(TableImpl* user, bool exclusive) {
  if (exclusive && dbf_.CurrentLock() != DbfFile::Lock::Exclusive) {
    dbf_.SetLock(DbfFile::Lock::Exclusive);
  }
  if (exclusive) ++exclusiveUsers_;
  users_.push_back(user);
}

void SharedTable::Detach(TableImpl* user, bool exclusive) {
  for (auto it = users_.begin(); it != users_.end(); ++it) {
    if (*it == user) {
      users_.erase(it);
      break;
    }
  }
  if (exclusive && --exclusiveUsers_ == 0 && !users_.empty()) {
    try {
      dbf_.SetLock(DbfFile::Lock::Shared);
    } catch (const StoreError&) {
      // Keeping the stronger lock is harmless.
    }
  }
}

bool SharedTable::IsDeleted(uint32_t recno) const {
  dbf_.ReadRecord(recno, scratch_);
  return !scratch_.empty() && scratch_[0] == '*';
}

MdxKey KeyFromRecord(const DbfField& f, char keyType, int keyLength, const std::string& record) {
  MdxKey key;
  if (keyType == 'N') {
    key.number = FieldNumber(f, record).value_or(0.0);
  } else {
    key.chars = std::string(FieldBytes(f, record));
    key.chars.resize(static_cast<size_t>(keyLength), ' ');
  }
  return key;
}

void AppendStoredKey(const DbfField& f, char keyType, int storedLength, const std::string& record,
                     std::string& out) {
  if (keyType == 'N') {
    out += EncodeBcdKey(FieldNumber(f, record).value_or(0.0));
    return;
  }
  const std::string_view bytes = FieldBytes(f, record);
  const size_t length = static_cast<size_t>(storedLength);
  const size_t n = std::min(bytes.size(), length);
  out.append(bytes.data(), n);
  out.append(length - n, ' ');
}

MdxKey SharedTable::KeyOf(int tag, const std::string& record) const {
  const TagInfo& t = tags_.at(static_cast<size_t>(tag));
  if (t.field < 0) return MdxKey{};
  return KeyFromRecord(dbf_.Fields()[static_cast<size_t>(t.field)], t.keyType, t.keyLength,
                       record);
}

MdxEntry SharedTable::EntryOf(int tag, uint32_t recno) const {
  std::string record;
  dbf_.ReadRecord(recno, record);
  return MdxEntry{KeyOf(tag, record), recno};
}

int SharedTable::FindTag(const std::string& name) const {
  for (size_t i = 0; i < tags_.size(); ++i) {
    if (StoredNameMatches(tags_[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

void SharedTable::Changed() {
  ++generation_;
  if (users_.size() == 1) {  // the common case, without a copy of the list
    TableDataChanged(users_.front());
    return;
  }
  // Users may detach while being told (a listener closing its table).
  std::vector<TableImpl*> users = users_;
  for (TableImpl* u : users) {
    bool still = false;
    for (TableImpl* v : users_) still = still || v == u;
    if (still) TableDataChanged(u);
  }
}

// Entries are added before the record that they point to is admitted and
// removed after it is gone, so an interrupted change can only leave extra
// entries: ones that point past the end of the table or whose key differs
// from their record's. Readers skip those (EntryIsLive); a rebuild drops
// them.
void SharedTable::PutEntry(int tag, const MdxEntry& entry) { mdx_->Insert(tag, entry); }

// ---------------------------------------------------------------- commit

void SharedTable::Begin() { ++transactionDepth_; }

bool SharedTable::DeferIndex() {
  if (indexDeferred_) return true;
  if (!mdx_ || !InTransaction() || dbf_.RecordCount() != 0) return false;
  for (size_t t = 0; t < tags_.size(); ++t) {
    if (mdx_->First(static_cast<int>(t))) return false;
  }
  indexDeferred_ = true;
  return true;
}

// Every live record's key of each tag, then each tag built at once: the
// same entries that appending the records one by one would have left
// (a record deleted during the fill has none; a record rewritten has its
// last key).
void SharedTable::BuildDeferredIndex() const {
  const uint32_t count = dbf_.RecordCount();
  std::vector<uint32_t> recnos;
  recnos.reserve(count);
  std::vector<std::string> keys(tags_.size());
  for (size_t t = 0; t < tags_.size(); ++t) {
    if (tags_[t].field >= 0) {
      keys[t].reserve(static_cast<size_t>(count) *
                      static_cast<size_t>(mdx_->StoredKeyLength(static_cast<int>(t))));
    }
  }
  for (uint32_t r = 1; r <= count; ++r) {
    dbf_.ReadRecord(r, scratch_);
    if (scratch_.empty() || scratch_[0] == '*') continue;
    recnos.push_back(r);
    for (size_t t = 0; t < tags_.size(); ++t) {
      if (tags_[t].field < 0) continue;
      const int tag = static_cast<int>(t);
      AppendStoredKey(dbf_.Fields()[static_cast<size_t>(tags_[t].field)], tags_[t].keyType,
                      mdx_->StoredKeyLength(tag), scratch_, keys[t]);
    }
  }
  // A failure discards the index's pending changes (MdxFile::BuildTag):
  // the index is empty again, as the deferral expects.
  for (size_t t = 0; t < tags_.size(); ++t) {
    if (tags_[t].field < 0 || recnos.empty()) continue;
    mdx_->BuildTag(static_cast<int>(t), keys[t].data(), recnos.data(), recnos.size());
  }
  indexDeferred_ = false;
}

void SharedTable::CommitTransaction() {
  if (transactionDepth_ > 0) --transactionDepth_;
  if (transactionDepth_ > 0) return;
  if (!staged_) {
    Commit();
    return;
  }
  // A staged table is written whole when it is finished; its index is
  // built when its transaction ends, all the same.
  try {
    EnsureIndex();
  } catch (...) {
    Discard();
    throw;
  }
}

void SharedTable::RollbackTransaction() {
  if (transactionDepth_ > 0) --transactionDepth_;
  Discard();
}

void SharedTable::Commit() {
  contentAtOpen_.reset();  // the files change from here on
  try {
    EnsureIndex();
  } catch (...) {
    Discard();
    throw;
  }
  std::vector<Pager*> pagers{&dbf_.PagerRef()};
  if (mdx_) {
    mdx_->Flush();
    pagers.push_back(&mdx_->PagerRef());
  }
  try {
    CommitPages(journal_, pagers, !staged_);
  } catch (...) {
    Discard();
    throw;
  }
}

void SharedTable::Discard() {
  // The records appended since the last commit go, and the index is again
  // what that commit left: nothing is left to build.
  indexDeferred_ = false;
  dbf_.PagerRef().Discard();
  dbf_.Reload();
  if (mdx_) mdx_->Discard();
  Changed();
}

void SharedTable::Finish() {
  if (!staged_) return;
  // The staged files were made without a sync: a commit with changes syncs
  // both, one without syncs nothing, so they are synced here.
  try {
    EnsureIndex();
  } catch (...) {
    Discard();
    throw;
  }
  if (mdx_) mdx_->Flush();
  const bool dirty = dbf_.PagerRef().Dirty() || (mdx_ && mdx_->PagerRef().Dirty());
  Commit();
  if (!dirty) {
    dbf_.PagerRef().SyncFile();
    if (mdx_) mdx_->PagerRef().SyncFile();
  }
}

void SharedTable::AfterChange() {
  if (transactionDepth_ == 0 && !staged_) Commit();
}

bool SharedTable::EntryIsLive(int tag, const MdxEntry& entry, const std::string& record) const {
  if (record.empty() || record[0] == '*') return false;
  return mdx_->CompareKeys(tag, KeyOf(tag, record), entry.key) == 0;
}

bool SharedTable::StoredEntryIsLive(int tag, const char* storedKey, uint32_t recno,
                                    const std::string& record) const {
  if (record.empty() || record[0] == '*') return false;
  const TagInfo& t = tags_.at(static_cast<size_t>(tag));
  const size_t length = static_cast<size_t>(mdx_->StoredKeyLength(tag));
  if (t.keyType == 'N' || t.field < 0) {
    MdxEntry e;
    e.recno = recno;
    if (t.keyType == 'N') {
      e.key.number = DecodeBcdKey(std::string(storedKey, length)).value_or(0.0);
    } else {
      e.key.chars.assign(storedKey, length);
    }
    return EntryIsLive(tag, e, record);
  }
  // A character key: the field's bytes cut or padded with spaces.
  const DbfField& f = dbf_.Fields()[static_cast<size_t>(t.field)];
  const size_t n = std::min(static_cast<size_t>(f.width), length);
  if (std::memcmp(storedKey, record.data() + f.offset, n) != 0) return false;
  for (size_t i = n; i < length; ++i) {
    if (storedKey[i] != ' ') return false;
  }
  return true;
}

void SharedTable::RefuseLinkedWrites() const {
  if (!linkProblem_.empty()) throw StoreError(linkProblem_);
}

uint32_t SharedTable::Append(const std::string& record) {
  RefuseLinkedWrites();
  const uint32_t recno = dbf_.RecordCount() + 1;
  try {
    dbf_.AppendRecord(record);
    ++generation_;
    if (mdx_ && !indexDeferred_) {
      for (size_t t = 0; t < tags_.size(); ++t) {
        if (tags_[t].field < 0) continue;
        PutEntry(static_cast<int>(t), MdxEntry{KeyOf(static_cast<int>(t), record), recno});
      }
    }
    AfterChange();
  } catch (...) {
    Discard();
    throw;
  }
  Changed();
  return recno;
}

void SharedTable::Update(uint32_t recno, const std::string& record) {
  RefuseLinkedWrites();
  try {
    std::string& old = old_;
    dbf_.ReadRecord(recno, old);
    dbf_.WriteRecord(recno, record);
    ++generation_;
    if (mdx_ && !indexDeferred_) {
      for (size_t t = 0; t < tags_.size(); ++t) {
        if (tags_[t].field < 0) continue;
        int tag = static_cast<int>(t);
        const DbfField& f = dbf_.Fields()[static_cast<size_t>(tags_[t].field)];
        if (old.compare(static_cast<size_t>(f.offset), static_cast<size_t>(f.width), record,
                        static_cast<size_t>(f.offset), static_cast<size_t>(f.width)) == 0) {
          continue;  // the field of the tag is unchanged
        }
        const MdxKey before = KeyOf(tag, old);
        const MdxKey after = KeyOf(tag, record);
        if (mdx_->CompareKeys(tag, before, after) == 0) continue;
        mdx_->Remove(tag, MdxEntry{before, recno});
        PutEntry(tag, MdxEntry{after, recno});
      }
    }
    AfterChange();
  } catch (...) {
    Discard();
    throw;
  }
  Changed();
}

void SharedTable::Delete(uint32_t recno) {
  RefuseLinkedWrites();
  try {
    std::string& old = old_;
    dbf_.ReadRecord(recno, old);
    if (old[0] == '*') return;
    dbf_.SetDeleted(recno, true);
    ++generation_;
    if (mdx_ && !indexDeferred_) {
      for (size_t t = 0; t < tags_.size(); ++t) {
        if (tags_[t].field < 0) continue;
        int tag = static_cast<int>(t);
        mdx_->Remove(tag, MdxEntry{KeyOf(tag, old), recno});
      }
    }
    AfterChange();
  } catch (...) {
    Discard();
    throw;
  }
  Changed();
}

int SharedTable::CompareKeys(int tag, const MdxKey& a, const MdxKey& b) const {
  return mdx_->CompareKeys(tag, a, b);
}
std::optional<MdxEntry> SharedTable::IndexFirst(int tag) const {
  EnsureIndex();
  return mdx_->First(tag);
}
std::optional<MdxEntry> SharedTable::IndexLast(int tag) const {
  EnsureIndex();
  return mdx_->Last(tag);
}
std::optional<MdxEntry> SharedTable::IndexNext(int tag, const MdxEntry& after) const {
  EnsureIndex();
  return mdx_->Next(tag, after);
}
std::optional<MdxEntry> SharedTable::IndexPrior(int tag, const MdxEntry& before) const {
  EnsureIndex();
  return mdx_->Prior(tag, before);
}
std::optional<MdxEntry> SharedTable::IndexLowerBound(int tag, const MdxKey& key) const {
  EnsureIndex();
  return mdx_->LowerBound(tag, key);
}

}  // namespace store
