#include "ui/ajusta_dae_dialog.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <tuple>

#include "chain/error_report.h"
#include "store/cp1252.h"
#include "ui/data_grid.h"
#include "ui/dialogs.h"

namespace ui {

namespace {

const char* const kCentreFields[3] = {"CODCENTRO", "ANOACAD", "VERSION"};
const char* const kCentreLabels[3] = {"Cód.Centro", "Año Académico",
                                      "Versión"};
const int kCentreWidths[3] = {6, 4, 5};

const char* const kInstruction =
    "Deberán CODIFICAR todos aquellos Datos del DAE, que se encuentren en "
    "Blanco, Seleccionando los mismos en la Ventana Auxiliar que se abrirá "
    "en cada Celda Codificable. Los Códigos DAE que se inserten en la "
    "Ventana de PROFESORES o REGISTROS de TIPO 2, se actualizarán "
    "automáticamente en REGISTROS de TIPO 3.";

const char* const kNote =
    "Si la TAREA es \"Lectiva\",  Cód.ASIG e IDIOMA deben tener contenido. "
    "Si la TAREA  NO es \"Lectiva\",  ACTIV. debe tener contenido. ";

bool Pending(const store::Table& t) {
  return t.Active() && (t.State() == store::DataSetState::Edit ||
                        t.State() == store::DataSetState::Insert);
}

std::shared_ptr<LookupSpec> Lookup(
    store::Table& table, const char* codeField,
    std::vector<LookupSpec::ListColumn> columns) {
  auto spec = std::make_shared<LookupSpec>();
  spec->table = &table;
  spec->codeField = codeField;
  spec->columns = std::move(columns);
  return spec;
}

QLabel* SectionLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  QFont f = label->font();
  f.setBold(true);
  label->setFont(f);
  return label;
}

QLabel* RedText(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  QPalette p = label->palette();
  p.setColor(QPalette::WindowText, QColor(200, 0, 0));
  label->setPalette(p);
  QFont f = label->font();
  f.setBold(true);
  label->setFont(f);
  label->setWordWrap(true);
  return label;
}

}  // namespace

