#include "DocumentFixtures.h"

#include "Kivaro/document/LinkedAnnotations.h"
#include "Kivaro/document/ProjectArchive.h"

#include "Platform/Markup/DocumentLimits.h"

#include <QLineF>

using namespace Kivaro;
using namespace DocumentFixtures;

namespace {

using TextBubbles = AnnotatedDocument;

const QString kPlaceMessage = QStringLiteral("请在图片内选一个位置，并输入标注内容。");

ShapeElement bubbleOf(const ShotDocument &document, int link)
{
    return *document.markup().subelements().shape(document.links().at(link).bubbleID);
}

QPointF arrowEnd(const ShapeElement &arrow)
{
    return {arrow.frame.x() + arrow.shape.end.x() * arrow.frame.width(), arrow.frame.y() + arrow.shape.end.y() * arrow.frame.height()};
}

} // namespace

TEST_F(TextBubbles, AddingMakesABubbleItsArrowAndTheLinkAsOneNamedStep)
{
    const ShotState before = document.state();
    document.addAnnotation("  \n 保存按钮 \t", QPointF(120, 150));
    ASSERT_EQ(document.links().size(), 1);
    const AnnotationLink link = document.links().first();
    ASSERT_EQ(elements().size(), 3);
    EXPECT_EQ(elements().indexOf(link.arrowID), 1) << "arrow below its bubble";
    const ShapeElement bubble = bubbleOf(document, 0);
    EXPECT_EQ(bubble.attributedText.string(), QStringLiteral("保存按钮")) << "trimmed";
    EXPECT_TRUE(document.markup().bounds().contains(bubble.frame));
    EXPECT_FALSE(bubble.frame.adjusted(-16, -16, 16, 16).contains(link.anchor)) << "off its own anchor";
    expectOneStep(before, QStringLiteral("添加标注"));
    EXPECT_EQ(document.canvas()->selection().size(), 2) << "the bubble and arrow that reappear are selected";

    document.addAnnotation("second", QPointF(120, 150));
    EXPECT_FALSE(bubbleOf(document, 0).frame.intersects(bubbleOf(document, 1).frame)) << "a new bubble avoids the old one";
}

TEST_F(TextBubbles, RefusesEmptyOutsideAndOverlongTexts)
{
    expectRefused(kPlaceMessage, [&] { document.addAnnotation(" \n\t ", QPointF(10, 10)); });
    expectRefused(kPlaceMessage, [&] { document.addAnnotation("x", QPointF(400, 10)); }); // the right edge is outside
    expectRefused(kPlaceMessage, [&] { document.addAnnotation("x", QPointF(-1, 10)); });

    // 500 characters as the user sees them, each a family emoji of seven code points.
    const QString text = QStringLiteral("👩‍👩‍👧‍👦").repeated(500);
    EXPECT_EQ(refusal([&] { document.addAnnotation(text, QPointF(100, 100)); }), QString());
    expectRefused(QStringLiteral("单条标注最多 500 字，请分成几条。"), [&] { document.addAnnotation(text + "字", QPointF(100, 100)); });

    ShotDocument empty;
    EXPECT_EQ(refusal([&] { empty.addAnnotation("x", QPointF(0, 0)); }), kPlaceMessage);
}

// Mended: one character can carry any number of combining marks, so a bubble of 500 characters
// had no bound in code units, and the project file bounds each text in code units.
TEST_F(TextBubbles, ATextLongerThanAProjectHoldsIsRefusedHoweverFewCharactersItHas)
{
    const QString marked = QStringLiteral("a") + QString(DocumentLimits::kMaxTextLength, QChar(0x0301)); // one character
    expectRefused(QStringLiteral("单条标注最多 500 字，请分成几条。"), [&] { document.addAnnotation(marked, QPointF(100, 100)); });
    document.addAnnotation(marked.chopped(1), QPointF(100, 100));
    expectRefused(QStringLiteral("标注内容需要 1 至 500 字。"), [&] { document.editText(document.links().first(), marked); });
    EXPECT_NO_THROW(ProjectArchive::encodeNow(LinkedAnnotations::reconcile(document.state())));
}

