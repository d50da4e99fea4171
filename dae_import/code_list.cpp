#include "dae_import/code_list.h"

#include "store/cp1252.h"

namespace dae_import {

bool CodeList::Contains(std::string_view code) const {
  return codes_.count(store::Cp1252Upper(code)) != 0;
}

void CodeList::Add(std::string_view code) {
  codes_.insert(store::Cp1252Upper(code));
}

}  // namespace dae_import
