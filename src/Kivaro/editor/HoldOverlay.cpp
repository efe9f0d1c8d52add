#include "Kivaro/editor/HoldOverlay.h"

#include "KivaroCore/PointerTrace.h"

#include "Kivaro/document/AnnotationStyle.h"
#include "KivaroCore/LaunchArguments.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "Platform/Pointer/PointerSource.h"

#include <QDateTime>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QPainterPath>

#include <cmath>

using namespace NativeAppAppearance;

namespace Kivaro {

namespace {

constexpr int kPollInterval = 16; // ms: 1/60 s
constexpr qreal kHeadLength = 13;
constexpr qreal kStepDiameter = 32;

QRectF spanned(QPointF a, QPointF b)
{
    return QRectF(std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::abs(b.x() - a.x()), std::abs(b.y() - a.y()));
}

bool isLeft(const QMouseEvent &event)
{
    return event.button() == Qt::LeftButton;
}

} // namespace

HoldOverlay::HoldOverlay(QWidget *parent)
    : QWidget(parent),
      inkColor(AnnotationStyle::accent().isValid() ? AnnotationStyle::accent() : QColor(Qt::blue)),
      m_traceFolder(detail::PointerTrace::folder(PrototypeVerification::processArguments()))
{
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::ClickFocus);
    setActive(true);
    m_releaseTimer.setInterval(kPollInterval);
    m_releaseTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_releaseTimer, &QTimer::timeout, this, &HoldOverlay::checkHeldButton);
}

HoldOverlay::~HoldOverlay() = default;

void HoldOverlay::setActive(bool active)
{
    m_active = active;
    setAttribute(Qt::WA_TransparentForMouseEvents, !active);
    if (active)
        setCursor(Qt::CrossCursor);
    else
        unsetCursor();
}

void HoldOverlay::setPointerSource(std::shared_ptr<Platform::PointerSource> pointer)
{
    m_pointer = std::move(pointer);
}

Platform::PointerSource &HoldOverlay::pointer()
{
    if (!m_pointer)
        m_pointer = Platform::PointerSource::forPlatform();
    return *m_pointer;
}

// ---- the gesture ---------------------------------------------------------------------------

void HoldOverlay::press(QPointF p, qint64 timestamp)
{
    if (!m_active)
        return;
    setFocus(Qt::MouseFocusReason);
    // Rendered before the point is set, so no feedback of this hold is in the picture.
    m_point.reset();
    holdBackdrop();
    m_point = p;
    m_currentPoint = p;
    m_strokePoints = {p};
    m_holding = true;
    m_pressedTimestamp = timestamp;
    update(previewBounds());
    if (began)
        began(p);
    m_releaseTimer.start();
}

void HoldOverlay::dragTo(QPointF p)
{
    const QRect before = previewBounds();
    m_currentPoint = p;
    if (drawingTool == DrawingTool::pen) {
        // Only the new segment needs painting: the canvas beneath repaints just that much.
        const QPointF last = m_strokePoints.isEmpty() ? p : m_strokePoints.last();
        m_strokePoints.append(p);
        const qreal reach = inkWidth / 2 + 2;
        update(QRectF(last, p).normalized().adjusted(-reach, -reach, reach, reach).toAlignedRect());
        return;
    }
    update(before.united(previewBounds()));
}

QRect HoldOverlay::previewBounds() const
{
    if (!m_point)
        return {};
    const QPointF p = *m_point;
    const QPointF c = m_currentPoint.value_or(p);
    QRectF area = QRectF(p, c).normalized();
    if (drawingTool == DrawingTool::pen)
        for (const QPointF &point : m_strokePoints)
            area = area.united(QRectF(point, QSizeF(0, 0)));
    // The arrow's head, the step's disc, the voice point's halo, and the pen's width.
    const qreal reach = std::max({inkWidth / 2, kHeadLength, kStepDiameter / 2, 19.0}) + 2;
    return area.adjusted(-reach, -reach, reach, reach).toAlignedRect();
}

void HoldOverlay::release(QPointF p, qint64 timestamp)
{
    if (!m_holding)
        return;
    if (m_pressedTimestamp && *m_pressedTimestamp == timestamp && (pointer().pressedButtons() & Qt::LeftButton))
        return;
    finish(p);
}

void HoldOverlay::checkHeldButton()
{
    if (!m_holding || !window()) {
        m_releaseTimer.stop();
        return;
    }
    Platform::PointerSource &source = pointer();
    const QPointF at = mapFromGlobal(QPointF(source.location()));
    if (at != m_currentPoint) {
        const QRect before = previewBounds();
        m_currentPoint = at;
        // A pen stroke is drawn from its points, not from the pointer.
        if (drawingTool != DrawingTool::pen)
            update(before.united(previewBounds()));
    }
    if (!(source.pressedButtons() & Qt::LeftButton))
        finish(*m_currentPoint);
}

void HoldOverlay::finish(QPointF r)
{
    if (!m_holding)
        return;
    m_holding = false;
    m_pressedTimestamp.reset();
    m_releaseTimer.stop();
    dropBackdrop();
    update(previewBounds());
    const QPointF start = m_point.value_or(r);
    if (drawingTool == DrawingTool::pen) {
        m_strokePoints.append(r);
        if (completedFreehand)
            completedFreehand(m_strokePoints);
    } else if (drawingTool) {
        if (completedDrag)
            completedDrag(start, r);
    } else if (rectangleMode) {
        if (completedRectangle)
            completedRectangle(spanned(start, r));
    } else if (ended) {
        ended();
    }
    m_point.reset();
    m_currentPoint.reset();
}

