#pragma once
// Annotating a fresh capture in place: a borderless, always-on-top window over the captured
// screen that shows the frozen screen dimmed and borrows the editor's canvas host, dock, status
// line and voice panel, with the canvas exactly over the captured rectangle at the captured
// size. Nothing is copied: the views are reparented into the inline window and given back (with
// the editor window's own layout) when in-place editing ends. The editor owns one for its
// whole life.
//
// The user leaves through the exit button, Escape, Ctrl+W or the window manager's close: each
// asks the editor's close check (`EditorController::exitInlineCapture`), which archives the shot
// first; when that write fails the error is shown once in the borrowed status line and the
// next request lets the window go, so a full-screen window on top never locks the user out.
//
// Geometry: the placement is in global model points (y up); the window works in Qt
// coordinates of that screen (y down); `layout` does the arithmetic in the window's y-up
// coordinates as the placement rules are written, and the caller flips the result.
//
// Main thread only.

#include "Kivaro/shell/capture/CapturePlacement.h"

#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QSizeF>
#include <QWidget>

#include <optional>

namespace Kivaro {

class EditorController;
class KivaroButton;

class InlineCaptureEditor final : public QObject {
    Q_OBJECT
public:
    // Where the parts go inside the window, in the window's points with the origin at its
    // bottom-left corner (y up).
    struct Layout {
        QRectF canvasHost;
        QRectF dock;
        QRectF status;
        QRectF voicePanel;
        QRectF exitButton;
    };
    static constexpr QSizeF exitButtonSize{114, 32};

    explicit InlineCaptureEditor(QObject *parent = nullptr);
    ~InlineCaptureEditor() override;

    // The inline window while in-place editing is open, else null.
    QWidget *window() const { return m_window; }
    bool isShown() const { return m_window != nullptr; }
    const std::optional<CapturePlacement> &placement() const { return m_placement; }
    KivaroButton *exitButton() const { return m_exitButton; }
    // The view that shows the frozen screen and holds the borrowed views; null while hidden.
    QWidget *background() const;

    // Shows the inline editor for `editor` at `placement` (any earlier one is dismissed first).
    void present(EditorController *editor, const CapturePlacement &placement);
    // Lays the borrowed views out again; nothing while not shown.
    void refresh();
    // Ends in-place editing and gives the views back; nothing while not shown.
    void dismiss();

    // The placement rules: `capture` is the captured rectangle in window points (y up),
    // `bounds` the window's size, the sizes those the dock and the voice panel ask for.
    static Layout layout(QRectF capture, QSizeF bounds, QSizeF dockFitting, QSizeF voiceFitting);

private:
    QPointer<QWidget> m_window;
    QPointer<EditorController> m_editor;
    std::optional<CapturePlacement> m_placement;
    // The borrowed views (canvas host, dock, status line, voice panel) and whether each was
    // shown in the editor window.
    QList<QPointer<QWidget>> m_moved;
    QList<bool> m_wasShown;
    KivaroButton *m_exitButton;
    bool m_refreshing = false;
};

} // namespace Kivaro