TAjustaDAE::TAjustaDAE(dae_export::AjustaDAE& logic, QWidget* parent)
    : QDialog(parent), logic_(logic) {
  logic_.FormCreate();

  setObjectName(QStringLiteral("AjustaDAE"));
  setWindowTitle(QStringLiteral("CODIFICACIÓN Datos DAE"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint |
                 Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::CustomizeWindowHint);
  setModal(true);

  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->setContentsMargins(14, 10, 14, 10);
  layout->setSpacing(5);

  auto* title = new QLabel(
      QStringLiteral("AJUSTES Y CODIFICACION DE DATOS EXPORTACIÓN PARA D.A.E."),
      this);
  title->setObjectName(QStringLiteral("LabelTitulo"));
  QFont tf = title->font();
  tf.setBold(true);
  tf.setPointSize(tf.pointSize() + 3);
  title->setFont(tf);
  title->setAlignment(Qt::AlignCenter);
  layout->addWidget(title);

  QLabel* instruction = RedText(QString::fromUtf8(kInstruction), this);
  instruction->setObjectName(QStringLiteral("LabelInstrucciones"));
  layout->addWidget(instruction);

  auto* centreRow = new QHBoxLayout;
  buildCentreEdits(this, centreRow);
  layout->addLayout(centreRow);

  // Teachers.
  layout->addWidget(SectionLabel(QStringLiteral("PROFESORES"), this));
  GridOptions options;
  options.enterMovesToNextCell = true;  // no rows added or deleted
  std::vector<GridColumn> teacherColumns = {
      // The teacher's abbreviation is the key that ties the teacher to
      // the timetable and to the records: it is shown, never typed over.
      {"ABREV", 4, QStringLiteral("Profe."), false, nullptr, false},
      {"TIPODNI", 1, QStringLiteral("TipoDOC"), true,
       Lookup(logic_.wwTabledaeTIPDOC, "COD",
              {{"COD", 1}, {"DESCCAST", 25}, {"DESCEUSK", 25}}),
       false},
      {"DNI", 15, QStringLiteral("DOCUMENTO"), true, nullptr, true},
      {"NOMBRE", 45, QStringLiteral("Nombre"), true, nullptr, false},
      {"DEPART", 32, QStringLiteral("Departamento"), true, nullptr, false},
  };
  wwDBGridPROFT = new DataGrid(logic_.wwTableProfesor,
                               std::move(teacherColumns), options, this);
  wwDBGridPROFT->setObjectName(QStringLiteral("wwDBGridPROFT"));
  wwDBGridPROFT->setVisibleRows(5);
  wwDBGridPROFT->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  layout->addWidget(wwDBGridPROFT, 0, Qt::AlignLeft);

  // Type 2 records of the current teacher.
  layout->addWidget(
      SectionLabel(QStringLiteral("REGISTROS de TIPO 2"), this));
  auto codable = [](const char* table, const char* field) {
    return dae_export::AjustaDAE::IsCodableField(table, field);
  };
  std::vector<GridColumn> type2Columns;
  // The teacher, day and session make up the record's key: shown only.
  auto add2 = [&](const char* field, int width, const char* titleText,
                  std::shared_ptr<LookupSpec> lookup = nullptr) {
    const std::string name = field;
    const bool key = name == "ABREVPROF" || name == "DIASEM" || name == "NUMSESION";
    type2Columns.push_back({field, width, QString::fromUtf8(titleText), !key,
                            std::move(lookup), codable("CUADROH2", field)});
  };
  add2("ABREVPROF", 4, "Profe.");
  add2("TIPDOC", 1, "TipoDOC");
  add2("DOC", 15, "Documento DNI");
  add2("DIASEM", 1, "Día");
  add2("NUMSESION", 2, "Sesión");
  add2("TIPTAR", 3, "TAREA",
       Lookup(logic_.wwTabledaeTIPTAR, "COD",
              {{"COD", 3}, {"DESCCAST", 45}, {"DESCEUSK", 45}}));
  add2("HORAINI", 5, "H.INICIO");
  add2("HORAFIN", 5, "H. FIN");
  add2("GRUPNIV", 3, "G.NIVEL",
       Lookup(logic_.wwTabledaeGRUPNIV, "NIVEL",
              {{"NIVEL", 3}, {"DESCCAST", 45}, {"DESCEUSK", 45}}));
  add2("ABREVASIG", 4, "Asignat.");
  add2("CODASIG", 4, "Cód.ASIG",
       Lookup(logic_.wwTabledaeASIGNAT, "COD",
              {{"CODCAST", 6}, {"COD", 5}, {"DESCCASTR", 20},
               {"DESCEUSKR", 20}}));
  add2("IDIOMA", 2, "IDIOMA",
       Lookup(logic_.wwTabledaeIDIOMA, "IDIOMA",
              {{"IDIOMA", 2}, {"DESCCASTR", 4}, {"DESCEUSKR", 4}}));
  add2("TIP_ACTIV", 3, "ACTIV.",
       Lookup(logic_.wwTabledaeOTRACT, "COD",
              {{"COD", 4}, {"DESCCASTR", 22}, {"DESCEUSKR", 22}}));
  wwDBGridCUADROH2 = new DataGrid(logic_.wwTableCUADROH2,
                                  std::move(type2Columns), options, this);
  wwDBGridCUADROH2->setObjectName(QStringLiteral("wwDBGridCUADROH2"));
  // Which codes a record needs depends on its task (the red note).
  wwDBGridCUADROH2->tableModel()->setMarkRule([this](int row, int column) {
    return type2CodeNeeded(
        row, wwDBGridCUADROH2->tableModel()->column(column).field.c_str());
  });
  wwDBGridCUADROH2->setVisibleRows(7);
  wwDBGridCUADROH2->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  layout->addWidget(wwDBGridCUADROH2, 0, Qt::AlignLeft);

  // Type 3 records of the current type 2 record, with the note beside.
  layout->addWidget(
      SectionLabel(QStringLiteral("REGISTROS de TIPO 3"), this));
  std::vector<GridColumn> type3Columns;
  for (auto [field, width, titleText] :
       {std::tuple{"ABREVGRUP", 4, "Grupo"},
        std::tuple{"CODGRUPO", 5, "Cód.GRUPO"},
        std::tuple{"NUMALUM", 2, "Núm.ALUMNOS"}})
    type3Columns.push_back({field, width, QString::fromUtf8(titleText), true,
                            nullptr, codable("CUADROH3", field)});
  wwDBGridCUADROH3 = new DataGrid(logic_.wwTableCUADROH3,
                                  std::move(type3Columns), options, this);
  wwDBGridCUADROH3->setObjectName(QStringLiteral("wwDBGridCUADROH3"));
  wwDBGridCUADROH3->setVisibleRows(3);
  wwDBGridCUADROH3->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  auto* type3Row = new QHBoxLayout;
  type3Row->addWidget(wwDBGridCUADROH3, 0, Qt::AlignTop);
  type3Row->addSpacing(16);
  QLabel* note = RedText(QString::fromUtf8(kNote), this);
  note->setObjectName(QStringLiteral("LabelNota"));
  note->setMaximumWidth(420);
  type3Row->addWidget(note, 0, Qt::AlignTop);
  type3Row->addStretch();
  layout->addLayout(type3Row);

  // The pending-work line and the exit button.
  auto* bottomRow = new QHBoxLayout;
  LabelPendientes = new QLabel(this);
  LabelPendientes->setObjectName(QStringLiteral("LabelPendientes"));
  bottomRow->addWidget(LabelPendientes, 1);
  BitBtn1 = new QPushButton(QStringLiteral("&Salir"), this);
  BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
  BitBtn1->setAutoDefault(false);
  BitBtn1->setMinimumWidth(110);
  bottomRow->addWidget(BitBtn1);
  layout->addLayout(bottomRow);

  // The instruction and the title span the width of the widest grid.
  const int width = std::max(wwDBGridPROFT->sizeHint().width(),
                             wwDBGridCUADROH2->sizeHint().width());
  instruction->setFixedWidth(width);

  connect(wwDBGridPROFT, &DataGrid::columnExited, this,
          [this](const QString& left, const QString&) {
            try {
              logic_.wwDBGridPROFTColExit(left.toStdString());
            } catch (const std::exception& e) {
              report(e);
            }
          });
  connect(wwDBGridPROFT, &DataGrid::fieldChanged, this,
          [this](const QString& field) {
            try {
              logic_.wwDBGridPROFTFieldChanged(field.toStdString());
            } catch (const std::exception& e) {
              report(e);
            }
          });
  connect(BitBtn1, &QPushButton::clicked, this, &TAjustaDAE::BitBtn1Click);

  // Codes typed by hand must be in their lists; times must be times.
  for (DataGrid* g : {wwDBGridPROFT, wwDBGridCUADROH2, wwDBGridCUADROH3}) {
    TableModel* model = g->tableModel();
    model->setCheckRule([this, model](int column, const QString& text) {
      return QString::fromStdString(logic_.TypedValueProblem(
          model->table(), model->column(column).field,
          store::Utf8ToCp1252(text.toStdString())));
    });
  }

  // The counts and marks follow the tables, the fields set through the
  // grids and the text being typed into a cell.
  for (store::Table* t : {&logic_.wwTableProfesor, &logic_.wwTableCUADROH2,
                          &logic_.wwTableCUADROH3}) {
    int id = t->AddListener([this](store::TableEvent e) {
      if (e != store::TableEvent::Scrolled) schedulePending();
    });
    listeners_.push_back({t, id});
  }
  for (DataGrid* g : {wwDBGridPROFT, wwDBGridCUADROH2, wwDBGridCUADROH3}) {
    connect(g->tableModel(), &TableModel::fieldChanged, this,
            [this] { schedulePending(); });
    connect(g, &DataGrid::editorTextEdited, this,
            [this, g](const QString& field, const QString& text) {
              typing(g, field, text);
            });
    connect(g, &DataGrid::editorClosed, this, [this] {
      typed_ = {};
      schedulePending();
    });
  }
  int id = logic_.wwTabledaeCENTRO.AddListener([this](store::TableEvent e) {
    if (e != store::TableEvent::StateChanged) loadCentreEdits();
  });
  listeners_.push_back({&logic_.wwTabledaeCENTRO, id});

  loadCentreEdits();
  refreshPending();

  setTabOrder(DBEditCODECENTRO, DBEditANOACAD);
  setTabOrder(DBEditANOACAD, DBEditVERSION);
  setTabOrder(DBEditVERSION, wwDBGridPROFT);
  setTabOrder(wwDBGridPROFT, wwDBGridCUADROH2);
  setTabOrder(wwDBGridCUADROH2, wwDBGridCUADROH3);
  setTabOrder(wwDBGridCUADROH3, BitBtn1);
  wwDBGridCUADROH2->setFocus(Qt::OtherFocusReason);
}

TAjustaDAE::~TAjustaDAE() {
  for (auto [table, id] : listeners_) table->RemoveListener(id);
  // The grids are destroyed with the dialog's base part, after this one is
  // gone; an editor they close then must not call back into this window.
  for (DataGrid* g : {wwDBGridPROFT, wwDBGridCUADROH2, wwDBGridCUADROH3}) {
    disconnect(g, nullptr, this, nullptr);
    disconnect(g->tableModel(), nullptr, this, nullptr);
  }
}

void TAjustaDAE::buildCentreEdits(QWidget* parent, QHBoxLayout* row) {
  row->addWidget(SectionLabel(QStringLiteral("Datos del Centro:"), parent));
  row->addSpacing(10);
  for (int i = 0; i < 3; ++i) {
    auto* label = new QLabel(QString::fromUtf8(kCentreLabels[i]), parent);
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QStringLiteral("DBEdit") +
                        QString::fromLatin1(kCentreFields[i]));
    edit->setMaxLength(kCentreWidths[i]);
    edit->setFixedWidth(edit->fontMetrics().averageCharWidth() *
                            (kCentreWidths[i] + 2) +
                        12);
    label->setBuddy(edit);
    edit->installEventFilter(this);
    connect(edit, &QLineEdit::textEdited, this,
            [this, i](const QString& text) { centreEdited(i, text); });
    centreEdits_[i] = edit;
    row->addWidget(label);
    row->addWidget(edit);
    row->addSpacing(14);
  }
  row->addStretch();
  DBEditCODECENTRO = centreEdits_[0];
  DBEditANOACAD = centreEdits_[1];
  DBEditVERSION = centreEdits_[2];
}

