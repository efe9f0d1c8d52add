// The privacy and localisation runs as CI runs them: the real kivaro process on an X server of
// its own with openbox, private XDG folders, an explicit LANGUAGE and a fresh evidence folder;
// each run checked by its exit status, its exact output lines and its evidence bytes.

#include "Kivaro/verification/PrivacyVerification.h"
#include "KivaroProcessFixture.h"
#include "Support/TestRun.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace KivaroProcessTesting;

namespace {

class PrivacyLocalizationRun : public KivaroProcessFixture {
protected:
    void SetUp() override
    {
        makePrivateFolders();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(display.startWindowManager());
    }
    void TearDown() override
    {
        // Nothing of a run lands in the user's folders.
        EXPECT_TRUE(QDir(home.filePath(QStringLiteral("config"))).isEmpty());
        EXPECT_TRUE(QDir(home.filePath(QStringLiteral("data"))).isEmpty());
        display.stopWindowManager();
    }

    Outcome run(const QStringList &arguments, const QString &language) const
    {
        QProcessEnvironment env = privateEnvironment(language, QStringLiteral("xcb"));
        for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"})
            env.remove(QString::fromLatin1(name));
        return runKivaro(env, arguments);
    }
};

// ---- privacy ---------------------------------------------------------------------------------

TEST_F(PrivacyLocalizationRun, PrivacyDragsAMaskAndKeepsTransparency)
{
    const QString folder = evidence(QStringLiteral("privacy"));
    const Outcome outcome = run({QStringLiteral("--verify"), QStringLiteral("--verify-privacy"), QStringLiteral("--evidence-dir"), folder},
                                QStringLiteral("en"));
    ASSERT_TRUE(outcome.finished);
    ASSERT_EQ(outcome.exitCode, 0) << outcome.errors.constData();
    EXPECT_TRUE(outcome.errors.isEmpty()) << outcome.errors.constData();
    const QString output = QString::fromUtf8(outcome.output);
    const QRegularExpression lines(QStringLiteral("^MASK FRAMES: \\[\\((\\d+\\.\\d+), (\\d+\\.\\d+), (\\d+\\.\\d+), (\\d+\\.\\d+)\\)\\]\nSCREENSHOT: ")
                                   + QRegularExpression::escape(folder) + QStringLiteral("/privacy-editor.png\n$"));
    const QRegularExpressionMatch match = lines.match(output);
    ASSERT_TRUE(match.hasMatch()) << outcome.output.constData();
    // The dragged mask covers the drag from (140, 100) to (390, 280) within a pixel or two.
    EXPECT_NEAR(match.captured(1).toDouble(), 140, 3);
    EXPECT_NEAR(match.captured(2).toDouble(), 100, 3);
    EXPECT_NEAR(match.captured(3).toDouble(), 250, 4);
    EXPECT_NEAR(match.captured(4).toDouble(), 180, 4);

    EXPECT_EQ(contents(folder + QStringLiteral("/summary.json")), QByteArray(Kivaro::PrivacyVerification::passSummary));
    EXPECT_EQ(contents(folder + QStringLiteral("/summary.json")).size(), 64);
    EXPECT_EQ(files(folder), (QStringList{QStringLiteral("before.png"), QStringLiteral("cache"), QStringLiteral("config"), QStringLiteral("data"), QStringLiteral("mosaic.png"),
                                          QStringLiteral("privacy-editor.png"), QStringLiteral("privacy.kivaro"), QStringLiteral("summary.json"),
                                          QStringLiteral("tmp")}));
    const QImage before(folder + QStringLiteral("/before.png"));
    const QImage mosaic(folder + QStringLiteral("/mosaic.png"));
    ASSERT_EQ(before.size(), QSize(640, 420));
    ASSERT_EQ(mosaic.size(), QSize(640, 420));
    EXPECT_EQ(before.convertToFormat(QImage::Format_ARGB32).pixelColor(5, 5).alpha(), 0);
    EXPECT_NEAR(before.convertToFormat(QImage::Format_ARGB32).pixelColor(40, 380).alphaF(), 0.5, 0.01);
    EXPECT_EQ(mosaic.convertToFormat(QImage::Format_ARGB32).pixelColor(5, 5).alpha(), 0);
    // Outside the mask the pixels are as they were; inside they differ.
    EXPECT_EQ(before.pixel(500, 350), mosaic.pixel(500, 350));
    EXPECT_NE(before.copy(180, 140, 136, 96), mosaic.copy(180, 140, 136, 96));
}

// A project that cannot be saved fails the run at that step: no pass, the failure record and one
// line, and an earlier pass in the folder does not survive.
TEST_F(PrivacyLocalizationRun, PrivacyFailsWhenTheProjectCannotBeSaved)
{
    const QString folder = evidence(QStringLiteral("privacy"));
    {
        QFile stale(folder + QStringLiteral("/summary.json"));
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
        stale.write(Kivaro::PrivacyVerification::passSummary);
    }
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("privacy.kivaro")));
    const Outcome outcome = run({QStringLiteral("--verify"), QStringLiteral("--verify-privacy"), QStringLiteral("--evidence-dir"), folder},
                                QStringLiteral("en"));
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 1);
    ASSERT_TRUE(outcome.errors.startsWith("Privacy verification failed: ")) << outcome.errors.constData();
    EXPECT_TRUE(outcome.errors.endsWith('\n'));
    EXPECT_EQ(outcome.errors.count('\n'), 1);
    const QJsonObject record = QJsonDocument::fromJson(contents(folder + QStringLiteral("/summary.json"))).object();
    EXPECT_EQ(record.value(QStringLiteral("status")).toString(), QStringLiteral("failed"));
    EXPECT_EQ(QStringLiteral("Privacy verification failed: ") + record.value(QStringLiteral("error")).toString() + u'\n',
              QString::fromUtf8(outcome.errors));
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/mosaic.png")));
}

