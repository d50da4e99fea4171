// The DAE coding window on real tables in a temporary work folder: the
// detail grids, the document copy, the drop-down lists, the centre edits,
// the exit check and the close box.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <map>
#include <memory>

#include "chain/process_state.h"
#include "dae_export/ajusta_dae.h"
#include "dae_export/record_tables.h"
#include "store/cp1252.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_support.h"
#include "tests/ui/test_ajusta_dae_fixture.h"
#include "tests/ui/test_grid_support.h"
#include "ui/ajusta_dae_dialog.h"
#include "ui/data_grid.h"
#include "ui/lookup_delegate.h"

namespace {

namespace fs = std::filesystem;
using codingtest::Add;
using codingtest::Key7;
using codingtest::Record;
using codingtest::Records;
using gridtest::Key;
using gridtest::Type;

class CodingWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::EnsureQtApp();
    const fs::path w = dir_.path();
    codingtest::MakeCodingTables(w);
    fs::create_directories(w / "dae");
    state_.rutaDAE = (w / "dae").string() + "/";
    state_.workflowFlag = 0;

    logic_ = std::make_unique<dae_export::AjustaDAE>(ui_, state_, w);
    window_ = std::make_unique<ui::TAjustaDAE>(*logic_);
    ASSERT_TRUE(gridtest::ShowAndActivate(window_.get()));
    gridtest::Settle();
  }

  void TearDown() override {
    window_.reset();
    logic_.reset();
  }

  ui::DataGrid* Teachers() { return window_->wwDBGridPROFT; }
  ui::DataGrid* Type2() { return window_->wwDBGridCUADROH2; }
  ui::DataGrid* Type3() { return window_->wwDBGridCUADROH3; }
  void Goto(ui::DataGrid* grid, int row, const char* field) {
    grid->setFocus();
    gridtest::Settle();
    grid->setCurrentIndex(
        grid->model()->index(row, grid->tableModel()->columnOfField(field)));
    gridtest::Settle();
  }
  QString Cell(ui::DataGrid* grid, int row, const char* field) {
    return grid->model()
        ->index(row, grid->tableModel()->columnOfField(field))
        .data()
        .toString();
  }
  std::vector<Record> Of(const std::string& table, const std::string& prof) {
    std::vector<Record> out;
    for (const Record& r : Records(dir_.path(), table))
      if (r.at("ABREVPROF") == prof) out.push_back(r);
    return out;
  }
  fs::path OutputFile() { return dir_.path() / "dae" / "fCUADROS.txt"; }

  testsupport::TempDir dir_;
  testsupport::ScriptedUI ui_;
  chain::ProcessState state_;
  std::unique_ptr<dae_export::AjustaDAE> logic_;
  std::unique_ptr<ui::TAjustaDAE> window_;
};

const char* const kQuestion =
    "           !!!ATENCIÓN!!!                 \r"
    "Todavía hay algún Profesor SIN DOCumento(DNI).\r"
    "       ¿Desea corregir esta incidencia?       ";

