#pragma once
// Shared pieces of the updater's tests: keys made at run time, a configuration that trusts
// them, signed test bundles built with the release tool's own functions around the test
// application (a small program that runs the installer mode and otherwise behaves as its bundle
// says), and a clock the tests move by hand.

#include "NativeAppUpdater/Ed25519.h"
#include "NativeAppUpdater/NativeReleaseTool.h"
#include "NativeAppUpdater/NativeUpdateConfiguration.h"
#include "NativeAppUpdater/UpdaterClock.h"

#include <QByteArray>
#include <QMap>
#include <QProcessEnvironment>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <vector>

namespace UpdaterTesting {

constexpr const char *bundleIdentifier = "app.kivaro.Kivaro";
constexpr const char *teamIdentifier = "TESTTEAM01";

struct Keys {
    NativeAppUpdater::Ed25519::KeyPair signing;
    NativeAppUpdater::Ed25519::KeyPair countersigning;
    static const Keys &shared();
};

// Product "kivaro", application "Kivaro", the test identifiers, 127.0.0.1 as the one allowed
// host, enabled, trusting the shared keys.
NativeAppUpdater::NativeUpdateConfiguration configuration(const QUrl &manifestURL = QUrl(QStringLiteral("https://127.0.0.1/downloads/update.json")));

// What the test application does when started as an application (not as the installer).
enum class Behaviour { stay, crash, exitAtOnce };

struct BundleRecipe {
    QString version = QStringLiteral("1.0");
    qint64 build = 1;
    QString identifier = QString::fromLatin1(bundleIdentifier);
    QString team = QString::fromLatin1(teamIdentifier);
    Behaviour behaviour = Behaviour::stay;
    // Replaces the test application as the executable when set.
    std::optional<QByteArray> executable;
    // Info.plist's CFBundleVersion when it must differ from the build (" 42" and the like).
    std::optional<QString> infoBuild;
    QMap<QString, QByteArray> extraFiles;
};

// The test application's path (built beside the tests).
QString testApplication();

// Makes "<folder>/Kivaro.app" from a small build folder (bin/kivaro, a library and a link to it,
// share/behaviour), sealed and signed with `keys`. Returns the bundle's path.
QString makeBundle(const QString &folder, const BundleRecipe &recipe, const Keys &keys = Keys::shared());
// Seals and signs a bundle folder again, as it is now.
void resign(const QString &bundlePath, const BundleRecipe &recipe, const Keys &keys = Keys::shared());
// The release zip of a bundle folder.
QByteArray zipOf(const QString &bundlePath);
// A manifest for a zip, downloadable from `url`.
NativeAppUpdater::NativeUpdateManifest manifestFor(const QByteArray &zip, const BundleRecipe &recipe, const QString &url);

// The environment for the test application: its configuration file and the folder where it
// records each start ("started-<version>-<pid>" and "crashed-<version>-<pid>").
QProcessEnvironment applicationEnvironment(const QString &configurationFile, const QString &markerFolder);
// Writes the configuration the test application reads.
void writeApplicationConfiguration(const QString &path, const NativeAppUpdater::NativeUpdateConfiguration &configuration);

// The process ids recorded in a marker folder, by marker kind ("started-1.0" and the like).
QList<qint64> markedProcesses(const QString &markerFolder, const QString &prefix);
// Ends every process, other than this one, that runs with the marker folder in its environment,
// started yet or not.
void endTestProcesses(const QString &markerFolder);

// Every file, folder and link below `folder`, with kind and mode, for "nothing else changed".
QStringList treeListing(const QString &folder);

class ManualClock final : public NativeAppUpdater::UpdaterClock {
public:
    double now() const override { return m_now; }
    std::unique_ptr<NativeAppUpdater::ScheduledCall> schedule(double seconds, bool repeating, std::function<void()> fire) override;
    // Moves the time forward, firing every call that falls due on the way, in order.
    void advance(double seconds);
    void setNow(double now) { m_now = now; }
    // Due times of the calls still scheduled, soonest first, relative to now.
    std::vector<double> pending() const;

private:
    struct Entry {
        double due;
        double interval;
        bool repeating;
        bool alive = true;
        std::function<void()> fire;
    };
    double m_now = 1'700'000'000;
    std::vector<std::shared_ptr<Entry>> m_entries;
};

} // namespace UpdaterTesting
