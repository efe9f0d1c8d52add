#include "NativeAppAppearance/NativeSymbols.h"

#include <QCache>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>
#include <memory>

namespace NativeAppAppearance::NativeSymbols {

namespace {
QString resourcePath(const QString &name)
{
    return QStringLiteral(":/native/symbols/") + name + QStringLiteral(".svg");
}

QSvgRenderer *renderer(const QString &name)
{
    static QHash<QString, std::shared_ptr<QSvgRenderer>> renderers;
    auto it = renderers.find(name);
    if (it == renderers.end()) {
        std::shared_ptr<QSvgRenderer> loaded;
        if (!name.isEmpty() && !name.contains(QLatin1Char('/')) && QFile::exists(resourcePath(name))) {
            loaded = std::make_shared<QSvgRenderer>(resourcePath(name));
            if (!loaded->isValid())
                loaded.reset();
            else
                loaded->setAspectRatioMode(Qt::KeepAspectRatio);
        }
        it = renderers.insert(name, loaded);
    }
    return it->get();
}
} // namespace

bool exists(const QString &name)
{
    return renderer(name) != nullptr;
}

QStringList names()
{
    QStringList result;
    const auto entries = QDir(QStringLiteral(":/native/symbols")).entryList({QStringLiteral("*.svg")}, QDir::Files, QDir::Name);
    for (const QString &file : entries)
        result << file.chopped(4);
    return result;
}

QImage image(const QString &name, const QSizeF &size, const QColor &color, qreal devicePixelRatio)
{
    QSvgRenderer *svg = renderer(name);
    if (!svg || size.isEmpty() || devicePixelRatio <= 0)
        return {};
    const QSize pixels(int(std::ceil(size.width() * devicePixelRatio)), int(std::ceil(size.height() * devicePixelRatio)));
    static QCache<QString, QImage> cache(400);
    const QString key = name + QLatin1Char('|') + QString::number(pixels.width()) + QLatin1Char('x')
        + QString::number(pixels.height()) + QLatin1Char('|') + QString::number(color.rgba(), 16) + QLatin1Char('|')
        + QString::number(devicePixelRatio);
    if (const QImage *cached = cache.object(key))
        return *cached;

    QImage result(pixels, QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    {
        QPainter p(&result);
        p.setRenderHint(QPainter::Antialiasing);
        svg->render(&p, QRectF(QPointF(0, 0), QSizeF(pixels)));
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(result.rect(), color);
    }
    result.setDevicePixelRatio(devicePixelRatio);
    cache.insert(key, new QImage(result));
    return result;
}

bool draw(QPainter &painter, const QString &name, const QRectF &rect, const QColor &color, qreal opacity)
{
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    // Scale as well when the painter is transformed (rendering a widget into a larger image).
    const qreal scale = ratio * std::max(std::abs(painter.transform().m11()), std::abs(painter.transform().m22()));
    const QImage tinted = image(name, rect.size(), color, scale > 0 ? scale : 1.0);
    if (tinted.isNull())
        return false;
    const qreal previous = painter.opacity();
    painter.setOpacity(previous * opacity);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect, tinted);
    painter.setOpacity(previous);
    return true;
}

QIcon icon(const QString &name, const QColor &color)
{
    QIcon result;
    for (int side : {16, 22, 32, 44, 64}) {
        const QImage tinted = image(name, QSizeF(side, side), color);
        if (tinted.isNull())
            return {};
        result.addPixmap(QPixmap::fromImage(tinted));
    }
    return result;
}

} // namespace NativeAppAppearance::NativeSymbols
