#include "tests/store/store_test_util.h"

#include <gtest/gtest.h>


namespace storetest {

testsupport::CommandResult RunDump(const std::string& args) {
  std::string tool = (testsupport::SourceDir() / "tests/tools/dbf_dump.py").string();
  return testsupport::RunCommand("/usr/bin/python3 " + testsupport::ShellQuote(tool) + " " + args);
}

std::vector<std::string> DumpTable(const std::filesystem::path& dbf) {
  auto r = RunDump(testsupport::ShellQuote(dbf.string()));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  return testsupport::SplitLines(r.out);
}

void Define(store::Table& t, const std::filesystem::path& folder, const std::string& name,
            const std::vector<Col>& cols, const std::vector<std::string>& tags) {
  t.SetDatabaseName(folder);
  t.SetTableName(name);
  t.FieldDefsList().clear();
  for (const Col& c : cols) {
    store::FieldDef d;
    d.name = c.name;
    d.type = c.type;
    d.width = c.width;
    t.FieldDefsList().push_back(d);
  }
  t.IndexDefsList().clear();
  for (const std::string& tag : tags) t.IndexDefsList().push_back({tag, tag});
}

std::vector<std::string> Column(store::Table& t, const std::string& field) {
  std::vector<std::string> out;
  t.First();
  while (!t.Eof()) {
    out.push_back(t.FieldByName(field).AsString());
    t.Next();
  }
  return out;
}

void MakeTeachers(const std::filesystem::path& folder, const std::vector<std::string>& abrevs) {
  store::Table t;
  Define(t, folder, "PROFT",
         {{"ABREV", store::FieldType::String, 4}, {"NOMBRE", store::FieldType::String, 20}},
         {"ABREV"});
  t.CreateTable();
  t.Open();
  for (const std::string& a : abrevs) t.AppendValues({a, "Nombre " + a});
  t.Close();
}

}  // namespace storetest
