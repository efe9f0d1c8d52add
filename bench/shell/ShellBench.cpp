// The application shell's figures, on an X server of its own (no window manager, so a window
// is on the screen the moment the server maps it):
//
// 1. Cold start: from starting the kivaro process to its settings window mapped (a MapNotify
//    of a top-level window of that process, seen by this client). Fresh private preferences and
//    history for every run; the first run is reported alone (cold caches), then the median of
//    the others.
// 2. Resident memory with no window shown: kivaro after one region capture (a ⌃⌘5 binding
//    stored beforehand, the chord pressed and a region dragged through xdotool, the shot in the
//    recent shots, the editor hidden, the settings window hidden by the capture), against a bare
//    Qt Widgets application that showed and hid one window; VmRSS of both from /proc, 2 s after
//    they settled.
//
// Usage: bench-shell PATH/TO/kivaro PATH/TO/bench-bare-qt-window [runs]

#include "Platform/PropertyList/PropertyList.h"
#include "Support/XvfbSession.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QProcessEnvironment privateEnvironment(const QString &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"config", "data", "cache", "runtime"}) {
        QDir().mkpath(home + QLatin1Char('/') + QString::fromLatin1(name));
        QFile::setPermissions(home + QLatin1Char('/') + QString::fromLatin1(name),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/runtime"));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("SESSION_MANAGER"));
    return env;
}

// Milliseconds from start to the first top-level window of the process being mapped.
double coldStart(xcb_connection_t *c, xcb_window_t root, const QString &program)
{
    QTemporaryDir home;
    QProcess app;
    app.setProcessEnvironment(privateEnvironment(home.path()));
    app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    while (xcb_generic_event_t *stale = xcb_poll_for_event(c))
        std::free(stale);
    QElapsedTimer clock;
    clock.start();
    app.start(program, {});
    double mapped = -1;
    while (mapped < 0 && clock.elapsed() < 10000) {
        xcb_generic_event_t *event = xcb_poll_for_event(c);
        if (!event) {
            QThread::usleep(200);
            continue;
        }
        if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY
            && reinterpret_cast<xcb_map_notify_event_t *>(event)->event == root
            && !reinterpret_cast<xcb_map_notify_event_t *>(event)->override_redirect)
            mapped = double(clock.nsecsElapsed()) / 1e6;
        std::free(event);
    }
    app.terminate();
    app.waitForFinished(10000);
    return mapped;
}

long residentKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

bool xdotool(const QStringList &arguments)
{
    QProcess client;
    client.start(QStringLiteral("xdotool"), arguments);
    return client.waitForFinished(10000) && client.exitCode() == 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fputs("usage: bench-shell KIVARO BARE_QT_WINDOW [runs]\n", stderr);
        return 2;
    }
    TestSupport::XvfbSession xvfb(QSize(1920, 1080));
    if (!xvfb.isRunning()) {
        std::fputs("could not start an X server\n", stderr);
        return 1;
    }
    QCoreApplication application(argc, argv);
    const QString kivaro = QString::fromLocal8Bit(argv[1]);
    const QString bare = QString::fromLocal8Bit(argv[2]);
    const int runs = argc > 3 ? std::max(2, atoi(argv[3])) : 11;

    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);

    // 1. Cold start.
    std::vector<double> times;
    for (int run = 0; run < runs; ++run)
        times.push_back(coldStart(c, root, kivaro));
    const double first = times.front();
    std::vector<double> rest(times.begin() + 1, times.end());
    std::sort(rest.begin(), rest.end());
    std::printf("cold start to the settings window mapped: first %.1f ms, median of %zu more %.1f ms (target < 300 ms)\n",
                first, rest.size(), rest[rest.size() / 2]);

    // 2. Resident memory.
    QTemporaryDir home;
    const QProcessEnvironment env = privateEnvironment(home.path());
    QDir().mkpath(home.path() + QStringLiteral("/config/kivaro"));
    QFile domain(home.path() + QStringLiteral("/config/kivaro/app.kivaro.Kivaro.plist"));
    domain.open(QIODevice::WriteOnly);
    domain.write(Platform::encodePropertyList(QVariantMap{
        {QStringLiteral("kivaro.regionCaptureShortcut"),
         QByteArray(R"({"binding":{"keyCode":23,"modifiers":4352,"keyName":"5"},"enabled":true})")}}));
    domain.close();
    QProcess app;
    app.setProcessEnvironment(env);
    app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    app.start(kivaro, {});
    QThread::msleep(1500);
    xdotool({QStringLiteral("key"), QStringLiteral("ctrl+super+5")});
    QThread::msleep(1000);
    xdotool({QStringLiteral("mousemove"), QStringLiteral("300"), QStringLiteral("250"), QStringLiteral("mousedown"), QStringLiteral("1"),
             QStringLiteral("mousemove"), QStringLiteral("400"), QStringLiteral("320"), QStringLiteral("mousemove"),
             QStringLiteral("700"), QStringLiteral("600"), QStringLiteral("mouseup"), QStringLiteral("1")});
    QElapsedTimer waiting;
    waiting.start();
    while (QDir(home.path() + QStringLiteral("/data/Kivaro/Recent")).entryList({QStringLiteral("*.kivaro")}).isEmpty()
           && waiting.elapsed() < 10000)
        QThread::msleep(50);
    const bool captured = !QDir(home.path() + QStringLiteral("/data/Kivaro/Recent")).entryList({QStringLiteral("*.kivaro")}).isEmpty();
    QThread::msleep(2000);
    const long kivaroKiB = residentKiB(app.processId());

    QProcess baseline;
    baseline.setProcessEnvironment(privateEnvironment(home.path() + QStringLiteral("/bare")));
    baseline.start(bare, {});
    baseline.waitForReadyRead(10000);
    QThread::msleep(2000);
    const long bareKiB = residentKiB(baseline.processId());
    std::printf("resident memory, no window shown: kivaro after one capture%s %.1f MB, bare Qt Widgets window %.1f MB, "
                "difference %+.1f MB (target at most +30 MB), ratio %.2f\n",
                captured ? "" : " (THE CAPTURE DID NOT HAPPEN)", kivaroKiB / 1024.0, bareKiB / 1024.0,
                (kivaroKiB - bareKiB) / 1024.0, double(kivaroKiB) / double(bareKiB));
    app.terminate();
    baseline.terminate();
    app.waitForFinished(10000);
    baseline.waitForFinished(10000);
    xcb_disconnect(c);
    return captured ? 0 : 1;
}
