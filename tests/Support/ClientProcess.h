#pragma once
// Runs another X client (xclip, xdotool) to its end while our event loop keeps serving it, as
// it must when that client talks to a selection or window this process owns.

#include "Support/TaskTesting.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QPoint>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace TestSupport {

struct ClientResult {
    bool finished = false;
    int exitCode = -1;
    QByteArray output; // its standard output
};

// A client that does not start or end within `timeoutMs` is killed and reported unfinished.
inline ClientResult runClient(const QString &program, const QStringList &arguments, int timeoutMs = 10000)
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

// Presses keys and moves and clicks the pointer as a user does; whether xdotool did it.
inline bool xdotool(const QStringList &arguments)
{
    const ClientResult result = runClient(QStringLiteral("xdotool"), arguments);
    return result.finished && result.exitCode == 0;
}

// Drags with the first button from `from` to `to` (root pixels) through their midpoint, at a
// user's pace; whether xdotool did it.
inline bool drag(QPoint from, QPoint to)
{
    const QPoint mid = (from + to) / 2;
    return xdotool({QStringLiteral("mousemove"), QString::number(from.x()), QString::number(from.y()), QStringLiteral("mousedown"),
                    QStringLiteral("1"), QStringLiteral("sleep"), QStringLiteral("0.05"), QStringLiteral("mousemove"),
                    QString::number(mid.x()), QString::number(mid.y()), QStringLiteral("sleep"), QStringLiteral("0.05"),
                    QStringLiteral("mousemove"), QString::number(to.x()), QString::number(to.y()), QStringLiteral("sleep"),
                    QStringLiteral("0.05"), QStringLiteral("mouseup"), QStringLiteral("1")});
}

// Why a test that drives the X server's keyboard and pointer cannot run here; null when it can.
inline const char *missingForXdotool()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return "needs an X server";
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        return "needs xdotool";
    return nullptr;
}

} // namespace TestSupport