TEST_F(CodingWindowTest, ShowsItsTextsTheCentreAndTheFirstTeacher) {
  EXPECT_EQ(window_->windowTitle(), QString::fromUtf8("CODIFICACIÓN Datos DAE"));
  QStringList texts;
  for (QLabel* l : window_->findChildren<QLabel*>()) texts << l->text();
  for (const char* expected :
       {"AJUSTES Y CODIFICACION DE DATOS EXPORTACIÓN PARA D.A.E.",
        "Deberán CODIFICAR todos aquellos Datos del DAE, que se encuentren en "
        "Blanco, Seleccionando los mismos en la Ventana Auxiliar que se "
        "abrirá en cada Celda Codificable. Los Códigos DAE que se inserten en "
        "la Ventana de PROFESORES o REGISTROS de TIPO 2, se actualizarán "
        "automáticamente en REGISTROS de TIPO 3.",
        "Si la TAREA es \"Lectiva\",  Cód.ASIG e IDIOMA deben tener "
        "contenido. Si la TAREA  NO es \"Lectiva\",  ACTIV. debe tener "
        "contenido. ",
        "Datos del Centro:", "Cód.Centro", "Año Académico", "Versión",
        "PROFESORES", "REGISTROS de TIPO 2", "REGISTROS de TIPO 3"})
    EXPECT_TRUE(texts.contains(QString::fromUtf8(expected))) << expected;
  EXPECT_EQ(window_->BitBtn1->text(), "&Salir");

  EXPECT_EQ(window_->DBEditCODECENTRO->text(), "012345");
  EXPECT_EQ(window_->DBEditANOACAD->text(), "2024");
  EXPECT_EQ(window_->DBEditVERSION->text(), "1");

  EXPECT_TRUE(Type2()->hasFocusWithin()) << "the type 2 grid starts focused";
  // Teachers in ABREV order; the details show the first teacher's records.
  ASSERT_EQ(Teachers()->model()->rowCount(), 3);
  EXPECT_EQ(Cell(Teachers(), 0, "ABREV"), "AB");
  EXPECT_EQ(Cell(Teachers(), 2, "ABREV"), "EF");
  EXPECT_EQ(Cell(Teachers(), 0, "DEPART"), QString::fromUtf8("Matemáticas"));
  ASSERT_EQ(Type2()->model()->rowCount(), 1);
  EXPECT_EQ(Cell(Type2(), 0, "ABREVPROF"), "AB");
  ASSERT_EQ(Type3()->model()->rowCount(), 1);
  EXPECT_EQ(Cell(Type3(), 0, "ABREVGRUP"), "1A");

  const QStringList type2Titles = {
      "Profe.", "TipoDOC", "Documento DNI", "Día", "Sesión", "TAREA",
      "H.INICIO", "H. FIN", "G.NIVEL", "Asignat.", "Cód.ASIG", "IDIOMA",
      "ACTIV."};
  ASSERT_EQ(Type2()->model()->columnCount(), type2Titles.size());
  for (int c = 0; c < type2Titles.size(); ++c)
    EXPECT_EQ(Type2()->model()->headerData(c, Qt::Horizontal).toString()
                  .replace('\n', ' '),
              type2Titles[c]);
}

TEST_F(CodingWindowTest, TheDetailGridsFollowTheirMasters) {
  Goto(Teachers(), 1, "NOMBRE");  // CD
  ASSERT_EQ(Type2()->model()->rowCount(), 3);
  EXPECT_EQ(Cell(Type2(), 0, "ABREVPROF"), "CD");
  EXPECT_EQ(Type3()->model()->rowCount(), 2);
  Goto(Type2(), 2, "TIPTAR");
  ASSERT_EQ(Type3()->model()->rowCount(), 1);
  EXPECT_EQ(Cell(Type3(), 0, "ABREVGRUP"), "4A");
  Goto(Teachers(), 2, "NOMBRE");  // EF
  ASSERT_EQ(Type2()->model()->rowCount(), 1);
  EXPECT_EQ(Cell(Type3(), 0, "ABREVGRUP"), "1B");
}

TEST_F(CodingWindowTest, ADocumentTypedForATeacherReachesAllTheirRecords) {
  Goto(Teachers(), 1, "DNI");
  Type("22222222B");
  Key(Qt::Key_Return);  // writes the field and moves on to NOMBRE
  EXPECT_EQ(Teachers()->currentFieldName(), "NOMBRE");

  const auto type2 = Of("CUADROH2", "CD");
  const auto type3 = Of("CUADROH3", "CD");
  ASSERT_EQ(type2.size(), 3u);
  ASSERT_EQ(type3.size(), 4u);
  for (const Record& r : type2) EXPECT_EQ(r.at("DOC"), "22222222B");
  for (const Record& r : type3) EXPECT_EQ(r.at("DOC"), "22222222B") << r.at("ABREVGRUP");
  // Other teachers keep theirs.
  EXPECT_EQ(Of("CUADROH2", "AB")[0].at("DOC"), "11111111A");
  EXPECT_EQ(Of("CUADROH3", "EF")[0].at("DOC"), "33333333C");
  // The grids show the copied values, and the teacher's row is stored
  // when the user moves on.
  EXPECT_EQ(Cell(Type2(), 2, "DOC"), "22222222B");
  Goto(Teachers(), 0, "NOMBRE");
  EXPECT_EQ(Records(dir_.path(), "PROFT")[2].at("DNI"), "22222222B");
}

