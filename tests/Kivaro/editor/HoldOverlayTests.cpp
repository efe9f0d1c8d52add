// The press-and-hold overlay on its own (offscreen, the in-process pointer standing in for the
// X server's button state) and its timing trace. PointerTraceRun.* runs in its own CTest test,
// started with "--ui-session --evidence-dir <folder>".

#include "EditorFixtures.h"

#include "Kivaro/editor/HoldOverlay.h"
#include "Kivaro/editor/internal/PointerTrace.h"

#include "Kivaro/controls/KivaroModes.h"
#include "KivaroCore/LaunchArguments.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace Kivaro;
using namespace EditorTesting;

namespace {

class Hold : public ::testing::Test {
protected:
    void SetUp() override
    {
        host.resize(400, 300);
        overlay = new HoldOverlay(&host);
        overlay->setGeometry(0, 0, 400, 300);
        overlay->setPointerSource(pointer);
        overlay->began = [this](QPointF p) { log << QStringLiteral("began %1,%2").arg(p.x()).arg(p.y()); };
        overlay->ended = [this] { log << QStringLiteral("ended"); };
        overlay->cancelled = [this] { log << QStringLiteral("cancelled"); };
        overlay->completedDrag = [this](QPointF a, QPointF b) { drags << qMakePair(a, b); };
        overlay->completedFreehand = [this](const QList<QPointF> &points) { strokes << points; };
        overlay->completedRectangle = [this](QRectF r) { rectangles << r; };
        host.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    }
    // A press at `p` with the button held as the window system would report it.
    void press(QPointF p, qint64 time = 1000)
    {
        pointer->setPressedButtons(Qt::LeftButton);
        overlay->press(p, time);
    }

    QWidget host;
    HoldOverlay *overlay = nullptr;
    std::shared_ptr<Platform::InProcessPointerSource> pointer = std::make_shared<Platform::InProcessPointerSource>();
    QStringList log;
    QList<QPair<QPointF, QPointF>> drags;
    QList<QList<QPointF>> strokes;
    QList<QRectF> rectangles;
};

} // namespace

TEST_F(Hold, TheToolAndTheRectangleModeDecideWhatTheReleaseReports)
{
    overlay->drawingTool = DrawingTool::ellipse;
    press(QPointF(10, 20));
    overlay->dragTo(QPointF(50, 60));
    EXPECT_EQ(overlay->currentPoint(), QPointF(50, 60));
    overlay->release(QPointF(80, 90), 1100);
    ASSERT_EQ(drags.size(), 1);
    EXPECT_EQ(drags[0], qMakePair(QPointF(10, 20), QPointF(80, 90)));
    EXPECT_FALSE(overlay->point());

    overlay->drawingTool.reset();
    overlay->rectangleMode = true;
    press(QPointF(200, 150));
    overlay->release(QPointF(120, 100), 1200);
    ASSERT_EQ(rectangles.size(), 1);
    EXPECT_EQ(rectangles[0], QRectF(120, 100, 80, 50)) << "drawn from bottom right to top left, still a positive size";

    overlay->rectangleMode = false;
    press(QPointF(30, 30));
    overlay->release(QPointF(30, 30), 1300);
    EXPECT_EQ(log.last(), QStringLiteral("ended"));
    EXPECT_EQ(log.count(QStringLiteral("began 30,30")), 1);
}

TEST_F(Hold, APenStrokeCollectsEveryPointAndASingleClickGivesTwo)
{
    overlay->drawingTool = DrawingTool::pen;
    press(QPointF(5, 5));
    overlay->release(QPointF(5, 5), 1001);
    ASSERT_EQ(strokes.size(), 1);
    EXPECT_EQ(strokes[0], (QList<QPointF>{QPointF(5, 5), QPointF(5, 5)}));

    press(QPointF(1, 1), 2000);
    overlay->dragTo(QPointF(2, 3));
    overlay->dragTo(QPointF(4, 6));
    overlay->release(QPointF(8, 9), 2100);
    EXPECT_EQ(strokes[1], (QList<QPointF>{QPointF(1, 1), QPointF(2, 3), QPointF(4, 6), QPointF(8, 9)}));
    EXPECT_EQ(overlay->strokePoints(), strokes[1]) << "kept until the next press";
}

TEST_F(Hold, AReleaseCarryingThePresssTimestampWhileTheButtonIsHeldIsNotARelease)
{
    overlay->drawingTool = DrawingTool::line;
    press(QPointF(10, 10), 5000);
    overlay->release(QPointF(40, 40), 5000);
    EXPECT_TRUE(overlay->holding());
    EXPECT_TRUE(drags.isEmpty());
    pointer->setPressedButtons(Qt::NoButton);
    overlay->release(QPointF(40, 40), 5000);
    EXPECT_FALSE(overlay->holding());
    EXPECT_EQ(drags.size(), 1);
    // Handled once: a later release finds no hold.
    overlay->release(QPointF(90, 90), 5100);
    EXPECT_EQ(drags.size(), 1);
}

