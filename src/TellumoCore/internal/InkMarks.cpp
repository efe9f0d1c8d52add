#include "TellumoCore/internal/InkMarks.h"

#include "TellumoCore/internal/Characters.h"
#include "TellumoCore/internal/InkColumns.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <optional>

namespace Tellumo::detail {

namespace {

constexpr int kInk = 60;   // darker than white by this much is ink
constexpr int kSolid = 128; // darker than this is the solid part of a stroke
// How far below the digits' top a letter's ink starts, as a share of their height: a capital at
// most the first, a small letter at least the second (its x-height is about three quarters of a
// digit's height).
constexpr double kCapitalDrop = 0.06;
constexpr double kSmallLetterDrop = 0.15;
// Two Chinese words set apart stand at least this share of the line's height apart; the
// characters of a word stand a fifth of it apart at most, and a character's own strokes leave
// less than a third.
constexpr double kChineseWordGap = 0.6;

// The rows of ink in the columns [left, right] of the picture.
std::optional<std::pair<int, int>> inkRows(const QImage &picture, int left, int right)
{
    left = std::max(0, left);
    right = std::min(picture.width() - 1, right);
    int top = picture.height(), bottom = -1;
    for (int y = 0; y < picture.height(); ++y) {
        const uchar *row = picture.constScanLine(y);
        for (int x = left; x <= right; ++x) {
            if (255 - row[x] > kInk) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
                break;
            }
        }
    }
    if (bottom < top)
        return std::nullopt;
    return std::pair{top, bottom};
}

// The index of each character's symbol (-1 for spaces); empty when there are not as many
// symbols as characters other than spaces. The steps here change characters one for one, so the
// count is what tells that the symbols are still the text's.
std::vector<int> symbolOfEachCharacter(const QList<uint> &points, const std::vector<OcrSymbol> &symbols)
{
    std::vector<int> symbolOf(size_t(points.size()), -1);
    size_t next = 0;
    for (qsizetype i = 0; i < points.size(); ++i) {
        if (points[i] == U' ')
            continue;
        if (next >= symbols.size())
            return {};
        symbolOf[size_t(i)] = int(next++);
    }
    return next == symbols.size() ? symbolOf : std::vector<int>();
}

QString textOf(const QList<uint> &points)
{
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(points.constData()), points.size());
}

bool isAsciiLetterOrDigit(char32_t c)
{
    return (c >= U'0' && c <= U'9') || (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
}

} // namespace

QString bulletOfTheInk(const QString &text, const QImage &picture)
{
    if (text.isEmpty())
        return text;
    const InkColumns ink(picture);
    const int height = ink.height();
    int left = 0;
    while (left < ink.width() && ink.ink(left) == 0)
        ++left;
    int right = left;
    while (right + 1 < ink.width() && ink.ink(right + 1) > 0)
        ++right;
    int next = right + 1;
    while (next < ink.width() && ink.ink(next) == 0)
        ++next;
    if (height < 8 || left >= ink.width() || next >= ink.width())
        return text;
    const std::optional<std::pair<int, int>> rows = inkRows(picture, left, right);
    if (!rows)
        return text;
    const int width = right - left + 1, dotHeight = rows->second - rows->first + 1;
    int solid = 0;
    for (int y = rows->first; y <= rows->second; ++y)
        for (int x = left; x <= right; ++x)
            solid += picture.constScanLine(y)[x] < kSolid;
    const double middle = (rows->first + rows->second) / 2.0 - ink.top();
    const bool filled = picture.constScanLine((rows->first + rows->second) / 2)[(left + right) / 2] < kSolid; // no ring (。, o)
    // A solid round dot, between an eighth and half the line's height, about the middle of a small
    // letter, and a blank about its width or more before the text.
    const bool bullet = filled && dotHeight >= 0.12 * height && dotHeight <= 0.5 * height && width * 10 >= dotHeight * 6 &&
                        width * 10 <= dotHeight * 16 && solid * 10 >= width * dotHeight * 4 && middle >= 0.3 * height &&
                        middle <= 0.75 * height && 2 * (next - right - 1) >= width;
    if (!bullet)
        return text;
    // What the engines make of a bullet: marks before the first word, or a letter standing alone.
    static const QString kReadings = QStringLiteral("。·•‧∙●◦*¢°oO0e«.,・．");
    qsizetype start = 0;
    while (start < text.size() && (kReadings.contains(text.at(start)) || text.at(start) == QLatin1Char(' ')) &&
           !isAsciiLetterOrDigit(text.at(start).unicode()))
        ++start;
    if (start == 0 && kReadings.contains(text.at(0)) && (text.size() == 1 || text.at(1) == QLatin1Char(' ')))
        start = 1;
    return QStringLiteral("• ") + text.mid(start).trimmed();
}

