#include "ui/main_form.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#if __has_include(<xcb/xcb.h>)
#include <xcb/xcb.h>
#define TRANSDAE_WATCH_XCB 1
#endif

#include <QAbstractNativeEventFilter>
#ifdef Q_OS_WIN
#include <windows.h>
#endif

#include "chain/error_report.h"
#include "app/result_entry.h"
#include "dae_import/centre_data_check.h"
#include "store/cp1252.h"
#include "store/work_folder.h"
#include "ui/ajusta_dae_dialog.h"
#include "ui/control_plantilla_dialog.h"
#include "ui/data_grid.h"
#include "ui/dialogs.h"
#include "ui/embedded_placement.h"
#include "ui/folder_browser.h"
#include "ui/gradient_panel.h"
#include "ui/help_viewer.h"

namespace ui {

namespace {

// Colours of the gradient fills.
const QColor kTopLight(0xfb, 0xfd, 0xff);
const QColor kTopDeep(0x9d, 0xbd, 0xe3);
const QColor kBottomLight(0xee, 0xf2, 0xf6);
const QColor kBottomDeep(0xb4, 0xc3, 0xd3);
const QColor kPanelLight(0xff, 0xfb, 0xe9);
const QColor kPanelDeep(0xe9, 0xd9, 0xa6);
const QColor kTitleColour(0x10, 0x2a, 0x5c);

// The tick of the OK-style buttons, drawn so that it looks the same under
// every style.
QIcon TickIcon() {
  QPixmap pixmap(18, 18);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath tick;
  tick.moveTo(3, 9.5);
  tick.lineTo(7.5, 14);
  tick.lineTo(15, 4);
  p.setPen(QPen(QColor(0x1f, 0x8a, 0x2e), 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(tick);
  return QIcon(pixmap);
}

QLabel* MakeLabel(const QString& text, QWidget* parent, const char* name = nullptr) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  if (name) label->setObjectName(QString::fromLatin1(name));
  return label;
}

QPushButton* MakeButton(const QString& text, QWidget* parent, const char* name) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoDefault(false);
  return button;
}

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

const char* const TMForm::kImportUnfinishedQuestion =
    "La importación no ha terminado: las tablas de Dolvarin (asignaturas, profesores y "
    "grupos) ya se han sustituido por las de DAE, pero faltan los datos del centro y las "
    "abreviaturas de los niveles de estudios.\r"
    "Si sale ahora, los grupos se quedan con los códigos de nivel de DAE. Para volver a las "
    "tablas de antes de esta importación, cierre Dolvarin y esta herramienta y ejecute "
    "«transdae-cli restore».\r"
    "¿Desea salir igualmente?";

// The foreign window may vanish while the tool runs (the program that owns
// it ended, or closed it): the X server, or Windows, then destroys the
// tool's window with it. The tool then closes as the user's "&Salir" would,
// so that it never lingers without a window.
class TMForm::HostWatch : public QAbstractNativeEventFilter {
 public:
  HostWatch(TMForm* form, WId window) : form_(form), window_(window) {}

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
#ifdef TRANSDAE_WATCH_XCB
    if (type != QByteArrayLiteral("xcb_generic_event_t")) return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_DESTROY_NOTIFY) return false;
    const auto* destroyed = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
    if (destroyed->window != window_) return false;
    QPointer<TMForm> form(form_);
    QMetaObject::invokeMethod(
        form_,
        [form] {
          if (!form) return;
          form->hostGone_ = true;  // nobody is left to answer a question
          if (form->isVisible()) form->close();
        },
        Qt::QueuedConnection);
#elif defined(Q_OS_WIN)
    if (type != QByteArrayLiteral("windows_generic_MSG")) return false;
    const auto* msg = static_cast<const MSG*>(message);
    if (msg->message != WM_DESTROY || msg->hwnd != reinterpret_cast<HWND>(window_)) return false;
    QPointer<TMForm> form(form_);
    QMetaObject::invokeMethod(
        form_,
        [form] {
          if (form && form->isVisible()) form->close();
        },
        Qt::QueuedConnection);
#else
    Q_UNUSED(type);
    Q_UNUSED(message);
#endif
    return false;
  }

 private:
  TMForm* form_;
  WId window_;
};

