#include "Kivaro/shell/capture/CaptureSelectionView.h"
#include "Kivaro/shell/capture/internal/ModifierKeys.h"

#include "Kivaro/shell/capture/CaptureSelectionFeedback.h"
#include "Kivaro/shell/capture/CaptureSelectionFooter.h"
#include "KivaroCore/Geometry.h"
#include "KivaroCore/Localization.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeDrawing.h"
#include "Platform/Keys/KeyTable.h"

#include <QCursor>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace Kivaro {

using namespace NativeAppAppearance;
namespace Feedback = CaptureSelectionFeedback;

namespace {

bool isEmpty(const QRectF &rect)
{
    return !(rect.width() > 0 && rect.height() > 0);
}

QPointF cursorLocation()
{
    return Platform::ScreenCoordinates::fromQtScreens().toModel(QPointF(QCursor::pos()));
}


std::uint32_t keyCodeOf(const QKeyEvent &event)
{
    const Platform::KeyInfo *key = Platform::Keys::fromEvent(event);
    return key ? key->keyCode : 0xffffffffu;
}

} // namespace

CaptureSelectionView::CaptureSelectionView(QImage image, QRectF screenFrame, QList<CaptureWindowTarget> targets,
                                           CaptureSelectionMode preferred, bool optionHeld, PointerLocation pointerLocation,
                                           QWidget *parent)
    : QWidget(parent), m_image(std::move(image)), m_screenFrame(screenFrame), m_targets(std::move(targets)), m_preferred(preferred),
      m_footer(new CaptureSelectionFooter(this)), m_optionHeld(optionHeld),
      m_pointerLocation(pointerLocation ? std::move(pointerLocation) : PointerLocation(cursorLocation))
{
    setGeometry(0, 0, int(screenFrame.width()), int(screenFrame.height()));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    QPointer<CaptureSelectionView> self(this);
    m_footer->cancel = [self] {
        if (self && self->cancel)
            self->cancel();
    };
    updateFooter();
    updateCursor();
    updateSelection(m_pointerLocation());
}

CaptureSelectionView::~CaptureSelectionView() = default;

CaptureSelectionMode CaptureSelectionView::effectiveMode() const
{
    return CaptureSelectionModes::effective(m_preferred, m_optionHeld);
}

QRectF CaptureSelectionView::bounds() const
{
    return QRectF(0, 0, m_screenFrame.width(), m_screenFrame.height());
}

QSizeF CaptureSelectionView::measuredPixelSize() const
{
    QSizeF measured = m_selection.size();
    if (effectiveMode() == CaptureSelectionMode::window && m_selectedWindow) {
        // The whole window, also where it runs off this screen.
        for (const CaptureWindowTarget &target : m_targets)
            if (target.window.windowID == m_selectedWindow->windowID) {
                measured = target.frame.size();
                break;
            }
    }
    const QRectF b = bounds();
    if (b.isEmpty())
        return {};
    return QSizeF(measured.width() * m_image.width() / b.width(), measured.height() * m_image.height() / b.height());
}

QPointF CaptureSelectionView::viewPoint(QPointF widgetPosition) const
{
    return QPointF(widgetPosition.x(), m_screenFrame.height() - widgetPosition.y());
}

QPointF CaptureSelectionView::widgetPoint(QPointF viewPoint) const
{
    return QPointF(viewPoint.x(), m_screenFrame.height() - viewPoint.y());
}

QPointF CaptureSelectionView::globalPoint(const QMouseEvent &event) const
{
    return viewPoint(event.position()) + m_screenFrame.topLeft();
}

void CaptureSelectionView::routePointer(QPointF global)
{
    if (pointerMoved)
        pointerMoved(global);
    else
        updateSelection(global);
}

void CaptureSelectionView::updateSelection(QPointF global)
{
    const bool onScreen = Geometry::contains(m_screenFrame, global);
    m_pointer = onScreen ? std::optional<QPointF>(global - m_screenFrame.topLeft()) : std::nullopt;
    if (effectiveMode() == CaptureSelectionMode::region) {
        refresh();
        return;
    }
    // The window under the pointer, on whichever screen the pointer is: each screen highlights
    // the part of it that it shows, so a window across two monitors is highlighted whole.
    const CaptureWindowTarget *hit = nullptr;
    for (const CaptureWindowTarget &target : m_targets)
        if (Geometry::contains(target.frame, global)) {
            hit = &target;
            break;
        }
    const QRectF part = hit ? hit->frame.translated(-m_screenFrame.topLeft()).intersected(bounds()) : QRectF();
    if (hit && !isEmpty(part)) {
        m_selectedWindow = hit->window;
        m_selection = part;
    } else {
        m_selectedWindow.reset();
        m_selection = QRectF();
    }
    refresh();
}

