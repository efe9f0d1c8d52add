#include "Platform/Speech/WhisperEngine.h"

#include "Platform/Speech/internal/WhisperModelFile.h"

#include <QFile>
#include <QThread>

#include <whisper.h>

#include <algorithm>
#include <cstdlib>

namespace Platform {

namespace {

// When one of ggml's assertions fails, or an exception escapes anywhere in the process (ggml
// installs its own terminate handler when its library is loaded), ggml prints a backtrace by
// forking and attaching a debugger (gdb, then lldb) to the process. That switch is ggml's own
// environment variable, read at each failure; it is set before main, while the process has one
// thread.
const bool noDebuggerBacktraces = ::setenv("GGML_NO_BACKTRACE", "1", 1) == 0;

// whisper reports every load step on standard error; keep its warnings and errors only.
void quietLog(enum ggml_log_level level, const char *text, void *)
{
    if (level >= GGML_LOG_LEVEL_WARN && text)
        fputs(text, stderr);
}

bool abortRequested(void *data)
{
    return static_cast<const std::atomic<bool> *>(data)->load();
}

} // namespace

WhisperEngine::WhisperEngine(QString modelPath, int threads)
    : m_modelPath(std::move(modelPath)),
      m_threads(threads > 0 ? threads : std::clamp(QThread::idealThreadCount(), 1, 4))
{
}

WhisperEngine::~WhisperEngine()
{
    if (m_context)
        whisper_free(m_context);
}

bool WhisperEngine::knowsLanguage(const QString &language)
{
    return whisper_lang_id(language.toLatin1().constData()) >= 0;
}

void WhisperEngine::load()
{
    std::lock_guard lock(m_mutex);
    if (m_context)
        return;
    whisper_log_set(quietLog, nullptr);
    (void)noDebuggerBacktraces;
    if (const auto fault = detail::whisperModelFault(m_modelPath))
        throw SpeechError(SpeechError::Kind::load, QStringLiteral("whisper cannot load %1: %2").arg(m_modelPath, *fault));
    whisper_context_params params = whisper_context_default_params();
    params.use_gpu = false;
    m_context = whisper_init_from_file_with_params(QFile::encodeName(m_modelPath).constData(), params);
    if (!m_context)
        throw SpeechError(SpeechError::Kind::load, QStringLiteral("whisper cannot load ") + m_modelPath);
}

QString WhisperEngine::transcribe(const std::vector<float> &samples, const QString &language, const std::atomic<bool> &abort)
{
    std::lock_guard lock(m_mutex);
    if (!m_context)
        throw SpeechError(SpeechError::Kind::load, QStringLiteral("whisper model not loaded"));
    const QByteArray code = language.toLatin1();
    whisper_full_params params = whisper_full_default_params(WHISPER_SAMPLING_GREEDY);
    params.n_threads = m_threads;
    params.language = code.constData();
    params.translate = false;
    params.no_timestamps = true;
    params.print_progress = false;
    params.print_realtime = false;
    params.print_special = false;
    params.print_timestamps = false;
    params.abort_callback = abortRequested;
    params.abort_callback_user_data = const_cast<std::atomic<bool> *>(&abort);
    // whisper works on windows of at least one second; pad shorter notes with silence.
    std::vector<float> padded = samples;
    if (padded.size() < size_t(sampleRate) + size_t(sampleRate) / 10)
        padded.resize(size_t(sampleRate) + size_t(sampleRate) / 10, 0.0f);
    int rc = 0;
    try {
        rc = whisper_full(m_context, params, padded.data(), int(padded.size()));
    } catch (const std::exception &error) {
        // A model that loaded but does not hold what its header promised (no weights, a
        // vocabulary that does not fit) fails here, from the C++ underneath the C interface.
        throw SpeechError(SpeechError::Kind::failed, QStringLiteral("whisper failed: %1").arg(QString::fromUtf8(error.what())));
    }
    if (abort.load())
        return QString();
    if (rc != 0)
        throw SpeechError(SpeechError::Kind::failed, QStringLiteral("whisper failed (%1)").arg(rc));
    std::vector<QString> pieces;
    const int segments = whisper_full_n_segments(m_context);
    for (int i = 0; i < segments; ++i)
        pieces.push_back(QString::fromUtf8(whisper_full_get_segment_text(m_context, i)));
    return joinTranscript(pieces);
}

} // namespace Platform
