// Steps that change the school's tables whole or not at all, whatever other
// programs do to the files: a held .DBF or .MDX of any table the step
// touches, a read-only table, a second run on the same folder, a restore
// that cannot finish, a copy whose COPIA.TXT was damaged. transdae-cli runs
// as a process; "another program" is transdae_test_holder (a sharing mode
// on Windows, flock on POSIX).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/main_workflow.h"
#include "chain/process_state.h"
#include "dae_import/product_backup.h"
#include "store/pager.h"
#include "store/work_folder_lock.h"
#include "tests/support/child_holder.h"
#include "tests/support/child_process.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::CommandResult;
using testsupport::ExamplesDir;
using testsupport::FileHolder;
using testsupport::ReadFile;
using testsupport::RunCli;
using testsupport::Sharing;
using testsupport::ShellQuote;
using testsupport::SplitLines;
using testsupport::TempDir;
using testsupport::WriteFile;

std::string Q(const fs::path& p) { return ShellQuote(p.string()); }

// Every file under the work folder (COPIAS included), by its relative path,
// with its bytes; the run lock's empty file aside.
using Files = std::map<std::string, std::string>;
Files Snapshot(const fs::path& work) {
  Files out;
  for (const auto& e : fs::recursive_directory_iterator(work)) {
    if (!e.is_regular_file()) continue;
    const std::string rel = fs::relative(e.path(), work).generic_string();
    if (rel == store::kWorkFolderLockName) continue;
    out[rel] = ReadFile(e.path());
  }
  return out;
}

std::vector<std::string> Errors(const std::string& out) {
  std::vector<std::string> errors;
  for (const std::string& l : SplitLines(out))
    if (l.rfind("Error: ", 0) == 0) errors.push_back(l);
  return errors;
}

// Every file of every copy folder is listed in its COPIA.TXT.
void ExpectEveryCopiedFileListed(const fs::path& work) {
  if (!fs::exists(work / "COPIAS")) return;
  for (const auto& folder : fs::directory_iterator(work / "COPIAS")) {
    const std::string manifest = ReadFile(folder.path() / "COPIA.TXT");
    for (const auto& f : fs::directory_iterator(folder.path())) {
      const std::string name = f.path().filename().string();
      if (name == "COPIA.TXT") continue;
      EXPECT_NE(manifest.find(" " + name + "\n"), std::string::npos)
          << folder.path().filename().string() << " holds " << name
          << " without listing it:\n" << manifest;
    }
  }
}

// A work folder with an accepted import of the sample school, the
// timetabling product's ASIGT and DIASHORAT beside it, and a solution.
struct School {
  TempDir work, dir;
  fs::path dae;
  School() {
    dae = dir / "dae";
    fs::copy(ExamplesDir() / "dae", dae, fs::copy_options::recursive);
    CommandResult r = RunCli(Import());
    EXPECT_EQ(r.exitCode, 0) << r.out;
    fs::copy_file(work / "daeTIPDOC.DBF", work / "ASIGT.DBF");
    fs::copy_file(work / "daeIDIOMA.DBF", work / "DIASHORAT.DBF");
    fs::copy_file(ExamplesDir() / "solution" / "SOLUC.DBF", work / "SOLUC.DBF");
  }
  std::string Import(const std::string& lang = "EUSKERA") const {
    return "import --dae " + Q(dae) + " --work " + Q(work.path()) + " --lang " + lang +
           " --levels " + Q(ExamplesDir() / "levels.csv");
  }
  std::string Export(const std::string& extra = "") const {
    return "export --dae " + Q(dae) + " --work " + Q(work.path()) +
           " --centre 012345,2024,1 --documents " + Q(ExamplesDir() / "documents.csv") + " " +
           extra;
  }
};

struct HeldCase {
  const char* file;
  Sharing sharing;
};

std::string CaseName(const HeldCase& c) {
  return std::string(c.file) + (c.sharing == Sharing::Exclusive ? " exclusivo" : " compartido");
}

// ---- A held file of any table that the import changes stops it before
// anything is written, naming that file.

