// The editor on a real X server with a window manager: the dock's copy button clicked through
// the server (xdotool), the clipboard read back by another client (xclip), the consistency
// pass waiting on the button state the server reports, and the windows the editor opens as the
// window manager stacks and activates them.

#include "EditorFixtures.h"

#include "Kivaro/editor/EditorDockView.h"
#include "Kivaro/editor/InlineCaptureEditor.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroListWindow.h"
#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/document/SampleImage.h"
#include "Kivaro/recent/RecentShots.h"
#include "Kivaro/recent/RecentShotsWindow.h"
#include "Kivaro/voice-and-text/IntegratedTellumo.h"
#include "Kivaro/voice-and-text/TextHistoryWindow.h"
#include "Kivaro/voice-and-text/VoiceFeedbackView.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeMenu.h"
#include "Platform/Pointer/X11PointerSource.h"
#include "Platform/ScreenCapture/X11TestDisplay.h"
#include "Support/ClientProcess.h"
#include "TellumoRuntime/InMemoryKeyStore.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include <cstring>

using namespace Kivaro;
using namespace EditorTesting;
using TestSupport::ClientResult;
using TestSupport::runClient;
using TestSupport::X11TestDisplay;

namespace {

class LiveEditor : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        ASSERT_TRUE(display.isValid());
        ASSERT_TRUE(display.startWindowManager());
        ASSERT_TRUE(folder.isValid());
        // The general pasteboard and the server's pointer.
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
    EditorController::Services services;
    std::shared_ptr<Platform::ScriptedFilePanels> panels = std::make_shared<Platform::ScriptedFilePanels>();
    std::unique_ptr<EditorController> editor;
};

} // namespace

namespace {

std::optional<std::uint32_t> cardinalProperty(X11TestDisplay &display, xcb_window_t window, const char *name, xcb_atom_t type)
{
    xcb_connection_t *c = display.connection();
    xcb_get_property_reply_t *reply = xcb_get_property_reply(c, xcb_get_property(c, 0, window, display.atom(name), type, 0, 1), nullptr);
    std::optional<std::uint32_t> value;
    if (reply && xcb_get_property_value_length(reply) == 4)
        value = *static_cast<const std::uint32_t *>(xcb_get_property_value(reply));
    std::free(reply);
    return value;
}


// The editor's windows a user asks for from the More menu: the action and the window it shows.
struct AskedWindow {
    const char *name;
    std::function<void()> ask;
    std::function<QWidget *()> window;
};

std::vector<AskedWindow> askedWindows(EditorController *editor)
{
    return {{"text history", [editor] { editor->showTextHistory(); }, [editor] { return (QWidget *)editor->textHistoryWindow()->window(); }},
            {"AI settings", [editor] { editor->showTellumoSettings(); }, [editor] { return (QWidget *)editor->tellumo()->window(); }},
            {"recent shots", [editor] { editor->showRecent(); }, [editor] { return (QWidget *)editor->recentWindow()->window(); }}};
}

// Every 32-bit value of a property (windows, cardinals, atoms), empty when it is absent.
std::vector<std::uint32_t> cardinals(X11TestDisplay &display, xcb_window_t window, const char *name)
{
    xcb_connection_t *c = display.connection();
    auto *reply = xcb_get_property_reply(c, xcb_get_property(c, 0, window, display.atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr);
    std::vector<std::uint32_t> values;
    if (reply && reply->format == 32) {
        values.resize(std::size_t(xcb_get_property_value_length(reply)) / 4);
        std::memcpy(values.data(), xcb_get_property_value(reply), values.size() * 4);
    }
    std::free(reply);
    return values;
}

xcb_window_t activeWindow(X11TestDisplay &display)
{
    const auto values = cardinals(display, display.root(), "_NET_ACTIVE_WINDOW");
    return values.empty() ? xcb_window_t(XCB_WINDOW_NONE) : values.front();
}

// ICCCM WM_STATE: 1 normal, 3 iconic.
std::uint32_t wmState(X11TestDisplay &display, xcb_window_t window)
{
    const auto values = cardinals(display, window, "WM_STATE");
    return values.empty() ? 0 : values.front();
}

bool viewable(X11TestDisplay &display, xcb_window_t window)
{
    auto *reply = xcb_get_window_attributes_reply(display.connection(), xcb_get_window_attributes(display.connection(), window), nullptr);
    const bool result = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(reply);
    return result;
}

// Where a window stands in the window manager's stacking order, bottom first; -1 when absent.
int stackingIndex(X11TestDisplay &display, xcb_window_t window)
{
    const auto order = cardinals(display, display.root(), "_NET_CLIENT_LIST_STACKING");
    const auto found = std::find(order.begin(), order.end(), window);
    return found == order.end() ? -1 : int(found - order.begin());
}

xcb_window_t idOf(QWidget *window)
{
    return window ? xcb_window_t(window->winId()) : xcb_window_t(XCB_WINDOW_NONE);
}

} // namespace

namespace {

// Presses keys on the server's keyboard, as a user does, into the window the server has focused.
bool typeKeys(const QStringList &keys)
{
    return TestSupport::xdotool(QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("50")} + keys);
}

bool waitForKeyboard(QWidget *window)
{
    return QTest::qWaitForWindowActive(window, 10000) && waitUntil([&] { return QGuiApplication::focusWindow() == window->windowHandle(); }, 5000);
}

} // namespace

