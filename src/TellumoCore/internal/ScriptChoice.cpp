#include "TellumoCore/internal/ScriptChoice.h"

#include "TellumoCore/internal/Characters.h"
#include "TellumoCore/internal/InkMarks.h"
#include "TellumoCore/internal/RecognitionPipeline.h"
#include "TellumoCore/internal/RecognitionWorkers.h"
#include "TellumoCore/internal/ScriptEvidence.h"
#include "TellumoCore/internal/UnionFind.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <limits>
#include <map>
#include <mutex>
#include <numeric>
#include <optional>
#include <set>
#include <string_view>

namespace Tellumo::detail {

namespace {

// The widest lines, read with every model that could fit them, tell the script of the screen.
constexpr int kSampleLines = 8;
// English wins a line without Chinese characters unless it is this much less sure, and a line
// whose only Chinese characters are strays inside Latin text (Ctrl十乙) or are too many for its
// width unless this much; a line with a Chinese word keeps its Chinese reading unless English is
// this much surer.
constexpr float kEnglishAdvantage = 10;
constexpr float kStrayAdvantage = 20;
constexpr float kChineseWordAdvantage = 5;
// A column of lines is one of numbers when this many of them, and at least half, read as numbers
// at least this surely.
constexpr int kNumbersInAColumn = 3;
constexpr float kSureNumber = 80;
// On an English screen, a line the English model reads with less confidence may be Chinese.
constexpr float kEnglishDoubt = 80;
// A background decides its Chinese script on its own with this many telling characters, when
// their ink leans clearly (by this much a character on average) one way.
constexpr int kPositionsToDecide = 2;
constexpr double kClearEvidence = 0.1;
constexpr double kStrongEvidence = 0.25;
// The whole picture's ink leans one way with this many telling characters, by this much a
// character on average.
constexpr int kPositionsToLean = 5;
constexpr double kLeaningEvidence = 0.05;
// Where its ink does not tell, a background whose lines one model reads this much surer (on
// average) takes that model's script: the other model misreads them.
constexpr float kMuchSurer = 8;
// A line the English model reads this surely is Latin text: a Chinese model need not read it.
constexpr float kSureEnglish = 90;
// A model this much surer of a background's lines has misread the other script's characters
// badly enough (read one as two, a radical as a character) that their ink may no longer line up
// with the readings: its script wins over ink that leans only a little the other way.
constexpr float kFarSurer = 10;

// The share of Chinese characters among the characters that are not spaces.
double chineseShare(const QString &text)
{
    int all = 0;
    for (char32_t c : text.toUcs4())
        all += c != U' ';
    return all ? double(ideographCount(text)) / all : 0;
}

// Every Chinese character of `text` stands alone between Latin characters: what a Chinese model
// makes of symbols and letters it does not know (十 for +, 乙 for Z). Real mixed text has words
// of two or more characters, or spaces around a single one.
bool onlyStrayChineseCharacters(const QString &text)
{
    const QList<uint> points = text.toUcs4();
    bool any = false;
    for (qsizetype i = 0; i < points.size(); ++i) {
        if (!isIdeograph(points[i]))
            continue;
        any = true;
        // A unit of a date or a time after its digits ("3月14日") is no stray.
        constexpr std::u32string_view units = U"年月日时時分秒号號";
        if (i > 0 && points[i - 1] >= U'0' && points[i - 1] <= U'9' && units.find(char32_t(points[i])) != units.npos)
            return false;
        const bool before = i > 0 && isLatin(points[i - 1]), after = i + 1 < points.size() && isLatin(points[i + 1]);
        const bool runBefore = i > 0 && isIdeograph(points[i - 1]), runAfter = i + 1 < points.size() && isIdeograph(points[i + 1]);
        if (runBefore || runAfter || !(before || after))
            return false;
    }
    return any;
}

// The line's ink is too narrow for the Latin characters read in it: the English model reads a
// Chinese character as two or three letters (陳雅婷 as "Beets Ey"), more than its width holds.
bool tooNarrowForLatin(const QString &text, const QRect &box)
{
    const auto characters = std::count_if(text.begin(), text.end(), [](QChar c) { return c != QLatin1Char(' '); });
    return 10 * box.width() < 4 * box.height() * characters;
}

// Two Chinese characters or more in a row.
bool hasChineseWord(const QString &text)
{
    const QList<uint> points = text.toUcs4();
    for (qsizetype i = 1; i < points.size(); ++i)
        if (isIdeograph(points[i - 1]) && isIdeograph(points[i]))
            return true;
    return false;
}

// The line's ink is too narrow for the Chinese characters read in it: each is about as wide as
// the line is tall, so a narrow digit read as 工 or 了 stands out.
bool tooNarrowForChinese(const QString &text, const QRect &box)
{
    const int chinese = ideographCount(text);
    return chinese > 0 && 4 * box.width() < 3 * box.height() * chinese;
}

// A dash between Chinese characters and the character 一 are both a long horizontal stroke, and
// the Chinese models read either as 一. Their place tells them apart: 一 sits above the middle of
// the line's Chinese characters, a dash (whether the Latin face or the Chinese one draws it) at
// or below it. The engine's boxes of Chinese characters are too rough to find the stroke of a
// character, so the strokes are found in the ink: thin, long pieces with no other ink above or
// below them, taken in order with the marks read.
constexpr int kDarkInk = 100; // darker than white by this much is ink
constexpr double kDashBelowMiddle = 0.5;

struct Stroke {
    int left = 0, right = 0;
    double middle = 0; // the ink-weighted row of its centre
};

// The strokes of a line standing alone in their columns, left to right, and the rows of the
// line's other ink.
struct LineStrokes {
    std::vector<Stroke> strokes;
    double top = 0, bottom = -1;
};

LineStrokes aloneStrokes(const QImage &picture)
{
    const int width = picture.width(), height = picture.height();
    auto dark = [&](int x, int y) { return 255 - picture.constScanLine(y)[x] > kDarkInk; };
    // Per column: its ink's runs of rows.
    std::vector<int> top(size_t(width), -1), bottom(size_t(width), -1), runs(size_t(width), 0);
    for (int x = 0; x < width; ++x) {
        bool inside = false;
        for (int y = 0; y < height; ++y) {
            const bool ink = dark(x, y);
            if (ink && !inside) {
                ++runs[size_t(x)];
                if (top[size_t(x)] < 0)
                    top[size_t(x)] = y;
            }
            if (ink)
                bottom[size_t(x)] = y;
            inside = ink;
        }
    }
    LineStrokes line;
    line.top = height;
    std::vector<bool> inStroke(size_t(width), false);
    // Runs of neighbouring columns each holding one thin run of ink at about the same rows.
    for (int x = 0; x < width;) {
        if (runs[size_t(x)] != 1) {
            ++x;
            continue;
        }
        int end = x, low = top[size_t(x)], high = bottom[size_t(x)];
        while (end + 1 < width && runs[size_t(end + 1)] == 1 && top[size_t(end + 1)] <= high + 1 && bottom[size_t(end + 1)] >= low - 1) {
            ++end;
            low = std::min(low, top[size_t(end)]);
            high = std::max(high, bottom[size_t(end)]);
        }
        const int thickness = high - low + 1, length = end - x + 1;
        if (length >= 4 * thickness) {
            double weight = 0, rows = 0;
            for (int y = std::max(0, low - 1); y <= std::min(height - 1, high + 1); ++y)
                for (int c = x; c <= end; ++c) {
                    const int ink = 255 - picture.constScanLine(y)[c];
                    weight += ink;
                    rows += double(ink) * y;
                }
            line.strokes.push_back({x, end, weight > 0 ? rows / weight : (low + high) / 2.0});
            std::fill(inStroke.begin() + x, inStroke.begin() + end + 1, true);
        }
        x = end + 1;
    }
    for (int x = 0; x < width; ++x) {
        if (top[size_t(x)] < 0 || inStroke[size_t(x)])
            continue;
        line.top = std::min(line.top, double(top[size_t(x)]));
        line.bottom = std::max(line.bottom, double(bottom[size_t(x)]));
    }
    return line;
}

// The line's text with each 一 (or dash-like mark) that the ink shows to be a dash written as the
// em dash, without spaces between it and the Chinese characters beside it.
QString dashesOfTheInk(const QString &text, const QImage &picture)
{
    QList<uint> points = text.toUcs4();
    auto wideAt = [&](qsizetype i) { return i >= 0 && i < points.size() && isWideCharacter(points[i]); };
    auto longMark = [](char32_t c) { return c == 0x4E00 || c == 0x2014 || c == 0x2015 || c == 0x30FC || c == 0xFF0D || c == 0x2013; };
    // A hyphen counts beside a Chinese character or a long mark: a doubled dash may be read as 一-.
    auto isMark = [&](qsizetype i) {
        if (longMark(points[i]))
            return true;
        return points[i] == U'-' && (wideAt(i - 1) || wideAt(i + 1) || (i > 0 && longMark(points[i - 1])) || (i + 1 < points.size() && longMark(points[i + 1])));
    };
    std::vector<qsizetype> marks;
    for (qsizetype i = 0; i < points.size(); ++i)
        if (isMark(i))
            marks.push_back(i);
    const LineStrokes line = aloneStrokes(picture);
    const double height = line.bottom - line.top + 1;
    if (marks.empty() || height < 4)
        return text;
    // Strokes shorter than half the line's height are hyphens; one longer than a character is
    // two dashes drawn as one, which the engine reads as one mark or two.
    std::vector<std::pair<const Stroke *, int>> strokes; // and the characters it spans
    for (const Stroke &stroke : line.strokes) {
        const int length = stroke.right - stroke.left + 1;
        if (length < 0.5 * height || stroke.middle < line.top + 0.2 * height || stroke.middle > line.bottom - 0.2 * height)
            continue;
        strokes.emplace_back(&stroke, 1 + int(std::max(0.0, (length - 0.3 * height) / height)));
    }
    std::vector<std::pair<const Stroke *, int>> slots; // a stroke for each mark, and the dashes it makes
    for (const auto &[stroke, span] : strokes)
        for (int n = 0; n < span; ++n)
            slots.emplace_back(stroke, 1);
    if (slots.size() != marks.size()) {
        slots.clear();
        for (const auto &[stroke, span] : strokes)
            slots.emplace_back(stroke, span);
    }
    if (slots.size() != marks.size())
        return text;
    std::vector<bool> dashAt(size_t(points.size()), false);
    bool changed = false;
    std::vector<int> copies(size_t(points.size()), 1);
    for (size_t k = 0; k < marks.size(); ++k) {
        const qsizetype at = marks[k];
        const bool besideChinese = wideAt(at - 1) || wideAt(at + 1) || (at > 1 && points[at - 1] == U' ' && wideAt(at - 2)) ||
                                   (at + 2 < points.size() && points[at + 1] == U' ' && wideAt(at + 2)) ||
                                   (k > 0 && marks[k - 1] == at - 1) || (k + 1 < marks.size() && marks[k + 1] == at + 1);
        if (!besideChinese)
            continue;
        const bool dash = (slots[k].first->middle - line.top) / height >= kDashBelowMiddle;
        const uint mark = dash ? 0x2014 : 0x4E00;
        changed = changed || mark != points[at] || (dash && slots[k].second > 1);
        points[at] = mark;
        dashAt[size_t(at)] = dash;
        if (dash)
            copies[size_t(at)] = slots[k].second;
    }
    if (!changed)
        return text;
    // A dash with Latin text on one side keeps its spaces ("报告.txt — 编辑器").
    auto chineseAround = [&](qsizetype at) {
        for (int step : {-1, 1}) {
            qsizetype i = at + step;
            while (i >= 0 && i < points.size() && points[i] == U' ')
                i += step;
            if (i >= 0 && i < points.size() && !dashAt[size_t(i)] && !isWideCharacter(points[i]))
                return false;
        }
        return true;
    };
    auto joinsDash = [&](qsizetype a, qsizetype b) {
        return a >= 0 && b < points.size() && ((dashAt[size_t(a)] && chineseAround(a)) || (dashAt[size_t(b)] && chineseAround(b))) &&
               (dashAt[size_t(a)] || isWideCharacter(points[a])) && (dashAt[size_t(b)] || isWideCharacter(points[b]));
    };
    QString dashed;
    for (qsizetype i = 0; i < points.size(); ++i) {
        if (points[i] == U' ' && joinsDash(i - 1, i + 1))
            continue;
        const char32_t c = points[i];
        for (int n = 0; n < copies[size_t(i)]; ++n)
            dashed += QString::fromUcs4(&c, 1);
    }
    return dashed;
}

// The engine reads the capital I of a sans-serif face, a plain vertical stroke, as a vertical
// bar. The bar itself reaches below the line's baseline, the I stands on it: when the ink of a
// line holds no stroke that reaches below, every bar read as a word of its own is the I.
QString capitalIOfTheInk(const QString &text, const QImage &picture)
{
    if (!text.split(QLatin1Char(' ')).contains(QStringLiteral("|")))
        return text;
    const int width = picture.width(), height = picture.height();
    std::vector<int32_t> parent(size_t(width) * size_t(height), -1);
    auto dark = [&](int x, int y) { return 255 - picture.constScanLine(y)[x] > kDarkInk; };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (dark(x, y))
                parent[size_t(y) * size_t(width) + size_t(x)] = int32_t(size_t(y) * size_t(width) + size_t(x));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t at = size_t(y) * size_t(width) + size_t(x);
            if (parent[at] < 0)
                continue;
            for (const auto &[dx, dy] : {std::pair{-1, 0}, {-1, -1}, {0, -1}, {1, -1}}) {
                const int nx = x + dx, ny = y + dy;
                if (nx >= 0 && ny >= 0 && nx < width && parent[size_t(ny) * size_t(width) + size_t(nx)] >= 0)
                    uniteSets(parent, int32_t(at), int32_t(size_t(ny) * size_t(width) + size_t(nx)));
            }
        }
    }
    std::map<int32_t, QRect> pieces;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (const size_t at = size_t(y) * size_t(width) + size_t(x); parent[at] >= 0)
                pieces[findRoot(parent, int32_t(at))] |= QRect(x, y, 1, 1);
    int tallest = 0;
    for (const auto &[root, box] : pieces)
        tallest = std::max(tallest, box.height());
    // The baseline: the row most letters' bottoms rest on.
    std::map<int, int> bottoms;
    for (const auto &[root, box] : pieces)
        if (3 * box.height() >= tallest)
            bottoms[box.bottom()] += box.width();
    if (bottoms.empty())
        return text;
    const int baseline = std::max_element(bottoms.begin(), bottoms.end(), [](auto &a, auto &b) { return a.second < b.second; })->first;
    for (const auto &[root, box] : pieces) {
        const bool stroke = 10 * box.width() <= 3 * box.height() && 2 * box.height() >= tallest;
        if (stroke && box.bottom() >= baseline + std::max(2, box.height() / 10))
            return text; // a bar is drawn: leave the reading as it is
    }
    QStringList words = text.split(QLatin1Char(' '));
    for (QString &word : words)
        if (word == QLatin1String("|"))
            word = QStringLiteral("I");
    return words.join(QLatin1Char(' '));
}

