// The work folder and names found without regard to letter case.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "store/path_text.h"
#include "store/store_error.h"
#include "store/table.h"
#include "store/work_folder.h"
#include "tests/store/store_test_util.h"

using namespace store;
namespace fs = std::filesystem;

namespace {

// Sets an environment variable for the length of a test.
class EnvGuard {
 public:
  EnvGuard(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    Set(name, value);
  }
  ~EnvGuard() { Set(name_, had_ ? old_.c_str() : nullptr); }

  // value is UTF-8; Windows keeps its environment in UTF-16.
  static void Set(const char* name, const char* value) {
#ifdef _WIN32
    const std::wstring wname = PathFromText(name).wstring();
    const std::wstring wvalue = value ? PathFromText(value).wstring() : std::wstring();
    ::_wputenv_s(wname.c_str(), wvalue.c_str());  // empty: removed
#else
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
#endif
  }

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

}  // namespace

TEST(WorkFolder, ComesFromQtempOrHome) {
  {
    EnvGuard q("QTEMP", "/some/where/QT");
    EXPECT_EQ(WorkFolder(), fs::path("/some/where/QT"));
  }
  {
    // Every character of the name survives (read as UTF-16 on Windows).
    EnvGuard q("QTEMP", "/Curso 2024-25/A\xC3\xB1o");
    // Shown with the system's separator.
#ifdef _WIN32
    EXPECT_EQ(PathText(WorkFolder()), "\\Curso 2024-25\\A\xC3\xB1o");
#else
    EXPECT_EQ(PathText(WorkFolder()), "/Curso 2024-25/A\xC3\xB1o");
#endif
  }
#ifdef _WIN32
  {
    // \QTEMP of the current drive.
    EnvGuard q("QTEMP", nullptr);
    EXPECT_EQ(WorkFolder(), fs::current_path().root_path() / "QTEMP");
  }
#else
  {
    EnvGuard q("QTEMP", nullptr);
    EnvGuard h("HOME", "/home/profe");
    EXPECT_EQ(WorkFolder(), fs::path("/home/profe/QTEMP"));
  }
  {
    EnvGuard q("QTEMP", "");
    EnvGuard h("HOME", "/home/otra");
    EXPECT_EQ(WorkFolder(), fs::path("/home/otra/QTEMP"));
  }
#endif
}

TEST(WorkFolder, NamesResolveWithoutRegardToCase) {
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "PLANTILLA.DBF", "x");
  testsupport::WriteFile(dir / "daeCENTRO.DBF", "x");
  struct Case {
    std::string name;
    std::string found;
  } cases[] = {{"plantilla.dbf", "PLANTILLA.DBF"},
               {"Plantilla.DBF", "PLANTILLA.DBF"},
               {"DAECENTRO.DBF", "daeCENTRO.DBF"},
               {"daecentro.dbf", "daeCENTRO.DBF"}};
  for (const Case& c : cases) {
    EXPECT_EQ(ResolveFileNoCase(dir.path(), c.name), dir / c.found) << c.name;
    EXPECT_TRUE(FileExistsNoCase(dir.path(), c.name)) << c.name;
  }
  EXPECT_EQ(ResolveFileNoCase(dir.path(), "NUEVA.DBF"), dir / "NUEVA.DBF");
  EXPECT_FALSE(FileExistsNoCase(dir.path(), "NUEVA.DBF"));
  EXPECT_FALSE(FileExistsNoCase(dir / "missing", "X.DBF"));

  DeleteFileNoCase(dir.path(), "plantilla.DBF");
  EXPECT_FALSE(fs::exists(dir / "PLANTILLA.DBF"));
  EXPECT_NO_THROW(DeleteFileNoCase(dir.path(), "plantilla.DBF"));  // already gone
  EXPECT_TRUE(fs::exists(dir / "daeCENTRO.DBF"));
}

TEST(WorkFolder, TableNamesInAnyFormReachTheSameFile) {
  testsupport::TempDir dir;
  {
    Table t;
    storetest::Define(t, dir.path(), "PLANTILLA", {{"HORA", FieldType::Integer, 0}}, {"HORA"});
    t.CreateTable();
  }
  EXPECT_TRUE(fs::exists(dir / "PLANTILLA.DBF"));
  EXPECT_TRUE(fs::exists(dir / "PLANTILLA.MDX"));
  const std::string names[] = {"plantilla", "PLANTILLA.DBF", "Plantilla.dbf",
                               (dir / "plantilla.dbf").string(), (dir / "PLANTILLA").string()};
  for (const std::string& name : names) {
    Table t;
    t.SetDatabaseName(dir.path());
    t.SetTableName(name);
    EXPECT_TRUE(t.Exists()) << name;
    EXPECT_EQ(t.FilePath(), dir / "PLANTILLA.DBF") << name;
    t.SetIndexName("hora");
    EXPECT_NO_THROW(t.Open()) << name;
    EXPECT_TRUE(t.Active());
  }
  // A whole path with backslashes and no folder set.
  Table w;
  std::string winLike = dir.path().string() + "\\plantilla.DBF";
  w.SetTableName(winLike);
  EXPECT_EQ(w.FilePath(), dir / "PLANTILLA.DBF");
}

TEST(WorkFolder, CreatedTablesKeepTheSpellingOfTheirStepAndMakeTheFolder) {
  testsupport::TempDir dir;
  fs::path work = dir / "QTEMP";
  EnvGuard q("QTEMP", work.string().c_str());
  Table centre;
  centre.SetDatabaseName(WorkFolder());
  centre.SetTableName("daeCENTRO.dbf");
  centre.FieldDefsList().push_back({"CODCENTRO", FieldType::String, 8});
  centre.CreateTable();
  centre.Close();  // puts the new table in place
  EXPECT_TRUE(fs::is_directory(work));
  EXPECT_TRUE(fs::exists(work / "daeCENTRO.DBF"));

  // Replacing a table spelt differently on disk leaves one file.
  testsupport::WriteFile(work / "proft.dbf", "not even a table");
  Table prof;
  storetest::Define(prof, work, "PROFT", {{"ABREV", FieldType::String, 4}}, {"ABREV"});
  prof.CreateTable();
  prof.Close();
  // As the folder spells them (a disk that ignores letter case finds
  // "proft.dbf" by any spelling).
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(work)) names.push_back(FileNameText(e.path()));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"PROFT.DBF", "PROFT.MDX", "daeCENTRO.DBF"}));

  // Without a folder set, tables go to the work folder.
  Table plain;
  plain.SetTableName("proft");
  EXPECT_EQ(plain.FilePath(), work / "PROFT.DBF");
  EXPECT_NO_THROW(plain.Open());
}

TEST(WorkFolder, MissingTableIsAClearError) {
  testsupport::TempDir dir;
  Table t;
  t.SetDatabaseName(dir.path());
  t.SetTableName("SOLUC");
  try {
    t.Open();
    FAIL() << "opened a missing table";
  } catch (const StoreError& e) {
    EXPECT_NE(std::string(e.what()).find("No se encuentra la tabla 'SOLUC.DBF'"), std::string::npos)
        << e.what();
  }
  EXPECT_FALSE(t.Active());
}
