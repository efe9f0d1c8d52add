#include "TextScreens/CharacterErrors.h"

#include <QList>

#include <algorithm>
#include <vector>

namespace TextScreens {

bool isChineseCharacter(char32_t c)
{
    return (c >= 0x3000 && c <= 0x303F) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0x20000 && c <= 0x2FA1F);
}

namespace {

std::vector<char32_t> normalizedCodePoints(const QString &text)
{
    QString folded = text.normalized(QString::NormalizationForm_KC);
    for (QChar &c : folded) {
        if (c == QChar(0x201C) || c == QChar(0x201D) || c == QChar(0x300C) || c == QChar(0x300D))
            c = QLatin1Char('"');
        else if (c == QChar(0x2018) || c == QChar(0x2019))
            c = QLatin1Char('\'');
    }
    std::vector<char32_t> points;
    for (char32_t c : folded.toUcs4())
        points.push_back(c);
    // One space for every run of white space; none next to a Chinese character or at the ends.
    std::vector<char32_t> result;
    bool pendingSpace = false;
    for (char32_t c : points) {
        if (QChar::isSpace(c)) {
            pendingSpace = !result.empty();
            continue;
        }
        if (pendingSpace && !isChineseCharacter(c) && !isChineseCharacter(result.back()))
            result.push_back(U' ');
        pendingSpace = false;
        result.push_back(c);
    }
    return result;
}

} // namespace

QString normalizedForComparison(const QString &text)
{
    const std::vector<char32_t> points = normalizedCodePoints(text);
    return QString::fromUcs4(points.data(), qsizetype(points.size()));
}

CharacterErrors characterErrors(const QString &expected, const QString &recognized)
{
    const std::vector<char32_t> a = normalizedCodePoints(expected), b = normalizedCodePoints(recognized);
    std::vector<qint64> previous(b.size() + 1), current(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        previous[j] = qint64(j);
    for (size_t i = 1; i <= a.size(); ++i) {
        current[0] = qint64(i);
        for (size_t j = 1; j <= b.size(); ++j)
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
        std::swap(previous, current);
    }
    return {previous[b.size()], qint64(a.size())};
}

} // namespace TextScreens
