// The real kivaro process on an X server of its own, with openbox, private XDG folders and a
// tray host played by the test: what a user sees at launch, recording a hot key in the
// settings window, capturing with it, a second launch, and every way of quitting. Clients such
// as xdotool and xclip act as the user and as other applications.
//
// With KIVARO_LOOK_DIR set, the screens along the way are saved there as PNG.

#include "NativeAppUpdater/Ed25519.h"
#include "Platform/PropertyList/PropertyList.h"
#include "Platform/ScreenCapture/X11TestDisplay.h"
#include "ShellProcessFixture.h"
#include "Support/ClientProcess.h"
#include "Support/TaskTesting.h"
#include "Support/TestRun.h"
#include "UpdaterTestSupport.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <xcb/xcb.h>

using namespace ShellProcessTesting;

namespace {

// Owns the tray selection and counts dock requests, as a panel's tray would.
class TrayHost {
public:
    explicit TrayHost(X11TestDisplay &display) : m_display(display)
    {
        xcb_connection_t *c = display.connection();
        m_window = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, m_window, display.root(), -10, -10, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        const xcb_atom_t selection = display.atom("_NET_SYSTEM_TRAY_S0");
        xcb_set_selection_owner(c, m_window, selection, XCB_CURRENT_TIME);
        m_opcode = display.atom("_NET_SYSTEM_TRAY_OPCODE");
        xcb_client_message_event_t manager = {};
        manager.response_type = XCB_CLIENT_MESSAGE;
        manager.format = 32;
        manager.window = display.root();
        manager.type = display.atom("MANAGER");
        manager.data.data32[0] = XCB_CURRENT_TIME;
        manager.data.data32[1] = selection;
        manager.data.data32[2] = m_window;
        xcb_send_event(c, 0, display.root(), XCB_EVENT_MASK_STRUCTURE_NOTIFY, reinterpret_cast<const char *>(&manager));
        xcb_flush(c);
    }
    // Dock requests received so far.
    int dockRequests()
    {
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_display.connection())) {
            if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                const auto *message = reinterpret_cast<xcb_client_message_event_t *>(event);
                if (message->type == m_opcode && message->data.data32[1] == 0)
                    ++m_docks;
            }
            std::free(event);
        }
        return m_docks;
    }

private:
    X11TestDisplay &m_display;
    xcb_window_t m_window = 0;
    xcb_atom_t m_opcode = 0;
    int m_docks = 0;
};

} // namespace

TEST_F(ShellProcess, AFreshLaunchMapsOnlyTheSettingsWindowAndNoTrayIconUntilAsked)
{
    TrayHost tray(display);
    ASSERT_TRUE(launch());
    waitUntil([] { return false; }, 500);
    const QStringList visible = visibleWindows(first);
    ASSERT_EQ(visible.size(), 1);
    EXPECT_EQ(windowName(visible.first()), QStringLiteral("设置"));
    bool editorExists = false;
    for (const QString &id : allWindows(first))
        editorExists |= windowName(id).startsWith(QStringLiteral("Kivaro")) && !visible.contains(id);
    EXPECT_TRUE(editorExists) << "the editor window exists, unmapped";
    EXPECT_EQ(tray.dockRequests(), 0);
    look(QStringLiteral("launch"));

    // Kivaro > 显示菜单栏图标 (the first item).
    ASSERT_TRUE(click(applicationMenu()));
    look(QStringLiteral("application-menu"));
    key(QStringLiteral("Down"));
    key(QStringLiteral("Return"));
    EXPECT_TRUE(waitUntil([&] { return tray.dockRequests() > 0; }, 5000)) << "the tray icon asked to dock";
    EXPECT_EQ(preferences().value(QStringLiteral("kivaro.showMenuBar")), QVariant(true));

    // The other menus, to look at.
    for (int index = 1; index < 4; ++index) {
        key(QStringLiteral("Escape"));
        ASSERT_TRUE(click(applicationMenu() + QPoint(index == 1 ? 46 : index == 2 ? 84 : 122, 0)));
        look(QStringLiteral("menu-%1").arg(index));
    }
    key(QStringLiteral("Escape"));
    first.terminate();
    EXPECT_TRUE(ended(first));
}