TEST_F(CodingWindowTest, LeavingTheDocumentColumnUnchangedRewritesTheRecords) {
  Goto(Teachers(), 0, "DNI");  // AB
  Add(dir_.path(), "CUADROH3",
      {{"TIPREG", "3"}, {"ABREVGRUP", "9Z"}, {"ABREVPROF", "AB"},
       {"DOC", "MAL"}, {"TIPDOC", "X"}, {"PROF_DIA_SES", Key7("AB", 5, 6)}});
  Key(Qt::Key_Right);
  for (const Record& r : Of("CUADROH3", "AB")) {
    EXPECT_EQ(r.at("DOC"), "11111111A") << r.at("ABREVGRUP");
    EXPECT_EQ(r.at("TIPDOC"), "D") << r.at("ABREVGRUP");
  }
  EXPECT_EQ(Of("CUADROH2", "AB")[0].at("TIPDOC"), "D");
}

TEST_F(CodingWindowTest, ADocumentTypeChosenFromTheListIsCopiedAtOnce) {
  Goto(Teachers(), 1, "TIPODNI");  // CD
  Key(Qt::Key_F2);
  auto* editor = qobject_cast<ui::LookupEditor*>(Teachers()->activeEditor());
  ASSERT_NE(editor, nullptr);
  Key(Qt::Key_F4);
  ASSERT_TRUE(editor->listVisible());
  QTableWidget* list = editor->listWidget();
  ASSERT_EQ(list->rowCount(), 3);
  EXPECT_EQ(list->horizontalHeaderItem(1)->text(), "DESCCAST");
  EXPECT_EQ(list->item(1, 1)->text(), "Pasaporte");
  Key(Qt::Key_Down);
  Key(Qt::Key_Return);
  EXPECT_EQ(logic_->wwTableProfesor.FieldByName("TIPODNI").AsString(), "P");
  for (const Record& r : Of("CUADROH2", "CD")) EXPECT_EQ(r.at("TIPDOC"), "P");
  for (const Record& r : Of("CUADROH3", "CD")) EXPECT_EQ(r.at("TIPDOC"), "P");
}

TEST_F(CodingWindowTest, CodesChosenInTheType2GridStayInThatRecord) {
  Goto(Teachers(), 1, "NOMBRE");  // CD
  Goto(Type2(), 1, "TIPTAR");
  Type("L");
  Key(Qt::Key_Return);
  Goto(Type2(), 0, "TIPTAR");
  const auto type2 = Of("CUADROH2", "CD");
  int coded = 0;
  for (const Record& r : type2) coded += r.at("TIPTAR") == "L" ? 1 : 0;
  EXPECT_EQ(coded, 1);
  EXPECT_EQ(Records(dir_.path(), "CUADROH2")[2].at("TIPTAR"), "L");
}

