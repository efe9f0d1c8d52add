// Whole captures on the in-process screen source: the overlay is real (widgets on Qt's
// offscreen platform), the screens and windows are fixtures.

#include "CaptureFixtures.h"

#include "Kivaro/shell/capture/CaptureSelectionFooter.h"
#include "KivaroCore/ShotError.h"

#include <QApplication>

#include <gtest/gtest.h>

using namespace Kivaro;
using namespace CaptureTesting;
using Platform::InProcessScreenSource;

namespace {

class RegionCaptureTest : public ::testing::Test {
protected:
    RegionCaptureTest()
    {
        source->setScreens({main});
        source->setWindows({window(21, QRectF(100, 100, 300, 200)), window(22, QRectF(800, 400, 400, 300)),
                            window(23, QRectF(500, 50, 39.9, 300))});
        source->setWindowImage(21, TestSupport::patternImage({300, 200}, 21));
        source->setPointerLocation({200, 150});
    }
    ~RegionCaptureTest() override { CaptureTesting::waitUntil([] { return false; }, 1); }

    CaptureSelectionView *view(int overlay = 0) const { return capture.overlays().at(overlay)->contentView(); }
    template <typename E>
    static QString errorText(const Platform::TaskHandle<std::optional<QImage>> &handle)
    {
        try {
            if (handle.error())
                std::rethrow_exception(handle.error());
        } catch (const E &error) {
            if constexpr (std::is_same_v<E, ShotError>)
                return error.text();
            else
                return QString::fromUtf8(error.what());
        } catch (...) {
        }
        return {};
    }

    PermissionScope permission;
    InProcessScreenSource::Screen main = screen(QRectF(0, 0, 960, 600), 1.0, 1);
    std::shared_ptr<InProcessScreenSource> source = std::make_shared<InProcessScreenSource>();
    RegionCapture capture{source};
};

} // namespace

TEST_F(RegionCaptureTest, ARegionIsCutFromTheFrozenScreenAndPlaced)
{
    RunningCapture running = startCapture(capture, CaptureSelectionMode::region);
    ASSERT_TRUE(running.shown);
    EXPECT_TRUE(capture.isRunning());
    EXPECT_TRUE(capture.hasEventMonitor());
    EXPECT_TRUE(source->inputGrabbed());
    EXPECT_EQ(source->freezeCount(), 1);
    ASSERT_EQ(capture.overlays().size(), 1);
    QPointer<CaptureOverlayWindow> overlay = capture.overlays().first();

    view()->mouseDown(*mouse(*view(), QEvent::MouseButtonPress, {120, 100}));
    CaptureSelectionView *surface = view();
    surface->mouseUp(*mouse(*surface, QEvent::MouseButtonRelease, {640, 350}));
    // Finished inside the release: closed at once, destroyed only after the handler returned.
    EXPECT_FALSE(capture.hasPendingSelection());
    EXPECT_TRUE(capture.overlays().isEmpty());
    ASSERT_TRUE(overlay);
    EXPECT_FALSE(overlay->isVisible());

    ASSERT_TRUE(CaptureTesting::waitFor(running.handle));
    ASSERT_FALSE(running.handle.error());
    ASSERT_TRUE(running.handle.value());
    // y up: rows 600 - 350 = 250 to 500.
    EXPECT_EQ(*running.handle.value(), main.image.copy(120, 250, 520, 250));
    ASSERT_TRUE(capture.lastPlacement());
    EXPECT_EQ(capture.lastPlacement()->screen, main.screen.frame);
    EXPECT_EQ(capture.lastPlacement()->frame, QRectF(120, 100, 520, 250));
    EXPECT_EQ(capture.lastPlacement()->background, main.image);
    EXPECT_FALSE(capture.isRunning());
    EXPECT_FALSE(capture.hasEventMonitor());
    EXPECT_FALSE(source->inputGrabbed());
    EXPECT_TRUE(source->windowImageRequests().isEmpty()) << "a region needs no second capture";
    EXPECT_TRUE(CaptureTesting::waitUntil([&] { return overlay.isNull(); }));
}

