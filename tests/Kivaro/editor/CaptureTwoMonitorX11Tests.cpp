// The capture road on two monitors: one X screen of a private Xvfb, started by this executable
// before Qt connects, split into two RandR monitors side by side. A window lying across both is
// picked by a click on its part on the left one, as a user picks it, and the clipboard is read
// back by another client (xclip).

#include "LiveCaptureFixtures.h"

#include "Kivaro/shell/capture/CaptureOverlayWindow.h"
#include "Kivaro/shell/capture/CaptureSelectionView.h"
#include "Kivaro/shell/capture/RegionCapture.h"
#include "Platform/ScreenCapture/X11TestDisplay.h"
#include "Support/SplitMonitors.h"

#include <QGuiApplication>
#include <QScreen>

using namespace Kivaro;
using namespace EditorTesting;

namespace {

constexpr QSize monitorSize(1280, 800);

class TwoMonitorCaptureRoad : public LiveCaptureEditor {
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::screens().size(), 2);
        ASSERT_TRUE(display.isValid());
        LiveCaptureEditor::SetUp();
    }

    TestSupport::X11TestDisplay display;
};

} // namespace

TEST_F(TwoMonitorCaptureRoad, AWindowAcrossBothMonitorsIsHighlightedAndCapturedWhole)
{
    // 418 pixels on the left monitor, the other 484 on the right.
    const QRect where(monitorSize.width() - 418, 200, 902, 325);
    const QImage pattern = TestSupport::patternImage(where.size(), 7);
    const xcb_window_t fixture = display.createWindow(where, pattern);
    ASSERT_TRUE(display.waitForPixels(where, pattern));

    display.movePointer(QPoint(100, 100));
    editor->captureWithShortcutAction();
    ASSERT_TRUE(waitUntil([&] { return editor->capture()->hasPendingSelection() && editor->capture()->overlays().size() == 2; }, 10000));
    waitUntil([] { return false; }, 300); // the input grab follows the overlays
    display.movePointer(where.topLeft() + QPoint(200, 150));
    CaptureSelectionView *left = editor->capture()->overlays().at(0)->contentView();
    CaptureSelectionView *right = editor->capture()->overlays().at(1)->contentView();
    if (left->screenFrame().x() > right->screenFrame().x())
        std::swap(left, right);
    // Each monitor's overlay highlights its own part of the window (view points, y up).
    EXPECT_TRUE(waitUntil([&] { return left->selection() == QRectF(monitorSize.width() - 418, 275, 418, 325); }))
        << ::testing::PrintToString(left->selection());
    EXPECT_EQ(right->selection(), QRectF(0, 275, 484, 325));
    EXPECT_EQ(left->measuredPixelSize(), QSizeF(902, 325));

    display.button(true);
    display.button(false);
    QImage copied;
    ASSERT_TRUE(waitUntil([&] { return copied.loadFromData(clipboardPNG(), "PNG"); }, 10000));
    ASSERT_EQ(copied.size(), where.size());
    const QImage argb = copied.convertToFormat(QImage::Format_ARGB32);
    int transparent = 0;
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            transparent += qAlpha(argb.pixel(x, y)) < 255 ? 1 : 0;
    EXPECT_EQ(transparent, 0) << "no hole where the window lies on the other monitor";
    EXPECT_EQ(copied.convertToFormat(QImage::Format_RGB32), pattern.convertToFormat(QImage::Format_RGB32));
    display.destroyWindow(fixture);
}

int main(int argc, char **argv)
{
    return TestSupport::runTestsOnMonitors(monitorSize, 2, argc, argv);
}
