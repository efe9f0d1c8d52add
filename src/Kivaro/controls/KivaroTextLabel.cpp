#include "Kivaro/controls/KivaroTextLabel.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeDrawing.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

#include <cmath>

using namespace NativeAppAppearance;

namespace Kivaro {

KivaroTextLabel::KivaroTextLabel(const QString &text, const QFont &font, NativeColor color, int maxLines, QWidget *parent)
    : QWidget(parent), m_text(text), m_font(font), m_color(color), m_maxLines(qMax(0, maxLines))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    policy.setHeightForWidth(hasHeightForWidth());
    setSizePolicy(policy);
    setAccessibleName(text);
}

void KivaroTextLabel::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    setAccessibleName(text);
    updateGeometry();
    update();
}

void KivaroTextLabel::setTextColor(NativeColor color)
{
    m_color = color;
    update();
}

qreal KivaroTextLabel::lineHeight(const QFont &font)
{
    return std::ceil(QFontMetricsF(font).height());
}

QStringList KivaroTextLabel::layoutLines(const QString &source, const QFont &font, qreal width, int maxLines)
{
    QStringList lines;
    if (source.isEmpty() || width <= 0)
        return lines;
    // QTextLayout breaks only at a line separator, not at a line feed.
    QString text = source;
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        if (lines.size() == maxLines - 1) {
            // The last line we may draw takes the rest of the text, elided.
            const QString rest = text.mid(line.textStart()).simplified();
            lines.append(QFontMetricsF(font).elidedText(rest, Qt::ElideRight, width));
            break;
        }
        lines.append(text.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    return lines;
}

void KivaroTextLabel::setWrapWidth(int width)
{
    m_wrapWidth = qMax(0, width);
    updateGeometry();
}

QSize KivaroTextLabel::sizeHint() const
{
    int width = int(std::ceil(NativeDrawing::textWidth(m_text, m_font))) + 1;
    if (m_wrapWidth > 0)
        width = qMin(width, m_wrapWidth);
    return {width, heightForWidth(width)};
}

QSize KivaroTextLabel::minimumSizeHint() const
{
    return {40, int(lineHeight(m_font))};
}

int KivaroTextLabel::heightForWidth(int width) const
{
    const int lines = qMax(1, int(layoutLines(m_text, m_font, width, m_maxLines).size()));
    return int(lineHeight(m_font) * lines);
}

void KivaroTextLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QColor color = m_color.resolved(AppearanceManager::shared().effectiveAppearance(this));
    const qreal height = lineHeight(m_font);
    const QStringList lines = layoutLines(m_text, m_font, width(), m_maxLines);
    for (int i = 0; i < lines.size(); ++i)
        NativeDrawing::drawText(painter, lines[i], QRectF(0, i * height, width(), height), m_font, color, Qt::AlignLeft,
                                Qt::ElideRight);
}

} // namespace Kivaro