TEST_F(RegionCaptureTest, APickedWindowIsCapturedByItselfAtTheScaleUnderThePointer)
{
    RunningCapture running = startCapture(capture, CaptureSelectionMode::window);
    ASSERT_TRUE(running.shown);
    // Only windows of at least 40 x 40 points are offered, front-most first.
    ASSERT_EQ(view()->targets().size(), 2);
    EXPECT_EQ(view()->selectedWindow()->windowID, 21u) << "the window under the pointer is highlighted at once";

    view()->mouseDown(*mouse(*view(), QEvent::MouseButtonPress, {900, 500}));
    view()->mouseUp(*mouse(*view(), QEvent::MouseButtonRelease, {900, 500}));
    ASSERT_TRUE(CaptureTesting::waitFor(running.handle));
    // Window 22 has no image of its own here, so it is cut from the frozen screen; its right
    // part lies off every screen.
    ASSERT_TRUE(running.handle.value());
    EXPECT_EQ(running.handle.value()->size(), QSize(400, 300));
    EXPECT_EQ(source->windowImageRequests(), (QList<std::pair<std::uint32_t, double>>{{22, 1.0}}));
    EXPECT_EQ(capture.lastPlacement()->frame, QRectF(800, 400, 400, 300)) << "the whole window, also off the screen";
}

TEST_F(RegionCaptureTest, WithThePointerOnNoScreenTheWindowIsTakenAtScaleTwo)
{
    RunningCapture running = startCapture(capture, CaptureSelectionMode::window);
    ASSERT_TRUE(running.shown);
    source->setPointerLocation({-5000, -5000});
    view()->mouseDown(*mouse(*view(), QEvent::MouseButtonPress, {150, 150}));
    view()->mouseUp(*mouse(*view(), QEvent::MouseButtonRelease, {150, 150}));
    ASSERT_TRUE(CaptureTesting::waitFor(running.handle));
    EXPECT_EQ(source->windowImageRequests(), (QList<std::pair<std::uint32_t, double>>{{21, 2.0}}));
    EXPECT_EQ(running.handle.value()->size(), QSize(600, 400));
}

TEST_F(RegionCaptureTest, AWindowThatYieldsNoImageIsAnErrorNotACancel)
{
    source->setWindows({window(31, QRectF(-900, -900, 200, 200))});
    source->setPointerLocation({-800, -800});
    RunningCapture running = startCapture(capture, CaptureSelectionMode::window);
    ASSERT_TRUE(running.shown);
    // The window lies on no frozen screen; pick it through the view's own finish.
    view()->finish(QRectF(0, 0, 10, 10), window(31, QRectF(-900, -900, 200, 200)));
    ASSERT_TRUE(CaptureTesting::waitFor(running.handle));
    EXPECT_EQ(errorText<ShotError>(running.handle), QStringLiteral("所选窗口无法截图，请重试。"));
    EXPECT_FALSE(capture.isRunning());
}

TEST_F(RegionCaptureTest, ASecondCaptureIsRefusedAndTheFirstGoesOn)
{
    RunningCapture first = startCapture(capture, CaptureSelectionMode::region);
    ASSERT_TRUE(first.shown);
    auto second = Platform::start(capture.capture(CaptureSelectionMode::window, false));
    ASSERT_TRUE(CaptureTesting::waitFor(second));
    EXPECT_EQ(errorText<ShotError>(second), QStringLiteral("请先完成当前截图。"));
    EXPECT_TRUE(capture.hasPendingSelection());
    EXPECT_EQ(capture.overlays().size(), 1);
    first.handle.cancel();
    ASSERT_TRUE(CaptureTesting::waitFor(first.handle));
}

TEST_F(RegionCaptureTest, WithoutPermissionNothingIsShownAndNothingStaysBusy)
{
    permission.permission->granted = false;
    auto refused = Platform::start(capture.capture(CaptureSelectionMode::region, false));
    ASSERT_TRUE(CaptureTesting::waitFor(refused));
    try {
        std::rethrow_exception(refused.error());
    } catch (const Tellumo::TellumoError &error) {
        EXPECT_EQ(error.domain(), QStringLiteral("Tellumo.Capture"));
        EXPECT_EQ(error.code(), 1);
    }
    EXPECT_FALSE(capture.isRunning());
    EXPECT_EQ(source->freezeCount(), 0);
    permission.permission->granted = true;
    RunningCapture later = startCapture(capture, CaptureSelectionMode::region);
    EXPECT_TRUE(later.shown);
    later.handle.cancel();
    CaptureTesting::waitFor(later.handle);
}

