#include "UpdaterTestSupport.h"

#include "NativeAppUpdater/NativeUpdateManifest.h"

#include "Platform/PropertyList/PropertyList.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <stdexcept>
#include <sys/stat.h>

using namespace NativeAppUpdater;

namespace UpdaterTesting {

namespace {

void writeFile(const QString &path, const QByteArray &bytes, QFileDevice::Permissions permissions = {})
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write a test file");
    file.close();
    if (permissions)
        file.setPermissions(permissions);
}

QByteArray behaviourText(Behaviour behaviour)
{
    switch (behaviour) {
    case Behaviour::stay:
        return "stay";
    case Behaviour::crash:
        return "crash";
    case Behaviour::exitAtOnce:
        return "exit";
    }
    return {};
}

NativeReleaseTool::BundleDescription descriptionOf(const BundleRecipe &recipe)
{
    NativeReleaseTool::BundleDescription description;
    description.identifier = recipe.identifier;
    description.team = recipe.team;
    description.version = recipe.version;
    description.build = recipe.build;
    return description;
}

class ManualCall final : public ScheduledCall {
public:
    explicit ManualCall(std::weak_ptr<bool> alive) : m_alive(std::move(alive)) {}
    ~ManualCall() override
    {
        if (auto alive = m_alive.lock())
            *alive = false;
    }

private:
    std::weak_ptr<bool> m_alive;
};

} // namespace

const Keys &Keys::shared()
{
    static const Keys keys{Ed25519::generate(), Ed25519::generate()};
    return keys;
}

NativeUpdateConfiguration configuration(const QUrl &manifestURL)
{
    NativeUpdateTrust trust;
    trust.signingKeys = {Keys::shared().signing.publicKey};
    trust.countersigningKeys = {Keys::shared().countersigning.publicKey};
    return NativeUpdateConfiguration(QStringLiteral("kivaro"), QStringLiteral("Kivaro"), QString::fromLatin1(bundleIdentifier),
                                     QString::fromLatin1(teamIdentifier), manifestURL, {QStringLiteral("127.0.0.1")}, true, trust);
}

QString testApplication()
{
    return QStringLiteral(UPDATER_TEST_APPLICATION);
}

QString makeBundle(const QString &folder, const BundleRecipe &recipe, const Keys &keys)
{
    QTemporaryDir build(QDir::tempPath() + QStringLiteral("/kivaro-build-XXXXXX"));
    const QString root = build.path() + QStringLiteral("/build");
    QByteArray executable;
    if (recipe.executable) {
        executable = *recipe.executable;
    } else {
        QFile application(testApplication());
        if (!application.open(QIODevice::ReadOnly))
            throw std::runtime_error("the test application is missing");
        executable = application.readAll();
    }
    writeFile(root + QStringLiteral("/bin/kivaro"), executable,
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    writeFile(root + QStringLiteral("/lib/libkivaro-test.so.1"), QByteArray("library of build ") + QByteArray::number(recipe.build));
    QFile::link(QStringLiteral("libkivaro-test.so.1"), root + QStringLiteral("/lib/libkivaro-test.so"));
    writeFile(root + QStringLiteral("/share/behaviour"), behaviourText(recipe.behaviour));
    for (auto it = recipe.extraFiles.cbegin(); it != recipe.extraFiles.cend(); ++it)
        writeFile(root + QLatin1Char('/') + it.key(), it.value());
    QDir().mkpath(folder);
    const QString bundle = NativeReleaseTool::assembleBundle(root, folder, descriptionOf(recipe));
    if (recipe.infoBuild) {
        QFile file(bundle + QStringLiteral("/Info.plist"));
        file.open(QIODevice::ReadOnly);
        QVariantMap info = Platform::decodePropertyList(file.readAll()).toMap();
        file.close();
        info.insert(QStringLiteral("CFBundleVersion"), *recipe.infoBuild);
        writeFile(bundle + QStringLiteral("/Info.plist"), Platform::encodePropertyList(info));
    }
    resign(bundle, recipe, keys);
    return bundle;
}

void resign(const QString &bundlePath, const BundleRecipe &recipe, const Keys &keys)
{
    NativeReleaseTool::signBundle(bundlePath, descriptionOf(recipe).sealHeader(), keys.signing.privateKey, keys.countersigning.privateKey);
}

QByteArray zipOf(const QString &bundlePath)
{
    return NativeReleaseTool::writeZip(NativeReleaseTool::entriesOfFolder(bundlePath));
}

NativeUpdateManifest manifestFor(const QByteArray &zip, const BundleRecipe &recipe, const QString &url)
{
    return NativeReleaseTool::manifestFor(zip, QStringLiteral("kivaro"), recipe.version, recipe.build, url, std::nullopt);
}

QProcessEnvironment applicationEnvironment(const QString &configurationFile, const QString &markerFolder)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KIVARO_TEST_UPDATER_CONFIG"), configurationFile);
    environment.insert(QStringLiteral("KIVARO_TEST_MARKER_DIR"), markerFolder);
    return environment;
}

