#include "RecentFixtures.h"

#include "Kivaro/document/SampleImage.h"
#include "Kivaro/recent/RecentShots.h"
#include "Kivaro/recent/RecentShotsWindow.h"
#include "Kivaro/recent/internal/RecentShotCaption.h"
#include "Kivaro/recent/internal/RecentShotPreview.h"
#include "Kivaro/sharing/ShareRowButton.h"

#include "Kivaro/controls/KivaroTableRow.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "Support/TaskTesting.h"

#include <QPainter>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace Kivaro;
using namespace RecentFixtures;
using NativeAppAppearance::Appearance;
using NativeAppAppearance::AppearanceManager;

namespace {

struct ShotsWindow : ::testing::Test {
    QTemporaryDir root;
    RecentShotsWindow list;
    QList<RecentShot> shots;

    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        const QDateTime date(QDate(2025, 3, 7), QTime(9, 5, 30));
        for (int i = 0; i < 3; ++i) {
            RecentShot shot = makeEntry(root.path(), date.addSecs(-i), i != 1);
            shot.date = date.addSecs(-i);
            if (i != 1)
                picture(160, 100).save(shot.previewURL, "PNG");
            shots << shot;
        }
    }

    QList<ShareRowButton *> buttons() const { return list.window()->findChildren<ShareRowButton *>(); }
    // Where a row sits in the list, in the coordinates of the row itself.
    void doubleClick(KivaroTableRow *row, QPoint at = QPoint(300, 50)) { QTest::mouseDClick(row, Qt::LeftButton, {}, at); }
};

} // namespace

TEST_F(ShotsWindow, IsBuiltOnceAndKeepsItsFrameAcrossShows)
{
    EXPECT_EQ(list.window(), nullptr);
    list.show({});
    KivaroWindow *window = list.window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->title(), QStringLiteral("最近截图 — 最多保留 20 张"));
    EXPECT_EQ(window->contentSize(), QSize(580, 480));
    EXPECT_TRUE(window->styleMask().testFlag(KivaroWindow::Resizable));
    EXPECT_FALSE(window->styleMask().testFlag(KivaroWindow::Miniaturizable));
    EXPECT_EQ(list.numberOfRows(), 0);
    EXPECT_TRUE(list.rows().isEmpty());
    EXPECT_TRUE(window->isVisible());

    window->setGeometry(40, 50, 700, 520);
    const QRect frame = window->geometry();
    list.show(shots);
    EXPECT_EQ(list.window(), window);
    EXPECT_EQ(window->geometry(), frame);
    EXPECT_EQ(list.rows().size(), 3);
    EXPECT_EQ(buttons().size(), 3);

    window->performClose();
    EXPECT_FALSE(window->isVisible());
    list.show(shots.mid(0, 1));
    EXPECT_TRUE(window->isVisible()) << "closing only hid it";
    EXPECT_EQ(list.rows().size(), 1);
}

TEST_F(ShotsWindow, RowsShowPreviewDateAndShareButtonInEntryOrder)
{
    list.show(shots);
    const auto rows = list.rows();
    ASSERT_EQ(rows.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(rows[i]->height(), 100);
        EXPECT_EQ(rows[i]->y(), i * 100);
        const auto *preview = rows[i]->findChild<detail::RecentShotPreview *>();
        ASSERT_NE(preview, nullptr);
        EXPECT_EQ(preview->size(), QSize(140, 86));
        EXPECT_EQ(preview->image().isNull(), i == 1) << "row " << i;
        const auto *caption = rows[i]->findChild<detail::RecentShotCaption *>();
        ASSERT_NE(caption, nullptr);
        EXPECT_EQ(caption->text(), QStringLiteral("03-07 09:05:%1\n双击继续标注").arg(30 - i));
    }
    ShareRowButton *button = rows[0]->findChild<ShareRowButton *>();
    ASSERT_NE(button, nullptr);
    EXPECT_GT(button->x(), rows[0]->findChild<detail::RecentShotCaption *>()->x()) << "preview, caption, button";
    EXPECT_LE(button->geometry().right(), rows[0]->width() - 12);
}

TEST_F(ShotsWindow, AShareButtonSharesItsOwnEntryAndLeavesTheWindowOpen)
{
    QList<QPair<QString, QWidget *>> shared;
    list.show(shots, [&](const RecentShot &shot, QWidget *anchor) { shared.append({shot.id, anchor}); });
    const auto rows = list.rows();
    ShareRowButton *second = rows[1]->findChild<ShareRowButton *>();
    QTest::mouseClick(second, Qt::LeftButton);
    ASSERT_EQ(shared.size(), 1);
    EXPECT_EQ(shared[0].first, shots[1].id) << "an entry whose preview is missing still shares";
    EXPECT_EQ(shared[0].second, second);
    EXPECT_TRUE(list.window()->isVisible());
    EXPECT_EQ(list.selectedRow(), -1) << "the button takes its click";

    list.show(shots); // without a share action
    list.rows()[0]->findChild<ShareRowButton *>()->click();
    EXPECT_EQ(shared.size(), 1);
}

