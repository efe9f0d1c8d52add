#include "TellumoCore/internal/ScriptEvidence.h"

#include "TellumoCore/internal/Characters.h"

#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>
#include <QThreadPool>

#include <algorithm>
#include <array>
#include <optional>
#include <cmath>
#include <future>
#include <limits>
#include <map>
#include <memory>
#include <mutex>

namespace Tellumo::detail {

namespace {

// The Chinese user-interface faces of the usual desktops; those installed serve as references.
constexpr const char *kCommonChineseFaces[] = {
    "Noto Sans CJK SC", "Noto Sans CJK TC", "WenQuanYi Micro Hei", "Source Han Sans SC", "Source Han Sans TC", "Droid Sans Fallback",
};

char32_t onlyCharacter(const QString &text)
{
    const QList<uint> points = text.toUcs4();
    return points.size() == 1 ? char32_t(points[0]) : 0;
}

// Characters that fill one cell of a Chinese line: ideographs and punctuation.
bool takesACell(char32_t c)
{
    return isIdeograph(c) || (c >= 0x3000 && c <= 0x303F) || (c >= 0xFF01 && c <= 0xFF1F) ||
           (c != 0 && c < 0x80 && QChar::isPunct(c));
}

// Total darkness (0 to 1 a pixel) of the columns [left, right] of the picture.
double inkOfColumns(const QImage &picture, int left, int right)
{
    qint64 sum = 0;
    for (int y = 0; y < picture.height(); ++y) {
        const uchar *row = picture.constScanLine(y);
        for (int x = left; x <= right; ++x)
            sum += 255 - row[x];
    }
    return double(sum) / 255.0;
}

// The columns of a line that hold ink, and the height of its ink.
struct InkedColumns {
    std::vector<bool> inked;
    double height = 0;
};

InkedColumns inkedColumns(const QImage &picture)
{
    constexpr int kInked = 40; // darker than this counts as ink
    InkedColumns columns;
    columns.inked.assign(size_t(picture.width()), false);
    int top = picture.height(), bottom = -1;
    for (int y = 0; y < picture.height(); ++y) {
        const uchar *row = picture.constScanLine(y);
        for (int x = 0; x < picture.width(); ++x) {
            if (255 - row[x] > kInked) {
                columns.inked[size_t(x)] = true;
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    columns.height = bottom < top ? 0 : bottom - top + 1;
    return columns;
}

// Cuts the columns [left, right] of a line of Chinese into character cells and gives the ink of
// each: runs of inked columns joined while together they stay within one character's width
// (about the height of the line's ink), so that the parts of one character (亻 and 尔) share a
// cell and neighbours do not.
struct Cell {
    double ink = 0;
    int left = 0, right = -1;
};

std::vector<Cell> cellInks(const QImage &picture, const InkedColumns &columns, int left, int right)
{
    std::vector<Cell> inks;
    const double widest = 1.1 * columns.height;
    auto inked = [&](int x) { return x >= left && x <= right && columns.inked[size_t(x)]; };
    int start = -1, end = -1;
    for (int x = left; x <= right + 1; ++x) {
        if (inked(x)) {
            if (start < 0)
                start = x;
            end = x;
            continue;
        }
        if (start < 0)
            continue;
        // The end of a run of inked columns: join the next run only while the cell stays narrow.
        int next = x;
        while (next <= right && !inked(next))
            ++next;
        int nextEnd = next;
        while (nextEnd + 1 <= right && inked(nextEnd + 1))
            ++nextEnd;
        if (next <= right && nextEnd - start + 1 <= widest) {
            x = nextEnd;
            end = nextEnd;
            continue;
        }
        inks.push_back({inkOfColumns(picture, start, end), start, end});
        start = -1;
    }
    return inks;
}

// The same when the gaps between characters do not show where one ends (a comma that touches
// its neighbour, a character of parts far apart): Chinese characters and their punctuation
// advance by the same width, so the run's ink is cut into `cells` equal parts.
std::vector<Cell> evenCellInks(const QImage &picture, const InkedColumns &columns, int left, int right, int cells)
{
    int first = left, last = right;
    while (first <= right && !columns.inked[size_t(first)])
        ++first;
    while (last >= first && !columns.inked[size_t(last)])
        --last;
    if (last < first || cells <= 0)
        return {};
    const double width = double(last - first + 1) / cells;
    std::vector<Cell> inks;
    for (int i = 0; i < cells; ++i) {
        const int from = first + int(std::lround(i * width)), to = first + int(std::lround((i + 1) * width)) - 1;
        inks.push_back({to >= from ? inkOfColumns(picture, from, to) : 0, from, to});
    }
    return inks;
}

// The two readings side by side, position for position: the alignment with the fewest
// differences. A character one reading has and the other lacks (a character read as two) stands
// opposite an empty symbol with the same box, which takes no cell and so cuts the run there.
void alignReadings(const std::vector<OcrSymbol> &a, const std::vector<OcrSymbol> &b, std::vector<OcrSymbol> &alignedA,
                   std::vector<OcrSymbol> &alignedB)
{
    const size_t n = a.size(), m = b.size();
    std::vector<std::vector<int>> cost(n + 1, std::vector<int>(m + 1, 0));
    for (size_t i = 0; i <= n; ++i)
        cost[i][0] = int(i);
    for (size_t j = 0; j <= m; ++j)
        cost[0][j] = int(j);
    for (size_t i = 1; i <= n; ++i)
        for (size_t j = 1; j <= m; ++j)
            cost[i][j] = std::min({cost[i - 1][j - 1] + (a[i - 1].text == b[j - 1].text ? 0 : 1), cost[i - 1][j] + 1, cost[i][j - 1] + 1});
    std::vector<std::pair<OcrSymbol, OcrSymbol>> pairs;
    size_t i = n, j = m;
    while (i > 0 || j > 0) {
        if (i > 0 && j > 0 && cost[i][j] == cost[i - 1][j - 1] + (a[i - 1].text == b[j - 1].text ? 0 : 1)) {
            pairs.emplace_back(a[i - 1], b[j - 1]);
            --i, --j;
        } else if (i > 0 && cost[i][j] == cost[i - 1][j] + 1) {
            pairs.emplace_back(a[i - 1], OcrSymbol{QString(), a[i - 1].box, 0});
            --i;
        } else {
            pairs.emplace_back(OcrSymbol{QString(), b[j - 1].box, 0}, b[j - 1]);
            --j;
        }
    }
    alignedA.clear();
    alignedB.clear();
    for (auto pair = pairs.rbegin(); pair != pairs.rend(); ++pair) {
        alignedA.push_back(pair->first);
        alignedB.push_back(pair->second);
    }
}

// The ink of a picture inside `box`, cut to the ink's own bounds and scaled into a square of
// kShapeSize (keeping its proportions, centred), as darkness 0 to 255 a pixel.
// One character drawn black on white at 48 px in the middle of a 64 px square, in `face` (the
// system's choice when empty): the reference both the ink and the shape comparisons measure.
QImage drawnGlyph(char32_t character, const QString &face)
{
    constexpr int size = 64;
    QImage glyph(size, size, QImage::Format_Grayscale8);
    glyph.fill(255);
    QPainter painter(&glyph);
    QFont font;
    if (!face.isEmpty())
        font.setFamilies({face});
    font.setPixelSize(48);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QString::fromUcs4(&character, 1));
    painter.end();
    return glyph;
}

// The thread the references are drawn on, while a ReferenceDrawing lives.
struct Drawing {
    std::mutex mutex;
    int users = 0;
    QThreadPool *pool = nullptr;
};

Drawing &drawing()
{
    static Drawing *shared = new Drawing; // lives as long as the process
    return *shared;
}

// The same, drawn on the drawing thread. The caller waits on a promise rather than on a QFuture,
// which would run a task not yet started on the waiting thread itself.
QImage referenceGlyph(char32_t character, const QString &face)
{
    const ReferenceDrawing scope; // a caller outside any recognition draws on a thread of its own
    QThreadPool *pool = nullptr;
    {
        std::lock_guard lock(drawing().mutex);
        pool = drawing().pool;
    }
    auto drawn = std::make_shared<std::promise<QImage>>();
    std::future<QImage> glyph = drawn->get_future();
    pool->start([drawn, character, face] { drawn->set_value(drawnGlyph(character, face)); });
    return glyph.get();
}

constexpr int kShapeSize = 24;
// Shapes tell only when one form is nearer than the other by this share of the farther one.
constexpr double kClearShape = 0.08;

using Shape = std::array<uchar, kShapeSize * kShapeSize>;

std::optional<Shape> shapeOf(const QImage &picture, QRect box, int inked)
{
    box &= picture.rect();
    QRect ink;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            if (255 - picture.constScanLine(y)[x] > inked)
                ink |= QRect(x, y, 1, 1);
    if (ink.width() < 4 || ink.height() < 4)
        return std::nullopt;
    const int side = std::max(ink.width(), ink.height());
    QImage square(side, side, QImage::Format_Grayscale8);
    square.fill(255);
    for (int y = 0; y < ink.height(); ++y)
        std::copy_n(picture.constScanLine(ink.top() + y) + ink.left(), ink.width(),
                    square.scanLine((side - ink.height()) / 2 + y) + (side - ink.width()) / 2);
    const QImage scaled = square.scaled(kShapeSize, kShapeSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    Shape shape;
    for (int y = 0; y < kShapeSize; ++y)
        for (int x = 0; x < kShapeSize; ++x)
            shape[size_t(y * kShapeSize + x)] = uchar(255 - scaled.constScanLine(y)[x]);
    return shape;
}

// How far the ink in the columns [left, right] of a line lies from `character` drawn in `face`:
// the mean difference of their shapes, 0 to 255; 0 when either has no ink.
double shapeDistance(const QImage &picture, int left, int right, char32_t character, const QString &face)
{
    static std::mutex mutex;
    static std::map<std::pair<QString, char32_t>, std::optional<Shape>> drawn;
    std::optional<Shape> reference;
    {
        std::lock_guard lock(mutex);
        auto found = drawn.find({face, character});
        if (found == drawn.end()) {
            const QImage glyph = referenceGlyph(character, face);
            found = drawn.emplace(std::pair{face, character}, shapeOf(glyph, glyph.rect(), 40)).first;
        }
        reference = found->second;
    }
    const std::optional<Shape> seen = shapeOf(picture, QRect(QPoint(left, 0), QPoint(right, picture.height() - 1)), 40);
    if (!reference || !seen)
        return 0;
    double sum = 0;
    for (size_t i = 0; i < seen->size(); ++i)
        sum += std::abs(int((*seen)[i]) - int((*reference)[i]));
    return sum / double(seen->size());
}

} // namespace

ReferenceDrawing::ReferenceDrawing()
{
    std::lock_guard lock(drawing().mutex);
    if (drawing().users++ == 0) {
        drawing().pool = new QThreadPool;
        drawing().pool->setMaxThreadCount(1);
    }
}

ReferenceDrawing::~ReferenceDrawing()
{
    QThreadPool *ending = nullptr;
    {
        std::lock_guard lock(drawing().mutex);
        if (--drawing().users == 0)
            std::swap(ending, drawing().pool);
    }
    delete ending; // waits for its thread to end
}

QStringList referenceFaces()
{
    static const QStringList faces = [] {
        QStringList present;
        if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
            return present;
        const QStringList offered = QFontDatabase::families(QFontDatabase::SimplifiedChinese) + QFontDatabase::families(QFontDatabase::TraditionalChinese);
        for (const char *face : kCommonChineseFaces)
            if (offered.contains(QLatin1String(face), Qt::CaseInsensitive))
                present << QLatin1String(face);
        if (present.isEmpty())
            present << QString(); // whatever the system draws Chinese with
        return present;
    }();
    return faces;
}

double referenceInk(char32_t character, const QString &face)
{
    static std::mutex mutex;
    static std::map<std::pair<QString, char32_t>, double> cache;
    std::lock_guard lock(mutex);
    if (auto found = cache.find({face, character}); found != cache.end())
        return found->second;
    const QImage glyph = referenceGlyph(character, face);
    const int size = glyph.width();
    // Total darkness over the height of the drawn ink squared, as characterCells measures a line.
    int top = size, bottom = -1;
    qint64 sum = 0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const int dark = 255 - glyph.constScanLine(y)[x];
            sum += dark;
            if (dark > 40) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    const double ink = bottom < top ? 0 : double(sum) / 255.0 / (48.0 * 48.0);
    cache.emplace(std::pair{face, character}, ink);
    return ink;
}

ScriptEvidence compareScripts(const QImage &picture, const std::vector<OcrSymbol> &simplifiedReading,
                              const std::vector<OcrSymbol> &traditionalReading)
{
    ScriptEvidence evidence;
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()) || simplifiedReading.empty() || traditionalReading.empty())
        return evidence;
    std::vector<OcrSymbol> simplified, traditional;
    alignReadings(simplifiedReading, traditionalReading, simplified, traditional);
    const size_t count = simplified.size();
    const InkedColumns columns = inkedColumns(picture);
    if (columns.height <= 0)
        return evidence;

    // Runs of characters that take a cell in both readings; Latin words between them are left out,
    // and each run is cut at the middle of the gap to its neighbours' boxes.
    struct Variant {
        double found, simplified, traditional;
    };
    struct Measured {
        double found;
        char32_t simplified, traditional;
        int left, right; // the columns of its cell
    };
    std::vector<Measured> agreed, variants;
    auto cellTaker = [&](size_t i) {
        return takesACell(onlyCharacter(simplified[i].text)) && takesACell(onlyCharacter(traditional[i].text));
    };
    for (size_t first = 0; first < count;) {
        if (!cellTaker(first)) {
            ++first;
            continue;
        }
        size_t last = first;
        while (last + 1 < count && cellTaker(last + 1))
            ++last;
        const int left = first == 0 ? 0 : (simplified[first - 1].box.right() + simplified[first].box.left()) / 2;
        const int right = last + 1 == count ? picture.width() - 1 : (simplified[last].box.right() + simplified[last + 1].box.left()) / 2;
        std::vector<Cell> inks = cellInks(picture, columns, std::max(0, left), std::min(picture.width() - 1, right));
        if (inks.size() != last - first + 1)
            inks = evenCellInks(picture, columns, std::max(0, left), std::min(picture.width() - 1, right), int(last - first + 1));
        if (inks.size() == last - first + 1) {
            for (size_t i = first; i <= last; ++i) {
                const char32_t a = onlyCharacter(simplified[i].text), b = onlyCharacter(traditional[i].text);
                if (!isIdeograph(a) || !isIdeograph(b))
                    continue;
                const Cell &cell = inks[i - first];
                const double found = cell.ink / (columns.height * columns.height);
                (a == b ? agreed : variants).push_back({found, a, b, cell.left, cell.right});
            }
        }
        first = last + 1;
    }
    if (variants.empty())
        return evidence;

    // Faces differ in the weight of their strokes and in the shapes of some characters: the
    // reference is the face whose ink fits the line best, the characters both readings agree on
    // first. The ink found is compared with the reference scaled by the ratio of found to drawn.
    struct Fit {
        QString face;
        double scale = 0;
        double misfit = std::numeric_limits<double>::infinity();
    };
    Fit best;
    for (const QString &face : referenceFaces()) {
        double found = 0, drawn = 0;
        for (const Measured &m : agreed) {
            found += m.found;
            drawn += referenceInk(m.simplified, face);
        }
        if (drawn <= 0) {
            for (const Measured &v : variants) {
                found += v.found;
                drawn += (referenceInk(v.simplified, face) + referenceInk(v.traditional, face)) / 2;
            }
        }
        if (drawn <= 0 || found <= 0)
            continue;
        const double scale = found / drawn;
        double misfit = 0;
        for (const Measured &m : agreed)
            misfit += std::abs(m.found - scale * referenceInk(m.simplified, face));
        for (const Measured &v : variants)
            misfit += std::min(std::abs(v.found - scale * referenceInk(v.simplified, face)), std::abs(v.found - scale * referenceInk(v.traditional, face)));
        misfit /= found;
        if (misfit < best.misfit)
            best = {face, scale, misfit};
    }
    if (best.scale <= 0)
        return evidence;
    for (const Measured &v : variants) {
        const double inSimplified = referenceInk(v.simplified, best.face), inTraditional = referenceInk(v.traditional, best.face);
        const double larger = std::max(inSimplified, inTraditional);
        if (larger <= 0)
            continue;
        if (std::abs(inSimplified - inTraditional) < 0.1 * larger) {
            // Forms with about as much ink (谢 and 謝): their shapes tell.
            const double bySimplified = shapeDistance(picture, v.left, v.right, v.simplified, best.face);
            const double byTraditional = shapeDistance(picture, v.left, v.right, v.traditional, best.face);
            const double farther = std::max(bySimplified, byTraditional);
            if (farther > 0 && std::abs(bySimplified - byTraditional) >= kClearShape * farther) {
                evidence.traditional += (bySimplified - byTraditional) / farther;
                ++evidence.positions;
            }
            continue;
        }
        evidence.traditional += (std::abs(v.found - best.scale * inSimplified) - std::abs(v.found - best.scale * inTraditional)) / (best.scale * larger);
        ++evidence.positions;
    }
    return evidence;
}

} // namespace Tellumo::detail
