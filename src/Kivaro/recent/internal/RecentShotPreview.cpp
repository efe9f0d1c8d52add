#include "Kivaro/recent/internal/RecentShotPreview.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeDrawing.h"

#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>

using namespace NativeAppAppearance;

namespace Kivaro::detail {

namespace {
// The store writes previews of at most 320 pixels a side; these bounds leave room for files
// written by other versions and keep a hostile file from costing real memory.
constexpr qint64 kMaxFileBytes = 8 * 1024 * 1024;
constexpr int kMaxSide = 2048;
constexpr qint64 kMaxPixels = 2048 * 2048;
constexpr qreal kRadius = 6;
} // namespace

RecentShotPreview::RecentShotPreview(const QString &path, QWidget *parent) : QWidget(parent), m_image(load(path))
{
    setFixedSize(kSize);
    setAttribute(Qt::WA_TransparentForMouseEvents); // clicks belong to the row
}

QImage RecentShotPreview::load(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > kMaxFileBytes)
        return {};
    QImageReader reader(path);
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > kMaxSide || size.height() > kMaxSide || qint64(size.width()) * size.height() > kMaxPixels)
        return {};
    QImage image;
    if (!reader.read(&image))
        return {};
    return image;
}

void RecentShotPreview::paint(QPainter &painter, const QRectF &bounds, const QImage &image, Appearance appearance)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // The frame hugs the fitted picture, so a picture of another shape leaves clear space
    // around it instead of bars inside a plate.
    QRectF plate = bounds.adjusted(0.5, 0.5, -0.5, -0.5);
    if (!image.isNull() && !image.size().isEmpty()) {
        const QSizeF fitted = QSizeF(image.size()).scaled(plate.size(), Qt::KeepAspectRatio);
        plate = QRectF(plate.center() - QPointF(fitted.width() / 2, fitted.height() / 2), fitted);
        QPainterPath clip;
        clip.addRoundedRect(plate, kRadius, kRadius);
        painter.setClipPath(clip);
        painter.drawImage(plate, image);
        painter.setClipping(false);
    } else {
        NativeDrawing::fillRoundedRect(painter, plate, kRadius, withAlpha(resolve(DynamicColor::label, appearance), 0.05));
    }
    NativeDrawing::strokeRoundedRect(painter, plate, kRadius, resolve(DynamicColor::separator, appearance), 1);
    painter.restore();
}

void RecentShotPreview::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter, rect(), m_image, AppearanceManager::shared().effectiveAppearance(this));
}

} // namespace Kivaro::detail
