// Drawing on the shot through a real X server with a window manager: the pointer is driven by
// xdotool, so presses, the implicit grab, releases outside the window and the server's button
// state are the ones a user produces.

#include "EditorFixtures.h"

#include "Kivaro/editor/AnnotationFloatingPanel.h"
#include "Kivaro/editor/ClosureButton.h"
#include "Kivaro/editor/EditorDockView.h"
#include "Kivaro/editor/HoldOverlay.h"
#include "Kivaro/editor/LinkedBubbleInteraction.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroModes.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "Platform/ScreenCapture/X11TestDisplay.h"
#include "Support/ClientProcess.h"

#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QWindow>

using namespace Kivaro;
using namespace EditorTesting;
using namespace Platform;
using TestSupport::runClient;
using TestSupport::X11TestDisplay;

namespace {

class LiveDrawing : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        ASSERT_TRUE(display.isValid());
        ASSERT_TRUE(display.startWindowManager());
        ASSERT_TRUE(folder.isValid());
        services.filePanels = std::make_shared<ScriptedFilePanels>();
        services.alerts = std::make_shared<ScriptedAlertPresenter>();
        services.recentDirectory = folder.filePath(QStringLiteral("recent"));
        editor = std::make_unique<EditorController>(services);
    }
    void TearDown() override
    {
        xdo({QStringLiteral("mouseup"), QStringLiteral("1")});
        editor.reset();
        display.stopWindowManager();
    }

    void open(const QImage &image = picture(640, 400))
    {
        editor->document()->load(image, false);
        editor->showEditor();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(editor->window()->windowHandle(), 10000));
        // Lets the window manager's placement and the first layout settle.
        settle(400);
    }
    static void settle(int ms = 60) { waitUntil([] { return false; }, ms); }
    static bool xdo(const QStringList &arguments)
    {
        const TestSupport::ClientResult result = runClient(QStringLiteral("xdotool"), arguments);
        settle();
        return result.finished && result.exitCode == 0;
    }
    static bool moveTo(QPoint p) { return xdo({QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y())}); }
    static bool down() { return xdo({QStringLiteral("mousedown"), QStringLiteral("1")}); }
    static bool up() { return xdo({QStringLiteral("mouseup"), QStringLiteral("1")}); }
    static bool click(QPoint p) { return moveTo(p) && down() && up(); }
    static bool key(const QString &keys) { return xdo({QStringLiteral("key"), keys}); }

    // The global position of an image point.
    QPoint global(QPointF imagePoint) const
    {
        const MarkupCanvas *canvas = editor->document()->canvas();
        return editor->overlay()->mapToGlobal(canvas->viewPoint(imagePoint)).toPoint();
    }
    UndoManager *undo() const { return editor->document()->canvas()->undoManager(); }
    QList<ShapeElement> shapes() const
    {
        QList<ShapeElement> result;
        const Markup markup = editor->document()->markup();
        for (const MarkupElement &element : markup.subelements())
            if (const ShapeElement *shape = element.shape())
                result << *shape;
        return result;
    }
    KivaroButton *dockButton(const QString &title) const
    {
        for (KivaroButton *button : editor->dock()->findChildren<KivaroButton *>())
            if (button->toolTip() == title)
                return button;
        return nullptr;
    }

    X11TestDisplay display;
    QTemporaryDir folder;
    EditorController::Services services;
    std::unique_ptr<EditorController> editor;
};

} // namespace