TEST(HeldFiles, ImportStopsBeforeAnythingNamingTheHeldFile) {
  const std::vector<HeldCase> cases = {
      {"PROFT.MDX", Sharing::Exclusive}, {"PROFT.MDX", Sharing::Shared},
      {"PROFT.DBF", Sharing::Exclusive}, {"ASIGNOMT.DBF", Sharing::Shared},
      {"GRUPOST.DBF", Sharing::Exclusive}, {"DIASHORAT.DBF", Sharing::Shared},
      {"daeNIVIMP.DBF", Sharing::Exclusive}, {"daeTIPTAR.DBF", Sharing::Shared},
      {"daeCENTRO.DBF", Sharing::Exclusive},
  };
  School s;
  for (const HeldCase& c : cases) {
    SCOPED_TRACE(CaseName(c));
    const Files before = Snapshot(s.work.path());
    {
      FileHolder holder(s.work / c.file, c.sharing);
      ASSERT_TRUE(holder.held()) << holder.report().line;
      CommandResult r = RunCli(s.Import("CASTELLANO"));
      EXPECT_EQ(r.exitCode, 1) << r.out;
      const std::vector<std::string> errors = Errors(r.out);
      ASSERT_EQ(errors.size(), 1u) << r.out;
      EXPECT_NE(errors[0].find(std::string("'") + c.file + "'"), std::string::npos) << errors[0];
      EXPECT_NE(errors[0].find("en uso por otro programa"), std::string::npos) << errors[0];
      EXPECT_NE(r.out.find("No se ha borrado ni modificado ninguna tabla"), std::string::npos)
          << r.out;
    }
    EXPECT_EQ(Snapshot(s.work.path()), before) << "every table and every copy as it was";
  }
  // Released, the same import goes through.
  CommandResult r = RunCli(s.Import("CASTELLANO"));
  EXPECT_EQ(r.exitCode, 0) << r.out;
  ExpectEveryCopiedFileListed(s.work.path());
}

TEST(HeldFiles, FreshExportStopsNamingAHeldIndexOfItsRecordTables) {
  School s;
  ASSERT_EQ(RunCli(s.Export("--fresh")).exitCode, 0);
  fs::remove(s.dae / "fCUADROS.txt");
  for (const HeldCase& c : std::vector<HeldCase>{{"CUADROH3.MDX", Sharing::Exclusive},
                                                 {"CUADROH3.MDX", Sharing::Shared},
                                                 {"CUADROH2.MDX", Sharing::Shared},
                                                 {"CUADROH2.DBF", Sharing::Exclusive}}) {
    SCOPED_TRACE(CaseName(c));
    const Files before = Snapshot(s.work.path());
    {
      FileHolder holder(s.work / c.file, c.sharing);
      ASSERT_TRUE(holder.held()) << holder.report().line;
      CommandResult r = RunCli(s.Export("--fresh"));
      EXPECT_EQ(r.exitCode, 1) << r.out;
      const std::vector<std::string> errors = Errors(r.out);
      ASSERT_EQ(errors.size(), 1u) << r.out;
      EXPECT_NE(errors[0].find(std::string("'") + c.file + "'"), std::string::npos) << errors[0];
    }
    // Read once the holder let go (Windows lets nobody read what it holds).
    EXPECT_EQ(Snapshot(s.work.path()), before);
    EXPECT_FALSE(fs::exists(s.dae / "fCUADROS.txt"));
  }
}

// ---- The import keeps its holds while it works: another program cannot
// take a table that the import has not replaced yet.

int commitsSeen = 0;
std::vector<std::string> busyAtCommit;
fs::path heldWork;

void CheckHeldAtCommit(store::CommitPoint p) {
  if (p != store::CommitPoint::ReplacementRecorded) return;
  ++commitsSeen;
  for (const char* f : {"PROFT.DBF", "PROFT.MDX", "GRUPOST.DBF", "ASIGNOMT.DBF"})
    if (testsupport::OtherProgramOpens(heldWork / f, Sharing::Shared) ==
        testsupport::OpenOutcome::Busy)
      busyAtCommit.push_back(f);
}

