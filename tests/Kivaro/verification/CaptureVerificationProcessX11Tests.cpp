// The capture scenarios as CI runs them: the real kivaro process with "--verify" and
// "--verify-selection" or "--capture-live", on an X server of its own with openbox, private XDG
// folders and a fresh evidence folder, checked by exit status, the exact standard output and
// error, and the bytes and pixels of the evidence. The user's preferences and recent shots
// must be as they were before each run.

#include "Kivaro/document/SampleImage.h"
#include "Kivaro/verification/CaptureLiveVerification.h"
#include "Kivaro/verification/CaptureSelectionVerification.h"
#include "KivaroProcessFixture.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace KivaroProcessTesting;

namespace {

QJsonObject failure(const QString &message)
{
    return QJsonObject{{QStringLiteral("status"), QStringLiteral("failed")}, {QStringLiteral("error"), message}};
}

// Whether `needle` appears pixel for pixel somewhere in `haystack`.
bool containsPixels(const QImage &haystack, const QImage &needle)
{
    const QImage hay = haystack.convertToFormat(QImage::Format_RGB32);
    const QImage pin = needle.convertToFormat(QImage::Format_RGB32);
    if (pin.isNull() || hay.width() < pin.width() || hay.height() < pin.height())
        return false;
    for (int y = 0; y <= hay.height() - pin.height(); ++y)
        for (int x = 0; x <= hay.width() - pin.width(); ++x) {
            bool same = true;
            for (int row = 0; row < pin.height() && same; ++row)
                same = std::equal(reinterpret_cast<const QRgb *>(pin.constScanLine(row)),
                                  reinterpret_cast<const QRgb *>(pin.constScanLine(row)) + pin.width(),
                                  reinterpret_cast<const QRgb *>(hay.constScanLine(y + row)) + x);
            if (same)
                return true;
        }
    return false;
}

class CaptureVerificationProcess : public KivaroProcessFixture {
protected:
    CaptureVerificationProcess()
        : KivaroProcessFixture(QStringLiteral("kivaro-capture-verify-XXXXXX"))
    {
    }

    // `noDisplay`: Qt's offscreen platform and no $DISPLAY at all.
    Outcome scenario(const QString &flag, const QString &folder, bool noDisplay = false) const
    {
        QProcessEnvironment env =
            privateEnvironment(QStringLiteral("zh_CN"), noDisplay ? QStringLiteral("offscreen") : QStringLiteral("xcb"));
        if (noDisplay)
            env.remove(QStringLiteral("DISPLAY"));
        return runKivaro(env, {QStringLiteral("--verify"), flag, QStringLiteral("--evidence-dir"), folder}, 90000);
    }

