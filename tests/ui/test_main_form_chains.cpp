// The import chain driven through the main window's buttons and grids, with
// the modal boxes answered by the test: the sample school's files copied to
// a temporary DAE folder, tables in a temporary work folder, read back with
// the independent dBase reader; the result entry of embedded runs.
#include <algorithm>
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "store/table.h"
#include "tests/ui/test_main_form_fixture.h"
#include "ui/ajusta_dae_dialog.h"

namespace {

using uitest::FormFixture;
namespace fs = std::filesystem;

// The abbreviations of the sample school (examples/levels.csv).
const std::map<std::string, std::pair<QString, QString>> kLevels = {
    {"ESO", {QStringLiteral("ESO"), QStringLiteral("DBH")}},
    {"BAC", {QStringLiteral("BACH"), QStringLiteral("BATX")}},
    {"FPB", {QStringLiteral("FPB"), QStringLiteral("OLH")}},
};

class ImportChainTest : public FormFixture {
 protected:
  // BExportar with every box answered "Aceptar"; returns the texts shown.
  QStringList RunImport(int expectedBoxes = 0) {
    uitest::ModalAnswerer answers;
    for (int i = 0; i < expectedBoxes; ++i) answers.click(QStringLiteral("Aceptar"));
    Click(Button("BExportar"));
    EXPECT_EQ(answers.unexpectedCount(), 0) << answers.texts().join(" | ").toStdString();
    return answers.texts();
  }

  // Types the sample school's abbreviations into the level grid.
  void TypeAbbreviations() {
    ui::DataGrid* grid = Grid("wwDBGridNIVIMP");
    const std::vector<QString> codes = Column(grid, 0);
    for (size_t r = 0; r < codes.size(); ++r) {
      auto it = kLevels.find(codes[r].toStdString());
      ASSERT_NE(it, kLevels.end()) << codes[r].toStdString();
      TypeIntoCell(grid, static_cast<int>(r), 2, it->second.first);
      TypeIntoCell(grid, static_cast<int>(r), 4, it->second.second);
    }
  }

