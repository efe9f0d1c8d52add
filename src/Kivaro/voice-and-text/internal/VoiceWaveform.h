#pragma once
// The voice panel's level meter: five rounded bars, red and following the level while
// recording, otherwise accent bars of fixed heights; while processing, a faint ring with a dot
// orbiting at `progressPhase`. Drawn by `paint`, so tests can reproduce it on any painter.

#include "NativeAppAppearance/Appearance.h"

#include <QRectF>
#include <QWidget>

#include <array>

namespace Kivaro {

class VoiceWaveform final : public QWidget {
    Q_OBJECT
public:
    struct State {
        double level = 0;       // meant 0...1
        bool recording = false;
        bool processing = false;
        double progressPhase = 0; // radians
    };

    explicit VoiceWaveform(QWidget *parent = nullptr);

    const State &state() const { return m_state; }
    // Each setter asks for a redraw.
    void setLevel(double level);
    void setRecording(bool recording);
    void setProcessing(bool processing);
    void setProgressPhase(double phase);

    // The five bars in a view of `size` (points).
    static std::array<QRectF, 5> bars(const State &state, const QSizeF &size);
    // Centre of the orbiting dot.
    static QPointF dotCentre(const State &state, const QSizeF &size);
    static void paint(QPainter &painter, const State &state, const QSizeF &size, NativeAppAppearance::Appearance appearance);

    QSize sizeHint() const override { return {38, 34}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    State m_state;
};

} // namespace Kivaro
