#include "TellumoCore/internal/OcrEngines.h"

#include "TellumoCore/TellumoError.h"
#include "TellumoCore/TextRecognizer.h"
#include "TellumoCore/internal/LineSlices.h"

#include <QDir>
#include <QFileInfo>

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <thread>
#include <vector>

#include <malloc.h>
#include <memory>
#include <mutex>
#include <optional>

namespace Tellumo::detail::OcrEngines {

namespace {

constexpr size_t kModels = 4;
constexpr int kOwnMappingBytes = 128 * 1024;

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
                        tellumoKey("文字识别引擎无法启动：缺少语言数据（%@）。"),
                        {languagesOf(model).isEmpty() ? QString::fromLatin1(languageOf(model)) : languagesOf(model)});
}

// The engine's messages (resolution estimates, empty pages) go to its debug file, a setting
// shared by every engine of the process: set once, before the first engine starts.
void silenceEngineMessages(tesseract::TessBaseAPI &api)
{
    static std::once_flag once;
    std::call_once(once, [&api] { api.SetVariable("debug_file", "/dev/null"); });
}

// The started engines, shared by the threads that read: a thread borrows an engine of the model
// it needs for one read and gives it back. Each model has at most its limit of engines; a
// thread that finds them all lent waits for one. Engines that have not been lent for the idle
// period are ended by a watcher thread, and the memory they held goes back to the system.
class EnginePool {
public:
    static EnginePool &instance()
    {
        static EnginePool *pool = new EnginePool; // lives as long as the process; never destroyed
        return *pool;
    }

    // An engine of `model`, started when there is room; null when the model cannot start, or,
    // unless `wait`, when every engine there is room for is lent right now (without `mayStart`:
    // when none is idle).
    tesseract::TessBaseAPI *borrow(OcrModel model, bool wait = true, bool mayStart = true)
    {
        const size_t index = size_t(model);
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (m_failed[index])
                return nullptr;
            if (!m_idle[index].empty()) {
                tesseract::TessBaseAPI *api = m_idle[index].back().release();
                m_idle[index].pop_back();
                ++m_lent;
                return api;
            }
            if (!mayStart)
                return nullptr;
            if (m_started[index] < limitOf(index)) {
                const Room room = isChinese(index) ? roomForChinese(index, lock) : Room::free;
                if (room == Room::free)
                    break;
                if (room == Room::made)
                    continue; // the lock was let go: look again
            }
            if (!wait)
                return nullptr;
            m_returned.wait(lock);
        }
        ++m_started[index];
        ++m_lent;
        lock.unlock();
        std::unique_ptr<tesseract::TessBaseAPI> api = start(model);
        lock.lock();
        if (!api) {
            --m_started[index];
            --m_lent;
            m_failed[index] = true;
            m_returned.notify_all();
            return nullptr;
        }
        ++m_starts;
        startWatcher();
        return api.release();
    }

    void giveBack(OcrModel model, tesseract::TessBaseAPI *api)
    {
        std::unique_ptr<tesseract::TessBaseAPI> ending;
        {
            std::lock_guard lock(m_mutex);
            --m_lent;
            if (isChinese(size_t(model)) && (chineseStarted() > chineseRoom() || m_started[size_t(model)] > limitOf(size_t(model)))) {
                --m_started[size_t(model)];
                ending.reset(api);
            } else {
                m_idle[size_t(model)].emplace_back(api);
            }
            m_lastUse = std::chrono::steady_clock::now();
            m_returned.notify_all();
            m_watch.notify_all();
        }
        if (ending) {
            ending->End();
            ending.reset();
            releaseFreedMemory();
        }
    }

    void beginLargePicture()
    {
        {
            std::lock_guard lock(m_mutex);
            ++m_largePictures;
        }
        endIdle();
    }

    void endLargePicture()
    {
        std::lock_guard lock(m_mutex);
        --m_largePictures;
        m_returned.notify_all(); // there may be room to start engines again
    }

    // Starts engines of `model` up to `count` (at most its limit), all idle afterwards.
    bool warm(OcrModel model, int count)
    {
        std::vector<tesseract::TessBaseAPI *> borrowed;
        bool ok = true;
        {
            std::unique_lock lock(m_mutex);
            count = std::min(count, limitOf(size_t(model)));
            // Warming one script never ends the other's engines.
            if (isChinese(size_t(model)))
                count = std::min(count, std::max(m_started[size_t(model)], chineseRoom() - chineseStarted() + m_started[size_t(model)]));
        }
        for (int i = 0; i < count; ++i) {
            // Borrowing them all at once makes each a distinct engine. Warming never waits for
            // an engine someone else holds: holding some while waiting for more would wait for
            // ever on a reader that holds one and waits for its helpers' (and they are warm).
            tesseract::TessBaseAPI *api = borrow(model, false);
            if (!api) {
                std::lock_guard lock(m_mutex);
                ok = !m_failed[size_t(model)];
                break;
            }
            borrowed.push_back(api);
        }
        for (tesseract::TessBaseAPI *api : borrowed)
            giveBack(model, api);
        return ok && count > 0;
    }

    void setLimit(OcrModel model, int limit)
    {
        std::lock_guard lock(m_mutex);
        m_limits[size_t(model)] = std::max(1, limit);
    }

    void setIdlePeriod(std::chrono::milliseconds period)
    {
        std::lock_guard lock(m_mutex);
        m_idlePeriod = period;
        m_watch.notify_all();
    }

    std::chrono::milliseconds idlePeriod()
    {
        std::lock_guard lock(m_mutex);
        return m_idlePeriod;
    }

    int started()
    {
        std::lock_guard lock(m_mutex);
        int all = 0;
        for (int count : m_started)
            all += count;
        return all;
    }

    bool failed(OcrModel model)
    {
        std::lock_guard lock(m_mutex);
        return m_failed[size_t(model)];
    }

    int starts()
    {
        std::lock_guard lock(m_mutex);
        return m_starts;
    }

