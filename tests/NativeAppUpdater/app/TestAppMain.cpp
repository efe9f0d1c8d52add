// The test application: the program the updater's tests put into their bundles as
// "bin/kivaro". Like the application's main(), it offers its arguments to the installer mode and
// the offline verification first, with the configuration the test wrote
// ($KIVARO_TEST_UPDATER_CONFIG). Started as an application, it records its start in
// $KIVARO_TEST_MARKER_DIR and behaves as its bundle's "share/behaviour" says: "stay" (keeps
// running for a while), "exit" (ends at once with status 0) or "crash" (dies by a signal).

#include "NativeAppUpdater/NativeBundle.h"
#include "NativeAppUpdater/NativeUpdateArchiveVerification.h"
#include "NativeAppUpdater/NativeUpdateConfiguration.h"
#include "NativeAppUpdater/NativeUpdateHelper.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>
#include <unistd.h>

using namespace NativeAppUpdater;

namespace {

NativeUpdateConfiguration readConfiguration()
{
    NativeUpdateConfiguration configuration;
    QFile file(qEnvironmentVariable("KIVARO_TEST_UPDATER_CONFIG"));
    if (!file.open(QIODevice::ReadOnly))
        return configuration;
    const QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
    auto keys = [&](const char *name) {
        QStringList list;
        for (const QJsonValue &value : object.value(QLatin1String(name)).toArray())
            list << value.toString();
        return NativeUpdateTrust::keysFromBase64(list);
    };
    configuration.product = object.value(QStringLiteral("product")).toString();
    configuration.appName = object.value(QStringLiteral("appName")).toString();
    configuration.bundleIdentifier = object.value(QStringLiteral("bundleIdentifier")).toString();
    configuration.teamIdentifier = object.value(QStringLiteral("teamIdentifier")).toString();
    configuration.trust.signingKeys = keys("signingKeys");
    configuration.trust.countersigningKeys = keys("countersigningKeys");
    return configuration;
}

void mark(const QString &kind, const QString &version)
{
    const QString folder = qEnvironmentVariable("KIVARO_TEST_MARKER_DIR");
    if (folder.isEmpty())
        return;
    QFile marker(QStringLiteral("%1/%2-%3-%4").arg(folder, kind, version).arg(::getpid()));
    marker.open(QIODevice::WriteOnly);
}

} // namespace

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const NativeUpdateConfiguration configuration = readConfiguration();
    if (NativeUpdateHelper::runIfRequested(arguments, configuration))
        return 0;
    if (const auto status = NativeUpdateArchiveVerification::runIfRequested(configuration, arguments))
        return *status;

    const auto bundle = NativeBundle::main();
    const QString version = bundle ? bundle->infoString(QStringLiteral("CFBundleShortVersionString")).value_or(QString()) : QString();
    QByteArray behaviour;
    if (bundle) {
        QFile file(bundle->path() + QStringLiteral("/share/behaviour"));
        if (file.open(QIODevice::ReadOnly))
            behaviour = file.readAll().trimmed();
    }
    if (behaviour == "crash") {
        mark(QStringLiteral("crashed"), version);
        ::kill(::getpid(), SIGKILL);
    }
    mark(QStringLiteral("started"), version);
    if (behaviour == "stay") {
        // Long enough for any watch; a process a test forgot ends by itself.
        for (int i = 0; i < 200; ++i)
            ::usleep(100'000);
    }
    return 0;
}
