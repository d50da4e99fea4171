// The tool inside a window of another Windows program, as the timetabling
// product starts it: a host window of this test's own (plain Win32, its own
// thread and message loop), the built transdae.exe copied into a temporary
// folder and started with the mode word and the host's HWND in hexadecimal.
// What the system holds is read with Win32 calls (parent, position, styles,
// top-level windows of the tool's process); the tool is driven with the
// system's own input (SendInput) and message boxes are read through the
// clipboard (Ctrl+C on a box copies its text). Needs a display: under Wine,
// an X server.
#include <windows.h>

#include <gtest/gtest.h>

#include <QLayout>
#include <QPushButton>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "app/command_line.h"
#include "tests/support/host_program.h"
#include "tests/ui/test_main_form_fixture.h"

#ifndef TRANSDAE_GUI
#error "TRANSDAE_GUI (the path of the built tool) must be defined"
#endif

namespace {

namespace fs = std::filesystem;

const wchar_t kCaption[] = L"Exportar e importar datos entre Dolvarin y DAE";
const wchar_t kBoxTitle[] = L"transPelmarDAE";
constexpr int kWidth = 599;
constexpr int kHeight = 311;

bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    Sleep(50);
  }
  return true;
}

std::wstring Text(HWND window) {
  wchar_t buffer[512] = {};
  GetWindowTextW(window, buffer, 512);
  return buffer;
}

std::wstring ClassName(HWND window) {
  wchar_t buffer[256] = {};
  GetClassNameW(window, buffer, 256);
  return buffer;
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

// A top-level window of a thread of its own, pumping its messages as a
// real program's window does (the tool's window, once a child of it,
// shares its input with this thread).
class HostWindow {
 public:
  HostWindow() {
    std::promise<HWND> made;
    std::future<HWND> window = made.get_future();
    thread_ = std::thread([this, &made] {
      WNDCLASSW cls = {};
      cls.lpfnWndProc = &HostWindow::Procedure;
      cls.hInstance = GetModuleHandleW(nullptr);
      cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
      cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
      cls.lpszClassName = L"TransdaeAnfitrion";
      RegisterClassW(&cls);
      HWND hwnd = CreateWindowExW(0, cls.lpszClassName, L"Ventana anfitriona",
                                  WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 10, 10, 700, 400,
                                  nullptr, nullptr, cls.hInstance, nullptr);
      threadId_ = GetCurrentThreadId();
      made.set_value(hwnd);
      if (!hwnd) return;
      MSG msg;
      while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    });
    hwnd_ = window.get();
  }

  ~HostWindow() {
    if (hwnd_) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
    if (threadId_) PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    if (thread_.joinable()) thread_.join();
  }

  HWND hwnd() const { return hwnd_; }
  // Closed as its program closes it: the window and its children go.
  void Close() {
    PostMessageW(hwnd_, WM_CLOSE, 0, 0);
    if (thread_.joinable()) thread_.join();
  }

  // The handle written as the product writes it: hexadecimal, no prefix.
  std::string Hex() const {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(hwnd_)));
    return buffer;
  }

 private:
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_DESTROY) {
      PostQuitMessage(0);
      return 0;
    }
    return DefWindowProcW(hwnd, message, w, l);
  }

  std::thread thread_;
  HWND hwnd_ = nullptr;
  DWORD threadId_ = 0;
};

