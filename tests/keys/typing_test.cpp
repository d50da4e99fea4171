// Typing into every grid of the tool as a person types: a click on a cell
// (the current one or another), then the keys at once, at a person's pace
// and in a burst; the tables are then read back by the independent reader.
#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QToolTip>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <memory>

#include "app/command_line.h"
#include "chain/process_state.h"
#include "dae_export/ajusta_dae.h"
#include "dae_export/control_plantilla.h"
#include "dae_export/timetable_template.h"
#include "store/work_folder.h"
#include "tests/keys/keys_support.h"
#include "tests/support/host_program.h"
#include "tests/support/test_support.h"
#include "tests/ui/test_ajusta_dae_fixture.h"
#include "ui/ajusta_dae_dialog.h"
#include "ui/control_plantilla_dialog.h"
#include "ui/data_grid.h"
#include "ui/dialogs.h"
#include "ui/lookup_delegate.h"
#include "ui/main_form.h"

namespace {

namespace fs = std::filesystem;
using keys::CellCentre;
using keys::ClickArgs;
using keys::KeyArgs;
using keys::kBurst;
using keys::kHuman;
using keys::Script;
using keys::TypeArgs;

QString CellText(ui::DataGrid* g, int row, int column) {
  return g->tableModel()->cellText(row, column).trimmed();
}

bool IsCurrent(ui::DataGrid* g, int row, int column) {
  const QModelIndex i = g->currentIndex();
  return i.isValid() && i.row() == row && i.column() == column && g->hasFocusWithin();
}

// The cell holds text and its editor (if any) is closed; Tab may have
// opened the next cell's.
bool Shows(ui::DataGrid* g, int row, int column, const QString& text) {
  const QModelIndex i = g->currentIndex();
  const bool editingIt = g->isEditing() && i.row() == row && i.column() == column;
  return !editingIt && CellText(g, row, column) == text;
}

// With a cell current, clicks it and types at once (the case in which keys
// used to be lost), ending with the given keys; waits until the cell shows
// the text.
void ClickCurrentAndType(Script& s, const std::string& what, ui::DataGrid* g, int row, int column,
                         const QString& text, int delay, const QStringList& end = {"Return"}) {
  // The cell is made the current one first (as an earlier click or arrow
  // key would have made it), with no editor open.
  s.run(what + ": celda actual", [=] {
    if (g->isEditing()) g->commitEditor();
    // With no window manager, a window is not active again by itself once
    // a message box over it has gone (a person's click would make it so).
    if (!g->window()->isActiveWindow()) g->window()->activateWindow();
    g->setFocus(Qt::MouseFocusReason);
    g->setCurrentIndex(g->model()->index(row, column));
  });
  s.send(
      what + ": clic en la celda actual y teclas", [=] { return IsCurrent(g, row, column) && !g->isEditing(); },
      [=] { return ClickArgs(CellCentre(g, row, column)) + TypeArgs(text, delay) + KeyArgs(end); });
  s.wait(what + ": la celda muestra «" + text.toStdString() + "»", [=] { return Shows(g, row, column, text); });
}

// The same without waiting between the clicks: a click on a cell that is
// not current, and the keys at once.
void ClickOtherAndType(Script& s, const std::string& what, ui::DataGrid* g, int row, int column,
                       const QString& text, int delay, const QStringList& end = {"Return"}) {
  s.send(what + ": clic y teclas", [=] { return !g->isEditing(); },
         [=] { return ClickArgs(CellCentre(g, row, column)) + TypeArgs(text, delay) + KeyArgs(end); });
  s.wait(what + ": la celda muestra «" + text.toStdString() + "»", [=] { return Shows(g, row, column, text); });
}

std::string Field(const std::vector<std::pair<std::string, std::string>>& row, const std::string& name) {
  for (const auto& [f, v] : row)
    if (f == name) return v;
  return "<" + name + "?>";
}

// ------------------------------------------------------------- template

TEST(Typing, TemplateTakesEveryKeyFromTheFirstAtAnySpeed) {
  KEYS_REQUIRE_DISPLAY();
  testsupport::TempDir dir;
  dae_export::EnsurePlantilla(dir.path());
  dae_export::ControlPlantilla logic(dir.path());
  ui::TControlPlantilla window(logic);
  ASSERT_TRUE(keys::ShowActive(&window));
  ui::DataGrid* g = window.PlantiHorDBGrid;
  const int ini = g->tableModel()->columnOfField("HORAINI");
  const int fin = g->tableModel()->columnOfField("HORAFIN");

  Script s;
  // The window opens on period 1's start time: a click on it and the keys
  // at once, in a burst.
  s.wait("la rejilla en la hora 1", [&] { return IsCurrent(g, 0, ini); });
  s.send("hora 1: clic en la celda actual y teclas", [] { return true; },
         [&] { return ClickArgs(CellCentre(g, 0, ini)) + TypeArgs("07:45", kBurst) + KeyArgs({"Return"}); });
  s.wait("hora 1 «07:45»", [&] { return !g->isEditing() && CellText(g, 0, ini) == "07:45"; });
  ClickOtherAndType(s, "hora 2", g, 1, ini, "09:05", kHuman);
  ClickCurrentAndType(s, "hora 3", g, 2, fin, "11:55", kHuman);
  ClickCurrentAndType(s, "hora 4", g, 3, ini, "10:59", 5);
  // Keys only: Tab to the end time, type; Tab passes over the period
  // number to the next row's start time.
  s.send("hora 5: clic", [&] { return !g->isEditing(); }, [&] { return ClickArgs(CellCentre(g, 4, ini)); });
  s.send("hora 5 y 6 por teclado", [&] { return IsCurrent(g, 4, ini); },
         [&] {
           return KeyArgs({"Tab"}) + TypeArgs("13:30", 3) + KeyArgs({"Tab"}) + TypeArgs("14:10", kBurst) +
                  KeyArgs({"Return"});
         });
  s.wait("hora 6 «14:10»", [&] { return !g->isEditing() && CellText(g, 5, ini) == "14:10"; });
  s.send("Aceptar", [] { return true; }, [&] { return ClickArgs(keys::Centre(window.BitBtn2)); });
  s.wait("la ventana se cierra", [&] { return !window.isVisible(); });
  ASSERT_TRUE(s.play(20000)) << s.failure() << " celda 1: " << CellText(g, 0, ini).toStdString();

  const auto rows = keys::Dump(dir.path() / "PLANTILLA.DBF");
  ASSERT_EQ(rows.size(), 20u);
  struct Expect {
    int row;
    const char* ini;
    const char* fin;
  };
  for (Expect e : {Expect{0, "07:45", "09:00"}, Expect{1, "09:05", "10:00"}, Expect{2, "10:00", "11:55"},
                   Expect{3, "10:59", "12:00"}, Expect{4, "12:00", "13:30"}, Expect{5, "14:10", "14:00"},
                   Expect{6, "14:00", "15:00"}}) {
    EXPECT_EQ(Field(rows[e.row], "HORAINI"), e.ini) << "hora " << e.row + 1;
    EXPECT_EQ(Field(rows[e.row], "HORAFIN"), e.fin) << "hora " << e.row + 1;
  }
}

// ------------------------------------------------- centre and level panels

TEST(Typing, CentrePanelAndLevelGridTakeEveryKey) {
  KEYS_REQUIRE_DISPLAY();
  testsupport::TempDir tmp;
  const fs::path dae = tmp.path() / "dae", work = tmp.path() / "QTEMP", exe = tmp.path() / "bin";
  fs::create_directories(dae);
  fs::create_directories(work);
  fs::create_directories(exe);
  for (const auto& e : fs::directory_iterator(testsupport::SourceDir() / "examples" / "dae"))
    fs::copy_file(e.path(), dae / e.path().filename());
  qputenv("QTEMP", QByteArray::fromStdString(work.string()));
  chain::ProcessState state;
  ui::FormSetup setup;
  setup.state = &state;
  setup.workFolder = work;
  setup.exeFolder = exe;
  setup.startFolder = QString::fromStdString(dae.string());
  ui::TMForm form(setup);
  form.FormCreate(app::LaunchOptions{});
  ASSERT_TRUE(keys::ShowActive(&form));
  auto* importButton = form.findChild<QPushButton*>("BExportar");
  auto* ok = form.findChild<QPushButton*>("BitBtn1");
  auto* accept = form.findChild<QPushButton*>("BitBtn2");
  auto* centre = form.findChild<ui::DataGrid*>("wwDBGridCODCENTRO");
  auto* levels = form.findChild<ui::DataGrid*>("wwDBGridNIVIMP");
  auto* panel2 = form.findChild<QWidget*>("Panel2");
  ASSERT_TRUE(importButton && ok && accept && centre && levels && panel2);

  Script s;
  s.send("importar", [] { return true; }, [&] { return ClickArgs(keys::Centre(importButton)); });
  s.wait("panel del centro", [&] { return centre->isVisible() && centre->model()->rowCount() == 1; });
  ClickCurrentAndType(s, "código de centro", centre, 0, 0, "987654", kBurst, {"Tab"});
  s.send("año y versión por teclado", [&] { return IsCurrent(centre, 0, 1); },
         [&] { return TypeArgs("2031", kHuman) + KeyArgs({"Tab"}) + TypeArgs("7", kBurst) + KeyArgs({"Return"}); });
  s.wait("versión «7»", [&] { return !centre->isEditing() && CellText(centre, 0, 2) == "7"; });
  s.send("OK", [] { return true; }, [&] { return ClickArgs(keys::Centre(ok)); });
  s.wait("panel de niveles", [&] { return panel2->isVisible() && levels->model()->rowCount() >= 2; });
  ClickCurrentAndType(s, "abreviatura castellana 1", levels, 0, 2, "1ESO", kBurst, {"Tab"});
  // Tab went past the Euskera description to the Euskera abbreviation.
  s.send("abreviaturas por teclado", [&] { return IsCurrent(levels, 0, 4); },
         [&] { return TypeArgs("1DBH", kHuman) + KeyArgs({"Tab"}) + TypeArgs("2ESO", kBurst) + KeyArgs({"Return"}); });
  s.wait("abreviatura castellana 2", [&] { return !levels->isEditing() && CellText(levels, 1, 2) == "2ESO"; });
  s.send("Aceptar", [] { return true; }, [&] { return ClickArgs(keys::Centre(accept)); });
  s.answer("Proceso finalizado", {"Return"});
  s.wait("niveles cerrados", [&] { return !panel2->isVisible(); });
  ASSERT_TRUE(s.play(30000)) << s.failure();

  const auto centreRows = keys::Dump(store::ResolveFileNoCase(work, "daeCENTRO.DBF"));
  ASSERT_EQ(centreRows.size(), 1u);
  EXPECT_EQ(Field(centreRows[0], "CODCENTRO"), "987654");
  EXPECT_EQ(Field(centreRows[0], "ANOACAD"), "2031");
  EXPECT_EQ(Field(centreRows[0], "VERSION"), "7");
  const auto levelRows = keys::Dump(store::ResolveFileNoCase(work, "daeNIVIMP.DBF"));
  ASSERT_GE(levelRows.size(), 2u);
  EXPECT_EQ(Field(levelRows[0], "ABREVCAST"), "1ESO");
  EXPECT_EQ(Field(levelRows[0], "ABREVEUSK"), "1DBH");
  EXPECT_EQ(Field(levelRows[1], "ABREVCAST"), "2ESO");
  // The chosen language is Euskera: groups of the first level carry its
  // Euskera abbreviation.
  const std::string firstLevel = Field(levelRows[0], "COD");
  int changed = 0;
  for (const auto& v : keys::Values(store::ResolveFileNoCase(work, "GRUPOST.DBF"), "NIVEL"))
    if (v == "1DBH") ++changed;
  EXPECT_GT(changed, 0) << "ningún grupo del nivel " << firstLevel;
  form.close();
  qunsetenv("QTEMP");
}

// ---------------------------------------------------------- coding window


class CodingWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    KEYS_REQUIRE_DISPLAY();
    work_ = dir_.path() / "QTEMP";
    dae_ = dir_.path() / "DAE";
    fs::create_directories(work_);
    fs::create_directories(dae_);
    codingtest::MakeCodingTables(work_);
    state_.rutaDAE = dae_.string() + "/";
    logic_ = std::make_unique<dae_export::AjustaDAE>(ui_, state_, work_);
    window_ = std::make_unique<ui::TAjustaDAE>(*logic_);
    ASSERT_TRUE(keys::ShowActive(window_.get()));
    teachers_ = window_->wwDBGridPROFT;
    type2_ = window_->wwDBGridCUADROH2;
    type3_ = window_->wwDBGridCUADROH3;
  }
  void TearDown() override {
    window_.reset();
    logic_.reset();
  }
  int Col(ui::DataGrid* g, const char* field) { return g->tableModel()->columnOfField(field); }
  fs::path Table(const char* name) { return store::ResolveFileNoCase(work_, name); }
  std::vector<std::string> DocsOf(const char* table, const std::string& teacher) {
    std::vector<std::string> out;
    for (const auto& row : keys::Dump(Table(table)))
      if (Field(row, "ABREVPROF") == teacher) out.push_back(Field(row, "DOC"));
    return out;
  }

  testsupport::TempDir dir_;
  fs::path work_, dae_;
  keys::DialogsUI ui_;
  chain::ProcessState state_;
  std::unique_ptr<dae_export::AjustaDAE> logic_;
  std::unique_ptr<ui::TAjustaDAE> window_;
  ui::DataGrid *teachers_ = nullptr, *type2_ = nullptr, *type3_ = nullptr;
};

