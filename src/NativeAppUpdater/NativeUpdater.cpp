#include "NativeAppUpdater/NativeUpdater.h"

#include "NativeAppUpdater/NativeCodeSignature.h"
#include "NativeAppUpdater/NativeReleaseNotes.h"
#include "NativeAppUpdater/NativeUpdatePolicy.h"
#include "NativeAppUpdater/UpdateFetch.h"
#include "NativeAppUpdater/UpdaterCopy.h"
#include "NativeAppUpdater/internal/StagingFolder.h"

#include "KivaroCore/Localization.h"

#include "Platform/Async/Awaitables.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QPushButton>

#include <QLoggingCategory>

#include <unistd.h>

namespace NativeAppUpdater {

namespace {

Q_LOGGING_CATEGORY(updaterLog, "kivaro.updater")

constexpr double firstCheckDelay = 4;
constexpr double checkInterval = 21'600;
constexpr double promptInterval = 86'400;
constexpr double terminationDelay = 0.15;
// A staging folder left this long by an earlier run is stale.
constexpr qint64 staleStagingSeconds = 3600;

} // namespace

NativeUpdater::NativeUpdater(NativeUpdateConfiguration configuration, Platform::UserDefaults userDefaults,
                             NativeUpdaterServices services, QObject *parent)
    : QObject(parent), m_configuration(std::move(configuration)), m_userDefaults(std::move(userDefaults)),
      m_services(std::move(services))
{
    // An updater that cannot verify an archive could only download updates it must refuse: a
    // configuration without keys of both kinds is a development configuration.
    m_configuration.isEnabled = m_configuration.isEnabled && m_configuration.trust.isComplete();
    if (!m_services.clock)
        m_services.clock = systemUpdaterClock();
    m_network = m_services.network ? m_services.network : new QNetworkAccessManager(this);
    m_automaticallyChecks = m_userDefaults.boolean(switchKey());
    // What updates that never installed left behind (an archive of up to 512 MiB each).
    if (m_configuration.isEnabled) {
        const QStringList roots = m_services.prepareOptions.stagingRoot ? QStringList{*m_services.prepareOptions.stagingRoot}
                                                                        : detail::stagingRoots();
        detail::removeStaleStagingFolders(roots, m_configuration.product, staleStagingSeconds);
    }
}

NativeUpdater::~NativeUpdater()
{
    m_task.cancel();
}

QString NativeUpdater::switchKey() const
{
    return QStringLiteral("NativeUpdater.") + m_configuration.product + QStringLiteral(".automaticallyChecksForUpdates");
}

QString NativeUpdater::promptKey(qint64 build) const
{
    return QStringLiteral("NativeUpdater.") + m_configuration.product + QStringLiteral(".prompt.") + QString::number(build);
}

void NativeUpdater::setState(const NativeUpdateState &state)
{
    if (m_state == state)
        return;
    m_state = state;
    Q_EMIT stateChanged(m_state);
}

void NativeUpdater::setAutomaticallyChecksForUpdates(bool on)
{
    if (on == m_automaticallyChecks)
        return;
    // Stored first: a value that could not be stored changes nothing, and the user hears of it.
    bool stored = false;
    try {
        stored = m_userDefaults.set(switchKey(), on);
    } catch (const Platform::DefaultsWriteError &error) {
        qCWarning(updaterLog) << "cannot store the automatic-check setting:" << error.what();
    }
    if (!stored) {
        // The switch that showed the change shows the value again.
        Q_EMIT automaticallyChecksForUpdatesChanged(m_automaticallyChecks);
        presentMessage(updaterCopy("无法保存更新设置。"), NativeUpdateAlertStyle::warning);
        return;
    }
    m_automaticallyChecks = on;
    Q_EMIT automaticallyChecksForUpdatesChanged(on);
    refreshAutomaticChecks();
}

void NativeUpdater::startAutomaticChecks()
{
    m_automaticChecksRequested = true;
    refreshAutomaticChecks();
}

void NativeUpdater::refreshAutomaticChecks()
{
    m_delayedCheck.reset();
    m_timer.reset();
    if (!m_configuration.isEnabled || !m_automaticChecksRequested || !m_automaticallyChecks)
        return;
    // The calls belong to the updater and end with it.
    m_delayedCheck = m_services.clock->schedule(firstCheckDelay, false, [this] { checkForUpdates(false); });
    m_timer = m_services.clock->schedule(checkInterval, true, [this] { checkForUpdates(false); });
}

std::optional<NativeBundle> NativeUpdater::runningBundle() const
{
    return m_services.runningBundle ? m_services.runningBundle() : NativeBundle::main();
}

Platform::UserDefaults NativeUpdater::promptDefaults() const
{
    return m_services.promptDefaults ? *m_services.promptDefaults : Platform::UserDefaults::standard();
}

qint64 NativeUpdater::runningBuild() const
{
    const auto bundle = runningBundle();
    const QString text = (bundle ? bundle->infoString(QStringLiteral("CFBundleVersion")) : std::nullopt).value_or(QStringLiteral("0"));
    return parseDecimalInteger(text).value_or(0);
}

void NativeUpdater::checkForUpdates(bool manual)
{
    if (!m_configuration.isEnabled) {
        if (manual)
            presentMessage(updaterCopy("开发版不检查正式更新。"), NativeUpdateAlertStyle::informational);
        return;
    }
    // Only a check in flight blocks another; a new result replaces a prompt still open.
    if (m_requestInFlight)
        return;
    m_requestInFlight = true;
    setState(NativeUpdateState::checking());
    m_task = Platform::start(runCheck(manual), this);
}

Platform::Task<void> NativeUpdater::runCheck(bool manual)
{
    // A started body runs even when the updater went away before it began (its owner's
    // destruction cancels it): nothing of the updater is touched before this.
    co_await Platform::checkCancellation();
    UpdateFetchRequest request;
    request.url = m_configuration.manifestURL;
    request.allowedHosts = m_configuration.allowedDownloadHosts;
    if (!m_configuration.manifestURL.host().isEmpty())
        request.allowedHosts.insert(m_configuration.manifestURL.host().toLower());
    request.maxBytes = m_configuration.limits.manifestBytes;
    request.maxRedirects = m_configuration.limits.maxRedirects;
    request.idleTimeoutMs = m_configuration.limits.manifestIdleTimeoutMs;
    request.deadlineMs = m_configuration.limits.manifestDeadlineMs;
    request.bypassCache = true;
    request.tls = m_services.tls;
    try {
        // A CancellationError (the updater is being destroyed) leaves without touching it.
        const QByteArray body = co_await fetchForUpdate(m_network, request);
        const NativeUpdateManifest manifest = NativeUpdateManifest::decode(body);
        NativeUpdatePolicy::validate(manifest, m_configuration);
        // Each outcome clears the in-flight flag before it presents anything: a presenter may
        // answer at once, and an accepted prompt starts the download right away.
        if (NativeUpdatePolicy::isNewer(manifest, runningBuild())) {
            m_availableManifest = manifest;
            setState(NativeUpdateState::available(manifest.version));
            m_requestInFlight = false;
            const double last = promptDefaults().real(promptKey(manifest.build));
            if (manual || (m_automaticallyChecks && m_services.clock->now() - last >= promptInterval))
                presentAvailable(manifest);
        } else {
            setState(NativeUpdateState::current());
            m_requestInFlight = false;
            if (manual)
                presentMessage(updaterFormat("%@ 已经是最新版本。", {m_configuration.appName}), NativeUpdateAlertStyle::informational);
        }
    } catch (const UpdaterError &error) {
        qCWarning(updaterLog) << "update check failed:" << error.detail();
        const QString message = updaterFormat("检查更新失败：%@", {error.localizedDescription()});
        setState(NativeUpdateState::failed(message));
        m_requestInFlight = false;
        if (manual)
            presentMessage(message, NativeUpdateAlertStyle::warning);
    }
}

void NativeUpdater::download(const NativeUpdateManifest &manifest)
{
    if (m_requestInFlight)
        return;
    m_requestInFlight = true;
    setState(NativeUpdateState::downloading(manifest.version));
    m_task = Platform::start(runDownload(manifest), this);
}

Platform::Task<void> NativeUpdater::runDownload(NativeUpdateManifest manifest)
{
    co_await Platform::checkCancellation();
    UpdateFetchRequest request;
    request.url = manifest.downloadAddress();
    request.allowedHosts = m_configuration.allowedDownloadHosts;
    request.maxBytes = m_configuration.limits.archiveBytes;
    request.maxRedirects = m_configuration.limits.maxRedirects;
    request.idleTimeoutMs = m_configuration.limits.archiveIdleTimeoutMs;
    request.deadlineMs = m_configuration.limits.archiveDeadlineMs;
    request.tls = m_services.tls;
    try {
        const QByteArray data = co_await fetchForUpdate(m_network, request);
        NativeUpdateInstaller::PrepareOptions options = m_services.prepareOptions;
        if (!options.installedBundle) {
            if (const auto bundle = runningBundle())
                options.installedBundle = bundle->path();
        }
        const QString staged = NativeUpdateInstaller::prepare(data, manifest, m_configuration, options);
        m_stagedApplication = staged;
        m_stagedManifest = manifest;
        setState(NativeUpdateState::ready(manifest.version));
        m_requestInFlight = false;
        presentReady(manifest);
    } catch (const UpdaterError &error) {
        qCWarning(updaterLog) << "update download failed:" << error.detail();
        const QString message = updaterFormat("下载更新失败：%@", {error.localizedDescription()});
        setState(NativeUpdateState::failed(message));
        m_requestInFlight = false;
        presentMessage(message, NativeUpdateAlertStyle::warning);
    }
}

void NativeUpdater::restartAndInstall()
{
    if (!m_stagedApplication || !m_stagedManifest)
        return;
    // The installer started by an earlier press still waits for this application to end (its
    // quit was refused while work was unfinished, say): ask to quit again, without starting a
    // second installer.
    if (m_helper && m_helper->isRunning()) {
        requestTerminationSoon();
        return;
    }
    try {
        const auto running = runningBundle();
        if (!running)
            throw NativeUpdateInstaller::Error(NativeUpdateInstaller::Failure::cannotReplace,
                                               QStringLiteral("the application does not run from a bundle"));
        const qint64 pid = m_services.processId ? m_services.processId() : qint64(::getpid());
        m_helper = NativeUpdateInstaller::launchHelper(*m_stagedApplication, running->path(), m_configuration, *m_stagedManifest, pid);
    } catch (const UpdaterError &error) {
        qCWarning(updaterLog) << "cannot start the installer:" << error.detail();
        const QString message = updaterFormat("无法启动更新：%@", {error.localizedDescription()});
        setState(NativeUpdateState::failed(message));
        presentMessage(message, NativeUpdateAlertStyle::warning);
        return;
    }
    requestTerminationSoon();
}

void NativeUpdater::requestTerminationSoon()
{
    m_termination = m_services.clock->schedule(terminationDelay, false, [this] {
        if (m_services.requestTermination)
            m_services.requestTermination();
        else
            QCoreApplication::quit();
    });
}

void NativeUpdater::performPrimaryAction()
{
    switch (m_state.kind()) {
    case NativeUpdateState::Case::ready:
        restartAndInstall();
        break;
    case NativeUpdateState::Case::available:
        if (m_availableManifest)
            download(*m_availableManifest);
        break;
    default:
        checkForUpdates(true);
        break;
    }
}

void NativeUpdater::openUpdateHistory()
{
    const QStringList languages = m_services.preferredLanguages ? m_services.preferredLanguages()
                                                                : Kivaro::StringTable::preferredLanguages();
    const QString language = languages.isEmpty() ? QStringLiteral("en") : normalizedLanguageTag(languages.first());
    const QUrl url = m_configuration.changelogURL(language.isEmpty() ? QStringLiteral("en") : language);
    if (m_services.openURL)
        m_services.openURL(url);
    else
        QDesktopServices::openUrl(url);
}

QString NativeUpdater::statusText() const
{
    if (!m_configuration.isEnabled)
        return updaterCopy("开发版不自动更新");
    switch (m_state.kind()) {
    case NativeUpdateState::Case::idle:
        return m_automaticallyChecks ? updaterCopy("自动提示新版已开启") : updaterCopy("自动提示新版已关闭");
    case NativeUpdateState::Case::checking:
        return updaterCopy("正在检查更新…");
    case NativeUpdateState::Case::current:
        return m_automaticallyChecks ? updaterCopy("已经是最新版本") : updaterCopy("自动提示新版已关闭");
    case NativeUpdateState::Case::available:
        return updaterFormat("发现新版本 %@", {m_state.text()});
    case NativeUpdateState::Case::downloading:
        return updaterFormat("正在下载 %@…", {m_state.text()});
    case NativeUpdateState::Case::ready:
        return updaterFormat("%@ 已下载，等待重启", {m_state.text()});
    case NativeUpdateState::Case::failed:
        return m_state.text();
    }
    return {};
}

QString NativeUpdater::actionTitle() const
{
    switch (m_state.kind()) {
    case NativeUpdateState::Case::available:
        return updaterCopy("下载更新");
    case NativeUpdateState::Case::ready:
        return updaterCopy("重启并更新");
    default:
        return updaterCopy("检查更新");
    }
}

bool NativeUpdater::actionDisabled() const
{
    return m_state.kind() == NativeUpdateState::Case::checking || m_state.kind() == NativeUpdateState::Case::downloading;
}

void NativeUpdater::presentAvailable(const NativeUpdateManifest &manifest)
{
    // The prompt shows even when its time cannot be stored (it may then come again sooner).
    try {
        if (!promptDefaults().set(promptKey(manifest.build), m_services.clock->now()))
            qCWarning(updaterLog) << "cannot store the time of the update prompt";
    } catch (const Platform::DefaultsWriteError &error) {
        qCWarning(updaterLog) << "cannot store the time of the update prompt:" << error.what();
    }
    const NativeUpdatePrompt prompt{updaterFormat("%@ %@ 可更新", {m_configuration.appName, manifest.version}),
                                    updaterCopy("可以现在下载。下载并校验完成后，应用会询问是否重启完成更新。"), manifest.releaseNotes,
                                    updaterCopy("下载更新"), updaterCopy("稍后")};
    QPointer<NativeUpdater> self(this);
    present(prompt, NativeUpdateAlertStyle::informational, [self, manifest](bool accepted) {
        if (accepted && self)
            self->download(manifest);
    });
}

void NativeUpdater::presentReady(const NativeUpdateManifest &manifest)
{
    const NativeUpdatePrompt prompt{updaterFormat("%@ %@ 已准备好", {m_configuration.appName, manifest.version}),
                                    updaterCopy("重启应用即可完成更新。"), manifest.releaseNotes, updaterCopy("重启并更新"),
                                    updaterCopy("稍后")};
    QPointer<NativeUpdater> self(this);
    present(prompt, NativeUpdateAlertStyle::informational, [self](bool accepted) {
        if (accepted && self)
            self->restartAndInstall();
    });
}

void NativeUpdater::presentMessage(const QString &message, NativeUpdateAlertStyle style)
{
    present(NativeUpdatePrompt{message, QString(), std::nullopt, updaterCopy("好"), std::nullopt}, style, [](bool) {});
}

void NativeUpdater::present(const NativeUpdatePrompt &prompt, NativeUpdateAlertStyle style, std::function<void(bool)> completion)
{
    // The completion runs once; later calls are ignored.
    auto answered = std::make_shared<bool>(false);
    auto finish = [answered, completion = std::move(completion)](bool accepted) {
        if (*answered)
            return;
        *answered = true;
        completion(accepted);
    };
    if (m_presenter)
        m_presenter(prompt, finish);
    else if (m_services.showAlert)
        m_services.showAlert(prompt, style, finish);
    else
        showDefaultAlert(prompt, style, finish);
}

void NativeUpdater::showDefaultAlert(const NativeUpdatePrompt &prompt, NativeUpdateAlertStyle style, std::function<void(bool)> completion)
{
    // A newer alert replaces the one still open, which is answered "no".
    if (m_alert)
        m_alert->reject();
    auto *box = new QMessageBox(style == NativeUpdateAlertStyle::warning ? QMessageBox::Warning : QMessageBox::Information,
                                prompt.title, prompt.title);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // The manifest's texts are the server's: shown as they are, never as markup.
    box->setTextFormat(Qt::PlainText);
    box->setInformativeText(prompt.detail);
    if (auto *informative = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel")))
        informative->setTextFormat(Qt::PlainText);
    QPushButton *primary = box->addButton(prompt.primary, QMessageBox::AcceptRole);
    if (prompt.secondary)
        box->setEscapeButton(box->addButton(*prompt.secondary, QMessageBox::RejectRole));
    box->setDefaultButton(primary);
    addNativeReleaseNotes(box, prompt.releaseNotes);
    QObject::connect(box, &QMessageBox::finished, box, [box, primary, completion] { completion(box->clickedButton() == primary); });
    m_alert = box;
    box->open();
    box->raise();
    box->activateWindow();
}

} // namespace NativeAppUpdater