// The tool started as a process of its own.
class Tool {
 public:
  Tool(const fs::path& exe, const std::vector<std::string>& arguments, const fs::path& cwd) {
    std::wstring line = L"\"" + exe.wstring() + L"\"";
    for (const std::string& a : arguments) line += L" " + fs::path(a).wstring();
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    ok_ = CreateProcessW(exe.wstring().c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                         cwd.wstring().c_str(), &si, &info_) != 0;
  }
  ~Tool() {
    if (!ok_) return;
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(info_.hProcess, 99);
      WaitForSingleObject(info_.hProcess, 10000);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }
  bool started() const { return ok_; }
  DWORD pid() const { return info_.dwProcessId; }
  bool WaitForEnd(int timeoutMs = 20000) {
    return WaitForSingleObject(info_.hProcess, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0;
  }
  DWORD ExitCode() const {
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }

 private:
  PROCESS_INFORMATION info_ = {};
  bool ok_ = false;
};

struct Search {
  DWORD pid = 0;
  const wchar_t* text = nullptr;
  bool visibleOnly = true;
  std::vector<HWND> found;
};

BOOL CALLBACK Collect(HWND window, LPARAM param) {
  auto* s = reinterpret_cast<Search*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (s->pid && pid != s->pid) return TRUE;
  if (s->visibleOnly && !IsWindowVisible(window)) return TRUE;
  if (s->text && Text(window) != s->text) return TRUE;
  s->found.push_back(window);
  return TRUE;
}

// Direct children of parent (or top-level windows) of the given process
// with exactly that text.
std::vector<HWND> Windows(HWND parent, DWORD pid, const wchar_t* text, bool visibleOnly = true) {
  Search s;
  s.pid = pid;
  s.text = text;
  s.visibleOnly = visibleOnly;
  if (parent)
    EnumChildWindows(parent, &Collect, reinterpret_cast<LPARAM>(&s));
  else
    EnumWindows(&Collect, reinterpret_cast<LPARAM>(&s));
  if (parent) {
    std::vector<HWND> direct;
    for (HWND w : s.found)
      if (GetAncestor(w, GA_PARENT) == parent) direct.push_back(w);
    return direct;
  }
  return s.found;
}

std::string Describe(HWND parent) {
  Search s;
  s.visibleOnly = false;
  if (parent)
    EnumChildWindows(parent, &Collect, reinterpret_cast<LPARAM>(&s));
  else
    EnumWindows(&Collect, reinterpret_cast<LPARAM>(&s));
  std::string out;
  for (HWND w : s.found) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    out += "  " + Narrow(ClassName(w)) + " \"" + Narrow(Text(w)) + "\" pid " + std::to_string(pid) +
           (IsWindowVisible(w) ? " visible" : " hidden") + "\n";
  }
  return out;
}

void Input(std::vector<INPUT> events) {
  SendInput(static_cast<UINT>(events.size()), events.data(), sizeof(INPUT));
  Sleep(100);
}

// A left click at a point of a window's client area, through the system's
// input, as a person's mouse gives it.
void ClickAt(HWND window, QPoint at) {
  POINT p = {at.x(), at.y()};
  ClientToScreen(window, &p);
  SetCursorPos(p.x, p.y);
  Sleep(150);
  INPUT down = {};
  down.type = INPUT_MOUSE;
  down.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  INPUT up = down;
  up.mi.dwFlags = MOUSEEVENTF_LEFTUP;
  Input({down});
  Input({up});
}

INPUT Key(WORD vk, bool release) {
  INPUT key = {};
  key.type = INPUT_KEYBOARD;
  key.ki.wVk = vk;
  key.ki.dwFlags = release ? KEYEVENTF_KEYUP : 0;
  return key;
}

void Press(WORD vk) { Input({Key(vk, false), Key(vk, true)}); }

// A key posted to a window's own queue, as the system would deliver it to
// the window that has the keyboard.
void PostKey(HWND window, WORD vk) {
  const UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
  PostMessageW(window, WM_KEYDOWN, vk, 1 | (static_cast<LPARAM>(scan) << 16));
  Sleep(50);
  PostMessageW(window, WM_KEYUP, vk, 1 | (static_cast<LPARAM>(scan) << 16) | (1LL << 30) | (1LL << 31));
  Sleep(100);
}

