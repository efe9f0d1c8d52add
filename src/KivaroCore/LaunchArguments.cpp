#include "KivaroCore/LaunchArguments.h"

#include <QCoreApplication>
#include <QFile>

namespace Kivaro::PrototypeVerification {

namespace {

// Written once in main() before any other thread runs, read afterwards.
std::optional<QStringList> &recorded()
{
    static std::optional<QStringList> arguments;
    return arguments;
}

// The arguments the kernel keeps for this process: the strings main() received, which
// QApplication leaves in place (it only reorders its own pointer array).
std::optional<QStringList> kernelArguments()
{
    QFile file(QStringLiteral("/proc/self/cmdline"));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty())
        return std::nullopt;
    QStringList list;
    for (const QByteArray &part : bytes.split('\0'))
        list.append(QString::fromLocal8Bit(part));
    if (bytes.endsWith('\0'))
        list.removeLast(); // the terminator of the last argument, not an empty argument
    return list;
}

} // namespace

void recordProcessArguments(int argc, const char *const *argv)
{
    if (argc <= 0 || !argv) {
        recorded().reset();
        return;
    }
    QStringList arguments;
    for (int i = 0; i < argc && argv[i]; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    recorded() = arguments;
}

QStringList processArguments()
{
    if (recorded())
        return *recorded();
    if (auto arguments = kernelArguments())
        return *arguments;
    // Without /proc: the application object's copy is all there is, short of Qt's own options.
    return QCoreApplication::instance() ? QCoreApplication::arguments() : QStringList();
}

std::optional<QString> argument(const QString &flag, const QStringList &arguments)
{
    const qsizetype index = arguments.indexOf(flag);
    if (index < 0 || index + 1 >= arguments.size())
        return std::nullopt;
    return arguments.at(index + 1);
}

std::optional<QString> argument(const QString &flag)
{
    return argument(flag, processArguments());
}

bool hasFlag(const QString &flag)
{
    return processArguments().contains(flag);
}

} // namespace Kivaro::PrototypeVerification
