// The verification scenarios as CI runs them: the real kivaro process with "--verify" and one
// scenario flag, on an X server of its own with openbox, with private XDG folders and a fresh
// evidence folder. Each run is checked by its exit status, its standard-error line and the
// exact bytes of its evidence, and the user's preferences and recent shots (the private XDG
// folders) must be as they were before it.

#include "Kivaro/verification/ApplicationVisibilityVerification.h"
#include "Kivaro/verification/AnnotationToolsVerification.h"
#include "Kivaro/verification/BasicWorkflowVerification.h"
#include "Kivaro/verification/InlineCaptureVerification.h"
#include "Kivaro/verification/PrototypeSuite.h"
#include "Kivaro/document/ProjectArchive.h"
#include "KivaroProcessFixture.h"
#include "Platform/ScreenCapture/X11TestDisplay.h"
#include "Support/ClientProcess.h"
#include "Support/Speech/SpokenFixtures.h"
#include "Support/TaskTesting.h"
#include "Support/TestRun.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>

using TestSupport::waitUntil;
using TestSupport::X11TestDisplay;
using namespace KivaroProcessTesting;

namespace {

const QByteArray quitPass = QByteArrayLiteral("{\"status\":\"passed\",\"quitDuringCapture\":true,\"captureCleanedUp\":true}");

class VerificationProcess : public KivaroProcessFixture {
protected:
    QProcessEnvironment environment(const QByteArray &platform = "xcb") const
    {
        return privateEnvironment(QStringLiteral("zh_CN"), QString::fromLatin1(platform));
    }

    Outcome run(const QStringList &arguments, const QByteArray &platform = "xcb") const
    {
        return runKivaro(environment(platform), arguments);
    }
    Outcome scenario(const QString &flag, const QString &folder)
    {
        return run({QStringLiteral("--verify"), flag, QStringLiteral("--evidence-dir"), folder});
    }
};

// ---- application visibility ------------------------------------------------------------------

TEST_F(VerificationProcess, VisibilityPassesUnderAWindowManager)
{
    ASSERT_TRUE(display.startWindowManager());
    const QString folder = evidence();
    const Outcome outcome = scenario(QStringLiteral("--verify-visibility"), folder);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.errors.constData();
    EXPECT_EQ(outcome.output, "SCREENSHOT: " + QFile::encodeName(folder) + "/settings-reopened.png\n");
    EXPECT_TRUE(outcome.errors.isEmpty()) << outcome.errors.constData();
    const QByteArray summary = contents(folder + QStringLiteral("/summary.json"));
    EXPECT_EQ(summary, QByteArray(Kivaro::ApplicationVisibilityVerification::passSummary));
    EXPECT_EQ(summary.size(), 200);
    const QImage settings(folder + QStringLiteral("/settings-reopened.png"));
    ASSERT_FALSE(settings.isNull());
    EXPECT_EQ(qAlpha(settings.pixel(settings.width() / 2, settings.height() / 2)), 255);
    EXPECT_EQ(files(folder), (QStringList{QStringLiteral("cache"), QStringLiteral("config"), QStringLiteral("data"), QStringLiteral("settings-reopened.png"),
                                          QStringLiteral("summary.json"), QStringLiteral("tmp")}));
}

// Without a window manager the second reading of the policy cannot be made: the first check
// fails and says why, and an earlier pass in the folder does not survive.
TEST_F(VerificationProcess, VisibilityWithoutAWindowManagerFailsAtItsFirstCheck)
{
    ASSERT_FALSE(display.hasWindowManager());
    const QString folder = evidence();
    writeFile(folder + QStringLiteral("/summary.json"), QByteArray(Kivaro::ApplicationVisibilityVerification::passSummary));
    writeFile(folder + QStringLiteral("/settings-reopened.png"), QByteArrayLiteral("stale"));
    const Outcome outcome = scenario(QStringLiteral("--verify-visibility"), folder);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 1);
    const QString message = QStringLiteral("Application visibility check 1 needs a window manager: no _NET_CLIENT_LIST on the root window");
    EXPECT_EQ(outcome.errors, (QStringLiteral("Visibility verification failed: ") + message + u'\n').toUtf8());
    const QJsonObject failed = record(folder + QStringLiteral("/summary.json"));
    EXPECT_EQ(failed, (QJsonObject{{QStringLiteral("status"), QStringLiteral("failed")}, {QStringLiteral("error"), message}}));
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/settings-reopened.png")));
}

// ---- basic workflow --------------------------------------------------------------------------

TEST_F(VerificationProcess, BasicWorkflowPassesAndWritesItsEvidence)
{
    ASSERT_TRUE(display.startWindowManager());
    const QString folder = evidence();
    const Outcome outcome = scenario(QStringLiteral("--verify-basics"), folder);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.errors.constData();
    EXPECT_TRUE(outcome.errors.isEmpty()) << outcome.errors.constData();
    const QJsonObject expected{
        {QStringLiteral("status"), QStringLiteral("passed")},
        {QStringLiteral("environment"), QStringLiteral("native-linux")},
        {QStringLiteral("checks"), QJsonArray::fromStringList(Kivaro::BasicWorkflowVerification::checkTexts())},
        {QStringLiteral("limitations"), QJsonArray{QString::fromUtf8(Kivaro::BasicWorkflowVerification::limitation)}},
    };
    EXPECT_EQ(contents(folder + QStringLiteral("/summary.json")), QJsonDocument(expected).toJson(QJsonDocument::Indented));
    EXPECT_EQ(contents(folder + QStringLiteral("/broken.kivaro")), QByteArrayLiteral("not a project"));
    EXPECT_FALSE(contents(folder + QStringLiteral("/oversized.kivaro")).isEmpty());
    for (const char *picture : {"settings-error.png", "edge-mosaic.png"})
        EXPECT_FALSE(QImage(folder + u'/' + QLatin1String(picture)).isNull()) << picture;
    const QString retention = folder + QStringLiteral("/retention");
    EXPECT_EQ(contents(retention + QStringLiteral("/keep.txt")), QByteArrayLiteral("fixture"));
    EXPECT_EQ(QDir(retention).entryList({QStringLiteral("*.kivaro")}, QDir::Files).size(), 20);
}

