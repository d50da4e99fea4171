// The coding window and the template window on the very large school,
// driven as a person drives them: a virtual X server of the benchmark's own
// (Xvfb), the real windows shown on it, and xdotool sending clicks and keys
// through the X server. Not a test: it prints figures and their targets.
//
//   build/windows_bench [--teachers 300] [--rows 20000] [--seed 20251]
//                       [--rounds 5] [--keep]
//
// The school is made by bench/make_large_school.py, imported and exported
// once by transdae-cli (with the documents of the teachers that the
// teachers' file lacks), so that the coding window opens on every record.
// Then, for each round, in one process:
//   open      the coding window made (its tables opened and checked) until
//             it is shown and active                      target <= 0.5 s
//   scroll    Ctrl+End in the teacher grid until the last teacher and his
//             records are shown
//   echo      one key typed into a teacher's document: from the key's
//             arrival in the program to the cell editor painted with it
//                                                          target <= 50 ms
//   settled   the same key until everything it set going has run (the
//             counts of what is still blank included)
//   document  Tab after a typed document until every type 2 and type 3
//             record of that teacher holds it
//   salir     a click on "&Salir" until the window has closed and
//             fCUADROS.txt is written                      target <= 1 s
//   template  the template window made until shown and active
// The medians are printed with the resident size before and with the
// window open (Qt's own windows and fonts included) and the process's peak. After the rounds, the
// records of the teacher whose document was typed are read back with
// python3-dbf (tests/tools/dbf_dump.py): every one must hold it.
//
// Exit status 0 when every step came (whatever the figures), 1 otherwise.
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "chain/process_state.h"
#include "chain/user_interface.h"
#include "dae_export/ajusta_dae.h"
#include "dae_export/control_plantilla.h"
#include "dae_export/timetable_template.h"
#include "store/work_folder.h"
#include "ui/ajusta_dae_dialog.h"
#include "ui/control_plantilla_dialog.h"
#include "ui/data_grid.h"

namespace fs = std::filesystem;

namespace {

constexpr int kTimeoutMs = 60000;

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += "'\\''";
    else out += c;
  }
  return out + "'";
}

int Shell(const std::string& command, std::string* out = nullptr) {
  FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
  const int status = ::pclose(p);
  if (out) *out = text;
  if (status != 0) std::fprintf(stderr, "falló: %s\n%s", command.c_str(), text.c_str());
  return status;
}

