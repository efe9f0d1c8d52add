#include "Kivaro/editor/TransparencyGridView.h"

#include "NativeAppAppearance/AppearanceManager.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include <QtMath>

using namespace NativeAppAppearance;

namespace Kivaro {

TransparencyGridView::TransparencyGridView(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TransparencyGridView::setExcluding(std::function<QRectF()> excluding)
{
    m_excluding = std::move(excluding);
    setAttribute(Qt::WA_TransparentForMouseEvents, bool(m_excluding));
    // What the exclusion leaves free is not painted: the view is no longer opaque.
    setAttribute(Qt::WA_OpaquePaintEvent, !m_excluding);
    update();
}

namespace {

// Two tiles by two of the checkerboard, the even ones filled, at a device pixel ratio: filling
// with it as a pattern anchored at the origin paints exactly what filling every even tile
// does, in one call instead of one per tile.
QImage checkerTile(Appearance appearance, qreal dpr)
{
    const qreal side = 2 * TransparencyGridView::tileSize;
    QImage tile(QSize(qCeil(side * dpr), qCeil(side * dpr)), QImage::Format_ARGB32_Premultiplied);
    tile.fill(resolve(DynamicColor::controlBackground, appearance));
    QPainter painter(&tile);
    painter.scale(dpr, dpr);
    const QColor even = withAlpha(resolve(DynamicColor::separator, appearance), 0.18);
    painter.fillRect(QRectF(0, 0, TransparencyGridView::tileSize, TransparencyGridView::tileSize), even);
    painter.fillRect(QRectF(TransparencyGridView::tileSize, TransparencyGridView::tileSize, TransparencyGridView::tileSize,
                            TransparencyGridView::tileSize),
                     even);
    return tile;
}

} // namespace

void TransparencyGridView::paint(QPainter &painter, const QRectF &dirty, const std::optional<QRectF> &excluded, Appearance appearance)
{
    painter.save();
    if (excluded) {
        QPainterPath clip;
        clip.setFillRule(Qt::OddEvenFill);
        clip.addRect(dirty);
        clip.addRect(*excluded);
        painter.setClipPath(clip, Qt::IntersectClip);
    }
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    // The tile is made at the device's resolution; the brush maps it back to points.
    QBrush pattern(checkerTile(appearance, dpr));
    pattern.setTransform(QTransform::fromScale(1 / dpr, 1 / dpr));
    painter.setBrushOrigin(0, 0);
    painter.fillRect(dirty, pattern);
    painter.restore();
}

void TransparencyGridView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    std::optional<QRectF> excluded;
    if (m_excluding)
        excluded = m_excluding();
    paint(painter, QRectF(event->rect()), excluded, AppearanceManager::shared().effectiveAppearance(this));
}

} // namespace Kivaro
