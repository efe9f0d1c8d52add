// The press and release on the canvas outside the drawing tools, and what the editor itself
// does with voice work: a release in text mode opens the text panel at the pressed point, a
// release while re-pointing moves the selected note's arrow there; preparing a language when
// the voice mode is chosen, and cancelling a gesture, a voice task, a failed note or a pending
// re-pointing whenever another flow (a mode change, Escape, a new shot) must stop it first.
// In voice mode the press records a spoken note and the release turns its transcript into an
// arrow and a bubble at the pressed point; a failed note can be retried or typed instead.

#include "Kivaro/editor/EditorController.h"

#include "Kivaro/editor/AnnotationFloatingPanel.h"
#include "Kivaro/editor/CompactStatusLabel.h"
#include "Kivaro/editor/HoldOverlay.h"
#include "Kivaro/editor/VoiceAnnotation.h"
#include "Kivaro/editor/internal/ErrorText.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/document/ShotDocument.h"
#include "KivaroCore/AnnotationPlacement.h"
#include "Kivaro/voice-and-text/VoiceFeedbackView.h"
#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "Kivaro/controls/KivaroTextLabel.h"
#include "NativeAppAppearance/NativePopupButton.h"

#include <algorithm>

using namespace Platform;

namespace Kivaro {

namespace {

void presentReady(VoiceFeedbackView *panel)
{
    panel->present(VoiceFeedbackView::Phase::ready, kivaroCopy("按住问题位置讲话"), kivaroCopy("松手生成箭头和文字 · Esc 取消"));
    panel->language()->show();
}

} // namespace

void EditorController::begin(QPointF viewPoint)
{
    if (m_busy)
        return;
    const std::optional<QPointF> point =
        AnnotationPlacement::imagePoint(viewPoint, overlay()->size(), m_document->canvas()->contentVisibleFrame());
    if (!point || !m_document->markup().bounds().contains(*point))
        return;
    m_anchor = point;
    if (m_activeDrawingTool) {
        m_annotationPanel->shapeID.reset();
        m_annotationPanel->imageAnchor = *point;
        m_annotationPanel->follow();
    }
    if (mode()->selectedSegment() == voiceSegment && !m_retargeting) {
        if (!m_voiceReady) {
            m_anchor.reset();
            status()->setStringValue(kivaroCopy("请先选择麦克风工具"));
        } else {
            beginVoice();
        }
    }
}

void EditorController::beginVoice()
{
    m_failedVoiceAnchor.reset();
    try {
        if (!m_voice)
            throw ShotError::message(kivaroCopy("请先选择麦克风工具"));
        m_voice->begin();
    } catch (...) {
        m_anchor.reset();
        presentVoiceFailure(std::current_exception(), false);
        return;
    }
    setVoiceBusy(true);
    status()->setStringValue(QString());
    QPointer<EditorController> self(this);
    voiceFeedback()->recording([self] { return self && self->m_voice ? self->m_voice->level() : 0.0; });
}

void EditorController::presentVoiceFailure(std::exception_ptr error, bool canRetry)
{
    VoiceFeedbackView *panel = voiceFeedback();
    panel->present(VoiceFeedbackView::Phase::failed, kivaroCopy("没能完成语音标注"), detail::errorText(error));
    panel->retryButton()->setVisible(canRetry);
    panel->textButton()->show();
    panel->cancelButton()->show();
}

void EditorController::end()
{
    if (!m_anchor)
        return;
    const QPointF point = *m_anchor;
    m_anchor.reset();
    if (m_retargeting) {
        if (m_retargetLink) {
            try {
                m_document->retarget(*m_retargetLink, point);
            } catch (...) {
                show(std::current_exception());
            }
        }
        m_retargeting = false;
        m_retargetLink.reset();
        updateMode();
        return;
    }
    if (mode()->selectedSegment() == textSegment) {
        showTextEditor(point);
        return;
    }
    if (mode()->selectedSegment() != voiceSegment)
        return;
    status()->setStringValue(QString());
    m_failedVoiceAnchor = point;
    voiceFeedback()->present(VoiceFeedbackView::Phase::processing, kivaroCopy("正在生成标注…"),
                             kivaroCopy("语音在本机识别，箭头会指向刚才按住的位置"));
    voiceFeedback()->cancelButton()->show();
    const int generation = ++m_voiceGeneration;
    m_voiceTask = start(transcribingVoice(this, generation, point, false), this);
}

void EditorController::retryVoice()
{
    if (m_busy)
        return;
    if (!m_voiceReady) {
        prepareVoice();
        return;
    }
    if (!m_failedVoiceAnchor || !m_voice || !m_voice->canRetry())
        return;
    setVoiceBusy(true);
    voiceFeedback()->present(VoiceFeedbackView::Phase::processing, kivaroCopy("正在生成标注…"),
                             kivaroCopy("语音在本机识别，箭头会指向刚才按住的位置"));
    voiceFeedback()->cancelButton()->show();
    const int generation = ++m_voiceGeneration;
    m_voiceTask = start(transcribingVoice(this, generation, *m_failedVoiceAnchor, true), this);
}

Task<void> EditorController::transcribingVoice(QPointer<EditorController> self, int generation, QPointF point, bool retry)
{
    if (!self)
        co_return;
    const std::shared_ptr<VoiceAnnotation> voice = self->m_voice;
    std::exception_ptr error;
    QString text;
    try {
        if (!voice)
            throw ShotError::message(kivaroCopy("请先选择麦克风工具"));
        if (retry)
            text = co_await voice->retry();
        else
            text = co_await voice->finish();
    } catch (...) {
        error = std::current_exception();
    }
    // A cancelled or superseded note leaves everything to what replaced it.
    if (!self || generation != self->m_voiceGeneration)
        co_return;
    if (!error) {
        try {
            self->annotate(text, point);
        } catch (...) {
            error = std::current_exception();
        }
    }
    if (error)
        self->presentVoiceFailure(error, voice && voice->canRetry());
    self->m_voiceTask = {};
    self->setVoiceBusy(false);
}

void EditorController::typeVoiceFallback()
{
    if (m_busy)
        return;
    const std::optional<QPointF> point = m_failedVoiceAnchor;
    cancelVoice();
    mode()->setSelectedSegment(textSegment);
    updateMode();
    if (point)
        showTextEditor(*point);
    else
        status()->setStringValue(kivaroCopy("点击问题位置，输入标注"));
}

void EditorController::annotate(const QString &text, QPointF imagePoint)
{
    m_document->addAnnotation(text, imagePoint);
    m_failedVoiceAnchor.reset();
    VoiceFeedbackView *panel = voiceFeedback();
    if (mode()->selectedSegment() == voiceSegment) {
        panel->present(VoiceFeedbackView::Phase::success, kivaroCopy("标注已生成，再说一处？"), kivaroCopy("松手生成箭头和文字 · Esc 取消"));
        panel->language()->show();
    } else {
        panel->dismiss();
    }
    status()->setStringValue(kivaroCopy("已添加"));
}

void EditorController::setVoiceBusy(bool busy)
{
    m_voiceBusy = busy;
    setBusy(busy);
}

void EditorController::cancelVoice()
{
    if (m_retargeting) {
        m_retargeting = false;
        m_retargetLink.reset();
        m_anchor.reset();
        updateMode();
        return;
    }
    VoiceFeedbackView *panel = voiceFeedback();
    const bool running = m_voiceTask && !m_voiceTask.isFinished();
    if (!m_anchor && !running && !m_failedVoiceAnchor && panel->phase() != VoiceFeedbackView::Phase::failed)
        return;
    ++m_voiceGeneration;
    m_voiceTask.cancel();
    m_voiceTask = {};
    if (m_voice)
        m_voice->cancel();
    m_anchor.reset();
    m_failedVoiceAnchor.reset();
    if (mode()->selectedSegment() == voiceSegment && m_voiceReady)
        presentReady(panel);
    else
        panel->dismiss();
    // Only what voice work made busy ends here: Esc during an export, a copy or a share after a
    // failed note must not declare the editor idle in the middle of that write.
    if (m_voiceBusy)
        setVoiceBusy(false);
    status()->setStringValue(kivaroCopy("已取消"));
}

void EditorController::changeLanguage()
{
    cancelVoice();
    m_voiceReady = false;
    status()->setStringValue(kivaroCopy("语音语言已切换"));
}

void EditorController::prepareVoice()
{
    if (m_busy || !m_voice)
        return;
    setVoiceBusy(true);
    const int generation = ++m_voiceGeneration;
    status()->setStringValue(QString());
    voiceFeedback()->present(VoiceFeedbackView::Phase::preparing, kivaroCopy("正在准备语音…"),
                             kivaroCopy("首次使用可能需要允许麦克风或下载语言模型"));
    voiceFeedback()->cancelButton()->show();
    m_voiceTask = start(preparingVoice(this, generation), this);
}

Task<void> EditorController::preparingVoice(QPointer<EditorController> self, int generation)
{
    if (!self)
        co_return;
    const std::shared_ptr<VoiceAnnotation> voice = self->m_voice;
    const QString locale = self->m_localeIndex == 0 ? QStringLiteral("zh-CN") : QStringLiteral("en-US");
    // A first preparation may install the speech model: its progress goes to the detail line.
    voice->installProgress = [self, generation](qint64 received, qint64 total) {
        if (!self || generation != self->m_voiceGeneration || total <= 0)
            return;
        const int percent = int(std::clamp<qint64>(received * 100 / total, 0, 100));
        self->voiceFeedback()->detail()->setText(
            kivaroFormat("正在下载语音模型… %@", QString::number(percent) + QLatin1Char('%')));
    };
    std::exception_ptr error;
    try {
        co_await voice->prepare(locale, true);
    } catch (...) {
        error = std::current_exception();
    }
    // A cancelled or superseded preparation leaves everything to what replaced it.
    if (!self || generation != self->m_voiceGeneration)
        co_return;
    VoiceFeedbackView *panel = self->voiceFeedback();
    if (!error) {
        self->m_voiceReady = true;
        self->status()->setStringValue(QString());
        presentReady(panel);
    } else {
        panel->present(VoiceFeedbackView::Phase::failed, kivaroCopy("没能完成语音标注"), detail::errorText(error));
        // A preparation that cannot succeed here offers typing first, and no retry.
        panel->retryButton()->setVisible(voice->preparationRetryable());
        panel->textButton()->show();
        panel->cancelButton()->show();
    }
    self->m_voiceTask = {};
    self->setVoiceBusy(false);
}

} // namespace Kivaro