// The edits show the centre row as the table holds it, unless the user is
// typing into one of them.
void TAjustaDAE::loadCentreEdits() {
  if (editingCentre_) return;
  store::Table& t = logic_.wwTabledaeCENTRO;
  for (int i = 0; i < 3; ++i) {
    QString text;
    try {
      if (t.Active()) {
        store::Field* f = t.FindField(kCentreFields[i]);
        if (f) {
          text = QString::fromStdString(store::Cp1252ToUtf8(f->AsString()));
          if (f->Size() > 0) centreEdits_[i]->setMaxLength(f->Size());
        }
      }
    } catch (const std::exception&) {
    }
    if (centreEdits_[i]->text() != text) centreEdits_[i]->setText(text);
  }
}

void TAjustaDAE::centreEdited(int which, const QString& text) {
  editingCentre_ = true;
  try {
    logic_.DBEditCODECENTROChange();
    store::Table& t = logic_.wwTabledaeCENTRO;
    if (Pending(t))
      t.FieldByName(kCentreFields[which])
          .SetAsString(store::Utf8ToCp1252(text.toStdString()));
  } catch (const std::exception& e) {
    editingCentre_ = false;
    report(e);
    return;
  }
  editingCentre_ = false;
}

// The centre edits' texts must be acceptable before they are stored; a
// refused text is undone (the edits show the row as stored again) and the
// message says why, at once or, when showDelayed, once the focus change
// that led here is over.
bool TAjustaDAE::centreAcceptable(bool showDelayed) {
  for (int i = 0; i < 3; ++i) {
    const std::string problem = dae_export::AjustaDAE::CentreValueProblem(
        kCentreFields[i], store::Utf8ToCp1252(centreEdits_[i]->text().toStdString()));
    if (problem.empty()) continue;
    try {
      store::Table& t = logic_.wwTabledaeCENTRO;
      if (Pending(t)) t.Cancel();
    } catch (const std::exception& e) {
      report(e);
    }
    loadCentreEdits();
    const QString text = QString::fromStdString(problem);
    if (showDelayed) {
      // A click on "&Salir" that took the focus from the edit must not go
      // on before the user has read why.
      centreRefused_ = true;
      QTimer::singleShot(0, this, [this, text] {
        ShowPlainMessage(this, text);
        centreRefused_ = false;
      });
    } else
      ShowPlainMessage(this, text);
    return false;
  }
  return true;
}

