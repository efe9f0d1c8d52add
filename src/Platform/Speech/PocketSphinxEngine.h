#pragma once
// pocketsphinx with the system's US English acoustic model, language model and dictionary.

#include "Platform/Speech/SpeechEngine.h"

#include <mutex>

struct ps_decoder_s;
struct cmd_ln_s;

namespace Platform {

class PocketSphinxEngine final : public SpeechEngine {
public:
    // `modelFolder`: the folder holding "en-us/" (the acoustic model), "en-us.lm.bin" and
    // "cmudict-en-us.dict".
    explicit PocketSphinxEngine(QString modelFolder = defaultModelFolder());
    ~PocketSphinxEngine() override;

    QString name() const override { return QStringLiteral("pocketsphinx"); }
    void load() override;
    QString transcribe(const std::vector<float> &samples, const QString &language, const std::atomic<bool> &abort) override;

    static QString defaultModelFolder();
    // Whether the model files are installed in `modelFolder`.
    static bool isInstalled(const QString &modelFolder = defaultModelFolder());

private:
    QString m_folder;
    std::mutex m_mutex;
    cmd_ln_s *m_config = nullptr;
    ps_decoder_s *m_decoder = nullptr;
};

} // namespace Platform