TEST_F(TextBubbles, EditingReplacesTheTextInTheOldStyleAndKeepsTheFrame)
{
    document.addAnnotation("OK", QPointF(100, 100));
    const AnnotationLink link = document.links().first();
    const ShapeElement before = bubbleOf(document, 0);
    const QString longer = QStringLiteral("A much longer text that will certainly wrap inside the small bubble it was given");
    document.editText(link, "  " + longer);
    const ShapeElement after = bubbleOf(document, 0);
    EXPECT_EQ(after.frame, before.frame);
    EXPECT_EQ(after.attributedText.string(), longer);
    ASSERT_EQ(after.attributedText.runs().size(), 1);
    TextAttributes expected = *before.attributedText.attributesAt(0);
    EXPECT_EQ(expected.paragraphStyle->alignment, TextAlignment::Center);
    expected.paragraphStyle->alignment = TextAlignment::Left;
    EXPECT_EQ(after.attributedText.attributesAt(0), expected);
    EXPECT_EQ(undo()->undoActionName(), QStringLiteral("修改标注文字"));

    const QString message = QStringLiteral("标注内容需要 1 至 500 字。");
    expectRefused(message, [&] { document.editText(link, "   "); });
    expectRefused(message, [&] { document.editText(link, QString(501, QLatin1Char('a'))); });
    expectRefused(message, [&] { document.editText(AnnotationLink{MarkupID<ShapeElement>::make(), link.arrowID, {}}, "x"); });
}

// Mended: a pasted NUL reached the bubble, and the project writer refuses NUL in text.
TEST_F(TextBubbles, ControlCharactersButTabsAndLineBreaksNeverEnterABubble)
{
    const QString pasted = QStringLiteral("a") + QChar(0) + QStringLiteral("b") + QChar(7) + QStringLiteral("c\td\r\ne") + QChar(0x1b);
    document.addAnnotation(pasted, QPointF(100, 100));
    EXPECT_EQ(bubbleOf(document, 0).attributedText.string(), QStringLiteral("abc\td\r\ne"));
    document.editText(document.links().first(), QChar(0) + pasted);
    EXPECT_EQ(bubbleOf(document, 0).attributedText.string(), QStringLiteral("abc\td\r\ne"));
    EXPECT_NO_THROW(ProjectArchive::encodeNow(document.state()));
    expectRefused(QStringLiteral("标注内容需要 1 至 500 字。"), [&] { document.editText(document.links().first(), QString(3, QChar(0))); });
}

TEST_F(TextBubbles, RetargetingMovesTheAnchorAndRebuildsTheArrow)
{
    document.addAnnotation("note", QPointF(100, 100));
    const AnnotationLink link = document.links().first();
    // An outdated value still names the link by its bubble.
    document.retarget(AnnotationLink{link.bubbleID, MarkupID<ShapeElement>::make(), QPointF(1, 1)}, QPointF(300, 250));
    EXPECT_EQ(document.links().first().anchor, QPointF(300, 250));
    EXPECT_EQ(document.links().first().arrowID, link.arrowID);
    EXPECT_NEAR(QLineF(arrowEnd(*elements().shape(link.arrowID)), QPointF(300, 250)).length(), 0, 1e-9);
    EXPECT_EQ(undo()->undoActionName(), QStringLiteral("修改指向"));

    const QString message = QStringLiteral("请在图片内选择新的指向位置。");
    expectRefused(message, [&] { document.retarget(link, QPointF(10, 300)); });
    expectRefused(message, [&] { document.retarget(AnnotationLink{link.arrowID, link.arrowID, {}}, QPointF(10, 10)); });
}

TEST_F(TextBubbles, TheSelectedLinkIsTheFirstWhoseBubbleOrArrowIsSelected)
{
    document.addAnnotation("one", QPointF(100, 100));
    document.addAnnotation("two", QPointF(300, 200));
    const AnnotationLink first = document.links().at(0), second = document.links().at(1);
    select({});
    EXPECT_FALSE(document.selectedLink().has_value());
    expectRefused(QStringLiteral("先在编辑模式选中一条标注，再点击“改指向”。"), [&] { document.retargetSelected(QPointF(10, 10)); });

    select({ElementID(second.arrowID)});
    EXPECT_EQ(document.selectedLink(), second);
    select({ElementID(second.bubbleID), ElementID(first.arrowID)});
    EXPECT_EQ(document.selectedLink(), first) << "the earlier link wins";
    document.retargetSelected(QPointF(50, 250));
    EXPECT_EQ(document.links().at(0).anchor, QPointF(50, 250));
}
