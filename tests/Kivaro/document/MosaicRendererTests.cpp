#include "DocumentFixtures.h"

#include "Kivaro/document/LinkedAnnotations.h"

#include "Platform/Image/ImageDecoding.h"

#include <cmath>

using namespace Kivaro;
using namespace DocumentFixtures;

namespace {

QImage decoded(const std::optional<QByteArray> &png)
{
    EXPECT_TRUE(png.has_value());
    return png ? Platform::decodeImage(*png).image.convertToFormat(QImage::Format_ARGB32) : QImage();
}

// A channel under the white veil of alpha 0.12, blended in linear light.
int veiled(int channel)
{
    const double c = channel / 255.0;
    const double v = (c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4)) * 0.88 + 0.12;
    return int(std::lround(255 * (v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1 / 2.4) - 0.055)));
}

} // namespace

TEST(MosaicBackground, CellsAreAnchoredAtTheBottomLeftAndSampledAtTheirCentre)
{
    // 5 columns of 10 plus 5 pixels; 3 rows from the bottom: 25 pixels high = 5 + 10 + 10.
    QImage image(55, 25, QImage::Format_RGB32);
    for (int y = 0; y < 25; ++y)
        for (int x = 0; x < 55; ++x)
            image.setPixel(x, y, qRgb(x * 4, y * 10, 0));
    const QImage out = decoded(MosaicRenderer::background(image, 10));
    ASSERT_EQ(out.size(), image.size());
    EXPECT_EQ(out.pixel(0, 15), out.pixel(9, 24)) << "a whole cell at the bottom-left corner";
    EXPECT_NE(out.pixel(0, 14), out.pixel(0, 15)) << "row boundaries count from the bottom edge";
    EXPECT_EQ(out.pixel(0, 0), out.pixel(9, 4)) << "the partial row lies along the top";
    // The bottom-left cell covers x 0..9, y 15..24: its centre lies between pixels 4,5 and 19,20.
    const QRgb cell = out.pixel(3, 20);
    EXPECT_NEAR(qRed(cell), veiled(18), 2);    // average of 16 and 20
    EXPECT_NEAR(qGreen(cell), veiled(195), 2); // average of 190 and 200
    EXPECT_EQ(qAlpha(cell), 255);
    // The partial column's centre lies beyond the right edge and takes the edge pixels.
    EXPECT_NEAR(qRed(out.pixel(52, 20)), veiled(216), 2);

    EXPECT_FALSE(MosaicRenderer::background(QImage(), 12).has_value());
    EXPECT_FALSE(MosaicRenderer::background(image, 0).has_value());
}

TEST(MosaicBackground, KeepsTheAlphaOfThePicture)
{
    QImage image(40, 40, QImage::Format_ARGB32);
    image.fill(qRgba(0, 0, 255, 255));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            image.setPixel(x, y, qRgba(0, 0, 0, 0));
    image.setPixel(20, 20, qRgba(0, 0, 255, 100));
    const QImage out = decoded(MosaicRenderer::background(image, 12));
    EXPECT_EQ(qAlpha(out.pixel(0, 0)), 0) << "transparent corner stays transparent";
    EXPECT_EQ(qAlpha(out.pixel(20, 20)), 100);
    EXPECT_EQ(qAlpha(out.pixel(30, 30)), 255);
    EXPECT_NEAR(qBlue(out.pixel(30, 30)), veiled(255), 1);
}

TEST(MosaicPatch, CutsIntegralClippedRectanglesOrNothing)
{
    const auto background = MosaicRenderer::background(picture(50, 40), 8);
    EXPECT_EQ(MosaicRenderer::patch(background, QRectF(10.5, 4.2, 9.2, 5)).size(), QSize(10, 6)) << "origin down, far edges up";
    EXPECT_EQ(MosaicRenderer::patch(background, QRectF(45, 35, 20, 20)).size(), QSize(5, 5));
    EXPECT_TRUE(MosaicRenderer::patch(background, QRectF(60, 60, 5, 5)).isNull());
    EXPECT_TRUE(MosaicRenderer::patch(std::nullopt, QRectF(0, 0, 5, 5)).isNull());
    EXPECT_TRUE(MosaicRenderer::patch(QByteArray("junk"), QRectF(0, 0, 5, 5)).isNull());
}

TEST(MosaicReconcile, RefitsPatchesToTheirMasksAndKeepsPairsOnTop)
{
    const ShotState state = richState();
    EXPECT_EQ(MosaicRenderer::reconcile(state), state) << "a consistent state comes back unchanged";
    const MosaicLink link = state.mosaics.first();
    ShotState moved = state;
    ShapeElement mask = *moved.markup.subelements().shape(link.maskID);
    const auto place = [&](QRectF frame) {
        mask.frame = frame;
        moved.markup.subelements().updateOrAppend(mask);
        return MosaicRenderer::reconcile(moved);
    };

    // Moved by a fraction: snapped outward, cut again under the same identity, on top.
    mask.rotation = 0.5;
    moved.markup.subelements().append(shape(QRectF(0, 0, 5, 5))); // something drawn later
    ShotState result = place(QRectF(100.4, 20, 30, 30));
    const auto &elements = result.markup.subelements();
    EXPECT_EQ(elements.shape(link.maskID)->frame, QRectF(100, 20, 31, 30));
    EXPECT_EQ(elements.shape(link.maskID)->rotation, 0);
    EXPECT_EQ(elements.image(link.imageID)->frame, QRectF(100, 20, 31, 30));
    EXPECT_EQ(elements.indexOf(link.maskID), elements.size() - 1);
    EXPECT_EQ(elements.indexOf(link.imageID), elements.size() - 2);

    EXPECT_EQ(place(QRectF(190, 90, 30, 30)).markup.subelements().image(link.imageID)->frame, QRectF(190, 90, 10, 10)) << "clipped";
    // Entirely outside: the patch goes, the mask stays as it is.
    result = place(QRectF(300, 300, 10, 10));
    EXPECT_EQ(result.markup.subelements().image(link.imageID), nullptr);
    EXPECT_EQ(result.markup.subelements().shape(link.maskID)->rotation, 0.5);

    // No background: nothing can be cut, masks and patches stay as they were.
    moved.mosaicBackground.reset();
    EXPECT_EQ(place(QRectF(20.5, 20, 10, 10)), moved);
}

// What the canvas's own undo of a mask deletion relies on: the link survives its mask's absence,
// and the patch comes back under its old identity with the mask.
TEST(MosaicReconcile, ADeletedMaskLosesItsPatchKeepsItsLinkAndGetsThePatchBack)
{
    const ShotState state = richState();
    const MosaicLink link = state.mosaics.first();
    const ShapeElement mask = *state.markup.subelements().shape(link.maskID);
    ShotState deleted = state;
    deleted.markup.subelements().removeElement(link.maskID);
    deleted = LinkedAnnotations::reconcile(deleted);
    EXPECT_EQ(deleted.markup.subelements().image(link.imageID), nullptr);
    EXPECT_EQ(deleted.mosaics, state.mosaics);
    EXPECT_EQ(deleted.masks, state.masks);

    deleted.markup.subelements().append(mask);
    const ShotState restored = LinkedAnnotations::reconcile(deleted);
    const ImageElement *patch = restored.markup.subelements().image(link.imageID);
    ASSERT_NE(patch, nullptr);
    EXPECT_EQ(patch->frame, mask.frame);
}