  // Levels of GRUPOST as the independent reader sees them.
  std::vector<std::string> GroupLevels() {
    return uitest::DumpTable(Table("GRUPOST.DBF")).values("NIVEL");
  }
};

TEST_F(ImportChainTest, AllFilesPresentRunsThroughBothPanelsToTheEnd) {
  Open();
  EXPECT_EQ(RunImport(), QStringList{});  // no message before the level panel
  EXPECT_EQ(state_.resultCode, 1);
  EXPECT_EQ(form_->workflow().DaeFolder(), (dae_ / "").string());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // arrow while waiting

  // The centre panel shows the centre row, ready for editing.
  QWidget* panel1 = W<QWidget>("Panel1");
  EXPECT_TRUE(panel1->isVisible());
  EXPECT_FALSE(Button("Button3")->isVisible());
  ui::DataGrid* centre = Grid("wwDBGridCODCENTRO");
  ASSERT_EQ(centre->model()->rowCount(), 1);
  const uitest::DumpedTable centreTable = uitest::DumpTable(Table("daeCENTRO.DBF"));
  ASSERT_EQ(centreTable.rows.size(), 1u);
  EXPECT_EQ(Column(centre, 0)[0].toStdString(), centreTable.values("CODCENTRO")[0]);
  EXPECT_EQ(Column(centre, 1)[0].toStdString(), centreTable.values("ANOACAD")[0]);
  EXPECT_FALSE(Column(centre, 0)[0].isEmpty());

  // The user corrects the version, then OK opens the level panel.
  TypeIntoCell(centre, 0, 2, QStringLiteral("7"));
  Click(Button("BitBtn1"));
  EXPECT_FALSE(panel1->isVisible());
  EXPECT_TRUE(W<QWidget>("Panel2")->isVisible());
  EXPECT_EQ(uitest::DumpTable(Table("daeCENTRO.DBF")).values("VERSION")[0], "7");

  ui::DataGrid* levels = Grid("wwDBGridNIVIMP");
  const uitest::DumpedTable nivimp = uitest::DumpTable(Table("daeNIVIMP.DBF"));
  ASSERT_EQ(levels->model()->rowCount(), static_cast<int>(nivimp.rows.size()));
  for (size_t r = 0; r < nivimp.rows.size(); ++r)
    EXPECT_EQ(Column(levels, 0)[r].toStdString(), nivimp.values("COD")[r]);

  const std::vector<std::string> before = GroupLevels();
  ASSERT_FALSE(before.empty());
  TypeAbbreviations();

  uitest::ModalAnswerer answers;
  answers.click(QStringLiteral("Aceptar"));
  Click(Button("BitBtn2"));
  EXPECT_EQ(answers.texts(), QStringList{QStringLiteral("Proceso finalizado")});
  EXPECT_EQ(answers.seen[0].objectName, QStringLiteral("PlainMessage"));
  EXPECT_FALSE(W<QWidget>("Panel2")->isVisible());
  EXPECT_TRUE(Button("Button3")->isVisible());
  EXPECT_TRUE(form_->isVisible());  // stand-alone: the window stays
  EXPECT_EQ(state_.resultCode, 1);

  // Every group took the Euskera abbreviation of its level.
  const std::vector<std::string> after = GroupLevels();
  ASSERT_EQ(after.size(), before.size());
  int changed = 0;
  for (size_t i = 0; i < before.size(); ++i) {
    auto it = kLevels.find(before[i]);
    const std::string expected = it == kLevels.end() ? before[i] : it->second.second.toStdString();
    EXPECT_EQ(after[i], expected) << "group " << i;
    changed += after[i] != before[i] ? 1 : 0;
  }
  EXPECT_GT(changed, 0);
  // The abbreviations typed are in the level table.
  const uitest::DumpedTable typed = uitest::DumpTable(Table("daeNIVIMP.DBF"));
  for (size_t r = 0; r < typed.rows.size(); ++r) {
    const auto& expected = kLevels.at(typed.values("COD")[r]);
    EXPECT_EQ(typed.values("ABREVCAST")[r], expected.first.toStdString());
    EXPECT_EQ(typed.values("ABREVEUSK")[r], expected.second.toStdString());
  }

  // "Volver a Niveles Estudios" opens the level panel again, with the
  // abbreviations as stored.
  Click(Button("Button3"));
  EXPECT_TRUE(W<QWidget>("Panel2")->isVisible());
  EXPECT_EQ(Column(Grid("wwDBGridNIVIMP"), 4)[0], kLevels.at(typed.values("COD")[0]).second);
}

TEST_F(ImportChainTest, CastellanoChoiceWritesTheCastellanoAbbreviations) {
  Open();
  W<QComboBox>("ComboBoxEuskCast")->setCurrentIndex(1);  // CASTELLANO
  RunImport();
  Click(Button("BitBtn1"));
  const std::vector<std::string> before = GroupLevels();
  TypeAbbreviations();
  uitest::ModalAnswerer answers;
  answers.click(QStringLiteral("Aceptar"));
  Click(Button("BitBtn2"));
  EXPECT_EQ(answers.texts(), QStringList{QStringLiteral("Proceso finalizado")});
  const std::vector<std::string> after = GroupLevels();
  for (size_t i = 0; i < before.size(); ++i) {
    auto it = kLevels.find(before[i]);
    EXPECT_EQ(after[i], it == kLevels.end() ? before[i] : it->second.first.toStdString());
  }
}

TEST_F(ImportChainTest, EmbeddedImportClosesTheWindowAndWritesOne) {
  OpenEmbedded(app::HiddenPanel::Right);
  EXPECT_FALSE(W<QWidget>("PanelDerecho")->isVisible());
  RunImport();
  Click(Button("BitBtn1"));
  TypeAbbreviations();
  uitest::ModalAnswerer answers;
  answers.click(QStringLiteral("Aceptar"));
  Click(Button("BitBtn2"));
  EXPECT_EQ(answers.texts(), QStringList{QStringLiteral("Proceso finalizado")});
  EXPECT_FALSE(form_->isVisible());
  EXPECT_EQ(uitest::ResultEntry(Ini()), "1");
}

TEST_F(ImportChainTest, MissingGroupsFileAndNoCentreTableStopAtTheMessages) {
  fs::remove(dae_ / "fGRUPOS.txt");
  OpenEmbedded(app::HiddenPanel::Right);

  // While the chain works the busy cursor shows, also under its messages.
  std::vector<int> cursorShapes;
  uitest::ModalAnswerer answers;
  for (int i = 0; i < 2; ++i) {
    answers.act([&](QWidget* box) {
      const QCursor* c = QApplication::overrideCursor();
      cursorShapes.push_back(c ? static_cast<int>(c->shape()) : -1);
      QTest::keyClick(box, Qt::Key_Return);
    });
  }
  Click(Button("BExportar"));
  EXPECT_EQ(answers.texts(),
            (QStringList{QStringLiteral("No existe archivo de grupos (fGRUPOS.TXT)"),
                         QStringLiteral("No existe archivo del Centro (daeCENTRO.DBF)")}));
  EXPECT_EQ(cursorShapes, (std::vector<int>{Qt::WaitCursor, Qt::WaitCursor}));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // arrow once it stopped
  EXPECT_EQ(state_.resultCode, -1);
  EXPECT_FALSE(W<QWidget>("Panel1")->isVisible());
  EXPECT_TRUE(form_->isVisible());  // stays open, also embedded
  EXPECT_EQ(uitest::ResultEntry(Ini()), "");

  Click(Button("BClose"));
  EXPECT_FALSE(form_->isVisible());
  EXPECT_EQ(uitest::ResultEntry(Ini()), "-1");
}

TEST_F(ImportChainTest, MissingLevelTableKeepsTheCentrePanel) {
  Open();
  RunImport();
  ASSERT_TRUE(W<QWidget>("Panel1")->isVisible());
  fs::remove(Table("daeNIVIMP.DBF"));
  fs::remove(work_ / "daeNIVIMP.MDX");
  uitest::ModalAnswerer answers;
  answers.click(QStringLiteral("Aceptar"));
  Click(Button("BitBtn1"));
  EXPECT_EQ(answers.texts(), QStringList{QStringLiteral("No existe archivo del Centro (daeNIVIMP.DBF)")});
  EXPECT_TRUE(W<QWidget>("Panel1")->isVisible());
  EXPECT_FALSE(W<QWidget>("Panel2")->isVisible());
  EXPECT_EQ(state_.resultCode, -1);
}

TEST_F(ImportChainTest, StoreErrorGoesToTheErrorReportAndTheWindowStaysAsItWas) {
  Open();
  RunImport();
  ASSERT_TRUE(W<QWidget>("Panel1")->isVisible());
  // The level table damaged behind the tool's back.
  testsupport::WriteFile(Table("daeNIVIMP.DBF"), "esto no es una tabla");
  uitest::ModalAnswerer answers;
  answers.click(QStringLiteral("OK"));
  Click(Button("BitBtn1"));
  ASSERT_EQ(answers.seen.size(), 1u);
  const uitest::SeenBox& box = answers.seen[0];
  EXPECT_EQ(box.objectName, QStringLiteral("ErrorReport"));
  EXPECT_EQ(box.title, QStringLiteral("transPelmarDAE"));
  EXPECT_EQ(box.icon, static_cast<int>(QMessageBox::Critical));
  EXPECT_TRUE(box.text.contains(QStringLiteral("daeNIVIMP"), Qt::CaseInsensitive)) << box.text.toStdString();
  EXPECT_TRUE(box.text.endsWith(QLatin1Char('.'))) << box.text.toStdString();
  EXPECT_FALSE(W<QWidget>("Panel2")->isVisible());
  EXPECT_TRUE(form_->isVisible());
  EXPECT_EQ(state_.resultCode, 1);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(ImportChainTest, RepeatedAbbreviationKeepsTheLevelPanelAndWritesNothing) {
  struct Case {
    int column;  // 2 Castellano, 4 Euskera
    QString first, second;
    QString message;
  };
  const Case cases[] = {
      {2, QStringLiteral("XX"), QStringLiteral("xx"),
       QStringLiteral("Abreviatura en Castellano Repetida - Compruébelo.")},
      {4, QStringLiteral("AB"), QStringLiteral("AB"),
       QStringLiteral("Abreviatura en Euskera Repetida - Compruébelo.")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message.toStdString());
    Open();
    RunImport();
    Click(Button("BitBtn1"));
    const std::vector<std::string> before = GroupLevels();
    ui::DataGrid* grid = Grid("wwDBGridNIVIMP");
    ASSERT_GE(grid->model()->rowCount(), 3);
    TypeIntoCell(grid, 0, c.column, c.first);
    TypeIntoCell(grid, 2, c.column, c.second);
    // One text as the Castellano abbreviation of one level and the Euskera
    // one of another is no repeat.
    TypeIntoCell(grid, 1, c.column == 2 ? 4 : 2, c.first);

    {
      uitest::ModalAnswerer answers;
      answers.click(QStringLiteral("Aceptar"));
      Click(Button("BitBtn2"));
      EXPECT_EQ(answers.texts(), QStringList{c.message});
    }
    EXPECT_TRUE(W<QWidget>("Panel2")->isVisible());
    EXPECT_EQ(state_.workflowFlag, 1);
    EXPECT_EQ(GroupLevels(), before);
    // The grid stands on the row where the repeat was found.
    EXPECT_EQ(grid->tableModel()->currentRow(), 2);

    // Corrected, the levels are accepted.
    TypeIntoCell(grid, 2, c.column, QStringLiteral("ZZ"));
    uitest::ModalAnswerer done;
    done.click(QStringLiteral("Aceptar"));
    Click(Button("BitBtn2"));
    EXPECT_EQ(done.texts(), QStringList{QStringLiteral("Proceso finalizado")});
    form_.reset();
  }
}

TEST_F(ImportChainTest, BackToTheCentrePanelAndForwardKeepsWhatWasTyped) {
  Open();
  RunImport();
  Click(Button("BitBtn1"));
  ui::DataGrid* grid = Grid("wwDBGridNIVIMP");
  TypeIntoCell(grid, 0, 2, QStringLiteral("UNO"));

  Click(Button("Button2"));  // "Volver a Datos Centro"
  EXPECT_EQ(state_.workflowFlag, 0);
  EXPECT_TRUE(W<QWidget>("Panel1")->isVisible());
  EXPECT_FALSE(W<QWidget>("Panel2")->isVisible());
  EXPECT_EQ(Grid("wwDBGridCODCENTRO")->model()->rowCount(), 1);

  Click(Button("BitBtn1"));  // OK leads to the level panel again
  EXPECT_TRUE(W<QWidget>("Panel2")->isVisible());
  EXPECT_EQ(Column(grid, 2)[0], QStringLiteral("UNO"));
  EXPECT_EQ(uitest::DumpTable(Table("daeNIVIMP.DBF")).values("ABREVCAST")[0], "UNO");
}

TEST_F(ImportChainTest, EnterInACellEditorDoesNotPressTheDefaultButton) {
  Open();
  RunImport();
  Click(Button("BitBtn1"));
  ui::DataGrid* grid = Grid("wwDBGridNIVIMP");
  uitest::ModalAnswerer answers;  // no box expected
  TypeIntoCell(grid, 0, 2, QStringLiteral("AA"));  // ends with Return
  EXPECT_TRUE(W<QWidget>("Panel2")->isVisible());
  EXPECT_TRUE(answers.seen.empty());
  // Enter on the grid itself (no cell being edited) presses "Aceptar".
  answers.click(QStringLiteral("Aceptar"));
  grid->setFocus();
  QTest::keyClick(grid, Qt::Key_Return);
  QApplication::processEvents();
  EXPECT_EQ(answers.texts(), QStringList{QStringLiteral("Proceso finalizado")});
  EXPECT_FALSE(W<QWidget>("Panel2")->isVisible());
}

// ------------------------------------------------------------------ export

class ExportChainTest : public ImportChainTest {
 protected:
  // The import run to its end, then the centre table removed and the
  // timetable solution put in place, as after a run of the timetabling
  // product.
  void ImportThenDropCentre() {
    Open();
    RunImport();
    Click(Button("BitBtn1"));
    uitest::ModalAnswerer answers;
    answers.click(QStringLiteral("Aceptar"));
    Click(Button("BitBtn2"));
    ASSERT_EQ(answers.texts(), QStringList{QStringLiteral("Proceso finalizado")});
    fs::remove(Table("daeCENTRO.DBF"));
    fs::remove(store::ResolveFileNoCase(work_, "daeCENTRO.MDX"));
    fs::copy_file(testsupport::SourceDir() / "examples" / "solution" / "SOLUC.DBF", work_ / "SOLUC.DBF",
                  fs::copy_options::overwrite_existing);
    // Every teacher of the sample has a document: the coding window can
    // write the timetable file without asking.
    for (const std::string& dni : uitest::DumpTable(Table("PROFT.DBF")).values("DNI")) ASSERT_FALSE(dni.empty());
  }

  static void PressButtonOf(QWidget* window, const QString& text) {
    for (QPushButton* b : window->findChildren<QPushButton*>())
      if (b->text() == text && b->isVisible()) {
        b->click();
        return;
      }
    ADD_FAILURE() << "no button " << text.toStdString() << " in " << window->metaObject()->className();
    if (auto* dialog = qobject_cast<QDialog*>(window)) dialog->reject();
  }
};

TEST_F(ExportChainTest, MissingCentreWaitsInTheCentrePanelUntilItsDataAreComplete) {
  ImportThenDropCentre();
  state_.resultCode = 0;

  {
    uitest::ModalAnswerer answers;
    answers.act([](QWidget* w) { PressButtonOf(w, QStringLiteral("Aceptar")); });  // template window
    Click(Button("BImportar"));
    ASSERT_EQ(answers.seen.size(), 1u);
    EXPECT_EQ(answers.seen[0].className, QStringLiteral("ui::TControlPlantilla"));
  }
  EXPECT_EQ(state_.workflowFlag, 1);
  EXPECT_TRUE(W<QWidget>("Panel1")->isVisible());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  ui::DataGrid* centre = Grid("wwDBGridCODCENTRO");
  ASSERT_EQ(centre->model()->rowCount(), 1);  // one new, empty row
  EXPECT_EQ(Column(centre, 0)[0], QString());

  // OK with a field still empty keeps the panel, without a word.
  TypeIntoCell(centre, 0, 0, QStringLiteral("012345"));
  TypeIntoCell(centre, 0, 1, QStringLiteral("2025"));
  {
    uitest::ModalAnswerer answers;
    Click(Button("BitBtn1"));
    EXPECT_TRUE(answers.seen.empty()) << answers.texts().join(" | ").toStdString();
  }
  EXPECT_TRUE(W<QWidget>("Panel1")->isVisible());
  EXPECT_EQ(state_.workflowFlag, 1);

  // Complete: the export runs on through the coding window to its file.
  TypeIntoCell(centre, 0, 2, QStringLiteral("3"));
  uitest::ModalAnswerer answers;
  answers.act([](QWidget* w) {
    // The user completes the teachers' documents, then leaves with "&Salir".
    auto* coding = qobject_cast<ui::TAjustaDAE*>(w);
    ASSERT_NE(coding, nullptr);
    store::Table& prof = coding->logic().wwTableProfesor;
    int n = 0;
    for (prof.First(); !prof.Eof(); prof.Next()) {
      if (!prof.FieldByName("DNI").AsString().empty()) continue;
      prof.Edit();
      prof.FieldByName("DNI").SetAsString("9900000" + std::to_string(n++));
      prof.Post();
    }
    PressButtonOf(w, QStringLiteral("&Salir"));
  });
  answers.click(QStringLiteral("Aceptar"));
  Click(Button("BitBtn1"));
  ASSERT_EQ(answers.seen.size(), 2u) << answers.texts().join(" | ").toStdString();
  EXPECT_EQ(answers.seen[0].className, QStringLiteral("ui::TAjustaDAE"));
  EXPECT_EQ(answers.seen[1].text, QStringLiteral("Proceso finalizado"));
  EXPECT_FALSE(W<QWidget>("Panel1")->isVisible());
  EXPECT_EQ(state_.resultCode, 1);
  EXPECT_EQ(state_.workflowFlag, 0);
  const fs::path file = store::ResolveFileNoCase(dae_, "fCUADROS.txt");
  ASSERT_TRUE(fs::exists(file));
  const std::string text = testsupport::ReadFile(file);
  EXPECT_NE(text.find("012345"), std::string::npos);
  const uitest::DumpedTable centreTable = uitest::DumpTable(Table("daeCENTRO.DBF"));
  ASSERT_EQ(centreTable.rows.size(), 1u);
  EXPECT_EQ(centreTable.values("CODCENTRO")[0], "012345");
  EXPECT_EQ(centreTable.values("VERSION")[0], "3");
}

TEST_F(ExportChainTest, CodingWindowLeftWithoutTheFileEndsWithTheWarningAndStillOne) {
  ImportThenDropCentre();
  form_.reset();
  // One teacher without a document.
  {
    store::Table prof;
    prof.SetDatabaseName(work_);
    prof.SetTableName("PROFT");
    prof.Open();
    prof.First();
    prof.Edit();
    prof.FieldByName("DNI").SetAsString("");
    prof.Post();
    prof.Close();
  }
  OpenEmbedded(app::HiddenPanel::Left);  // the export direction only
  {
    uitest::ModalAnswerer answers;
    answers.act([](QWidget* w) { PressButtonOf(w, QStringLiteral("Aceptar")); });
    Click(Button("BImportar"));
  }
  ASSERT_TRUE(W<QWidget>("Panel1")->isVisible());
  ui::DataGrid* centre = Grid("wwDBGridCODCENTRO");
  TypeIntoCell(centre, 0, 0, QStringLiteral("012345"));
  TypeIntoCell(centre, 0, 1, QStringLiteral("2025"));
  TypeIntoCell(centre, 0, 2, QStringLiteral("1"));

  uitest::ModalAnswerer answers;
  answers.act([](QWidget* w) { PressButtonOf(w, QStringLiteral("&Salir")); });
  answers.click(QStringLiteral("&No"));  // do not correct the missing document
  answers.click(QStringLiteral("Aceptar"));
  Click(Button("BitBtn1"));
  ASSERT_EQ(answers.seen.size(), 3u) << answers.texts().join(" | ").toStdString();
  EXPECT_EQ(answers.seen[1].title, QStringLiteral("Confirmación"));
  EXPECT_TRUE(answers.seen[1].text.contains(QStringLiteral("SIN DOCumento")));
  EXPECT_EQ(answers.seen[2].text, QStringLiteral("!!ATENCIÓN!! El Proceso NO ha finalizado Correctamente"));
  EXPECT_FALSE(fs::exists(store::ResolveFileNoCase(dae_, "fCUADROS.txt")));
  EXPECT_FALSE(form_->isVisible());  // embedded: closed at the end
  EXPECT_EQ(uitest::ResultEntry(Ini()), "1");
}

TEST_F(ExportChainTest, StaleTeachersIndexIsRebuiltAndTheUserToldInAPlainMessage) {
  ImportThenDropCentre();
  form_.reset();
  // Another program (python3-dbf, which does not keep the .MDX) added the
  // teacher that the export would otherwise add.
  auto added = testsupport::RunHostProgram(
      {"/usr/bin/python3", testsupport::HostPath(testsupport::SourceDir() / "tests/tools/dbf_dump.py"),
       "--append", testsupport::HostPath(Table("PROFT.DBF")), "XYZ|Xabier Yarza|Tecnología|10000011L|1"});
  ASSERT_EQ(added.exitCode, 0) << added.err;
  Open();
  {
    uitest::ModalAnswerer answers;
    answers.act([](QWidget* w) { PressButtonOf(w, QStringLiteral("Aceptar")); });
    Click(Button("BImportar"));
  }
  ASSERT_TRUE(W<QWidget>("Panel1")->isVisible());
  ui::DataGrid* centre = Grid("wwDBGridCODCENTRO");
  TypeIntoCell(centre, 0, 0, QStringLiteral("012345"));
  TypeIntoCell(centre, 0, 1, QStringLiteral("2025"));
  TypeIntoCell(centre, 0, 2, QStringLiteral("1"));

  uitest::ModalAnswerer answers;
  answers.click(QStringLiteral("Aceptar"));  // the notice
  answers.act([](QWidget* w) { PressButtonOf(w, QStringLiteral("&Salir")); });
  answers.click(QStringLiteral("Aceptar"));
  Click(Button("BitBtn1"));
  ASSERT_EQ(answers.seen.size(), 3u) << answers.texts().join(" | ").toStdString();
  EXPECT_EQ(answers.seen[0].title, QStringLiteral("transPelmarDAE"));
  EXPECT_EQ(answers.seen[0].text,
            QStringLiteral("El índice de la tabla 'PROFT' no coincidía con sus registros y se ha "
                           "reconstruido."));
  EXPECT_EQ(answers.seen[2].text, QStringLiteral("Proceso finalizado"));
  const std::vector<std::string> abrev = uitest::DumpTable(Table("PROFT.DBF")).values("ABREV");
  EXPECT_EQ(std::count(abrev.begin(), abrev.end(), "XYZ"), 1);
}

// ---------------------------------------------------- folder missing, close

TEST_F(ImportChainTest, MissingFolderIsReportedAndEmbeddedRunsClose) {
  struct Case {
    const char* button;
    bool embedded;
    std::string entry;  // result entry written ("" none)
    int resultCode;  // after the button (5 before it)
  };
  const Case cases[] = {
      {"BExportar", false, "", 5},
      {"BImportar", false, "", 5},
      {"BExportar", true, "-1", -1},
      {"BImportar", true, "0", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.button) + (c.embedded ? " embedded" : ""));
    fs::remove(Ini());
    state_ = chain::ProcessState{};
    const fs::path gone = tmp_.path() / "desaparecida";
    fs::create_directories(gone);
    if (c.embedded)
      OpenEmbedded();
    else
      Open({}, QString::fromStdString(gone.string()));
    if (c.embedded) W<ui::FolderList>("Directorios")->setDirectory(QString::fromStdString(gone.string()));
    fs::remove_all(gone);
    state_.resultCode = 5;

    uitest::ModalAnswerer answers;
    answers.click(QStringLiteral("Aceptar"));
    Click(Button(c.button));
    // The folder on a line of its own (the message's carriage return).
    EXPECT_EQ(answers.texts(),
              QStringList{QStringLiteral("No existe la carpeta\n") +
                          QDir::toNativeSeparators(QString::fromStdString(gone.string()))});
    EXPECT_EQ(form_->isVisible(), !c.embedded);
    EXPECT_EQ(uitest::ResultEntry(Ini()), c.entry);
    EXPECT_EQ(state_.resultCode, c.resultCode);
    form_.reset();
  }
}

TEST_F(ImportChainTest, StandAloneCloseWritesNothing) {
  Open();
  RunImport();
  EXPECT_EQ(state_.resultCode, 1);
  // The import waits in the centre panel with the tables already replaced:
  // closing asks first, and "&Si" closes.
  uitest::ModalAnswerer answers;
  answers.click(QStringLiteral("&Si"));
  form_->close();
  ASSERT_EQ(answers.seen.size(), 1u);
  EXPECT_EQ(answers.seen[0].objectName, QStringLiteral("Question"));
  EXPECT_TRUE(answers.seen[0].text.contains(QStringLiteral("transdae-cli restore")))
      << answers.seen[0].text.toStdString();
  EXPECT_FALSE(form_->isVisible());
  EXPECT_FALSE(fs::exists(Ini()));
}

TEST_F(ImportChainTest, EmbeddedCloseKeepsTheRestOfAnExistingIni) {
  testsupport::WriteFile(Ini(), "[Otra]\r\nClave=valor\r\n[Transformadores]\r\nTransformado=9\r\n");
  OpenEmbedded();
  Click(Button("BClose"));
  EXPECT_FALSE(form_->isVisible());
  EXPECT_EQ(uitest::ResultEntry(Ini()), "0");
  EXPECT_NE(testsupport::ReadFile(Ini()).find("Clave=valor"), std::string::npos);
}

TEST_F(ImportChainTest, UnwritableResultEntryIsReportedAndTheWindowStillCloses) {
  fs::create_directories(Ini());  // a folder where the file should be
  OpenEmbedded();
  state_.resultCode = 1;
  uitest::ModalAnswerer answers;
  answers.click(QStringLiteral("OK"));
  Click(Button("BClose"));
  ASSERT_EQ(answers.seen.size(), 1u);
  EXPECT_EQ(answers.seen[0].objectName, QStringLiteral("ErrorReport"));
  EXPECT_TRUE(answers.seen[0].text.contains(QStringLiteral("Dolvarin.ini")))
      << answers.seen[0].text.toStdString();
  EXPECT_FALSE(form_->isVisible());
}

}  // namespace
