// The timetable expansion: the solution SOLUC becomes the DAE records.
//
// SOLUC is written by the timetabling product: one row per lesson placed at
// a day and hour, with the fields ASIG, PROF, CODGRUPO, AULA (character),
// DIA, HORA, SESIONES (numeric, of any width and decimals) and TAREA. Its
// rows are walked in physical order; deleted rows do not count, and rows
// with day 0 or without a teacher are skipped. Each remaining row gives
// the key PROF_DIA_SES and, under it, one type 2 record (CUADROH2) and,
// when it names a group, one type 3 record (CUADROH3).
//
// Derived values of a row:
//   teacher's document   DNI and TIPODNI of PROFT (tag ABREV); a teacher
//                        missing there is appended once with only ABREV
//   start, end           HORAINI of PLANTILLA's row HORA; HORAFIN of the
//                        same row, or of row HORA + SESIONES when SESIONES
//                        is 2 or more; empty when the template lacks it
//   group                the first GRUPOST row whose ABREV equals CODGRUPO:
//                        NIVELDAE (padded/cut to 3), CODGRUDAE, NUMALUMN
//   subject code         CODIGODAE (cut to 4) of the first ASIGNOMT row
//                        whose COD equals ASIG
//   task                 TAREA, or "101" when blank and the group exists
//
// A previous export can be kept: its records are found again by their key
// and refreshed. The DAE codes that the user gave (document, task, group
// level, group code) are written only where still blank, or for the group
// code only when the record's group changed; pupils are never erased by an
// empty value. Every record written gets the mark REG_MOD "S"; the sweep at
// the end deletes the records still marked "N" (sessions that left the
// timetable) and marks the rest "N" again. When deleted records then
// outnumber live ones, the table is packed.
//
// GRUPOST and ASIGNOMT carry no index: each is read once into a table of
// its first row per abbreviation, which answers exactly what a scan from
// the first row would.
#include "dae_export/timetable_expansion.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <optional>
#include <tuple>
#include <unordered_map>

#include "dae_export/ajusta_dae.h"
#include "dae_export/blank_text.h"
#include "dae_export/record_tables.h"
#include "dae_export/records_by_key.h"
#include "store/record_reader.h"
#include "store/store_error.h"
#include "store/table.h"
#include "store/transaction.h"
#include "store/work_folder.h"

namespace dae_export {

namespace {

constexpr const char* kKeepQuestion =
    "Si Conserva los Datos de la Exportación Anterior,\r"
    "estos se ajustarán a los cambios hechos en el horario,\r"
    "pero se conservarán los Códigos DAE puestos anteriormente.\r"
    "¿Desea Conservar los Datos de la Exportación Anterior?";

std::string CodingOnlyQuestion() {
  return "Si desea acceder directamente a la Codificación DAE, pulse SÍ.\r" +
         std::string(61, ' ') +
         "\rSi desea Exportar Nuevamente Conservando Datos, pulse NO.";
}

constexpr const char* kFinished = "Proceso finalizado";
constexpr const char* kNotFinished =
    "!!ATENCIÓN!! El Proceso NO ha finalizado Correctamente";

struct GroupInfo {
  std::string level, code, pupils;
};
struct TimeRow {
  std::string ini, fin;
};

int RequiredField(const store::Table& t, const std::string& name) {
  int i = t.FieldIndex(name);
  if (i < 0) throw store::StoreError(store::texts::FieldNotFound(name));
  return i;
}

// The first row per value of keyField, in the table's current order, with
// the values of the other fields. An empty table needs no fields.
std::unordered_map<std::string, std::vector<std::string>> FirstRowPerKey(
    const store::Table& t, const char* keyField,
    const std::vector<const char*>& valueFields) {
  std::unordered_map<std::string, std::vector<std::string>> out;
  const std::vector<uint32_t> recs = t.VisibleRecords();
  if (recs.empty()) return out;
  const int key = RequiredField(t, keyField);
  std::vector<int> values;
  for (const char* f : valueFields) values.push_back(RequiredField(t, f));
  for (uint32_t rec : recs) {
    std::string k = t.ValueAt(rec, key);
    if (out.count(k)) continue;
    std::vector<std::string> v;
    for (int f : values) v.push_back(t.ValueAt(rec, f));
    out.emplace(std::move(k), std::move(v));
  }
  return out;
}

std::string Cut(const std::string& s, size_t n) { return s.substr(0, n); }

// Opens the main window's tables for the expansion and closes them when
// it ends, also when an error ends it.
class MainTablesInUse {
 public:
  explicit MainTablesInUse(chain::MainTables& t) : t_(t) {}
  ~MainTablesInUse() {
    for (store::Table* x : {&t_.wwTableSoluc, &t_.wwTableGrupos,
                            &t_.wwTableProfesor, &t_.wwTableNomAsg}) {
      try {
        if (x->Active()) x->Close();
      } catch (...) {
      }
    }
  }

