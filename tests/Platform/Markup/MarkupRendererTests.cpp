#include "MarkupFixtures.h"

#include "Platform/Markup/MarkupRenderer.h"
#include "Platform/Markup/TextLayout.h"

#include <QApplication>
#include <QPalette>

#include <gtest/gtest.h>

using namespace Platform;
using namespace MarkupFixtures;

namespace {
QColor at(const QImage &image, int x, int y)
{
    return QColor::fromRgba(image.pixel(x, y));
}
Markup blank(int w, int h)
{
    Markup markup(QRectF(0, 0, w, h));
    markup.setBackgroundColor(Qt::white);
    return markup;
}
} // namespace

TEST(MarkupRenderer, DrawsShapesWithFillStrokeOpacityAndRotation)
{
    Markup markup = blank(200, 100);
    ShapeElement box = rectangle(QRectF(10, 10, 40, 30));
    box.strokeColor.reset();
    markup.subelements().append(box);
    ShapeElement ellipse = rectangle(QRectF(100, 10, 40, 40));
    ellipse.shape = ShapeElement::Shape::ellipse();
    ellipse.strokeColor.reset();
    ellipse.fillColor = QColor(0, 0, 255);
    ellipse.opacity = 0.5;
    markup.subelements().append(ellipse);
    ShapeElement bar = rectangle(QRectF(150, 45, 40, 10));
    bar.strokeColor.reset();
    bar.fillColor = Qt::black;
    bar.rotation = 3.14159265358979 / 2; // stands upright about its centre (170, 50)
    markup.subelements().append(bar);

    const QImage image = renderMarkup(markup, QSize(200, 100));
    ASSERT_EQ(image.size(), QSize(200, 100));
    EXPECT_EQ(at(image, 30, 25), QColor(200, 30, 30));
    EXPECT_EQ(at(image, 5, 5), QColor(Qt::white));
    const QColor half = at(image, 120, 30);
    EXPECT_NEAR(half.blue(), 255, 1);
    EXPECT_NEAR(half.red(), 128, 2);
    EXPECT_EQ(at(image, 101, 11), QColor(Qt::white)) << "outside the ellipse";
    EXPECT_EQ(at(image, 170, 33), QColor(Qt::black)) << "rotated bar covers its vertical";
    EXPECT_EQ(at(image, 155, 50), QColor(Qt::white)) << "and no longer its horizontal";

    // Scaled rendering maps the bounds onto the bitmap.
    const QImage small = renderMarkup(markup, QSize(100, 50));
    EXPECT_EQ(at(small, 15, 12), QColor(200, 30, 30));
    EXPECT_TRUE(renderMarkup(Markup(), QSize(10, 10)).isNull());
}

TEST(MarkupRenderer, LinesFollowTheirUnitPointsAndEndInAnArrowHead)
{
    Markup markup = blank(200, 200);
    ShapeElement arrow;
    arrow.shape = ShapeElement::Shape::line({0, 0.5}, {0.5, 0.5}, {1, 0.5});
    arrow.frame = QRectF(20, 50, 160, 100); // horizontal line at y = 100
    arrow.strokeColor = Qt::red;
    arrow.lineWidth = 4;
    arrow.endLineMarker = ShapeElement::LineMarker::Arrow;
    arrow.id = MarkupID<ShapeElement>::make();
    markup.subelements().append(arrow);
    const QImage image = renderMarkup(markup, QSize(200, 200));
    EXPECT_EQ(at(image, 60, 100), QColor(Qt::red));
    EXPECT_EQ(at(image, 60, 106), QColor(Qt::white)) << "the shaft is 4 wide";
    EXPECT_EQ(at(image, 168, 103), QColor(Qt::red)) << "the head is wider than the shaft";
    EXPECT_EQ(at(image, 185, 100), QColor(Qt::white)) << "nothing beyond the tip";
}

TEST(MarkupRenderer, IsDeterministicAndIgnoresTheAppearance)
{
    const Markup markup = richMarkup();
    const QImage first = renderMarkup(markup, QSize(320, 200));
    const QPalette saved = QApplication::palette();
    QPalette dark = saved;
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Base, Qt::black);
    QApplication::setPalette(dark);
    const QImage second = renderMarkup(Markup(markup), QSize(320, 200));
    QApplication::setPalette(saved);
    EXPECT_EQ(first, second);
}

TEST(TextLayout, MeasuresInMarkupUnitsAndCountsWrappedLines)
{
    TextAttributes small;
    small.fontSize = 10;
    TextAttributes large = small;
    large.fontSize = 20;
    const QSizeF a = measureText(AttributedText(QStringLiteral("Kivaro"), small), 0);
    const QSizeF b = measureText(AttributedText(QStringLiteral("Kivaro"), large), 0);
    EXPECT_NEAR(b.width() / a.width(), 2.0, 0.2);
    EXPECT_GT(b.height(), 18);
    EXPECT_LT(b.height(), 32);

    const AttributedText sentence(QStringLiteral("one two three four five six seven eight nine ten"), large);
    EXPECT_EQ(lineCount(sentence, 10000), 1);
    EXPECT_GT(lineCount(sentence, 120), 2);
    EXPECT_EQ(lineCount(AttributedText(), 100), 0);
    EXPECT_EQ(lineCount(AttributedText(QStringLiteral("a\nb"), large), 100), 2);

    // Drawn text lands inside its frame and uses its colour.
    Markup markup = blank(200, 60);
    ShapeElement label = rectangle(QRectF(0, 0, 200, 60));
    label.fillColor.reset();
    label.strokeColor.reset();
    TextAttributes green = large;
    green.foregroundColor = QColor(0, 160, 0);
    label.attributedText = AttributedText(QStringLiteral("████"), green);
    markup.subelements().append(label);
    const QImage image = renderMarkup(markup, QSize(200, 60));
    int greenPixels = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 200; ++x)
            greenPixels += at(image, x, y) == QColor(0, 160, 0);
    EXPECT_GT(greenPixels, 100);
}