// ---- localisation ----------------------------------------------------------------------------

struct Language {
    const char *environment;
    const char *expected; // nothing: the flag is left out
    const char *settingsItem; // the menu item that opens the settings
};

TEST_F(PrivacyLocalizationRun, LocalizationPassesInEachLanguageTheEnvironmentChose)
{
    const Language languages[] = {{"en", "en", "Settings…"}, {"zh_TW", "zh-Hant", "設定…"}, {"zh_CN", nullptr, "设置…"}};
    for (const Language &language : languages) {
        SCOPED_TRACE(language.environment);
        const QString folder = evidence(QStringLiteral("localization-") + QString::fromLatin1(language.environment));
        QStringList arguments{QStringLiteral("--verify"), QStringLiteral("--verify-localization"), QStringLiteral("--evidence-dir"), folder};
        if (language.expected)
            arguments << QStringLiteral("--expected-language") << QString::fromLatin1(language.expected);
        // The speech locale never chooses the interface language.
        arguments << QStringLiteral("--locale") << QStringLiteral("fr-FR");
        const Outcome outcome = run(arguments, QString::fromLatin1(language.environment));
        ASSERT_TRUE(outcome.finished);
        ASSERT_EQ(outcome.exitCode, 0) << outcome.errors.constData();
        EXPECT_TRUE(outcome.errors.isEmpty()) << outcome.errors.constData();
        const QByteArray prefix = "SCREENSHOT: " + QFile::encodeName(folder);
        EXPECT_EQ(outcome.output, prefix + "/settings-light.png\n" + prefix + "/settings-dark.png\n" + prefix + "/ai-settings-dark.png\n");
        EXPECT_EQ(files(folder), (QStringList{QStringLiteral("ai-settings-dark.png"), QStringLiteral("cache"), QStringLiteral("config"), QStringLiteral("data"), QStringLiteral("settings-dark.png"),
                                              QStringLiteral("settings-light.png"), QStringLiteral("summary.json"), QStringLiteral("tmp")}));

        const QByteArray bytes = contents(folder + QStringLiteral("/summary.json"));
        const QJsonObject summary = QJsonDocument::fromJson(bytes).object();
        EXPECT_EQ(QJsonDocument(summary).toJson(QJsonDocument::Indented), bytes) << "sorted keys, pretty printed";
        const QString expected = language.expected ? QString::fromLatin1(language.expected) : QStringLiteral("zh-Hans");
        EXPECT_EQ(summary.keys(), (QStringList{QStringLiteral("environment"), QStringLiteral("language"), QStringLiteral("locale"), QStringLiteral("menus"),
                                              QStringLiteral("permissionDescription"), QStringLiteral("settingsText"), QStringLiteral("status")}));
        EXPECT_EQ(summary.value(QStringLiteral("status")).toString(), QStringLiteral("passed"));
        EXPECT_EQ(summary.value(QStringLiteral("environment")).toString(), QStringLiteral("native-linux"));
        EXPECT_EQ(summary.value(QStringLiteral("language")).toString(), expected);
        EXPECT_EQ(summary.value(QStringLiteral("locale")).toArray(), QJsonArray{expected});
        EXPECT_EQ(summary.value(QStringLiteral("permissionDescription")).toString(), QString());
        const QJsonArray settingsText = summary.value(QStringLiteral("settingsText")).toArray();
        const QRegularExpression han(QStringLiteral("\\p{Han}"));
        bool chinese = false;
        for (const QJsonValue &text : settingsText)
            chinese = chinese || han.match(text.toString()).hasMatch();
        EXPECT_EQ(chinese, QByteArray(language.environment) != "en") << bytes.constData();
        EXPECT_TRUE(settingsText.contains(QString::fromUtf8(language.settingsItem))) << bytes.constData();
        const QJsonArray menus = summary.value(QStringLiteral("menus")).toArray();
        ASSERT_FALSE(menus.isEmpty());
        EXPECT_EQ(settingsText.last(), menus.last()) << "the menu titles close the settings texts";

        const QImage light(folder + QStringLiteral("/settings-light.png"));
        const QImage dark(folder + QStringLiteral("/settings-dark.png"));
        ASSERT_FALSE(light.isNull());
        ASSERT_EQ(light.size(), dark.size());
        EXPECT_GT(qGray(light.pixel(light.width() / 2, 4)), qGray(dark.pixel(dark.width() / 2, 4))) << "the dark picture is darker";
        EXPECT_FALSE(QImage(folder + QStringLiteral("/ai-settings-dark.png")).isNull());
    }
}

