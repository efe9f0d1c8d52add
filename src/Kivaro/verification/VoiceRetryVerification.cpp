#include "Kivaro/verification/VoiceRetryVerification.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/EditorController.h"
#include "Kivaro/editor/VoiceAnnotation.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "Kivaro/verification/support/EvidenceFiles.h"
#include "Kivaro/verification/support/VerificationChecks.h"
#include "Kivaro/voice-and-text/OnDeviceVoiceAnnotation.h"
#include "Kivaro/voice-and-text/VoiceFeedbackView.h"
#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Async/Awaitables.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <chrono>

namespace Kivaro::VoiceRetryVerification {

using namespace std::chrono_literals;

namespace {

using VerificationSupport::failWith;

// Copies the fixture to `copy` as a new private file (never through a link at that name).
void copyFixture(const QString &fixture, const QString &copy)
{
    QFile source(fixture);
    if (!source.open(QIODevice::ReadOnly))
        failWith(QStringLiteral("The speech fixture cannot be read: ") + fixture + QStringLiteral(" (") + source.errorString() + u')');
    VerificationSupport::writeEvidence(copy, source.readAll());
}

// The first transcription attempt fails; every later one is the device's own.
Platform::Task<QString> failOnceThenTranscribe(std::shared_ptr<int> attempts, VoiceAnnotation *voice, QString path, QString locale)
{
    *attempts += 1;
    if (*attempts == 1)
        throw ShotError::message(QStringLiteral("识别失败，可重试或输入文字"));
    co_return co_await voice->transcribe(path, locale);
}

Platform::Task<QString> alwaysFail(QString, QString)
{
    throw ShotError::message(QStringLiteral("fixture failure"));
    co_return QString();
}

// Removes the installed transcription and cancels the engine, however the run ends.
class Cleanup final {
public:
    explicit Cleanup(VoiceAnnotation &voice) : m_voice(voice) {}
    ~Cleanup()
    {
        m_voice.transcribeRecording = nullptr;
        m_voice.cancel();
    }
    Cleanup(const Cleanup &) = delete;
    Cleanup &operator=(const Cleanup &) = delete;

private:
    VoiceAnnotation &m_voice;
};

} // namespace

Platform::Task<void> run(EditorController *editor, QString fixture, QString output)
{
    co_await run(editor, std::move(fixture), std::move(output), std::make_shared<OnDeviceVoiceAnnotation>());
}

Platform::Task<void> run(EditorController *editor, QString fixture, QString output, std::shared_ptr<VoiceAnnotation> voice)
{
    if (!editor || !editor->voiceFeedback() || !voice)
        failWith(QStringLiteral("The application has no editor to drive"));
    VoiceFeedbackView *panel = editor->voiceFeedback();

    co_await voice->prepare(QStringLiteral("zh-CN"), false);
    const std::optional<QString> locale = voice->preparedLocale();
    if (!locale)
        failWith(QStringLiteral("无法准备语音语言"));
    const QString copy = QDir(QDir::tempPath()).filePath(QStringLiteral("kivaro-retry-") + QUuid::createUuid().toString(QUuid::WithoutBraces)
                                                         + QStringLiteral(".wav"));
    copyFixture(fixture, copy);
    auto attempts = std::make_shared<int>(0);
    VoiceAnnotation *engine = voice.get();
    voice->transcribeRecording = [attempts, engine](QString path, QString language) {
        return failOnceThenTranscribe(attempts, engine, std::move(path), std::move(language));
    };
    const Cleanup cleanup(*voice);

    // The failed recording stays for a retry.
    std::exception_ptr completion;
    try {
        co_await voice->completeRecording(copy, *locale);
    } catch (...) {
        completion = std::current_exception();
    }
    if (!(voice->canRetry() && QFileInfo::exists(copy))) {
        if (completion)
            std::rethrow_exception(completion);
        failWith(QStringLiteral("未进入失败分支"));
    }

    panel->recording([] { return 0.65; });
    co_await Platform::sleep(200ms);
    PrototypeVerification::snapshot(editor->view(), output + QStringLiteral("/09-recording-feedback.png"));

    panel->present(VoiceFeedbackView::Phase::failed, kivaroCopy(QStringLiteral("没能完成语音标注")), QStringLiteral("识别失败，可重试或输入文字"));
    for (QWidget *button : {static_cast<QWidget *>(panel->retryButton()), static_cast<QWidget *>(panel->textButton()),
                            static_cast<QWidget *>(panel->cancelButton())})
        if (button)
            button->setVisible(true);
    PrototypeVerification::snapshot(editor->view(), output + QStringLiteral("/10-retry-feedback.png"));

    // The retry transcribes on the device and deletes the recording.
    const QString text = co_await voice->retry();
    if (!(text.contains(QStringLiteral("保存")) && *attempts == 2 && !voice->canRetry() && !QFileInfo::exists(copy)))
        failWith(QStringLiteral("重试未成功识别或录音未清理"));

    // Cancelling after another failure deletes the kept recording.
    copyFixture(fixture, copy);
    voice->transcribeRecording = alwaysFail;
    try {
        co_await voice->completeRecording(copy, *locale);
    } catch (...) {
        // expected: the recording is kept for a retry
    }
    voice->cancel();
    if (voice->canRetry() || QFileInfo::exists(copy))
        failWith(QStringLiteral("取消后仍保留录音"));

    panel->dismiss();
}

} // namespace Kivaro::VoiceRetryVerification
