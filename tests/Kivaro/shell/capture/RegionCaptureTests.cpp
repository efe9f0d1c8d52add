// Whole captures on the in-process screen source: the overlay is real (widgets on Qt's
// offscreen platform), the screens and windows are fixtures.
//
// The overlay's verification hooks act only in a run started with "--verify". CTest runs this
// executable twice: once as it is (the hooks must refuse) and once with "--verify" and a filter
// on the VerificationHooks cases (the hooks must steer).

#include "CaptureFixtures.h"

#include "KivaroCore/LaunchArguments.h"
#include "KivaroCore/ShotError.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace Kivaro;
using namespace CaptureTesting;
using Platform::InProcessScreenSource;

namespace {

// The message of the ShotError a finished capture ended with; empty when none.
QString shotError(const Platform::TaskHandle<std::optional<QImage>> &handle)
{
    try {
        if (handle.error())
            std::rethrow_exception(handle.error());
    } catch (const ShotError &error) {
        return error.text();
    } catch (...) {
    }
    return {};
}

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
    ~RegionCaptureTest() override
    {
        if (running.handle) {
            running.handle.cancel();
            waitFor(running.handle);
        }
        waitUntil([] { return false; }, 1);
    }

    CaptureSelectionView *view(int overlay = 0) const { return capture.overlays().at(overlay)->contentView(); }
    // A press at `from` and a release at `to` on an overlay's view (view points).
    void pick(QPointF from, QPointF to, int overlay = 0)
    {
        view(overlay)->mouseDown(*mouse(*view(overlay), QEvent::MouseButtonPress, from));
        CaptureSelectionView *surface = view(overlay);
        surface->mouseUp(*mouse(*surface, QEvent::MouseButtonRelease, to));
    }
    // A second, smaller screen at scale 2 to the right of the main one, and a window on each.
    RunningCapture startOnTwoScreens(CaptureSelectionMode mode)
    {
        source->setScreens({main, screen(QRectF(960, 0, 800, 480), 2.0, 3)});
        source->setWindows({window(21, QRectF(100, 100, 300, 200)), window(24, QRectF(1000, 100, 300, 200))});
        return startCapture(capture, mode);
    }

    PermissionScope permission;
    RunningCapture running;
    InProcessScreenSource::Screen main = screen(QRectF(0, 0, 960, 600), 1.0, 1);
    std::shared_ptr<InProcessScreenSource> source = std::make_shared<InProcessScreenSource>();
    RegionCapture capture{source};
};

} // namespace

TEST_F(RegionCaptureTest, ARegionIsCutFromTheFrozenScreenAndPlaced)
{
    running = startCapture(capture, CaptureSelectionMode::region);
    ASSERT_TRUE(running.shown);
    EXPECT_TRUE(capture.hasEventMonitor());
    EXPECT_TRUE(source->inputGrabbed());
    ASSERT_EQ(capture.overlays().size(), 1);
    QPointer<CaptureOverlayWindow> overlay = capture.overlays().first();

    pick({120, 100}, {640, 350});
    // Finished inside the release: closed at once, destroyed only after the handler returned.
    EXPECT_TRUE(capture.overlays().isEmpty());
    ASSERT_TRUE(overlay);
    EXPECT_FALSE(overlay->isVisible());
    ASSERT_TRUE(waitFor(running.handle));
    EXPECT_EQ(running.handle.value(), main.image.copy(120, 250, 520, 250)) << "y up: rows 600 - 350 to 600 - 100";
    EXPECT_EQ(capture.lastPlacement()->background, main.image);
    EXPECT_FALSE(capture.isRunning());
    EXPECT_FALSE(capture.hasEventMonitor());
    EXPECT_FALSE(source->inputGrabbed());
    EXPECT_TRUE(source->windowImageRequests().isEmpty()) << "a region needs no second capture";
    EXPECT_TRUE(waitUntil([&] { return overlay.isNull(); }));
}

