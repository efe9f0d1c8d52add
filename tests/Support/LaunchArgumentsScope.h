#pragma once
// Replaces the recorded launch arguments for one scope ("--verify", "--evidence-dir", ...) and
// records the previous ones again at its end.

#include "KivaroCore/LaunchArguments.h"

#include <QByteArray>
#include <QStringList>

#include <vector>

namespace TestSupport {

class LaunchArgumentsScope {
public:
    explicit LaunchArgumentsScope(const QStringList &arguments) : m_saved(Kivaro::PrototypeVerification::processArguments())
    {
        record(arguments);
    }
    ~LaunchArgumentsScope() { record(m_saved); }
    LaunchArgumentsScope(const LaunchArgumentsScope &) = delete;
    LaunchArgumentsScope &operator=(const LaunchArgumentsScope &) = delete;

    static void record(const QStringList &arguments)
    {
        std::vector<QByteArray> bytes;
        for (const QString &argument : arguments)
            bytes.push_back(argument.toLocal8Bit());
        std::vector<const char *> argv;
        for (const QByteArray &b : bytes)
            argv.push_back(b.constData());
        Kivaro::PrototypeVerification::recordProcessArguments(int(argv.size()), argv.data());
    }

private:
    QStringList m_saved;
};

} // namespace TestSupport
