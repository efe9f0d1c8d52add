#include "Kivaro/verification/VoiceInteractionVerification.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/document/LinkedAnnotations.h"
#include "Kivaro/document/ProjectArchive.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/document/ShotState.h"
#include "Kivaro/editor/AnnotationFloatingPanel.h"
#include "Kivaro/editor/AnnotationInputView.h"
#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/EditorController.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "Kivaro/verification/support/EvidenceFiles.h"
#include "Kivaro/verification/support/SavedAppearance.h"
#include "Kivaro/verification/support/VerificationChecks.h"
#include "Kivaro/voice-and-text/VoiceFeedbackView.h"
#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "NativeAppAppearance/Appearance.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativePopupButton.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Markup/Markup.h"
#include "Platform/Markup/MarkupCanvas.h"
#include "Platform/Markup/UndoManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QWindow>

#include <chrono>
#include <functional>
#include <optional>

namespace Kivaro::VoiceInteractionVerification {

using namespace std::chrono_literals;
using NativeAppAppearance::Appearance;
using NativeAppAppearance::AppearanceManager;
using Phase = VoiceFeedbackView::Phase;

namespace {

using VerificationSupport::failWith;

bool hasStroke(const Platform::Markup &markup)
{
    for (const Platform::MarkupElement &element : markup.subelements())
        if (element.stroke())
            return true;
    return false;
}

Platform::Markup currentMarkup(const ShotDocument *document)
{
    if (document->canvas())
        if (const auto &markup = document->canvas()->markup())
            return *markup;
    return Platform::Markup();
}

void show(QWidget *control, bool visible)
{
    if (control)
        control->setVisible(visible);
}

void presentFailure(VoiceFeedbackView *panel, bool retry)
{
    panel->present(Phase::failed, kivaroCopy(QStringLiteral("没能完成语音标注")), QStringLiteral("fixture"));
    show(panel->retryButton(), retry);
    show(panel->textButton(), true);
    show(panel->cancelButton(), true);
}

// Puts the editor back as it was, however the run ends.
class Restore final {
public:
    explicit Restore(EditorController *editor)
        : m_editor(editor), m_state(editor->document()->state()), m_segment(editor->mode()->selectedSegment()),
          m_voiceReady(editor->voiceReady())
    {
    }
    ~Restore()
    {
        m_editor->cancelVoice();
        if (m_editor->annotationPanel())
            m_editor->annotationPanel()->dismiss();
        m_editor->document()->applyGesture(m_state);
        m_editor->mode()->setSelectedSegment(m_segment);
        m_editor->setVoiceReady(m_voiceReady);
        m_editor->updateMode();
        m_appearance.restore();
    }
    Restore(const Restore &) = delete;
    Restore &operator=(const Restore &) = delete;

private:
    EditorController *m_editor;
    ShotState m_state;
    int m_segment;
    bool m_voiceReady;
    VerificationSupport::SavedAppearance m_appearance;
};

// A click on the centre of the mode control's first segment, posted to the editor window and
// dispatched by its own hit-testing.
void clickVoiceSegment(EditorController *editor)
{
    KivaroModes *modes = editor->mode();
    QWidget *window = modes->window();
    QWindow *handle = window ? window->windowHandle() : nullptr;
    // Without a window there is nothing a user could click: the entry check cannot be made.
    if (!handle || !window->isVisible() || !handle->isExposed())
        failWith("Voice entry has no window to click");
    const QPointF at = modes->mapTo(window, modes->segmentRect(0).center().toPoint());
    QElapsedTimer uptime;
    uptime.start();
    for (const bool down : {true, false}) {
        auto *event = new QMouseEvent(down ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease, at, window->mapToGlobal(at), Qt::LeftButton,
                                      down ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        event->setTimestamp(quint64(uptime.elapsed()) + 1);
        QCoreApplication::postEvent(handle, event);
    }
    QCoreApplication::sendPostedEvents(handle, 0);
}

} // namespace

Platform::Task<void> run(EditorController *editor, QString output)
{
    if (!editor || !editor->document() || !editor->mode() || !editor->voiceFeedback())
        failWith("The application has no editor to drive");
    const Restore restore(editor);
    ShotDocument *document = editor->document();
    VoiceFeedbackView *panel = editor->voiceFeedback();
    const auto file = [&output](const QString &name) -> QString { return output + u'/' + name; };

    // Entry: the voice mode shows its instructions without preparing recognition.
    editor->setBusy(false);
    editor->setVoiceReady(true);
    clickVoiceSegment(editor);
    if (!(panel->phase() == Phase::ready && !panel->isHidden()
          && editor->mode()->label(0) == std::optional<QString>(kivaroCopy(QStringLiteral("语音标注")))))
        failWith("Voice entry has no visible instructions");

    // The instructions outlive an ordinary status message.
    co_await Platform::sleep(5200ms);
    if (!(panel->phase() == Phase::ready && !panel->isHidden()))
        failWith("Voice instructions disappeared");

    // Every phase, light and dark.
    struct State {
        const char *name;
        std::function<void()> action;
    };
    const std::vector<State> states{
        {"ready",
         [panel] {
             panel->present(Phase::ready, kivaroCopy(QStringLiteral("按住问题位置讲话")), kivaroCopy(QStringLiteral("松手生成箭头和文字 · Esc 取消")));
             show(panel->language(), true);
         }},
        {"preparing",
         [panel] {
             panel->present(Phase::preparing, kivaroCopy(QStringLiteral("正在准备语音…")),
                            kivaroCopy(QStringLiteral("首次使用可能需要允许麦克风或下载语言模型")));
             show(panel->cancelButton(), true);
         }},
        {"recording", [panel] { panel->recording([] { return 0.72; }); }},
        {"processing",
         [panel] {
             panel->present(Phase::processing, kivaroCopy(QStringLiteral("正在生成标注…")),
                            kivaroCopy(QStringLiteral("语音在本机识别，箭头会指向刚才按住的位置")));
             show(panel->cancelButton(), true);
         }},
        {"failed",
         [panel] {
             panel->present(Phase::failed, kivaroCopy(QStringLiteral("没能完成语音标注")),
                            kivaroCopy(QStringLiteral("没有识别到语音，请重试或输入文字。")));
             show(panel->retryButton(), true);
             show(panel->textButton(), true);
             show(panel->cancelButton(), true);
         }},
    };
    for (const Appearance appearance : {Appearance::light, Appearance::dark}) {
        AppearanceManager::shared().setApplicationAppearance(appearance);
        for (const State &state : states) {
            state.action();
            co_await Platform::sleep(220ms);
            PrototypeVerification::snapshot(editor->view(), file(QStringLiteral("voice-") + QString::fromLatin1(state.name) + u'-'
                                                                 + NativeAppAppearance::appearanceName(appearance) + QStringLiteral(".png")));
        }
    }

    // Typing after a failed recording keeps the held point.
    const QPointF anchor = currentMarkup(document).bounds().center();
    editor->setFailedVoiceAnchor(anchor);
    presentFailure(panel, false);
    panel->textButton()->click();
    AnnotationFloatingPanel *floating = editor->annotationPanel();
    if (!(editor->mode()->selectedSegment() == EditorController::textSegment && floating && floating->panel()
          && floating->panel()->isVisible() && floating->imageAnchor.x() == anchor.x() && floating->imageAnchor.y() == anchor.y()))
        failWith("Text fallback lost the recording anchor");
    if (AnnotationInputView *input = floating->input()) {
        input->setPlainText(kivaroCopy(QStringLiteral("添加标注")));
        if (input->commit)
            input->commit();
    }
    const QList<AnnotationLink> &links = document->links();
    if (links.isEmpty() || !(links.last().anchor.x() == anchor.x() && links.last().anchor.y() == anchor.y()))
        failWith("Text fallback annotation misplaced");

    // Cancelling a failure returns to the ready instructions.
    editor->mode()->setSelectedSegment(EditorController::voiceSegment);
    editor->updateMode();
    presentFailure(panel, false);
    panel->cancelButton()->click();
    if (!(panel->phase() == Phase::ready && !editor->busy()))
        failWith("Cancel did not restore ready instructions");

    // A failed preparation falls back to text notes.
    presentFailure(panel, true);
    editor->setVoiceReady(false);
    panel->textButton()->click();
    if (!(editor->mode()->selectedSegment() == EditorController::textSegment && panel->isHidden()))
        failWith("Preparation failure text fallback did not switch tools");

    // A pen stroke drawn by the application renders, survives the project form and goes with one undo.
    const QByteArray before = co_await document->png(std::nullopt, false);
    document->addFreehand({QPointF(100, 100), QPointF(180, 150), QPointF(270, 90)},
                          NativeAppAppearance::resolve(NativeAppAppearance::DynamicColor::systemBlue, Appearance::light), 5);
    const QByteArray project = co_await ProjectArchive::encode(LinkedAnnotations::reconcile(document->state()));
    if (!hasStroke(currentMarkup(document)))
        failWith("Self-drawn pen did not persist or render");
    const QByteArray after = co_await document->png(std::nullopt, false);
    if (after == before)
        failWith("Self-drawn pen did not persist or render");
    if (!hasStroke(ProjectArchive::decode(project).markup))
        failWith("Self-drawn pen did not persist or render");
    if (!document->canvas() || !document->canvas()->undoManager())
        failWith("The canvas has no undo manager to undo the pen with");
    document->canvas()->undoManager()->undo();
    if (hasStroke(currentMarkup(document)))
        failWith("Pen undo failed");

    VerificationSupport::writeEvidence(file(QStringLiteral("voice-interaction-result.json")), QByteArray(passResult));
}

} // namespace Kivaro::VoiceInteractionVerification
