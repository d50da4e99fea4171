// Tables for the export tests: the product's tables as the import or the
// timetabling product leaves them, and readers that see the files the way
// other programs do.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "store/table.h"
#include "tests/support/test_support.h"

namespace exporttest {

namespace fs = std::filesystem;

struct Teacher {
  std::string abrev, nombre, depart, dni, tipodni;
};
struct Group {
  std::string abrev, niveldae, codgrudae, numalumn;
};
struct Subject {
  std::string cod, codigodae;
};
// A row of SOLUC; numbers as text ("" leaves the column empty).
struct Lesson {
  std::string asig, prof, codgrupo, aula, dia, hora, sesiones, tarea;
  bool deleted = false;
};

void MakeProft(const fs::path& work, const std::vector<Teacher>& rows);
void MakeGrupost(const fs::path& work, const std::vector<Group>& rows);
void MakeAsignomt(const fs::path& work, const std::vector<Subject>& rows);
// Written by python3-dbf with the column types given (the product writes
// numbers as N(2,0)); tareaSpec is the column spec of TAREA.
void MakeSoluc(const fs::path& work, const std::vector<Lesson>& rows,
               const std::string& numberSpec = "N(2,0)",
               const std::string& tareaSpec = "C(3)");
void MakeCentre(const fs::path& work, const std::string& cod,
                const std::string& ano, const std::string& version);
// The six DAE code tables that the coding window lists (one row each).
void MakeCodeTables(const fs::path& work);

// The independent readers. Dump: the lines of tests/tools/dbf_dump.py
// (header line first). Walk: "RECNO|KEY" lines of tests/tools/mdx_walk.pl.
std::vector<std::string> Dump(const fs::path& dbf);
// A table written as another program would (dbf_dump.py --write; under
// Windows plaindbf, which writes the same bytes).
void WriteAsAnotherProgram(const fs::path& dbf, const std::string& specs,
                           const std::vector<std::string>& rows);

// Linux only: tests that walk a tag begin with SKIP_WITHOUT_READERS().
std::vector<std::string> Walk(const fs::path& dbf, const std::string& tag);

// Dump without the header line, projected on some fields ("A|B|...").
// Field and tag names are matched as dBase stores them, cut to ten
// characters (PROF_DIA_SES is PROF_DIA_S on disk).
std::vector<std::string> Rows(const fs::path& dbf,
                              const std::vector<std::string>& fields);

// Sets fields of a table's records through the store (for preparing kept
// exports as a user would have coded them).
void AppendRow(const fs::path& work, const std::string& table,
               const std::vector<std::pair<std::string, std::string>>& values);

}  // namespace exporttest