TEST_F(CodingWindowTest, ExitWithATeacherWithoutDocumentAnsweredYesStays) {
  ui_.answers = {chain::Answer::Yes};
  Goto(Teachers(), 0, "NOMBRE");
  QTest::mouseClick(window_->BitBtn1, Qt::LeftButton);
  gridtest::Settle();
  ASSERT_EQ(ui_.questions.size(), 1u);
  EXPECT_EQ(ui_.questions[0], kQuestion);
  EXPECT_TRUE(window_->isVisible());
  EXPECT_EQ(state_.workflowFlag, 0);
  EXPECT_FALSE(fs::exists(OutputFile()));
  // Ready to complete: the teacher without a document, its document cell.
  EXPECT_EQ(Cell(Teachers(), Teachers()->currentIndex().row(), "ABREV"), "CD");
  EXPECT_EQ(Teachers()->currentFieldName(), "DNI");
  EXPECT_TRUE(Teachers()->hasFocusWithin());

  // Completing it and pressing "&Salir" again writes the file.
  Type("22222222B");
  Key(Qt::Key_Return);
  QTest::mouseClick(window_->BitBtn1, Qt::LeftButton);
  gridtest::Settle();
  EXPECT_EQ(ui_.questions.size(), 1u);
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(window_->result(), QDialog::Accepted);
  EXPECT_EQ(state_.workflowFlag, 0);
  ASSERT_TRUE(fs::exists(OutputFile()));
  EXPECT_NE(testsupport::ReadFile(OutputFile()).find("22222222B"),
            std::string::npos);
}

TEST_F(CodingWindowTest, ExitAnsweredNoClosesWithoutFileAndFlagFour) {
  testsupport::WriteFile(OutputFile(), "anterior");
  ui_.answers = {chain::Answer::No};
  QTest::mouseClick(window_->BitBtn1, Qt::LeftButton);
  gridtest::Settle();
  EXPECT_EQ(ui_.questions.size(), 1u);
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(state_.workflowFlag, 4);
  EXPECT_EQ(testsupport::ReadFile(OutputFile()), "anterior");
}

TEST_F(CodingWindowTest, TheCloseBoxChecksNothingWritesNothingAndKeepsTheFlag) {
  state_.workflowFlag = 1;
  Goto(Teachers(), 1, "NOMBRE");
  Goto(Type2(), 0, "TIPTAR");
  Type("G");  // still in the cell editor when the window is closed
  window_->close();
  gridtest::Settle();
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(window_->result(), QDialog::Rejected);
  EXPECT_TRUE(ui_.questions.empty());
  EXPECT_FALSE(fs::exists(OutputFile()));
  EXPECT_EQ(state_.workflowFlag, 1);
  // A change being typed is kept, as leaving the row would keep it.
  EXPECT_EQ(Of("CUADROH2", "CD")[0].at("TIPTAR"), "G");
}

TEST_F(CodingWindowTest, EscapeDoesNotCloseTheWindow) {
  window_->BitBtn1->setFocus();
  gridtest::Settle();
  Key(Qt::Key_Escape);
  EXPECT_TRUE(window_->isVisible());
  EXPECT_TRUE(ui_.questions.empty());
}

TEST_F(CodingWindowTest, CentreDataTypedAreStoredWhenTheEditIsLeft) {
  QLineEdit* edit = window_->DBEditCODECENTRO;
  edit->setFocus();
  gridtest::Settle();
  edit->selectAll();
  Type("987654");
  EXPECT_EQ(logic_->wwTabledaeCENTRO.State(), store::DataSetState::Edit);
  EXPECT_EQ(logic_->wwTabledaeCENTRO.FieldByName("CODCENTRO").AsString(),
            "987654");
  EXPECT_EQ(edit->text(), "987654");
  EXPECT_EQ(Records(dir_.path(), "daeCENTRO")[0].at("CODCENTRO"), "012345");
  window_->DBEditVERSION->setFocus();
  gridtest::Settle();
  EXPECT_EQ(logic_->wwTabledaeCENTRO.State(), store::DataSetState::Browse);
  EXPECT_EQ(Records(dir_.path(), "daeCENTRO")[0].at("CODCENTRO"), "987654");
}

