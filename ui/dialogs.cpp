#include "ui/dialogs.h"

#include <QMessageBox>
#include <QPushButton>

#include "ui/embedded_placement.h"

namespace ui {

QString MessageText(const QString& text) {
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return shown;
}

QString MessageText(const std::string& utf8) {
  return MessageText(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

namespace {

// A box that shows its text as plain text (never as rich text: the texts
// come from files and tables).
void Prepare(QMessageBox& box, const char* objectName, const QString& title,
             const QString& text) {
  box.setObjectName(QString::fromLatin1(objectName));
  box.setWindowTitle(title);
  box.setTextFormat(Qt::PlainText);
  box.setText(MessageText(text));
  box.setWindowModality(Qt::ApplicationModal);
}

int Run(QMessageBox& box, QWidget* parent) {
  PlaceOver(box, parent);
  return box.exec();
}

}  // namespace

void ShowPlainMessage(QWidget* parent, const QString& text) {
  QMessageBox box(OwnerFor(parent));
  Prepare(box, "PlainMessage", QString::fromUtf8(kApplicationTitle), text);
  box.setIcon(QMessageBox::NoIcon);
  QPushButton* ok = box.addButton(QStringLiteral("Aceptar"), QMessageBox::AcceptRole);
  box.setDefaultButton(ok);
  box.setEscapeButton(ok);
  Run(box, parent);
}

bool AskQuestion(QWidget* parent, const QString& text) {
  QMessageBox box(OwnerFor(parent));
  Prepare(box, "Question", QString::fromUtf8(kQuestionTitle), text);
  box.setIcon(QMessageBox::Question);
  QPushButton* yes = box.addButton(QStringLiteral("&Si"), QMessageBox::YesRole);
  QPushButton* no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
  box.setDefaultButton(yes);
  box.setEscapeButton(no);
  Run(box, parent);
  return box.clickedButton() == yes;
}

void ShowErrorReport(QWidget* parent, const QString& text) {
  QMessageBox box(OwnerFor(parent));
  Prepare(box, "ErrorReport", QString::fromUtf8(kApplicationTitle), text);
  box.setIcon(QMessageBox::Critical);
  QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box.setDefaultButton(ok);
  box.setEscapeButton(ok);
  Run(box, parent);
}

}  // namespace ui