void HoldOverlay::cancel()
{
    m_holding = false;
    m_pressedTimestamp.reset();
    m_releaseTimer.stop();
    dropBackdrop();
    update(previewBounds());
    m_point.reset();
    m_currentPoint.reset();
    if (cancelled)
        cancelled();
}

// While a hold lasts nothing beneath the overlay changes: the canvas and its surround are
// rendered once at the press and the overlay paints that picture itself, so a pointer move
// repaints a few pixels of one widget instead of the whole markup (hundreds of elements and a
// scaled screenshot) under the moved segment.
void HoldOverlay::holdBackdrop()
{
    QWidget *below = parentWidget();
    if (!below || !isVisible() || size().isEmpty())
        return;
    setAttribute(Qt::WA_NoSystemBackground, true);
    m_backdrop = below->grab(geometry());
    setAttribute(Qt::WA_OpaquePaintEvent, !m_backdrop.isNull());
}

void HoldOverlay::dropBackdrop()
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    m_backdrop = QPixmap();
}

// ---- events --------------------------------------------------------------------------------

void HoldOverlay::trace(const QMouseEvent &event, int type)
{
    if (!m_traceFolder)
        return;
    const double received = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    // The held-buttons mask: bit 0 primary, bit 1 secondary, bit 2 middle.
    const Qt::MouseButtons held = pointer().pressedButtons();
    const int buttons = (held & Qt::LeftButton ? 1 : 0) | (held & Qt::RightButton ? 2 : 0) | (held & Qt::MiddleButton ? 4 : 0);
    // X does not say which client sent an event.
    detail::PointerTrace::append(*m_traceFolder, detail::PointerTrace::line(type, received, double(event.timestamp()) / 1000.0, buttons, -1));
}

void HoldOverlay::mousePressEvent(QMouseEvent *event)
{
    trace(*event, 1);
    if (!m_active || !isLeft(*event))
        return;
    press(event->position(), qint64(event->timestamp()));
}

void HoldOverlay::mouseMoveEvent(QMouseEvent *event)
{
    if (m_holding)
        dragTo(event->position());
}

void HoldOverlay::mouseReleaseEvent(QMouseEvent *event)
{
    trace(*event, 2);
    if (isLeft(*event))
        release(event->position(), qint64(event->timestamp()));
}

void HoldOverlay::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        cancel();
        return;
    }
    QWidget::keyPressEvent(event);
}

// ---- live feedback -------------------------------------------------------------------------

void HoldOverlay::paintEvent(QPaintEvent *event)
{
    if (!m_point)
        return;
    QPainter painter(this);
    if (!m_backdrop.isNull()) {
        const QRect area = event->rect();
        const qreal ratio = m_backdrop.devicePixelRatio();
        painter.drawPixmap(area, m_backdrop, QRectF(QPointF(area.topLeft()) * ratio, QSizeF(area.size()) * ratio).toRect());
    }
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF p = *m_point;
    const QPointF c = m_currentPoint.value_or(p);
    const QPen ink(inkColor, inkWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    const Appearance appearance = AppearanceManager::shared().effectiveAppearance(this);

    if (drawingTool == DrawingTool::pen) {
        // Only the segments that cross the repainted area: a long stroke costs no more per
        // move than a short one.
        const QRectF area = QRectF(event->rect()).adjusted(-inkWidth, -inkWidth, inkWidth, inkWidth);
        QPainterPath path;
        QPointF from = p;
        bool open = false;
        for (qsizetype i = 1; i < m_strokePoints.size(); ++i) {
            const QPointF to = m_strokePoints[i];
            if (QRectF(from, to).normalized().intersects(area) || area.contains(to)) {
                if (!open)
                    path.moveTo(from);
                path.lineTo(to);
                open = true;
            } else {
                open = false;
            }
            from = to;
        }
        if (m_strokePoints.size() == 1)
            path.addEllipse(p, 0.01, 0.01);
        painter.strokePath(path, ink);
        return;
    }
    if (drawingTool) {
        painter.setPen(ink);
        painter.setBrush(Qt::NoBrush);
        switch (*drawingTool) {
        case DrawingTool::arrow: {
            const qreal theta = std::atan2(c.y() - p.y(), c.x() - p.x());
            QPainterPath path(p);
            path.lineTo(c);
            for (const qreal side : {-M_PI / 6, M_PI / 6}) {
                path.moveTo(c);
                path.lineTo(c - kHeadLength * QPointF(std::cos(theta + side), std::sin(theta + side)));
            }
            painter.strokePath(path, ink);
            break;
        }
        case DrawingTool::line:
            painter.drawLine(p, c);
            break;
        case DrawingTool::rectangle:
            painter.drawRect(spanned(p, c));
            break;
        case DrawingTool::ellipse:
            painter.drawEllipse(spanned(p, c));
            break;
        case DrawingTool::step:
            painter.setPen(Qt::NoPen);
            painter.setBrush(AnnotationStyle::accent());
            painter.drawEllipse(c, kStepDiameter / 2, kStepDiameter / 2);
            break;
        case DrawingTool::pen:
            break;
        }
        return;
    }
    painter.setPen(Qt::NoPen);
    if (rectangleMode) {
        painter.fillRect(spanned(p, c), withAlpha(resolve(DynamicColor::controlAccent, appearance), 0.18));
        return;
    }
    const QColor red = resolve(DynamicColor::systemRed, appearance);
    painter.setBrush(withAlpha(red, 0.18));
    painter.drawEllipse(p, 19, 19);
    painter.setBrush(red);
    painter.drawEllipse(p, 5, 5);
}

} // namespace Kivaro
