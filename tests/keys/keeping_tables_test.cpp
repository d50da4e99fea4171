// The windows keep the tables true, driven as a person drives them: Escape
// undoes a document everywhere it had reached, key columns cannot be typed
// over, values that cannot be right are refused with a message, cells are
// cleared and lists opened from the keyboard. Tables are read back with the
// independent reader.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <map>
#include <memory>

#include "app/command_line.h"
#include "chain/process_state.h"
#include "dae_export/ajusta_dae.h"
#include "dae_export/control_plantilla.h"
#include "dae_export/timetable_template.h"
#include "store/work_folder.h"
#include "tests/keys/keys_support.h"
#include "tests/support/test_support.h"
#include "tests/ui/test_ajusta_dae_fixture.h"
#include "ui/ajusta_dae_dialog.h"
#include "ui/control_plantilla_dialog.h"
#include "ui/data_grid.h"
#include "ui/dialogs.h"
#include "ui/lookup_delegate.h"
#include "ui/folder_browser.h"
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
using Rows = std::vector<std::vector<std::pair<std::string, std::string>>>;

QString CellText(ui::DataGrid* g, int row, int column) {
  return g->tableModel()->cellText(row, column).trimmed();
}

bool IsCurrent(ui::DataGrid* g, int row, int column) {
  const QModelIndex i = g->currentIndex();
  return i.isValid() && i.row() == row && i.column() == column && g->hasFocusWithin();
}

std::string Field(const std::vector<std::pair<std::string, std::string>>& row, const std::string& name) {
  for (const auto& [f, v] : row)
    if (f == name) return v;
  return "<" + name + "?>";
}

std::vector<std::string> Column(const Rows& rows, const std::string& name) {
  std::vector<std::string> out;
  for (const auto& r : rows) out.push_back(Field(r, name));
  return out;
}


// The coding window on the tables of tests/ui/test_ajusta_dae_fixture.h:
// teachers AB, CD (no document) and EF, shown in that order.
class KeepCoding : public ::testing::Test {
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
  // (TIPDOC|DOC) of a teacher's records in a table, as the reader sees them.
  std::vector<std::string> DocsOf(const char* table, const std::string& teacher) {
    std::vector<std::string> out;
    for (const auto& row : keys::Dump(Table(table)))
      if (Field(row, "ABREVPROF") == teacher) out.push_back(Field(row, "TIPDOC") + "|" + Field(row, "DOC"));
    return out;
  }
  // Clicks a cell and sends keys at once.
  void ClickAndKeys(Script& s, const std::string& what, ui::DataGrid* g, int row, int column,
                    std::function<QStringList()> keys) {
    s.send(what, [=] { return !g->isEditing() && !QApplication::activePopupWidget(); },
           [=] { return ClickArgs(CellCentre(g, row, column)) + keys(); });
  }

  testsupport::TempDir dir_;
  fs::path work_, dae_;
  keys::DialogsUI ui_;
  chain::ProcessState state_;
  std::unique_ptr<dae_export::AjustaDAE> logic_;
  std::unique_ptr<ui::TAjustaDAE> window_;
  ui::DataGrid *teachers_ = nullptr, *type2_ = nullptr, *type3_ = nullptr;
};