TMForm::TMForm(FormSetup setup, QWidget* parent)
    : QWidget(parent, Qt::Window),
      state_(setup.state ? setup.state : &chain::Process()),
      workFolder_(setup.workFolder.empty() ? store::WorkFolder() : setup.workFolder),
      exeFolder_(setup.exeFolder.empty() ? app::ExecutableFolder() : setup.exeFolder) {
  setObjectName(QStringLiteral("MForm"));
  setWindowTitle(QStringLiteral("Exportar e importar datos entre Dolvarin y DAE"));
  setProperty("helpContext", kHelpMainWindow);
  setFixedSize(kFormWidth, kFormHeight);
  // Tooltips (the whole path of a shortened folder) show also when the
  // window is not the active one, as inside the timetabling product's.
  setAttribute(Qt::WA_AlwaysShowToolTips);
  // A dialog's border: a title and a close box, no resizing or maximising.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

  workflow_ = std::make_unique<app::MainWorkflow>(*this, *state_, workFolder_);
  help_ = new HelpViewer(this);

  buildTopBand();
  buildBottomBand();
  buildCentrePanel();
  buildLevelPanel();

  Directorios->setDirectory(setup.startFolder.isEmpty() ? QDir::currentPath()
                                                         : setup.startFolder);
  Unidades->refreshVolumes();
  LabelRuta->setPath(Directorios->chosenFolder());

  auto* f1 = new QAction(this);
  f1->setObjectName(QStringLiteral("HelpAction"));
  f1->setShortcut(QKeySequence(Qt::Key_F1));
  f1->setShortcutContext(Qt::WindowShortcut);
  connect(f1, &QAction::triggered, this, &TMForm::showHelpForFocus);
  addAction(f1);
}

TMForm::~TMForm() {
  if (hostWatch_) QCoreApplication::instance()->removeNativeEventFilter(hostWatch_.get());
  if (busy_) QApplication::restoreOverrideCursor();
  // The grids listen to the tables: they go before the workflow's tables.
  delete Panel1;
  delete Panel2;
  Panel1 = nullptr;
  Panel2 = nullptr;
}

// ------------------------------------------------------------------ layout

void TMForm::buildTopBand() {
  QFont titleFont = font();
  titleFont.setBold(true);
  titleFont.setPointSizeF(font().pointSizeF() * 1.35);

  leftPanel_ = new GradientPanel(kTopLight, kTopDeep, this);
  leftPanel_->setObjectName(QStringLiteral("PanelIzquierdo"));
  leftPanel_->setGeometry(0, 0, kLeftPanelWidth, kTopBandHeight);
  {
    auto* grid = new QGridLayout(leftPanel_);
    grid->setContentsMargins(8, 4, 8, 6);
    grid->setVerticalSpacing(2);
    QLabel* title = MakeLabel(QStringLiteral("Transformar datos desde DAE hacia Dolvarin "),
                              leftPanel_, "LabelTituloIzquierdo");
    title->setFont(titleFont);
    title->setWordWrap(true);
    title->setStyleSheet(QStringLiteral("color: #102a5c"));
    grid->addWidget(title, 0, 0, 1, 2);
    grid->addWidget(MakeLabel(QStringLiteral("Recoger Textos en:"), leftPanel_,
                              "LabelRecogerTextos"),
                    1, 0);
    ComboBoxEuskCast = new QComboBox(leftPanel_);
    ComboBoxEuskCast->setObjectName(QStringLiteral("ComboBoxEuskCast"));
    ComboBoxEuskCast->setEditable(true);
    ComboBoxEuskCast->setInsertPolicy(QComboBox::NoInsert);
    ComboBoxEuskCast->addItems({QStringLiteral("EUSKERA"), QStringLiteral("CASTELLANO")});
    ComboBoxEuskCast->setCurrentIndex(0);
    ComboBoxEuskCast->setEditText(QStringLiteral("EUSKERA"));
    ComboBoxEuskCast->setProperty("helpContext", kHelpLanguageBox);
    ComboBoxEuskCast->setMinimumWidth(130);
    grid->addWidget(ComboBoxEuskCast, 2, 0, Qt::AlignLeft);
    BExportar = MakeButton(QStringLiteral("Aceptar"), leftPanel_, "BExportar");
    BExportar->setIcon(TickIcon());
    BExportar->setMinimumWidth(96);
    grid->addWidget(BExportar, 2, 1, Qt::AlignRight | Qt::AlignBottom);
    grid->setRowStretch(0, 1);
    grid->setColumnStretch(0, 1);
  }
  connect(BExportar, &QPushButton::clicked, this, &TMForm::BExportarClick);

  rightPanel_ = new GradientPanel(kTopLight, kTopDeep, this);
  rightPanel_->setObjectName(QStringLiteral("PanelDerecho"));
  rightPanel_->setGeometry(kLeftPanelWidth, 0, kFormWidth - kLeftPanelWidth, kTopBandHeight);
  {
    auto* box = new QVBoxLayout(rightPanel_);
    box->setContentsMargins(8, 4, 8, 6);
    QLabel* title = MakeLabel(QStringLiteral("Transformar datos desde Dolvarin hacia DAE"),
                              rightPanel_, "LabelTituloDerecho");
    title->setFont(titleFont);
    title->setWordWrap(true);
    title->setStyleSheet(QStringLiteral("color: #102a5c"));
    box->addWidget(title, 1);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    BImportar = MakeButton(QStringLiteral("Aceptar"), rightPanel_, "BImportar");
    BImportar->setIcon(TickIcon());
    BImportar->setMinimumWidth(96);
    row->addWidget(BImportar);
    box->addLayout(row);
  }
  connect(BImportar, &QPushButton::clicked, this, &TMForm::BImportarClick);
}

