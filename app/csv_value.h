// How the batch front end writes a table as CSV: UTF-8, one line per row
// ended by LF, values separated by commas. A value that holds ',', ';', '"',
// a carriage return or a line feed is put between double quotes, with its
// own double quotes doubled; any other value is written as it is.
#pragma once
#include <string>

namespace app {

std::string CsvValue(const std::string& value);

}  // namespace app
