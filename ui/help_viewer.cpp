#include "ui/help_viewer.h"

#include "ui/embedded_placement.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <QVariant>
#include <QWidget>

namespace ui {

int HelpContextOf(const QWidget* widget) {
  for (const QWidget* w = widget; w; w = w->parentWidget()) {
    const QVariant context = w->property("helpContext");
    if (context.isValid()) return context.toInt();
  }
  return kHelpMainWindow;
}

HelpViewer::HelpViewer(QWidget* owner) : QObject(owner), owner_(owner) {
  helpFile_ = QDir(QCoreApplication::applicationDirPath())
                  .absoluteFilePath(QString::fromLatin1(kHelpFileName));
}

HelpViewer::~HelpViewer() {
  if (window_) delete window_.data();
}

void HelpViewer::show(int context) {
  lastShown_ = Shown::None;
  lastProgram_.clear();
  lastArguments_.clear();
  const QFileInfo file(helpFile_);
  if (!file.isFile()) {
    showBuiltIn(context,
                QStringLiteral("Esta es la ayuda básica de la herramienta. La ayuda completa "
                               "está en el archivo «%1», que no se ha instalado en la carpeta "
                               "del programa («%2»).")
                    .arg(file.fileName(), QDir::toNativeSeparators(file.absolutePath())));
    return;
  }
  if (tryViewer(context)) return;
  if (useDesktop_ && tryDesktopHandler()) return;
#ifdef Q_OS_WIN
  const QString viewers = QStringLiteral("hh.exe");
#else
  const QString viewers = QStringLiteral("como xchm o kchmviewer");
#endif
  showBuiltIn(context,
              QStringLiteral("Este sistema no tiene ningún visor de ayuda HTML compilada "
                             "(%1) con el que abrir «%2». "
                             "Se muestra la ayuda básica de la herramienta.")
                  .arg(viewers, QDir::toNativeSeparators(file.absoluteFilePath())));
}

bool HelpViewer::tryViewer(int context) {
  const QString file = QDir::toNativeSeparators(QFileInfo(helpFile_).absoluteFilePath());
  // How a viewer is told the topic to open at.
  enum class Topic { None, DashC, MapId };
  struct Candidate {
    const char* program;
    Topic topic;
  };
#ifdef Q_OS_WIN
  // The system's own HTML help: "hh.exe -mapid N file" opens the topic
  // mapped to context N, "hh.exe file" the table of contents.
  static const Candidate kCandidates[] = {{"hh", Topic::MapId}};
#else
  static const Candidate kCandidates[] = {{"xchm", Topic::DashC},
                                          {"kchmviewer", Topic::None},
                                          {"uchmviewer", Topic::None},
                                          {"chmsee", Topic::None}};
#endif
  for (const Candidate& c : kCandidates) {
    const QString name = QString::fromLatin1(c.program);
    const QString exe = searchPaths_.isEmpty()
                            ? QStandardPaths::findExecutable(name)
                            : QStandardPaths::findExecutable(name, searchPaths_);
    if (exe.isEmpty()) continue;
    QStringList args;
    if (context != kHelpContents) {
      if (c.topic == Topic::DashC) args << QStringLiteral("-c") << QString::number(context);
      if (c.topic == Topic::MapId) args << QStringLiteral("-mapid") << QString::number(context);
    }
    args << file;
    if (QProcess::startDetached(exe, args)) {
      lastShown_ = Shown::ExternalViewer;
      lastProgram_ = exe;
      lastArguments_ = args;
      return true;
    }
  }
  return false;
}

bool HelpViewer::tryDesktopHandler() {
  const QUrl url = QUrl::fromLocalFile(QFileInfo(helpFile_).absoluteFilePath());
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
  // Ask the desktop first whether anything handles the file type: opening
  // it blindly could fail without a word, or open it as plain data.
  const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
  if (xdgMime.isEmpty()) return false;
  QProcess query;
  query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"),
                        QStringLiteral("application/vnd.ms-htmlhelp")});
  if (!query.waitForFinished(3000)) {
    query.kill();
    query.waitForFinished(1000);
    return false;
  }
  if (query.exitCode() != 0 || query.readAllStandardOutput().trimmed().isEmpty()) return false;
