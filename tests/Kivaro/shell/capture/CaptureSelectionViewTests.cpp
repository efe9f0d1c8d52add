// The selection surface's rules, driven the way a verification run drives it: events handed
// straight to its handlers, state read afterwards. Points are view coordinates (y up).

#include "CaptureFixtures.h"

#include "Kivaro/shell/capture/CaptureSelectionFeedback.h"
#include "Kivaro/shell/capture/CaptureSelectionFooter.h"
#include "NativeAppAppearance/AppearanceManager.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

using namespace Kivaro;
using namespace CaptureTesting;

namespace {

const Platform::ShareableWindow front = window(11, QRectF(260, 180, 420, 260));
const Platform::ShareableWindow back = window(12, QRectF(100, 100, 800, 480));
const QList<CaptureWindowTarget> overlap{{front, front.frame}, {back, back.frame}};
const QPointF nowhere(-1e6, -1e6);

std::unique_ptr<CaptureSelectionView> surface(QRectF screenFrame, QList<CaptureWindowTarget> targets,
                                              CaptureSelectionMode preferred = CaptureSelectionMode::window)
{
    return std::make_unique<CaptureSelectionView>(TestSupport::patternImage(screenFrame.size().toSize(), 1), screenFrame, targets,
                                                  preferred, false, [] { return nowhere; });
}

class SelectionSurface : public ::testing::Test {
protected:
    void SetUp() override
    {
        view->finish = [this](QRectF selection, std::optional<Platform::ShareableWindow> picked) {
            finishes.append({selection, picked});
        };
    }
    std::unique_ptr<CaptureSelectionView> view = surface(QRectF(0, 0, 960, 600), overlap);
    QList<std::pair<QRectF, std::optional<Platform::ShareableWindow>>> finishes;
};

} // namespace

TEST_F(SelectionSurface, WindowPickFollowsTheFrontMostWindowAndResolvesAtTheRelease)
{
    view->mouseMoved(*mouse(*view, QEvent::MouseMove, {400, 300}));
    ASSERT_TRUE(view->selectedWindow());
    EXPECT_EQ(view->selectedWindow()->windowID, front.windowID) << "the front window wins where two overlap";
    EXPECT_EQ(view->selection(), front.frame);

    view->mouseDown(*mouse(*view, QEvent::MouseButtonPress, {400, 300}));
    view->mouseDragged(*drag(*view, {800, 500}));
    EXPECT_EQ(view->selectedWindow()->windowID, back.windowID) << "the highlight follows a drag";

    view->mouseUp(*mouse(*view, QEvent::MouseButtonRelease, {400, 300}));
    ASSERT_EQ(finishes.size(), 1);
    EXPECT_EQ(finishes.first().second->windowID, front.windowID) << "resolved at the release point";

    view->mouseUp(*mouse(*view, QEvent::MouseButtonRelease, {800, 500}));
    EXPECT_EQ(finishes.size(), 1) << "a release without a press captures nothing";

    view->mouseExited();
    EXPECT_FALSE(view->selectedWindow());
    EXPECT_TRUE(view->selection().isEmpty());
    EXPECT_FALSE(view->pointer());
}

TEST_F(SelectionSurface, OneOutlineAcrossScreensClippedToItsScreen)
{
    const Platform::ShareableWindow straddling = window(13, QRectF(-100, 120, 500, 400));
    auto left = surface(QRectF(-960, 0, 960, 600), {{straddling, straddling.frame}});
    auto right = surface(QRectF(0, 0, 960, 600), {{straddling, straddling.frame}});
    for (const QPointF point : {QPointF(-50, 200), QPointF(50, 200), QPointF(-50, 200)}) {
        left->updateSelection(point);
        right->updateSelection(point);
        EXPECT_NE(left->selection().isEmpty(), right->selection().isEmpty()) << "exactly one screen shows an outline";
        const CaptureSelectionView &shown = left->selection().isEmpty() ? *right : *left;
        EXPECT_TRUE(shown.bounds().contains(shown.selection()));
    }
    EXPECT_EQ(left->selection(), QRectF(860, 120, 100, 400));
    right->updateSelection({50, 200});
    EXPECT_EQ(right->selection(), QRectF(0, 120, 400, 400));
}

