#include "Kivaro/editor/CompactStatusLabel.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeDrawing.h"
#include "NativeAppAppearance/NativeFonts.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>

#include <cmath>

using namespace NativeAppAppearance;

namespace Kivaro {

namespace {

// The line as a screen reader sees it: static text named by the current text.
class StatusLineAccessible final : public QAccessibleWidget {
public:
    explicit StatusLineAccessible(CompactStatusLabel *label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name || kind == QAccessible::Value)
            return static_cast<const CompactStatusLabel *>(object())->stringValue();
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface *statusLineAccessible(const QString &className, QObject *object)
{
    auto *label = qobject_cast<CompactStatusLabel *>(object);
    if (label && className == QLatin1String(CompactStatusLabel::staticMetaObject.className()))
        return new StatusLineAccessible(label);
    return nullptr;
}

} // namespace

CompactStatusLabel::CompactStatusLabel(QWidget *parent) : QWidget(parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(statusLineAccessible);
        return true;
    }();
    Q_UNUSED(installed);
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
    store(text, false);
}

void CompactStatusLabel::setProgressText(const QString &text)
{
    store(text, !text.isEmpty());
}

void CompactStatusLabel::store(const QString &text, bool progress)
{
    const bool changed = text != m_text;
    m_text = text;
    m_progress = progress;
    setVisible(!text.isEmpty());
    m_dismissTimer.stop();
    if (!text.isEmpty() && !progress)
        m_dismissTimer.start();
    update();
    if (changed) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
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
