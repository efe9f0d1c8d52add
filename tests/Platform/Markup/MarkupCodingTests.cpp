#include "MarkupFixtures.h"

#include "Platform/Markup/internal/MarkupCoding.h"
#include "Platform/PropertyList/PropertyList.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Platform;
using namespace MarkupFixtures;

namespace {

QVariantMap encodedMap(const Markup &markup)
{
    return decodePropertyList(markup.dataRepresentation()).toMap();
}

QVariantMap withFirstElement(QVariantMap root, const std::function<void(QVariantMap &)> &change, int index = 1)
{
    QVariantList elements = root[QStringLiteral("elements")].toList();
    QVariantMap element = elements[index].toMap();
    change(element);
    elements[index] = element;
    root[QStringLiteral("elements")] = elements;
    return root;
}

void expectRefused(const QVariant &root, const MarkupDataLimits &limits = {})
{
    EXPECT_THROW(Markup::fromDataRepresentation(encodePropertyList(root), limits), MarkupDataError);
}

} // namespace

TEST(MarkupCoding, RoundTripsEveryFieldAndKeepsTheImageEncoding)
{
    Markup markup = richMarkup();
    markup.setBackgroundColor(QColor::fromRgbF(0.1f, 0.2f, 0.3f, 0.4f));
    ShapeElement masked = rectangle(QRectF(1.5, 2.25, 3, 4), MarkupInteraction::Delete);
    masked.fillColor.reset();
    masked.rotation = 0.3;
    masked.autoresizing = 5;
    masked.shape = ShapeElement::Shape::ellipse();
    markup.subelements().append(masked);
    ImageElement patch = imageElement(picture(7, 5));
    patch.accessibilityDescription = QStringLiteral("patch");
    patch.contentsBounds = QRectF(0.25, 0, 0.5, 1);
    QImage translucent(6, 6, QImage::Format_ARGB32);
    translucent.fill(qRgba(250, 10, 10, 90));
    patch.image = MarkupImage(translucent);
    markup.subelements().append(patch);

    const QByteArray data = markup.dataRepresentation();
    const Markup back = Markup::fromDataRepresentation(data);
    EXPECT_EQ(back, markup);
    EXPECT_EQ(back.dataRepresentation(), data) << "a decoded markup re-encodes to the same bytes";
    EXPECT_EQ(back.subelements().stroke(markup.subelements().at(3).stroke()->id)->points,
              markup.subelements().at(3).stroke()->points);
}

TEST(MarkupCoding, RefusesMalformedDataWithTheMarkupError)
{
    EXPECT_THROW(Markup::fromDataRepresentation(QByteArray("\x89PNG\r\n\x1a\n garbage")), MarkupDataError);
    EXPECT_THROW(Markup::fromDataRepresentation(QByteArray()), MarkupDataError);
    try {
        Markup::fromDataRepresentation(QByteArray("nope"));
    } catch (const MarkupDataError &error) {
        EXPECT_FALSE(error.message().isEmpty());
    }

    const QVariantMap root = encodedMap(richMarkup());
    QVariantMap other = root;
    other[QStringLiteral("format")] = QStringLiteral("something.else");
    expectRefused(other);
    other = root;
    other[QStringLiteral("version")] = qint64(2);
    expectRefused(other);
    other = root;
    other.remove(QStringLiteral("bounds"));
    expectRefused(other);
    other = root;
    other[QStringLiteral("bounds")] = QVariantList{0.0, 0.0, std::numeric_limits<double>::quiet_NaN(), 10.0};
    expectRefused(other);
    other = root;
    other[QStringLiteral("bounds")] = QVariantList{0.0, 0.0, 1e300, 10.0};
    expectRefused(other);

    expectRefused(withFirstElement(root, [](QVariantMap &e) { e[QStringLiteral("kind")] = QStringLiteral("group"); }));
    expectRefused(withFirstElement(root, [](QVariantMap &e) { e[QStringLiteral("id")] = QStringLiteral("not-a-uuid"); }));
    expectRefused(withFirstElement(root, [](QVariantMap &e) { e[QStringLiteral("frame")] = QStringLiteral("wide"); }));
    expectRefused(withFirstElement(root, [](QVariantMap &e) { e[QStringLiteral("shape")] = QStringLiteral("star"); }));
    expectRefused(withFirstElement(root, [](QVariantMap &e) { e[QStringLiteral("opacity")] = 2.0; }));
    expectRefused(withFirstElement(root, [](QVariantMap &e) {
        QVariantMap text = e[QStringLiteral("text")].toMap();
        QVariantList runs = text[QStringLiteral("runs")].toList();
        QVariantMap run = runs[0].toMap();
        run[QStringLiteral("length")] = qint64(1);
        runs[0] = run;
        text[QStringLiteral("runs")] = runs;
        e[QStringLiteral("text")] = text;
    }));
    expectRefused(withFirstElement(root, [](QVariantMap &e) { e[QStringLiteral("points")] = QByteArray(71, 'x'); }, 3));
    expectRefused(withFirstElement(root, [](QVariantMap &e) { e[QStringLiteral("png")] = QByteArray("not png"); }, 0));
    // Two elements with one identity.
    expectRefused(withFirstElement(root, [&](QVariantMap &e) {
        e[QStringLiteral("id")] = root[QStringLiteral("elements")].toList()[2].toMap()[QStringLiteral("id")];
    }));
}

TEST(MarkupCoding, BoundsElementCountsImagePixelsTextAndStrokePoints)
{
    const QByteArray data = richMarkup().dataRepresentation();
    MarkupDataLimits limits;
    limits.maxElements = 3;
    EXPECT_THROW(Markup::fromDataRepresentation(data, limits), MarkupDataError);
    limits = {};
    limits.maxImagePixels = 320 * 200 - 1;
    EXPECT_THROW(Markup::fromDataRepresentation(data, limits), MarkupDataError);
    limits = {};
    limits.maxTotalImagePixels = 1000;
    EXPECT_THROW(Markup::fromDataRepresentation(data, limits), MarkupDataError);
    limits = {};
    limits.maxTextLength = 5;
    EXPECT_THROW(Markup::fromDataRepresentation(data, limits), MarkupDataError);
    limits = {};
    limits.maxStrokePoints = 4;
    EXPECT_THROW(Markup::fromDataRepresentation(data, limits), MarkupDataError);
    limits = {};
    limits.maxBytes = data.size() - 1;
    EXPECT_THROW(Markup::fromDataRepresentation(data, limits), MarkupDataError);
    EXPECT_NO_THROW(Markup::fromDataRepresentation(data));

    // Deep nesting never reaches the element decoder.
    QVariant nested = QVariantList{};
    for (int k = 0; k < 40; ++k)
        nested = QVariantList{nested};
    QVariantMap root = decodePropertyList(data).toMap();
    root[QStringLiteral("elements")] = QVariantList{nested};
    expectRefused(root);
}