 private:
  chain::MainTables& t_;
};

// Number of records in a .DBF, deleted ones included (header bytes 4-7).
std::optional<uint32_t> StoredRecordCount(const std::filesystem::path& dbf) {
  std::ifstream f(dbf, std::ios::binary);
  unsigned char b[8];
  if (!f.read(reinterpret_cast<char*>(b), 8)) return std::nullopt;
  return uint32_t(b[4]) | uint32_t(b[5]) << 8 | uint32_t(b[6]) << 16 |
         uint32_t(b[7]) << 24;
}

// A field of an open table, looked up by name the first time it is used.
class FieldOnFirstUse {
 public:
  FieldOnFirstUse(store::Table& table, const char* name) : table_(table), name_(name) {}
  store::Field& Get() {
    if (!field_) field_ = &table_.FieldByName(name_);
    return *field_;
  }

 private:
  store::Table& table_;
  const char* name_;
  store::Field* field_ = nullptr;
};

// Deletes the records not refreshed by this run and marks the others for
// the next one. Returns how many records remain.
size_t Sweep(store::Table& t) {
  t.SetIndexName("");  // any order will do: physical order is the cheapest
  const int mark = RequiredField(t, "REG_MOD");
  std::vector<uint32_t> keep;
  for (uint32_t rec : t.VisibleRecords()) {
    if (t.ValueAt(rec, mark) == kNotRefreshed) {
      t.GotoRecord(rec);
      t.Delete();
    } else {
      keep.push_back(rec);
    }
  }
  FieldOnFirstUse regMod{t, "REG_MOD"};
  for (uint32_t rec : keep) {
    t.GotoRecord(rec);
    t.Edit();
    regMod.Get().SetAsString(kNotRefreshed);
    t.Post();
  }
  return keep.size();
}

size_t LiveRecords(store::Table& t) {
  t.SetIndexName("");
  return t.VisibleRecords().size();
}

void PackWhenMostlyDeleted(const std::filesystem::path& folder,
                           const char* name, size_t live) {
  store::Table t;
  t.SetDatabaseName(folder);
  t.SetTableName(name);
  std::optional<uint32_t> stored = StoredRecordCount(t.FilePath());
  if (stored && *stored > live && *stored - live > live) t.Pack();
}

// fresh: CUADROH2 and CUADROH3 are made anew, built beside the old ones
// and put in their place when the expansion has filled them.
void Expand(chain::StepContext& ctx, chain::MainTables& mt, bool fresh) {
  MainTablesInUse inUse(mt);
  store::Table& soluc = mt.wwTableSoluc;
  store::Table& grupos = mt.wwTableGrupos;
  store::Table& prof = mt.wwTableProfesor;
  store::Table& asig = mt.wwTableNomAsg;
  soluc.Open();
  grupos.Open();
  prof.SetIndexName("ABREV");
  prof.Open();
  asig.Open();

  store::Table h2, h3, plantilla;
  for (auto [t, name, tag] :
       {std::tuple{&h2, kCuadroH2, "PROF_DIA_SES"},
        std::tuple{&h3, kCuadroH3, "PROF_DIA_SES"},
        std::tuple{&plantilla, "PLANTILLA.DBF", "HORA"}}) {
    if (fresh && t != &plantilla) CreaTablaCuadro(*t, ctx.workFolder, name);
    t->SetDatabaseName(ctx.workFolder);
    t->SetTableName(name);
    t->SetIndexName(tag);
    t->Open();
  }
  // Each table that the expansion changes in place changes as a whole:
  // a failure or a kill before its commit leaves it as it was.
  store::Transaction teachersChange(prof), cuadroH2Change(h2), cuadroH3Change(h3);
  // Tables made afresh are filled first and indexed at once when they are
  // committed. Every record in them is this run's, so the record a key
  // leads to is the first one written under it: that is what a search of
  // the index would find, kept here instead.
  RecordsByKey h2Written, h3Written;
  if (fresh) {
    cuadroH2Change.DeferIndex();
    cuadroH3Change.DeferIndex();
    // About one key per row of SOLUC: room made once (past a million rows
    // the tables grow as they fill).
    if (const std::optional<uint32_t> rows = StoredRecordCount(soluc.FilePath())) {
      h2Written.Reserve(std::min<uint32_t>(*rows, 1u << 20));
      h3Written.Reserve(std::min<uint32_t>(*rows, 1u << 20));
    }
  }
  // Makes the record of key current for editing, or starts a new one
  // (true: a new, blank record).
  auto editOrAppend = [fresh](store::Table& t, RecordsByKey& written,
                              const std::string& key) -> bool {
    if (fresh) {
      if (const uint32_t rec = written.Find(key)) {
        t.GotoRecord(rec);
        t.Edit();
        return false;
      }
    } else if (t.FindKey(key)) {
      t.Edit();
      return false;
    }
    t.Append();
    return true;
  };
  // After the post: a new record of key, in a table made afresh, is the
  // one that key leads to from now on.
  auto posted = [fresh](store::Table& t, RecordsByKey& written, const std::string& key) {
    if (fresh) written.Add(key, t.RecNo());
  };

  // Look-up tables read once.
  std::unordered_map<std::string, GroupInfo> groups;
  for (auto& [abrev, v] :
       FirstRowPerKey(grupos, "ABREV", {"NIVELDAE", "CODGRUDAE", "NUMALUMN"})) {
    std::string level = Cut(v[0], 3);
    level.resize(3, ' ');
    groups.emplace(abrev, GroupInfo{level, v[1], v[2]});
  }
  std::unordered_map<std::string, std::string> subjects;
  for (auto& [cod, v] : FirstRowPerKey(asig, "COD", {"CODIGODAE"}))
    subjects.emplace(cod, Cut(v[0], 4));
  std::unordered_map<int, TimeRow> times;
  {
    const std::vector<uint32_t> recs = plantilla.VisibleRecords();
    for (uint32_t rec : recs) {
      plantilla.GotoRecord(rec);
      int h = plantilla.FieldByName("HORA").AsInteger();
      if (times.count(h)) continue;
      times.emplace(h, TimeRow{plantilla.FieldByName("HORAINI").AsString(),
                               plantilla.FieldByName("HORAFIN").AsString()});
    }
  }
  struct Teacher {
    std::string dni, tipoDni;
  };
  std::unordered_map<std::string, Teacher> teachers;

  // The fields of SOLUC read for every row, each row read once.
  store::RecordReader row(soluc);
  const int sProf = row.Add("PROF"), sDia = row.Add("DIA"), sHora = row.Add("HORA"),
            sSes = row.Add("SESIONES"), sGrupo = row.Add("CODGRUPO"), sAsig = row.Add("ASIG"),
            sAula = row.Add("AULA"), sTarea = row.Add("TAREA");

  // The fields written for every row, found on first use.
  FieldOnFirstUse h2Tipreg{h2, "TIPREG"};
  FieldOnFirstUse h2Tipdoc{h2, "TIPDOC"};
  FieldOnFirstUse h2Abrevprof{h2, "ABREVPROF"};
  FieldOnFirstUse h2Doc{h2, "DOC"};
  FieldOnFirstUse h2Numsesion{h2, "NUMSESION"};
  FieldOnFirstUse h2Diasem{h2, "DIASEM"};
  FieldOnFirstUse h2Tiptar{h2, "TIPTAR"};
  FieldOnFirstUse h2Horaini{h2, "HORAINI"};
  FieldOnFirstUse h2Horafin{h2, "HORAFIN"};
  FieldOnFirstUse h2Grupniv{h2, "GRUPNIV"};
  FieldOnFirstUse h2Abrevasig{h2, "ABREVASIG"};
  FieldOnFirstUse h2Codasig{h2, "CODASIG"};
  FieldOnFirstUse h2Tipasig{h2, "TIPASIG"};
  FieldOnFirstUse h2Idioma{h2, "IDIOMA"};
  FieldOnFirstUse h2AulaObs{h2, "AULA_OBS"};
  FieldOnFirstUse h2TipActiv{h2, "TIP_ACTIV"};
  FieldOnFirstUse h2ProfDiaSes{h2, "PROF_DIA_SES"};
  FieldOnFirstUse h2DiaSes{h2, "DIA_SES"};
  FieldOnFirstUse h2RegMod{h2, "REG_MOD"};
  FieldOnFirstUse h3Tipreg{h3, "TIPREG"};
  FieldOnFirstUse h3Codgrupo{h3, "CODGRUPO"};
  FieldOnFirstUse h3Tipdoc{h3, "TIPDOC"};
  FieldOnFirstUse h3Abrevprof{h3, "ABREVPROF"};
  FieldOnFirstUse h3Doc{h3, "DOC"};
  FieldOnFirstUse h3Numsesgrup{h3, "NUMSESGRUP"};
  FieldOnFirstUse h3Diasem{h3, "DIASEM"};
  FieldOnFirstUse h3ProfDiaSes{h3, "PROF_DIA_SES"};
  FieldOnFirstUse h3RegMod{h3, "REG_MOD"};
  FieldOnFirstUse h3Abrevgrup{h3, "ABREVGRUP"};
  FieldOnFirstUse h3Numalum{h3, "NUMALUM"};
  auto set = [](FieldOnFirstUse& f, std::string_view v) { f.Get().SetAsString(v); };
  // A table made afresh holds only the records this run writes: the sweep
  // would delete none of them and mark them all "N", so they are written
  // with that mark at once.
  const std::string written = fresh ? kNotRefreshed : kRefreshed;
  // A new record is blank throughout: what is written only where a field
  // is blank is written without reading it.
  auto setIfBlank = [](bool isNew, FieldOnFirstUse& f, std::string_view v) {
    if (isNew || IsBlank(f.Get().AsString())) f.Get().SetAsString(v);
  };

  soluc.First();
  for (; !soluc.Eof(); soluc.Next()) {
    row.Load(soluc.RecNo());
    const std::string profText(row.Text(sProf));
    if (row.Integer(sDia) == 0 || profText.empty()) continue;

    // Teacher.
    auto tIt = teachers.find(profText);
    if (tIt == teachers.end()) {
      Teacher teacher;
      if (prof.FindKey(profText)) {
        teacher.dni = prof.FieldByName("DNI").AsString();
        teacher.tipoDni = prof.FieldByName("TIPODNI").AsString();
      } else {
        prof.AppendValues({profText, std::string(), std::string(), std::string()});
      }
      tIt = teachers.emplace(profText, teacher).first;
    }
    const Teacher& teacher = tIt->second;

    const int hora = row.Integer(sHora);
    const std::string key = BuildProfDiaSes(profText, std::string(row.Text(sDia)), hora);

    // Times.
    std::string_view start, end;
    if (auto it = times.find(hora); it != times.end()) start = it->second.ini;
    const int sesiones = row.Integer(sSes);
    const int endHour = sesiones < 2 ? hora : hora + sesiones;
    if (auto it = times.find(endHour); it != times.end()) end = it->second.fin;

    // Group and subject.
    const std::string groupAbbrev(row.Text(sGrupo));
    const GroupInfo* group = nullptr;
    if (auto it = groups.find(groupAbbrev); it != groups.end()) group = &it->second;
    const std::string subjectAbbrev(row.Text(sAsig));
    std::string_view subjectCode;
    if (auto it = subjects.find(subjectAbbrev); it != subjects.end())
      subjectCode = it->second;

    std::string_view task = row.Text(sTarea);
    if (IsBlank(task)) task = group ? "101" : "";
    const std::string_view room = row.Text(sAula).substr(0, 30);

    // Type 2 record.
    const bool new2 = editOrAppend(h2, h2Written, key);
    set(h2Tipreg, "2");
    setIfBlank(new2, h2Tipdoc, teacher.tipoDni);
    set(h2Abrevprof, KeyTeacher(key));
    setIfBlank(new2, h2Doc, teacher.dni);
    set(h2Numsesion, KeySession(key));
    set(h2Diasem, KeyDay(key));
    setIfBlank(new2, h2Tiptar, task);
    set(h2Horaini, start);
    set(h2Horafin, end);
    setIfBlank(new2, h2Grupniv, group ? std::string_view(group->level) : std::string_view());
    // The DAE codes that the user gave a kept record stay, as the question
    // that kept them promised: the subject code and the language while the
    // record still holds the same subject, the activity code as long as it
    // is not blank. A new subject takes its code from ASIGNOMT again; a new
    // record has no codes to keep.
    store::Field& abrevAsig = h2Abrevasig.Get();
    const std::string storedSubject = new2 ? std::string() : abrevAsig.AsString();
    abrevAsig.SetAsString(subjectAbbrev);
    const bool sameSubject = !new2 && storedSubject == abrevAsig.AsString();
    if (!sameSubject || IsBlank(h2Codasig.Get().AsString()))
      set(h2Codasig, subjectCode);
    set(h2Tipasig, " ");
    if (!sameSubject || IsBlank(h2Idioma.Get().AsString())) set(h2Idioma, "02");
    set(h2AulaObs, room);
    setIfBlank(new2, h2TipActiv, "   ");
    set(h2ProfDiaSes, key);
    set(h2DiaSes, KeyDaySession(key));
    set(h2RegMod, written);
    h2.Post();
    if (new2) posted(h2, h2Written, key);

    // Type 3 record.
    if (!IsBlank(groupAbbrev)) {
      const bool new3 = editOrAppend(h3, h3Written, key);
      set(h3Tipreg, "3");
      store::Field& abrevGrup = h3Abrevgrup.Get();
      const std::string storedGroup = new3 ? std::string() : abrevGrup.AsString();
      abrevGrup.SetAsString(groupAbbrev);
      if (storedGroup != abrevGrup.AsString())
        set(h3Codgrupo, group ? std::string_view(group->code) : std::string_view());
      setIfBlank(new3, h3Tipdoc, teacher.tipoDni);
      set(h3Abrevprof, KeyTeacher(key));
      setIfBlank(new3, h3Doc, teacher.dni);
      set(h3Numsesgrup, KeySession(key));
      set(h3Diasem, KeyDay(key));
      const std::string_view pupils = group ? std::string_view(group->pupils) : std::string_view();
      store::Field& numAlum = h3Numalum.Get();
      if (new3 || numAlum.AsString().empty() || !pupils.empty()) numAlum.SetAsString(pupils);
      set(h3ProfDiaSes, key);
      set(h3RegMod, written);
      h3.Post();
      if (new3) posted(h3, h3Written, key);
    }
  }

  teachersChange.Commit();
  for (store::Table* x : {&soluc, &grupos, &prof, &asig}) x->Close();

  const size_t live2 = fresh ? LiveRecords(h2) : Sweep(h2);
  const size_t live3 = fresh ? LiveRecords(h3) : Sweep(h3);
  cuadroH2Change.Commit();
  cuadroH3Change.Commit();
  h2.Close();
  h3.Close();
  plantilla.Close();
  PackWhenMostlyDeleted(ctx.workFolder, kCuadroH2, live2);
  PackWhenMostlyDeleted(ctx.workFolder, kCuadroH3, live3);
}

}  // namespace

void Importar2(chain::StepContext& ctx, chain::MainTables& t) {
  // Tables made afresh are built by the expansion itself and replace the
  // old ones only once they are filled.
  bool fresh = false;
  if (!store::FileExistsNoCase(ctx.workFolder, kCuadroH2)) {
    fresh = true;
    ctx.state.workflowFlag = 1;
  } else if (ctx.ui.Ask(kKeepQuestion) == chain::Answer::No) {
    fresh = true;
    ctx.state.workflowFlag = 1;
  }
  bool expand = true;
  if (ctx.state.workflowFlag == 0 &&
      ctx.ui.Ask(CodingOnlyQuestion()) == chain::Answer::Yes)
    expand = false;
  if (expand) {
    Expand(ctx, t, fresh);
  } else if (fresh) {
    CreaTablasCuadro(ctx.workFolder);
  }

  ctx.state.rutaDAE = ctx.daeFolder;
  {
    AjustaDAE window(ctx.ui, ctx.state, ctx.workFolder);
    ctx.ui.RunCodingWindow(window);
  }
  if (ctx.state.workflowFlag != 4) ctx.state.workflowFlag = 0;
  ctx.ui.SetBusyCursor(false);
  ctx.state.resultCode = 1;
  ctx.ui.ShowMessage(ctx.state.workflowFlag == 4 ? kNotFinished : kFinished);
  if (ctx.state.embedded) ctx.ui.CloseMainWindow();
}

}  // namespace dae_export
