#pragma once
// The updater: one object per application, owned by the application delegate.
//
// It checks the published manifest by hand or on a schedule (4 seconds after automatic checks
// were asked for or switched on, then every 21,600 seconds, only for an enabled configuration
// with the user's switch on), keeps the state the settings block shows, asks the user through
// prompts, downloads and verifies the archive and hands over to the installer mode.
//
// A configuration that is not enabled, or whose trust is incomplete (no signing or no
// countersigning key), makes a development updater: it never checks or downloads, its status is
// "开发版不自动更新", and `configuration().isEnabled` reads false.
//
// One request at a time: a check or a download while another runs is ignored; a check whose
// result comes while a prompt is still open replaces that prompt (the presenter, and the
// fallback alert, answer the old one "no"). A second "restart and update" while the
// installer it started is still running is ignored too. The staged bundle is verified again, and
// the installed one checked for replaceability, before the installer starts; the application is
// then asked to terminate 0.15 seconds later through `requestTermination`.
//
// Everything runs on the main thread. Tasks and timers belong to the updater and end with it.
// The collaborators are injected (NativeUpdaterServices): the clock and timers, the network and
// its TLS trust, the running bundle, the store of prompt times (the standard preferences), the
// browser, the alert used when no prompt presenter is installed, and the termination request.
//
// The switch is stored before it changes: when it cannot be stored nothing changes, the user is
// told, and automaticallyChecksForUpdatesChanged repeats the value kept. Staging folders an
// earlier run left behind for an hour are removed when an enabled updater is made. The reasons
// behind failures go to the log ("kivaro.updater"); alerts show them in the user's language.

#include "NativeAppUpdater/NativeBundle.h"
#include "NativeAppUpdater/NativeUpdateConfiguration.h"
#include "NativeAppUpdater/NativeUpdateInstaller.h"
#include "NativeAppUpdater/NativeUpdateManifest.h"
#include "NativeAppUpdater/NativeUpdatePrompt.h"
#include "NativeAppUpdater/NativeUpdateState.h"
#include "NativeAppUpdater/UpdaterClock.h"

#include "Platform/Async/Task.h"
#include "Platform/Defaults/UserDefaults.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QSslConfiguration>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace NativeAppUpdater {

enum class NativeUpdateAlertStyle { informational, warning };

struct NativeUpdaterServices {
    std::shared_ptr<UpdaterClock> clock;                           // null: the system clock
    QNetworkAccessManager *network = nullptr;                      // null: the updater's own
    std::optional<QSslConfiguration> tls;                          // null: the system's trust
    std::optional<Platform::UserDefaults> promptDefaults;          // null: the standard domain
    std::function<std::optional<NativeBundle>()> runningBundle;    // null: NativeBundle::main
    std::function<QStringList()> preferredLanguages;               // null: the environment's
    std::function<void(const QUrl &)> openURL;                     // null: the desktop's browser
    std::function<void()> requestTermination;                      // null: QCoreApplication::quit
    std::function<qint64()> processId;                             // null: this process
    // The alert without a presenter; null: a QMessageBox with the release notes.
    std::function<void(const NativeUpdatePrompt &, NativeUpdateAlertStyle, std::function<void(bool)>)> showAlert;
    NativeUpdateInstaller::PrepareOptions prepareOptions;
};

class NativeUpdater final : public QObject {
    Q_OBJECT
public:
    NativeUpdater(NativeUpdateConfiguration configuration, Platform::UserDefaults userDefaults,
                  NativeUpdaterServices services = {}, QObject *parent = nullptr);
    ~NativeUpdater() override;

    const NativeUpdateState &state() const { return m_state; }
    bool automaticallyChecksForUpdates() const { return m_automaticallyChecks; }
    // Stores a changed value and starts or stops the automatic checks.
    void setAutomaticallyChecksForUpdates(bool on);
    const NativeUpdatePromptPresenter &promptPresenter() const { return m_presenter; }
    void setPromptPresenter(NativeUpdatePromptPresenter presenter) { m_presenter = std::move(presenter); }
    const NativeUpdateConfiguration &configuration() const { return m_configuration; }
    // How the updater asks the application to end once the installer started; null means
    // QCoreApplication::quit.
    const std::function<void()> &terminationRequest() const { return m_services.requestTermination; }
    const std::optional<NativeUpdateManifest> &availableManifest() const { return m_availableManifest; }
    const std::optional<QString> &stagedApplication() const { return m_stagedApplication; }
    bool isRequestInFlight() const { return m_requestInFlight; }

    void startAutomaticChecks();
    void checkForUpdates(bool manual);
    void performPrimaryAction();
    void openUpdateHistory();

    QString statusText() const;
    QString actionTitle() const;
    bool actionDisabled() const;

    // "NativeUpdater.<product>.automaticallyChecksForUpdates" and
    // "NativeUpdater.<product>.prompt.<build>".
    QString switchKey() const;
    QString promptKey(qint64 build) const;

Q_SIGNALS:
    void stateChanged(const NativeAppUpdater::NativeUpdateState &state);
    void automaticallyChecksForUpdatesChanged(bool on);

private:
    void setState(const NativeUpdateState &state);
    void refreshAutomaticChecks();
    void download(const NativeUpdateManifest &manifest);
    void restartAndInstall();
    // Asks the application to end after the hand-over delay.
    void requestTerminationSoon();
    void presentAvailable(const NativeUpdateManifest &manifest);
    void presentReady(const NativeUpdateManifest &manifest);
    void presentMessage(const QString &message, NativeUpdateAlertStyle style);
    void present(const NativeUpdatePrompt &prompt, NativeUpdateAlertStyle style, std::function<void(bool)> completion);
    void showDefaultAlert(const NativeUpdatePrompt &prompt, NativeUpdateAlertStyle style, std::function<void(bool)> completion);
    Platform::Task<void> runCheck(bool manual);
    Platform::Task<void> runDownload(NativeUpdateManifest manifest);
    qint64 runningBuild() const;
    std::optional<NativeBundle> runningBundle() const;
    Platform::UserDefaults promptDefaults() const;

    NativeUpdateState m_state = NativeUpdateState::idle();
    bool m_automaticallyChecks = false;
    NativeUpdatePromptPresenter m_presenter;
    NativeUpdateConfiguration m_configuration;
    std::optional<NativeUpdateManifest> m_availableManifest;
    std::optional<QString> m_stagedApplication;
    std::optional<NativeUpdateManifest> m_stagedManifest;
    std::unique_ptr<ScheduledCall> m_timer;
    std::unique_ptr<ScheduledCall> m_delayedCheck;
    std::unique_ptr<ScheduledCall> m_termination;
    bool m_requestInFlight = false;
    QPointer<QMessageBox> m_alert;
    bool m_automaticChecksRequested = false;
    Platform::UserDefaults m_userDefaults;
    NativeUpdaterServices m_services;
    QNetworkAccessManager *m_network = nullptr;
    std::unique_ptr<NativeUpdateInstaller::HelperProcess> m_helper;
    Platform::TaskHandle<void> m_task;
};

} // namespace NativeAppUpdater