void TMForm::buildBottomBand() {
  bottomBand_ = new GradientPanel(kBottomLight, kBottomDeep, this);
  bottomBand_->setObjectName(QStringLiteral("PanelInferior"));
  bottomBand_->setGeometry(0, kTopBandHeight, kFormWidth, kBottomBandHeight);

  QLabel* folderTitle = MakeLabel(
      QStringLiteral("Carpeta en la que se encuentran los Ficheros TXT de DAE"), bottomBand_,
      "LabelCarpeta");
  QFont bold = font();
  bold.setBold(true);
  folderTitle->setFont(bold);
  folderTitle->setGeometry(8, 4, 583, 16);

  QLabel* pathTitle = MakeLabel(QStringLiteral("Ruta Actual:"), bottomBand_, "LabelRutaActual");
  const int pathTitleWidth = pathTitle->sizeHint().width();
  pathTitle->setGeometry(8, 22, pathTitleWidth, 16);
  LabelRuta = new PathLabel(bottomBand_);
  LabelRuta->setObjectName(QStringLiteral("LabelRuta"));
  LabelRuta->setGeometry(8 + pathTitleWidth + 6, 22, kFormWidth - 8 - (8 + pathTitleWidth + 6), 16);

  Directorios = new FolderList(bottomBand_);
  Directorios->setObjectName(QStringLiteral("Directorios"));
  Directorios->setGeometry(8, 42, 287, 144);
  connect(Directorios, &FolderList::folderChosen, LabelRuta, &PathLabel::setPath);
  // The title shows the whole path as well, as the shortened path does.
  connect(Directorios, &FolderList::folderChosen, pathTitle,
          [pathTitle](const QString& path) { pathTitle->setToolTip(QDir::toNativeSeparators(path)); });

  Unidades = new DriveBox(Directorios, bottomBand_);
  Unidades->setObjectName(QStringLiteral("Unidades"));
  Unidades->setGeometry(304, 42, 287, 24);

  Button1 = MakeButton(QStringLiteral("F1 AYUDA"), bottomBand_, "Button1");
  Button1->setGeometry(304, 78, 120, 28);
  connect(Button1, &QPushButton::clicked, this, &TMForm::Button1Click);

  BClose = MakeButton(QStringLiteral("&Salir"), bottomBand_, "BClose");
  BClose->setGeometry(471, 78, 120, 28);
  connect(BClose, &QPushButton::clicked, this, &QWidget::close);

  Button3 = MakeButton(QStringLiteral("Volver a Niveles Estudios"), bottomBand_, "Button3");
  Button3->setGeometry(304, 116, 287, 28);
  Button3->hide();
  connect(Button3, &QPushButton::clicked, this, &TMForm::Button3Click);

  LabelVersion = MakeLabel(QStringLiteral("TransDolvarinDAE para QX5 V-1.1"), bottomBand_,
                           "LabelVersion");
  LabelVersion->setFont(bold);
  LabelVersion->setStyleSheet(QStringLiteral("color: #c00000"));
  LabelVersion->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  LabelVersion->setGeometry(304, 180, 287, 18);
}

