#include "store/checked_tables.h"

#include <map>

namespace store {

namespace {

std::map<std::string, CheckedContent>& Remembered() {
  static std::map<std::string, CheckedContent> tables;
  return tables;
}

uint64_t fullChecks = 0;

}  // namespace

void RememberCheckedTable(const std::string& key, const CheckedContent& content) {
  Remembered()[key] = content;
}

void ForgetCheckedTable(const std::string& key) { Remembered().erase(key); }

std::optional<CheckedContent> RememberedTable(const std::string& key) {
  auto it = Remembered().find(key);
  if (it == Remembered().end()) return std::nullopt;
  return it->second;
}

uint64_t FullIndexChecks() { return fullChecks; }

void CountFullIndexCheck() { ++fullChecks; }

}  // namespace store