    // A link in place of the evidence folder is refused before any window; nothing reaches
    // its target.
    void expectLinkedFolderRefused(const QString &flag)
    {
        const QString target = evidence(QStringLiteral("target"));
        const QString link = home.filePath(QStringLiteral("link"));
        ASSERT_TRUE(QFile::link(target, link));
        const Outcome outcome = scenario(flag, link);
        ASSERT_TRUE(outcome.finished);
        EXPECT_EQ(outcome.exitCode, 1);
        EXPECT_EQ(outcome.errors, "kivaro: the evidence folder " + QFile::encodeName(link) + " is a symbolic link\n");
        EXPECT_TRUE(files(target).isEmpty());
    }
};

// ---- selection overlay -----------------------------------------------------------------------

TEST_F(CaptureVerificationProcess, SelectionPassesEveryRuleAndWritesItsPictures)
{
    ASSERT_TRUE(display.startWindowManager());
    const QString folder = evidence();
    writeFile(folder + QStringLiteral("/summary.json"), QByteArrayLiteral("{\"status\":\"stale\"}"));
    const Outcome outcome = scenario(QStringLiteral("--verify-selection"), folder);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.errors.constData();
    EXPECT_TRUE(outcome.errors.isEmpty()) << outcome.errors.constData();
    QByteArray announced;
    QStringList expectedFiles{QStringLiteral("cache"), QStringLiteral("config"), QStringLiteral("data"), QStringLiteral("summary.json"),
                              QStringLiteral("tmp")};
    for (const QString &name : Kivaro::CaptureSelectionVerification::pictureNames()) {
        announced += "SCREENSHOT: " + QFile::encodeName(folder) + '/' + name.toUtf8() + ".png\n";
        expectedFiles.append(name + QStringLiteral(".png"));
        const QImage picture(folder + u'/' + name + QStringLiteral(".png"));
        ASSERT_FALSE(picture.isNull()) << name.toStdString();
        EXPECT_EQ(picture.size(), QSize(1920, 1200)) << name.toStdString();
        EXPECT_EQ(qAlpha(picture.pixel(picture.width() / 2, picture.height() / 2)), 255) << name.toStdString();
    }
    EXPECT_EQ(outcome.output, announced);
    expectedFiles.sort();
    EXPECT_EQ(files(folder), expectedFiles);

    const QByteArray summary = contents(folder + QStringLiteral("/summary.json"));
    EXPECT_EQ(summary, Kivaro::CaptureSelectionVerification::passSummary());
    // Never more than was measured: the layout was synthetic and no physical mouse moved.
    EXPECT_TRUE(summary.contains("\"environment\": \"native-linux\",\n    \"checks\": [\n        \"overlapping targets\","));
    EXPECT_TRUE(summary.endsWith("\"multiMonitorLayout\": \"synthetic\",\n    \"physicalMouseVerified\": false\n}\n"));
    EXPECT_EQ(Kivaro::CaptureSelectionVerification::checkNames().size(), 15);
}

// With no display the fixture windows are never listed: the run fails before its first rule,
// with its record in place of an earlier pass and none of the earlier pictures left.
TEST_F(CaptureVerificationProcess, SelectionWithoutADisplayFailsBeforeItsRules)
{
    const QString folder = evidence();
    writeFile(folder + QStringLiteral("/summary.json"), Kivaro::CaptureSelectionVerification::passSummary());
    writeFile(folder + QStringLiteral("/overlapping-front.png"), QByteArrayLiteral("stale"));
    const Outcome outcome = scenario(QStringLiteral("--verify-selection"), folder, true);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 1);
    const QString message = QStringLiteral("Capture selection fixture windows unavailable");
    EXPECT_TRUE(outcome.errors.endsWith(("Capture selection verification failed: " + message + u'\n').toUtf8())) << outcome.errors.constData();
    EXPECT_EQ(outcome.errors.count("verification failed"), 1);
    EXPECT_TRUE(outcome.output.isEmpty());
    EXPECT_EQ(record(folder + QStringLiteral("/summary.json")), failure(message));
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/overlapping-front.png")));
}

TEST_F(CaptureVerificationProcess, SelectionRefusesALinkedEvidenceFolder)
{
    expectLinkedFolderRefused(QStringLiteral("--verify-selection"));
}

// ---- live capture ----------------------------------------------------------------------------