TEST_F(ShellProcess, TheDarkAppearanceToLookAt)
{
    if (qEnvironmentVariableIsEmpty("KIVARO_LOOK_DIR"))
        GTEST_SKIP() << "only pictures";
    dark = true;
    ASSERT_TRUE(launch());
    look(QStringLiteral("launch"));
    ASSERT_TRUE(click(applicationMenu()));
    look(QStringLiteral("application-menu"));
    key(QStringLiteral("Escape"));
    first.terminate();
    EXPECT_TRUE(ended(first));
}

TEST_F(ShellProcess, ASecondLaunchExitsAndBringsTheSettingsWindowForward)
{
    ASSERT_TRUE(launch());
    const QString settings = settingsWindow(first);
    ASSERT_FALSE(settings.isEmpty());
    ASSERT_TRUE(xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), settings}));
    key(QStringLiteral("ctrl+w"));
    ASSERT_TRUE(waitUntil([&] { return settingsWindow(first).isEmpty(); }));
    EXPECT_EQ(first.state(), QProcess::Running) << "closing the last window does not quit";

    ASSERT_TRUE(start(second));
    ASSERT_TRUE(ended(second));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(waitUntil([&] { return !settingsWindow(first).isEmpty(); }));
    EXPECT_TRUE(waitUntil([&] { return activeWindow() == settingsWindow(first); }));
}

TEST_F(ShellProcess, ARecordedRegionHotKeyCapturesThenQuittingFromTheMenuReleasesIt)
{
    const QRect where(200, 150, 600, 400);
    const QImage pattern = TestSupport::patternImage(where.size(), 3);
    ASSERT_TRUE(launch());
    ASSERT_TRUE(recordRegionChord());
    look(QStringLiteral("settings-recorded"));

    const xcb_window_t fixture = display.createWindow(where, pattern, 0, true);
    ASSERT_TRUE(display.waitForPixels(where, pattern));
    ASSERT_TRUE(key(QStringLiteral("ctrl+super+5")));
    ASSERT_TRUE(overlayShown());
    look(QStringLiteral("overlay"));
    ASSERT_TRUE(drag({300, 250}, {500, 400}));
    QImage copied;
    ASSERT_TRUE(waitUntil([&] { return copied.loadFromData(clipboardPNG(), "PNG"); }, 10000));
    EXPECT_EQ(copied.convertToFormat(QImage::Format_RGB32), pattern.copy(QRect(100, 100, 200, 150)));
    EXPECT_TRUE(waitUntil([&] { return recentShots().size() == 1; }));
    display.destroyWindow(fixture);

    // The capture hid the settings window; a second launch brings it back. Then Kivaro > 退出
    // Kivaro (the last item).
    ASSERT_TRUE(start(second));
    ASSERT_TRUE(ended(second));
    ASSERT_TRUE(waitUntil([&] { return !settingsWindow(first).isEmpty(); }));
    ASSERT_TRUE(xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), settingsWindow(first)}));
    // Ctrl+R: the recent shots, to look at.
    key(QStringLiteral("ctrl+r"));
    EXPECT_TRUE(waitUntil([&] { return visibleWindows(first).size() >= 2; }));
    look(QStringLiteral("recent-shots"));
    ASSERT_TRUE(xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), settingsWindow(first)}));
    ASSERT_TRUE(click(applicationMenu()));
    key(QStringLiteral("Up"));
    key(QStringLiteral("Return"));
    ASSERT_TRUE(ended(first));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_EQ(recentShots().size(), 1);
    const xcb_keycode_t five = display.keyCode('5');
    EXPECT_TRUE(display.grabKey(five, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_4)) << "our grab of ⌃⌘5 was released";
    display.ungrabKey(five, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_4);
}