void TMForm::buildCentrePanel() {
  Panel1 = new GradientPanel(kPanelLight, kPanelDeep, bottomBand_);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setGeometry(4, 38, 295, 164);

  QLabel* title = MakeLabel(QStringLiteral("Aceptar o Corregir sus Datos del Centro:"), Panel1,
                            "LabelDatosCentro");
  QFont bold = font();
  bold.setBold(true);
  title->setFont(bold);

  std::vector<GridColumn> columns = {
      {"CODCENTRO", 6, QStringLiteral("Código CENTRO"), true, nullptr, false},
      {"ANOACAD", 4, QStringLiteral("Año Académico"), true, nullptr, false},
      {"VERSION", 5, QStringLiteral("Versión"), true, nullptr, false},
  };
  // Only the first row is ever read: the grid offers no adding or deleting.
  wwDBGridCODCENTRO = new DataGrid(workflow_->Tables().wwTableCentro, std::move(columns),
                                   GridOptions{}, Panel1);
  wwDBGridCODCENTRO->setObjectName(QStringLiteral("wwDBGridCODCENTRO"));
  wwDBGridCODCENTRO->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  wwDBGridCODCENTRO->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  wwDBGridCODCENTRO->setVisibleRows(1);
  // The centre values are checked as they are typed (the academic year is
  // four digits).
  wwDBGridCODCENTRO->tableModel()->setCheckRule([this](int column, const QString& text) {
    return QString::fromStdString(dae_import::CentreValueProblem(
        wwDBGridCODCENTRO->tableModel()->column(column).field,
        store::Utf8ToCp1252(text.toStdString())));
  });
  wwDBGridCODCENTRO->errorHandler = [this](const QString& text) {
    ShowErrorReport(this, FromUtf8(chain::ErrorReportText(text.toStdString())));
  };

  BitBtn1 = MakeButton(QStringLiteral("OK"), Panel1, "BitBtn1");
  BitBtn1->setIcon(TickIcon());
  BitBtn1->setMinimumWidth(90);
  Panel1->setDefaultButton(BitBtn1);
  connect(BitBtn1, &QPushButton::clicked, this, &TMForm::BitBtn1Click);

  auto* box = new QVBoxLayout(Panel1);
  box->setContentsMargins(8, 8, 8, 8);
  box->addWidget(title);
  wwDBGridCODCENTRO->setFixedSize(wwDBGridCODCENTRO->sizeHint());
  box->addWidget(wwDBGridCODCENTRO, 0, Qt::AlignLeft);
  box->addStretch(1);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(BitBtn1);
  box->addLayout(row);
  Panel1->hide();
}

void TMForm::buildLevelPanel() {
  Panel2 = new GradientPanel(kPanelLight, kPanelDeep, this);
  Panel2->setObjectName(QStringLiteral("Panel2"));
  Panel2->setGeometry(4, 4, kFormWidth - 8, kFormHeight - 8);

  QLabel* title = MakeLabel(QStringLiteral("NIVELES DE ESTUDIOS"), Panel2, "LabelNiveles");
  QFont titleFont = font();
  titleFont.setBold(true);
  titleFont.setUnderline(true);
  titleFont.setPointSizeF(font().pointSizeF() * 1.25);
  title->setFont(titleFont);
  title->setAlignment(Qt::AlignCenter);
  QLabel* hint = MakeLabel(
      QStringLiteral("Escriba las Abreviaturas (hasta 5 caracteres) en Castellano y/o Euskera."),
      Panel2, "LabelAbreviaturas");
  hint->setAlignment(Qt::AlignCenter);

  std::vector<GridColumn> columns = {
      {"COD", 3, QStringLiteral("COD"), false, nullptr, false},
      {"DESCCASTR", 20, QStringLiteral("Descr.Cast."), false, nullptr, false},
      {"ABREVCAST", 5, QStringLiteral("ABREV.Cast."), true, nullptr, false},
      {"DESCEUSKR", 20, QStringLiteral("Descr.Eusk."), false, nullptr, false},
      {"ABREVEUSK", 5, QStringLiteral("ABREV.Eusk."), true, nullptr, false},
  };
  GridOptions options;
  options.allowInsert = true;
  options.allowDelete = true;
  wwDBGridNIVIMP = new DataGrid(workflow_->Tables().wwTableNIVIMP, std::move(columns), options,
                                Panel2);
  wwDBGridNIVIMP->setObjectName(QStringLiteral("wwDBGridNIVIMP"));
  wwDBGridNIVIMP->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  wwDBGridNIVIMP->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  wwDBGridNIVIMP->errorHandler = [this](const QString& text) {
    ShowErrorReport(this, FromUtf8(chain::ErrorReportText(text.toStdString())));
  };
  connect(wwDBGridNIVIMP, &DataGrid::entered, this, &TMForm::wwDBGridNIVIMPEnter);

  BitBtn2 = MakeButton(QStringLiteral("Aceptar"), Panel2, "BitBtn2");
  BitBtn2->setIcon(TickIcon());
  BitBtn2->setMinimumWidth(110);
  Panel2->setDefaultButton(BitBtn2);
  connect(BitBtn2, &QPushButton::clicked, this, &TMForm::FinalRecogidaClick);
  Button2 = MakeButton(QStringLiteral("Volver a Datos Centro"), Panel2, "Button2");
  Button2->setMinimumWidth(170);
  connect(Button2, &QPushButton::clicked, this, &TMForm::Button2Click);

  auto* box = new QVBoxLayout(Panel2);
  box->setContentsMargins(10, 8, 10, 10);
  box->addWidget(title);
  box->addWidget(hint);
  // As wide as its columns, as high as the panel allows.
  wwDBGridNIVIMP->setVisibleRows(6);
  wwDBGridNIVIMP->setFixedWidth(wwDBGridNIVIMP->sizeHint().width());
  wwDBGridNIVIMP->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  box->addWidget(wwDBGridNIVIMP, 1, Qt::AlignHCenter);
  auto* row = new QHBoxLayout;
  row->addWidget(Button2);
  row->addStretch(1);
  row->addWidget(BitBtn2);
  box->addLayout(row);
  Panel2->hide();
}

