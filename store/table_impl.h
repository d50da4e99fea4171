// The dataset layer's inside: the state of one table object (TableImpl),
// shared by the files of that layer: table.cpp (properties, opening and
// closing, creation, transactions, upkeep), table_navigation.cpp (order,
// visibility, moving, keys, bookmarks), table_editing.cpp (record states,
// fields, editing) and table_link.cpp (filters and master-detail links).
// Not for use outside store/.
#pragma once
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <string>
#include <vector>

#include "store/path_text.h"
#include "store/table.h"
#include <algorithm>
#include <cmath>
#include <exception>
#include <map>
#include <optional>
#include <system_error>
#include "store/cp1252.h"
#include "store/dbf_file.h"
#include "store/field_value.h"
#include "store/mdx_file.h"
#include "store/shared_table.h"
#include "store/store_error.h"
#include "store/table_filter.h"
#include "store/table_layout.h"
#include "store/table_replacement.h"

namespace store {

namespace fs = std::filesystem;


inline std::string Quoted(const std::string& s) { return "'" + s + "'"; }

inline std::string RightTrimmed(const std::string& s) {
  size_t e = s.size();
  while (e > 0 && s[e - 1] == ' ') --e;
  return s.substr(0, e);
}

inline FieldType LogicalType(const DbfField& f) {
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

inline bool HasExtension(const std::string& leaf) {
  size_t dot = leaf.find_last_of('.');
  return dot != std::string::npos && dot != 0 && dot + 1 < leaf.size();
}

// Splits a table name ("PROFT", "PROFT.DBF", "/x/y/PROFT.DBF",
// "\\QTEMP\\PROFT.DBF") into its folder (relative to base) and file name.
inline void SplitTableName(const fs::path& base, const std::string& name, fs::path& dir,
                    std::string& leaf) {
  std::string n = name;
  std::replace(n.begin(), n.end(), '\\', '/');
  size_t slash = n.find_last_of('/');
  if (slash == std::string::npos) {
    dir = base;
    leaf = n;
    return;
  }
  const fs::path sub = PathFromText(n.substr(0, slash + 1));
  dir = sub.is_absolute() ? sub : base / sub;
  leaf = n.substr(slash + 1);
}

inline const std::string kEmpty;


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

  // A table made by CreateTable and not yet in place: opening this object
  // opens the staged files; closing it puts them in place. Destroyed while
  // an exception passes (a failed build), it leaves the old table.
  std::unique_ptr<StagedTable> staged;
  int exceptionsAtCreate = 0;

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
  mutable std::unordered_map<std::string, int> fieldIndexCache;  // while open
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
  // Text between the table's own code page and 1252, the tool's (the
  // open table's SharedTable::Text()); unchanged for a 1252 table.
  std::string Shown(std::string stored) const {
    return shared->Text().IsWindows() ? std::move(stored) : shared->Text().ToWindows(stored);
  }
  std::string Stored(std::string shown) const {
    return shared->Text().IsWindows() ? std::move(shown) : shared->Text().ToStored(shown);
  }
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
  void Close(bool putInPlace = true);
  void Unlink();

  // Field access: the record being edited or inserted (throws outside
  // those states), and a field of the open table (nullptr when closed or
  // out of range).
  std::string& WritableRecord() {
    CheckActive();
    if (!Pending()) throw StoreError(texts::kNotEditing);
    return pending;
  }
  const DbfField* FieldAt(int index) const {
    if (!Active() || index < 0) return nullptr;
    const std::vector<DbfField>& fields = DbfFields();
    if (static_cast<size_t>(index) >= fields.size()) return nullptr;
    return &fields[static_cast<size_t>(index)];
  }
};

// Settles another object's new table that was never opened, before an
// object opens the table by name (table.cpp).
void SettlePendingBuild(TableImpl* opener, const fs::path& path);

}  // namespace store
