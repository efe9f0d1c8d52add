#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeAccentPalette.h"
#include "NativeAppAppearance/NativeAppAppearance.h"
#include "NativeAppAppearance/NativeAppearanceLanguage.h"
#include "NativeAppAppearance/NativeAppearancePicker.h"
#include "NativeAppAppearance/NativeMenuStyle.h"
#include "NativeAppAppearance/NativeSymbols.h"
#include "NativeAppAppearance/internal/AppearanceTile.h"
#include "NativeAppAppearance/internal/SystemAppearancePortal.h"

#include "Support/PrivateConfigHome.h"
#include "Support/TaskTesting.h"

#include <QDBusVariant>
#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QSignalSpy>
#include <QUuid>
#include <QWidget>

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

TEST(NativeAppearanceLanguage, ChineseVariantsAndEverythingElseChooseThePaletteTitles)
{
    for (const char *code : {"zh-Hant-TW", "zh-HK", "zh-MO", "zh_TW.UTF-8", "ZH-hk"})
        EXPECT_EQ(Language::from(QString::fromLatin1(code)), Language::traditionalChinese) << code;
    for (const char *code : {"zh-Hans-CN", "zh_CN.UTF-8", "zh"})
        EXPECT_EQ(Language::from(QString::fromLatin1(code)), Language::simplifiedChinese) << code;
    for (const char *code : {"fr", "", "hant"})
        EXPECT_EQ(Language::from(QString::fromLatin1(code)), Language::english) << code;
    EXPECT_EQ(Language::from(QStringLiteral("system"), {}), Language::english);
    EXPECT_EQ(Language::from(QStringLiteral("system"), {QStringLiteral("zh_HK"), QStringLiteral("en")}), Language::traditionalChinese);

    const NativeAccentPalette violet(NativeAccentPalette::violet);
    EXPECT_EQ(violet.title(QStringLiteral("zh-Hant")), QStringLiteral("紫羅蘭"));
    EXPECT_EQ(violet.title(QStringLiteral("zh-Hans-CN")), QStringLiteral("紫罗兰"));
    EXPECT_EQ(violet.title(QStringLiteral("fr")), QStringLiteral("Violet"));
    EXPECT_EQ(NativeAccentPalette(NativeAccentPalette::ocean).title(QStringLiteral("zh-HK")), QStringLiteral("海藍"));
}

TEST(NativeAppAppearance, StartsFromTheStoredPaletteOrTheDefaultWritingNothing)
{
    auto defaults = freshSuite();
    CountingBuilder builder;
    const QString key = QStringLiteral("custom.key");
    const std::vector<std::pair<QVariant, NativeAccentPalette::Value>> cases = {
        {QStringLiteral("ocean"), NativeAccentPalette::ocean},
        {QStringLiteral("Ocean"), NativeAccentPalette::coral},
        {7, NativeAccentPalette::coral}};
    for (const auto &[stored, expected] : cases) {
        defaults.set(key, stored);
        const AppAppearance appearance(NativeAccentPalette::coral, key, defaults, builder.function());
        EXPECT_EQ(appearance.selection(), NativeAccentPalette(expected));
        EXPECT_EQ(defaults.object(key), stored);
    }
    EXPECT_TRUE(NativeMenuStyle::isInstalled());
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
    EXPECT_EQ(QGuiApplication::windowIcon().pixmap(8, 8).toImage().pixelColor(4, 4).rgb(),
              NativeAccentPalette(NativeAccentPalette::forest).color().rgb());

    appearance.select(NativeAccentPalette::violet);
    appearance.select(NativeAccentPalette::forest);
    appearance.icon(NativeAccentPalette::forest);
    EXPECT_EQ(builder.calls.value(QStringLiteral("forest")), 1);
    EXPECT_EQ(builder.calls.value(QStringLiteral("violet")), 1);
}

TEST(NativeAppAppearance, AChoiceThatCannotBeStoredThrowsAndChangesNothing)
{
    PrivateConfigHome home;
    auto defaults = Platform::UserDefaults::standard();
    const QString key = QString::fromLatin1(NativeAccentPalette::standardDefaultsKey);
    CountingBuilder builder;
    AppAppearance appearance(NativeAccentPalette::terracotta, key, defaults, builder.function());
    QGuiApplication::setWindowIcon(QIcon());
    QSignalSpy willChange(&appearance, &AppAppearance::selectionWillChange);
    ASSERT_TRUE(home.breakFolder());

    EXPECT_THROW(appearance.select(NativeAccentPalette::forest), Platform::DefaultsWriteError);
    EXPECT_EQ(appearance.selection(), NativeAccentPalette(NativeAccentPalette::terracotta));
    EXPECT_FALSE(defaults.contains(key)) << "the choice does not read back";
    EXPECT_EQ(willChange.count(), 0);
    EXPECT_TRUE(QGuiApplication::windowIcon().isNull());

    // The picker keeps its check mark and says so in its own language, until a choice is stored.
    NativeAppearancePicker picker(&appearance, QStringLiteral("zh-CN"));
    picker.resize(480, picker.heightForWidth(480));
    picker.tiles().at(3)->click();
    EXPECT_TRUE(picker.tiles().at(0)->isSelected());
    EXPECT_FALSE(picker.tiles().at(3)->isSelected());
    EXPECT_EQ(picker.explanation(), QStringLiteral("设置无法保存。"));
    ASSERT_TRUE(home.mendFolder());
    picker.tiles().at(3)->click();
    EXPECT_TRUE(picker.tiles().at(3)->isSelected());
    EXPECT_NE(picker.explanation(), QStringLiteral("设置无法保存。"));
    EXPECT_EQ(defaults.string(key), QStringLiteral("forest"));
}