TEST_F(RegionCaptureTest, APickedWindowIsCapturedByItselfAtTheScaleUnderThePointer)
{
    running = startCapture(capture, CaptureSelectionMode::window);
    ASSERT_TRUE(running.shown);
    EXPECT_EQ(view()->targets().size(), 2) << "only windows of at least 40 x 40 points";
    EXPECT_EQ(view()->selectedWindow()->windowID, 21u) << "the window under the pointer is highlighted at once";
    pick({900, 500}, {900, 500});
    ASSERT_TRUE(waitFor(running.handle));
    // Window 22 has no image of its own here, so it is cut from the frozen screen; its right
    // part lies off every screen.
    EXPECT_EQ(running.handle.value()->size(), QSize(400, 300));
    EXPECT_EQ(source->windowImageRequests(), (QList<std::pair<std::uint32_t, double>>{{22, 1.0}}));
    EXPECT_EQ(capture.lastPlacement()->frame, QRectF(800, 400, 400, 300)) << "the whole window, also off the screen";

    running = startCapture(capture, CaptureSelectionMode::window);
    source->setPointerLocation({-5000, -5000});
    pick({150, 150}, {150, 150});
    ASSERT_TRUE(waitFor(running.handle));
    EXPECT_EQ(source->windowImageRequests().last(), (std::pair<std::uint32_t, double>{21, 2.0})) << "the pointer on no screen";
    EXPECT_EQ(running.handle.value()->size(), QSize(600, 400));
}

TEST_F(RegionCaptureTest, FailuresAreErrorsNotCancelsAndLeaveNothingRunning)
{
    // A window that yields no image.
    source->setWindows({window(31, QRectF(-900, -900, 200, 200))});
    running = startCapture(capture, CaptureSelectionMode::window);
    view()->finish(QRectF(0, 0, 10, 10), window(31, QRectF(-900, -900, 200, 200)));
    ASSERT_TRUE(waitFor(running.handle));
    EXPECT_EQ(shotError(running.handle), QStringLiteral("所选窗口无法截图，请重试。"));
    EXPECT_FALSE(capture.isRunning());

    // No screen that can be frozen.
    source->setScreens({{main.screen, QImage()}});
    auto handle = Platform::start(capture.capture(CaptureSelectionMode::region, false));
    ASSERT_TRUE(waitFor(handle));
    EXPECT_EQ(shotError(handle), QStringLiteral("没有可截图的屏幕。"));
    EXPECT_FALSE(capture.isRunning());
    EXPECT_TRUE(capture.overlays().isEmpty());
}

TEST_F(RegionCaptureTest, AScreenThatCannotBeReadEndsTheCaptureAndOneTheDisplayDoesNotShowIsLeftOut)
{
    InProcessScreenSource::Screen unreadable = screen(QRectF(960, 0, 800, 480), 2.0, 3);
    unreadable.unreadable = true;
    source->setScreens({main, unreadable});
    auto failed = Platform::start(capture.capture(CaptureSelectionMode::region, false));
    ASSERT_TRUE(waitFor(failed));
    EXPECT_EQ(shotError(failed), QStringLiteral("屏幕“screen-3”无法截图，请重试。"));
    EXPECT_TRUE(capture.overlays().isEmpty()) << "never a capture with a screen the user sees left uncovered";
    EXPECT_FALSE(capture.isRunning());

    source->setScreens({main, {unreadable.screen, QImage()}});
    running = startCapture(capture, CaptureSelectionMode::region);
    ASSERT_TRUE(running.shown);
    ASSERT_EQ(capture.overlays().size(), 1);
    EXPECT_EQ(view()->screenFrame(), main.screen.frame);
}

TEST_F(RegionCaptureTest, ThePointerOnTheEdgeTwoScreensShareIsOnTheRightHandOne)
{
    // The main screen (scale 1) ends at x = 960, where the second one (scale 2) begins.
    source->setPointerLocation({960, 300});
    running = startOnTwoScreens(CaptureSelectionMode::window);
    ASSERT_TRUE(running.shown);
    pick({150, 150}, {150, 150});
    ASSERT_TRUE(waitFor(running.handle));
    EXPECT_EQ(source->windowImageRequests().last(), (std::pair<std::uint32_t, double>{21, 2.0}));
}