TEST_F(ShellProcess, WithOpensEditorTheInlineEditorAppearsOverTheSpot)
{
    storePreference(QStringLiteral("kivaro.capture.opensEditor"), true);
    const QRect where(200, 150, 600, 400);
    const QImage pattern = TestSupport::patternImage(where.size(), 4);
    ASSERT_TRUE(launch());
    ASSERT_TRUE(recordRegionChord());
    const xcb_window_t fixture = display.createWindow(where, pattern, 0, true);
    ASSERT_TRUE(display.waitForPixels(where, pattern));
    ASSERT_TRUE(key(QStringLiteral("ctrl+super+5")));
    ASSERT_TRUE(overlayShown());
    ASSERT_TRUE(drag({300, 250}, {500, 400}));
    ASSERT_TRUE(waitUntil([&] { return recentShots().size() == 1; }, 10000));
    EXPECT_TRUE(waitUntil(
        [&] {
            for (const QString &id : visibleWindows(first))
                if (geometry(id).size() == screenSize)
                    return true;
            return false;
        },
        5000))
        << "the inline editor covers the screen";
    look(QStringLiteral("inline-editor"));

    // Ctrl+W leaves it: the Window menu's "关闭窗口" is the one shortcut on the key.
    QString inlineEditor;
    for (const QString &id : visibleWindows(first))
        if (geometry(id).size() == screenSize)
            inlineEditor = id;
    ASSERT_TRUE(xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), inlineEditor}));
    key(QStringLiteral("ctrl+w"));
    EXPECT_TRUE(waitUntil([&] { return !visibleWindows(first).contains(inlineEditor); }, 5000));
    look(QStringLiteral("inline-editor-left"));
    EXPECT_EQ(recentShots().size(), 1);
    display.destroyWindow(fixture);
    first.terminate();
    EXPECT_TRUE(ended(first));
}

TEST_F(ShellProcess, TheWindowHotKeyPicksAWindowWhoseImageIsItsContent)
{
    const QRect where(300, 200, 400, 300);
    const QImage pattern = TestSupport::patternImage(where.size(), 6);
    ASSERT_TRUE(launch());
    const xcb_window_t fixture = display.createWindow(where, pattern);
    ASSERT_TRUE(waitUntil([&] {
        return runClient(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(fixture), QStringLiteral("WM_STATE")})
            .output.contains("window state");
    }));
    waitUntil([] { return false; }, 300);
    ASSERT_TRUE(key(QStringLiteral("ctrl+alt+super+4")));
    ASSERT_TRUE(overlayShown());
    const QRect placed = geometry(QString::number(fixture));
    ASSERT_TRUE(xdotool({QStringLiteral("mousemove"), QString::number(placed.center().x()), QString::number(placed.center().y())}));
    waitUntil([] { return false; }, 300);
    look(QStringLiteral("window-overlay"));
    ASSERT_TRUE(click(placed.center()));
    QImage copied;
    ASSERT_TRUE(waitUntil([&] { return copied.loadFromData(clipboardPNG(), "PNG"); }, 10000));
    // The window as it stands on the screen: the window manager's frame around its content.
    const QStringList extents = QString::fromUtf8(runClient(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(fixture),
                                                                                       QStringLiteral("_NET_FRAME_EXTENTS")})
                                                      .output)
                                    .section(QLatin1Char('='), 1)
                                    .split(QLatin1Char(','));
    ASSERT_EQ(extents.size(), 4);
    const int left = extents.at(0).trimmed().toInt(), top = extents.at(2).trimmed().toInt();
    EXPECT_EQ(copied.size(), pattern.size() + QSize(left + extents.at(1).trimmed().toInt(), top + extents.at(3).trimmed().toInt()));
    EXPECT_EQ(copied.convertToFormat(QImage::Format_RGB32).copy(QRect(QPoint(left, top), pattern.size())), pattern);
    display.destroyWindow(fixture);
    first.terminate();
    EXPECT_TRUE(ended(first));
}

TEST_F(ShellProcess, QuitDuringACaptureEndsTheProcessWithTheShotWritten)
{
    ASSERT_TRUE(launch());
    // Ctrl+Q while the overlay waits for a selection.
    ASSERT_TRUE(key(QStringLiteral("ctrl+alt+super+4")));
    ASSERT_TRUE(overlayShown());
    ASSERT_TRUE(key(QStringLiteral("ctrl+q")));
    ASSERT_TRUE(ended(first));
    EXPECT_EQ(first.exitCode(), 0);
    const xcb_keycode_t four = display.keyCode('4');
    EXPECT_TRUE(display.grabKey(four, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4));
    display.ungrabKey(four, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4);

    // SIGTERM while the overlay waits.
    ASSERT_TRUE(launch());
    ASSERT_TRUE(key(QStringLiteral("ctrl+alt+super+4")));
    ASSERT_TRUE(overlayShown());
    ::kill(pid_t(first.processId()), SIGTERM);
    ASSERT_TRUE(ended(first));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
}

