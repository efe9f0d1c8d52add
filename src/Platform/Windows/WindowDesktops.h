#pragma once
// Keeping one of our windows on every virtual desktop (EWMH `_NET_WM_DESKTOP` 0xFFFFFFFF), as a
// window laid over a frozen screen must be: it stays where the capture happened when the user
// switches desktops. Nothing happens without an X11 connection (Qt's offscreen platform).

class QWidget;

namespace Platform {

// Call before the window is first shown; a shown window is asked for through the window
// manager's client message as well.
void showOnEveryDesktop(QWidget *window);

} // namespace Platform