TEST_F(KeepCoding, EscapeUndoesADocumentEverywhereItWentAndSalirWritesTheOldOne) {
  const int dni = Col(teachers_, "DNI"), tipo = Col(teachers_, "TIPODNI");
  bool reachedType2 = false;
  QString typeAfter;

  Script s;
  // A new document for AB (row 0), Tab: it reaches AB's records at once.
  ClickAndKeys(s, "documento ZLI y Tab", teachers_, 0, dni,
               [] { return TypeArgs("ZLI", kHuman) + KeyArgs({"Tab"}); });
  // Tab went on to the name and opened its editor.
  s.wait("copiado a los registros", [&] { return CellText(type2_, 0, Col(type2_, "DOC")) == "ZLI"; });
  s.run("visto en el tipo 2", [&] { reachedType2 = true; });
  s.send("Escape dos veces", [] { return true; }, [] { return KeyArgs({"Escape", "Escape"}); });
  s.wait("la fila del profesor vuelve", [&] {
    return CellText(teachers_, 0, dni) == "11111111A" && CellText(type2_, 0, Col(type2_, "DOC")) == "11111111A";
  });
  // The same with the document type, chosen by typing a code of the list.
  ClickAndKeys(s, "tipo P y Tab", teachers_, 0, tipo, [] { return TypeArgs("P", kBurst) + KeyArgs({"Tab"}); });
  s.wait("tipo copiado", [&] { return CellText(type2_, 0, Col(type2_, "TIPDOC")) == "P"; });
  s.send("Escape dos veces otra vez", [] { return true; }, [] { return KeyArgs({"Escape", "Escape"}); });
  s.wait("la fila deshecha", [&] {
    return !teachers_->isEditing() && logic_->wwTableProfesor.State() == store::DataSetState::Browse;
  });
  s.run("el tipo vuelve", [&] {
    typeAfter = CellText(teachers_, 0, tipo) + "|" + CellText(type2_, 0, Col(type2_, "TIPDOC"));
  });
  // CD needs a document for the file to be written.
  ClickAndKeys(s, "documento de CD", teachers_, 1, dni, [] { return TypeArgs("T01", kBurst) + KeyArgs({"Return"}); });
  s.wait("CD con documento", [&] { return !teachers_->isEditing() && CellText(teachers_, 1, dni) == "T01"; });
  s.send("Salir", [] { return true; }, [&] { return ClickArgs(keys::Centre(window_->BitBtn1)); });
  s.wait("la ventana se cierra", [&] { return !window_->isVisible(); });
  ASSERT_TRUE(s.play(30000)) << s.failure();

  EXPECT_TRUE(reachedType2);
  // Leaving the document type's column (the first click) wrote the
  // teacher's stored document into the records; the undone edits left it so.
  EXPECT_EQ(typeAfter.toStdString(), "D|D");
  const Rows prof = keys::Dump(Table("PROFT.DBF"));
  EXPECT_EQ(Column(prof, "ABREV"), (std::vector<std::string>{"EF", "AB", "CD"}));
  EXPECT_EQ(Column(prof, "DNI"), (std::vector<std::string>{"33333333C", "11111111A", "T01"}));
  EXPECT_EQ(Column(prof, "TIPODNI"), (std::vector<std::string>{"D", "D", ""}));
  EXPECT_EQ(DocsOf("CUADROH2.DBF", "AB"), std::vector<std::string>{"D|11111111A"});
  EXPECT_EQ(DocsOf("CUADROH3.DBF", "AB"), std::vector<std::string>{"D|11111111A"});
  const std::string file = testsupport::ReadFile(dae_ / "fCUADROS.txt");
  EXPECT_EQ(file.find("ZLI"), std::string::npos);
  EXPECT_NE(file.find("11111111A"), std::string::npos);
}

TEST_F(KeepCoding, KeyColumnsCannotBeTypedOverAndTabPassesThem) {
  const int abrev = Col(teachers_, "ABREV"), depart = Col(teachers_, "DEPART"),
            tipo = Col(teachers_, "TIPODNI");
  Script s;
  // Typing on the abbreviation changes nothing (and opens no editor).
  ClickAndKeys(s, "Profe. de AB y teclas", teachers_, 0, abrev, [] { return TypeArgs("EF", kBurst); });
  s.wait("sigue AB", [&] { return IsCurrent(teachers_, 0, abrev) && !teachers_->isEditing(); });
  // Tab from the last column goes to the next teacher's first column that
  // can be typed into, not to its abbreviation.
  ClickAndKeys(s, "Departamento de AB y Tab", teachers_, 0, depart, [] { return KeyArgs({"Tab"}); });
  s.wait("TipoDOC de CD", [&] { return IsCurrent(teachers_, 1, tipo); });
  // The same in the type 2 grid: teacher, day and session are the key.
  ClickAndKeys(s, "Profe., Día y Sesión del tipo 2", type2_, 0, Col(type2_, "ABREVPROF"),
               [] { return TypeArgs("ZZ", kBurst); });
  ClickAndKeys(s, "Día", type2_, 0, Col(type2_, "DIASEM"), [] { return TypeArgs("7", kBurst); });
  ClickAndKeys(s, "Sesión", type2_, 0, Col(type2_, "NUMSESION"), [] { return TypeArgs("99", kBurst); });
  s.wait("nada abierto", [&] { return !type2_->isEditing(); });
  s.send("Salir", [] { return true; }, [&] { return ClickArgs(keys::Centre(window_->BitBtn1)); });
  s.answer("SIN DOCumento", {"Escape"});
  s.wait("la ventana se cierra", [&] { return !window_->isVisible(); });
  ASSERT_TRUE(s.play(30000)) << s.failure();

  EXPECT_EQ(Column(keys::Dump(Table("PROFT.DBF")), "ABREV"), (std::vector<std::string>{"EF", "AB", "CD"}));
  const Rows h2 = keys::Dump(Table("CUADROH2.DBF"));
  EXPECT_EQ(Column(h2, "ABREVPROF"), (std::vector<std::string>{"AB", "CD", "CD", "CD", "EF"}));
  EXPECT_EQ(Column(h2, "DIASEM"), (std::vector<std::string>{"1", "1", "1", "2", "3"}));
  EXPECT_EQ(Column(h2, "NUMSESION"), (std::vector<std::string>{"01", "01", "02", "03", "04"}));
  EXPECT_EQ(state_.workflowFlag, 4);  // no file: CD still has no document
}