// Latin letters and digits without descenders stand on one baseline; a Chinese character reaches
// below it. A line whose ink has more pieces as wide as a Chinese character reaching clearly
// below the baseline of the rest than its English reading has wide descending letters is not the
// Latin text the English model made of it (字数 read as FH, 陳雅婷 as Beets Ey).
bool inkReachesBelowLatin(const QString &englishText, const QImage &picture)
{
    static const QString descending = QStringLiteral("gjpqyQ@$_"); // the wide ones: narrow marks do not count
    const auto claimed = std::count_if(englishText.begin(), englishText.end(), [](QChar c) { return descending.contains(c); });
    const int width = picture.width(), height = picture.height();
    struct Piece {
        int left, right, top, bottom;
    };
    std::vector<Piece> pieces;
    int inkTop = height, inkBottom = -1;
    for (int x = 0; x < width;) {
        auto columnInk = [&](int column, int &top, int &bottom) {
            top = -1;
            for (int y = 0; y < height; ++y) {
                if (255 - picture.constScanLine(y)[column] > kDarkInk) {
                    if (top < 0)
                        top = y;
                    bottom = y;
                }
            }
            return top >= 0;
        };
        int top = 0, bottom = 0;
        if (!columnInk(x, top, bottom)) {
            ++x;
            continue;
        }
        Piece piece{x, x, top, bottom};
        while (x + 1 < width && columnInk(x + 1, top, bottom)) {
            ++x;
            piece.right = x;
            piece.top = std::min(piece.top, top);
            piece.bottom = std::max(piece.bottom, bottom);
        }
        ++x;
        pieces.push_back(piece);
        inkTop = std::min(inkTop, piece.top);
        inkBottom = std::max(inkBottom, piece.bottom);
    }
    const int inkHeight = inkBottom - inkTop + 1;
    if (pieces.size() < 3 || inkHeight < 8)
        return false;
    std::map<int, int> bottoms;
    for (const Piece &piece : pieces)
        ++bottoms[piece.bottom];
    const int baseline = std::max_element(bottoms.begin(), bottoms.end(), [](auto &a, auto &b) { return a.second < b.second; })->first;
    if (bottoms[baseline] < 3)
        return false;
    const int below = std::max(3, int(std::lround(0.08 * inkHeight)));
    const auto reaching = std::count_if(pieces.begin(), pieces.end(), [&](const Piece &piece) {
        return 10 * (piece.right - piece.left + 1) >= 6 * inkHeight && piece.bottom >= baseline + below;
    });
    return reaching > claimed;
}