TEST_F(ShellProcess, SIGTERMEndsTheProcessEvenWhenTheHistoryCannotBeWritten)
{
    const QRect where(200, 150, 600, 400);
    const QImage pattern = TestSupport::patternImage(where.size(), 8);
    ASSERT_TRUE(launch());
    ASSERT_TRUE(recordRegionChord());
    const xcb_window_t fixture = display.createWindow(where, pattern, 0, true);
    ASSERT_TRUE(display.waitForPixels(where, pattern));
    ASSERT_TRUE(key(QStringLiteral("ctrl+super+5")));
    ASSERT_TRUE(overlayShown());
    ASSERT_TRUE(drag({300, 250}, {500, 400}));
    ASSERT_TRUE(waitUntil([&] { return recentShots().size() == 1; }, 10000));
    display.destroyWindow(fixture);

    // The history folder becomes a file: every write fails from now on.
    ASSERT_TRUE(waitUntil([&] { return QDir(home.filePath(QStringLiteral("data/Kivaro/Recent"))).removeRecursively(); }));
    QFile blocker(home.filePath(QStringLiteral("data/Kivaro/Recent")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    ::kill(pid_t(first.processId()), SIGTERM);
    ASSERT_TRUE(ended(first, 10000));
    EXPECT_EQ(first.exitCode(), 0);
}

namespace {

// The shell process with a temporary folder of its own, where its share folders are made.
class SharingShellProcess : public ShellProcess {
protected:
    void SetUp() override
    {
        ShellProcess::SetUp();
        temporaryFolder = home.filePath(QStringLiteral("tmp"));
        ASSERT_TRUE(QDir().mkpath(temporaryFolder));
    }

    // Opens `picture` with Ctrl+O in the open panel, then chooses 文件 > 分享… and the first
    // application of the share menu; true once the application has the file.
    bool shareOpenedPicture(const QString &picture, const QString &received)
    {
        const auto failed = [](const char *step) {
            ADD_FAILURE() << "sharing stopped at: " << step;
            return false;
        };
        const QString settings = settingsWindow(first);
        if (settings.isEmpty() || !xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), settings}))
            return failed("the settings window");
        key(QStringLiteral("ctrl+o"));
        QString panel;
        const bool panelShown = waitUntil(
            [&] {
                for (const QString &id : visibleWindows(first))
                    if (id != settings)
                        panel = id;
                return !panel.isEmpty();
            },
            5000);
        if (!panelShown || !xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), panel}))
            return failed("the open panel");
        waitUntil([] { return false; }, 300); // the file name field takes the keyboard
        if (!xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("5"), picture}))
            return failed("typing the picture's path");
        key(QStringLiteral("Return"));
        const auto editorShown = [&] {
            for (const QString &id : visibleWindows(first))
                if (windowName(id).startsWith(QStringLiteral("Kivaro")))
                    return true;
            return false;
        };
        if (!waitUntil(editorShown, 10000))
            return failed("the editor window");
        // 文件 > 分享… (the seventh item) of the settings window, which the open panel hid: Ctrl+,
        // brings it over the editor. The share menu grabs the keyboard.
        key(QStringLiteral("ctrl+comma"));
        if (!waitUntil([&] { return !settingsWindow(first).isEmpty(); }, 5000)
            || !xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), settingsWindow(first)}))
            return failed("the settings window over the editor");
        const qsizetype folders = shareFolders().size();
        if (!click(applicationMenu() + QPoint(46, 0)))
            return failed("the File menu");
        for (int item = 0; item < 7; ++item)
            key(QStringLiteral("Down"));
        look(QStringLiteral("share-item"));
        key(QStringLiteral("Return"));
        // The file is written before its menu opens.
        if (!waitUntil([&] { return shareFolders().size() > folders; }, 10000))
            return failed("the shared file");
        waitUntil([] { return false; }, 500);
        look(QStringLiteral("share-menu"));
        key(QStringLiteral("Down"));
        key(QStringLiteral("Return"));
        return waitUntil([&] { return QFileInfo::exists(received); }, 10000) || failed("the receiving application");
    }
    QStringList shareFolders() const
    {
        return QDir(temporaryFolder).entryList({QStringLiteral("Kivaro-share-*")}, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    }

};

} // namespace

