#include "MarkupFixtures.h"

#include <gtest/gtest.h>

using namespace Platform;
using namespace MarkupFixtures;

TEST(MarkupOrderedSet, KeepsDrawingOrderAndLooksUpByTypedIdentity)
{
    MarkupOrderedSet set;
    const ShapeElement a = rectangle(QRectF(0, 0, 10, 10));
    const ShapeElement b = rectangle(QRectF(5, 5, 10, 10));
    const ImageElement picture = imageElement(MarkupFixtures::picture(4, 4));
    set.append(picture);
    set.append(a);
    set.append(b);
    ASSERT_EQ(set.size(), 3);
    EXPECT_EQ(set.at(0).kind(), MarkupKind::Image);
    EXPECT_EQ(set.shape(b.id)->frame, b.frame);
    EXPECT_EQ(set.image(picture.id)->frame, picture.frame);
    // An identity of another kind finds nothing.
    EXPECT_EQ(set.shape(MarkupID<ShapeElement>(picture.id.uuid())), nullptr);
    EXPECT_FALSE(set.contains(ElementID::stroke(MarkupID<StrokeElement>(a.id.uuid()))));

    ShapeElement moved = a;
    moved.frame.translate(3, 0);
    set.updateOrAppend(moved);
    EXPECT_EQ(set.indexOf(a.id), 1) << "updateOrAppend replaces in place";
    set.append(moved);
    EXPECT_EQ(set.indexOf(a.id), 2) << "append moves an existing identity on top";
    EXPECT_EQ(set.size(), 3);

    set.removeElement(picture.id);
    set.removeElement(MarkupID<ShapeElement>::make()); // absent: harmless
    EXPECT_EQ(set.size(), 2);
    EXPECT_EQ(set.indexOf(b.id), 0);
    EXPECT_EQ(set.indexOf(a.id), 1);
}

TEST(MarkupValue, CopiesAreIndependentAndEqualityFollowsContent)
{
    const Markup original = richMarkup();
    Markup copy = original;
    EXPECT_EQ(copy, original);
    ShapeElement changed = *copy.subelements().at(1).shape();
    changed.opacity = 0.5;
    copy.subelements().updateOrAppend(changed);
    EXPECT_NE(copy, original);
    EXPECT_EQ(original.subelements().at(1).shape()->opacity, 1.0);

    // Images compare by content, not by identity of the buffer.
    const QImage pixels = picture(30, 20);
    EXPECT_EQ(MarkupImage(pixels), MarkupImage(pixels.copy()));
    EXPECT_EQ(MarkupImage(pixels), MarkupImage(pixels.convertToFormat(QImage::Format_ARGB32)));
    QImage other = pixels.copy();
    other.setPixel(29, 19, qRgb(0, 0, 0));
    EXPECT_NE(MarkupImage(pixels), MarkupImage(other));
    EXPECT_NE(MarkupImage(pixels), MarkupImage());
}

TEST(AttributedText, MergesEqualRunsAndAnswersAttributesByIndex)
{
    TextAttributes plain;
    TextAttributes red = plain;
    red.foregroundColor = Qt::red;
    AttributedText text(QStringLiteral("ab"), plain);
    text.append(QStringLiteral("cd"), plain);
    EXPECT_EQ(text.runs().size(), 1);
    text.append(QStringLiteral("ef"), red);
    EXPECT_EQ(text.runs().size(), 2);
    EXPECT_EQ(text.attributesAt(4)->foregroundColor, QColor(Qt::red));
    EXPECT_FALSE(text.attributesAt(6).has_value());
    EXPECT_FALSE(text.setRuns({TextRun{2, plain}}));
    EXPECT_TRUE(text.setRuns({TextRun{3, red}, TextRun{3, red}}));
    EXPECT_EQ(text.runs().size(), 1);
}

TEST(StrokeElement, FrameIncludesThePenAndFollowsMovesAndResizes)
{
    StrokeElement stroke;
    stroke.ink.width = 4;
    StrokePoint a, b;
    a.location = QPointF(10, 10);
    b.location = QPointF(30, 20);
    stroke.points = {a, b};
    EXPECT_EQ(stroke.frame(), QRectF(8, 8, 24, 14));
    MarkupElement element(stroke);
    element.setFrame(QRectF(108, 8, 44, 24));
    EXPECT_EQ(element.frame(), QRectF(108, 8, 44, 24));
    EXPECT_EQ(element.stroke()->transform.map(QPointF(30, 20)), QPointF(150, 30));
}
