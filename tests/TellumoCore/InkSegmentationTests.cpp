// The ink analysis in several strips at once gives exactly what one strip gives: the same glyphs
// in the same order with the same boxes, pixels, colours, regions and verdicts, the same
// background regions in the same order, and the same glyph for every pixel. Line finding and
// the reading order depend on that order.

#include "TellumoCore/internal/InkSegmentation.h"
#include "TellumoCore/internal/RecognitionWorkers.h"
#include "TextScreens/TextScreens.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <sstream>

using namespace Tellumo::detail;
using namespace TextScreens;

namespace {

std::string describe(const Glyph &glyph)
{
    std::ostringstream out;
    out << "box " << glyph.box.x() << ',' << glyph.box.y() << ' ' << glyph.box.width() << 'x' << glyph.box.height() << " pixels " << glyph.pixels
        << " background " << std::hex << glyph.background << " ink " << glyph.ink << std::dec << " region " << glyph.region << " dropped "
        << glyph.dropped;
    return out.str();
}

// The first difference between two analyses of one picture, or nothing.
std::string firstDifference(const InkSegmentation &expected, const InkSegmentation &actual)
{
    if (actual.glyphs().size() != expected.glyphs().size())
        return std::to_string(actual.glyphs().size()) + " glyphs instead of " + std::to_string(expected.glyphs().size());
    for (size_t i = 0; i < expected.glyphs().size(); ++i) {
        const Glyph &a = expected.glyphs()[i], &b = actual.glyphs()[i];
        if (a.box != b.box || a.pixels != b.pixels || a.background != b.background || a.ink != b.ink || a.region != b.region || a.dropped != b.dropped)
            return "glyph " + std::to_string(i) + ": " + describe(b) + " instead of " + describe(a);
    }
    if (actual.regions().size() != expected.regions().size())
        return std::to_string(actual.regions().size()) + " regions instead of " + std::to_string(expected.regions().size());
    for (size_t i = 0; i < expected.regions().size(); ++i)
        if (expected.regions()[i].box != actual.regions()[i].box || expected.regions()[i].pixels != actual.regions()[i].pixels)
            return "region " + std::to_string(i);
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            if (actual.glyphAt(x, y) != expected.glyphAt(x, y))
                return "the glyph at " + std::to_string(x) + "," + std::to_string(y);
    return {};
}

// What `strips` strips give against one strip.
void expectSameAnalysis(const QImage &image, int strips, const std::string &what)
{
    EXPECT_EQ(firstDifference(InkSegmentation(image, 1), InkSegmentation(image, strips)), "") << what << ", " << strips << " strips";
}

void fill(QImage &image, const QRect &area, QRgb colour)
{
    const QRect clipped = area & image.rect();
    for (int y = clipped.top(); y <= clipped.bottom(); ++y)
        for (int x = clipped.left(); x <= clipped.right(); ++x)
            image.setPixel(x, y, colour);
}

} // namespace

// Whole screens and region captures of every scene, light and dark, in the three Chinese faces.
TEST(InkAnalysis, StripsGiveTheSingleThreadedResultOnRenderedScreens)
{
    const Scene scenes[] = {Scene::menu, Scene::dialog, Scene::settings, Scene::chat, Scene::code, Scene::article};
    for (int i = 0; i < 6; ++i) {
        for (Theme theme : {Theme::light, Theme::dark}) {
            const Spec spec{scenes[i], Language(i % 4), theme, 12 + 2 * (i % 4), i % 2 ? Framing::region : Framing::fullScreen, 0, Face(i % 3)};
            const Screen screen = render(spec);
            for (int strips : {0, 2, 3, 4, 7})
                expectSameAnalysis(screen.image, strips, screen.name().toStdString());
        }
    }
}