TEST_F(Hold, AReleaseNoWindowWasSentEndsAtTheLastPolledPosition)
{
    overlay->drawingTool = DrawingTool::arrow;
    press(QPointF(20, 20));
    EXPECT_TRUE(overlay->isPolling());
    // The pointer leaves the window and the button comes up out there.
    pointer->setLocation(overlay->mapToGlobal(QPoint(520, 40)));
    ASSERT_TRUE(waitUntil([&] { return overlay->currentPoint() == QPointF(520, 40); }, 1000));
    EXPECT_TRUE(overlay->holding());
    pointer->setPressedButtons(Qt::NoButton);
    ASSERT_TRUE(waitUntil([&] { return !overlay->holding(); }, 1000));
    ASSERT_EQ(drags.size(), 1);
    EXPECT_EQ(drags[0].second, QPointF(520, 40));
    EXPECT_FALSE(overlay->isPolling()) << "the poll runs only while a hold is in progress";
}

TEST_F(Hold, EscapeCancelsAHoldWithoutAResult)
{
    press(QPointF(20, 20));
    QTest::keyClick(overlay, Qt::Key_Escape);
    EXPECT_FALSE(overlay->holding());
    EXPECT_FALSE(overlay->isPolling());
    EXPECT_EQ(log, (QStringList{QStringLiteral("began 20,20"), QStringLiteral("cancelled")}));
    pointer->setPressedButtons(Qt::NoButton);
    overlay->release(QPointF(20, 20), 2000);
    EXPECT_FALSE(log.contains(QStringLiteral("ended")));
    // Also without a hold.
    overlay->cancel();
    EXPECT_EQ(log.count(QStringLiteral("cancelled")), 2);
}

TEST_F(Hold, MouseEventsReachTheOverlayOnlyWhileActiveAndNotOverTheVisibleExcludedView)
{
    auto *excluded = new QWidget(&host);
    excluded->setGeometry(300, 200, 80, 80);
    excluded->show();
    excluded->raise();
    overlay->excludedView = excluded;
    pointer->setPressedButtons(Qt::LeftButton);
    QTest::mousePress(excluded, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_FALSE(overlay->holding()) << "the press belongs to the excluded view";
    QTest::mouseRelease(excluded, Qt::LeftButton, {}, QPoint(10, 10));

    excluded->hide();
    QTest::mousePress(overlay, Qt::LeftButton, {}, QPoint(310, 210));
    EXPECT_TRUE(overlay->holding());
    pointer->setPressedButtons(Qt::NoButton);
    QTest::mouseRelease(overlay, Qt::LeftButton, {}, QPoint(312, 214), 20);
    EXPECT_FALSE(overlay->holding());
    EXPECT_EQ(log.last(), QStringLiteral("ended"));

    overlay->setActive(false);
    EXPECT_TRUE(overlay->testAttribute(Qt::WA_TransparentForMouseEvents));
    const qsizetype before = log.size();
    overlay->press(QPointF(50, 50), 9000);
    EXPECT_FALSE(overlay->holding());
    EXPECT_EQ(log.size(), before);
}

// ---- the trace -------------------------------------------------------------------------------

namespace {
struct TraceFolder : ::testing::Test {
    QTemporaryDir dir;
    QString path() const { return dir.path(); }
    QString file() const { return dir.filePath(QString::fromLatin1(detail::PointerTrace::kFileName)); }
    QByteArray contents() const
    {
        QFile f(file());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void SetUp() override { ::chmod(QFile::encodeName(path()).constData(), 0700); }
};
} // namespace

TEST(PointerTrace, IsDueOnlyWithBothTheSessionFlagAndAnEvidenceFolder)
{
    const QString program = QStringLiteral("kivaro");
    EXPECT_EQ(detail::PointerTrace::folder({program, QStringLiteral("--ui-session"), QStringLiteral("--evidence-dir"), QStringLiteral("/e")}),
              QStringLiteral("/e"));
    EXPECT_FALSE(detail::PointerTrace::folder({program, QStringLiteral("--ui-session")}));
    EXPECT_FALSE(detail::PointerTrace::folder({program, QStringLiteral("--evidence-dir"), QStringLiteral("/e")}));
}

TEST_F(TraceFolder, LinesAreCompactObjectsAppendedToAPrivateFile)
{
    const QByteArray line = detail::PointerTrace::line(1, 1765000000.25, 12.5, 1, -1);
    EXPECT_TRUE(line.endsWith('\n'));
    EXPECT_FALSE(line.chopped(1).contains('\n'));
    const QJsonObject object = QJsonDocument::fromJson(line).object();
    EXPECT_EQ(object.value(QStringLiteral("type")), 1);
    EXPECT_EQ(object.value(QStringLiteral("received")), 1765000000.25);
    EXPECT_EQ(object.value(QStringLiteral("timestamp")), 12.5);
    EXPECT_EQ(object.value(QStringLiteral("pressedButtons")), 1);
    EXPECT_EQ(object.value(QStringLiteral("sourcePID")), -1);

    ASSERT_TRUE(detail::PointerTrace::append(path(), line));
    ASSERT_TRUE(detail::PointerTrace::append(path(), detail::PointerTrace::line(2, 1765000000.5, 12.75, 0, -1)));
    const QList<QByteArray> lines = contents().split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(QJsonDocument::fromJson(lines[1]).object().value(QStringLiteral("type")), 2);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(file()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(TraceFolder, NothingIsWrittenThroughLinksIntoSharedFoldersOrPastTheCap)
{
    // A folder others may write into.
    ::chmod(QFile::encodeName(path()).constData(), 0777);
    EXPECT_FALSE(detail::PointerTrace::append(path(), "x\n"));
    EXPECT_FALSE(QFile::exists(file()));
    ::chmod(QFile::encodeName(path()).constData(), 0700);

    // The folder named through a link.
    const QString link = path() + QStringLiteral("-link");
    ASSERT_TRUE(QFile::link(path(), link));
    EXPECT_FALSE(detail::PointerTrace::isValidFolder(link));
    EXPECT_FALSE(detail::PointerTrace::append(link, "x\n"));
    QFile::remove(link);

    // The trace file is a link to somewhere else.
    const QString target = dir.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QFile::link(target, file()));
    EXPECT_FALSE(detail::PointerTrace::append(path(), "x\n"));
    EXPECT_FALSE(QFile::exists(target));
    QFile::remove(file());

    // A missing folder is not made.
    EXPECT_FALSE(detail::PointerTrace::append(dir.filePath(QStringLiteral("missing")), "x\n"));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("missing"))));

    // The cap: a line that would pass it is dropped whole, and the trace stays as it was.
    ASSERT_TRUE(detail::PointerTrace::append(path(), QByteArray(90, 'a') + '\n', 100));
    EXPECT_FALSE(detail::PointerTrace::append(path(), QByteArray(10, 'b') + '\n', 100));
    EXPECT_EQ(contents().size(), 91);
}