TEST_F(KeepCoding, ValuesThatCannotBeRightAreRefusedWithAMessage) {
  const int tipo = Col(teachers_, "TIPODNI"), asig = Col(type2_, "CODASIG"), ini = Col(type2_, "HORAINI");
  QStringList shown;
  auto refusedThen = [&](Script& s, const std::string& what, ui::DataGrid* g, const QString& part) {
    s.wait(what + ": el mensaje", [&, part] {
      QWidget* box = keys::ActiveBox();
      return box && keys::BoxText(box).contains(part);
    });
    s.send(what + ": Aceptar", [] { return true; }, [&] {
      shown << keys::BoxText(keys::ActiveBox());
      return KeyArgs({"Return"});
    });
    // The editor stays with the text; Escape undoes it.
    s.send(what + ": Escape", [g] { return g->isEditing() && !keys::ActiveBox(); },
           [] { return KeyArgs({"Escape"}); });
    s.wait(what + ": deshecho", [g] { return !g->isEditing(); });
  };

  Script s;
  ClickAndKeys(s, "TipoDOC «a»", teachers_, 0, tipo, [] { return TypeArgs("a", kHuman) + KeyArgs({"Return"}); });
  refusedThen(s, "TipoDOC", teachers_, "'a' no está en la lista de TipoDOC");
  ClickAndKeys(s, "Cód.ASIG «ZZ99»", type2_, 0, asig, [] { return TypeArgs("ZZ99", kBurst) + KeyArgs({"Tab"}); });
  refusedThen(s, "Cód.ASIG", type2_, "'ZZ99' no está en la lista de Cód.ASIG");
  ClickAndKeys(s, "H.INICIO «ab»", type2_, 0, ini, [] { return TypeArgs("ab", kHuman) + KeyArgs({"Return"}); });
  refusedThen(s, "H.INICIO", type2_, "'ab' no es válida");
  // A code of the list is taken.
  ClickAndKeys(s, "Cód.ASIG «0101»", type2_, 0, asig, [] { return TypeArgs("0101", kBurst) + KeyArgs({"Return"}); });
  s.wait("Cód.ASIG guardado", [&] { return !type2_->isEditing() && CellText(type2_, 0, asig) == "0101"; });
  // The academic year of the centre edits: refused when the edit is left.
  s.send("Año «20x5»", [] { return true; }, [&] {
    return ClickArgs(keys::Centre(window_->DBEditANOACAD)) + KeyArgs({"ctrl+a"}) + TypeArgs("20x5", kHuman) +
           KeyArgs({"Tab"});
  });
  s.answer("'20x5' no es válido", {"Return"});
  s.wait("el año vuelve", [&] { return window_->DBEditANOACAD->text() == "2024" && !keys::ActiveBox(); });
  ClickAndKeys(s, "documento de CD", teachers_, 1, Col(teachers_, "DNI"),
               [] { return TypeArgs("T01", kBurst) + KeyArgs({"Return"}); });
  s.wait("CD con documento", [&] { return !teachers_->isEditing() && CellText(teachers_, 1, Col(teachers_, "DNI")) == "T01"; });
  s.send("Salir", [] { return true; }, [&] { return ClickArgs(keys::Centre(window_->BitBtn1)); });
  s.wait("la ventana se cierra", [&] { return !window_->isVisible(); });
  ASSERT_TRUE(s.play(30000)) << s.failure();

  EXPECT_EQ(shown.size(), 3);
  EXPECT_EQ(s.boxes.size(), 1u);
  EXPECT_EQ(Column(keys::Dump(Table("PROFT.DBF")), "TIPODNI"), (std::vector<std::string>{"D", "D", ""}));
  const Rows h2 = keys::Dump(Table("CUADROH2.DBF"));
  EXPECT_EQ(Column(h2, "CODASIG"), (std::vector<std::string>{"0101", "", "", "", ""}));
  EXPECT_EQ(Column(h2, "HORAINI"), (std::vector<std::string>(5, "08:00")));
  EXPECT_EQ(Column(keys::Dump(Table("daeCENTRO.DBF")), "ANOACAD"), std::vector<std::string>{"2024"});
  const std::string file = testsupport::ReadFile(dae_ / "fCUADROS.txt");
  EXPECT_EQ(file.find("20x5"), std::string::npos);
  EXPECT_EQ(file.find("ZZ99"), std::string::npos);
}

