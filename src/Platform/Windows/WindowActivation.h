#pragma once
// Bringing one of our windows to the front and giving it the keyboard, as the user expects when
// they ask for it (a menu item, the tray icon, a second launch).

class QWidget;

namespace Platform {

// Shows the window of `widget` if hidden, restores it when minimised, raises it and activates
// it. On X11 a window manager may refuse Qt's own request (focus-stealing prevention, a window
// on another desktop); the window is then also asked for as a pager would, the user's own
// request: moved to the current desktop when it is on another one, and activated through the
// _NET_ACTIVE_WINDOW client message, sent once the window is on the screen. While a
// WindowsAbove owner lives, the window comes forward above it.
void bringForward(QWidget *widget);

} // namespace Platform
