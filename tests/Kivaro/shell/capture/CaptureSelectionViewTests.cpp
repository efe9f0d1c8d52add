// The selection surface's rules, driven the way a verification run drives it: events handed
// straight to its handlers, state read afterwards. Points are view coordinates (y up).

#include "CaptureFixtures.h"

#include "Kivaro/shell/capture/CaptureSelectionFeedback.h"
#include "Kivaro/shell/capture/CaptureSelectionFooter.h"
#include "NativeAppAppearance/AppearanceManager.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace Kivaro;
using namespace CaptureTesting;
namespace Feedback = Kivaro::CaptureSelectionFeedback;

namespace {

const Platform::ShareableWindow front = window(11, QRectF(260, 180, 420, 260));
const Platform::ShareableWindow back = window(12, QRectF(100, 100, 800, 480));

const QRectF screenFrame(0, 0, 960, 600);

std::unique_ptr<CaptureSelectionView> surface(QRectF frame, QList<CaptureWindowTarget> targets = {}, double scale = 1,
                                              CaptureSelectionMode mode = CaptureSelectionMode::window)
{
    return std::make_unique<CaptureSelectionView>(TestSupport::patternImage((frame.size() * scale).toSize(), 1), frame,
                                                  targets, mode, false, [] { return QPointF(-1e6, -1e6); });
}

class SelectionSurface : public ::testing::Test {
protected:
    void SetUp() override
    {
        view->finish = [this](QRectF selection, std::optional<Platform::ShareableWindow> picked) { finishes.append({selection, picked}); };
    }
    void press(QPointF at) { view->mouseDown(*mouse(*view, QEvent::MouseButtonPress, at)); }
    void release(QPointF at, Qt::KeyboardModifiers modifiers = {}) { view->mouseUp(*mouse(*view, QEvent::MouseButtonRelease, at, modifiers)); }
    bool key(QEvent::Type type, int key, const QString &text = {})
    {
        QKeyEvent event(type, key, Qt::NoModifier, text);
        return type == QEvent::KeyPress ? view->keyDown(event) : view->keyUp(event);
    }

    std::unique_ptr<CaptureSelectionView> view = surface(screenFrame, {{front, front.frame}, {back, back.frame}});
    QList<std::pair<QRectF, std::optional<Platform::ShareableWindow>>> finishes;
};

} // namespace

TEST_F(SelectionSurface, WindowPickFollowsTheFrontMostWindowAndResolvesAtTheRelease)
{
    view->mouseMoved(*mouse(*view, QEvent::MouseMove, {400, 300}));
    EXPECT_EQ(view->selectedWindow()->windowID, front.windowID) << "the front window wins where two overlap";
    EXPECT_EQ(view->selection(), front.frame);
    press({400, 300});
    view->mouseDragged(*mouse(*view, QEvent::MouseMove, {800, 500}, {}, true));
    EXPECT_EQ(view->selectedWindow()->windowID, back.windowID) << "the highlight follows a drag";
    release({400, 300});
    ASSERT_EQ(finishes.size(), 1);
    EXPECT_EQ(finishes.first().second->windowID, front.windowID) << "resolved at the release point";
    release({800, 500});
    EXPECT_EQ(finishes.size(), 1) << "a release without a press captures nothing";

    view->mouseExited();
    EXPECT_FALSE(view->selectedWindow());
    EXPECT_TRUE(view->selection().isEmpty());
}

TEST_F(SelectionSurface, AWindowAcrossTwoScreensIsOutlinedOnBothEachClippedToItAndMeasuredWhole)
{
    const Platform::ShareableWindow straddling = window(13, QRectF(-100, 120, 500, 400));
    const Platform::ShareableWindow leftOnly = window(14, QRectF(-900, 300, 200, 200));
    auto left = surface(QRectF(-960, 0, 960, 600), {{straddling, straddling.frame}, {leftOnly, leftOnly.frame}});
    auto right = surface(QRectF(0, 0, 960, 600), {{straddling, straddling.frame}, {leftOnly, leftOnly.frame}}, 2);
    // Wherever the pointer is on the window, each screen outlines the part it shows.
    for (const QPointF point : {QPointF(-50, 200), QPointF(50, 200), QPointF(-50, 200)}) {
        left->updateSelection(point);
        right->updateSelection(point);
        EXPECT_EQ(left->selection(), QRectF(860, 120, 100, 400));
        EXPECT_EQ(right->selection(), QRectF(0, 120, 400, 400));
        EXPECT_EQ(left->selectedWindow()->windowID, straddling.windowID);
        EXPECT_EQ(right->measuredPixelSize(), QSizeF(1000, 800)) << "the whole window in pixels, also the part off this screen";
    }
    // A window on one screen only is outlined there; the other screen shows nothing.
    left->updateSelection({-800, 400});
    right->updateSelection({-800, 400});
    EXPECT_EQ(left->selection(), QRectF(60, 300, 200, 200));
    EXPECT_TRUE(right->selection().isEmpty());
    EXPECT_FALSE(right->selectedWindow());
}

