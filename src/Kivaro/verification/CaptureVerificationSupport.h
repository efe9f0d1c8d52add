#pragma once
// What the capture scenarios share: result texts whose keys keep the order they were written
// in, synthetic input for a selection view, and the windows a run opens and closes on every
// way out.
//
// Main thread only.

#include "Platform/Async/Task.h"
#include "Platform/ScreenCapture/ScreenSource.h"

#include <QJsonValue>
#include <QList>
#include <QPair>
#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QString>
#include <QWidget>

#include <memory>
#include <optional>

class QKeyEvent;
class QMouseEvent;

namespace Kivaro {
class CaptureSelectionView;
}

namespace Kivaro::CaptureVerificationSupport {

using Entries = QList<QPair<QString, QJsonValue>>;

// A JSON object with its keys in the given order: indented by four spaces as Qt indents, or
// compact.
QByteArray orderedJson(const Entries &entries, bool indented);

// A mouse event at `viewPoint` (the view's own points, y up) as the view's handlers expect it:
// press, release, drag (a move with the left button down) or move.
enum class Mouse { down, up, dragged, moved };
std::unique_ptr<QMouseEvent> mouseEvent(const CaptureSelectionView &view, Mouse kind, QPointF viewPoint,
                                        Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// A press or release of Space.
std::unique_ptr<QKeyEvent> spaceEvent(bool down);

// The rectangle of `modelFrame` (model points) as a top-level widget's geometry (Qt points).
QRect qtGeometry(const QRectF &modelFrame);
// The frame of `window` (decorations included) in model points.
QRectF modelFrame(const QWidget *window);

// The window list entry of `window`, once the window manager lists it: the list is asked again
// up to ten times 0.1 s apart (a window shown just now may not be there yet).
Platform::Task<std::optional<Platform::ShareableWindow>> findListed(Platform::ScreenSource &source, std::uint32_t windowID);

// Windows a run opened, closed in the order they were added (also when the run fails).
class WindowList final {
public:
    WindowList() = default;
    WindowList(const WindowList &) = delete;
    WindowList &operator=(const WindowList &) = delete;
    ~WindowList() { closeAll(); }
    template <typename W> W *add(W *window)
    {
        m_windows.append(QPointer<QWidget>(window));
        return window;
    }
    void closeAll();

private:
    QList<QPointer<QWidget>> m_windows;
};

// Shows `window` at the front and waits (at most 2 s, polled every 50 ms) until it is exposed.
// Returns whether it was.
Platform::Task<bool> showAtFront(QWidget *window);

} // namespace Kivaro::CaptureVerificationSupport