TEST_F(LiveDrawing, AnArrowDraggedOutOfTheWindowAndReleasedThereIsOneClampedArrowThatOneUndoRemoves)
{
    open();
    // Armed as the user arms it: the dock's tool button, then the panel's arrow.
    KivaroButton *tools = dockButton(QStringLiteral("标注工具"));
    ASSERT_TRUE(tools);
    ASSERT_TRUE(click(tools->mapToGlobal(tools->rect().center())));
    ASSERT_TRUE(waitUntil([&] { return editor->annotationPanel()->isVisible(); }));
    settle(200);
    const QList<ClosureButton *> buttons = editor->annotationPanel()->toolButtons();
    ASSERT_EQ(buttons.size(), 7);
    ASSERT_TRUE(click(buttons[0]->mapToGlobal(buttons[0]->rect().center())));
    ASSERT_TRUE(waitUntil([&] { return editor->activeDrawingTool() == DrawingTool::arrow; }));
    EXPECT_TRUE(editor->overlay()->active());
    const ShotState before = editor->document()->state();
    const int steps = undo()->undoCount();

    const QRect frame = editor->window()->frameGeometry();
    ASSERT_TRUE(moveTo(global(QPointF(300, 200))));
    ASSERT_TRUE(down());
    ASSERT_TRUE(moveTo(global(QPointF(400, 230))));
    ASSERT_TRUE(moveTo(QPoint(frame.right() + 80, global(QPointF(0, 260)).y())));
    EXPECT_TRUE(editor->overlay()->holding());
    ASSERT_TRUE(up());
    ASSERT_TRUE(waitUntil([&] { return !editor->overlay()->holding(); }));

    QList<ShapeElement> arrows;
    for (const ShapeElement &shape : shapes())
        if (shape.endLineMarker == ShapeElement::LineMarker::Arrow)
            arrows << shape;
    ASSERT_EQ(arrows.size(), 1);
    const QRectF bounds = editor->document()->markup().bounds();
    // The end was clamped onto the picture's right edge; the frame is grown by 12 around it.
    EXPECT_DOUBLE_EQ(arrows[0].frame.right(), bounds.right() + 12);
    const QPointF end(arrows[0].frame.left() + arrows[0].shape.end.x() * arrows[0].frame.width(),
                      arrows[0].frame.top() + arrows[0].shape.end.y() * arrows[0].frame.height());
    EXPECT_NEAR(end.x(), bounds.right(), 1e-9);
    EXPECT_NEAR(end.y(), 260, 3);
    EXPECT_EQ(undo()->undoCount(), steps + 1);
    EXPECT_EQ(undo()->undoActionName(), QStringLiteral("箭头"));
    undo()->undo();
    EXPECT_TRUE(editor->document()->state() == before);
}

TEST_F(LiveDrawing, EscapeDuringADragRestoresTheEarlierStateAndAddsNoUndoStep)
{
    open();
    editor->chooseTool(DrawingTools::rawValue(DrawingTool::rectangle));
    editor->annotationPanel()->dismiss();
    editor->window()->activateWindow();
    settle(200);
    const ShotState before = editor->document()->state();
    const int steps = undo()->undoCount();
    ASSERT_TRUE(moveTo(global(QPointF(100, 100))));
    ASSERT_TRUE(down());
    ASSERT_TRUE(moveTo(global(QPointF(250, 220))));
    ASSERT_TRUE(editor->overlay()->holding());
    ASSERT_TRUE(key(QStringLiteral("Escape")));
    ASSERT_TRUE(waitUntil([&] { return !editor->overlay()->holding(); }));
    ASSERT_TRUE(up());
    settle(100);
    EXPECT_TRUE(editor->document()->state() == before);
    EXPECT_EQ(undo()->undoCount(), steps);
}

TEST_F(LiveDrawing, ThePenDrawsAStrokeWhosePointsFollowThePointer)
{
    open();
    editor->chooseTool(DrawingTools::rawValue(DrawingTool::pen));
    editor->annotationPanel()->dismiss();
    settle(200);
    const QList<QPointF> path = {QPointF(80, 80), QPointF(140, 100), QPointF(220, 160), QPointF(300, 150), QPointF(360, 240)};
    ASSERT_TRUE(moveTo(global(path[0])));
    ASSERT_TRUE(down());
    for (qsizetype i = 1; i < path.size(); ++i)
        ASSERT_TRUE(moveTo(global(path[i])));
    ASSERT_TRUE(up());
    ASSERT_TRUE(waitUntil([&] { return !editor->overlay()->holding(); }));

    const StrokeElement *stroke = nullptr;
    const Markup markup = editor->document()->markup();
    for (const MarkupElement &element : markup.subelements())
        if (element.stroke())
            stroke = element.stroke();
    ASSERT_TRUE(stroke);
    EXPECT_EQ(undo()->undoActionName(), QStringLiteral("画笔"));
    // Every place the pointer went is on the stroke, in order (within a pixel of the view).
    const double tolerance = 1.5 / editor->document()->canvas()->zoomScale();
    qsizetype from = 0;
    for (const QPointF &target : path) {
        qsizetype hit = -1;
        for (qsizetype i = from; i < stroke->points.size() && hit < 0; ++i)
            if (QLineF(stroke->points[i].location, target).length() <= tolerance)
                hit = i;
        EXPECT_GE(hit, 0) << "the stroke misses " << target.x() << "," << target.y();
        if (hit >= 0)
            from = hit;
    }
    EXPECT_NEAR(stroke->points.first().location.x(), 80, tolerance);
    EXPECT_NEAR(stroke->points.last().location.y(), 240, tolerance);
}

