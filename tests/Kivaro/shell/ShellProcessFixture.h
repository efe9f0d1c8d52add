#pragma once
// The real kivaro process on the test executable's X server, with openbox and private XDG
// folders: starting it, finding and looking at its windows, and acting as the user with
// xdotool and xclip.
//
// With KIVARO_LOOK_DIR set, `look` saves the screen there as PNG.

#include "Platform/PropertyList/PropertyList.h"
#include "Platform/ScreenCapture/X11TestDisplay.h"
#include "Support/ClientProcess.h"
#include "Support/TaskTesting.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRect>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ShellProcessTesting {

using TestSupport::ClientResult;
using TestSupport::runClient;
using TestSupport::waitUntil;
using TestSupport::X11TestDisplay;
using TestSupport::drag;
using TestSupport::xdotool;

inline const QSize screenSize(1280, 800);

class ShellProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(display.isValid());
        ASSERT_TRUE(display.startWindowManager());
        ASSERT_TRUE(home.isValid());
        for (const char *name : {"config", "data", "cache", "runtime"}) {
            QDir().mkpath(home.filePath(QString::fromLatin1(name)));
            QFile::setPermissions(home.filePath(QString::fromLatin1(name)),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        }
    }
    void TearDown() override
    {
        for (QProcess *app : {&first, &second, &third})
            if (app->state() != QProcess::NotRunning) {
                app->kill();
                app->waitForFinished(3000);
            }
        display.stopWindowManager();
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
        env.insert(QStringLiteral("LANGUAGE"), QStringLiteral("zh_CN"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.remove(QStringLiteral("KIVARO_DATA_DIR"));
        env.remove(QStringLiteral("SESSION_MANAGER"));
        if (dark)
            env.insert(QStringLiteral("GTK_THEME"), QStringLiteral("Adwaita:dark"));
        if (!temporaryFolder.isEmpty())
            env.insert(QStringLiteral("TMPDIR"), temporaryFolder);
        return env;
    }
    bool start(QProcess &app, const QStringList &arguments = {})
    {
        app.setProcessEnvironment(environment());
        app.setProcessChannelMode(QProcess::ForwardedChannels);
        app.start(QStringLiteral(KIVARO_EXECUTABLE), arguments);
        return app.waitForStarted(5000);
    }
    // Starts the application and waits for its settings window.
    bool launch()
    {
        return start(first) && waitUntil([&] { return !visibleWindows(first).isEmpty(); }, 10000);
    }
    static bool ended(QProcess &app, int timeoutMs = 8000)
    {
        return waitUntil([&] { return app.state() == QProcess::NotRunning; }, timeoutMs);
    }

    static QStringList search(const QStringList &arguments)
    {
        const ClientResult result = runClient(QStringLiteral("xdotool"), QStringList{QStringLiteral("search")} + arguments);
        return QString::fromUtf8(result.output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    static QStringList visibleWindows(const QProcess &app)
    {
        return search({QStringLiteral("--onlyvisible"), QStringLiteral("--pid"), QString::number(app.processId())});
    }
    static QStringList allWindows(const QProcess &app)
    {
        return search({QStringLiteral("--pid"), QString::number(app.processId())});
    }
    static QString windowName(const QString &id)
    {
        return QString::fromUtf8(runClient(QStringLiteral("xdotool"), {QStringLiteral("getwindowname"), id}).output).trimmed();
    }
    static QString activeWindow()
    {
        return QString::fromUtf8(runClient(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")}).output).trimmed();
    }
    static QRect geometry(const QString &id)
    {
        const QString info = QString::fromUtf8(runClient(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id}).output);
        const auto number = [&](const QString &label) {
            const qsizetype at = info.indexOf(label);
            return at < 0 ? -1 : info.mid(at + label.size()).section(QLatin1Char('\n'), 0, 0).trimmed().toInt();
        };
        return QRect(number(QStringLiteral("Absolute upper-left X:")), number(QStringLiteral("Absolute upper-left Y:")),
                     number(QStringLiteral("Width:")), number(QStringLiteral("Height:")));
    }
    static bool click(QPoint at)
    {
        return xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()), QStringLiteral("sleep"),
                        QStringLiteral("0.1"), QStringLiteral("click"), QStringLiteral("1")});
    }
    static bool key(const QString &keys)
    {
        const bool sent = xdotool({QStringLiteral("key"), keys});
        waitUntil([] { return false; }, 150);
        return sent;
    }
    static QByteArray clipboardPNG()
    {
        const ClientResult read = runClient(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                                                                      QStringLiteral("-t"), QStringLiteral("image/png"), QStringLiteral("-o")});
        return read.finished && read.exitCode == 0 ? read.output : QByteArray();
    }
    // The settings window's id; empty when not shown.
    QString settingsWindow(const QProcess &app) const
    {
        for (const QString &id : visibleWindows(app))
            if (windowName(id) == QStringLiteral("设置"))
                return id;
        return {};
    }
    // The running application's standard preferences, as stored.
    QVariantMap preferences() const
    {
        QFile file(home.filePath(QStringLiteral("config/kivaro/app.kivaro.Kivaro.plist")));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        try {
            return Platform::decodePropertyList(file.readAll()).toMap();
        } catch (...) {
            return {};
        }
    }
    void storePreference(const QString &key, const QVariant &value)
    {
        QVariantMap map = preferences();
        map.insert(key, value);
        QDir().mkpath(home.filePath(QStringLiteral("config/kivaro")));
        QFile file(home.filePath(QStringLiteral("config/kivaro/app.kivaro.Kivaro.plist")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(Platform::encodePropertyList(map));
    }
    QStringList recentShots() const
    {
        return QDir(home.filePath(QStringLiteral("data/Kivaro/Recent"))).entryList({QStringLiteral("*.kivaro")}, QDir::Files);
    }
    // Saves the screen as `name`.png in KIVARO_LOOK_DIR, when set.
    void look(const QString &name) const
    {
        const QString folder = qEnvironmentVariable("KIVARO_LOOK_DIR");
        if (folder.isEmpty())
            return;
        waitUntil([] { return false; }, 300);
        runClient(QStringLiteral(KIVARO_ROOT_SNAPSHOT),
                  {folder + QLatin1Char('/') + name + (dark ? QStringLiteral("-dark") : QStringLiteral("-light")) + QStringLiteral(".png")});
    }
    // Records ⌃⌘5 for region capture in the settings window: the keyboard focus starts on the
    // window row's recorder; Tab passes its clear button and reaches the region row's recorder.
    bool recordRegionChord()
    {
        // The window manager takes a moment to manage a window it has just been shown.
        if (!waitUntil([&] {
                const QString settings = settingsWindow(first);
                return !settings.isEmpty() && xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), settings});
            }))
            return false;
        key(QStringLiteral("Tab"));
        key(QStringLiteral("Tab"));
        key(QStringLiteral("space"));
        look(QStringLiteral("settings-recording"));
        key(QStringLiteral("ctrl+super+5"));
        return waitUntil([&] { return preferences().contains(QStringLiteral("kivaro.regionCaptureShortcut")); }, 5000)
               && QString::fromUtf8(preferences().value(QStringLiteral("kivaro.regionCaptureShortcut")).toByteArray())
                      .contains(QStringLiteral("\"enabled\":true"));
    }
    // Waits until the capture overlay covers the screen.
    bool overlayShown() const
    {
        const bool shown = waitUntil(
            [&] {
                for (const QString &id : visibleWindows(first))
                    if (geometry(id).size() == screenSize)
                        return true;
                return false;
            },
            10000);
        waitUntil([] { return false; }, 300); // the grabs follow the mapping
        return shown;
    }
    // The application's menu bar item "Kivaro" of the settings window.
    QPoint applicationMenu() const
    {
        const QRect frame = geometry(settingsWindow(first));
        return frame.topLeft() + QPoint(28, 32 + 12);
    }

    // Turns the update block's switch on and off and checks for updates from the menu.
    void checkThroughTheSettingsBlockAndTheMenu();

    X11TestDisplay display;
    QTemporaryDir home{QDir::tempPath() + QStringLiteral("/kivaro-shell-XXXXXX")};
    QProcess first;
    QProcess second;
    QProcess third;
    bool dark = false;
    // The application's TMPDIR when not empty.
    QString temporaryFolder;
};

} // namespace ShellProcessTesting
