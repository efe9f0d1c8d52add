#pragma once
// The annotation tools end to end through mouse events delivered to the editor's window:
//
// 1. drawing tools: three arrows, a rectangle and an ellipse drawn by drags; their styles and
//    capabilities, the PNG rendering, the project data, undo, redo, deletion and its undo, and
//    leaving the drawing tool ("drawing-tools-before-undo.png", "drawing-tools-export.png",
//    "drawing-tools.png");
// 2. numbered steps and the straight line: three step clicks numbered one after another, undo,
//    redo and deletion freeing and taking numbers, the numbering through the project data, a
//    file reopened in a fresh document and the live document, and a line without an arrowhead
//    ("numbered-steps.kivaro", "numbered-steps.png", "numbered-steps-export.png");
// 3. the floating text panel: a text click opens it as a non-modal child of the editor window,
//    its commit makes one linked note, reopened on that note it follows the moved bubble, and an
//    edit replaces the bubble's text ("floating-text-light.png", "floating-text-dark.png");
//
// then "annotation-tools-result.json". Every way out first puts the editor back as it was
// found: the panel dismissed, the saved document state, the saved mode segment and the
// application's saved appearance.
//
// `run` is the sub-run of the full suite: it throws ShotError at the first failed check (the
// check's text, no prefix) and returns when all passed. `standalone` ("--verify
// --verify-annotation-tools") loads the sample picture, shows the editor, runs it in the run's
// folder and ends the process with "summary.json".
//
// Main thread only.

#include "Kivaro/document/DrawingTool.h"
#include "Kivaro/document/ShotState.h"
#include "Platform/Async/Task.h"

#include <QPointF>
#include <QString>

#include <optional>

namespace Kivaro {
class EditorController;
}

namespace Kivaro::AnnotationToolsVerification {

inline constexpr char resultRecord[] =
    "{\"status\":\"passed\",\"environment\":\"native-linux\",\"postedDrag\":true,\"floatingText\":true,"
    "\"panelFollowsAnnotation\":true,\"drawingUndoRedo\":true,\"numberedSteps\":true,\"straightLine\":true,"
    "\"projectRoundTrip\":true}";
inline constexpr char standalonePass[] = "{\"status\":\"passed\",\"environment\":\"native-linux\"}";
// Fixed texts: a renamed key or environment keeps every byte count.
static_assert(sizeof(resultRecord) - 1 == 204, "the result keeps its fixed length");
static_assert(sizeof(standalonePass) - 1 == 48, "the summary keeps its fixed length");

Platform::Task<void> run(EditorController *editor, QString output);
Platform::Task<void> standalone(EditorController *editor);

namespace detail {

// What the phases share.
struct RunContext {
    EditorController *editor = nullptr;
    QString output;
    double width = 0;  // W: the canvas markup's bounds
    double height = 0; // H
    ShotState saved;

    QPointF at(double fx, double fy) const { return QPointF(fx * width, fy * height); }
    QString path(const QString &name) const;
};

// Delivers one press, drag and release from `from` to `to` (canvas content points) to the
// editor's window through its event queue; a click when both are equal. Throws ShotError when
// the editor has no shown window or no canvas to aim at.
void drag(EditorController *editor, QPointF from, QPointF to);
// Arms `tool` in select-and-edit with the tool panel, as a user choosing it would.
void chooseTool(EditorController *editor, std::optional<DrawingTool> tool);

Platform::Task<void> numberedSteps(const RunContext &run);
Platform::Task<void> floatingText(const RunContext &run);

} // namespace detail

} // namespace Kivaro::AnnotationToolsVerification