// CPU time of the process (every thread), in milliseconds: unlike the
// times, it hardly changes when the machine is busy with other work.
double CpuMs() {
  timespec ts{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double PeakResidentMb() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024.0;
}

double ResidentMb() {
  std::ifstream f("/proc/self/statm");
  long pages = 0, resident = 0;
  f >> pages >> resident;
  return resident * (::sysconf(_SC_PAGESIZE) / 1024.0) / 1024.0;
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs = kTimeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

// Runs xdotool with the arguments and waits for it, the program's events
// going on meanwhile.
bool Xdo(const QStringList& args) {
  QProcess p;
  p.start(QStringLiteral("xdotool"), args);
  if (!p.waitForStarted(10000)) return false;
  if (!WaitFor([&] { return p.state() == QProcess::NotRunning; })) return false;
  return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QStringList Click(QPoint global) {
  return {QStringLiteral("mousemove"), QString::number(global.x()), QString::number(global.y()),
          QStringLiteral("click"), QStringLiteral("1")};
}

QPoint CellCentre(ui::DataGrid* grid, int row, int column) {
  const QModelIndex index = grid->model()->index(row, column);
  grid->scrollTo(index);
  QCoreApplication::processEvents();
  return grid->viewport()->mapToGlobal(grid->visualRect(index).center());
}

bool ShowActive(QWidget* w) {
  w->move(20, 20);
  w->show();
  if (!WaitFor([&] { return w->isVisible(); })) return false;
  w->activateWindow();
  w->raise();
  return WaitFor([&] { return w->isActiveWindow(); });
}

// When the program received a key, and when a widget was last painted.
class Clock : public QObject {
 public:
  QElapsedTimer since;
  qint64 lastKey = -1;
  QWidget* watched = nullptr;
  qint64 lastPaint = -1;
  double lastKeyCpu = 0, lastPaintCpu = 0;
  Clock() { since.start(); }
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::KeyPress && lastKey < 0) {
      lastKey = since.nsecsElapsed();
      lastKeyCpu = CpuMs();
    }
    if (e->type() == QEvent::Paint && watched && o == watched) {
      lastPaint = since.nsecsElapsed();
      lastPaintCpu = CpuMs();
    }
    return false;
  }
};

// The windows' questions and messages are not expected here: any is
// answered "No" and counted as a failure of the benchmark.
class QuietUI : public chain::UserInterface {
 public:
  int unexpected = 0;
  void ShowMessage(const std::string& text) override {
    ++unexpected;
    std::fprintf(stderr, "mensaje inesperado: %s\n", text.c_str());
  }
  chain::Answer Ask(const std::string& text) override {
    ++unexpected;
    std::fprintf(stderr, "pregunta inesperada: %s\n", text.c_str());
    return chain::Answer::No;
  }
  void ReportError(const std::string& text) override {
    ++unexpected;
    std::fprintf(stderr, "error: %s\n", text.c_str());
  }
  void SetPanelVisible(chain::Panel, bool) override {}
  void SetBusyCursor(bool) override {}
  void CloseMainWindow() override {}
  std::string LanguageText() override { return "EUSKERA"; }
  void RunTemplateWindow(dae_export::ControlPlantilla&) override {}
  void RunCodingWindow(dae_export::AjustaDAE&) override {}
};

struct Figures {
  std::vector<double> open, scroll, echo, settled, document, salir, templ;
  // The same steps in CPU time.
  std::vector<double> openCpu, scrollCpu, echoCpu, documentCpu, salirCpu, templCpu;
};

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

struct Options {
  int teachers = 300, rows = 20000, seed = 20251, rounds = 5;
  bool keep = false;
};

Options Parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&] { return i + 1 < argc ? std::atoi(argv[++i]) : 0; };
    if (a == "--teachers") o.teachers = next();
    else if (a == "--rows") o.rows = next();
    else if (a == "--seed") o.seed = next();
    else if (a == "--rounds") o.rounds = std::max(1, next());
    else if (a == "--keep") o.keep = true;
  }
  return o;
}