void writeApplicationConfiguration(const QString &path, const NativeUpdateConfiguration &configuration)
{
    auto keys = [](const QList<QByteArray> &list) {
        QJsonArray array;
        for (const QByteArray &key : list)
            array << QString::fromLatin1(key.toBase64());
        return array;
    };
    const QJsonObject object{
        {QStringLiteral("product"), configuration.product},
        {QStringLiteral("appName"), configuration.appName},
        {QStringLiteral("bundleIdentifier"), configuration.bundleIdentifier},
        {QStringLiteral("teamIdentifier"), configuration.teamIdentifier},
        {QStringLiteral("signingKeys"), keys(configuration.trust.signingKeys)},
        {QStringLiteral("countersigningKeys"), keys(configuration.trust.countersigningKeys)},
    };
    writeFile(path, QJsonDocument(object).toJson());
}

QList<qint64> markedProcesses(const QString &markerFolder, const QString &prefix)
{
    QList<qint64> pids;
    for (const QString &name : QDir(markerFolder).entryList(QDir::Files, QDir::Name)) {
        if (name.startsWith(prefix + QLatin1Char('-')))
            pids << name.section(QLatin1Char('-'), -1).toLongLong();
    }
    return pids;
}

void endTestProcesses(const QString &markerFolder)
{
    // The installers a test started, and the applications they started in turn, carry the
    // folder in their environment. One that has not written its marker yet (an application still
    // starting, a second one behind the first) would write into the folder while it is removed.
    // Process ids wrap, so the environment, not a marker, says which processes are ours; the
    // scan repeats until it finds none, as a process being ended may still start another.
    const QByteArray entry = "KIVARO_TEST_MARKER_DIR=" + QFile::encodeName(markerFolder);
    const qint64 self = QCoreApplication::applicationPid();
    for (int round = 0; round < 100; ++round) {
        bool found = false;
        for (const QString &name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            bool number = false;
            const qint64 pid = name.toLongLong(&number);
            if (!number || pid <= 1 || pid == self)
                continue;
            QFile environment(QStringLiteral("/proc/%1/environ").arg(pid));
            if (environment.open(QIODevice::ReadOnly) && environment.readAll().split('\0').contains(entry)) {
                ::kill(pid_t(pid), SIGKILL);
                found = true;
            }
        }
        if (!found)
            return;
        QThread::msleep(20);
    }
}

QStringList treeListing(const QString &folder)
{
    QStringList lines;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat info {};
        ::lstat(QFile::encodeName(path).constData(), &info);
        QFile file(path);
        const QByteArray digest = S_ISREG(info.st_mode) && file.open(QIODevice::ReadOnly) ? file.readAll().toHex().left(16) : QByteArray();
        lines << QStringLiteral("%1 %2 %3 %4").arg(QDir(folder).relativeFilePath(path)).arg(info.st_mode, 0, 8).arg(info.st_size).arg(QString::fromLatin1(digest));
    }
    lines.sort();
    return lines;
}

std::unique_ptr<ScheduledCall> ManualClock::schedule(double seconds, bool repeating, std::function<void()> fire)
{
    auto entry = std::make_shared<Entry>(Entry{m_now + seconds, seconds, repeating, true, std::move(fire)});
    auto alive = std::shared_ptr<bool>(entry, &entry->alive);
    m_entries.push_back(entry);
    return std::make_unique<ManualCall>(alive);
}

void ManualClock::advance(double seconds)
{
    const double target = m_now + seconds;
    for (;;) {
        std::erase_if(m_entries, [](const auto &entry) { return !entry->alive; });
        auto next = std::min_element(m_entries.begin(), m_entries.end(), [](const auto &a, const auto &b) { return a->due < b->due; });
        if (next == m_entries.end() || (*next)->due > target)
            break;
        const std::shared_ptr<Entry> entry = *next;
        m_now = entry->due;
        if (entry->repeating)
            entry->due += entry->interval;
        else
            entry->alive = false;
        auto fire = entry->fire;
        fire();
    }
    m_now = target;
}

std::vector<double> ManualClock::pending() const
{
    std::vector<double> due;
    for (const auto &entry : m_entries) {
        if (entry->alive)
            due.push_back(entry->due - m_now);
    }
    std::sort(due.begin(), due.end());
    return due;
}

} // namespace UpdaterTesting
