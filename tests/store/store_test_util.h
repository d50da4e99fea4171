// Helpers of the store tests: tables in temporary folders and the
// independent reader.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "store/store_error.h"
#include "store/table.h"
#include "tests/support/test_support.h"

// The independent readers (python3-dbf, Perl XBase) and the shell are on
// Linux only: a test that reads tables back with them is skipped on other
// systems (SKIP_WITHOUT_READERS()), and its Linux run checks the same files.

namespace storetest {

#ifdef _WIN32
inline constexpr bool kHaveReaders = false;
#else
inline constexpr bool kHaveReaders = true;
#endif

// Runs tests/tools/dbf_dump.py with the system's Python (which has the
// python3-dbf module) and returns its output lines; fails the test when the
// reader fails.
std::vector<std::string> DumpTable(const std::filesystem::path& dbf);
// The same, returning the raw result.
testsupport::CommandResult RunDump(const std::string& args);

// Defines fields on a table object: {"NAME", FieldType, width}.
struct Col {
  std::string name;
  store::FieldType type;
  int width;
};
void Define(store::Table& t, const std::filesystem::path& folder, const std::string& name,
            const std::vector<Col>& cols, const std::vector<std::string>& tags = {});

// A teachers' table PROFT (ABREV C4, NOMBRE C20 holding "Nombre <abrev>",
// tag ABREV) made in folder with one record per abbreviation, in the
// order given, and closed.
void MakeTeachers(const std::filesystem::path& folder, const std::vector<std::string>& abrevs);

// Values of one field over the visible records, walking First..Eof.
std::vector<std::string> Column(store::Table& t, const std::string& field);

// The text of the StoreError that f throws; "(no error)" when it throws
// none.
template <class F>
std::string ErrorOf(F&& f) {
  try {
    f();
  } catch (const store::StoreError& e) {
    return e.what();
  }
  return "(no error)";
}

}  // namespace storetest