using PointerTraceRun = EditorTest;

TEST_F(PointerTraceRun, EachPressAndReleaseOfAVerificationSessionIsTraced)
{
    const std::optional<QString> evidence = PrototypeVerification::argument(QStringLiteral("--evidence-dir"));
    if (!evidence || !PrototypeVerification::hasFlag(QStringLiteral("--ui-session")))
        GTEST_SKIP() << "runs as KivaroEditorPointerTrace, with the session's arguments";
    ASSERT_TRUE(QDir().mkpath(*evidence));
    ::chmod(QFile::encodeName(*evidence).constData(), 0700);
    const QString trace = QDir(*evidence).filePath(QStringLiteral("pointer-timing.jsonl"));
    QFile::remove(trace);
    loadPicture();
    editor->mode()->setSelectedSegment(EditorController::mosaicSegment);
    editor->modeChanged();
    HoldOverlay *overlay = editor->overlay();
    pointer->setPressedButtons(Qt::LeftButton);
    QTest::mousePress(overlay, Qt::LeftButton, {}, QPoint(100, 100));
    pointer->setPressedButtons(Qt::NoButton);
    QTest::mouseRelease(overlay, Qt::LeftButton, {}, QPoint(200, 160), 30);
    QFile file(trace);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), 3);
    const QJsonObject press = QJsonDocument::fromJson(lines[0]).object();
    const QJsonObject release = QJsonDocument::fromJson(lines[1]).object();
    EXPECT_EQ(press.value(QStringLiteral("type")), 1);
    EXPECT_EQ(press.value(QStringLiteral("pressedButtons")), 1);
    EXPECT_EQ(release.value(QStringLiteral("type")), 2);
    EXPECT_EQ(release.value(QStringLiteral("pressedButtons")), 0);
    EXPECT_EQ(release.value(QStringLiteral("sourcePID")), -1);
    EXPECT_GE(release.value(QStringLiteral("timestamp")).toDouble(), press.value(QStringLiteral("timestamp")).toDouble());
    EXPECT_GT(press.value(QStringLiteral("received")).toDouble(), 1.7e9);
    EXPECT_EQ(file.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);
    QFile::remove(trace);
}
