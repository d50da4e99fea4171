// transdae-cli run as a process against what other programs may leave
// behind: tables held open by another program, damaged tables, a damaged or
// missing index of the tool's own tables, and DAE folders with hostile
// files. Every case ends with a Spanish message naming what is wrong, no
// crash, no hang, and nothing written that the user did not ask for.
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/main_workflow.h"
#include "chain/process_state.h"
#include "store/work_folder.h"
#include "tests/support/scripted_ui.h"
#include "tests/dae_import/plain_dbf.h"
#include "tests/support/child_holder.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::CommandResult;
using testsupport::ReadFile;
using testsupport::ShellQuote;
using testsupport::SplitLines;
using testsupport::TempDir;
using testsupport::WriteFile;

using testsupport::ExamplesDir;
std::string Q(const fs::path& p) { return ShellQuote(p.string()); }

using testsupport::RunCli;

bool HasLine(const std::string& out, const std::string& line) {
  std::vector<std::string> lines = SplitLines(out);
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The error lines of a run ("Error: ...").
std::vector<std::string> Errors(const std::string& out) {
  std::vector<std::string> errors;
  for (const std::string& l : SplitLines(out))
    if (l.rfind("Error: ", 0) == 0) errors.push_back(l);
  return errors;
}

// Rows of a table as python3-dbf reads them (under Windows, where it
// cannot run, as plaindbf reads them); -1 when it cannot.
long PythonRowCount(const fs::path& dbf) {
#ifdef _WIN32
  try {
    return static_cast<long>(plaindbf::Dump(dbf).size()) - 1;
  } catch (const std::exception&) {
    return -1;
  }
#endif
  CommandResult r = testsupport::RunCommand(
      "/usr/bin/python3 " + Q(testsupport::SourceDir() / "tests/tools/dbf_dump.py") + " " +
      Q(dbf));
  if (r.exitCode != 0) return -1;
  return static_cast<long>(SplitLines(r.out).size()) - 1;
}

using testsupport::FileHolder;
using testsupport::Sharing;

// A work folder with an accepted import of the sample school and its
// solution, and a DAE folder of its own.
struct School {
  TempDir work, dir;
  fs::path dae;
  School() {
    dae = dir / "dae";
    fs::copy(ExamplesDir() / "dae", dae, fs::copy_options::recursive);
    CommandResult r = RunCli(Import() + " --levels " + Q(ExamplesDir() / "levels.csv"));
    EXPECT_EQ(r.exitCode, 0) << r.out;
    fs::copy_file(ExamplesDir() / "solution" / "SOLUC.DBF", work / "SOLUC.DBF");
  }
  std::string Import() const {
    return "import --dae " + Q(dae) + " --work " + Q(work.path());
  }
  std::string Export(const std::string& extra = "") const {
    return "export --dae " + Q(dae) + " --work " + Q(work.path()) + " " + extra;
  }
  fs::path File(const std::string& name) const {
    return store::ResolveFileNoCase(work.path(), name);
  }
};

// ---- Tables held by another program.

TEST(LockedTables, ImportStopsBeforeAnyProductTableChangesWhileOneIsInUse) {
  School s;
  const std::string before = ReadFile(s.File("PROFT.DBF"));
  const std::string subjectsBefore = ReadFile(s.File("ASIGNOMT.DBF"));
  FileHolder holder(s.File("PROFT.DBF"), Sharing::Shared);
  ASSERT_TRUE(holder.held());
  CommandResult r = RunCli(s.Import());
  EXPECT_EQ(r.exitCode, 1) << r.out;
  std::vector<std::string> errors = Errors(r.out);
  ASSERT_EQ(errors.size(), 1u) << r.out;
  EXPECT_NE(errors[0].find("'PROFT.DBF'"), std::string::npos) << errors[0];
  EXPECT_NE(errors[0].find("en uso por otro programa"), std::string::npos) << errors[0];
  EXPECT_EQ(ReadFile(s.File("PROFT.DBF")), before);
  // The check comes before the first step: no product table was replaced,
  // not even the ones that come before PROFT.
  EXPECT_EQ(ReadFile(s.File("ASIGNOMT.DBF")), subjectsBefore);
  EXPECT_FALSE(fs::exists(s.work / "COPIAS"));
}

TEST(LockedTables, ExportStopsAtATableInUseAndWritesNoFile) {
  for (const char* table : {"SOLUC.DBF", "PROFT.DBF"}) {
    SCOPED_TRACE(table);
    School s;
    FileHolder holder(s.File(table), Sharing::Shared);
    ASSERT_TRUE(holder.held());
    CommandResult r = RunCli(s.Export("--centre 012345,2024,1"));
    EXPECT_EQ(r.exitCode, 1) << r.out;
    std::vector<std::string> errors = Errors(r.out);
    ASSERT_EQ(errors.size(), 1u) << r.out;
    EXPECT_NE(errors[0].find(std::string("'") + table + "'"), std::string::npos) << errors[0];
    EXPECT_NE(errors[0].find("otro programa"), std::string::npos) << errors[0];
    EXPECT_FALSE(fs::exists(s.dae / "fCUADROS.txt"));
  }
}

// ---- Damaged tables of the timetabling product.

struct Damage {
  const char* name;
  std::function<void(std::string&)> apply;
};

void Put16(std::string& b, size_t at, unsigned v) {
  b[at] = char(v & 0xFF);
  b[at + 1] = char((v >> 8) & 0xFF);
}
void Put32(std::string& b, size_t at, unsigned v) {
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = char((v >> (8 * i)) & 0xFF);
}
unsigned Get16(const std::string& b, size_t at) {
  return unsigned(static_cast<unsigned char>(b[at])) |
         (unsigned(static_cast<unsigned char>(b[at + 1])) << 8);
}

TEST(DamagedTables, TheSolutionTableIsNamedAndNoFileIsWritten) {
  const std::vector<Damage> cases = {
      {"count past the end", [](std::string& b) { Put32(b, 4, 1000000); }},
      {"truncated last record", [](std::string& b) { b.resize(b.size() - 2); }},
      {"header too short", [](std::string& b) { Put16(b, 8, 40); }},
      {"header past the end", [](std::string& b) { Put16(b, 8, 65000); }},
      {"field of width 0", [](std::string& b) { b[32 + 16] = 0; }},
      {"field past the record", [](std::string& b) { b[32 + 16] = char(250); }},
      {"no terminator",
       [](std::string& b) {
         const unsigned header = Get16(b, 8);
         for (size_t i = 32; i < header; ++i)
           if (b[i] == '\x0D') b[i] = ' ';
       }},
      {"not a table", [](std::string& b) { b = "PK\x03\x04 zip"; }},
  };
  School s;
  const std::string good = ReadFile(s.File("SOLUC.DBF"));
  for (const Damage& d : cases) {
    SCOPED_TRACE(d.name);
    std::string bytes = good;
    d.apply(bytes);
    WriteFile(s.File("SOLUC.DBF"), bytes);
    fs::remove(s.dae / "fCUADROS.txt");
    CommandResult r = RunCli(s.Export("--fresh --centre 012345,2024,1"));
    EXPECT_EQ(r.exitCode, 1) << r.out;
    std::vector<std::string> errors = Errors(r.out);
    ASSERT_EQ(errors.size(), 1u) << r.out;
    EXPECT_NE(errors[0].find("'SOLUC.DBF'"), std::string::npos) << errors[0];
    EXPECT_FALSE(fs::exists(s.dae / "fCUADROS.txt"));
    EXPECT_EQ(ReadFile(s.File("SOLUC.DBF")), bytes) << "the damaged table is left as found";
  }
}

TEST(DamagedTables, MissingIndexOfTheTeachersTableIsNamed) {
  School s;
  fs::remove(s.File("PROFT.MDX"));
  CommandResult r = RunCli(s.Export("--centre 012345,2024,1"));
  EXPECT_EQ(r.exitCode, 1) << r.out;
  std::vector<std::string> errors = Errors(r.out);
  ASSERT_EQ(errors.size(), 1u) << r.out;
  EXPECT_NE(errors[0].find("'PROFT.DBF'"), std::string::npos) << errors[0];
  EXPECT_NE(errors[0].find("PROFT.MDX"), std::string::npos) << errors[0];
  EXPECT_EQ(r.out.find("reconstruir"), std::string::npos)
      << "the product's tables are not rebuilt by this tool";
  EXPECT_FALSE(fs::exists(s.dae / "fCUADROS.txt"));
}

// ---- The tool's own tables: the index can be rebuilt from the records.

struct IndexDamage {
  const char* table;  // "CUADROH2"
  bool remove;        // remove the index, else overwrite it with garbage
};

class OwnIndex : public ::testing::TestWithParam<IndexDamage> {};

TEST_P(OwnIndex, TheChainOffersToRebuildItAndThenCompletes) {
  School s;
  // The first export makes the template and the record tables (it may end
  // without the file: some sample teachers have no document).
  CommandResult first = RunCli(s.Export("--centre 012345,2024,1"));
  ASSERT_TRUE(Errors(first.out).empty()) << first.out;
  const long h2 = PythonRowCount(s.File("CUADROH2.DBF"));
  ASSERT_GT(h2, 0);
  const std::string table = GetParam().table;
  const fs::path mdx = s.File(table + ".MDX");
  ASSERT_TRUE(fs::exists(mdx));
  if (GetParam().remove) {
    fs::remove(mdx);
  } else {
    std::string b = ReadFile(mdx);
    for (size_t i = 512; i < b.size(); i += 7) b[i] = char(0xA5);
    WriteFile(mdx, b);
  }

  // The batch front end answers no: the error names the table and nothing
  // is written.
  fs::remove(s.dae / "fCUADROS.txt");
  CommandResult no = RunCli(s.Export());
  EXPECT_EQ(no.exitCode, 1) << no.out;
  EXPECT_NE(no.out.find("reconstruir el índice de la tabla '" + table + ".DBF'"),
            std::string::npos)
      << no.out;
  std::vector<std::string> errors = Errors(no.out);
  ASSERT_EQ(errors.size(), 1u) << no.out;
  EXPECT_NE(errors[0].find(table + ".DBF"), std::string::npos) << errors[0];
  EXPECT_FALSE(fs::exists(s.dae / "fCUADROS.txt"));

  // A user who answers yes gets the index back and the chain runs again.
  struct User : testsupport::ScriptedUI {
    chain::Answer Ask(const std::string& text) override {
      questions.push_back(text);
      // Keep the earlier export and rebuild; go through the expansion.
      return text.find("Codificación DAE") != std::string::npos ? chain::Answer::No
                                                                 : chain::Answer::Yes;
    }
  } ui;
  chain::ProcessState state;
  app::MainWorkflow wf(ui, state, s.work.path());
  wf.BImportarClick(s.dae.string());
  EXPECT_TRUE(ui.errors.empty()) << ui.errors.front();
  std::vector<std::string> rebuild;
  for (const std::string& q : ui.questions)
    if (q.find("reconstruir") != std::string::npos) rebuild.push_back(q);
  ASSERT_EQ(rebuild.size(), 1u);
  EXPECT_NE(rebuild[0].find("'" + table + ".DBF'"), std::string::npos) << rebuild[0];
  EXPECT_EQ(rebuild[0].find('\n'), std::string::npos) << "lines join with CR";
  EXPECT_EQ(state.resultCode, 1);
  EXPECT_EQ(PythonRowCount(s.File("CUADROH2.DBF")), h2);
  EXPECT_TRUE(fs::exists(store::ResolveFileNoCase(s.work.path(), table + ".MDX")));
  // The rebuilt index is read by an independent reader (Perl XBase, on
  // Linux) and the records were all kept.
#ifndef _WIN32
  CommandResult walk = testsupport::RunCommand(
      "perl " + Q(testsupport::SourceDir() / "tests/tools/mdx_walk.pl") + " " +
      Q(s.File(table + ".DBF")) + " " + (table == "PLANTILLA" ? "HORA" : "ABREVPROF"));
  EXPECT_EQ(walk.exitCode, 0) << walk.err;
  EXPECT_EQ(static_cast<long>(SplitLines(walk.out).size()), PythonRowCount(s.File(table + ".DBF")));
#endif
}

INSTANTIATE_TEST_SUITE_P(Tables, OwnIndex,
                         ::testing::Values(IndexDamage{"CUADROH2", false},
                                           IndexDamage{"CUADROH3", true},
                                           IndexDamage{"PLANTILLA", true}),
                         [](const auto& info) {
                           return std::string(info.param.table) +
                                  (info.param.remove ? "_missing" : "_damaged");
                         });

// ---- Hostile DAE folders.

struct Hostile {
  const char* name;
  std::function<void(const fs::path& dae)> make;
  std::function<void(const School& s, const CommandResult& r)> check;
};

TEST(HostileDaeFiles, ImportHandlesEachAsTheReadingRulesSay) {
  const std::vector<Hostile> cases = {
      {"teachers with NUL bytes and a line of four megabytes",
       [](const fs::path& dae) {
         std::string t = ReadFile(dae / "fPROFES.txt");
         std::string lines = t;
         lines += std::string("2 1") + std::string(15, '\0') + "Zubiri" + std::string(34, ' ') +
                  std::string(4u << 20, 'x') + "\r\n";
         WriteFile(dae / "fPROFES.txt", lines);
       },
       [](const School& s, const CommandResult& r) {
         EXPECT_TRUE(Errors(r.out).empty()) << r.out;
         long before = 0;
         for (const std::string& l : SplitLines(ReadFile(ExamplesDir() / "dae" / "fPROFES.txt")))
           before += (!l.empty() && l[0] != '1') ? 1 : 0;
         EXPECT_EQ(PythonRowCount(s.File("PROFT.DBF")), before + 1);
       }},
      {"subjects without any line break",
       [](const fs::path& dae) {
         std::string t = ReadFile(dae / "fASIGNAT.txt");
         t.erase(std::remove_if(t.begin(), t.end(), [](char c) { return c == '\r' || c == '\n'; }),
                 t.end());
         WriteFile(dae / "fASIGNAT.txt", t);
       },
       [](const School& s, const CommandResult& r) {
         EXPECT_TRUE(Errors(r.out).empty()) << r.out;
         EXPECT_GT(PythonRowCount(s.File("ASIGNOMT.DBF")), 0);
       }},
      {"groups file holding only Ctrl-Z",
       [](const fs::path& dae) { WriteFile(dae / "fGRUPOS.txt", "\x1A"); },
       [](const School& s, const CommandResult& r) {
         EXPECT_TRUE(Errors(r.out).empty()) << r.out;
         EXPECT_EQ(PythonRowCount(s.File("GRUPOST.DBF")), 0);
       }},
      {"task types with bytes above 127 and a tab",
       [](const fs::path& dae) {
         std::string t = ReadFile(dae / "fTIPTAR.txt");
         for (size_t i = 0; i < t.size(); i += 5)
           if (t[i] != '\r' && t[i] != '\n') t[i] = char(0xC0 + (i % 64));  // letters of code page 1252
         t[3] = '\t';
         WriteFile(dae / "fTIPTAR.txt", t);
       },
       [](const School& s, const CommandResult& r) {
         EXPECT_TRUE(Errors(r.out).empty()) << r.out;
         EXPECT_GT(PythonRowCount(s.File("daeTIPTAR.DBF")), 0);
       }},
      {"a folder in place of a file",
       [](const fs::path& dae) {
         fs::remove(dae / "fPROFES.txt");
         fs::create_directory(dae / "fPROFES.txt");
       },
       [](const School&, const CommandResult& r) {
         EXPECT_TRUE(HasLine(r.out, "No existe archivo de profesores (fPROFES.TXT)")) << r.out;
       }},
#ifndef _WIN32
      // Pipes and symbolic links in a DAE folder are POSIX's.
      {"a pipe in place of a file (never waited on)",
       [](const fs::path& dae) {
         fs::remove(dae / "fGRUPOS.txt");
         ASSERT_EQ(::mkfifo((dae / "fGRUPOS.txt").c_str(), 0600), 0);
       },
       [](const School&, const CommandResult& r) {
         EXPECT_TRUE(HasLine(r.out, "No existe archivo de grupos (fGRUPOS.TXT)")) << r.out;
       }},
      {"links: one to a real file, one dangling",
       [](const fs::path& dae) {
         fs::rename(dae / "fASIGNAT.txt", dae / "asignaturas-real.txt");
         fs::create_symlink(dae / "asignaturas-real.txt", dae / "fASIGNAT.txt");
         fs::remove(dae / "fPROFES.txt");
         fs::create_symlink(dae / "no-such-file.txt", dae / "fPROFES.txt");
       },
       [](const School& s, const CommandResult& r) {
         EXPECT_GT(PythonRowCount(s.File("ASIGNOMT.DBF")), 0);
         EXPECT_TRUE(HasLine(r.out, "No existe archivo de profesores (fPROFES.TXT)")) << r.out;
       }},
#endif
  };
  for (const Hostile& h : cases) {
    SCOPED_TRACE(h.name);
    School s;
    h.make(s.dae);
    CommandResult r = RunCli(s.Import() + " --levels " + Q(ExamplesDir() / "levels.csv"));
    EXPECT_TRUE(HasLine(r.out, "resultado: 1") || HasLine(r.out, "resultado: -1")) << r.out;
    // Finished with every file: 0; finished with one missing: 3; stopped: 1.
    if (HasLine(r.out, "Proceso finalizado"))
      EXPECT_EQ(r.exitCode, HasLine(r.out, "resultado: 1") ? 0 : 3) << r.out << r.err;
    else
      EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    h.check(s, r);
  }
}

}  // namespace