TEST_F(KeepCoding, DeleteClearsACellAndF4OrAltDownOpenTheList) {
  const int nombre = Col(teachers_, "NOMBRE"), depart = Col(teachers_, "DEPART"),
            tiptar = Col(type2_, "TIPTAR"), activ = Col(type2_, "TIP_ACTIV");
  bool f4 = false, altDown = false;
  auto listOpen = [this] {
    auto* lookup = qobject_cast<ui::LookupEditor*>(type2_->activeEditor());
    return lookup && lookup->listVisible();
  };
  Script s;
  ClickAndKeys(s, "Nombre de AB y Supr", teachers_, 0, nombre, [] { return KeyArgs({"Delete"}); });
  s.wait("nombre vacío", [&] { return CellText(teachers_, 0, nombre).isEmpty(); });
  ClickAndKeys(s, "Departamento de AB y Retroceso", teachers_, 0, depart, [] { return KeyArgs({"BackSpace"}); });
  s.wait("departamento vacío", [&] { return CellText(teachers_, 0, depart).isEmpty(); });
  // A cell just clicked: F4 opens its list at once.
  ClickAndKeys(s, "TAREA y F4", type2_, 0, tiptar, [] { return KeyArgs({"F4"}); });
  s.wait("lista de TAREA", listOpen);
  s.run("F4", [&] { f4 = true; });
  s.send("cerrar", [] { return true; }, [] { return KeyArgs({"Escape", "Escape"}); });
  s.wait("cerrada", [&] { return !type2_->isEditing(); });
  ClickAndKeys(s, "ACTIV. y Alt+Abajo", type2_, 0, activ, [] { return KeyArgs({"alt+Down"}); });
  s.wait("lista de ACTIV.", listOpen);
  s.run("Alt+Abajo", [&] { altDown = true; });
  s.send("elegir", [] { return true; }, [] { return KeyArgs({"Return"}); });
  s.wait("ACTIV. «001»", [&] { return CellText(type2_, 0, activ) == "001"; });
  s.send("salir de la celda", [] { return true; }, [] { return KeyArgs({"Return"}); });
  s.send("Salir", [&] { return !type2_->isEditing(); }, [&] { return ClickArgs(keys::Centre(window_->BitBtn1)); });
  s.answer("SIN DOCumento", {"Escape"});
  s.wait("la ventana se cierra", [&] { return !window_->isVisible(); });
  ASSERT_TRUE(s.play(30000)) << s.failure();

  EXPECT_TRUE(f4);
  EXPECT_TRUE(altDown);
  const Rows prof = keys::Dump(Table("PROFT.DBF"));
  EXPECT_EQ(Field(prof[1], "ABREV"), "AB");
  EXPECT_EQ(Field(prof[1], "NOMBRE"), "");
  EXPECT_EQ(Field(prof[1], "DEPART"), "");
  EXPECT_EQ(Field(prof[0], "NOMBRE"), "Eva Fuentes");
  EXPECT_EQ(Column(keys::Dump(Table("CUADROH2.DBF")), "TIP_ACTIV"),
            (std::vector<std::string>{"001", "", "", "", ""}));
}

// ------------------------------------------------------------- template

TEST(KeepTemplate, ATimeThatIsNoTimeIsRefusedAndAceptarIsReachedByKeyboard) {
  KEYS_REQUIRE_DISPLAY();
  testsupport::TempDir dir;
  dae_export::EnsurePlantilla(dir.path());
  dae_export::ControlPlantilla logic(dir.path());
  ui::TControlPlantilla window(logic);
  ASSERT_TRUE(keys::ShowActive(&window));
  ui::DataGrid* g = window.PlantiHorDBGrid;
  const int ini = g->tableModel()->columnOfField("HORAINI");
  Script s;
  s.wait("la rejilla en la hora 1", [&] { return IsCurrent(g, 0, ini); });
  s.send("«ab»", [] { return true; }, [] { return TypeArgs("ab", kHuman) + KeyArgs({"Return"}); });
  s.answer("'ab' no es válida", {"Return"});
  s.send("corregir", [&] { return g->isEditing() && !keys::ActiveBox(); },
         [] { return KeyArgs({"ctrl+a"}) + TypeArgs("8:15", kBurst) + KeyArgs({"Return"}); });
  s.wait("hora 1 «8:15»", [&] { return !g->isEditing() && CellText(g, 0, ini) == "8:15"; });
  // Delete would leave the period without a time: refused too.
  s.send("Supr en la hora 2", [] { return true; },
         [&] { return ClickArgs(CellCentre(g, 1, ini)) + KeyArgs({"Delete"}); });
  s.answer("Falta la hora", {"Return"});
  // Ctrl+Tab leaves the grid for "Aceptar"; Enter presses it.
  s.send("Ctrl+Tab e Intro", [&] { return !keys::ActiveBox() && g->hasFocusWithin(); },
         [] { return KeyArgs({"ctrl+Tab", "Return"}); });
  s.wait("la ventana se cierra", [&] { return !window.isVisible(); });
  ASSERT_TRUE(s.play(20000)) << s.failure();

  EXPECT_EQ(s.boxes.size(), 2);
  const Rows rows = keys::Dump(dir.path() / "PLANTILLA.DBF");
  ASSERT_EQ(rows.size(), 20u);
  EXPECT_EQ(Field(rows[0], "HORAINI"), "8:15");
  EXPECT_EQ(Field(rows[1], "HORAINI"), "09:00");
}

}  // namespace

