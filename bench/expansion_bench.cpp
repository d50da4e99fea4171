// The timetable expansion on a synthetic school of 300 teachers, at a few
// sizes of the timetable solution, so that its growth with the number of
// solution rows shows: a first export (fresh tables) and a refresh that
// keeps the previous export.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>

#include "chain/main_tables.h"
#include "chain/step_context.h"
#include "dae_export/ajusta_dae.h"
#include "dae_export/timetable_expansion.h"
#include "dae_export/timetable_template.h"
#include "dae_import/groups_import.h"
#include "store/table.h"
#include "store/work_folder.h"
#include "tests/support/scripted_ui.h"

namespace {

namespace fs = std::filesystem;

constexpr int kTeachers = 300;
constexpr int kGroups = 120;
constexpr int kSubjects = 150;

store::FieldDef Str(const char* name, int width) {
  store::FieldDef f;
  f.name = name;
  f.width = width;
  return f;
}
store::FieldDef Num(const char* name) {
  store::FieldDef f;
  f.name = name;
  f.type = store::FieldType::Integer;
  f.width = 2;
  return f;
}

void Make(const fs::path& work, const char* name, store::FieldDefs fields,
          store::IndexDefs tags = {}) {
  store::Table t;
  t.SetDatabaseName(work);
  t.SetTableName(name);
  t.FieldDefsList() = std::move(fields);
  t.IndexDefsList() = std::move(tags);
  t.CreateTable();
}

std::string Teacher(int i) { return "T" + std::to_string(i); }
std::string Group(int i) { return "G" + std::to_string(i); }
std::string Subject(int i) { return "S" + std::to_string(i); }

// A school whose timetable has `rows` lessons, each at its own teacher,
// day and hour (teachers round-robin, then days, then hours).
struct School {
  fs::path work;
  explicit School(int rows) {
    work = fs::temp_directory_path() /
           ("transdae-bench-" + std::to_string(::getpid()) + "-" + std::to_string(rows));
    fs::remove_all(work);
    fs::create_directories(work);
    Make(work, "PROFT.DBF",
         {Str("ABREV", 4), Str("NOMBRE", 40), Str("DEPART", 40), Str("DNI", 15),
          Str("TIPODNI", 1)},
         {store::IndexDef{"ABREV", "ABREV"}});
    Make(work, "GRUPOST.DBF",
         {Str("ABREV", 4), Str("CODGRUDAE", 5), Str("NIVELDAE", 3), Str("NUMALUMN", 2)});
    Make(work, "ASIGNOMT.DBF", {Str("COD", 4), Str("CODIGODAE", 4)});
    Make(work, "SOLUC.DBF",
         {Str("ASIG", 4), Str("PROF", 4), Str("CODGRUPO", 4), Str("AULA", 4),
          Num("DIA"), Num("HORA"), Num("SESIONES"), Str("TAREA", 3)});
    Fill("PROFT.DBF", kTeachers, [](store::Table& t, int i) {
      t.FieldByName("ABREV").SetAsString(Teacher(i));
      t.FieldByName("DNI").SetAsString(std::to_string(10000000 + i) + "A");
      t.FieldByName("TIPODNI").SetAsString("1");
    });
    Fill("GRUPOST.DBF", kGroups, [](store::Table& t, int i) {
      t.FieldByName("ABREV").SetAsString(Group(i));
      t.FieldByName("CODGRUDAE").SetAsString(std::to_string(10000 + i));
      t.FieldByName("NIVELDAE").SetAsString("SEC");
      t.FieldByName("NUMALUMN").SetAsString(std::to_string(15 + i % 20));
    });
    Fill("ASIGNOMT.DBF", kSubjects, [](store::Table& t, int i) {
      t.FieldByName("COD").SetAsString(Subject(i));
      t.FieldByName("CODIGODAE").SetAsString(std::to_string(1000 + i));
    });
    std::mt19937 rng(7);
    Fill("SOLUC.DBF", rows, [&](store::Table& t, int i) {
      const int slot = i / kTeachers;
      t.FieldByName("PROF").SetAsString(Teacher(i % kTeachers));
      t.FieldByName("DIA").SetAsInteger(slot % 5 + 1);
      t.FieldByName("HORA").SetAsInteger(slot / 5 + 1);
      t.FieldByName("SESIONES").SetAsInteger(1 + (rng() % 8 == 0));
      t.FieldByName("ASIG").SetAsString(Subject(int(rng() % kSubjects)));
      // One lesson in ten is a task without group.
      if (rng() % 10) t.FieldByName("CODGRUPO").SetAsString(Group(int(rng() % kGroups)));
      else t.FieldByName("TAREA").SetAsString("G01");
      t.FieldByName("AULA").SetAsString("A" + std::to_string(rng() % 100));
    });
    dae_export::EnsurePlantilla(work);
    // What the coding window opens besides the records.
    dae_import::CreaTablaCentro(work);
    for (const char* code : {"daeTIPDOC.DBF", "daeTIPTAR.DBF", "daeGRUPNIV.DBF",
                             "daeASIGNAT.DBF", "daeIDIOMA.DBF", "daeOTRACT.DBF"})
      Make(work, code, {Str("COD", 5)});
  }
  ~School() {
    std::error_code ec;
    fs::remove_all(work, ec);
  }
  template <typename Fn>
  void Fill(const char* name, int n, Fn fn) {
    store::Table t;
    t.SetDatabaseName(work);
    t.SetTableName(name);
    t.Open();
    for (int i = 0; i < n; ++i) {
      t.Append();
      fn(t, i);
      t.Post();
    }
    t.Close();
  }
  void Export(bool keep) {
    testsupport::ScriptedUI ui;
    if (keep) ui.answers = {chain::Answer::Yes, chain::Answer::No};
    chain::ProcessState state;
    chain::MainTables tables(work);
    chain::StepContext ctx{ui, state, work, (work / "").string()};
    dae_export::Importar2(ctx, tables);
  }
  void DropRecords() {
    for (const char* f : {"CUADROH2.DBF", "CUADROH2.MDX", "CUADROH3.DBF", "CUADROH3.MDX"})
      store::DeleteFileNoCase(work, f);
  }
};

void BM_ExpansionFresh(benchmark::State& state) {
  School school(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    school.DropRecords();
    state.ResumeTiming();
    school.Export(false);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ExpansionKept(benchmark::State& state) {
  School school(static_cast<int>(state.range(0)));
  school.Export(false);
  for (auto _ : state) school.Export(true);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The coding window's at-a-glance count, which the window refreshes as the
// user edits: it reads every record of both tables.
void BM_PendingSummary(benchmark::State& state) {
  School school(static_cast<int>(state.range(0)));
  school.Export(false);
  testsupport::ScriptedUI ui;
  chain::ProcessState ps;
  dae_export::AjustaDAE window(ui, ps, school.work);
  window.FormCreate();
  int cells = 0;
  for (auto _ : state) cells = window.PendingSummary().blankCodableCells;
  state.counters["blank_cells"] = cells;
}

BENCHMARK(BM_ExpansionFresh)->Arg(5000)->Arg(10000)->Arg(20000)
    ->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ExpansionKept)->Arg(5000)->Arg(10000)->Arg(20000)
    ->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_PendingSummary)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
