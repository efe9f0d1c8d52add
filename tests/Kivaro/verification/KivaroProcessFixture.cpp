#include "KivaroProcessFixture.h"

#include "Support/TaskTesting.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>

#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace KivaroProcessTesting {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QStringList files(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QJsonObject record(const QString &path)
{
    return QJsonDocument::fromJson(contents(path)).object();
}

KivaroProcessFixture::KivaroProcessFixture(const QString &homeName)
    : home(QDir::tempPath() + u'/' + homeName)
{
}

void KivaroProcessFixture::SetUp()
{
    makePrivateFolders();
    if (HasFatalFailure())
        return;
    seedUserState();
}

void KivaroProcessFixture::TearDown()
{
    EXPECT_EQ(fingerprint(), userState) << "the user's preferences, history, applications and cache are untouched";
    EXPECT_TRUE(files(home.filePath(QStringLiteral("tmp"))).isEmpty()) << "nothing left in the temporary folder";
    display.stopWindowManager();
}

void KivaroProcessFixture::makePrivateFolders()
{
    ASSERT_TRUE(display.isValid());
    ASSERT_TRUE(home.isValid());
    for (const char *name : {"config", "data", "cache", "runtime", "tmp"})
        ASSERT_EQ(::mkdir(QFile::encodeName(home.filePath(QString::fromLatin1(name))).constData(), 0700), 0);
}

void KivaroProcessFixture::seedUserState()
{
    QDir().mkpath(home.filePath(QStringLiteral("config/kivaro")));
    writeFile(home.filePath(QStringLiteral("config/kivaro/app.kivaro.Kivaro.plist")), QByteArrayLiteral("user preferences"));
    QDir().mkpath(home.filePath(QStringLiteral("data/Kivaro/Recent")));
    writeFile(home.filePath(QStringLiteral("data/Kivaro/Recent/keep.kivaro")), QByteArrayLiteral("a shot of the user"));
    // An application of the user's own, which a run's share menus must neither offer nor touch,
    // and something in the user's cache.
    QDir().mkpath(home.filePath(QStringLiteral("data/applications")));
    writeFile(home.filePath(QStringLiteral("data/applications/users-viewer.desktop")),
              QByteArrayLiteral("[Desktop Entry]\nType=Application\nName=Users Viewer\nExec=true %f\nMimeType=image/png;text/plain;\n"));
    QDir().mkpath(home.filePath(QStringLiteral("cache/kivaro")));
    writeFile(home.filePath(QStringLiteral("cache/kivaro/keep")), QByteArrayLiteral("the user's cache"));
    userState = fingerprint();
}

QStringList KivaroProcessFixture::fingerprint() const
{
    QStringList entries;
    for (const char *name : {"config", "data", "cache"}) {
        QDirIterator it(home.filePath(QString::fromLatin1(name)), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            entries.append(path + u' '
                           + QString::fromLatin1(QCryptographicHash::hash(contents(path), QCryptographicHash::Sha256).toHex()));
        }
    }
    entries.sort();
    return entries;
}

QString KivaroProcessFixture::evidence(const QString &name) const
{
    const QString path = home.filePath(name);
    if (!QFileInfo::exists(path))
        ::mkdir(QFile::encodeName(path).constData(), 0700);
    return path;
}

QProcessEnvironment KivaroProcessFixture::privateEnvironment(const QString &language, const QString &platform) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("TMPDIR"), home.filePath(QStringLiteral("tmp")));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
    env.insert(QStringLiteral("LANGUAGE"), language);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    env.remove(QStringLiteral("KIVARO_DATA_DIR"));
    env.remove(QStringLiteral("SESSION_MANAGER"));
    return env;
}

namespace {

// Waits for a started `process` to end within `timeoutMs`, else kills it.
Outcome outcomeOf(QProcess &process, int timeoutMs)
{
    Outcome outcome;
    if (!process.waitForStarted(5000))
        return outcome;
    outcome.finished = TestSupport::waitUntil([&] { return process.state() == QProcess::NotRunning; }, timeoutMs);
    if (!outcome.finished) {
        process.kill();
        process.waitForFinished(3000);
        return outcome;
    }
    outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.output = process.readAllStandardOutput();
    outcome.errors = process.readAllStandardError();
    return outcome;
}

} // namespace

Outcome KivaroProcessFixture::runKivaro(const QProcessEnvironment &env, const QStringList &arguments, int timeoutMs)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(KIVARO_EXECUTABLE), arguments);
    return outcomeOf(process, timeoutMs);
}

Outcome KivaroProcessFixture::runKivaroWithBytes(const QProcessEnvironment &env, const QList<QByteArray> &arguments, int timeoutMs)
{
    // The child QProcess forks, with its standard streams already connected, execs the program
    // with these bytes itself; QProcess's own exec (of `false`) runs only if that fails.
    QList<QByteArray> strings = {QByteArrayLiteral(KIVARO_EXECUTABLE)};
    strings += arguments;
    std::vector<char *> argv;
    for (QByteArray &string : strings)
        argv.push_back(string.data());
    argv.push_back(nullptr);
    QList<QByteArray> variables;
    for (const QString &variable : env.toStringList())
        variables.append(QFile::encodeName(variable));
    std::vector<char *> envp;
    for (QByteArray &variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    QProcess process;
    process.setChildProcessModifier([&] { ::execve(argv.front(), argv.data(), envp.data()); });
    process.start(QStringLiteral("false"), {});
    return outcomeOf(process, timeoutMs);
}

} // namespace KivaroProcessTesting
