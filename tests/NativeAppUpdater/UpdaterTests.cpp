// The updater's checks, schedule, prompts and state, driven with a hand-moved clock against the
// loopback server.

#include "LoopbackHttpsServer.h"
#include "UpdaterTestSupport.h"

#include "NativeAppUpdater/NativeUpdater.h"

#include "Platform/PropertyList/PropertyList.h"
#include "Support/TaskTesting.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

using namespace NativeAppUpdater;
using namespace UpdaterTesting;
using Case = NativeUpdateState::Case;

namespace {

struct ShownPrompt {
    NativeUpdatePrompt prompt;
    std::function<void(bool)> answer;
};

class Updater : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeRunningBundle(QStringLiteral("1"));
        m_server.serve(QStringLiteral("/downloads/update.json"), manifest(2).encode());
    }
    void TearDown() override
    {
        m_updater.reset();
        Platform::UserDefaults::removePersistentDomain(m_defaults.domain());
        Platform::UserDefaults::removePersistentDomain(m_promptTimes.domain());
    }

    void writeRunningBundle(const QString &build)
    {
        QFile file(m_running.path() + QStringLiteral("/Info.plist"));
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(Platform::encodePropertyList(QVariantMap{{QStringLiteral("CFBundleIdentifier"), QStringLiteral("app.kivaro.Kivaro")},
                                                            {QStringLiteral("CFBundleVersion"), build}}));
    }

    NativeUpdateManifest manifest(qint64 build, const QString &notes = QStringLiteral("## New\n- faster")) const
    {
        NativeUpdateManifest m;
        m.schemaVersion = 1;
        m.product = QStringLiteral("kivaro");
        m.version = QStringLiteral("2.%1").arg(build);
        m.build = build;
        m.downloadURL = m_server.url(QStringLiteral("/Kivaro.zip")).toString();
        m.sha256 = QString(64, QLatin1Char('0'));
        m.releaseNotes = notes;
        return m;
    }

    NativeUpdater &updater(bool enabled = true)
    {
        if (!m_updater) {
            NativeUpdateConfiguration config = configuration(m_server.url(QStringLiteral("/downloads/update.json")));
            config.isEnabled = enabled;
            NativeUpdaterServices services;
            services.clock = m_clock;
            services.tls = m_server.clientConfiguration();
            services.promptDefaults = m_promptTimes;
            services.runningBundle = [this] { return NativeBundle::open(m_runningPath); };
            services.preferredLanguages = [] { return QStringList{QStringLiteral("zh_TW.UTF-8")}; };
            services.openURL = [this](const QUrl &url) { m_opened << url; };
            services.requestTermination = [this] { ++m_terminations; };
            if (!m_defaultAlert) {
                services.showAlert = [this](const NativeUpdatePrompt &prompt, NativeUpdateAlertStyle style, std::function<void(bool)> answer) {
                    m_alerts << std::pair(prompt.title, style);
                    answer(false);
                };
            }
            services.prepareOptions.stagingRoot = m_staging.path();
            m_updater = std::make_unique<NativeUpdater>(config, m_defaults, services);
        }
        return *m_updater;
    }

    // Installs a presenter that keeps each prompt unanswered until the test answers it.
    void holdPrompts()
    {
        updater().setPromptPresenter([this](const NativeUpdatePrompt &prompt, std::function<void(bool)> answer) {
            m_prompts.push_back({prompt, std::move(answer)});
        });
    }

    // A signed release 2.2 (build 2) and its manifest on the server.
    void publishRelease()
    {
        QTemporaryDir folder;
        BundleRecipe recipe;
        recipe.version = QStringLiteral("2.2");
        recipe.build = 2;
        const QByteArray zip = zipOf(makeBundle(folder.path(), recipe));
        NativeUpdateManifest published = manifestFor(zip, recipe, m_server.url(QStringLiteral("/Kivaro.zip")).toString());
        published.releaseNotes = QStringLiteral("notes");
        m_server.serve(QStringLiteral("/downloads/update.json"), published.encode());
        m_server.serve(QStringLiteral("/Kivaro.zip"), zip);
    }

    bool settled() { return TestSupport::waitUntil([&] { return !updater().isRequestInFlight(); }, 15000); }
    int manifestRequests() const { return int(m_server.requests().count(QStringLiteral("/downloads/update.json"))); }

    LoopbackHttpsServer m_server;
    std::shared_ptr<ManualClock> m_clock = std::make_shared<ManualClock>();
    Platform::UserDefaults m_defaults = Platform::UserDefaults::suite(QStringLiteral("updater-test-") + QUuid::createUuid().toString(QUuid::Id128));
    Platform::UserDefaults m_promptTimes = Platform::UserDefaults::suite(QStringLiteral("updater-prompts-") + QUuid::createUuid().toString(QUuid::Id128));
    QTemporaryDir m_running;
    QString m_runningPath = m_running.path();
    QTemporaryDir m_staging;
    std::unique_ptr<NativeUpdater> m_updater;
    std::vector<ShownPrompt> m_prompts;
    QList<std::pair<QString, NativeUpdateAlertStyle>> m_alerts;
    QList<QUrl> m_opened;
    int m_terminations = 0;
    bool m_defaultAlert = false;
};

} // namespace

