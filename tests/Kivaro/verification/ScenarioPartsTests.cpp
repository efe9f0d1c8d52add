// What the icon preview, the picture of the application's windows and the inline run's history
// check decide in-process: which icons cannot be previewed, that the picture holds exactly the
// application's own shown windows, each at its place, at twice the size, and that only an entry
// holding the annotations counts as the annotated shot saved.

#include "Kivaro/document/SampleImage.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/recent/RecentShots.h"
#include "Kivaro/verification/IconVerification.h"
#include "Kivaro/verification/InlineCaptureVerification.h"
#include "Kivaro/verification/ScenarioDispatch.h"
#include "Kivaro/verification/ShareMenuCapture.h"
#include "KivaroCore/ShotError.h"
#include "Support/TaskTesting.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

using namespace Kivaro;

namespace {

class Plain : public QWidget {
public:
    explicit Plain(QColor colour) : m_colour(colour) { setWindowFlag(Qt::FramelessWindowHint); }

protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(rect(), m_colour); }

private:
    QColor m_colour;
};

bool exposed(QWidget &window)
{
    window.show();
    return TestSupport::waitUntil([&] { return window.windowHandle() && window.windowHandle()->isExposed(); });
}

TEST(IconPreview, RefusesAMissingOrFullyTransparentIcon)
{
    EXPECT_EQ(IconVerification::iconProblem(QIcon()), QStringLiteral("the application has no icon"));
    QPixmap clear(256, 256);
    clear.fill(Qt::transparent);
    EXPECT_EQ(IconVerification::iconProblem(QIcon(clear)), QStringLiteral("the application icon is empty (every pixel is transparent)"));
    // One visible pixel is an icon.
    QImage dot(256, 256, QImage::Format_ARGB32);
    dot.fill(Qt::transparent);
    dot.setPixel(200, 17, qRgba(10, 20, 30, 255));
    EXPECT_EQ(IconVerification::iconProblem(QIcon(QPixmap::fromImage(dot))), std::nullopt);
    EXPECT_EQ(IconVerification::iconProblem(QIcon(QStringLiteral(":/kivaro/shell/none.png"))), QStringLiteral("the application has no icon"));
}

TEST(ScenarioDispatchTable, TheIconInlineAndAnnotationToolRunsAreBuilt)
{
    for (const char *flag : {"--verify-icon", "--verify-inline", "--verify-annotation-tools"})
        EXPECT_TRUE(Verification::isBuilt(QString::fromLatin1(flag))) << flag;
}

TEST(ShownWindowsPicture, HoldsTheApplicationsWindowsAtTheirPlacesAtTwiceTheSize)
{
    Plain red(Qt::red);
    red.setGeometry(100, 100, 60, 40);
    Plain blue(Qt::blue);
    blue.setWindowFlag(Qt::Tool);
    blue.setGeometry(200, 180, 30, 20);
    ASSERT_TRUE(exposed(red));
    ASSERT_TRUE(exposed(blue));
    Plain hidden(Qt::green);
    hidden.setGeometry(0, 0, 10, 10);

    const QList<QWidget *> windows = SharingVerification::shownWindows();
    ASSERT_EQ(windows, (QList<QWidget *>{&red, &blue})) << "hidden windows are left out; tool windows are drawn last";
    const QRect redAt(red.mapToGlobal(QPoint()), red.size());
    const QRect blueAt(blue.mapToGlobal(QPoint()), blue.size());
    const QRect bounds = redAt | blueAt;
    const QImage picture = SharingVerification::composeWindows(windows).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(picture.size(), bounds.size() * 2);
    const auto at = [&](QPoint global) { return picture.pixel((global - bounds.topLeft()) * 2 + QPoint(1, 1)); };
    EXPECT_EQ(at(redAt.center()), qRgb(255, 0, 0));
    EXPECT_EQ(at(blueAt.center()), qRgb(0, 0, 255));
    // Between the windows nothing is drawn: what lies there on the screen is not ours.
    EXPECT_EQ(qAlpha(at(QPoint(blueAt.left() - 10, redAt.bottom() + 10))), 0);
}

TEST(ShownWindowsPicture, WithNothingShownFailsAndWritesNothing)
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        widget->hide();
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("menu.png"));
    QString message;
    try {
        TestSupport::run(SharingVerification::captureShareMenu(path));
    } catch (const ShotError &error) {
        message = error.text();
    }
    EXPECT_EQ(message, QStringLiteral("分享窗口未显示"));
    EXPECT_FALSE(QFile::exists(path));
}

// The capture is archived before the inline editor shows: an entry of the shot as it was
// captured is not the annotated shot saved; the same entry written again with the note and the
// mask is.
TEST(InlineHistory, OnlyTheNewestEntryHoldingTheAnnotationsCounts)
{
    QTemporaryDir folder;
    RecentShots store(folder.filePath(QStringLiteral("recent")));
    EXPECT_FALSE(InlineCaptureVerification::newestHolds(store, 1, 1)) << "no entry at all";
    ShotDocument shot;
    shot.load(SampleImage::make().copy(160, 100, 640, 360), false);
    store.beginSession();
    TestSupport::run(store.flush(&shot));
    ASSERT_EQ(store.entries().size(), 1);
    EXPECT_FALSE(InlineCaptureVerification::newestHolds(store, 1, 1)) << "the capture as it was taken";

    shot.addAnnotation(QStringLiteral("在这里直接反馈"), QPointF(240, 140));
    TestSupport::run(shot.addMask(QRectF(420, 180, 100, 70)));
    TestSupport::run(store.flush(&shot));
    ASSERT_EQ(store.entries().size(), 1) << "the same session's entry";
    EXPECT_TRUE(InlineCaptureVerification::newestHolds(store, 1, 1));
    EXPECT_FALSE(InlineCaptureVerification::newestHolds(store, 1, 0));
}

} // namespace
