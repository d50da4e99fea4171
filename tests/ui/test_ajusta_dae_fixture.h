// The work folder of the coding-window tests: teachers (one without a
// document), their type 2 and type 3 records, the six code tables and the
// centre row, all real tables.
#pragma once
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "dae_export/record_tables.h"
#include "store/cp1252.h"
#include "store/table.h"
#include "tests/ui/test_grid_support.h"

namespace codingtest {

namespace fs = std::filesystem;
using store::FieldType;
using Record = std::map<std::string, std::string>;

inline store::FieldDef S(const char* name, int width) {
  return {name, FieldType::String, width};
}

inline std::vector<Record> Records(const fs::path& folder, const std::string& name) {
  store::Table t;
  t.SetDatabaseName(folder);
  t.SetTableName(name);
  t.SetReadOnly(true);
  t.Open();
  std::vector<Record> out;
  for (t.First(); !t.Eof(); t.Next()) {
    Record r;
    for (const store::FieldDef& f : t.Fields())
      r[f.name] = t.FieldByName(f.name).AsString();
    out.push_back(r);
  }
  t.Close();
  return out;
}

// Appends a record setting the named fields.
inline void Add(const fs::path& folder, const std::string& name, const Record& r) {
  store::Table t;
  t.SetDatabaseName(folder);
  t.SetTableName(name);
  t.Open();
  t.Append();
  for (const auto& [field, value] : r) t.FieldByName(field).SetAsString(value);
  t.Post();
  t.Close();
}

// Table text is code page 1252.
inline std::string Cp(const char* utf8) { return store::Utf8ToCp1252(utf8); }

inline std::string Key7(const std::string& prof, int day, int hour) {
  return dae_export::BuildProfDiaSes(prof, std::to_string(day), hour);
}

// Teachers EF, AB and CD (CD without a document), in that stored order.
inline void MakeCodingTables(const fs::path& w) {
    gridtest::MakeTable(w, "PROFT",
                        {S("ABREV", 4), S("NOMBRE", 40), S("DEPART", 40),
                         S("DNI", 15), S("TIPODNI", 1)},
                        {{"ABREV", "ABREV"}},
                        {{std::string("EF"), std::string("Eva Fuentes"),
                          std::string("Historia"), std::string("33333333C"),
                          std::string("D")},
                         {std::string("AB"), Cp("Ana Beltrán"),
                          Cp("Matemáticas"), std::string("11111111A"),
                          std::string("D")},
                         {std::string("CD"), Cp("Carlos Díaz"),
                          std::string("Lengua"), std::string("   "),
                          std::string("")}});
    dae_export::CreaTablasCuadro(w);
    struct Session {
      const char* prof;
      int day, hour;
      std::vector<std::pair<const char*, const char*>> groups;  // abrev, doc
    };
    const Session sessions[] = {
        {"AB", 1, 1, {{"1A", "11111111A"}}},
        {"CD", 1, 1, {{"2A", ""}, {"2B", ""}}},
        {"CD", 1, 2, {{"3A", ""}}},
        {"CD", 2, 3, {{"4A", "OTRO"}}},
        {"EF", 3, 4, {{"1B", "33333333C"}}},
    };
    for (const Session& s : sessions) {
      const std::string key = Key7(s.prof, s.day, s.hour);
      Add(w, "CUADROH2",
          {{"TIPREG", "2"}, {"ABREVPROF", s.prof}, {"DIASEM", std::to_string(s.day)},
           {"NUMSESION", key.substr(5)}, {"PROF_DIA_SES", key},
           {"DIA_SES", key.substr(4)}, {"HORAINI", "08:00"},
           {"HORAFIN", "09:00"}, {"REG_MOD", "S"},
           {"DOC", s.groups[0].second}});
      for (auto [group, doc] : s.groups)
        Add(w, "CUADROH3",
            {{"TIPREG", "3"}, {"ABREVGRUP", group}, {"ABREVPROF", s.prof},
             {"DOC", doc}, {"PROF_DIA_SES", key}, {"REG_MOD", "S"}});
    }
    gridtest::MakeTable(w, "daeTIPDOC",
                        {S("COD", 1), S("DESCCAST", 100), S("DESCEUSK", 100)}, {},
                        {{std::string("D"), std::string("DNI"), std::string("NAN")},
                         {std::string("P"), std::string("Pasaporte"),
                          std::string("Pasaportea")},
                         {std::string("N"), std::string("NIE"), std::string("AIZ")}});
    gridtest::MakeTable(w, "daeTIPTAR",
                        {S("COD", 3), S("REFUERZO", 1), S("OTRACTIV", 1),
                         S("DESCCAST", 250), S("DESCEUSK", 250)},
                        {},
                        {{std::string("L"), std::string("N"), std::string("N"),
                          std::string("Lectiva"), std::string("Lektiboa")},
                         {std::string("G"), std::string("N"), std::string("S"),
                          std::string("Guardia"), std::string("Zaintza")}});
    gridtest::MakeTable(w, "daeGRUPNIV",
                        {S("NIVEL", 3), S("DESCCAST", 50), S("DESCEUSK", 50),
                         S("GRUPOPADRE", 3), S("IDTIPTAREA", 1), S("ORDEN", 50)},
                        {},
                        {{std::string("ESO"), std::string("Secundaria"),
                          std::string("DBH")}});
    gridtest::MakeTable(w, "daeASIGNAT",
                        {S("COD", 4), S("DESCCAST", 100), S("DESCCASTR", 20),
                         S("CODCAST", 4), S("DESCEUSK", 100), S("DESCEUSKR", 20),
                         S("CODEUSK", 4)},
                        {},
                        {{std::string("0101"), Cp("Matemáticas"),
                          std::string("Mat."), std::string("MAT")}});
    gridtest::MakeTable(w, "daeIDIOMA",
                        {S("IDIOMA", 2), S("DESCCAST", 100), S("DESCEUSK", 100),
                         S("DESCCASTR", 4), S("DESCEUSKR", 4)},
                        {},
                        {{std::string("A"), std::string("Castellano"),
                          std::string("Gaztelania"), std::string("CAS"),
                          std::string("GAZ")}});
    gridtest::MakeTable(w, "daeOTRACT",
                        {S("COD", 4), S("DESCCAST", 100), S("DESCEUSK", 100),
                         S("DESCCASTR", 20), S("DESCEUSKR", 20)},
                        {},
                        {{std::string("001"), std::string("Biblioteca"),
                          std::string("Liburutegia"), std::string("Bibl."),
                          std::string("Lib.")}});
    gridtest::MakeTable(w, "daeCENTRO",
                        {S("CODCENTRO", 6), S("ANOACAD", 4), S("VERSION", 5)}, {},
                        {{std::string("012345"), std::string("2024"),
                          std::string("1")}});
}

}  // namespace codingtest