// A glyph and a background region that run through every seam, both shaped like a U whose arms
// join only in the last strip, and a stroke running down to the left.
TEST(InkAnalysis, StripsGiveTheSameResultWhenGlyphsAndRegionsCrossEverySeam)
{
    QImage image(320, 211, QImage::Format_RGB32);
    image.fill(Qt::white);
    const QRgb ink = qRgb(20, 20, 20), pane = qRgb(0xDD, 0xE4, 0xF0);
    // The ink U: two bars from the top, joined at the bottom.
    fill(image, QRect(10, 0, 3, 200), ink);
    fill(image, QRect(40, 0, 3, 200), ink);
    fill(image, QRect(10, 198, 33, 3), ink);
    // The pane U beside it, with text on it.
    fill(image, QRect(80, 0, 30, 205), pane);
    fill(image, QRect(150, 0, 30, 205), pane);
    fill(image, QRect(80, 190, 100, 15), pane);
    QPainter painter(&image);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(14);
    painter.setFont(font);
    painter.setPen(QColor(ink));
    for (int y = 20; y < 190; y += 17)
        painter.drawText(QPoint(82, y), QStringLiteral("ab"));
    painter.end();
    for (int k = 0; k < 180; ++k)
        fill(image, QRect(300 - k / 2, 10 + k, 2, 1), ink);
    for (int strips : {2, 3, 5, 8, 13, 211})
        expectSameAnalysis(image, strips, "seams");
}

// A rule down the whole picture between bands of background: the region it touches most (the
// one at its top and bottom ends) is met only after four others in the lower strips, and must
// still get every vote.
TEST(InkAnalysis, AGlyphAcrossStripsKeepsTheRegionItTouchesMost)
{
    QImage image(60, 240, QImage::Format_RGB32);
    const QRgb end = qRgb(240, 240, 240);
    image.fill(end);
    for (int band = 0; band * 8 < 240; ++band) {
        const int shade = 60 + (band % 8) * 20;
        fill(image, QRect(0, band * 8, 29, 8), qRgb(shade, 200, 120));
        fill(image, QRect(31, band * 8, 20, 8), qRgb(120, shade, 200));
    }
    // The light background reaches the rule only at its two ends, around the far right column:
    // one band at the top, five at the bottom.
    fill(image, QRect(31, 0, 29, 8), end);
    fill(image, QRect(31, 200, 29, 40), end);
    fill(image, QRect(51, 0, 9, 240), end);
    fill(image, QRect(29, 0, 2, 240), qRgb(0, 0, 0));
    const InkSegmentation single(image, 1);
    const int rule = single.glyphAt(29, 120);
    ASSERT_GE(rule, 0);
    const Glyph &glyph = single.glyphs()[size_t(rule)];
    ASSERT_GE(glyph.region, 0);
    EXPECT_EQ(single.regions()[size_t(glyph.region)].box.right(), 59) << "the light background";
    for (int strips : {2, 3, 4, 6})
        expectSameAnalysis(image, strips, "bands");
}

// A single row, a single column, fewer rows than strips: nothing left over or counted twice.
TEST(InkAnalysis, PicturesThinnerThanTheStripsGiveTheSameResult)
{
    QImage row(500, 1, QImage::Format_RGB32), column(1, 500, QImage::Format_RGB32), low(300, 5, QImage::Format_RGB32);
    for (QImage *image : {&row, &column, &low}) {
        image->fill(Qt::white);
        for (int i = 0; i < image->width() * image->height(); ++i)
            if (i % 37 < 9 || i % 101 == 50)
                image->setPixel(i % image->width(), i / image->width(), qRgb(i % 37 < 5 ? 0 : 90, 30, 60));
    }
    for (int strips : {0, 2, 4, 8}) {
        expectSameAnalysis(row, strips, "one row");
        expectSameAnalysis(column, strips, "one column");
        expectSameAnalysis(low, strips, "five rows");
    }
    const InkSegmentation split(row, 4);
    EXPECT_FALSE(split.glyphs().empty());
}

// Analyses running on the recognition workers at once, as recognitions do, share the workers with
// their own strips (each waits for nobody: it takes part itself) and give one strip's result.
TEST(InkAnalysis, AnalysesOnTheWorkersAtOnceGiveTheSingleThreadedResult)
{
    const Screen screen = render({Scene::settings, Language::traditional, Theme::dark, 14, Framing::fullScreen, 0, Face::notoSansTC});
    const InkSegmentation single(screen.image, 1);
    std::vector<std::promise<std::string>> results(6);
    std::vector<std::future<std::string>> differences;
    for (std::promise<std::string> &result : results) {
        differences.push_back(result.get_future());
        recognitionPool().start([&] { result.set_value(firstDifference(single, InkSegmentation(screen.image, 4))); });
    }
    for (std::future<std::string> &difference : differences) {
        ASSERT_EQ(difference.wait_for(std::chrono::seconds(60)), std::future_status::ready);
        EXPECT_EQ(difference.get(), "");
    }
}