// A symbolic link planted at the retention folder's name is never followed: the run fails in
// its last phase, says why, writes its failure record and leaves the link's target alone.
TEST_F(VerificationProcess, BasicWorkflowRefusesALinkAtItsRetentionFolder)
{
    ASSERT_TRUE(display.startWindowManager());
    const QString folder = evidence();
    const QString target = evidence(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QFile::link(target, folder + QStringLiteral("/retention")));
    const Outcome outcome = scenario(QStringLiteral("--verify-basics"), folder);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_TRUE(outcome.errors.startsWith("Basic workflow verification failed: ")) << outcome.errors.constData();
    EXPECT_EQ(outcome.errors.count('\n'), 1);
    const QJsonObject failed = record(folder + QStringLiteral("/summary.json"));
    EXPECT_EQ(failed.value(QStringLiteral("status")).toString(), QStringLiteral("failed"));
    EXPECT_EQ(outcome.errors, ("Basic workflow verification failed: " + failed.value(QStringLiteral("error")).toString() + u'\n').toUtf8());
    EXPECT_TRUE(files(target).isEmpty());
}

// ---- quit during capture ---------------------------------------------------------------------

TEST_F(VerificationProcess, QuitDuringCapturePassesThroughTheNormalQuit)
{
    ASSERT_TRUE(display.startWindowManager());
    const QString folder = evidence();
    const Outcome outcome = scenario(QStringLiteral("--verify-quit-capture"), folder);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.errors.constData();
    EXPECT_TRUE(outcome.output.isEmpty() && outcome.errors.isEmpty()) << outcome.output.constData() << outcome.errors.constData();
    EXPECT_EQ(contents(folder + QStringLiteral("/summary.json")), quitPass);
}

// No screen to capture (Qt's offscreen platform): the overlay never opens, and the run fails
// with its record instead of ending silently; an earlier pass is gone.
TEST_F(VerificationProcess, QuitDuringCaptureWithoutAnOverlayFails)
{
    const QString folder = evidence();
    writeFile(folder + QStringLiteral("/summary.json"), quitPass);
    const Outcome outcome =
        run({QStringLiteral("--verify"), QStringLiteral("--verify-quit-capture"), QStringLiteral("--evidence-dir"), folder}, "offscreen");
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 1);
    const QString message = QStringLiteral("the capture overlay did not open within 100 polls");
    EXPECT_TRUE(outcome.errors.endsWith((QStringLiteral("Quit during capture verification failed: ") + message + u'\n').toUtf8()))
        << outcome.errors.constData();
    EXPECT_EQ(record(folder + QStringLiteral("/summary.json")),
              (QJsonObject{{QStringLiteral("status"), QStringLiteral("failed")}, {QStringLiteral("error"), message}}));
}

// ---- application icon ------------------------------------------------------------------------

TEST_F(VerificationProcess, IconPreviewShowsTheBundledIconInLightAndDark)
{
    ASSERT_TRUE(display.startWindowManager());
    const QString folder = evidence();
    // A file of the user's, two hours old, whose name looks like an interrupted write's
    // temporary: the folder is the user's, so it is not the run's to sweep.
    {
        QFile backup(folder + QStringLiteral("/icon-light.png.Backup"));
        ASSERT_TRUE(backup.open(QIODevice::WriteOnly));
        backup.write("the user's backup");
        backup.flush();
        ASSERT_TRUE(backup.setFileTime(QDateTime::currentDateTime().addSecs(-7200), QFileDevice::FileModificationTime));
    }
    const Outcome outcome = scenario(QStringLiteral("--verify-icon"), folder);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.errors.constData();
    const QByteArray at = "SCREENSHOT: " + QFile::encodeName(folder);
    EXPECT_EQ(outcome.output, at + "/icon-light.png\n" + at + "/icon-dark.png\n");
    EXPECT_TRUE(outcome.errors.isEmpty()) << outcome.errors.constData();
    // The pictures are the result: no record.
    EXPECT_EQ(files(folder), (QStringList{QStringLiteral("cache"), QStringLiteral("config"), QStringLiteral("data"), QStringLiteral("icon-dark.png"),
                                          QStringLiteral("icon-light.png"), QStringLiteral("icon-light.png.Backup"), QStringLiteral("tmp")}));
    EXPECT_EQ(contents(folder + QStringLiteral("/icon-light.png.Backup")), QByteArrayLiteral("the user's backup"));
    const QImage light(folder + QStringLiteral("/icon-light.png"));
    const QImage dark(folder + QStringLiteral("/icon-dark.png"));
    ASSERT_EQ(light.size(), QSize(1320, 764));
    ASSERT_EQ(dark.size(), light.size());
    // The window's own background follows the appearance; the big tile shows the icon (its
    // blue plate) in both.
    EXPECT_GT(qGray(light.pixel(40, 720)), 200);
    EXPECT_LT(qGray(dark.pixel(40, 720)), 80);
    for (const QImage *image : {&light, &dark}) {
        const QRgb plate = image->pixel(452, 600);
        EXPECT_GT(qBlue(plate), 200);
        EXPECT_LT(qRed(plate), 100);
    }
}

// A picture that cannot be written fails the preview with its record and line, and a picture
// of an earlier run does not survive into the failed one.
TEST_F(VerificationProcess, IconPreviewThatCannotWriteItsPictureFailsAndLeavesNoStalePicture)
{
    ASSERT_TRUE(display.startWindowManager());
    const QString folder = evidence();
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("icon-light.png")));
    writeFile(folder + QStringLiteral("/icon-dark.png"), QByteArrayLiteral("an earlier run's picture"));
    const Outcome outcome = scenario(QStringLiteral("--verify-icon"), folder);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_TRUE(outcome.output.isEmpty()) << outcome.output.constData();
    const QJsonObject failed = record(folder + QStringLiteral("/summary.json"));
    EXPECT_EQ(failed.value(QStringLiteral("status")).toString(), QStringLiteral("failed"));
    EXPECT_FALSE(failed.value(QStringLiteral("error")).toString().isEmpty());
    EXPECT_EQ(outcome.errors, ("Icon preview failed: " + failed.value(QStringLiteral("error")).toString() + u'\n').toUtf8());
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/icon-dark.png")));
}