// An interface started in another language than the caller expects fails at its first check.
TEST_F(PrivacyLocalizationRun, LocalizationFailsWhenTheLanguageDoesNotMatch)
{
    const QString folder = evidence(QStringLiteral("localization"));
    const Outcome outcome = run({QStringLiteral("--verify"), QStringLiteral("--verify-localization"), QStringLiteral("--evidence-dir"), folder,
                                 QStringLiteral("--expected-language"), QStringLiteral("en")},
                                QStringLiteral("zh_TW"));
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 1);
    const QString message = QStringLiteral("Startup localization does not match the requested language");
    EXPECT_EQ(outcome.errors, (QStringLiteral("Localization verification failed: ") + message + u'\n').toUtf8());
    EXPECT_EQ(QJsonDocument::fromJson(contents(folder + QStringLiteral("/summary.json"))).object(),
              (QJsonObject{{QStringLiteral("status"), QStringLiteral("failed")}, {QStringLiteral("error"), message}}));
    EXPECT_EQ(files(folder), (QStringList{QStringLiteral("cache"), QStringLiteral("config"), QStringLiteral("data"), QStringLiteral("summary.json"),
                                          QStringLiteral("tmp")}));
}

} // namespace

int main(int argc, char **argv)
{
    return TestSupport::runTestsOnOwnXServer(argc, argv, QSize(1280, 800));
}
