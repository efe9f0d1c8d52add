#include "NativeAppAppearance/MenuContentView.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeDrawing.h"
#include "NativeAppAppearance/NativeFonts.h"
#include "NativeAppAppearance/NativeMenu.h"
#include "NativeAppAppearance/internal/MenuAccessibility.h"
#include "Platform/Keys/KeyTable.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>

#include <cmath>

namespace NativeAppAppearance {

namespace {
namespace Keys = Platform::Keys;
constexpr int keyEscape = int(Keys::escape);
constexpr int keyDownArrow = int(Keys::downArrow);
constexpr int keyUpArrow = int(Keys::upArrow);
constexpr int keyLeftArrow = int(Keys::leftArrow);
constexpr int keyRightArrow = int(Keys::rightArrow);
constexpr int keyReturn = int(Keys::returnKey);
constexpr int keySpace = int(Keys::space);

// The key code of an event; the keypad's Enter acts as Return in a menu.
int keyCodeOf(const QKeyEvent &event)
{
    const Platform::KeyInfo *key = Keys::fromEvent(event);
    if (!key)
        return -1;
    return key->keyCode == Keys::keypadEnter ? keyReturn : int(key->keyCode);
}
} // namespace

MenuContentView::MenuContentView(QMenu *menu, QAction *selected, std::function<void()> back, NativeMenuRow::Choose choose,
                                 QWidget *parent)
    : QWidget(parent), m_menu(menu), m_back(std::move(back))
{
    installMenuAccessibility();
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_TranslucentBackground);
    const int width = widthFor(menu);
    qreal y = 8;
    int selectedRow = -1;
    const auto actions = menu ? menu->actions() : QList<QAction *>();
    for (QAction *action : actions) {
        if (!action->isVisible())
            continue;
        if (action->isSeparator()) {
            m_separators << QRectF(16, y + 5, width - 32, 1);
            y += 12;
            continue;
        }
        auto *row = new NativeMenuRow(action, action == selected, choose, this);
        row->setGeometry(8, int(y), width - 16, 34);
        const int index = int(m_rows.size());
        row->setHoveredCallback([this, index] { focus(index); });
        if (action == selected)
            selectedRow = index;
        m_rows << row;
        y += 34;
    }
    resize(width, int(y + 8));
    setAccessibleName(menu ? NativeMenuRow::displayTitle(menu->menuAction()) : QString());
    focus(selectedRow);
}

int MenuContentView::widthFor(const QMenu *menu)
{
    const QFont font = NativeFonts::system(13);
    qreal widest = 0;
    const auto actions = menu ? menu->actions() : QList<QAction *>();
    for (const QAction *action : actions)
        widest = qMax(widest, NativeDrawing::textWidth(NativeMenuRow::displayTitle(action), font) + 90);
    return int(qBound(240.0, std::ceil(widest), 420.0));
}

void MenuContentView::focus(int index)
{
    if (index < 0 || index >= m_rows.size() || !m_rows.at(index)->item()->isEnabled())
        return;
    m_focused = index;
    for (int i = 0; i < m_rows.size(); ++i)
        m_rows.at(i)->setMenuHighlighted(i == index);
}

bool MenuContentView::keyDown(int keyCode)
{
    if (keyCode == keyEscape) {
        NativeMenu::shared().close();
        return true;
    }
    QList<int> enabled;
    for (int i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i)->item()->isEnabled())
            enabled << i;
    }
    if (enabled.isEmpty())
        return true; // swallowed: a menu of disabled rows ignores every key but Escape
    const qsizetype position = enabled.indexOf(m_focused);
    switch (keyCode) {
    case keyDownArrow:
        focus(position < 0 ? enabled.first() : enabled.at((position + 1) % enabled.size()));
        return true;
    case keyUpArrow:
        focus(position < 0 ? enabled.last() : enabled.at((position - 1 + enabled.size()) % enabled.size()));
        return true;
    case keyLeftArrow:
        if (m_back)
            m_back();
        return true;
    case keyReturn:
    case keyRightArrow:
    case keySpace:
        if (m_focused >= 0 && m_focused < m_rows.size())
            m_rows.at(m_focused)->click();
        return true;
    default:
        return false;
    }
}

void MenuContentView::paintBackground(QPainter &painter, const QSizeF &size, Appearance appearance)
{
    const QRectF bounds(QPointF(0, 0), size);
    NativeDrawing::fillRoundedRect(painter, bounds, 12, resolve(DynamicColor::windowBackground, appearance));
    // A hairline keeps the menu apart from a window of the same colour when no shadow is drawn.
    NativeDrawing::strokeRoundedRect(painter, bounds.adjusted(0.5, 0.5, -0.5, -0.5), 11.5,
                                     appearance == Appearance::dark ? withAlpha(Qt::white, 0.16) : withAlpha(Qt::black, 0.16), 1);
}

void MenuContentView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const Appearance appearance = AppearanceManager::shared().effectiveAppearance(this);
    paintBackground(painter, size(), appearance);
    for (const QRectF &line : std::as_const(m_separators))
        painter.fillRect(line, resolve(DynamicColor::separator, appearance));
}

void MenuContentView::keyPressEvent(QKeyEvent *event)
{
    const int code = keyCodeOf(*event);
    if (code < 0 && event->key() != 0) {
        // Not one of ours; still swallowed when no row is enabled.
        bool anyEnabled = false;
        for (const auto *row : std::as_const(m_rows))
            anyEnabled = anyEnabled || row->item()->isEnabled();
        if (anyEnabled) {
            QWidget::keyPressEvent(event);
            return;
        }
        event->accept();
        return;
    }
    if (keyDown(code))
        event->accept();
    else
        QWidget::keyPressEvent(event);
}

} // namespace NativeAppAppearance
