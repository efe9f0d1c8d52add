// The update block of the settings window, bound to a real updater on a throw-away suite.

#include "LoopbackHttpsServer.h"
#include "UpdateViewsFixture.h"
#include "UpdaterTestSupport.h"

#include "Kivaro/controls/KivaroLinkButton.h"
#include "Kivaro/controls/KivaroToggle.h"
#include "Kivaro/update/KivaroUpdateConfiguration.h"
#include "Kivaro/update/UpdateSettingsView.h"
#include "NativeAppAppearance/NativeCircularProgress.h"
#include "NativeAppAppearance/NativeSoftButton.h"

#include "Support/TaskTesting.h"

#include <QApplication>
#include <QDir>
#include <QTest>
#include <QUuid>

#include <gtest/gtest.h>

using namespace Kivaro;
using namespace NativeAppUpdater;
using NativeAppAppearance::Appearance;
using NativeAppAppearance::AppearanceManager;

namespace {

class SettingsView : public ::testing::Test {
protected:
    void TearDown() override
    {
        m_view.reset();
        m_updater.reset();
        Platform::UserDefaults::removePersistentDomain(m_defaults.domain());
    }

    UpdateSettingsView &view(bool enabled)
    {
        NativeUpdateConfiguration config = kivaroUpdateConfiguration(std::nullopt, {});
        config.isEnabled = enabled;
        config.trust = UpdaterTesting::configuration().trust;
        // Checks go nowhere reachable and fail fast.
        config.manifestURL = QUrl(QStringLiteral("https://127.0.0.1:1/downloads/update.json"));
        config.allowedDownloadHosts = {QStringLiteral("127.0.0.1")};
        return view(config);
    }
    UpdateSettingsView &view(const NativeUpdateConfiguration &config, NativeUpdaterServices services = {})
    {
        services.openURL = [this](const QUrl &url) { m_opened << url; };
        services.showAlert = [this](const NativeUpdatePrompt &prompt, NativeUpdateAlertStyle, std::function<void(bool)> answer) {
            m_alerts << prompt.title;
            answer(false);
        };
        m_view.reset();
        m_updater = std::make_unique<NativeUpdater>(config, m_defaults, services);
        m_view = std::make_unique<UpdateSettingsView>(m_updater.get());
        m_view->resize(420, m_view->sizeHint().height());
        return *m_view;
    }

    Platform::UserDefaults m_defaults = Platform::UserDefaults::suite(QStringLiteral("settings-block-") + QUuid::createUuid().toString(QUuid::Id128));
    std::unique_ptr<NativeUpdater> m_updater;
    std::unique_ptr<UpdateSettingsView> m_view;
    QList<QUrl> m_opened;
    QStringList m_alerts;
};

} // namespace

TEST_F(SettingsView, TheSwitchIsBoundBothWays)
{
    UpdateSettingsView &v = view(true);
    EXPECT_FALSE(v.automaticChecks()->isChecked());
    QTest::mouseClick(v.automaticChecks(), Qt::LeftButton);
    EXPECT_TRUE(m_updater->automaticallyChecksForUpdates());
    EXPECT_TRUE(m_defaults.boolean(m_updater->switchKey()));
    EXPECT_EQ(v.statusText(), QStringLiteral("Automatic update checks are on"));
    m_updater->setAutomaticallyChecksForUpdates(false);
    EXPECT_FALSE(v.automaticChecks()->isChecked());
    EXPECT_EQ(v.statusText(), QStringLiteral("Automatic update checks are off"));
}

TEST_F(SettingsView, ASwitchThatCannotBeStoredStaysAsItWasAndSaysSo)
{
    UpdateSettingsView &v = view(true);
    // The domain's file cannot be written: a folder has its name.
    const QString file = Platform::UserDefaults::folder() + QLatin1Char('/') + m_defaults.domain() + QStringLiteral(".plist");
    ASSERT_TRUE(QDir().mkpath(file));
    QTest::mouseClick(v.automaticChecks(), Qt::LeftButton);
    EXPECT_FALSE(m_updater->automaticallyChecksForUpdates());
    EXPECT_FALSE(v.automaticChecks()->isChecked());
    EXPECT_EQ(v.statusText(), QStringLiteral("Automatic update checks are off"));
    EXPECT_EQ(m_alerts, QStringList{QStringLiteral("The update setting could not be saved.")});
    m_updater->startAutomaticChecks();
    QDir(file).removeRecursively();
    // Stored once it can be.
    QTest::mouseClick(v.automaticChecks(), Qt::LeftButton);
    EXPECT_TRUE(m_updater->automaticallyChecksForUpdates());
    EXPECT_TRUE(m_defaults.boolean(m_updater->switchKey()));
}

TEST_F(SettingsView, TheChangelogLinkIsACaption)
{
    UpdateSettingsView &v = view(true);
    auto *history = v.findChild<KivaroLinkButton *>(QStringLiteral("history"));
    ASSERT_NE(history, nullptr);
    EXPECT_EQ(history->pointSize(), 11);
    EXPECT_EQ(history->font().pointSizeF() > 0, true);
    KivaroLinkButton standard(history->text());
    EXPECT_LT(history->sizeHint().height(), standard.sizeHint().height() + 1);
    EXPECT_LT(history->sizeHint().width(), standard.sizeHint().width());
}