// The keyboard alone, through the X server and the window manager: Return on the focused share
// button shares and Escape closes the recent shots; the AI settings save the key typed into
// its field on Return and close on Escape.
TEST_F(LiveEditor, TheRecentShotsAndTheAISettingsAnswerTheServersKeyboard)
{
    RecentShotsWindow list;
    const QList<RecentShot> shots = {RecentShot::named(folder.path(), QStringLiteral("8d3a1c52-0000-4000-8000-000000000001"))};
    QStringList shared;
    list.show(shots, [&](const RecentShot &shot, QWidget *) { shared << shot.id; });
    ASSERT_TRUE(waitForKeyboard(list.window()));
    ASSERT_TRUE(typeKeys({QStringLiteral("Tab"), QStringLiteral("Return")}));
    ASSERT_TRUE(waitUntil([&] { return !shared.isEmpty(); }, 5000));
    EXPECT_EQ(shared, QStringList{shots[0].id});
    ASSERT_TRUE(typeKeys({QStringLiteral("Escape")}));
    EXPECT_TRUE(waitUntil([&] { return !list.window()->isVisible(); }));

    auto store = std::make_shared<Tellumo::InMemoryKeyStore>();
    IntegratedTellumo bridge(store);
    KivaroWindow *settings = bridge.showSettings();
    ASSERT_TRUE(waitForKeyboard(settings));
    QLineEdit *key = bridge.settingsView()->keyField();
    for (int i = 0; i < 8 && settings->focusWidget() != key; ++i)
        ASSERT_TRUE(typeKeys({QStringLiteral("Tab")}));
    ASSERT_TRUE(TestSupport::xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), QStringLiteral("sk-typed")}));
    ASSERT_TRUE(waitUntil([&] { return key->text() == QStringLiteral("sk-typed"); }, 5000));
    ASSERT_TRUE(typeKeys({QStringLiteral("Return")}));
    ASSERT_TRUE(waitUntil([&] { return store->key() == QStringLiteral("sk-typed"); }, 5000));
    ASSERT_TRUE(typeKeys({QStringLiteral("Escape")}));
    EXPECT_TRUE(waitUntil([&] { return !settings->isVisible(); }));
}