TEST_F(RegionCaptureTest, WhenNoScreenCanBeFrozenTheCaptureFails)
{
    source->setScreens({{main.screen, QImage()}});
    auto handle = Platform::start(capture.capture(CaptureSelectionMode::region, false));
    ASSERT_TRUE(CaptureTesting::waitFor(handle));
    EXPECT_EQ(errorText<ShotError>(handle), QStringLiteral("没有可截图的屏幕。"));
    EXPECT_FALSE(capture.isRunning());
    EXPECT_TRUE(capture.overlays().isEmpty());
}

TEST_F(RegionCaptureTest, EscapeClosesEveryOverlayAndReturnsNothing)
{
    source->setScreens({main, screen(QRectF(-640, 0, 640, 480), 2.0, 2)});
    RunningCapture running = startCapture(capture, CaptureSelectionMode::region);
    ASSERT_TRUE(running.shown);
    ASSERT_EQ(capture.overlays().size(), 2);
    // The second screen's overlay sits where the Qt desktop has that screen.
    EXPECT_EQ(capture.overlays().at(1)->geometry(), QRect(-640, 120, 640, 480));
    EXPECT_EQ(view(1)->image().size(), QSize(1280, 960));

    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(view(1), &escape);
    EXPECT_TRUE(capture.overlays().isEmpty());
    ASSERT_TRUE(CaptureTesting::waitFor(running.handle));
    EXPECT_FALSE(running.handle.error());
    EXPECT_FALSE(running.handle.value());
    EXPECT_FALSE(capture.lastPlacement());
    EXPECT_FALSE(capture.isRunning());
}

TEST_F(RegionCaptureTest, OptionSwitchesTheModeOnEveryScreenAtOnce)
{
    source->setScreens({main, screen(QRectF(960, 0, 800, 600), 1.0, 3)});
    RunningCapture running = startCapture(capture, CaptureSelectionMode::window);
    ASSERT_TRUE(running.shown);
    QKeyEvent altDown(QEvent::KeyPress, Qt::Key_Alt, Qt::NoModifier);
    QApplication::sendEvent(view(0), &altDown);
    EXPECT_EQ(view(0)->effectiveMode(), CaptureSelectionMode::region);
    EXPECT_EQ(view(1)->effectiveMode(), CaptureSelectionMode::region);
    QKeyEvent altUp(QEvent::KeyRelease, Qt::Key_Alt, Qt::AltModifier);
    QApplication::sendEvent(view(0), &altUp);
    EXPECT_EQ(view(1)->effectiveMode(), CaptureSelectionMode::window);
    running.handle.cancel();
    CaptureTesting::waitFor(running.handle);
}

TEST_F(RegionCaptureTest, TheWindowHighlightFollowsThePointerAcrossScreens)
{
    source->setScreens({main, screen(QRectF(960, 0, 800, 600), 1.0, 3)});
    source->setWindows({window(21, QRectF(100, 100, 300, 200)), window(24, QRectF(1000, 100, 300, 200))});
    RunningCapture running = startCapture(capture, CaptureSelectionMode::window);
    ASSERT_TRUE(running.shown);
    view(1)->mouseMoved(*mouse(*view(1), QEvent::MouseMove, {100, 150}));
    EXPECT_TRUE(view(0)->selection().isEmpty());
    ASSERT_TRUE(view(1)->selectedWindow());
    EXPECT_EQ(view(1)->selectedWindow()->windowID, 24u);
    view(0)->mouseMoved(*mouse(*view(0), QEvent::MouseMove, {150, 150}));
    EXPECT_EQ(view(0)->selectedWindow()->windowID, 21u);
    EXPECT_TRUE(view(1)->selection().isEmpty());
    running.handle.cancel();
    CaptureTesting::waitFor(running.handle);
}

