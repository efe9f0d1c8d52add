#pragma once
// The resident memory of this process and of child processes, for the recognition benchmark's
// memory runs.

#include <QString>
#include <QStringList>

namespace BenchMemory {

// Resident memory of this process in MB, from /proc/self/status: "VmRSS:" now, "VmHWM:" its peak
// since the last resetPeak(), "RssFile:" the pages read from files. -1 when unreadable.
double residentMb(const char *field = "VmRSS:");
void resetPeak();

// The largest resident memory, in MB, of a child process run to its end: `program` with
// `arguments`, its standard output to `output` (or discarded). -1 when it failed.
double childPeakMb(const QString &program, const QStringList &arguments, const QString &output = {});

// The machine's load average over the last 1, 5 and 15 minutes, as /proc/loadavg shows it.
QByteArray loadAverage();

} // namespace BenchMemory
