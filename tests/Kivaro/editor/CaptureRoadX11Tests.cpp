// The capture road on the real X server with a window manager: a capture started through the
// action the menu item calls, a region dragged through the server with xdotool over a window of
// known pixels, the clipboard read back by another client (xclip), the recent shot on disk, the
// inline editor over the frozen screen, and a shot shared with a desktop entry of our own.

#include "LiveCaptureFixtures.h"

#include "Kivaro/editor/AnnotationFloatingPanel.h"
#include "Kivaro/editor/CapturePermissionPanel.h"
#include "Kivaro/editor/EditorDockView.h"
#include "Kivaro/editor/HoldOverlay.h"
#include "Kivaro/editor/InlineCaptureEditor.h"
#include "Kivaro/editor/TransparencyGridView.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/recent/RecentShots.h"
#include "Kivaro/shell/capture/CaptureOverlayWindow.h"
#include "Kivaro/shell/capture/CaptureSelectionView.h"
#include "Kivaro/shell/capture/RegionCapture.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/MenuContentView.h"
#include "NativeAppAppearance/NativeMenu.h"
#include "Platform/Defaults/UserDefaults.h"
#include "Platform/Markup/UndoManager.h"
#include "Platform/ScreenCapture/X11TestDisplay.h"
#include "Platform/Sharing/DesktopApplications.h"
#include "Support/ClientProcess.h"
#include "TellumoCore/ScreenRegionCapture.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include <sys/stat.h>

using namespace Kivaro;
using namespace EditorTesting;
using TestSupport::ClientResult;
using TestSupport::runClient;
using TestSupport::X11TestDisplay;
using TestSupport::drag;
using TestSupport::xdotool;

namespace {

int fileMode(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

struct RefusedPermission final : Tellumo::ScreenRecordingPermission {
    bool isGranted() const override { return false; }
    void request() override {}
};

class LiveCaptureRoad : public LiveCaptureEditor {
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        ASSERT_TRUE(display.isValid());
        ASSERT_TRUE(display.startWindowManager());
        LiveCaptureEditor::SetUp();
        // A window of known pixels, above everything the window manager stacks.
        fixture = display.createWindow(where, pattern, 4242, true);
        ASSERT_TRUE(display.waitForPixels(where, pattern));
    }
    void TearDown() override
    {
        NativeAppAppearance::NativeMenu::shared().close();
        LiveCaptureEditor::TearDown();
        if (fixture)
            display.destroyWindow(fixture);
        display.stopWindowManager();
        Tellumo::ScreenRegionCapture::setPermission({});
    }

    // Waits for the overlay to be up with the pointer and keyboard grabbed.
    bool overlayShown()
    {
        const bool shown =
            waitUntil([&] { return editor->capture()->hasPendingSelection() && QGuiApplication::focusWindow(); }, 10000);
        waitUntil([] { return false; }, 150); // the pointer grab follows the focus
        return shown;
    }
    bool captureDragged()
    {
        editor->captureRegionWithShortcutAction();
        return overlayShown() && drag(dragFrom, dragTo) && waitUntil([&] { return !editor->captureTask() && !editor->busy(); }, 10000);
    }
    QString recentProject() const
    {
        const QList<RecentShot> shots = editor->recent()->entries();
        return shots.isEmpty() ? QString() : shots.first().projectURL;
    }

    X11TestDisplay display;
    const QRect where{200, 150, 600, 400};
    const QImage pattern = TestSupport::patternImage(where.size(), 5);
    const QPoint dragFrom{300, 250};
    const QPoint dragTo{500, 400};
    xcb_window_t fixture = 0;
};

} // namespace

TEST_F(LiveCaptureRoad, ADraggedRegionIsOnTheClipboardAndInTheRecentShotsExactly)
{
    ASSERT_TRUE(captureDragged());
    ASSERT_TRUE(editor->document()->hasImage()) << editor->status()->stringValue().toStdString();
    const QImage expected = pattern.copy(dragFrom.x() - where.x(), dragFrom.y() - where.y(), 200, 150);

    const QByteArray png = clipboardPNG();
    ASSERT_FALSE(png.isEmpty());
    EXPECT_EQ(png, TestSupport::run(editor->document()->png(std::nullopt, false))) << "the very bytes the editor encoded";
    const QImage clipped = QImage::fromData(png, "PNG").convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(clipped.size(), QSize(200, 150));
    EXPECT_EQ(clipped, expected);

    const QString project = recentProject();
    ASSERT_FALSE(project.isEmpty());
    EXPECT_EQ(fileMode(project), 0600);
    EXPECT_EQ(fileMode(QFileInfo(project).absolutePath()), 0700);
    ShotDocument reopened;
    reopened.open(project);
    EXPECT_TRUE(reopened.state() == editor->document()->state());
    EXPECT_EQ(editor->status()->stringValue(), QStringLiteral("截图已复制到剪贴板。"));
    EXPECT_FALSE(editor->window()->isVisible());
}

