#include "TellumoCore/TextRecognizer.h"

#include "TellumoCore/ScreenRegionCapture.h"
#include "TellumoCore/TellumoError.h"
#include "TellumoCore/internal/OcrEngines.h"
#include "TellumoCore/internal/RecognitionPipeline.h"
#include "TellumoCore/internal/RecognitionWorkers.h"

#include "Platform/Async/Awaitables.h"

#include <QFont>
#include <QPainter>
#include <QtConcurrent/QtConcurrentRun>

#include <cmath>
#include <exception>
#include <functional>
#include <optional>

namespace Tellumo {

using namespace detail;

namespace {

TellumoError refused(TextRecognizer::ErrorCode code, const QString &key)
{
    return TellumoError(QString::fromLatin1(TextRecognizer::errorDomain), code, key);
}

// The picture as it is read: itself (the pipeline reads any format, transparent parts as on
// white, and copies it once, into its frame), or scaled down to maxReadPixels.
QImage readableVersion(const QImage &image)
{
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        throw refused(TextRecognizer::imageRefused, tellumoKey("识字图片为空。"));
    const qint64 pixels = qint64(image.width()) * image.height();
    if (pixels > TextRecognizer::maxPixels)
        throw refused(TextRecognizer::imageTooLarge, tellumoKey("识字图片超过 4000 万像素，请选择更小的区域。"));
    if (pixels <= TextRecognizer::maxReadPixels)
        return image;
    const double factor = std::sqrt(double(TextRecognizer::maxReadPixels) / double(pixels));
    return image.scaled(std::max(1, int(image.width() * factor)), std::max(1, int(image.height() * factor)), Qt::IgnoreAspectRatio,
                        Qt::SmoothTransformation);
}

// The ink analysis of a large picture takes more memory (about 12 bytes a pixel: 100 MB for a
// 4K screen) than the idle engines hold beyond their start: they end before it, and the reading
// starts them again, fewer of them, once the analysis has let its maps go (a few tenths of a
// second more on a 4K screen, against about 200 MB less at the peak).
QString read(const QImage &image, const std::atomic<bool> *cancel = nullptr)
{
    const QImage readable = readableVersion(image);
    std::optional<OcrEngines::LargePictureScope> large;
    if (qint64(readable.width()) * readable.height() > OcrEngines::kLargePicturePixels)
        large.emplace();
    return recognizeImage(readable, {}, cancel);
}

struct Outcome {
    QString text;
    std::exception_ptr error;
};

// Runs `work` on a recognition worker and resumes with its text; cancelling the awaiting task
// raises the worker's cancel flag.
using Work = std::function<QString(const std::atomic<bool> *)>;

Platform::Task<QString> onWorker(Work work)
{
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    const Platform::CancellationTokenPtr token = co_await Platform::currentToken();
    token->checkCancellation();
    const auto waker = token->addWaker([cancel] { cancel->store(true); });
    QFuture<Outcome> future = QtConcurrent::run(&recognitionPool(), [work = std::move(work), cancel] {
        Outcome outcome;
        try {
            outcome.text = work(cancel.get());
        } catch (...) {
            outcome.error = std::current_exception();
        }
        return outcome;
    });
    Outcome outcome;
    std::exception_ptr waitError;
    try {
        auto finished = Platform::future(future);
        outcome = co_await finished;
    } catch (...) {
        waitError = std::current_exception();
    }
    token->removeWaker(waker);
    if (waitError)
        std::rethrow_exception(waitError);
    if (outcome.error) {
        try {
            std::rethrow_exception(outcome.error);
        } catch (const RecognitionCancelled &) {
            throw Platform::CancellationError();
        }
    }
    co_return outcome.text;
}

QImage warmUpSample()
{
    QImage sample(320, 90, QImage::Format_RGB32);
    sample.fill(Qt::white);
    QPainter painter(&sample);
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei")});
    font.setPixelSize(32);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QPoint(12, 58), QStringLiteral("截图识字 Tellumo"));
    return sample;
}

} // namespace

QString TextRecognizer::recognizeNow(const QImage &image)
{
    return read(image);
}

// GCC 12 destroys a temporary with a destructor written inside a co_await expression twice
// (Platform/Async/Awaitables.h): the work and its task are named locals.
Platform::Task<QString> TextRecognizer::recognize(QImage image)
{
    Work work = [image = std::move(image)](const std::atomic<bool> *cancel) { return read(image, cancel); };
    Platform::Task<QString> task = onWorker(std::move(work));
    co_return co_await std::move(task);
}

Platform::Task<QString> TextRecognizer::recognizeFile(QString path)
{
    Work work = [path = std::move(path)](const std::atomic<bool> *cancel) {
        return read(ScreenRegionCapture::decodeCapture(path), cancel);
    };
    Platform::Task<QString> task = onWorker(std::move(work));
    co_return co_await std::move(task);
}

Platform::Task<bool> TextRecognizer::prewarm()
{
    const QImage sample = warmUpSample();
    QFuture<bool> future = QtConcurrent::run([sample] {
        try {
            warmWorkers({OcrModel::simplified, OcrModel::traditional, OcrModel::english});
            return !recognizeImage(sample).isEmpty();
        } catch (...) {
            return false;
        }
    });
    auto finished = Platform::future(future);
    co_return co_await finished;
}

} // namespace Tellumo
