#include "Kivaro/document/AnnotationStyle.h"

#include "Platform/Markup/TextLayout.h"

#include <gtest/gtest.h>

using namespace Kivaro;
using namespace Platform;

namespace {

AnnotationStyle::Label prepared(const QString &text, double canvasWidth)
{
    return AnnotationStyle::prepare(text, QRectF(0, 0, canvasWidth, 600));
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
        const AnnotationStyle::Label label = prepared(kLong, c.width);
        EXPECT_EQ(label.text.attributesAt(0)->fontSize, c.fontSize) << c.width;
        EXPECT_LE(label.size.width(), c.maxWidth);
        EXPECT_GT(label.size.width(), c.maxWidth * 0.8) << "a long text wraps near the maximum width";
    }
}

TEST(AnnotationStyle, AShortWordIsTheSmallestBubbleCentredAndLongTextsGrowOnlyInHeight)
{
    const AnnotationStyle::Label word = prepared(QStringLiteral("OK"), 1000);
    EXPECT_EQ(word.size.width(), 120);
    EXPECT_GE(word.size.height(), 48);
    EXPECT_LT(word.size.height(), 60);
    EXPECT_EQ(alignmentOf(word.text), TextAlignment::Center);

    const AnnotationStyle::Label wrapped = prepared(kLong, 1000);
    EXPECT_EQ(alignmentOf(wrapped.text), TextAlignment::Left);
    const AnnotationStyle::Label tall = prepared(kLong.repeated(4), 1000);
    EXPECT_LE(tall.size.width(), 320);
    EXPECT_GT(tall.size.height(), wrapped.size.height() * 2);

    // Alignment answers are remembered per text and width: a width or a font size that changes
    // is measured again, whatever was asked before.
    EXPECT_EQ(alignmentOf(AnnotationStyle::aligned(wrapped.text, 3000)), TextAlignment::Center);
    EXPECT_EQ(alignmentOf(AnnotationStyle::aligned(wrapped.text, 320)), TextAlignment::Left);
    TextAttributes larger = *wrapped.text.attributesAt(0);
    larger.fontSize = 80;
    EXPECT_EQ(alignmentOf(AnnotationStyle::aligned(AttributedText(wrapped.text.string(), larger), 3000)), TextAlignment::Left);
    EXPECT_EQ(alignmentOf(AnnotationStyle::aligned(wrapped.text, 3000)), TextAlignment::Center);
}

// The prepared text fits its bubble: with the indents it lays out in no more room than it was
// measured in, Latin and Chinese alike, and a short Chinese label stays on one centred line.
TEST(AnnotationStyle, PreparedTextFitsItsBubbleInLatinAndChinese)
{
    for (const QString &text : {kLong, QStringLiteral("第一行\nsecond line"),
                                QStringLiteral("这一段较长的中文标注需要换行显示，气泡的宽度不会超过画布宽度的三成二，高度随文字增长。")}) {
        for (double width : {400.0, 1000.0, 1600.0}) {
            const AnnotationStyle::Label label = prepared(text, width);
            EXPECT_LE(measureText(label.text, label.size.width()).height() + 26, label.size.height() + 0.5) << text.toStdString() << width;
            EXPECT_LE(label.size.width(), qBound(160.0, width * 0.32, 320.0));
        }
    }
    const AnnotationStyle::Label chinese = prepared(QStringLiteral("马赛克隐藏敏感内容"), 1000);
    EXPECT_LT(chinese.size.width(), 320);
    EXPECT_EQ(alignmentOf(chinese.text), TextAlignment::Center);
    EXPECT_EQ(lineCount(chinese.text, chinese.size.width()), 1);
}
