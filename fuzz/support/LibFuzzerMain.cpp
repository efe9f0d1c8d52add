// The entry points of one libFuzzer executable; KIVARO_FUZZ_TARGET names its target function.
//
// Before the first input the process gets what the targets need and the test executables have
// too: private XDG folders (no input ever touches the user's preferences), Qt's offscreen
// platform and a QApplication for fonts and widgets.

#include "FuzzTargets.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <signal.h>
#include <unistd.h>

#ifndef KIVARO_FUZZ_TARGET
#error "KIVARO_FUZZ_TARGET names the target function"
#endif

// fontconfig keeps its caches past the end of the process (the application is never
// destroyed here); they are not ours to report.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

namespace {

// A process that crashes (every finding does) leaves its private home behind; the next one
// removes the homes of processes that are gone.
void removeHomesOfEndedProcesses(const QString &base)
{
    const QStringList homes = QDir(base).entryList({QStringLiteral("kivaro-fuzz-*-*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &name : homes) {
        bool numeric = false;
        const pid_t pid = name.section(QLatin1Char('-'), 2, 2).toInt(&numeric);
        if (numeric && pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH)
            QDir(base + QLatin1Char('/') + name).removeRecursively();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // In memory when the system offers it: preference writes sync their files, and a synced
    // write to a disk costs more than the rest of an input.
    const QString base = QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    removeHomesOfEndedProcesses(base);
    static QTemporaryDir home(base + QStringLiteral("/kivaro-fuzz-%1-XXXXXX").arg(::getpid()));
    if (!home.isValid()) {
        std::fprintf(stderr, "cannot create a private home in %s\n", qPrintable(base));
        std::exit(2);
    }
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR", "TMPDIR"}) {
        const QString path = home.path() + QLatin1Char('/') + QString::fromLatin1(name);
        QDir().mkpath(path);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv(name, path.toLocal8Bit());
    }
    qunsetenv("KIVARO_DATA_DIR");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("LANGUAGE", "zh_CN");
    // Qt gets only the program name: it would take options out of libFuzzer's arguments.
    // The application lives until the process ends, as libFuzzer may exit from any input.
    static int qtArgc = 1;
    static char *qtArgv[] = {(*argv)[0], nullptr};
    static QApplication *app = new QApplication(qtArgc, qtArgv);
    Q_UNUSED(app);
    Q_UNUSED(argc);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return Kivaro::Fuzz::KIVARO_FUZZ_TARGET(data, size);
}
