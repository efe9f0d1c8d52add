#include "KivaroCore/LaunchArguments.h"

#include <QCoreApplication>
#include <QFile>

namespace Kivaro::PrototypeVerification {

QStringList processArguments()
{
    if (QCoreApplication::instance())
        return QCoreApplication::arguments();
    // Before the application object exists (the entry point), read the kernel's copy.
    QFile file(QStringLiteral("/proc/self/cmdline"));
    QStringList list;
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = file.readAll();
        for (const QByteArray &part : bytes.split('\0'))
            list.append(QString::fromLocal8Bit(part));
        if (!list.isEmpty() && list.last().isEmpty() && bytes.endsWith('\0'))
            list.removeLast();
    }
    return list;
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
