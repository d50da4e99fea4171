// Teachers: fPROFES.txt becomes PROFT.
//
// PROFT: ABREV C4, NOMBRE C40, DEPART C40, DNI C15, TIPODNI C1, with the
// index tag ABREV on ABREV (ascending, not unique).
//
// fPROFES.txt, one record per line; a line whose first character is "1" is
// skipped, every other line (an empty one included) is a teacher:
//   3        document-type code -> TIPODNI, not trimmed
//   4-18     document number    -> DNI
//   19-58    name part 1
//   59-98    name part 2
//   99-118   name part 3
//   125-224  department         -> DEPART
// all but the document-type code trimmed; positions 2, 119-124 and 225 on
// are not read.
//
// NOMBRE is the three parts joined by single spaces; the abbreviation is
// their initials, made unique within the run by the numbering rule. The
// numbered abbreviation is kept whole in the run's list (ABC10, ABC11 ...)
// while ABREV stores its first four characters, so from the tenth collision
// of one base on two rows can share an ABREV.
#include "dae_import/teachers_import.h"

#include <string>

#include "dae_import/dae_file_check.h"
#include "dae_import/numbered_abbreviation.h"
#include "dae_import/table_rebuild.h"
#include "dae_import/teacher_name.h"
#include "dae_import/product_backup.h"
#include "store/table.h"

namespace dae_import {

void ImportaProfesores(chain::StepContext& ctx) {
  std::unique_ptr<DaeTextReader> reader = OpenDaeFileOrReport(
      ctx, "fPROFES.txt", "No existe archivo de profesores (fPROFES.TXT)");
  if (!reader) return;

  store::Table teachers;
  {
    const KeptTable held = KeepProductTable(ctx, "PROFT");
    RebuildTable(teachers, ctx.workFolder, "PROFT",
                 {StringField("ABREV", 4), StringField("NOMBRE", 40),
                  StringField("DEPART", 40), StringField("DNI", 15),
                  StringField("TIPODNI", 1)},
                 {{"ABREV", "ABREV"}});
  }
  teachers.Open();
  NumberedAbbreviations abbreviations;

  std::string line;
  while (reader->ReadLine(line)) {
    if (!line.empty() && line.front() == '1') continue;
    const std::string docType = RawField(line, 3, 1);
    const std::string docNumber = TrimmedField(line, 4, 15);
    const std::string part1 = TrimmedField(line, 19, 40);
    const std::string part2 = TrimmedField(line, 59, 40);
    const std::string part3 = TrimmedField(line, 99, 20);
    const std::string department = TrimmedField(line, 125, 100);

    const std::string abbreviation =
        abbreviations.Allocate(TeacherInitials(part1, part2, part3));
    teachers.Append();
    teachers.FieldByName("ABREV").SetAsString(abbreviation);
    teachers.FieldByName("NOMBRE").SetAsString(
        TeacherFullName(part1, part2, part3));
    teachers.FieldByName("DEPART").SetAsString(department);
    teachers.FieldByName("DNI").SetAsString(docNumber);
    teachers.FieldByName("TIPODNI").SetAsString(docType);
    teachers.Post();
  }
  teachers.Close();
  reader->Close();
}

}  // namespace dae_import