// Without "--evidence-dir" the pictures go to a fresh private folder named after the run.
TEST_F(VerificationProcess, IconPreviewWithoutAFolderMakesAFreshOne)
{
    ASSERT_TRUE(display.startWindowManager());
    const Outcome outcome = run({QStringLiteral("--verify"), QStringLiteral("--verify-icon")});
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.errors.constData();
    const QStringList made = QDir(home.filePath(QStringLiteral("tmp"))).entryList({QStringLiteral("kivaro-icon-*")}, QDir::Dirs);
    ASSERT_EQ(made.size(), 1);
    const QString folder = home.filePath(QStringLiteral("tmp/") + made.first());
    EXPECT_EQ(outcome.errors, "kivaro: verification evidence in " + QFile::encodeName(folder) + '\n');
    EXPECT_FALSE(QImage(folder + QStringLiteral("/icon-light.png")).isNull());
    EXPECT_FALSE(QImage(folder + QStringLiteral("/icon-dark.png")).isNull());
    QDir(folder).removeRecursively();
}

// ---- inline capture --------------------------------------------------------------------------

TEST_F(VerificationProcess, InlineCapturePassesEveryRowAndWritesItsEvidence)
{
    ASSERT_TRUE(display.startWindowManager());
    const QString folder = evidence();
    // Another client owns the clipboard; the run works on a private pasteboard and must leave it.
    const QString clip = home.filePath(QStringLiteral("clip.txt"));
    writeFile(clip, QByteArrayLiteral("the user's clipboard"));
    const QStringList clipboard{QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-loops"), QStringLiteral("1")};
    ASSERT_EQ(TestSupport::runClient(QStringLiteral("xclip"), clipboard + QStringList{QStringLiteral("-i"), clip}).exitCode, 0);
    const Outcome outcome = scenario(QStringLiteral("--verify-inline"), folder);
    EXPECT_EQ(TestSupport::runClient(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-o")}).output,
              QByteArrayLiteral("the user's clipboard"));
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.errors.constData();
    EXPECT_TRUE(outcome.errors.isEmpty()) << outcome.errors.constData();
    const QByteArray at = "SCREENSHOT: " + QFile::encodeName(folder);
    EXPECT_EQ(outcome.output, at + "/inline-before.png\n" + at + "/inline-annotated.png\n" + at + "/inline-text-panel.png\n");
    const QJsonObject expected{
        {QStringLiteral("status"), QStringLiteral("passed")},
        {QStringLiteral("environment"), QStringLiteral("native-linux")},
        {QStringLiteral("checks"), QJsonArray::fromStringList(Kivaro::InlineCaptureVerification::checkTexts())},
        {QStringLiteral("background"), QStringLiteral("synthetic fixture")},
        {QStringLiteral("physicalMouseVerified"), false},
    };
    EXPECT_EQ(contents(folder + QStringLiteral("/summary.json")), QJsonDocument(expected).toJson(QJsonDocument::Indented));
    EXPECT_EQ(QImage(folder + QStringLiteral("/inline-export.png")).size(), QSize(640, 360));
    // The inline window covers the made-up 960 × 600 screen; the panel is its own window.
    EXPECT_EQ(QImage(folder + QStringLiteral("/inline-before.png")).size(), QSize(1920, 1200));
    EXPECT_EQ(QImage(folder + QStringLiteral("/inline-annotated.png")).size(), QSize(1920, 1200));
    EXPECT_FALSE(QImage(folder + QStringLiteral("/inline-text-panel.png")).isNull());
    for (const char *name : {"config", "inline-annotated.png", "inline-before.png", "inline-export.png", "inline-text-panel.png", "summary.json"})
        EXPECT_TRUE(files(folder).contains(QLatin1String(name))) << name;
}

TEST_F(VerificationProcess, InlineCaptureThatCannotWriteItsExportFailsWithItsRecord)
{
    ASSERT_TRUE(display.startWindowManager());
    const QString folder = evidence();
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("inline-export.png")));
    writeFile(folder + QStringLiteral("/summary.json"), QByteArrayLiteral("{\"status\":\"passed\"}"));
    const Outcome outcome = scenario(QStringLiteral("--verify-inline"), folder);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 1);
    const QJsonObject failed = record(folder + QStringLiteral("/summary.json"));
    EXPECT_EQ(failed.keys(), (QStringList{QStringLiteral("error"), QStringLiteral("status")}));
    EXPECT_EQ(failed.value(QStringLiteral("status")).toString(), QStringLiteral("failed"));
    EXPECT_EQ(outcome.errors, ("Inline capture verification failed: " + failed.value(QStringLiteral("error")).toString() + u'\n').toUtf8());
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/inline-annotated.png")));
}

// ---- annotation tools ------------------------------------------------------------------------

TEST_F(VerificationProcess, AnnotationToolsPassOnTheSamplePicture)
{
    ASSERT_TRUE(display.startWindowManager());
    const QString folder = evidence();
    const Outcome outcome = scenario(QStringLiteral("--verify-annotation-tools"), folder);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.errors.constData();
    EXPECT_TRUE(outcome.errors.isEmpty()) << outcome.errors.constData();
    const QByteArray at = "SCREENSHOT: " + QFile::encodeName(folder);
    EXPECT_EQ(outcome.output, at + "/drawing-tools-before-undo.png\n" + at + "/drawing-tools.png\n" + at + "/numbered-steps.png\n" + at
                                  + "/floating-text-light.png\n" + at + "/floating-text-dark.png\n");
    EXPECT_EQ(contents(folder + QStringLiteral("/summary.json")), QByteArray(Kivaro::AnnotationToolsVerification::standalonePass));
    const QByteArray result = contents(folder + QStringLiteral("/annotation-tools-result.json"));
    EXPECT_EQ(result, QByteArray(Kivaro::AnnotationToolsVerification::resultRecord));
    EXPECT_EQ(result.size(), 204);
    const Kivaro::ShotState steps = Kivaro::ProjectArchive::decode(contents(folder + QStringLiteral("/numbered-steps.kivaro")));
    ASSERT_EQ(steps.steps.size(), 3);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(steps.steps.at(k).number, k + 1);
    // The sample is 960 × 600; the exports are the picture alone.
    for (const char *name : {"drawing-tools-export.png", "numbered-steps-export.png"})
        EXPECT_EQ(QImage(folder + u'/' + QLatin1String(name)).size(), QSize(960, 600)) << name;
    EXPECT_NE(contents(folder + QStringLiteral("/drawing-tools-export.png")), contents(folder + QStringLiteral("/numbered-steps-export.png")));
    const QImage light(folder + QStringLiteral("/floating-text-light.png"));
    const QImage dark(folder + QStringLiteral("/floating-text-dark.png"));
    ASSERT_FALSE(light.isNull());
    EXPECT_EQ(light.size(), dark.size());
    EXPECT_GT(qGray(light.pixel(4, light.height() - 4)), qGray(dark.pixel(4, dark.height() - 4)));
    EXPECT_EQ(files(folder).size(), 14) << files(folder).join(u' ').toStdString(); // with the run's config, data, cache and tmp
}