// ---------------------------------------------------------- main window

namespace {

// A main window on the sample school's DAE files (copied into root/dae),
// with the work folder root/QTEMP.
struct MainWindow {
  explicit MainWindow(const fs::path& root, const app::LaunchOptions& options = {}) {
    dae = root / "dae";
    work = root / "QTEMP";
    fs::create_directories(dae);
    fs::create_directories(work);
    fs::create_directories(dae / "otra");
    for (const auto& e : fs::directory_iterator(testsupport::SourceDir() / "examples" / "dae"))
      if (e.is_regular_file()) fs::copy_file(e.path(), dae / e.path().filename());
    qputenv("QTEMP", QByteArray::fromStdString(work.string()));
    setup.state = &state;
    setup.workFolder = work;
    setup.exeFolder = root;
    setup.startFolder = QString::fromStdString(dae.string());
    form = std::make_unique<ui::TMForm>(setup);
    form->FormCreate(options);
  }
  ~MainWindow() {
    if (form && form->isVisible()) form->close();
    form.reset();
    qunsetenv("QTEMP");
  }
  template <typename T>
  T* Find(const char* name) {
    T* w = form->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  fs::path Table(const char* name) { return store::ResolveFileNoCase(work, name); }

  fs::path dae, work;
  chain::ProcessState state;
  ui::FormSetup setup;
  std::unique_ptr<ui::TMForm> form;
};

TEST(KeepMainWindow, LevelsGivenAgainReachTheGroupsAndABadYearIsRefused) {
  KEYS_REQUIRE_DISPLAY();
  testsupport::TempDir tmp;
  MainWindow m(tmp.path());
  ASSERT_TRUE(keys::ShowActive(m.form.get()));
  auto* importButton = m.Find<QPushButton>("BExportar");
  auto* ok = m.Find<QPushButton>("BitBtn1");
  auto* accept = m.Find<QPushButton>("BitBtn2");
  auto* back = m.Find<QPushButton>("Button3");
  auto* centre = m.Find<ui::DataGrid>("wwDBGridCODCENTRO");
  auto* levels = m.Find<ui::DataGrid>("wwDBGridNIVIMP");
  auto* panel2 = m.Find<QWidget>("Panel2");
  ASSERT_TRUE(importButton && ok && accept && back && centre && levels && panel2);
  std::string yearBefore;

  Script s;
  s.send("importar", [] { return true; }, [&] { return ClickArgs(keys::Centre(importButton)); });
  s.wait("panel del centro", [&] { return centre->isVisible() && centre->model()->rowCount() == 1; });
  s.run("año guardado", [&] { yearBefore = CellText(centre, 0, 1).toStdString(); });
  s.send("año «20x5»", [] { return true; },
         [&] { return ClickArgs(CellCentre(centre, 0, 1)) + TypeArgs("20x5", kHuman) + KeyArgs({"Return"}); });
  s.answer("'20x5' no es válido", {"Return"});
  s.send("Escape", [&] { return centre->isEditing() && !keys::ActiveBox(); }, [] { return KeyArgs({"Escape"}); });
  s.send("OK", [&] { return !centre->isEditing(); }, [&] { return ClickArgs(keys::Centre(ok)); });
  s.wait("panel de niveles", [&] { return panel2->isVisible() && levels->model()->rowCount() == 3; });
  s.send("ESO en euskera", [] { return true; }, [&] {
    return ClickArgs(CellCentre(levels, 0, 4)) + TypeArgs("DBH", kBurst) + KeyArgs({"Return"});
  });
  s.wait("DBH", [&] { return !levels->isEditing() && CellText(levels, 0, 4) == "DBH"; });
  s.send("BAC en euskera", [] { return true; }, [&] {
    return ClickArgs(CellCentre(levels, 1, 4)) + TypeArgs("BATX", kBurst) + KeyArgs({"Return"});
  });
  s.wait("BATX", [&] { return !levels->isEditing() && CellText(levels, 1, 4) == "BATX"; });
  s.send("Aceptar", [] { return true; }, [&] { return ClickArgs(keys::Centre(accept)); });
  s.answer("Proceso finalizado", {"Return"});
  s.send("Volver a Niveles Estudios", [&] { return back->isVisible() && !keys::ActiveBox(); },
         [&] { return ClickArgs(keys::Centre(back)); });
  s.wait("niveles otra vez", [&] { return panel2->isVisible() && CellText(levels, 0, 4) == "DBH"; });
  // ESO changes; BAC's abbreviation is cleared with Delete.
  s.send("ESO cambia, BAC se borra", [] { return true; }, [&] {
    return ClickArgs(CellCentre(levels, 0, 4)) + KeyArgs({"ctrl+a"}) + TypeArgs("DBH1", kHuman) + KeyArgs({"Return"});
  });
  s.wait("DBH1", [&] { return !levels->isEditing() && CellText(levels, 0, 4) == "DBH1"; });
  s.send("Supr en BAC", [] { return true; }, [&] { return ClickArgs(CellCentre(levels, 1, 4)) + KeyArgs({"Delete"}); });
  s.wait("BAC vacío", [&] { return CellText(levels, 1, 4).isEmpty(); });
  s.send("Aceptar otra vez", [] { return true; }, [&] { return ClickArgs(keys::Centre(accept)); });
  s.answer("Proceso finalizado", {"Return"});
  s.wait("niveles cerrados", [&] { return !panel2->isVisible() && !keys::ActiveBox(); });
  ASSERT_TRUE(s.play(40000)) << s.failure();

  EXPECT_EQ(Column(keys::Dump(m.Table("daeCENTRO.DBF")), "ANOACAD"), std::vector<std::string>{yearBefore});
  const Rows levelRows = keys::Dump(m.Table("daeNIVIMP.DBF"));
  EXPECT_EQ(Column(levelRows, "ABREVEUSK"), (std::vector<std::string>{"DBH1", "", ""}));
  // Every group carries its level's abbreviation, or its DAE level code.
  std::map<std::string, std::string> expected = {{"ESO", "DBH1"}, {"BAC", "BAC"}, {"FPB", "FPB"}, {"", "NIV"}};
  const Rows groups = keys::Dump(m.Table("GRUPOST.DBF"));
  ASSERT_FALSE(groups.empty());
  int eso = 0;
  for (const auto& g : groups) {
    EXPECT_EQ(Field(g, "NIVEL"), expected[Field(g, "NIVELDAE")]) << Field(g, "ABREV");
    eso += Field(g, "NIVELDAE") == "ESO";
  }
  EXPECT_GT(eso, 0);
}

TEST(KeepMainWindow, SalirWhileTheCentrePanelWaitsSaysTheImportIsHalfDone) {
  KEYS_REQUIRE_DISPLAY();
  testsupport::TempDir tmp;
  MainWindow m(tmp.path());
  ASSERT_TRUE(keys::ShowActive(m.form.get()));
  auto* importButton = m.Find<QPushButton>("BExportar");
  auto* salir = m.Find<QPushButton>("BClose");
  auto* centre = m.Find<ui::DataGrid>("wwDBGridCODCENTRO");
  ASSERT_TRUE(importButton && salir && centre);
  Script s;
  s.send("importar", [] { return true; }, [&] { return ClickArgs(keys::Centre(importButton)); });
  s.wait("panel del centro", [&] { return centre->isVisible(); });
  s.send("Salir", [] { return true; }, [&] { return ClickArgs(keys::Centre(salir)); });
  s.answer("La importación no ha terminado", {"Escape"});  // No: stay
  s.wait("sigue abierta", [&] { return m.form->isVisible() && !keys::ActiveBox(); });
  s.send("Salir otra vez", [] { return true; }, [&] { return ClickArgs(keys::Centre(salir)); });
  s.answer("transdae-cli restore", {"Return"});  // Sí
  s.wait("cerrada", [&] { return !m.form->isVisible(); });
  ASSERT_TRUE(s.play(30000)) << s.failure();
  ASSERT_EQ(s.boxes.size(), 2u);
  EXPECT_TRUE(s.boxes[0].contains("¿Desea salir igualmente?"));
  EXPECT_TRUE(s.boxes[0].contains("ya se han sustituido"));
}

TEST(KeepMainWindow, AClickOrAnArrowChoosesTheFolderAndF1ExplainsTheMissingHelp) {
  KEYS_REQUIRE_DISPLAY();
  testsupport::TempDir tmp;
  fs::create_directories(tmp.path() / "dae" / "zz_ultima");
  MainWindow m(tmp.path());
  ASSERT_TRUE(keys::ShowActive(m.form.get()));
  auto* list = m.Find<QTreeWidget>("Directorios");
  auto* path = m.Find<QLabel>("LabelRuta");
  ASSERT_TRUE(list && path);
  const QString dae = QDir::fromNativeSeparators(QString::fromStdString(m.dae.string()));
  QTreeWidgetItem* otra = nullptr;
  for (QTreeWidgetItemIterator it(list); *it; ++it)
    if (ui::FolderList::folderOf(*it) == dae + "/otra") otra = *it;
  ASSERT_NE(otra, nullptr);
  QString afterClick, afterArrow;
  Script s;
  s.send("un clic en «otra»", [] { return true; }, [&] {
    const QRect r = list->visualItemRect(otra);
    return ClickArgs(list->viewport()->mapToGlobal(r.center()));
  });
  s.wait("Ruta Actual", [&] { return m.form->currentFolder() == dae + "/otra"; });
  s.run("tras el clic", [&] { afterClick = path->toolTip(); });
  s.send("flecha abajo", [] { return true; }, [] { return KeyArgs({"Down"}); });
  s.wait("Ruta Actual otra vez", [&] { return m.form->currentFolder() == dae + "/zz_ultima"; });
  s.run("tras la flecha", [&] { afterArrow = path->toolTip(); });
  s.send("F1", [] { return true; }, [] { return KeyArgs({"F1"}); });
  s.wait("la ayuda", [] {
    QWidget* help = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == "BuiltInHelp" && w->isVisible()) help = w;
    return help != nullptr;
  });
  ASSERT_TRUE(s.play(20000)) << s.failure();
  EXPECT_TRUE(afterClick.endsWith("otra")) << afterClick.toStdString();
  EXPECT_TRUE(afterArrow.endsWith("zz_ultima")) << afterArrow.toStdString();
  QLabel* note = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == "BuiltInHelp") note = w->findChild<QLabel*>("HelpNote");
  ASSERT_NE(note, nullptr);
  EXPECT_TRUE(note->text().startsWith("Esta es la ayuda básica")) << note->text().toStdString();
  EXPECT_TRUE(note->text().contains("DAE.CHM"));
  EXPECT_FALSE(note->styleSheet().contains("8a1c1c"));
  EXPECT_EQ(note->text().indexOf("not found"), -1);
}

}  // namespace

