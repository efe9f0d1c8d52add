#include "Platform/Speech/SpeechRecognizer.h"

#include "Platform/Async/Awaitables.h"
#include "Platform/Audio/WavFile.h"
#include "Platform/Speech/PocketSphinxEngine.h"
#include "Platform/Speech/WhisperEngine.h"

#include <QFile>
#include <QtConcurrent/QtConcurrent>

namespace Platform {

namespace {

QString languageOf(const QString &identifier)
{
    return identifier.section(QLatin1Char('-'), 0, 0).section(QLatin1Char('_'), 0, 0).toLower();
}

Task<void> loadOffThread(std::shared_ptr<SpeechEngine> engine)
{
    // Started outside the co_await expression: GCC 12 destroys a lambda temporary inside one
    // twice, and this one holds the engine.
    auto work = QtConcurrent::run([engine]() -> std::exception_ptr {
        try {
            engine->load();
            return nullptr;
        } catch (...) {
            return std::current_exception();
        }
    });
    const std::exception_ptr error = co_await Platform::future(work);
    if (error)
        std::rethrow_exception(error);
}

Task<ModelInstaller::Installed> checkedOffThread(ModelAsset asset, QString folder, bool remember)
{
    auto work = QtConcurrent::run([asset, folder, remember] { return ModelInstaller::checkInstalled(asset, folder, remember); });
    co_return co_await Platform::future(work);
}

} // namespace

QString joinTranscript(const std::vector<QString> &pieces)
{
    QString text;
    for (const QString &piece : pieces)
        text += piece;
    return text.trimmed();
}

SpeechRecognizer::SpeechRecognizer() : SpeechRecognizer(Options()) {}

SpeechRecognizer::SpeechRecognizer(Options options) : m_options(std::move(options))
{
    if (m_options.sphinxFolder.isEmpty())
        m_options.sphinxFolder = PocketSphinxEngine::defaultModelFolder();
}

QString SpeechRecognizer::supportedLocale(const QString &identifier)
{
    const QString language = languageOf(identifier);
    if (language == QLatin1String("zh"))
        return QStringLiteral("zh-CN");
    if (language == QLatin1String("en"))
        return QStringLiteral("en-US");
    if (language.size() >= 2 && language.size() <= 3 && WhisperEngine::knowsLanguage(language))
        return language;
    return QString();
}

std::shared_ptr<SpeechEngine> SpeechRecognizer::engineFor(const QString &locale) const
{
    const auto it = m_byLanguage.find(languageOf(locale));
    return it == m_byLanguage.end() ? nullptr : it->second;
}

Task<std::shared_ptr<SpeechEngine>> SpeechRecognizer::whisper(ModelInstaller::Progress progress)
{
    if (m_whisper)
        co_return m_whisper;
    QString path = ModelInstaller::installedPath(m_options.whisperModel, m_options.modelFolder);
    if (!path.isEmpty()) {
        const ModelInstaller::Installed state =
            co_await checkedOffThread(m_options.whisperModel, m_options.modelFolder, m_options.allowDownload);
        // whisper's loader ends the process on some damage: a damaged file never reaches it.
        if (state == ModelInstaller::Installed::damaged) {
            if (m_options.allowDownload)
                QFile::remove(path);
            throw SpeechError(SpeechError::Kind::load, path + QStringLiteral(" is not the published model"));
        }
        if (state == ModelInstaller::Installed::missing)
            path.clear(); // removed meanwhile
    }
    if (path.isEmpty()) {
        if (!m_options.allowDownload)
            throw SpeechError(SpeechError::Kind::unsupported, QStringLiteral("no whisper model installed"));
        path = co_await ModelInstaller::install(m_options.whisperModel, m_options.modelFolder, std::move(progress),
                                                m_options.network, m_options.downloadIdleTimeoutMs);
    }
    auto engine = std::make_shared<WhisperEngine>(path);
    co_await loadOffThread(engine);
    m_whisper = engine;
    co_return engine;
}

Task<std::shared_ptr<SpeechEngine>> SpeechRecognizer::sphinx()
{
    if (m_sphinx)
        co_return m_sphinx;
    std::shared_ptr<SpeechEngine> loaded = std::make_shared<PocketSphinxEngine>(m_options.sphinxFolder);
    co_await loadOffThread(loaded);
    m_sphinx = loaded;
    co_return loaded;
}

Task<QString> SpeechRecognizer::prepare(QString identifier, ModelInstaller::Progress progress)
{
    const QString locale = supportedLocale(identifier);
    if (locale.isEmpty())
        throw SpeechError(SpeechError::Kind::unsupported, QStringLiteral("no engine knows ") + identifier);
    const QString language = languageOf(locale);
    if (engineFor(locale))
        co_return locale;
    std::exception_ptr whisperError;
    std::shared_ptr<SpeechEngine> engine;
    try {
        engine = co_await whisper(std::move(progress));
    } catch (const SpeechError &) {
        whisperError = std::current_exception();
    }
    // whisper's model is absent and could not be had: English still has pocketsphinx.
    if (!engine && language == QLatin1String("en") && PocketSphinxEngine::isInstalled(m_options.sphinxFolder))
        engine = co_await sphinx();
    if (engine) {
        m_byLanguage[language] = engine;
        co_return locale;
    }
    std::rethrow_exception(whisperError);
}

Task<QString> SpeechRecognizer::transcribe(QString path, QString locale)
{
    std::shared_ptr<SpeechEngine> engine = engineFor(locale);
    if (!engine) {
        co_await prepare(locale);
        engine = engineFor(locale);
    }
    const QString language = languageOf(locale);
    auto abort = std::make_shared<std::atomic<bool>>(false);
    using Outcome = std::pair<QString, std::exception_ptr>;
    auto work = QtConcurrent::run([engine, path, language, abort]() -> Outcome {
        try {
            QString error;
            const std::optional<PcmAudio> audio = readWav(path, &error);
            if (!audio)
                throw SpeechError(SpeechError::Kind::unreadable, error);
            return {engine->transcribe(monoFloat(*audio, SpeechEngine::sampleRate), language, *abort), nullptr};
        } catch (...) {
            return {QString(), std::current_exception()};
        }
    });
    Outcome outcome;
    try {
        outcome = co_await Platform::future(work);
    } catch (...) {
        abort->store(true);
        throw;
    }
    if (outcome.second)
        std::rethrow_exception(outcome.second);
    co_return outcome.first;
}

} // namespace Platform
