#include "KivaroCore/LaunchArguments.h"

#include <QCoreApplication>
#include <QFile>

namespace Kivaro::PrototypeVerification {

namespace {

// Written once in main() before any other thread runs, read afterwards.
std::optional<QList<QByteArray>> &recorded()
{
    static std::optional<QList<QByteArray>> arguments;
    return arguments;
}

// The arguments the kernel keeps for this process: the strings main() received, which
// QApplication leaves in place (it only reorders its own pointer array).
std::optional<QList<QByteArray>> kernelArguments()
{
    QFile file(QStringLiteral("/proc/self/cmdline"));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty())
        return std::nullopt;
    QList<QByteArray> list = bytes.split('\0');
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
    QList<QByteArray> arguments;
    for (int i = 0; i < argc && argv[i]; ++i)
        arguments.append(QByteArray(argv[i]));
    recorded() = arguments;
}

QList<QByteArray> processArgumentBytes()
{
    if (recorded())
        return *recorded();
    if (auto arguments = kernelArguments())
        return *arguments;
    // Without /proc: the application object's copy is all there is, short of Qt's own options.
    QList<QByteArray> arguments;
    if (QCoreApplication::instance())
        for (const QString &argument : QCoreApplication::arguments())
            arguments.append(QFile::encodeName(argument));
    return arguments;
}

QStringList processArguments()
{
    QStringList arguments;
    for (const QByteArray &argument : processArgumentBytes())
        arguments.append(QFile::decodeName(argument));
    return arguments;
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
