#include "Platform/Speech/PocketSphinxEngine.h"

#include <QFile>
#include <QFileInfo>

#include <pocketsphinx.h>

#include <algorithm>
#include <cmath>

namespace Platform {

PocketSphinxEngine::PocketSphinxEngine(QString modelFolder) : m_folder(std::move(modelFolder)) {}

PocketSphinxEngine::~PocketSphinxEngine()
{
    if (m_decoder)
        ps_free(m_decoder);
    if (m_config)
        cmd_ln_free_r(m_config);
}

QString PocketSphinxEngine::defaultModelFolder()
{
    return QStringLiteral(POCKETSPHINX_MODEL_FOLDER);
}

bool PocketSphinxEngine::isInstalled(const QString &folder)
{
    return QFileInfo(folder + QStringLiteral("/en-us/mdef")).isFile()
        && QFileInfo(folder + QStringLiteral("/en-us.lm.bin")).isFile()
        && QFileInfo(folder + QStringLiteral("/cmudict-en-us.dict")).isFile();
}

void PocketSphinxEngine::load()
{
    std::lock_guard lock(m_mutex);
    if (m_decoder)
        return;
    if (!isInstalled(m_folder))
        throw SpeechError(SpeechError::Kind::load, QStringLiteral("pocketsphinx model missing in ") + m_folder);
    const QByteArray hmm = QFile::encodeName(m_folder + QStringLiteral("/en-us"));
    const QByteArray lm = QFile::encodeName(m_folder + QStringLiteral("/en-us.lm.bin"));
    const QByteArray dict = QFile::encodeName(m_folder + QStringLiteral("/cmudict-en-us.dict"));
    m_config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.constData(), "-lm", lm.constData(), "-dict",
                           dict.constData(), "-logfn", "/dev/null", "-samprate", "16000", nullptr);
    if (m_config)
        m_decoder = ps_init(m_config);
    if (!m_decoder)
        throw SpeechError(SpeechError::Kind::load, QStringLiteral("pocketsphinx cannot load its model"));
}

QString PocketSphinxEngine::transcribe(const std::vector<float> &samples, const QString &, const std::atomic<bool> &abort)
{
    std::lock_guard lock(m_mutex);
    if (!m_decoder)
        throw SpeechError(SpeechError::Kind::load, QStringLiteral("pocketsphinx model not loaded"));
    if (ps_start_utt(m_decoder) < 0)
        throw SpeechError(SpeechError::Kind::failed, QStringLiteral("pocketsphinx cannot start"));
    constexpr size_t block = 2048;
    int16 buffer[block];
    for (size_t at = 0; at < samples.size() && !abort.load(); at += block) {
        const size_t n = std::min(block, samples.size() - at);
        for (size_t i = 0; i < n; ++i)
            buffer[i] = int16(std::lround(std::clamp(samples[at + i], -1.0f, 1.0f) * 32767.0f));
        if (ps_process_raw(m_decoder, buffer, n, FALSE, FALSE) < 0) {
            ps_end_utt(m_decoder);
            throw SpeechError(SpeechError::Kind::failed, QStringLiteral("pocketsphinx failed on the audio"));
        }
    }
    ps_end_utt(m_decoder);
    if (abort.load())
        return QString();
    int32 score = 0;
    const char *hyp = ps_get_hyp(m_decoder, &score);
    return hyp ? QString::fromUtf8(hyp).trimmed() : QString();
}

} // namespace Platform