TEST_F(RegionCaptureTest, ASecondCaptureIsRefusedAndTheFirstGoesOn)
{
    running = startCapture(capture, CaptureSelectionMode::region);
    ASSERT_TRUE(running.shown);
    auto second = Platform::start(capture.capture(CaptureSelectionMode::window, false));
    ASSERT_TRUE(waitFor(second));
    EXPECT_EQ(shotError(second), QStringLiteral("请先完成当前截图。"));
    EXPECT_TRUE(capture.hasPendingSelection());
    EXPECT_EQ(capture.overlays().size(), 1);
}

TEST_F(RegionCaptureTest, WithoutPermissionNothingIsShownAndNothingStaysBusy)
{
    permission.permission->granted = false;
    auto refused = Platform::start(capture.capture(CaptureSelectionMode::region, false));
    ASSERT_TRUE(waitFor(refused));
    try {
        std::rethrow_exception(refused.error());
    } catch (const Tellumo::TellumoError &error) {
        EXPECT_EQ(error.domain(), QStringLiteral("Tellumo.Capture"));
        EXPECT_EQ(error.code(), 1);
    }
    EXPECT_FALSE(capture.isRunning());
    EXPECT_EQ(source->freezeCount(), 0);
    permission.permission->granted = true;
    running = startCapture(capture, CaptureSelectionMode::region);
    EXPECT_TRUE(running.shown);
}

TEST_F(RegionCaptureTest, OnTwoScreensOptionSwitchesBothAndEscapeOnEitherClosesBoth)
{
    running = startOnTwoScreens(CaptureSelectionMode::window);
    ASSERT_TRUE(running.shown);
    ASSERT_EQ(capture.overlays().size(), 2);
    EXPECT_EQ(capture.overlays().at(1)->geometry(), QRect(960, 120, 800, 480)) << "where the Qt desktop, y down, has that screen";
    EXPECT_EQ(view(1)->image().size(), QSize(1600, 960));
    QKeyEvent altDown(QEvent::KeyPress, Qt::Key_Alt, Qt::NoModifier);
    QApplication::sendEvent(view(0), &altDown);
    EXPECT_EQ(view(1)->effectiveMode(), CaptureSelectionMode::region);
    QKeyEvent altUp(QEvent::KeyRelease, Qt::Key_Alt, Qt::AltModifier);
    QApplication::sendEvent(view(0), &altUp);
    EXPECT_EQ(view(1)->effectiveMode(), CaptureSelectionMode::window);

    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(view(1), &escape);
    EXPECT_TRUE(capture.overlays().isEmpty());
    ASSERT_TRUE(waitFor(running.handle));
    EXPECT_FALSE(running.handle.value());
}

