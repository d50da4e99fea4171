// A panel filled with a vertical colour gradient, on which the main window
// lays out its bands and panels. A panel may name a default button: Enter
// or Return that reaches the panel unhandled by the focused control clicks
// it, as a dialog's default button would, except while a grid cell of the
// panel is being edited (Enter then only ends the cell's editing).
#pragma once
#include <QColor>
#include <QFrame>
#include <QPointer>

#include <QPushButton>

namespace ui {

class GradientPanel : public QFrame {
  Q_OBJECT

 public:
  GradientPanel(QColor top, QColor bottom, QWidget* parent = nullptr);

  void setColors(QColor top, QColor bottom);
  QColor topColor() const { return top_; }
  QColor bottomColor() const { return bottom_; }

  void setDefaultButton(QPushButton* button);
  QPushButton* defaultButton() const { return defaultButton_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QColor top_;
  QColor bottom_;
  QPointer<QPushButton> defaultButton_;
};

}  // namespace ui