bool TAjustaDAE::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut) {
    for (QLineEdit* edit : centreEdits_)
      if (watched == edit) {
        if (!centreAcceptable(true)) break;
        try {
          logic_.DBEditCODECENTROExit();
        } catch (const std::exception& e) {
          report(e);
        }
        break;
      }
  }
  return QDialog::eventFilter(watched, event);
}

void TAjustaDAE::report(const std::exception& e) {
  ShowGridError(this, QString::fromStdString(chain::ExceptionText(e)));
}

void TAjustaDAE::BitBtn1Click() {
  for (DataGrid* g : {wwDBGridPROFT, wwDBGridCUADROH2, wwDBGridCUADROH3})
    if (!g->commitEditor()) return;
  if (centreRefused_ || !centreAcceptable(false)) return;
  bool close = false;
  try {
    close = logic_.BitBtn1Click();
  } catch (const std::exception& e) {
    report(e);
    return;
  }
  if (close) {
    accept();
    return;
  }
  // The check stopped on a teacher without a document: the teacher grid
  // stands on it, in the document column, ready to be completed.
  wwDBGridPROFT->setCurrentColumn(
      wwDBGridPROFT->tableModel()->columnOfField("DNI"));
  wwDBGridPROFT->setFocus(Qt::OtherFocusReason);
  refreshPending();
}

