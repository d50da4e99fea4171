#include "tests/dae_export/export_fixture.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

#include "dae_import/groups_import.h"
#include "tests/dae_import/plain_dbf.h"
#include "tests/support/test_support.h"

namespace exporttest {

namespace {

store::FieldDef Str(const char* name, int width) {
  store::FieldDef f;
  f.name = name;
  f.width = width;
  return f;
}

void Create(const fs::path& work, const char* name, store::FieldDefs fields,
            store::IndexDefs tags = {}) {
  store::Table t;
  t.SetDatabaseName(work);
  t.SetTableName(name);
  t.FieldDefsList() = std::move(fields);
  t.IndexDefsList() = std::move(tags);
  t.CreateTable();
}

void Fill(const fs::path& work, const char* name,
          const std::vector<std::vector<std::pair<const char*, std::string>>>& rows) {
  store::Table t;
  t.SetDatabaseName(work);
  t.SetTableName(name);
  t.Open();
  for (const auto& row : rows) {
    t.Append();
    for (const auto& [field, value] : row) t.FieldByName(field).SetAsString(value);
    t.Post();
  }
  t.Close();
}

std::string Python() { return "/usr/bin/python3"; }

std::vector<std::string> Run(const std::string& cmd) {
  testsupport::CommandResult r = testsupport::RunCommand(cmd);
  if (r.exitCode != 0)
    throw std::runtime_error("command failed: " + cmd + "\n" + r.err);
  return testsupport::SplitLines(r.out);
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : s) {
    if (c == sep) {
      out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  out.push_back(cur);
  return out;
}

}  // namespace

void MakeProft(const fs::path& work, const std::vector<Teacher>& rows) {
  Create(work, "PROFT.DBF",
         {Str("ABREV", 4), Str("NOMBRE", 40), Str("DEPART", 40), Str("DNI", 15),
          Str("TIPODNI", 1)},
         {store::IndexDef{"ABREV", "ABREV"}});
  std::vector<std::vector<std::pair<const char*, std::string>>> r;
  for (const Teacher& t : rows)
    r.push_back({{"ABREV", t.abrev}, {"NOMBRE", t.nombre}, {"DEPART", t.depart},
                 {"DNI", t.dni}, {"TIPODNI", t.tipodni}});
  Fill(work, "PROFT.DBF", r);
}

void MakeGrupost(const fs::path& work, const std::vector<Group>& rows) {
  Create(work, "GRUPOST.DBF",
         {Str("ABREV", 4), Str("TURNO", 1), Str("NIVEL", 5), Str("CURSO", 3),
          Str("GRUPO", 2), Str("CODGRUDAE", 5), Str("ALIASDAE", 30),
          Str("NIVELDAE", 3), Str("ESPECDAE", 6), Str("TURNODAE", 2),
          Str("CURSODAE", 2), Str("NUMALUMN", 2), Str("DESCRIP", 40)});
  std::vector<std::vector<std::pair<const char*, std::string>>> r;
  for (const Group& g : rows)
    r.push_back({{"ABREV", g.abrev}, {"NIVELDAE", g.niveldae},
                 {"CODGRUDAE", g.codgrudae}, {"NUMALUMN", g.numalumn},
                 {"ALIASDAE", "alias " + g.abrev}});
  Fill(work, "GRUPOST.DBF", r);
}

void MakeAsignomt(const fs::path& work, const std::vector<Subject>& rows) {
  store::FieldDef estarea;
  estarea.name = "ESTAREA";
  estarea.type = store::FieldType::Boolean;
  estarea.width = 1;
  Create(work, "ASIGNOMT.DBF",
         {Str("COD", 4), Str("CODLARGO", 8), Str("NOMBRE", 40), Str("CODIGODAE", 4),
          estarea});
  std::vector<std::vector<std::pair<const char*, std::string>>> r;
  for (const Subject& s : rows)
    r.push_back({{"COD", s.cod}, {"CODIGODAE", s.codigodae}, {"NOMBRE", "n " + s.cod}});
  Fill(work, "ASIGNOMT.DBF", r);
}

void MakeSoluc(const fs::path& work, const std::vector<Lesson>& rows,
               const std::string& numberSpec, const std::string& tareaSpec) {
  const std::string specs =
      "ASIG C(4); PROF C(4); CODGRUPO C(4); TURNO C(1); NIVEL C(5); CURSO C(3); "
      "GRUPO C(1); AULA C(4); DIA " + numberSpec + "; HORA " + numberSpec +
      "; SESIONES " + numberSpec + "; TAREA " + tareaSpec;
#ifdef _WIN32
  // python3-dbf runs on the Linux side only; here the table is written
  // byte by byte as it would write it.
  std::vector<std::string> plainRows;
  for (const Lesson& l : rows)
    plainRows.push_back((l.deleted ? "*" : "") + l.asig + "|" + l.prof + "|" + l.codgrupo +
                        "|D|ESO|1|1|" + l.aula + "|" + l.dia + "|" + l.hora + "|" +
                        l.sesiones + "|" + l.tarea);
  plaindbf::Write(work / "SOLUC.DBF", specs, plainRows);
  return;
#endif
  std::string cmd = Python() + " " +
                    testsupport::ShellQuote((testsupport::SourceDir() /
                                             "tests/tools/dbf_dump.py").string()) +
                    " --write " + testsupport::ShellQuote((work / "SOLUC.DBF").string()) +
                    " " + testsupport::ShellQuote(specs);
  for (const Lesson& l : rows) {
    std::string row = (l.deleted ? "*" : "") + l.asig + "|" + l.prof + "|" +
                      l.codgrupo + "|D|ESO|1|1|" + l.aula + "|" + l.dia + "|" +
                      l.hora + "|" + l.sesiones + "|" + l.tarea;
    cmd += " " + testsupport::ShellQuote(row);
  }
  Run(cmd);
}

void MakeCentre(const fs::path& work, const std::string& cod,
                const std::string& ano, const std::string& version) {
  dae_import::CreaTablaCentro(work);
  Fill(work, "daeCENTRO.DBF",
       {{{"CODCENTRO", cod}, {"ANOACAD", ano}, {"VERSION", version}}});
}

void MakeCodeTables(const fs::path& work) {
  for (const char* name : {"daeTIPDOC.DBF", "daeTIPTAR.DBF", "daeGRUPNIV.DBF",
                           "daeASIGNAT.DBF", "daeIDIOMA.DBF", "daeOTRACT.DBF"}) {
    Create(work, name, {Str("COD", 5), Str("DESCCAST", 40)});
    Fill(work, name, {{{"COD", "1"}, {"DESCCAST", "uno"}}});
  }
}

void WriteAsAnotherProgram(const fs::path& dbf, const std::string& specs,
                           const std::vector<std::string>& rows) {
#ifdef _WIN32
  plaindbf::Write(dbf, specs, rows);
#else
  std::string cmd = Python() + " " +
                    testsupport::ShellQuote((testsupport::SourceDir() /
                                             "tests/tools/dbf_dump.py").string()) +
                    " --write " + testsupport::ShellQuote(dbf.string()) + " " +
                    testsupport::ShellQuote(specs);
  for (const std::string& row : rows) cmd += " " + testsupport::ShellQuote(row);
  Run(cmd);
#endif
}

std::vector<std::string> Dump(const fs::path& dbf) {
#ifdef _WIN32
  return plaindbf::Dump(dbf);
#endif
  return Run(Python() + " " +
             testsupport::ShellQuote(
                 (testsupport::SourceDir() / "tests/tools/dbf_dump.py").string()) +
             " " + testsupport::ShellQuote(dbf.string()));
}

std::vector<std::string> Walk(const fs::path& dbf, const std::string& tag) {
  return Run("perl " +
             testsupport::ShellQuote(
                 (testsupport::SourceDir() / "tests/tools/mdx_walk.pl").string()) +
             " " + testsupport::ShellQuote(dbf.string()) + " " +
             testsupport::ShellQuote(tag.substr(0, 10)));
}

std::vector<std::string> Rows(const fs::path& dbf,
                              const std::vector<std::string>& fields) {
  std::vector<std::string> lines = Dump(dbf);
  if (lines.empty()) throw std::runtime_error("no header from dbf_dump");
  std::vector<std::string> header = Split(lines[0], '|');
  std::vector<size_t> pick;
  for (const std::string& f : fields) {
    size_t i = 0;
    // dBase keeps the first ten characters of a longer field name.
    while (i < header.size() &&
           header[i].substr(0, header[i].find(':')) != f.substr(0, 10))
      ++i;
    if (i == header.size()) throw std::runtime_error("no field " + f);
    pick.push_back(i);
  }
  std::vector<std::string> out;
  for (size_t n = 1; n < lines.size(); ++n) {
    std::vector<std::string> v = Split(lines[n], '|');
    std::string row;
    for (size_t k = 0; k < pick.size(); ++k) {
      if (k) row += "|";
      row += pick[k] < v.size() ? v[pick[k]] : "";
    }
    out.push_back(row);
  }
  return out;
}

void AppendRow(const fs::path& work, const std::string& table,
               const std::vector<std::pair<std::string, std::string>>& values) {
  store::Table t;
  t.SetDatabaseName(work);
  t.SetTableName(table);
  t.Open();
  t.Append();
  for (const auto& [field, value] : values) t.FieldByName(field).SetAsString(value);
  t.Post();
  t.Close();
}

}  // namespace exporttest
