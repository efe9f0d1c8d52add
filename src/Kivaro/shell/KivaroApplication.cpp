#include "Kivaro/shell/KivaroApplication.h"

#include "Kivaro/shell/AppDelegate.h"
#include "Kivaro/shell/capture/RegionCapture.h"

#include <QKeyEvent>

namespace Kivaro {

KivaroApplication::KivaroApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool KivaroApplication::isQuitKey(const QKeyEvent &event)
{
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    return event.key() == Qt::Key_Q && modifiers == Qt::ControlModifier;
}

bool KivaroApplication::quitsDuringCapture(AppDelegate *delegate, const QKeyEvent &event)
{
    if (!delegate || !delegate->editor() || !isQuitKey(event))
        return false;
    RegionCapture *capture = delegate->editor()->capture();
    if (!capture || !capture->hasPendingSelection())
        return false;
    if (!event.isAutoRepeat())
        delegate->terminate();
    return true;
}

bool KivaroApplication::notify(QObject *receiver, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && m_delegate
        && quitsDuringCapture(m_delegate, *static_cast<QKeyEvent *>(event)))
        return true;
    return QApplication::notify(receiver, event);
}

} // namespace Kivaro
