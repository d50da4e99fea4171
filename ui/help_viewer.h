// The tool's help: the help file "DAE.CHM" beside the executable, shown
// with a viewer of compiled HTML help that the system has (on Windows its
// own, hh.exe, at the topic of the context; elsewhere xchm, kchmviewer...;
// or the desktop's handler for the file type, when one is registered). When there is no file or no viewer, or the viewer cannot be
// started, a short help of the tool's own is shown in a window instead,
// with a line that says why. The user never presses F1 for nothing.
//
// Help contexts: 0 the table of contents, 3 the main window, 1 the
// language box.
#pragma once
#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class QDialog;
class QWidget;

namespace ui {

inline constexpr const char* kHelpFileName = "DAE.CHM";
inline constexpr int kHelpContents = 0;
inline constexpr int kHelpLanguageBox = 1;
inline constexpr int kHelpMainWindow = 3;

// The help context of a widget: the "helpContext" property of the widget or
// of its nearest ancestor that has one; the main window's otherwise.
int HelpContextOf(const QWidget* widget);

class HelpViewer : public QObject {
  Q_OBJECT

 public:
  enum class Shown { None, ExternalViewer, DesktopHandler, BuiltIn };

  explicit HelpViewer(QWidget* owner);
  ~HelpViewer() override;

  // The help file; by default "DAE.CHM" in the executable's folder.
  void setHelpFile(const QString& path) { helpFile_ = path; }
  QString helpFile() const { return helpFile_; }
  // Folders searched for the viewer programs; empty: the PATH.
  void setViewerSearchPaths(const QStringList& paths) { searchPaths_ = paths; }
  // Whether the desktop's handler for the file type may be asked.
  void setUseDesktopHandler(bool use) { useDesktop_ = use; }

  // "F1 AYUDA": the table of contents. F1: the topic of a context.
  void showContents() { show(kHelpContents); }
  void show(int context);

  // What the last request showed, and with which program.
  Shown lastShown() const { return lastShown_; }
  QString lastProgram() const { return lastProgram_; }
  QStringList lastArguments() const { return lastArguments_; }
  // The built-in help window (nullptr until first shown).
  QDialog* builtInWindow() const { return window_; }

  // The built-in help as HTML, with an anchor per context ("ctx0", "ctx1",
  // "ctx3") and, when given, a note at the top. The window shows its note
  // (why the help file is not shown) in a line of its own above the text.
  static QString BuiltInHtml(const QString& note);

 private:
  bool tryViewer(int context);
  bool tryDesktopHandler();
  void showBuiltIn(int context, const QString& note);

  QWidget* owner_;
  QString helpFile_;
  QStringList searchPaths_;
  bool useDesktop_ = true;
  Shown lastShown_ = Shown::None;
  QString lastProgram_;
  QStringList lastArguments_;
  QPointer<QDialog> window_;
};

}  // namespace ui
