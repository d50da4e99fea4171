// The DAE coding window: the centre data, the teachers, the type 2 records
// of the current teacher and the type 3 records of the current type 2
// record, with the DAE code tables as drop-down lists in the codable cells.
//
// A document type or number typed into a teacher's row is copied into all
// of that teacher's records when the user leaves its column or the field
// changes. "&Salir" runs the exit check (which may ask about a teacher
// without a document and keep the window open) and closes the window when
// the check says so. Closing by the close box makes no check, writes no
// file and leaves the workflow flag alone; a change still pending in a grid
// row is stored, and the centre row is stored when it is in edit state, as
// leaving them would store them. Escape does not close the window.
//
// Beyond the codes themselves the window shows, without enforcing
// anything, which codable cells still need a code (a soft background) and a
// line counting them and the teachers without a document. Both follow the
// window's red note (ACTIV. only for a task that is not lective, Cód.ASIG
// and IDIOMA only for a lective one) and change as the user types.
#pragma once
#include <QDialog>
#include <QString>
#include <array>
#include <utility>
#include <vector>

#include "dae_export/ajusta_dae.h"

class QLabel;
class QHBoxLayout;
class QLineEdit;
class QPushButton;

namespace ui {

class DataGrid;

class TAjustaDAE : public QDialog {
  Q_OBJECT

 public:
  // Opens the window's tables (FormCreate); store errors raised there
  // leave the constructor.
  explicit TAjustaDAE(dae_export::AjustaDAE& logic, QWidget* parent = nullptr);
  ~TAjustaDAE() override;

  dae_export::AjustaDAE& logic() const { return logic_; }

  QLineEdit* DBEditCODECENTRO = nullptr;  // CODCENTRO
  QLineEdit* DBEditANOACAD = nullptr;     // ANOACAD
  QLineEdit* DBEditVERSION = nullptr;     // VERSION
  DataGrid* wwDBGridPROFT = nullptr;
  DataGrid* wwDBGridCUADROH2 = nullptr;
  DataGrid* wwDBGridCUADROH3 = nullptr;
  QLabel* LabelPendientes = nullptr;  // the counts of what is still blank
  QPushButton* BitBtn1 = nullptr;     // "&Salir"

  // The text of the pending-work line for the given counts.
  static QString PendingText(const dae_export::AjustaDAE::Pending& p);
  // Recounts now (it is otherwise done shortly after each change).
  void refreshPending();

  // The close box (and reject()): no check, no file, the flag untouched.
  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildCentreEdits(QWidget* parent, QHBoxLayout* row);
  void loadCentreEdits();
  void centreEdited(int which, const QString& text);
  bool centreAcceptable(bool showDelayed);
  void BitBtn1Click();
  void schedulePending();
  void report(const std::exception& e);
  bool type2CodeNeeded(int row, const char* field) const;
  void typing(DataGrid* grid, const QString& field, const QString& text);

  dae_export::AjustaDAE& logic_;
  std::array<QLineEdit*, 3> centreEdits_{};
  bool editingCentre_ = false;
  bool centreRefused_ = false;  // a refused centre text not yet told
  bool pendingScheduled_ = false;
  dae_export::AjustaDAE::Typed typed_;  // a cell editor's text, unstored
  std::vector<std::pair<store::Table*, int>> listeners_;
};

}  // namespace ui