struct Reading {
    LineReading line;
    std::vector<OcrSymbol> symbols;
};

class ScriptReader {
public:
    ScriptReader(const std::vector<TextLine> &lines, const std::vector<QImage> &pictures, bool retryInverted, const std::atomic<bool> *cancel)
        : m_lines(lines), m_pictures(pictures), m_retryInverted(retryInverted), m_cancel(cancel)
    {
        for (OcrModel model : {OcrModel::simplified, OcrModel::traditional, OcrModel::english})
            m_available[index(model)] = OcrEngines::isAvailable(model);
        for (auto &readings : m_readings)
            readings.resize(lines.size());
        for (auto &readings : m_ahead)
            readings.resize(lines.size());
    }

    std::vector<LineReading> read()
    {
        const int count = int(m_lines.size());
        const bool anyChinese = available(OcrModel::simplified) || available(OcrModel::traditional);
        OcrModel chinese = available(OcrModel::simplified) ? OcrModel::simplified : OcrModel::traditional;
        const bool bothScripts = available(OcrModel::simplified) && available(OcrModel::traditional);
        std::vector<int> all(static_cast<size_t>(count));
        std::iota(all.begin(), all.end(), 0);

        // The widest lines with every fitting model: is the screen English, Simplified or
        // Traditional Chinese?
        std::vector<int> sample = all;
        std::sort(sample.begin(), sample.end(), [&](int a, int b) { return m_lines[size_t(a)].box.width() > m_lines[size_t(b)].box.width(); });
        sample.resize(std::min<size_t>(sample.size(), kSampleLines));
        // Meanwhile the engines of the other models read the sample too, as the next rounds may
        // ask for it.
        // With both Chinese models the sample is read with both at once: telling the scripts
        // apart takes both readings of its Chinese lines.
        std::vector<Work> sampleWork;
        for (int i : sample) {
            sampleWork.push_back({i, anyChinese ? chinese : OcrModel::english});
            if (bothScripts)
                sampleWork.push_back({i, OcrModel::traditional});
        }
        readEach(sampleWork, {{sample, OcrModel::english}});
        readAll(needingEnglish(sample), OcrModel::english);
        int english = 0, read = 0;
        std::vector<int> sampleChinese;
        for (int i : sample) {
            if (!chineseReading(i) || chineseReading(i)->text.isEmpty())
                continue;
            ++read;
            if (readsAsEnglish(i))
                ++english;
            else if (ideographCount(chineseReading(i)->text) > 0)
                sampleChinese.push_back(i);
        }
        if (bothScripts) {
            readAll(sampleChinese, OcrModel::traditional);
            if (evidenceOf(sampleChinese).traditional > 0)
                chinese = OcrModel::traditional;
        }
        const bool englishScreen = available(OcrModel::english) && (!anyChinese || 2 * english > read);

        // Every line with the screen's model; then the doubtful ones with the other. Meanwhile
        // the idle engines read ahead what the next rounds most likely ask for: on an English
        // screen the lines with the Chinese model; on a Chinese one the widest line of each
        // background with the other script's model, then the lines with the English model.
        std::vector<Ahead> ahead;
        if (englishScreen) {
            if (anyChinese)
                ahead.push_back({all, chinese});
        } else {
            if (bothScripts) {
                std::vector<int> bothWays = widestOfEachBackground(all);
                const std::vector<int> titles = titlesInARow(all);
                bothWays.insert(bothWays.end(), titles.begin(), titles.end());
                ahead.push_back({bothWays, chinese == OcrModel::simplified ? OcrModel::traditional : OcrModel::simplified});
            }
            ahead.push_back({all, OcrModel::english});
        }
        readAll(all, englishScreen ? OcrModel::english : chinese, ahead, SureEnglish::leave);
        if (englishScreen && anyChinese) {
            std::vector<int> doubtful;
            for (int i : all)
                if (has(i, OcrModel::english) && reading(i, OcrModel::english).confidence < kEnglishDoubt)
                    doubtful.push_back(i);
            readAll(doubtful, chinese);
        } else {
            readAll(needingEnglish(all), OcrModel::english);
        }

        std::vector<LineReading> chosen(static_cast<size_t>(count));
        std::vector<int> chineseLines;
        const std::set<int> numbers = inANumberColumn(all);
        for (int i : all) {
            const LineReading *inChinese = has(i, chinese) ? &reading(i, chinese) : chineseReading(i);
            if (numbers.count(i)) {
                chosen[size_t(i)] = reading(i, OcrModel::english);
                chosen[size_t(i)].text = *asNumber(chosen[size_t(i)].text);
            } else if (has(i, OcrModel::english) && (!inChinese || readsAsEnglish(i, inChinese))) {
                chosen[size_t(i)] = reading(i, OcrModel::english);
            } else if (inChinese) {
                chosen[size_t(i)] = *inChinese;
                if (ideographCount(inChinese->text) > 0)
                    chineseLines.push_back(i);
            }
        }
        if (bothScripts)
            chooseChineseScripts(chineseLines, chinese, chosen);
        for (int i : all) {
            LineReading &line = chosen[size_t(i)];
            const QImage &picture = m_pictures[size_t(i)];
            if (line.text.isEmpty())
                continue;
            if (has(i, line.model) && reading(i, line.model).text == line.text) {
                std::vector<OcrSymbol> marks = symbols(i, line.model);
                if (line.model != OcrModel::english) {
                    line.text = spacesOfTheInk(line.text, marks, picture);
                    const std::vector<NumberSign> signs = numberSignsInTheInk(line.text, marks, picture);
                    if (!signs.empty()) {
                        QStringList numbers;
                        for (const NumberSign &sign : signs)
                            numbers << readInEnglish(picture, sign.box);
                        line.text = withNumberSigns(line.text, signs, numbers, marks);
                    }
                }
                line.text = versionLettersOfTheInk(line.text, marks, picture);
            }
            line.text = capitalIOfTheInk(bulletOfTheInk(line.text, picture), picture);
        }
        for (int i : chineseLines) {
            LineReading &line = chosen[size_t(i)];
            if (line.model != OcrModel::english && line.text.contains(QChar(0x4E00)))
                line.text = dashesOfTheInk(line.text, m_pictures[size_t(i)]);
        }
        return chosen;
    }

private:
    static size_t index(OcrModel model) { return size_t(model) - size_t(OcrModel::simplified); }
    bool available(OcrModel model) const { return m_available[index(model)]; }
    bool has(int line, OcrModel model) const { return m_readings[index(model)][size_t(line)].has_value(); }
    const LineReading &reading(int line, OcrModel model) const { return m_readings[index(model)][size_t(line)]->line; }
    const std::vector<OcrSymbol> &symbols(int line, OcrModel model) const { return m_readings[index(model)][size_t(line)]->symbols; }
    // The line's reading with a Chinese model, Simplified first; none before it has one.
    const LineReading *chineseReading(int line) const
    {
        for (OcrModel model : {OcrModel::simplified, OcrModel::traditional})
            if (has(line, model))
                return &reading(line, model);
        return nullptr;
    }