private:
    EnginePool()
    {
        // The allocator returns a block of 128 KB or more to the system when it is freed only
        // while such blocks are mapped on their own, and by default it raises that threshold to
        // the largest block freed so far: after the first screen's pictures and ink maps (several
        // megabytes each) were freed, every later one came from the heaps, whose freed middle
        // stays resident among the engines' own blocks (about 35 MB more after a few dozen
        // screens). A fixed threshold keeps them mapped on their own, for the whole process.
        ::mallopt(M_MMAP_THRESHOLD, kOwnMappingBytes);
        m_limits.fill(kDefaultEngines);
        m_limits[size_t(OcrModel::simplified)] = m_limits[size_t(OcrModel::traditional)] = kEnginesOfOneScript;
    }

    static bool isChinese(size_t index) { return index == size_t(OcrModel::simplified) || index == size_t(OcrModel::traditional); }
    // Called with the lock held.
    int chineseStarted() const { return m_started[size_t(OcrModel::simplified)] + m_started[size_t(OcrModel::traditional)]; }
    int chineseRoom() const { return m_largePictures > 0 ? kChineseEnginesForLargePictures : kChineseEngines; }
    // While a large picture is read, the two scripts share the room evenly: its screens may be
    // of both.
    int limitOf(size_t index) const
    {
        return isChinese(index) && m_largePictures > 0 ? std::min(m_limits[index], kChineseEnginesForLargePictures / 2) : m_limits[index];
    }

    enum class Room { free, made, none };

    // Called with the lock held, for a Chinese model that may start another engine: whether the
    // Chinese engines leave room, or room was made by ending an idle one of the other script
    // (the lock let go meanwhile), or there is none until one is given back. Room is made only
    // for a model without any engine: a recognition reads both scripts one after the other, and
    // ending an engine of one to start another of the other, and back, cost more than waiting
    // for its own (a start takes longer than reading a few lines).
    Room roomForChinese(size_t index, std::unique_lock<std::mutex> &lock)
    {
        const size_t other = index == size_t(OcrModel::simplified) ? size_t(OcrModel::traditional) : size_t(OcrModel::simplified);
        if (chineseStarted() < chineseRoom())
            return Room::free;
        if (m_started[index] > 0 || m_idle[other].empty())
            return Room::none;
        std::unique_ptr<tesseract::TessBaseAPI> ending = std::move(m_idle[other].back());
        m_idle[other].pop_back();
        --m_started[other];
        lock.unlock();
        ending->End();
        ending.reset();
        lock.lock();
        m_returned.notify_all();
        return Room::made;
    }

    static std::unique_ptr<tesseract::TessBaseAPI> start(OcrModel model)
    {
        const QString languages = languagesOf(model);
        auto api = std::make_unique<tesseract::TessBaseAPI>();
        silenceEngineMessages(*api);
        if (languages.isEmpty() ||
            api->Init(QFile::encodeName(dataFolder()).constData(), languages.toLatin1().constData(), tesseract::OEM_LSTM_ONLY) != 0)
            return nullptr;
        return api;
    }

    // Called with the lock held.
    void startWatcher()
    {
        if (m_watcher)
            return;
        m_watcher = std::make_unique<std::thread>([this] { watch(); });
        m_watcher->detach();
    }

    void watch()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            const bool anyIdle = std::any_of(m_idle.begin(), m_idle.end(), [](const auto &engines) { return !engines.empty(); });
            if (!anyIdle) {
                m_watch.wait(lock);
                continue;
            }
            const auto due = m_lastUse + m_idlePeriod;
            if (std::chrono::steady_clock::now() < due || m_lent > 0) {
                m_watch.wait_until(lock, m_lent > 0 ? std::chrono::steady_clock::now() + m_idlePeriod : due);
                continue;
            }
            endIdle(lock);
        }
    }

