// A whole export driven as a person does it: the export button, the
// template window (one start time typed), the coding window (the missing
// teacher's document typed after the question), "Salir" by its key, the
// closing message. The DAE timetable file must be, byte for byte, the one
// that the batch front end writes for the same school and the same input.
// Under Wine the reference is written by the Linux build's batch front end
// when the stage names it (TRANSDAE_LINUX_CLI): the file typed on Windows
// must equal what Linux writes.
#include <QApplication>
#include <QPushButton>
#include <cstdlib>

#include "app/command_line.h"
#include "chain/process_state.h"
#include "store/work_folder.h"
#include "tests/keys/keys_support.h"
#include "tests/support/host_program.h"
#include "tests/support/test_support.h"
#include "ui/ajusta_dae_dialog.h"
#include "ui/control_plantilla_dialog.h"
#include "ui/data_grid.h"
#include "ui/main_form.h"

namespace {

namespace fs = std::filesystem;
using keys::ClickArgs;
using keys::KeyArgs;
using keys::kBurst;
using keys::kHuman;
using keys::Script;
using keys::TypeArgs;

// A batch front end: this build's, or a program of the build machine.
struct BatchTool {
  std::string program;
  bool onHost = false;

  std::string Path(const fs::path& p) const { return onHost ? testsupport::HostPath(p) : p.string(); }
  testsupport::CommandResult Run(std::vector<std::string> words) const {
    if (!onHost) return testsupport::RunProgram(program, words);
    words.insert(words.begin(), program);
    return testsupport::RunHostProgram(words);
  }
};

BatchTool ThisBuild() { return {testsupport::CliPath(), false}; }

BatchTool Reference() {
#ifdef _WIN32
  const char* linuxCli = std::getenv("TRANSDAE_LINUX_CLI");
  if (linuxCli && *linuxCli && testsupport::HostProgramsAvailable()) return {linuxCli, true};
#endif
  return ThisBuild();
}

// The sample school imported by a batch front end into root/QTEMP, with
// the timetable solution beside it; the DAE files in root/DAE.
void Imported(const fs::path& root, const BatchTool& tool) {
  fs::create_directories(root / "DAE");
  for (const auto& e : fs::directory_iterator(testsupport::SourceDir() / "examples" / "dae"))
    fs::copy_file(e.path(), root / "DAE" / e.path().filename());
  const auto r = tool.Run({"import", "--dae", tool.Path(root / "DAE"), "--work", tool.Path(root / "QTEMP"),
                           "--lang", "EUSKERA", "--levels",
                           tool.Path(testsupport::SourceDir() / "examples" / "levels.csv")});
  ASSERT_EQ(r.exitCode, 0) << tool.program << ": " << r.out << r.err;
  fs::copy_file(testsupport::SourceDir() / "examples" / "solution" / "SOLUC.DBF", root / "QTEMP" / "SOLUC.DBF");
}

template <typename T>
T* Modal() {
  return qobject_cast<T*>(QApplication::activeModalWidget());
}

TEST(WholeExport, TypedByKeyboardGivesTheSameFileByteForByte) {
  KEYS_REQUIRE_DISPLAY();
  testsupport::TempDir tmp;

  // The reference: the batch front end, with the document of the one
  // teacher that has none, and the default template.
  const fs::path batch = tmp.path() / "batch";
  const BatchTool reference = Reference();
  RecordProperty("reference", reference.program);
  Imported(batch, reference);
  const auto r = reference.Run({"export", "--dae", reference.Path(batch / "DAE"), "--work",
                                reference.Path(batch / "QTEMP"), "--documents",
                                reference.Path(testsupport::SourceDir() / "examples" / "documents.csv")});
  ASSERT_EQ(r.exitCode, 0) << reference.program << ": " << r.out << r.err;
  std::string expected = testsupport::ReadFile(batch / "DAE" / "fCUADROS.txt");
  // The user moves period 1's start from 08:00 to 07:45: every type 2 line
  // of that period starts at 07:45 (positions 24 to 28).
  int moved = 0;
  for (size_t at = 0; at < expected.size();) {
    const size_t end = expected.find("\r\n", at);
    ASSERT_NE(end, std::string::npos);
    if (expected[at] == '2' && expected.compare(at + 23, 5, "08:00") == 0) {
      expected.replace(at + 23, 5, "07:45");
      ++moved;
    }
    at = end + 2;
  }
  ASSERT_GT(moved, 0);

  const fs::path gui = tmp.path() / "gui";
  Imported(gui, ThisBuild());
  qputenv("QTEMP", QByteArray::fromStdString((gui / "QTEMP").string()));
  chain::ProcessState state;
  ui::FormSetup setup;
  setup.state = &state;
  setup.workFolder = gui / "QTEMP";
  setup.exeFolder = gui;
  setup.startFolder = QString::fromStdString((gui / "DAE").string());
  ui::TMForm form(setup);
  form.FormCreate(app::LaunchOptions{});
  ASSERT_TRUE(keys::ShowActive(&form));
  auto* exportButton = form.findChild<QPushButton*>("BImportar");
  ASSERT_NE(exportButton, nullptr);

  Script s;
  s.send("exportar", [] { return true; }, [&] { return ClickArgs(keys::Centre(exportButton)); });
  s.send(
      "plantilla: la hora 1 por teclado",
      [] {
        auto* w = Modal<ui::TControlPlantilla>();
        if (!w || !w->isActiveWindow()) return false;
        ui::DataGrid* g = w->PlantiHorDBGrid;
        return g->hasFocusWithin() && g->currentIndex().row() == 0 && g->currentFieldName() == "HORAINI";
      },
      [] { return TypeArgs("07:45", kBurst) + KeyArgs({"Return"}); });
  s.send(
      "plantilla: Aceptar",
      [] {
        auto* w = Modal<ui::TControlPlantilla>();
        return w && !w->PlantiHorDBGrid->isEditing() &&
               w->PlantiHorDBGrid->tableModel()->cellText(0, 1) == "07:45";
      },
      [] { return ClickArgs(keys::Centre(Modal<ui::TControlPlantilla>()->BitBtn2)); });
  s.send("codificación: Alt+S", [] { return Modal<ui::TAjustaDAE>() && Modal<ui::TAjustaDAE>()->isActiveWindow(); },
         [] { return KeyArgs({"alt+s"}); });
  s.answer("SIN DOCumento", {"Return"});
  s.send(
      "el documento que falta",
      [] {
        auto* w = Modal<ui::TAjustaDAE>();
        if (!w || !w->isActiveWindow()) return false;
        ui::DataGrid* g = w->wwDBGridPROFT;
        const int abrev = g->tableModel()->columnOfField("ABREV");
        return g->hasFocusWithin() && g->currentFieldName() == "DNI" &&
               g->tableModel()->cellText(g->currentIndex().row(), abrev).trimmed() == "XYZ";
      },
      [] { return TypeArgs("10000011L", kHuman) + KeyArgs({"shift+Tab"}) + TypeArgs("1", kBurst) + KeyArgs({"Return"}); });
  s.send(
      "codificación: Alt+S otra vez",
      [] {
        auto* w = Modal<ui::TAjustaDAE>();
        if (!w) return false;
        ui::DataGrid* g = w->wwDBGridPROFT;
        const int row = g->currentIndex().row();
        return !g->isEditing() &&
               g->tableModel()->cellText(row, g->tableModel()->columnOfField("DNI")).trimmed() == "10000011L" &&
               g->tableModel()->cellText(row, g->tableModel()->columnOfField("TIPODNI")).trimmed() == "1";
      },
      [] { return KeyArgs({"alt+s"}); });
  s.answer("Proceso finalizado", {"Return"});
  s.wait("fin", [] { return !QApplication::activeModalWidget(); });
  ASSERT_TRUE(s.play(60000)) << s.failure();

  EXPECT_EQ(s.boxes.size(), 2u);
  EXPECT_EQ(state.workflowFlag, 0);
  const std::string written = testsupport::ReadFile(gui / "DAE" / "fCUADROS.txt");
  EXPECT_EQ(written.size(), expected.size());
  EXPECT_TRUE(written == expected) << "fCUADROS.txt differs";
  form.close();
  qunsetenv("QTEMP");
}

}  // namespace