std::wstring Clipboard() {
  std::wstring text;
  if (!OpenClipboard(nullptr)) return text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
      text = chars;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

void EmptyTheClipboard() {
  if (!OpenClipboard(nullptr)) return;
  EmptyClipboard();
  CloseClipboard();
}

// The text of a message box of the tool, copied as a person would copy it
// (the box in front, Ctrl+C).
std::wstring CopyBoxText(HWND box) {
  EmptyTheClipboard();
  std::wstring text;
  for (int attempt = 0; attempt < 5 && text.empty(); ++attempt) {
    SetForegroundWindow(box);
    Sleep(200);
    Input({Key(VK_CONTROL, false), Key('C', false), Key('C', true), Key(VK_CONTROL, true)});
    WaitUntil([&] { return !(text = Clipboard()).empty(); }, 2000);
  }
  return text;
}

class EmbeddingWin32Test : public uitest::FormFixture {
 protected:
  void SetUp() override {
    FormFixture::SetUp();
    // The pointer away from where the tool's window will open: a test
    // before may have left it over that window's "Salir".
    SetCursorPos(0, 0);
    tool_ = exe_ / "transdae.exe";
    fs::copy_file(fs::path(TRANSDAE_GUI), tool_);
    // The tool reads the work folder from the environment it inherits.
    SetEnvironmentVariableW(L"QTEMP", work_.wstring().c_str());
    // A result file of the product's, with more than the tool's key: every
    // byte but the value of "Transformado" must stay as it is.
    ini_ =
        "; Configuraci\xC3\xB3n del horario\r\n"
        "[General]\r\n"
        "Curso=2024-25\r\n"
        "Ruta=C:\\Dolvarin\\Datos\r\n"
        "\r\n"
        "[Transformadores]\r\n"
        "Ultimo=DAE\r\n"
        "Transformado=7\r\n"
        "Otro=  con espacios  \r\n"
        "\r\n"
        "[Final]\r\n"
        "x=1";
    testsupport::WriteFile(Ini(), ini_);
  }

  std::string IniWith(const std::string& value) const {
    std::string expected = ini_;
    const std::string key = "Transformado=7";
    expected.replace(expected.find(key), key.size(), "Transformado=" + value);
    return expected;
  }

  // Where a control of the main window lies (client coordinates), laid out
  // here, with this system's fonts, as the tool lays it out.
  QPoint Centre(const char* name, app::HiddenPanel hidden,
                const std::function<void(ui::TMForm&)>& prepare = {}) {
    ui::TMForm& form = OpenEmbedded(hidden);
    if (prepare) {
      prepare(form);
      QApplication::processEvents();
    }
    auto* button = form.findChild<QPushButton*>(QString::fromLatin1(name));
    EXPECT_NE(button, nullptr) << name;
    EXPECT_TRUE(button && !button->isHidden()) << name;
    const QPoint centre = button ? button->mapTo(&form, button->rect().center()) : QPoint();
    form_.reset();
    return centre;
  }

  // The tool's window inside the host, once shown.
  HWND ChildWindow(HWND host, const Tool& tool) {
    HWND child = nullptr;
    WaitUntil([&] {
      const std::vector<HWND> found = Windows(host, tool.pid(), kCaption);
      child = found.empty() ? nullptr : found.front();
      return child != nullptr;
    });
    return child;
  }

  // A visible message box of the tool's process.
  HWND Box(const Tool& tool, int timeoutMs = 30000) {
    HWND box = nullptr;
    WaitUntil(
        [&] {
          const std::vector<HWND> found = Windows(nullptr, tool.pid(), kBoxTitle);
          box = found.empty() ? nullptr : found.front();
          return box != nullptr;
        },
        timeoutMs);
    return box;
  }

  void Answer(HWND box) {
    SetForegroundWindow(box);
    Sleep(200);
    Press(VK_RETURN);
  }

  fs::path tool_;
  std::string ini_;
};

TEST_F(EmbeddingWin32Test, ToolIsAFramelessChildAtTwoTwoAndSalirWritesOnlyItsKey) {
  const QPoint salir = Centre("BClose", app::HiddenPanel::Left);
  const QPoint offered = Centre("BImportar", app::HiddenPanel::Left);
  HostWindow host;
  ASSERT_NE(host.hwnd(), nullptr);
  Tool tool(tool_, {"importar", host.Hex()}, dae_);
  ASSERT_TRUE(tool.started());

  HWND child = ChildWindow(host.hwnd(), tool);
  ASSERT_NE(child, nullptr) << "hijas de la ventana anfitriona:\n" << Describe(host.hwnd())
                            << "ventanas principales:\n" << Describe(nullptr);
  EXPECT_EQ(GetAncestor(child, GA_PARENT), host.hwnd());
  EXPECT_EQ(GetAncestor(child, GA_ROOT), host.hwnd());
  // At (2, 2) of the host's client area, of the window's own size.
  RECT r;
  ASSERT_TRUE(GetWindowRect(child, &r));
  MapWindowPoints(nullptr, host.hwnd(), reinterpret_cast<POINT*>(&r), 2);
  EXPECT_EQ(r.left, 2);
  EXPECT_EQ(r.top, 2);
  EXPECT_EQ(r.right - r.left, kWidth);
  EXPECT_EQ(r.bottom - r.top, kHeight);
  // A child window without frame or title.
  const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
  const LONG_PTR exStyle = GetWindowLongPtrW(child, GWL_EXSTYLE);
  EXPECT_TRUE(style & WS_CHILD) << std::hex << style;
  EXPECT_FALSE(style & (WS_CAPTION | WS_THICKFRAME | WS_BORDER | WS_DLGFRAME | WS_SYSMENU)) << std::hex << style;
  EXPECT_FALSE(exStyle & (WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE | WS_EX_STATICEDGE))
      << std::hex << exStyle;
  RECT client;
  GetClientRect(child, &client);
  EXPECT_EQ(client.right, kWidth);
  EXPECT_EQ(client.bottom, kHeight);
  // Not a top-level window of its own as well.
  EXPECT_TRUE(Windows(nullptr, tool.pid(), kCaption).empty()) << Describe(nullptr);
  EXPECT_FALSE(offered.isNull());

  // "&Salir" ends the tool, which leaves its result beside its executable.
  ClickAt(child, salir);
  ASSERT_TRUE(tool.WaitForEnd()) << "the tool did not end after Salir";
  EXPECT_EQ(tool.ExitCode(), 0u);
  EXPECT_EQ(testsupport::ReadFile(Ini()), IniWith("0"));
  EXPECT_TRUE(Windows(host.hwnd(), 0, kCaption, false).empty());
}

// The import offered alone (mode "exportar"): the whole chain driven by
// clicks on the offered button and the two panels that follow; at its end
// the tool closes itself and leaves 1.
TEST_F(EmbeddingWin32Test, EmbeddedImportRunsWholeAndClosesItselfWithOne) {
  // Under Wine a window of another process made a child of the host is
  // not painted, and the panels that follow the import do not get the
  // clicks of the system's input (the button that starts it and "Salir"
  // do get theirs). There each panel is answered with Enter posted to the
  // tool's window, the key that presses the panel's default button; on
  // Windows the panels are clicked.
  const bool keys = testsupport::HostProgramsAvailable();
  const QPoint aceptar = Centre("BExportar", app::HiddenPanel::Right);
  // The panels' buttons where their layouts put them; the panels stay
  // hidden (shown, they would open tables that this process has not).
  auto layOut = [](const char* panel) {
    return [panel](ui::TMForm& f) {
      auto* p = f.findChild<QWidget*>(QString::fromLatin1(panel));
      ASSERT_NE(p, nullptr) << panel;
      ASSERT_NE(p->layout(), nullptr) << panel;
      p->layout()->activate();
    };
  };
  const QPoint centre = Centre("BitBtn1", app::HiddenPanel::Right, layOut("Panel1"));
  const QPoint levels = Centre("BitBtn2", app::HiddenPanel::Right, layOut("Panel2"));
  HostWindow host;
  ASSERT_NE(host.hwnd(), nullptr);
  Tool tool(tool_, {"EXPORTAR", host.Hex()}, dae_);
  ASSERT_TRUE(tool.started());
  HWND child = ChildWindow(host.hwnd(), tool);
  ASSERT_NE(child, nullptr) << Describe(host.hwnd());
  Sleep(500);

  ClickAt(child, aceptar);  // the import: DAE → the work folder
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(Table("daeCENTRO.DBF")); }, 60000))
      << "the import did not run; clicked at " << aceptar.x() << "," << aceptar.y()
      << "; the tool " << (tool.WaitForEnd(0) ? "ended, result file: " + testsupport::ReadFile(Ini()) : std::string("runs"))
      << "\n" << Describe(nullptr) << "children of the host:\n" << Describe(host.hwnd());
  // The import goes on after the centre table is made; its panels come
  // when it has finished (under Wine that takes a few seconds).
  Sleep(5000);
  if (keys) PostKey(child, VK_RETURN); else ClickAt(child, centre);  // the centre's data, as imported
  Sleep(3000);
  if (keys) PostKey(child, VK_RETURN); else ClickAt(child, levels);  // the levels, as imported
  HWND box = Box(tool);
  ASSERT_NE(box, nullptr) << "no final message\n" << Describe(nullptr);
  EXPECT_EQ(CopyBoxText(box).find(L"Proceso finalizado") != std::wstring::npos, true);
  Answer(box);
  ASSERT_TRUE(tool.WaitForEnd(30000)) << "the tool did not close itself\n" << Describe(nullptr);
  EXPECT_EQ(tool.ExitCode(), 0u);
  EXPECT_EQ(testsupport::ReadFile(Ini()), IniWith("1"));
  EXPECT_TRUE(fs::exists(Table("PROFT.DBF")) || fs::exists(Table("daeNIVIMP.DBF")));
}

