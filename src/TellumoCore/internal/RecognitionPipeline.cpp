#include "TellumoCore/internal/RecognitionPipeline.h"

#include "TellumoCore/internal/Characters.h"
#include "TellumoCore/internal/InkMarks.h"
#include "TellumoCore/internal/InkSegmentation.h"
#include "TellumoCore/internal/LineImages.h"
#include "TellumoCore/internal/OcrEngines.h"
#include "TellumoCore/internal/ReadingOrder.h"
#include "TellumoCore/internal/RecognitionWorkers.h"
#include "TellumoCore/internal/ScriptChoice.h"
#include "TellumoCore/internal/TextLines.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <optional>

#include <QRegularExpression>

namespace Tellumo::detail {

namespace {

void checkCancelled(const std::atomic<bool> *cancel)
{
    if (cancel && cancel->load())
        throw RecognitionCancelled{};
}

// The picture, opaque (what is transparent shows white, as the picture would on a white page),
// inside a frame of its most common edge colour: a region capture may cut a pane so close to its
// text that no background square fits beside it, and the frame gives room. One copy of any
// format: a row at a time is converted, never the whole picture.
QImage framed(const QImage &image)
{
    constexpr int kFrame = 8;
    const int width = image.width(), height = image.height();
    QImage frame(width + 2 * kFrame, height + 2 * kFrame, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *out = reinterpret_cast<QRgb *>(frame.scanLine(y + kFrame)) + kFrame;
        if (image.format() == QImage::Format_RGB32) {
            std::copy_n(reinterpret_cast<const QRgb *>(image.constScanLine(y)), width, out);
            continue;
        }
        const QImage row = QImage(image.constScanLine(y), width, 1, image.bytesPerLine(), image.format()).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        const auto *in = reinterpret_cast<const QRgb *>(row.constScanLine(0));
        for (int x = 0; x < width; ++x) {
            const int blank = 255 - qAlpha(in[x]);
            out[x] = qRgb(qRed(in[x]) + blank, qGreen(in[x]) + blank, qBlue(in[x]) + blank);
        }
    }
    std::map<QRgb, int> edge;
    for (int x = kFrame; x < kFrame + width; ++x) {
        ++edge[frame.pixel(x, kFrame)];
        ++edge[frame.pixel(x, kFrame + height - 1)];
    }
    for (int y = kFrame; y < kFrame + height; ++y) {
        ++edge[frame.pixel(kFrame, y)];
        ++edge[frame.pixel(kFrame + width - 1, y)];
    }
    const QRgb colour = std::max_element(edge.begin(), edge.end(), [](auto &a, auto &b) { return a.second < b.second; })->first;
    for (int y = 0; y < frame.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(frame.scanLine(y));
        if (y < kFrame || y >= kFrame + height) {
            std::fill_n(row, frame.width(), colour);
        } else {
            std::fill_n(row, kFrame, colour);
            std::fill_n(row + kFrame + width, kFrame, colour);
        }
    }
    return frame;
}

// A raw line's reading that stands in for a doubtful line's must be at least this sure.
constexpr float kSureRawLine = 60;

// Short Latin readings of little confidence are what the engine makes of icons and specks.
float minimumConfidence(const QString &text)
{
    return text.size() <= 3 && !hasChineseCharacters(text) ? kMinShortLatinConfidence : kMinLineConfidence;
}

QString joined(const QStringList &lines)
{
    return lines.join(QLatin1Char('\n')).trimmed();
}

// The engine's own layout on the whole picture, as the plain engine or after normalising it.
QString readPage(const QImage &image, const RecognitionOptions &options, const std::atomic<bool> *cancel)
{
    QImage page;
    int lineHeight = 0;
    if (options.normalizePolarity || options.upscaleSmallText) {
        const InkSegmentation ink(framed(image));
        page = options.normalizePolarity ? normalizedPage(ink) : ink.image().convertToFormat(QImage::Format_Grayscale8);
        lineHeight = medianLineHeight(findTextLines(ink));
    } else {
        page = image.convertToFormat(QImage::Format_Grayscale8);
    }
    if (options.upscaleSmallText && lineHeight > 0 && lineHeight < kReadingHeight) {
        const double factor = std::min(3.0, double(kReadingHeight) / lineHeight);
        page = page.scaled(int(std::lround(page.width() * factor)), int(std::lround(page.height() * factor)), Qt::IgnoreAspectRatio,
                           Qt::SmoothTransformation);
    }
    const OcrReading reading = OcrEngines::read(OcrModel::combined, page, {PageLayout::automatic, !options.normalizePolarity, false, cancel});
    checkCancelled(cancel);
    QStringList lines;
    for (const QString &line : reading.lines)
        lines << tidyChineseSpacing(line);
    return joined(lines);
}

QString readLines(const QImage &image, const RecognitionOptions &options, const std::atomic<bool> *cancel)
{
    std::optional<InkSegmentation> analysed(std::in_place, framed(image));
    std::vector<TextLine> lines = findTextLines(*analysed);
    // Strokes of large text are as thick as a background's square: read it smaller.
    if (const int height = medianLineHeight(lines); height > kLargeLineHeight) {
        const double factor = double(kReadingHeight) / height;
        analysed.emplace(framed(image.scaled(std::max(1, int(image.width() * factor)), std::max(1, int(image.height() * factor)),
                                             Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
        lines = findTextLines(*analysed);
    }
    std::vector<QImage> pictures(lines.size());
    {
        const InkSegmentation &ink = *analysed;
        std::vector<int> lineOfGlyph(ink.glyphs().size(), -1);
        for (int i = 0; i < int(lines.size()); ++i)
            for (int glyph : lines[size_t(i)].glyphs)
                lineOfGlyph[size_t(glyph)] = i;
        const LineImageOptions pictureOptions{options.normalizePolarity, options.upscaleSmallText};
        runParallel(int(lines.size()), [&](int i) { pictures[size_t(i)] = lineImage(ink, lines[size_t(i)], lineOfGlyph, i, pictureOptions); });
    }
    // The analysis holds a few words a pixel; the engines need only the lines' pictures.
    const std::vector<BackgroundRegion> regions = analysed->regions();
    analysed.reset();
    OcrEngines::releaseFreedMemory();
    checkCancelled(cancel);
    std::vector<LineReading> readings;
    if (options.chooseScript) {
        readings = readInFittingScripts(lines, pictures, !options.normalizePolarity, cancel);
    } else {
        readings.resize(lines.size());
        runParallel(int(lines.size()), [&](int i) {
            const OcrReading reading =
                OcrEngines::read(OcrModel::combined, pictures[size_t(i)], {PageLayout::singleLine, !options.normalizePolarity, false, cancel});
            readings[size_t(i)] = {reading.lines.join(QLatin1Char(' ')), reading.confidence, OcrModel::combined};
        });
    }
    checkCancelled(cancel);
    // A line the engine reads with next to no confidence as a line of text may read surely as a
    // raw line, without the engine's own finding of words (a quoted word in a monospaced face);
    // noise does not.
    std::vector<int> doubtful;
    for (int i = 0; i < int(lines.size()); ++i)
        if (const LineReading &r = readings[size_t(i)]; !r.text.trimmed().isEmpty() && r.confidence < minimumConfidence(r.text))
            doubtful.push_back(i);
    runParallel(int(doubtful.size()), [&](int k) {
        LineReading &line = readings[size_t(doubtful[size_t(k)])];
        const OcrReading raw =
            OcrEngines::read(line.model, pictures[size_t(doubtful[size_t(k)])], {PageLayout::rawLine, !options.normalizePolarity, false, cancel});
        if (raw.confidence >= kSureRawLine)
            line = {raw.lines.join(QLatin1Char(' ')), raw.confidence, line.model};
    });
    checkCancelled(cancel);

    std::vector<PlacedText> texts;
    for (int i = 0; i < int(lines.size()); ++i) {
        const QString text =
            punctuationOfItsNeighbours(keyChords(issueNumbers(replaceStrayLookalikes(tidyChineseSpacing(spacedMarks(readings[size_t(i)].text.simplified()))))))
                .replace(QChar(kInkWordSpace), QLatin1Char(' '));
        if (!text.isEmpty() && readings[size_t(i)].confidence >= minimumConfidence(text))
            texts.push_back({lines[size_t(i)].box, text, lines[size_t(i)].region, lines[size_t(i)].baseline});
    }
    return joined(options.orderByLayout ? readingOrder(texts, regions) : topToBottom(texts));
}

} // namespace

QString tidyChineseSpacing(const QString &line)
{
    const QList<uint> points = line.toUcs4();
    QString tidy;
    for (int i = 0; i < points.size(); ++i) {
        if (points[i] == ' ' && i > 0 && i + 1 < points.size() && isWideCharacter(points[i - 1]) && isWideCharacter(points[i + 1]))
            continue;
        const char32_t c = points[i];
        tidy += QString::fromUcs4(&c, 1);
    }
    return tidy;
}

QString replaceStrayLookalikes(const QString &line)
{
    QList<uint> points = line.toUcs4();
    auto latin = [&](qsizetype i) { return i >= 0 && i < points.size() && isLatin(points[i]); };
    bool changed = false;
    for (qsizetype i = 0; i < points.size(); ++i) {
        if (!latin(i - 1) || !latin(i + 1))
            continue;
        for (const auto &[chinese, ascii] : {std::pair{0x5341u, '+'}, {0x4E00u, '-'}, {0x4E8Cu, '='}, {0xFF0Cu, ','}, {0x3002u, '.'}}) {
            if (points[i] == chinese) {
                points[i] = uint(ascii);
                changed = true;
            }
        }
    }
    return changed ? QString::fromUcs4(reinterpret_cast<const char32_t *>(points.constData()), points.size()) : line;
}

namespace {

using Points = std::vector<char32_t>;

Points pointsOf(const QString &text)
{
    const QList<uint> ucs4 = text.toUcs4();
    return Points(ucs4.begin(), ucs4.end());
}

QString textOf(const Points &points)
{
    return QString::fromUcs4(points.data(), qsizetype(points.size()));
}

bool isLetterOrDigit(char32_t c)
{
    return (c >= U'0' && c <= U'9') || (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
}

bool isDigit(char32_t c)
{
    return c >= U'0' && c <= U'9';
}

// The words of a line split at spaces.
std::vector<Points> wordsOf(const Points &points)
{
    std::vector<Points> words(1);
    for (char32_t c : points) {
        if (c == U' ') {
            if (!words.back().empty())
                words.emplace_back();
        } else {
            words.back().push_back(c);
        }
    }
    if (words.back().empty())
        words.pop_back();
    return words;
}

QString joinWords(const std::vector<Points> &words)
{
    QStringList parts;
    for (const Points &word : words)
        parts << textOf(word);
    return parts.join(QLatin1Char(' '));
}

} // namespace

QString spacedMarks(const QString &line)
{
    std::vector<Points> words = wordsOf(pointsOf(line));
    for (size_t i = 0; i < words.size(); ++i) {
        if (words[i].size() != 1)
            continue;
        const bool latinBefore = i > 0 && isLatin(words[i - 1].back()), latinAfter = i + 1 < words.size() && isLatin(words[i + 1].front());
        const bool between = i > 0 && i + 1 < words.size();
        if (!between || !(latinBefore || latinAfter))
            continue;
        char32_t &mark = words[i][0];
        if (mark == 0x4E00 || mark == 0x2014 || mark == 0x2013 || mark == U'-' || mark == 0x30FC)
            mark = latinBefore && latinAfter && mark == U'-' ? U'-' : 0x2014; // 一 ー – read for an em dash
        else if (mark == 0x3002 || mark == 0x30FB || mark == 0x2022 || mark == 0xFF0E)
            mark = 0x00B7; // 。 ・ • for the middle dot
    }
    return joinWords(words);
}

namespace {

// Lower case, with the engine's usual confusions of a thin stroke undone.
QString chordPart(const QString &part)
{
    QString folded = part.toLower();
    for (QChar &c : folded)
        if (c == QLatin1Char('|') || c == QLatin1Char('1'))
            c = QLatin1Char('l');
    return folded;
}

int editDistance(const QString &a, const QString &b)
{
    std::vector<int> row(size_t(b.size()) + 1);
    std::iota(row.begin(), row.end(), 0);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int above = row[size_t(j)];
            row[size_t(j)] = std::min({above + 1, row[size_t(j - 1)] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[size_t(b.size())];
}

// The modifier a part of a shortcut names, or empty: the one known name within reach, a letter
// away for short names and two for longer ones, starting as the name does.
QString modifierNamed(const QString &part)
{
    static const char *const kModifiers[] = {"Ctrl", "Shift", "Alt", "AltGr", "Super", "Meta", "Hyper", "Cmd", "Option", "Fn", "Win"};
    const QString folded = chordPart(part);
    QString best;
    int bestDistance = 3;
    bool tie = false;
    for (const char *name : kModifiers) {
        const QString known = QString::fromLatin1(name).toLower();
        const int distance = editDistance(folded, known);
        const bool near = distance == 0 || (distance == 1 && folded.size() >= 2 && folded[0] == known[0]) ||
                          (distance == 2 && known.size() >= 4 && folded.size() >= 4 && folded.left(2) == known.left(2));
        if (!near || distance > bestDistance)
            continue;
        tie = distance == bestDistance;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = QString::fromLatin1(name);
        }
    }
    return tie ? QString() : best;
}

// The key a shortcut ends with, as shown: one printable character (a full-width form as its
// ASCII key), a function key or a named key; empty when the part is none.
QString keyNamed(const QString &part)
{
    static const char *const kKeys[] = {"Tab",  "Esc",    "Enter",  "Return",   "Space", "Del",  "Delete", "Backspace", "Home",
                                        "End",  "PgUp",   "PgDn",   "PageUp",   "PageDown", "Ins", "Insert", "Up",      "Down",
                                        "Left", "Right",  "Print",  "Pause",    "Menu"};
    const QList<uint> points = part.toUcs4();
    if (points.size() == 1) {
        char32_t c = points[0];
        if (c >= 0xFF01 && c <= 0xFF5E)
            c -= 0xFEE0;
        return c > U' ' && c < 0x7F ? QString(QChar(c)) : QString();
    }
    static const QRegularExpression functionKey(QStringLiteral("^F([1-9]|1[0-9]|2[0-4])$"));
    if (functionKey.match(part).hasMatch())
        return part;
    for (const char *name : kKeys)
        if (part.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return QString::fromLatin1(name);
    return {};
}

// The word as a shortcut, or empty when it is none.
QString asKeyChord(const QString &word)
{
    QString body = word, key;
    if (word.size() > 2 && word.endsWith(QLatin1String("++"))) {
        body = word.chopped(2);
        key = QStringLiteral("+");
    } else {
        const qsizetype plus = word.lastIndexOf(QLatin1Char('+'));
        if (plus <= 0)
            return {};
        key = keyNamed(word.mid(plus + 1));
        body = word.left(plus);
        if (key.isEmpty())
            return {};
    }
    QStringList chord;
    for (const QString &part : body.split(QLatin1Char('+'))) {
        const QString modifier = modifierNamed(part);
        if (modifier.isEmpty())
            return {};
        chord << modifier;
    }
    chord << key;
    return chord.join(QLatin1Char('+'));
}

} // namespace

std::optional<QString> asNumber(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    QString digits = text;
    for (QChar &c : digits) {
        if (c == QLatin1Char('i') || c == QLatin1Char('I') || c == QLatin1Char('l') || c == QLatin1Char('|'))
            c = QLatin1Char('1');
        else if (c == QLatin1Char('o') || c == QLatin1Char('O'))
            c = QLatin1Char('0');
        else if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    return digits;
}

QString issueNumbers(const QString &line)
{
    static const QRegularExpression number(QStringLiteral("#[0-9iIl|oO]*[0-9][0-9iIl|oO]*[0-9][0-9iIl|oO]*\\b"));
    QString fixed = line;
    for (auto match = number.globalMatch(line); match.hasNext();) {
        const QRegularExpressionMatch m = match.next();
        fixed.replace(m.capturedStart(), m.capturedLength(), QLatin1Char('#') + *asNumber(m.captured().mid(1)));
    }
    return fixed;
}

QString keyChords(const QString &line)
{
    QStringList words = line.split(QLatin1Char(' '));
    for (QString &word : words)
        if (const QString chord = asKeyChord(word); !chord.isEmpty())
            word = chord;
    return words.join(QLatin1Char(' '));
}

bool isKeyChordLine(const QString &line)
{
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return !words.isEmpty() && std::all_of(words.begin(), words.end(), [](const QString &word) { return !asKeyChord(word).isEmpty(); });
}

QString punctuationOfItsNeighbours(const QString &line)
{
    static const std::pair<char32_t, char32_t> kWidths[] = {
        {U',', 0xFF0C}, {U'.', 0x3002}, {U':', 0xFF1A}, {U';', 0xFF1B}, {U'?', 0xFF1F}, {U'!', 0xFF01},
    };
    auto isFullStop = [](char32_t c) { return c == 0xFF0C || c == 0x3002 || c == 0xFF1A || c == 0xFF1B || c == 0xFF1F || c == 0xFF01; };
    Points points;
    // Dots after a Chinese character: its ellipsis, one character wide.
    for (const char32_t c : pointsOf(line)) {
        const bool dot = c == U'.' || c == 0x2026 || c == 0x3002;
        if (dot && !points.empty() && (points.back() == 0x2026 || points.back() == U'.' || points.back() == 0x3002)) {
            const auto run = std::find_if(points.rbegin(), points.rend(), [](char32_t p) { return p != U'.' && p != 0x2026 && p != 0x3002; });
            const auto beforeRun = std::find_if(run, points.rend(), [](char32_t p) { return p != U' '; });
            if (beforeRun != points.rend() && isIdeograph(*beforeRun)) {
                points.erase(beforeRun.base(), points.end());
                points.push_back(0x2026);
                continue;
            }
        }
        points.push_back(c);
    }
    auto neighbour = [&](qsizetype i, int step) -> char32_t {
        for (i += step; i >= 0 && i < qsizetype(points.size()); i += step)
            if (points[size_t(i)] != U' ')
                return points[size_t(i)];
        return 0;
    };
    Points tidy;
    for (qsizetype i = 0; i < qsizetype(points.size()); ++i) {
        char32_t c = points[size_t(i)];
        const char32_t before = neighbour(i, -1), after = neighbour(i, 1);
        for (const auto &[half, full] : kWidths) {
            // A Chinese sentence's punctuation after a Chinese character; the ASCII sign between
            // Latin words and numbers (a period keeps its 。 after a Latin word at a sentence's end).
            // A mark other than the period glued to a Chinese character is the sentence's own,
            // whatever follows ("字数：1,024").
            const bool glued = i > 0 && isIdeograph(points[size_t(i - 1)]) && half != U'.';
            if (c == half && isIdeograph(before) && (after == 0 || isIdeograph(after) || glued)) {
                c = full;
            } else if (c == full && isLetterOrDigit(before) && isLetterOrDigit(after)) {
                c = half;
            }
        }
        // A bar glued to the end of Chinese text is a speck of the control beside it.
        if (c == U'|' && i > 0 && isIdeograph(points[size_t(i - 1)]) && (i + 1 == qsizetype(points.size()) || points[size_t(i + 1)] == U' '))
            continue;
        // A vertical bar against a letter is the capital I.
        if (c == U'|' && ((i > 0 && isLetterOrDigit(points[size_t(i - 1)]) && !isDigit(points[size_t(i - 1)])) ||
                          (i + 1 < qsizetype(points.size()) && points[size_t(i + 1)] >= U'a' && points[size_t(i + 1)] <= U'z')))
            c = U'I';
        // No space around Chinese punctuation.
        if (isFullStop(c))
            while (!tidy.empty() && tidy.back() == U' ')
                tidy.pop_back();
        if (c == U' ' && !tidy.empty() && isFullStop(tidy.back()))
            continue;
        tidy.push_back(c);
    }
    // Marks read for small icons and close crosses: a registered sign standing alone, a copyright
    // sign not followed by a year, a lone cross not between numbers.
    std::vector<Points> words = wordsOf(tidy);
    std::vector<Points> kept;
    for (size_t i = 0; i < words.size(); ++i) {
        const Points &word = words[i];
        const bool numberBefore = i > 0 && isDigit(words[i - 1].back()), numberAfter = i + 1 < words.size() && isDigit(words[i + 1].front());
        if (word.size() == 1) {
            const char32_t c = word[0];
            if (c == 0x00AE || (c == 0x00A9 && !numberAfter) || ((c == U'x' || c == U'X' || c == 0x00D7 || c == 0x2715) && !(numberBefore && numberAfter)))
                continue;
        }
        kept.push_back(word);
    }
    return joinWords(kept);
}

QString recognizeImage(const QImage &image, const RecognitionOptions &options, const std::atomic<bool> *cancel)
{
    OcrEngines::requireAnyModel();
    checkCancelled(cancel);
    // The analysis of a large screen takes a hundred megabytes or more for a moment; what it
    // freed goes back to the system once it is done, so that a resident application does not
    // keep it.
    struct Release {
        ~Release() { OcrEngines::releaseFreedMemory(); }
    } release;
    return options.segmentBlocks ? readLines(image, options, cancel) : readPage(image, options, cancel);
}

} // namespace Tellumo::detail
