#pragma once
// Bringing one of our windows to the front and giving it the keyboard, as the user expects when
// they ask for it (a menu item, the tray icon, a second launch).

class QWidget;

namespace Platform {

// Shows `window` if hidden, restores it when minimised, raises it and activates it. On X11 a
// window manager may refuse Qt's own request (focus-stealing prevention); the window is then
// also asked for through the _NET_ACTIVE_WINDOW client message, as a pager would.
void bringForward(QWidget *window);

} // namespace Platform