TEST_F(EmbeddingWin32Test, ToolEndsWhenTheHostWindowIsClosed) {
  HostWindow host;
  ASSERT_NE(host.hwnd(), nullptr);
  Tool tool(tool_, {"importar", host.Hex()}, dae_);
  ASSERT_TRUE(tool.started());
  ASSERT_NE(ChildWindow(host.hwnd(), tool), nullptr) << Describe(host.hwnd());
  Sleep(500);
  host.Close();
  ASSERT_TRUE(tool.WaitForEnd()) << "the tool outlived its window\n" << Describe(nullptr);
  EXPECT_EQ(tool.ExitCode(), 0u);
  EXPECT_EQ(testsupport::ReadFile(Ini()), IniWith("0"));
}

TEST_F(EmbeddingWin32Test, HandleNotHexadecimalIsReportedAndTheToolStartsStandAlone) {
  const QPoint salir = Centre("BClose", app::HiddenPanel::None);
  const std::string expected =
      app::ParseCommandLine(std::vector<std::string>{"importar", "zz"}).error;
  ASSERT_FALSE(expected.empty());
  HostWindow host;
  ASSERT_NE(host.hwnd(), nullptr);
  Tool tool(tool_, {"importar", "zz"}, dae_);
  ASSERT_TRUE(tool.started());

  HWND box = Box(tool);
  ASSERT_NE(box, nullptr) << "no error report\n" << Describe(nullptr);
  const std::string text = Narrow(CopyBoxText(box));
  EXPECT_NE(text.find(expected), std::string::npos) << text;
  Answer(box);

  // The window then opens as a top-level window of its own, framed, and
  // not inside the host.
  HWND window = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    const std::vector<HWND> found = Windows(nullptr, tool.pid(), kCaption);
    window = found.empty() ? nullptr : found.front();
    return window != nullptr;
  })) << Describe(nullptr);
  EXPECT_TRUE(Windows(host.hwnd(), 0, kCaption, false).empty());
  EXPECT_EQ(GetAncestor(window, GA_PARENT), GetDesktopWindow());
  const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
  EXPECT_FALSE(style & WS_CHILD);
  EXPECT_TRUE((style & WS_CAPTION) == WS_CAPTION) << std::hex << style;
  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, kWidth);
  EXPECT_EQ(client.bottom, kHeight);

  ClickAt(window, salir);
  ASSERT_TRUE(tool.WaitForEnd()) << "the tool did not end after Salir";
  EXPECT_EQ(tool.ExitCode(), 0u);
  // Stand-alone: the product's file is left as it was.
  EXPECT_EQ(testsupport::ReadFile(Ini()), ini_);
}

}  // namespace

int main(int argc, char** argv) {
  // The windows of this process are laid out by the same platform as the
  // tool's.
  qputenv("QT_QPA_PLATFORM", "windows");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
