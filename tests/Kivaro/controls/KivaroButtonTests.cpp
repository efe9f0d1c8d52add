#include "Kivaro/controls/KivaroButton.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeDrawing.h"
#include "NativeAppAppearance/NativeFonts.h"

#include "Rendering.h"

#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

using namespace Kivaro;
using namespace NativeAppAppearance;

namespace {
qreal titleWidth(const QString &title)
{
    return NativeDrawing::textWidth(title, NativeFonts::system(13, QFont::Medium));
}

QImage render(const KivaroButton::Look &look, Appearance appearance)
{
    return canvas(look.size.toSize(), [&](QPainter &painter) { KivaroButton::paint(painter, look, appearance); });
}
} // namespace

TEST(KivaroButton, IntrinsicSizeFollowsKindTitleAndImage)
{
    KivaroButton plain(QStringLiteral("截图"));
    EXPECT_EQ(plain.sizeHint().height(), 32);
    EXPECT_NEAR(plain.sizeHint().width(), titleWidth(QStringLiteral("截图")) + 28, 1.0);

    KivaroButton withImage(QStringLiteral("分享"));
    withImage.setSymbol(QStringLiteral("square.and.arrow.up"));
    EXPECT_NEAR(withImage.sizeHint().width(), titleWidth(QStringLiteral("分享")) + 48, 1.0);

    KivaroButton unknownSymbol(QStringLiteral("分享"));
    unknownSymbol.setSymbol(QStringLiteral("no.such.symbol"));
    EXPECT_NEAR(unknownSymbol.sizeHint().width(), titleWidth(QStringLiteral("分享")) + 28, 1.0);

    KivaroButton iconOnly(QStringLiteral("很长的标题不影响图标按钮"));
    iconOnly.setImagePosition(KivaroButton::ImagePosition::imageOnly);
    EXPECT_EQ(iconOnly.sizeHint(), QSize(32, 32));
    iconOnly.setSymbol(QStringLiteral("xmark"));
    EXPECT_EQ(iconOnly.sizeHint(), QSize(32, 32));

    KivaroButton toggle(QStringLiteral("显示菜单栏图标"));
    toggle.setSymbol(QStringLiteral("viewfinder"));
    toggle.setToggle(true);
    EXPECT_NEAR(toggle.sizeHint().width(), titleWidth(QStringLiteral("显示菜单栏图标")) + 52, 1.0);
}

TEST(KivaroButton, BackgroundVeilDependsOnPressHoverAndPrimary)
{
    KivaroButton::Look look;
    look.size = {80, 32};
    const QPoint inside(4, 16); // inside the inset rounded rectangle, left of any title
    const auto alphaAt = [&](const KivaroButton::Look &l) { return render(l, Appearance::light).pixelColor(inside).alphaF(); };

    EXPECT_NEAR(alphaAt(look), 0.05, 0.01);
    look.hovered = true;
    EXPECT_NEAR(alphaAt(look), 0.09, 0.01);
    look.pressed = true;
    EXPECT_NEAR(alphaAt(look), 0.14, 0.01);
    look.enabled = false;
    EXPECT_NEAR(alphaAt(look), 0.035, 0.01);

    KivaroButton::Look primary;
    primary.size = {80, 32};
    primary.primary = true;
    primary.pressed = true;
    primary.hovered = true;
    const QColor accent = render(primary, Appearance::dark).pixelColor(inside);
    EXPECT_EQ(accent.rgb(), resolve(DynamicColor::controlAccent, Appearance::dark).rgb());
    primary.enabled = false;
    EXPECT_NEAR(render(primary, Appearance::dark).pixelColor(inside).alphaF(), 0.035, 0.01);
    EXPECT_EQ(KivaroButton::contentColor(primary, Appearance::dark), resolve(DynamicColor::disabledControlText, Appearance::dark));
    // The outermost point stays clear: the fill is inset by one point.
    EXPECT_EQ(render(primary, Appearance::dark).pixelColor(0, 16).alpha(), 0);
}

TEST(KivaroButton, ToggleDrawsTrackAndKnobAndNoImage)
{
    KivaroButton::Look look;
    look.size = {120, 32};
    look.toggle = true;
    look.symbol = QStringLiteral("viewfinder");
    const QImage off = render(look, Appearance::light);
    // Off: knob at x 3..17, track secondary label at 0.25.
    EXPECT_EQ(off.pixelColor(10, 16).rgb(), QColor(Qt::white).rgb());
    EXPECT_NEAR(off.pixelColor(27, 16).alphaF(), 0.25, 0.02);
    look.on = true;
    const QImage on = render(look, Appearance::light);
    EXPECT_EQ(on.pixelColor(24, 16).rgb(), QColor(Qt::white).rgb());
    EXPECT_EQ(on.pixelColor(6, 16).rgb(), resolve(DynamicColor::controlAccent, Appearance::light).rgb());
    // Nothing is drawn where a leading image would sit (x 12..28 is the track, not a symbol).
    look.enabled = false;
    const QImage disabled = render(look, Appearance::light);
    EXPECT_NEAR(disabled.pixelColor(24, 16).alphaF(), 1.0, 0.01); // half-white knob over the opaque track
}

TEST(KivaroButton, HoverShowsOnlyInTheActiveWindowAndClearsOnExit)
{
    QWidget window;
    auto *button = new KivaroButton(QStringLiteral("确定"), &window);
    button->pointerEntered();
    EXPECT_FALSE(button->isHovered()); // the window is not active
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    button->pointerEntered();
    EXPECT_TRUE(button->isHovered());
    button->pointerExited();
    EXPECT_FALSE(button->isHovered());
}
