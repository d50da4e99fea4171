// Master-detail links: the master's value that a detail object follows.
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

// ---------------------------------------------------------------- link

std::optional<std::string> TableImpl::MasterValue() const {
  if (!Linked() || !master->Active()) return std::nullopt;
  const std::string* rec = master->CurrentBytes();
  if (!rec) return std::nullopt;
  int fi = master->FieldIndex(masterFields);
  if (fi < 0) throw StoreError(texts::FieldNotFound(masterFields, Label()));
  // From the master's code page to this table's.
  return Stored(master->Shown(FieldText(master->DbfFields()[static_cast<size_t>(fi)], *rec)));
}

int TableImpl::LinkedField() const {
  if (tag >= 0) return shared->Tags()[static_cast<size_t>(tag)].field;
  int fi = FieldIndex(masterFields);
  if (fi < 0) throw StoreError(texts::FieldNotFound(masterFields, Label()));
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

}  // namespace store
