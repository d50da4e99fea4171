// The record layer of a table: one open .DBF file (header, field
// descriptors, records) read and written through its pager, and the
// operating-system lock that keeps other programs out. The layout is
// described at the top of dbf_file.cpp. Changes stay in the pager until
// the table layer commits them (CommitPages).
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "store/pager.h"

namespace store {

struct DbfField {
  std::string name;  // as stored, at most 10 characters
  char type = 'C';   // 'C', 'N', 'L', 'D', 'F', ...
  int width = 0;
  int decimals = 0;
  int offset = 0;     // in the record, after the deletion flag byte
  bool indexed = false;  // has a tag in the production index (written only)
};

class DbfFile {
 public:
  // The language-driver byte written for Windows ANSI (code page 1252).
  static constexpr unsigned char kLanguageDriverAnsi = 0x57;
  static constexpr int kMaxFieldName = 10;

  // Writes a new empty table file in place of any file of that name;
  // callers make it under a staging name. label names the table in error
  // texts. Synced unless the caller syncs it itself before it takes its
  // final name (sync false).
  static void Create(const std::filesystem::path& path, const std::string& label,
                     const std::vector<DbfField>& fields, bool productionIndex,
                     bool sync = true);

  DbfFile() = default;
  ~DbfFile();
  DbfFile(const DbfFile&) = delete;
  DbfFile& operator=(const DbfFile&) = delete;

  // Opens and checks the file; throws StoreError naming the table when it
  // is missing, unreadable or its header does not describe its contents.
  void Open(const std::filesystem::path& path, const std::string& label);
  void Close();
  bool IsOpen() const { return pager_.IsOpen(); }

  enum class Lock { None, Shared, Exclusive };
  // Takes or changes the lock without waiting; throws StoreError naming
  // the table when another program holds a conflicting lock.
  void SetLock(Lock lock);
  Lock CurrentLock() const { return lock_; }

  const std::filesystem::path& Path() const { return path_; }
  const std::string& Label() const { return label_; }
  const std::vector<DbfField>& Fields() const { return fields_; }
  uint32_t RecordCount() const { return count_; }
  int RecordLength() const { return recordLength_; }
  int HeaderLength() const { return headerLength_; }
  bool ProductionIndexFlag() const { return productionIndex_; }
  unsigned char LanguageDriver() const { return languageDriver_; }
  bool Writable() const { return writable_; }

  // Reads the record count again from the (cached) header, after the
  // pager's pending writes were discarded.
  void Reload();

  Pager& PagerRef() { return pager_; }

  // recno is 1-based. out receives RecordLength() bytes.
  void ReadRecord(uint32_t recno, std::string& out) const;
  // Rewrites an existing record, then stamps the header's date.
  void WriteRecord(uint32_t recno, const std::string& record);
  // Appends a record with the end mark after it, and updates the header's
  // count and date. Returns the new record's number.
  uint32_t AppendRecord(const std::string& record);
  // Sets or clears the deletion flag of one record.
  void SetDeleted(uint32_t recno, bool deleted);
  void SetProductionIndexFlag(bool on);

  // The header as stored (HeaderLength() bytes, descriptors included).
  std::string HeaderBytes() const;

  // A record of this table with every field empty (spaces).
  std::string BlankRecord() const { return std::string(recordLength_, ' '); }

 private:
  void WriteAt(uint64_t offset, const void* data, size_t size);
  void StampHeader();
  [[noreturn]] void Fail(const std::string& what) const;

  mutable Pager pager_;
  bool writable_ = false;
  Lock lock_ = Lock::None;
  std::filesystem::path path_;
  std::string label_;
  std::vector<DbfField> fields_;
  uint32_t count_ = 0;
  int headerLength_ = 0;
  int recordLength_ = 0;
  bool productionIndex_ = false;
  unsigned char languageDriver_ = 0;
};

}  // namespace store
