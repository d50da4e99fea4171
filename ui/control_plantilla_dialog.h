// The timetable template window: the centre's periods with their start and
// end times, for the user to check and correct before an export.
//
// The grid opens the template and puts the current row into edit state
// when it gains the focus (as it does when the window opens), and stores a
// pending row when it loses it or when the user moves to another row.
// "Aceptar" stores what is still pending, closes the table and closes the
// window. Closing the window by its close box keeps a pending change as
// well: it is stored, exactly as leaving the grid stores it. Escape does
// not close the window. A time that is not a clock time is refused with a
// message, and the window does not close over it.
//
// The rows show as soon as the window does, and Ctrl+Tab takes the
// keyboard from the grid to "Aceptar" (Enter or Space then presses it).
#pragma once
#include <QDialog>

#include "dae_export/control_plantilla.h"

class QLabel;
class QPushButton;

namespace ui {

class DataGrid;
class RecordNavigator;

class TControlPlantilla : public QDialog {
  Q_OBJECT

 public:
  explicit TControlPlantilla(dae_export::ControlPlantilla& logic,
                             QWidget* parent = nullptr);
  ~TControlPlantilla() override;

  dae_export::ControlPlantilla& logic() const { return logic_; }
  DataGrid* PlantiHorDBGrid = nullptr;
  RecordNavigator* DBNavigator = nullptr;
  QPushButton* BitBtn2 = nullptr;  // "Aceptar"

  // The close box (and reject()): a pending change is stored, the table
  // is closed.
  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void PlantiHorDBGridEnter();
  void PlantiHorDBGridExit();
  void BitBtn2Click();
  void report(const std::exception& e);
  bool storePending();

  dae_export::ControlPlantilla& logic_;
};

}  // namespace ui
