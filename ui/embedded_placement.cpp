#include "ui/embedded_placement.h"

#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace ui {

QWindow* HostWindowOf(const QWidget* w) {
  if (!w) return nullptr;
  const QWidget* top = w->window();
  QWindow* native = top ? top->windowHandle() : nullptr;
  if (!native || !native->parent()) return nullptr;
  QWindow* host = native->parent();
  while (host->parent()) host = host->parent();
  return host;
}

QWidget* OwnerFor(QWidget* parent) { return HostWindowOf(parent) ? nullptr : parent; }

void PlaceOver(QWidget& window, QWidget* parent) {
  QWindow* host = HostWindowOf(parent);
  if (!host) return;
  window.adjustSize();
  window.winId();
  if (QWindow* w = window.windowHandle()) w->setTransientParent(host);
  const QWidget* over = parent->window();
  const QRect area(over->mapToGlobal(QPoint(0, 0)), over->size());
  QPoint at(area.center().x() - window.width() / 2,
            std::max(area.top(), area.center().y() - window.height() / 2));
  if (const QScreen* screen = over->screen()) {
    const QRect s = screen->availableGeometry();
    at.setX(std::max(s.left(), std::min(at.x(), s.right() + 1 - window.width())));
    at.setY(std::max(s.top(), std::min(at.y(), s.bottom() + 1 - window.height())));
  }
  window.move(at);
  QTimer::singleShot(0, &window, [w = QPointer<QWidget>(&window)] {
    if (!w || !w->isVisible()) return;
    w->activateWindow();
    if (QWindow* native = w->windowHandle()) native->requestActivate();
  });
}

}  // namespace ui
