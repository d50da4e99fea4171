// The seven DAE code files and their tables.
//
// Every field is a character field; positions are 1-based, every value is
// trimmed, and no width is smaller than what the layout cuts. The tables
// have no index; their rows are the records of the file, in file order.
//
//   fTIPTAR.txt  -> daeTIPTAR   (only lines whose position 1, trimmed, is "1")
//     COD 3 @2-4, REFUERZO 1 @5, OTRACTIV 1 @6, DESCCAST 250 @7-256,
//     DESCEUSK 250 @257-506
//   fASIGNAT.txt -> daeASIGNAT
//     COD 4 @1-4, DESCCAST 100 @5-104, DESCCASTR 20 @105-124,
//     CODCAST 4 @125-128, DESCEUSK 100 @129-228, DESCEUSKR 20 @229-248,
//     CODEUSK 4 @249-252
//   fOTRACT.txt  -> daeOTRACT   (COD is four wide, the file gives three)
//     COD 4 @1-3, DESCCAST 100 @4-103, DESCEUSK 100 @104-203,
//     DESCCASTR 20 @204-223, DESCEUSKR 20 @224-243
//   fTIPDOC.txt  -> daeTIPDOC
//     COD 1 @1, DESCCAST 100 @2-101, DESCEUSK 100 @102-201
//   fNIVIMP.txt  -> daeNIVIMP   (ABREVCAST, ABREVEUSK: not in the file, left
//                                empty for the level panel)
//     COD 3 @1-3, GRUPNIV 3 @4-6, DESCCAST 100 @7-106, DESCEUSK 100 @107-206,
//     DESCCASTR 20 @207-226, DESCEUSKR 20 @227-246, ABREVCAST 5, ABREVEUSK 5
//   fIDIOMA.txt  -> daeIDIOMA
//     IDIOMA 2 @1-2, DESCCAST 100 @3-102, DESCEUSK 100 @103-202,
//     DESCCASTR 4 @203-206, DESCEUSKR 4 @207-210
//   fGRUPNIV.txt -> daeGRUPNIV
//     NIVEL 3 @1-3, DESCCAST 50 @4-53, DESCEUSK 50 @54-103,
//     GRUPOPADRE 3 @104-106, IDTIPTAREA 1 @107, ORDEN 50 @108-157
//
// Before any file is looked at, the timetabling product's ASIGT.DBF and
// DIASHORAT.DBF are deleted (a copy of each is kept first, see
// product_backup.h). The files are taken in the order above; the
// first missing one is reported, the result code becomes -1 and the step
// ends, so that its table and the later ones keep what they held.
#include "dae_import/code_tables_import.h"

#include <cstddef>
#include <string>
#include <vector>

#include "dae_import/dae_file_check.h"
#include "dae_import/dae_text_reader.h"
#include "dae_import/product_backup.h"
#include "dae_import/table_rebuild.h"
#include "store/table.h"
#include "store/work_folder.h"