// --------------------------------------------------------- start and close

void TMForm::FormCreate(const app::LaunchOptions& options) {
  state_->resultCode = 0;
  if (!options.error.empty()) {
    ReportError(chain::ErrorReportText(options.error));
    return;
  }
  if (!options.embedded) return;
  embedInto(options.parentHandle);
  state_->embedded = true;
  hideDirectionPanel(options.hiddenPanel);
}

// Inside the product's window nothing gives this window the keyboard by
// itself: it takes it as soon as it shows, so that the first keys typed
// reach it rather than the product.
void TMForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!host_) return;
  QTimer::singleShot(0, this, [this] {
    if (!isVisible() || !windowHandle()) return;
    windowHandle()->requestActivate();
    if (!QApplication::focusWidget() || QApplication::focusWidget()->window() != this)
      focusNextChild();
  });
}

// The handle is the foreign window's native id (an X11 window id under X).
// Where the platform cannot hold foreign windows (offscreen, Wayland), the
// window stays top-level but still frameless at (2, 2), and embedded mode
// holds all the same: the caller still gets its result entry.
void TMForm::embedInto(std::uintptr_t handle) {
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  setFixedSize(kFormWidth, kFormHeight);
  host_ = QWindow::fromWinId(static_cast<WId>(handle));
  if (host_) {
    winId();  // the native window, so that it can be given its parent
    windowHandle()->setParent(host_);
    windowHandle()->setPosition(kEmbeddedOffset, kEmbeddedOffset);
    hostWatch_ = std::make_unique<HostWatch>(this, winId());
    QCoreApplication::instance()->installNativeEventFilter(hostWatch_.get());
  }
  move(kEmbeddedOffset, kEmbeddedOffset);
}

void TMForm::hideDirectionPanel(app::HiddenPanel panel) {
  switch (panel) {
    case app::HiddenPanel::Left:
      leftPanel_->hide();
      rightPanel_->setGeometry(0, 0, kFormWidth, kTopBandHeight);
      break;
    case app::HiddenPanel::Right:
      rightPanel_->hide();
      leftPanel_->setGeometry(0, 0, kFormWidth, kTopBandHeight);
      break;
    case app::HiddenPanel::None:
      break;
  }
}

void TMForm::closeEvent(QCloseEvent* event) {
  // An import left in the centre or level panel has already replaced the
  // timetabling product's tables: the user is told so, and how to undo it,
  // before the tool closes.
  if (importUnfinished() && !hostGone_ &&
      Ask(kImportUnfinishedQuestion) != chain::Answer::Yes) {
    event->ignore();
    return;
  }
  // Whatever happens to the result entry, the window closes: the user must
  // always be able to end the tool.
  const std::string error = app::CloseStep(*state_, exeFolder_);
  if (!error.empty()) {
    ShowErrorReport(this, FromUtf8(error) +
                              QStringLiteral("\rLa herramienta se cierra igualmente, "
                                             "pero el resultado no ha quedado anotado."));
  }
  if (busy_) {
    QApplication::restoreOverrideCursor();
    busy_ = false;
  }
  event->accept();
  emit formClosed();
}