// A shot shared with an application of the desktop lives in a share folder of its own; every
// way of quitting removes it, and a folder left by a run that was killed goes at the next launch
// that serves, never in a launch that hands off.
TEST_F(SharingShellProcess, SharedShotsGoWithTheApplicationAndLeftoversGoAtTheNextServingLaunch)
{
    // The receiver: a desktop entry of the user's for PNG pictures, their default application,
    // that keeps a copy of what it is given.
    const QString received = home.filePath(QStringLiteral("received.png"));
    const QString receiver = home.filePath(QStringLiteral("receiver"));
    QFile script(receiver);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\ncp \"$1\" \"" + received.toUtf8() + ".part\" && mv \"" + received.toUtf8() + ".part\" \"" +
                 received.toUtf8() + "\"\n");
    script.close();
    ASSERT_TRUE(script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    QDir().mkpath(home.filePath(QStringLiteral("data/applications")));
    QFile entry(home.filePath(QStringLiteral("data/applications/kivaro-test-receiver.desktop")));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nName=Receiver\nExec=" + receiver.toUtf8() + " %f\nMimeType=image/png;\n");
    entry.close();
    QFile defaults(home.filePath(QStringLiteral("config/mimeapps.list")));
    ASSERT_TRUE(defaults.open(QIODevice::WriteOnly));
    defaults.write("[Default Applications]\nimage/png=kivaro-test-receiver.desktop;\n");
    defaults.close();
    const QString picture = home.filePath(QStringLiteral("picture.png"));
    ASSERT_TRUE(TestSupport::patternImage(QSize(300, 200), 9).save(picture));

    for (const bool signal : {false, true}) {
        QFile::remove(received);
        ASSERT_TRUE(launch());
        ASSERT_TRUE(shareOpenedPicture(picture, received)) << (signal ? "SIGTERM" : "Ctrl+Q");
        EXPECT_EQ(shareFolders().size(), 1) << "kept while the application may read it";
        if (signal) {
            ::kill(pid_t(first.processId()), SIGTERM);
        } else {
            ASSERT_TRUE(xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), settingsWindow(first)}));
            key(QStringLiteral("ctrl+q"));
        }
        ASSERT_TRUE(ended(first));
        EXPECT_EQ(first.exitCode(), 0);
        EXPECT_EQ(shareFolders(), QStringList()) << (signal ? "SIGTERM" : "Ctrl+Q");
    }

    // Leftovers of a run that was killed, ten minutes ago.
    const auto plantLeftover = [&](const char *name) {
        const QString folder = temporaryFolder + QStringLiteral("/Kivaro-share-") + QString::fromLatin1(name);
        EXPECT_EQ(::mkdir(QFile::encodeName(folder).constData(), 0700), 0);
        QFile file(folder + QStringLiteral("/Kivaro.png"));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        const time_t when = time_t(QDateTime::currentSecsSinceEpoch() - 600);
        const struct timespec times[2] = {{when, 0}, {when, 0}};
        ::utimensat(AT_FDCWD, QFile::encodeName(folder).constData(), times, 0);
        return folder;
    };
    plantLeftover("0F8FAD5B-D9CB-469F-A165-70867728950E");
    ASSERT_TRUE(launch());
    EXPECT_TRUE(waitUntil([&] { return shareFolders().isEmpty(); }, 5000)) << "the serving launch sweeps";
    const QString left = plantLeftover("1B4E28BA-2FA1-11D2-883F-0016D3CCA427");
    ASSERT_TRUE(start(second));
    ASSERT_TRUE(ended(second));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(QFileInfo::exists(left)) << "a launch that hands off touches nothing";
    ::kill(pid_t(first.processId()), SIGTERM);
    ASSERT_TRUE(ended(first));
    EXPECT_TRUE(QFileInfo::exists(left)) << "not this run's own";
    ASSERT_TRUE(launch());
    EXPECT_TRUE(waitUntil([&] { return shareFolders().isEmpty(); }, 5000));
    first.terminate();
    EXPECT_TRUE(ended(first));
}

// ---- the updater in the real process ---------------------------------------------------------------

