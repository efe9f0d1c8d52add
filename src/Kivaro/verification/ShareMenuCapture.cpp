#include "Kivaro/verification/ShareMenuCapture.h"

#include "Kivaro/verification/support/EvidenceFiles.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Async/Awaitables.h"

#include <QApplication>
#include <QFile>
#include <QPainter>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace Kivaro::SharingVerification {

using namespace std::chrono_literals;

namespace {

int layer(const QWidget *window)
{
    switch (window->windowType()) {
    case Qt::Popup:
    case Qt::ToolTip:
        return 2;
    case Qt::Tool:
        return 1;
    default:
        return 0;
    }
}

} // namespace

QList<QWidget *> shownWindows()
{
    QList<QWidget *> windows;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowHandle() && widget->windowHandle()->isExposed() && !widget->size().isEmpty())
            windows.append(widget);
    }
    std::stable_sort(windows.begin(), windows.end(), [](const QWidget *a, const QWidget *b) { return layer(a) < layer(b); });
    return windows;
}

QImage composeWindows(const QList<QWidget *> &windows)
{
    QRect bounds;
    for (const QWidget *window : windows)
        bounds |= QRect(window->mapToGlobal(QPoint(0, 0)), window->size());
    if (bounds.isEmpty())
        return QImage();
    QImage image(bounds.size() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    for (QWidget *window : windows) {
        const QPoint at = window->mapToGlobal(QPoint(0, 0)) - bounds.topLeft();
        window->render(&painter, at, QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    }
    painter.end();
    return image;
}

Platform::Task<void> captureShareMenu(QString path)
{
    co_await Platform::sleep(650ms);
    const QList<QWidget *> windows = shownWindows();
    if (windows.isEmpty())
        throw ShotError::message(QStringLiteral("分享窗口未显示"));
    const QByteArray png = VerificationSupport::encodePNG(composeWindows(windows));
    if (png.isEmpty())
        throw ShotError::message(QStringLiteral("分享菜单截图失败"));
    VerificationSupport::writeEvidence(path, png);
    std::fprintf(stdout, "SCREENSHOT: %s\n", QFile::encodeName(path).constData());
    std::fflush(stdout);
}

} // namespace Kivaro::SharingVerification