// ------------------------------------------------------------------ handlers

QString TMForm::currentFolder() const { return Directorios->chosenFolder(); }

bool TMForm::importUnfinished() const {
  return importStarted_ && (Panel1->isVisible() || Panel2->isVisible());
}

void TMForm::BExportarClick() {
  importStarted_ = true;
  workflow_->BExportarClick(QDir::toNativeSeparators(currentFolder()).toStdString());
}

void TMForm::BImportarClick() {
  importStarted_ = false;
  workflow_->BImportarClick(QDir::toNativeSeparators(currentFolder()).toStdString());
}

void TMForm::BitBtn1Click() {
  if (!wwDBGridCODCENTRO->commitEditor()) return;
  workflow_->BitBtn1Click();
}

void TMForm::FinalRecogidaClick() {
  if (!wwDBGridNIVIMP->commitEditor()) return;
  workflow_->FinalRecogida();
}

void TMForm::Button2Click() {
  wwDBGridNIVIMP->commitEditor();
  workflow_->Button2Click();
}

void TMForm::Button3Click() { workflow_->Button3Click(); }

void TMForm::wwDBGridNIVIMPEnter() { workflow_->wwDBGridNIVIMPEnter(); }

void TMForm::Button1Click() { help_->showContents(); }

void TMForm::showHelpForFocus() { help_->show(HelpContextOf(QApplication::focusWidget())); }

// ------------------------------------------------------- chain::UserInterface

void TMForm::ShowMessage(const std::string& text) { ShowPlainMessage(this, FromUtf8(text)); }

chain::Answer TMForm::Ask(const std::string& text) {
  return AskQuestion(this, FromUtf8(text)) ? chain::Answer::Yes : chain::Answer::No;
}

void TMForm::ReportError(const std::string& text) { ShowErrorReport(this, FromUtf8(text)); }

void TMForm::SetPanelVisible(chain::Panel panel, bool visible) {
  switch (panel) {
    case chain::Panel::Centre:
      Panel1->setVisible(visible);
      if (visible) {
        Panel1->raise();
        QTimer::singleShot(0, wwDBGridCODCENTRO, [grid = QPointer<DataGrid>(wwDBGridCODCENTRO)] {
          if (grid && grid->isVisible()) grid->setFocus(Qt::OtherFocusReason);
        });
      }
      break;
    case chain::Panel::Levels:
      Panel2->setVisible(visible);
      if (visible) {
        Panel2->raise();
        QTimer::singleShot(0, wwDBGridNIVIMP, [grid = QPointer<DataGrid>(wwDBGridNIVIMP)] {
          if (grid && grid->isVisible()) grid->setFocus(Qt::OtherFocusReason);
        });
      }
      break;
    case chain::Panel::BackToLevels:
      Button3->setVisible(visible);
      break;
  }
}

void TMForm::SetBusyCursor(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy)
    QApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QApplication::restoreOverrideCursor();
}

void TMForm::CloseMainWindow() { close(); }

std::string TMForm::LanguageText() { return ComboBoxEuskCast->currentText().toStdString(); }

namespace {

// While a window of its own waits for the user, the arrow shows; the busy
// cursor comes back when it closes.
class ArrowWhileWaiting {
 public:
  explicit ArrowWhileWaiting(bool busy) : busy_(busy) {
    if (busy_) QApplication::setOverrideCursor(Qt::ArrowCursor);
  }
  ~ArrowWhileWaiting() {
    if (busy_) QApplication::restoreOverrideCursor();
  }
  ArrowWhileWaiting(const ArrowWhileWaiting&) = delete;
  ArrowWhileWaiting& operator=(const ArrowWhileWaiting&) = delete;

 private:
  bool busy_;
};

}  // namespace

void TMForm::RunTemplateWindow(dae_export::ControlPlantilla& window) {
  ArrowWhileWaiting arrow(busy_);
  TControlPlantilla dialog(window, OwnerFor(this));
  PlaceOver(dialog, this);
  dialog.exec();
}

void TMForm::RunCodingWindow(dae_export::AjustaDAE& window) {
  ArrowWhileWaiting arrow(busy_);
  TAjustaDAE dialog(window, OwnerFor(this));
  PlaceOver(dialog, this);
  dialog.exec();
}

}  // namespace ui
