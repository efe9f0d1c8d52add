#pragma once
// The checkerboard that shows transparency: behind the picture (the canvas host) and around it
// (the surround over the host, which leaves the picture's rectangle alone).
//
// Tiles are 10 × 10 points anchored at the view's origin, so a partial repaint keeps the phase:
// the control background colour, with every tile whose column + row is even filled with the
// separator colour at alpha 0.18. Colours follow the view's effective appearance at each paint.
//
// `excluding`, when set, returns a rectangle of the view (points, origin top left) that the
// drawing leaves untouched; while it is set the view never takes a click, which reaches
// whatever lies below it.

#include "NativeAppAppearance/Appearance.h"

#include <QWidget>

#include <functional>
#include <optional>

namespace Kivaro {

class TransparencyGridView final : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal tileSize = 10;

    explicit TransparencyGridView(QWidget *parent = nullptr);

    const std::function<QRectF()> &excluding() const { return m_excluding; }
    void setExcluding(std::function<QRectF()> excluding);

    // The drawing of the dirty rectangle `dirty` (view points) without what `excluded` covers.
    static void paint(QPainter &painter, const QRectF &dirty, const std::optional<QRectF> &excluded,
                      NativeAppAppearance::Appearance appearance);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::function<QRectF()> m_excluding;
};

} // namespace Kivaro