// Starts a virtual X server of our own; its number goes into DISPLAY.
std::unique_ptr<QProcess> StartXvfb() {
  const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
  if (xvfb.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) return nullptr;
  auto p = std::make_unique<QProcess>();
  p->start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                  QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                  QStringLiteral("tcp")});
  if (!p->waitForStarted(10000)) return nullptr;
  QByteArray out;
  QElapsedTimer clock;
  clock.start();
  while (!out.contains('\n') && p->state() == QProcess::Running && clock.elapsed() < 30000) {
    p->waitForReadyRead(200);
    out += p->readAllStandardOutput();
  }
  bool ok = false;
  const int number = out.trimmed().toInt(&ok);
  if (!ok || p->state() != QProcess::Running) return nullptr;
  qputenv("DISPLAY", QStringLiteral(":%1").arg(number).toLatin1());
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = Parse(argc, argv);
  const fs::path exe = fs::canonical("/proc/self/exe");
  const fs::path cli = exe.parent_path() / "transdae-cli";
  const fs::path source = fs::path(TRANSDAE_SOURCE_DIR);
  if (!fs::exists(cli)) {
    std::fprintf(stderr, "falta %s: compile antes (bash scripts/build.sh build)\n", cli.c_str());
    return 1;
  }

  std::string tmpl = (fs::temp_directory_path() / "transdae-winbench-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) return 1;
  const fs::path root = tmpl;
  const fs::path school = root / "school", work = root / "QTEMP", dae = school / "dae";
  std::printf("Escuela: %d profesores, %d filas de SOLUC (semilla %d)\n", o.teachers, o.rows, o.seed);
  if (Shell("/usr/bin/python3 " + Quote((source / "bench" / "make_large_school.py").string()) + " " +
            Quote(school.string()) + " --teachers " + std::to_string(o.teachers) + " --rows " +
            std::to_string(o.rows) + " --seed " + std::to_string(o.seed)) != 0 ||
      Shell(Quote(cli.string()) + " import --dae " + Quote(dae.string()) + " --work " +
            Quote(work.string()) + " --levels " + Quote((school / "levels.csv").string())) != 0) {
    return 1;
  }
  fs::copy_file(school / "SOLUC.DBF", work / "SOLUC.DBF");
  if (Shell(Quote(cli.string()) + " export --fresh --dae " + Quote(dae.string()) + " --work " +
            Quote(work.string()) + " --documents " + Quote((school / "documents.csv").string())) != 0) {
    return 1;
  }

  std::unique_ptr<QProcess> server = StartXvfb();
  if (!server) {
    std::fprintf(stderr, "Xvfb o xdotool no disponibles\n");
    return 1;
  }
  qputenv("QT_QPA_PLATFORM", "xcb");
  QApplication app(argc, argv);
  Clock clock;
  app.installEventFilter(&clock);
  const double residentBefore = ResidentMb();

  QuietUI ui;
  chain::ProcessState state;
  state.rutaDAE = dae.string() + "/";
  Figures fig;
  bool ok = true;
  std::string typedTeacher, typedDocument;
  size_t type2Records = 0;
  double residentOpen = 0;
  auto ms = [](qint64 ns) { return ns / 1e6; };
  auto fail = [&](const char* what) {
    std::fprintf(stderr, "no llegó: %s\n", what);
    ok = false;
  };

  for (int round = 0; round < o.rounds && ok; ++round) {
    // ---- the coding window
    QElapsedTimer t;
    t.start();
    double c0 = CpuMs();
    auto logic = std::make_unique<dae_export::AjustaDAE>(ui, state, work);
    auto window = std::make_unique<ui::TAjustaDAE>(*logic);
    if (!ShowActive(window.get())) {
      fail("la ventana de codificación");
      break;
    }
    fig.open.push_back(t.elapsed());
    fig.openCpu.push_back(CpuMs() - c0);
    residentOpen = std::max(residentOpen, ResidentMb());
    ui::DataGrid* teachers = window->wwDBGridPROFT;
    ui::DataGrid* type2 = window->wwDBGridCUADROH2;
    const int abrev = teachers->tableModel()->columnOfField("ABREV");
    const int dni = teachers->tableModel()->columnOfField("DNI");
    const int rowsTeachers = teachers->model()->rowCount();
    type2Records = 0;
    {
      store::Table all;
      all.SetDatabaseName(work);
      all.SetTableName("CUADROH2");
      all.Open();
      type2Records = all.VisibleRecords().size();
      all.Close();
    }

    // Scroll: Ctrl+End in the teacher grid.
    if (!Xdo(Click(CellCentre(teachers, 0, abrev))) ||
        !WaitFor([&] { return teachers->currentIndex().row() == 0; })) {
      fail("el clic en el primer profesor");
      break;
    }
    const std::string lastTeacher = teachers->tableModel()->cellText(rowsTeachers - 1, abrev).toStdString();
    t.restart();
    c0 = CpuMs();
    if (!Xdo({QStringLiteral("key"), QStringLiteral("ctrl+End")}) ||
        !WaitFor([&] {
          return teachers->currentIndex().row() == rowsTeachers - 1 && type2->model()->rowCount() > 0 &&
                 type2->tableModel()->cellText(0, type2->tableModel()->columnOfField("ABREVPROF"))
                         .toStdString() == lastTeacher;
        })) {
      fail("el último profesor");
      break;
    }
    fig.scroll.push_back(t.elapsed());
    fig.scrollCpu.push_back(CpuMs() - c0);

    // Echo: one key into the document of a teacher in the middle.
    const int row = rowsTeachers / 2 + round;
    typedTeacher = teachers->tableModel()->cellText(row, abrev).toStdString();
    typedDocument = "7" + std::to_string(1000000 + round) + "Q";
    if (!Xdo(Click(CellCentre(teachers, row, dni))) ||
        !WaitFor([&] { return teachers->currentIndex() == teachers->model()->index(row, dni); }) ||
        !Xdo(Click(CellCentre(teachers, row, dni)))) {
      fail("el clic en el documento");
      break;
    }
    // The editor opens with the first key; its first paint with the key is
    // the echo.
    clock.lastKey = -1;
    clock.lastPaint = -1;
    clock.watched = nullptr;
    QLineEdit* editor = nullptr;
    qint64 echoAt = -1, settledAt = -1;
    bool settledFired = false;
    {
      QProcess x;
      x.start(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("--delay"),
                                          QStringLiteral("0"), QString::fromStdString(typedDocument.substr(0, 1))});
      const bool came = WaitFor([&] {
        if (!editor) {
          editor = qobject_cast<QLineEdit*>(teachers->activeEditor());
          if (editor) clock.watched = editor;
        }
        if (editor && echoAt < 0 && editor->text() == QString::fromStdString(typedDocument.substr(0, 1))) {
          // Painted with the key: a paint after the text is there.
          if (clock.lastPaint >= 0 && clock.lastPaint >= clock.lastKey) echoAt = clock.lastPaint;
        }
        if (echoAt >= 0 && settledAt < 0 && !settledFired) {
          settledFired = true;
          QTimer::singleShot(0, [&] { settledAt = clock.since.nsecsElapsed(); });
        }
        return settledAt >= 0;
      });
      x.waitForFinished(10000);
      if (!came || clock.lastKey < 0) {
        fail("el eco de la tecla");
        break;
      }
    }
    fig.echo.push_back(ms(echoAt - clock.lastKey));
    fig.echoCpu.push_back(clock.lastPaintCpu - clock.lastKeyCpu);
    fig.settled.push_back(ms(settledAt - clock.lastKey));
    clock.watched = nullptr;

    // The rest of the document, then Tab: every record of the teacher.
    if (!Xdo({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("0"),
              QString::fromStdString(typedDocument.substr(1))}) ||
        !WaitFor([&] { return editor && editor->text() == QString::fromStdString(typedDocument); })) {
      fail("el documento tecleado");
      break;
    }
    t.restart();
    c0 = CpuMs();
    auto reached = [&] {
      for (store::Table* tb : {&logic->wwTableCUADROH2, &logic->wwTableCUADROH3AUX}) {
        const int doc = tb->FieldIndex("DOC");
        const std::vector<uint32_t> recs = tb->VisibleRecords();
        if (recs.empty()) return false;
        for (uint32_t r : recs)
          if (tb->ValueAt(r, doc) != typedDocument) return false;
      }
      return true;
    };
    if (!Xdo({QStringLiteral("key"), QStringLiteral("Tab")}) || !WaitFor(reached)) {
      for (store::Table* tb : {&logic->wwTableCUADROH2, &logic->wwTableCUADROH3AUX}) {
        const std::vector<uint32_t> recs = tb->VisibleRecords();
        std::fprintf(stderr, "%s: %zu registros, el primero con DOC «%s»; editando: %d\n",
                     tb->TableName().c_str(), recs.size(),
                     recs.empty() ? "" : tb->ValueAt(recs[0], tb->FieldIndex("DOC")).c_str(),
                     teachers->isEditing() ? 1 : 0);
      }
      fail("el documento en los registros del profesor");
      break;
    }
    fig.document.push_back(t.elapsed());
    fig.documentCpu.push_back(CpuMs() - c0);

    // Salir.
    std::error_code ec;
    fs::remove(dae / "fCUADROS.txt", ec);
    t.restart();
    c0 = CpuMs();
    if (!Xdo(Click(window->BitBtn1->mapToGlobal(window->BitBtn1->rect().center()))) ||
        !WaitFor([&] { return !window->isVisible() && fs::exists(dae / "fCUADROS.txt"); })) {
      fail("Salir y fCUADROS.txt");
      break;
    }
    fig.salir.push_back(t.elapsed());
    fig.salirCpu.push_back(CpuMs() - c0);
    window.reset();
    logic.reset();

    // ---- the template window
    t.restart();
    c0 = CpuMs();
    dae_export::ControlPlantilla plantilla(work);
    {
      ui::TControlPlantilla w(plantilla);
      if (!ShowActive(&w)) {
        fail("la ventana de la plantilla");
        break;
      }
      fig.templ.push_back(t.elapsed());
      fig.templCpu.push_back(CpuMs() - c0);
      w.reject();
    }
    if (ui.unexpected > 0) {
      fail("una ventana sin mensajes");
      break;
    }
  }

  int status = ok ? 0 : 1;
  if (ok) {
    std::printf("Ventana de codificación (%zu registros de tipo 2), medianas de %d vueltas:\n",
                type2Records, o.rounds);
    std::printf("  (tiempo; entre paréntesis, tiempo de CPU del proceso)\n");
    std::printf("  abrir                 %7.1f ms (CPU %6.1f)  objetivo <= 500 ms\n", Median(fig.open),
                Median(fig.openCpu));
    std::printf("  hasta el final        %7.1f ms (CPU %6.1f)\n", Median(fig.scroll), Median(fig.scrollCpu));
    std::printf("  eco de una tecla      %7.1f ms (CPU %6.1f)  objetivo <= 50 ms\n", Median(fig.echo),
                Median(fig.echoCpu));
    std::printf("  tecla y recuento      %7.1f ms\n", Median(fig.settled));
    std::printf("  documento al profesor %7.1f ms (CPU %6.1f)\n", Median(fig.document),
                Median(fig.documentCpu));
    std::printf("  Salir (fCUADROS.txt)  %7.1f ms (CPU %6.1f)  objetivo <= 1000 ms\n", Median(fig.salir),
                Median(fig.salirCpu));
    std::printf("Ventana de la plantilla: abrir %.1f ms (CPU %.1f)\n", Median(fig.templ),
                Median(fig.templCpu));
    std::printf("Memoria residente: %.1f MB antes, %.1f MB con la ventana abierta (%.0f bytes por "
                "registro de tipo 2, las ventanas y las letras de Qt incluidas); máximo del proceso "
                "%.1f MB\n",
                residentBefore, residentOpen,
                type2Records ? (residentOpen - residentBefore) * 1024 * 1024 / type2Records : 0.0,
                PeakResidentMb());
    // The typed document, read back by the independent reader.
    std::string dump;
    if (Shell("/usr/bin/python3 " + Quote((source / "tests" / "tools" / "dbf_dump.py").string()) + " " +
                  Quote(store::ResolveFileNoCase(work, "CUADROH2.DBF").string()),
              &dump) != 0) {
      status = 1;
    } else {
      std::istringstream in(dump);
      std::string line;
      std::getline(in, line);
      size_t abrevCol = 0, docCol = 0, c = 0;
      for (size_t at = 0;; ++c) {
        const size_t bar = line.find('|', at);
        const std::string name = line.substr(at, line.find(':', at) - at);
        if (name == "ABREVPROF") abrevCol = c;
        if (name == "DOC") docCol = c;
        if (bar == std::string::npos) break;
        at = bar + 1;
      }
      int mine = 0, wrong = 0;
      while (std::getline(in, line)) {
        std::vector<std::string> v(1);
        for (char ch : line) {
          if (ch == '|') v.emplace_back();
          else v.back() += ch;
        }
        if (v.size() > std::max(abrevCol, docCol) && v[abrevCol] == typedTeacher) {
          ++mine;
          if (v[docCol] != typedDocument) ++wrong;
        }
      }
      std::printf("Comprobación con python3-dbf: %d registros de %s, %d sin el documento %s\n", mine,
                  typedTeacher.c_str(), wrong, typedDocument.c_str());
      if (mine == 0 || wrong != 0) status = 1;
    }
  }

  server->terminate();
  if (!server->waitForFinished(5000)) server->kill();
  if (o.keep) {
    std::printf("Carpeta: %s\n", root.c_str());
  } else {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  return status;
}