TEST_F(SettingsView, TheActionFollowsTheUpdaterState)
{
    UpdateSettingsView &v = view(true);
    EXPECT_EQ(v.actionButton()->text(), QStringLiteral("Check for Updates"));
    EXPECT_TRUE(v.actionButton()->isEnabled());
    QTest::mouseClick(v.actionButton(), Qt::LeftButton);
    EXPECT_EQ(v.statusText(), QStringLiteral("Checking for updates…"));
    EXPECT_FALSE(v.actionButton()->isEnabled());
    EXPECT_FALSE(v.spinner()->isHidden()) << "the spinner turns while the updater checks";
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !m_updater->isRequestInFlight(); }, 15000));
    EXPECT_TRUE(v.actionButton()->isEnabled());
    EXPECT_TRUE(v.spinner()->isHidden());
    EXPECT_FALSE(v.spinner()->isRotating()) << "a hidden spinner keeps no timer";
    EXPECT_TRUE(v.statusText().startsWith(QStringLiteral("Update check failed: ")));
    EXPECT_EQ(m_alerts.size(), 1);

    QTest::mouseClick(v.historyButton(), Qt::LeftButton);
    ASSERT_EQ(m_opened.size(), 1);
    EXPECT_TRUE(m_opened[0].path().endsWith(QStringLiteral("changelog/")));
}

TEST_F(SettingsView, ADevelopmentBuildSaysSoAndStillAnswersTheButton)
{
    UpdateSettingsView &v = view(false);
    EXPECT_EQ(v.statusText(), QStringLiteral("Development builds do not update automatically"));
    EXPECT_EQ(v.versionText(), QStringLiteral("Version — (—)"));
    QTest::mouseClick(v.actionButton(), Qt::LeftButton);
    EXPECT_EQ(m_alerts, QStringList{QStringLiteral("Development builds do not check for production updates.")});
}

// The release build's identifier without release keys of both kinds (what `scripts/run` builds)
// could only download updates it must refuse: it is a development build and never asks the
// server, on schedule or by hand. With both kinds the same block does ask.
TEST_F(SettingsView, ABuildWithoutReleaseKeysIsADevelopmentBuild)
{
    UpdaterTesting::LoopbackHttpsServer server;
    const NativeUpdateTrust keys = UpdaterTesting::configuration().trust;
    NativeUpdateTrust signingOnly;
    signingOnly.signingKeys = keys.signingKeys;
    NativeUpdateTrust countersigningOnly;
    countersigningOnly.countersigningKeys = keys.countersigningKeys;
    const auto clock = std::make_shared<UpdaterTesting::ManualClock>();
    const auto release = [&](const NativeUpdateTrust &trust) -> UpdateSettingsView & {
        NativeUpdateConfiguration config = kivaroUpdateConfiguration(QString::fromLatin1(ReleaseDistribution::bundleIdentifier), {QStringLiteral("kivaro")});
        config.trust = trust;
        config.manifestURL = server.url(QStringLiteral("/downloads/update.json"));
        config.allowedDownloadHosts = {QStringLiteral("127.0.0.1")};
        NativeUpdaterServices services;
        services.clock = clock;
        services.tls = server.clientConfiguration();
        return view(config, services);
    };
    ASSERT_TRUE(m_defaults.set(QStringLiteral("NativeUpdater.kivaro.automaticallyChecksForUpdates"), true));

    for (const NativeUpdateTrust &trust : {NativeUpdateTrust{}, signingOnly, countersigningOnly}) {
        m_alerts.clear();
        UpdateSettingsView &v = release(trust);
        EXPECT_FALSE(m_updater->configuration().isEnabled);
        m_updater->startAutomaticChecks();
        EXPECT_TRUE(clock->pending().empty());
        clock->advance(4 + 21'600);
        QTest::mouseClick(v.actionButton(), Qt::LeftButton);
        EXPECT_EQ(m_alerts, QStringList{QStringLiteral("Development builds do not check for production updates.")});
        EXPECT_EQ(m_updater->state(), NativeUpdateState::idle());
        EXPECT_EQ(v.statusText(), QStringLiteral("Development builds do not update automatically"));
    }
    TestSupport::waitUntil([] { return false; }, 300);
    EXPECT_EQ(server.requests(), QStringList());

    // With both kinds of keys the block checks, and the server hears of it.
    UpdateSettingsView &v = release(keys);
    EXPECT_TRUE(m_updater->configuration().isEnabled);
    QTest::mouseClick(v.actionButton(), Qt::LeftButton);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !m_updater->isRequestInFlight(); }, 15000));
    EXPECT_EQ(server.requests(), QStringList{QStringLiteral("/downloads/update.json")});
}

TEST_F(SettingsView, LooksRightInBothAppearances)
{
    UpdateSettingsView &v = view(true);
    m_updater->setAutomaticallyChecksForUpdates(true);
    // A long status line: a failed check.
    m_updater->checkForUpdates(true);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !m_updater->isRequestInFlight(); }, 15000));
    QWidget frame;
    frame.resize(460, v.sizeHint().height() + 40);
    AppearanceManager::shared().adoptPalette(&frame);
    frame.setAutoFillBackground(true);
    v.setParent(&frame);
    v.setGeometry(20, 20, 420, v.sizeHint().height());
    frame.show();
    for (Appearance appearance : {Appearance::light, Appearance::dark}) {
        AppearanceManager::shared().setAppearance(&frame, appearance);
        QApplication::processEvents();
        // The action button stays inside the block, right-aligned, and never overlaps the status.
        const QRect action = v.actionButton()->geometry();
        EXPECT_LE(action.right(), v.width() - 1);
        EXPECT_FALSE(action.intersects(v.findChild<QWidget *>(QStringLiteral("status"))->geometry()));
        EXPECT_TRUE(v.rect().contains(v.historyButton()->geometry()));
        for (int scale : {1, 2})
            UpdateViewsTesting::picture(&frame, QStringLiteral("settings"), appearance, scale);
    }
    v.setParent(nullptr);
}
