#include "NativeAppAppearance/NativeAccentPalette.h"
#include "NativeAppAppearance/NativeAppAppearance.h"
#include "NativeAppAppearance/NativeAppearanceLanguage.h"
#include "NativeAppAppearance/NativeAppearancePicker.h"
#include "NativeAppAppearance/NativeMenuStyle.h"
#include "NativeAppAppearance/internal/AppearanceTile.h"

#include <QGuiApplication>
#include <QSignalSpy>
#include <QUuid>

#include <gtest/gtest.h>

using namespace NativeAppAppearance;
using Language = NativeAppearanceLanguage;
// The class has its namespace's name; an alias keeps the two apart here.
using AppAppearance = NativeAppAppearance::NativeAppAppearance;

namespace {
Platform::UserDefaults freshSuite()
{
    return Platform::UserDefaults::suite(QStringLiteral("palette-test-") + QUuid::createUuid().toString(QUuid::WithoutBraces));
}

// An icon builder that counts its calls and makes a distinct image per palette.
struct CountingBuilder {
    QHash<QString, int> calls;
    AppAppearance::IconBuilder function()
    {
        return [this](NativeAccentPalette palette) {
            ++calls[palette.rawValue()];
            QImage image(8, 8, QImage::Format_ARGB32);
            image.fill(palette.color());
            return image;
        };
    }
};
} // namespace

TEST(NativeAppearanceLanguage, ChineseVariantsAndEverythingElse)
{
    for (const char *code : {"zh-Hant-TW", "zh-TW", "zh-HK", "zh-MO", "zh-Hant", "zh_TW.UTF-8", "ZH-hk"})
        EXPECT_EQ(Language::from(QString::fromLatin1(code)), Language::traditionalChinese) << code;
    for (const char *code : {"zh-Hans", "zh-CN", "zh", "zh_CN.UTF-8", "zh-Hans-CN"})
        EXPECT_EQ(Language::from(QString::fromLatin1(code)), Language::simplifiedChinese) << code;
    for (const char *code : {"en", "fr", "de", "", "C", "hant"})
        EXPECT_EQ(Language::from(QString::fromLatin1(code)), Language::english) << code;
    EXPECT_EQ(Language::from(QStringLiteral("system"), {}), Language::english);
    EXPECT_EQ(Language::from(QStringLiteral("system"), {QStringLiteral("zh_HK"), QStringLiteral("en")}), Language::traditionalChinese);
    EXPECT_EQ(Language::from(QStringLiteral("System"), {QStringLiteral("zh_HK")}), Language::english);
}

TEST(NativeAccentPalette, TitlesColoursAndRawValues)
{
    const auto all = NativeAccentPalette::allCases();
    ASSERT_EQ(all.size(), 6);
    QStringList raw;
    for (const auto &palette : all)
        raw << palette.rawValue();
    EXPECT_EQ(raw, QStringList({QStringLiteral("terracotta"), QStringLiteral("coral"), QStringLiteral("amber"), QStringLiteral("forest"),
                                QStringLiteral("ocean"), QStringLiteral("violet")}));
    EXPECT_EQ(NativeAccentPalette(NativeAccentPalette::violet).title(QStringLiteral("zh-Hant")), QStringLiteral("紫羅蘭"));
    EXPECT_EQ(NativeAccentPalette(NativeAccentPalette::violet).title(QStringLiteral("zh-Hans-CN")), QStringLiteral("紫罗兰"));
    EXPECT_EQ(NativeAccentPalette(NativeAccentPalette::violet).title(QStringLiteral("fr")), QStringLiteral("Violet"));
    EXPECT_EQ(NativeAccentPalette(NativeAccentPalette::ocean).title(QStringLiteral("zh-HK")), QStringLiteral("海藍"));
    EXPECT_EQ(NativeAccentPalette(NativeAccentPalette::ocean).id(), QStringLiteral("ocean"));
    const QColor ocean = NativeAccentPalette(NativeAccentPalette::ocean).color();
    EXPECT_NEAR(ocean.redF(), 0.125, 0.001);
    EXPECT_NEAR(ocean.greenF(), 0.42, 0.001);
    EXPECT_NEAR(ocean.blueF(), 0.682, 0.001);
    EXPECT_EQ(ocean.alphaF(), 1.0);
    EXPECT_EQ(NativeAccentPalette::fromRawValue(QStringLiteral("Ocean")), std::nullopt);
    EXPECT_EQ(NativeAccentPalette::fromRawValue(QStringLiteral("forest")), NativeAccentPalette(NativeAccentPalette::forest));
    EXPECT_STREQ(NativeAccentPalette::standardDefaultsKey, "appearance.accentPalette");
}