TEST(HeldFiles, TheImportHoldsEveryTableToItsEnd) {
  School s;
  heldWork = s.work.path();
  testsupport::ScriptedUI ui;
  chain::ProcessState state;
  auto wf = std::make_unique<app::MainWorkflow>(ui, state, s.work.path());
  commitsSeen = 0;
  busyAtCommit.clear();
  // The first replacement of the run is daeTIPTAR's: every product table
  // is still the old one, and held.
  struct Reset {
    ~Reset() { store::SetCommitHookForTesting(nullptr); }
  } reset;
  ui.language = "CASTELLANO";
  store::SetCommitHookForTesting([](store::CommitPoint p) {
    if (commitsSeen == 0) CheckHeldAtCommit(p);
  });
  wf->BExportarClick(s.dae.string());
  EXPECT_TRUE(ui.errors.empty()) << (ui.errors.empty() ? "" : ui.errors.front());
  ASSERT_GE(commitsSeen, 1);
  EXPECT_EQ(busyAtCommit,
            (std::vector<std::string>{"PROFT.DBF", "PROFT.MDX", "GRUPOST.DBF", "ASIGNOMT.DBF"}));
  // Waiting at the centre panel: the new tables are held too, as they will
  // still be written (the centre, the level abbreviations).
  ASSERT_TRUE(ui.centreVisible);
  for (const char* f : {"GRUPOST.DBF", "PROFT.MDX", "daeNIVIMP.DBF", "daeCENTRO.DBF"})
    EXPECT_EQ(testsupport::OtherProgramOpens(s.work / f, Sharing::Shared),
              testsupport::OpenOutcome::Busy)
        << f;
  // Their own window objects still open them.
  wf->BitBtn1Click();
  EXPECT_TRUE(ui.errors.empty()) << (ui.errors.empty() ? "" : ui.errors.front());
  EXPECT_TRUE(ui.levelsVisible);
  wf->FinalRecogida();
  EXPECT_TRUE(ui.errors.empty()) << (ui.errors.empty() ? "" : ui.errors.front());
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_EQ(ui.messages.back(), "Proceso finalizado");
  wf->Tables().CloseAll();
  // The chain has ended: the tables are free again.
  for (const char* f : {"GRUPOST.DBF", "PROFT.MDX", "daeNIVIMP.DBF", "daeCENTRO.DBF"})
    EXPECT_EQ(testsupport::OtherProgramOpens(s.work / f, Sharing::Shared),
              testsupport::OpenOutcome::Opened)
        << f;
}

// ---- Read-only tables: refused before anything changes.

void SetReadOnly(const fs::path& p, bool on) {
  const fs::perms w = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  fs::permissions(p, w, on ? fs::perm_options::remove : fs::perm_options::add);
}

TEST(ReadOnlyTables, ImportRefusesNamingTheTableAndChangesNothing) {
  School s;
  for (const char* file :
       {"PROFT.DBF", "PROFT.MDX", "ASIGNOMT.DBF", "daeNIVIMP.DBF", "ASIGT.DBF"}) {
    SCOPED_TRACE(file);
    const Files before = Snapshot(s.work.path());
    SetReadOnly(s.work / file, true);
    CommandResult r = RunCli(s.Import("CASTELLANO"));
    EXPECT_EQ(r.exitCode, 1) << r.out;
    const std::vector<std::string> errors = Errors(r.out);
    ASSERT_EQ(errors.size(), 1u) << r.out;
    EXPECT_NE(errors[0].find(std::string("'") + file + "'"), std::string::npos) << errors[0];
    EXPECT_NE(errors[0].find("es de sólo lectura"), std::string::npos) << errors[0];
    EXPECT_NE(r.out.find("No se ha borrado ni modificado ninguna tabla"), std::string::npos);
    EXPECT_EQ(Snapshot(s.work.path()), before);
    EXPECT_EQ(fs::status(s.work / file).permissions() & fs::perms::owner_write,
              fs::perms::none)
        << "the attribute is kept";
    SetReadOnly(s.work / file, false);
  }
  CommandResult r = RunCli(s.Import("CASTELLANO"));
  EXPECT_EQ(r.exitCode, 0) << r.out;
  for (const auto& e : fs::directory_iterator(s.work.path())) {
    if (e.path().filename() != store::kWorkFolderLockName) {
      EXPECT_EQ(e.path().string().find(".transdae-"), std::string::npos)
          << "nothing of the tool's is left: " << e.path();
    }
  }
}

