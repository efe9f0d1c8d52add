#pragma once
// A knob-only scroll bar: no track and no arrows, just a rounded translucent knob. Its geometry
// (the knob's place and length, and so dragging and paging) comes from a small style of its own,
// so that what is drawn is exactly what the pointer grabs. Nothing is drawn when there is
// nothing to scroll.

#include "NativeAppAppearance/Appearance.h"

#include <QScrollBar>

namespace Kivaro {

class KivaroScroller final : public QScrollBar {
    Q_OBJECT
public:
    explicit KivaroScroller(Qt::Orientation orientation = Qt::Vertical, QWidget *parent = nullptr);

    // The knob as the scroll bar reports it, in its own coordinates; empty when not scrollable.
    QRect knobRect() const;
    // Where the knob lies along a track of `length` points (start and length).
    static QPair<int, int> knobSpan(int length, int minimum, int maximum, int pageStep, int value);

    static constexpr int thickness = 14;
    static void paintKnob(QPainter &painter, const QRectF &knob, NativeAppAppearance::Appearance appearance);

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace Kivaro
