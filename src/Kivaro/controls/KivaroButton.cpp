#include "Kivaro/controls/KivaroButton.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeButtonKeys.h"
#include "NativeAppAppearance/NativeDrawing.h"
#include "NativeAppAppearance/NativeFonts.h"
#include "NativeAppAppearance/NativeSymbols.h"

#include <QEnterEvent>
#include <QPainter>

#include <cmath>

using namespace NativeAppAppearance;

namespace Kivaro {

namespace {
QFont titleFont()
{
    return NativeFonts::system(13, QFont::Medium);
}
} // namespace

bool KivaroButton::Look::hasImage() const
{
    return NativeSymbols::exists(symbol) || (symbol.isEmpty() && !icon.isNull());
}

KivaroButton::KivaroButton(QWidget *parent) : QAbstractButton(parent)
{
    // Clicking does not take the focus; Tab does, and then the focus ring shows. Space and
    // Return press the focused button.
    setFocusPolicy(Qt::TabFocus);
    NativeButtonKeys::install(this);
    setAttribute(Qt::WA_Hover, false);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

KivaroButton::KivaroButton(const QString &title, QWidget *parent) : KivaroButton(parent)
{
    setText(title);
}

void KivaroButton::setPrimary(bool primary)
{
    if (m_primary == primary)
        return;
    m_primary = primary;
    update();
}

void KivaroButton::setToggle(bool toggle)
{
    if (m_toggle == toggle)
        return;
    m_toggle = toggle;
    setCheckable(toggle);
    updateGeometry();
    update();
}

void KivaroButton::setSymbol(const QString &name)
{
    if (m_symbol == name)
        return;
    m_symbol = name;
    updateGeometry();
    update();
}

void KivaroButton::setImagePosition(ImagePosition position)
{
    if (m_imagePosition == position)
        return;
    m_imagePosition = position;
    updateGeometry();
    update();
}

void KivaroButton::setContentTintColor(std::optional<NativeColor> color)
{
    m_contentTint = color;
    update();
}

void KivaroButton::pointerEntered()
{
    if (window() && !window()->isActiveWindow())
        return;
    m_hovered = true;
    update();
}

void KivaroButton::pointerExited()
{
    m_hovered = false;
    update();
}

KivaroButton::Look KivaroButton::look() const
{
    Look look;
    look.size = size();
    look.title = text();
    look.symbol = m_symbol;
    look.icon = icon();
    look.imagePosition = m_imagePosition;
    look.contentTint = m_contentTint;
    look.primary = m_primary;
    look.toggle = m_toggle;
    look.on = isChecked();
    look.enabled = isEnabled();
    look.pressed = isDown();
    look.hovered = m_hovered;
    look.focused = hasFocus();
    return look;
}

Appearance KivaroButton::effectiveAppearance() const
{
    return AppearanceManager::shared().effectiveAppearance(this);
}

QSize KivaroButton::sizeHint() const
{
    const QSizeF s = intrinsicSize(look());
    return QSize(int(std::ceil(s.width())), int(std::ceil(s.height())));
}

QSizeF KivaroButton::intrinsicSize(const Look &look)
{
    const qreal title = NativeDrawing::textWidth(look.title, titleFont());
    if (look.toggle)
        return {title + 52, 32};
    if (look.imagePosition == ImagePosition::imageOnly)
        return {32, 32};
    if (look.hasImage() && look.imagePosition != ImagePosition::noImage)
        return {title + 48, 32};
    return {title + 28, 32};
}

QColor KivaroButton::contentColor(const Look &look, Appearance appearance)
{
    if (!look.enabled)
        return resolve(DynamicColor::disabledControlText, appearance);
    if (look.primary)
        return Qt::white;
    if (look.contentTint)
        return look.contentTint->resolved(appearance);
    return resolve(DynamicColor::label, appearance);
}

void KivaroButton::paint(QPainter &painter, const Look &look, Appearance appearance)
{
    const auto color = [appearance](DynamicColor role) { return resolve(role, appearance); };
    const QRectF bounds(QPointF(0, 0), look.size);
    const qreal w = bounds.width();
    const qreal h = bounds.height();
    const QColor content = contentColor(look, appearance);

    if (!look.toggle) {
        QColor fill;
        if (look.primary)
            fill = withAlpha(color(DynamicColor::controlAccent), look.enabled ? 1.0 : 0.035);
        else if (!look.enabled)
            fill = withAlpha(color(DynamicColor::label), 0.035);
        else
            fill = withAlpha(color(DynamicColor::label), look.pressed ? 0.14 : look.hovered ? 0.09 : 0.05);
        NativeDrawing::fillRoundedRect(painter, bounds.adjusted(1, 1, -1, -1), 9, fill);
    } else {
        const qreal t = (h - 20) / 2;
        const QColor track = look.on ? color(DynamicColor::controlAccent) : withAlpha(color(DynamicColor::secondaryLabel), 0.25);
        NativeDrawing::fillRoundedRect(painter, QRectF(0, t, 34, 20), 10, track);
        NativeDrawing::fillEllipse(painter, QRectF(look.on ? 17 : 3, t + 3, 14, 14), withAlpha(Qt::white, look.enabled ? 1.0 : 0.5));
    }

    const bool hasImage = look.hasImage();
    const bool imageOnly = look.imagePosition == ImagePosition::imageOnly;
    if (hasImage && !look.toggle && look.imagePosition != ImagePosition::noImage) {
        const QRectF imageRect(imageOnly ? (w - 16) / 2 : 12, (h - 16) / 2, 16, 16);
        if (!look.symbol.isEmpty())
            NativeSymbols::draw(painter, look.symbol, imageRect, content);
        else
            look.icon.paint(&painter, imageRect.toAlignedRect(), Qt::AlignCenter, look.enabled ? QIcon::Normal : QIcon::Disabled);
    }

    if (!(imageOnly && hasImage)) {
        QRectF titleRect;
        Qt::Alignment alignment = Qt::AlignLeft;
        if (look.toggle)
            titleRect = QRectF(46, (h - 17) / 2, w - 46, 18);
        else if (hasImage && look.imagePosition != ImagePosition::noImage)
            titleRect = QRectF(36, (h - 17) / 2, w - 46, 18);
        else {
            titleRect = QRectF(10, (h - 17) / 2, w - 20, 18);
            alignment = Qt::AlignHCenter;
        }
        NativeDrawing::drawText(painter, look.title, titleRect, titleFont(), content, alignment, Qt::ElideRight);
    }

    if (look.focused)
        NativeDrawing::strokeFocusRing(painter, bounds, 9, appearance);
}

void KivaroButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter, look(), effectiveAppearance());
}

void KivaroButton::enterEvent(QEnterEvent *event)
{
    QAbstractButton::enterEvent(event);
    pointerEntered();
}

void KivaroButton::leaveEvent(QEvent *event)
{
    QAbstractButton::leaveEvent(event);
    pointerExited();
}

void KivaroButton::changeEvent(QEvent *event)
{
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::EnabledChange)
        update();
}

} // namespace Kivaro
