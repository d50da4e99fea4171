#include "ui/gradient_panel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>

namespace ui {

GradientPanel::GradientPanel(QColor top, QColor bottom, QWidget* parent)
    : QFrame(parent), top_(top), bottom_(bottom) {
  setFrameShape(QFrame::Panel);
  setFrameShadow(QFrame::Raised);
  setLineWidth(1);
}

void GradientPanel::setColors(QColor top, QColor bottom) {
  top_ = top;
  bottom_ = bottom;
  update();
}

void GradientPanel::setDefaultButton(QPushButton* button) {
  if (defaultButton_) defaultButton_->setDefault(false);
  defaultButton_ = button;
  if (button) button->setDefault(true);
}

void GradientPanel::paintEvent(QPaintEvent* event) {
  {
    QPainter painter(this);
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0.0, top_);
    gradient.setColorAt(1.0, bottom_);
    painter.fillRect(rect(), gradient);
  }
  QFrame::paintEvent(event);  // the frame over the fill
}

namespace {

// True while the focus is on an open cell editor of a grid of the panel:
// Enter there only ends the cell's editing.
bool InCellEditor(const QWidget* panel) {
  const QWidget* focus = QApplication::focusWidget();
  for (const QWidget* w = focus ? focus->parentWidget() : nullptr; w && w != panel;
       w = w->parentWidget())
    if (qobject_cast<const QAbstractItemView*>(w)) return true;
  return false;
}

}  // namespace

void GradientPanel::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && !InCellEditor(this) && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && defaultButton_ &&
      defaultButton_->isVisible() && defaultButton_->isEnabled()) {
    defaultButton_->click();
    event->accept();
    return;
  }
  QFrame::keyPressEvent(event);
}

}  // namespace ui
