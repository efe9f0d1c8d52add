// The floating text panel of the annotation tools run.

#include "Kivaro/verification/AnnotationToolsVerification.h"

#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/document/LinkedAnnotations.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/editor/AnnotationFloatingPanel.h"
#include "Kivaro/editor/AnnotationInputView.h"
#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/EditorController.h"
#include "Kivaro/verification/ShareMenuCapture.h"
#include "Kivaro/verification/support/VerificationChecks.h"
#include "KivaroCore/ShotError.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "Platform/Async/Awaitables.h"

#include <QApplication>
#include <QWindow>

#include <chrono>

namespace Kivaro::AnnotationToolsVerification::detail {

using namespace std::chrono_literals;
using NativeAppAppearance::Appearance;
using NativeAppAppearance::AppearanceManager;
using Platform::ShapeElement;

namespace {

using VerificationSupport::check;

// The panel's window is a child of `host`: transient for it, never a window of its own.
bool childOf(const QWidget *panel, const QWidget *host)
{
    const QWindow *parent = panel->windowHandle() ? panel->windowHandle()->transientParent() : nullptr;
    return host && parent && parent == host->windowHandle();
}

} // namespace

Platform::Task<void> floatingText(const RunContext &run)
{
    EditorController *editor = run.editor;
    ShotDocument *document = editor->document();
    AnnotationFloatingPanel *panel = editor->annotationPanel();

    editor->mode()->setSelectedSegment(EditorController::textSegment);
    editor->updateMode();
    const QPointF click = run.at(0.28, 0.50);
    drag(editor, click, click);
    QWidget *window = panel->panel();
    AnnotationInputView *input = panel->input();
    check(window && window->isVisible() && input, "Text click did not open a floating child panel");
    check(childOf(window, editor->view()->window()) && !QApplication::activeModalWidget(), "Text editing is modal or detached");

    input->setPlainText(QStringLiteral("悬浮标注"));
    for (const auto &[name, appearance] :
         {std::pair{QStringLiteral("light"), Appearance::light}, std::pair{QStringLiteral("dark"), Appearance::dark}}) {
        AppearanceManager::shared().setApplicationAppearance(appearance);
        co_await Platform::sleep(250ms);
        co_await SharingVerification::captureShareMenu(run.path(QStringLiteral("floating-text-") + name + QStringLiteral(".png")));
    }

    if (input && input->commit)
        input->commit();
    check(!window->isVisible() && document->links().size() == run.saved.links.size() + 1, "Floating text commit failed");
    const AnnotationLink link = document->links().last();

    editor->setActiveDrawingTool(std::nullopt);
    editor->mode()->setSelectedSegment(EditorController::selectSegment);
    editor->updateMode();
    editor->showTextEditor(link.anchor, link);
    const QPoint before = panel->panel()->pos();

    ShotState state = document->state();
    const ShapeElement *bubble = state.markup.subelements().shape(link.bubbleID);
    check(bubble != nullptr, "The committed note has no bubble to move");
    ShapeElement moved = *bubble;
    moved.frame.moveLeft(qMax<qreal>(moved.frame.left() - 120, 0));
    state.markup.subelements().updateOrAppend(moved);
    document->applyGesture(LinkedAnnotations::reconcile(state));
    panel->follow();
    check(panel->panel()->pos() != before, "Floating text panel did not follow the moved annotation");

    if (AnnotationInputView *edit = panel->input()) {
        edit->setPlainText(QStringLiteral("修改后的标注"));
        if (edit->commit)
            edit->commit();
    }
    const ShapeElement *edited = document->markup().subelements().shape(link.bubbleID);
    check(edited != nullptr, "The edited note has no bubble");
    check(edited->attributedText.string() == QStringLiteral("修改后的标注"), "Floating text edit did not persist");
}

} // namespace Kivaro::AnnotationToolsVerification::detail
