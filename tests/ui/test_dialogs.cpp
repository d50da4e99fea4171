// The three modal boxes: captions, icons, buttons, default and escape
// answers, and carriage-return line joins shown as line breaks.
#include <gtest/gtest.h>

#include <QLabel>
#include <QMessageBox>
#include <QTest>

#include "tests/ui/modal_answerer.h"
#include "ui/dialogs.h"

namespace {

class DialogsTest : public ::testing::Test {
 protected:
  void SetUp() override { uitest::EnsureQtApp(); }
};

TEST_F(DialogsTest, MessageTextTurnsCarriageReturnsIntoLineBreaks) {
  struct Case {
    std::string in;
    QString out;
  };
  const Case cases[] = {
      {"una línea", QStringLiteral("una línea")},
      {"primera\rsegunda", QStringLiteral("primera\nsegunda")},
      {"a\r\rb", QStringLiteral("a\n\nb")},
      {"a\r\nb", QStringLiteral("a\nb")},
      {"fin\r", QStringLiteral("fin\n")},
      {"", QString()},
  };
  for (const Case& c : cases) EXPECT_EQ(ui::MessageText(c.in), c.out) << c.in;
}

TEST_F(DialogsTest, PlainMessageHasTitleNoIconAndOneAceptarButton) {
  uitest::ModalAnswerer answers;
  answers.click(QStringLiteral("Aceptar"));
  ui::ShowPlainMessage(nullptr, QStringLiteral("Línea uno\rLínea <b>dos</b>"));
  ASSERT_EQ(answers.seen.size(), 1u);
  const uitest::SeenBox& box = answers.seen[0];
  EXPECT_FALSE(box.unexpected);
  EXPECT_EQ(box.objectName, QStringLiteral("PlainMessage"));
  EXPECT_EQ(box.title, QStringLiteral("transPelmarDAE"));
  EXPECT_EQ(box.icon, static_cast<int>(QMessageBox::NoIcon));
  EXPECT_EQ(box.buttons, QStringList{QStringLiteral("Aceptar")});
  EXPECT_EQ(box.text, QStringLiteral("Línea uno\nLínea <b>dos</b>"));
}

TEST_F(DialogsTest, MessageTextIsShownAsPlainTextNotMarkup) {
  bool plain = false;
  QString shown;
  uitest::ModalAnswerer answers;
  answers.act([&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    plain = box->textFormat() == Qt::PlainText;
    // The label that displays the text holds it literally.
    for (QLabel* label : box->findChildren<QLabel*>())
      if (label->text().contains(QStringLiteral("dos"))) shown = label->text();
    box->accept();
  });
  ui::ShowPlainMessage(nullptr, QStringLiteral("uno\r<b>dos</b>"));
  EXPECT_TRUE(plain);
  EXPECT_EQ(shown, QStringLiteral("uno\n<b>dos</b>"));
}

TEST_F(DialogsTest, QuestionOffersSiAndNoWithSiDefaultAndNoOnEscape) {
  struct Case {
    const char* press;  // a button, or "" for the Escape key
    bool expected;
  };
  const Case cases[] = {{"&Si", true}, {"&No", false}, {"", false}};
  for (const Case& c : cases) {
    uitest::ModalAnswerer answers;
    if (*c.press) {
      answers.click(QString::fromUtf8(c.press));
    } else {
      answers.act([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    }
    const bool answer = ui::AskQuestion(nullptr, QStringLiteral("¿Desea seguir?\rSegunda línea"));
    EXPECT_EQ(answer, c.expected) << c.press;
    ASSERT_EQ(answers.seen.size(), 1u);
    const uitest::SeenBox& box = answers.seen[0];
    EXPECT_EQ(box.objectName, QStringLiteral("Question"));
    EXPECT_EQ(box.title, QStringLiteral("Confirmación"));
    EXPECT_EQ(box.icon, static_cast<int>(QMessageBox::Question));
    EXPECT_EQ(box.buttons, (QStringList{QStringLiteral("&Si"), QStringLiteral("&No")}));
    EXPECT_EQ(box.defaultButton, QStringLiteral("&Si"));
    EXPECT_EQ(box.escapeButton, QStringLiteral("&No"));
    EXPECT_EQ(box.text, QStringLiteral("¿Desea seguir?\nSegunda línea"));
  }
}

TEST_F(DialogsTest, EnterOnAQuestionAnswersSi) {
  uitest::ModalAnswerer answers;
  answers.act([](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); });
  EXPECT_TRUE(ui::AskQuestion(nullptr, QStringLiteral("¿Seguro?")));
}

TEST_F(DialogsTest, ErrorReportHasTitleErrorIconAndOneOkButton) {
  uitest::ModalAnswerer answers;
  answers.click(QStringLiteral("OK"));
  ui::ShowErrorReport(nullptr, QStringLiteral("No se puede abrir la tabla PROFT."));
  ASSERT_EQ(answers.seen.size(), 1u);
  const uitest::SeenBox& box = answers.seen[0];
  EXPECT_FALSE(box.unexpected);
  EXPECT_EQ(box.objectName, QStringLiteral("ErrorReport"));
  EXPECT_EQ(box.title, QStringLiteral("transPelmarDAE"));
  EXPECT_EQ(box.icon, static_cast<int>(QMessageBox::Critical));
  EXPECT_EQ(box.buttons, QStringList{QStringLiteral("OK")});
  EXPECT_EQ(box.text, QStringLiteral("No se puede abrir la tabla PROFT."));
}

TEST_F(DialogsTest, AnswererRecordsAnUnforeseenBoxAndClosesIt) {
  uitest::ModalAnswerer answers;  // nothing queued
  ui::ShowPlainMessage(nullptr, QStringLiteral("sin respuesta prevista"));
  ASSERT_EQ(answers.seen.size(), 1u);
  EXPECT_TRUE(answers.seen[0].unexpected);
  EXPECT_EQ(answers.unexpectedCount(), 1);
}

}  // namespace