// ------------------------------------------------------- embedded start

namespace {

std::string Q(const fs::path& p) { return testsupport::ShellQuote(p.string()); }

QStringList warnings;
void RecordWarnings(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type != QtDebugMsg && type != QtInfoMsg) warnings << text;
}

template <typename T>
T* Modal() {
  return qobject_cast<T*>(QApplication::activeModalWidget());
}

// The tool started by the timetabling product: its window inside another
// program's window (here an xmessage window of the suite's X server). The
// template and coding windows open over it, show their rows at once and
// take the keys typed before any click; "Aceptar" of the template is
// reached by keyboard.
TEST(KeepEmbedded, WindowsOpenOverTheHostAndTakeTheFirstKeys) {
#ifdef _WIN32
  GTEST_SKIP() << "an X11 host window; on Windows test_embedding_win32 puts the tool inside a Win32 window";
#endif
  KEYS_REQUIRE_DISPLAY();
  testsupport::TempDir tmp;
  const fs::path root = tmp.path();
  fs::create_directories(root / "DAE");
  for (const auto& e : fs::directory_iterator(testsupport::SourceDir() / "examples" / "dae"))
    fs::copy_file(e.path(), root / "DAE" / e.path().filename());
  const auto r = testsupport::RunCommand(
      Q(testsupport::CliPath()) + " import --dae " + Q(root / "DAE") + " --work " + Q(root / "QTEMP") +
      " --lang EUSKERA --levels " + Q(testsupport::SourceDir() / "examples" / "levels.csv"));
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  fs::copy_file(testsupport::SourceDir() / "examples" / "solution" / "SOLUC.DBF", root / "QTEMP" / "SOLUC.DBF");

  QProcess host;
  host.start(QStringLiteral("xmessage"), {QStringLiteral("-title"), QStringLiteral("transdae-anfitrion"),
                                           QStringLiteral("-geometry"), QStringLiteral("1000x760+40+30"),
                                           QStringLiteral("anfitrion")});
  ASSERT_TRUE(host.waitForStarted(5000));
  QString id;
  ASSERT_TRUE(keys::WaitFor([&] {
    QProcess search;
    search.start(QStringLiteral("xdotool"),
                 {QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("^transdae-anfitrion$")});
    search.waitForFinished(3000);
    id = QString::fromLatin1(search.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts).value(0);
    return !id.isEmpty();
  }));
  const QRect hostArea(40, 30, 1000, 760);

  qputenv("QTEMP", QByteArray::fromStdString((root / "QTEMP").string()));
  chain::ProcessState state;
  ui::FormSetup setup;
  setup.state = &state;
  setup.workFolder = root / "QTEMP";
  setup.exeFolder = root;
  setup.startFolder = QString::fromStdString((root / "DAE").string());
  app::LaunchOptions options;
  options.embedded = true;
  options.parentHandle = id.toULongLong();
  options.hiddenPanel = app::HiddenPanel::Left;
  warnings.clear();
  QtMessageHandler previous = qInstallMessageHandler(RecordWarnings);
  {
    ui::TMForm form(setup);
    form.FormCreate(options);
    form.show();
    auto* exportButton = form.findChild<QPushButton*>("BImportar");
    ASSERT_NE(exportButton, nullptr);
    QRect templateArea, codingArea;
    int rowsAtOnce = -1;

    Script s;
    // No click: the window inside the host takes the keyboard by itself.
    s.wait("la ventana con el teclado", [&] { return form.isVisible() && form.isActiveWindow(); });
    s.send("exportar", [] { return true; }, [&] { return ClickArgs(keys::Centre(exportButton)); });
    s.wait("la plantilla", [&] {
      auto* w = Modal<ui::TControlPlantilla>();
      return w && w->isVisible() && w->isActiveWindow();
    });
    s.run("filas y lugar", [&] {
      auto* w = Modal<ui::TControlPlantilla>();
      rowsAtOnce = w->PlantiHorDBGrid->model()->rowCount();
      templateArea = w->frameGeometry();
    });
    // Keys at once, no click: the start time of period 1, then Ctrl+Tab
    // and Enter for "Aceptar".
    s.send("hora 1 por teclado", [] { return true; },
           [] { return TypeArgs("07:45", kBurst) + KeyArgs({"Return"}); });
    s.wait("hora 1 «07:45»", [] {
      auto* w = Modal<ui::TControlPlantilla>();
      return w && !w->PlantiHorDBGrid->isEditing() && w->PlantiHorDBGrid->tableModel()->cellText(0, 1) == "07:45";
    });
    s.send("Aceptar por teclado", [] { return true; }, [] { return KeyArgs({"ctrl+Tab", "Return"}); });
    s.wait("la ventana de codificación", [] {
      auto* w = Modal<ui::TAjustaDAE>();
      return w && w->isVisible() && w->isActiveWindow();
    });
    s.run("su lugar", [&] { codingArea = Modal<ui::TAjustaDAE>()->frameGeometry(); });
    s.send("Alt+S sin clic", [] { return true; }, [] { return KeyArgs({"alt+s"}); });
    s.answer("SIN DOCumento", {"Escape"});
    s.answer("NO ha finalizado", {"Return"});
    s.wait("cerrada", [&] { return !form.isVisible(); });
    const bool played = s.play(60000);
    qInstallMessageHandler(previous);
    ASSERT_TRUE(played) << s.failure();

    EXPECT_EQ(rowsAtOnce, 20);
    // Over the tool's window inside the host, not at the top of the screen.
    const int formTop = hostArea.y() + 2;
    for (const QRect& area : {templateArea, codingArea}) {
      EXPECT_TRUE(hostArea.intersects(area)) << area.x() << "," << area.y();
      EXPECT_GE(area.y(), formTop) << area.x() << "," << area.y();
    }
    EXPECT_LE(std::abs(templateArea.center().x() - (hostArea.x() + 2 + 599 / 2)), 2) << templateArea.x();
    EXPECT_EQ(state.resultCode, 1);
    EXPECT_EQ(Field(keys::Dump(store::ResolveFileNoCase(root / "QTEMP", "PLANTILLA.DBF"))[0], "HORAINI"), "07:45");
  }
  qunsetenv("QTEMP");
  host.kill();
  host.waitForFinished(3000);
  for (const QString& w : warnings) EXPECT_FALSE(w.contains("top level")) << w.toStdString();
}

}  // namespace
