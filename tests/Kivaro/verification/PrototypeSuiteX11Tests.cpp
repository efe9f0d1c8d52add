// The full verification suite as CI runs it: the real kivaro process with "--verify" alone, on an
// X server of its own with openbox (the shortcut check grabs global keys), private XDG folders
// and a hard timeout. Checked by the exit status, the exact lines, the summary's bytes and the
// evidence of the suite and of every sub-run; the user's folders must be as they were.

#include "Kivaro/verification/MenuVerification.h"
#include "Kivaro/verification/PrototypeSuite.h"
#include "KivaroProcessFixture.h"
#include "Support/Speech/SpokenFixtures.h"
#include "Support/TestRun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>

using namespace KivaroProcessTesting;
namespace Suite = Kivaro::PrototypeVerification;

namespace {

// The sixteen descriptions of a pass without a speech file, in the order the groups pass.
QStringList passingChecks()
{
    namespace Check = Suite::SuiteCheck;
    QStringList checks;
    for (const char *text : {Check::startUp, Check::syntheticText, Check::arrowAndBubble, Check::undoRedo, Check::projectRoundTrip,
                             Check::exportAndPasteboard, Check::captureWorkflow, Check::textRecognition, Check::smallWindow,
                             Check::annotationTools, Check::sharing, Check::voiceInteraction, Check::updater, Check::captureCompletion,
                             Check::shortcuts, Check::contentAppearance})
        checks.append(QString::fromUtf8(text));
    return checks;
}

class PrototypeSuite : public KivaroProcessFixture {
protected:
    Outcome suite(const QStringList &arguments, int timeoutMs = 60000) const
    {
        return runKivaro(privateEnvironment(QStringLiteral("zh_CN"), QStringLiteral("xcb")), QStringList{QStringLiteral("--verify")} + arguments,
                         timeoutMs);
    }
};

// The whole suite passes in one process: every group in order, the flags for what was not
// performed, the suite's evidence and that of every sub-run.
TEST_F(PrototypeSuite, PassesEndToEndWithEveryCheckAndEverySubRunsEvidence)
{
    ASSERT_TRUE(display.startWindowManager());
    const QString folder = evidence();
    QElapsedTimer clock;
    clock.start();
    const Outcome outcome = suite({QStringLiteral("--evidence-dir"), folder}, 300000);
    std::printf("the full verification suite ran for %.1f s\n", double(clock.elapsed()) / 1000.0);
    ASSERT_TRUE(outcome.finished) << "the suite did not end within 300 s";
    ASSERT_EQ(outcome.exitCode, 0) << outcome.errors.constData();

    const QByteArray passLine = "Kivaro verification passed: " + QFile::encodeName(folder) + '\n';
    EXPECT_TRUE(outcome.output.endsWith(QByteArray(QByteArray("\n") + passLine))) << outcome.output.right(400).constData();
    EXPECT_EQ(outcome.output.count("Kivaro verification"), 1);
    for (const QByteArray &line : outcome.errors.split('\n'))
        EXPECT_TRUE(line.isEmpty() || line.startsWith("CHECK ")) << "only progress lines on standard error: " << line.constData();

    const QByteArray bytes = contents(folder + QStringLiteral("/summary.json"));
    // The sixteen groups in order; no microphone, mouse or speech file; the display answered.
    EXPECT_EQ(bytes, Suite::passingSummary(passingChecks(), false, true));

    // The suite's own evidence.
    for (const char *picture : {"00-startup-settings.png", "01-editor.png", "02-annotated.png", "04-small-window.png"}) {
        const QImage image(folder + u'/' + QLatin1String(picture));
        ASSERT_FALSE(image.isNull()) << picture;
        EXPECT_EQ(qAlpha(image.pixel(image.width() / 2, image.height() / 2)), 255) << picture;
    }
    EXPECT_EQ(QImage(folder + QStringLiteral("/04-small-window.png")).size(), QSize(1520, 1144)) << "the window at 760 x 540 plus its title bar";
    const QImage exported(folder + QStringLiteral("/03-export.png"));
    ASSERT_EQ(exported.size(), QSize(960, 600));
    const QColor corner = exported.pixelColor(26, 26);
    EXPECT_GT(corner.redF(), corner.blueF() + 0.2);
    EXPECT_TRUE(contents(folder + QStringLiteral("/roundtrip.kivaro")).size() > 1000);

    // Every sub-run's evidence and result record.
    for (const char *name : {"05-redacted.png", "linked-and-masked.kivaro", "07-ocr-redacted.png", "08-tellumo-settings.png",
                             "synthetic-ocr.txt", "11-dark-settings.png", "12-dark-editor.png", "16-light-restored.png",
                             "06-shortcut-settings.png", "mosaic.kivaro", "share-menu.png", "menu-tools-dark.png",
                             "drawing-tools-export.png", "numbered-steps.kivaro", "voice-recording-dark.png", "update-settings-dark.png",
                             "custom-update-prompt-light.png"})
        EXPECT_TRUE(QFileInfo(folder + u'/' + QLatin1String(name)).size() > 0) << name;
    for (const char *result : {"capture-improvements.json", "sharing-result.json", "menus-result.json", "annotation-tools-result.json",
                               "voice-interaction-result.json", "custom-update-prompt-result.json", "capture-completion-result.json",
                               "two-shortcuts-result.json"}) {
        const QJsonObject passed = record(folder + u'/' + QLatin1String(result));
        EXPECT_EQ(passed.value(QStringLiteral("status")).toString(), QStringLiteral("passed")) << result;
        EXPECT_EQ(passed.value(QStringLiteral("environment")).toString(), QStringLiteral("native-linux")) << result;
    }
    EXPECT_EQ(contents(folder + QStringLiteral("/menus-result.json")), QByteArray(Kivaro::MenuVerification::passResult));
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/09-recording-feedback.png"))) << "no voice retry without a speech file";

    // The share menus offered the run's designated receiver and none of the user's applications:
    // the run's applications come from its own data folder, where the receiver is gone again.
    const QJsonArray offered = record(folder + QStringLiteral("/share-picker-state.json")).value(QStringLiteral("proposedTitles")).toArray();
    EXPECT_TRUE(offered.contains(QStringLiteral("Kivaro Verification Receiver")));
    EXPECT_FALSE(offered.contains(QStringLiteral("Users Viewer")));
    EXPECT_TRUE(files(folder + QStringLiteral("/data/applications")).isEmpty());
}

// A folder that cannot be made (a file stands where its parent should be) ends the suite before
// any window, with its failure line; nothing is written anywhere.
TEST_F(PrototypeSuite, AnEvidenceFolderThatCannotBeMadeFailsWithTheSuitesLine)
{
    const QString blocker = home.filePath(QStringLiteral("blocker"));
    writeFile(blocker, QByteArrayLiteral("not a folder"));
    const QString folder = blocker + QStringLiteral("/evidence");
    const Outcome outcome = suite({QStringLiteral("--evidence-dir"), folder});
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.errors.toStdString(),
              QByteArray("Kivaro verification failed: cannot use the evidence folder " + QFile::encodeName(folder) + ": Not a directory\n")
                  .toStdString());
    EXPECT_TRUE(outcome.output.isEmpty()) << outcome.output.constData();
    EXPECT_EQ(contents(blocker), QByteArrayLiteral("not a folder"));
}

