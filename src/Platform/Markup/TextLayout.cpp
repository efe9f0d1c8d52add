#include "Platform/Markup/TextLayout.h"

#include <QAbstractTextDocumentLayout>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

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
    return makeTextDocument(text, width)->size();
}

int lineCount(const AttributedText &text, double width)
{
    if (text.isEmpty())
        return 0;
    const auto document = makeTextDocument(text, width);
    document->documentLayout()->documentSize(); // lays out every block
    int lines = 0;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        lines += block.layout() ? block.layout()->lineCount() : 0;
    return lines;
}

void drawText(QPainter &painter, const AttributedText &text, const QRectF &frame)
{
    if (text.isEmpty() || frame.width() <= 0)
        return;
    const auto document = makeTextDocument(text, frame.width());
    const double height = document->size().height();
    painter.save();
    painter.translate(frame.x(), frame.y() + (frame.height() - height) / 2);
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, Qt::black);
    document->documentLayout()->draw(&painter, context);
    painter.restore();
}

} // namespace Platform
