#include "NativeAppAppearance/NativeMenuRow.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeDrawing.h"
#include "NativeAppAppearance/NativeFonts.h"
#include "NativeAppAppearance/NativeSymbols.h"
#include "NativeAppAppearance/internal/MenuAccessibility.h"

#include <QAccessible>
#include <QAction>
#include <QMenu>
#include <QPainter>

#include <algorithm>

namespace NativeAppAppearance {

NativeMenuRow::NativeMenuRow(QAction *item, bool selected, Choose choose, QWidget *parent)
    : QAbstractButton(parent), m_source(item), m_selected(selected), m_choose(std::move(choose))
{
    installMenuAccessibility();
    setFocusPolicy(Qt::NoFocus);
    setText(item ? displayTitle(item) : QString());
    setEnabled(item ? item->isEnabled() : true);
    setCheckable(true);
    setChecked(selected || (item && item->isChecked()));
    setAccessibleName(text());
    connect(this, &QAbstractButton::clicked, this, &NativeMenuRow::activate);
    if (!item) {
        m_fallback = new QAction(this);
        return;
    }
    // The raw text (mnemonic markers and all), so that the stand-in reads as the action did.
    m_lastText = item->text();
    connect(item, &QAction::changed, this, [this] {
        if (m_source)
            m_lastText = m_source->text();
    });
    connect(item, &QObject::destroyed, this, [this] { m_fallback = new QAction(m_lastText, this); });
}

QAction *NativeMenuRow::item() const
{
    return m_source ? m_source.data() : m_fallback;
}

void NativeMenuRow::setMenuHighlighted(bool highlighted)
{
    if (m_menuHighlighted == highlighted)
        return;
    m_menuHighlighted = highlighted;
    update();
}

void NativeMenuRow::activate()
{
    // A checkable button flips its own check on click; the row's check mirrors the item only.
    QAction *action = item();
    setChecked(m_selected || action->isChecked());
    if (!action->isEnabled() || !m_choose)
        return;
    m_choose(action);
}

void NativeMenuRow::pointerEntered()
{
    if (!item()->isEnabled())
        return;
    setMenuHighlighted(true);
    if (m_hovered)
        m_hovered();
}

void NativeMenuRow::pointerExited()
{
    setMenuHighlighted(false);
}

NativeMenuRow::Look NativeMenuRow::look() const
{
    const QAction *action = item();
    Look look;
    look.size = size();
    look.title = displayTitle(action);
    look.icon = action->icon();
    look.shortcut = shortcutText(action->shortcut());
    if (look.shortcut.isEmpty()) {
        // QMenu convention: a key shown after a tab in the text, for an item whose key is owned elsewhere.
        const qsizetype tab = action->text().indexOf(QLatin1Char('\t'));
        if (tab >= 0)
            look.shortcut = action->text().mid(tab + 1);
    }
    look.enabled = action->isEnabled();
    look.checked = m_selected || action->isChecked();
    look.hasSubmenu = action->menu() != nullptr;
    look.highlighted = m_menuHighlighted;
    return look;
}

void NativeMenuRow::paint(QPainter &painter, const Look &look, Appearance appearance)
{
    const qreal w = look.size.width();
    const qreal h = look.size.height();
    if (look.highlighted && look.enabled)
        NativeDrawing::fillRoundedRect(painter, QRectF(1, 1, w - 2, h - 2), 7, withAlpha(resolve(DynamicColor::controlAccent, appearance), 0.14));

    const bool showsShortcut = !look.hasSubmenu && !look.shortcut.isEmpty();
    const QFont shortcutFont = NativeFonts::system(11);
    const qreal shortcutWidth = showsShortcut ? NativeDrawing::textWidth(look.shortcut, shortcutFont) : 0;
    // The title ends 12 points before the shortcut, and at least 40 before the edge (the chevron's place).
    const qreal titleRight = w - std::max<qreal>(40, shortcutWidth + 24);
    const QColor titleColor = resolve(look.enabled ? DynamicColor::label : DynamicColor::disabledControlText, appearance);
    NativeDrawing::drawText(painter, look.title, QRectF(32, (h - 17) / 2, std::max<qreal>(titleRight - 32, 0), 18),
                            NativeFonts::system(13), titleColor, Qt::AlignLeft, Qt::ElideRight);

    const QRectF mark(10, (h - 15) / 2, 15, 15);
    const qreal markOpacity = look.enabled ? 1.0 : 0.35;
    if (look.checked) {
        NativeSymbols::draw(painter, QStringLiteral("checkmark"), mark, resolve(DynamicColor::controlAccent, appearance), markOpacity);
    } else if (!look.icon.isNull()) {
        painter.save();
        painter.setOpacity(painter.opacity() * markOpacity);
        look.icon.paint(&painter, mark.toAlignedRect());
        painter.restore();
    }

    const QColor secondary = resolve(DynamicColor::secondaryLabel, appearance);
    if (look.hasSubmenu) {
        NativeSymbols::draw(painter, QStringLiteral("chevron.right"), QRectF(w - 23, (h - 11) / 2, 9, 11), secondary);
    } else if (showsShortcut) {
        NativeDrawing::drawText(painter, look.shortcut, QRectF(w - shortcutWidth - 12, (h - 14) / 2, shortcutWidth + 1, 14),
                                shortcutFont, secondary, Qt::AlignLeft, Qt::ElideNone);
    }
}

QString NativeMenuRow::displayTitle(const QAction *action)
{
    return action ? displayTitle(action->text()) : QString();
}

QString NativeMenuRow::displayTitle(QString text)
{
    // QMenu convention: a tab separates a shortcut hint from the title.
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    if (tab >= 0)
        text.truncate(tab);
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('&') && i + 1 < text.size()) {
            ++i;
        }
        result += text.at(i);
    }
    return result;
}

QString NativeMenuRow::shortcutText(const QKeySequence &shortcut)
{
    return shortcut.isEmpty() ? QString() : shortcut.toString(QKeySequence::NativeText);
}

QString NativeMenuRow::withShortcut(const QString &title, const QKeySequence &shortcut)
{
    return title + QLatin1Char('\t') + shortcutText(shortcut);
}

void NativeMenuRow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter, look(), AppearanceManager::shared().effectiveAppearance(this));
}

void NativeMenuRow::enterEvent(QEnterEvent *event)
{
    QAbstractButton::enterEvent(event);
    pointerEntered();
}

void NativeMenuRow::leaveEvent(QEvent *event)
{
    QAbstractButton::leaveEvent(event);
    pointerExited();
}

} // namespace NativeAppAppearance
