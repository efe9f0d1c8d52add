#include "TellumoCore/internal/OcrEngines.h"

#include "TellumoCore/TellumoError.h"
#include "TellumoCore/TextRecognizer.h"

#include <QDir>
#include <QFileInfo>

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <array>
#include <memory>
#include <mutex>

namespace Tellumo::detail::OcrEngines {

namespace {

constexpr int kModels = 4;

QString findDataFolder()
{
    QStringList candidates;
    const QString prefix = qEnvironmentVariable("TESSDATA_PREFIX");
    if (!prefix.isEmpty())
        candidates << prefix << prefix + QStringLiteral("/tessdata");
    else
        candidates << QStringLiteral("/usr/share/tesseract-ocr/5/tessdata") << QStringLiteral("/usr/share/tesseract-ocr/4.00/tessdata")
                   << QStringLiteral("/usr/share/tessdata") << QStringLiteral("/usr/local/share/tessdata");
    for (const QString &folder : std::as_const(candidates)) {
        for (const char *language : {"chi_sim", "chi_tra", "eng"}) {
            if (QFileInfo(folder + QLatin1Char('/') + QLatin1String(language) + QStringLiteral(".traineddata")).isFile())
                return folder;
        }
    }
    return {};
}

const QString &dataFolder()
{
    static const QString folder = findDataFolder();
    return folder;
}

bool hasLanguage(const char *language)
{
    return !dataFolder().isEmpty() &&
           QFileInfo(dataFolder() + QLatin1Char('/') + QLatin1String(language) + QStringLiteral(".traineddata")).isFile();
}

QString languagesOf(OcrModel model)
{
    return model == OcrModel::combined ? combinedLanguages() : (hasLanguage(languageOf(model)) ? QLatin1String(languageOf(model)) : QString());
}

TellumoError unavailable(OcrModel model)
{
    return TellumoError(QString::fromLatin1(TextRecognizer::errorDomain), TextRecognizer::engineUnavailable,
                        QStringLiteral("文字识别引擎无法启动：缺少语言数据（%1）。").arg(languagesOf(model).isEmpty() ? QString::fromLatin1(languageOf(model)) : languagesOf(model)));
}

// The engine's messages (resolution estimates, empty pages) go to its debug file, a setting
// shared by every engine of the process: set once, before the first engine starts.
void silenceEngineMessages(tesseract::TessBaseAPI &api)
{
    static std::once_flag once;
    std::call_once(once, [&api] { api.SetVariable("debug_file", "/dev/null"); });
}

struct ThreadEngines {
    std::array<std::unique_ptr<tesseract::TessBaseAPI>, kModels> engines;
    std::array<bool, kModels> failed{};

    ~ThreadEngines()
    {
        for (auto &engine : engines)
            if (engine)
                engine->End();
    }
};

tesseract::TessBaseAPI *engineFor(OcrModel model)
{
    thread_local ThreadEngines local;
    const int index = int(model);
    if (local.engines[size_t(index)])
        return local.engines[size_t(index)].get();
    if (local.failed[size_t(index)])
        return nullptr;
    const QString languages = languagesOf(model);
    auto api = std::make_unique<tesseract::TessBaseAPI>();
    silenceEngineMessages(*api);
    if (languages.isEmpty() || api->Init(QFile::encodeName(dataFolder()).constData(), languages.toLatin1().constData(), tesseract::OEM_LSTM_ONLY) != 0) {
        local.failed[size_t(index)] = true;
        return nullptr;
    }
    local.engines[size_t(index)] = std::move(api);
    return local.engines[size_t(index)].get();
}

bool cancelRequested(void *flag, int)
{
    return static_cast<const std::atomic<bool> *>(flag)->load(std::memory_order_relaxed);
}

} // namespace

const char *languageOf(OcrModel model)
{
    switch (model) {
    case OcrModel::simplified:
        return "chi_sim";
    case OcrModel::traditional:
        return "chi_tra";
    case OcrModel::english:
        return "eng";
    case OcrModel::combined:
        break;
    }
    return "chi_sim+chi_tra+eng";
}

QString combinedLanguages()
{
    QStringList installed;
    for (const char *language : {"chi_sim", "chi_tra", "eng"})
        if (hasLanguage(language))
            installed << QLatin1String(language);
    return installed.join(QLatin1Char('+'));
}

bool isAvailable(OcrModel model)
{
    return !languagesOf(model).isEmpty();
}

void requireAnyModel()
{
    if (!isAvailable(OcrModel::combined))
        throw unavailable(OcrModel::combined);
}

bool warm(OcrModel model)
{
    return engineFor(model) != nullptr;
}

OcrReading read(OcrModel model, const QImage &picture, const ReadRequest &request)
{
    tesseract::TessBaseAPI *api = engineFor(model);
    if (!api)
        throw unavailable(model);
    Q_ASSERT(picture.format() == QImage::Format_Grayscale8);
    switch (request.layout) {
    case PageLayout::automatic:
        api->SetPageSegMode(tesseract::PSM_AUTO);
        break;
    case PageLayout::singleLine:
        api->SetPageSegMode(tesseract::PSM_SINGLE_LINE);
        break;
    case PageLayout::rawLine:
        api->SetPageSegMode(tesseract::PSM_RAW_LINE);
        break;
    }
    api->SetVariable("tessedit_do_invert", request.retryInverted ? "1" : "0");
    api->SetImage(picture.constBits(), picture.width(), picture.height(), 1, int(picture.bytesPerLine()));
    api->SetSourceResolution(300);

    OcrReading reading;
    const std::atomic<bool> *cancel = request.cancel;
    tesseract::ETEXT_DESC monitor;
    if (cancel) {
        monitor.cancel = &cancelRequested;
        monitor.cancel_this = const_cast<std::atomic<bool> *>(cancel);
    }
    if (api->Recognize(&monitor) != 0 || (cancel && cancel->load())) {
        reading.cancelled = cancel && cancel->load();
        api->Clear();
        return reading;
    }
    std::unique_ptr<tesseract::ResultIterator> lines(api->GetIterator());
    if (lines) {
        do {
            const std::unique_ptr<char[]> text(lines->GetUTF8Text(tesseract::RIL_TEXTLINE));
            if (text)
                reading.lines << QString::fromUtf8(text.get()).trimmed();
        } while (lines->Next(tesseract::RIL_TEXTLINE));
    }
    if (request.withSymbols) {
        std::unique_ptr<tesseract::ResultIterator> symbols(api->GetIterator());
        if (symbols) {
            do {
                const std::unique_ptr<char[]> text(symbols->GetUTF8Text(tesseract::RIL_SYMBOL));
                int left = 0, top = 0, right = 0, bottom = 0;
                if (text && symbols->BoundingBox(tesseract::RIL_SYMBOL, &left, &top, &right, &bottom))
                    reading.symbols.push_back({QString::fromUtf8(text.get()), QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)),
                                               symbols->Confidence(tesseract::RIL_SYMBOL)});
            } while (symbols->Next(tesseract::RIL_SYMBOL));
        }
    }
    reading.confidence = float(api->MeanTextConf());
    api->Clear();
    return reading;
}

} // namespace Tellumo::detail::OcrEngines