TEST(NativeAppAppearance, StartsFromTheStoredPaletteOrTheDefault)
{
    auto defaults = freshSuite();
    CountingBuilder builder;
    defaults.set(QStringLiteral("custom.key"), QStringLiteral("ocean"));
    AppAppearance stored(NativeAccentPalette::coral, QStringLiteral("custom.key"), defaults, builder.function());
    EXPECT_EQ(stored.selection(), NativeAccentPalette(NativeAccentPalette::ocean));
    EXPECT_TRUE(NativeMenuStyle::isInstalled());

    defaults.set(QStringLiteral("custom.key"), QStringLiteral("Ocean"));
    AppAppearance wrongCase(NativeAccentPalette::coral, QStringLiteral("custom.key"), defaults, builder.function());
    EXPECT_EQ(wrongCase.selection(), NativeAccentPalette(NativeAccentPalette::coral));
    defaults.set(QStringLiteral("custom.key"), 7);
    AppAppearance number(NativeAccentPalette::amber, QStringLiteral("custom.key"), defaults, builder.function());
    EXPECT_EQ(number.selection(), NativeAccentPalette(NativeAccentPalette::amber));
    EXPECT_EQ(defaults.string(QStringLiteral("custom.key")), QStringLiteral("7")); // nothing written at creation
    EXPECT_TRUE(builder.calls.isEmpty());
}

TEST(NativeAppAppearance, SelectingWritesPublishesAndSwapsTheIconOnce)
{
    auto defaults = freshSuite();
    CountingBuilder builder;
    AppAppearance appearance(NativeAccentPalette::terracotta, QStringLiteral("own.key"), defaults, builder.function());
    QSignalSpy willChange(&appearance, &AppAppearance::selectionWillChange);
    QSignalSpy changed(&appearance, &AppAppearance::selectionChanged);

    appearance.select(NativeAccentPalette::terracotta);
    EXPECT_EQ(willChange.count(), 0);
    EXPECT_FALSE(defaults.contains(QStringLiteral("own.key")));
    EXPECT_TRUE(builder.calls.isEmpty());

    appearance.select(NativeAccentPalette::forest);
    EXPECT_EQ(defaults.string(QStringLiteral("own.key")), QStringLiteral("forest"));
    EXPECT_FALSE(defaults.contains(QString::fromLatin1(NativeAccentPalette::standardDefaultsKey)));
    EXPECT_EQ(willChange.count(), 1);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(appearance.accent(), NativeAccentPalette(NativeAccentPalette::forest).color());
    EXPECT_EQ(QGuiApplication::windowIcon().pixmap(8, 8).toImage().pixelColor(4, 4).rgb(),
              NativeAccentPalette(NativeAccentPalette::forest).color().rgb());

    appearance.select(NativeAccentPalette::violet);
    appearance.select(NativeAccentPalette::forest);
    appearance.icon(NativeAccentPalette::forest);
    EXPECT_EQ(builder.calls.value(QStringLiteral("forest")), 1);
    EXPECT_EQ(builder.calls.value(QStringLiteral("violet")), 1);
}

TEST(NativeAppearancePicker, ShowsSixTilesInTwoRowsAndFollowsTheSelection)
{
    auto defaults = freshSuite();
    CountingBuilder builder;
    AppAppearance appearance(NativeAccentPalette::ocean, QStringLiteral("picker.key"), defaults, builder.function());
    NativeAppearancePicker picker(&appearance, QStringLiteral("zh-TW"));
    NativeAppearancePicker english(&appearance, QStringLiteral("de"));
    picker.resize(480, picker.heightForWidth(480));
    picker.show();
    EXPECT_EQ(picker.title(), QStringLiteral("圖示與強調色"));
    EXPECT_EQ(english.title(), QStringLiteral("Icon & Accent Color"));
    EXPECT_EQ(english.explanation(), QStringLiteral("Update the app icon and the color of buttons, switches, and selected states together."));

    const auto &tiles = picker.tiles();
    ASSERT_EQ(tiles.size(), 6);
    EXPECT_EQ(tiles.at(0)->y(), tiles.at(2)->y());
    EXPECT_EQ(tiles.at(3)->y(), tiles.at(0)->y() + 56 + 10);
    EXPECT_EQ(tiles.at(1)->x() - tiles.at(0)->geometry().right() - 1, 10);
    EXPECT_EQ(tiles.at(0)->height(), 56);
    EXPECT_EQ(tiles.at(4)->accessibleName(), QStringLiteral("海藍圖示顏色"));
    EXPECT_EQ(tiles.at(4)->accessibleDescription(), QStringLiteral("已選取"));
    EXPECT_TRUE(tiles.at(4)->isSelected());
    EXPECT_EQ(english.tiles().at(4)->accessibleName(), QStringLiteral("Ocean icon color"));
    EXPECT_EQ(english.tiles().at(3)->accessibleDescription(), QStringLiteral("Not selected"));

    QSignalSpy changed(&appearance, &AppAppearance::selectionChanged);
    tiles.at(4)->click();
    EXPECT_EQ(changed.count(), 0);
    tiles.at(1)->click();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(tiles.at(1)->isSelected());
    EXPECT_FALSE(tiles.at(4)->isSelected());
    EXPECT_TRUE(english.tiles().at(1)->isSelected()); // another picker on the same object follows
    EXPECT_EQ(defaults.string(QStringLiteral("picker.key")), QStringLiteral("coral"));
}