    // The widest of `lines` on each background.
    std::vector<int> widestOfEachBackground(const std::vector<int> &lines) const
    {
        std::map<int, int> widest;
        for (int i : lines) {
            const auto found = widest.find(m_lines[size_t(i)].region);
            if (found == widest.end() || m_lines[size_t(i)].box.width() > m_lines[size_t(found->second)].box.width())
                widest[m_lines[size_t(i)].region] = i;
        }
        std::vector<int> chosen;
        for (const auto &[region, line] : widest)
            chosen.push_back(line);
        return chosen;
    }

    // What the ink of lines read both ways says about their script.
    ScriptEvidence evidenceOf(const std::vector<int> &lines) const
    {
        ScriptEvidence evidence;
        for (int i : lines)
            if (has(i, OcrModel::simplified) && has(i, OcrModel::traditional))
                evidence += compareScripts(m_pictures[size_t(i)], symbols(i, OcrModel::simplified), symbols(i, OcrModel::traditional));
        return evidence;
    }

    struct Ahead {
        std::vector<int> lines;
        OcrModel model;
    };

    // Whether a Chinese round leaves a line to its English reading, asked for by an earlier
    // round: a reading that sure is Latin text (code, an address, a number on a Chinese screen),
    // which a Chinese reading would not win over. Not a reading ahead: whether one is there yet
    // depends on the engines' timing, and the result must not. Called with the round's lock
    // held, or before the round.
    bool leftToEnglish(int line) const
    {
        return has(line, OcrModel::english) && reading(line, OcrModel::english).confidence >= kSureEnglish &&
               !reading(line, OcrModel::english).text.isEmpty();
    }