TEST(ReadOnlyTables, ExportRefusesAReadOnlyTeachersTable) {
  School s;
  const Files before = Snapshot(s.work.path());
  SetReadOnly(s.work / "PROFT.DBF", true);
  CommandResult r = RunCli(s.Export("--fresh"));
  EXPECT_EQ(r.exitCode, 1) << r.out;
  EXPECT_NE(r.out.find("'PROFT.DBF' es de sólo lectura"), std::string::npos) << r.out;
  EXPECT_EQ(Snapshot(s.work.path()), before);
  EXPECT_FALSE(fs::exists(s.dae / "fCUADROS.txt"));
  SetReadOnly(s.work / "PROFT.DBF", false);
}

// ---- One run at a time on a work folder.

TEST(OneRunAtATime, ASecondRunStopsWithoutTouchingTheFirstsFiles) {
  School s;
  const Files before = Snapshot(s.work.path());
  {
    // This test process is the first run.
    store::WorkFolderLock first(s.work.path(), 0);
    for (const std::string& cmd :
         {s.Import("CASTELLANO"), s.Export("--fresh"), "restore --work " + Q(s.work.path()),
          "show PROFT --work " + Q(s.work.path())}) {
      SCOPED_TRACE(cmd);
      CommandResult r = RunCli(cmd);
      EXPECT_EQ(r.exitCode, 1) << r.out;
      EXPECT_NE((r.out + r.err).find("Otra ejecución de la herramienta está usando la carpeta"),
                std::string::npos)
          << r.out << r.err;
      EXPECT_EQ(Snapshot(s.work.path()), before);
    }
  }
  EXPECT_EQ(RunCli("show PROFT --work " + Q(s.work.path())).exitCode, 0);
}

TEST(OneRunAtATime, ImportsStartedTogetherEachFinishOrStopWhole) {
  School s;
  // What one import alone leaves.
  ASSERT_EQ(RunCli(s.Import("CASTELLANO")).exitCode, 0);
  Files alone;
  for (const auto& [name, bytes] : Snapshot(s.work.path()))
    if (name.find('/') == std::string::npos && name != "SOLUC.DBF") alone[name] = bytes;
  auto tables = [&] {
    Files now;
    for (const auto& [name, bytes] : Snapshot(s.work.path()))
      if (name.find('/') == std::string::npos && name != "SOLUC.DBF") now[name] = bytes;
    return now;
  };
  auto sameButDates = [](const Files& a, const Files& b) {
    if (a.size() != b.size()) return false;
    for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j) {
      if (i->first != j->first || i->second.size() != j->second.size()) return false;
      // dBase stamps the date of the last change: bytes 1-3 of either file,
      // 44-46 and each tag header's of an index.
      std::string x = i->second, y = j->second;
      for (size_t k = 0; k < x.size(); ++k)
        if (x[k] != y[k] && !(k >= 1 && k <= 3) && !(k >= 44 && k <= 46) &&
            !(k % 512 >= 257 && k % 512 <= 259))
          return false;
    }
    return true;
  };
  const std::vector<std::string> words = testsupport::SplitShellWords(s.Import("CASTELLANO"));
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("ronda " + std::to_string(round));
    std::vector<std::unique_ptr<testsupport::ChildProcess>> runs;
    for (int i = 0; i < 3; ++i)
      runs.push_back(std::make_unique<testsupport::ChildProcess>(testsupport::CliPath(), words));
    for (auto& p : runs) {
      std::string all, line;
      while (p->ReadLine(line)) all += line + "\n";
      const int code = p->Wait();
      // Read as printed: on Windows in the console's code page.
      all = testsupport::FromPrinted(all);
      const std::string busy = testsupport::AsPrinted("Otra ejecución de la herramienta");
      EXPECT_TRUE(code == 0 || (code == 1 && all.find(busy) != std::string::npos))
          << code << "\n" << all;
    }
    EXPECT_TRUE(sameButDates(tables(), alone)) << "the tables of one whole import";
    ExpectEveryCopiedFileListed(s.work.path());
    CommandResult list = RunCli("restore --list --work " + Q(s.work.path()));
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_EQ(list.out.find("DAÑADA"), std::string::npos) << list.out;
  }
}

// ---- Restore: whole or nothing, and a retry does what was first asked.

std::vector<std::string> CopyFolders(const fs::path& work) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(work / "COPIAS"))
    out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