TEST(NativeAppearancePicker, SixTilesInTwoRowsInTheLanguageAskedForThatFollowTheSelection)
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

    const auto &tiles = picker.tiles();
    ASSERT_EQ(tiles.size(), 6);
    EXPECT_EQ(tiles.at(0)->y(), tiles.at(2)->y());
    EXPECT_GT(tiles.at(3)->y(), tiles.at(2)->geometry().bottom());
    EXPECT_EQ(tiles.at(5)->y(), tiles.at(3)->y());
    EXPECT_EQ(tiles.at(4)->accessibleName(), QStringLiteral("海藍圖示顏色"));
    EXPECT_EQ(english.tiles().at(4)->accessibleName(), QStringLiteral("Ocean icon color"));
    EXPECT_TRUE(tiles.at(4)->isSelected());

    QSignalSpy changed(&appearance, &AppAppearance::selectionChanged);
    tiles.at(4)->click();
    EXPECT_EQ(changed.count(), 0);
    tiles.at(1)->click();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(tiles.at(1)->isSelected());
    EXPECT_FALSE(tiles.at(4)->isSelected());
    EXPECT_TRUE(english.tiles().at(1)->isSelected()) << "another picker on the same object follows";
    EXPECT_EQ(defaults.string(QStringLiteral("picker.key")), QStringLiteral("coral"));
}

namespace {
class AppearanceManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        manager.setSystemAppearanceSource([this] { return system; });
        manager.setApplicationAppearance(std::nullopt);
    }
    void TearDown() override
    {
        manager.setApplicationAppearance(std::nullopt);
        manager.setSystemAppearanceSource([] { return std::optional<Appearance>(Appearance::light); });
    }
    AppearanceManager &manager = AppearanceManager::shared();
    std::optional<Appearance> system = Appearance::light;
};
} // namespace

TEST_F(AppearanceManagerTest, NearestSettingWinsAndOnlyRealChangesAreAnnounced)
{
    QSignalSpy changed(&manager, &AppearanceManager::effectiveAppearanceChanged);
    QWidget window;
    auto *panel = new QWidget(&window);
    auto *child = new QWidget(panel);
    manager.setApplicationAppearance(std::nullopt);
    manager.refreshSystemAppearance();
    EXPECT_EQ(changed.count(), 0);
    system = Appearance::dark;
    manager.refreshSystemAppearance();
    EXPECT_EQ(manager.effectiveAppearance(child), Appearance::dark);
    manager.setApplicationAppearance(Appearance::light);
    EXPECT_EQ(manager.effectiveAppearance(child), Appearance::light);
    EXPECT_EQ(changed.count(), 2);
    manager.setAppearance(&window, Appearance::dark);
    manager.setAppearance(&window, Appearance::dark);
    EXPECT_EQ(changed.count(), 3);
    EXPECT_EQ(manager.effectiveAppearance(child), Appearance::dark);
    manager.setAppearance(panel, Appearance::light);
    EXPECT_EQ(manager.effectiveAppearance(child), Appearance::light);
    EXPECT_EQ(AppearanceManager::appearance(child), std::nullopt) << "a setting is not copied down";

    manager.setAppearance(panel, std::nullopt);
    manager.setAppearance(&window, std::nullopt);
    EXPECT_EQ(manager.effectiveAppearance(child), Appearance::light);
    EXPECT_EQ(manager.effectiveAppearance(nullptr), Appearance::light);
}

TEST_F(AppearanceManagerTest, AViewsOwnSettingRepalettesItsWindowAndRepaintsNoOther)
{
    struct Counted : QWidget {
        int paints = 0;
        void paintEvent(QPaintEvent *) override { ++paints; }
    };
    Counted window, other;
    for (Counted *w : {&window, &other}) {
        manager.adoptPalette(w);
        w->show();
    }
    ASSERT_TRUE(TestSupport::waitUntil([&] { return window.paints > 0 && other.paints > 0; }));
    const int otherPaints = other.paints, windowPaints = window.paints;
    manager.setAppearance(&window, Appearance::dark);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return window.paints > windowPaints; }));
    TestSupport::waitUntil([] { return false; }, 20);
    EXPECT_EQ(window.palette().color(QPalette::Window), AppearanceManager::palette(Appearance::dark).color(QPalette::Window));
    EXPECT_EQ(other.paints, otherPaints);
    manager.setAppearance(&window, std::nullopt);
}

