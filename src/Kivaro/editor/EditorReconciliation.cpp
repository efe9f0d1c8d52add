// The consistency pass after markup edits, and what every content change of the document
// updates.

#include "Kivaro/editor/EditorController.h"

#include "Kivaro/editor/AnnotationFloatingPanel.h"
#include "Kivaro/editor/InlineCaptureEditor.h"

#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/recent/RecentShots.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Pointer/PointerSource.h"

namespace Kivaro {

using namespace Platform;

// Each edit replaces the pending pass: a burst of edits gets one pass, 45 ms after the last.
void EditorController::nativeMarkupChanged()
{
    m_reconciliationTask.cancel();
    m_reconciliationTask = start(reconciling(this), this);
}

// The pass never runs while a mouse button is held (the user is still dragging). The buttons
// are asked of the window system each time, not taken from the last event this process saw:
// after a release under another client's pointer grab that state would say "pressed" for
// good, and the autosave behind the pass would never run.
Task<void> EditorController::reconciling(QPointer<EditorController> self)
{
    do {
        co_await Platform::sleep(reconciliationDelay);
        if (!self)
            co_return;
    } while (self->pointer().pressedButtons() != Qt::NoButton);
    self->m_document->reconcile();
    self->updateTitle();
    self->m_annotationPanel->follow();
    self->selectGrainItem();
    self->m_recent->schedule(self->m_document);
}

void EditorController::documentDidChange()
{
    updateCanvasVisibility();
    updateTitle();
    selectGrainItem();
    m_recent->schedule(m_document);
    m_annotationPanel->follow();
}

} // namespace Kivaro
