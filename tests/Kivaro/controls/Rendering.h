#pragma once
// Draws with a painter on a fresh transparent image, for tests that check pixels.

#include <QImage>
#include <QPainter>

template <typename Draw>
QImage canvas(QSize size, Draw draw)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    draw(painter);
    return image;
}
