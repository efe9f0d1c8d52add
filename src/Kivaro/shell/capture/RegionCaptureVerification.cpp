// The verification hooks of RegionCapture: steering a shown overlay from code. They act only in
// a run started with "--verify", and hand events to the overlay as the user's input would
// arrive: mouse events straight to the selection view's handlers, the Escape key through the
// application (where the capture's key monitor sees it first).

#include "Kivaro/shell/capture/CaptureOverlayWindow.h"
#include "Kivaro/shell/capture/CaptureSelectionFooter.h"
#include "Kivaro/shell/capture/CaptureSelectionView.h"
#include "Kivaro/shell/capture/RegionCapture.h"
#include "KivaroCore/LaunchArguments.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Keys/KeyTable.h"
#include "Platform/Files/PrivateFiles.h"

#include <QApplication>
#include <QBuffer>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QImageWriter>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>

#include <memory>

namespace Kivaro {

namespace {

bool verifying()
{
    return PrototypeVerification::hasFlag(QStringLiteral("--verify"));
}

// Milliseconds since boot, as event time stamps count.
quint64 uptimeMs()
{
    return quint64(QDeadlineTimer::current().deadline());
}

std::unique_ptr<QMouseEvent> mouseEvent(QEvent::Type type, const CaptureSelectionView &view, QPointF global, bool optionHeld)
{
    const QPointF local = view.widgetPoint(global - view.screenFrame().topLeft());
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
    auto event = std::make_unique<QMouseEvent>(type, local, local, view.mapToGlobal(local), button, buttons,
                                               optionHeld ? Qt::AltModifier : Qt::NoModifier);
    event->setTimestamp(uptimeMs());
    return event;
}

// A focused child of the overlay that takes every key it is given, Escape included (as a field
// with a shortcut of its own would): Escape then ends the capture only through the
// application's key monitor, never through the selection view's own handler.
class KeyTakingChild final : public QWidget {
public:
    explicit KeyTakingChild(QWidget *parent) : QWidget(parent) { setFocusPolicy(Qt::StrongFocus); }

protected:
    void keyPressEvent(QKeyEvent *event) override { event->accept(); }
};

} // namespace

bool RegionCapture::verifyChoose(QPointF at, bool optionHeld, std::optional<QPointF> dragTo)
{
    if (!verifying())
        return false;
    CaptureOverlayWindow *overlay = overlayAt(at);
    if (!overlay || !overlay->contentView())
        return false;
    // The view stays alive until the event loop runs again, even when the release finishes the
    // capture and closes its window.
    CaptureSelectionView *view = overlay->contentView();
    view->setOption(optionHeld);
    view->mouseDown(*mouseEvent(QEvent::MouseButtonPress, *view, at, optionHeld));
    if (dragTo)
        view->mouseDragged(*mouseEvent(QEvent::MouseMove, *view, *dragTo, optionHeld));
    view->mouseUp(*mouseEvent(QEvent::MouseButtonRelease, *view, dragTo.value_or(at), optionHeld));
    return !hasPendingSelection();
}

bool RegionCapture::verifyCancel(bool usingButton, bool focusChild)
{
    if (!verifying() || m_overlays.isEmpty())
        return false;
    CaptureOverlayWindow *overlay = m_overlays.first();
    CaptureSelectionView *view = overlay->contentView();
    if (!view || !view->window())
        return false;
    if (usingButton) {
        view->footer()->cancelButton()->click();
        return !hasPendingSelection();
    }
    QWidget *target = view;
    if (focusChild) {
        // (12, 12, 100, 24) in the view's terms, y up. It closes with the overlay.
        auto *child = new KeyTakingChild(view);
        child->setGeometry(12, int(view->height() - 12 - 24), 100, 24);
        child->show();
        child->setFocus(Qt::OtherFocusReason);
        target = child;
    }
    if (QWidget *focused = overlay->focusWidget())
        target = focused;
    // With the key's X keysym, as the window system delivers it: every handler on the way knows
    // it for Escape, the selection view's own included.
    const Platform::KeyInfo *key = Platform::Keys::byKeyCode(Platform::Keys::escape);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, 0, key ? key->keysym : 0, 0, QStringLiteral("\x1b"));
    escape.setTimestamp(uptimeMs());
    QApplication::sendEvent(target, &escape);
    return !hasPendingSelection();
}

Platform::Task<void> RegionCapture::verifyFooter(QString path)
{
    if (!verifying() || m_overlays.isEmpty())
        co_return;
    CaptureSelectionView *view = m_overlays.first()->contentView();
    if (!view)
        co_return;
    CaptureSelectionFooter *footer = view->footer();
    footer->ensurePolished();
    // Drawn exactly as laid out, at the device pixel ratio of the footer's screen.
    const QPixmap picture = footer->grab();
    if (picture.isNull())
        throw ShotError::message(QStringLiteral("Capture footer snapshot unavailable"));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!QImageWriter(&buffer, "png").write(picture.toImage()) || png.isEmpty())
        throw ShotError::message(QStringLiteral("Capture footer snapshot encoding failed"));
    // Evidence like every other record: 0600, never through a link at its name; the error names
    // the file.
    if (const auto error = Platform::writePrivateFile(path, png))
        throw ShotError::message(*error);
}

} // namespace Kivaro
