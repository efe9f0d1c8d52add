#include "Kivaro/document/AnnotationStyle.h"

#include "Platform/Markup/TextLayout.h"

#include <QHash>
#include <QMutex>
#include <QTextDocument>

#include <cmath>

namespace Kivaro::AnnotationStyle {

using namespace Platform;

namespace {

// Room between the text and the bubble's edges: 16 points on either side when measuring;
// the paragraph indents of 14 leave the text two points of slack once it is in the bubble.
constexpr double kSideRoom = 32;
constexpr double kIndent = 14;
constexpr double kVerticalRoom = 26;
constexpr double kMinWidth = 120;
constexpr double kMinHeight = 48;
constexpr double kMeasureHeight = 2000; // the height of the measuring box: taller text is not counted

const QColor &textColour()
{
    static const QColor colour = QColor::fromRgbF(0.15f, 0.15f, 0.15f);
    return colour;
}

double finiteOr(double value, double fallback)
{
    return std::isfinite(value) ? value : fallback;
}

struct Measured {
    AttributedText text;
    double width = 0;
    friend bool operator==(const Measured &, const Measured &) = default;
};

size_t qHash(const Measured &m, size_t seed)
{
    return qHashMulti(seed, m.text.string(), m.width);
}

// Whether `text` lays out on one line at `width`. Laying out is the costly part of the
// consistency pass, which restyles every bubble at every drag step, save and preview while
// bubbles rarely change their text or width; the answers are remembered (bounded: forgotten
// all at once when full). A font installed while the application runs is not noticed.
bool fitsOnOneLine(const AttributedText &text, double width)
{
    static QMutex mutex;
    static QHash<Measured, bool> answers;
    constexpr qsizetype kRemembered = 4096;
    Measured key{text, width};
    {
        const QMutexLocker lock(&mutex);
        const auto found = answers.constFind(key);
        if (found != answers.cend())
            return *found;
    }
    const bool fits = lineCount(text, width) == 1;
    const QMutexLocker lock(&mutex);
    if (answers.size() >= kRemembered)
        answers.clear();
    answers.insert(std::move(key), fits);
    return fits;
}

} // namespace

const QColor &accent()
{
    static const QColor colour = QColor::fromRgbF(0.2f, 0.43f, 0.94f);
    return colour;
}

const QColor &surface()
{
    static const QColor colour = QColor::fromRgbF(1.0f, 1.0f, 1.0f, 0.98f);
    return colour;
}

const QColor &border()
{
    return accent();
}

QString fontFamily()
{
    return QStringLiteral("DejaVu Sans");
}

Label prepare(const QString &text, const QRectF &bounds)
{
    const double canvasWidth = finiteOr(bounds.width(), 0);
    ParagraphStyle paragraph;
    paragraph.alignment = TextAlignment::Left;
    paragraph.lineBreakMode = LineBreakMode::WordWrapping;
    paragraph.lineSpacing = 4;
    TextAttributes attributes;
    attributes.fontFamily = fontFamily();
    attributes.fontSize = qBound(18.0, canvasWidth / 56, 22.0);
    attributes.fontWeight = 400;
    attributes.foregroundColor = textColour();
    attributes.paragraphStyle = paragraph;
    const double maxWidth = qBound(160.0, canvasWidth * 0.32, 320.0);

    const auto layout = makeTextDocument(AttributedText(text, attributes), maxWidth - kSideRoom);
    // The widest laid-out line, not the box: a short text makes a narrow bubble.
    const double usedWidth = text.isEmpty() ? 0 : layout->idealWidth();
    const double usedHeight = text.isEmpty() ? 0 : qMin(layout->size().height(), kMeasureHeight);
    const double width = qBound(kMinWidth, std::ceil(usedWidth) + kSideRoom, maxWidth);
    const double height = qMax(kMinHeight, std::ceil(usedHeight) + kVerticalRoom);

    paragraph.firstLineHeadIndent = kIndent;
    paragraph.headIndent = kIndent;
    paragraph.tailIndent = -kIndent;
    attributes.paragraphStyle = paragraph;
    return {aligned(AttributedText(text, attributes), width), QSizeF(width, height)};
}

AttributedText aligned(const AttributedText &text, double width)
{
    if (text.isEmpty())
        return text;
    // Lines are counted with the text's fonts and plain word wrapping: its own indents and
    // spacing do not take part.
    QList<TextRun> plainRuns = text.runs();
    for (TextRun &run : plainRuns)
        run.attributes.paragraphStyle = ParagraphStyle{};
    AttributedText plain = text;
    plain.setRuns(plainRuns);
    const double layoutWidth = std::isfinite(width) ? qMax(width - kSideRoom, 1.0) : 1.0;
    const TextAlignment alignment = fitsOnOneLine(plain, layoutWidth) ? TextAlignment::Center : TextAlignment::Left;

    QList<TextRun> runs = text.runs();
    for (TextRun &run : runs) {
        ParagraphStyle style = run.attributes.paragraphStyle.value_or(ParagraphStyle{});
        style.alignment = alignment;
        run.attributes.paragraphStyle = style;
    }
    AttributedText result = text;
    result.setRuns(runs);
    return result;
}

} // namespace Kivaro::AnnotationStyle
