// Field and index definitions of a dBase table.
#pragma once
#include <string>
#include <vector>

namespace store {

// Logical field types. The tool creates String (character column),
// Integer (numeric column without decimals) and Boolean (logical column);
// Numeric stands for a numeric column with decimals written by another
// program, which is read but never created by the tool.
enum class FieldType { String, Integer, Boolean, Numeric };

struct FieldDef {
  std::string name;
  FieldType type = FieldType::String;
  int width = 0;     // String: 1..250; others: the column width on disk
  int decimals = 0;  // Numeric only
  bool required = false;  // always false in this system
};

// One index tag: named after its single field, ascending, not unique.
struct IndexDef {
  std::string name;
  std::string field;
};

using FieldDefs = std::vector<FieldDef>;
using IndexDefs = std::vector<IndexDef>;

}  // namespace store
