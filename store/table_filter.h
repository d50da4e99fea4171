// The filter text of a table object: a field, " = ", and a value in
// single quotes with any quote inside doubled, e.g.
//   PROF_DIA_SES = 'AB  307'
//   NOMBRE = 'O''Donnell'
#pragma once
#include <string>

namespace store {

struct FilterCondition {
  std::string field;
  std::string value;
};

// Throws StoreError (Spanish) when the text is not of that form.
FilterCondition ParseFilter(const std::string& text);

// Quotes a value for a filter text, doubling the quotes inside it.
std::string QuoteFilterValue(const std::string& value);

}  // namespace store