QString versionLettersOfTheInk(const QString &text, const std::vector<OcrSymbol> &symbols, const QImage &picture)
{
    static const QRegularExpression version(QStringLiteral("(?<![A-Za-z])([Vv]+)(\\d+(?:\\.\\d+)+)"));
    if (!text.contains(version))
        return text;
    QList<uint> points = text.toUcs4();
    const std::vector<int> symbolOf = symbolOfEachCharacter(points, symbols);
    if (symbolOf.empty())
        return text;
    // Each run of v's that starts a word and runs into digits.
    QList<uint> fixed;
    qsizetype i = 0;
    while (i < points.size()) {
        qsizetype letters = i;
        while (letters < points.size() && (points[letters] == U'V' || points[letters] == U'v'))
            ++letters;
        const bool afterLetter = i > 0 && isAsciiLetterOrDigit(points[i - 1]);
        if (letters == i || letters >= points.size() || points[letters] < U'0' || points[letters] > U'9' || afterLetter) {
            fixed << points[i];
            ++i;
            continue;
        }
        // The top of the letter's right arm against the digit's: the right arm is the ink just
        // before the digit's (the letter's left may touch a slash before it).
        QRect lettersBox;
        for (qsizetype k = i; k < letters; ++k)
            lettersBox |= symbols[size_t(symbolOf[size_t(k)])].box;
        const QRect digit = symbols[size_t(symbolOf[size_t(letters)])].box;
        const auto digitRows = inkRows(picture, digit.left() + digit.width() / 4, digit.right() - digit.width() / 4);
        const int digitHeight = digitRows ? digitRows->second - digitRows->first + 1 : 0;
        const InkColumns columns(picture);
        int x = std::clamp(digit.center().x(), 0, columns.width() - 1);
        while (x > std::max(0, digit.left() - 1) && columns.ink(x) > 0) // the digit, which the letter may touch
            --x;
        while (x > 0 && columns.ink(x) == 0)
            --x;
        const auto letterRows = inkRows(picture, x - std::max(1, digitHeight / 5), x);
            const bool oneLetter = letters - i == 1 || (digitHeight > 0 && lettersBox.width() <= 1.2 * digitHeight);
        if (!letterRows || digitHeight < 6 || !oneLetter) {
            for (qsizetype k = i; k < letters; ++k)
                fixed << points[k];
        } else {
            // A capital stands as high as the digits, a small letter a quarter lower; between
            // the two the ink does not tell, and the letters stay as read.
            const int below = letterRows->first - digitRows->first;
            if (below >= kSmallLetterDrop * digitHeight)
                fixed << U'v';
            else if (below <= kCapitalDrop * digitHeight)
                fixed << U'V';
            else
                for (qsizetype k = i; k < letters; ++k)
                    fixed << points[k];
        }
        i = letters;
    }
    return textOf(fixed);
}

std::vector<NumberSign> numberSignsInTheInk(const QString &text, const std::vector<OcrSymbol> &symbols, const QImage &picture)
{
    const QList<uint> points = text.toUcs4();
    auto digit = [&](qsizetype i) { return i >= 0 && i < points.size() && points[i] >= U'0' && points[i] <= U'9'; };
    // A number sign, or a Chinese character that starts a word (after a space or an opening
    // bracket: a date's 年 and 月 follow digits), before a digit.
    auto startsAWord = [&](qsizetype i) {
        return i == 0 || points[i - 1] == U' ' || points[i - 1] == U'(' || points[i - 1] == U'（' || points[i - 1] == U'[';
    };
    auto candidate = [&](qsizetype i) { return digit(i + 1) && (points[i] == U'#' || (isIdeograph(points[i]) && startsAWord(i))); };
    bool any = false;
    for (qsizetype i = 0; i + 1 < points.size() && !any; ++i)
        any = candidate(i);
    if (!any)
        return {};
    const std::vector<int> symbolOf = symbolOfEachCharacter(points, symbols);
    if (symbolOf.empty())
        return {};
    std::vector<NumberSign> signs;
    for (qsizetype i = 0; i + 1 < points.size(); ++i) {
        if (!candidate(i))
            continue;
        bool digitHigh = false, withinDigits = false;
        const QRect sign = symbols[size_t(symbolOf[size_t(i)])].box, first = symbols[size_t(symbolOf[size_t(i + 1)])].box;
        if (points[i] != U'#') {
            // Measured within the middle half of each box: the engine places Chinese characters
            // only roughly, and a neighbour's ink may reach into the box's edges.
            const auto signRows = inkRows(picture, sign.left() + sign.width() / 4, sign.right() - sign.width() / 4);
            const auto digitRows = inkRows(picture, first.left() + first.width() / 4, first.right() - first.width() / 4);
            if (signRows && digitRows) {
                const int digitHeight = digitRows->second - digitRows->first + 1;
                const double tolerance = std::max(1.0, 0.1 * digitHeight);
                digitHigh = digitHeight >= 6 && std::abs(signRows->first - digitRows->first) <= tolerance &&
                            std::abs(signRows->second - digitRows->second) <= tolerance;
                // A number sign reaches no higher than the digits; a Chinese character (第) stands
                // a little taller.
                const double above = std::max(1.0, 0.05 * digitHeight), below = std::max(1.0, 0.2 * digitHeight);
                withinDigits = digitHeight >= 6 && signRows->first >= digitRows->first - above && signRows->second <= digitRows->second + below;
            }
        }
        qsizetype end = i + 1;
        while (digit(end) || (end + 1 < points.size() && (points[end] == U'.' || points[end] == U',') && digit(end + 1)))
            ++end;
        QRect box = sign;
        for (qsizetype k = i + 1; k < end; ++k)
            box |= symbols[size_t(symbolOf[size_t(k)])].box;
        signs.push_back({i, end, box, digitHigh, withinDigits});
        i = end - 1;
    }
    return signs;
}

