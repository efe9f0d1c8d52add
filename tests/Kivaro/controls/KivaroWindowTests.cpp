#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/controls/internal/KivaroTitlebar.h"
#include "Kivaro/controls/internal/WindowControlButton.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "Support/TaskTesting.h"

#include "Rendering.h"

#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

using namespace Kivaro;
using namespace NativeAppAppearance;

namespace {
QList<KivaroTitlebar *> bars(const KivaroWindow &window)
{
    return window.findChildren<KivaroTitlebar *>(Qt::FindDirectChildrenOnly);
}
} // namespace

TEST(KivaroWindow, TitledWindowGetsOneFreshTitlebarPerInstallation)
{
    KivaroWindow window(QRect(100, 100, 400, 300), KivaroWindow::Titled | KivaroWindow::Closable);
    EXPECT_EQ(window.size(), QSize(400, 332));
    auto *content = new QLabel(QStringLiteral("内容"));
    window.setContentView(content);
    EXPECT_EQ(content->geometry(), QRect(0, 32, 400, 300));

    window.makeKeyAndOrderFront();
    QWidget *first = window.chrome();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->geometry(), QRect(0, 0, 400, 32));
    window.installChrome();
    window.installChrome();
    EXPECT_EQ(bars(window).size(), 1);
    EXPECT_NE(window.chrome(), first);
    window.resize(600, 332);
    EXPECT_EQ(window.chrome()->width(), 600);
    EXPECT_EQ(content->width(), 600);
}

TEST(KivaroWindow, BorderlessWindowKeepsItsContentUntouched)
{
    KivaroWindow window(QRect(0, 0, 300, 200), KivaroWindow::Borderless);
    window.setContentView(new QLabel(QStringLiteral("无边框")));
    window.makeKeyAndOrderFront();
    EXPECT_TRUE(bars(window).isEmpty());
    EXPECT_EQ(window.contentView()->geometry(), QRect(0, 0, 300, 200));
}

TEST(KivaroWindow, ButtonsSitWhereTheyShouldAndFollowTheStyleMask)
{
    KivaroWindow window(QRect(0, 0, 400, 300), KivaroWindow::Titled | KivaroWindow::Closable | KivaroWindow::Miniaturizable);
    window.makeKeyAndOrderFront();
    const auto buttons = static_cast<KivaroTitlebar *>(window.chrome())->buttons();
    ASSERT_EQ(buttons.size(), 3);
    EXPECT_TRUE(buttons.at(0)->isEnabled());
    EXPECT_TRUE(buttons.at(1)->isEnabled());
    EXPECT_FALSE(buttons.at(2)->isEnabled()); // not resizable
    EXPECT_FALSE(buttons.at(2)->isLive());

    buttons.at(2)->invoke();
    EXPECT_FALSE(window.isMaximized());

    window.setStyleMask(window.styleMask() | KivaroWindow::Resizable);
    window.installChrome();
    const auto fresh = static_cast<KivaroTitlebar *>(window.chrome())->buttons();
    EXPECT_TRUE(fresh.at(2)->isEnabled());
}

TEST(KivaroWindow, AGreyButtonHasNoGlyphAndALiveOneHasItsColour)
{
    const auto draw = [](WindowControlButton::Kind kind, bool live, bool pressed) {
        return canvas({20, 20}, [&](QPainter &painter) {
            WindowControlButton::paint(painter, kind, resolve(DynamicColor::systemGreen, Appearance::light), live, pressed, Appearance::light);
        });
    };
    const QImage grey = draw(WindowControlButton::Kind::zoom, false, false);
    EXPECT_NEAR(grey.pixelColor(10, 10).alphaF(), 0.18, 0.01); // the plus would cross here
    EXPECT_EQ(grey.pixelColor(1, 1).alpha(), 0);               // inset by 3
    const QImage live = draw(WindowControlButton::Kind::zoom, true, false);
    EXPECT_NE(live.pixelColor(10, 10).rgb(), resolve(DynamicColor::systemGreen, Appearance::light).rgb()); // glyph
    EXPECT_EQ(live.pixelColor(5, 8).rgb(), resolve(DynamicColor::systemGreen, Appearance::light).rgb());
    const QImage pressed = draw(WindowControlButton::Kind::zoom, true, true);
    EXPECT_LT(pressed.pixelColor(5, 8).green(), live.pixelColor(5, 8).green());
}