void CaptureSelectionView::setOption(bool held)
{
    if (held == m_optionHeld)
        return;
    m_optionHeld = held;
    m_gesture.reset();
    m_pointerDown = false;
    m_spaceHeld = false;
    m_selection = QRectF();
    m_selectedWindow.reset();
    updateSelection(m_pointerLocation());
    updateFooter();
    updateCursor();
}

void CaptureSelectionView::updateFooter()
{
    QString caption;
    if (effectiveMode() == CaptureSelectionMode::window)
        caption = kivaroFormat("%@   ·   按住 Alt 切换为%@   ·   Esc 取消", CaptureSelectionModes::title(CaptureSelectionMode::window),
                               CaptureSelectionModes::title(CaptureSelectionMode::region));
    else
        caption = kivaroCopy("拖动选区 · 空格移动 · Shift 正方形 · ⌥ 选窗口 · Esc 取消");
    m_footer->setCaption(caption);
    const double viewWidth = m_screenFrame.width();
    const double captionWidth = NativeDrawing::textWidth(caption, CaptureSelectionFooter::captionFont());
    const double w = std::min(captionWidth + 158, viewWidth - 24);
    // (x, 24, w, 48) with y up: 24 points above the bottom edge.
    m_footer->setGeometry(QRectF((viewWidth - w) * 0.5, m_screenFrame.height() - 24 - 48, w, 48).toRect());
}

void CaptureSelectionView::updateRegion(std::optional<QPointF> point)
{
    if (effectiveMode() != CaptureSelectionMode::region || !point || !m_gesture)
        return;
    m_gesture->update(*point, m_shiftHeld, m_spaceHeld);
    m_selection = m_gesture->rect();
    refresh();
}

void CaptureSelectionView::mouseDown(const QMouseEvent &event)
{
    m_pointerDown = true;
    if (effectiveMode() == CaptureSelectionMode::window) {
        routePointer(globalPoint(event));
    } else {
        const QPointF q = viewPoint(event.position());
        m_pointer = q;
        m_gesture.emplace(q, bounds());
        m_selection = QRectF();
    }
    refresh();
}

void CaptureSelectionView::mouseDragged(const QMouseEvent &event)
{
    if (effectiveMode() == CaptureSelectionMode::region) {
        m_pointer = viewPoint(event.position());
        m_shiftHeld = event.modifiers().testFlag(Qt::ShiftModifier);
        updateRegion(m_pointer);
        refresh(); // the magnifier follows the pointer even without a gesture
    } else {
        routePointer(globalPoint(event));
    }
}

void CaptureSelectionView::mouseUp(const QMouseEvent &event)
{
    if (!m_pointerDown)
        return;
    m_pointerDown = false;
    const CaptureSelectionMode mode = effectiveMode();
    if (mode == CaptureSelectionMode::window)
        routePointer(globalPoint(event));
    else
        mouseDragged(event);
    m_gesture.reset();
    m_spaceHeld = false;
    updateCursor();
    if (m_selection.width() >= 4 && m_selection.height() >= 4 && finish)
        finish(m_selection, mode == CaptureSelectionMode::window ? m_selectedWindow : std::nullopt);
}

void CaptureSelectionView::mouseMoved(const QMouseEvent &event)
{
    routePointer(globalPoint(event));
}

void CaptureSelectionView::mouseExited()
{
    m_pointer.reset();
    if (effectiveMode() == CaptureSelectionMode::window) {
        m_selectedWindow.reset();
        m_selection = QRectF();
    }
    refresh();
}

bool CaptureSelectionView::keyDown(const QKeyEvent &event)
{
    const std::uint32_t code = keyCodeOf(event);
    if (code == Platform::Keys::escape) {
        if (cancel)
            cancel();
        return true;
    }
    if (code == Platform::Keys::space && effectiveMode() == CaptureSelectionMode::region) {
        m_spaceHeld = true;
        updateCursor();
        return true;
    }
    return false;
}

bool CaptureSelectionView::keyUp(const QKeyEvent &event)
{
    if (keyCodeOf(event) != Platform::Keys::space)
        return false;
    m_spaceHeld = false;
    updateCursor();
    return true;
}

