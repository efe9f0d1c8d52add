#include "Kivaro/editor/LinkedBubbleInteraction.h"

#include "Kivaro/editor/HoldOverlay.h"

#include "Kivaro/document/LinkedAnnotations.h"
#include "Kivaro/document/ShotDocument.h"
#include "KivaroCore/AnnotationPlacement.h"
#include "KivaroCore/Localization.h"

#include <QKeyEvent>
#include <QLineF>
#include <QMouseEvent>

#include <utility>

namespace Kivaro {

using namespace Platform;

namespace {
constexpr qreal kCornerReach = 8.0;
} // namespace

LinkedBubbleInteraction::LinkedBubbleInteraction(ShotDocument *document, HoldOverlay *overlay, std::function<bool()> enabled,
                                                 std::function<void(const AnnotationLink &)> edit, std::function<void()> moved,
                                                 QObject *parent)
    : QObject(parent), m_document(document), m_overlay(overlay), m_enabled(std::move(enabled)), m_edit(std::move(edit)),
      m_moved(std::move(moved)), m_canvas(document ? document->canvas() : nullptr)
{
    if (m_canvas)
        m_canvas->installEventFilter(this);
}

LinkedBubbleInteraction::~LinkedBubbleInteraction()
{
    if (m_canvas)
        m_canvas->removeEventFilter(this);
}

std::optional<QPointF> LinkedBubbleInteraction::imagePoint(const QMouseEvent &event) const
{
    if (!m_overlay || !m_document)
        return std::nullopt;
    const QPointF local = m_overlay->mapFromGlobal(event.globalPosition());
    return AnnotationPlacement::imagePoint(local, m_overlay->size(), m_document->canvas()->contentVisibleFrame());
}

bool LinkedBubbleInteraction::cancelDrag()
{
    if (!m_drag)
        return false;
    if (m_document)
        m_document->applyGesture(m_drag->state);
    m_drag.reset();
    return true;
}

bool LinkedBubbleInteraction::pressAt(QPointF p, int clickCount)
{
    if (!m_document)
        return false;
    const Markup markup = m_document->markup();
    const MarkupOrderedSet &elements = markup.subelements();
    for (const MarkupID<ShapeElement> &mask : m_document->masks()) {
        if (const ShapeElement *shape = elements.shape(mask); shape && shape->frame.contains(p))
            return false;
    }
    const QList<AnnotationLink> &links = m_document->links();
    for (qsizetype i = links.size() - 1; i >= 0; --i) {
        const AnnotationLink link = links[i];
        const ShapeElement *bubble = elements.shape(link.bubbleID);
        if (!bubble || !bubble->frame.contains(p))
            continue;
        MarkupCanvas *canvas = m_document->canvas();
        const ElementID id = ElementID::shape(link.bubbleID);
        if (canvas->selection().contains(id) && clickCount == 1) {
            const QRectF f = bubble->frame;
            for (const QPointF corner : {f.topLeft(), f.topRight(), f.bottomLeft(), f.bottomRight()})
                if (QLineF(p, corner).length() < kCornerReach)
                    return false;
        }
        canvas->setSelection({id});
        if (clickCount == 2) {
            m_drag.reset();
            if (m_edit)
                m_edit(link);
            return true;
        }
        m_drag = Drag{link, p, bubble->frame, m_document->state()};
        return true;
    }
    return false;
}

bool LinkedBubbleInteraction::dragTo(QPointF p)
{
    if (!m_drag || !m_document)
        return false;
    ShotState next = m_document->state();
    const ShapeElement *found = next.markup.subelements().shape(m_drag->link.bubbleID);
    if (!found)
        return false;
    ShapeElement bubble = *found;
    const QRectF b = next.markup.bounds();
    const QRectF &from = m_drag->frame;
    const qreal x = std::max(b.left(), std::min(from.left() + p.x() - m_drag->point.x(), b.right() - from.width()));
    const qreal y = std::max(b.top(), std::min(from.top() + p.y() - m_drag->point.y(), b.bottom() - from.height()));
    bubble.frame.moveTopLeft(QPointF(x, y));
    next.markup.subelements().updateOrAppend(bubble);
    m_document->applyGesture(LinkedAnnotations::reconcile(next));
    if (m_moved)
        m_moved();
    m_document->canvas()->setSelection({ElementID::shape(bubble.id)});
    return true;
}

bool LinkedBubbleInteraction::releaseAt()
{
    if (!m_drag)
        return false;
    const Drag drag = *std::exchange(m_drag, std::nullopt);
    if (m_document && !(m_document->state() == drag.state)) {
        try {
            m_document->replace(m_document->state(), drag.state, kivaroCopy("移动标注"));
        } catch (...) {
            // A move the shot could no longer save goes back, and says why.
            m_document->applyGesture(drag.state);
            if (refused)
                refused(std::current_exception());
        }
    }
    return true;
}

bool LinkedBubbleInteraction::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    const bool mouse = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick || type == QEvent::MouseMove ||
                       type == QEvent::MouseButtonRelease;
    const bool key = type == QEvent::KeyPress || type == QEvent::ShortcutOverride;
    if (!mouse && !key)
        return false;
    if (watched != m_canvas || !m_enabled || !m_enabled() || !m_overlay)
        return false;

    if (key) {
        if (static_cast<QKeyEvent *>(event)->key() != Qt::Key_Escape || !m_drag)
            return false;
        // Taking the override keeps the window's Esc shortcut from running as well.
        event->accept();
        if (type == QEvent::KeyPress)
            cancelDrag();
        return true;
    }

    auto *mouseEvent = static_cast<QMouseEvent *>(event);
    const std::optional<QPointF> p = imagePoint(*mouseEvent);
    if (!p)
        return false;
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
        if (mouseEvent->button() != Qt::LeftButton)
            return false;
        return pressAt(*p, type == QEvent::MouseButtonDblClick ? 2 : 1);
    }
    if (!m_drag)
        return false;
    if (type == QEvent::MouseMove)
        return (mouseEvent->buttons() & Qt::LeftButton) ? dragTo(*p) : false;
    if (mouseEvent->button() != Qt::LeftButton)
        return false;
    return releaseAt();
}

} // namespace Kivaro
