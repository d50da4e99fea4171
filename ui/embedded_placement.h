// Windows of the tool's own while its main window is held inside another
// program's window (the timetabling product's).
//
// There the main window is no top-level window: a dialog or message box
// that took it as its parent would be tied to a window that cannot own
// top-level windows (Qt warns that it "must be a top level window") and
// would open wherever the platform puts it, often at the top of the
// screen. Such a window is therefore made without a parent, belongs to the
// outermost window (the product's), opens over the main window (centred on
// it, never above its top edge, within the screen) and takes the keyboard
// when it shows. Stand-alone, nothing changes: the parent is the owner.
#pragma once

class QWidget;
class QWindow;

namespace ui {

// The foreign window that holds w's window, through any depth; nullptr
// when w's window is an ordinary top-level window.
QWindow* HostWindowOf(const QWidget* w);
// The parent to give a new dialog or box asked to open over parent.
QWidget* OwnerFor(QWidget* parent);
// Before it shows: places window over parent when parent is held inside a
// foreign window (else does nothing).
void PlaceOver(QWidget& window, QWidget* parent);

}  // namespace ui
