#include "Kivaro/editor/CompactStatusLabel.h"

#include "KivaroCore/Localization.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeDrawing.h"
#include "NativeAppAppearance/NativeFonts.h"

#include <QPainter>

#include <cmath>

using namespace NativeAppAppearance;

namespace Kivaro {

CompactStatusLabel::CompactStatusLabel(QWidget *parent) : QWidget(parent)
{
    // Clicks on the line stop at it: laid over the canvas (the inline editor) a press on it must
    // not start a drawing or a voice note beneath.
    m_dismissTimer.setSingleShot(true);
    // Coarse timers may fire 5 % early; the line is meant to stay its full five seconds.
    m_dismissTimer.setTimerType(Qt::PreciseTimer);
    m_dismissTimer.setInterval(dismissDelay);
    connect(&m_dismissTimer, &QTimer::timeout, this, [this] { setStringValue(QString()); });
    setVisible(false);
}

QFont CompactStatusLabel::font()
{
    return NativeFonts::system(12);
}

void CompactStatusLabel::setStringValue(const QString &text)
{
    m_text = text;
    setVisible(!text.isEmpty());
    m_dismissTimer.stop();
    if (!text.isEmpty() && !text.startsWith(kivaroCopy("正在")))
        m_dismissTimer.start();
    update();
    Q_EMIT stringValueChanged();
}

QSize CompactStatusLabel::sizeHint() const
{
    return QSize(int(std::ceil(NativeDrawing::textWidth(m_text, font()))) + 4, 16);
}

void CompactStatusLabel::setPlated(bool plated)
{
    m_plated = plated;
    update();
}

void CompactStatusLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_plated && !m_text.isEmpty()) {
        const qreal w = qMin(qreal(width()), NativeDrawing::textWidth(m_text, font()) + 16);
        const QRectF plate((width() - w) / 2, 0, w, height());
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor::fromRgbF(0, 0, 0, 0.72f));
        painter.drawRoundedRect(plate, height() / 2.0, height() / 2.0);
        NativeDrawing::drawText(painter, m_text, plate.adjusted(8, 0, -8, 0), font(), resolve(DynamicColor::label, Appearance::dark),
                                Qt::AlignHCenter, Qt::ElideRight);
        return;
    }
    const QColor color = AppearanceManager::shared().color(DynamicColor::secondaryLabel, this);
    NativeDrawing::drawText(painter, m_text, QRectF(rect()), font(), color, Qt::AlignHCenter, Qt::ElideRight);
}

} // namespace Kivaro
