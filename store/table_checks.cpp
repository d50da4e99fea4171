#include "store/table_checks.h"

#include <set>

#include "store/cp1252.h"
#include "store/store_error.h"

namespace store {

namespace {

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

std::string TypeName(char type) {
  switch (type) {
    case 'M': return "memo";
    case 'B': return "binario";
    case 'G': return "general (objeto OLE)";
    case 'P': return "imagen";
    case 'D': return "fecha";
    case 'T': case '@': return "fecha y hora";
    case 'I': return "entero binario";
    case 'Y': return "moneda";
    case 'O': return "número binario de doble precisión";
    case '+': return "autoincremento";
    case 'V': return "texto de longitud variable";
    case 'Q': case 'W': return "binario de longitud variable";
    default: return "desconocido";
  }
}

}  // namespace

std::string DbfLayoutProblem(int recordLength, const std::vector<DbfField>& fields) {
  long sum = 1;
  for (const DbfField& f : fields) sum += f.width;
  if (sum != recordLength) {
    return "los anchos de sus campos suman " + std::to_string(sum - 1) +
           " bytes, que con el byte de borrado no dan la longitud de registro de la cabecera (" +
           std::to_string(recordLength) + ")";
  }
  std::set<std::string> names;
  for (size_t i = 0; i < fields.size(); ++i) {
    const std::string& name = fields[i].name;
    if (name.empty()) return "el campo número " + std::to_string(i + 1) + " no tiene nombre";
    if (!names.insert(Cp1252Upper(name)).second) {
      return "el campo " + Quoted(name) + " aparece más de una vez";
    }
  }
  return "";
}

bool FieldTypeReadable(char type) {
  return type == 'C' || type == 'N' || type == 'F' || type == 'L';
}

void CheckFieldReadable(const DbfField& field, const std::string& label) {
  if (FieldTypeReadable(field.type)) return;
  const std::string code = (field.type >= 0x21 && field.type < 0x7F)
                               ? std::string(1, field.type)
                               : "0x" + std::to_string(static_cast<unsigned char>(field.type));
  throw StoreError("El campo " + Quoted(field.name) + " de la tabla " + Quoted(label) +
                   " es de tipo " + TypeName(field.type) + " (" + code +
                   "), que esta herramienta no sabe leer");
}

}  // namespace store
