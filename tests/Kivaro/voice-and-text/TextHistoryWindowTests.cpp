#include "Kivaro/voice-and-text/TextHistoryWindow.h"

#include "Kivaro/controls/KivaroTableRow.h"
#include "Kivaro/controls/KivaroTextLabel.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/sharing/ShareRowButton.h"
#include "KivaroCore/Localization.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "Platform/Pasteboard/Pasteboard.h"

#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace Kivaro;
using NativeAppAppearance::Appearance;
using NativeAppAppearance::AppearanceManager;

namespace {

RecognizedTextRecord record(const QString &text, bool polished, int minutesAgo)
{
    static int serial = 0;
    return {QStringLiteral("00000000-0000-4000-8000-%1").arg(++serial, 12, 10, QLatin1Char('0')), text, polished,
            QDateTime(QDate(2024, 3, 14), QTime(14, 32), Qt::UTC).addSecs(-60 * minutesAgo)};
}

// A long mixed-language entry, a polished one, a short one, a 1,000-character one and one with
// line feeds.
QList<RecognizedTextRecord> sampleRecords()
{
    QString thousand;
    while (thousand.size() < 1000)
        thousand += QStringLiteral("识字记录 Recognized text 第%1行 ").arg(thousand.size());
    thousand.truncate(1000);
    return {
        record(QStringLiteral("设置 → 通用 → Software Update：自动更新已开启，每天检查一次。Kivaro-Desktop 的系统版本 12.4，上次更新于 3 月 2 日。"), false, 1),
        record(QStringLiteral("會議紀要：本季的銷售額比去年同期成長了百分之十二，主要來自新開設的線上通路。"), true, 5),
        record(QStringLiteral("Ctrl+C"), false, 60),
        record(thousand, false, 120),
        record(QStringLiteral("第一行\n第二行\n第三行\n第四行"), true, 600),
    };
}

struct HistoryWindow : ::testing::Test {
    std::shared_ptr<Platform::PrivatePasteboard> pasteboard = Platform::Pasteboard::withUniqueName();
    TextHistoryWindow list{pasteboard};
    QList<RecognizedTextRecord> records = sampleRecords();
    QList<QPair<QString, QWidget *>> shared;

    void SetUp() override
    {
        StringTable::overrideLanguage(QStringLiteral("zh-Hans"));
        list.show(records, [this](const RecognizedTextRecord &r, QWidget *anchor) { shared.append({r.id, anchor}); });
    }
    void TearDown() override { StringTable::overrideLanguage({}); }

    ShareRowButton *shareButton(int row) const { return list.rows().at(row)->findChild<ShareRowButton *>(); }
    QList<KivaroTextLabel *> labels(int row) const { return list.rows().at(row)->findChildren<KivaroTextLabel *>(); }
};

} // namespace

TEST_F(HistoryWindow, IsTheRecognisedTextWindowWithItsHintAndOneRowPerRecord)
{
    KivaroWindow *window = list.window();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->title(), QStringLiteral("识字记录"));
    EXPECT_EQ(window->contentSize(), QSize(580, 480));
    EXPECT_TRUE(window->styleMask().testFlags(KivaroWindow::Titled | KivaroWindow::Closable | KivaroWindow::Resizable));
    EXPECT_TRUE(window->isVisible());
    ASSERT_EQ(list.rows().size(), records.size());
    for (KivaroTableRow *row : list.rows())
        EXPECT_EQ(row->height(), TextHistoryWindow::kRowHeight);
    bool hint = false;
    for (auto *label : window->contentView()->findChildren<KivaroTextLabel *>())
        hint = hint || label->text() == QStringLiteral("最近 20 条。双击复制，点击分享发送文本文件。");
    EXPECT_TRUE(hint);

    list.show({});
    EXPECT_EQ(list.window(), window);
    EXPECT_TRUE(list.rows().isEmpty()) << "an empty history shows an empty list";
}

TEST_F(HistoryWindow, ARowShowsTheStartOfItsTextInThreeLinesAndWhereItCameFrom)
{
    const QList<KivaroTextLabel *> long_ = labels(3);
    ASSERT_EQ(long_.size(), 2);
    EXPECT_EQ(long_[0]->text(), records[3].text.left(240));
    EXPECT_EQ(long_[0]->maxLines(), 3);
    EXPECT_LE(long_[0]->width(), 430);
    const QStringList drawn = KivaroTextLabel::layoutLines(long_[0]->text(), long_[0]->font(), long_[0]->width(), 3);
    ASSERT_EQ(drawn.size(), 3);
    EXPECT_TRUE(drawn.last().endsWith(QChar(0x2026))) << drawn.last().toStdString();

    EXPECT_TRUE(labels(0)[1]->text().endsWith(QStringLiteral(" · OCR")));
    EXPECT_TRUE(labels(1)[1]->text().endsWith(QStringLiteral(" · AI 润色")));
    StringTable::overrideLanguage(QStringLiteral("en"));
    EXPECT_TRUE(TextHistoryWindow::detail(records[1]).endsWith(QStringLiteral(" · AI Polishing")));
    EXPECT_TRUE(TextHistoryWindow::detail(records[0]).endsWith(QStringLiteral(" · OCR")));

    // A character outside the basic plane is not cut in two at the 240th place.
    const QString wide = QString(239, QLatin1Char('a')) + QString::fromUcs4(U"\U00020000") + QStringLiteral("b");
    EXPECT_EQ(TextHistoryWindow::preview(wide), wide.left(241));
}