// A failure after the first phase: the failure record and line, the evidence written before it
// stays, and an earlier run's pass record is gone.
TEST_F(VerificationProcess, AnnotationToolsThatCannotWriteTheirExportFailAndLeaveNoEarlierPass)
{
    ASSERT_TRUE(display.startWindowManager());
    const QString folder = evidence();
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("drawing-tools-export.png")));
    writeFile(folder + QStringLiteral("/annotation-tools-result.json"), QByteArray(Kivaro::AnnotationToolsVerification::resultRecord));
    writeFile(folder + QStringLiteral("/summary.json"), QByteArray(Kivaro::AnnotationToolsVerification::standalonePass));
    const Outcome outcome = scenario(QStringLiteral("--verify-annotation-tools"), folder);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 1);
    const QJsonObject failed = record(folder + QStringLiteral("/summary.json"));
    EXPECT_EQ(failed.value(QStringLiteral("status")).toString(), QStringLiteral("failed"));
    EXPECT_EQ(outcome.errors,
              ("Annotation tools verification failed: " + failed.value(QStringLiteral("error")).toString() + u'\n').toUtf8());
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/annotation-tools-result.json")));
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/drawing-tools-before-undo.png")));
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/numbered-steps.kivaro")));
}

// ---- the launch rules ------------------------------------------------------------------------

TEST_F(VerificationProcess, LaunchesThatCannotBeOneRunAreRefusedBeforeAnyWindow)
{
    const QString folder = evidence();
    const QStringList usage[] = {
        {QStringLiteral("--verify"), QStringLiteral("--verify-basics"), QStringLiteral("--verify-visibility")},
        {QStringLiteral("--verify"), QStringLiteral("--ui-session")},
        {QStringLiteral("--verify-updater"), QStringLiteral("--ui-session")},
        {QStringLiteral("--verify"), QStringLiteral("--verify-basics"), QStringLiteral("--evidence-dir")},
        {QStringLiteral("--verify"), QStringLiteral("--evidence-dir"), QStringLiteral("--verify-basics")},
    };
    for (const QStringList &arguments : usage) {
        const Outcome outcome = run(arguments);
        ASSERT_TRUE(outcome.finished);
        EXPECT_EQ(outcome.exitCode, 1) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(outcome.errors.contains("\nusage: kivaro ")) << outcome.errors.constData();
    }
    EXPECT_TRUE(files(folder).isEmpty());
    EXPECT_TRUE(files(home.filePath(QStringLiteral("tmp"))).isEmpty());
}

// A misspelled scenario flag would otherwise run the full suite in its place: it is refused with
// the usage line before anything is made.
TEST_F(VerificationProcess, AMisspelledScenarioFlagIsRefusedAndMakesNothing)
{
    const QString folder = evidence();
    const QStringList before = files(home.path());
    const Outcome misspelled = runKivaro(environment(), {QStringLiteral("--verify"), QStringLiteral("--verify-basic"),
                                                          QStringLiteral("--evidence-dir"), folder}, 20000);
    ASSERT_TRUE(misspelled.finished);
    EXPECT_EQ(misspelled.exitCode, 1);
    EXPECT_TRUE(misspelled.errors.startsWith("kivaro: --verify-basic is not a scenario of --verify\nusage: kivaro "))
        << misspelled.errors.constData();
    EXPECT_TRUE(misspelled.output.isEmpty()) << misspelled.output.constData();
    EXPECT_TRUE(files(folder).isEmpty());
    EXPECT_EQ(files(home.path()), before);
}

// An evidence folder named with bytes that are no UTF-8 text would be made under a lossy
// decoding of its name: the launch is refused with the usage line, and no folder is made.
TEST_F(VerificationProcess, AnEvidenceFolderNameThatIsNoUtf8TextIsRefusedAndMakesNothing)
{
    const QStringList before = files(home.path());
    const QByteArray notText = QFile::encodeName(home.path()) + "/evidence-\xff\xfe";
    const Outcome refused = runKivaroWithBytes(environment(), {"--verify", "--verify-visibility", "--evidence-dir", notText}, 20000);
    ASSERT_TRUE(refused.finished);
    EXPECT_EQ(refused.exitCode, 1);
    const QByteArray expected = "kivaro: the folder after --evidence-dir is not UTF-8 text: " + QFile::encodeName(home.path())
                                + "/evidence-\\xff\\xfe\nusage: kivaro ";
    EXPECT_TRUE(refused.errors.startsWith(expected)) << refused.errors.constData();
    EXPECT_EQ(files(home.path()), before) << "neither that folder nor one under another name";
}

// A named evidence folder must be the user's own: a group-writable one and a link are refused
// and nothing is written into them.
TEST_F(VerificationProcess, EvidenceFoldersOthersCanWriteOrThatAreLinksAreRefused)
{
    const QString shared = evidence(QStringLiteral("shared"));
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 0770), 0);
    Outcome outcome = scenario(QStringLiteral("--verify-basics"), shared);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.errors, "kivaro: the evidence folder " + QFile::encodeName(shared) + " is writable by others\n");
    EXPECT_TRUE(files(shared).isEmpty());

    const QString target = evidence(QStringLiteral("target"));
    const QString link = home.filePath(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(target, link));
    outcome = scenario(QStringLiteral("--verify-visibility"), link);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.errors, "kivaro: the evidence folder " + QFile::encodeName(link) + " is a symbolic link\n");
    EXPECT_TRUE(files(target).isEmpty());
}