    enum class SureEnglish { read, leave };

    void readAll(const std::vector<int> &lines, OcrModel model, const std::vector<Ahead> &ahead = {}, SureEnglish sure = SureEnglish::read)
    {
        std::vector<Work> work;
        for (int i : lines)
            work.push_back({i, model});
        readEach(work, ahead, sure);
    }

    using Work = std::pair<int, OcrModel>; // a line and the model to read it with

    // Reads the lines that have no reading with their model yet, in parallel. While every engine
    // of an item's model is lent, a thread reads an item of another model of the round, or one
    // of the `ahead` lines with an idle engine of its model instead of waiting: those readings are
    // kept aside and taken only when a later round asks for that line and model, so the result is
    // the same as without them (an engine reads a picture the same way every time). The round
    // ends with its own items; the lines ahead nobody had time for are left.
    void readEach(const std::vector<Work> &work, const std::vector<Ahead> &ahead = {}, SureEnglish sure = SureEnglish::read)
    {
        std::vector<Work> missing;
        std::set<OcrModel> models;
        for (const auto &[i, model] : work) {
            if (!available(model))
                continue;
            std::optional<Reading> &early = m_ahead[index(model)][size_t(i)];
            if (has(i, model) || (sure == SureEnglish::leave && model != OcrModel::english && leftToEnglish(i))) {
                continue;
            } else if (early) {
                m_readings[index(model)][size_t(i)] = std::move(early);
                early.reset();
            } else {
                missing.push_back({i, model});
                models.insert(model);
            }
        }
        std::vector<Work> spare;
        for (const Ahead &more : ahead)
            if (!models.count(more.model) && available(more.model))
                for (int i : more.lines)
                    if (!has(i, more.model) && !m_ahead[index(more.model)][size_t(i)])
                        spare.emplace_back(i, more.model);
        // The widest lines first, so that the round does not end waiting for a long line begun
        // last.
        std::stable_sort(missing.begin(), missing.end(),
                         [&](const Work &a, const Work &b) { return m_pictures[size_t(a.first)].width() > m_pictures[size_t(b.first)].width(); });
        std::mutex mutex;
        std::deque<Work> pending(missing.begin(), missing.end());
        size_t nextSpare = 0;
        // The first pending item whose model is not `busy` (any model when none is).
        auto takePending = [&](std::optional<OcrModel> busy = std::nullopt) -> std::optional<Work> {
            std::lock_guard lock(mutex);
            for (auto item = pending.begin(); item != pending.end();) {
                if (busy && item->second == *busy) {
                    ++item;
                    continue;
                }
                const Work taken = *item;
                item = pending.erase(item);
                if (sure == SureEnglish::leave && taken.second != OcrModel::english && leftToEnglish(taken.first))
                    continue;
                return taken;
            }
            return std::nullopt;
        };
        auto putBack = [&](const Work &item) {
            std::lock_guard lock(mutex);
            pending.push_front(item);
        };
        auto takeSpare = [&]() -> std::optional<Work> {
            std::lock_guard lock(mutex);
            if (pending.empty() || nextSpare == spare.size())
                return std::nullopt;
            return spare[nextSpare++];
        };
        auto store = [&](const Work &item, std::optional<Reading> reading) { m_readings[index(item.second)][size_t(item.first)] = std::move(reading); };
        // A thread holds an item of the round only while it reads it: one that finds every engine
        // of its model lent puts it back for the next engine given back, and reads an item of
        // another model or a line ahead meanwhile, so that the round's items never wait behind a
        // reading ahead.
        runParallel(int(missing.size()), [&](int) {
            while (!(m_cancel && m_cancel->load())) { // the pipeline throws once the workers are back
                const std::optional<Work> item = takePending();
                if (!item)
                    return;
                if (std::optional<Reading> reading = readLine(item->second, m_pictures[size_t(item->first)], EngineUse::ifFree)) {
                    store(*item, std::move(reading));
                    continue;
                }
                putBack(*item);
                if (const std::optional<Work> otherModel = takePending(item->second)) {
                    if (std::optional<Reading> reading = readLine(otherModel->second, m_pictures[size_t(otherModel->first)], EngineUse::ifFree)) {
                        store(*otherModel, std::move(reading));
                        continue;
                    }
                    putBack(*otherModel);
                }
                const auto other = takeSpare();
                std::optional<Reading> early;
                if (other)
                    early = readLine(other->second, m_pictures[size_t(other->first)], EngineUse::ifIdle);
                if (early) {
                    // Each line ahead is handed out once: no other thread writes this slot.
                    std::lock_guard lock(mutex);
                    m_ahead[index(other->second)][size_t(other->first)] = std::move(early);
                } else if (const std::optional<Work> next = takePending()) {
                    store(*next, readLine(next->second, m_pictures[size_t(next->first)], EngineUse::wait));
                }
            }
        });
    }