TEST_F(SelectionSurface, OptionAbandonsAPressAndSwitchesTheMode)
{
    press({400, 300});
    view->setOption(true);
    EXPECT_EQ(view->effectiveMode(), CaptureSelectionMode::region);
    release({800, 500});
    EXPECT_TRUE(view->selection().isEmpty());
    EXPECT_TRUE(finishes.isEmpty());
    EXPECT_EQ(view->footer()->caption(), QStringLiteral("拖动选区 · 空格移动 · Shift 正方形 · ⌥ 选窗口 · Esc 取消"));
    view->flagsChanged(Qt::NoModifier);
    EXPECT_EQ(view->effectiveMode(), CaptureSelectionMode::window) << "a modifier change through the keyboard flips it back";
}

TEST_F(SelectionSurface, RegionDragShiftSquareAndSpaceMoveGiveExactRectangles)
{
    view->setOption(true);
    press({120, 100});
    release({640, 350});
    ASSERT_EQ(finishes.size(), 1);
    EXPECT_EQ(finishes.first(), (std::pair<QRectF, std::optional<Platform::ShareableWindow>>{QRectF(120, 100, 520, 250), std::nullopt}));

    press({100, 100});
    view->mouseDragged(*mouse(*view, QEvent::MouseMove, {340, 220}, Qt::ShiftModifier, true));
    EXPECT_EQ(view->selection(), QRectF(100, 100, 240, 240));
    EXPECT_TRUE(key(QEvent::KeyPress, Qt::Key_Space, QStringLiteral(" ")));
    view->mouseDragged(*mouse(*view, QEvent::MouseMove, {370, 240}, Qt::ShiftModifier, true));
    EXPECT_EQ(view->selection(), QRectF(130, 120, 240, 240)) << "Space moves without resizing";
    EXPECT_TRUE(key(QEvent::KeyRelease, Qt::Key_Space, QStringLiteral(" ")));
    release({370, 240}, Qt::ShiftModifier);
    EXPECT_EQ(view->selection(), QRectF(130, 120, 240, 240)) << "releasing Space does not make it jump";
    EXPECT_EQ(finishes.size(), 2);
    EXPECT_FALSE(view->gesture());
}

TEST_F(SelectionSurface, ARegionNeedsFourByFourPoints)
{
    view->setOption(true);
    for (const QPointF end : {QPointF(50, 50), QPointF(53.9, 54), QPointF(54, 54)}) {
        press({50, 50});
        release(end);
    }
    ASSERT_EQ(finishes.size(), 1) << "neither a click nor 3.9 points finish";
    EXPECT_EQ(finishes.first().first, QRectF(50, 50, 4, 4));
}

TEST_F(SelectionSurface, EscapeCancelsAndOtherKeysPassOn)
{
    int cancels = 0;
    view->cancel = [&] { ++cancels; };
    EXPECT_TRUE(key(QEvent::KeyPress, Qt::Key_Escape));
    EXPECT_EQ(cancels, 1);
    EXPECT_FALSE(key(QEvent::KeyPress, Qt::Key_A, QStringLiteral("a")));
    EXPECT_FALSE(key(QEvent::KeyPress, Qt::Key_Space, QStringLiteral(" "))) << "Space means nothing in window mode";
}

TEST_F(SelectionSurface, TheVeilDarkensAllButTheSelection)
{
    view->setOption(true);
    press({200, 200});
    view->mouseDragged(*mouse(*view, QEvent::MouseMove, {500, 400}, {}, true));
    view->mouseExited(); // no magnifier in the picture
    const QImage picture = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(picture.pixel(300, 600 - 300), view->image().pixel(300, 600 - 300)) << "inside: the frozen pixels as they are";
    const QRgb outside = view->image().pixel(100, 600 - 100), veiled = picture.pixel(100, 600 - 100);
    EXPECT_NEAR(qRed(veiled), qRed(outside) * 0.64, 1.5);
    EXPECT_NEAR(qGreen(veiled), qGreen(outside) * 0.64, 1.5);
    const QColor accent = NativeAppAppearance::resolve(NativeAppAppearance::DynamicColor::controlAccent,
                                                       NativeAppAppearance::AppearanceManager::shared().effectiveAppearance(view.get()));
    EXPECT_EQ(QColor(picture.pixel(200, 600 - 300)), accent) << "the outline lies just inside the selection's edge";
}

