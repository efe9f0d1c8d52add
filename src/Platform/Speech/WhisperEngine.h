#pragma once
// whisper.cpp with a multilingual model file; one loaded model serves every language.

#include "Platform/Speech/SpeechEngine.h"

#include <mutex>

struct whisper_context;

namespace Platform {

class WhisperEngine final : public SpeechEngine {
public:
    explicit WhisperEngine(QString modelPath, int threads = 0);
    ~WhisperEngine() override;

    QString name() const override { return QStringLiteral("whisper"); }
    void load() override;
    QString transcribe(const std::vector<float> &samples, const QString &language, const std::atomic<bool> &abort) override;

    // Whether whisper knows the language code.
    static bool knowsLanguage(const QString &language);

private:
    QString m_modelPath;
    int m_threads;
    std::mutex m_mutex;
    whisper_context *m_context = nullptr;
};

} // namespace Platform