TEST_F(CodingWindow, ThreeGridsADropDownAndTheCentreEditsTakeEveryKey) {
  const int dni = Col(teachers_, "DNI"), tiptar = Col(type2_, "TIPTAR"), activ = Col(type2_, "TIP_ACTIV"),
            asig = Col(type2_, "CODASIG"), grupo = Col(type3_, "CODGRUPO");
  auto shaded = [&](int row, int column) {
    return type2_->model()->index(row, column).data(Qt::BackgroundRole).isValid();
  };
  QString pendingBefore, pendingTyping;
  ui::LookupEditor* lookup = nullptr;

  Script s;
  // Teacher CD (second in ABREV order) has no document.
  ClickCurrentAndType(s, "documento de CD", teachers_, 1, dni, "T01", kBurst);
  s.wait("registros de CD", [&] { return type2_->model()->rowCount() == 3; });
  // A task typed into the type 2 grid: "G" is a guard duty, not a lesson,
  // so ACTIV. needs a code and Cód.ASIG does not, already while typing.
  s.send("clic en TAREA", [&] { return !teachers_->isEditing(); },
         [&] { return ClickArgs(CellCentre(type2_, 0, tiptar)); });
  s.run("antes de teclear", [&] {
    pendingBefore = window_->LabelPendientes->text();
    EXPECT_TRUE(shaded(0, asig));
    EXPECT_FALSE(shaded(0, activ));
  });
  s.send("TAREA: clic en la celda actual y «G»", [&] { return IsCurrent(type2_, 0, tiptar); },
         [&] { return ClickArgs(CellCentre(type2_, 0, tiptar)) + TypeArgs("G", kHuman); });
  s.wait("el editor muestra «G»", [&] {
    auto* e = qobject_cast<QLineEdit*>(type2_->activeEditor());
    return e && e->text() == "G" && window_->LabelPendientes->text() != pendingBefore;
  });
  s.run("mientras se teclea", [&] {
    pendingTyping = window_->LabelPendientes->text();
    EXPECT_TRUE(shaded(0, activ));
    EXPECT_FALSE(shaded(0, asig));
  });
  s.send("Intro", [] { return true; }, [] { return KeyArgs({"Return"}); });
  s.wait("TAREA «G»", [&] { return !type2_->isEditing() && CellText(type2_, 0, tiptar) == "G"; });
  // ACTIV. from its drop-down list: the button shows on the current cell.
  s.send("clic en ACTIV.", [] { return true; }, [&] { return ClickArgs(CellCentre(type2_, 0, activ)); });
  s.send("clic en el botón de la lista",
         [&] { return IsCurrent(type2_, 0, activ) && !type2_->dropButtonRect(type2_->currentIndex()).isEmpty(); },
         [&] {
           const QRect b = type2_->dropButtonRect(type2_->currentIndex());
           return ClickArgs(type2_->viewport()->mapToGlobal(b.center()));
         });
  s.wait("la lista abierta", [&] {
    lookup = qobject_cast<ui::LookupEditor*>(type2_->activeEditor());
    return lookup && lookup->listVisible() && lookup->listWidget()->isActiveWindow();
  });
  s.run("la lista dentro de la ventana, descripciones enteras", [&] {
    QWidget* popup = lookup->listWidget()->window();
    const QRect area(window_->mapToGlobal(QPoint(0, 0)), window_->size());
    EXPECT_TRUE(area.contains(popup->geometry())) << "lista fuera de la ventana";
    QTableWidget* list = lookup->listWidget();
    for (int r = 0; r < list->rowCount(); ++r)
      for (int c = 0; c < list->columnCount(); ++c)
        EXPECT_LE(list->fontMetrics().horizontalAdvance(list->item(r, c)->text()), list->columnWidth(c))
            << list->item(r, c)->text().toStdString();
  });
  s.send("elegir con Intro", [] { return true; }, [] { return KeyArgs({"Return"}); });
  s.wait("ACTIV. «001»", [&] { return CellText(type2_, 0, activ) == "001"; });
  // Enter on the last column goes on to the next record (CD, day 1,
  // session 2, one group).
  s.send("salir de la celda", [] { return true; }, [] { return KeyArgs({"Return"}); });
  s.wait("tipo 3 del registro siguiente", [&] {
    return type2_->currentIndex().row() == 1 && !type2_->isEditing() && type3_->model()->rowCount() == 1;
  });
  // The type 3 grid, in a burst.
  ClickCurrentAndType(s, "grupo", type3_, 0, grupo, "12345", kBurst);
  // The centre edits.
  s.send("código de centro", [&] { return !type3_->isEditing(); },
         [&] {
           return ClickArgs(keys::Centre(window_->DBEditCODECENTRO)) + KeyArgs({"ctrl+a"}) +
                  TypeArgs("654321", kBurst) + KeyArgs({"Tab"});
         });
  s.wait("centro guardado", [&] { return !window_->DBEditCODECENTRO->hasFocus(); });
  s.send("Salir", [] { return true; }, [&] { return ClickArgs(keys::Centre(window_->BitBtn1)); });
  s.wait("la ventana se cierra", [&] { return !window_->isVisible(); });
  ASSERT_TRUE(s.play(20000)) << s.failure();

  EXPECT_NE(pendingTyping, pendingBefore);
  const auto prof = keys::Dump(Table("PROFT.DBF"));
  ASSERT_EQ(prof.size(), 3u);
  EXPECT_EQ(Field(prof[2], "ABREV"), "CD");
  EXPECT_EQ(Field(prof[2], "DNI"), "T01");
  for (const char* t : {"CUADROH2.DBF", "CUADROH3.DBF"})
    for (const std::string& doc : DocsOf(t, "CD")) EXPECT_EQ(doc, "T01") << t;
  const auto h2 = keys::Dump(Table("CUADROH2.DBF"));
  int coded = 0;
  for (const auto& row : h2)
    if (Field(row, "TIPTAR") == "G" && Field(row, "TIP_ACTIV") == "001") ++coded;
  EXPECT_EQ(coded, 1);
  EXPECT_EQ(keys::Values(Table("CUADROH3.DBF"), "CODGRUPO"),
            (std::vector<std::string>{"", "", "", "12345", "", ""}));
  EXPECT_EQ(keys::Values(Table("daeCENTRO.DBF"), "CODCENTRO"), std::vector<std::string>{"654321"});
  const std::string file = testsupport::ReadFile(dae_ / "fCUADROS.txt");
  EXPECT_EQ(file.rfind("1CH654321", 0), 0u) << file;
}