TEST_F(HistoryWindow, DoubleClickingARowCopiesItsWholeTextAndNothingElseChanges)
{
    ASSERT_TRUE(pasteboard->setString(QStringLiteral("before")));
    list.copySelected();
    EXPECT_EQ(pasteboard->string(), QStringLiteral("before")) << "no selection, no copy";

    KivaroTableRow *row = list.rows().at(3);
    QWidget *table = row->parentWidget();
    QTest::mouseDClick(table, Qt::LeftButton, {}, row->geometry().center());
    EXPECT_EQ(list.selectedRow(), 3);
    EXPECT_EQ(pasteboard->string(), records[3].text) << "the whole text, not the row's start";
    EXPECT_TRUE(list.window()->isVisible());
}

TEST_F(HistoryWindow, AShareButtonSharesItsOwnRecordWithTheButtonAsAnchor)
{
    QTest::mouseClick(shareButton(2), Qt::LeftButton);
    ASSERT_EQ(shared.size(), 1);
    EXPECT_EQ(shared[0].first, records[2].id);
    EXPECT_EQ(shared[0].second, shareButton(2));

    list.show(records);
    shareButton(0)->click();
    EXPECT_EQ(shared.size(), 1) << "the share action of the last show only";
}

TEST_F(HistoryWindow, ShowingANewerListKeepsTheWindowWhereItWas)
{
    KivaroWindow *window = list.window();
    window->setGeometry(40, 50, 700, 520);
    window->performClose();
    QList<RecognizedTextRecord> newer = records;
    newer.prepend(record(QStringLiteral("最新的一条"), false, 0));
    list.show(newer);
    EXPECT_EQ(list.window(), window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->geometry(), QRect(40, 50, 700, 520));
    ASSERT_EQ(list.rows().size(), newer.size());
    EXPECT_EQ(labels(0)[0]->text(), QStringLiteral("最新的一条"));
}

TEST_F(HistoryWindow, AShareButtonOutlivingItsWindowDoesNothing)
{
    auto *orphan = new TextHistoryWindow(pasteboard);
    int calls = 0;
    orphan->show(records, [&](const RecognizedTextRecord &, QWidget *) { ++calls; });
    QWidget *row = orphan->rows().at(0);
    row->setParent(nullptr); // the row outlives the window
    ShareRowButton *orphanButton = row->findChild<ShareRowButton *>();
    delete orphan;
    orphanButton->click();
    EXPECT_EQ(calls, 0);
    delete row;
}

// Both appearances draw their own backgrounds and texts: the rows' text is dark on light and
// light on dark, and nothing of a row spills past its share button. With
// KIVARO_SNAPSHOT_DIR set the windows are also saved there as PNG files to look at.
TEST_F(HistoryWindow, DrawsInBothAppearances)
{
    KivaroWindow *window = list.window();
    window->resize(window->size());
    for (Appearance appearance : {Appearance::light, Appearance::dark}) {
        AppearanceManager::shared().setAppearance(window, appearance);
        QCoreApplication::processEvents();
        const QImage shot = window->grab().toImage();
        if (const QString folder = qEnvironmentVariable("KIVARO_SNAPSHOT_DIR"); !folder.isEmpty())
            shot.save(QDir(folder).filePath(appearance == Appearance::light ? QStringLiteral("text-history-light.png")
                                                                             : QStringLiteral("text-history-dark.png")));
        KivaroTableRow *row = list.rows().at(0);
        const QPoint origin = row->mapTo(window, QPoint(0, 0));
        const QColor background = shot.pixelColor(origin + QPoint(8, 4));
        const bool dark = appearance == Appearance::dark;
        EXPECT_EQ(background.lightness() < 128, dark) << background.name().toStdString();
        // The darkest (light: most contrasting) pixel of the text label.
        KivaroTextLabel *text = labels(0)[0];
        const QRect textArea(text->mapTo(window, QPoint(0, 0)), text->size());
        int extreme = dark ? 0 : 255;
        for (int y = textArea.top(); y <= textArea.bottom(); ++y)
            for (int x = textArea.left(); x <= textArea.right(); ++x)
                extreme = dark ? std::max(extreme, shot.pixelColor(x, y).lightness()) : std::min(extreme, shot.pixelColor(x, y).lightness());
        EXPECT_TRUE(dark ? extreme > 180 : extreme < 80) << extreme;
        EXPECT_LE(textArea.right(), shareButton(0)->mapTo(window, QPoint(0, 0)).x()) << "the text stops before the button";
    }
    AppearanceManager::shared().setAppearance(window, std::nullopt);
}
