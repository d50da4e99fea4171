// A table object: the dataset through which every step reads and writes a
// dBase table of the work folder.
//
// Texts pass in and out as single-byte characters (code page 1252), exactly
// the bytes that the .DBF file holds. Errors are thrown as StoreError.
//
// Several Table objects of one process may have the same table open at once;
// they share one open file (and its index) inside the process, so a change
// posted through one object is seen at once through the others. Exclusive
// objects hold an operating-system lock against other programs only.
#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "store/field_def.h"

namespace store {

class Table;
struct TableImpl;

enum class DataSetState { Inactive, Browse, Edit, Insert };

// What a listener hears. Scrolled: the current record changed. DataChanged:
// records were posted, appended or deleted (through this object or another
// object on the same file). StateChanged: browse/edit/insert changed.
enum class TableEvent { Opened, Closed, Scrolled, DataChanged, StateChanged };

// A value for AppendValues.
using Value = std::variant<std::string, int, bool>;

// Remembers a record: its physical record number (1-based), 0 for none.
struct Bookmark {
  uint32_t recno = 0;
};

// One field of the current record of a Table. Reading an empty table or a
// closed one yields empty values; setting requires edit or insert state.
class Field {
 public:
  const std::string& FieldName() const;
  FieldType DataType() const;
  int Size() const;

  // String fields: the stored text without its right padding. Numeric
  // fields: the shortest decimal text of the number ("3"), "" when empty.
  // Logical: "True" or "False" ("" when unset).
  std::string AsString() const;
  // Numeric fields rounded to the nearest integer, halves to even; 0 when
  // empty. String fields: their text read as a number.
  int32_t AsInteger() const;
  bool AsBoolean() const;

  // Text longer than a string field's width is cut to the width.
  void SetAsString(std::string_view value);
  void SetAsInteger(int32_t value);
  void SetAsBoolean(bool value);

 private:
  friend class Table;
  friend struct TableImpl;
  Field(Table* table, int index) : table_(table), index_(index) {}
  Table* table_;
  int index_;
};

class Table {
 public:
  Table();
  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  // ---- Properties (set while closed, except IndexName, Filter, Filtered,
  // MasterSource and MasterFields, which may change while open).
  void SetDatabaseName(const std::filesystem::path& folder);
  const std::filesystem::path& DatabaseName() const;
  // "PROFT", "PROFT.DBF", "plantilla" or a whole path.
  void SetTableName(const std::string& name);
  const std::string& TableName() const;
  FieldDefs& FieldDefsList();          // definitions for CreateTable
  IndexDefs& IndexDefsList();
  void SetIndexName(const std::string& tag);  // "" = physical order
  const std::string& IndexName() const;
  void SetExclusive(bool exclusive);
  bool Exclusive() const;
  void SetReadOnly(bool readOnly);
  bool ReadOnly() const;
  void SetMasterSource(Table* master);  // nullptr removes the link
  Table* MasterSource() const;
  void SetMasterFields(const std::string& field);
  const std::string& MasterFields() const;
  void SetFilter(const std::string& filter);  // FIELD = 'value'
  const std::string& Filter() const;
  void SetFiltered(bool on);
  bool Filtered() const;

  // The .DBF path that the name resolves to (letter case ignored); the path
  // the table would get when it does not exist.
  std::filesystem::path FilePath() const;
  bool Exists() const;

  // ---- Dataset operations.
  // Builds the new, empty table beside the old one (which other objects,
  // other programs and later runs still see). Opening this object opens the
  // new table; closing it (or discarding the object normally) puts it in
  // place of the old one, .DBF and .MDX together. If the object is
  // discarded by an exception, the old table stays and the new files go.
  // Another object of this process that opens the table by name while this
  // one has not opened it puts the new (empty) table in place first.
  void CreateTable();
  void SetActive(bool active);
  bool Active() const;
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }

  void First();
  void Next();
  void Prior();
  void Last();
  bool Eof() const;
  bool Bof() const;

  void Append();
  void Edit();
  void Post();
  void Cancel();   // discards the pending record
  void Delete();

  Field& FieldByName(const std::string& name);
  Field* FindField(const std::string& name);  // nullptr when absent

  bool FindKey(const std::string& value);
  bool FindKey(int value);
  void AppendValues(const std::vector<Value>& values);

  Bookmark GetBookmark() const;
  void GotoBookmark(const Bookmark& bookmark);

  DataSetState State() const;
  bool IsEmpty() const;  // no visible record

  // ---- Access for grids and writers.
  const FieldDefs& Fields() const;        // of the open table
  int FieldIndex(const std::string& name) const;  // -1 when absent
  // Visible records (detail link and filter applied) in the current order.
  std::vector<uint32_t> VisibleRecords() const;
  uint32_t RecNo() const;                  // current record, 0 if none/insert
  // Settles a pending record, then makes recno (a visible record) current.
  void GotoRecord(uint32_t recno);
  // Field of a stored record read as AsString would, without moving. The
  // record being edited reads with its pending values; recno 0 in insert
  // state is the record being inserted (the grid's extra row).
  std::string ValueAt(uint32_t recno, int fieldIndex) const;
  // The same value into a string of the caller's, whose room serves again:
  // a reader of every field of every record allocates nothing per field.
  void ValueInto(uint32_t recno, int fieldIndex, std::string& out) const;
  // True while a field of the pending record has been set.
  bool Modified() const;

  // Every Post, Append and Delete is on disk when it returns, unless a
  // Transaction (transaction.h) groups the changes of the table.

  // Rewrites the table without its deleted records and rebuilds its index.
  // Needs the table closed in every object of this process.
  void Pack();
  // Makes the production index anew from the table's live records: with
  // the tags of the existing index when it can still be read, else with
  // IndexDefsList(). The way out when an index is missing or damaged.
  // Needs the table closed in every object of this process.
  void RebuildIndex();

  int AddListener(std::function<void(TableEvent)> listener);
  void RemoveListener(int id);

 private:
  friend class Field;
  friend struct TableImpl;
  friend class Transaction;
  friend class RecordReader;
  std::unique_ptr<TableImpl> impl_;
};

}  // namespace store
