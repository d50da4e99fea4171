// The main window: its controls and texts, its geometry, the command line's
// effect on it, the folder browser and the language box.
#include <gtest/gtest.h>

#include <QTreeWidgetItemIterator>

#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "tests/ui/test_main_form_fixture.h"
#include "ui/folder_browser.h"
#include "ui/gradient_panel.h"
#include "ui/help_viewer.h"

namespace {

using uitest::FormFixture;
namespace fs = std::filesystem;

class MainFormTest : public FormFixture {};

TEST_F(MainFormTest, ControlsCarryTheirNamesAndExactTexts) {
  ui::TMForm& form = Open();
  EXPECT_EQ(form.objectName(), QStringLiteral("MForm"));
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Exportar e importar datos entre Dolvarin y DAE"));

  struct ButtonCase {
    const char* name;
    const char* text;
    bool visible;
  };
  const ButtonCase buttons[] = {
      {"BExportar", "Aceptar", true},
      {"BImportar", "Aceptar", true},
      {"Button1", "F1 AYUDA", true},
      {"BClose", "&Salir", true},
      {"Button3", "Volver a Niveles Estudios", false},
      {"BitBtn1", "OK", false},
      {"BitBtn2", "Aceptar", false},
      {"Button2", "Volver a Datos Centro", false},
  };
  for (const ButtonCase& c : buttons) {
    QPushButton* b = Button(c.name);
    ASSERT_NE(b, nullptr) << c.name;
    EXPECT_EQ(b->text(), QString::fromUtf8(c.text)) << c.name;
    EXPECT_EQ(b->isVisible(), c.visible) << c.name;
  }
  // The OK-style buttons carry the tick glyph.
  for (const char* name : {"BExportar", "BImportar"}) EXPECT_FALSE(Button(name)->icon().isNull()) << name;

  const char* labels[] = {
      "Transformar datos desde DAE hacia Dolvarin ",
      "Recoger Textos en:",
      "Transformar datos desde Dolvarin hacia DAE",
      "Carpeta en la que se encuentran los Ficheros TXT de DAE",
      "Ruta Actual:",
      "TransDolvarinDAE para QX5 V-1.1",
      "Aceptar o Corregir sus Datos del Centro:",
      "NIVELES DE ESTUDIOS",
      "Escriba las Abreviaturas (hasta 5 caracteres) en Castellano y/o Euskera.",
  };
  for (const char* text : labels) {
    bool found = false;
    for (QLabel* label : form.findChildren<QLabel*>())
      found = found || label->text() == QString::fromUtf8(text);
    EXPECT_TRUE(found) << text;
  }

  QLabel* version = W<QLabel>("LabelVersion");
  EXPECT_TRUE(version->font().bold());
  EXPECT_EQ(version->palette().color(QPalette::WindowText).red(), 0xc0);
  EXPECT_EQ(version->palette().color(QPalette::WindowText).green(), 0);
  for (const char* name : {"LabelTituloIzquierdo", "LabelTituloDerecho"}) {
    QLabel* title = W<QLabel>(name);
    EXPECT_TRUE(title->font().bold()) << name;
    EXPECT_TRUE(title->wordWrap()) << name;
    EXPECT_GT(title->font().pointSizeF(), form.font().pointSizeF()) << name;
  }
  QLabel* levels = W<QLabel>("LabelNiveles");
  EXPECT_TRUE(levels->font().bold());
  EXPECT_TRUE(levels->font().underline());

  EXPECT_FALSE(W<QWidget>("Panel1")->isVisible());
  EXPECT_FALSE(W<QWidget>("Panel2")->isVisible());
  EXPECT_NE(W<ui::FolderList>("Directorios"), nullptr);
  EXPECT_NE(W<ui::DriveBox>("Unidades"), nullptr);
}

TEST_F(MainFormTest, GridsHaveTheirColumnsTitlesAndEditableCells) {
  Open();
  struct ColumnCase {
    const char* grid;
    int column;
    const char* field;
    const char* title;
    bool editable;
  };
  const ColumnCase cases[] = {
      {"wwDBGridCODCENTRO", 0, "CODCENTRO", "Código CENTRO", true},
      {"wwDBGridCODCENTRO", 1, "ANOACAD", "Año Académico", true},
      {"wwDBGridCODCENTRO", 2, "VERSION", "Versión", true},
      {"wwDBGridNIVIMP", 0, "COD", "COD", false},
      {"wwDBGridNIVIMP", 1, "DESCCASTR", "Descr.Cast.", false},
      {"wwDBGridNIVIMP", 2, "ABREVCAST", "ABREV.Cast.", true},
      {"wwDBGridNIVIMP", 3, "DESCEUSKR", "Descr.Eusk.", false},
      {"wwDBGridNIVIMP", 4, "ABREVEUSK", "ABREV.Eusk.", true},
  };
  for (const ColumnCase& c : cases) {
    ui::DataGrid* grid = Grid(c.grid);
    ASSERT_NE(grid, nullptr);
    const ui::GridColumn& col = grid->tableModel()->column(c.column);
    EXPECT_EQ(col.field, c.field);
    // A title too wide for its column may be broken over two lines.
    QString title = col.title;
    title.replace(QLatin1Char('\n'), QLatin1Char(' '));
    EXPECT_EQ(title, QString::fromUtf8(c.title)) << c.field;
    EXPECT_EQ(col.editable, c.editable) << c.field;
  }
  EXPECT_EQ(Grid("wwDBGridCODCENTRO")->tableModel()->columnCount(), 3);
  EXPECT_EQ(Grid("wwDBGridNIVIMP")->tableModel()->columnCount(), 5);
  EXPECT_EQ(Grid("wwDBGridCODCENTRO")->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(Grid("wwDBGridCODCENTRO")->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(Grid("wwDBGridNIVIMP")->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(Grid("wwDBGridNIVIMP")->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  // Rows can be added to and deleted from the level grid, not the centre's.
  EXPECT_TRUE(Grid("wwDBGridNIVIMP")->options().allowInsert);
  EXPECT_TRUE(Grid("wwDBGridNIVIMP")->options().allowDelete);
  EXPECT_FALSE(Grid("wwDBGridCODCENTRO")->options().allowInsert);
}

TEST_F(MainFormTest, BandsAndPanelsSitWhereTheWindowPlacesThem) {
  ui::TMForm& form = Open();
  EXPECT_EQ(form.size(), QSize(599, 311));
  EXPECT_EQ(form.minimumSize(), QSize(599, 311));
  EXPECT_EQ(form.maximumSize(), QSize(599, 311));
  EXPECT_EQ(W<QWidget>("PanelIzquierdo")->geometry(), QRect(0, 0, 289, 106));
  EXPECT_EQ(W<QWidget>("PanelDerecho")->geometry(), QRect(289, 0, 310, 106));
  EXPECT_EQ(W<QWidget>("PanelInferior")->geometry(), QRect(0, 106, 599, 205));
  QWidget* list = W<QWidget>("Directorios");
  EXPECT_EQ(list->size(), QSize(287, 144));
  // The centre panel lies over the folder list; the level panel covers
  // nearly the whole window, the exit button included.
  QWidget* panel1 = W<QWidget>("Panel1");
  EXPECT_TRUE(panel1->geometry().contains(list->geometry()));
  QWidget* panel2 = W<QWidget>("Panel2");
  const QRect salir(Button("BClose")->mapTo(&form, QPoint(0, 0)), Button("BClose")->size());
  EXPECT_TRUE(panel2->geometry().contains(salir));
  EXPECT_GE(panel2->width() * panel2->height(), 599 * 311 * 9 / 10);
  // Every control of the bottom band lies inside it.
  for (QWidget* child : W<QWidget>("PanelInferior")->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    EXPECT_TRUE(QRect(0, 0, 599, 205).contains(child->geometry()))
        << child->objectName().toStdString();
  // The direction panels are gradient-filled.
  auto* left = W<ui::GradientPanel>("PanelIzquierdo");
  EXPECT_NE(left->topColor(), left->bottomColor());
  const QImage shot = form.grab().toImage();
  EXPECT_NE(shot.pixelColor(150, 3), shot.pixelColor(150, 100));
}

TEST_F(MainFormTest, LanguageBoxStartsAtEuskeraAndTakesTypedText) {
  ui::TMForm& form = Open();
  auto* box = W<QComboBox>("ComboBoxEuskCast");
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->isEditable());
  ASSERT_EQ(box->count(), 2);
  EXPECT_EQ(box->itemText(0), QStringLiteral("EUSKERA"));
  EXPECT_EQ(box->itemText(1), QStringLiteral("CASTELLANO"));
  EXPECT_EQ(box->currentText(), QStringLiteral("EUSKERA"));
  EXPECT_EQ(form.LanguageText(), "EUSKERA");

  box->setCurrentIndex(1);
  EXPECT_EQ(form.LanguageText(), "CASTELLANO");

  box->lineEdit()->clear();
  QTest::keyClicks(box->lineEdit(), QStringLiteral("euskera"));
  EXPECT_EQ(form.LanguageText(), "euskera");
  EXPECT_EQ(box->count(), 2);  // typed text is not added to the list
}

// The command line as the timetabling product gives it.
TEST_F(MainFormTest, CommandLineShapesTheWindow) {
  struct Case {
    std::vector<std::string> args;
    bool leftVisible;
    bool rightVisible;
    bool embedded;
    QString error;
  };
  const Case cases[] = {
      {{}, true, true, false, {}},
      {{"importar"}, true, true, false, {}},
      {{"importar", "1a2b", "x"}, true, true, false, {}},
      {{"importar", "1a2b"}, false, true, true, {}},
      {{"IMPORTAR", "1A2B"}, false, true, true, {}},
      {{"exportar", "3f"}, true, false, true, {}},
      {{"ExPoRtAr", "3f"}, true, false, true, {}},
      {{"otra", "3f"}, true, true, true, {}},
      {{"importar", "zz"}, true, true, false,
       QStringLiteral("'$zz' no es un valor entero válido.")},
      {{"exportar", "0x1f"}, true, true, false,
       QStringLiteral("'$0x1f' no es un valor entero válido.")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.empty() ? std::string("(none)") : c.args[0] + " ...");
    state_ = chain::ProcessState{};
    state_.resultCode = 7;  // creation sets it back to 0
    uitest::ModalAnswerer answers;
    if (!c.error.isEmpty()) answers.click(QStringLiteral("OK"));
    ui::TMForm& form = Open(app::ParseCommandLine(c.args));
    EXPECT_EQ(state_.resultCode, 0);
    EXPECT_EQ(state_.embedded, c.embedded);
    QWidget* left = W<QWidget>("PanelIzquierdo");
    QWidget* right = W<QWidget>("PanelDerecho");
    EXPECT_EQ(left->isVisible(), c.leftVisible);
    EXPECT_EQ(right->isVisible(), c.rightVisible);
    if (c.leftVisible && !c.rightVisible) {
      EXPECT_EQ(left->geometry(), QRect(0, 0, 599, 106));
    }
    if (c.rightVisible && !c.leftVisible) {
      EXPECT_EQ(right->geometry(), QRect(0, 0, 599, 106));
      // The kept panel's button still lies inside it.
      QPushButton* b = Button("BImportar");
      EXPECT_TRUE(right->rect().contains(b->geometry()));
    }
    if (c.leftVisible && c.rightVisible) {
      EXPECT_EQ(left->geometry(), QRect(0, 0, 289, 106));
      EXPECT_EQ(right->geometry(), QRect(289, 0, 310, 106));
    }
    EXPECT_EQ(form.windowFlags().testFlag(Qt::FramelessWindowHint), c.embedded);
    if (!c.embedded) {
      // Stand-alone: a dialog's border, without a maximise box.
      EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowCloseButtonHint));
      EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    }
    if (c.embedded) {
      EXPECT_EQ(form.pos(), QPoint(2, 2));
    }
    EXPECT_EQ(form.size(), QSize(599, 311));
    if (c.error.isEmpty()) {
      EXPECT_TRUE(answers.seen.empty());
    } else {
      ASSERT_EQ(answers.seen.size(), 1u);
      EXPECT_EQ(answers.seen[0].objectName, QStringLiteral("ErrorReport"));
      EXPECT_EQ(answers.seen[0].title, QStringLiteral("transPelmarDAE"));
      EXPECT_EQ(answers.seen[0].text, c.error);
    }
    form_.reset();
  }
}

// ------------------------------------------------------------ folder browser

class FolderBrowserTest : public FormFixture {
 protected:
  void SetUp() override {
    FormFixture::SetUp();
    root_ = tmp_.path() / "carpetas";
    fs::create_directories(root_ / "alfa" / "interior");
    fs::create_directories(root_ / "Beta");
    fs::create_directories(root_ / ".oculta");
    testsupport::WriteFile(root_ / "fichero.txt", "x");
  }
  // A path as the folder list keeps it ('/' between names) and as the
  // user is shown it (the system's separator).
  QString Q(const fs::path& p) { return QDir::fromNativeSeparators(QString::fromStdString(p.string())); }
  QString N(const fs::path& p) { return QDir::toNativeSeparators(Q(p)); }
  QStringList ChildNames(QTreeWidgetItem* item) {
    QStringList names;
    for (int i = 0; i < item->childCount(); ++i) names << item->child(i)->text(0);
    return names;
  }
  void DoubleClick(ui::FolderList* list, QTreeWidgetItem* item) {
    ASSERT_NE(item, nullptr);
    // Through the window, as the platform delivers it: press, release,
    // press, release, of which Qt makes the double click.
    QWidget* window = list->window();
    const QPoint at = list->viewport()->mapTo(window, list->visualItemRect(item).center());
    QTest::mouseDClick(window->windowHandle(), Qt::LeftButton, {}, at);
    QApplication::processEvents();
    QApplication::processEvents();
  }
  fs::path root_;
};

TEST_F(FolderBrowserTest, StartsAtTheStartFolderWithItsAncestorsAndSubfolders) {
  Open({}, Q(root_));
  auto* list = W<ui::FolderList>("Directorios");
  EXPECT_EQ(list->directory(), Q(root_));
  QTreeWidgetItem* current = list->currentItem();
  ASSERT_NE(current, nullptr);
  EXPECT_EQ(ui::FolderList::folderOf(current), Q(root_));
  EXPECT_EQ(current->text(0), QStringLiteral("carpetas"));
  // Subfolders in name order, letter case ignored; no files, no hidden ones.
  EXPECT_EQ(ChildNames(current), (QStringList{QStringLiteral("alfa"), QStringLiteral("Beta")}));
  // The chain of ancestors reaches the volume root.
  QTreeWidgetItem* top = current;
  while (top->parent()) top = top->parent();
  EXPECT_EQ(ui::FolderList::folderOf(top), list->volumeRoot());
  EXPECT_EQ(W<ui::PathLabel>("LabelRuta")->path(), Q(root_));
}

TEST_F(FolderBrowserTest, SingleClickChoosesDoubleClickOpens) {
  Open({}, Q(root_));
  auto* list = W<ui::FolderList>("Directorios");
  auto* label = W<ui::PathLabel>("LabelRuta");
  QTreeWidgetItem* alfa = list->itemOf(Q(root_ / "alfa"));
  ASSERT_NE(alfa, nullptr);

  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(alfa).center());
  QApplication::processEvents();
  EXPECT_EQ(list->currentItem(), alfa);
  // Chosen: shown after "Ruta Actual:", the list not rebuilt.
  EXPECT_EQ(list->directory(), Q(root_));
  EXPECT_EQ(list->chosenFolder(), Q(root_ / "alfa"));
  EXPECT_EQ(label->path(), Q(root_ / "alfa"));

  // The chosen folder is the DAE folder (here without DAE files: only the
  // messages, no panel).
  uitest::ModalAnswerer answers;
  for (int i = 0; i < 12; ++i) answers.click(QStringLiteral("Aceptar"));
  Click(Button("BExportar"));
  EXPECT_EQ(form_->workflow().DaeFolder(), (root_ / "alfa" / "").string());
  answers.seen.clear();

  DoubleClick(list, list->itemOf(Q(root_ / "alfa")));
  EXPECT_EQ(list->directory(), Q(root_ / "alfa"));
  EXPECT_EQ(label->path(), Q(root_ / "alfa"));
  EXPECT_EQ(ChildNames(list->currentItem()), QStringList{QStringLiteral("interior")});

  // Double-clicking an ancestor goes back up.
  DoubleClick(list, list->itemOf(Q(root_)));
  EXPECT_EQ(list->directory(), Q(root_));
  EXPECT_EQ(label->path(), Q(root_));
}

TEST_F(FolderBrowserTest, EnterOpensTheChosenFolder) {
  Open({}, Q(root_));
  auto* list = W<ui::FolderList>("Directorios");
  list->setFocus();
  list->setCurrentItem(list->itemOf(Q(root_ / "Beta")));
  EXPECT_EQ(list->directory(), Q(root_));
  QTest::keyClick(list, Qt::Key_Return);
  EXPECT_EQ(list->directory(), Q(root_ / "Beta"));
  EXPECT_EQ(W<ui::PathLabel>("LabelRuta")->path(), Q(root_ / "Beta"));
  // Arrow keys choose the folder without opening it.
  QTest::keyClick(list, Qt::Key_Up);
  EXPECT_EQ(list->directory(), Q(root_ / "Beta"));
  EXPECT_EQ(list->chosenFolder(), Q(root_));
  EXPECT_EQ(W<ui::PathLabel>("LabelRuta")->path(), Q(root_));
}

TEST_F(FolderBrowserTest, AVanishedFolderFallsBackToItsNearestAncestor) {
  Open({}, Q(root_));
  auto* list = W<ui::FolderList>("Directorios");
  QTreeWidgetItem* alfa = list->itemOf(Q(root_ / "alfa"));
  fs::remove_all(root_ / "alfa");
  list->openItem(alfa);
  EXPECT_EQ(list->directory(), Q(root_));
  list->setDirectory(Q(root_ / "no" / "existe"));
  EXPECT_EQ(list->directory(), Q(root_));
}

TEST_F(FolderBrowserTest, PathLabelShortensALongPathInTheMiddle) {
  fs::path deep = root_;
  for (int i = 0; i < 6; ++i) deep /= "carpeta_con_un_nombre_muy_largo_" + std::to_string(i);
  fs::create_directories(deep);
  Open({}, Q(deep));
  auto* label = W<ui::PathLabel>("LabelRuta");
  EXPECT_EQ(label->path(), Q(deep));
  const QString shown = label->text();
  EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
  EXPECT_LE(label->fontMetrics().horizontalAdvance(shown), label->contentsRect().width());
  // Both ends of the path stay readable.
  EXPECT_TRUE(shown.startsWith(N(deep).left(4)));
  EXPECT_TRUE(shown.endsWith(QStringLiteral("largo_5")));
  EXPECT_EQ(label->toolTip(), N(deep));
  EXPECT_EQ(W<QLabel>("LabelRutaActual")->toolTip(), N(deep));
  // Every folder of the list, shortened or not, carries its whole path.
  auto* list = W<ui::FolderList>("Directorios");
  QTreeWidgetItem* current = list->currentItem();
  ASSERT_NE(current, nullptr);
  EXPECT_EQ(current->toolTip(0), N(deep));
  ASSERT_NE(current->parent(), nullptr);
  EXPECT_EQ(current->parent()->toolTip(0), N(deep.parent_path()));

  // A short path is shown whole.
  W<ui::FolderList>("Directorios")->setDirectory(Q(root_));
  EXPECT_EQ(label->text(), N(root_));
}

TEST_F(FolderBrowserTest, VolumeBoxFollowsTheListAndRemembersEachVolumesFolder) {
  Open({}, Q(root_ / "alfa"));
  auto* list = W<ui::FolderList>("Directorios");
  auto* drives = W<ui::DriveBox>("Unidades");
  ASSERT_GE(drives->count(), 1);
  EXPECT_EQ(drives->currentRoot(), list->volumeRoot());
  EXPECT_EQ(drives->currentRoot(), ui::VolumeRootOf(Q(root_)));

  // Another volume, when the system has one: choosing it shows its root,
  // choosing the first again brings back the folder left there.
  QString other;
  for (int i = 0; i < drives->count(); ++i) {
    const QString r = drives->itemData(i).toString();
    if (r != drives->currentRoot() && QFileInfo(r).isDir() && QDir(r).isReadable()) other = r;
  }
  if (other.isEmpty()) {
    GTEST_SKIP() << "only one volume is mounted";
  }
  const QString first = drives->currentRoot();
  drives->chooseRoot(other);
  EXPECT_EQ(list->volumeRoot(), other);
  EXPECT_EQ(list->directory(), other);
  EXPECT_EQ(drives->currentRoot(), other);
  drives->chooseRoot(first);
  EXPECT_EQ(list->directory(), Q(root_ / "alfa"));
  EXPECT_EQ(W<ui::PathLabel>("LabelRuta")->path(), Q(root_ / "alfa"));
}

// A folder on another volume than the system's own (under Wine the source
// tree is on Z:, the system on C:): the tree starts at that folder's
// volume, and every folder it offers lies on it.
TEST_F(FolderBrowserTest, TheTreeOfAFolderStartsAtItsOwnVolume) {
  const QString folder = QDir::cleanPath(QString::fromStdString(testsupport::SourceDir().string()));
  Open({}, folder);
  auto* list = W<ui::FolderList>("Directorios");
  ASSERT_EQ(list->directory(), folder);
  const QString root = ui::VolumeRootOf(folder);
  EXPECT_TRUE(folder.startsWith(root, Qt::CaseInsensitive)) << root.toStdString();
  EXPECT_EQ(list->volumeRoot(), root);
  EXPECT_EQ(W<ui::DriveBox>("Unidades")->currentRoot(), root);
  int offered = 0;
  for (QTreeWidgetItemIterator it(list); *it; ++it) {
    const QString f = ui::FolderList::folderOf(*it);
    EXPECT_TRUE(f.startsWith(root, Qt::CaseInsensitive)) << f.toStdString();
    EXPECT_TRUE(QFileInfo(f).isDir()) << f.toStdString();
    ++offered;
  }
  EXPECT_GT(offered, 1);
}

}  // namespace
