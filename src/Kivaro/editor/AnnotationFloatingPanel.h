#pragma once
// The editor's one floating child panel beside the annotation being worked on: the row of
// drawing tools, and either a text field, the colour-and-width row, or nothing below it. The
// editor owns one for its whole life and reuses it for every showing.
//
// The editor already drives it wherever the panel is affected: `dismiss()` on a mode change, a
// close request and Escape; `follow()` after every content change, visible-frame change and
// layout; `isVisible()` to toggle it from the dock. Its contents and `show` come with the
// drawing tools; until then the panel window is made but never shown.

#include "Kivaro/editor/DrawingTool.h"

#include "Platform/Markup/MarkupID.h"
#include "Platform/Markup/ShapeElement.h"

#include <QObject>
#include <QPointF>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

class QWidget;

namespace Kivaro {

class AnnotationFloatingPanel final : public QObject {
    Q_OBJECT
public:
    explicit AnnotationFloatingPanel(QObject *parent = nullptr);
    ~AnnotationFloatingPanel() override;

    // The panel's own window (a frameless tool window); visible while the panel is open.
    QWidget *panel() const { return m_panel.get(); }
    // The text field while one is shown, else null.
    QWidget *input() const { return m_input; }
    bool isVisible() const;

    // The shape the panel belongs to, and the image point it annotates when there is none.
    std::optional<Platform::MarkupID<Platform::ShapeElement>> shapeID;
    QPointF imageAnchor;
    // Where the panel should sit, in global coordinates; set by the editor.
    std::function<std::optional<QPointF>()> position;

    // Closes the panel and drops its text field; harmless when it is not shown.
    void dismiss();
    // Moves the open panel next to `position()`; nothing while it is closed.
    void follow();

private:
    std::unique_ptr<QWidget> m_panel;
    QPointer<QWidget> m_input;
};

} // namespace Kivaro