public:
    // Ends every idle engine now; the lent ones stay.
    void endIdle()
    {
        std::unique_lock lock(m_mutex);
        endIdle(lock);
    }

private:
    // Called with the lock held; lets it go while the engines end.
    void endIdle(std::unique_lock<std::mutex> &lock)
    {
        std::array<std::vector<std::unique_ptr<tesseract::TessBaseAPI>>, kModels> ending;
        for (size_t i = 0; i < kModels; ++i) {
            m_started[i] -= int(m_idle[i].size());
            ending[i] = std::move(m_idle[i]);
            m_idle[i].clear();
        }
        m_returned.notify_all(); // there is room to start engines again
        lock.unlock();
        for (auto &engines : ending)
            for (auto &engine : engines)
                engine->End();
        ending = {};
        // The word lists the engines of a language shared stay cached after the last ends.
        tesseract::TessBaseAPI::ClearPersistentCache();
        releaseFreedMemory();
        lock.lock();
    }

    std::mutex m_mutex;
    std::condition_variable m_returned;
    std::condition_variable m_watch;
    std::array<std::vector<std::unique_ptr<tesseract::TessBaseAPI>>, kModels> m_idle;
    std::array<int, kModels> m_started{};
    std::array<int, kModels> m_limits{};
    std::array<bool, kModels> m_failed{};
    int m_lent = 0;
    int m_starts = 0;
    int m_largePictures = 0;
    std::chrono::milliseconds m_idlePeriod = kDefaultIdlePeriod;
    std::chrono::steady_clock::time_point m_lastUse = std::chrono::steady_clock::now();
    std::unique_ptr<std::thread> m_watcher;
};

// An engine lent for one read.
class Lease {
public:
    Lease(OcrModel model, EngineUse use)
        : m_model(model), m_api(EnginePool::instance().borrow(model, use == EngineUse::wait, use != EngineUse::ifIdle))
    {
    }
    ~Lease()
    {
        if (m_api)
            EnginePool::instance().giveBack(m_model, m_api);
    }
    Lease(const Lease &) = delete;
    Lease &operator=(const Lease &) = delete;
    tesseract::TessBaseAPI *operator->() const { return m_api; }
    tesseract::TessBaseAPI *get() const { return m_api; }
    explicit operator bool() const { return m_api != nullptr; }

private:
    OcrModel m_model;
    tesseract::TessBaseAPI *m_api;
};

std::atomic<int> widestRead{0};

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

bool warm(OcrModel model, int count)
{
    return EnginePool::instance().warm(model, count);
}

void setEngineLimit(OcrModel model, int limit)
{
    EnginePool::instance().setLimit(model, limit);
}

void setIdlePeriod(std::chrono::milliseconds period)
{
    EnginePool::instance().setIdlePeriod(period);
}

std::chrono::milliseconds idlePeriod()
{
    return EnginePool::instance().idlePeriod();
}

int startedEngines()
{
    return EnginePool::instance().started();
}

void endIdleEngines()
{
    EnginePool::instance().endIdle();
}

LargePictureScope::LargePictureScope()
{
    EnginePool::instance().beginLargePicture();
}

