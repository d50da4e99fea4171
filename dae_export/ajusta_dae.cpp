// The DAE coding window's logic.
//
// The window shows the centre row, the teachers (PROFT by ABREV), the type
// 2 records of the current teacher (CUADROH2 by ABREVPROF, following PROFT)
// and the type 3 records of the current type 2 record (CUADROH3 by
// PROF_DIA_SES, following CUADROH2). A second cursor on CUADROH3 follows the
// teacher, so that a document typed into the teacher's row reaches every
// type 3 record of that teacher, whatever session it belongs to.
//
// "&Salir" checks, from the first teacher in ABREV order, that every
// teacher has a document; a teacher without one is asked about, and the
// user either goes back to complete it or gives up the file (status 4).
// With no such incident the DAE timetable file is written into RutaDAE.
// The status becomes the workflow flag: 4 when no file was written.
#include "dae_export/ajusta_dae.h"

#include <algorithm>

#include "chain/error_report.h"
#include "dae_export/blank_text.h"
#include "dae_export/clock_time_check.h"
#include "dae_import/centre_data_check.h"
#include "dae_export/record_tables.h"
#include "dae_export/timetable_file_writer.h"
#include "dae_import/dae_file_check.h"
#include "store/cp1252.h"
#include "store/transaction.h"