TEST_F(SelectionSurface, TheSizeLabelMeasuresThePickedWindowWhole)
{
    // Half of this window lies off the screen; the label still gives its full size in pixels.
    const Platform::ShareableWindow wide = window(14, QRectF(700, 100, 520, 300));
    auto scaled = std::make_unique<CaptureSelectionView>(TestSupport::patternImage({1920, 1200}, 2), QRectF(0, 0, 960, 600),
                                                         QList<CaptureWindowTarget>{{wide, wide.frame}}, CaptureSelectionMode::window,
                                                         false, [] { return nowhere; });
    scaled->updateSelection({800, 200});
    EXPECT_EQ(scaled->selection(), QRectF(700, 100, 260, 300));
    EXPECT_EQ(scaled->measuredPixelSize(), QSizeF(1040, 600));
}

TEST_F(SelectionSurface, OptionAbandonsAPressAndSwitchesTheMode)
{
    view->mouseDown(*mouse(*view, QEvent::MouseButtonPress, {400, 300}));
    view->setOption(true);
    EXPECT_EQ(view->effectiveMode(), CaptureSelectionMode::region);
    view->mouseUp(*mouse(*view, QEvent::MouseButtonRelease, {800, 500}));
    EXPECT_TRUE(view->selection().isEmpty());
    EXPECT_TRUE(finishes.isEmpty());
    EXPECT_EQ(view->footer()->caption(), QStringLiteral("拖动选区 · 空格移动 · Shift 正方形 · ⌥ 选窗口 · Esc 取消"));

    // A modifier change through the keyboard flips it back.
    view->flagsChanged(Qt::NoModifier);
    EXPECT_EQ(view->effectiveMode(), CaptureSelectionMode::window);
    EXPECT_EQ(view->footer()->caption(), QStringLiteral("选中窗口   ·   按住 ⌥ 切换为画框选区   ·   Esc 取消"));
}

