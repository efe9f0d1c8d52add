#include "CaptureFixtures.h"

#include "Kivaro/shell/capture/CaptureSelectionFeedback.h"
#include "Kivaro/shell/capture/CaptureSelectionFooter.h"

#include <QMouseEvent>
#include <QTest>

#include <gtest/gtest.h>

using namespace Kivaro;
namespace Feedback = Kivaro::CaptureSelectionFeedback;

namespace {
const QRectF screen(0, 0, 960, 600);
}

TEST(SelectionFeedback, TheSizeLabelRoundsHalvesAwayFromZero)
{
    EXPECT_EQ(Feedback::sizeText({1280, 720}), QStringLiteral("1280 × 720 px"));
    EXPECT_EQ(Feedback::sizeText({100.5, 40.4}), QStringLiteral("101 × 40 px"));
}

TEST(SelectionFeedback, TheLabelGoesAboveBelowOrLeftAsTheRoomAllows)
{
    // Room above: 8 points over the selection.
    EXPECT_EQ(Feedback::labelFrame(screen, QRectF(100, 100, 200, 100), 80), QRectF(100, 208, 100, 26));
    // Within 34 points of the top edge: below it.
    EXPECT_EQ(Feedback::labelFrame(screen, QRectF(100, 300, 200, 270), 80), QRectF(100, 268, 100, 26));
    // Near the bottom as well: never lower than 8 points.
    EXPECT_EQ(Feedback::labelFrame(screen, QRectF(100, 10, 200, 580), 80).y(), 8);
    // At the right edge: moved left to end 24 points before it (the box is 20 wider than the text).
    EXPECT_EQ(Feedback::labelFrame(screen, QRectF(900, 100, 60, 60), 80).x(), 960 - 80 - 24);
    EXPECT_EQ(Feedback::labelFrame(screen, QRectF(2, 100, 60, 60), 80).x(), 8);
}

TEST(SelectionFeedback, TheMagnifierFlipsAwayFromTheRightAndTopEdges)
{
    EXPECT_EQ(Feedback::magnifierFrame(screen, {300, 200}), QRectF(324, 224, 112, 112));
    // Within 144 points of the right edge: left of the pointer. At the top: below it.
    EXPECT_EQ(Feedback::magnifierFrame(screen, {830, 200}).x(), 830 - 136);
    EXPECT_EQ(Feedback::magnifierFrame(screen, {300, 590}).y(), 590 - 136);
    // In the corner it stays whole and 8 points inside the screen.
    EXPECT_EQ(Feedback::magnifierFrame(screen, {1, 1}), QRectF(25, 25, 112, 112));
    EXPECT_EQ(Feedback::magnifierFrame(screen, {959, 599}), QRectF(959 - 136, 599 - 136, 112, 112));
}

TEST(SelectionFeedback, TheMagnifierShowsFifteenImagePixelsAtAnyScale)
{
    const auto atTwo = Feedback::magnifierSource(screen, {300.3, 200.2}, 2.0);
    EXPECT_EQ(atTwo.source.size(), QSizeF(7.5, 7.5));
    // Centred on the pointer snapped to the pixel grid: 300.5 and 200.0.
    EXPECT_EQ(atTwo.source.center(), QPointF(300.5, 200.0));
    const QRectF panel = Feedback::magnifierFrame(screen, {300.3, 200.2});
    EXPECT_EQ(atTwo.destination, panel.adjusted(7, 7, -7, -7)) << "the whole inner square, 98 x 98 points";
    EXPECT_EQ(Feedback::magnifierSource(screen, {300, 200}, 1.0).source.size(), QSizeF(15, 15));
}

TEST(SelectionFeedback, AtTheCornerTheMissingPartStaysEmptyAndNothingStretches)
{
    const auto corner = Feedback::magnifierSource(screen, {1, 1}, 1.0);
    // The full square would be (-6.5, -6.5, 15, 15); only the part inside the screen is shown,
    // at the same magnification, in the matching part of the panel.
    EXPECT_EQ(corner.source, QRectF(0, 0, 8.5, 8.5));
    const double perPoint = 98.0 / 15.0;
    EXPECT_DOUBLE_EQ(corner.destination.width(), 8.5 * perPoint);
    EXPECT_DOUBLE_EQ(corner.destination.x(), 25 + 7 + 6.5 * perPoint);
}

namespace {
class Footer : public ::testing::Test {
protected:
    Footer()
    {
        footer.setGeometry(0, 0, 600, 48);
        footer.cancel = [this] { ++cancels; };
        footer.show();
    }
    CaptureSelectionFooter footer;
    int cancels = 0;
};
} // namespace

TEST_F(Footer, TheExitButtonSitsAtTheRightEndAndCancelsOnce)
{
    EXPECT_EQ(footer.cancelButton()->geometry(), QRect(600 - 118, 8, 110, 32));
    EXPECT_EQ(footer.cancelButton()->text(), QStringLiteral("退出截图"));
    EXPECT_EQ(footer.cancelButton()->symbol(), QStringLiteral("xmark"));
    footer.cancelButton()->click();
    EXPECT_EQ(cancels, 1);
    footer.cancel = nullptr;
    footer.cancelButton()->click(); // a footer without a callback ignores its button
    EXPECT_EQ(cancels, 1);
}

TEST_F(Footer, AClickOnThePillStaysThere)
{
    Kivaro::CaptureSelectionView view(TestSupport::patternImage({960, 600}), screen, {}, CaptureSelectionMode::region, false,
                                      [] { return QPointF(-1e6, -1e6); });
    view.show();
    int finishes = 0;
    view.finish = [&](QRectF, std::optional<Platform::ShareableWindow>) { ++finishes; };
    CaptureSelectionFooter *pill = view.footer();
    QTest::mousePress(pill, Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mouseRelease(pill, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_FALSE(view.pointerDown());
    EXPECT_FALSE(view.gesture());
    EXPECT_EQ(finishes, 0);
}

TEST(SelectionFooterLayout, IsCentredNearTheBottomAndNoWiderThanTheScreenAllows)
{
    Kivaro::CaptureSelectionView view(TestSupport::patternImage({960, 600}), screen, {}, CaptureSelectionMode::window, false,
                                      [] { return QPointF(-1e6, -1e6); });
    const QRect frame = view.footer()->geometry();
    EXPECT_EQ(frame.height(), 48);
    EXPECT_EQ(frame.bottom() + 1, 600 - 24) << "24 points above the bottom edge";
    EXPECT_NEAR(frame.center().x(), 480, 1);
    Kivaro::CaptureSelectionView narrow(TestSupport::patternImage({300, 200}), QRectF(0, 0, 300, 200), {}, CaptureSelectionMode::window,
                                        false, [] { return QPointF(-1e6, -1e6); });
    EXPECT_EQ(narrow.footer()->width(), 300 - 24);
}
