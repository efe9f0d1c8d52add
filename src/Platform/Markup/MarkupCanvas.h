#pragma once
// The markup canvas: shows a markup at a zoom, lets the user select, move, resize and delete
// elements as each element's allowed interactions permit, and records those edits in its undo
// manager (which is also the document's).
//
// It works without being shown: tests and verification runs create several canvases at once,
// size them with resize(), drive them through the point-based interaction helpers and read
// their state. Geometry: "view" points are the widget's own coordinates; "markup" points are
// the markup's coordinates (picture pixels). The content-visible frame is the markup
// rectangle the widget currently shows; zoom is view points per markup unit.
//
// Signals mirror the delegate of a platform canvas: `markupChanged` after the markup changed
// (set programmatically or edited by the user, once per committed gesture),
// `selectionChanged`, `contentVisibleFrameChanged`.

#include "Platform/Markup/Markup.h"
#include "Platform/Markup/UndoManager.h"

#include <QList>
#include <QWidget>

#include <optional>

namespace Platform {

class MarkupCanvas final : public QWidget {
    Q_OBJECT
public:
    explicit MarkupCanvas(QWidget *parent = nullptr);
    ~MarkupCanvas() override;

    const std::optional<Markup> &markup() const { return m_markup; }
    void setMarkup(const std::optional<Markup> &markup);

    // Identities in the order they were selected, without duplicates; only existing elements.
    const QList<ElementID> &selection() const { return m_selection; }
    void setSelection(const QList<ElementID> &selection);

    double zoomScale() const { return m_zoom; }
    // Zooms about the centre of the visible frame; values <= 0 are ignored.
    void setZoomScale(double zoom);
    QRectF contentVisibleFrame() const;
    // Shows `frame`: the zoom fits it into the widget, centred.
    void setContentVisibleFrame(const QRectF &frame);

    bool isEditable() const { return m_editable; }
    void setEditable(bool editable);

    // Whether the canvas fills its background (a fixed light grey) before the markup. A host
    // that draws its own backdrop beneath the canvas (a checkerboard behind transparent
    // pixels) turns it off; the canvas is then transparent outside what it draws.
    bool drawsBackdrop() const { return m_drawsBackdrop; }
    void setDrawsBackdrop(bool draws);

    UndoManager *undoManager() const { return m_undoManager; }

    QPointF markupPoint(const QPointF &viewPoint) const;
    QPointF viewPoint(const QPointF &markupPoint) const;

    // Interaction helpers, in view coordinates; the mouse events call them.
    void pressAt(const QPointF &viewPoint, Qt::KeyboardModifiers modifiers = {});
    void dragTo(const QPointF &viewPoint);
    void releaseAt(const QPointF &viewPoint);
    // Deletes the selected elements that allow deletion, as one undo step.
    void deleteSelection();

Q_SIGNALS:
    void markupChanged();
    void selectionChanged();
    void contentVisibleFrameChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    struct Gesture;
    struct Layers;
    void toMarkupSpace(QPainter &painter) const;
    const Layers &gestureLayers();
    const MarkupElement *topElementAt(const QPointF &markupPoint) const;
    int handleAt(const QPointF &viewPoint) const;
    void commitEdit(const std::optional<Markup> &before);
    void restore(const std::optional<Markup> &markup);
    void pruneSelection();

    std::optional<Markup> m_markup;
    QList<ElementID> m_selection;
    double m_zoom = 1;
    QPointF m_visibleOrigin;
    bool m_editable = true;
    bool m_drawsBackdrop = true;
    UndoManager *m_undoManager;
    std::unique_ptr<Gesture> m_gesture;
};

} // namespace Platform
