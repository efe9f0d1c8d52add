#include "Platform/Markup/TextLayout.h"

#include <QAbstractTextDocumentLayout>
#include <QCache>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QThread>

#include <atomic>

namespace Platform {

namespace {

// A paint device of 72 dots per inch: one point of font size is one markup unit.
QPaintDevice *layoutDevice()
{
    static QImage *device = [] {
        auto *image = new QImage(1, 1, QImage::Format_ARGB32_Premultiplied);
        image->setDotsPerMeterX(qRound(72 / 0.0254));
        image->setDotsPerMeterY(qRound(72 / 0.0254));
        return image;
    }();
    return device;
}

QTextCharFormat charFormat(const TextAttributes &a)
{
    QTextCharFormat format;
    QFont font = a.fontFamily.isEmpty() ? QGuiApplication::font() : QFont(a.fontFamily);
    font.setPointSizeF(qMax(0.5, a.fontSize));
    font.setWeight(QFont::Weight(qBound(1, a.fontWeight, 1000)));
    font.setItalic(a.italic);
    format.setFont(font, QTextCharFormat::FontPropertiesAll);
    format.setForeground(a.foregroundColor.value_or(QColor(Qt::black)));
    return format;
}

QTextBlockFormat blockFormat(const ParagraphStyle &style, double width)
{
    QTextBlockFormat format;
    switch (style.alignment) {
    case TextAlignment::Natural:
    case TextAlignment::Left:
        format.setAlignment(Qt::AlignLeft | Qt::AlignAbsolute);
        break;
    case TextAlignment::Center:
        format.setAlignment(Qt::AlignHCenter);
        break;
    case TextAlignment::Right:
        format.setAlignment(Qt::AlignRight | Qt::AlignAbsolute);
        break;
    case TextAlignment::Justified:
        format.setAlignment(Qt::AlignJustify);
        break;
    }
    if (style.lineSpacing > 0)
        format.setLineHeight(style.lineSpacing, QTextBlockFormat::LineDistanceHeight);
    format.setTopMargin(style.paragraphSpacingBefore);
    format.setBottomMargin(style.paragraphSpacing);
    format.setLeftMargin(style.headIndent);
    format.setTextIndent(style.firstLineHeadIndent - style.headIndent);
    // A positive tail indent is measured from the leading edge, zero or negative from the trailing.
    if (style.tailIndent <= 0)
        format.setRightMargin(-style.tailIndent);
    else if (width > 0)
        format.setRightMargin(qMax(0.0, width - style.tailIndent));
    return format;
}

std::atomic<qint64> layoutsMade{0};

// A text laid out in full at one width, and what is measured of it.
struct LaidOutText {
    std::unique_ptr<QTextDocument> document;
    QSizeF size;
    int lines = 0;
};

// The user-interface font stands in for an empty family, so it is part of what a layout
// depends on.
struct LayoutKey {
    AttributedText text;
    double width;
    QString interfaceFont;
    friend bool operator==(const LayoutKey &, const LayoutKey &) = default;
};

size_t qHash(const LayoutKey &key, size_t seed)
{
    return qHashMulti(seed, key.text.string(), key.text.runs().size(), key.width, key.interfaceFont);
}

std::shared_ptr<const LaidOutText> layOut(const AttributedText &text, double width)
{
    auto laidOut = std::make_shared<LaidOutText>();
    laidOut->document = makeTextDocument(text, width);
    laidOut->size = laidOut->document->size(); // lays out every block
    for (QTextBlock block = laidOut->document->begin(); block.isValid(); block = block.next())
        laidOut->lines += block.layout() ? block.layout()->lineCount() : 0;
    layoutsMade.fetch_add(1, std::memory_order_relaxed);
    return laidOut;
}

using LayoutCache = QCache<LayoutKey, std::shared_ptr<const LaidOutText>>;

// Emptied when the application goes, while its fonts are still there: a layout holds on to
// the font engines it used.
LayoutCache &layoutCache()
{
    static auto *cache = [] {
        qAddPostRoutine([] { layoutCache().clear(); });
        return new LayoutCache(kLayoutCacheBytes);
    }();
    return *cache;
}

// The layout of `text` at `width`, made once and then taken from a cache that keeps the most
// recently used layouts up to kLayoutCacheBytes. Only on the application's thread, where fonts
// and the cache live; elsewhere the text is laid out anew.
std::shared_ptr<const LaidOutText> cachedLayout(const AttributedText &text, double width)
{
    const QCoreApplication *application = QCoreApplication::instance();
    if (!application || QThread::currentThread() != application->thread())
        return layOut(text, width);
    LayoutCache *cache = &layoutCache();
    LayoutKey key{text, width, QGuiApplication::font().key()};
    if (const auto *found = cache->object(key))
        return *found;
    auto laidOut = layOut(text, width);
    cache->insert(std::move(key), new std::shared_ptr<const LaidOutText>(laidOut), kLayoutBytes + kLayoutBytesPerUnit * text.length());
    return laidOut;
}

} // namespace

std::unique_ptr<QTextDocument> makeTextDocument(const AttributedText &text, double width)
{
    auto document = std::make_unique<QTextDocument>();
    document->documentLayout()->setPaintDevice(layoutDevice());
    document->setDocumentMargin(0);
    document->setUndoRedoEnabled(false);
    QTextOption option = document->defaultTextOption();
    const auto first = text.attributesAt(0);
    const LineBreakMode mode = first && first->paragraphStyle ? first->paragraphStyle->lineBreakMode : LineBreakMode::WordWrapping;
    option.setWrapMode(width <= 0 || mode == LineBreakMode::Clipping ? QTextOption::NoWrap
                       : mode == LineBreakMode::CharWrapping           ? QTextOption::WrapAnywhere
                                                                       : QTextOption::WrapAtWordBoundaryOrAnywhere);
    document->setDefaultTextOption(option);
    if (width > 0)
        document->setTextWidth(width);

    QTextCursor cursor(document.get());
    qsizetype start = 0;
    for (const TextRun &run : text.runs()) {
        cursor.insertText(text.string().mid(start, run.length), charFormat(run.attributes));
        start += run.length;
    }
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const auto attributes = text.attributesAt(block.position());
        if (!attributes || !attributes->paragraphStyle)
            continue;
        QTextCursor blockCursor(block);
        blockCursor.setBlockFormat(blockFormat(*attributes->paragraphStyle, width));
    }
    return document;
}

QSizeF measureText(const AttributedText &text, double width)
{
    if (text.isEmpty())
        return {};
    return cachedLayout(text, width)->size;
}

int lineCount(const AttributedText &text, double width)
{
    if (text.isEmpty())
        return 0;
    return cachedLayout(text, width)->lines;
}

void drawText(QPainter &painter, const AttributedText &text, const QRectF &frame)
{
    if (text.isEmpty() || frame.width() <= 0)
        return;
    const auto laidOut = cachedLayout(text, frame.width());
    painter.save();
    painter.translate(frame.x(), frame.y() + (frame.height() - laidOut->size.height()) / 2);
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, Qt::black);
    laidOut->document->documentLayout()->draw(&painter, context);
    painter.restore();
}

qint64 textLayoutCount()
{
    return layoutsMade.load(std::memory_order_relaxed);
}

} // namespace Platform
