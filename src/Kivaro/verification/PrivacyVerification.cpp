#include "Kivaro/verification/PrivacyVerification.h"

#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/CompactStatusLabel.h"
#include "Kivaro/editor/EditorController.h"
#include "Kivaro/editor/HoldOverlay.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "Kivaro/verification/RunRecords.h"
#include "Kivaro/verification/support/VerificationChecks.h"
#include "KivaroCore/ShotError.h"
#include "NativeAppAppearance/Appearance.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Markup/Markup.h"
#include "Platform/Markup/MarkupCanvas.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QPointingDevice>
#include <QWindow>

#include <chrono>
#include <cmath>
#include <cstdio>

namespace Kivaro::PrivacyVerification {

using namespace std::chrono_literals;

namespace {

using VerificationSupport::failWith;

// The platform's orange and purple as sRGB; blue from the appearance kit.
const QColor orange(255, 149, 0);
const QColor purple(175, 82, 222);

QString number(double value)
{
    QString text = QString::number(value, 'g', 15);
    if (!text.contains(u'.') && !text.contains(u'e'))
        text += QStringLiteral(".0");
    return text;
}

QImage decode(const QByteArray &png)
{
    QImage image = QImage::fromData(png, "PNG");
    if (image.isNull())
        failWith(QStringLiteral("A rendered PNG could not be decoded"));
    return image.convertToFormat(QImage::Format_ARGB32);
}

double alphaAt(const QImage &image, int x, int y)
{
    if (!image.rect().contains(x, y))
        failWith(QStringLiteral("A rendered PNG is smaller than the fixture"));
    return image.pixelColor(x, y).alphaF();
}

} // namespace

QImage fixture()
{
    QImage image(640, 420, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    const QColor blue = NativeAppAppearance::resolve(NativeAppAppearance::DynamicColor::systemBlue, NativeAppAppearance::Appearance::light);
    // Squares are counted from the bottom-left corner, as the fixture was drawn there.
    for (int y = 30; y <= 387; y += 3)
        for (int x = 30; x <= 609; x += 3)
            painter.fillRect(QRect(x, image.height() - y - 3, 3, 3), (x / 3 + y / 3) % 2 == 1 ? orange : blue);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(QRect(20, image.height() - 20 - 35, 70, 35), NativeAppAppearance::withAlpha(purple, 0.5));
    painter.end();
    return image;
}

QString frameList(const QList<QRectF> &frames)
{
    QStringList parts;
    for (const QRectF &frame : frames)
        parts.append(u'(' + number(frame.x()) + QStringLiteral(", ") + number(frame.y()) + QStringLiteral(", ")
                     + number(frame.width()) + QStringLiteral(", ") + number(frame.height()) + u')');
    return u'[' + parts.join(QStringLiteral(", ")) + u']';
}

Platform::Task<void> run(EditorController *editor)
{
    const PrototypeVerification::StandaloneRun standalone(
        QStringLiteral("Privacy verification failed: "), RunRecords::names(RunRecords::Run::privacy));
    try {
        standalone.requireFolder();
        ShotDocument *document = editor ? editor->document() : nullptr;
        if (!document || !editor->mode())
            failWith(QStringLiteral("The application has no editor to drive"));

        document->load(fixture(), true);
        editor->showEditor();
        editor->mode()->setSelectedSegment(EditorController::mosaicSegment);
        editor->updateMode();
        co_await Platform::sleep(500ms);

        const QByteArray beforePNG = co_await document->png(std::nullopt, false);
        standalone.write(QStringLiteral("before.png"), beforePNG);

        // The drag, posted to the editor window and dispatched by its own hit-testing.
        HoldOverlay *overlay = editor->overlay();
        QWidget *window = editor->view() ? editor->view()->window() : nullptr;
        QWindow *handle = window ? window->windowHandle() : nullptr;
        if (!overlay || !handle || !document->canvas() || !window->isVisible())
            failWith(QStringLiteral("The editor window is not on the screen"));
        const QRectF frame = document->canvas()->contentVisibleFrame();
        if (frame.isEmpty())
            failWith(QStringLiteral("The canvas shows no content"));
        const auto inWindow = [&](QPointF point) {
            const QPointF local((point.x() - frame.left()) / frame.width() * overlay->width(),
                                (point.y() - frame.top()) / frame.height() * overlay->height());
            return QPointF(overlay->mapTo(window, local.toPoint()));
        };
        const QPointF start = inWindow(QPointF(140, 100));
        const QPointF end = inWindow(QPointF(390, 280));
        QElapsedTimer uptime;
        uptime.start();
        const auto post = [&](QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons) {
            auto *event = new QMouseEvent(type, at, window->mapToGlobal(at), button, buttons, Qt::NoModifier);
            event->setTimestamp(quint64(uptime.elapsed()) + 1);
            QCoreApplication::postEvent(handle, event);
        };
        post(QEvent::MouseMove, start, Qt::NoButton, Qt::NoButton);
        post(QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
        post(QEvent::MouseMove, end, Qt::NoButton, Qt::LeftButton);
        post(QEvent::MouseButtonRelease, end, Qt::LeftButton, Qt::NoButton);
        QCoreApplication::sendPostedEvents(handle, 0);
        co_await Platform::sleep(500ms);
        for (int pass = 0; pass < 40; ++pass)
            if (editor->busy())
                co_await Platform::sleep(50ms);

        if (document->masks().size() != 1)
            failWith(QStringLiteral("Native mosaic drag produced no mask: ") + (editor->status() ? editor->status()->stringValue() : QString()));
        QList<QRectF> frames;
        if (const auto &markup = document->canvas()->markup())
            if (const auto *shape = markup->subelements().shape(document->masks().first()))
                frames.append(shape->frame);
        std::printf("MASK FRAMES: %s\n", frameList(frames).toUtf8().constData());
        std::fflush(stdout);

        PrototypeVerification::snapshot(editor->view(), standalone.path(QStringLiteral("privacy-editor.png")));
        const QByteArray mosaicPNG = co_await document->png(std::nullopt, false);
        standalone.write(QStringLiteral("mosaic.png"), mosaicPNG);

        const QImage before = decode(beforePNG);
        const QImage mosaic = decode(mosaicPNG);
        double difference = 0;
        for (int y = 140; y <= 235; y += 5)
            for (int x = 180; x <= 315; x += 5) {
                alphaAt(before, x, y);
                alphaAt(mosaic, x, y);
                const QColor a = before.pixelColor(x, y);
                const QColor b = mosaic.pixelColor(x, y);
                difference += std::abs(a.redF() - b.redF()) + std::abs(a.blueF() - b.blueF());
            }
        if (!(difference > 10.0))
            failWith(QStringLiteral("Mosaic did not change detailed pixels"));
        if (alphaAt(mosaic, 5, 5) != 0)
            failWith(QStringLiteral("PNG transparent border was flattened"));

        co_await document->addMask(QRectF(20.35, 360.4, 90.25, 45.2));
        const QImage overlapped = decode(co_await document->png(std::nullopt, false));
        if (!(std::abs(alphaAt(overlapped, 40, 380) - alphaAt(before, 40, 380)) < 0.02))
            failWith(QStringLiteral("Mosaic changed the original partial alpha"));

        co_await document->save(standalone.path(QStringLiteral("privacy.kivaro")));
        document->open(standalone.path(QStringLiteral("privacy.kivaro")));
        const QImage reopened = decode(co_await document->png(std::nullopt, false));
        if (alphaAt(reopened, 5, 5) != 0)
            failWith(QStringLiteral("Project round trip flattened alpha"));
    } catch (...) {
        standalone.fail(std::current_exception());
    }
    standalone.pass(QByteArray(passSummary));
}

} // namespace Kivaro::PrivacyVerification
