#include "Kivaro/voice-and-text/internal/VoicePanelLabel.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeDrawing.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

#include <cmath>

using namespace NativeAppAppearance;

namespace Kivaro {

VoicePanelLabel::VoicePanelLabel(const QFont &font, NativeColor color, int maxLines, QWidget *parent)
    : QWidget(parent), m_font(font), m_color(color), m_maxLines(qMax(1, maxLines))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    policy.setHeightForWidth(m_maxLines > 1);
    setSizePolicy(policy);
}

void VoicePanelLabel::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    setAccessibleName(text);
    updateGeometry();
    update();
}

void VoicePanelLabel::setTextColor(NativeColor color)
{
    m_color = color;
    update();
}

qreal VoicePanelLabel::lineHeight(const QFont &font)
{
    return std::ceil(QFontMetricsF(font).height());
}

QStringList VoicePanelLabel::layoutLines(const QString &text, const QFont &font, qreal width, int maxLines)
{
    QStringList lines;
    if (text.isEmpty() || width <= 0)
        return lines;
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

void VoicePanelLabel::setWrapWidth(int width)
{
    m_wrapWidth = qMax(0, width);
    updateGeometry();
}

QSize VoicePanelLabel::sizeHint() const
{
    int width = int(std::ceil(NativeDrawing::textWidth(m_text, m_font))) + 1;
    if (m_wrapWidth > 0)
        width = qMin(width, m_wrapWidth);
    return {width, heightForWidth(width)};
}

QSize VoicePanelLabel::minimumSizeHint() const
{
    return {40, int(lineHeight(m_font))};
}

int VoicePanelLabel::heightForWidth(int width) const
{
    const int lines = qMax(1, int(layoutLines(m_text, m_font, width, m_maxLines).size()));
    return int(lineHeight(m_font) * lines);
}

void VoicePanelLabel::paintEvent(QPaintEvent *)
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
