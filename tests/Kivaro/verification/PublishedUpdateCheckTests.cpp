// The published update check in-process against the updater tests' loopback HTTPS server, with
// a configuration and a running bundle of the test's own (the shipped binary has no such
// override): a manifest for exactly the running build passes with its two pictures and its
// record; every other case fails with the check's message and leaves no pictures of a pass.

#include "LoopbackHttpsServer.h"
#include "UpdaterTestSupport.h"

#include "Kivaro/verification/UpdateVerification.h"
#include "KivaroCore/ShotError.h"
#include "NativeAppUpdater/NativeUpdateManifest.h"
#include "Platform/Defaults/UserDefaults.h"
#include "Platform/PropertyList/PropertyList.h"
#include "Support/TaskTesting.h"

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
        NativeUpdateManifest manifest;
        manifest.schemaVersion = 1;
        manifest.product = product;
        manifest.version = version;
        manifest.build = build;
        manifest.downloadURL = server.url(QStringLiteral("/Kivaro.zip")).toString();
        manifest.sha256 = QString(64, QLatin1Char('a'));
        server.serve(QStringLiteral("/downloads/update.json"), manifest.encode());
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

} // namespace
