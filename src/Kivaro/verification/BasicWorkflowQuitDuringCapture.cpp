#include "Kivaro/verification/BasicWorkflowVerification.h"

#include "Kivaro/document/SampleImage.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/editor/EditorController.h"
#include "Kivaro/shell/AppDelegate.h"
#include "Kivaro/shell/capture/RegionCapture.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "Kivaro/verification/RunRecords.h"
#include "KivaroCore/VerificationRun.h"
#include "Platform/Async/Awaitables.h"

#include <QKeySequence>
#include <QPointer>
#include <QTimer>

#include <chrono>

namespace Kivaro::BasicWorkflowVerification {

using namespace std::chrono_literals;

void postQuitKey(AppDelegate *delegate, std::function<void()> refused)
{
    const QPointer<AppDelegate> guarded(delegate);
    // The menu's Ctrl+Q at the end of the event queue, as a key press would reach it.
    QTimer::singleShot(0, delegate, [guarded, refused = std::move(refused)] {
        if (!guarded)
            return;
        if (guarded->performKeyEquivalent(QKeySequence(Qt::CTRL | Qt::Key_Q)))
            PrototypeVerification::noteQuitPostedDuringCapture();
        else
            refused();
    });
}

Platform::Task<void> quitDuringCapture(EditorController *editor)
{
    // The result is the termination's to write; this run removes an earlier one first.
    const PrototypeVerification::StandaloneRun standalone(QStringLiteral("Quit during capture verification failed: "),
                                                          RunRecords::names(RunRecords::Run::quitDuringCapture));
    const QPointer<AppDelegate> delegate(AppDelegate::shared());
    if (!delegate || !editor || !editor->capture() || !editor->document())
        standalone.fail(QStringLiteral("the application has no editor with a capture to quit during"));
    const QPointer<EditorController> guarded(editor);
    editor->document()->load(SampleImage::make(), true);
    editor->captureRegion(CaptureIntent::text);
    for (int poll = 0; poll < 100 && guarded && !guarded->capture()->hasPendingSelection(); ++poll) {
        try {
            co_await Platform::sleep(50ms);
        } catch (...) {
        }
    }
    if (!guarded || !delegate || !guarded->capture()->hasPendingSelection())
        standalone.fail(QStringLiteral("the capture overlay did not open within 100 polls"));

    postQuitKey(delegate, [standalone] { standalone.fail(QStringLiteral("no enabled menu item answers Ctrl+Q")); });
    try {
        co_await Platform::sleep(10s);
    } catch (...) {
    }
    // A quit that ran to its end destroys the delegate, which cancels this task: that is the pass.
    if (!delegate || delegate->hasTerminated())
        co_return;
    standalone.fail(QStringLiteral("Quit during capture did not finish"));
}

} // namespace Kivaro::BasicWorkflowVerification
