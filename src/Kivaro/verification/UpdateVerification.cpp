#include "Kivaro/verification/UpdateVerification.h"

#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/shell/ShortcutSettingsController.h"
#include "Kivaro/shell/capture/GlobalShortcut.h"
#include "Kivaro/update/KivaroUpdateConfiguration.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "Kivaro/verification/RunRecords.h"
#include "KivaroCore/ShotError.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppUpdater/NativeUpdateManifest.h"
#include "NativeAppUpdater/NativeUpdatePolicy.h"
#include "NativeAppUpdater/UpdateFetch.h"
#include "NativeAppUpdater/UpdaterError.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Files/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QUuid>

#include <utility>

#include <cstdio>
#include <memory>

namespace Kivaro::UpdateVerification {

using NativeAppUpdater::NativeUpdateState;

namespace {

// The throw-away preference suite and the settings harness, gone on every way out.
struct Harness {
    QString suiteName;
    std::unique_ptr<GlobalShortcut> shortcut;
    std::unique_ptr<GlobalShortcut> alternate;
    std::unique_ptr<Shell::ShortcutSettingsController> settings;
    std::unique_ptr<NativeAppUpdater::NativeUpdater> updater;

    ~Harness()
    {
        if (settings && settings->window())
            settings->window()->close();
        if (shortcut)
            shortcut->stop();
        settings.reset();
        updater.reset();
        try {
            removeSuite();
        } catch (const Platform::DefaultsWriteError &) {
            // Only on a way out that failed already (a passing run removes the suite itself, and
            // fails when it cannot): the run's own error is the one to report.
        }
    }
    // Throws DefaultsWriteError when the suite's file stays.
    void removeSuite()
    {
        if (!suiteName.isEmpty())
            Platform::UserDefaults::removePersistentDomain(std::exchange(suiteName, QString()));
    }
};

// The run's updaters tell the run, not the user: an alert (a setting that could not be stored)
// is answered at once and the run fails on its own check, leaving no window behind.
void answerAlerts(NativeAppUpdater::NativeUpdaterServices &services)
{
    services.showAlert = [](const NativeAppUpdater::NativeUpdatePrompt &, NativeAppUpdater::NativeUpdateAlertStyle,
                            std::function<void(bool)> completion) { completion(false); };
}

} // namespace

namespace {

QString throwAwaySuite(const char *prefix)
{
    return QString::fromLatin1(prefix) + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

// Shows the settings window around `updater` on `suite`, as the application builds it.
QWidget *showSettings(Harness &harness, NativeAppUpdater::NativeUpdater *updater, const Platform::UserDefaults &suite)
{
    harness.shortcut = std::make_unique<GlobalShortcut>([] {});
    harness.alternate = std::make_unique<GlobalShortcut>([] {});
    harness.settings = std::make_unique<Shell::ShortcutSettingsController>(harness.shortcut.get(), harness.alternate.get(), updater, suite, [] {});
    harness.settings->show();
    return harness.settings->window();
}

const std::pair<const char *, NativeAppAppearance::Appearance> appearanceVariants[] = {
    {"light", NativeAppAppearance::Appearance::light}, {"dark", NativeAppAppearance::Appearance::dark}};

// Shows the settings window around the harness's updater and photographs it light and dark, to
// "<prefix><light|dark>.png" in `output`. Without the pictures there is no pass.
Platform::Task<QWidget *> pictureSettings(Harness &harness, const Platform::UserDefaults &suite, QString output, QString prefix)
{
    QWidget *window = showSettings(harness, harness.updater.get(), suite);
    if (!window)
        throw ShotError::message(QStringLiteral("设置未显示"));
    for (const auto &[name, look] : appearanceVariants) {
        NativeAppAppearance::AppearanceManager::shared().setAppearance(window, look);
        co_await Platform::sleep(std::chrono::milliseconds(250));
        PrototypeVerification::snapshot(window, QDir(output).filePath(prefix + QLatin1String(name) + QStringLiteral(".png")));
    }
    co_return window;
}

} // namespace

QString describe(std::exception_ptr error)
{
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const NativeAppUpdater::UpdaterError &updater) {
        return updater.localizedDescription();
    } catch (...) {
    }
    return PrototypeVerification::describe(error);
}

PublishedCheckEnvironment PublishedCheckEnvironment::application()
{
    return PublishedCheckEnvironment{kivaroUpdateConfiguration(), {}};
}

Platform::Task<QJsonObject> checkPublished(QString output, PublishedCheckEnvironment environment)
{
    const NativeAppUpdater::NativeUpdateConfiguration &configuration = environment.configuration;
    // 1. The folder.
    if (const auto error = Platform::ensurePrivateFolder(output))
        throw ShotError::message(*error);

    // 2-4. The published manifest, exactly as the updater would fetch it.
    std::unique_ptr<QNetworkAccessManager> ownNetwork;
    QNetworkAccessManager *network = environment.services.network;
    if (!network) {
        ownNetwork = std::make_unique<QNetworkAccessManager>();
        network = ownNetwork.get();
    }
    QSet<QString> hosts = configuration.allowedDownloadHosts;
    hosts.insert(configuration.manifestURL.host().toLower());
    NativeAppUpdater::UpdateFetchRequest request;
    request.url = configuration.manifestURL;
    request.allowedHosts = hosts;
    request.maxBytes = configuration.limits.manifestBytes;
    request.maxRedirects = configuration.limits.maxRedirects;
    request.idleTimeoutMs = configuration.limits.manifestIdleTimeoutMs;
    request.deadlineMs = configuration.limits.manifestDeadlineMs;
    request.tls = environment.services.tls;
    const NativeAppUpdater::UpdateFetchResponse response = co_await NativeAppUpdater::fetchResponseForUpdate(network, request);
    // The updater takes any success; the published manifest must be answered with 200 itself.
    if (response.status != 200)
        throw NativeAppUpdater::UpdateNetworkError(NativeAppUpdater::UpdateNetworkError::Reason::badServerResponse,
                                                   QStringLiteral("status %1").arg(response.status));
    const NativeAppUpdater::NativeUpdateManifest manifest = NativeAppUpdater::NativeUpdateManifest::decode(response.body);

    // 5. The updater's own rules.
    NativeAppUpdater::NativeUpdatePolicy::validate(manifest, configuration);

    // 6. The running build.
    const std::optional<NativeAppUpdater::NativeBundle> bundle =
        environment.services.runningBundle ? environment.services.runningBundle() : NativeAppUpdater::NativeBundle::main();
    const std::optional<QString> version = bundle ? bundle->infoString(QStringLiteral("CFBundleShortVersionString")) : std::nullopt;
    const QString buildText = (bundle ? bundle->infoString(QStringLiteral("CFBundleVersion")) : std::nullopt).value_or(QStringLiteral("0"));
    const std::optional<qint64> build = NativeAppUpdater::parseDecimalInteger(buildText);
    if (!version || *version != manifest.version || !build || *build != manifest.build)
        throw ShotError::message(QStringLiteral("公开清单与当前版本不一致"));

    // 7-9. A fresh updater on a throw-away suite must find this installation current.
    Harness harness;
    harness.suiteName = throwAwaySuite("kivaro-published-update-");
    const Platform::UserDefaults suite = Platform::UserDefaults::suite(harness.suiteName);
    NativeAppUpdater::NativeUpdaterServices services = environment.services;
    services.promptDefaults = suite;
    services.requestTermination = [] {};
    harness.updater = std::make_unique<NativeAppUpdater::NativeUpdater>(configuration, suite, services);
    harness.updater->checkForUpdates(false);
    for (int pass = 0; pass < 220 && harness.updater->state().kind() == NativeUpdateState::Case::checking; ++pass)
        co_await Platform::sleep(std::chrono::milliseconds(100));
    if (harness.updater->state().kind() != NativeUpdateState::Case::current)
        throw ShotError::message(harness.updater->statusText());

    // 10. The settings block in that state, light and dark. Without the pictures there is no pass.
    co_await pictureSettings(harness, suite, output, QStringLiteral("installed-update-"));
    harness.removeSuite();

    co_return QJsonObject{
        {QStringLiteral("build"), manifest.build},
        {QStringLiteral("checks"), QJsonArray{QStringLiteral("production manifest policy"), QStringLiteral("actual NativeUpdater current state")}},
        {QStringLiteral("manifestURL"), configuration.manifestURL.toString()},
        {QStringLiteral("status"), QStringLiteral("passed")},
        {QStringLiteral("version"), manifest.version},
    };
}


Platform::Task<void> run(QString output)
{
    co_await run(std::move(output), kivaroUpdateConfiguration());
}

Platform::Task<void> run(QString output, NativeAppUpdater::NativeUpdateConfiguration configuration)
{
    Harness harness;
    harness.suiteName = throwAwaySuite("kivaro-update-verification-");
    const Platform::UserDefaults suite = Platform::UserDefaults::suite(harness.suiteName);

    const QUrl manifest(QString::fromLatin1(ReleaseDistribution::manifestURL));
    const bool released = configuration.manifestURL.toString() == manifest.toString()
        && configuration.changelogURL(QStringLiteral("zh-Hans")).toString()
               == manifest.resolved(QUrl(QStringLiteral("../zh/changelog/"))).toString()
        && configuration.allowedDownloadHosts.contains(QString::fromLatin1(ReleaseDistribution::downloadHost))
        && configuration.bundleIdentifier == QLatin1String(ReleaseDistribution::bundleIdentifier)
        && configuration.teamIdentifier == QLatin1String(ReleaseDistribution::teamIdentifier);
    if (!released)
        throw ShotError::message(QStringLiteral("更新配置与正式分发不一致"));

    NativeAppUpdater::NativeUpdaterServices services;
    services.promptDefaults = suite;
    services.requestTermination = [] {};
    answerAlerts(services);
    harness.updater = std::make_unique<NativeAppUpdater::NativeUpdater>(configuration, suite, services);
    if (harness.updater->automaticallyChecksForUpdates())
        throw ShotError::message(QStringLiteral("自动更新首次应关闭"));
    harness.updater->setAutomaticallyChecksForUpdates(true);
    if (!NativeAppUpdater::NativeUpdater(configuration, suite, services).automaticallyChecksForUpdates())
        throw ShotError::message(QStringLiteral("更新偏好未持久化"));

    QWidget *window = co_await pictureSettings(harness, suite, output, QStringLiteral("update-settings-"));
    harness.updater->setAutomaticallyChecksForUpdates(false);
    if (NativeAppUpdater::NativeUpdater(configuration, suite, services).automaticallyChecksForUpdates())
        throw ShotError::message(QStringLiteral("关闭更新偏好未持久化"));
    window->close();
    co_await Platform::sleep(std::chrono::milliseconds(350));
    harness.removeSuite();
}

Platform::Task<void> verifyPublished(QString output)
{
    co_await Platform::yieldToEventLoop();
    // An earlier run's result and pictures go first: a failure must leave no pass behind. A
    // failure writes the frame's failed record, its line and status 1.
    PrototypeVerification::StandaloneRun run(QString::fromUtf8(publishedFailurePrefix), RunRecords::names(RunRecords::Run::publishedUpdate));
    QString failure;
    try {
        if (run.folder().isEmpty() || QDir::cleanPath(run.folder()) != QDir::cleanPath(output))
            throw ShotError::message(QStringLiteral("no evidence folder"));
        const QJsonObject record = co_await checkPublished(output, PublishedCheckEnvironment::application());
        run.write(QStringLiteral("published-update.json"), QJsonDocument(record).toJson(QJsonDocument::Indented));
    } catch (...) {
        failure = describe(std::current_exception());
    }
    if (!failure.isEmpty())
        run.fail(failure);
    std::fprintf(stdout, "%s\n", publishedPassLine);
    PrototypeVerification::StandaloneRun::end(0);
}

} // namespace Kivaro::UpdateVerification
