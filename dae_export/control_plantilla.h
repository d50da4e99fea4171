// The timetable template window's logic (TControlPlantilla), apart from how
// it is drawn.
#pragma once
#include <filesystem>

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
};

}  // namespace dae_export
