// Cost per record of the table store as tables grow: appending to a table
// with four index tags, looking keys up, walking in key order. Near-flat
// per-record figures across 1,000 / 10,000 / 100,000 records show that
// every keyed step stays logarithmic.
//
// Targets: appending with four tags in one transaction (as the expansion
// does) at most 3 us per record at 100,000 records, commit included;
// FindKey at most 1 us. BM_PostDurable is the cost of one Post outside a
// transaction, on disk (journal and syncs) when it returns.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "store/table.h"
#include "store/transaction.h"

namespace fs = std::filesystem;
using namespace store;

namespace {

fs::path MakeTempFolder() {
  std::string tmpl = (fs::temp_directory_path() / "store-bench-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) std::abort();
  return tmpl;
}

// The key of record i: teacher, day, session, as the export builds it.
std::string KeyOf(int i) {
  char k[8];
  unsigned h = static_cast<unsigned>(i) * 2654435761u;
  std::snprintf(k, sizeof k, "%c%c%02u%1u%02u", 'A' + (h >> 8) % 26, 'A' + (h >> 13) % 26,
                (h >> 18) % 100, 1 + i % 5, (i / 5) % 100);
  return k;
}

void CreateCuadro(const fs::path& folder) {
  Table t;
  t.SetDatabaseName(folder);
  t.SetTableName("CUADROH2");
  auto& f = t.FieldDefsList();
  f.push_back({"ABREVPROF", FieldType::String, 4});
  f.push_back({"DOC", FieldType::String, 15});
  f.push_back({"PROF_DIA_SES", FieldType::String, 7});
  f.push_back({"DIA_SES", FieldType::String, 3});
  f.push_back({"AULA_OBS", FieldType::String, 30});
  for (const char* tag : {"ABREVPROF", "DOC", "PROF_DIA_SES", "DIA_SES"}) {
    t.IndexDefsList().push_back({tag, tag});
  }
  t.CreateTable();
}

void AppendRecords(Table& t, int from, int to) {
  for (int i = from; i < to; ++i) {
    const std::string key = KeyOf(i);
    t.Append();
    t.FieldByName("ABREVPROF").SetAsString(key.substr(0, 4));
    t.FieldByName("DOC").SetAsString(std::to_string(10000000 + i) + "Z");
    t.FieldByName("PROF_DIA_SES").SetAsString(key);
    t.FieldByName("DIA_SES").SetAsString(key.substr(4));
    t.FieldByName("AULA_OBS").SetAsString("Aula " + std::to_string(i % 40));
    t.Post();
  }
}

// A filled table per size, made once and kept for the lookup benchmarks.
const fs::path& FilledTable(int n) {
  static std::map<int, fs::path> made;
  auto it = made.find(n);
  if (it != made.end()) return it->second;
  fs::path folder = MakeTempFolder();
  CreateCuadro(folder);
  Table t;
  t.SetDatabaseName(folder);
  t.SetTableName("CUADROH2");
  t.SetExclusive(true);
  t.Open();
  Transaction tx(t);
  AppendRecords(t, 0, n);
  tx.Commit();
  return made[n] = folder;
}

void BM_AppendWithFourTags(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    fs::path folder = MakeTempFolder();
    CreateCuadro(folder);
    auto t = std::make_unique<Table>();
    t->SetDatabaseName(folder);
    t->SetTableName("CUADROH2");
    t->SetExclusive(true);
    t->Open();
    state.ResumeTiming();
    {
      Transaction tx(*t);
      AppendRecords(*t, 0, n);
      tx.Commit();
    }
    state.PauseTiming();
    t.reset();
    fs::remove_all(folder);
    state.ResumeTiming();
  }
  state.counters["per_record"] = benchmark::Counter(
      static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Appending to a table that already holds n records: the cost of one more
// durable Post.
void BM_PostDurable(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  fs::path folder = MakeTempFolder();
  fs::copy(FilledTable(n), folder, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  Table t;
  t.SetDatabaseName(folder);
  t.SetTableName("CUADROH2");
  t.SetExclusive(true);
  t.Open();
  int next = n;
  for (auto _ : state) {
    AppendRecords(t, next, next + 1);
    ++next;
  }
  t.Close();
  fs::remove_all(folder);
  state.SetItemsProcessed(state.iterations());
}

void BM_FindKey(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Table t;
  t.SetDatabaseName(FilledTable(n));
  t.SetTableName("CUADROH2");
  t.SetIndexName("PROF_DIA_SES");
  t.Open();
  std::mt19937 rng(7);
  int found = 0;
  for (auto _ : state) {
    found += t.FindKey(KeyOf(static_cast<int>(rng() % static_cast<unsigned>(n))));
  }
  if (found != static_cast<int>(state.iterations())) state.SkipWithError("a key was not found");
  state.SetItemsProcessed(state.iterations());
}

void BM_WalkInKeyOrder(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Table t;
  t.SetDatabaseName(FilledTable(n));
  t.SetTableName("CUADROH2");
  t.SetIndexName("PROF_DIA_SES");
  t.Open();
  for (auto _ : state) {
    int seen = 0;
    for (t.First(); !t.Eof(); t.Next()) ++seen;
    if (seen != n) state.SkipWithError("walk missed records");
  }
  state.counters["per_record"] = benchmark::Counter(
      static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_AppendWithFourTags)->Arg(1000)->Arg(10000)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PostDurable)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindKey)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WalkInKeyOrder)->Arg(1000)->Arg(10000)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);

// Opening a table with four tags: the first opening in the process checks
// every tag against the records (one pass over the table, one walk per
// tag). Reported per record.
void BM_OpenWithIndexCheck(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const fs::path& folder = FilledTable(n);
  for (auto _ : state) {
    Table t;
    t.SetDatabaseName(folder);
    t.SetTableName("CUADROH2");
    t.SetIndexName("PROF_DIA_SES");
    t.Open();
    benchmark::DoNotOptimize(t.RecNo());
    t.Close();
  }
  state.counters["per_record"] =
      benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate |
                                                     benchmark::Counter::kInvert);
}
BENCHMARK(BM_OpenWithIndexCheck)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
