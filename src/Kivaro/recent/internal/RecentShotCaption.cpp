#include "Kivaro/recent/internal/RecentShotCaption.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeDrawing.h"
#include "NativeAppAppearance/NativeFonts.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

using namespace NativeAppAppearance;

namespace Kivaro::detail {

namespace {

constexpr qreal kLineGap = 4;

struct Line {
    QFont font;
    DynamicColor color;
};

Line lineStyle(RecentShotCaption::Style style, int index)
{
    if (style == RecentShotCaption::Style::entry && index == 0)
        return {NativeFonts::system(14, QFont::Medium), DynamicColor::label};
    return {NativeFonts::system(12), DynamicColor::secondaryLabel};
}

qreal lineHeight(const QFont &font)
{
    return std::ceil(QFontMetricsF(font).height());
}

} // namespace

RecentShotCaption::RecentShotCaption(const QString &text, Style style, QWidget *parent) : QWidget(parent), m_text(text), m_style(style)
{
    setAccessibleName(text);
    setAttribute(Qt::WA_TransparentForMouseEvents); // clicks belong to the row
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

QSize RecentShotCaption::sizeHint() const
{
    const QStringList lines = m_text.split(QLatin1Char('\n'));
    qreal width = 0, height = 0;
    for (int i = 0; i < lines.size(); ++i) {
        const Line style = lineStyle(m_style, i);
        width = qMax(width, NativeDrawing::textWidth(lines[i], style.font));
        height += lineHeight(style.font) + (i > 0 ? kLineGap : 0);
    }
    return {int(std::ceil(width)), int(std::ceil(height))};
}

QSize RecentShotCaption::minimumSizeHint() const
{
    return {40, sizeHint().height()};
}

void RecentShotCaption::paint(QPainter &painter, const QRectF &bounds, const QString &text, Style style, Appearance appearance)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    qreal total = 0;
    for (int i = 0; i < lines.size(); ++i)
        total += lineHeight(lineStyle(style, i).font) + (i > 0 ? kLineGap : 0);
    qreal y = bounds.top() + std::round((bounds.height() - total) / 2);
    for (int i = 0; i < lines.size(); ++i) {
        const Line line = lineStyle(style, i);
        const qreal height = lineHeight(line.font);
        NativeDrawing::drawText(painter, lines[i], QRectF(bounds.left(), y, bounds.width(), height), line.font,
                                resolve(line.color, appearance), Qt::AlignLeft, Qt::ElideRight);
        y += height + kLineGap;
    }
}

void RecentShotCaption::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter, rect(), m_text, m_style, AppearanceManager::shared().effectiveAppearance(this));
}

} // namespace Kivaro::detail
