#pragma once
// Gives the application's real menus (menu-bar menus, their submenus, context menus) the look
// of the kit's menu rows, so that every menu entry looks the same wherever it appears.
//
// `install()` (once per process; later calls do nothing) watches for QMenus being prepared and
// decorates each one every time it is about to show. Decorating a menu sets its width from its
// titles (widest title in the 13-point font + 100, between 260 and 440) and makes this style
// draw its items as NativeMenuRow draws them, 34 points high; submenus are decorated first.
// The items themselves are read when drawn, so titles, enabled states, checks and shortcuts are
// always current. Menus directly in a menu bar keep the platform's look for their titles only.

#include <QProxyStyle>

class QMenu;
class QMenuBar;

namespace NativeAppAppearance {

class NativeMenuStyle final : public QProxyStyle {
    Q_OBJECT
public:
    static void install();
    static bool isInstalled();
    // `isRoot`: the menu stands for the main menu, whose own items are the menu-bar titles.
    static void decorate(QMenu *menu, bool isRoot);
    static void decorate(QMenuBar *menuBar);
    static int widthFor(const QMenu *menu);
    static NativeMenuStyle *instance();

    static constexpr int rowHeight = 34;

    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter, const QWidget *widget) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter, const QWidget *widget) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size, const QWidget *widget) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const override;
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget, QStyleHintReturn *returnData) const override;

private:
    NativeMenuStyle();
};

} // namespace NativeAppAppearance