TEST_F(AppearanceManagerTest, ASystemChangeDeliveredAsAThemeOrPaletteEventRepalettesAndRepaintsTheWindows)
{
    struct Counted : QWidget {
        int paints = 0;
        void paintEvent(QPaintEvent *) override { ++paints; }
    };
    Counted adopted, plain;
    manager.adoptPalette(&adopted);
    for (Counted *w : {&adopted, &plain})
        w->show();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return adopted.paints > 0 && plain.paints > 0; }));
    QSignalSpy changed(&manager, &AppearanceManager::effectiveAppearanceChanged);
    const auto deliver = [&](QEvent::Type type, Appearance expected) {
        const int adoptedPaints = adopted.paints, plainPaints = plain.paints;
        QEvent event(type);
        QCoreApplication::sendEvent(QCoreApplication::instance(), &event);
        EXPECT_EQ(manager.effectiveAppearance(&adopted), expected);
        EXPECT_EQ(adopted.palette().color(QPalette::Window), AppearanceManager::palette(expected).color(QPalette::Window));
        EXPECT_TRUE(TestSupport::waitUntil([&] { return adopted.paints > adoptedPaints && plain.paints > plainPaints; }))
            << "every window repaints, adopted or not";
    };

    system = Appearance::dark;
    deliver(QEvent::ThemeChange, Appearance::dark);
    system = Appearance::light;
    deliver(QEvent::ApplicationPaletteChange, Appearance::light);
    EXPECT_EQ(changed.count(), 2);

    // With no desktop preference, the platform palette decides; Qt announces a new one itself.
    system = std::nullopt;
    const QPalette original = QGuiApplication::palette();
    const int adoptedPaints = adopted.paints;
    QGuiApplication::setPalette(AppearanceManager::palette(Appearance::dark));
    EXPECT_EQ(manager.systemAppearance(), Appearance::dark);
    EXPECT_EQ(adopted.palette().color(QPalette::Window), AppearanceManager::palette(Appearance::dark).color(QPalette::Window));
    EXPECT_TRUE(TestSupport::waitUntil([&] { return adopted.paints > adoptedPaints; }));
    QGuiApplication::setPalette(original);
    EXPECT_EQ(manager.systemAppearance(), Appearance::light);
    EXPECT_EQ(changed.count(), 4);
}

// The desktop's animation setting: the settings portal's enable-animations, here through the
// manager's replaceable source; the tests' session has no bus, so the portal never answers.
TEST_F(AppearanceManagerTest, MotionIsReducedOnlyWhileTheDesktopHasAnimationsSwitchedOff)
{
    QSignalSpy changed(&manager, &AppearanceManager::reducesMotionChanged);
    const auto desktop = [this](std::optional<bool> animations) { manager.setSystemAnimationSource([animations] { return animations; }); };
    desktop(std::nullopt);
    EXPECT_FALSE(manager.reducesMotion()) << "no answer: the desktop animates";
    desktop(false);
    EXPECT_TRUE(manager.reducesMotion());
    desktop(false);
    EXPECT_EQ(changed.count(), 1) << "only a change is announced";
    desktop(true);
    EXPECT_FALSE(manager.reducesMotion());
    desktop(false);
    manager.setSystemAnimationSource({});
    EXPECT_FALSE(manager.reducesMotion()) << "back to the portal, which does not answer here";
    EXPECT_EQ(changed.count(), 4);

    // What the portal sends: a Boolean in one or two variants; nothing else counts.
    const QVariant once = QVariant::fromValue(QDBusVariant(QVariant(false)));
    EXPECT_EQ(SystemAppearancePortal::fromEnableAnimations(QVariant::fromValue(QDBusVariant(once))), false);
    EXPECT_EQ(SystemAppearancePortal::fromEnableAnimations(QVariant::fromValue(QDBusVariant(QVariant(true)))), true);
    EXPECT_EQ(SystemAppearancePortal::fromEnableAnimations(QVariant(0u)), std::nullopt);
    EXPECT_EQ(SystemAppearancePortal::fromEnableAnimations(QVariant()), std::nullopt);
}

TEST(NativeSymbols, EverySymbolRendersInItsTintAndUnknownNamesDrawNothing)
{
    const QStringList names = NativeSymbols::names();
    ASSERT_TRUE(names.contains(QStringLiteral("chevron.up.chevron.down")));
    for (const QString &name : names) {
        const QImage image = NativeSymbols::image(name, QSizeF(16, 16), Qt::red, 2);
        int inked = 0, offTint = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y).alpha() == 255)
                    ++inked, offTint += image.pixelColor(x, y).rgb() != QColor(Qt::red).rgb();
        EXPECT_GT(inked, 8) << name.toStdString();
        EXPECT_EQ(offTint, 0) << name.toStdString();
    }
    EXPECT_FALSE(NativeSymbols::exists(QStringLiteral("../symbols/checkmark")));
    QImage canvas(20, 20, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&canvas);
    EXPECT_FALSE(NativeSymbols::draw(painter, QStringLiteral("no.such.symbol"), QRectF(0, 0, 20, 20), Qt::black));
}
