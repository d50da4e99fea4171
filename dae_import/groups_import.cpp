// Groups and centre: fGRUPOS.txt becomes GRUPOST and daeCENTRO.
//
// GRUPOST (no index): ABREV C4, TURNO C1, NIVEL C5, CURSO C3, GRUPO C2,
// CODGRUDAE C5, ALIASDAE C30, NIVELDAE C3, ESPECDAE C6, TURNODAE C2,
// CURSODAE C2, NUMALUMN C2, DESCRIP C40.
// daeCENTRO (no index): CODCENTRO C6, ANOACAD C4, VERSION C5; one row.
//
// fGRUPOS.txt, one record per line, the first character its type:
//   "1" centre record, values untrimmed:
//       4-9 centre code -> CODCENTRO, 10-13 academic year -> ANOACAD,
//       14 version -> VERSION
//   "2" group record, values trimmed:
//       2-6 group code -> CODGRUDAE, 7-36 alias -> ALIASDAE (7-10 alone give
//       the abbreviation candidate), 37-39 level -> NIVELDAE and NIVEL ("NIV"
//       when empty), 40-45 speciality -> ESPECDAE, 46-47 shift -> TURNODAE
//       (46 alone -> TURNO), 48-49 course -> CURSODAE and CURSO,
//       211-212 pupils -> NUMALUMN
//   any other line (an empty one included) is skipped.
//
// GRUPO is the last digit of the group's count within its level and course;
// DESCRIP is TURNO, NIVEL, CURSO and GRUPO joined by single spaces (a space
// is written even around an empty part). ABREV is the candidate made unique
// within the run by the numbering rule, stored cut to four characters.
//
// The table holds one centre: the first centre record of the file is
// stored; any later one is ignored, so every reader of daeCENTRO sees the
// centre the file names first.
#include "dae_import/groups_import.h"

#include <string>

#include "dae_import/dae_file_check.h"
#include "dae_import/group_numbering.h"
#include "dae_import/numbered_abbreviation.h"
#include "dae_import/product_backup.h"
#include "dae_import/table_rebuild.h"
#include "store/table.h"

namespace dae_import {

namespace {

// daeCENTRO made afresh in `centre`; it takes the old table's place when
// `centre` closes.
void BuildCentreTable(store::Table& centre, const std::filesystem::path& workFolder) {
  RebuildTable(centre, workFolder, "daeCENTRO",
               {StringField("CODCENTRO", 6), StringField("ANOACAD", 4),
                StringField("VERSION", 5)});
}

}  // namespace

void CreaTablaCentro(const std::filesystem::path& workFolder) {
  store::Table centre;
  BuildCentreTable(centre, workFolder);
}

void ImportaGrupos(chain::StepContext& ctx) {
  std::unique_ptr<DaeTextReader> reader = OpenDaeFileOrReport(
      ctx, "fGRUPOS.txt", "No existe archivo de grupos (fGRUPOS.TXT)");
  if (!reader) return;

  store::Table groups;
  {
    const KeptTable held = KeepProductTable(ctx, "GRUPOST");
    RebuildTable(groups, ctx.workFolder, "GRUPOST",
                 {StringField("ABREV", 4), StringField("TURNO", 1),
                  StringField("NIVEL", 5), StringField("CURSO", 3),
                  StringField("GRUPO", 2), StringField("CODGRUDAE", 5),
                  StringField("ALIASDAE", 30), StringField("NIVELDAE", 3),
                  StringField("ESPECDAE", 6), StringField("TURNODAE", 2),
                  StringField("CURSODAE", 2), StringField("NUMALUMN", 2),
                  StringField("DESCRIP", 40)});
  }
  // The centre's table is filled while it is built, so that it replaces
  // the old one whole, with its row.
  store::Table centre;
  BuildCentreTable(centre, ctx.workFolder);

  NumberedAbbreviations abbreviations;
  GroupNumbering numbering;
  bool centreStored = false;
  groups.Open();

  std::string line;
  while (reader->ReadLine(line)) {
    const char type = line.empty() ? '\0' : line.front();
    if (type == '1') {
      if (centreStored) continue;
      centre.Open();
      centre.Append();
      centre.FieldByName("CODCENTRO").SetAsString(RawField(line, 4, 6));
      centre.FieldByName("ANOACAD").SetAsString(RawField(line, 10, 4));
      centre.FieldByName("VERSION").SetAsString(RawField(line, 14, 1));
      centre.Post();
      centreStored = true;
      continue;
    }
    if (type != '2') continue;

    const std::string groupCode = TrimmedField(line, 2, 5);
    const std::string alias = TrimmedField(line, 7, 30);
    const std::string levelCode = TrimmedField(line, 37, 3);
    const std::string speciality = TrimmedField(line, 40, 6);
    const std::string shiftField = TrimmedField(line, 46, 2);
    const std::string courseField = TrimmedField(line, 48, 2);
    const std::string pupils = TrimmedField(line, 211, 2);

    const std::string turno = TrimmedField(line, 46, 1);
    const std::string nivel = levelCode.empty() ? "NIV" : levelCode;
    const std::string curso = courseField;
    const std::string grupo = GroupNumberDigit(numbering.Next(nivel, curso));
    const std::string abbreviation =
        abbreviations.Allocate(TrimmedField(line, 7, 4));
    const std::string descrip =
        turno + ' ' + nivel + ' ' + curso + ' ' + grupo;

    groups.Append();
    groups.FieldByName("ABREV").SetAsString(abbreviation);
    groups.FieldByName("TURNO").SetAsString(turno);
    groups.FieldByName("NIVEL").SetAsString(nivel);
    groups.FieldByName("CURSO").SetAsString(curso);
    groups.FieldByName("GRUPO").SetAsString(grupo);
    groups.FieldByName("CODGRUDAE").SetAsString(groupCode);
    groups.FieldByName("ALIASDAE").SetAsString(alias);
    groups.FieldByName("NIVELDAE").SetAsString(levelCode);
    groups.FieldByName("ESPECDAE").SetAsString(speciality);
    groups.FieldByName("TURNODAE").SetAsString(shiftField);
    groups.FieldByName("CURSODAE").SetAsString(courseField);
    groups.FieldByName("NUMALUMN").SetAsString(pupils);
    groups.FieldByName("DESCRIP").SetAsString(descrip);
    groups.Post();
  }
  groups.Close();
  centre.Close();
  reader->Close();
}

}  // namespace dae_import