TEST_F(CodingWindow, AFailedWriteLeavesTheLinksFiltersAndRecordsAsTheyWere) {
  const int dni = Col(teachers_, "DNI");
  // A folder where the file should go: the file cannot be written.
  fs::create_directory(dae_ / "fCUADROS.txt");
  struct Seen {
    uint32_t teacher = 0, type2 = 0, type3 = 0;
    int rows2 = 0, rows3 = 0;
  } before, after;
  auto look = [&](Seen& v) {
    v.teacher = logic_->wwTableProfesor.RecNo();
    v.type2 = logic_->wwTableCUADROH2.RecNo();
    v.type3 = logic_->wwTableCUADROH3.RecNo();
    v.rows2 = type2_->model()->rowCount();
    v.rows3 = type3_->model()->rowCount();
  };

  Script s;
  ClickCurrentAndType(s, "documento de CD", teachers_, 1, dni, "T01", kHuman);
  s.wait("registros de CD", [&] { return type2_->model()->rowCount() == 3; });
  s.send("segundo registro de CD", [] { return true; },
         [&] { return ClickArgs(CellCentre(type2_, 1, 0)); });
  s.wait("su grupo", [&] { return type2_->currentIndex().row() == 1 && type3_->model()->rowCount() == 1; });
  s.run("antes de salir", [&] { look(before); });
  s.send("Salir", [] { return true; }, [&] { return ClickArgs(keys::Centre(window_->BitBtn1)); });
  s.wait("la caja del error", [] { return keys::ActiveBox() != nullptr; });
  s.run("su botón OK, sin icono como en los demás errores", [] {
    const auto buttons = keys::ActiveBox()->findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons[0]->text(), "OK");
    EXPECT_TRUE(buttons[0]->icon().isNull());
  });
  s.answer("No se ha podido escribir", {"Return"});
  s.wait("la ventana sigue", [&] { return QApplication::activeModalWidget() == window_.get() && window_->isVisible(); });
  s.run("después del error", [&] { look(after); });
  // A document typed now reaches every record of the teacher.
  ClickCurrentAndType(s, "otro documento de CD", teachers_, 1, dni, "X9", kBurst);
  s.wait("copiado", [&] { return CellText(type2_, 0, Col(type2_, "DOC")) == "X9"; });
  s.run("la carpeta se libera", [&] { fs::remove(dae_ / "fCUADROS.txt"); });
  s.send("Salir otra vez", [] { return true; }, [&] { return ClickArgs(keys::Centre(window_->BitBtn1)); });
  s.wait("la ventana se cierra", [&] { return !window_->isVisible(); });
  ASSERT_TRUE(s.play(20000)) << s.failure();

  ASSERT_EQ(s.boxes.size(), 1u);
  EXPECT_EQ(before.rows2, 3);
  EXPECT_EQ(before.rows3, 1);
  EXPECT_EQ(after.teacher, before.teacher);
  EXPECT_EQ(after.type2, before.type2);
  EXPECT_EQ(after.type3, before.type3);
  EXPECT_EQ(after.rows2, before.rows2);
  EXPECT_EQ(after.rows3, before.rows3);
  EXPECT_EQ(DocsOf("CUADROH2.DBF", "CD"), (std::vector<std::string>{"X9", "X9", "X9"}));
  EXPECT_EQ(DocsOf("CUADROH3.DBF", "CD"), (std::vector<std::string>{"X9", "X9", "X9", "X9"}));
  const std::string file = testsupport::ReadFile(dae_ / "fCUADROS.txt");
  EXPECT_NE(file.find("X9"), std::string::npos);
}

}  // namespace

