#include "Kivaro/document/AnnotationStyle.h"

#include "Platform/Markup/TextLayout.h"

#include <gtest/gtest.h>

using namespace Kivaro;
using namespace Platform;

namespace {

QRectF canvas(double width)
{
    return QRectF(0, 0, width, 600);
}

TextAlignment alignmentOf(const AttributedText &text)
{
    return text.attributesAt(0)->paragraphStyle->alignment;
}

const QString kLong = QStringLiteral("The quick brown fox jumps over the lazy dog while the annotation keeps on going well past "
                                     "the width of one bubble, so that it has to wrap onto several lines.");

} // namespace

TEST(AnnotationStyle, FontAndMaximumWidthFollowTheCanvasWidth)
{
    struct Case {
        double width, fontSize, maxWidth;
    };
    for (const Case c : {Case{1000, 18, 320}, Case{1232, 22, 320}, Case{400, 18, 160}, Case{3000, 22, 320}}) {
        const AnnotationStyle::Label label = AnnotationStyle::prepare(kLong, canvas(c.width));
        const TextAttributes attributes = *label.text.attributesAt(0);
        EXPECT_EQ(attributes.fontSize, c.fontSize) << c.width;
        EXPECT_EQ(attributes.fontWeight, 400);
        EXPECT_LE(label.size.width(), c.maxWidth);
        EXPECT_GT(label.size.width(), c.maxWidth * 0.8) << "a long text wraps near the maximum width";
    }
}

TEST(AnnotationStyle, AShortWordMakesTheSmallestBubbleWithItsTextCentred)
{
    const AnnotationStyle::Label label = AnnotationStyle::prepare(QStringLiteral("OK"), canvas(1000));
    EXPECT_EQ(label.size.width(), 120);
    EXPECT_GE(label.size.height(), 48);
    EXPECT_LT(label.size.height(), 60);
    EXPECT_EQ(alignmentOf(label.text), TextAlignment::Center);

    const AnnotationStyle::Label wrapped = AnnotationStyle::prepare(kLong, canvas(1000));
    EXPECT_EQ(alignmentOf(wrapped.text), TextAlignment::Left);
    const AnnotationStyle::Label tall = AnnotationStyle::prepare(kLong + kLong + kLong + kLong, canvas(1000));
    EXPECT_LE(tall.size.width(), 320) << "a longer text grows only in height";
    EXPECT_GT(tall.size.height(), wrapped.size.height() * 2);
}

// The prepared text fits its bubble: with the indents it lays out in no more lines than it was
// measured in, and its height leaves the bubble's top and bottom room.
TEST(AnnotationStyle, PreparedTextFitsItsBubbleInLatinAndChinese)
{
    for (const QString &text : {QStringLiteral("Save"), QStringLiteral("马赛克隐藏敏感内容"), kLong,
                                QStringLiteral("这一段较长的中文标注需要换行显示，气泡的宽度不会超过画布宽度的三成二，高度随文字增长。"),
                                QStringLiteral("第一行\nsecond line")}) {
        for (double width : {400.0, 1000.0, 1600.0}) {
            const AnnotationStyle::Label label = AnnotationStyle::prepare(text, canvas(width));
            const QSizeF laidOut = measureText(label.text, label.size.width());
            EXPECT_LE(laidOut.height() + 26, label.size.height() + 0.5) << text.toStdString() << " at " << width;
            EXPECT_LE(label.size.width(), qBound(160.0, width * 0.32, 320.0));
            EXPECT_GE(label.size.width(), 120);
        }
    }
    // A short Chinese label stays on one line, centred, in a bubble narrower than the maximum.
    const AnnotationStyle::Label chinese = AnnotationStyle::prepare(QStringLiteral("马赛克隐藏敏感内容"), canvas(1000));
    EXPECT_LT(chinese.size.width(), 320);
    EXPECT_EQ(alignmentOf(chinese.text), TextAlignment::Center);
    EXPECT_EQ(lineCount(chinese.text, chinese.size.width()), 1);
}

TEST(AnnotationStyle, AlignmentCountsLinesAtTheBubbleWidthAndKeepsOtherSettings)
{
    EXPECT_EQ(AnnotationStyle::aligned(AttributedText(), 200), AttributedText());

    TextAttributes attributes;
    attributes.fontFamily = AnnotationStyle::fontFamily();
    attributes.fontSize = 18;
    ParagraphStyle indented;
    indented.headIndent = 14;
    indented.lineSpacing = 4;
    attributes.paragraphStyle = indented;
    const AttributedText word(QStringLiteral("Label"), attributes);
    const AttributedText one = AnnotationStyle::aligned(word, 200);
    EXPECT_EQ(alignmentOf(one), TextAlignment::Center);
    EXPECT_EQ(one.attributesAt(0)->paragraphStyle->headIndent, 14);
    // Below 33 points the layout box is one point wide: every letter on its own line.
    EXPECT_EQ(alignmentOf(AnnotationStyle::aligned(word, 20)), TextAlignment::Left);
    EXPECT_EQ(alignmentOf(AnnotationStyle::aligned(AttributedText(QStringLiteral("a\nb"), attributes), 400)), TextAlignment::Left);

    // Every run gets the alignment, a run without a paragraph style too.
    AttributedText mixed(QStringLiteral("Hi "), attributes);
    TextAttributes bold = attributes;
    bold.fontWeight = 700;
    bold.paragraphStyle.reset();
    mixed.append(QStringLiteral("there"), bold);
    const AttributedText result = AnnotationStyle::aligned(mixed, 300);
    ASSERT_EQ(result.runs().size(), 2);
    for (const TextRun &run : result.runs())
        EXPECT_EQ(run.attributes.paragraphStyle->alignment, TextAlignment::Center);
}
