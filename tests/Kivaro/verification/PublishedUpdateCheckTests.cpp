// The update scenarios in-process. The update settings scenario on the application's own
// configuration and on others; the update prompt scenario on the application's prompt window.
// The published update check in-process against the updater tests' loopback HTTPS server, with
// a configuration and a running bundle of the test's own (the shipped binary has no such
// override): a manifest for exactly the running build passes with its two pictures and its
// record; every other case fails with the check's message and leaves no pictures of a pass.

#include "LoopbackHttpsServer.h"
#include "UpdaterTestSupport.h"

#include "Kivaro/update/KivaroUpdateConfiguration.h"
#include "Kivaro/verification/UpdatePromptVerification.h"
#include "Kivaro/verification/UpdateVerification.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "KivaroCore/ShotError.h"
#include "NativeAppUpdater/NativeUpdateManifest.h"
#include "NativeAppUpdater/UpdateFetch.h"
#include "Platform/Defaults/UserDefaults.h"
#include "Platform/PropertyList/PropertyList.h"
#include "Support/TaskTesting.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace Kivaro;
using NativeAppUpdater::NativeBundle;
using NativeAppUpdater::NativeUpdateManifest;

class PublishedUpdateCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(running.isValid());
        ASSERT_TRUE(output.isValid());
        writeRunningBundle(QStringLiteral("3.1"), QStringLiteral("31"));
    }

    void writeRunningBundle(const QString &version, const QString &build)
    {
        QFile file(running.filePath(QStringLiteral("Info.plist")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(Platform::encodePropertyList(QVariantMap{{QStringLiteral("CFBundleIdentifier"), QStringLiteral("app.kivaro.Kivaro")},
                                                            {QStringLiteral("CFBundleShortVersionString"), version},
                                                            {QStringLiteral("CFBundleVersion"), build}}));
    }

    void publish(const QString &version, qint64 build, const QString &product = QStringLiteral("kivaro"))
    {
        server.serve(QStringLiteral("/downloads/update.json"), manifestFor(version, build, product));
    }
    QByteArray manifestFor(const QString &version, qint64 build, const QString &product = QStringLiteral("kivaro")) const
    {
        NativeUpdateManifest manifest;
        manifest.schemaVersion = 1;
        manifest.product = product;
        manifest.version = version;
        manifest.build = build;
        manifest.downloadURL = server.url(QStringLiteral("/Kivaro.zip")).toString();
        manifest.sha256 = QString(64, QLatin1Char('a'));
        return manifest.encode();
    }

    UpdateVerification::PublishedCheckEnvironment environment(bool enabled = true)
    {
        UpdateVerification::PublishedCheckEnvironment env;
        env.configuration = UpdaterTesting::configuration(server.url(QStringLiteral("/downloads/update.json")));
        env.configuration.isEnabled = enabled;
        env.services.tls = server.clientConfiguration();
        const QString path = running.path();
        env.services.runningBundle = [path] { return NativeBundle::open(path); };
        return env;
    }

    // The check's outcome: its record, or the error's description.
    std::variant<QJsonObject, QString> check(const UpdateVerification::PublishedCheckEnvironment &env)
    {
        try {
            return TestSupport::run(UpdateVerification::checkPublished(output.path(), env), 40000);
        } catch (...) {
            return UpdateVerification::describe(std::current_exception());
        }
    }

    QStringList suitesLeft() const
    {
        return QDir(Platform::UserDefaults::folder()).entryList({QStringLiteral("kivaro-published-update-*")}, QDir::Files);
    }
    QStringList pictures() const
    {
        return QDir(output.path()).entryList({QStringLiteral("installed-update-*.png")}, QDir::Files, QDir::Name);
    }

    UpdaterTesting::LoopbackHttpsServer server;
    QTemporaryDir running;
    QTemporaryDir output;
};

TEST_F(PublishedUpdateCheck, AManifestForTheRunningBuildPassesWithItsPicturesAndRecord)
{
    publish(QStringLiteral("3.1"), 31);
    const auto outcome = check(environment());
    ASSERT_TRUE(std::holds_alternative<QJsonObject>(outcome)) << std::get<QString>(outcome).toStdString();
    const QJsonObject expected{
        {QStringLiteral("build"), 31},
        {QStringLiteral("checks"), QJsonArray{QStringLiteral("production manifest policy"), QStringLiteral("actual NativeUpdater current state")}},
        {QStringLiteral("manifestURL"), server.url(QStringLiteral("/downloads/update.json")).toString()},
        {QStringLiteral("status"), QStringLiteral("passed")},
        {QStringLiteral("version"), QStringLiteral("3.1")},
    };
    EXPECT_EQ(std::get<QJsonObject>(outcome), expected);
    // Two separate requests: the check's own and the fresh updater's.
    EXPECT_EQ(server.requests().count(QStringLiteral("/downloads/update.json")), 2);
    ASSERT_EQ(pictures(), (QStringList{QStringLiteral("installed-update-dark.png"), QStringLiteral("installed-update-light.png")}));
    const QImage light(QDir(output.path()).filePath(QStringLiteral("installed-update-light.png")));
    const QImage dark(QDir(output.path()).filePath(QStringLiteral("installed-update-dark.png")));
    ASSERT_FALSE(light.isNull());
    ASSERT_EQ(light.size(), dark.size());
    EXPECT_NE(light, dark) << "the two pictures show the two appearances";
    EXPECT_TRUE(suitesLeft().isEmpty());
}

TEST_F(PublishedUpdateCheck, AnyOtherBuildOrVersionFailsBeforeAnUpdaterIsMade)
{
    publish(QStringLiteral("3.1"), 32);
    auto outcome = check(environment());
    ASSERT_TRUE(std::holds_alternative<QString>(outcome));
    EXPECT_EQ(std::get<QString>(outcome), QStringLiteral("公开清单与当前版本不一致"));
    EXPECT_EQ(server.requests().count(QStringLiteral("/downloads/update.json")), 1);

    // A build number that is not a whole number fails even when the version matches.
    publish(QStringLiteral("3.1"), 31);
    writeRunningBundle(QStringLiteral("3.1"), QStringLiteral("31b"));
    outcome = check(environment());
    ASSERT_TRUE(std::holds_alternative<QString>(outcome));
    EXPECT_EQ(std::get<QString>(outcome), QStringLiteral("公开清单与当前版本不一致"));
    EXPECT_TRUE(pictures().isEmpty());
    EXPECT_TRUE(suitesLeft().isEmpty());
}

TEST_F(PublishedUpdateCheck, PolicyNetworkAndUpdaterFailuresAreTheCheckFailure)
{
    // The updater's own rules: another product.
    publish(QStringLiteral("3.1"), 31, QStringLiteral("other"));
    auto outcome = check(environment());
    ASSERT_TRUE(std::holds_alternative<QString>(outcome));
    EXPECT_FALSE(std::get<QString>(outcome).isEmpty());

    // A status other than success.
    server.route(QStringLiteral("/downloads/update.json"), {UpdaterTesting::ScriptedReply::Kind::body, 404, QByteArrayLiteral("gone"), {}, {}});
    outcome = check(environment());
    ASSERT_TRUE(std::holds_alternative<QString>(outcome));

    // A disabled configuration starts no check: the updater's status line is the failure.
    publish(QStringLiteral("3.1"), 31);
    outcome = check(environment(false));
    ASSERT_TRUE(std::holds_alternative<QString>(outcome));
    EXPECT_FALSE(std::get<QString>(outcome).isEmpty());
    EXPECT_TRUE(pictures().isEmpty());
    EXPECT_TRUE(suitesLeft().isEmpty());
}

// The updater takes any success, the check only 200: a manifest answered with 203 or 204 fails
// as an invalid server response, before any updater is made.
TEST_F(PublishedUpdateCheck, ASuccessOtherThan200FailsAsAnInvalidResponse)
{
    const QByteArray manifest = manifestFor(QStringLiteral("3.1"), 31);
    const QString invalid =
        NativeAppUpdater::UpdateNetworkError(NativeAppUpdater::UpdateNetworkError::Reason::badServerResponse, QString()).localizedDescription();
    for (const auto &[status, body] : {std::pair{203, manifest}, std::pair{204, QByteArray()}}) {
        server.route(QStringLiteral("/downloads/update.json"), {UpdaterTesting::ScriptedReply::Kind::body, status, body, {}, {}});
        const int before = server.requests().count(QStringLiteral("/downloads/update.json"));
        const auto outcome = check(environment());
        ASSERT_TRUE(std::holds_alternative<QString>(outcome)) << status;
        EXPECT_EQ(std::get<QString>(outcome), invalid) << status;
        EXPECT_EQ(server.requests().count(QStringLiteral("/downloads/update.json")), before + 1) << status;
    }
    EXPECT_TRUE(pictures().isEmpty());
    EXPECT_TRUE(suitesLeft().isEmpty());
}

// The pictures are part of the check: when one cannot be written the check fails, whatever the
// manifest and the updater said.
TEST_F(PublishedUpdateCheck, APictureThatCannotBeWrittenFailsTheCheck)
{
    publish(QStringLiteral("3.1"), 31);
    ASSERT_TRUE(QDir(output.path()).mkdir(QStringLiteral("installed-update-dark.png")));
    const auto outcome = check(environment());
    ASSERT_TRUE(std::holds_alternative<QString>(outcome));
    EXPECT_FALSE(std::get<QString>(outcome).isEmpty());
    EXPECT_TRUE(suitesLeft().isEmpty());
}

// ---- the update settings and prompt scenarios -------------------------------------------------

class UpdateScenarios : public ::testing::Test {
protected:
    QString failureOf(Platform::Task<void> task)
    {
        try {
            TestSupport::run(std::move(task), 20000);
            return QString();
        } catch (...) {
            return UpdateVerification::describe(std::current_exception());
        }
    }
    QStringList filesIn() const { return QDir(output.path()).entryList(QDir::Files, QDir::Name); }
    static QStringList suitesLeft()
    {
        return QDir(Platform::UserDefaults::folder()).entryList({QStringLiteral("kivaro-update-verification-*")}, QDir::Files);
    }
    QTemporaryDir output;
};

TEST_F(UpdateScenarios, UpdateSettingsPassOnTheReleasedConfigurationAndStoreTheSwitch)
{
    EXPECT_EQ(failureOf(UpdateVerification::run(output.path())), QString());
    EXPECT_EQ(filesIn(), (QStringList{QStringLiteral("update-settings-dark.png"), QStringLiteral("update-settings-light.png")}));
    const QImage light(QDir(output.path()).filePath(QStringLiteral("update-settings-light.png")));
    const QImage dark(QDir(output.path()).filePath(QStringLiteral("update-settings-dark.png")));
    EXPECT_FALSE(light.isNull());
    EXPECT_NE(light, dark);
    EXPECT_TRUE(suitesLeft().isEmpty());
    EXPECT_FALSE(Platform::UserDefaults::standard().contains(QStringLiteral("NativeUpdater.kivaro.automaticallyChecksForUpdates")));
}

TEST_F(UpdateScenarios, AnotherServerBundleOrTeamFailsBeforeAnyUpdater)
{
    const auto released = kivaroUpdateConfiguration(std::nullopt, {});
    for (int change = 0; change < 4; ++change) {
        auto other = released;
        if (change == 0)
            other.manifestURL = QUrl(QStringLiteral("https://example.invalid/downloads/update.json"));
        else if (change == 1)
            other.bundleIdentifier = QStringLiteral("app.other.Other");
        else if (change == 2)
            other.teamIdentifier = QStringLiteral("OTHERTEAM1");
        else
            other.allowedDownloadHosts.remove(QString::fromLatin1(ReleaseDistribution::downloadHost));
        EXPECT_EQ(failureOf(UpdateVerification::run(output.path(), other)), QStringLiteral("更新配置与正式分发不一致")) << change;
    }
    EXPECT_TRUE(filesIn().isEmpty());
    EXPECT_TRUE(suitesLeft().isEmpty());
}

// Writes to the run's suite fail from the moment a window is first shown (the settings window,
// after the switch was stored once): the suite's file is replaced by a link, which the
// preference store never writes through.
class BreakSuiteWritesWhenShown final : public QObject {
public:
    explicit BreakSuiteWritesWhenShown(QString elsewhere) : m_elsewhere(std::move(elsewhere)) { qApp->installEventFilter(this); }
    ~BreakSuiteWritesWhenShown() override { qApp->removeEventFilter(this); }
    bool broke() const { return m_broke; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_broke && event->type() == QEvent::Show && watched->isWidgetType() && static_cast<QWidget *>(watched)->isWindow()) {
            const QDir folder(Platform::UserDefaults::folder());
            for (const QString &name : folder.entryList({QStringLiteral("kivaro-update-verification-*")}, QDir::Files)) {
                QFile::remove(folder.filePath(name));
                m_broke = QFile::link(m_elsewhere, folder.filePath(name));
            }
        }
        return false;
    }

private:
    QString m_elsewhere;
    bool m_broke = false;
};

