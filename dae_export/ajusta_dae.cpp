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

#include "dae_export/blank_text.h"
#include "dae_export/record_tables.h"
#include "dae_export/timetable_file_writer.h"
#include "store/cp1252.h"
#include "store/transaction.h"

namespace dae_export {

namespace {

constexpr const char* kMissingDocumentQuestion =
    "           !!!ATENCIÓN!!!                 \r"
    "Todavía hay algún Profesor SIN DOCumento(DNI).\r"
    "       ¿Desea corregir esta incidencia?       ";

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

// Writes the teacher's document into every record that the cursor shows,
// from its first, stopping at a record of another teacher. All of them are
// one change, on disk when this returns.
void CopyDocument(store::Table& records, const std::string& abrev,
                  const std::string& tipoDni, const std::string& dni) {
  store::Transaction change(records);
  records.First();
  while (!records.Eof()) {
    if (records.FieldByName("ABREVPROF").AsString() != abrev) break;
    if (!Editing(records)) records.Edit();
    records.FieldByName("TIPDOC").SetAsString(tipoDni);
    records.FieldByName("DOC").SetAsString(dni);
    records.Post();
    records.Next();
  }
  change.Commit();
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
}

AjustaDAE::~AjustaDAE() {
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

  CopyDocument(wwTableCUADROH2, abrev, tipoDni, dni);
  if (type2.recno != 0) wwTableCUADROH2.GotoBookmark(type2);

  const store::Bookmark type3 = wwTableCUADROH3.GetBookmark();
  CopyDocument(wwTableCUADROH3AUX, abrev, tipoDni, dni);
  if (type3.recno != 0) wwTableCUADROH3.GotoBookmark(type3);
}

void AjustaDAE::wwDBGridPROFTFieldChanged(const std::string& currentColumn) {
  wwDBGridPROFTColExit(currentColumn);
}

bool AjustaDAE::BitBtn1Click() {
  state_.incidencia = 0;
  wwTableProfesor.First();
  while (!wwTableProfesor.Eof()) {
    if (IsBlank(wwTableProfesor.FieldByName("DNI").AsString())) {
      if (ui_.Ask(kMissingDocumentQuestion) != chain::Answer::No) return false;
      state_.incidencia = 4;
      break;
    }
    wwTableProfesor.Next();
  }
  if (state_.incidencia == 0) CreaTXTCuadroHorario();
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
    ui_.ShowMessage("No existe la carpeta");
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

AjustaDAE::Pending AjustaDAE::PendingSummary() {
  Pending p;
  auto countBlank = [&](const char* name, const char* tableName) {
    store::Table t;
    t.SetDatabaseName(workFolder_);
    t.SetTableName(name);
    t.SetReadOnly(true);
    if (!t.Exists()) return;
    t.Open();
    std::vector<int> fields;
    for (const store::FieldDef& f : t.Fields())
      if (IsCodableField(tableName, f.name)) fields.push_back(t.FieldIndex(f.name));
    for (uint32_t rec : t.VisibleRecords())
      for (int f : fields)
        if (IsBlank(t.ValueAt(rec, f))) ++p.blankCodableCells;
    t.Close();
  };
  countBlank(kCuadroH2, "CUADROH2");
  countBlank(kCuadroH3, "CUADROH3");

  store::Table prof;
  prof.SetDatabaseName(workFolder_);
  prof.SetTableName("PROFT");
  prof.SetReadOnly(true);
  if (prof.Exists()) {
    prof.Open();
    const int dni = prof.FieldIndex("DNI");
    for (uint32_t rec : prof.VisibleRecords())
      if (dni < 0 || IsBlank(prof.ValueAt(rec, dni))) ++p.teachersWithoutDocument;
    prof.Close();
  }
  return p;
}

}  // namespace dae_export