Files ProductTables(const fs::path& work) {
  Files out;
  for (const auto& e : fs::directory_iterator(work)) {
    const std::string name = e.path().filename().string();
    for (const char* t : {"ASIGNOMT.", "PROFT.", "GRUPOST.", "ASIGT.", "DIASHORAT."})
      if (name.rfind(t, 0) == 0) out[name] = ReadFile(e.path());
  }
  return out;
}

TEST(WholeRestore, AHeldFileStopsItWithNoNewCopyAndTheRetryPutsBackTheImportsCopy) {
  School s;
  const Files first = ProductTables(s.work.path());
  ASSERT_EQ(RunCli(s.Import("CASTELLANO")).exitCode, 0);
  const Files second = ProductTables(s.work.path());
  ASSERT_NE(first, second);
  const std::vector<std::string> copies = CopyFolders(s.work.path());
  for (const HeldCase& c : std::vector<HeldCase>{{"PROFT.MDX", Sharing::Exclusive},
                                                 {"PROFT.MDX", Sharing::Shared},
                                                 {"GRUPOST.DBF", Sharing::Exclusive}}) {
    SCOPED_TRACE(CaseName(c));
    const Files before = Snapshot(s.work.path());
    {
      FileHolder holder(s.work / c.file, c.sharing);
      ASSERT_TRUE(holder.held());
      CommandResult r = RunCli("restore --work " + Q(s.work.path()));
      EXPECT_EQ(r.exitCode, 1);
      EXPECT_NE(r.err.find(std::string("'") + c.file + "'"), std::string::npos) << r.err;
      EXPECT_NE(r.err.find("No se ha cambiado ninguna tabla"), std::string::npos) << r.err;
    }
    EXPECT_EQ(Snapshot(s.work.path()), before) << "no table and no new copy";
  }
  SetReadOnly(s.work / "ASIGNOMT.DBF", true);
  CommandResult ro = RunCli("restore --work " + Q(s.work.path()));
  EXPECT_EQ(ro.exitCode, 1);
  EXPECT_NE(ro.err.find("'ASIGNOMT.DBF' es de sólo lectura"), std::string::npos) << ro.err;
  SetReadOnly(s.work / "ASIGNOMT.DBF", false);
  EXPECT_EQ(CopyFolders(s.work.path()), copies);
  // The retry does what was asked first: the import's copy comes back.
  CommandResult r = RunCli("restore --work " + Q(s.work.path()));
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(ProductTables(s.work.path()), first);
}