QString withNumberSigns(const QString &text, const std::vector<NumberSign> &signs, const QStringList &readings, std::vector<OcrSymbol> &symbols)
{
    static const QRegularExpression number(QStringLiteral("#\\d(?:[\\d.,]*\\d)?"));
    QList<uint> points = text.toUcs4();
    const std::vector<int> symbolOf = symbolOfEachCharacter(points, symbols);
    if (symbolOf.empty())
        return text;
    for (qsizetype k = qsizetype(signs.size()) - 1; k >= 0; --k) {
        const NumberSign &sign = signs[size_t(k)];
        // A Chinese character stands for the sign only when its ink stands no taller than the
        // digits: the English model reads 第 before a digit as # too.
        if (points[sign.from] != U'#' && !sign.withinDigits)
            continue;
        const QRegularExpressionMatch match = number.match(k < readings.size() ? readings[k] : QString());
        if (!match.hasMatch()) {
            if (sign.digitHigh) {
                points[sign.from] = U'#';
                symbols[size_t(symbolOf[size_t(sign.from)])].text = QStringLiteral("#");
            }
            continue;
        }
        const QList<uint> read = match.captured().toUcs4();
        const int firstSymbol = symbolOf[size_t(sign.from)];
        symbols.erase(symbols.begin() + firstSymbol, symbols.begin() + symbolOf[size_t(sign.to - 1)] + 1);
        points.remove(sign.from, sign.to - sign.from);
        for (qsizetype r = 0; r < read.size(); ++r) {
            points.insert(sign.from + r, read[r]);
            const int left = sign.box.left() + int(r * sign.box.width() / read.size()), right = sign.box.left() + int((r + 1) * sign.box.width() / read.size()) - 1;
            const char32_t c = read[r];
            symbols.insert(symbols.begin() + firstSymbol + r, OcrSymbol{QString::fromUcs4(&c, 1), QRect(QPoint(left, sign.box.top()), QPoint(right, sign.box.bottom())), 0});
        }
    }
    return textOf(points);
}

QString spacesOfTheInk(const QString &text, const std::vector<OcrSymbol> &symbols, const QImage &picture)
{
    const QList<uint> points = text.toUcs4();
    const std::vector<int> symbolOf = symbolOfEachCharacter(points, symbols);
    if (symbolOf.empty())
        return text;
    const InkColumns ink(picture);
    // Two Chinese characters, neither the character 一 (which the later steps may tell for a dash).
    auto chinese = [&](qsizetype i) { return i >= 0 && i < points.size() && isIdeograph(points[i]) && points[i] != 0x4E00; };
    QList<uint> spaced;
    bool changed = false;
    for (qsizetype i = 0; i < points.size(); ++i) {
        // The engine's space between two Chinese words set apart is the ink's word space.
        if (points[i] == U' ' && chinese(i - 1) && chinese(i + 1) && !spaced.isEmpty() && spaced.back() == uint(kInkWordSpace))
            continue;
        spaced << points[i];
        if (i + 1 >= points.size() || points[i] == U' ')
            continue;
        // Chinese characters go without spaces between them (the text's tidying drops the
        // engine's), but for the wide blank between two Chinese words set apart (the items of a
        // menu bar); a space beside a Latin character or a digit is the ink's to tell.
        if (chinese(i)) {
            const qsizetype next = points[i + 1] == U' ' ? i + 2 : i + 1;
            if (chinese(next)) {
                const QRect a = symbols[size_t(symbolOf[size_t(i)])].box, b = symbols[size_t(symbolOf[size_t(next)])].box;
                if (ink.widestBlank(a.center().x(), b.center().x()) >= kChineseWordGap * ink.height()) {
                    spaced << uint(kInkWordSpace);
                    changed = true;
                }
                continue;
            }
        }
        if (points[i + 1] == U' ' || (isWideCharacter(points[i]) && isWideCharacter(points[i + 1])))
            continue;
        const QRect a = symbols[size_t(symbolOf[size_t(i)])].box, b = symbols[size_t(symbolOf[size_t(i + 1)])].box;
        if (ink.partsWords(ink.widestBlank(a.center().x(), b.center().x()))) {
            spaced << U' ';
            changed = true;
        }
    }
    return changed ? textOf(spaced) : text;
}

} // namespace Tellumo::detail
