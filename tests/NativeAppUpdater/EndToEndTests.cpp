// An update from build N to build N+1 of a real test bundle, the whole way: the check against
// the loopback server, the download, the verification, the installer mode started by the
// updater, the relaunch, and the rollback of a build that dies at start.

#include "InstallerFixture.h"
#include "LoopbackHttpsServer.h"

#include "NativeAppUpdater/NativeCodeSignature.h"
#include "NativeAppUpdater/NativeUpdater.h"

#include <QUuid>

using namespace NativeAppUpdater;
using namespace UpdaterTesting;

namespace {

class EndToEnd : public InstallerFixture {
protected:
    void SetUp() override
    {
        InstallerFixture::SetUp();
        // The installer inherits the updater's environment, as it would the application's.
        m_savedConfig = qgetenv("KIVARO_TEST_UPDATER_CONFIG");
        m_savedMarkers = qgetenv("KIVARO_TEST_MARKER_DIR");
        qputenv("KIVARO_TEST_UPDATER_CONFIG", configFile().toLocal8Bit());
        qputenv("KIVARO_TEST_MARKER_DIR", markers().toLocal8Bit());
    }
    void TearDown() override
    {
        m_updater.reset();
        qputenv("KIVARO_TEST_UPDATER_CONFIG", m_savedConfig);
        qputenv("KIVARO_TEST_MARKER_DIR", m_savedMarkers);
        Platform::UserDefaults::removePersistentDomain(m_defaults.domain());
        InstallerFixture::TearDown();
    }

    // Publishes build N+1 on the loopback server.
    void publish(const BundleRecipe &recipe)
    {
        QTemporaryDir build;
        const QByteArray zip = zipOf(makeBundle(build.path(), recipe));
        NativeUpdateManifest manifest = manifestFor(zip, recipe, m_server.url(QStringLiteral("/Kivaro-2.0.zip")).toString());
        manifest.releaseNotes = QStringLiteral("## 2.0\n- new");
        m_server.serve(QStringLiteral("/downloads/update.json"), manifest.encode());
        m_server.serve(QStringLiteral("/Kivaro-2.0.zip"), zip);
    }

    // The updater of the installed build N: its process is a stand-in that the termination
    // request ends, as quitting would end the application.
    NativeUpdater &updater()
    {
        m_application = startSleeper(QStringLiteral("120"));
        NativeUpdaterServices services;
        services.clock = m_clock;
        services.tls = m_server.clientConfiguration();
        services.promptDefaults = m_defaults;
        const QString installed = m_installed;
        services.runningBundle = [installed] { return NativeBundle::open(installed); };
        services.processId = [this] { return m_application; };
        services.requestTermination = [this] {
            ++m_terminations;
            if (m_refusedQuits > 0) {
                --m_refusedQuits; // the application said no (its editor was busy, say)
                return;
            }
            m_sleepers.last()->kill();
        };
        services.prepareOptions.stagingRoot = staging();
        m_updater = std::make_unique<NativeUpdater>(configuration(m_server.url(QStringLiteral("/downloads/update.json"))), m_defaults, services);
        m_updater->setPromptPresenter([this](const NativeUpdatePrompt &prompt, std::function<void(bool)> answer) {
            m_titles << prompt.title;
            answer(true);
        });
        return *m_updater;
    }

    LoopbackHttpsServer m_server;
    std::shared_ptr<ManualClock> m_clock = std::make_shared<ManualClock>();
    Platform::UserDefaults m_defaults = Platform::UserDefaults::suite(QStringLiteral("end-to-end-") + QUuid::createUuid().toString(QUuid::Id128));
    std::unique_ptr<NativeUpdater> m_updater;
    qint64 m_application = 0;
    int m_terminations = 0;
    int m_refusedQuits = 0;
    QStringList m_titles;
    QByteArray m_savedConfig;
    QByteArray m_savedMarkers;
};

} // namespace

TEST_F(EndToEnd, UpdatesBuildOneToBuildTwo)
{
    publish(newRecipe());
    NativeUpdater &u = updater();
    u.checkForUpdates(true);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return u.state().kind() == NativeUpdateState::Case::ready; }, 30'000)) << u.statusText().toStdString();
    EXPECT_EQ(m_titles, (QStringList{QStringLiteral("Kivaro 2.0 is available"), QStringLiteral("Kivaro 2.0 is ready")}));

    // "Restart and Update" was accepted: the installer runs and waits for this application.
    ASSERT_EQ(m_clock->pending().size(), 1u);
    EXPECT_NEAR(m_clock->pending()[0], 0.15, 1e-6);
    u.performPrimaryAction(); // a second press while the installer waits starts no second one
    EXPECT_EQ(m_clock->pending().size(), 1u);
    m_clock->advance(0.15);
    EXPECT_EQ(m_terminations, 1);

    ASSERT_TRUE(TestSupport::waitUntil([&] { return installedVersion() == QLatin1String("2.0"); }, 30'000));
    EXPECT_TRUE(waitForMarker("started-2.0", 30'000));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return hiddenSiblings().isEmpty(); }, 30'000)) << hiddenSiblings().join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(marked("started-1.0").isEmpty());
    EXPECT_NO_THROW(NativeCodeSignature::verifyBundle(m_installed, configuration(), {QStringLiteral("2.0"), 2}));
}

TEST_F(EndToEnd, ABuildThatCrashesIsRolledBackAndTheOldOneRelaunched)
{
    publish(newRecipe(Behaviour::crash));
    NativeUpdater &u = updater();
    u.checkForUpdates(true);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return u.state().kind() == NativeUpdateState::Case::ready; }, 30'000)) << u.statusText().toStdString();
    m_clock->advance(0.15);
    ASSERT_TRUE(waitForMarker("crashed-2.0", 30'000));
    ASSERT_TRUE(waitForMarker("started-1.0", 30'000));
    EXPECT_EQ(installedVersion(), QStringLiteral("1.0"));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return hiddenSiblings().isEmpty(); }, 10'000)) << hiddenSiblings().join(QLatin1Char(' ')).toStdString();
    EXPECT_NO_THROW(NativeCodeSignature::verifyBundle(m_installed, configuration(), {QStringLiteral("1.0"), 1}));
}

// The application refused the quit (it had unfinished work): the next press of "restart and
// update" asks again, and the installer of the first press, still waiting, installs.
TEST_F(EndToEnd, AQuitRefusedOnceIsAskedAgainByTheNextPress)
{
    publish(newRecipe());
    m_refusedQuits = 1;
    NativeUpdater &u = updater();
    u.checkForUpdates(true);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return u.state().kind() == NativeUpdateState::Case::ready; }, 30'000)) << u.statusText().toStdString();
    m_clock->advance(0.15);
    EXPECT_EQ(m_terminations, 1);
    EXPECT_EQ(installedVersion(), QStringLiteral("1.0"));

    u.performPrimaryAction();
    ASSERT_EQ(m_clock->pending().size(), 1u);
    m_clock->advance(0.15);
    EXPECT_EQ(m_terminations, 2);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return installedVersion() == QLatin1String("2.0"); }, 30'000));
    EXPECT_TRUE(waitForMarker("started-2.0", 30'000));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return hiddenSiblings().isEmpty(); }, 30'000)) << hiddenSiblings().join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(marked("started-2.0").size(), 1) << "one installer, one relaunch";
}
