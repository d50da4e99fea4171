// What the import step tests share: a DAE folder and a work folder in a
// temporary folder, a scripted user, DAE lines built by position, and the
// tables read back by the independent readers (python3-dbf for rows and
// fields, XBase::Index for the order of an index tag).
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "chain/process_state.h"
#include "chain/step_context.h"
#include "store/cp1252.h"
#include "store/work_folder.h"
#include "tests/support/scripted_ui.h"
#include "tests/dae_import/plain_dbf.h"
#include "tests/support/test_support.h"


namespace importtest {

namespace fs = std::filesystem;

// A fixed-width line: each text padded with blanks (or cut) to its width.
inline std::string Fixed(const std::vector<std::pair<std::string, int>>& fields) {
  std::string line;
  for (const auto& [text, width] : fields) {
    std::string t = text.substr(0, static_cast<std::size_t>(width));
    t.resize(static_cast<std::size_t>(width), ' ');
    line += t;
  }
  return line;
}

// A teacher line of fPROFES.txt: document, two surnames and name, in the
// department "Dept".
inline std::string TeacherLine(const std::string& dni, const std::string& p1,
                               const std::string& p2, const std::string& p3) {
  return Fixed({{"2", 1}, {"", 1}, {"1", 1}, {dni, 15}, {p1, 40}, {p2, 40}, {p3, 20},
                {"", 6}, {"Dept", 100}});
}

// Lines joined with CR LF, a break after the last one too.
inline std::string CrLf(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\r\n";
  return out;
}

// A table as the independent reader sees it: field specs and rows, the
// texts in UTF-8.
struct Dump {
  std::vector<std::string> fields;  // NAME:TYPE:LEN:DEC
  std::vector<std::vector<std::string>> rows;

  std::size_t Col(const std::string& name) const {
    for (std::size_t i = 0; i < fields.size(); ++i)
      if (fields[i].substr(0, fields[i].find(':')) == name) return i;
    ADD_FAILURE() << "no field " << name;
    return 0;
  }
  // One column, all rows.
  std::vector<std::string> Column(const std::string& name) const {
    std::vector<std::string> out;
    const std::size_t c = Col(name);
    for (const auto& r : rows) out.push_back(c < r.size() ? r[c] : "<?>");
    return out;
  }
  std::string At(std::size_t row, const std::string& name) const {
    if (row >= rows.size()) {
      ADD_FAILURE() << "no row " << row;
      return "";
    }
    return rows[row][Col(name)];
  }
};

inline std::vector<std::string> SplitBar(const std::string& line) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : line) {
    if (c == '|') {
      out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  out.push_back(cur);
  return out;
}

class ImportFixture : public ::testing::Test {
 protected:
  testsupport::TempDir daeDir, workDir;
  testsupport::ScriptedUI ui;
  chain::ProcessState state;

  chain::StepContext Ctx() {
    return chain::StepContext{ui, state, workDir.path(),
                            daeDir.path().string() + "/"};
  }

  void SetUp() override { state.resultCode = 1; }

  void WriteDae(const std::string& name, const std::string& bytes) {
    testsupport::WriteFile(daeDir / name, bytes);
  }

  fs::path TablePath(const std::string& table) const {
    return store::ResolveFileNoCase(workDir.path(), table + ".DBF");
  }
  bool TableExists(const std::string& table) const {
    return store::FileExistsNoCase(workDir.path(), table + ".DBF");
  }

  // Reads a table with python3-dbf.
  // (Under Windows, where it cannot run, with plaindbf: bytes read as
  // another program would, nothing of the tool's engine.)
  Dump Read(const std::string& table) const {
    const fs::path p = TablePath(table);
    Dump d;
#ifdef _WIN32
    std::vector<std::string> lines = plaindbf::Dump(p);
#else
    testsupport::CommandResult r = testsupport::RunCommand(
        "/usr/bin/python3 " +
        testsupport::ShellQuote(
            (testsupport::SourceDir() / "tests/tools/dbf_dump.py").string()) +
        " " + testsupport::ShellQuote(p.string()));
    EXPECT_EQ(r.exitCode, 0) << table << ": " << r.err;
    std::vector<std::string> lines = testsupport::SplitLines(r.out);
#endif
    if (lines.empty()) {
      ADD_FAILURE() << "no output for " << table;
      return d;
    }
    d.fields = SplitBar(lines[0]);
    for (std::size_t i = 1; i < lines.size(); ++i) d.rows.push_back(SplitBar(lines[i]));
    return d;
  }

  // Walks an index tag with XBase::Index: "RECNO|KEY" lines (Linux only:
  // tests that walk a tag begin with SKIP_WITHOUT_READERS()).
  std::vector<std::string> WalkTag(const std::string& table,
                                   const std::string& tag) const {
    testsupport::CommandResult r = testsupport::RunCommand(
        "perl " +
        testsupport::ShellQuote(
            (testsupport::SourceDir() / "tests/tools/mdx_walk.pl").string()) +
        " " + testsupport::ShellQuote(TablePath(table).string()) + " " +
        testsupport::ShellQuote(tag));
    EXPECT_EQ(r.exitCode, 0) << table << "/" << tag << ": " << r.err;
    return testsupport::SplitLines(r.out);
  }

  static std::string U(const std::string& cp1252) {
    return store::Cp1252ToUtf8(cp1252);
  }
};

}  // namespace importtest
