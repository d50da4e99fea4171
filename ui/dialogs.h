// The three modal boxes through which every step talks to the user.
//
//   plain message   caption "transPelmarDAE", no icon, one button "Aceptar"
//   question        caption "Confirmación", question icon, "&Si" (default)
//                   and "&No"; Escape answers "&No"
//   error report    caption "transPelmarDAE", error icon, one button "OK"
//
// Message texts join their lines with a single carriage return; the boxes
// show each one as a line break. Every box carries an object name
// ("PlainMessage", "Question", "ErrorReport") so that it can be found.
#pragma once
#include <QString>
#include <string>

class QWidget;

namespace ui {

inline constexpr const char* kApplicationTitle = "transPelmarDAE";
inline constexpr const char* kQuestionTitle = "Confirmación";

// UTF-8 text with '\r' line joins → the text a box shows ('\n' breaks).
QString MessageText(const std::string& utf8);
QString MessageText(const QString& text);

void ShowPlainMessage(QWidget* parent, const QString& text);
// True when the user answered "&Si"; every other way out is No.
bool AskQuestion(QWidget* parent, const QString& text);
void ShowErrorReport(QWidget* parent, const QString& text);

}  // namespace ui
