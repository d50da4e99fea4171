// Errors raised by the table store. Their text is what the user sees in the
// general error report.
#pragma once
#include <filesystem>
#include <stdexcept>
#include <string>

namespace store {

class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A table whose records could be read but whose production index is missing
// or cannot be used. Table::RebuildIndex makes the index anew from the
// table; TablePath names the .DBF so the caller can offer that.
class IndexError : public StoreError {
 public:
  IndexError(const std::string& what, std::filesystem::path tablePath)
      : StoreError(what), tablePath_(std::move(tablePath)) {}
  const std::filesystem::path& TablePath() const { return tablePath_; }

 private:
  std::filesystem::path tablePath_;
};

// The four texts that the dataset layer gives in Spanish.
namespace texts {
inline std::string FieldNotFound(const std::string& field) {
  return "No se encuentra el campo '" + field + "'";
}
// The same, naming the table ("PROFT.DBF").
inline std::string FieldNotFound(const std::string& field, const std::string& table) {
  return FieldNotFound(field) + " en la tabla '" + table + "'";
}
inline constexpr const char* kNotEditing =
    "La fuente de datos no está en modo de edición o inserción";
inline constexpr const char* kClosedDataset =
    "No se puede realizar esta operación en una fuente de datos cerrada";
inline constexpr const char* kReadOnly =
    "No se puede modificar una fuente de datos de sólo lectura";
}  // namespace texts

}  // namespace store
