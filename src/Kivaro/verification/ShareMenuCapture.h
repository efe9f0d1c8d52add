#pragma once
// One picture of everything the application shows on the screen at the moment: the union of
// its visible, exposed top-level windows (the editor, the floating panel, an open share menu or
// pop-up), each drawn at its place on the screen, at twice the size in points, into a
// transparent image. Windows of other applications are never in it: each window draws itself,
// nothing is read back from the screen. There is no system share sheet on this platform, so
// only the application's own windows count.
//
// Main thread only.

#include "Platform/Async/Task.h"

#include <QImage>
#include <QList>
#include <QString>

class QWidget;

namespace Kivaro::SharingVerification {

// The windows the picture holds, in drawing order (ordinary windows first, then tool windows,
// then pop-ups).
QList<QWidget *> shownWindows();

// Draws `windows` into one image covering the union of their frames, at twice the size.
QImage composeWindows(const QList<QWidget *> &windows);

// After 0.65 s: writes the picture of shownWindows() as PNG to `path` and prints
// "SCREENSHOT: <path>". Throws ShotError "分享窗口未显示" when no window of the application is
// on the screen, "分享菜单截图失败" when no PNG comes out, and the write's error. Nothing is
// written or printed on failure.
Platform::Task<void> captureShareMenu(QString path);

} // namespace Kivaro::SharingVerification
