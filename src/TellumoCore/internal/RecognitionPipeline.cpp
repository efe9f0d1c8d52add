#include "TellumoCore/internal/RecognitionPipeline.h"

#include "TellumoCore/internal/Characters.h"
#include "TellumoCore/internal/InkSegmentation.h"
#include "TellumoCore/internal/LineImages.h"
#include "TellumoCore/internal/OcrEngines.h"
#include "TellumoCore/internal/ReadingOrder.h"
#include "TellumoCore/internal/RecognitionWorkers.h"
#include "TellumoCore/internal/ScriptChoice.h"
#include "TellumoCore/internal/TextLines.h"

#include <algorithm>
#include <cmath>

namespace Tellumo::detail {

namespace {

void checkCancelled(const std::atomic<bool> *cancel)
{
    if (cancel && cancel->load())
        throw RecognitionCancelled{};
}

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
        const InkSegmentation ink(image);
        page = options.normalizePolarity ? normalizedPage(ink) : image.convertToFormat(QImage::Format_Grayscale8);
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
    const InkSegmentation ink(image);
    const std::vector<TextLine> lines = findTextLines(ink);
    std::vector<int> lineOfGlyph(ink.glyphs().size(), -1);
    for (int i = 0; i < int(lines.size()); ++i)
        for (int glyph : lines[size_t(i)].glyphs)
            lineOfGlyph[size_t(glyph)] = i;

    const LineImageOptions pictureOptions{options.normalizePolarity, options.upscaleSmallText};
    std::vector<QImage> pictures(lines.size());
    runParallel(int(lines.size()), [&](int i) { pictures[size_t(i)] = lineImage(ink, lines[size_t(i)], lineOfGlyph, i, pictureOptions); });
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

    std::vector<PlacedText> texts;
    for (int i = 0; i < int(lines.size()); ++i) {
        const QString text = replaceStrayLookalikes(tidyChineseSpacing(readings[size_t(i)].text.simplified()));
        if (!text.isEmpty() && readings[size_t(i)].confidence >= minimumConfidence(text))
            texts.push_back({lines[size_t(i)].box, text, lines[size_t(i)].region, lines[size_t(i)].baseline});
    }
    return joined(options.orderByLayout ? readingOrder(texts, ink.regions()) : topToBottom(texts));
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

QString recognizeImage(const QImage &image, const RecognitionOptions &options, const std::atomic<bool> *cancel)
{
    checkCancelled(cancel);
    return options.segmentBlocks ? readLines(image, options, cancel) : readPage(image, options, cancel);
}

} // namespace Tellumo::detail
