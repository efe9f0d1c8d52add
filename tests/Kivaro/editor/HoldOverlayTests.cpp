// The press-and-hold overlay on its own (offscreen, the in-process pointer standing in for the
// X server's button state) and its timing trace. PointerTraceRun.* runs in its own CTest test,
// started with "--ui-session --evidence-dir <folder>".

#include "EditorFixtures.h"

#include "Kivaro/editor/HoldOverlay.h"
#include "KivaroCore/VoiceTiming.h"
#include "KivaroCore/PointerTrace.h"

#include "Kivaro/controls/KivaroModes.h"
#include "KivaroCore/LaunchArguments.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <sys/stat.h>

using namespace Kivaro;
using namespace EditorTesting;
namespace Trace = Kivaro::detail::PointerTrace;

TEST(HoldOverlay, EachModeReportsItsGestureOnceAndAReleaseNoWindowWasSentEndsAtThePolledPoint)
{
    QWidget host;
    host.resize(400, 300);
    auto *overlay = new HoldOverlay(&host);
    overlay->resize(400, 300);
    auto pointer = std::make_shared<Platform::InProcessPointerSource>();
    overlay->setPointerSource(pointer);
    QStringList log;
    overlay->completedDrag = [&](QPointF a, QPointF b) { log << QStringLiteral("drag %1,%2 %3,%4").arg(a.x()).arg(a.y()).arg(b.x()).arg(b.y()); };
    overlay->completedFreehand = [&](const QList<QPointF> &points) { log << QStringLiteral("pen %1").arg(points.size()); };
    overlay->completedRectangle = [&](QRectF r) { log << QStringLiteral("rect %1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()); };
    overlay->ended = [&] { log << QStringLiteral("ended"); };
    overlay->cancelled = [&] { log << QStringLiteral("cancelled"); };
    host.show();
    pointer->setPressedButtons(Qt::LeftButton);

    overlay->drawingTool = DrawingTool::pen;
    overlay->press(QPointF(5, 5), 10);
    overlay->release(QPointF(5, 5), 20);
    overlay->drawingTool = DrawingTool::line;
    overlay->press(QPointF(10, 10), 30);
    overlay->release(QPointF(40, 40), 30); // the press's own timestamp with the button held: not a release
    EXPECT_TRUE(overlay->holding());
    overlay->release(QPointF(40, 40), 40);
    overlay->release(QPointF(90, 90), 50); // handled once
    overlay->drawingTool.reset();
    overlay->rectangleMode = true;
    overlay->press(QPointF(200, 150), 60);
    overlay->release(QPointF(120, 100), 70);
    overlay->rectangleMode = false;
    overlay->press(QPointF(30, 30), 80);
    QTest::keyClick(overlay, Qt::Key_Escape);
    overlay->release(QPointF(30, 30), 90);
    EXPECT_EQ(log, (QStringList{QStringLiteral("pen 2"), QStringLiteral("drag 10,10 40,40"), QStringLiteral("rect 120,100 80x50"),
                                QStringLiteral("cancelled")}));

    // The pointer leaves the window and the button comes up out there: the poll ends the hold.
    overlay->drawingTool = DrawingTool::arrow;
    overlay->press(QPointF(20, 20), 100);
    pointer->setLocation(overlay->mapToGlobal(QPoint(520, 40)));
    ASSERT_TRUE(waitUntil([&] { return overlay->currentPoint() == QPointF(520, 40); }, 1000));
    pointer->setPressedButtons(Qt::NoButton);
    ASSERT_TRUE(waitUntil([&] { return !overlay->holding(); }, 1000));
    EXPECT_EQ(log.last(), QStringLiteral("drag 20,20 520,40"));
    EXPECT_FALSE(overlay->isPolling()) << "the poll runs only while a hold is in progress";
}

TEST(PointerTrace, LinesGoOnlyIntoAPrivateFolderThroughNoLinkAndStopAtTheCap)
{
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    ::chmod(folder.constData(), 0700);
    const QString file = dir.filePath(QString::fromLatin1(Trace::kFileName));
    const QStringList session{QStringLiteral("kivaro"), QStringLiteral("--ui-session"), QStringLiteral("--evidence-dir"), dir.path()};
    EXPECT_EQ(Trace::folder(session), dir.path());
    EXPECT_FALSE(Trace::folder(session.mid(0, 2)));
    EXPECT_FALSE(Trace::folder({session[0], session[2], session[3]}));

    const QByteArray line = Trace::line(1, 1765000000.25, 12.5, 1, -1);
    const QJsonObject object = QJsonDocument::fromJson(line).object();
    EXPECT_EQ(object, QJsonObject({{QStringLiteral("type"), 1}, {QStringLiteral("received"), 1765000000.25}, {QStringLiteral("timestamp"), 12.5},
                                   {QStringLiteral("pressedButtons"), 1}, {QStringLiteral("sourcePID"), -1}}));
    EXPECT_TRUE(line.endsWith('\n') && line.count('\n') == 1);
    ASSERT_TRUE(Trace::append(dir.path(), line));
    ASSERT_TRUE(Trace::append(dir.path(), line));
    EXPECT_EQ(QFile(file).size(), 2 * line.size());
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    // The cap: a line that would pass it is dropped whole.
    EXPECT_FALSE(Trace::append(dir.path(), line, 3 * line.size() - 1));
    EXPECT_EQ(QFile(file).size(), 2 * line.size());

    // The trace is a link to somewhere else; the folder is named through a link; others may
    // write into the folder: nothing is written.
    QFile::remove(file);
    const QString elsewhere = dir.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QFile::link(elsewhere, file));
    EXPECT_FALSE(Trace::append(dir.path(), line));
    EXPECT_FALSE(QFile::exists(elsewhere));
    QFile::remove(file);
    const QString link = dir.path() + QStringLiteral("-link");
    ASSERT_TRUE(QFile::link(dir.path(), link));
    EXPECT_FALSE(Trace::append(link, line));
    QFile::remove(link);
    ::chmod(folder.constData(), 0777);
    EXPECT_FALSE(Trace::append(dir.path(), line));
    EXPECT_FALSE(QFile::exists(file));
    ::chmod(folder.constData(), 0700);
}

// The voice-timing trace keeps the pointer trace's rules in a file of its own.
TEST(PointerTrace, VoiceTimingLinesShareTheRulesInTheirOwnFile)
{
    QTemporaryDir dir;
    ::chmod(QFile::encodeName(dir.path()).constData(), 0700);
    const QStringList session{QStringLiteral("kivaro"), QStringLiteral("--ui-session"), QStringLiteral("--evidence-dir"), dir.path()};
    EXPECT_EQ(Kivaro::VoiceTiming::folder(session), dir.path());
    EXPECT_FALSE(Kivaro::VoiceTiming::folder(session.mid(0, 2)));
    const QByteArray finish = Kivaro::VoiceTiming::line(QStringLiteral("finish"), 1765000000.5, 3.25);
    EXPECT_EQ(QJsonDocument::fromJson(finish).object(),
              QJsonObject({{QStringLiteral("action"), QStringLiteral("finish")}, {QStringLiteral("time"), 1765000000.5}, {QStringLiteral("duration"), 3.25}}));
    EXPECT_TRUE(finish.endsWith('\n') && finish.count('\n') == 1);
    const QString file = dir.filePath(QString::fromLatin1(Kivaro::VoiceTiming::kFileName));
    ASSERT_TRUE(Trace::appendTo(dir.path(), Kivaro::VoiceTiming::kFileName, Kivaro::VoiceTiming::line(QStringLiteral("begin"), 1, 0)));
    ASSERT_TRUE(Trace::appendTo(dir.path(), Kivaro::VoiceTiming::kFileName, finish));
    QFile read(file);
    ASSERT_TRUE(read.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = read.readAll().split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(QJsonDocument::fromJson(lines[0]).object().value(QStringLiteral("action")).toString(), QStringLiteral("begin"));
    EXPECT_FALSE(QFile::exists(dir.filePath(QString::fromLatin1(Trace::kFileName))));
    ::chmod(QFile::encodeName(dir.path()).constData(), 0777);
    EXPECT_FALSE(Trace::appendTo(dir.path(), Kivaro::VoiceTiming::kFileName, finish));
    ::chmod(QFile::encodeName(dir.path()).constData(), 0700);
}

using PointerTraceRun = EditorTest;

TEST_F(PointerTraceRun, EachPressAndReleaseOfAVerificationSessionIsTraced)
{
    const std::optional<QString> evidence = PrototypeVerification::argument(QStringLiteral("--evidence-dir"));
    if (!evidence || !PrototypeVerification::hasFlag(QStringLiteral("--ui-session")))
        GTEST_SKIP() << "runs as KivaroEditorPointerTrace, with the session's arguments";
    ASSERT_TRUE(QDir().mkpath(*evidence));
    ::chmod(QFile::encodeName(*evidence).constData(), 0700);
    QFile file(QDir(*evidence).filePath(QStringLiteral("pointer-timing.jsonl")));
    file.remove();
    loadPicture();
    editor->mode()->setSelectedSegment(EditorController::mosaicSegment);
    editor->modeChanged();
    pointer->setPressedButtons(Qt::LeftButton);
    QTest::mousePress(editor->overlay(), Qt::LeftButton, {}, QPoint(100, 100));
    pointer->setPressedButtons(Qt::NoButton);
    QTest::mouseRelease(editor->overlay(), Qt::LeftButton, {}, QPoint(200, 160), 30);
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
    EXPECT_GT(press.value(QStringLiteral("received")).toDouble(), 1.7e9);
    file.remove();
}