    // One line, read as a line; when the engine finds no characters in it (a short bold word
    // whose characters touch is one blob, which its character search drops), read as a raw line.
    // None when `use` lets it go without an engine and none was free.
    std::optional<Reading> readLine(OcrModel model, const QImage &picture, EngineUse use) const
    {
        OcrReading reading = OcrEngines::read(model, picture, {PageLayout::singleLine, m_retryInverted, true, m_cancel, use});
        if (reading.busy)
            return std::nullopt;
        if (reading.cancelled && use != EngineUse::wait)
            return std::nullopt;
        QString text = reading.lines.join(QLatin1Char(' ')).simplified();
        if (text.isEmpty() && !reading.cancelled) {
            reading = OcrEngines::read(model, picture, {PageLayout::rawLine, m_retryInverted, true, m_cancel});
            text = reading.lines.join(QLatin1Char(' ')).simplified();
        }
        return Reading{{text, reading.confidence, model}, std::move(reading.symbols)};
    }

    // The columns of `box` in a line's picture, a margin of blank on either side, read with the
    // English model; empty when it is not installed.
    QString readInEnglish(const QImage &picture, const QRect &box) const
    {
        if (!available(OcrModel::english))
            return {};
        const int margin = std::max(6, picture.height() / 4);
        const int left = std::max(0, box.left() - margin / 2), right = std::min(picture.width() - 1, box.right() + margin / 2);
        QImage part(right - left + 1 + 2 * margin, picture.height(), QImage::Format_Grayscale8);
        part.fill(255);
        for (int y = 0; y < picture.height(); ++y)
            std::copy_n(picture.constScanLine(y) + left, right - left + 1, part.scanLine(y) + margin);
        const OcrReading reading = OcrEngines::read(OcrModel::english, part, {PageLayout::singleLine, m_retryInverted, false, m_cancel});
        return reading.lines.join(QLatin1Char(' ')).simplified();
    }

    // The short lines of a column of numbers (the line numbers beside code) whose English reading
    // is a number once the letters it reads for digits are taken as digits. Alone, the models
    // read a "1" as 工 or "11" as "ll"; a column whose right edges line up, of lines the same
    // height, most of them read as numbers, holds numbers only.
    std::set<int> inANumberColumn(const std::vector<int> &lines) const
    {
        auto isNumber = [](const QString &text) {
            return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
        };
        auto shortLine = [&](int i) {
            const QRect &box = m_lines[size_t(i)].box;
            return box.height() >= 6 && box.width() <= 3 * box.height();
        };
        // Columns by right edge and height.
        std::map<std::pair<int, int>, std::vector<int>> columns;
        for (int i : lines)
            if (shortLine(i))
                columns[{m_lines[size_t(i)].box.right(), m_lines[size_t(i)].box.height()}].push_back(i);
        std::set<int> found;
        for (const auto &[key, members] : columns) {
            std::vector<int> column;
            // Neighbouring keys: a pixel more or less either way.
            for (int dx = -1; dx <= 1; ++dx)
                for (int dh = -1; dh <= 1; ++dh)
                    if (const auto other = columns.find({key.first + dx, key.second + dh}); other != columns.end())
                        column.insert(column.end(), other->second.begin(), other->second.end());
            int numbers = 0;
            for (int i : column) {
                const LineReading *text = has(i, OcrModel::english) ? &reading(i, OcrModel::english) : chineseReading(i);
                if (text && isNumber(text->text) && text->confidence >= kSureNumber)
                    ++numbers;
            }
            if (numbers < kNumbersInAColumn || 2 * numbers < int(column.size()))
                continue;
            for (int i : members)
                if (has(i, OcrModel::english) && asNumber(reading(i, OcrModel::english).text))
                    found.insert(i);
        }
        return found;
    }