TEST_F(RegionCaptureTest, NoApplicationShortcutActsOnAnOverlayAndAnOverlayClosedFromOutsideCancels)
{
    // The window menu's "close" closes whatever window is active.
    QWidget document;
    QAction closeWindow;
    closeWindow.setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    closeWindow.setShortcutContext(Qt::ApplicationShortcut);
    document.addAction(&closeWindow);
    document.show();
    int closes = 0;
    QObject::connect(&closeWindow, &QAction::triggered, [&] { ++closes; });
    running = startCapture(capture, CaptureSelectionMode::region);
    ASSERT_TRUE(running.shown);
    QTest::keyClick(view(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(closes, 0);
    EXPECT_TRUE(capture.hasPendingSelection());

    capture.overlays().first()->close();
    ASSERT_TRUE(waitFor(running.handle));
    EXPECT_FALSE(running.handle.value());
    EXPECT_FALSE(capture.isRunning());
}

TEST_F(RegionCaptureTest, TheWindowHighlightFollowsThePointerAcrossScreens)
{
    running = startOnTwoScreens(CaptureSelectionMode::window);
    ASSERT_TRUE(running.shown);
    view(1)->mouseMoved(*mouse(*view(1), QEvent::MouseMove, {100, 150}));
    EXPECT_TRUE(view(0)->selection().isEmpty());
    EXPECT_EQ(view(1)->selectedWindow()->windowID, 24u);
    view(0)->mouseMoved(*mouse(*view(0), QEvent::MouseMove, {150, 150}));
    EXPECT_EQ(view(0)->selectedWindow()->windowID, 21u);
    EXPECT_TRUE(view(1)->selection().isEmpty());
}

TEST_F(RegionCaptureTest, CancellingTheTaskClosesTheOverlaysAndThrows)
{
    running = startCapture(capture, CaptureSelectionMode::region);
    ASSERT_TRUE(running.shown);
    running.handle.cancel();
    EXPECT_TRUE(capture.overlays().isEmpty()) << "the cancellation ends the selection at once";
    waitFor(running.handle);

    // Cancelled in the settle delay: nothing is frozen or shown.
    auto early = Platform::start(capture.capture(CaptureSelectionMode::region, false));
    waitUntil([&] { return capture.isRunning(); });
    early.cancel();
    ASSERT_TRUE(waitFor(early));
    EXPECT_TRUE(early.endedByCancellation());
    EXPECT_EQ(source->freezeCount(), 1);
    EXPECT_FALSE(capture.isRunning());

    // The capture object destroyed while its overlay is shown ends the task the same way.
    auto owned = std::make_unique<RegionCapture>(source);
    running = startCapture(*owned, CaptureSelectionMode::region);
    QPointer<CaptureOverlayWindow> overlay = owned->overlays().first();
    owned.reset();
    ASSERT_TRUE(waitFor(running.handle));
    EXPECT_TRUE(running.handle.endedByCancellation());
    EXPECT_TRUE(waitUntil([&] { return overlay.isNull(); }));
}

TEST_F(RegionCaptureTest, ALateCompletionOfAnEarlierSelectionCannotEndALaterOne)
{
    running = startCapture(capture, CaptureSelectionMode::region);
    ASSERT_TRUE(running.shown);
    const std::function<void()> staleCancel = view()->cancel;
    const CaptureSelectionView::FinishCallback staleFinish = view()->finish;
    staleCancel();
    ASSERT_TRUE(waitFor(running.handle));

    running = startCapture(capture, CaptureSelectionMode::region);
    ASSERT_TRUE(running.shown);
    staleCancel();
    staleFinish(QRectF(0, 0, 50, 50), std::nullopt);
    EXPECT_TRUE(capture.hasPendingSelection());
    EXPECT_FALSE(running.handle.isFinished());
}

TEST(RegionCaptureCrop, ScalesTheSelectionToThePixelsWidensItToWholePixelsAndRefusesNothing)
{
    // 1440 x 900 points frozen at 2880 x 1800 pixels.
    EXPECT_EQ(RegionCapture::cropRect(QRectF(10, 20, 100, 50), QSize(2880, 1800), QSizeF(1440, 900)), QRect(20, 1660, 200, 100));
    EXPECT_EQ(RegionCapture::cropRect(QRectF(10.3, 20.2, 100.1, 50.1), QSize(800, 600), QSizeF(800, 600)), QRect(10, 600 - 71, 101, 51));
    const QImage frozen = TestSupport::patternImage({100, 100});
    EXPECT_THROW(RegionCapture::cropRegion(frozen, QRectF(200, 200, 20, 20), QSizeF(100, 100)), ShotError);
}

// In a test named "...WithoutVerify" only the plain run acts, in the others only the "--verify" run.
class VerificationHooks : public RegionCaptureTest {
protected:
    void SetUp() override
    {
        const bool plainCase = QString::fromUtf8(::testing::UnitTest::GetInstance()->current_test_info()->name()).endsWith("WithoutVerify");
        if (plainCase == PrototypeVerification::hasFlag(QStringLiteral("--verify")))
            GTEST_SKIP() << "runs in the other pass";
    }
    void show(CaptureSelectionMode mode)
    {
        running = startCapture(capture, mode);
        ASSERT_TRUE(running.shown);
    }
    std::optional<QImage> result()
    {
        EXPECT_TRUE(waitFor(running.handle));
        return running.handle.error() ? std::nullopt : running.handle.value();
    }
};

TEST_F(VerificationHooks, RefuseAndTouchNothingWithoutVerify)
{
    show(CaptureSelectionMode::region);
    EXPECT_FALSE(capture.verifyChoose({100, 100}, false, QPointF(520, 360)));
    EXPECT_FALSE(capture.verifyCancel(true, false));
    EXPECT_FALSE(capture.verifyCancel(false, true));
    QTemporaryDir folder;
    TestSupport::run(capture.verifyFooter(folder.filePath("footer.png")));
    EXPECT_FALSE(QFile::exists(folder.filePath("footer.png")));
    EXPECT_TRUE(capture.hasPendingSelection()) << "nothing was sent to the overlay";
    EXPECT_TRUE(capture.overlays().first()->contentView()->selection().isEmpty());
}

// The focused child takes Escape itself: only the capture's application-wide key monitor, which
// sees the key first, can end the capture then.
TEST_F(VerificationHooks, EscapeWithAFocusedChildIsTheKeyMonitorsToCancel)
{
    show(CaptureSelectionMode::region);
    ASSERT_TRUE(capture.hasEventMonitor());
    qApp->removeEventFilter(&capture);
    EXPECT_FALSE(capture.verifyCancel(false, true)) << "without the monitor the child keeps the key";
    EXPECT_TRUE(capture.hasPendingSelection());
    qApp->installEventFilter(&capture);
    EXPECT_TRUE(capture.verifyCancel(false, true));
    EXPECT_FALSE(result());
}

// The footer's picture is private evidence: 0600, never written through a link at its name,
// and a refused write names the file.
TEST_F(VerificationHooks, TheFootersPictureIsAPrivateFile)
{
    show(CaptureSelectionMode::window);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("footer.png"));
    TestSupport::run(capture.verifyFooter(path));
    EXPECT_EQ(QFile::permissions(path) & 0x7777, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    const QString linked = folder.filePath(QStringLiteral("linked.png"));
    ASSERT_TRUE(QFile::link(folder.filePath(QStringLiteral("elsewhere.png")), linked));
    try {
        TestSupport::run(capture.verifyFooter(linked));
        ADD_FAILURE() << "a link at the picture's name was written through";
    } catch (const ShotError &error) {
        EXPECT_TRUE(error.text().contains(linked)) << error.text().toStdString();
    }
    EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("elsewhere.png"))));
    EXPECT_TRUE(capture.verifyCancel(true, false));
    EXPECT_FALSE(result());
}

TEST_F(VerificationHooks, SteerAShownOverlayExactly)
{
    EXPECT_FALSE(capture.verifyChoose({100, 100}, false)) << "no overlay yet";
    show(CaptureSelectionMode::region);
    EXPECT_FALSE(capture.verifyChoose({-10, 100}, false, QPointF(500, 300))) << "a point outside every overlay";
    EXPECT_FALSE(capture.verifyChoose({100, 100}, false, QPointF(102, 103))) << "smaller than 4 x 4 points";
    EXPECT_TRUE(capture.verifyChoose({100, 100}, false, QPointF(520, 360)));
    ASSERT_TRUE(result());
    EXPECT_EQ(capture.lastPlacement()->frame, QRectF(100, 100, 420, 260));

    show(CaptureSelectionMode::region);
    EXPECT_TRUE(capture.verifyChoose({150, 150}, true)) << "with Option a click picks the window under it";
    EXPECT_EQ(result(), TestSupport::patternImage({300, 200}, 21));
    show(CaptureSelectionMode::window);
    EXPECT_TRUE(capture.verifyCancel(true, false));
    EXPECT_FALSE(capture.verifyCancel(true, false)) << "nothing left to cancel";
    EXPECT_FALSE(result());
}