TEST(KivaroWindow, CloseButtonClosesAndTitleRedrawsTheBar)
{
    KivaroWindow window(QRect(0, 0, 400, 300), KivaroWindow::Titled | KivaroWindow::Closable);
    window.makeKeyAndOrderFront();
    window.setTitle(QStringLiteral("截图设置"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("截图设置"));
    EXPECT_EQ(KivaroTitlebar::titleRect(400), QRectF(100, 6, 200, 18));
    EXPECT_EQ(KivaroTitlebar::titleRect(150).width(), 0);
    static_cast<KivaroTitlebar *>(window.chrome())->buttons().at(0)->click();
    EXPECT_FALSE(window.isVisible());
}

TEST(KivaroWindow, DraggingTheBarMovesTheWindowButAButtonDoesNot)
{
    KivaroWindow window(QRect(100, 100, 400, 300), KivaroWindow::Titled | KivaroWindow::Closable);
    window.makeKeyAndOrderFront();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QWidget *bar = window.chrome();
    const QPoint start = window.pos();
    // Offscreen there is no window manager to take the move; the bar moves the window itself.
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(200, 16));
    QMouseEvent move(QEvent::MouseMove, QPointF(230, 36), bar->mapToGlobal(QPointF(230, 36)), Qt::NoButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(bar, &move);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(230, 36));
    EXPECT_EQ(window.pos(), start + QPoint(30, 20));

    const QPoint before = window.pos();
    auto *close = static_cast<KivaroTitlebar *>(bar)->buttons().at(1);
    QTest::mousePress(close, Qt::LeftButton, {}, QPoint(10, 10));
    QMouseEvent buttonMove(QEvent::MouseMove, QPointF(40, 40), close->mapToGlobal(QPointF(40, 40)), Qt::NoButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(close, &buttonMove);
    QTest::mouseRelease(close, Qt::LeftButton, {}, QPoint(40, 40));
    EXPECT_EQ(window.pos(), before);
}

TEST(KivaroWindow, ContentSizesAndResizeEdgesFollowTheMask)
{
    KivaroWindow window(QRect(0, 0, 1180, 820), KivaroWindow::Titled | KivaroWindow::Resizable);
    window.setContentMinSize(QSize(760, 540));
    EXPECT_EQ(window.minimumSize(), QSize(760, 572));
    window.setContentSize(QSize(1080, 760));
    EXPECT_EQ(window.contentSize(), QSize(1080, 760));
    window.show();
    const auto visibleGrips = [&] {
        const auto children = window.findChildren<QWidget *>();
        return std::count_if(children.begin(), children.end(), [](QWidget *c) { return c->cursor().shape() != Qt::ArrowCursor && c->isVisible(); });
    };
    EXPECT_EQ(visibleGrips(), 8);
    window.setStyleMask(KivaroWindow::Titled);
    EXPECT_EQ(visibleGrips(), 0);
}

TEST(KivaroWindow, RendersInTheWindowsOwnAppearance)
{
    KivaroWindow window(QRect(0, 0, 300, 100), KivaroWindow::Titled | KivaroWindow::Closable);
    AppearanceManager::shared().setAppearance(&window, Appearance::dark);
    window.makeKeyAndOrderFront();
    QImage image(window.size(), QImage::Format_ARGB32_Premultiplied);
    window.render(&image);
    EXPECT_EQ(image.pixelColor(150, 60).rgb(), resolve(DynamicColor::windowBackground, Appearance::dark).rgb());
}