TEST_F(CaptureVerificationProcess, LiveCapturePicksItsOwnWindowAndCancelsEveryWay)
{
    ASSERT_TRUE(display.startWindowManager());
    const QString folder = evidence();
    const Outcome outcome = scenario(QStringLiteral("--capture-live"), folder);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.errors.constData();
    EXPECT_TRUE(outcome.errors.isEmpty()) << outcome.errors.constData();
    EXPECT_EQ(outcome.output, "SCREENSHOT: " + QFile::encodeName(folder) + "/live-captured-editor.png\n");
    EXPECT_EQ(files(folder), (QStringList{QStringLiteral("cache"), QStringLiteral("cancel-footer-region.png"), QStringLiteral("cancel-footer-window.png"),
                                          QStringLiteral("capture-live.json"), QStringLiteral("captured-region.png"),
                                          QStringLiteral("captured-window.png"), QStringLiteral("config"), QStringLiteral("data"),
                                          QStringLiteral("live-captured-editor.png"), QStringLiteral("tmp")}));
    // Every picture is the run's private evidence, the footer's included.
    for (const QString &name : files(folder)) {
        struct stat info = {};
        ASSERT_EQ(::lstat(QFile::encodeName(folder + u'/' + name).constData(), &info), 0) << name.toStdString();
        if (S_ISREG(info.st_mode)) {
            EXPECT_EQ(info.st_mode & 07777, 0600u) << name.toStdString();
        }
    }

    const QImage window(folder + QStringLiteral("/captured-window.png"));
    const QImage region(folder + QStringLiteral("/captured-region.png"));
    ASSERT_FALSE(window.isNull());
    ASSERT_EQ(region.size(), QSize(420, 260)); // a backing scale of 1
    EXPECT_EQ(contents(folder + QStringLiteral("/capture-live.json")),
              Kivaro::CaptureLiveVerification::passRecord(window.size(), region.size()));
    // The window picked is the run's own fixture: its picture shows the sample at full size,
    // and the region is cut from that same picture.
    const QImage sample = Kivaro::SampleImage::make();
    EXPECT_GE(window.width(), sample.width());
    EXPECT_GE(window.height(), sample.height());
    EXPECT_TRUE(containsPixels(sample, region));
    EXPECT_TRUE(containsPixels(window, sample.copy(380, 200, 200, 200)));
    for (const char *footer : {"cancel-footer-window.png", "cancel-footer-region.png"})
        EXPECT_FALSE(QImage(folder + u'/' + QLatin1String(footer)).isNull()) << footer;
    EXPECT_FALSE(QImage(folder + QStringLiteral("/live-captured-editor.png")).isNull());
}

// Without a display the first capture reports the missing screen access at once; the run
// fails with that text in its own record and writes no summary and no picture.
TEST_F(CaptureVerificationProcess, LiveCaptureWithoutADisplayFailsWithTheCapturesError)
{
    const QString folder = evidence();
    writeFile(folder + QStringLiteral("/capture-live.json"), Kivaro::CaptureLiveVerification::passRecord(QSize(1, 1), QSize(1, 1)));
    writeFile(folder + QStringLiteral("/captured-window.png"), QByteArrayLiteral("stale"));
    const Outcome outcome = scenario(QStringLiteral("--capture-live"), folder, true);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 1);
    const QString message = QStringLiteral("请先在系统设置的“录屏与系统录音”中允许当前应用，再重新打开应用。");
    EXPECT_TRUE(outcome.errors.endsWith(("Live capture verification failed: " + message + u'\n').toUtf8())) << outcome.errors.constData();
    EXPECT_EQ(record(folder + QStringLiteral("/capture-live.json")), failure(message));
    EXPECT_EQ(files(folder), (QStringList{QStringLiteral("cache"), QStringLiteral("capture-live.json"), QStringLiteral("config"), QStringLiteral("data"),
                                          QStringLiteral("tmp")}));
}

// A footer picture that cannot be written (a folder stands at its name) fails the run with the
// write's error, which names the file; no pass is written.
TEST_F(CaptureVerificationProcess, LiveCaptureThatCannotWriteAFooterPictureFailsNamingIt)
{
    ASSERT_TRUE(display.startWindowManager());
    const QString folder = evidence();
    const QString footer = folder + QStringLiteral("/cancel-footer-window.png");
    ASSERT_TRUE(QDir().mkdir(footer));
    const Outcome outcome = scenario(QStringLiteral("--capture-live"), folder);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 1);
    const QString error = record(folder + QStringLiteral("/capture-live.json")).value(QStringLiteral("error")).toString();
    EXPECT_TRUE(error.contains(footer)) << error.toStdString();
    EXPECT_EQ(outcome.errors, ("Live capture verification failed: " + error + u'\n').toUtf8());
    EXPECT_EQ(record(folder + QStringLiteral("/capture-live.json")), failure(error));
}

TEST_F(CaptureVerificationProcess, LiveCaptureRefusesALinkedEvidenceFolder)
{
    expectLinkedFolderRefused(QStringLiteral("--capture-live"));
}

} // namespace
