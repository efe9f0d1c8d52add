#pragma once
// Dragging a linked bubble by its body with its arrow following live, a double click to edit
// its text, and Esc during a drag to put it back. An event filter on the canvas itself sees its
// mouse and key events before the canvas does, swallows the ones it uses and passes every other
// event on: corner handles of an already selected bubble, privacy masks and everything outside
// bubbles stay with the canvas. The canvas gets presses only while the hold overlay above it is
// inactive, so the two gestures never compete for one press; an Esc that goes to the window's
// shortcut instead (the focus elsewhere) reaches cancelDrag() through the editor.
//
// Only while `enabled()` (the editor idle in select-and-edit with no tool armed and no arrow
// being re-pointed). The drag shows each position with `applyGesture` and commits once, at the
// release, as one undo step "移动标注" when anything moved; Esc restores the state of the
// press without an undo step. Image points are markup coordinates. Main thread only.

#include "Kivaro/document/AnnotationLink.h"
#include "Kivaro/document/ShotState.h"

#include <QObject>
#include <QPointer>
#include <QRectF>

#include <exception>
#include <functional>
#include <optional>

class QMouseEvent;

namespace Kivaro {

class HoldOverlay;
class ShotDocument;

class LinkedBubbleInteraction final : public QObject {
    Q_OBJECT
public:
    LinkedBubbleInteraction(ShotDocument *document, HoldOverlay *overlay, std::function<bool()> enabled,
                            std::function<void(const AnnotationLink &)> edit, std::function<void()> moved, QObject *parent = nullptr);
    ~LinkedBubbleInteraction() override;

    struct Drag {
        AnnotationLink link;
        QPointF point; // the image point of the press
        QRectF frame;  // the bubble's frame at the press
        ShotState state;
    };
    const std::optional<Drag> &drag() const { return m_drag; }

    // The document refused the finished move (ShotDocument::replace): the bubble is back where
    // the drag began; this reports why.
    std::function<void(std::exception_ptr)> refused;

    // Ends a drag in progress by putting it back (what Esc does); false when none was.
    bool cancelDrag();

    // What the filter does with a press (click count 1 or 2), a move or a release at an image
    // point; true when the event is used and swallowed.
    bool pressAt(QPointF imagePoint, int clickCount);
    bool dragTo(QPointF imagePoint);
    bool releaseAt();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::optional<QPointF> imagePoint(const QMouseEvent &event) const;

    QPointer<ShotDocument> m_document;
    QPointer<HoldOverlay> m_overlay;
    std::function<bool()> m_enabled;
    std::function<void(const AnnotationLink &)> m_edit;
    std::function<void()> m_moved;
    std::optional<Drag> m_drag;
    // The document's canvas at construction, whose events the filter sees.
    QPointer<QObject> m_canvas;
};

} // namespace Kivaro