namespace dae_import {

namespace {

struct Column {
  const char* name;
  int width;
  std::size_t start;   // 1-based; 0 when the file does not hold it
  std::size_t length;
};

struct CodeFile {
  const char* fileName;
  const char* table;
  const char* missingMessage;
  bool typeFlag;  // position 1 must be "1" for the line to become a row
  std::vector<Column> columns;
};

const std::vector<CodeFile>& CodeFiles() {
  static const std::vector<CodeFile> files = {
      {"fTIPTAR.txt", "daeTIPTAR",
       "No existe archivo de asignaturas (fTIPTAR.TXT)", true,
       {{"COD", 3, 2, 3},
        {"REFUERZO", 1, 5, 1},
        {"OTRACTIV", 1, 6, 1},
        {"DESCCAST", 250, 7, 250},
        {"DESCEUSK", 250, 257, 250}}},
      {"fASIGNAT.txt", "daeASIGNAT",
       "No existe archivo de asignaturas (fASIGNAT.TXT)", false,
       {{"COD", 4, 1, 4},
        {"DESCCAST", 100, 5, 100},
        {"DESCCASTR", 20, 105, 20},
        {"CODCAST", 4, 125, 4},
        {"DESCEUSK", 100, 129, 100},
        {"DESCEUSKR", 20, 229, 20},
        {"CODEUSK", 4, 249, 4}}},
      {"fOTRACT.txt", "daeOTRACT",
       "No existe archivo de asignaturas (fOTRACT.TXT)", false,
       {{"COD", 4, 1, 3},
        {"DESCCAST", 100, 4, 100},
        {"DESCEUSK", 100, 104, 100},
        {"DESCCASTR", 20, 204, 20},
        {"DESCEUSKR", 20, 224, 20}}},
      {"fTIPDOC.txt", "daeTIPDOC",
       "No existe archivo de asignaturas (fTIPDOC.TXT)", false,
       {{"COD", 1, 1, 1},
        {"DESCCAST", 100, 2, 100},
        {"DESCEUSK", 100, 102, 100}}},
      {"fNIVIMP.txt", "daeNIVIMP",
       "No existe archivo de asignaturas (fNIVIMP.TXT)", false,
       {{"COD", 3, 1, 3},
        {"GRUPNIV", 3, 4, 3},
        {"DESCCAST", 100, 7, 100},
        {"DESCEUSK", 100, 107, 100},
        {"DESCCASTR", 20, 207, 20},
        {"DESCEUSKR", 20, 227, 20},
        {"ABREVCAST", 5, 0, 0},
        {"ABREVEUSK", 5, 0, 0}}},
      {"fIDIOMA.txt", "daeIDIOMA",
       "No existe archivo de asignaturas (fIDIOMA.TXT)", false,
       {{"IDIOMA", 2, 1, 2},
        {"DESCCAST", 100, 3, 100},
        {"DESCEUSK", 100, 103, 100},
        {"DESCCASTR", 4, 203, 4},
        {"DESCEUSKR", 4, 207, 4}}},
      {"fGRUPNIV.txt", "daeGRUPNIV",
       "No existe archivo de asignaturas (fGRUPNIV.TXT)", false,
       {{"NIVEL", 3, 1, 3},
        {"DESCCAST", 50, 4, 50},
        {"DESCEUSK", 50, 54, 50},
        {"GRUPOPADRE", 3, 104, 3},
        {"IDTIPTAREA", 1, 107, 1},
        {"ORDEN", 50, 108, 50}}},
  };
  return files;
}

// Rebuilds one code table; false when its file is missing (reported).
bool ImportCodeFile(chain::StepContext& ctx, const CodeFile& file) {
  std::unique_ptr<DaeTextReader> reader =
      OpenDaeFileOrReport(ctx, file.fileName, file.missingMessage);
  if (!reader) return false;

  store::FieldDefs fields;
  for (const Column& c : file.columns)
    fields.push_back(StringField(c.name, c.width));
  store::Table table;
  RebuildTable(table, ctx.workFolder, file.table, fields);
  table.Open();

  std::string line;
  while (reader->ReadLine(line)) {
    if (file.typeFlag && TrimmedField(line, 1, 1) != "1") continue;
    table.Append();
    for (const Column& c : file.columns) {
      if (c.start == 0) continue;
      table.FieldByName(c.name).SetAsString(
          TrimmedField(line, c.start, c.length));
    }
    table.Post();
  }
  table.Close();
  reader->Close();
  return true;
}

}  // namespace

void ImportaTablasDAE(chain::StepContext& ctx) {
  for (const char* name : {"ASIGT", "DIASHORAT"}) {
    const KeptTable held = KeepProductTable(ctx, name);
    store::DeleteFileNoCase(ctx.workFolder, std::string(name) + ".DBF");
  }
  for (const CodeFile& file : CodeFiles())
    if (!ImportCodeFile(ctx, file)) return;
}

}  // namespace dae_import
