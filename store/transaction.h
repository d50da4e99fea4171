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

 private:
  std::shared_ptr<SharedTable> shared_;
};

}  // namespace store
