#pragma once
// The activation-policy tracker: the application is "regular" (in the task bar, with its
// menus) exactly while one of its ordinary windows is open, and an "accessory" otherwise (the
// tray icon and the hot keys only).
//
// An ordinary window is a top-level window with a title bar (a titled KivaroWindow, or a
// decorated window of any other kind), neither a tool window nor a pop-up, that is visible or
// minimised. Capture overlays, the inline capture editor and floating panels never count.
//
// `start()` watches the application's windows being shown, hidden, closed, activated,
// deactivated, minimised and restored; each such event schedules one `refresh()` on the next
// turn of the event loop (so a closing window has finished closing when the rule runs).
//
// X11 has no per-application activation policy: the policy is this process's value, read by
// the verification scenarios. Switching to regular never shows a window that was hidden.

#include <QObject>

namespace Kivaro {

enum class ActivationPolicy : int { regular = 0, accessory = 1, prohibited = 2 };

namespace ApplicationActivationPolicy {
ActivationPolicy current();
// Stores the policy; always succeeds (the result mirrors the platform call's).
bool set(ActivationPolicy policy);
} // namespace ApplicationActivationPolicy

class ApplicationVisibility final : public QObject {
    Q_OBJECT
public:
    explicit ApplicationVisibility(QObject *parent = nullptr);
    ~ApplicationVisibility() override;

    // Installs the observation once; a second call does nothing.
    void start();
    bool isObserving() const { return m_observing; }
    // Applies the rule now.
    void refresh();
    // Whether `window` counts as an ordinary open window.
    static bool isOrdinaryOpenWindow(const QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void scheduleRefresh();

    bool m_observing = false;
    bool m_scheduled = false;
};

} // namespace Kivaro