TEST_F(LiveCaptureRoad, TheInlineEditorCoversTheScreenWithTheCanvasOnTheSpotAndEscapeArchivesTheArrow)
{
    Platform::UserDefaults::standard().set(QString::fromLatin1(CaptureCompletionPreferences::opensEditorKey), true);
    ASSERT_TRUE(captureDragged());
    QWidget *window = editor->inlineEditor()->window();
    ASSERT_TRUE(window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window->windowHandle(), 10000));
    EXPECT_EQ(window->geometry(), QGuiApplication::primaryScreen()->geometry());
    const QRect host(editor->canvasHost()->mapToGlobal(QPoint(0, 0)), editor->canvasHost()->size());
    EXPECT_EQ(host, QRect(dragFrom, dragTo - QPoint(1, 1)));
    // With the fixture gone, what the screen shows there is the shot on the canvas, pixel for
    // pixel, and around it the frozen screen dimmed.
    display.destroyWindow(std::exchange(fixture, 0));
    ASSERT_TRUE(display.waitForPixels(host, pattern.copy(dragFrom.x() - where.x(), dragFrom.y() - where.y(), 200, 150)));
    const QRgb frozen = pattern.pixel(dragFrom.x() - where.x() - 20, dragFrom.y() - where.y() - 20);
    const auto dimmedAt = [&] {
        const QRgb seen = display.rootImage(QRect(dragFrom - QPoint(20, 20), QSize(1, 1))).pixel(0, 0);
        return std::abs(qRed(seen) - qRed(frozen) * 0.58) <= 2 && std::abs(qGreen(seen) - qGreen(frozen) * 0.58) <= 2;
    };
    EXPECT_TRUE(waitUntil(dimmedAt));

    // An arrow, as the drawing tools commit one.
    const ShotState before = editor->document()->state();
    ShotState next = before;
    Platform::ShapeElement arrow;
    arrow.shape = Platform::ShapeElement::Shape::line({0, 1}, {0.5, 0.5}, {1, 0});
    arrow.frame = QRectF(20, 20, 120, 90);
    arrow.strokeColor = QColor(Qt::red);
    arrow.lineWidth = 5;
    arrow.endLineMarker = Platform::ShapeElement::LineMarker::Arrow;
    arrow.id = Platform::MarkupID<Platform::ShapeElement>::make();
    next.markup.subelements().append(arrow);
    editor->document()->replace(next, before, QStringLiteral("箭头"));

    ASSERT_TRUE(waitUntil([&] { return QGuiApplication::focusWindow() == window->windowHandle(); }, 10000));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
    ASSERT_TRUE(waitUntil([&] { return !editor->inlineEditor()->isShown() && !editor->busy(); }, 10000));
    ShotDocument reopened;
    reopened.open(recentProject());
    EXPECT_TRUE(reopened.state() == editor->document()->state());
    EXPECT_TRUE(reopened.state().markup.subelements().contains(arrow.id));
    EXPECT_EQ(editor->recent()->entries().size(), 1) << "the same entry, written again";
}

