#include "Platform/Markup/MarkupCanvas.h"

#include "Platform/Markup/MarkupRenderer.h"
#include "Platform/Markup/internal/CanvasGeometry.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace Platform {

namespace {
// Fixed colours: the canvas looks the same in light and dark appearance.
const QColor kBackdrop(232, 232, 235);
const QColor kSelection(51, 110, 240);
constexpr double kHandleRadius = 4.5; // view points
} // namespace

// What a move or resize draws again at every pointer movement is only the elements it moves:
// the others are drawn once, at the gesture's first paint, into two layers of the view's size,
// those below the first moved element and those above it. The moved elements are drawn
// between the layers, so several moved elements that had unmoved ones between them show
// together at the first one's depth until the gesture ends.
struct MarkupCanvas::Layers {
    QSize size;
    qreal devicePixelRatio = 1;
    double zoom = 1;
    QPointF origin;
    QImage below;
    QImage above;
};

struct MarkupCanvas::Gesture {
    enum class Kind { None, Move, Resize } kind = Kind::None;
    int handle = -1;
    QPointF startPoint; // markup coordinates
    std::optional<Markup> before;
    bool changed = false;
    std::unique_ptr<Layers> layers;
};

MarkupCanvas::MarkupCanvas(QWidget *parent) : QWidget(parent), m_undoManager(new UndoManager(this)), m_gesture(std::make_unique<Gesture>())
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

MarkupCanvas::~MarkupCanvas() = default;

void MarkupCanvas::setMarkup(const std::optional<Markup> &markup)
{
    if (m_markup == markup)
        return;
    m_markup = markup;
    m_gesture = std::make_unique<Gesture>();
    pruneSelection();
    update();
    Q_EMIT markupChanged();
}

void MarkupCanvas::setSelection(const QList<ElementID> &selection)
{
    QList<ElementID> next;
    for (const ElementID &id : selection)
        if (!next.contains(id) && m_markup && m_markup->subelements().contains(id))
            next.append(id);
    if (next == m_selection)
        return;
    m_selection = next;
    update();
    Q_EMIT selectionChanged();
}

void MarkupCanvas::pruneSelection()
{
    setSelection(m_selection);
}

void MarkupCanvas::setZoomScale(double zoom)
{
    if (!(zoom > 0) || zoom == m_zoom)
        return;
    const QPointF centre = contentVisibleFrame().center();
    m_zoom = zoom;
    m_visibleOrigin = centre - QPointF(width() / m_zoom / 2, height() / m_zoom / 2);
    update();
    Q_EMIT contentVisibleFrameChanged();
}

QRectF MarkupCanvas::contentVisibleFrame() const
{
    return QRectF(m_visibleOrigin, QSizeF(width() / m_zoom, height() / m_zoom));
}

void MarkupCanvas::setContentVisibleFrame(const QRectF &frame)
{
    if (!(frame.width() > 0) || !(frame.height() > 0) || width() <= 0 || height() <= 0)
        return;
    m_zoom = qMin(width() / frame.width(), height() / frame.height());
    m_visibleOrigin = frame.center() - QPointF(width() / m_zoom / 2, height() / m_zoom / 2);
    update();
    Q_EMIT contentVisibleFrameChanged();
}

void MarkupCanvas::setDrawsBackdrop(bool draws)
{
    m_drawsBackdrop = draws;
    setAttribute(Qt::WA_OpaquePaintEvent, draws);
    update();
}

void MarkupCanvas::setEditable(bool editable)
{
    m_editable = editable;
    if (!editable)
        m_gesture = std::make_unique<Gesture>();
}

QPointF MarkupCanvas::markupPoint(const QPointF &viewPoint) const
{
    return viewPoint / m_zoom + m_visibleOrigin;
}

QPointF MarkupCanvas::viewPoint(const QPointF &markupPoint) const
{
    return (markupPoint - m_visibleOrigin) * m_zoom;
}

