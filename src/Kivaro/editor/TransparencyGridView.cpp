#include "Kivaro/editor/TransparencyGridView.h"

#include "NativeAppAppearance/AppearanceManager.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

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
    painter.fillRect(dirty, resolve(DynamicColor::controlBackground, appearance));
    const QColor tile = withAlpha(resolve(DynamicColor::separator, appearance), 0.18);
    const int firstColumn = int(std::floor(dirty.left() / tileSize));
    const int lastColumn = int(std::ceil(dirty.right() / tileSize));
    const int firstRow = int(std::floor(dirty.top() / tileSize));
    const int lastRow = int(std::ceil(dirty.bottom() / tileSize));
    for (int row = firstRow; row < lastRow; ++row)
        for (int column = firstColumn + ((firstColumn + row) & 1); column < lastColumn; column += 2)
            painter.fillRect(QRectF(column * tileSize, row * tileSize, tileSize, tileSize), tile);
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
