// The overlay's verification hooks act only in a run started with "--verify". CTest runs this
// executable twice: once as it is (the hooks must refuse) and once with "--verify" and a filter
// on the VerificationHooks cases (the hooks must steer).

#include "CaptureFixtures.h"

#include "Kivaro/shell/capture/CaptureSelectionFooter.h"
#include "KivaroCore/LaunchArguments.h"
#include "KivaroCore/ShotError.h"

#include <QFile>
#include <QImageReader>
#include <QLineEdit>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Kivaro;
using namespace CaptureTesting;

namespace {

bool verifying()
{
    return PrototypeVerification::hasFlag(QStringLiteral("--verify"));
}

class HookScene : public ::testing::Test {
protected:
    HookScene()
    {
        source->setScreens({screen(QRectF(0, 0, 960, 600), 1.0, 1)});
        source->setWindows({window(41, QRectF(100, 100, 300, 200))});
        source->setWindowImage(41, TestSupport::patternImage({300, 200}, 41));
        source->setPointerLocation({900, 550});
    }
    ~HookScene() override
    {
        if (running.handle && !running.handle.isFinished()) {
            running.handle.cancel();
            waitFor(running.handle);
        }
    }
    void show(CaptureSelectionMode mode)
    {
        running = startCapture(capture, mode);
        ASSERT_TRUE(running.shown);
    }
    std::optional<QImage> result()
    {
        EXPECT_TRUE(waitFor(running.handle));
        EXPECT_FALSE(running.handle.error());
        return running.handle.error() ? std::nullopt : running.handle.value();
    }

    PermissionScope permission;
    std::shared_ptr<Platform::InProcessScreenSource> source = std::make_shared<Platform::InProcessScreenSource>();
    RegionCapture capture{source};
    RunningCapture running;
    QTemporaryDir folder;
};

class VerificationHooks : public HookScene {
protected:
    void SetUp() override
    {
        if (!verifying())
            GTEST_SKIP() << "runs in the \"--verify\" pass";
    }
};

class VerificationHooksWithoutVerify : public HookScene {
protected:
    void SetUp() override
    {
        if (verifying())
            GTEST_SKIP() << "runs in the plain pass";
    }
};

} // namespace

TEST_F(VerificationHooksWithoutVerify, RefuseAndTouchNothing)
{
    show(CaptureSelectionMode::region);
    EXPECT_FALSE(capture.verifyChoose({100, 100}, false, QPointF(520, 360)));
    EXPECT_FALSE(capture.verifyCancel(true, false));
    EXPECT_FALSE(capture.verifyCancel(false, true));
    const QString path = folder.filePath(QStringLiteral("footer.png"));
    TestSupport::run(capture.verifyFooter(path));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(capture.hasPendingSelection()) << "nothing was sent to the overlay";
    EXPECT_TRUE(capture.overlays().first()->contentView()->selection().isEmpty());
}

TEST_F(VerificationHooks, BeforeTheOverlayIsShownTheyCannotAct)
{
    EXPECT_FALSE(capture.verifyChoose({100, 100}, false));
    EXPECT_FALSE(capture.verifyCancel(false, false));
    const QString path = folder.filePath(QStringLiteral("footer.png"));
    TestSupport::run(capture.verifyFooter(path));
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(VerificationHooks, ARegionDragFinishesWithExactlyItsRectangle)
{
    show(CaptureSelectionMode::region);
    EXPECT_FALSE(capture.verifyChoose({-10, 100}, false, QPointF(500, 300))) << "a point outside every overlay";
    EXPECT_FALSE(capture.verifyChoose({100, 100}, false, QPointF(102, 103))) << "smaller than 4 x 4 points";
    EXPECT_TRUE(capture.hasPendingSelection());
    EXPECT_TRUE(capture.verifyChoose({100, 100}, false, QPointF(520, 360)));
    const std::optional<QImage> image = result();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSize(420, 260));
    EXPECT_EQ(capture.lastPlacement()->frame, QRectF(100, 100, 420, 260));
}

TEST_F(VerificationHooks, OptionSwapsWindowPickAndRegionDrag)
{
    show(CaptureSelectionMode::window);
    EXPECT_TRUE(capture.verifyChoose({150, 150}, true, QPointF(250, 250)));
    ASSERT_TRUE(result());
    EXPECT_EQ(capture.lastPlacement()->frame, QRectF(150, 150, 100, 100)) << "a region, not the window under it";
    EXPECT_TRUE(source->windowImageRequests().isEmpty());

    show(CaptureSelectionMode::region);
    EXPECT_TRUE(capture.verifyChoose({150, 150}, true));
    const std::optional<QImage> picked = result();
    ASSERT_TRUE(picked);
    EXPECT_EQ(*picked, TestSupport::patternImage({300, 200}, 41));
    EXPECT_EQ(capture.lastPlacement()->frame, QRectF(100, 100, 300, 200));
}

TEST_F(VerificationHooks, TheFootersButtonCancelsAndASecondCancelFindsNothing)
{
    show(CaptureSelectionMode::region);
    EXPECT_TRUE(capture.verifyCancel(true, true));
    EXPECT_FALSE(capture.verifyCancel(true, false));
    EXPECT_FALSE(result());
}

TEST_F(VerificationHooks, EscapeCancelsWhateverHoldsTheFocus)
{
    show(CaptureSelectionMode::window);
    CaptureSelectionView *view = capture.overlays().first()->contentView();
    EXPECT_TRUE(capture.verifyCancel(false, true));
    EXPECT_EQ(view->findChildren<QLineEdit *>().size(), 1);
    EXPECT_FALSE(result());
    EXPECT_TRUE(capture.overlays().isEmpty());
}

TEST_F(VerificationHooks, TheFooterIsWrittenAsItIsLaidOut)
{
    show(CaptureSelectionMode::window);
    const QString path = folder.filePath(QStringLiteral("footer.png"));
    TestSupport::run(capture.verifyFooter(path));
    QImageReader reader(path);
    EXPECT_EQ(reader.size(), capture.overlays().first()->contentView()->footer()->size());
    EXPECT_THROW(TestSupport::run(capture.verifyFooter(folder.filePath(QStringLiteral("missing/footer.png")))), ShotError);
}