// A link planted at a result's name is removed with the earlier records, never written
// through: its target keeps its bytes and the result is a file of the run's own.
TEST_F(VerificationProcess, ALinkAtAResultsNameIsNeverWrittenThrough)
{
    ASSERT_TRUE(display.startWindowManager());
    const QString folder = evidence();
    const QString victim = home.filePath(QStringLiteral("victim"));
    writeFile(victim, QByteArrayLiteral("someone else's file"));
    ASSERT_TRUE(QFile::link(victim, folder + QStringLiteral("/summary.json")));
    ASSERT_TRUE(QFile::link(victim, folder + QStringLiteral("/settings-reopened.png")));
    const Outcome outcome = scenario(QStringLiteral("--verify-visibility"), folder);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.errors.constData();
    EXPECT_EQ(contents(victim), QByteArrayLiteral("someone else's file"));
    EXPECT_FALSE(QFileInfo(folder + QStringLiteral("/summary.json")).isSymLink());
    EXPECT_EQ(contents(folder + QStringLiteral("/summary.json")), QByteArray(Kivaro::ApplicationVisibilityVerification::passSummary));
}

// Without "--evidence-dir" the full suite makes a fresh private folder in the temporary folder
// and prints where. Given a Mandarin speech file where no installed engine serves Mandarin (no
// whisper model in the user's data folder, and a run never downloads one), it fails honestly at
// the voice preparation with the voice notes' "unsupported" text: a failed summary holding only
// the start-up group, and no evidence of later groups.
TEST_F(VerificationProcess, TheFullSuiteWithAMandarinSpeechFileAndNoMandarinModelFailsAsUnsupported)
{
    ASSERT_TRUE(display.startWindowManager());
    const QString fixture = home.filePath(QStringLiteral("mandarin.wav"));
    ASSERT_TRUE(TestSupport::writeToneWav(fixture, 1.0));
    const QByteArray fixtureBytes = contents(fixture);
    const Outcome outcome = run({QStringLiteral("--verify"), QStringLiteral("--speech-fixture"), fixture, QStringLiteral("--locale"),
                                 QStringLiteral("zh-CN")});
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 1);
    const QStringList made =
        QDir(home.filePath(QStringLiteral("tmp"))).entryList({QStringLiteral("kivaro-verification-*")}, QDir::Dirs);
    ASSERT_EQ(made.size(), 1) << outcome.errors.constData();
    const QString folder = home.filePath(QStringLiteral("tmp/") + made.first());
    struct stat info = {};
    ASSERT_EQ(::lstat(QFile::encodeName(folder).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    const QString unsupported = QStringLiteral("此设备或语言暂不支持本地语音识别，可使用文字标注。");
    EXPECT_EQ(outcome.errors, (QStringLiteral("kivaro: verification evidence in ") + folder + QStringLiteral("\nKivaro verification failed: ")
                               + unsupported + u'\n')
                                  .toUtf8());
    EXPECT_EQ(record(folder + QStringLiteral("/summary.json")),
              (QJsonObject{{QStringLiteral("status"), QStringLiteral("failed")},
                           {QStringLiteral("checks"), QJsonArray{QString::fromUtf8(Kivaro::PrototypeVerification::SuiteCheck::startUp)}},
                           {QStringLiteral("error"), unsupported}}));
    for (const char *earlier : {"00-startup-settings.png", "01-editor.png", "11-dark-settings.png"})
        EXPECT_TRUE(QFileInfo::exists(folder + u'/' + QLatin1String(earlier))) << earlier;
    for (const char *later : {"02-annotated.png", "roundtrip.kivaro", "03-export.png", "05-redacted.png", "09-recording-feedback.png"})
        EXPECT_FALSE(QFileInfo::exists(folder + u'/' + QLatin1String(later))) << later;
    EXPECT_EQ(contents(fixture), fixtureBytes);
    QDir(folder).removeRecursively();
}

// ---- the interactive verification session -----------------------------------------------------

// A running session as an outside tester drives it: the real process, ended by its id.
class SessionProcess {
public:
    SessionProcess(const QProcessEnvironment &env, const QStringList &arguments)
    {
        m_process.setProcessEnvironment(env);
        m_process.start(QStringLiteral(KIVARO_EXECUTABLE), arguments);
        m_process.waitForStarted(5000);
    }
    ~SessionProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            ::kill(pid_t(m_process.processId()), SIGTERM);
            if (!m_process.waitForFinished(10000)) {
                m_process.kill();
                m_process.waitForFinished(3000);
            }
        }
    }
    qint64 pid() const { return m_process.processId(); }
    bool running() const { return m_process.state() == QProcess::Running; }
    // Ends the process by its id; true when it ended.
    bool end()
    {
        ::kill(pid_t(pid()), SIGTERM);
        return waitUntil([&] { return m_process.state() == QProcess::NotRunning; }, 15000);
    }

private:
    QProcess m_process;
};

QByteArray client(const QString &program, const QStringList &arguments)
{
    const TestSupport::ClientResult result = TestSupport::runClient(program, arguments);
    return result.finished && result.exitCode == 0 ? result.output : QByteArray();
}

QString xdotool(const QStringList &arguments)
{
    return QString::fromUtf8(client(QStringLiteral("xdotool"), arguments)).trimmed();
}

// The visible windows of process `pid` titled exactly `title` (xdotool's own name match is a
// regular expression that does not keep to whole characters outside ASCII).
QStringList windowsTitled(const QString &pid, const QString &title)
{
    QStringList found;
    const QString all = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"), pid, QStringLiteral("--name"), QStringLiteral(".")});
    for (const QString &window : all.split(u'\n', Qt::SkipEmptyParts))
        if (xdotool({QStringLiteral("getwindowname"), window}) == title)
            found.append(window);
    return found;
}

