#include "app/batch_run.h"

#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <system_error>

#include "app/batch_ui.h"
#include "app/csv_value.h"
#include "chain/error_report.h"
#include "app/main_workflow.h"
#include "dae_export/ajusta_dae.h"
#include "dae_export/timetable_file_writer.h"
#include "dae_import/product_backup.h"
#include "dae_import/subjects_import.h"
#include "store/store_error.h"
#include "store/cp1252.h"
#include "store/os_file.h"
#include "store/path_text.h"
#include "store/store_notices.h"
#include "store/table.h"
#include "store/work_folder.h"
#include "store/work_folder_lock.h"

namespace app {

namespace fs = std::filesystem;

namespace {

constexpr const char* kFinished = "Proceso finalizado";
constexpr const char* kNotFinished =
    "!!ATENCIÓN!! El Proceso NO ha finalizado Correctamente";
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
    ui.ReportError(chain::ErrorReportText(e));
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

// What the chain achieved: the exit status (see batch_run.h). `written` is
// whether the export wrote fCUADROS.txt (always true for the import).
int Finish(BatchUI& ui, const chain::ProcessState& state, std::ostream& out,
           bool written = true) {
  const bool finished = ui.Errors().empty() && !ui.Messages().empty() &&
                        (ui.Messages().back() == kFinished ||
                         ui.Messages().back() == kNotFinished);
  bool codesRanOut = false;
  for (const std::string& m : ui.Messages())
    codesRanOut = codesRanOut || m.rfind(dae_import::kNoFreeSubjectCodeText, 0) == 0;
  out << "resultado: " << state.resultCode << "\n";
  out.flush();
  if (!finished) return kExitStopped;
  if (ui.Messages().back() == kFinished && state.resultCode == 1 && written && !codesRanOut)
    return kExitFinished;
  return kExitIncomplete;
}

// The identity of fCUADROS.txt in the DAE folder: a rewrite gives it a new
// file (it is renamed into place), so a change tells that it was written.
struct FileIdentity {
  bool exists = false;
  store::os::FileId id;
  bool operator==(const FileIdentity&) const = default;
};

FileIdentity TimetableFileIdentity(const std::string& daeFolder) {
  FileIdentity id;
  const fs::path p = store::PathFromText(daeFolder) / dae_export::kTimetableFileName;
  id.exists = store::os::Status(p).isRegular && store::os::Identity(p, id.id);
  return id;
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
      err << "transdae-cli: " << chain::ExceptionText(e) << "\n";
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
    // A document type is refused as the window refuses it.
    const std::string problem = w.TypedValueProblem(prof, "TIPODNI", d.tipoDni);
    if (!problem.empty()) {
      ui.Note("Aviso: " + problem + " El documento del profesor " + store::Cp1252ToUtf8(d.abrev) +
              " no se ha escrito.");
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
      err << "transdae-cli: " << chain::ExceptionText(e) << "\n";
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

  const FileIdentity before = TimetableFileIdentity(o.daeFolder);
  auto written = [&] {
    const FileIdentity after = TimetableFileIdentity(o.daeFolder);
    return after.exists && !(after == before) && state.workflowFlag != 4;
  };
  wf.BImportarClick(o.daeFolder);
  if (!ui.Errors().empty()) return Finish(ui, state, out, written());
  if (ui.PanelVisible(chain::Panel::Centre)) {
    // The centre table was missing: the export waits for the centre data.
    if (!o.centre) {
      ui.Note("Faltan los datos del centro (daeCENTRO): indique --centre "
              "CÓDIGO,AÑO,VERSIÓN. La exportación no ha terminado.");
      return Finish(ui, state, out, written());
    }
    if (!AsUser(ui, [&] { TypeCentre(wf.Tables().wwTableCentro, *o.centre); }))
      return Finish(ui, state, out, written());
    wf.BitBtn1Click();
    if (ui.Errors().empty() && ui.PanelVisible(chain::Panel::Centre)) {
      ui.Note("Los datos del centro siguen incompletos. La exportación no ha "
              "terminado.");
      return Finish(ui, state, out, written());
    }
  } else if (o.centre && ui.Errors().empty()) {
    ui.Note("Aviso: la tabla del centro ya existía; no se han usado los datos de --centre.");
  }
  return Finish(ui, state, out, written());
}

int RunShow(const CliOptions& o, std::ostream& out, std::ostream& err) {
  // A rebuilt index is told on the error stream, apart from the table.
  store::ScopedNoticeSink notices([&err](const std::string& text) {
    err << "transdae-cli: " << text << "\n";
  });
  try {
    const fs::path work = WorkFolderOf(o);
    // Opening a table may finish what a killed run left: not while another
    // run is changing the folder.
    std::unique_ptr<store::WorkFolderLock> run;
    if (store::os::Status(work).isFolder) {
      run = std::make_unique<store::WorkFolderLock>(work);
      dae_import::FinishInterruptedRestore(work);
    }
    store::Table t;
    t.SetDatabaseName(work);
    t.SetTableName(o.table);
    t.SetReadOnly(true);
    if (!t.Exists()) {
      err << "transdae-cli: No existe la tabla " << o.table << " en "
          << store::PathText(work) << "\n";
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
    err << "transdae-cli: " << chain::ErrorReportText(e) << "\n";
    return kExitStopped;
  }
}

namespace {

std::string Lines(std::string text) {
  for (char& c : text)
    if (c == '\r') c = '\n';
  return text;
}

std::string Count(long n) { return n < 0 ? "-" : std::to_string(n); }

}  // namespace

int RunRestore(const CliOptions& o, std::ostream& out, std::ostream& err) {
  const fs::path work = WorkFolderOf(o);
  try {
    // One run at a time; what a killed restore left is settled first.
    std::unique_ptr<store::WorkFolderLock> run;
    if (store::os::Status(work).isFolder) {
      run = std::make_unique<store::WorkFolderLock>(work);
      if (dae_import::FinishInterruptedRestore(work))
        out << "Se ha terminado de volver a poner la copia que una restauración "
               "interrumpida dejó a medias.\n";
    }
    const std::vector<dae_import::BackupCopy> copies = dae_import::BackupCopies(work);
    if (o.listOnly) {
      out << "Copias de las tablas de Dolvarin en "
          << store::PathText(work / dae_import::kBackupFolderName) << ":\n";
      const std::vector<fs::path> damaged = dae_import::DamagedCopies(work);
      if (copies.empty() && damaged.empty()) out << "  (ninguna)\n";
      for (const fs::path& d : damaged)
        out << store::FileNameText(d) << "  DAÑADA: su " << dae_import::kBackupManifestName
            << " no se puede leer (está dañado o se ha modificado); esta copia no se "
               "puede volver a poner y la herramienta no la borra.\n";
      for (const dae_import::BackupCopy& c : copies) {
        const std::string problem = dae_import::CopyProblem(c);
        out << store::FileNameText(c.folder) << "  " << c.date << "  " << c.note << "\n";
        if (!problem.empty())
          out << "    DAÑADA: " << problem << "; esta copia no se puede volver a poner.\n";
        out << "    tablas:";
        for (const dae_import::CopiedTable& t : c.tables) out << " " << t.name;
        if (c.tables.empty()) out << " (ninguna)";
        out << "\n    profesores: " << Count(dae_import::CopiedTableRows(c, "PROFT"))
            << "  asignaturas: " << Count(dae_import::CopiedTableRows(c, "ASIGNOMT"))
            << "  grupos: " << Count(dae_import::CopiedTableRows(c, "GRUPOST")) << "\n";
      }
      out.flush();
      return kExitFinished;
    }
    const dae_import::BackupCopy* chosen = nullptr;
    if (o.restoreFrom) {
      const fs::path from = store::PathFromText(*o.restoreFrom);
      std::string wanted = store::FileNameText(from);
      if (wanted.empty()) wanted = store::FileNameText(from.parent_path());
      const bool number = !wanted.empty() && wanted.find_first_not_of("0123456789") == std::string::npos;
      for (const dae_import::BackupCopy& c : copies)
        if (number ? std::stoul(wanted.substr(0, 9)) == c.number
                   : store::FileNameText(c.folder) == wanted)
          chosen = &c;
      if (!chosen) {
        err << "transdae-cli: No hay ninguna copia \"" << *o.restoreFrom << "\" en "
            << store::PathText(work / dae_import::kBackupFolderName)
            << " (transdae-cli restore --list muestra las que hay).\n";
        return kExitStopped;
      }
    } else {
      if (copies.empty()) {
        err << "transdae-cli: No hay ninguna copia de las tablas en "
            << store::PathText(work / dae_import::kBackupFolderName) << ".\n";
        return kExitStopped;
      }
      chosen = &copies.back();
    }
    const dae_import::RestoreResult r = dae_import::RestoreBackupCopy(work, *chosen);
    out << "Se han vuelto a poner las tablas";
    for (size_t i = 0; i < r.tables.size(); ++i) out << (i ? ", " : " ") << r.tables[i];
    out << " de la copia " << store::FileNameText(chosen->folder) << " (" << chosen->date
        << ").\n";
    if (!r.previousCopy.empty())
      out << "Lo que había antes se ha guardado en la copia "
          << store::FileNameText(r.previousCopy)
          << "; para deshacer: transdae-cli restore --from "
          << store::FileNameText(r.previousCopy) << "\n";
    out.flush();
    return kExitFinished;
  } catch (const std::exception& e) {
    err << "transdae-cli: " << Lines(chain::ErrorReportText(e)) << "\n";
  }
  return kExitStopped;
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
      case CliCommand::Restore:
        return RunRestore(o, out, err);
    }
  } catch (const std::exception& e) {
    err << "transdae-cli: " << chain::ErrorReportText(e) << "\n";
  }
  return kExitStopped;
}

}  // namespace app
