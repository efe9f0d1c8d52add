// The editor on a real X server with a window manager: the dock's copy button clicked through
// the server (xdotool), the clipboard read back by another client (xclip), and the consistency
// pass waiting on the button state the server reports.

#include "EditorFixtures.h"

#include "Kivaro/editor/EditorDockView.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/recent/RecentShots.h"
#include "Platform/Pointer/X11PointerSource.h"
#include "Platform/ScreenCapture/X11TestDisplay.h"

#include <QGuiApplication>
#include <QProcess>
#include <QTest>
#include <QWindow>

using namespace Kivaro;
using namespace EditorTesting;
using TestSupport::X11TestDisplay;

namespace {

struct ClientResult {
    bool finished = false;
    int exitCode = -1;
    QByteArray output;
};

// Runs a client to its end while our event loop serves it (the clipboard lives in this process).
ClientResult runClient(const QString &program, const QStringList &arguments, int timeoutMs = 10000)
{
    QProcess process;
    process.start(program, arguments);
    ClientResult result;
    if (!process.waitForStarted(5000))
        return result;
    result.finished = waitUntil([&] { return process.state() == QProcess::NotRunning; }, timeoutMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished(2000);
        return result;
    }
    result.exitCode = process.exitCode();
    result.output = process.readAllStandardOutput();
    return result;
}

class LiveEditor : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        ASSERT_TRUE(display.isValid());
        ASSERT_TRUE(display.startWindowManager());
        ASSERT_TRUE(folder.isValid());
        EditorController::Services services; // the general pasteboard and the server's pointer
        services.filePanels = panels;
        services.alerts = std::make_shared<Platform::ScriptedAlertPresenter>();
        services.recentDirectory = folder.filePath(QStringLiteral("recent"));
        editor = std::make_unique<EditorController>(services);
    }
    void TearDown() override
    {
        editor.reset();
        display.stopWindowManager();
    }

    KivaroButton *dockButton(const QString &title) const
    {
        for (KivaroButton *button : editor->dock()->findChildren<KivaroButton *>())
            if (button->toolTip() == title)
                return button;
        return nullptr;
    }
    bool waitIdle() const
    {
        return waitUntil([this] { return !editor->busy(); }, 10000);
    }

    X11TestDisplay display;
    QTemporaryDir folder;
    std::shared_ptr<Platform::ScriptedFilePanels> panels = std::make_shared<Platform::ScriptedFilePanels>();
    std::unique_ptr<EditorController> editor;
};

} // namespace

TEST_F(LiveEditor, ClickingCopyAndHidePutsTheShotsPngOnTheClipboardByteForByteAndHidesTheWindow)
{
    editor->document()->load(picture(900, 560), false);
    editor->document()->addAnnotation(QStringLiteral("复制到剪贴板"), QPointF(450, 280));
    editor->showEditor();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(editor->window()->windowHandle(), 10000));
    KivaroButton *copy = dockButton(QStringLiteral("复制并收起  ⇧⌘C"));
    ASSERT_TRUE(copy && copy->isVisible());
    // Lets the window manager's placement settle before the button's position is read.
    waitUntil([] { return false; }, 300);
    const QPoint at = copy->mapToGlobal(copy->rect().center());

    const ClientResult click = runClient(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(at.x()),
                                                                      QString::number(at.y()), QStringLiteral("click"), QStringLiteral("1")});
    ASSERT_TRUE(click.finished && click.exitCode == 0);
    ASSERT_TRUE(waitUntil([&] { return !editor->window()->isVisible() && !editor->busy(); }, 10000))
        << "the click never reached the button at " << at.x() << "," << at.y();
    EXPECT_EQ(editor->status()->stringValue(), QStringLiteral("已复制"));
    EXPECT_FALSE(editor->window()->isVisible());

    const QByteArray expected = TestSupport::run(editor->document()->png(std::nullopt, false));
    const ClientResult read =
        runClient(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"),
                                            QStringLiteral("image/png"), QStringLiteral("-o")});
    ASSERT_TRUE(read.finished);
    EXPECT_EQ(read.exitCode, 0);
    EXPECT_EQ(read.output.size(), expected.size());
    EXPECT_TRUE(read.output == expected);
}

TEST_F(LiveEditor, SavingAsPngNameWritesAProjectThatAFreshEditorOpensToAnEqualShot)
{
    editor->document()->load(picture(500, 300), false);
    editor->document()->addAnnotation(QStringLiteral("保存"), QPointF(100, 100));
    editor->document()->addNumberedStep(QPointF(300, 200));
    panels->answer(folder.filePath(QStringLiteral("x.png")));
    editor->saveProject();
    ASSERT_TRUE(waitUntil([&] { return editor->status()->stringValue() == QStringLiteral("工程已保存"); }, 10000));
    ASSERT_TRUE(QFileInfo::exists(folder.filePath(QStringLiteral("x.png.kivaro"))));

    EditorController::Services services;
    services.filePanels = panels;
    services.recentDirectory = folder.filePath(QStringLiteral("recent"));
    EditorController fresh(services);
    panels->answer(folder.filePath(QStringLiteral("x.png.kivaro")));
    fresh.openImage();
    ASSERT_TRUE(waitUntil([&] { return fresh.document()->hasImage() && !fresh.busy(); }, 10000));
    EXPECT_TRUE(fresh.document()->state() == *editor->document()->savedState());
}

// Another client holds the button down: Qt never saw a press, the server did, and the pass
// waits for the server's release.
TEST_F(LiveEditor, TheConsistencyPassWaitsForAButtonTheServerReportsHeld)
{
    Platform::X11PointerSource source;
    display.movePointer(QPoint(5, 5));
    display.button(true);
    EXPECT_EQ(source.pressedButtons(), Qt::LeftButton);
    EXPECT_EQ(source.location(), QPoint(5, 5));

    editor->document()->load(picture(), false);
    editor->nativeMarkupChanged();
    waitUntil([] { return false; }, 300);
    EXPECT_FALSE(editor->reconciliationTask().isFinished());

    display.button(false);
    EXPECT_EQ(source.pressedButtons(), Qt::NoButton);
    EXPECT_TRUE(waitUntil([&] { return editor->reconciliationTask().isFinished(); }));
    EXPECT_TRUE(editor->recent()->pending());
}