// A capture of the whole screen: the inline editor's dock and exit button lie over the canvas.
// With a tool armed (mosaic, text, a drawing tool) a click on them is still theirs: it changes
// the mode and leaves the editor, and starts no hold on the canvas beneath.
TEST_F(LiveCaptureRoad, OverAWholeScreenCaptureTheDockAndTheExitButtonKeepTheirClicksWhileAToolIsArmed)
{
    Platform::UserDefaults::standard().set(QString::fromLatin1(CaptureCompletionPreferences::opensEditorKey), true);
    const QSize screen = display.rootSize();
    editor->captureRegionWithShortcutAction();
    ASSERT_TRUE(overlayShown());
    ASSERT_TRUE(drag(QPoint(0, 0), QPoint(screen.width() - 1, screen.height() - 1)));
    ASSERT_TRUE(waitUntil([&] { return !editor->captureTask() && !editor->busy(); }, 10000));
    QWidget *window = editor->inlineEditor()->window();
    ASSERT_TRUE(window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window->windowHandle(), 10000));
    waitUntil([] { return false; }, 300);
    const QRect host(editor->canvasHost()->mapToGlobal(QPoint(0, 0)), editor->canvasHost()->size());
    const QRect dock(editor->dock()->mapToGlobal(QPoint(0, 0)), editor->dock()->size());
    ASSERT_TRUE(host.contains(dock)) << "the dock lies over the canvas";
    const auto click = [](QPoint at) {
        return xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()), QStringLiteral("sleep"),
                        QStringLiteral("0.1"), QStringLiteral("click"), QStringLiteral("1")});
    };
    const auto segmentCentre = [&](int segment) {
        return editor->mode()->mapToGlobal(editor->mode()->segmentRect(segment).center().toPoint());
    };
    const int undoSteps = editor->document()->canvas()->undoManager()->undoCount();

    // Mosaic, then the select segment: a click on the dock, not a mask on the canvas.
    ASSERT_TRUE(click(segmentCentre(EditorController::mosaicSegment)));
    ASSERT_TRUE(waitUntil([&] { return editor->mode()->selectedSegment() == EditorController::mosaicSegment; }));
    ASSERT_TRUE(editor->overlay()->active());
    ASSERT_TRUE(click(segmentCentre(EditorController::selectSegment)));
    EXPECT_TRUE(waitUntil([&] { return editor->mode()->selectedSegment() == EditorController::selectSegment && !editor->busy(); }))
        << "the mode did not change";
    // Text: a click on the dock opens no text panel.
    ASSERT_TRUE(click(segmentCentre(EditorController::textSegment)));
    ASSERT_TRUE(waitUntil([&] { return editor->mode()->selectedSegment() == EditorController::textSegment; }));
    ASSERT_TRUE(click(segmentCentre(EditorController::voiceSegment)));
    EXPECT_TRUE(waitUntil([&] { return editor->mode()->selectedSegment() == EditorController::voiceSegment; }));
    EXPECT_FALSE(editor->annotationPanel()->isVisible());
    EXPECT_FALSE(editor->overlay()->holding());
    EXPECT_EQ(editor->document()->canvas()->undoManager()->undoCount(), undoSteps) << "nothing was drawn";

    // A drawing tool armed: the exit button leaves the inline editor.
    editor->chooseTool(DrawingTools::rawValue(DrawingTool::rectangle));
    editor->annotationPanel()->dismiss();
    ASSERT_TRUE(editor->overlay()->active());
    KivaroButton *exit = editor->inlineEditor()->exitButton();
    ASSERT_TRUE(host.contains(QRect(exit->mapToGlobal(QPoint(0, 0)), exit->size()))) << "the exit button lies over the canvas";
    ASSERT_TRUE(click(exit->mapToGlobal(exit->rect().center())));
    EXPECT_TRUE(waitUntil([&] { return !editor->inlineEditor()->isShown() && !editor->busy(); }, 10000)) << "the editor did not exit";
    EXPECT_EQ(editor->document()->canvas()->undoManager()->undoCount(), undoSteps);
}

TEST_F(LiveCaptureRoad, ACancelledCaptureBringsBackTheEditorWindow)
{
    editor->document()->load(picture(500, 300), false);
    editor->showEditor();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(editor->window()->windowHandle(), 10000));
    const ShotState state = editor->document()->state();
    editor->startCapture();
    ASSERT_TRUE(overlayShown());
    EXPECT_FALSE(editor->window()->isVisible());
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
    ASSERT_TRUE(waitUntil([&] { return !editor->captureTask() && !editor->busy(); }, 10000));
    EXPECT_TRUE(editor->window()->isVisible());
    EXPECT_TRUE(editor->document()->state() == state);
    EXPECT_EQ(editor->status()->stringValue(), QStringLiteral("已取消截图，上一张截图已保留。"));
}

TEST_F(LiveCaptureRoad, AltHeldWhenTheSelectionBeginsStartsInTheOtherMode)
{
    ASSERT_TRUE(xdotool({QStringLiteral("keydown"), QStringLiteral("alt")}));
    editor->startCapture();
    const bool shown = overlayShown();
    const CaptureSelectionMode mode = shown ? editor->capture()->overlays().first()->contentView()->effectiveMode() : CaptureSelectionMode::window;
    ASSERT_TRUE(xdotool({QStringLiteral("keyup"), QStringLiteral("alt")}));
    ASSERT_TRUE(shown);
    EXPECT_EQ(mode, CaptureSelectionMode::region) << "window selection with Alt held";
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
    ASSERT_TRUE(waitUntil([&] { return !editor->captureTask() && !editor->busy(); }, 10000));
}

TEST_F(LiveCaptureRoad, ARefusedPermissionShowsThePanelAndTheError)
{
    Tellumo::ScreenRegionCapture::setPermission(std::make_shared<RefusedPermission>());
    editor->startCapture();
    ASSERT_TRUE(waitUntil([&] { return !editor->captureTask() && !editor->busy(); }, 10000));
    QWidget *panel = editor->capturePermissionPanel()->window();
    ASSERT_TRUE(panel);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(panel->windowHandle(), 10000));
    EXPECT_EQ(editor->status()->stringValue(), Tellumo::ScreenRegionCapture::permissionError().description());
    EXPECT_TRUE(editor->capture()->overlays().isEmpty());
}

