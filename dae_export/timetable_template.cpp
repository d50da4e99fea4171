// The centre's timetable template.
//
// PLANTILLA.DBF (with PLANTILLA.MDX) turns the period numbers of the
// timetable into clock times:
//   HORA     numeric, no decimals  period number
//   HORAINI  character 5           start, "hh:mm"
//   HORAFIN  character 5           end, "hh:mm"
// with one tag HORA on the field HORA. A new template holds periods 1 to 20:
// period i starts at hour i + 7 (i <= 16) or i - 17 (i >= 17) and lasts one
// hour, so period 16 runs 23:00-24:00 and periods 17 to 20 run on from
// 00:00 to 04:00. The table is made once; afterwards only the user changes
// it, through the template window, and the tool never recreates it, even
// when its index file has gone.
#include "dae_export/timetable_template.h"

#include "dae_export/control_plantilla.h"
#include "dae_import/centre_and_levels.h"
#include "dae_import/groups_import.h"
#include "store/table.h"
#include "store/work_folder.h"

namespace dae_export {

namespace {

// "h:00", with a leading "0" while shorter than five characters.
std::string ClockText(int hour) {
  std::string s = std::to_string(hour) + ":00";
  if (s.size() < 5) s = "0" + s;
  return s;
}

}  // namespace

std::vector<TemplateRow> DefaultTemplateRows() {
  std::vector<TemplateRow> rows;
  for (int i = 1; i <= 20; ++i) {
    int h = i <= 16 ? i + 7 : i - 17;
    rows.push_back(TemplateRow{i, ClockText(h), ClockText(h + 1)});
  }
  return rows;
}

void EnsurePlantilla(const std::filesystem::path& workFolder) {
  if (store::FileExistsNoCase(workFolder, "PLANTILLA.DBF")) return;
  store::Table t;
  t.SetDatabaseName(workFolder);
  t.SetTableName("PLANTILLA.DBF");
  store::FieldDef hora;
  hora.name = "HORA";
  hora.type = store::FieldType::Integer;
  hora.width = 11;
  store::FieldDef ini;
  ini.name = "HORAINI";
  ini.width = 5;
  store::FieldDef fin;
  fin.name = "HORAFIN";
  fin.width = 5;
  t.FieldDefsList() = {hora, ini, fin};
  t.IndexDefsList() = {store::IndexDef{"HORA", "HORA"}};
  t.CreateTable();
  // The template is built beside the (missing) table and appears whole
  // when t closes; a failure before that leaves no table at all.
  t.Open();
  for (const TemplateRow& row : DefaultTemplateRows()) {
    t.Append();
    t.FieldByName("HORA").SetAsInteger(row.hora);
    t.FieldByName("HORAINI").SetAsString(row.horaIni);
    t.FieldByName("HORAFIN").SetAsString(row.horaFin);
    t.Post();
  }
  t.Close();
}

void PlantillaCentro(chain::StepContext& ctx, chain::MainTables& t) {
  EnsurePlantilla(ctx.workFolder);
  {
    ControlPlantilla window(ctx.workFolder);
    ctx.ui.RunTemplateWindow(window);
  }
  ctx.ui.SetBusyCursor(true);
  if (!store::FileExistsNoCase(ctx.workFolder, "daeCENTRO.DBF")) {
    dae_import::CreaTablaCentro(ctx.workFolder);
    ctx.state.workflowFlag = 1;
    dae_import::MuestraDatosCentro(ctx, t);
  }
}

}  // namespace dae_export