TEST_F(LiveDrawing, TextModeClickTypeAndCtrlReturnGiveALinkedBubbleAndArrow)
{
    open();
    editor->mode()->setSelectedSegment(EditorController::textSegment);
    editor->modeChanged();
    settle(100);
    ASSERT_TRUE(click(global(QPointF(320, 200))));
    ASSERT_TRUE(waitUntil([&] { return editor->annotationPanel()->input() != nullptr; }));
    ASSERT_TRUE(waitUntil([&] { return editor->annotationPanel()->input()->hasFocus(); }, 5000));
    ASSERT_TRUE(xdo({QStringLiteral("type"), QStringLiteral("hello there")}));
    ASSERT_TRUE(waitUntil([&] { return editor->annotationPanel()->input()->toPlainText() == QStringLiteral("hello there"); }));
    ASSERT_TRUE(key(QStringLiteral("ctrl+Return")));
    ASSERT_TRUE(waitUntil([&] { return editor->document()->links().size() == 1; }));
    const AnnotationLink link = editor->document()->links().first();
    const ShapeElement *bubble = editor->document()->markup().subelements().shape(link.bubbleID);
    ASSERT_TRUE(bubble);
    EXPECT_EQ(bubble->attributedText.string(), QStringLiteral("hello there"));
    EXPECT_TRUE(editor->document()->markup().subelements().shape(link.arrowID));
    EXPECT_LT((link.anchor - QPointF(320, 200)).manhattanLength(), 3);
    EXPECT_FALSE(editor->annotationPanel()->isVisible());
}

TEST_F(LiveDrawing, ADraggedBubbleMovesItsArrowsTailAndEscapePutsItBack)
{
    open();
    editor->document()->addAnnotation(QStringLiteral("drag me"), QPointF(500, 320));
    const AnnotationLink link = editor->document()->links().first();
    const auto bubbleFrame = [&] { return editor->document()->markup().subelements().shape(link.bubbleID)->frame; };
    const auto arrowFrame = [&] { return editor->document()->markup().subelements().shape(link.arrowID)->frame; };
    const QRectF start = bubbleFrame();
    const QRectF arrowStart = arrowFrame();
    const int steps = undo()->undoCount();

    // A drag put back with Esc.
    ASSERT_TRUE(moveTo(global(start.center())));
    ASSERT_TRUE(down());
    ASSERT_TRUE(moveTo(global(start.center() + QPointF(-60, 40))));
    ASSERT_TRUE(waitUntil([&] { return bubbleFrame().topLeft() != start.topLeft(); }));
    EXPECT_NE(arrowFrame(), arrowStart);
    ASSERT_TRUE(key(QStringLiteral("Escape")));
    ASSERT_TRUE(waitUntil([&] { return !editor->linkedInteraction()->drag(); }));
    ASSERT_TRUE(up());
    EXPECT_EQ(bubbleFrame(), start);
    EXPECT_EQ(arrowFrame(), arrowStart);
    EXPECT_EQ(undo()->undoCount(), steps);

    // A drag released: one step, the arrow still pointing at the anchor from the bubble's side.
    ASSERT_TRUE(moveTo(global(start.center())));
    ASSERT_TRUE(down());
    ASSERT_TRUE(moveTo(global(start.center() + QPointF(-40, 0))));
    ASSERT_TRUE(moveTo(global(start.center() + QPointF(-120, -80))));
    ASSERT_TRUE(up());
    ASSERT_TRUE(waitUntil([&] { return !editor->linkedInteraction()->drag(); }));
    const QRectF moved = bubbleFrame();
    EXPECT_NEAR(moved.left() - start.left(), -120, 2);
    EXPECT_NEAR(moved.top() - start.top(), -80, 2);
    EXPECT_NE(arrowFrame(), arrowStart);
    EXPECT_EQ(editor->document()->links().first().anchor, QPointF(500, 320));
    EXPECT_EQ(undo()->undoCount(), steps + 1);
    EXPECT_EQ(undo()->undoActionName(), QStringLiteral("移动标注"));
}

TEST_F(LiveDrawing, TheFloatingPanelFollowsItsHostWindowAndHidesWhileTheApplicationIsInactive)
{
    open();
    editor->showFloatingTools();
    ASSERT_TRUE(waitUntil([&] { return editor->annotationPanel()->isVisible(); }));
    settle(200);
    QWidget *panel = editor->annotationPanel()->panel();
    const QPoint offset = panel->pos() - editor->window()->frameGeometry().topLeft();

    editor->window()->move(editor->window()->pos() + QPoint(60, 40));
    ASSERT_TRUE(waitUntil([&] { return panel->pos() - editor->window()->frameGeometry().topLeft() == offset; }, 5000))
        << "panel at " << panel->pos().x() << "," << panel->pos().y();

    // Another client's window takes the focus: the application is inactive.
    const xcb_window_t other = display.createWindow(QRect(20, 20, 200, 150), TestSupport::patternImage(QSize(200, 150)));
    display.sync();
    settle(300);
    ASSERT_TRUE(xdo({QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(other)}));
    ASSERT_TRUE(waitUntil([] { return QGuiApplication::applicationState() != Qt::ApplicationActive; }, 5000));
    EXPECT_TRUE(waitUntil([&] { return !panel->isVisible(); }, 5000));
    EXPECT_TRUE(editor->annotationPanel()->isShowing());

    editor->window()->activateWindow();
    ASSERT_TRUE(xdo({QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(editor->window()->winId())}));
    EXPECT_TRUE(waitUntil([&] { return panel->isVisible(); }, 5000));
    display.destroyWindow(other);
}

