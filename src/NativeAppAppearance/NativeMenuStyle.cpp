#include "NativeAppAppearance/NativeMenuStyle.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeDrawing.h"
#include "NativeAppAppearance/NativeFonts.h"
#include "NativeAppAppearance/NativeMenuRow.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QStyleOptionMenuItem>
#include <QWidgetAction>

#include <cmath>

namespace NativeAppAppearance {

namespace {
constexpr const char *decoratedProperty = "_nativeMenuDecorated";

// Connects every QMenu, when it is first prepared for showing, to its own decoration. QMenu
// polishes itself before it announces aboutToShow and computes its size, so the connection is
// in place for the first opening. Watching the whole application is deliberate: Qt makes menus
// of its own (a line edit's context menu) and announces them nowhere else, and an application
// style whose polish() would see them would replace every widget's style.
class MenuWatcher final : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Polish) {
            if (auto *menu = qobject_cast<QMenu *>(watched); menu && !menu->property(decoratedProperty).toBool()) {
                menu->setProperty(decoratedProperty, true);
                QObject::connect(menu, &QMenu::aboutToShow, menu, [menu] { NativeMenuStyle::decorate(menu, false); });
                NativeMenuStyle::decorate(menu, false);
            }
        }
        return false;
    }
};

QPointer<MenuWatcher> &watcher()
{
    static QPointer<MenuWatcher> instance;
    return instance;
}

QString shortcutOf(const QStyleOptionMenuItem &option)
{
    const qsizetype tab = option.text.indexOf(QLatin1Char('\t'));
    return tab >= 0 ? option.text.mid(tab + 1) : QString();
}
} // namespace

NativeMenuStyle::NativeMenuStyle() : QProxyStyle(static_cast<QStyle *>(nullptr)) {}

NativeMenuStyle *NativeMenuStyle::instance()
{
    static QPointer<NativeMenuStyle> style;
    if (!style) {
        style = new NativeMenuStyle();
        if (QCoreApplication::instance())
            style->setParent(QCoreApplication::instance());
    }
    return style;
}

void NativeMenuStyle::install()
{
    if (watcher() || !QCoreApplication::instance())
        return;
    watcher() = new MenuWatcher(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(watcher());
}

bool NativeMenuStyle::isInstalled()
{
    return watcher() != nullptr;
}

int NativeMenuStyle::widthFor(const QMenu *menu)
{
    const QFont font = NativeFonts::system(13);
    qreal widest = 0;
    for (const QAction *action : menu->actions())
        widest = qMax(widest, NativeDrawing::textWidth(NativeMenuRow::displayTitle(action), font) + 100);
    return int(qBound(260.0, std::ceil(widest), 440.0));
}

void NativeMenuStyle::decorate(QMenu *menu, bool isRoot)
{
    if (!menu || menu->actions().isEmpty())
        return;
    for (QAction *action : menu->actions()) {
        if (QMenu *submenu = action->menu())
            decorate(submenu, false);
    }
    if (isRoot)
        return;
    if (menu->style() != instance())
        menu->setStyle(instance());
    menu->setPalette(AppearanceManager::palette(AppearanceManager::shared().effectiveAppearance(menu)));
    menu->setFixedWidth(widthFor(menu));
}

void NativeMenuStyle::decorate(QMenuBar *menuBar)
{
    if (!menuBar)
        return;
    for (QAction *action : menuBar->actions()) {
        if (QMenu *submenu = action->menu())
            decorate(submenu, false);
    }
}

void NativeMenuStyle::drawControl(ControlElement element, const QStyleOption *option, QPainter *painter, const QWidget *widget) const
{
    const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option);
    if (element != CE_MenuItem || !item) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    const Appearance appearance = AppearanceManager::shared().effectiveAppearance(widget);
    if (item->menuItemType == QStyleOptionMenuItem::Separator) {
        const QRectF r = item->rect;
        painter->fillRect(QRectF(r.left() + 16, r.center().y(), r.width() - 32, 1), resolve(DynamicColor::separator, appearance));
        return;
    }
    if (item->menuItemType == QStyleOptionMenuItem::EmptyArea || item->menuItemType == QStyleOptionMenuItem::Margin)
        return;
    NativeMenuRow::Look look;
    look.size = item->rect.size();
    look.title = NativeMenuRow::displayTitle(item->text);
    look.icon = item->icon;
    look.shortcut = item->menuItemType == QStyleOptionMenuItem::SubMenu ? QString() : shortcutOf(*item);
    look.enabled = item->state & State_Enabled;
    look.checked = item->checkType != QStyleOptionMenuItem::NotCheckable && item->checked;
    look.hasSubmenu = item->menuItemType == QStyleOptionMenuItem::SubMenu;
    look.highlighted = item->state & State_Selected;
    painter->save();
    painter->translate(item->rect.topLeft());
    NativeMenuRow::paint(*painter, look, appearance);
    painter->restore();
}

void NativeMenuStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter, const QWidget *widget) const
{
    if (element == PE_PanelMenu || element == PE_FrameMenu) {
        const Appearance appearance = AppearanceManager::shared().effectiveAppearance(widget);
        if (element == PE_PanelMenu)
            painter->fillRect(option->rect, resolve(DynamicColor::windowBackground, appearance));
        painter->save();
        painter->setPen(QPen(appearance == Appearance::dark ? withAlpha(Qt::white, 0.16) : withAlpha(Qt::black, 0.16), 1));
        painter->drawRect(QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5));
        painter->restore();
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

QSize NativeMenuStyle::sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size, const QWidget *widget) const
{
    const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option);
    if (type == CT_MenuItem && item) {
        if (item->menuItemType == QStyleOptionMenuItem::Separator)
            return {size.width(), 12};
        return {qMax(size.width(), 100), rowHeight};
    }
    return QProxyStyle::sizeFromContents(type, option, size, widget);
}

int NativeMenuStyle::pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const
{
    switch (metric) {
    case PM_MenuPanelWidth: return 1;
    case PM_MenuHMargin: return 4;
    case PM_MenuVMargin: return 6;
    case PM_SubMenuOverlap: return 0;
    default: return QProxyStyle::pixelMetric(metric, option, widget);
    }
}

int NativeMenuStyle::styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget, QStyleHintReturn *returnData) const
{
    if (hint == SH_Menu_AllowActiveAndDisabled)
        return 0;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

} // namespace NativeAppAppearance