const MarkupElement *MarkupCanvas::topElementAt(const QPointF &point) const
{
    if (!m_markup)
        return nullptr;
    const auto &elements = m_markup->subelements().elements();
    // Thin shapes (lines, strokes) are hard to hit exactly: allow a few view points around them.
    const double slop = 4 / m_zoom;
    for (auto it = elements.crbegin(); it != elements.crend(); ++it) {
        if (!it->allowedInteractions().testFlag(MarkupInteraction::Select))
            continue;
        const QPainterPath outline = elementOutline(*it);
        if (outline.contains(point) || outline.intersects(QRectF(point - QPointF(slop, slop), QSizeF(2 * slop, 2 * slop))))
            return &*it;
    }
    return nullptr;
}

int MarkupCanvas::handleAt(const QPointF &view) const
{
    if (!m_markup || m_selection.size() != 1)
        return -1;
    const MarkupElement *element = m_markup->subelements().element(m_selection.first());
    if (!element || !element->allowedInteractions().testFlag(MarkupInteraction::Resize) || element->rotation() != 0)
        return -1;
    const auto handles = CanvasGeometry::handlePositions(element->frame());
    for (int k = 0; k < CanvasGeometry::kHandleCount; ++k) {
        const QPointF d = viewPoint(handles[size_t(k)]) - view;
        if (d.x() * d.x() + d.y() * d.y() <= (kHandleRadius + 2) * (kHandleRadius + 2))
            return k;
    }
    return -1;
}

void MarkupCanvas::pressAt(const QPointF &view, Qt::KeyboardModifiers modifiers)
{
    m_gesture = std::make_unique<Gesture>();
    if (!m_editable || !m_markup)
        return;
    const QPointF point = markupPoint(view);
    m_gesture->startPoint = point;
    m_gesture->before = m_markup;
    if (const int handle = handleAt(view); handle >= 0) {
        m_gesture->kind = Gesture::Kind::Resize;
        m_gesture->handle = handle;
        return;
    }
    const MarkupElement *hit = topElementAt(point);
    if (!hit) {
        if (!modifiers.testFlag(Qt::ShiftModifier))
            setSelection({});
        return;
    }
    const ElementID id = hit->elementID();
    if (modifiers.testFlag(Qt::ShiftModifier)) {
        QList<ElementID> next = m_selection;
        if (!next.removeOne(id))
            next.append(id);
        setSelection(next);
        return;
    }
    if (!m_selection.contains(id))
        setSelection({id});
    m_gesture->kind = Gesture::Kind::Move;
}

void MarkupCanvas::dragTo(const QPointF &view)
{
    if (!m_markup || !m_gesture->before || m_gesture->kind == Gesture::Kind::None)
        return;
    const QPointF delta = markupPoint(view) - m_gesture->startPoint;
    Markup next = *m_gesture->before;
    for (const ElementID &id : std::as_const(m_selection)) {
        const MarkupElement *original = m_gesture->before->subelements().element(id);
        if (!original)
            continue;
        MarkupElement element = *original;
        if (m_gesture->kind == Gesture::Kind::Move) {
            if (!element.allowedInteractions().testFlag(MarkupInteraction::Move))
                continue;
            element.setFrame(element.frame().translated(delta));
        } else {
            if (!element.allowedInteractions().testFlag(MarkupInteraction::Resize))
                continue;
            element.setFrame(CanvasGeometry::resizedFrame(element.frame(), m_gesture->handle, delta));
        }
        next.subelements().updateOrAppend(element);
    }
    if (next == *m_markup)
        return;
    m_markup = next;
    m_gesture->changed = true;
    update();
}

void MarkupCanvas::releaseAt(const QPointF &view)
{
    dragTo(view);
    const auto gesture = std::move(m_gesture);
    m_gesture = std::make_unique<Gesture>();
    if (gesture->changed)
        commitEdit(gesture->before);
}

void MarkupCanvas::deleteSelection()
{
    if (!m_editable || !m_markup)
        return;
    Markup next = *m_markup;
    for (const ElementID &id : std::as_const(m_selection)) {
        const MarkupElement *element = next.subelements().element(id);
        if (element && element->allowedInteractions().testFlag(MarkupInteraction::Delete))
            next.subelements().removeElement(id);
    }
    if (next == *m_markup)
        return;
    const std::optional<Markup> before = m_markup;
    m_markup = next;
    pruneSelection();
    commitEdit(before);
}

