#pragma once
// The speech engines as the voice notes use them: for a locale identifier ("zh-CN", "en-US")
// `prepare` chooses an engine and loads its model once, and `transcribe` turns a WAV file into
// text. whisper serves every language it knows; its model is installed on first use. Where
// that model is absent and cannot be installed (offline), pocketsphinx serves English. A
// language no installed engine serves is refused with SpeechError(unsupported).
//
// An installed whisper model is checked against its published digest before it is loaded; a
// damaged one fails with SpeechError(load) and is removed, so that the next preparation
// downloads it again (kept where downloads are not allowed).
//
// Loading and recognition run off the main thread; the awaiting side stays on it. Main thread
// only.

#include "Platform/Async/Task.h"
#include "Platform/Speech/ModelInstaller.h"
#include "Platform/Speech/SpeechEngine.h"

#include <map>
#include <memory>

namespace Platform {

class SpeechRecognizer {
public:
    struct Options {
        QString modelFolder = speechModelFolder();
        ModelAsset whisperModel = whisperBaseModel();
        QString sphinxFolder;          // empty: the system's model folder
        bool allowDownload = true;     // false: use only what is installed, and write nothing
        QNetworkAccessManager *network = nullptr;
        int downloadIdleTimeoutMs = ModelInstaller::defaultIdleTimeoutMs;
    };

    SpeechRecognizer();
    explicit SpeechRecognizer(Options options);

    // The locale the engines would serve for `identifier` ("zh-CN" for "zh_CN", "zh-Hans", ...),
    // or empty when none knows its language.
    static QString supportedLocale(const QString &identifier);

    // Prepares the engine for `identifier` and returns the supported locale. Throws
    // SpeechError or CancellationError.
    Task<QString> prepare(QString identifier, ModelInstaller::Progress progress = {});
    // Transcribes a WAV file spoken in `locale` (prepared first when it was not). Throws
    // SpeechError (unreadable, failed, ...) or CancellationError; the engine is told to stop.
    Task<QString> transcribe(QString path, QString locale);

    // The engine prepared for `locale`'s language, or null.
    std::shared_ptr<SpeechEngine> engineFor(const QString &locale) const;

private:
    Task<std::shared_ptr<SpeechEngine>> whisper(ModelInstaller::Progress progress);
    Task<std::shared_ptr<SpeechEngine>> sphinx();

    Options m_options;
    std::shared_ptr<SpeechEngine> m_whisper;
    std::shared_ptr<SpeechEngine> m_sphinx;
    std::map<QString, std::shared_ptr<SpeechEngine>> m_byLanguage;
};

} // namespace Platform