#endif
  if (!QDesktopServices::openUrl(url)) return false;
  lastShown_ = Shown::DesktopHandler;
  lastProgram_ = QStringLiteral("QDesktopServices");
  lastArguments_ = {url.toString()};
  return true;
}

void HelpViewer::showBuiltIn(int context, const QString& note) {
  if (!window_) {
    window_ = new QDialog(owner_ ? OwnerFor(owner_->window()) : nullptr);
    window_->setObjectName(QStringLiteral("BuiltInHelp"));
    window_->setWindowTitle(QStringLiteral("Ayuda - %1").arg(QCoreApplication::applicationName()));
    window_->setModal(false);
    auto* layout = new QVBoxLayout(window_);
    auto* note = new QLabel(window_);
    note->setObjectName(QStringLiteral("HelpNote"));
    note->setWordWrap(true);
    note->setTextFormat(Qt::PlainText);
    // A note, not an error: it says which help is shown and why.
    note->setStyleSheet(QStringLiteral("color: #2b3f5c; background: #eef3f9; padding: 4px"));
    layout->addWidget(note);
    auto* text = new QTextBrowser(window_);
    text->setObjectName(QStringLiteral("HelpText"));
    text->setOpenLinks(true);
    text->setOpenExternalLinks(false);
    layout->addWidget(text);
    auto* buttons = new QDialogButtonBox(window_);
    QPushButton* close = buttons->addButton(QStringLiteral("Cerrar"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("HelpClose"));
    connect(buttons, &QDialogButtonBox::rejected, window_, &QDialog::close);
    layout->addWidget(buttons);
    window_->resize(560, 440);
  }
  auto* text = window_->findChild<QTextBrowser*>(QStringLiteral("HelpText"));
  text->setHtml(BuiltInHtml(QString()));
  auto* noteLabel = window_->findChild<QLabel*>(QStringLiteral("HelpNote"));
  noteLabel->setText(note);
  noteLabel->setVisible(!note.isEmpty());
  window_->setProperty("helpNote", note);
  window_->setProperty("helpContextShown", context);
  if (owner_ && !window_->isVisible()) PlaceOver(*window_, owner_);
  window_->show();
  window_->raise();
  window_->activateWindow();
  const QString anchor = QStringLiteral("ctx%1").arg(context);
  text->scrollToAnchor(anchor);
  lastShown_ = Shown::BuiltIn;
}

QString HelpViewer::BuiltInHtml(const QString& note) {
  QString html;
  html += QStringLiteral("<html><body>");
  if (!note.isEmpty())
    html += QStringLiteral("<p style='color:#2b3f5c'><i>%1</i></p>").arg(note.toHtmlEscaped());
  html += QStringLiteral(
      "<a name='ctx0'></a><h2>Exportar e importar datos entre Dolvarin y DAE</h2>"
      "<p>La herramienta pasa los datos del centro entre el programa de horarios Dolvarin "
      "y DAE en los dos sentidos:</p>"
      "<ul>"
      "<li><a href='#importar'>Transformar datos desde DAE hacia Dolvarin</a></li>"
      "<li><a href='#exportar'>Transformar datos desde Dolvarin hacia DAE</a></li>"
      "<li><a href='#ctx3'>La ventana principal</a></li>"
      "<li><a href='#ctx1'>El idioma de los textos</a></li>"
      "<li><a href='#deshacer'>Deshacer una importación</a></li>"
      "</ul>"

      "<a name='ctx3'></a><h3>La ventana principal</h3>"
      "<p>En la parte inferior se elige la <b>carpeta en la que se encuentran los ficheros TXT "
      "de DAE</b>. La lista de carpetas muestra la carpeta actual y sus subcarpetas: un clic "
      "(o las flechas) elige una carpeta, que pasa a ser la de «Ruta Actual:»; con doble clic "
      "(o con Intro) además se abre y muestra sus subcarpetas. El cuadro de unidades permite cambiar de unidad o volumen. La carpeta que "
      "cuenta es la que aparece tras «Ruta Actual:».</p>"
      "<p>El botón <b>Aceptar</b> de cada panel superior inicia el proceso de ese sentido. "
      "<b>Salir</b> cierra la herramienta.</p>"

      "<a name='ctx1'></a><h3>El idioma de los textos</h3>"
      "<p>El cuadro <b>Recoger Textos en:</b> decide en qué idioma se toman los nombres de "
      "las asignaturas y las abreviaturas de los niveles. Con el texto exacto "
      "<b>EUSKERA</b> se usa el euskera; con cualquier otro texto (por ejemplo "
      "<b>CASTELLANO</b>) se usa el castellano.</p>"

      "<a name='importar'></a><h3>Transformar datos desde DAE hacia Dolvarin</h3>"
      "<ol>"
      "<li>Abra la carpeta que contiene los ficheros de DAE (fASIGNAT.txt, fPROFES.txt, "
      "fGRUPOS.txt y las tablas de códigos).</li>"
      "<li>Elija el idioma y pulse <b>Aceptar</b> en el panel de la izquierda. Se crean las "
      "tablas de asignaturas, profesores y grupos; si falta algún fichero se avisa y el "
      "proceso sigue con el resto.</li>"
      "<li>Compruebe o corrija el código del centro, el año académico y la versión, y pulse "
      "<b>OK</b>.</li>"
      "<li>Escriba las abreviaturas de los niveles de estudios (hasta 5 caracteres) en "
      "castellano y/o euskera; no pueden repetirse dentro de un idioma. Pulse "
      "<b>Aceptar</b>: las abreviaturas del idioma elegido pasan a los grupos.</li>"
      "</ol>"

      "<a name='exportar'></a><h3>Transformar datos desde Dolvarin hacia DAE</h3>"
      "<ol>"
      "<li>Abra la carpeta de DAE y pulse <b>Aceptar</b> en el panel de la derecha.</li>"
      "<li>Revise la plantilla horaria del centro (hora de inicio y fin de cada "
      "sesión).</li>"
      "<li>Si faltan los datos del centro, complételos y pulse <b>OK</b>.</li>"
      "<li>Responda si desea conservar los códigos de la exportación anterior.</li>"
      "<li>Complete en la ventana de códigos los datos de DAE y los documentos de los "
      "profesores; al salir se escribe el fichero fCUADROS.txt en la carpeta de DAE.</li>"
      "</ol>"

      "<a name='deshacer'></a><h3>Deshacer una importación</h3>"
      "<p>Antes de sustituir las tablas de Dolvarin (ASIGNOMT, PROFT, GRUPOST, ASIGT y "
      "DIASHORAT), cada importación guarda una copia de ellas en la carpeta <b>COPIAS</b> "
      "de la carpeta de trabajo, una subcarpeta por importación (número, fecha y hora). "
      "Una copia sólo se borra cuando hay otra igual.</p>"
      "<p>Para volver a las tablas de antes de la última importación, cierre Dolvarin y "
      "esta herramienta y ejecute:</p>"
      "<pre>transdae-cli restore</pre>"
      "<p>Para ver las copias (fecha, tablas, número de profesores, asignaturas y grupos) "
      "y elegir otra:</p>"
      "<pre>transdae-cli restore --list\ntransdae-cli restore --from NÚMERO</pre>"
      "<p>Se ponen todas las tablas de la copia a la vez, o ninguna si alguna está abierta "
      "en otro programa (se indica cuál). Lo que había antes se guarda en una copia nueva, "
      "así que <b>transdae-cli restore</b> de nuevo deshace la restauración. No copie "
      "archivos .DBF y .MDX a mano: un par que no corresponde estropea la tabla.</p>"
      "</body></html>");
  return html;
}

}  // namespace ui
