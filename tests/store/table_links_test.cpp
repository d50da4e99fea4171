// Table files that are links (symbolic, or a second name of the same file)
// are read but never written through, replaced or deleted: every change is
// refused with a message naming the table, and the file they share stays
// as it was. A work folder that is itself a link is an ordinary folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "store/os_file.h"
#include "store/store_error.h"
#include "store/table.h"
#include "store/table_file_lock.h"
#include "store/work_folder.h"
#include "tests/store/store_test_util.h"

using namespace store;
namespace fs = std::filesystem;

using storetest::ErrorOf;

namespace {

void MakeTeachers(const fs::path& folder) { storetest::MakeTeachers(folder, {"ABC", "PEM"}); }

struct LinkCase {
  const char* name;
  const char* file;  // which of the table's files is the link
  bool symbolic;
  const char* phrase;  // in the message
};

class LinkedTable : public ::testing::TestWithParam<LinkCase> {
 protected:
  // The real table lives in `elsewhere`; the work folder holds a link at
  // one of its names and a copy of the other file.
  void SetUp() override {
#ifdef _WIN32
    if (GetParam().symbolic) GTEST_SKIP() << "symbolic links need privileges on Windows";
#endif
    MakeTeachers(elsewhere.path());
    const std::string other = std::string(GetParam().file) == "PROFT.DBF" ? "PROFT.MDX" : "PROFT.DBF";
    fs::copy_file(elsewhere / other, work / other);
    if (GetParam().symbolic) {
      fs::create_symlink(elsewhere / GetParam().file, work / GetParam().file);
    } else {
      fs::create_hard_link(elsewhere / GetParam().file, work / GetParam().file);
    }
    before = testsupport::ReadFile(elsewhere / GetParam().file);
  }
  void ExpectRefused(const std::string& e) {
    EXPECT_NE(e.find(GetParam().phrase), std::string::npos) << e;
    EXPECT_NE(e.find("'PROFT.DBF'"), std::string::npos) << e;
    EXPECT_NE(e.find("no escribe a través de enlaces"), std::string::npos) << e;
  }
  void ExpectUntouched() {
    EXPECT_EQ(testsupport::ReadFile(elsewhere / GetParam().file), before);
    EXPECT_TRUE(fs::exists(fs::symlink_status(work / GetParam().file)));
    if (GetParam().symbolic) {
      EXPECT_TRUE(fs::is_symlink(work / GetParam().file));
    }
  }

  testsupport::TempDir elsewhere, work;
  std::string before;
};

}  // namespace

TEST_P(LinkedTable, ReadButNeverWrittenReplacedOrDeleted) {
  Table t;
  t.SetDatabaseName(work.path());
  t.SetTableName("PROFT");
  t.SetIndexName("ABREV");
  t.Open();
  EXPECT_EQ(storetest::Column(t, "ABREV"), (std::vector<std::string>{"ABC", "PEM"}));
  ASSERT_TRUE(t.FindKey("PEM"));

  ExpectRefused(ErrorOf([&] { t.AppendValues({std::string("XYZ"), std::string("X")}); }));
  ExpectRefused(ErrorOf([&] {
    t.Edit();
    t.FieldByName("NOMBRE").SetAsString("Otro");
    t.Post();
  }));
  t.Cancel();
  ExpectRefused(ErrorOf([&] { t.Delete(); }));
  t.Close();
  ExpectUntouched();

  // Replaced by a step that makes it afresh, deleted, held for replacing,
  // packed: all refused.
  Table fresh;
  storetest::Define(fresh, work.path(), "PROFT.DBF", {{"ABREV", FieldType::String, 4}},
                    {"ABREV"});
  ExpectRefused(ErrorOf([&] { fresh.CreateTable(); }));
  ExpectRefused(ErrorOf([&] { DeleteFileNoCase(work.path(), GetParam().file); }));
  ExpectRefused(ErrorOf([&] { TableFileLock lock(work.path(), "PROFT.DBF"); }));
  ExpectRefused(ErrorOf([&] { t.Pack(); }));
  ExpectUntouched();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LinkedTable,
    ::testing::Values(LinkCase{"symlinked_dbf", "PROFT.DBF", true, "La tabla 'PROFT.DBF' es un enlace simbólico"},
                      LinkCase{"hard_linked_dbf", "PROFT.DBF", false,
                               "La tabla 'PROFT.DBF' tiene otros nombres en el disco (enlace duro, 2 nombres)"},
                      LinkCase{"symlinked_mdx", "PROFT.MDX", true,
                               "El índice 'PROFT.MDX' de la tabla 'PROFT.DBF' es un enlace simbólico"},
                      LinkCase{"hard_linked_mdx", "PROFT.MDX", false,
                               "El índice 'PROFT.MDX' de la tabla 'PROFT.DBF' tiene otros nombres"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LinkedWorkFolder, IsAnOrdinaryFolder) {
  SKIP_WITHOUT_READERS();  // and symbolic links need privileges on Windows
  testsupport::TempDir real, dir;
  const fs::path link = dir / "QTEMP";
  fs::create_directory_symlink(real.path(), link);
  MakeTeachers(link);
  Table t;
  t.SetDatabaseName(link);
  t.SetTableName("PROFT");
  t.SetIndexName("ABREV");
  t.Open();
  t.AppendValues({std::string("XYZ"), std::string("Xabier")});
  ASSERT_TRUE(t.FindKey("XYZ"));
  t.Close();
  DeleteFileNoCase(link, "PROFT.MDX");
  EXPECT_FALSE(fs::exists(real / "PROFT.MDX"));
  EXPECT_EQ(storetest::DumpTable(real / "PROFT.DBF").size(), 4u);  // fields + 3 rows
}

// The engine's own files (staged tables, journals, replacement records)
// are made new under their names: a link someone put at such a name is
// removed, and the file it leads to keeps its bytes.
TEST(LinkAtAnEngineName, IsReplacedNotWrittenThrough) {
  for (const bool symbolic : {true, false}) {
    SCOPED_TRACE(symbolic ? "symbolic link" : "hard link");
#ifdef _WIN32
    if (symbolic) continue;  // symbolic links need privileges on Windows
#endif
    testsupport::TempDir work, elsewhere;
    const fs::path outside = elsewhere / "NOTAS.TXT";
    {
      std::ofstream(outside) << "no es de la herramienta";
    }
    const fs::path name = work / "PROFT.DBF.transdae-new";
    if (symbolic)
      fs::create_symlink(outside, name);
    else
      fs::create_hard_link(outside, name);
    os::File f;
    ASSERT_TRUE(f.Open(name, os::OpenMode::CreateOrTruncate));
    ASSERT_TRUE(f.WriteAt(0, "nuevo", 5));
    f.Close();
    EXPECT_FALSE(fs::is_symlink(name));
    EXPECT_EQ(fs::file_size(name), 5u);
    std::ifstream in(outside);
    std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(kept, "no es de la herramienta");
  }
}
