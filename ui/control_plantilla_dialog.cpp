#include "ui/control_plantilla_dialog.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "chain/error_report.h"
#include "store/cp1252.h"
#include "ui/data_grid.h"
#include "ui/record_navigator.h"

namespace ui {

namespace {

bool Pending(const store::Table& t) {
  return t.Active() && (t.State() == store::DataSetState::Edit ||
                        t.State() == store::DataSetState::Insert);
}

QLabel* Heading(const QString& text, int pointDelta, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  QFont f = label->font();
  f.setBold(true);
  f.setPointSize(f.pointSize() + pointDelta);
  label->setFont(f);
  label->setAlignment(Qt::AlignCenter);
  return label;
}

}  // namespace

TControlPlantilla::TControlPlantilla(dae_export::ControlPlantilla& logic,
                                     QWidget* parent)
    : QDialog(parent), logic_(logic) {
  setObjectName(QStringLiteral("ControlPlantilla"));
  setWindowTitle(QStringLiteral("Control de Plantilla Horaria"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint |
                 Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::CustomizeWindowHint);
  setModal(true);

  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->setContentsMargins(16, 12, 16, 12);
  layout->setSpacing(8);

  QLabel* title = Heading(
      QStringLiteral("COMPROBACIÓN DE LA PLANTILLA HORARIA DEL CENTRO"), 3,
      this);
  title->setObjectName(QStringLiteral("LabelTitulo"));
  layout->addWidget(title);

  QLabel* subtitle =
      Heading(QStringLiteral("PLANTILLA HORARIA DEL CENTRO"), 1, this);
  subtitle->setObjectName(QStringLiteral("LabelPlantilla"));
  layout->addSpacing(6);
  layout->addWidget(subtitle);

  auto* instruction = new QLabel(
      QStringLiteral("Modifique, en caso necesario, las Horas de Inicio y "
                     "Final de Clase, en la presente rejilla. Deben ser "
                     "iguales que la Plantilla Horaria de su Centro."),
      this);
  instruction->setObjectName(QStringLiteral("LabelInstrucciones"));
  instruction->setWordWrap(true);
  instruction->setAlignment(Qt::AlignCenter);
  layout->addWidget(instruction);

  std::vector<GridColumn> columns = {
      {"HORA", 7, QStringLiteral("HORA"), false, nullptr, false},
      {"HORAINI", 20, QStringLiteral("HORA INICIO CLASE"), true, nullptr,
       false},
      {"HORAFIN", 19, QStringLiteral("HORA FINAL CLASE"), true, nullptr,
       false},
  };
  GridOptions options;
  options.enterMovesToNextCell = true;  // no rows added or deleted
  PlantiHorDBGrid =
      new DataGrid(logic_.wwTablePlantilla, std::move(columns), options, this);
  PlantiHorDBGrid->setObjectName(QStringLiteral("PlantiHorDBGrid"));
  PlantiHorDBGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  PlantiHorDBGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  PlantiHorDBGrid->setVisibleRows(12);
  PlantiHorDBGrid->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  auto* gridRow = new QHBoxLayout;
  gridRow->addStretch();
  gridRow->addWidget(PlantiHorDBGrid);
  gridRow->addStretch();
  layout->addLayout(gridRow);

  // Start and end times must be clock times.
  PlantiHorDBGrid->tableModel()->setCheckRule([this](int column, const QString& text) {
    return QString::fromStdString(dae_export::ControlPlantilla::TypedValueProblem(
        PlantiHorDBGrid->tableModel()->column(column).field,
        store::Utf8ToCp1252(text.toStdString())));
  });

  DBNavigator = new RecordNavigator(logic_.wwTablePlantilla, this);
  DBNavigator->setObjectName(QStringLiteral("DBNavigator"));
  DBNavigator->attachGrid(PlantiHorDBGrid);
  auto* navRow = new QHBoxLayout;
  navRow->addStretch();
  navRow->addWidget(DBNavigator);
  navRow->addStretch();
  layout->addLayout(navRow);

  BitBtn2 = new QPushButton(QStringLiteral("Aceptar"), this);
  BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
  BitBtn2->setDefault(true);
  BitBtn2->setAutoDefault(true);
  BitBtn2->setMinimumWidth(110);
  auto* buttonRow = new QHBoxLayout;
  buttonRow->addStretch();
  buttonRow->addWidget(BitBtn2);
  buttonRow->addStretch();
  layout->addSpacing(4);
  layout->addLayout(buttonRow);

  // The grid is first in the tab order and has the focus when the window
  // opens.
  setTabOrder(PlantiHorDBGrid, BitBtn2);
  PlantiHorDBGrid->setFocus(Qt::OtherFocusReason);

  connect(PlantiHorDBGrid, &DataGrid::entered, this,
          &TControlPlantilla::PlantiHorDBGridEnter);
  connect(PlantiHorDBGrid, &DataGrid::exited, this,
          &TControlPlantilla::PlantiHorDBGridExit);
  connect(BitBtn2, &QPushButton::clicked, this,
          &TControlPlantilla::BitBtn2Click);
}

TControlPlantilla::~TControlPlantilla() = default;

void TControlPlantilla::report(const std::exception& e) {
  ShowGridError(this, QString::fromStdString(chain::ExceptionText(e)));
}

void TControlPlantilla::PlantiHorDBGridEnter() {
  try {
    logic_.PlantiHorDBGridEnter();
  } catch (const std::exception& e) {
    report(e);
  }
}

void TControlPlantilla::PlantiHorDBGridExit() {
  try {
    logic_.PlantiHorDBGridExit();
  } catch (const std::exception& e) {
    report(e);
  }
}

// Writes an open cell editor into its field and stores the pending row, as
// leaving the grid does; "Aceptar" pressed from the keyboard leaves the
// focus in the grid, and a change must not be lost for that.
bool TControlPlantilla::storePending() {
  if (!PlantiHorDBGrid->commitEditor()) return false;
  if (Pending(logic_.wwTablePlantilla)) PlantiHorDBGridExit();
  return true;
}

// The window opens with the template's rows in view, whether or not the
// grid has the keyboard yet (inside the product's window it may not).
void TControlPlantilla::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!logic_.wwTablePlantilla.Active()) PlantiHorDBGridEnter();
}

void TControlPlantilla::BitBtn2Click() {
  if (!storePending()) return;
  try {
    logic_.BitBtn1Click();
  } catch (const std::exception& e) {
    report(e);
    return;
  }
  accept();
}

void TControlPlantilla::reject() {
  // A time that cannot be stored keeps the window open, its message shown,
  // for the user to correct it (or undo it with Escape).
  if (!storePending()) return;
  try {
    if (logic_.wwTablePlantilla.Active()) logic_.wwTablePlantilla.Close();
  } catch (const std::exception& e) {
    report(e);
  }
  QDialog::reject();
}

void TControlPlantilla::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace ui