// Not a check: pictures of the drawing tools and the floating panels for a person to look at.
// Runs only when KIVARO_EDITOR_SCREENSHOTS names a folder; the screen is read back from the
// server, so the panel windows are in the picture where the window manager put them.
TEST_F(LiveDrawing, Screenshots)
{
    const QString out = qEnvironmentVariable("KIVARO_EDITOR_SCREENSHOTS");
    if (out.isEmpty())
        GTEST_SKIP() << "set KIVARO_EDITOR_SCREENSHOTS to a folder";
    QDir().mkpath(out);
    const auto snap = [&](const QString &name) {
        settle(400);
        const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        const QRect frame = editor->window()->frameGeometry().united(editor->annotationPanel()->panel()->isVisible()
                                                                       ? editor->annotationPanel()->panel()->frameGeometry()
                                                                       : QRect());
        const qreal dpr = editor->window()->devicePixelRatioF();
        screen.copy(QRect(frame.topLeft() * dpr, frame.size() * dpr).adjusted(-2, -2, 2, 2)).save(QDir(out).filePath(name + QStringLiteral(".png")));
    };
    for (const auto appearance : {NativeAppAppearance::Appearance::light, NativeAppAppearance::Appearance::dark}) {
        NativeAppAppearance::AppearanceManager::shared().setApplicationAppearance(appearance);
        const QString look = NativeAppAppearance::appearanceName(appearance);
        editor = std::make_unique<EditorController>(services);
        open(picture(900, 560));
        // Every tool once, with the three colours and widths.
        int k = 0;
        for (const DrawingTool tool : DrawingTools::all()) {
            editor->chooseTool(DrawingTools::rawValue(tool));
            editor->setDrawingColor(QList<QColor>{QColor::fromRgbF(0.2f, 0.43f, 0.94f), QColor::fromRgbF(1, 0.584f, 0), QColor::fromRgbF(1, 0.176f, 0.333f)}[k % 3]);
            editor->setDrawingWidth(QList<qreal>{3, 5, 8}[k % 3]);
            const QPointF from(60 + 140 * k, 80), to(170 + 140 * k, 220);
            // The overlay lies exactly over the canvas.
            const QPointF a = editor->document()->canvas()->viewPoint(from);
            const QPointF b = editor->document()->canvas()->viewPoint(to);
            if (tool == DrawingTool::pen)
                editor->completeFreehand({a, (a + b) / 2 + QPointF(30, -40), (a + b) / 2 + QPointF(-20, 30), b});
            else
                editor->completeDrawing(a, b);
            ++k;
        }
        TestSupport::run(editor->document()->addMask(QRectF(600, 320, 180, 120)));
        editor->document()->addAnnotation(QStringLiteral("这里点了没反应"), QPointF(300, 420));
        editor->annotationPanel()->dismiss();
        editor->document()->canvas()->setSelection({});
        snap(QStringLiteral("tools-") + look);

        // Live feedback of an arrow and of a mask rectangle, the button held.
        editor->chooseTool(DrawingTools::rawValue(DrawingTool::arrow));
        editor->annotationPanel()->dismiss();
        moveTo(global(QPointF(120, 380)));
        down();
        moveTo(global(QPointF(260, 470)));
        snap(QStringLiteral("live-arrow-") + look);
        up();
        editor->document()->canvas()->undoManager()->undo();
        editor->mode()->setSelectedSegment(EditorController::mosaicSegment);
        editor->modeChanged();
        moveTo(global(QPointF(420, 300)));
        down();
        moveTo(global(QPointF(560, 400)));
        snap(QStringLiteral("live-mask-") + look);
        key(QStringLiteral("Escape"));
        up();

        editor->mode()->setSelectedSegment(EditorController::selectSegment);
        editor->modeChanged();
        editor->showFloatingTools();
        snap(QStringLiteral("tool-panel-") + look);
        editor->showTextEditor(QPointF(450, 200));
        xdo({QStringLiteral("type"), QStringLiteral("Login button does nothing")});
        snap(QStringLiteral("text-panel-") + look);
        editor->annotationPanel()->dismiss();
    }
    NativeAppAppearance::AppearanceManager::shared().setApplicationAppearance(std::nullopt);
}