void CaptureSelectionView::flagsChanged(Qt::KeyboardModifiers modifiers)
{
    setOption(modifiers.testFlag(Qt::AltModifier));
    m_shiftHeld = modifiers.testFlag(Qt::ShiftModifier);
    updateRegion(m_pointer);
}

void CaptureSelectionView::cancelOperation()
{
    if (cancel)
        cancel();
}

void CaptureSelectionView::updateCursor()
{
    if (effectiveMode() == CaptureSelectionMode::window)
        setCursor(Qt::ArrowCursor);
    else
        setCursor(m_spaceHeld ? Qt::ClosedHandCursor : Qt::CrossCursor);
}

void CaptureSelectionView::refresh()
{
    // Only what changed is repainted: the union of what the last paint decorated and what the
    // next one will (selection edges, label, magnifier). A full-screen repaint per pointer move
    // would cost a frame at 4K.
    const QList<QRectF> next =
        Feedback::paintedAreas(bounds(), m_selection, m_pointer, measuredPixelSize(), effectiveMode() == CaptureSelectionMode::region);
    QRegion dirty;
    for (const QRectF &rect : std::as_const(m_painted))
        dirty += rect.toAlignedRect();
    for (const QRectF &rect : next)
        dirty += rect.toAlignedRect();
    m_painted = next;
    if (!dirty.isEmpty())
        update(dirty);
}

void CaptureSelectionView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QRectF b = bounds();
    const double h = b.height();
    const QRect exposed = event->rect();
    painter.fillRect(exposed, Qt::black);
    if (!m_image.isNull() && !b.isEmpty()) {
        const double sx = m_image.width() / b.width();
        const double sy = m_image.height() / b.height();
        painter.drawImage(QRectF(exposed), m_image, QRectF(exposed.x() * sx, exposed.y() * sy, exposed.width() * sx, exposed.height() * sy));
    }

    QPainterPath veil;
    veil.setFillRule(Qt::OddEvenFill);
    veil.addRect(QRectF(0, 0, b.width(), h));
    if (!isEmpty(m_selection))
        veil.addRect(Feedback::toWidget(m_selection, h));
    painter.fillPath(veil, QColor::fromRgbF(0, 0, 0, 0.36f));

    const Appearance appearance = AppearanceManager::shared().effectiveAppearance(this);
    if (!isEmpty(m_selection)) {
        painter.setPen(QPen(resolve(DynamicColor::controlAccent, appearance), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(Feedback::toWidget(Geometry::insetBy(m_selection, 1, 1), h));
    }
    const double scale = b.width() > 0 ? m_image.width() / b.width() : 1.0;
    Feedback::draw(painter, m_image, b, m_selection, m_pointer, measuredPixelSize(), scale,
                   effectiveMode() == CaptureSelectionMode::region, appearance);
}

void CaptureSelectionView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    updateFooter();
}

void CaptureSelectionView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        mouseDown(*event);
}

void CaptureSelectionView::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons().testFlag(Qt::LeftButton))
        mouseDragged(*event);
    else
        mouseMoved(*event);
}

void CaptureSelectionView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        mouseUp(*event);
}

void CaptureSelectionView::enterEvent(QEnterEvent *event)
{
    const QMouseEvent move(QEvent::MouseMove, event->position(), event->globalPosition(), Qt::NoButton, Qt::NoButton,
                           event->modifiers());
    mouseEntered(move);
}

void CaptureSelectionView::leaveEvent(QEvent *)
{
    mouseExited();
}

void CaptureSelectionView::keyPressEvent(QKeyEvent *event)
{
    if (detail::isModifierKey(event->key()))
        flagsChanged(event->modifiers());
    else if (keyDown(*event))
        return;
    QWidget::keyPressEvent(event);
}

void CaptureSelectionView::keyReleaseEvent(QKeyEvent *event)
{
    if (detail::isModifierKey(event->key()))
        flagsChanged(event->modifiers());
    else if (keyUp(*event))
        return;
    QWidget::keyReleaseEvent(event);
}

// The surface shows no focus: QWidget's own handlers would repaint the whole screen when the
// overlay takes the keyboard, right after its first paint.
void CaptureSelectionView::focusInEvent(QFocusEvent *) {}

void CaptureSelectionView::focusOutEvent(QFocusEvent *) {}

} // namespace Kivaro