// The editor left on another desktop while the user works in another application: bringing it
// forward puts it on the user's desktop as the active window, as the window manager reports.
TEST_F(LiveEditor, BringingTheEditorForwardMakesItTheActiveWindowOnTheUsersDesktop)
{
    editor->document()->load(picture(), false);
    editor->showEditor();
    const auto editorWindow = xcb_window_t(editor->window()->winId());
    const auto active = [&] { return cardinalProperty(display, display.root(), "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW); };
    const auto desktopOf = [&](xcb_window_t window) { return cardinalProperty(display, window, "_NET_WM_DESKTOP", XCB_ATOM_CARDINAL); };
    ASSERT_TRUE(waitUntil([&] { return active() == editorWindow; }, 5000));
    // Shown just now, the window is asked for once it is on the screen: that request is done.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(editor->window()->windowHandle(), 5000));
    waitUntil([] { return false; }, 100);
    const std::optional<std::uint32_t> here = cardinalProperty(display, display.root(), "_NET_CURRENT_DESKTOP", XCB_ATOM_CARDINAL);
    ASSERT_TRUE(here);

    // A pager puts the editor on the next desktop.
    xcb_client_message_event_t move{};
    move.response_type = XCB_CLIENT_MESSAGE;
    move.format = 32;
    move.window = editorWindow;
    move.type = display.atom("_NET_WM_DESKTOP");
    move.data.data32[0] = *here + 1;
    move.data.data32[1] = 2;
    xcb_send_event(display.connection(), 0, display.root(), XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&move));
    display.sync();
    ASSERT_TRUE(waitUntil([&] { return desktopOf(editorWindow) == *here + 1; }, 5000))
        << "desktop " << desktopOf(editorWindow).value_or(999) << " of "
        << cardinalProperty(display, display.root(), "_NET_NUMBER_OF_DESKTOPS", XCB_ATOM_CARDINAL).value_or(0) << ", current " << *here;
    // The user clicks into another application's window.
    const xcb_window_t other = display.createWindow(QRect(900, 100, 300, 200), TestSupport::patternImage(QSize(300, 200)));
    display.frameExtents(other);
    display.movePointer(QPoint(1050, 200));
    ASSERT_TRUE(waitUntil(
        [&] {
            display.button(true);
            display.button(false);
            return active() == other;
        },
        5000));

    editor->showEditor();
    EXPECT_TRUE(waitUntil([&] { return active() == editorWindow; }, 5000));
    EXPECT_EQ(desktopOf(editorWindow), here);
    EXPECT_TRUE(editor->window()->isVisible());
    display.destroyWindow(other);
}

TEST_F(LiveEditor, ClickingCopyAndHidePutsTheShotsPngOnTheClipboardByteForByteAndHidesTheWindow)
{
    editor->document()->load(picture(900, 560), false);
    editor->document()->addAnnotation(QStringLiteral("复制到剪贴板"), QPointF(450, 280));
    editor->showEditor();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(editor->window()->windowHandle(), 10000));
    KivaroButton *copy = dockButton(QStringLiteral("复制并收起  Ctrl+Shift+C"));
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

// Not a check: pictures of the editor for a person to look at. Runs only when
// KIVARO_EDITOR_SCREENSHOTS names a folder; the screen is read back from the server, so menus
// and the window manager's placement are in the picture as the user would see them.
TEST_F(LiveEditor, Screenshots)
{
    const QString out = qEnvironmentVariable("KIVARO_EDITOR_SCREENSHOTS");
    if (out.isEmpty())
        GTEST_SKIP() << "set KIVARO_EDITOR_SCREENSHOTS to a folder";
    QDir().mkpath(out);
    const QString scale = QString::number(editor->window()->devicePixelRatioF());
    const auto snap = [&](const QString &name) {
        waitUntil([] { return false; }, 400);
        const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        const QRect frame = editor->window()->frameGeometry();
        const qreal dpr = editor->window()->devicePixelRatioF();
        const QRect pixels(frame.topLeft() * dpr, frame.size() * dpr);
        screen.copy(pixels.adjusted(-2, -2, 2, 200 * dpr)).save(QDir(out).filePath(name + QStringLiteral("@") + scale + QStringLiteral("x.png")));
    };
    QImage big(3840, 2160, QImage::Format_RGB32);
    {
        big.fill(QColor(236, 238, 242));
        QPainter p(&big);
        p.fillRect(0, 0, 3840, 80, QColor(48, 52, 60));
        p.fillRect(0, 80, 600, 2080, QColor(250, 250, 252));
        QFont font = p.font();
        font.setPixelSize(28);
        p.setFont(font);
        for (int row = 0; row < 60; ++row)
            p.drawText(660, 140 + row * 32, QStringLiteral("第 %1 行：a line of text in a 4K screenshot, 这是一段示例文字。").arg(row + 1));
        for (int k = 0; k < 12; ++k)
            p.fillRect(2600 + (k % 3) * 380, 200 + (k / 3) * 380, 340, 340, QColor::fromHsv(k * 30, 140, 220));
    }
    for (const auto appearance : {NativeAppAppearance::Appearance::light, NativeAppAppearance::Appearance::dark}) {
        NativeAppAppearance::AppearanceManager::shared().setApplicationAppearance(appearance);
        const QString look = NativeAppAppearance::appearanceName(appearance);
        editor = std::make_unique<EditorController>(services);
        editor->window()->show();
        editor->window()->installChrome();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(editor->window()->windowHandle(), 10000));
        snap(QStringLiteral("empty-") + look);
        editor->document()->load(SampleImage::make(), true);
        editor->document()->addAnnotation(QStringLiteral("这个按钮点了没反应"), QPointF(300, 200));
        editor->mode()->setSelectedSegment(EditorController::selectSegment);
        editor->updateMode();
        editor->showEditor();
        editor->status()->setStringValue(QStringLiteral("工程已保存"));
        snap(QStringLiteral("sample-") + look);
        editor->mode()->setSelectedSegment(EditorController::mosaicSegment);
        editor->modeChanged();
        snap(QStringLiteral("sample-mosaic-") + look);
        editor->mode()->setSelectedSegment(EditorController::selectSegment);
        editor->modeChanged();
        editor->showMore(dockButton(QStringLiteral("更多")));
        snap(QStringLiteral("sample-more-") + look);
        NativeAppAppearance::NativeMenu::shared().close();
        // The voice panel after a failed preparation: its longest texts and all its buttons.
        editor->mode()->setSelectedSegment(EditorController::voiceSegment);
        editor->updateMode();
        VoiceFeedbackView *panel = editor->voiceFeedback();
        panel->present(VoiceFeedbackView::Phase::failed, QStringLiteral("没能完成语音标注"),
                       QStringLiteral("麦克风没有响应，请检查系统的声音设置，然后重新选择语音标注再试一次。"));
        panel->retryButton()->show();
        panel->textButton()->show();
        panel->cancelButton()->show();
        snap(QStringLiteral("sample-voice-failed-") + look);
        editor->mode()->setSelectedSegment(EditorController::selectSegment);
        editor->updateMode();
        editor->document()->load(big, false);
        editor->document()->addAnnotation(QStringLiteral("4K 截图上的标注"), QPointF(1900, 1000));
        editor->status()->setProgressText(QStringLiteral("正在识字…"));
        snap(QStringLiteral("4k-") + look);
        editor->status()->setStringValue(QString());
    }
    NativeAppAppearance::AppearanceManager::shared().setApplicationAppearance(std::nullopt);
}