TEST_F(CodingWindowTest, ThePendingLineAndBlankCellsFollowTheData) {
  auto expected = [&] {
    return ui::TAjustaDAE::PendingText(logic_->PendingSummary());
  };
  const auto before = logic_->PendingSummary();
  EXPECT_EQ(before.teachersWithoutDocument, 1);
  EXPECT_EQ(window_->LabelPendientes->text(), expected());
  EXPECT_TRUE(window_->LabelPendientes->text().contains("1 profesor sin documento"));

  // A blank codable cell is marked; coding it removes the mark and, once
  // stored, one blank cell from the count.
  Goto(Teachers(), 1, "NOMBRE");
  const int tiptar = Type2()->tableModel()->columnOfField("TIPTAR");
  const int day = Type2()->tableModel()->columnOfField("DIASEM");
  EXPECT_TRUE(Type2()->model()->index(0, tiptar).data(Qt::BackgroundRole).isValid());
  EXPECT_FALSE(Type2()->model()->index(0, day).data(Qt::BackgroundRole).isValid());
  Goto(Type2(), 0, "TIPTAR");
  Type("L");
  Key(Qt::Key_Return);
  EXPECT_FALSE(Type2()->model()->index(0, tiptar).data(Qt::BackgroundRole).isValid());
  Goto(Type2(), 1, "TIPTAR");
  gridtest::Settle();
  EXPECT_EQ(logic_->PendingSummary().blankCodableCells,
            before.blankCodableCells - 1);
  EXPECT_EQ(window_->LabelPendientes->text(), expected());

  Goto(Teachers(), 1, "DNI");
  Type("22222222B");
  Key(Qt::Key_Return);
  Goto(Teachers(), 0, "DNI");
  gridtest::Settle();
  EXPECT_TRUE(window_->LabelPendientes->text().contains("0 profesores sin documento"));
}

TEST(CodingWindowText, PendingLineWording) {
  dae_export::AjustaDAE::Pending none;
  EXPECT_EQ(ui::TAjustaDAE::PendingText(none),
            "Todas las celdas codificables tienen contenido y todos los "
            "profesores tienen documento.");
  dae_export::AjustaDAE::Pending some;
  some.blankCodableCells = 1;
  some.teachersWithoutDocument = 2;
  EXPECT_EQ(ui::TAjustaDAE::PendingText(some),
            QString::fromUtf8("Pendiente: 1 celda codificable en blanco · 2 "
                              "profesores sin documento."));
}

}  // namespace

namespace {

TEST(CodingWindowEmptyCentre, TypingStartsARowThatLeavingTheEditDoesNotStore) {
  uitest::EnsureQtApp();
  testsupport::TempDir dir;
  codingtest::MakeCodingTables(dir.path());
  gridtest::MakeTable(dir.path(), "daeCENTRO",
                      {codingtest::S("CODCENTRO", 6), codingtest::S("ANOACAD", 4),
                       codingtest::S("VERSION", 5)},
                      {}, {});
  testsupport::ScriptedUI scripted;
  chain::ProcessState state;
  dae_export::AjustaDAE logic(scripted, state, dir.path());
  ui::TAjustaDAE window(logic);
  ASSERT_TRUE(gridtest::ShowAndActivate(&window));
  gridtest::Settle();
  EXPECT_EQ(window.DBEditCODECENTRO->text(), "");
  window.DBEditANOACAD->setFocus();
  gridtest::Settle();
  gridtest::Type("2025");
  EXPECT_EQ(logic.wwTabledaeCENTRO.State(), store::DataSetState::Insert);
  EXPECT_EQ(logic.wwTabledaeCENTRO.FieldByName("ANOACAD").AsString(), "2025");
  EXPECT_EQ(window.DBEditANOACAD->text(), "2025");
  window.DBEditVERSION->setFocus();
  gridtest::Settle();
  EXPECT_EQ(logic.wwTabledaeCENTRO.State(), store::DataSetState::Insert);
  window.close();
  gridtest::Settle();
  EXPECT_TRUE(scripted.questions.empty());
  EXPECT_TRUE(scripted.errors.empty());
  EXPECT_TRUE(codingtest::Records(dir.path(), "daeCENTRO").empty());
}

}  // namespace
