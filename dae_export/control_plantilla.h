// The timetable template window's logic (TControlPlantilla), apart from how
// it is drawn.
#pragma once
#include <filesystem>
#include <string>

#include "store/table.h"

namespace dae_export {

class ControlPlantilla {
 public:
  explicit ControlPlantilla(const std::filesystem::path& workFolder);
  ~ControlPlantilla();

  store::Table wwTablePlantilla;  // "plantilla"

  // The grid gains the focus: open the table, current row into edit state.
  void PlantiHorDBGridEnter();
  // The grid loses the focus: post a pending row.
  void PlantiHorDBGridExit();
  // "Aceptar": close the table; the window then closes.
  void BitBtn1Click();
  // A time typed into the grid, checked before it is stored: "" when it
  // may be stored, else the message that refuses it. Start and end times
  // are clock times ("08:30" or "8:30"), never blank.
  static std::string TypedValueProblem(const std::string& field,
                                       const std::string& value);
};

}  // namespace dae_export
