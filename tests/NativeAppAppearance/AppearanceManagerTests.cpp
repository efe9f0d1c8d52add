#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeSymbols.h"
#include "NativeAppAppearance/internal/SystemAppearancePortal.h"

#include <QGuiApplication>
#include <QPainter>
#include <QSignalSpy>
#include <QWidget>

#include <gtest/gtest.h>

using namespace NativeAppAppearance;

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

TEST_F(AppearanceManagerTest, NearestSettingWinsOverApplicationAndSystem)
{
    QWidget window;
    auto *panel = new QWidget(&window);
    auto *child = new QWidget(panel);
    EXPECT_EQ(manager.effectiveAppearance(child), Appearance::light);

    system = Appearance::dark;
    manager.refreshSystemAppearance();
    EXPECT_EQ(manager.effectiveAppearance(child), Appearance::dark);

    manager.setApplicationAppearance(Appearance::light);
    EXPECT_EQ(manager.effectiveAppearance(child), Appearance::light);

    manager.setAppearance(&window, Appearance::dark);
    EXPECT_EQ(manager.effectiveAppearance(child), Appearance::dark);
    manager.setAppearance(panel, Appearance::light);
    EXPECT_EQ(manager.effectiveAppearance(child), Appearance::light);
    EXPECT_EQ(AppearanceManager::appearance(child), std::nullopt);

    manager.setAppearance(panel, std::nullopt);
    manager.setAppearance(&window, std::nullopt);
    EXPECT_EQ(manager.effectiveAppearance(child), Appearance::light);
    EXPECT_EQ(manager.effectiveAppearance(nullptr), Appearance::light);
}

TEST_F(AppearanceManagerTest, AnnouncesChangesOnlyWhenSomethingChanged)
{
    QSignalSpy changed(&manager, &AppearanceManager::effectiveAppearanceChanged);
    manager.setApplicationAppearance(std::nullopt);
    manager.refreshSystemAppearance();
    EXPECT_EQ(changed.count(), 0);
    manager.setApplicationAppearance(Appearance::dark);
    EXPECT_EQ(changed.count(), 1);
    system = Appearance::dark;
    manager.refreshSystemAppearance();
    EXPECT_EQ(changed.count(), 2);
    QWidget window;
    manager.setAppearance(&window, Appearance::light);
    manager.setAppearance(&window, Appearance::light);
    EXPECT_EQ(changed.count(), 3);
}

TEST_F(AppearanceManagerTest, UnknownSystemPreferenceFallsBackToThePaletteLightness)
{
    system = std::nullopt;
    manager.refreshSystemAppearance();
    const bool darkPalette = QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
    EXPECT_EQ(manager.systemAppearance(), darkPalette ? Appearance::dark : Appearance::light);
}

TEST_F(AppearanceManagerTest, AdoptedWindowsTakeThePaletteOfTheirAppearance)
{
    QWidget window;
    manager.adoptPalette(&window);
    EXPECT_EQ(window.palette().color(QPalette::Window), resolve(DynamicColor::windowBackground, Appearance::light));
    manager.setApplicationAppearance(Appearance::dark);
    EXPECT_EQ(window.palette().color(QPalette::Window), resolve(DynamicColor::windowBackground, Appearance::dark));
    EXPECT_EQ(window.palette().color(QPalette::Disabled, QPalette::Text), resolve(DynamicColor::disabledControlText, Appearance::dark));
    manager.setAppearance(&window, Appearance::light);
    EXPECT_EQ(window.palette().color(QPalette::Window), resolve(DynamicColor::windowBackground, Appearance::light));
}

TEST(DynamicColors, DifferBetweenAppearancesAndAlphaReplaces)
{
    for (auto role : {DynamicColor::label, DynamicColor::secondaryLabel, DynamicColor::windowBackground, DynamicColor::controlBackground})
        EXPECT_NE(resolve(role, Appearance::light), resolve(role, Appearance::dark));
    EXPECT_NEAR(withAlpha(resolve(DynamicColor::label, Appearance::light), 0.05).alphaF(), 0.05, 0.005);
    EXPECT_EQ(appearanceFromName(QStringLiteral("dark")), Appearance::dark);
    EXPECT_EQ(appearanceFromName(QStringLiteral("Dark")), std::nullopt);
}

TEST(SystemAppearancePortal, ColorSchemeValues)
{
    EXPECT_EQ(SystemAppearancePortal::fromColorScheme(1), Appearance::dark);
    EXPECT_EQ(SystemAppearancePortal::fromColorScheme(2), Appearance::light);
    EXPECT_EQ(SystemAppearancePortal::fromColorScheme(0), std::nullopt);
    EXPECT_EQ(SystemAppearancePortal::fromColorScheme(7), std::nullopt);
}

TEST(NativeSymbols, EverySymbolRendersTintedAndUnknownNamesDrawNothing)
{
    const QStringList names = NativeSymbols::names();
    for (const char *required : {"checkmark", "chevron.right", "chevron.up.chevron.down", "xmark", "viewfinder", "square.and.arrow.up",
                                 "checkmark.circle.fill", "xmark.circle.fill", "sparkles", "ellipsis"})
        EXPECT_TRUE(names.contains(QString::fromLatin1(required))) << required;
    for (const QString &name : names) {
        const QImage image = NativeSymbols::image(name, QSizeF(16, 16), Qt::red, 2);
        ASSERT_EQ(image.size(), QSize(32, 32)) << name.toStdString();
        int inked = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.alpha() == 255) {
                    ++inked;
                    EXPECT_EQ(c.rgb(), QColor(Qt::red).rgb()) << name.toStdString();
                }
            }
        EXPECT_GT(inked, 8) << name.toStdString();
    }
    EXPECT_FALSE(NativeSymbols::exists(QStringLiteral("no.such.symbol")));
    EXPECT_FALSE(NativeSymbols::exists(QStringLiteral("../symbols/checkmark")));
    QImage canvas(20, 20, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    EXPECT_FALSE(NativeSymbols::draw(painter, QStringLiteral("no.such.symbol"), QRectF(0, 0, 20, 20), Qt::black));
    EXPECT_TRUE(NativeSymbols::image(QStringLiteral("checkmark"), QSizeF(0, 16), Qt::black).isNull());
}
