#pragma once
// The update block of the settings window: a divider; "软件更新" with the running version at
// the right; the automatic-check switch bound both ways to the updater; the updater's status
// line with its one action button (disabled while checking or downloading); and the link to the
// update history. It has no state of its own: it reads the updater whenever the updater
// announces a change of its state or switch, and forwards the two button presses.

#include "NativeAppUpdater/NativeUpdater.h"

#include <QPointer>
#include <QWidget>

namespace NativeAppAppearance {
class NativeCircularProgress;
class NativeSoftButton;
}

namespace Kivaro {

class KivaroLinkButton;
class KivaroTextLabel;
class KivaroToggle;

class UpdateSettingsView final : public QWidget {
    Q_OBJECT
public:
    explicit UpdateSettingsView(NativeAppUpdater::NativeUpdater *updater, QWidget *parent = nullptr);

    NativeAppUpdater::NativeUpdater *updater() const { return m_updater; }
    KivaroToggle *automaticChecks() const { return m_toggle; }
    NativeAppAppearance::NativeSoftButton *actionButton() const { return m_action; }
    KivaroLinkButton *historyButton() const { return m_history; }
    NativeAppAppearance::NativeCircularProgress *spinner() const { return m_spinner; }
    QString versionText() const;
    QString statusText() const;

private:
    void refresh();

    QPointer<NativeAppUpdater::NativeUpdater> m_updater;
    KivaroTextLabel *m_version = nullptr;
    KivaroTextLabel *m_status = nullptr;
    KivaroToggle *m_toggle = nullptr;
    NativeAppAppearance::NativeSoftButton *m_action = nullptr;
    NativeAppAppearance::NativeCircularProgress *m_spinner = nullptr;
    KivaroLinkButton *m_history = nullptr;
};

} // namespace Kivaro
