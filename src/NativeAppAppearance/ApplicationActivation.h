#pragma once
// Bringing the application to the front, as a click on its status item does: the window the
// user worked in last comes forward and gets the keyboard.
//
// X11 has no activation of a whole application, only of windows: the window is brought forward
// as every window of the application is (Platform::bringForward). Which window was active last is remembered from the
// first call of either function on (the status menu starts it when it is attached at launch);
// before that, or when that window is gone, hidden or minimised, one of the application's
// visible windows is taken. Pop-ups, tool windows and windows that bypass the window manager
// (capture overlays) are never activated. Without any such window nothing happens.
//
// Main thread only; needs the QApplication.

class QWidget;

namespace NativeAppAppearance::ApplicationActivation {

// Starts remembering the application's last active window. Calling it again does nothing.
void trackActiveWindows();
// Brings forward the window that was active last; returns it, or null when there is none.
QWidget *activate();

} // namespace NativeAppAppearance::ApplicationActivation
