#include "ProcessMemory.h"

#include <QFile>

#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace BenchMemory {

double residentMb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

double childPeakMb(const QString &program, const QStringList &arguments, const QString &output)
{
    std::vector<QByteArray> words{QFile::encodeName(program)};
    for (const QString &argument : arguments)
        words.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const QByteArray outputPath = output.isEmpty() ? QByteArray("/dev/null") : QFile::encodeName(output);
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        const int fd = ::open(outputPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int quiet = ::open("/dev/null", O_WRONLY);
        if (fd < 0 || quiet < 0)
            ::_exit(127);
        ::dup2(fd, STDOUT_FILENO);
        ::dup2(quiet, STDERR_FILENO);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return double(usage.ru_maxrss) / 1024.0;
}

QByteArray loadAverage()
{
    QFile load(QStringLiteral("/proc/loadavg"));
    return load.open(QIODevice::ReadOnly) ? load.readAll().split(' ').mid(0, 3).join(' ') : QByteArray("?");
}

} // namespace BenchMemory
