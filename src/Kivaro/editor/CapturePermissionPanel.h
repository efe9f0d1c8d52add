#pragma once
// The small window that explains why a capture cannot read the screen and what to do about it.
// The editor makes one and keeps it for the life of the process; the window is built on the
// first `show()` and reused (closing only hides it).
//
// On X11 there is no per-application screen permission: a capture is refused when no X display
// answers. "打开系统设置" therefore asks the permission again (which has nothing to ask on X11)
// and checks it once more: when the display answers now the panel closes and the next capture
// works; when it still does not, the panel stays and says how to start the application on a
// reachable X display, rather than pretending a settings pane was opened.

#include <QObject>
#include <QPointer>

class QLabel;

namespace Kivaro {

class KivaroButton;
class KivaroWindow;

class CapturePermissionPanel final : public QObject {
    Q_OBJECT
public:
    explicit CapturePermissionPanel(QObject *parent = nullptr);
    ~CapturePermissionPanel() override;

    // Null until the first `show()`.
    KivaroWindow *window() const;
    QLabel *message() const { return m_message; }
    KivaroButton *settingsButton() const { return m_settings; }
    KivaroButton *laterButton() const { return m_later; }

    // Brings the window forward, building it on first use; its content is not rebuilt.
    void show();
    // "打开系统设置": asks for the permission and checks it again (above).
    void openSettings();
    // "稍后".
    void close();

private:
    void build();

    QPointer<KivaroWindow> m_window;
    QLabel *m_message = nullptr;
    KivaroButton *m_settings = nullptr;
    KivaroButton *m_later = nullptr;
};

} // namespace Kivaro
