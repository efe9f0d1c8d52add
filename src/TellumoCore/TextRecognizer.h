#pragma once
// Recognises the text in an image on the device, with the Tesseract engine's LSTM models for
// Simplified Chinese, Traditional Chinese and English (those installed).
//
// The result is the recognised lines in reading order, joined by line feeds and trimmed at both
// ends; blank lines inside stay. An image without text gives the empty string, not an error:
// what an empty result means is the caller's business.
//
// Threads: the operations are tasks started on the main thread; the work runs on the
// recognition workers (internal/RecognitionWorkers.h) on a copy of the image, and the task
// resumes on the main thread. Cancelling the task ends its wait at once with
// Platform::CancellationError and stops the worker at its next line. Engines take a while to
// start and hold memory, so the workers share a few started engines, which end after two
// minutes without recognition and start again with the next one; `prewarm` starts them, off
// the main thread, so that the first recognition does not pay for them (call it when a capture
// that may end in recognition begins). The memory a recognition used for a moment goes back to
// the system when it ends; a picture larger than a 2560 x 1600 screen is analysed with the idle
// engines ended, as the analysis then takes more than they hold, and read with them started
// again.
//
// Errors are TellumoError in the domain "Tellumo.TextRecognition": code 1 when no language data
// is installed or the engine does not start, code 2 for an empty image, code 3 for one larger
// than 40,000,000 pixels (its message asks for a smaller region: a caller that recognises a
// whole picture says so in its own words). Screens up to 6K are read at full resolution (scaled down, small text
// loses characters: a 5K screen of 12-pixel text read at a 4K screen's pixels lost nearly half
// again as many); larger images are scaled down to a 6K screen's pixel count. Large text is
// read smaller whatever the image's size. `recognizeFile` passes on the decoding errors of
// ScreenRegionCapture::decodeCapture.

#include "Platform/Async/Task.h"

#include <QImage>
#include <QString>

namespace Tellumo {

class TextRecognizer final {
public:
    static constexpr const char *errorDomain = "Tellumo.TextRecognition";
    enum ErrorCode { engineUnavailable = 1, imageRefused = 2, imageTooLarge = 3 };
    static constexpr qint64 maxPixels = 40'000'000;
    static constexpr qint64 maxReadPixels = 6144 * 3456;

    TextRecognizer() = delete;

    static Platform::Task<QString> recognize(QImage image);
    // The same for the first image of a file, decoded on the worker.
    static Platform::Task<QString> recognizeFile(QString path);
    // Starts the engines of every worker and reads a small sample once. True when the sample
    // gave text; never throws (a cancelled wait still ends with CancellationError).
    static Platform::Task<bool> prewarm();

    // The work itself, on the calling thread: for workers and benchmarks, never the main thread.
    static QString recognizeNow(const QImage &image);
};

} // namespace Tellumo