TEST_F(RegionCaptureTest, CancellingTheTaskClosesTheOverlaysAndThrows)
{
    RunningCapture running = startCapture(capture, CaptureSelectionMode::region);
    ASSERT_TRUE(running.shown);
    running.handle.cancel();
    EXPECT_TRUE(capture.overlays().isEmpty()) << "the cancellation ends the selection at once";
    ASSERT_TRUE(CaptureTesting::waitFor(running.handle));
    EXPECT_TRUE(running.handle.endedByCancellation());
    EXPECT_FALSE(capture.isRunning());

    // Cancelled in the settle delay: nothing is frozen or shown.
    auto early = Platform::start(capture.capture(CaptureSelectionMode::region, false));
    CaptureTesting::waitUntil([&] { return capture.isRunning(); });
    early.cancel();
    ASSERT_TRUE(CaptureTesting::waitFor(early));
    EXPECT_TRUE(early.endedByCancellation());
    EXPECT_EQ(source->freezeCount(), 1);
    EXPECT_FALSE(capture.isRunning());
}

TEST_F(RegionCaptureTest, ALateCompletionOfAnEarlierSelectionCannotEndALaterOne)
{
    RunningCapture first = startCapture(capture, CaptureSelectionMode::region);
    ASSERT_TRUE(first.shown);
    const std::function<void()> staleCancel = view()->cancel;
    const CaptureSelectionView::FinishCallback staleFinish = view()->finish;
    staleCancel();
    ASSERT_TRUE(CaptureTesting::waitFor(first.handle));

    RunningCapture second = startCapture(capture, CaptureSelectionMode::region);
    ASSERT_TRUE(second.shown);
    staleCancel();
    staleFinish(QRectF(0, 0, 50, 50), std::nullopt);
    EXPECT_TRUE(capture.hasPendingSelection());
    EXPECT_EQ(capture.overlays().size(), 1);
    EXPECT_FALSE(second.handle.isFinished());
    second.handle.cancel();
    CaptureTesting::waitFor(second.handle);
}

TEST_F(RegionCaptureTest, DestroyingTheCaptureObjectEndsItsTaskQuietly)
{
    auto owned = std::make_unique<RegionCapture>(source);
    RunningCapture running = startCapture(*owned, CaptureSelectionMode::region);
    ASSERT_TRUE(running.shown);
    QPointer<CaptureOverlayWindow> overlay = owned->overlays().first();
    owned.reset();
    ASSERT_TRUE(CaptureTesting::waitFor(running.handle));
    EXPECT_TRUE(running.handle.endedByCancellation());
    EXPECT_TRUE(CaptureTesting::waitUntil([&] { return overlay.isNull(); }));
}

TEST(RegionCaptureCrop, ScalesTheSelectionToThePixelsAndWidensItToWholePixels)
{
    // 1440 x 900 points frozen at 2880 x 1800 pixels.
    EXPECT_EQ(RegionCapture::cropRect(QRectF(10, 20, 100, 50), QSize(2880, 1800), QSizeF(1440, 900)), QRect(20, 1660, 200, 100));
    EXPECT_EQ(RegionCapture::cropRect(QRectF(10.3, 20.2, 100.1, 50.1), QSize(800, 600), QSizeF(800, 600)),
              QRect(10, 600 - 71, 101, 51));
}

TEST(RegionCaptureCrop, NothingLeftOfTheRegionIsAnError)
{
    const QImage frozen = TestSupport::patternImage({100, 100});
    EXPECT_EQ(RegionCapture::cropRegion(frozen, QRectF(10, 10, 20, 20), QSizeF(100, 100)), frozen.copy(10, 70, 20, 20));
    try {
        RegionCapture::cropRegion(frozen, QRectF(200, 200, 20, 20), QSizeF(100, 100));
        ADD_FAILURE() << "an empty crop was returned";
    } catch (const ShotError &error) {
        EXPECT_EQ(error.text(), QStringLiteral("所选区域无法截图，请重试。"));
    }
}