TEST_F(Updater, AFreshInstallationSchedulesNothingUntilTheSwitchIsOn)
{
    NativeUpdater &u = updater();
    EXPECT_FALSE(u.automaticallyChecksForUpdates());
    u.startAutomaticChecks();
    EXPECT_TRUE(m_clock->pending().empty());
    u.setAutomaticallyChecksForUpdates(true);
    EXPECT_EQ(m_clock->pending(), (std::vector<double>{4, 21'600}));
    EXPECT_TRUE(m_defaults.boolean(u.switchKey()));
    EXPECT_EQ(u.switchKey(), QStringLiteral("NativeUpdater.kivaro.automaticallyChecksForUpdates"));

    // Off and on again: both delays start over from now.
    m_clock->advance(100);
    u.setAutomaticallyChecksForUpdates(false);
    EXPECT_TRUE(m_clock->pending().empty());
    EXPECT_FALSE(m_defaults.boolean(u.switchKey()));
    EXPECT_TRUE(m_defaults.contains(u.switchKey()));
    u.setAutomaticallyChecksForUpdates(true);
    EXPECT_EQ(m_clock->pending(), (std::vector<double>{4, 21'600}));

    // A new updater on the same store reads the switch.
    m_updater.reset();
    EXPECT_TRUE(updater().automaticallyChecksForUpdates());
    EXPECT_TRUE(m_clock->pending().empty()); // until automatic checks are asked for
}

TEST_F(Updater, AutomaticChecksRunOnScheduleAndPromptOnceADayPerBuild)
{
    holdPrompts();
    NativeUpdater &u = updater();
    u.setAutomaticallyChecksForUpdates(true);
    u.startAutomaticChecks();
    m_clock->advance(3.9);
    EXPECT_EQ(manifestRequests(), 0);
    m_clock->advance(0.1);
    ASSERT_TRUE(settled());
    EXPECT_EQ(manifestRequests(), 1);
    EXPECT_EQ(u.state(), NativeUpdateState::available(QStringLiteral("2.2")));
    ASSERT_EQ(m_prompts.size(), 1u);
    EXPECT_EQ(m_prompts[0].prompt.title, QStringLiteral("Kivaro 2.2 is available"));
    EXPECT_EQ(m_prompts[0].prompt.secondary, QStringLiteral("Later"));
    EXPECT_EQ(m_prompts[0].prompt.releaseNotes, QStringLiteral("## New\n- faster"));
    EXPECT_EQ(m_promptTimes.real(u.promptKey(2)), m_clock->now());
    m_prompts[0].answer(false);

    m_clock->advance(21'600 - 4);
    ASSERT_TRUE(settled());
    EXPECT_EQ(manifestRequests(), 2);
    EXPECT_EQ(m_prompts.size(), 1u); // the same build within a day: no prompt

    m_server.serve(QStringLiteral("/downloads/update.json"), manifest(3).encode());
    m_clock->advance(21'600);
    ASSERT_TRUE(settled());
    ASSERT_EQ(m_prompts.size(), 2u); // another build prompts at once
    m_prompts[1].answer(false);

    m_clock->advance(21'600 * 3);
    ASSERT_TRUE(settled());
    EXPECT_EQ(m_prompts.size(), 2u);
    m_clock->advance(21'600);
    ASSERT_TRUE(settled());
    EXPECT_EQ(m_prompts.size(), 3u); // a day after the last prompt for build 3
}

TEST_F(Updater, ManualChecksAlwaysPromptAndReportTheOutcome)
{
    holdPrompts();
    NativeUpdater &u = updater();
    m_promptTimes.set(u.promptKey(2), m_clock->now());
    u.checkForUpdates(true);
    ASSERT_TRUE(settled());
    ASSERT_EQ(m_prompts.size(), 1u);
    m_prompts[0].answer(false);

    m_server.serve(QStringLiteral("/downloads/update.json"), manifest(1).encode());
    u.checkForUpdates(true);
    ASSERT_TRUE(settled());
    EXPECT_EQ(u.state(), NativeUpdateState::current());
    ASSERT_EQ(m_prompts.size(), 2u);
    EXPECT_EQ(m_prompts[1].prompt.title, QStringLiteral("Kivaro is up to date."));
    EXPECT_EQ(m_prompts[1].prompt.primary, QStringLiteral("OK"));
    EXPECT_EQ(m_prompts[1].prompt.secondary, std::nullopt);
    m_prompts[1].answer(true);
    EXPECT_TRUE(u.availableManifest().has_value()); // kept after a later "current"

    m_server.route(QStringLiteral("/downloads/update.json"), {ScriptedReply::Kind::body, 404, "no", {}, {}});
    u.checkForUpdates(false);
    ASSERT_TRUE(settled());
    EXPECT_EQ(u.state(), NativeUpdateState::failed(QStringLiteral("Update check failed: The server returned an invalid response.")));
    EXPECT_EQ(m_prompts.size(), 2u); // automatic: no alert
    u.checkForUpdates(true);
    ASSERT_TRUE(settled());
    ASSERT_EQ(m_prompts.size(), 3u);
    EXPECT_EQ(m_prompts[2].prompt.title, u.state().text());
}

TEST_F(Updater, OneRequestAtATimeAndANewResultReplacesAnOpenPrompt)
{
    holdPrompts();
    NativeUpdater &u = updater();
    u.checkForUpdates(true);
    u.checkForUpdates(true);
    EXPECT_EQ(u.state(), NativeUpdateState::checking());
    ASSERT_TRUE(settled());
    EXPECT_EQ(manifestRequests(), 1);
    ASSERT_EQ(m_prompts.size(), 1u);

    // The prompt is still open: only a check in flight blocks another; "Check for Updates" is
    // answered with a new prompt, which the presenter puts in place of the open one.
    u.checkForUpdates(true);
    u.checkForUpdates(true);
    ASSERT_TRUE(settled());
    EXPECT_EQ(manifestRequests(), 2);
    ASSERT_EQ(m_prompts.size(), 2u);
    EXPECT_EQ(m_prompts[1].prompt.title, m_prompts[0].prompt.title);

    // So does a plain message left open.
    m_server.serve(QStringLiteral("/downloads/update.json"), QByteArray("{}"));
    u.checkForUpdates(true);
    ASSERT_TRUE(settled());
    ASSERT_EQ(m_prompts.size(), 3u);
    EXPECT_FALSE(m_prompts[2].prompt.secondary.has_value());
    u.checkForUpdates(true);
    ASSERT_TRUE(settled());
    EXPECT_EQ(manifestRequests(), 4);
    EXPECT_EQ(m_prompts.size(), 4u);
}

// Without a presenter the updater's own alert shows the manifest's texts as plain text (a version
// written as markup loads nothing), and a newer alert takes the place of one still open.
TEST_F(Updater, TheFallbackAlertShowsPlainTextAndIsReplaced)
{
    NativeUpdateManifest published = manifest(2);
    published.version = QStringLiteral("<img src=x.png>");
    m_server.serve(QStringLiteral("/downloads/update.json"), published.encode());
    m_defaultAlert = true;
    NativeUpdater &u = updater();
    const auto openBoxes = [] {
        QList<QMessageBox *> boxes;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
                boxes << box;
        }
        return boxes;
    };
    u.checkForUpdates(true);
    ASSERT_TRUE(settled());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return openBoxes().size() == 1; }, 5000));
    QMessageBox *box = openBoxes().first();
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_TRUE(box->text().contains(QStringLiteral("<img src=x.png>")));
    for (QLabel *label : box->findChildren<QLabel *>()) {
        if (!label->text().isEmpty()) {
            EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
        }
    }

    // Checking again while it is open: a new alert, the old one gone.
    QPointer<QMessageBox> first(box);
    u.checkForUpdates(true);
    ASSERT_TRUE(settled());
    EXPECT_EQ(manifestRequests(), 2);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !first || !first->isVisible(); }, 5000));
    EXPECT_EQ(openBoxes().size(), 1);
    for (QMessageBox *open : openBoxes())
        open->reject();
}

// The time of a prompt that cannot be stored does not keep the prompt from showing.
TEST_F(Updater, APromptShowsEvenWhenItsTimeCannotBeStored)
{
    const QString file = Platform::UserDefaults::folder() + QLatin1Char('/') + m_promptTimes.domain() + QStringLiteral(".plist");
    ASSERT_TRUE(QDir().mkpath(file));
    holdPrompts();
    updater().checkForUpdates(true);
    ASSERT_TRUE(settled());
    ASSERT_EQ(m_prompts.size(), 1u);
    EXPECT_EQ(m_prompts[0].prompt.title, QStringLiteral("Kivaro 2.2 is available"));
    QDir(file).removeRecursively();
}

TEST_F(Updater, ADisabledConfigurationNeverChecks)
{
    NativeUpdater &u = updater(false);
    holdPrompts();
    u.setAutomaticallyChecksForUpdates(true);
    u.startAutomaticChecks();
    EXPECT_TRUE(m_clock->pending().empty());
    u.checkForUpdates(false);
    EXPECT_TRUE(m_prompts.empty());
    u.performPrimaryAction();
    ASSERT_EQ(m_prompts.size(), 1u);
    EXPECT_EQ(m_prompts[0].prompt.title, QStringLiteral("Development builds do not check for production updates."));
    EXPECT_EQ(u.state(), NativeUpdateState::idle());
    EXPECT_EQ(u.statusText(), QStringLiteral("Development builds do not update automatically"));
    EXPECT_EQ(manifestRequests(), 0);
}

TEST_F(Updater, ARunningBuildThatIsNoNumberTakesAnyManifestAsNewer)
{
    writeRunningBundle(QStringLiteral("dev"));
    m_server.serve(QStringLiteral("/downloads/update.json"), manifest(1).encode());
    holdPrompts();
    updater().checkForUpdates(false);
    ASSERT_TRUE(settled());
    EXPECT_EQ(updater().state().kind(), Case::available);
}

TEST_F(Updater, StatusTextAndActionFollowTheState)
{
    holdPrompts();
    NativeUpdater &u = updater();
    EXPECT_EQ(u.statusText(), QStringLiteral("Automatic update checks are off"));
    EXPECT_EQ(u.actionTitle(), QStringLiteral("Check for Updates"));
    u.checkForUpdates(true);
    EXPECT_EQ(u.statusText(), QStringLiteral("Checking for updates…"));
    EXPECT_TRUE(u.actionDisabled());
    ASSERT_TRUE(settled());
    EXPECT_EQ(u.statusText(), QStringLiteral("Version 2.2 is available"));
    EXPECT_EQ(u.actionTitle(), QStringLiteral("Download Update"));
    EXPECT_FALSE(u.actionDisabled());
    m_prompts[0].answer(false);

    // The primary action downloads; this archive is no archive at all.
    m_server.serve(QStringLiteral("/Kivaro.zip"), "not a zip");
    u.performPrimaryAction();
    EXPECT_EQ(u.statusText(), QStringLiteral("Downloading 2.2…"));
    EXPECT_TRUE(u.actionDisabled());
    ASSERT_TRUE(settled());
    EXPECT_EQ(u.state(), NativeUpdateState::failed(QStringLiteral("Update download failed: The update archive is damaged. Download it again.")));
    EXPECT_EQ(u.statusText(), u.state().text());
    ASSERT_EQ(m_prompts.size(), 2u); // download failures always alert
    EXPECT_EQ(u.actionTitle(), QStringLiteral("Check for Updates"));
}

TEST_F(Updater, AcceptingAPromptDownloadsVerifiesAndAsksToRestart)
{
    publishRelease();

    holdPrompts();
    NativeUpdater &u = updater();
    u.checkForUpdates(true);
    ASSERT_TRUE(settled());
    ASSERT_EQ(m_prompts.size(), 1u);
    m_prompts[0].answer(true);
    EXPECT_EQ(u.state(), NativeUpdateState::downloading(QStringLiteral("2.2")));
    ASSERT_TRUE(settled());
    ASSERT_EQ(u.state(), NativeUpdateState::ready(QStringLiteral("2.2"))) << u.statusText().toStdString();
    ASSERT_TRUE(u.stagedApplication());
    EXPECT_TRUE(u.stagedApplication()->startsWith(m_staging.path()));
    ASSERT_EQ(m_prompts.size(), 2u);
    EXPECT_EQ(m_prompts[1].prompt.title, QStringLiteral("Kivaro 2.2 is ready"));
    EXPECT_EQ(m_prompts[1].prompt.primary, QStringLiteral("Restart and Update"));
    EXPECT_EQ(u.statusText(), QStringLiteral("2.2 downloaded; restart to install"));
    EXPECT_EQ(u.actionTitle(), QStringLiteral("Restart and Update"));

    // Between verification and installation the staged bundle changed: the installer never starts.
    QFile library(*u.stagedApplication() + QStringLiteral("/lib/libkivaro-test.so.1"));
    ASSERT_TRUE(library.open(QIODevice::Append));
    library.write("!");
    library.close();
    m_prompts[1].answer(true);
    EXPECT_EQ(u.state(), NativeUpdateState::failed(
                             QStringLiteral("Unable to start the update: The update failed developer signature or notarization verification.")));
    m_clock->advance(1);
    EXPECT_EQ(m_terminations, 0);
}

TEST_F(Updater, TheInstallerDoesNotStartWhenTheApplicationCannotBeReplaced)
{
    publishRelease();
    holdPrompts();
    NativeUpdater &u = updater();
    u.checkForUpdates(true);
    ASSERT_TRUE(settled());
    m_prompts[0].answer(true);
    ASSERT_TRUE(settled());
    ASSERT_EQ(u.state().kind(), Case::ready);

    // The application now runs through a link to its bundle: not a folder the installer may swap.
    QTemporaryDir links;
    m_runningPath = links.path() + QStringLiteral("/Kivaro.app");
    ASSERT_TRUE(QFile::link(m_running.path(), m_runningPath));
    m_prompts[1].answer(true);
    EXPECT_EQ(u.state(), NativeUpdateState::failed(QStringLiteral(
                             "Unable to start the update: The app could not be replaced. Make sure it is in Applications and your account can write to it.")));
    m_clock->advance(1);
    EXPECT_EQ(m_terminations, 0);
}

TEST_F(Updater, HistoryOpensTheChangelogOfTheNormalisedLanguage)
{
    updater().openUpdateHistory();
    ASSERT_EQ(m_opened.size(), 1);
    EXPECT_EQ(m_opened[0], QUrl(QStringLiteral("https://127.0.0.1:%1/zh-tw/changelog/").arg(m_server.port())));
}

TEST_F(Updater, WithoutAPresenterTheAlertCarriesTheStyle)
{
    m_server.route(QStringLiteral("/downloads/update.json"), {ScriptedReply::Kind::body, 500, "broken", {}, {}});
    NativeUpdater &u = updater();
    u.checkForUpdates(true);
    ASSERT_TRUE(settled());
    ASSERT_EQ(m_alerts.size(), 1);
    EXPECT_EQ(m_alerts[0].second, NativeUpdateAlertStyle::warning);
    m_server.serve(QStringLiteral("/downloads/update.json"), manifest(1).encode());
    u.checkForUpdates(true);
    ASSERT_TRUE(settled());
    ASSERT_EQ(m_alerts.size(), 2);
    EXPECT_EQ(m_alerts[1], std::pair(QStringLiteral("Kivaro is up to date."), NativeUpdateAlertStyle::informational));
}

TEST_F(Updater, DestroyedWhileCheckingEndsQuietly)
{
    m_server.route(QStringLiteral("/downloads/update.json"), {ScriptedReply::Kind::stall, 200, "{", {}, {}});
    updater().checkForUpdates(true);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return manifestRequests() == 1; }, 10000));
    m_updater.reset();
    EXPECT_TRUE(TestSupport::waitUntil([] { return Platform::runningTaskCount() == 0; }, 5000));
}