// ---- the windows the editor opens ----------------------------------------------------------

// Minimised by the user (where the window can be minimised) or left on another desktop while
// the user works in another application, and asked for again from the menu, each window is back
// on the user's desktop, no longer iconic, and the active window.
TEST_F(LiveEditor, AWindowAskedForAgainComesBackActiveFromAnotherDesktopOrMinimised)
{
    ASSERT_EQ(TestSupport::missingForXdotool(), nullptr);
    const std::vector<std::uint32_t> here = cardinals(display, display.root(), "_NET_CURRENT_DESKTOP");
    ASSERT_EQ(here.size(), 1u);
    for (const AskedWindow &asked : askedWindows(editor.get())) {
        SCOPED_TRACE(asked.name);
        asked.ask();
        ASSERT_TRUE(waitUntil([&] { return asked.window() && asked.window()->isVisible() && !editor->busy(); }, 5000));
        const xcb_window_t id = idOf(asked.window());
        // Also until the application has seen its window on the screen: until then its own
        // request to bring the window forward is still to come.
        ASSERT_TRUE(waitUntil([&] { return activeWindow(display) == id && wmState(display, id) == 1 && asked.window()->windowHandle()->isExposed(); }, 5000));
        const auto backInFront = [&] {
            return waitUntil([&] { return viewable(display, id) && wmState(display, id) == 1 && activeWindow(display) == id && cardinals(display, id, "_NET_WM_DESKTOP") == here; },
                             5000);
        };

        ASSERT_TRUE(TestSupport::xdotool({QStringLiteral("set_desktop_for_window"), QString::number(id), QString::number(here[0] + 1)}));
        ASSERT_TRUE(waitUntil([&] { return !viewable(display, id) && activeWindow(display) != id; }, 5000)) << "the window went to the next desktop";
        asked.ask();
        EXPECT_TRUE(backInFront()) << "from another desktop: viewable " << viewable(display, id) << ", active " << (activeWindow(display) == id);

        const auto allowed = cardinals(display, id, "_NET_WM_ALLOWED_ACTIONS");
        if (std::find(allowed.begin(), allowed.end(), display.atom("_NET_WM_ACTION_MINIMIZE")) != allowed.end()) {
            ASSERT_TRUE(TestSupport::xdotool({QStringLiteral("windowminimize"), QString::number(id)}));
            ASSERT_TRUE(waitUntil([&] { return wmState(display, id) == 3 && !viewable(display, id); }, 5000)) << "the window manager minimised it";
            asked.ask();
            EXPECT_TRUE(backInFront()) << "minimised: viewable " << viewable(display, id) << ", WM_STATE " << wmState(display, id) << ", active "
                                       << (activeWindow(display) == id);
        }
        asked.window()->hide();
    }
}