TEST_F(ShotsWindow, DoubleClickingARowOpensItOnceAndHidesTheWindow)
{
    QStringList opened;
    list.show(shots, {}, [&](const RecentShot &shot) { opened << shot.id; });
    QTest::mouseClick(list.rows()[2], Qt::LeftButton, {}, QPoint(300, 50));
    EXPECT_EQ(list.selectedRow(), 2);
    EXPECT_TRUE(list.rows()[2]->isSelected());
    doubleClick(list.rows()[1]);
    EXPECT_EQ(opened, QStringList{shots[1].id});
    EXPECT_FALSE(list.window()->isVisible());

    list.show(shots, {}, [&](const RecentShot &shot) { opened << shot.id; });
    QWidget *table = list.rows()[0]->parentWidget();
    QTest::mouseDClick(table, Qt::LeftButton, {}, QPoint(300, 350)); // below the last row
    EXPECT_EQ(opened.size(), 1);
    EXPECT_TRUE(list.window()->isVisible());
    list.openSelected();
    EXPECT_EQ(opened.size(), 1) << "nothing is selected";
}

TEST_F(ShotsWindow, ActionsHeldByRowsDieWithTheWindowObject)
{
    int calls = 0;
    auto owner = std::make_unique<RecentShotsWindow>();
    owner->show(shots, [&](const RecentShot &, QWidget *) { ++calls; });
    ShareRowButton::Invoke invoke = owner->rows()[0]->findChild<ShareRowButton *>()->invoke;
    owner.reset();
    invoke(nullptr);
    EXPECT_EQ(calls, 0);
}

// Real shots from the sample picture, rendered as the user sees the window, in light and dark.
// With KIVARO_TEST_OUTPUT set the renderings are written there for a look.
TEST(RecentShotsWindowLook, ListsRealPreviewsInLightAndDark)
{
    QTemporaryDir folder;
    RecentShots store(folder.path());
    const QList<QColor> inks{QColor(51, 110, 240), QColor(235, 70, 60), QColor(40, 170, 90)};
    for (int i = 0; i < 3; ++i) {
        ShotDocument document;
        document.load(SampleImage::make(), false);
        addShape(document, QRectF(120 + 60 * i, 90, 260, 160), inks[i]);
        addShape(document, QRectF(560 - 40 * i, 300, 200, 120), inks[(i + 1) % 3]);
        store.beginSession();
        TestSupport::run(store.flush(&document));
    }
    ShotDocument portrait; // a tall shot, fitted by height
    portrait.load(SampleImage::make().copy(0, 0, 380, 600), false);
    addShape(portrait, QRectF(40, 200, 200, 120), inks[1]);
    store.beginSession();
    TestSupport::run(store.flush(&portrait));
    QList<RecentShot> entries = store.entries();
    ASSERT_EQ(entries.size(), 4);
    QFile::remove(entries[3].previewURL); // a missing preview shows the empty plate

    RecentShotsWindow list;
    list.show(entries);
    KivaroWindow *window = list.window();
    QList<QImage> looks;
    for (Appearance appearance : {Appearance::light, Appearance::dark}) {
        AppearanceManager::shared().setApplicationAppearance(appearance);
        QCoreApplication::processEvents();
        QImage image(window->size() * 2, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2);
        image.fill(Qt::transparent);
        window->render(&image);
        looks << image;
        const QString output = qEnvironmentVariable("KIVARO_TEST_OUTPUT");
        if (!output.isEmpty())
            image.save(output + QStringLiteral("/recent-shots-") + NativeAppAppearance::appearanceName(appearance) + QStringLiteral(".png"));

        // The first row's preview shows the sample, not a blank plate.
        auto *preview = list.rows()[0]->findChild<detail::RecentShotPreview *>();
        const QPoint at = preview->mapTo(window, QPoint(0, 0)) * 2;
        const QImage plate = image.copy(QRect(at, preview->size() * 2));
        QSet<QRgb> colours;
        for (int y = 0; y < plate.height(); y += 4)
            for (int x = 0; x < plate.width(); x += 4)
                colours.insert(plate.pixel(x, y));
        EXPECT_GT(colours.size(), 50);
    }
    AppearanceManager::shared().setApplicationAppearance(std::nullopt);
    const QPoint corner(window->width(), window->height() - 8); // the hint's strip, in device pixels
    EXPECT_NE(looks[0].pixel(corner), looks[1].pixel(corner)) << "the background follows the appearance";
}
