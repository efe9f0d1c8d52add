#include "Kivaro/document/SampleImage.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace Kivaro::SampleImage {

namespace {

// The card is laid out in points with the origin at its bottom-left corner (y up), one point
// to a pixel; these helpers turn that into QImage's top-left, y-down space.
constexpr double kHeight = 600;
QRectF box(double x, double y, double w, double h)
{
    return QRectF(x, kHeight - y - h, w, h);
}

const QColor kInk(45, 57, 51);
const QColor kMuted(133, 144, 135);
const QColor kPaper(250, 249, 245);
const QColor kDivider(236, 237, 231);
const QColor kCard(239, 233, 218);

// Fixed faces, so the picture is the same on every machine that has the build's fonts: DejaVu
// Sans stands in for the user-interface font and a serif face for the headline font.
QFont sans(double size, QFont::Weight weight)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(qRound(size));
    font.setWeight(weight);
    return font;
}

QFont serif(double size)
{
    for (const QString &family : {QStringLiteral("DejaVu Serif"), QStringLiteral("Liberation Serif")}) {
        if (QFontDatabase::hasFamily(family)) {
            QFont font(family);
            font.setPixelSize(qRound(size));
            return font;
        }
    }
    return sans(size, QFont::Normal);
}

// Draws `text` with the bottom of its line box at height `y` (y up), as text drawn at a point
// of a y-up context sits.
void text(QPainter &p, const QString &string, double x, double y, const QFont &font, const QColor &colour)
{
    p.setFont(font);
    p.setPen(colour);
    const QFontMetricsF metrics(font);
    p.drawText(QPointF(x, kHeight - y - metrics.descent()), string);
}

struct Landscape {
    QColor sky, sun, hills[4];
};

void landscape(QPainter &p, const QRectF &frame, const Landscape &colours)
{
    const double w = frame.width(), h = frame.height(), left = frame.left(), top = frame.top();
    p.save();
    QPainterPath clip;
    clip.addRoundedRect(frame, 14, 14);
    p.setClipPath(clip);
    p.fillRect(frame, colours.sky);
    p.setPen(Qt::NoPen);
    p.setBrush(colours.sun);
    p.drawEllipse(QRectF(left + 0.68 * w, top + 0.14 * h, 0.15 * w, 0.15 * w));
    // start height, control 1, control 2, end height: fractions of the frame, heights downwards
    const double hills[4][6] = {{0.59, 0.33, 0.14, 0.67, 0.86, 0.42},
                                {0.73, 0.33, 0.83, 0.67, 0.29, 0.65},
                                {0.88, 0.33, 0.48, 0.67, 1.04, 0.77},
                                {0.99, 0.33, 1.07, 0.67, 0.69, 0.91}};
    for (int k = 0; k < 4; ++k) {
        const double *hill = hills[k];
        QPainterPath path(QPointF(left, top + hill[0] * h));
        path.cubicTo(left + hill[1] * w, top + hill[2] * h, left + hill[3] * w, top + hill[4] * h, left + w, top + hill[5] * h);
        path.lineTo(left + w, top + h);
        path.lineTo(left, top + h);
        path.closeSubpath();
        p.fillPath(path, colours.hills[k]);
    }
    p.restore();
}

} // namespace

QImage make()
{
    QImage image(960, 600, QImage::Format_RGBA8888_Premultiplied);
    image.fill(kPaper);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    p.fillRect(box(0, 548, 960, 52), Qt::white);
    const QColor dots[] = {QColor(255, 59, 48), QColor(255, 204, 0), QColor(52, 199, 89)};
    p.setPen(Qt::NoPen);
    for (int k = 0; k < 3; ++k) {
        p.setBrush(dots[k]);
        p.drawEllipse(box(20 + 20 * k, 568, 12, 12));
    }
    text(p, QStringLiteral("Sunday"), 445, 565, sans(14, QFont::Medium), kInk);
    p.fillRect(box(0, 548, 960, 1), kDivider);
    text(p, QStringLiteral("FIELD NOTES / 01"), 40, 503, sans(10, QFont::DemiBold), kMuted);
    text(p, QStringLiteral("A slower kind of Sunday."), 40, 454, serif(32), kInk);
    text(p, QStringLiteral("Small things worth keeping."), 42, 427, sans(13, QFont::Normal), kMuted);
    text(p, QStringLiteral("Inspiration"), 764, 499, sans(12, QFont::Medium), kInk);
    text(p, QStringLiteral("Archive"), 852, 499, sans(12, QFont::Normal), kMuted);

    landscape(p, box(40, 105, 552, 294),
              {QColor(240, 223, 200), QColor(219, 112, 78),
               {QColor(169, 188, 178), QColor(77, 123, 119), QColor(215, 154, 118), QColor(183, 110, 80)}});
    text(p, QStringLiteral("Somewhere by the sea"), 62, 128, serif(20), QColor(255, 245, 230));
    landscape(p, box(612, 261, 308, 138),
              {QColor(222, 229, 220), QColor(246, 240, 215),
               {QColor(153, 174, 158), QColor(97, 125, 107), QColor(51, 78, 66), QColor(36, 62, 53)}});

    p.setPen(Qt::NoPen);
    p.setBrush(kCard);
    p.drawRoundedRect(box(612, 105, 308, 140), 14, 14);
    text(p, QStringLiteral("THE PALETTE"), 634, 211, sans(10, QFont::DemiBold), QColor(147, 133, 113));
    const QColor swatches[] = {QColor(215, 154, 118), QColor(77, 123, 119), QColor(240, 223, 200), QColor(183, 110, 80),
                               QColor(51, 78, 66)};
    const double swatchX[] = {634, 685, 736, 787, 838};
    p.setPen(Qt::NoPen);
    for (int k = 0; k < 5; ++k) {
        p.setBrush(swatches[k]);
        p.drawEllipse(box(swatchX[k], 153, 39, 39));
    }
    text(p, QStringLiteral("Earth, sea & a little sunshine."), 634, 121, sans(12, QFont::Normal), QColor(127, 118, 102));
    text(p, QStringLiteral("A collection of quiet moments."), 42, 63, sans(13, QFont::Normal), kInk);
    text(p, QStringLiteral("3 notes  ·  Collected today"), 42, 39, sans(11, QFont::Normal), kMuted);

    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawRoundedRect(box(754, 43, 166, 40), 20, 20);
    text(p, QStringLiteral("Share collection"), 782, 57, sans(12, QFont::Medium), kPaper);
    p.end();
    return image;
}

} // namespace Kivaro::SampleImage