// The files of a folder whose names match `pattern`, by name.
QStringList matching(const QString &folder, const QString &pattern)
{
    return QDir(folder).entryList({pattern}, QDir::Files, QDir::Name);
}

QString startImage(const QString &folder)
{
    QImage image(400, 300, QImage::Format_RGB32);
    image.fill(QColor(200, 40, 40));
    const QString path = folder + QStringLiteral("/start.png");
    image.save(path);
    return path;
}

// The copy one second after start leaves a receipt whose digest is the clipboard's PNG, as
// another client reads it.
TEST_F(VerificationProcess, SessionCopyReceiptMatchesTheClipboard)
{
    ASSERT_TRUE(display.startWindowManager());
    const QString folder = evidence();
    SessionProcess session(environment(), {QStringLiteral("--ui-session"), QStringLiteral("--evidence-dir"), folder, QStringLiteral("--ui-image"),
                                           startImage(home.path()), QStringLiteral("--verify-share-action")});
    ASSERT_TRUE(session.running());
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(folder + QStringLiteral("/copy-receipt.json")); }, 20000));
    EXPECT_EQ(contents(folder + QStringLiteral("/process.pid")), QByteArray::number(session.pid()));
    const QImage baseline(folder + QStringLiteral("/ui-baseline.png"));
    EXPECT_EQ(baseline.size(), QSize(400, 300));
    const QJsonObject receipt = record(folder + QStringLiteral("/copy-receipt.json"));
    const QByteArray clipboard = client(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"),
                                                                  QStringLiteral("image/png"), QStringLiteral("-o")});
    ASSERT_FALSE(clipboard.isEmpty());
    EXPECT_EQ(receipt.value(QStringLiteral("sha256")).toString(),
              QString::fromLatin1(QCryptographicHash::hash(clipboard, QCryptographicHash::Sha256).toHex()));
    EXPECT_TRUE(receipt.value(QStringLiteral("copied")).toBool());
    EXPECT_TRUE(receipt.value(QStringLiteral("clipboardMatchedAtCopy")).toBool());
    EXPECT_FALSE(receipt.value(QStringLiteral("windowVisible")).toBool(true));
    EXPECT_EQ(receipt.value(QStringLiteral("width")).toInt(), 400);
    EXPECT_EQ(receipt.value(QStringLiteral("height")).toInt(), 300);
    EXPECT_TRUE(session.end());
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/summary.json")));
}

// The session's menu from the keyboard: evidence saves numbered within the session, the
// synthetic target window, a press and release traced by the overlay, and a microphone check
// that cannot pass here writing nothing and showing why.
TEST_F(VerificationProcess, SessionMenuSavesEvidenceShowsTheTargetAndTracesThePointer)
{
    ASSERT_TRUE(display.startWindowManager());
    const QString folder = evidence();
    SessionProcess session(environment(), {QStringLiteral("--ui-session"), QStringLiteral("--evidence-dir"), folder, QStringLiteral("--ui-image"),
                                           startImage(home.path())});
    ASSERT_TRUE(session.running());
    const QString pid = QString::number(session.pid());
    QString editor;
    ASSERT_TRUE(waitUntil([&] {
        editor = windowsTitled(pid, QStringLiteral("Kivaro")).value(0);
        return !editor.isEmpty();
    }, 20000));
    xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), editor});

    // Ctrl+E: one save; two more at once never overwrite each other.
    xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QStringLiteral("ctrl+e")});
    ASSERT_TRUE(waitUntil([&] { return matching(folder, QStringLiteral("ui-*-1.png")).size() == 1; }, 10000));
    const QStringList states = matching(folder, QStringLiteral("state-*-1.json"));
    ASSERT_EQ(states.size(), 1);
    const QJsonObject state = record(folder + u'/' + states.first());
    EXPECT_EQ(state.keys(), (QStringList{QStringLiteral("anchors"), QStringLiteral("busy"), QStringLiteral("captureIntent"), QStringLiteral("captureShortcut"),
                                         QStringLiteral("hasImage"), QStringLiteral("imageHeight"), QStringLiteral("imageWidth"), QStringLiteral("intactLinks"),
                                         QStringLiteral("links"), QStringLiteral("masks"), QStringLiteral("status"), QStringLiteral("texts"),
                                         QStringLiteral("windowVisible")}));
    EXPECT_TRUE(state.value(QStringLiteral("hasImage")).toBool());
    EXPECT_TRUE(state.value(QStringLiteral("windowVisible")).toBool());
    EXPECT_EQ(state.value(QStringLiteral("imageWidth")).toInt(), 400);
    EXPECT_EQ(state.value(QStringLiteral("imageHeight")).toInt(), 300);
    EXPECT_EQ(state.value(QStringLiteral("captureIntent")).toString(), QStringLiteral("image"));
    EXPECT_FALSE(state.value(QStringLiteral("busy")).toBool(true));
    EXPECT_EQ(QImage(folder + u'/' + matching(folder, QStringLiteral("export-*-1.png")).value(0)).size(), QSize(400, 300));
    xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QStringLiteral("ctrl+e"), QStringLiteral("ctrl+e")});
    ASSERT_TRUE(waitUntil([&] { return matching(folder, QStringLiteral("state-*.json")).size() == 3; }, 10000));
    EXPECT_EQ(matching(folder, QStringLiteral("ui-*.png")).size(), 3);

    // Ctrl+T: the target window, once however often it is asked for.
    xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QStringLiteral("ctrl+t")});
    const QString targetName = QStringLiteral("Kivaro 合成截图目标");
    QString target;
    ASSERT_TRUE(waitUntil([&] {
        target = windowsTitled(pid, targetName).join(u' ');
        return !target.isEmpty();
    }, 10000));
    xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QStringLiteral("ctrl+t")});
    waitUntil([] { return false; }, 500);
    EXPECT_EQ(windowsTitled(pid, targetName).join(u' '), target);
    const QString geometry = xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), target});
    EXPECT_TRUE(geometry.contains(QStringLiteral("WIDTH=960")) && geometry.contains(QStringLiteral("HEIGHT=600"))) << geometry.toStdString();

    // The overlay in the mosaic mode (the mode bar's fourth segment, at the bottom centre of
    // the editor window): one press and one release through the server, two trace lines.
    xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), editor});
    const QString editorGeometry = xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), editor});
    const int width = editorGeometry.section(QStringLiteral("WIDTH="), 1).section(u'\n', 0, 0).toInt();
    const int height = editorGeometry.section(QStringLiteral("HEIGHT="), 1).section(u'\n', 0, 0).toInt();
    ASSERT_GT(width, 0);
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), editor, QString::number(width / 2 - 24), QString::number(height - 41), QStringLiteral("click"), QStringLiteral("1")});
    waitUntil([] { return false; }, 500);
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/pointer-timing.jsonl"))) << "the mode bar is not the overlay";
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), editor, QString::number(width / 2), QString::number(height / 2 - 60)});
    // The mask is the buttons held when the event is handled: the button stays down until the
    // press is traced.
    xdotool({QStringLiteral("mousedown"), QStringLiteral("1")});
    ASSERT_TRUE(waitUntil([&] { return contents(folder + QStringLiteral("/pointer-timing.jsonl")).count('\n') == 1; }, 5000))
        << contents(folder + QStringLiteral("/pointer-timing.jsonl")).constData();
    xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
    ASSERT_TRUE(waitUntil([&] { return contents(folder + QStringLiteral("/pointer-timing.jsonl")).count('\n') == 2; }, 5000))
        << contents(folder + QStringLiteral("/pointer-timing.jsonl")).constData();
    const QList<QByteArray> lines = contents(folder + QStringLiteral("/pointer-timing.jsonl")).split('\n');
    const QJsonObject press = QJsonDocument::fromJson(lines.at(0)).object();
    const QJsonObject release = QJsonDocument::fromJson(lines.at(1)).object();
    EXPECT_EQ(press.value(QStringLiteral("type")).toInt(), 1);
    EXPECT_EQ(press.value(QStringLiteral("pressedButtons")).toInt(), 1);
    EXPECT_EQ(release.value(QStringLiteral("type")).toInt(), 2);
    EXPECT_EQ(release.value(QStringLiteral("pressedButtons")).toInt(), 0);
    EXPECT_EQ(press.value(QStringLiteral("sourcePID")).toInt(), -1);
    EXPECT_GE(release.value(QStringLiteral("timestamp")).toDouble(), press.value(QStringLiteral("timestamp")).toDouble());

    // Ctrl+M without audio or a Mandarin model: no record, the reason in the status line, the
    // editor free again (the next save shows both).
    xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QStringLiteral("ctrl+m")});
    waitUntil([] { return false; }, 1500);
    xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QStringLiteral("ctrl+e")});
    ASSERT_TRUE(waitUntil([&] { return matching(folder, QStringLiteral("state-*-4.json")).size() == 1; }, 15000));
    const QJsonObject afterCheck = record(folder + u'/' + matching(folder, QStringLiteral("state-*-4.json")).first());
    const QString status = afterCheck.value(QStringLiteral("status")).toString();
    EXPECT_FALSE(status.isEmpty());
    EXPECT_NE(status, QStringLiteral("验证证据已保存。"));
    EXPECT_FALSE(afterCheck.value(QStringLiteral("busy")).toBool(true));
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/microphone-check.json")));

    // A folder opened to others since the start gets no more evidence.
    ::chmod(QFile::encodeName(folder).constData(), 0770);
    xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QStringLiteral("ctrl+e")});
    waitUntil([] { return false; }, 1500);
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    EXPECT_EQ(matching(folder, QStringLiteral("state-*.json")).size(), 4);
    EXPECT_TRUE(matching(folder, QStringLiteral("*-5.*")).isEmpty());
    EXPECT_TRUE(session.end());
}

