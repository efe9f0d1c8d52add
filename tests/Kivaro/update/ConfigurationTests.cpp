// The application's update configuration and the shell's hooks into the updater.

#include "Kivaro/update/KivaroUpdateConfiguration.h"
#include "Kivaro/update/KivaroUpdatePrompts.h"
#include "Kivaro/update/UpdateShellHooks.h"

#include "Support/TaskTesting.h"
#include "UpdaterTestSupport.h"

#include <QUuid>

#include <gtest/gtest.h>

using namespace Kivaro;
using namespace NativeAppUpdater;

TEST(KivaroUpdateConfiguration, IsTheReleasedDistribution)
{
    const NativeUpdateConfiguration config = kivaroUpdateConfiguration(QStringLiteral("app.kivaro.Kivaro"), {QStringLiteral("kivaro")});
    EXPECT_EQ(config.product, QStringLiteral("kivaro"));
    EXPECT_EQ(config.appName, QStringLiteral("Kivaro"));
    EXPECT_EQ(config.bundleIdentifier, QString::fromLatin1(ReleaseDistribution::bundleIdentifier));
    EXPECT_EQ(config.teamIdentifier.size(), 10);
    EXPECT_EQ(config.manifestURL.toString(), QString::fromLatin1(ReleaseDistribution::manifestURL));
    EXPECT_EQ(config.manifestURL.scheme(), QStringLiteral("https"));
    EXPECT_EQ(config.manifestURL.path(), QStringLiteral("/downloads/update.json"));
    EXPECT_EQ(config.changelogURL(QStringLiteral("zh-Hans")).toString(), QStringLiteral("https://updates.kivaro.app/zh/changelog/"));
    EXPECT_EQ(config.allowedDownloadHosts.size(), 2);
    EXPECT_TRUE(config.allowedDownloadHosts.contains(QString::fromLatin1(ReleaseDistribution::downloadHost)));
    EXPECT_TRUE(config.allowedDownloadHosts.contains(config.manifestURL.host()));
    EXPECT_TRUE(config.isEnabled);
}

TEST(KivaroUpdateConfiguration, EnabledOnlyForTheReleaseBundleOutsideVerificationRuns)
{
    const QString release = QString::fromLatin1(ReleaseDistribution::bundleIdentifier);
    EXPECT_FALSE(kivaroUpdateConfiguration(std::nullopt, {QStringLiteral("kivaro")}).isEnabled);
    EXPECT_FALSE(kivaroUpdateConfiguration(QStringLiteral("app.kivaro.KivaroDev"), {QStringLiteral("kivaro")}).isEnabled);
    EXPECT_FALSE(kivaroUpdateConfiguration(release, {QStringLiteral("kivaro"), QStringLiteral("--verify")}).isEnabled);
    EXPECT_FALSE(kivaroUpdateConfiguration(release, {QStringLiteral("kivaro"), QStringLiteral("--ui-session")}).isEnabled);
    EXPECT_TRUE(kivaroUpdateConfiguration(release, {QStringLiteral("kivaro"), QStringLiteral("--verify-updater")}).isEnabled);
    // The tests do not run from a bundle: the process's own configuration is off.
    EXPECT_FALSE(kivaroUpdateConfiguration().isEnabled);
}

TEST(UpdateShellHooks, AutomaticChecksStartUnlessTheUpdaterIsVerified)
{
    auto defaults = Platform::UserDefaults::suite(QStringLiteral("hooks-") + QUuid::createUuid().toString(QUuid::Id128));
    defaults.set(QStringLiteral("NativeUpdater.kivaro.automaticallyChecksForUpdates"), true);
    struct Clock final : UpdaterClock {
        int scheduled = 0;
        double now() const override { return 0; }
        std::unique_ptr<ScheduledCall> schedule(double, bool, std::function<void()>) override
        {
            ++scheduled;
            return std::make_unique<ScheduledCall>();
        }
    };
    auto clock = std::make_shared<Clock>();
    NativeUpdaterServices services;
    services.clock = clock;
    NativeUpdateConfiguration configuration = kivaroUpdateConfiguration(QStringLiteral("app.kivaro.Kivaro"), {});
    configuration.trust = UpdaterTesting::configuration().trust;
    NativeUpdater updater(configuration, defaults, services);
    startAutomaticUpdateChecks(updater, {QStringLiteral("kivaro"), QStringLiteral("--verify-updater")});
    EXPECT_EQ(clock->scheduled, 0);
    startAutomaticUpdateChecks(updater, {QStringLiteral("kivaro")});
    EXPECT_EQ(clock->scheduled, 2);
    Platform::UserDefaults::removePersistentDomain(defaults.domain());
}

TEST(UpdateShellHooks, PromptsGoToThePromptWindowAndAreDeclinedOnceItIsGone)
{
    auto defaults = Platform::UserDefaults::suite(QStringLiteral("hooks-") + QUuid::createUuid().toString(QUuid::Id128));
    NativeUpdater updater(kivaroUpdateConfiguration(std::nullopt, {}), defaults);
    auto *prompts = new KivaroUpdatePrompts;
    installUpdatePrompts(updater, prompts);
    std::optional<bool> answer;
    updater.promptPresenter()({QStringLiteral("t"), QStringLiteral("d"), std::nullopt, QStringLiteral("OK"), std::nullopt},
                              [&](bool accepted) { answer = accepted; });
    ASSERT_NE(prompts->window(), nullptr);
    prompts->accept();
    EXPECT_EQ(answer, true);
    delete prompts;
    answer.reset();
    updater.promptPresenter()({QStringLiteral("t"), {}, std::nullopt, QStringLiteral("OK"), std::nullopt}, [&](bool accepted) { answer = accepted; });
    EXPECT_EQ(answer, false);
    TestSupport::waitUntil([] { return false; }, 50);
    Platform::UserDefaults::removePersistentDomain(defaults.domain());
}

TEST(UpdateShellHooks, TheApplicationsUpdaterEndsTheApplicationThroughTheShellsRequest)
{
    QObject owner;
    int asked = 0;
    NativeUpdater *updater = makeApplicationUpdater(&owner, [&asked] { ++asked; });
    ASSERT_TRUE(updater->terminationRequest());
    updater->terminationRequest()();
    EXPECT_EQ(asked, 1);
    // Without one, the updater falls back to quitting the event loop.
    EXPECT_FALSE(makeApplicationUpdater(&owner)->terminationRequest());
}