namespace {

struct ProgramRun {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// The real kivaro on `display` (none when empty).
ProgramRun runOnDisplay(const QProcessEnvironment &base, const QByteArray &display, const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment environment = base;
    environment.remove(QStringLiteral("DISPLAY"));
    if (!display.isEmpty())
        environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display));
    environment.insert(QStringLiteral("LANGUAGE"), QStringLiteral("en"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(KIVARO_EXECUTABLE), arguments);
    if (!process.waitForFinished(60'000))
        process.kill();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

// The real kivaro with no X display at all: the updater's command lines need none.
ProgramRun runWithoutDisplay(const QProcessEnvironment &base, const QStringList &arguments)
{
    return runOnDisplay(base, {}, arguments);
}

// A display number no X server of this machine serves: neither its socket nor its lock exists.
QByteArray displayWithoutServer()
{
    for (int number = 900;; ++number)
        if (!QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)) && !QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
            return ":" + QByteArray::number(number);
}

} // namespace

// DISPLAY set to a display where no server answers: the launch names it and ends with status 1
// where Qt's plugin would abort the process.
TEST_F(ShellProcess, ADisplayWhereNoServerAnswersIsNamedAndTheLaunchEndsWithStatusOne)
{
    const QByteArray display = displayWithoutServer();
    const QByteArray expected = "kivaro: cannot reach the X display \"" + display
                                + "\" named by DISPLAY. Kivaro runs in an X11 session; start it from one, or set DISPLAY to a display "
                                  "that is running.\n";
    const ProgramRun application = runOnDisplay(environment(), display, {});
    EXPECT_EQ(application.status, 1) << application.err.constData();
    EXPECT_EQ(application.err, expected);
    EXPECT_TRUE(application.out.isEmpty()) << application.out.constData();
}

TEST_F(ShellProcess, TheUpdaterCommandLinesEndTheProcessBeforeAnyWindow)
{
    // A release of build 3 made now with the release tool, signed with keys of this test only.
    using UpdaterTesting::Keys;
    const QString root = home.filePath(QStringLiteral("release"));
    QDir().mkpath(root + QStringLiteral("/build/bin"));
    const auto writeKey = [&](const QString &name, const NativeAppUpdater::Ed25519::KeyPair &pair) {
        QFile file(root + QLatin1Char('/') + name);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(NativeAppUpdater::Ed25519::toPem(pair));
        return file.fileName();
    };
    const QString signing = writeKey(QStringLiteral("team.pem"), Keys::shared().signing);
    const QString countersigning = writeKey(QStringLiteral("release.pem"), Keys::shared().countersigning);
    ASSERT_TRUE(QFile::copy(UpdaterTesting::testApplication(), root + QStringLiteral("/build/bin/kivaro")));
    const ClientResult made = runClient(
        QStringLiteral(KIVARO_RELEASE_TOOL),
        {QStringLiteral("bundle"), QStringLiteral("--input"), root + QStringLiteral("/build"), QStringLiteral("--output"),
         root + QStringLiteral("/out"), QStringLiteral("--identifier"), QStringLiteral("app.kivaro.Kivaro"), QStringLiteral("--team"),
         QStringLiteral("KVR8Q2T5LM"), QStringLiteral("--version"), QStringLiteral("3.0"), QStringLiteral("--build"), QStringLiteral("3"),
         QStringLiteral("--signing-key"), signing, QStringLiteral("--countersigning-key"), countersigning, QStringLiteral("--download-url"),
         QStringLiteral("https://downloads.kivaro.app/Kivaro-3.0.zip")},
        60'000);
    ASSERT_TRUE(made.finished && made.exitCode == 0);
    QFile zip(root + QStringLiteral("/out/Kivaro-3.0.zip"));
    ASSERT_TRUE(zip.open(QIODevice::ReadOnly));
    const QString digest = QString::fromLatin1(QCryptographicHash::hash(zip.readAll(), QCryptographicHash::Sha256).toHex());
    const QStringList before = UpdaterTesting::treeListing(home.path());

    // The offline check refuses it: no key of this test is ever pinned in the application.
    const ProgramRun refused =
        runWithoutDisplay(environment(), {QStringLiteral("--verify-update-archive"), zip.fileName(), QStringLiteral("3.0"), QStringLiteral("3"), digest});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, QByteArray());
    const QByteArrayList expected = {"UPDATE VERIFY FAILED: This build has no release keys, so it cannot verify updates.\n",
                                     "UPDATE VERIFY FAILED: The update failed developer signature or notarization verification.\n"};
    EXPECT_TRUE(expected.contains(refused.err)) << refused.err.constData();
    // A damaged digest fails before any key is looked at, with its own message.
    const ProgramRun damaged = runWithoutDisplay(environment(), {QStringLiteral("--verify-update-archive"), zip.fileName(), QStringLiteral("3.0"),
                                                                 QStringLiteral("3"), QString(64, QLatin1Char('0'))});
    EXPECT_EQ(damaged.status, 1);
    EXPECT_TRUE(damaged.err.startsWith("UPDATE VERIFY FAILED: ")) << damaged.err.constData();
    EXPECT_NE(damaged.err, refused.err);

    // The installer mode on a folder that holds no bundle of the application ends at once with
    // 0 and touches nothing.
    const ProgramRun helper = runWithoutDisplay(environment(), {QStringLiteral("--native-update-helper"), root, QStringLiteral("1")});
    EXPECT_EQ(helper.status, 0) << helper.err.constData();
    EXPECT_EQ(UpdaterTesting::treeListing(home.path()), before) << "nothing was written, moved or left behind";

    // Without a display, anything else is the application, which says it needs one.
    const ProgramRun application = runWithoutDisplay(environment(), {QStringLiteral("--native-update-helper"), root});
    EXPECT_EQ(application.status, 1);
    EXPECT_TRUE(application.err.contains("no X display")) << application.err.constData();
}

// The settings window's update block is bound to the process's updater, and "检查更新…" of the
// application menu reaches it: a development copy of the program (outside its bundle, so its
// updater is off and nothing goes to the network) answers a check by hand in its own prompt
// window.
TEST_F(ShellProcess, TheSettingsBlockAndTheMenuItemReachTheUpdater)
{
    checkThroughTheSettingsBlockAndTheMenu();
}

TEST_F(ShellProcess, TheUpdateBlockAndPromptInTheDarkAppearanceToLookAt)
{
    if (qEnvironmentVariableIsEmpty("KIVARO_LOOK_DIR"))
        GTEST_SKIP() << "only pictures";
    dark = true;
    checkThroughTheSettingsBlockAndTheMenu();
}

void ShellProcess::checkThroughTheSettingsBlockAndTheMenu()
{
    const QString copy = home.filePath(QStringLiteral("development/bin/kivaro"));
    QDir().mkpath(QFileInfo(copy).absolutePath());
    ASSERT_TRUE(QFile::copy(QStringLiteral(KIVARO_EXECUTABLE), copy));
    first.setProcessEnvironment(environment());
    first.setProcessChannelMode(QProcess::ForwardedChannels);
    first.start(copy, {});
    ASSERT_TRUE(first.waitForStarted(5000));
    ASSERT_TRUE(waitUntil([&] { return !settingsWindow(first).isEmpty(); }, 10000));
    look(QStringLiteral("settings-update-block"));

    // The block's switch stores the user's choice where the updater keeps it.
    const QString switchKey = QStringLiteral("NativeUpdater.kivaro.automaticallyChecksForUpdates");
    const QRect frame = geometry(settingsWindow(first));
    const QPoint toggle = frame.topLeft() + QPoint(44, 484);
    ASSERT_TRUE(click(toggle));
    EXPECT_TRUE(waitUntil([&] { return preferences().value(switchKey) == QVariant(true); }, 5000)) << "the switch was not found there";
    look(QStringLiteral("settings-update-on"));
    ASSERT_TRUE(click(toggle));
    EXPECT_TRUE(waitUntil([&] { return preferences().value(switchKey) == QVariant(false); }, 5000));

    // Kivaro > 检查更新… (after 显示菜单栏图标 and 设置…): the answer opens a window of its own.
    ASSERT_TRUE(click(applicationMenu()));
    key(QStringLiteral("Down"));
    key(QStringLiteral("Down"));
    key(QStringLiteral("Down"));
    look(QStringLiteral("check-item"));
    key(QStringLiteral("Return"));
    QString prompt;
    ASSERT_TRUE(waitUntil(
        [&] {
            for (const QString &id : visibleWindows(first))
                if (windowName(id) != QStringLiteral("设置"))
                    prompt = id;
            return !prompt.isEmpty();
        },
        10000));
    look(QStringLiteral("update-prompt"));
    // Its one button closes it; the application keeps running.
    ASSERT_TRUE(xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), prompt}));
    key(QStringLiteral("Return"));
    EXPECT_TRUE(waitUntil([&] { return !visibleWindows(first).contains(prompt); }, 5000));
    EXPECT_EQ(first.state(), QProcess::Running);
    first.terminate();
    EXPECT_TRUE(ended(first));
}

int main(int argc, char **argv)
{
    return TestSupport::runTestsOnOwnXServer(argc, argv, screenSize);
}