// Opened from the in-place editor, which the window manager keeps above every other window,
// each window stands above it; the editor's own window stays hidden.
TEST_F(LiveEditor, WindowsOpenedFromTheInPlaceEditorStandAboveIt)
{
    QImage screen(1920, 1080, QImage::Format_RGB32);
    screen.fill(QColor(40, 90, 140));
    editor->document()->load(picture(400, 300), false);
    editor->inlineEditor()->present(editor.get(), CapturePlacement{QRectF(0, 0, 1920, 1080), QRectF(300, 300, 400, 300), screen});
    QWidget *inlineWindow = editor->inlineEditor()->window();
    ASSERT_NE(inlineWindow, nullptr);
    const xcb_window_t inlineID = idOf(inlineWindow);
    ASSERT_TRUE(waitUntil([&] { return viewable(display, inlineID) && stackingIndex(display, inlineID) >= 0; }, 5000));

    for (const AskedWindow &asked : askedWindows(editor.get())) {
        SCOPED_TRACE(asked.name);
        asked.ask();
        ASSERT_TRUE(waitUntil([&] { return asked.window() && asked.window()->isVisible() && !editor->busy(); }, 5000));
        const xcb_window_t id = idOf(asked.window());
        EXPECT_TRUE(waitUntil([&] { return viewable(display, id) && stackingIndex(display, id) > stackingIndex(display, inlineID); }, 5000))
            << "stacked at " << stackingIndex(display, id) << ", the in-place editor at " << stackingIndex(display, inlineID);
    }
    EXPECT_TRUE(editor->inlineEditor()->isShown());
    EXPECT_FALSE(editor->window()->isVisible());
    editor->inlineEditor()->dismiss();
}
