#include "store/table_layout.h"

#include <algorithm>
#include <cctype>

#include "store/cp1252.h"
#include "store/shared_table.h"
#include "store/store_error.h"

namespace store {

namespace {

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

std::string StoredName(const std::string& name) {
  std::string n = Cp1252Upper(name);
  while (!n.empty() && n.back() == ' ') n.pop_back();
  while (!n.empty() && n.front() == ' ') n.erase(n.begin());
  if (n.size() > static_cast<size_t>(DbfFile::kMaxFieldName)) {
    n.resize(static_cast<size_t>(DbfFile::kMaxFieldName));
  }
  return n;
}

}  // namespace

std::vector<DbfField> LayoutFields(const FieldDefs& defs, const std::string& label) {
  if (defs.empty()) throw StoreError("No se puede crear la tabla " + Quoted(label) + " sin campos");
  std::vector<DbfField> fields;
  for (const FieldDef& d : defs) {
    DbfField f;
    f.name = StoredName(d.name);
    if (f.name.empty()) {
      throw StoreError("Un campo de la tabla " + Quoted(label) + " no tiene nombre");
    }
    for (char c : f.name) {
      if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) {
        throw StoreError("El nombre de campo " + Quoted(d.name) + " de la tabla " +
                         Quoted(label) + " no es válido");
      }
    }
    for (const DbfField& other : fields) {
      if (other.name == f.name) {
        throw StoreError("La tabla " + Quoted(label) + " tiene dos campos llamados " +
                         Quoted(f.name));
      }
    }
    switch (d.type) {
      case FieldType::String:
        if (d.width < 1 || d.width > 254) {
          throw StoreError("La anchura del campo " + Quoted(d.name) + " de la tabla " +
                           Quoted(label) + " debe estar entre 1 y 254");
        }
        f.type = 'C';
        f.width = d.width;
        break;
      case FieldType::Integer:
        f.type = 'N';
        f.width = d.width > 0 ? std::min(d.width, 20) : kIntegerFieldWidth;
        break;
      case FieldType::Boolean:
        f.type = 'L';
        f.width = 1;
        break;
      case FieldType::Numeric:
        f.type = 'N';
        f.width = d.width > 0 ? std::min(d.width, 20) : 15;
        f.decimals = std::clamp(d.decimals, 0, std::max(0, f.width - 2));
        break;
    }
    fields.push_back(f);
  }
  return fields;
}

std::vector<MdxTagDef> LayoutTags(std::vector<DbfField>& fields, const IndexDefs& defs,
                                  const std::string& label) {
  std::vector<MdxTagDef> tags;
  for (const IndexDef& ix : defs) {
    const std::string fieldName = ix.field.empty() ? ix.name : ix.field;
    int fi = -1;
    for (size_t i = 0; i < fields.size(); ++i) {
      if (StoredNameMatches(fields[i].name, fieldName)) fi = static_cast<int>(i);
    }
    if (fi < 0) throw StoreError(texts::FieldNotFound(fieldName, label));
    MdxTagDef def;
    def.name = StoredName(ix.name.empty() ? fieldName : ix.name);
    for (const MdxTagDef& other : tags) {
      if (other.name == def.name) {
        throw StoreError("La tabla " + Quoted(label) + " tiene dos índices llamados " +
                         Quoted(def.name));
      }
    }
    DbfField& f = fields[static_cast<size_t>(fi)];
    f.indexed = true;
    def.expression = f.name;
    def.keyType = f.type == 'N' || f.type == 'F' ? 'N' : 'C';
    def.keyLength = def.keyType == 'N' ? 0 : f.width;
    tags.push_back(def);
  }
  return tags;
}

}  // namespace store