LargePictureScope::~LargePictureScope()
{
    EnginePool::instance().endLargePicture();
}

int engineStarts()
{
    return EnginePool::instance().starts();
}

int widestPictureRead()
{
    return widestRead.load();
}

void releaseFreedMemory()
{
    ::malloc_trim(0);
}

namespace {

// One picture read with `api`, its lines and symbols added to `reading` (symbols moved right by
// `offset`). Returns its mean word confidence, or nothing when cancelled or failed.
std::optional<float> readPicture(tesseract::TessBaseAPI &api, const QImage &picture, const ReadRequest &request, int offset, OcrReading &reading)
{
    for (int widest = widestRead.load(); picture.width() > widest && !widestRead.compare_exchange_weak(widest, picture.width());) {
    }
    api.SetImage(picture.constBits(), picture.width(), picture.height(), 1, int(picture.bytesPerLine()));
    api.SetSourceResolution(300);
    const std::atomic<bool> *cancel = request.cancel;
    tesseract::ETEXT_DESC monitor;
    if (cancel) {
        monitor.cancel = &cancelRequested;
        monitor.cancel_this = const_cast<std::atomic<bool> *>(cancel);
    }
    if (api.Recognize(&monitor) != 0 || (cancel && cancel->load())) {
        reading.cancelled = cancel && cancel->load();
        api.Clear();
        return std::nullopt;
    }
    std::unique_ptr<tesseract::ResultIterator> lines(api.GetIterator());
    if (lines) {
        do {
            const std::unique_ptr<char[]> text(lines->GetUTF8Text(tesseract::RIL_TEXTLINE));
            if (text)
                reading.lines << QString::fromUtf8(text.get()).trimmed();
        } while (lines->Next(tesseract::RIL_TEXTLINE));
    }
    if (request.withSymbols) {
        std::unique_ptr<tesseract::ResultIterator> symbols(api.GetIterator());
        if (symbols) {
            do {
                const std::unique_ptr<char[]> text(symbols->GetUTF8Text(tesseract::RIL_SYMBOL));
                int left = 0, top = 0, right = 0, bottom = 0;
                if (text && symbols->BoundingBox(tesseract::RIL_SYMBOL, &left, &top, &right, &bottom))
                    reading.symbols.push_back({QString::fromUtf8(text.get()), QRect(QPoint(left + offset, top), QPoint(right - 1 + offset, bottom - 1)),
                                               symbols->Confidence(tesseract::RIL_SYMBOL)});
            } while (symbols->Next(tesseract::RIL_SYMBOL));
        }
    }
    const float confidence = float(api.MeanTextConf());
    api.Clear();
    return confidence;
}

} // namespace

OcrReading read(OcrModel model, const QImage &picture, const ReadRequest &request)
{
    const Lease api(model, request.engine);
    if (!api && (request.engine == EngineUse::wait || EnginePool::instance().failed(model)))
        throw unavailable(model);
    if (!api) {
        OcrReading busy;
        busy.busy = true;
        return busy;
    }
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

    OcrReading reading;
    if (request.layout == PageLayout::automatic) {
        reading.confidence = readPicture(*api.get(), picture, request, 0, reading).value_or(0);
        return reading;
    }
    // A line read in slices is one line: the slices' texts joined, a space where the blank
    // between them parts words; the confidence is the mean of the slices' by their widths.
    QString line;
    double confidence = 0, widths = 0;
    for (const PictureSlice &slice : pictureSlices(picture)) {
        OcrReading part;
        const std::optional<float> partConfidence = readPicture(*api.get(), slice.picture, request, slice.offset, part);
        if (!partConfidence) {
            reading.cancelled = part.cancelled;
            return reading;
        }
        const QString text = part.lines.join(QLatin1Char(' ')).trimmed();
        if (!text.isEmpty() && !line.isEmpty() && slice.wordBreakBefore)
            line += QLatin1Char(' ');
        line += text;
        confidence += double(*partConfidence) * slice.picture.width();
        widths += slice.picture.width();
        reading.symbols.insert(reading.symbols.end(), part.symbols.begin(), part.symbols.end());
    }
    if (!line.isEmpty())
        reading.lines << line;
    reading.confidence = widths > 0 ? float(confidence / widths) : 0;
    return reading;
}

} // namespace Tellumo::detail::OcrEngines
