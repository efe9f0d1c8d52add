#pragma once
// The editor's one floating child panel beside the annotation being worked on: the row of
// drawing tools and a close button, and below it either a text field (Ctrl+Return or the check
// button commits, Esc cancels), a supplemental view (the colour-and-width row), or nothing.
// The editor owns one for its whole life and reuses it for every showing; each showing
// rebuilds the content, and only `shapeID`, `imageAnchor` and `position` outlive it.
//
// The panel's window is a frameless tool window, transient for its host (the editor window or
// the inline capture window), never a Qt child of it: the host can go first. It follows the
// host's moves and resizes and `position()`, and hides while the application is inactive,
// coming back when the application is active again.
//
// Geometry (panel coordinates, origin top left): with text 300 × 164, with a supplemental view
// 360 × 116, otherwise 270 × 48; the tool row at (12, 8); the text area (12, 46, 276, 76); the
// check button (256, 128); the hint naming the commit key ("Ctrl+Return"), ending at x 252 on
// the check button's line (y 133); the supplemental view (12, 44, 336, 64).

#include "Kivaro/document/DrawingTool.h"
#include "Kivaro/editor/AnnotationInputView.h"

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

class AnnotationPanelWindow;
class ClosureButton;

class AnnotationFloatingPanel final : public QObject {
    Q_OBJECT
public:
    explicit AnnotationFloatingPanel(QObject *parent = nullptr);
    ~AnnotationFloatingPanel() override;

    // The panel's own window; visible while the panel is open and the application active.
    QWidget *panel() const;
    // The text field while one is shown, else null.
    AnnotationInputView *input() const { return m_input; }
    // Whether a showing is in progress (also while hidden because the application is inactive).
    bool isShowing() const { return m_host != nullptr; }
    bool isVisible() const;
    QWidget *host() const { return m_host; }
    // The buttons of the current showing: the six tools in order, then the close button.
    QList<ClosureButton *> toolButtons() const;

    // The shape the panel belongs to, and the image point it annotates when there is none.
    std::optional<Platform::MarkupID<Platform::ShapeElement>> shapeID;
    QPointF imageAnchor;
    // Where the panel should sit, in global coordinates; set by the editor.
    std::function<std::optional<QPointF>()> position;

    // Shows the panel over `host`. With `text` and `commit`, a text field pre-filled with the
    // text: a commit of anything but blanks calls `commit` with the text as typed and closes the
    // panel when it answers true. Without text, `supplemental` (when given) below the tools.
    // `selectedTool` is highlighted; a tool button closes the panel, then calls `tool` with the
    // tool's raw value.
    void show(QWidget *host, std::optional<QString> text, std::function<bool(const QString &)> commit, QWidget *supplemental,
              std::optional<DrawingTool> selectedTool, std::function<void(int)> tool);
    // Closes the panel and drops its text field; harmless when it is not shown.
    void dismiss();
    // Moves the open panel next to `position()`, kept inside the host's frame; nothing while
    // it is closed or there is no position.
    void follow();

    // Where a panel of `size` goes for the point `p`, inside `hostFrame` (global coordinates):
    // 14 right of the point and 12 below it, at least 14 inside the host's frame and at least
    // 78 above its bottom edge.
    static QPoint placement(QPointF p, QSize size, QRect hostFrame);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void applicationStateChanged();

    std::unique_ptr<AnnotationPanelWindow> m_panel;
    QPointer<QWidget> m_surface;
    QPointer<AnnotationInputView> m_input;
    QPointer<QWidget> m_host;
};

} // namespace Kivaro