TEST(SelectionFeedback, TheSizeLabelRoundsHalvesUpAndGoesAboveBelowOrLeftAsTheRoomAllows)
{
    EXPECT_EQ(Feedback::sizeText({100.5, 40.4}), QStringLiteral("101 × 40 px"));
    EXPECT_EQ(Feedback::labelFrame(screenFrame, QRectF(100, 100, 200, 100), 80), QRectF(100, 208, 100, 26)) << "8 points above";
    EXPECT_EQ(Feedback::labelFrame(screenFrame, QRectF(100, 300, 200, 270), 80), QRectF(100, 268, 100, 26)) << "near the top: below";
    EXPECT_EQ(Feedback::labelFrame(screenFrame, QRectF(100, 10, 200, 580), 80).y(), 8) << "never lower than 8 points";
    // At the right edge: moved left to end 24 points before it (the box is 20 wider than the text).
    EXPECT_EQ(Feedback::labelFrame(screenFrame, QRectF(900, 100, 60, 60), 80).x(), 960 - 80 - 24);
    EXPECT_EQ(Feedback::labelFrame(screenFrame, QRectF(2, 100, 60, 60), 80).x(), 8);
}

TEST(SelectionFeedback, TheMagnifierFlipsAwayFromEdgesAndShowsFifteenImagePixelsAtAnyScale)
{
    EXPECT_EQ(Feedback::magnifierFrame(screenFrame, {300, 200}), QRectF(324, 224, 112, 112));
    EXPECT_EQ(Feedback::magnifierFrame(screenFrame, {830, 200}).x(), 830 - 136) << "within 144 points of the right edge";
    EXPECT_EQ(Feedback::magnifierFrame(screenFrame, {300, 590}).y(), 590 - 136) << "at the top";
    EXPECT_EQ(Feedback::magnifierFrame(screenFrame, {1, 1}), QRectF(25, 25, 112, 112));
    EXPECT_EQ(Feedback::magnifierFrame(screenFrame, {959, 599}), QRectF(959 - 136, 599 - 136, 112, 112));

    // Fifteen image pixels at any scale, nothing stretched at a corner.
    const auto atTwo = Feedback::magnifierSource(screenFrame, {300.3, 200.2}, 2.0);
    EXPECT_EQ(atTwo.source, QRectF(296.75, 196.25, 7.5, 7.5)) << "centred on the pointer snapped to the pixel grid";
    EXPECT_EQ(atTwo.destination, Feedback::magnifierFrame(screenFrame, {300.3, 200.2}).adjusted(7, 7, -7, -7)) << "the 98-point inner square";
    EXPECT_EQ(Feedback::magnifierSource(screenFrame, {300, 200}, 1.0).source.size(), QSizeF(15, 15));

    // In the corner the full square would be (-6.5, -6.5, 15, 15): only the part inside the
    // screen is shown, at the same magnification, in the matching part of the panel.
    const auto corner = Feedback::magnifierSource(screenFrame, {1, 1}, 1.0);
    EXPECT_EQ(corner.source, QRectF(0, 0, 8.5, 8.5));
    EXPECT_DOUBLE_EQ(corner.destination.width(), 8.5 * 98 / 15);
    EXPECT_DOUBLE_EQ(corner.destination.x(), 25 + 7 + 6.5 * 98 / 15);
}

TEST(SelectionFooter, SitsCentredNearTheBottomItsExitButtonCancelsOnceAndAClickOnThePillStaysThere)
{
    auto view = surface(screenFrame, {}, 1, CaptureSelectionMode::region);
    view->show();
    CaptureSelectionFooter *footer = view->footer();
    EXPECT_EQ(footer->geometry().bottom() + 1, 600 - 24);
    EXPECT_EQ(footer->height(), 48);
    EXPECT_NEAR(footer->geometry().center().x(), 480, 1);
    EXPECT_EQ(footer->cancelButton()->geometry(), QRect(footer->width() - 118, 8, 110, 32));
    EXPECT_EQ(surface(QRectF(0, 0, 300, 200))->footer()->width(), 300 - 24) << "no wider than the screen allows";

    int cancels = 0, finishes = 0;
    view->footer()->cancel = [&] { ++cancels; };
    view->finish = [&](QRectF, std::optional<Platform::ShareableWindow>) { ++finishes; };
    view->footer()->cancelButton()->click();
    EXPECT_EQ(cancels, 1);
    QTest::mousePress(view->footer(), Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mouseRelease(view->footer(), Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_FALSE(view->pointerDown()) << "no drag starts under the pill";
    EXPECT_EQ(finishes, 0);
}