namespace dae_export {

namespace {

constexpr const char* kMissingDocumentQuestion =
    "           !!!ATENCIÓN!!!                 \r"
    "Todavía hay algún Profesor SIN DOCumento(DNI).\r"
    "       ¿Desea corregir esta incidencia?       ";

std::string Trim(const std::string& s) {
  return std::string(TrimSpacesAndControls(s));
}

bool Editing(const store::Table& t) {
  return t.State() == store::DataSetState::Edit ||
         t.State() == store::DataSetState::Insert;
}

void Declare(store::Table& t, const std::filesystem::path& folder,
             const char* name, const char* index) {
  t.SetDatabaseName(folder);
  t.SetTableName(name);
  t.SetIndexName(index);
}

void CloseQuietly(store::Table& t) {
  try {
    if (t.Active()) t.Close();
  } catch (...) {
  }
}

// Makes a remembered record current again, when the table still shows it.
void ReturnTo(store::Table& t, const store::Bookmark& mark) {
  if (mark.recno == 0 || !t.Active()) return;
  try {
    for (uint32_t rec : t.VisibleRecords())
      if (rec == mark.recno) {
        t.GotoBookmark(mark);
        return;
      }
  } catch (...) {
  }
}

}  // namespace

AjustaDAE::AjustaDAE(chain::UserInterface& ui, chain::ProcessState& state,
                     const std::filesystem::path& workFolder)
    : ui_(ui), state_(state), workFolder_(workFolder) {
  Declare(wwTabledaeCENTRO, workFolder, "daeCENTRO.DBF", "");
  Declare(wwTableProfesor, workFolder, "PROFT", "ABREV");
  wwTableProfesor.SetExclusive(true);
  Declare(wwTableCUADROH2, workFolder, kCuadroH2, "ABREVPROF");
  wwTableCUADROH2.SetMasterSource(&wwTableProfesor);
  wwTableCUADROH2.SetMasterFields("ABREV");
  Declare(wwTableCUADROH3, workFolder, kCuadroH3, "PROF_DIA_SES");
  wwTableCUADROH3.SetMasterSource(&wwTableCUADROH2);
  wwTableCUADROH3.SetMasterFields("PROF_DIA_SES");
  wwTableCUADROH3.SetFiltered(true);
  Declare(wwTableCUADROH3AUX, workFolder, kCuadroH3, "ABREVPROF");
  wwTableCUADROH3AUX.SetMasterSource(&wwTableProfesor);
  wwTableCUADROH3AUX.SetMasterFields("ABREV");
  wwTableCUADROH3AUX.SetFiltered(true);
  struct Code {
    store::Table* t;
    const char* name;
  };
  for (Code c : {Code{&wwTabledaeTIPDOC, "daeTIPDOC.DBF"},
                 Code{&wwTabledaeTIPTAR, "daeTIPTAR.DBF"},
                 Code{&wwTabledaeGRUPNIV, "daeGRUPNIV.DBF"},
                 Code{&wwTabledaeASIGNAT, "daeASIGNAT.DBF"},
                 Code{&wwTabledaeIDIOMA, "daeIDIOMA.DBF"},
                 Code{&wwTabledaeOTRACT, "daeOTRACT.DBF"}}) {
    Declare(*c.t, workFolder, c.name, "");
    c.t->SetReadOnly(true);
  }
  teacherListener_ = wwTableProfesor.AddListener([this](store::TableEvent e) {
    if (e == store::TableEvent::StateChanged) TeacherStateChanged();
  });
}

AjustaDAE::~AjustaDAE() {
  wwTableProfesor.RemoveListener(teacherListener_);
  // Details before their masters; the centre row last.
  for (store::Table* t :
       {&wwTableCUADROH3, &wwTableCUADROH3AUX, &wwTableCUADROH2,
        &wwTableProfesor, &wwTabledaeTIPDOC, &wwTabledaeTIPTAR,
        &wwTabledaeGRUPNIV, &wwTabledaeASIGNAT, &wwTabledaeIDIOMA,
        &wwTabledaeOTRACT, &wwTabledaeCENTRO})
    CloseQuietly(*t);
}

void AjustaDAE::FormCreate() {
  for (store::Table* t :
       {&wwTabledaeCENTRO, &wwTableProfesor, &wwTableCUADROH2,
        &wwTableCUADROH3, &wwTableCUADROH3AUX, &wwTabledaeTIPDOC,
        &wwTabledaeTIPTAR, &wwTabledaeGRUPNIV, &wwTabledaeASIGNAT,
        &wwTabledaeIDIOMA, &wwTabledaeOTRACT})
    t->Open();
  // The task types that are other activities rather than lessons.
  otherActivities_.clear();
  const int cod = wwTabledaeTIPTAR.FieldIndex("COD");
  const int other = wwTabledaeTIPTAR.FieldIndex("OTRACTIV");
  if (cod >= 0 && other >= 0)
    for (uint32_t rec : wwTabledaeTIPTAR.VisibleRecords())
      if (store::Cp1252Upper(Trim(wwTabledaeTIPTAR.ValueAt(rec, other))) == "S")
        otherActivities_.insert(Trim(wwTabledaeTIPTAR.ValueAt(rec, cod)));
}

bool AjustaDAE::IsLectiveTask(const std::string& task) const {
  return otherActivities_.count(Trim(task)) == 0;
}

bool AjustaDAE::CodeNeeded(const std::string& fieldName,
                           const std::string& task) const {
  const std::string field = store::Cp1252Upper(fieldName);
  if (field == "TIPTAR" || field == "GRUPNIV") return true;
  if (field == "CODASIG" || field == "IDIOMA") return IsLectiveTask(task);
  if (field == "TIP_ACTIV") return !IsLectiveTask(task);
  return false;
}

void AjustaDAE::DBEditCODECENTROChange() {
  if (!Editing(wwTabledaeCENTRO)) wwTabledaeCENTRO.Edit();
}

void AjustaDAE::DBEditCODECENTROExit() {
  if (wwTabledaeCENTRO.State() == store::DataSetState::Edit)
    wwTabledaeCENTRO.Post();
}

void AjustaDAE::wwDBGridPROFTColExit(const std::string& columnLeft) {
  const std::string column = store::Cp1252Upper(columnLeft);
  if (column != "TIPODNI" && column != "DNI") return;

  const store::Bookmark type2 = wwTableCUADROH2.GetBookmark();
  const std::string abrev = wwTableProfesor.FieldByName("ABREV").AsString();
  const std::string tipoDni = wwTableProfesor.FieldByName("TIPODNI").AsString();
  const std::string dni = wwTableProfesor.FieldByName("DNI").AsString();

  // While the teacher's row is still being edited, what the copy changes is
  // remembered, so that undoing the row undoes the copy as well.
  const bool pending = wwTableProfesor.State() == store::DataSetState::Edit &&
                       teacherEdit_.recno != 0 &&
                       teacherEdit_.recno == wwTableProfesor.RecNo();
  CopyDocument(wwTableCUADROH2, pending ? &teacherEdit_.type2 : nullptr, abrev,
               tipoDni, dni);
  if (type2.recno != 0) wwTableCUADROH2.GotoBookmark(type2);

  const store::Bookmark type3 = wwTableCUADROH3.GetBookmark();
  CopyDocument(wwTableCUADROH3AUX, pending ? &teacherEdit_.type3 : nullptr,
               abrev, tipoDni, dni);
  if (type3.recno != 0) wwTableCUADROH3.GotoBookmark(type3);
}

// Writes the teacher's document into every record that the cursor shows,
// from its first, stopping at a record of another teacher. All of them are
// one change, on disk when this returns.
void AjustaDAE::CopyDocument(store::Table& records, std::vector<Copied>* undo,
                             const std::string& abrev,
                             const std::string& tipoDni,
                             const std::string& dni) {
  store::Transaction change(records);
  std::vector<Copied> copied;
  records.First();
  while (!records.Eof()) {
    if (records.FieldByName("ABREVPROF").AsString() != abrev) break;
    if (!Editing(records)) records.Edit();
    Copied c;
    c.recno = records.RecNo();
    c.tipdoc = records.FieldByName("TIPDOC").AsString();
    c.doc = records.FieldByName("DOC").AsString();
    records.FieldByName("TIPDOC").SetAsString(tipoDni);
    records.FieldByName("DOC").SetAsString(dni);
    c.copiedTipdoc = records.FieldByName("TIPDOC").AsString();
    c.copiedDoc = records.FieldByName("DOC").AsString();
    records.Post();
    copied.push_back(std::move(c));
    records.Next();
  }
  change.Commit();
  if (!undo) return;
  // A record copied into again keeps what it held before the first copy.
  for (Copied& c : copied) {
    auto it = std::find_if(undo->begin(), undo->end(),
                           [&](const Copied& u) { return u.recno == c.recno; });
    if (it == undo->end()) {
      undo->push_back(std::move(c));
    } else {
      it->copiedTipdoc = c.copiedTipdoc;
      it->copiedDoc = c.copiedDoc;
    }
  }
}

// The teacher's row went into edit state, or left it. Left with the
// document as it was when the edit began (the user undid it with Escape, or
// stored nothing), the records that the copy changed meanwhile get back
// what they held, unless the user has since changed them again.
void AjustaDAE::TeacherStateChanged() {
  store::Table& t = wwTableProfesor;
  const store::DataSetState st = t.State();
  if (st == store::DataSetState::Edit) {
    if (teacherEdit_.recno != 0) return;
    teacherEdit_ = {};
    teacherEdit_.recno = t.RecNo();
    teacherEdit_.tipoDni = t.FieldByName("TIPODNI").AsString();
    teacherEdit_.dni = t.FieldByName("DNI").AsString();
    return;
  }
  if (st != store::DataSetState::Browse) return;
  TeacherEdit edit = std::move(teacherEdit_);
  teacherEdit_ = {};
  if (edit.recno == 0 || (edit.type2.empty() && edit.type3.empty())) return;
  if (!t.Active() || t.RecNo() != edit.recno) return;
  if (t.FieldByName("TIPODNI").AsString() != edit.tipoDni ||
      t.FieldByName("DNI").AsString() != edit.dni)
    return;  // the new document was stored: the copies stand
  try {
    const store::Bookmark type3 = wwTableCUADROH3.GetBookmark();
    UndoCopies(wwTableCUADROH2, edit.type2);
    UndoCopies(wwTableCUADROH3AUX, edit.type3);
    ReturnTo(wwTableCUADROH3, type3);
  } catch (const std::exception& e) {
    ui_.ReportError(chain::ErrorReportText(chain::ExceptionText(e)));
  }
}

void AjustaDAE::UndoCopies(store::Table& records,
                           const std::vector<Copied>& copies) {
  if (copies.empty() || !records.Active()) return;
  const store::Bookmark mark = records.GetBookmark();
  const std::vector<uint32_t> visible = records.VisibleRecords();
  store::Transaction change(records);
  for (const Copied& c : copies) {
    if (std::find(visible.begin(), visible.end(), c.recno) == visible.end())
      continue;
    records.GotoRecord(c.recno);
    if (records.FieldByName("TIPDOC").AsString() != c.copiedTipdoc ||
        records.FieldByName("DOC").AsString() != c.copiedDoc)
      continue;
    if (!Editing(records)) records.Edit();
    records.FieldByName("TIPDOC").SetAsString(c.tipdoc);
    records.FieldByName("DOC").SetAsString(c.doc);
    records.Post();
  }
  change.Commit();
  ReturnTo(records, mark);
}

void AjustaDAE::wwDBGridPROFTFieldChanged(const std::string& currentColumn) {
  wwDBGridPROFTColExit(currentColumn);
}

bool AjustaDAE::BitBtn1Click() {
  state_.incidencia = 0;
  const store::Bookmark teacher = wwTableProfesor.GetBookmark();
  const store::Bookmark type2 = wwTableCUADROH2.GetBookmark();
  const store::Bookmark type3 = wwTableCUADROH3.GetBookmark();
  // The teachers' documents are read where they are stored, in the grid's
  // order, without moving the grid from teacher to teacher (a move redraws
  // the grid and refilters the teacher's records). A pending teacher
  // record is settled first, as a move would. Only a teacher without a
  // document becomes current, so that the grid stands on it.
  if (wwTableProfesor.State() == store::DataSetState::Edit ||
      wwTableProfesor.State() == store::DataSetState::Insert) {
    if (wwTableProfesor.Modified()) wwTableProfesor.Post();
    else wwTableProfesor.Cancel();
  }
  wwTableProfesor.FieldByName("DNI");  // a table without the field is refused here
  const int dni = wwTableProfesor.FieldIndex("DNI");
  for (uint32_t rec : wwTableProfesor.VisibleRecords()) {
    if (IsBlank(wwTableProfesor.ValueAt(rec, dni))) {
      wwTableProfesor.GotoRecord(rec);
      if (ui_.Ask(kMissingDocumentQuestion) != chain::Answer::No) return false;
      state_.incidencia = 4;
      break;
    }
  }
  if (state_.incidencia == 0) {
    // A writer that fails leaves the window as it was before "&Salir": the
    // teacher, type 2 and type 3 records that were current become current
    // again (the writer walks the type 2 and type 3 records).
    try {
      CreaTXTCuadroHorario();
    } catch (...) {
      ReturnTo(wwTableProfesor, teacher);
      ReturnTo(wwTableCUADROH2, type2);
      ReturnTo(wwTableCUADROH3, type3);
      throw;
    }
  }
  state_.workflowFlag = state_.incidencia == 4 ? 4 : 0;
  for (store::Table* t :
       {&wwTableCUADROH3, &wwTableCUADROH3AUX, &wwTableCUADROH2,
        &wwTableProfesor, &wwTabledaeTIPDOC, &wwTabledaeTIPTAR,
        &wwTabledaeGRUPNIV, &wwTabledaeASIGNAT, &wwTabledaeIDIOMA,
        &wwTabledaeOTRACT})
    if (t->Active()) t->Close();
  return true;
}

void AjustaDAE::CreaTXTCuadroHorario() {
  const CentreRecord centre = ReadCentre(wwTabledaeCENTRO);
  if (WriteTimetableFile(state_.rutaDAE, centre, wwTableCUADROH2,
                         wwTableCUADROH3) == WriteOutcome::FolderMissing) {
    ui_.ShowMessage(dae_import::MissingFolderText(state_.rutaDAE));
    state_.incidencia = 4;
  }
}

bool AjustaDAE::IsCodableField(const std::string& tableName,
                               const std::string& fieldName) {
  const std::string table = store::Cp1252Upper(tableName);
  const std::string field = store::Cp1252Upper(fieldName);
  if (table.rfind("CUADROH2", 0) == 0)
    return field == "TIPTAR" || field == "GRUPNIV" || field == "CODASIG" ||
           field == "IDIOMA" || field == "TIP_ACTIV";
  if (table.rfind("CUADROH3", 0) == 0) return field == "CODGRUPO";
  return false;
}

// The code table whose list a cell offers, and the field of it that holds
// the code; nullptr for a cell without a list.
const store::Table* AjustaDAE::CodeTableOf(const store::Table& table,
                                           const std::string& fieldName,
                                           std::string* codeField) const {
  const std::string field = store::Cp1252Upper(fieldName);
  struct List {
    const store::Table* records;
    const char* field;
    const store::Table* codes;
    const char* code;
  };
  const List lists[] = {
      {&wwTableProfesor, "TIPODNI", &wwTabledaeTIPDOC, "COD"},
      {&wwTableCUADROH2, "TIPDOC", &wwTabledaeTIPDOC, "COD"},
      {&wwTableCUADROH2, "TIPTAR", &wwTabledaeTIPTAR, "COD"},
      {&wwTableCUADROH2, "GRUPNIV", &wwTabledaeGRUPNIV, "NIVEL"},
      {&wwTableCUADROH2, "CODASIG", &wwTabledaeASIGNAT, "COD"},
      {&wwTableCUADROH2, "IDIOMA", &wwTabledaeIDIOMA, "IDIOMA"},
      {&wwTableCUADROH2, "TIP_ACTIV", &wwTabledaeOTRACT, "COD"},
  };
  for (const List& l : lists)
    if (l.records == &table && field == l.field) {
      *codeField = l.code;
      return l.codes;
    }
  return nullptr;
}

std::string AjustaDAE::TypedValueProblem(const store::Table& table,
                                         const std::string& fieldName,
                                         const std::string& value) const {
  const std::string text = Trim(value);
  // What the record already holds is never refused (a code of an earlier
  // export that the list no longer has, a blank cell left blank).
  try {
    const int i = table.Active() ? table.FieldIndex(fieldName) : -1;
    if (i >= 0 && (table.RecNo() != 0 || table.State() == store::DataSetState::Insert) &&
        Trim(table.ValueAt(table.RecNo(), i)) == text)
      return {};
  } catch (const std::exception&) {
  }
  if (text.empty()) return {};
  const std::string field = store::Cp1252Upper(fieldName);
  if (&table == &wwTableCUADROH2 && (field == "HORAINI" || field == "HORAFIN"))
    return ClockTimeProblem(value, true);
  std::string codeField;
  const store::Table* codes = CodeTableOf(table, field, &codeField);
  if (!codes || !codes->Active()) return {};
  const int c = codes->FieldIndex(codeField);
  if (c < 0) return {};
  const std::vector<uint32_t> rows = codes->VisibleRecords();
  if (rows.empty()) return {};  // nothing to check against
  for (uint32_t rec : rows)
    if (Trim(codes->ValueAt(rec, c)) == text) return {};
  std::string title = field;
  for (auto [f, t] : {std::pair<const char*, const char*>{"TIPODNI", "TipoDOC"},
                      {"TIPDOC", "TipoDOC"},
                      {"TIPTAR", "TAREA"},
                      {"GRUPNIV", "G.NIVEL"},
                      {"CODASIG", "Cód.ASIG"},
                      {"IDIOMA", "IDIOMA"},
                      {"TIP_ACTIV", "ACTIV."}})
    if (field == f) title = t;
  return "El código '" + store::Cp1252ToUtf8(text) + "' no está en la lista de " + title +
         " (tabla " + store::Cp1252ToUtf8(codes->TableName()) +
         "). Elija uno de la lista de la celda (F4 o Alt+Flecha abajo) o deje la celda "
         "en blanco.";
}

std::string AjustaDAE::CentreValueProblem(const std::string& field,
                                          const std::string& value) {
  return dae_import::CentreValueProblem(field, value);
}

AjustaDAE::Pending AjustaDAE::PendingSummary() { return PendingSummary(Typed{}); }

AjustaDAE::Pending AjustaDAE::PendingSummary(const Typed& typed) {
  Pending p;
  // Every record of the file through a cursor of its own; the record being
  // edited in the window's table reads with its pending values, and the
  // text being typed over them.
  auto walk = [&](store::Table& shown, const char* tableName, auto&& count) {
    store::Table t;
    t.SetDatabaseName(shown.DatabaseName());
    t.SetTableName(shown.TableName());
    t.SetReadOnly(true);
    if (!t.Exists()) return;
    t.Open();
    const bool editing = shown.Active() && Editing(shown);
    const uint32_t current = shown.Active() ? shown.RecNo() : 0;
    for (uint32_t rec : t.VisibleRecords()) {
      auto value = [&](const std::string& field) -> std::string {
        const bool isCurrent = rec == current && current != 0;
        if (isCurrent && typed.table == &shown &&
            store::Cp1252Upper(typed.field) == store::Cp1252Upper(field))
          return typed.text;
        if (isCurrent && editing) {
          if (store::Field* f = shown.FindField(field)) return f->AsString();
          return {};
        }
        const int i = t.FieldIndex(field);
        return i >= 0 ? t.ValueAt(rec, i) : std::string();
      };
      count(value);
    }
    (void)tableName;
    t.Close();
  };
  walk(wwTableCUADROH2, "CUADROH2", [&](auto& value) {
    const std::string task = value("TIPTAR");
    for (const char* field : {"TIPTAR", "GRUPNIV", "CODASIG", "IDIOMA", "TIP_ACTIV"})
      if (CodeNeeded(field, task) && IsBlank(value(field))) ++p.blankCodableCells;
  });
  walk(wwTableCUADROH3, "CUADROH3", [&](auto& value) {
    if (IsBlank(value("CODGRUPO"))) ++p.blankCodableCells;
  });
  walk(wwTableProfesor, "PROFT", [&](auto& value) {
    if (IsBlank(value("DNI"))) ++p.teachersWithoutDocument;
  });
  return p;
}

}  // namespace dae_export
