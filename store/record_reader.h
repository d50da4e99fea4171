// Reading a few fields of many records of an open table, for writers that
// walk a whole table: the fields are looked up once, each record is fetched
// once, and each value is handed out where it lies (a character field of a
// code page 1252 table as a view into the record, without its padding), so
// that nothing is allocated per record or per field.
//
// The texts are exactly those that Field::AsString and Table::ValueAt give
// for the same record (and the numbers those of Field::AsInteger), the
// pending values of a record being edited or inserted included.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "store/dbf_file.h"

namespace store {

class Table;
struct TableImpl;

class RecordReader {
 public:
  explicit RecordReader(const Table& table);

  // The slot of a field to read, by name (as FieldByName finds it); throws
  // StoreError naming the field and the table when the table lacks it.
  // Needs the table open; slots are added before the first Load.
  int Add(const std::string& name);

  // Makes recno the record read: a stored record, or 0 for the record being
  // inserted. A record number the table does not have reads as empty.
  void Load(uint32_t recno);

  // The text of a slot's field in the loaded record; good until the next
  // Load, or until the table changes.
  std::string_view Text(int slot) {
    if (!record_) return {};
    Slot& s = slots_[static_cast<size_t>(slot)];
    if (!s.plain || !whole_) return Converted(s);
    // A character field as it is stored, without its padding (spaces, and
    // the NULs some writers pad with): whole words of spaces first.
    const char* p = record_->data() + s.offset;
    size_t e = s.width;
    constexpr uint64_t kSpaces = 0x2020202020202020ull;
    for (uint64_t w; e >= 8 && (std::memcpy(&w, p + e - 8, 8), w == kSpaces);) e -= 8;
    while (e > 0 && (p[e - 1] == ' ' || p[e - 1] == '\0')) --e;
    return std::string_view(p, e);
  }
  // The value of a slot's field as Field::AsInteger reads it (0 when
  // empty); throws StoreError as it does.
  int32_t Integer(int slot) const;

 private:
  struct Slot {
    DbfField field;
    size_t offset = 0, width = 0;
    bool plain = false;  // a character field read as it is stored
    std::string converted;
  };
  // Any other field, or a record shorter than the fields: read as
  // Table::ValueAt reads it, into the slot's own text.
  std::string_view Converted(Slot& s);

  const TableImpl& t_;
  std::vector<Slot> slots_;
  size_t end_ = 0;  // where the last field added ends
  const std::string* record_ = nullptr;
  bool whole_ = false;  // the loaded record holds every field
};

}  // namespace store