// Records the user's edit as one undo step; undoing it registers the way back as its redo.
void MarkupCanvas::commitEdit(const std::optional<Markup> &before)
{
    m_undoManager->registerUndo([this, before] { restore(before); }, this);
    update();
    Q_EMIT markupChanged();
}

void MarkupCanvas::restore(const std::optional<Markup> &markup)
{
    const std::optional<Markup> current = m_markup;
    m_undoManager->registerUndo([this, current] { restore(current); }, this);
    setMarkup(markup);
}

void MarkupCanvas::toMarkupSpace(QPainter &painter) const
{
    painter.scale(m_zoom, m_zoom);
    painter.translate(-m_visibleOrigin);
    painter.setClipRect(m_markup->bounds());
}

const MarkupCanvas::Layers &MarkupCanvas::gestureLayers()
{
    const qreal dpr = devicePixelRatioF();
    std::unique_ptr<Layers> &layers = m_gesture->layers;
    if (layers && layers->size == size() && layers->devicePixelRatio == dpr && layers->zoom == m_zoom && layers->origin == m_visibleOrigin)
        return *layers;
    layers = std::make_unique<Layers>(Layers{size(), dpr, m_zoom, m_visibleOrigin, {}, {}});
    const Markup &before = *m_gesture->before;
    Markup below(before.bounds()), above(before.bounds());
    below.setBackgroundColor(before.backgroundColor());
    above.setBackgroundColor(Qt::transparent);
    bool reachedMoved = false;
    for (const MarkupElement &element : before.subelements()) {
        const bool moved = m_selection.contains(element.elementID());
        reachedMoved = reachedMoved || moved;
        if (!moved)
            (reachedMoved ? above : below).subelements().append(element);
    }
    for (auto [layer, markup] : {std::pair{&layers->below, &below}, std::pair{&layers->above, &above}}) {
        *layer = QImage(size() * dpr, QImage::Format_ARGB32_Premultiplied);
        layer->setDevicePixelRatio(dpr);
        layer->fill(Qt::transparent);
        QPainter painter(layer);
        toMarkupSpace(painter);
        drawMarkup(painter, *markup);
    }
    return *layers;
}

void MarkupCanvas::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_drawsBackdrop)
        painter.fillRect(rect(), kBackdrop);
    if (!m_markup)
        return;
    if (m_gesture->kind != Gesture::Kind::None && m_gesture->before && !m_selection.isEmpty()) {
        const Layers &layers = gestureLayers();
        painter.drawImage(QPointF(0, 0), layers.below);
        painter.save();
        toMarkupSpace(painter);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setRenderHint(QPainter::TextAntialiasing);
        for (const MarkupElement &element : m_markup->subelements())
            if (m_selection.contains(element.elementID()))
                drawElement(painter, element);
        painter.restore();
        painter.drawImage(QPointF(0, 0), layers.above);
    } else {
        painter.save();
        toMarkupSpace(painter);
        drawMarkup(painter, *m_markup);
        painter.restore();
    }

    painter.setRenderHint(QPainter::Antialiasing);
    for (const ElementID &id : std::as_const(m_selection)) {
        const MarkupElement *element = m_markup->subelements().element(id);
        if (!element)
            continue;
        QTransform toView;
        toView.scale(m_zoom, m_zoom);
        toView.translate(-m_visibleOrigin.x(), -m_visibleOrigin.y());
        painter.setPen(QPen(kSelection, 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(toView.map(elementOutline(*element)));
        if (m_selection.size() != 1 || !element->allowedInteractions().testFlag(MarkupInteraction::Resize) || element->rotation() != 0)
            continue;
        painter.setBrush(Qt::white);
        for (const QPointF &handle : CanvasGeometry::handlePositions(element->frame()))
            painter.drawEllipse(viewPoint(handle), kHandleRadius, kHandleRadius);
    }
}

void MarkupCanvas::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Q_EMIT contentVisibleFrameChanged();
}

void MarkupCanvas::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        pressAt(event->position(), event->modifiers());
}

void MarkupCanvas::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons().testFlag(Qt::LeftButton))
        dragTo(event->position());
}

void MarkupCanvas::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        releaseAt(event->position());
}

void MarkupCanvas::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) {
        deleteSelection();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace Platform
