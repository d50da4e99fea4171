// Grouping many changes of one table into one commit.
//
//   store::Transaction tx(table);   // table open
//   ... Append / Post / Delete ...
//   tx.Commit();                    // all of them, on disk, at once
//
// Leaving the scope without Commit (an exception) takes back every change
// made through any object on that table since the transaction began; the
// objects on it are told (DataChanged). Without a transaction each change
// is committed on its own before the call returns. On a table being built
// by CreateTable a transaction changes nothing: the new table is whole or
// absent anyway.
#pragma once
#include <memory>

namespace store {

class Table;
class SharedTable;

class Transaction {
 public:
  explicit Transaction(Table& table);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // Writes the changes (journal, pages, syncs). Throws StoreError; the
  // changes are then taken back.
  void Commit();
  void Rollback();

  // Fills an empty table faster: when the table has no records and its
  // index no entries, the records appended from now on are indexed all at
  // once (when the index is first read, or at the commit) instead of one
  // by one. The result is the same table and the same index order; a
  // reader never sees the index behind the records. False when the table
  // does not qualify: its records are then indexed as they come.
  bool DeferIndex();

 private:
  std::shared_ptr<SharedTable> shared_;
};

}  // namespace store
