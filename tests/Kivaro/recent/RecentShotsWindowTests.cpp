#include "RecentFixtures.h"

#include "Kivaro/recent/RecentShotsWindow.h"
#include "Kivaro/recent/internal/RecentShotCaption.h"
#include "Kivaro/recent/internal/RecentShotPreview.h"
#include "Kivaro/sharing/ShareRowButton.h"

#include "Kivaro/controls/KivaroTableRow.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "Support/KeyboardTesting.h"

#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace Kivaro;
using namespace RecentFixtures;

namespace {

// Three entries a second apart, the middle one without a preview, listed with both actions.
struct ShotsWindow : ::testing::Test {
    QTemporaryDir root;
    RecentShotsWindow list;
    QList<RecentShot> shots;
    QStringList opened;
    QList<QPair<QString, QWidget *>> shared;

    void SetUp() override
    {
        const QDateTime date(QDate(2025, 3, 7), QTime(9, 5, 30));
        for (int i = 0; i < 3; ++i) {
            shots << makeEntry(root.path(), date, i != 1);
            shots.last().date = date.addSecs(-i);
            if (i != 1)
                picture(160, 100).save(shots.last().previewURL, "PNG");
        }
        reopen();
    }
    // Lists the entries with both actions.
    void reopen()
    {
        list.show(
            shots, [this](const RecentShot &shot, QWidget *anchor) { shared.append({shot.id, anchor}); },
            [this](const RecentShot &shot) { opened << shot.id; });
    }
    ShareRowButton *shareButton(int row) const { return list.rows().at(row)->findChild<ShareRowButton *>(); }
};

} // namespace

TEST_F(ShotsWindow, RowsShowPreviewAndDateAndAnEmptyPlateForAMissingOrBrokenPreview)
{
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(list.rows()[i]->findChild<detail::RecentShotPreview *>()->image().isNull(), i == 1) << i;
        EXPECT_EQ(list.rows()[i]->findChild<detail::RecentShotCaption *>()->text(), QStringLiteral("03-07 09:05:%1\n双击继续标注").arg(30 - i));
    }
    writeFile(shots[0].previewURL, "\x89PNG\r\n\x1a\n broken");
    EXPECT_TRUE(detail::RecentShotPreview::load(shots[0].previewURL).isNull());
}

TEST_F(ShotsWindow, IsBuiltOnceAndKeepsItsFrameAcrossShows)
{
    KivaroWindow *window = list.window();
    window->setGeometry(40, 50, 700, 520);
    window->performClose();
    list.show(shots.mid(0, 1));
    EXPECT_EQ(list.window(), window);
    EXPECT_TRUE(window->isVisible()) << "closing only hid it";
    EXPECT_EQ(window->geometry(), QRect(40, 50, 700, 520));
    EXPECT_EQ(list.rows().size(), 1);
}

TEST_F(ShotsWindow, AShareButtonSharesItsOwnEntryAndLeavesTheWindowOpen)
{
    QTest::mouseClick(shareButton(1), Qt::LeftButton);
    ASSERT_EQ(shared.size(), 1);
    EXPECT_EQ(shared[0].first, shots[1].id) << "an entry whose preview is missing still shares";
    EXPECT_EQ(shared[0].second, shareButton(1));
    EXPECT_TRUE(list.window()->isVisible());

    list.show(shots);
    shareButton(0)->click();
    EXPECT_EQ(shared.size(), 1) << "without a share action nothing happens";
}

TEST_F(ShotsWindow, DoubleClickingARowOpensItOnceAndHidesTheWindow)
{
    QTest::mouseDClick(list.rows()[0]->parentWidget(), Qt::LeftButton, {}, QPoint(300, 350)); // below the last row
    EXPECT_TRUE(opened.isEmpty());
    QTest::mouseDClick(list.rows()[1], Qt::LeftButton, {}, QPoint(300, 50));
    EXPECT_EQ(opened, QStringList{shots[1].id});
    EXPECT_FALSE(list.window()->isVisible());
}

// Keys sent to the shown window: the list has the focus, arrows choose a row and Return or Space
// opens it; Tab goes down the rows' share buttons. (EditorX11Tests press keys on the X server.)
TEST_F(ShotsWindow, ArrowsChooseARowReturnOrSpaceOpensItAndTabVisitsTheShareButtons)
{
    using TestSupport::press;
    KivaroWindow *window = list.window();
    QWidget *table = list.rows()[0]->parentWidget();
    ASSERT_EQ(window->focusWidget(), table);
    press(window, Qt::Key_Return);
    EXPECT_TRUE(opened.isEmpty()) << "nothing is selected yet";
    for (Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_End, Qt::Key_Down, Qt::Key_Up})
        press(window, key);
    EXPECT_EQ(list.selectedRow(), 1) << "no wrapping past the last row";
    press(window, Qt::Key_Return);
    EXPECT_EQ(opened, QStringList{shots[1].id});
    EXPECT_FALSE(window->isVisible());

    reopen();
    const QList<QWidget *> round = TestSupport::tabRound(window);
    EXPECT_EQ(round, (QList<QWidget *>{table, shareButton(0), shareButton(1), shareButton(2)}));
    EXPECT_TRUE(TestSupport::inScreenOrder(round));
    press(window, Qt::Key_Home);
    press(window, Qt::Key_Space);
    EXPECT_EQ(opened, (QStringList{shots[1].id, shots[0].id}));
}
