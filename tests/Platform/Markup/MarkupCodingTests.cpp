#include "MarkupFixtures.h"

#include "Platform/PropertyList/PropertyList.h"
#include "Support/HandMadePropertyList.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <tuple>

using namespace Platform;
using namespace MarkupFixtures;

namespace {

// The encoded root of a markup, with element `index` changed by `change`.
QVariantMap withElement(QVariantMap root, int index, const std::function<void(QVariantMap &)> &change)
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
    QImage translucent(6, 6, QImage::Format_ARGB32);
    translucent.fill(qRgba(250, 10, 10, 90));
    ImageElement patch = imageElement(translucent);
    patch.accessibilityDescription = QStringLiteral("patch");
    patch.contentsBounds = QRectF(0.25, 0, 0.5, 1);
    markup.subelements().append(patch);

    const QByteArray data = markup.dataRepresentation();
    const Markup back = Markup::fromDataRepresentation(data);
    EXPECT_EQ(back, markup);
    EXPECT_EQ(back.dataRepresentation(), data) << "a decoded markup re-encodes to the same bytes";
}

TEST(MarkupCoding, RefusesMalformedDataWithTheMarkupError)
{
    EXPECT_THROW(Markup::fromDataRepresentation(QByteArray("\x89PNG\r\n\x1a\n garbage")), MarkupDataError);
    EXPECT_THROW(Markup::fromDataRepresentation(QByteArray()), MarkupDataError);

    const QVariantMap root = decodePropertyList(richMarkup().dataRepresentation()).toMap();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<std::pair<const char *, QVariant>> badRoot = {
        {"format", QStringLiteral("something.else")}, {"version", qint64(2)}, {"bounds", QVariant()},
        {"bounds", QVariantList{0.0, 0.0, nan, 10.0}}, {"bounds", QVariantList{0.0, 0.0, 1e300, 10.0}}};
    for (const auto &[key, value] : badRoot) {
        QVariantMap changed = root;
        if (value.isValid())
            changed[QString::fromLatin1(key)] = value;
        else
            changed.remove(QString::fromLatin1(key));
        expectRefused(changed);
    }
    // Element 0 is the picture, 1 the text bubble, 3 the stroke.
    const std::vector<std::tuple<int, const char *, QVariant>> badElement = {
        {1, "kind", QStringLiteral("group")}, {1, "id", QStringLiteral("not-a-uuid")}, {1, "frame", QStringLiteral("wide")},
        {1, "shape", QStringLiteral("star")}, {1, "opacity", 2.0},                      {3, "points", QByteArray(71, 'x')},
        {0, "png", QByteArray("not png")},    {1, "id", root[QStringLiteral("elements")].toList()[2].toMap()[QStringLiteral("id")]}};
    for (const auto &[index, key, value] : badElement)
        expectRefused(withElement(root, index, [&](QVariantMap &e) { e[QString::fromLatin1(key)] = value; }));
    // Runs that do not cover the text.
    expectRefused(withElement(root, 1, [](QVariantMap &e) {
        QVariantMap text = e[QStringLiteral("text")].toMap();
        QVariantList runs = text[QStringLiteral("runs")].toList();
        QVariantMap run = runs[0].toMap();
        run[QStringLiteral("length")] = qint64(1);
        runs[0] = run;
        text[QStringLiteral("runs")] = runs;
        e[QStringLiteral("text")] = text;
    }));
}

TEST(MarkupCoding, BoundsElementCountsImagePixelsTextAndStrokePoints)
{
    const QByteArray data = richMarkup().dataRepresentation();
    const std::vector<std::function<void(MarkupDataLimits &)>> tightened = {
        [](MarkupDataLimits &l) { l.maxElements = 3; },         [](MarkupDataLimits &l) { l.maxImagePixels = 320 * 200 - 1; },
        [](MarkupDataLimits &l) { l.maxTotalImagePixels = 1000; }, [](MarkupDataLimits &l) { l.maxTextLength = 5; },
        [](MarkupDataLimits &l) { l.maxStrokePoints = 4; },      [&](MarkupDataLimits &l) { l.maxBytes = data.size() - 1; }};
    for (const auto &tighten : tightened) {
        MarkupDataLimits limits;
        tighten(limits);
        EXPECT_THROW(Markup::fromDataRepresentation(data, limits), MarkupDataError);
    }
    EXPECT_NO_THROW(Markup::fromDataRepresentation(data));

    // Texts are laid out to be drawn: each, and all together, within what lays out quickly.
    const auto withTexts = [&](int count, qsizetype length) {
        Markup markup(QRectF(0, 0, 100, 100));
        for (int k = 0; k < count; ++k) {
            ShapeElement label = rectangle(QRectF(0, 0, 10, 10));
            label.attributedText = AttributedText(QString(length, QLatin1Char('w')));
            markup.subelements().append(label);
        }
        return markup.dataRepresentation();
    };
    constexpr qsizetype longest = DocumentLimits::kMaxTextLength, total = DocumentLimits::kMaxTotalTextLength;
    EXPECT_NO_THROW(Markup::fromDataRepresentation(withTexts(1, longest)));
    EXPECT_THROW(Markup::fromDataRepresentation(withTexts(1, longest + 1)), MarkupDataError);
    EXPECT_NO_THROW(Markup::fromDataRepresentation(withTexts(int(total / longest), longest)));
    EXPECT_THROW(Markup::fromDataRepresentation(withTexts(int(total / longest) + 1, longest)), MarkupDataError);

    // Deep nesting never reaches the element decoder.
    QVariant nested = QVariantList{};
    for (int k = 0; k < 40; ++k)
        nested = QVariantList{nested};
    QVariantMap root = decodePropertyList(data).toMap();
    root[QStringLiteral("elements")] = QVariantList{nested};
    // Deeper than any property list this system writes: made by another writer.
    EXPECT_THROW(encodePropertyList(root), PropertyListError);
    EXPECT_THROW(Markup::fromDataRepresentation(HandMade::xml(root)), MarkupDataError);
}

TEST(MarkupCoding, EveryBackgroundTheReaderAcceptsIsWrittenBack)
{
    const auto decoded = [](const QVariantList &colour) {
        const QVariantMap root{{QStringLiteral("format"), QStringLiteral("app.kivaro.markup")},
                               {QStringLiteral("version"), qint64(1)},
                               {QStringLiteral("bounds"), QVariantList{0.0, 0.0, 64.0, 48.0}},
                               {QStringLiteral("elements"), QVariantList{}},
                               {QStringLiteral("background"), colour}};
        return Markup::fromDataRepresentation(encodePropertyList(root));
    };
    // The faint alpha that once read back as no background, alpha 0 with a colour, and every
    // alpha around where eight bits round to zero.
    QList<QVariantList> colours = {{0.98, 0.98, 0.96, 0.00001}, {0.98, 0.98, 0.96, 0.0}, {0.0, 0.0, 0.0, 0.00001}, {1.0, 0.0, 0.0, 0.0}};
    for (int alpha = 0; alpha <= 600; ++alpha)
        colours.append(QVariantList{0.5, 0.25, 0.75, alpha / 65535.0});
    for (const QVariantList &colour : colours) {
        const Markup markup = decoded(colour);
        EXPECT_EQ(Markup::fromDataRepresentation(markup.dataRepresentation()), markup) << colour.value(3).toDouble();
    }
    // The default background is still left out.
    EXPECT_FALSE(decodePropertyList(Markup(QRectF(0, 0, 10, 10)).dataRepresentation()).toMap().contains(QStringLiteral("background")));
}