// Without "--evidence-dir" the session works in a fresh private folder, never a fixed one, and
// the hooks, which need a named folder, write nothing.
TEST_F(VerificationProcess, SessionWithoutAFolderUsesAFreshOneAndNoHooks)
{
    ASSERT_TRUE(display.startWindowManager());
    SessionProcess session(environment(), {QStringLiteral("--ui-session"), QStringLiteral("--ui-image"), startImage(home.path()),
                                           QStringLiteral("--verify-share-action")});
    ASSERT_TRUE(session.running());
    const QString temporary = home.filePath(QStringLiteral("tmp"));
    QString folder;
    ASSERT_TRUE(waitUntil([&] {
        const QStringList made = QDir(temporary).entryList({QStringLiteral("kivaro-verification-*")}, QDir::Dirs);
        folder = made.isEmpty() ? QString() : temporary + u'/' + made.first();
        return !folder.isEmpty() && QFileInfo::exists(folder + QStringLiteral("/ui-baseline.png"));
    }, 20000));
    struct stat info = {};
    ASSERT_EQ(::lstat(QFile::encodeName(folder).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_EQ(contents(folder + QStringLiteral("/process.pid")), QByteArray::number(session.pid()));
    waitUntil([] { return false; }, 2500); // past the copy
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/copy-receipt.json")));
    EXPECT_TRUE(session.end());
    QDir(folder).removeRecursively();
}

// A start image that is not an image is passed over without a word: no baseline, the editor
// stays empty and hidden, and the delayed copy has nothing to copy.
TEST_F(VerificationProcess, SessionWithAStartFileThatIsNoImageCopiesNothing)
{
    ASSERT_TRUE(display.startWindowManager());
    const QString folder = evidence();
    const QString notImage = home.filePath(QStringLiteral("notes.png"));
    writeFile(notImage, QByteArrayLiteral("not a picture at all"));
    SessionProcess session(environment(), {QStringLiteral("--ui-session"), QStringLiteral("--evidence-dir"), folder, QStringLiteral("--ui-image"),
                                           notImage, QStringLiteral("--verify-share-action")});
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(folder + QStringLiteral("/process.pid")); }, 20000));
    waitUntil([] { return false; }, 2500); // past the copy
    EXPECT_TRUE(session.running());
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/ui-baseline.png")));
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/copy-receipt.json")));
    EXPECT_TRUE(windowsTitled(QString::number(session.pid()), QStringLiteral("Kivaro")).isEmpty()) << "the editor stays hidden";
    EXPECT_TRUE(session.end());
}