namespace {

// ---------------------------------------------------------- main window

TEST(MainWindow, ShortenedPathShowsItWholeOnHoverAndTheDriveListStaysInside) {
  KEYS_REQUIRE_DISPLAY();
#ifdef _WIN32
  // Under Wine's desktop the pointer's rest over a label raises no tool
  // tip in this suite (the tip itself is the Linux run's to check).
  if (testsupport::HostProgramsAvailable()) GTEST_SKIP() << "no hover tool tips under Wine's desktop";
#endif
  testsupport::TempDir tmp;
  fs::path deep = tmp.path();
  for (int i = 0; i < 5; ++i) deep /= "carpeta_con_un_nombre_muy_largo_" + std::to_string(i);
  fs::create_directories(deep);
  chain::ProcessState state;
  ui::FormSetup setup;
  setup.state = &state;
  setup.workFolder = tmp.path() / "QTEMP";
  setup.exeFolder = tmp.path();
  setup.startFolder = QString::fromStdString(deep.string());
  ui::TMForm form(setup);
  form.FormCreate(app::LaunchOptions{});
  ASSERT_TRUE(keys::ShowActive(&form));
  auto* path = form.findChild<QLabel*>("LabelRuta");
  auto* drives = form.findChild<QComboBox*>("Unidades");
  ASSERT_TRUE(path && drives);
  ASSERT_TRUE(path->text().contains(QChar(0x2026)));
  const QString whole = QDir::toNativeSeparators(QString::fromStdString(deep.string()));

  Script s;
  s.send("sobre la ruta", [] { return true; },
         [&] {
           return QStringList{"mousemove", QString::number(keys::Centre(path).x() - 5),
                              QString::number(keys::Centre(path).y())} +
                  QStringList{"mousemove", QString::number(keys::Centre(path).x()),
                              QString::number(keys::Centre(path).y())};
         });
  s.wait("la ruta entera", [&] { return QToolTip::isVisible() && QToolTip::text() == whole; });
  // The tip lies over the drive box: the pointer goes away first.
  s.send("fuera de la ruta", [] { return true; },
         [&] {
           const QPoint away = form.mapToGlobal(QPoint(form.width() - 10, form.height() - 10));
           return QStringList{"mousemove", QString::number(away.x()), QString::number(away.y())};
         });
  s.wait("sin nota", [] { return !QToolTip::isVisible(); });
  s.send("lista de unidades", [] { return true; }, [&] { return ClickArgs(keys::Centre(drives)); });
  s.wait("lista abierta", [&] { return drives->view()->isVisible(); });
  s.run("dentro de la ventana", [&] {
    const QRect area(form.mapToGlobal(QPoint(0, 0)), form.size());
    const QRect popup = drives->view()->window()->geometry();
    EXPECT_TRUE(area.contains(popup)) << popup.x() << "," << popup.y() << " " << popup.width() << "x"
                                      << popup.height();
  });
  s.send("cerrar", [] { return true; }, [] { return KeyArgs({"Escape"}); });
  s.wait("lista cerrada", [&] { return !drives->view()->isVisible(); });
  ASSERT_TRUE(s.play(20000)) << s.failure();
  form.close();
}

}  // namespace
