#pragma once
// The test command's private sound server seen from outside, as a desktop's microphone
// indicator sees it: how many recording streams (source outputs) of clients are open on it. The
// server's own streams (its remapped microphone reads the null sink's monitor) are no client's.

#include "Support/ClientProcess.h"

namespace TestSupport {

// The number of open recording streams; -1 when pactl cannot say.
inline int openRecordingStreams()
{
    const ClientResult result =
        runClient(QStringLiteral("pactl"), {QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("source-outputs")});
    if (!result.finished || result.exitCode != 0)
        return -1;
    // index, source, client ("-" for a module's own stream), driver, sample format
    int count = 0;
    for (const QByteArray &line : result.output.split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        count += fields.size() > 2 && fields.at(2) != "-" ? 1 : 0;
    }
    return count;
}

// Whether the count becomes `expected` within `timeoutMs` (the server sees a stream open or
// close a moment after the client does).
inline bool recordingStreamsBecome(int expected, int timeoutMs = 3000)
{
    return waitUntil([&] { return openRecordingStreams() == expected; }, timeoutMs);
}

} // namespace TestSupport
