#include "support/ScreenshotLikeImage.h"

#include <QPainter>
#include <QRandomGenerator>

#include <cmath>

namespace BenchSupport {

QImage screenshotLikeImage(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(246, 246, 248));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    // chrome: title bar, side bar, toolbar
    p.fillRect(QRect(0, 0, width, 56), QColor(225, 225, 230));
    p.fillRect(QRect(0, 56, width / 6, height - 56), QColor(236, 238, 242));
    p.fillRect(QRect(width / 6, 56, width, 48), QColor(250, 250, 250));
    for (int i = 0; i < 3; ++i) {
        p.setBrush(QColor::fromHsv(i * 40, 200, 230));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(30 + i * 30, 28), 9, 9);
    }
    // text: a side bar list and two columns of body text
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(22);
    p.setFont(font);
    p.setPen(QColor(40, 40, 45));
    QRandomGenerator random(42);
    const QString words[] = {QStringLiteral("capture"), QStringLiteral("window"), QStringLiteral("region"),
                             QStringLiteral("annotation"), QStringLiteral("the"), QStringLiteral("of"),
                             QStringLiteral("settings"), QStringLiteral("截图"), QStringLiteral("标注"), QStringLiteral("and")};
    for (int y = 140; y < height - 40; y += 44) {
        p.drawText(24, y, words[random.bounded(10)] + QLatin1Char(' ') + QString::number(y));
    }
    for (int column = 0; column < 2; ++column) {
        const int x0 = width / 6 + 40 + column * (width / 3);
        for (int y = 160; y < height / 2; y += 32) {
            QString line;
            while (line.size() < 70)
                line += words[random.bounded(10)] + QLatin1Char(' ');
            p.drawText(x0, y, line);
        }
    }
    p.end();
    // photo-like areas: smooth colour fields with sensor-like grain
    auto photo = [&](QRect area, double phase) {
        for (int y = area.top(); y <= area.bottom(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = area.left(); x <= area.right(); ++x) {
                const double u = double(x - area.left()) / area.width(), v = double(y - area.top()) / area.height();
                const int grain = int(random.bounded(9)) - 4;
                const int r = qBound(0, int(120 + 90 * std::sin(6 * u + phase) * v) + grain, 255);
                const int g = qBound(0, int(140 + 70 * std::cos(4 * v + u * 3)) + grain, 255);
                const int b = qBound(0, int(90 + 120 * u * (1 - v)) + grain, 255);
                line[x] = qRgb(r, g, b);
            }
        }
    };
    photo(QRect(width / 6 + 40, height / 2 + 40, width / 3, height / 2 - 100), 0.3);
    photo(QRect(width / 2 + 80, height / 2 + 40, width / 3, height / 3), 1.7);
    return image.convertToFormat(QImage::Format_RGB32);
}

} // namespace BenchSupport
