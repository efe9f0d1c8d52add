#include "Kivaro/voice-and-text/internal/VoiceWaveform.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeDrawing.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

using namespace NativeAppAppearance;

namespace Kivaro {

namespace {

constexpr std::array<double, 5> kRecordingScale{13, 23, 30, 20, 11};
constexpr std::array<double, 5> kRestingHeight{8, 15, 23, 15, 8};

} // namespace

VoiceWaveform::VoiceWaveform(QWidget *parent) : QWidget(parent)
{
    setFixedSize(38, 34);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void VoiceWaveform::setLevel(double level)
{
    // The level comes from the recorder; a value outside 0...1 (or not a number) must not
    // stretch the bars out of the panel.
    m_state.level = std::isfinite(level) ? std::clamp(level, 0.0, 1.0) : 0.0;
    update();
}

void VoiceWaveform::setRecording(bool recording)
{
    m_state.recording = recording;
    update();
}

void VoiceWaveform::setProcessing(bool processing)
{
    m_state.processing = processing;
    update();
}

void VoiceWaveform::setProgressPhase(double phase)
{
    m_state.progressPhase = std::fmod(phase, 2 * M_PI);
    update();
}

std::array<QRectF, 5> VoiceWaveform::bars(const State &state, const QSizeF &size)
{
    std::array<QRectF, 5> result;
    for (int i = 0; i < 5; ++i) {
        const double height = state.recording ? state.level * kRecordingScale[i] + 5 : kRestingHeight[i];
        result[i] = QRectF(2 + 7 * i, (size.height() - height) / 2, 4, height);
    }
    return result;
}

QPointF VoiceWaveform::dotCentre(const State &state, const QSizeF &size)
{
    return {size.width() / 2 + 16 * std::cos(state.progressPhase), size.height() / 2 + 14 * std::sin(state.progressPhase)};
}

void VoiceWaveform::paint(QPainter &painter, const State &state, const QSizeF &size, Appearance appearance)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor accent = resolve(DynamicColor::controlAccent, appearance);
    const QColor fill = state.recording ? resolve(DynamicColor::systemRed, appearance) : accent;
    for (const QRectF &bar : bars(state, size))
        NativeDrawing::fillRoundedRect(painter, bar, 2, fill);
    if (state.processing) {
        painter.setPen(QPen(withAlpha(accent, 0.2), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QRectF(QPointF(0, 0), size).adjusted(1, 1, -1, -1));
        const QPointF centre = dotCentre(state, size);
        NativeDrawing::fillEllipse(painter, QRectF(centre.x() - 2, centre.y() - 2, 4, 4), accent);
    }
    painter.restore();
}

void VoiceWaveform::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter, m_state, size(), AppearanceManager::shared().effectiveAppearance(this));
}

} // namespace Kivaro
