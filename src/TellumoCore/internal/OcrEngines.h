#pragma once
// The recognition engines (Tesseract 5, LSTM) of the calling thread.
//
// Starting an engine reads its models from disk and costs about 0.2 s a language, and a started
// Chinese engine holds about 45 MB (an English one about 15 MB), so engines are kept in one pool
// the reading threads borrow from: at most kDefaultEngines of English and of the combined model,
// kEnginesOfOneScript of each Chinese script and kChineseEngines of the two together (fewer
// while a large picture is read; a model without any engine ends an idle one of the other
// script; one that has one waits for it), started when first needed (or by warm), used by one
// thread at a time, and ended together once none has been lent for the idle period, when the
// memory they held goes back to the system. The next read starts them again.
//
// What an engine holds grows with the widest picture it has read (its beam search keeps the
// steps of the widest line it met), so a line picture wider than kWidestSlice is read in slices
// (LineSlices.h), one after another with the same engine, and given back as one line. Blocks
// of 128 KB or more are mapped on their own for the whole process once the pool exists (see
// the pool's constructor): freed, they go back to the system at once.
//
// The models: Simplified Chinese, Traditional Chinese, English, and the combined engine of all
// three that the engine's own language choice runs. A model whose data is not installed is
// unavailable; the combined model holds those of the three that are installed.
//
// The data folder is $TESSDATA_PREFIX (the folder of the .traineddata files, or its parent),
// else the first of the distribution's usual folders that holds any of the three languages.

#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <vector>

namespace Tellumo::detail {

enum class OcrModel { combined, simplified, traditional, english };

enum class PageLayout {
    automatic,  // the engine finds blocks and lines itself
    singleLine, // the picture is one line of text
    rawLine,    // one line, without the engine's own search for characters in it
};

struct OcrSymbol {
    QString text;
    QRect box; // in the picture's pixels; the engine places Chinese characters only roughly
    float confidence = 0;
};

struct OcrReading {
    QStringList lines;     // one per text line, as the engine wrote it
    float confidence = 0;  // mean word confidence, 0 to 100
    std::vector<OcrSymbol> symbols; // only when asked for
    bool cancelled = false;
    bool busy = false; // not read: no engine was free (see EngineUse)
};

// Whether a read waits for an engine of its model when all are lent: `ifFree` reads only with an
// engine free now (idle, or started when there is room), `ifIdle` only with an idle one.
enum class EngineUse { wait, ifFree, ifIdle };

namespace OcrEngines {

bool isAvailable(OcrModel model);
// Throws the error of read() when no model at all is available.
void requireAnyModel();
// "chi_sim+chi_tra+eng" with the installed ones, or empty.
QString combinedLanguages();
// The language code of a single model, "chi_sim", "chi_tra" or "eng".
const char *languageOf(OcrModel model);

// Reads a Format_Grayscale8 picture with this thread's engine for `model`. `retryInverted` lets
// the engine read a poorly recognised line again inverted (its default); `withSymbols` lists the
// characters with their boxes. Stops early, with `cancelled` set, once `*cancel` is true; returns
// at once with `busy` set when `engine` does not allow waiting and no engine is free. Throws
// TellumoError (domain "Tellumo.TextRecognition", code 1) when the model is unavailable or its
// engine does not start.
struct ReadRequest {
    PageLayout layout = PageLayout::singleLine;
    bool retryInverted = false;
    bool withSymbols = false;
    const std::atomic<bool> *cancel = nullptr;
    EngineUse engine = EngineUse::wait;
};
OcrReading read(OcrModel model, const QImage &picture, const ReadRequest &request);

constexpr int kDefaultEngines = 2;
// A Chinese screen's lines wait for the engines of its script: every line is read with them,
// while English and the other script read only some. A Chinese engine holds about 45 MB: two of
// each script keep a process that has read a few dozen varied screens below 350 MB (three of
// the screen's script held about 360 MB), and read them as fast as three and two did once wide
// lines are read in slices (measured on the held-out screens and the benchmark's corpus).
constexpr int kEnginesOfOneScript = 2;
constexpr int kChineseEngines = 4;
// While a picture larger than 2560 × 1600 is read, at most this many of them, half of each
// script; its ink analysis alone takes 100 MB or more, so the idle ones end before it.
constexpr int kChineseEnginesForLargePictures = 4;
constexpr qint64 kLargePicturePixels = 2560 * 1600;
constexpr std::chrono::milliseconds kDefaultIdlePeriod{120'000};

// Starts engines of `model` now, up to `count` and what its limits leave room for. Returns
// whether they run.
bool warm(OcrModel model, int count = kEnginesOfOneScript);

// While one lives, the Chinese engines are held to kChineseEnginesForLargePictures: the idle
// ones end now, and those lent beyond the room end when given back.
class LargePictureScope {
public:
    LargePictureScope();
    ~LargePictureScope();
    LargePictureScope(const LargePictureScope &) = delete;
    LargePictureScope &operator=(const LargePictureScope &) = delete;
};
// For benchmarks and tests: the number of engines a model may have, and the idle period.
void setEngineLimit(OcrModel model, int limit);
void setIdlePeriod(std::chrono::milliseconds period);
std::chrono::milliseconds idlePeriod();
// The engines started now, lent or idle; and how many were started since the process began.
int startedEngines();
int engineStarts();
// The widest picture an engine has been given since the process began, in pixels.
int widestPictureRead();
// Ends the engines no thread is reading with now; the next reads start them again.
void endIdleEngines();
// Hands memory the process freed back to the system.
void releaseFreedMemory();

} // namespace OcrEngines

} // namespace Tellumo::detail
