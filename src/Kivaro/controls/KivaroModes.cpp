#include "Kivaro/controls/KivaroModes.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeDrawing.h"
#include "NativeAppAppearance/NativeFonts.h"
#include "NativeAppAppearance/NativeSymbols.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <cmath>

using namespace NativeAppAppearance;

namespace Kivaro {

namespace {
QFont labelFont()
{
    return NativeFonts::system(12, QFont::Medium);
}
} // namespace

KivaroModes::KivaroModes(QWidget *parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

KivaroModes::KivaroModes(const QStringList &labels, QWidget *parent) : KivaroModes(parent)
{
    for (const QString &label : labels)
        m_segments.append({label, {}, 0, {}});
}

void KivaroModes::setSegmentCount(int count)
{
    m_segments.resize(qMax(0, count));
    if (m_selected >= m_segments.size())
        m_selected = -1;
    changed();
}

std::optional<QString> KivaroModes::label(int segment) const
{
    return valid(segment) ? std::optional<QString>(m_segments.at(segment).label) : std::nullopt;
}

void KivaroModes::setLabel(int segment, const QString &label)
{
    if (!valid(segment))
        return;
    m_segments[segment].label = label;
    changed();
}

QString KivaroModes::symbol(int segment) const
{
    return valid(segment) ? m_segments.at(segment).symbol : QString();
}

void KivaroModes::setSymbol(int segment, const QString &symbol)
{
    if (!valid(segment))
        return;
    m_segments[segment].symbol = symbol;
    changed();
}

qreal KivaroModes::width(int segment) const
{
    return valid(segment) ? m_segments.at(segment).width : 0;
}

void KivaroModes::setWidth(int segment, qreal width)
{
    if (!valid(segment))
        return;
    m_segments[segment].width = qMax<qreal>(0, width);
    changed();
}

QString KivaroModes::segmentToolTip(int segment) const
{
    return valid(segment) ? m_segments.at(segment).toolTip : QString();
}

void KivaroModes::setSegmentToolTip(int segment, const QString &toolTip)
{
    if (valid(segment))
        m_segments[segment].toolTip = toolTip;
}

void KivaroModes::setSelectedSegment(int segment)
{
    const int chosen = valid(segment) ? segment : -1;
    if (chosen == m_selected)
        return;
    m_selected = chosen;
    update();
}

qreal KivaroModes::effectiveWidth(int segment) const
{
    if (!valid(segment))
        return 0;
    const Segment &s = m_segments.at(segment);
    if (s.width > 0)
        return s.width;
    return s.label.isEmpty() ? 34 : std::ceil(NativeDrawing::textWidth(s.label, labelFont())) + 44;
}

QRectF KivaroModes::segmentRect(int segment) const
{
    if (!valid(segment))
        return {};
    qreal x = 0;
    for (int i = 0; i < segment; ++i)
        x += effectiveWidth(i);
    return {x, 0, effectiveWidth(segment), qreal(height())};
}

int KivaroModes::segmentAt(const QPointF &point) const
{
    if (point.y() < 0 || point.y() >= height())
        return -1;
    qreal x = 0;
    for (int i = 0; i < m_segments.size(); ++i) {
        const qreal w = effectiveWidth(i);
        if (point.x() >= x && point.x() < x + w)
            return i;
        x += w;
    }
    return -1;
}

void KivaroModes::clickSegment(int segment)
{
    if (!isEnabled() || !valid(segment))
        return;
    setSelectedSegment(segment);
    Q_EMIT activated(segment);
}

QSize KivaroModes::sizeHint() const
{
    qreal total = 0;
    for (int i = 0; i < m_segments.size(); ++i)
        total += effectiveWidth(i);
    return {int(std::ceil(total)), 34};
}

KivaroModes::Look KivaroModes::look() const
{
    Look look;
    look.size = size();
    look.selected = m_selected;
    look.enabled = isEnabled();
    for (int i = 0; i < m_segments.size(); ++i) {
        Segment s = m_segments.at(i);
        s.width = effectiveWidth(i);
        look.segments << s;
    }
    return look;
}

void KivaroModes::paint(QPainter &painter, const Look &look, Appearance appearance)
{
    const qreal h = look.size.height();
    qreal x = 0;
    for (int i = 0; i < look.segments.size(); ++i) {
        const Segment &segment = look.segments.at(i);
        const qreal w = segment.width;
        QColor content;
        if (i == look.selected) {
            NativeDrawing::fillRoundedRect(painter, QRectF(x + 2, 2, w - 4, h - 4), 8,
                                           withAlpha(resolve(DynamicColor::controlAccent, appearance), 0.13));
            content = resolve(look.enabled ? DynamicColor::controlAccent : DynamicColor::disabledControlText, appearance);
        } else {
            content = resolve(look.enabled ? DynamicColor::secondaryLabel : DynamicColor::disabledControlText, appearance);
        }
        if (!segment.symbol.isEmpty()) {
            const qreal imageX = segment.label.isEmpty() ? x + (w - 16) / 2 : x + 10;
            NativeSymbols::draw(painter, segment.symbol, QRectF(imageX, (h - 16) / 2, 16, 16), content);
        }
        if (!segment.label.isEmpty())
            NativeDrawing::drawText(painter, segment.label, QRectF(x + 32, (h - 17) / 2, w - 36, 18), labelFont(), content, Qt::AlignLeft,
                                    Qt::ElideRight);
        x += w;
    }
}

void KivaroModes::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter, look(), AppearanceManager::shared().effectiveAppearance(this));
}

void KivaroModes::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_pressed = segmentAt(event->position());
    event->accept();
}

void KivaroModes::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const int pressed = m_pressed;
    m_pressed = -1;
    if (pressed >= 0 && segmentAt(event->position()) == pressed)
        clickSegment(pressed);
    event->accept();
}

bool KivaroModes::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QString tip = segmentToolTip(segmentAt(help->pos()));
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, this);
        return true;
    }
    return QWidget::event(event);
}

void KivaroModes::changed()
{
    updateGeometry();
    update();
}

} // namespace Kivaro