// Turning the switch on cannot be stored (the preference folder is a file), then turning it off
// cannot (the suite's file became a link): each fails with its own message, leaves no alert
// open and no suite behind, and the pictures taken before the failure stay.
TEST_F(UpdateScenarios, UpdateSettingsThatCannotStoreTheSwitchFailAndLeaveNoAlert)
{
    QTemporaryDir config;
    QFile blocker(config.filePath(QStringLiteral("kivaro")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    const QString turningOn = failureOf(UpdateVerification::run(output.path()));
    qputenv("XDG_CONFIG_HOME", savedConfig);
    EXPECT_EQ(turningOn, QStringLiteral("更新偏好未持久化"));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the updater's alert was answered";
    EXPECT_TRUE(filesIn().isEmpty());

    const QString elsewhere = config.filePath(QStringLiteral("elsewhere.plist"));
    BreakSuiteWritesWhenShown breaking(elsewhere);
    const QString turningOff = failureOf(UpdateVerification::run(output.path()));
    ASSERT_TRUE(breaking.broke());
    EXPECT_EQ(turningOff, QStringLiteral("关闭更新偏好未持久化"));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(filesIn(), (QStringList{QStringLiteral("update-settings-dark.png"), QStringLiteral("update-settings-light.png")}));
    EXPECT_FALSE(QFile::exists(elsewhere)) << "nothing written through the link";
    EXPECT_TRUE(suitesLeft().isEmpty());
}

// A picture that cannot be written (a folder stands at its name) fails the prompt run with the
// write's error, which names the file: no result, no prompt window left, the appearance back.
TEST_F(UpdateScenarios, UpdatePromptThatCannotWriteItsPictureFailsAndLeavesNothingOpen)
{
    auto &appearance = NativeAppAppearance::AppearanceManager::shared();
    appearance.setApplicationAppearance(NativeAppAppearance::Appearance::light);
    const QString picture = QDir(output.path()).filePath(QStringLiteral("custom-update-prompt-light.png"));
    ASSERT_TRUE(QDir().mkdir(picture));
    const QString failure = failureOf(UpdatePromptVerification::run(output.path()));
    EXPECT_TRUE(failure.contains(picture)) << failure.toStdString();
    EXPECT_TRUE(filesIn().isEmpty()) << "no result";
    EXPECT_EQ(appearance.applicationAppearance(), std::optional(NativeAppAppearance::Appearance::light));
    for (const QWidget *window : QApplication::topLevelWidgets())
        EXPECT_FALSE(window->isVisible()) << window->windowTitle().toStdString();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    appearance.setApplicationAppearance(std::nullopt);
}

TEST_F(UpdateScenarios, UpdatePromptAnswersBothWaysAndRestoresTheAppearance)
{
    auto &appearance = NativeAppAppearance::AppearanceManager::shared();
    appearance.setApplicationAppearance(NativeAppAppearance::Appearance::light);
    EXPECT_EQ(failureOf(UpdatePromptVerification::run(output.path())), QString());
    EXPECT_EQ(appearance.applicationAppearance(), std::optional(NativeAppAppearance::Appearance::light));
    EXPECT_EQ(filesIn(), (QStringList{QStringLiteral("custom-update-prompt-dark.png"), QStringLiteral("custom-update-prompt-light.png"),
                                      QStringLiteral("custom-update-prompt-result.json")}));
    QFile result(QDir(output.path()).filePath(QStringLiteral("custom-update-prompt-result.json")));
    ASSERT_TRUE(result.open(QIODevice::ReadOnly));
    const QByteArray bytes = result.readAll();
    EXPECT_EQ(bytes, QByteArray(UpdatePromptVerification::resultText));
    EXPECT_EQ(bytes.size(), 119);
    EXPECT_EQ(QByteArray(UpdatePromptVerification::releaseNotes).size(), 97);
    appearance.setApplicationAppearance(std::nullopt);
}

} // namespace