void TAjustaDAE::reject() {
  // No check and no file. What is pending is stored as leaving it would
  // store it: a grid row that was changed, a centre row in edit state.
  for (DataGrid* g : {wwDBGridPROFT, wwDBGridCUADROH2, wwDBGridCUADROH3})
    g->commitEditor();
  try {
    for (store::Table* t : {&logic_.wwTableCUADROH3, &logic_.wwTableCUADROH2,
                            &logic_.wwTableProfesor}) {
      if (!Pending(*t)) continue;
      if (t->Modified())
        t->Post();
      else
        t->Cancel();
    }
    logic_.DBEditCODECENTROExit();
  } catch (const std::exception& e) {
    report(e);
  }
  QDialog::reject();
}

void TAjustaDAE::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

QString TAjustaDAE::PendingText(const dae_export::AjustaDAE::Pending& p) {
  if (p.blankCodableCells == 0 && p.teachersWithoutDocument == 0)
    return QStringLiteral(
        "Todas las celdas codificables tienen contenido y todos los "
        "profesores tienen documento.");
  auto plural = [](int n, const char* one, const char* many) {
    return QString::number(n) + ' ' + QString::fromUtf8(n == 1 ? one : many);
  };
  return QStringLiteral("Pendiente: ") +
         plural(p.blankCodableCells, "celda codificable en blanco",
                "celdas codificables en blanco") +
         QStringLiteral(" · ") +
         plural(p.teachersWithoutDocument, "profesor sin documento",
                "profesores sin documento") +
         '.';
}

void TAjustaDAE::schedulePending() {
  if (pendingScheduled_) return;
  pendingScheduled_ = true;
  QTimer::singleShot(0, this, [this] {
    pendingScheduled_ = false;
    refreshPending();
  });
}

void TAjustaDAE::refreshPending() {
  try {
    LabelPendientes->setText(PendingText(logic_.PendingSummary(typed_)));
  } catch (const std::exception&) {
    LabelPendientes->setText(QString());
  }
  // Which cells of a type 2 record need a code depends on its task.
  wwDBGridCUADROH2->viewport()->update();
}

void TAjustaDAE::typing(DataGrid* grid, const QString& field,
                        const QString& text) {
  typed_.table = &grid->table();
  typed_.field = field.toStdString();
  typed_.text = store::Utf8ToCp1252(text.toStdString());
  schedulePending();
}

bool TAjustaDAE::type2CodeNeeded(int row, const char* field) const {
  if (!wwDBGridCUADROH2) return true;
  const TableModel* model = wwDBGridCUADROH2->tableModel();
  std::string task;
  if (row == model->currentRow() && typed_.table == &logic_.wwTableCUADROH2 &&
      typed_.field == "TIPTAR")
    task = typed_.text;
  else
    task = store::Utf8ToCp1252(
        model->cellText(row, model->columnOfField("TIPTAR")).toStdString());
  return logic_.CodeNeeded(field, task);
}

}  // namespace ui