TEST_F(SelectionSurface, RegionDragShiftSquareAndSpaceMoveGiveExactRectangles)
{
    view->setOption(true);
    view->mouseDown(*mouse(*view, QEvent::MouseButtonPress, {120, 100}));
    view->mouseUp(*mouse(*view, QEvent::MouseButtonRelease, {640, 350}));
    EXPECT_EQ(view->selection().size(), QSizeF(520, 250));
    ASSERT_EQ(finishes.size(), 1);
    EXPECT_FALSE(finishes.first().second) << "a region finishes without a window";

    view->mouseDown(*mouse(*view, QEvent::MouseButtonPress, {100, 100}));
    view->mouseDragged(*drag(*view, {340, 220}, Qt::ShiftModifier));
    EXPECT_EQ(view->selection(), QRectF(100, 100, 240, 240));

    QKeyEvent spaceDown(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    EXPECT_TRUE(view->keyDown(spaceDown));
    view->mouseDragged(*drag(*view, {370, 240}, Qt::ShiftModifier));
    EXPECT_EQ(view->selection(), QRectF(130, 120, 240, 240)) << "Space moves without resizing";

    QKeyEvent spaceUp(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    EXPECT_TRUE(view->keyUp(spaceUp));
    view->mouseUp(*mouse(*view, QEvent::MouseButtonRelease, {370, 240}, Qt::ShiftModifier));
    EXPECT_EQ(view->selection(), QRectF(130, 120, 240, 240)) << "releasing Space does not make it jump";
    EXPECT_EQ(finishes.size(), 2);
    EXPECT_FALSE(view->gesture());
    EXPECT_FALSE(view->spaceHeld());
}

TEST_F(SelectionSurface, ARegionNeedsFourByFourPoints)
{
    view->setOption(true);
    view->mouseDown(*mouse(*view, QEvent::MouseButtonPress, {50, 50}));
    view->mouseUp(*mouse(*view, QEvent::MouseButtonRelease, {50, 50}));
    EXPECT_TRUE(finishes.isEmpty()) << "a click without a drag";
    view->mouseDown(*mouse(*view, QEvent::MouseButtonPress, {50, 50}));
    view->mouseUp(*mouse(*view, QEvent::MouseButtonRelease, {53.9, 54}));
    EXPECT_TRUE(finishes.isEmpty());
    view->mouseDown(*mouse(*view, QEvent::MouseButtonPress, {50, 50}));
    view->mouseUp(*mouse(*view, QEvent::MouseButtonRelease, {54, 54}));
    ASSERT_EQ(finishes.size(), 1);
    EXPECT_EQ(finishes.first().first, QRectF(50, 50, 4, 4));
}

TEST_F(SelectionSurface, EscapeCancelsAndOtherKeysPassOn)
{
    int cancels = 0;
    view->cancel = [&] { ++cancels; };
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    EXPECT_TRUE(view->keyDown(escape));
    EXPECT_EQ(cancels, 1);
    QKeyEvent letter(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    EXPECT_FALSE(view->keyDown(letter));
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    EXPECT_FALSE(view->keyDown(space)) << "Space means nothing in window mode";
    view->cancelOperation();
    EXPECT_EQ(cancels, 2);
}

TEST_F(SelectionSurface, PointerMovesGoToTheRelayWhenOneIsSet)
{
    QList<QPointF> relayed;
    auto second = surface(QRectF(100, 600, 300, 200), overlap);
    second->pointerMoved = [&](QPointF global) { relayed.append(global); };
    second->mouseMoved(*mouse(*second, QEvent::MouseMove, {10, 20}));
    EXPECT_EQ(relayed, QList<QPointF>{QPointF(110, 620)}) << "view point plus the screen's origin";
    EXPECT_FALSE(second->pointer()) << "the relay, not the view, updates the selection";
}

TEST_F(SelectionSurface, RealEventsArriveInViewCoordinates)
{
    view->setOption(true);
    view->show();
    // Widget rows count from the top: row 500 of a 600-point view is y 100.
    QTest::mousePress(view.get(), Qt::LeftButton, {}, QPoint(120, 500));
    QTest::mouseMove(view.get(), QPoint(640, 250));
    QMouseEvent moved(QEvent::MouseMove, QPointF(640, 250), view->mapToGlobal(QPointF(640, 250)), Qt::NoButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(view.get(), &moved);
    QTest::mouseRelease(view.get(), Qt::LeftButton, {}, QPoint(640, 250));
    ASSERT_EQ(finishes.size(), 1);
    EXPECT_EQ(finishes.first().first, QRectF(120, 100, 520, 250));
}

TEST_F(SelectionSurface, TheVeilDarkensAllButTheSelection)
{
    view->setOption(true);
    view->mouseDown(*mouse(*view, QEvent::MouseButtonPress, {200, 200}));
    view->mouseDragged(*drag(*view, {500, 400}));
    view->mouseExited(); // no magnifier in the picture
    const QImage picture = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage frozen = view->image();
    // Inside the selection, away from its outline: the frozen pixels as they are.
    EXPECT_EQ(picture.pixel(300, 600 - 300), frozen.pixel(300, 600 - 300));
    // Outside: darkened to 64 %.
    const QRgb outside = frozen.pixel(100, 600 - 100);
    const QRgb veiled = picture.pixel(100, 600 - 100);
    EXPECT_NEAR(qRed(veiled), qRed(outside) * 0.64, 1.5);
    EXPECT_NEAR(qGreen(veiled), qGreen(outside) * 0.64, 1.5);
    // The outline lies just inside the selection's edge.
    const QColor accent = NativeAppAppearance::resolve(NativeAppAppearance::DynamicColor::controlAccent,
                                                       NativeAppAppearance::AppearanceManager::shared().effectiveAppearance(view.get()));
    EXPECT_EQ(QColor(picture.pixel(200, 600 - 300)), accent);
}
