#include "TellumoCore/internal/ScriptEvidence.h"

#include "TellumoCore/internal/Characters.h"

#include <QFont>
#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <unordered_map>

namespace Tellumo::detail {

namespace {

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

struct Cells {
    std::vector<double> inks; // the ink of each character cell, left to right
    double height = 0;        // the height of the line's ink
};

// Cuts a line of Chinese into character cells: runs of inked columns joined while together they
// stay within one character's width (about the height of the line's ink), so that the parts of
// one character (亻 and 尔) share a cell and neighbours do not.
Cells characterCells(const QImage &picture)
{
    Cells cells;
    constexpr int kInked = 40; // darker than this counts as ink
    int top = picture.height(), bottom = -1;
    std::vector<bool> inked(size_t(picture.width()), false);
    for (int y = 0; y < picture.height(); ++y) {
        const uchar *row = picture.constScanLine(y);
        for (int x = 0; x < picture.width(); ++x) {
            if (255 - row[x] > kInked) {
                inked[size_t(x)] = true;
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (bottom < top)
        return cells;
    cells.height = bottom - top + 1;
    const double widest = 1.1 * cells.height;
    int start = -1, end = -1;
    for (int x = 0; x <= picture.width(); ++x) {
        const bool on = x < picture.width() && inked[size_t(x)];
        if (on && start < 0) {
            start = end = x;
        } else if (on) {
            end = x;
        }
        // The end of a run of inked columns: join the next run only while the cell stays narrow.
        if (!on && start >= 0) {
            int next = x;
            while (next < picture.width() && !inked[size_t(next)])
                ++next;
            int nextEnd = next;
            while (nextEnd + 1 < picture.width() && inked[size_t(nextEnd + 1)])
                ++nextEnd;
            if (next < picture.width() && nextEnd - start + 1 <= widest) {
                x = nextEnd;
                end = nextEnd;
                continue;
            }
            cells.inks.push_back(inkOfColumns(picture, start, end));
            start = -1;
        }
    }
    return cells;
}

} // namespace

double referenceInk(char32_t character)
{
    static std::mutex mutex;
    static std::unordered_map<char32_t, double> cache;
    std::lock_guard lock(mutex);
    if (auto found = cache.find(character); found != cache.end())
        return found->second;
    constexpr int size = 64;
    QImage glyph(size, size, QImage::Format_Grayscale8);
    glyph.fill(255);
    {
        QPainter painter(&glyph);
        QFont font;
        font.setFamilies({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK TC")});
        font.setPixelSize(48);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QString::fromUcs4(&character, 1));
    }
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
    cache.emplace(character, ink);
    return ink;
}

ScriptEvidence compareScripts(const QImage &picture, const std::vector<OcrSymbol> &simplified, const std::vector<OcrSymbol> &traditional)
{
    ScriptEvidence evidence;
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()) || simplified.size() != traditional.size())
        return evidence;
    for (const auto *reading : {&simplified, &traditional})
        for (const OcrSymbol &symbol : *reading)
            if (!takesACell(onlyCharacter(symbol.text)))
                return evidence;
    const Cells cells = characterCells(picture);
    if (cells.inks.size() != simplified.size() || cells.height <= 0)
        return evidence;

    struct Variant {
        double found, simplified, traditional;
    };
    std::vector<Variant> variants;
    double foundAgreed = 0, drawnAgreed = 0;
    for (size_t i = 0; i < simplified.size(); ++i) {
        const char32_t a = onlyCharacter(simplified[i].text), b = onlyCharacter(traditional[i].text);
        if (!isIdeograph(a) || !isIdeograph(b))
            continue;
        const double found = cells.inks[i] / (cells.height * cells.height);
        if (a == b) {
            foundAgreed += found;
            drawnAgreed += referenceInk(a);
        } else {
            variants.push_back({found, referenceInk(a), referenceInk(b)});
        }
    }
    if (variants.empty())
        return evidence;
    double scale = 0;
    if (drawnAgreed > 0) {
        scale = foundAgreed / drawnAgreed;
    } else {
        double found = 0, drawn = 0;
        for (const Variant &v : variants) {
            found += v.found;
            drawn += (v.simplified + v.traditional) / 2;
        }
        scale = drawn > 0 ? found / drawn : 0;
    }
    if (scale <= 0)
        return evidence;
    for (const Variant &v : variants) {
        const double larger = std::max(v.simplified, v.traditional);
        if (larger <= 0 || std::abs(v.simplified - v.traditional) < 0.1 * larger)
            continue;
        evidence.traditional += (std::abs(v.found - scale * v.simplified) - std::abs(v.found - scale * v.traditional)) / (scale * larger);
        ++evidence.positions;
    }
    return evidence;
}

} // namespace Tellumo::detail
