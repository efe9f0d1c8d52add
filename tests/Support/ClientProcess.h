#pragma once
// Runs another X client (xclip, xdotool) to its end while our event loop keeps serving it, as
// it must when that client talks to a selection or window this process owns.

#include "Support/TaskTesting.h"

#include <QByteArray>
#include <QProcess>
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

} // namespace TestSupport
