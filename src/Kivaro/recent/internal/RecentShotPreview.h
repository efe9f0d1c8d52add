#pragma once
// The preview of one recent shot in its row: the preview file's picture fitted into a fixed
// 140 × 86 area (scaled up or down, aspect kept) on a rounded plate; just the plate when the
// file is missing or unreadable.

#include "NativeAppAppearance/Appearance.h"

#include <QImage>
#include <QWidget>

namespace Kivaro::detail {

class RecentShotPreview final : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize kSize{140, 86};

    explicit RecentShotPreview(const QString &path, QWidget *parent = nullptr);

    const QImage &image() const { return m_image; }

    // Reads a preview file with bounded decoding (a preview is small; anything large or broken
    // counts as unreadable): a null image when it cannot be shown.
    static QImage load(const QString &path);
    static void paint(QPainter &painter, const QRectF &bounds, const QImage &image, NativeAppAppearance::Appearance appearance);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_image;
};

} // namespace Kivaro::detail
