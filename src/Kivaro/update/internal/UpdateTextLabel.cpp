#include "Kivaro/update/internal/UpdateTextLabel.h"

#include "NativeAppAppearance/AppearanceManager.h"

#include <QFontMetrics>
#include <QPainter>

namespace Kivaro::detail {

namespace {
constexpr int textFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
}

UpdateTextLabel::UpdateTextLabel(const QString &text, const QFont &font, NativeAppAppearance::NativeColor color, QWidget *parent)
    : QWidget(parent), m_text(text), m_font(font), m_color(color)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setAccessibleName(text);
}

void UpdateTextLabel::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    setAccessibleName(text);
    updateGeometry();
    update();
}

QSize UpdateTextLabel::sizeHint() const
{
    const QFontMetrics metrics(m_font);
    return {metrics.horizontalAdvance(m_text) + 1, metrics.height()};
}

QSize UpdateTextLabel::minimumSizeHint() const
{
    return {0, QFontMetrics(m_font).height()};
}

int UpdateTextLabel::heightForWidth(int width) const
{
    if (m_text.isEmpty())
        return 0;
    return QFontMetrics(m_font).boundingRect(QRect(0, 0, qMax(1, width), 1 << 20), textFlags, m_text).height();
}

void UpdateTextLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setFont(m_font);
    painter.setPen(m_color.resolved(NativeAppAppearance::AppearanceManager::shared().effectiveAppearance(this)));
    painter.drawText(rect(), textFlags, m_text);
}

} // namespace Kivaro::detail