    // The lines whose Chinese reading may be Latin text: few Chinese characters, strays, or more
    // than the ink has room for.
    std::vector<int> needingEnglish(const std::vector<int> &lines) const
    {
        std::vector<int> needing;
        for (int i : lines) {
            for (OcrModel model : {OcrModel::simplified, OcrModel::traditional}) {
                if (!has(i, model) || reading(i, model).text.isEmpty())
                    continue;
                const QString &text = reading(i, model).text;
                // Or a lone character, or one beside a digit or two: a digit or a mark the
                // Chinese models took for a character (7 read as 了, a line number 17 as 工7).
                const qsizetype length = QString(text).remove(QLatin1Char(' ')).toUcs4().size();
                const bool withDigit = std::any_of(text.begin(), text.end(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
                const bool loneCharacter = length <= 1 || (length <= 3 && ideographCount(text) == 1 && withDigit);
                if (chineseShare(text) < 0.5 || tooNarrowForChinese(text, m_lines[size_t(i)].box) || loneCharacter)
                    needing.push_back(i);
                break;
            }
        }
        return needing;
    }

    // Whether the English reading of a line read both ways wins over its Chinese one: `chinese`,
    // the reading the line would take, or else its first.
    bool readsAsEnglish(int i, const LineReading *chinese = nullptr) const
    {
        if (!has(i, OcrModel::english))
            return false;
        const LineReading &english = reading(i, OcrModel::english);
        if (!chinese)
            chinese = chineseReading(i);
        if (!chinese || isKeyChordLine(english.text))
            return true;
        if (chinese->text.isEmpty())
            return !english.text.isEmpty();
        if (hasChineseWord(chinese->text) &&
            (inkReachesBelowLatin(english.text, m_pictures[size_t(i)]) || tooNarrowForLatin(english.text, m_lines[size_t(i)].box)))
            return false;
        const float advantage = ideographCount(chinese->text) == 0 ? kEnglishAdvantage
                                : onlyStrayChineseCharacters(chinese->text) || tooNarrowForChinese(chinese->text, m_lines[size_t(i)].box)
                                    ? kStrayAdvantage
                                    : -kChineseWordAdvantage;
        return english.confidence + advantage >= chinese->confidence;
    }

    // Simplified or Traditional: the widest Chinese line of each background is read with the
    // other model too; each background follows its own ink when it tells strongly, else the model
    // far surer of its lines, else its own ink when it tells clearly, else the whole picture's
    // ink when it leans one way, else the model much surer of its lines, else the whole
    // picture's ink, else the engine's confidence. A background that neither its ink nor the
    // engine's confidence tells surely has all its lines read both ways before it is decided.
    // Backgrounds that turn out in the other script are read with its model.
    void chooseChineseScripts(const std::vector<int> &chineseLines, OcrModel main, std::vector<LineReading> &chosen)
    {
        const OcrModel other = main == OcrModel::simplified ? OcrModel::traditional : OcrModel::simplified;
        std::vector<int> bothWays = widestOfEachBackground(chineseLines);
        std::map<int, int> stripes;
        const std::vector<int> titles = titlesInARow(chineseLines, &stripes);
        bothWays.insert(bothWays.end(), titles.begin(), titles.end());
        readAll(bothWays, other);
        // A background's lines share its script, but each title in a row has a script of its own.
        const std::set<int> ownGroup(titles.begin(), titles.end());
        // The striped rows of a table share a group.
        auto groupOf = [&](int line) {
            if (ownGroup.count(line))
                return -2 - line;
            const int region = m_lines[size_t(line)].region;
            const auto stripe = stripes.find(region);
            return stripe != stripes.end() ? stripe->second : region;
        };

        std::map<int, std::vector<int>> readBothWays;
        std::map<int, std::pair<float, float>> confidence; // group: simplified, traditional
        std::map<int, ScriptEvidence> byRegion;
        ScriptEvidence overall;
        auto weigh = [&] {
            readBothWays.clear();
            confidence.clear();
            byRegion.clear();
            // A lone character (a digit or a mark the Chinese models took for one: 7 read as 了)
            // tells a group's script only when the group has nothing longer.
            auto longer = [&](int i) { return ideographCount(reading(i, main).text) >= 2; };
            std::set<int> withLonger;
            for (int i : chineseLines)
                if (has(i, OcrModel::simplified) && has(i, OcrModel::traditional) && longer(i))
                    withLonger.insert(groupOf(i));
            std::vector<int> both;
            for (int i : chineseLines) {
                if (!has(i, OcrModel::simplified) || !has(i, OcrModel::traditional) || (!longer(i) && withLonger.count(groupOf(i))))
                    continue;
                const int region = groupOf(i);
                readBothWays[region].push_back(i);
                both.push_back(i);
                auto &[sim, tra] = confidence[region];
                sim += reading(i, OcrModel::simplified).confidence;
                tra += reading(i, OcrModel::traditional).confidence;
            }
            overall = evidenceOf(both);
            for (const auto &[region, lines] : readBothWays)
                byRegion[region] = evidenceOf(lines);
        };
        // The script of a group, and whether its ink or the engine's confidence told it surely.
        auto decide = [&](int region) -> std::pair<bool, bool> {
            const ScriptEvidence &local = byRegion[region];
            const auto &[sim, tra] = confidence[region];
            const float surer = (tra - sim) / float(std::max<size_t>(1, readBothWays[region].size()));
            const bool inkTells = local.positions >= kPositionsToDecide;
            if (inkTells && std::abs(local.traditional) >= kStrongEvidence * local.positions)
                return {local.traditional > 0, true};
            // The engine far surer of one script, unless the group's ink leans the other way
            // and the whole picture's ink clearly with it: a stray mark one model makes up
            // drags its confidence down.
            const bool inkAgainst = inkTells && (local.traditional > 0) != (surer > 0) && local.traditional != 0 &&
                                    (overall.traditional > 0) == (local.traditional > 0) &&
                                    std::abs(overall.traditional) >= kClearEvidence * overall.positions;
            if (std::abs(surer) >= kFarSurer && !inkAgainst)
                return {surer > 0, true};
            if (inkAgainst)
                return {local.traditional > 0, false};
            if (inkTells && std::abs(local.traditional) >= kClearEvidence * local.positions)
                return {local.traditional > 0, false};
            // A group its own ink does not tell (a title bar) is in the screen's script when the
            // whole picture's ink leans one way, rather than the model only much surer of it.
            if (overall.positions >= kPositionsToLean && std::abs(overall.traditional) >= kLeaningEvidence * overall.positions)
                return {overall.traditional > 0, false};
            if (std::abs(surer) >= kMuchSurer)
                return {surer > 0, false};
            if (overall.positions > 0)
                return {overall.traditional > 0, false};
            return {tra > sim, false};
        };
        weigh();
        // A background whose lines read both ways do not tell surely (its widest line holds few
        // telling characters: a side bar of short items) has the rest of its lines read both
        // ways too.
        std::set<int> undecided;
        for (const auto &[region, lines] : readBothWays)
            if (region >= -1 && !decide(region).second) // not a title in a row
                undecided.insert(region);
        std::vector<int> more;
        for (int i : chineseLines)
            if (undecided.count(groupOf(i)) && !has(i, other))
                more.push_back(i);
        if (!more.empty()) {
            readAll(more, other);
            weigh();
        }
        std::vector<int> switching;
        for (int i : chineseLines) {
            bool traditional = decide(groupOf(i)).first;
            if (ownGroup.count(i))
                if (const std::optional<bool> own = ownScript(i))
                    traditional = *own;
            if (traditional != (main == OcrModel::traditional))
                switching.push_back(i);
        }
        readAll(switching, other);
        for (int i : switching) {
            // A title in a row whose own ink tells strongly keeps its script whatever its neighbours'.
            if (has(i, other) && (!ownGroup.count(i) || ownScript(i) != std::optional<bool>(main == OcrModel::traditional))) // not when cancelled
                chosen[size_t(i)] = reading(i, other);
        }
    }

    // Whether a line read both ways is Traditional by its own ink, when that tells strongly.
    std::optional<bool> ownScript(int line) const
    {
        if (!has(line, OcrModel::simplified) || !has(line, OcrModel::traditional))
            return std::nullopt;
        const ScriptEvidence own = evidenceOf({line});
        if (own.positions < kPositionsToDecide || std::abs(own.traditional) < kStrongEvidence * own.positions)
            return std::nullopt;
        return own.traditional > 0;
    }

    // The lines of backgrounds that hold several of them side by side in one row: the tabs of a
    // strip, the items of a menu bar. Each is a title of its own, whose script its neighbours do
    // not tell (a Traditional page's tab among Simplified ones). Not the striped rows of a table:
    // rows of their own stacked a few rows apart and starting at one edge, whose cells share the
    // table's script; `stripes`, when given, maps each such row's background to one background of
    // its table.
    std::vector<int> titlesInARow(const std::vector<int> &lines, std::map<int, int> *stripes = nullptr) const
    {
        std::map<int, std::vector<int>> byRegion;
        for (int i : lines)
            byRegion[m_lines[size_t(i)].region].push_back(i);
        struct Row {
            int region;
            const std::vector<int> *lines;
            QRect box;
        };
        std::vector<Row> rows;
        for (const auto &[region, inRegion] : byRegion) {
            int top = std::numeric_limits<int>::min(), bottom = std::numeric_limits<int>::max();
            QRect box;
            for (int i : inRegion) {
                top = std::max(top, m_lines[size_t(i)].box.top());
                bottom = std::min(bottom, m_lines[size_t(i)].box.bottom());
                box |= m_lines[size_t(i)].box;
            }
            if (inRegion.size() >= 2 && top <= bottom)
                rows.push_back({region, &inRegion, box});
        }
        std::vector<int32_t> parent(rows.size());
        std::iota(parent.begin(), parent.end(), 0);
        std::vector<bool> striped(rows.size(), false);
        for (size_t r = 0; r < rows.size(); ++r) {
            for (size_t o = r + 1; o < rows.size(); ++o) {
                const QRect &a = rows[r].box, &b = rows[o].box;
                const int height = std::max(a.height(), b.height());
                if (2 * std::abs(a.left() - b.left()) <= height && std::abs(a.top() - b.top()) <= 8 * height) {
                    striped[r] = striped[o] = true;
                    uniteSets(parent, int(r), int(o));
                }
            }
        }
        std::vector<int> titles;
        for (size_t r = 0; r < rows.size(); ++r) {
            if (!striped[r])
                titles.insert(titles.end(), rows[r].lines->begin(), rows[r].lines->end());
            else if (stripes)
                (*stripes)[rows[r].region] = rows[size_t(findRoot(parent, int(r)))].region;
        }
        return titles;
    }

    const std::vector<TextLine> &m_lines;
    const std::vector<QImage> &m_pictures;
    const bool m_retryInverted;
    const std::atomic<bool> *m_cancel;
    std::array<bool, 3> m_available{};
    std::array<std::vector<std::optional<Reading>>, 3> m_readings;
    std::array<std::vector<std::optional<Reading>>, 3> m_ahead; // read ahead, not yet asked for
};

} // namespace

bool hasChineseCharacters(const QString &text)
{
    return ideographCount(text) > 0;
}

std::vector<LineReading> readInFittingScripts(const std::vector<TextLine> &lines, const std::vector<QImage> &pictures, bool retryInverted,
                                              const std::atomic<bool> *cancel)
{
    OcrEngines::requireAnyModel();
    const ReferenceDrawing drawing; // for the whole recognition, not for every comparison
    return ScriptReader(lines, pictures, retryInverted, cancel).read();
}

} // namespace Tellumo::detail
