#include "app/batch_run.h"

#include <map>
#include <set>
#include <system_error>

#include "app/batch_ui.h"
#include "app/csv_value.h"
#include "chain/error_report.h"
#include "app/main_workflow.h"
#include "dae_export/ajusta_dae.h"
#include "store/cp1252.h"
#include "store/store_notices.h"
#include "store/table.h"
#include "store/work_folder.h"

namespace app {

namespace fs = std::filesystem;

namespace {

constexpr const char* kFinished = "Proceso finalizado";
// Distinctive pieces of the export's questions.
constexpr const char* kKeepPrevious =
    "¿Desea Conservar los Datos de la Exportación Anterior?";
constexpr const char* kStraightToCoding =
    "Si desea acceder directamente a la Codificación DAE";

fs::path WorkFolderOf(const CliOptions& o) {
  return o.workFolder ? *o.workFolder : store::WorkFolder();
}

bool Contains(const std::string& text, const char* piece) {
  return text.find(piece) != std::string::npos;
}

// Runs fn as a user's action in a window would: an error goes to the
// general error report. False when it failed.
template <typename Fn>
bool AsUser(BatchUI& ui, Fn&& fn) {
  try {
    fn();
    return true;
  } catch (const std::exception& e) {
    ui.ReportError(chain::ErrorReportText(e.what()));
    return false;
  }
}

// Types the centre values into the current row of the centre grid.
void TypeCentre(store::Table& centre, const CentreValues& v) {
  if (!centre.Active()) {
    centre.Open();
    centre.First();
  }
  if (centre.State() != store::DataSetState::Edit &&
      centre.State() != store::DataSetState::Insert)
    centre.Edit();
  centre.FieldByName("CODCENTRO").SetAsString(store::Utf8ToCp1252(v.code));
  centre.FieldByName("ANOACAD").SetAsString(store::Utf8ToCp1252(v.year));
  centre.FieldByName("VERSION").SetAsString(store::Utf8ToCp1252(v.version));
}

// Types the abbreviations into the level grid's rows, one row after the
// other as a user would; returns the codes that matched no row.
std::vector<std::string> TypeLevels(store::Table& levels,
                                    const std::vector<LevelAbbreviations>& file) {
  std::map<std::string, const LevelAbbreviations*> byCode;
  for (const LevelAbbreviations& l : file) byCode[l.code] = &l;
  std::set<std::string> used;
  levels.First();
  while (!levels.Eof()) {
    auto it = byCode.find(levels.FieldByName("COD").AsString());
    if (it != byCode.end() && used.insert(it->first).second) {
      if (levels.State() != store::DataSetState::Edit &&
          levels.State() != store::DataSetState::Insert)
        levels.Edit();
      levels.FieldByName("ABREVCAST").SetAsString(it->second->abrevCast);
      levels.FieldByName("ABREVEUSK").SetAsString(it->second->abrevEusk);
    }
    levels.Next();
  }
  std::vector<std::string> unmatched;
  for (const LevelAbbreviations& l : file)
    if (!used.count(l.code)) unmatched.push_back(l.code);
  return unmatched;
}

int Finish(BatchUI& ui, const chain::ProcessState& state, std::ostream& out) {
  const bool finished = ui.Errors().empty() && !ui.Messages().empty() &&
                        ui.Messages().back() == kFinished;
  out << "resultado: " << state.resultCode << "\n";
  out.flush();
  return finished ? kExitFinished : kExitStopped;
}

}  // namespace

int RunImport(const CliOptions& o, chain::ProcessState& state, std::ostream& out,
              std::ostream& err) {
  // The levels file is checked before anything is touched.
  std::vector<LevelAbbreviations> levels;
  if (o.levelsFile) {
    try {
      levels = ReadLevelsFile(*o.levelsFile);
    } catch (const UsageError& e) {
      err << "transdae-cli: " << e.what() << "\n";
      return kExitUsage;
    }
  }
  BatchUI ui(out, o.language, [](const std::string&) { return chain::Answer::No; });
  MainWorkflow wf(ui, state, WorkFolderOf(o));

  wf.BExportarClick(o.daeFolder);
  if (!ui.Errors().empty() || !ui.PanelVisible(chain::Panel::Centre))
    return Finish(ui, state, out);

  // Centre panel: the row as it stands, or with the values typed in.
  if (o.centre &&
      !AsUser(ui, [&] { TypeCentre(wf.Tables().wwTableCentro, *o.centre); }))
    return Finish(ui, state, out);
  wf.BitBtn1Click();
  if (!ui.Errors().empty() || !ui.PanelVisible(chain::Panel::Levels))
    return Finish(ui, state, out);

  // Level panel.
  wf.wwDBGridNIVIMPEnter();
  if (!ui.Errors().empty()) return Finish(ui, state, out);
  if (!levels.empty()) {
    std::vector<std::string> unmatched;
    if (!AsUser(ui, [&] { unmatched = TypeLevels(wf.Tables().wwTableNIVIMP, levels); }))
      return Finish(ui, state, out);
    for (const std::string& code : unmatched)
      ui.Note("Aviso: el nivel " + store::Cp1252ToUtf8(code) +
              " del archivo de niveles no está en daeNIVIMP; se pasa por alto.");
  }
  wf.FinalRecogida();
  return Finish(ui, state, out);
}

// Types each teacher's document into the coding window's teacher grid as a
// user would: the row found by its abbreviation, the two cells typed, the
// DNI column left (which copies the document into the teacher's records),
// the row stored.
void TypeDocuments(BatchUI& ui, dae_export::AjustaDAE& w,
                   const std::vector<TeacherDocument>& docs) {
  store::Table& prof = w.wwTableProfesor;
  for (const TeacherDocument& d : docs) {
    if (!prof.FindKey(d.abrev)) {
      ui.Note("Aviso: el profesor " + store::Cp1252ToUtf8(d.abrev) +
              " del archivo de documentos no está en PROFT; se pasa por alto.");
      continue;
    }
    if (prof.State() != store::DataSetState::Edit &&
        prof.State() != store::DataSetState::Insert)
      prof.Edit();
    prof.FieldByName("TIPODNI").SetAsString(d.tipoDni);
    prof.FieldByName("DNI").SetAsString(d.dni);
    w.wwDBGridPROFTColExit("DNI");
    if (prof.State() == store::DataSetState::Edit ||
        prof.State() == store::DataSetState::Insert)
      prof.Post();
  }
}

int RunExport(const CliOptions& o, chain::ProcessState& state, std::ostream& out,
              std::ostream& err) {
  // The documents file is checked before anything is touched.
  std::vector<TeacherDocument> docs;
  if (o.documentsFile) {
    try {
      docs = ReadDocumentsFile(*o.documentsFile);
    } catch (const UsageError& e) {
      err << "transdae-cli: " << e.what() << "\n";
      return kExitUsage;
    }
  }
  const bool fresh = o.fresh, codesOnly = o.codesOnly;
  BatchUI ui(out, o.language, [fresh, codesOnly](const std::string& q) {
    if (Contains(q, kKeepPrevious)) return fresh ? chain::Answer::No : chain::Answer::Yes;
    if (Contains(q, kStraightToCoding)) return codesOnly ? chain::Answer::Yes : chain::Answer::No;
    return chain::Answer::No;  // teachers without a document: leave without the file
  });
  if (!docs.empty())
    ui.SetCodingInput([&ui, &docs](dae_export::AjustaDAE& w) {
      AsUser(ui, [&] { TypeDocuments(ui, w, docs); });
    });
  MainWorkflow wf(ui, state, WorkFolderOf(o));

  wf.BImportarClick(o.daeFolder);
  if (!ui.Errors().empty()) return Finish(ui, state, out);
  if (ui.PanelVisible(chain::Panel::Centre)) {
    // The centre table was missing: the export waits for the centre data.
    if (!o.centre) {
      ui.Note("Faltan los datos del centro (daeCENTRO): indique --centre "
              "CÓDIGO,AÑO,VERSIÓN. La exportación no ha terminado.");
      return Finish(ui, state, out);
    }
    if (!AsUser(ui, [&] { TypeCentre(wf.Tables().wwTableCentro, *o.centre); }))
      return Finish(ui, state, out);
    wf.BitBtn1Click();
    if (ui.Errors().empty() && ui.PanelVisible(chain::Panel::Centre)) {
      ui.Note("Los datos del centro siguen incompletos. La exportación no ha "
              "terminado.");
      return Finish(ui, state, out);
    }
  } else if (o.centre && ui.Errors().empty()) {
    ui.Note("Aviso: la tabla del centro ya existía; no se han usado los datos de --centre.");
  }
  return Finish(ui, state, out);
}

int RunShow(const CliOptions& o, std::ostream& out, std::ostream& err) {
  // A rebuilt index is told on the error stream, apart from the table.
  store::ScopedNoticeSink notices([&err](const std::string& text) {
    err << "transdae-cli: " << text << "\n";
  });
  try {
    const fs::path work = WorkFolderOf(o);
    store::Table t;
    t.SetDatabaseName(work);
    t.SetTableName(o.table);
    t.SetReadOnly(true);
    if (!t.Exists()) {
      err << "transdae-cli: No existe la tabla " << o.table << " en "
          << work.string() << "\n";
      return kExitStopped;
    }
    if (!o.tag.empty()) t.SetIndexName(o.tag);
    t.Open();
    const store::FieldDefs& fields = t.Fields();
    std::string text;
    for (size_t i = 0; i < fields.size(); ++i) {
      if (i) text += ',';
      text += CsvValue(store::Cp1252ToUtf8(fields[i].name));
    }
    text += '\n';
    for (uint32_t recno : t.VisibleRecords()) {
      for (size_t i = 0; i < fields.size(); ++i) {
        if (i) text += ',';
        text += CsvValue(store::Cp1252ToUtf8(t.ValueAt(recno, static_cast<int>(i))));
      }
      text += '\n';
    }
    t.Close();
    out << text;
    out.flush();
    return kExitFinished;
  } catch (const std::exception& e) {
    err << "transdae-cli: " << chain::ErrorReportText(e.what()) << "\n";
    return kExitStopped;
  }
}

int RunBatch(const std::vector<std::string>& args, std::ostream& out,
             std::ostream& err) {
  CliOptions o;
  try {
    o = ParseCliOptions(args);
  } catch (const UsageError& e) {
    err << "transdae-cli: " << e.what() << "\n\n" << CliUsageText();
    return kExitUsage;
  }
  try {
    switch (o.command) {
      case CliCommand::Help:
        out << CliUsageText();
        return kExitFinished;
      case CliCommand::Import:
        return RunImport(o, chain::Process(), out, err);
      case CliCommand::Export:
        return RunExport(o, chain::Process(), out, err);
      case CliCommand::Show:
        return RunShow(o, out, err);
    }
  } catch (const std::exception& e) {
    err << "transdae-cli: " << chain::ErrorReportText(e.what()) << "\n";
  }
  return kExitStopped;
}

}  // namespace app
