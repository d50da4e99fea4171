// Subjects: fASIGNAT.txt and the task types of daeTIPTAR become ASIGNOMT.
//
// ASIGNOMT (no index): COD C4, CODLARGO C8, NOMBRE C40, CODIGODAE C4,
// ESTAREA L. First one subject row per line of fASIGNAT.txt, in file order
// (no line is skipped), then one task row per row of daeTIPTAR, in its
// order. Values longer than their field are cut to its width.
//
// fASIGNAT.txt, every field trimmed; the language box decides which three
// columns are used:
//   1-4     DAE subject code      -> CODIGODAE (both languages)
//   Castellano: 125-128 abbreviation -> COD, 105-124 short -> CODLARGO,
//               5-104 description -> NOMBRE
//   Euskera:    249-252 abbreviation -> COD, 229-248 short -> CODLARGO,
//               129-228 description -> NOMBRE
// The abbreviation is made unique within the run by the subject code rule;
// ESTAREA is false.
//
// Task rows: COD and CODIGODAE the task type's COD; CODLARGO the first eight
// characters and NOMBRE the whole of DESCCAST (Castellano) or DESCEUSK
// (Euskera); ESTAREA true. They take no part in the uniqueness rule.
//
// When an abbreviation and every candidate of its base are taken, there is
// no code to give: the step tells the user, sets the result code to -1 and
// ends, keeping the subject rows stored so far (and adding no task row).
#include "dae_import/subjects_import.h"

#include <string>

#include "dae_import/dae_file_check.h"
#include "dae_import/language_choice.h"
#include "dae_import/product_backup.h"
#include "dae_import/subject_code_rule.h"
#include "dae_import/table_rebuild.h"
#include "store/cp1252.h"
#include "store/table.h"

namespace dae_import {

namespace {

constexpr const char* kMissing =
    "No existe archivo de asignaturas (fASIGNAT.TXT)";

std::string NoFreeCodeMessage(const std::string& abbreviation,
                              const std::string& daeCode,
                              unsigned long lineNumber) {
  return std::string(kNoFreeSubjectCodeText) + " para la asignatura de la línea " +
         std::to_string(lineNumber) + " de fASIGNAT.txt (código DAE '" +
         store::Cp1252ToUtf8(daeCode) + "', abreviatura '" +
         store::Cp1252ToUtf8(abbreviation) +
         "'): todas las variantes numeradas ya están usadas.\r"
         "Se detiene la importación de asignaturas; ASIGNOMT conserva las "
         "asignaturas anteriores a esa línea y no tiene tareas.";
}

}  // namespace

void ImportaAsignaturas(chain::StepContext& ctx) {
  std::unique_ptr<DaeTextReader> reader =
      OpenDaeFileOrReport(ctx, "fASIGNAT.txt", kMissing);
  if (!reader) return;
  const bool euskera = IsEuskera(ctx.ui.LanguageText());

  store::Table subjects;
  {
    const KeptTable held = KeepProductTable(ctx, "ASIGNOMT");
    RebuildTable(subjects, ctx.workFolder, "ASIGNOMT",
                 {StringField("COD", 4), StringField("CODLARGO", 8),
                  StringField("NOMBRE", 40), StringField("CODIGODAE", 4),
                  BooleanField("ESTAREA")});
  }
  subjects.Open();
  SubjectCodes codes;

  std::string line;
  unsigned long lineNumber = 0;
  while (reader->ReadLine(line)) {
    ++lineNumber;
    const std::string daeCode = TrimmedField(line, 1, 4);
    const std::string abbreviation =
        euskera ? TrimmedField(line, 249, 4) : TrimmedField(line, 125, 4);
    const std::string shortName =
        euskera ? TrimmedField(line, 229, 20) : TrimmedField(line, 105, 20);
    const std::string name =
        euskera ? TrimmedField(line, 129, 100) : TrimmedField(line, 5, 100);

    std::optional<std::string> code = codes.Allocate(abbreviation);
    if (!code) {
      subjects.Close();
      reader->Close();
      ctx.ui.ShowMessage(NoFreeCodeMessage(abbreviation, daeCode, lineNumber));
      ctx.state.resultCode = -1;
      return;
    }
    subjects.Append();
    subjects.FieldByName("COD").SetAsString(*code);
    subjects.FieldByName("CODLARGO").SetAsString(shortName);
    subjects.FieldByName("NOMBRE").SetAsString(name);
    subjects.FieldByName("CODIGODAE").SetAsString(daeCode);
    subjects.FieldByName("ESTAREA").SetAsBoolean(false);
    subjects.Post();
  }

  store::Table tasks;
  NameTable(tasks, ctx.workFolder, "daeTIPTAR");
  tasks.Open();
  const char* descField = euskera ? "DESCEUSK" : "DESCCAST";
  for (tasks.First(); !tasks.Eof(); tasks.Next()) {
    const std::string cod = tasks.FieldByName("COD").AsString();
    const std::string desc = tasks.FieldByName(descField).AsString();
    subjects.Append();
    subjects.FieldByName("COD").SetAsString(cod);
    subjects.FieldByName("CODLARGO").SetAsString(desc.substr(0, 8));
    subjects.FieldByName("NOMBRE").SetAsString(desc);
    subjects.FieldByName("CODIGODAE").SetAsString(cod);
    subjects.FieldByName("ESTAREA").SetAsBoolean(true);
    subjects.Post();
  }
  subjects.Close();
  tasks.Close();
  reader->Close();
}

}  // namespace dae_import