// An earlier shot in the run's history fails the empty-document check at once. The earlier
// pass records in the reused folder are gone and a failed summary says what failed.
TEST_F(PrototypeSuite, AFailedRunInAFolderOfAnEarlierPassLeavesAFailedSummary)
{
    ASSERT_TRUE(display.startWindowManager());
    const QString folder = evidence();
    writeFile(folder + QStringLiteral("/summary.json"), Suite::passingSummary(passingChecks(), false, true));
    writeFile(folder + QStringLiteral("/menus-result.json"), QByteArray(Kivaro::MenuVerification::passResult));
    writeFile(folder + QStringLiteral("/02-annotated.png"), QByteArrayLiteral("an earlier picture"));
    ASSERT_EQ(::mkdir(QFile::encodeName(folder + QStringLiteral("/recent-data")).constData(), 0700), 0);
    const QString earlier = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    writeFile(folder + QStringLiteral("/recent-data/") + earlier + QStringLiteral(".kivaro"), QByteArrayLiteral("an earlier shot"));

    const Outcome outcome = suite({QStringLiteral("--evidence-dir"), folder});
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 1);
    const QString error = QStringLiteral("断言失败：empty-not-archived");
    EXPECT_EQ(outcome.errors, (QStringLiteral("Kivaro verification failed: ") + error + u'\n').toUtf8());
    EXPECT_FALSE(outcome.output.contains("passed"));
    EXPECT_EQ(contents(folder + QStringLiteral("/summary.json")), Suite::failedSummary({}, error));
    EXPECT_EQ(record(folder + QStringLiteral("/summary.json")),
              (QJsonObject{{QStringLiteral("status"), QStringLiteral("failed")}, {QStringLiteral("checks"), QJsonArray()},
                           {QStringLiteral("error"), error}}));
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/menus-result.json")));
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/02-annotated.png")));
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/00-startup-settings.png"))) << "taken before the failed check";
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/01-editor.png")));
}

// A speech file is really transcribed and checked: an English recording without the word "save"
// fails the content check, after the start-up group and before any annotation.
TEST_F(PrototypeSuite, ASpeechFileWithoutTheExpectedWordFailsItsContentCheck)
{
    ASSERT_TRUE(display.startWindowManager());
    const QString folder = evidence();
    const QString fixture = home.filePath(QStringLiteral("go-forward.wav"));
    ASSERT_TRUE(TestSupport::writeGoForwardWav(fixture, 0.3, 0.3));
    const Outcome outcome = suite({QStringLiteral("--evidence-dir"), folder, QStringLiteral("--speech-fixture"), fixture});
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 1);
    const QString error = QStringLiteral("断言失败：speech-fixture-content");
    EXPECT_EQ(outcome.errors, (QStringLiteral("Kivaro verification failed: ") + error + u'\n').toUtf8());
    EXPECT_EQ(contents(folder + QStringLiteral("/summary.json")),
              Suite::failedSummary({QString::fromUtf8(Suite::SuiteCheck::startUp)}, error));
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/02-annotated.png")));
}

} // namespace

int main(int argc, char **argv)
{
    // A common desktop size, larger than the 960 x 600 pictures some checks place at its centre.
    return TestSupport::runTestsOnOwnXServer(argc, argv, QSize(1920, 1080));
}
