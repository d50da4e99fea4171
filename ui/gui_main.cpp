// transdae: the tool that the timetabling product starts.
//
// Start-up order: the command line is read as the product gave it, as
// UTF-8 text (before Qt takes its own options out of argv), the
// application is initialised
// with its title "transPelmarDAE" (its help file "DAE.CHM" is looked for
// beside the executable), the main window is created and applies the
// command line, and the event loop runs until the main window has closed.
// The outcome travels only through the result entry of "Dolvarin.ini": the
// exit status is always 0.
#include <QApplication>

#include "app/command_line.h"
#include "app/program_environment.h"
#include "ui/dialogs.h"
#include "ui/main_form.h"

int main(int argc, char** argv) {
  const app::LaunchOptions options =
      app::ParseCommandLine(app::CommandLineArguments(argc, argv));

  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(ui::kApplicationTitle));
  QApplication::setQuitOnLastWindowClosed(true);

  ui::TMForm form;
  QObject::connect(&form, &ui::TMForm::formClosed, &application, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  form.FormCreate(options);
  form.show();
  application.exec();
  return 0;
}
