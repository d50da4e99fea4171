// What the centre data may hold: the checks made on a value typed for the
// centre row (daeCENTRO) before it is stored, in the centre panel and in
// the coding window alike.
#pragma once
#include <string>

namespace dae_import {

// "" when the value may be stored in the field, else the message (UTF-8)
// that refuses it. A blank value is always accepted (the centre panel
// itself asks for the three fields); the academic year is four digits.
// value is code page 1252, as the table holds it.
std::string CentreValueProblem(const std::string& field, const std::string& value);

}  // namespace dae_import