TEST_F(LiveCaptureRoad, SharingDeliversKivaroPngWithTheShotsBytesToADesktopApplication)
{
    const ReceivingDesktop desktop(QStringLiteral("image/png"), QStringLiteral("png"));
    ASSERT_TRUE(desktop.isReady());
    services.sharingServices = desktop.applications();
    editor = std::make_unique<EditorController>(services);

    ASSERT_TRUE(captureDragged());
    editor->showEditor();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(editor->window()->windowHandle(), 10000));
    editor->shareImage();
    ASSERT_TRUE(waitUntil([] { return NativeAppAppearance::NativeMenu::shared().isOpen(); }, 10000));
    const auto rows = NativeAppAppearance::NativeMenu::shared().contentView()->rows();
    ASSERT_EQ(rows.size(), 1);
    rows.at(0)->activate();
    EXPECT_EQ(desktop.delivered(), TestSupport::run(editor->document()->png(std::nullopt, false)));
    EXPECT_EQ(desktop.sharedFileName(), QStringLiteral("Kivaro.png"));
}

// Not a check: the inline editor over a frozen screen, for a person to look at. Runs only when
// KIVARO_EDITOR_SCREENSHOTS names a folder.
TEST_F(LiveCaptureRoad, Screenshots)
{
    const QString out = qEnvironmentVariable("KIVARO_EDITOR_SCREENSHOTS");
    if (out.isEmpty())
        GTEST_SKIP() << "set KIVARO_EDITOR_SCREENSHOTS to a folder";
    QDir().mkpath(out);
    Platform::UserDefaults::standard().set(QString::fromLatin1(CaptureCompletionPreferences::opensEditorKey), true);
    // A screen that looks like a desktop, under the fixture.
    const QSize size = display.rootSize();
    QImage desk(size, QImage::Format_RGB32);
    desk.fill(QColor(236, 238, 242));
    {
        QPainter p(&desk);
        p.fillRect(0, 0, size.width(), 36, QColor(48, 52, 60));
        p.fillRect(120, 120, 900, 620, Qt::white);
        QFont font = p.font();
        font.setPixelSize(18);
        p.setFont(font);
        for (int row = 0; row < 18; ++row)
            p.drawText(150, 170 + row * 30, QStringLiteral("第 %1 行：a line of text on the desktop, 这是一段示例文字。").arg(row + 1));
        for (int k = 0; k < 6; ++k)
            p.fillRect(1100 + (k % 3) * 220, 160 + (k / 3) * 220, 200, 200, QColor::fromHsv(k * 50, 140, 220));
    }
    display.destroyWindow(std::exchange(fixture, 0));
    for (const auto appearance : {NativeAppAppearance::Appearance::light, NativeAppAppearance::Appearance::dark}) {
        NativeAppAppearance::AppearanceManager::shared().setApplicationAppearance(appearance);
        editor = std::make_unique<EditorController>(services);
        const xcb_window_t back = display.createWindow(QRect(QPoint(0, 0), size), desk, 4242, true);
        ASSERT_TRUE(display.waitForPixels(QRect(0, 0, 64, 64), desk.copy(0, 0, 64, 64)));
        editor->captureRegionWithShortcutAction();
        ASSERT_TRUE(overlayShown());
        ASSERT_TRUE(drag(QPoint(140, 140), QPoint(700, 500)));
        ASSERT_TRUE(waitUntil([&] { return !editor->captureTask() && !editor->busy(); }, 10000));
        display.destroyWindow(back);
        ASSERT_TRUE(editor->inlineEditor()->window());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(editor->inlineEditor()->window()->windowHandle(), 10000));
        waitUntil([] { return false; }, 500);
        const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        screen.save(QDir(out).filePath(QStringLiteral("inline-") + NativeAppAppearance::appearanceName(appearance) + QStringLiteral(".png")));
        editor->inlineEditor()->dismiss();
        editor->showCapturePermission();
        QWidget *panel = editor->capturePermissionPanel()->window();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(panel->windowHandle(), 10000));
        waitUntil([] { return false; }, 300);
        panel->grab().save(QDir(out).filePath(QStringLiteral("permission-") + NativeAppAppearance::appearanceName(appearance) + QStringLiteral(".png")));
        editor->capturePermissionPanel()->openSettings(); // the display answers: it closes
    }
    NativeAppAppearance::AppearanceManager::shared().setApplicationAppearance(std::nullopt);
}