// A restore killed before its swap leaves staged files and a pending safety
// copy; one killed after recording its swap leaves the record. The next run
// undoes the first and finishes the second.
TEST(WholeRestore, WhatAKilledRestoreLeftIsUndoneOrFinished) {
  School s;
  const Files first = ProductTables(s.work.path());
  ASSERT_EQ(RunCli(s.Import("CASTELLANO")).exitCode, 0);
  const Files second = ProductTables(s.work.path());
  const std::vector<std::string> copies = CopyFolders(s.work.path());
  ASSERT_FALSE(copies.empty());
  const fs::path newest = s.work / "COPIAS" / copies.back();

  // Killed before the swap: a pending copy and a staged file.
  const fs::path pending = s.work / "COPIAS" / "999998-20260101-000000";
  fs::create_directory(pending);
  fs::copy_file(s.work / "PROFT.DBF", pending / "PROFT.DBF");
  WriteFile(pending / "COPIA.TXT",
            "transdae: copia de tablas de Dolvarin, formato 1\nnumero 999998\nfecha x\n"
            "motivo antes de volver a poner la copia 000001\npendiente\n");
  WriteFile(s.work / "PROFT.DBF.transdae-restaura", ReadFile(newest / "PROFT.DBF"));
  WriteFile(s.work / ".transdae-restauracion", "TDREST01\nC 999998-20260101-000000\nM PROFT");
  CommandResult list = RunCli("restore --list --work " + Q(s.work.path()));
  EXPECT_EQ(list.exitCode, 0);
  EXPECT_EQ(list.out.find("999998"), std::string::npos) << list.out;
  EXPECT_FALSE(fs::exists(pending));
  EXPECT_FALSE(fs::exists(s.work / "PROFT.DBF.transdae-restaura"));
  EXPECT_FALSE(fs::exists(s.work / ".transdae-restauracion"));
  EXPECT_EQ(ProductTables(s.work.path()), second);

  // Killed in the swap: ASIGNOMT already in place, PROFT still staged.
  ASSERT_EQ(RunCli("restore --work " + Q(s.work.path())).exitCode, 0);
  ASSERT_EQ(ProductTables(s.work.path()), first);
  const std::vector<std::string> now = CopyFolders(s.work.path());
  const fs::path undo = s.work / "COPIAS" / now.back();  // the tables of the second import
  for (const char* f : {"PROFT.DBF", "PROFT.MDX", "GRUPOST.DBF"})
    WriteFile(s.work / (std::string(f) + ".transdae-restaura"), ReadFile(undo / f));
  WriteFile(s.work / "ASIGNOMT.DBF", ReadFile(undo / "ASIGNOMT.DBF"));
  std::string body = "TDREST01\nC " + now.back() + "\n";
  for (const char* f : {"ASIGNOMT.DBF", "PROFT.DBF", "PROFT.MDX", "GRUPOST.DBF"})
    body += std::string("M ") + f + ".transdae-restaura\t" + f + "\n";
  // The checksum as the tool writes it.
  uint64_t h = 1469598103934665603ULL;
  for (unsigned char c : body) h = (h ^ c) * 1099511628211ULL;
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  WriteFile(s.work / ".transdae-restauracion", body + "S " + hex + "\n");
  CommandResult show = RunCli("show PROFT --work " + Q(s.work.path()));
  EXPECT_EQ(show.exitCode, 0) << show.err;
  Files expected = second;
  expected.erase("ASIGT.DBF");
  expected.erase("DIASHORAT.DBF");
  Files got = ProductTables(s.work.path());
  got.erase("ASIGT.DBF");
  got.erase("DIASHORAT.DBF");
  EXPECT_EQ(got, expected) << "the recorded swap is finished";
  EXPECT_FALSE(fs::exists(s.work / ".transdae-restauracion"));
}

// ---- restore --list shows a damaged copy as damaged.

TEST(DamagedCopies, ListedAsDamagedNotHidden) {
  School s;
  ASSERT_EQ(RunCli(s.Import("CASTELLANO")).exitCode, 0);
  ASSERT_EQ(RunCli(s.Import("EUSKERA")).exitCode, 0);
  const std::vector<std::string> copies = CopyFolders(s.work.path());
  ASSERT_GE(copies.size(), 2u);
  const fs::path edited = s.work / "COPIAS" / copies[0];
  const fs::path bitten = s.work / "COPIAS" / copies[1];
  std::string manifest = ReadFile(edited / "COPIA.TXT");
  manifest.replace(manifest.find("tabla PROFT"), 11, "tabla PROFX");
  WriteFile(edited / "COPIA.TXT", manifest);
  std::string bytes = ReadFile(bitten / "PROFT.DBF");
  bytes[bytes.size() - 5] ^= 0x20;
  WriteFile(bitten / "PROFT.DBF", bytes);
  CommandResult list = RunCli("restore --list --work " + Q(s.work.path()));
  EXPECT_EQ(list.exitCode, 0) << list.err;
  const std::vector<std::string> lines = SplitLines(list.out);
  auto lineOf = [&lines](const std::string& start) {
    for (size_t i = 0; i < lines.size(); ++i)
      if (lines[i].rfind(start, 0) == 0) return i;
    return lines.size();
  };
  const size_t a = lineOf(copies[0]);
  ASSERT_LT(a, lines.size()) << list.out;
  EXPECT_NE(lines[a].find("DAÑADA"), std::string::npos) << lines[a];
  const size_t b = lineOf(copies[1]);
  ASSERT_LT(b + 1, lines.size()) << list.out;
  EXPECT_NE(lines[b + 1].find("DAÑADA: el archivo PROFT.DBF no es el que se guardó"),
            std::string::npos)
      << list.out;
  // Neither is used or removed.
  CommandResult r = RunCli("restore --from " + copies[1] + " --work " + Q(s.work.path()));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("está dañada"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::exists(edited / "PROFT.DBF"));
}

}  // namespace
