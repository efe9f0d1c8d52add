#pragma once
// Keeping the application's windows above one of its own that the window manager keeps above
// everything (a full-screen, stays-on-top window laid over a frozen screen).
//
// While a WindowsAbove lives, every other top-level window of the application that is shown, or
// brought forward with Platform::bringForward, becomes transient for the owner: window managers
// stack a transient window above the window it belongs to, in that window's layer, so it opens
// in front of the owner instead of underneath it. Windows already open keep their place until
// they are brought forward. Left alone: pop-ups, tool tips, windows that bypass the window
// manager, and windows already transient for a visible window (a message box over a settings
// window stays with it). Once the owner is gone, such windows are stacked as any other.
//
// One owner at a time: a newer WindowsAbove replaces an older one until it ends. Main thread
// only; nothing happens without native windows (Qt's offscreen platform keeps the hints only).

#include <QObject>
#include <QPointer>

class QWidget;

namespace Platform {

class WindowsAbove final : public QObject {
    Q_OBJECT
public:
    // Starts keeping windows above `owner`'s window; a child of it, so it ends with it at the
    // latest.
    explicit WindowsAbove(QWidget *owner);
    ~WindowsAbove() override;

    // The window other windows are kept above now, or null.
    static QWidget *owner();
    // Makes `widget`'s window transient for the current owner, under the rules above.
    static void adopt(QWidget *widget);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> m_owner;
    QPointer<WindowsAbove> m_previous;
};

} // namespace Platform