// A reused folder: what an earlier session left there (a passed microphone check, a copy
// receipt, trace lines, a link at the baseline's name) is gone once the session has started, so
// none of it can pass for this session's; a link is removed, never followed.
TEST_F(VerificationProcess, SessionRemovesAnEarlierSessionsRecordsAndTraces)
{
    ASSERT_TRUE(display.startWindowManager());
    const QString folder = evidence();
    const QByteArray passed = QByteArrayLiteral("{\"status\":\"passed\",\"transcript\":\"保存\",\"microphoneVerified\":true}");
    writeFile(folder + QStringLiteral("/microphone-check.json"), passed);
    writeFile(folder + QStringLiteral("/copy-receipt.json"), QByteArrayLiteral("{\"copied\":true}"));
    writeFile(folder + QStringLiteral("/pointer-timing.jsonl"), QByteArrayLiteral("{\"type\":1}\n"));
    writeFile(folder + QStringLiteral("/voice-timing.jsonl"), QByteArrayLiteral("{\"action\":\"finish\"}\n"));
    writeFile(folder + QStringLiteral("/process.pid"), QByteArrayLiteral("1"));
    const QString victim = home.filePath(QStringLiteral("victim"));
    writeFile(victim, QByteArrayLiteral("someone else's file"));
    ASSERT_TRUE(QFile::link(victim, folder + QStringLiteral("/ui-baseline.png")));
    SessionProcess session(environment(), {QStringLiteral("--ui-session"), QStringLiteral("--evidence-dir"), folder});
    ASSERT_TRUE(session.running());
    ASSERT_TRUE(waitUntil([&] { return contents(folder + QStringLiteral("/process.pid")) == QByteArray::number(session.pid()); }, 20000));
    for (const char *stale : {"microphone-check.json", "copy-receipt.json", "pointer-timing.jsonl", "voice-timing.jsonl", "ui-baseline.png"})
        EXPECT_FALSE(QFileInfo::exists(folder + u'/' + QLatin1String(stale)) || QFileInfo(folder + u'/' + QLatin1String(stale)).isSymLink())
            << stale;
    EXPECT_EQ(contents(victim), QByteArrayLiteral("someone else's file"));
    EXPECT_TRUE(session.end());
}

// ---- the published update check --------------------------------------------------------------

// Its own mode: without the update site it fails with its line and writes no result; with
// another mode it does not start at all.
TEST_F(VerificationProcess, PublishedUpdateCheckWithoutTheSiteFailsAndWritesNoResult)
{
    const QString folder = evidence();
    writeFile(folder + QStringLiteral("/published-update.json"), QByteArrayLiteral("{\"status\":\"passed\"}"));
    const Outcome outcome = run({QStringLiteral("--verify-updater"), QStringLiteral("--evidence-dir"), folder});
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_TRUE(outcome.errors.startsWith("Kivaro production updater verification failed: ")) << outcome.errors.constData();
    EXPECT_TRUE(outcome.errors.endsWith('\n'));
    EXPECT_EQ(outcome.errors.count('\n'), 1) << outcome.errors.constData();
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/published-update.json")));
    EXPECT_TRUE(matching(folder, QStringLiteral("installed-update-*.png")).isEmpty());
    EXPECT_EQ(record(folder + QStringLiteral("/summary.json")).value(QStringLiteral("status")).toString(), QStringLiteral("failed"));
    EXPECT_FALSE(outcome.output.contains("verification passed"));

    // Without a folder: a fresh private one named after the run, never a fixed name.
    const Outcome fresh = run({QStringLiteral("--verify-updater")});
    ASSERT_TRUE(fresh.finished);
    EXPECT_EQ(fresh.exitCode, 1);
    const QString temporary = home.filePath(QStringLiteral("tmp"));
    const QStringList made = QDir(temporary).entryList({QStringLiteral("kivaro-updater-*")}, QDir::Dirs);
    ASSERT_EQ(made.size(), 1) << fresh.errors.constData();
    struct stat info = {};
    ASSERT_EQ(::lstat(QFile::encodeName(temporary + u'/' + made.first()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_FALSE(QFileInfo::exists(temporary + u'/' + made.first() + QStringLiteral("/published-update.json")));
    QDir(temporary + u'/' + made.first()).removeRecursively();

    const Outcome both = run({QStringLiteral("--verify-updater"), QStringLiteral("--verify"), QStringLiteral("--evidence-dir"), folder});
    ASSERT_TRUE(both.finished);
    EXPECT_EQ(both.exitCode, 1);
    EXPECT_TRUE(both.errors.startsWith("kivaro: choose one of --verify, --ui-session and --verify-updater\nusage: ")) << both.errors.constData();
}

// The running instance's staged update (held for over an hour in the shared temporary folder,
// waiting for "restart and update") is not the check's to sweep: the run's updaters sweep only
// the run's own temporary folder.
TEST_F(VerificationProcess, PublishedUpdateCheckLeavesTheUsersStagedUpdateAlone)
{
    const QString staged = home.filePath(QStringLiteral("tmp/kivaro-update-") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
    ASSERT_EQ(::mkdir(QFile::encodeName(staged).constData(), 0700), 0);
    writeFile(staged + QStringLiteral("/update.zip"), QByteArrayLiteral("a verified update"));
    const qint64 twoHoursAgo = QDateTime::currentSecsSinceEpoch() - 7200;
    const struct timespec times[2] = {{twoHoursAgo, 0}, {twoHoursAgo, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(staged).constData(), times, AT_SYMLINK_NOFOLLOW), 0);
    const QString folder = evidence();
    const Outcome outcome = run({QStringLiteral("--verify-updater"), QStringLiteral("--evidence-dir"), folder});
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 1) << "no update site here";
    EXPECT_EQ(contents(staged + QStringLiteral("/update.zip")), QByteArrayLiteral("a verified update"));
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/tmp")).isDir()) << "the run's own temporary folder";
    QDir(staged).removeRecursively();
}

} // namespace

int main(int argc, char **argv)
{
    return TestSupport::runTestsOnOwnXServer(argc, argv, QSize(1280, 800));
}
