// The install as a user makes it from a fresh clone: the first configure of a build folder, then
// `cmake --install` of this build into a prefix whose name holds a space, quotes, a dollar sign
// and a field code, under umask 000. The installed bundle is moved elsewhere and started on an X
// server of this executable's own with private XDG folders.

#include "Kivaro/verification/KivaroProcessFixture.h"
#include "Platform/Sharing/DesktopEntry.h"
#include "Support/ClientProcess.h"
#include "Support/TaskTesting.h"
#include "Support/TestRun.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>

using KivaroProcessTesting::contents;
using TestSupport::runClient;
using TestSupport::waitUntil;

namespace {

struct CMakeRun {
    bool ok = false;
    QByteArray output; // standard output and error, for the failure message
};

// Runs cmake to its end; `umaskZero` runs it under umask 000.
CMakeRun cmake(const QStringList &arguments, bool umaskZero = false)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (umaskZero)
        process.setChildProcessModifier([] { ::umask(0); });
    process.start(QStringLiteral(KIVARO_CMAKE_COMMAND), arguments);
    const bool finished = process.waitForFinished(120'000);
    if (!finished)
        process.kill();
    process.waitForFinished(3000);
    return {finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0, process.readAll()};
}

QJsonObject jsonFile(const QString &path)
{
    return QJsonDocument::fromJson(contents(path)).object();
}

// Permission bits of `path` itself (links not followed).
int mode(const QString &path)
{
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 07777) : -1;
}

class Install : public KivaroProcessTesting::KivaroProcessFixture {
protected:
    Install() : KivaroProcessFixture(QStringLiteral("kivaro-install-XXXXXX")) {}
    // Private folders with no state of the user's seeded: the launch writes its first
    // preferences like any first launch.
    void SetUp() override { makePrivateFolders(); }
    void TearDown() override
    {
        if (app.state() != QProcess::NotRunning) {
            app.kill();
            app.waitForFinished(3000);
        }
        EXPECT_TRUE(KivaroProcessTesting::files(home.filePath(QStringLiteral("tmp"))).isEmpty()) << "nothing left in the temporary folder";
    }
    // Whether `app` has mapped its settings window.
    bool settingsWindowMapped()
    {
        const TestSupport::ClientResult search =
            runClient(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
                                                  QStringLiteral("--pid"), QString::number(app.processId()), QStringLiteral("--name"),
                                                  QStringLiteral("^设置$")});
        return search.finished && search.exitCode == 0 && !search.output.trimmed().isEmpty();
    }

    QProcess app;
};

} // namespace

// The speech recogniser's project asks for an old CMake, under which its BUILD_SHARED_LIBS
// option used to win over ours on the first configure only.
TEST_F(Install, AFirstConfigureBuildsNoSharedLibrary)
{
    const QString build = home.filePath(QStringLiteral("fresh build"));
    ASSERT_TRUE(QDir().mkpath(build + QStringLiteral("/.cmake/api/v1/query")));
    KivaroProcessTesting::writeFile(build + QStringLiteral("/.cmake/api/v1/query/codemodel-v2"), {});
    const CMakeRun configured = cmake({QStringLiteral("-S"), QStringLiteral(KIVARO_SOURCE_DIR), QStringLiteral("-B"), build,
                                       QStringLiteral("-G"), QStringLiteral(KIVARO_CMAKE_GENERATOR)});
    ASSERT_TRUE(configured.ok) << configured.output.constData();

    const QString replies = build + QStringLiteral("/.cmake/api/v1/reply/");
    const QStringList indexes = QDir(replies).entryList({QStringLiteral("index-*.json")});
    ASSERT_EQ(indexes.size(), 1);
    const QJsonObject index = jsonFile(replies + indexes.first());
    const QString codemodel = index[QStringLiteral("reply")][QStringLiteral("codemodel-v2")][QStringLiteral("jsonFile")].toString();
    const QJsonArray configurations = jsonFile(replies + codemodel)[QStringLiteral("configurations")].toArray();
    ASSERT_EQ(configurations.size(), 1);
    QMap<QString, QString> types;
    for (const QJsonValue &target : configurations.first()[QStringLiteral("targets")].toArray())
        types.insert(target[QStringLiteral("name")].toString(),
                     jsonFile(replies + target[QStringLiteral("jsonFile")].toString())[QStringLiteral("type")].toString());
    for (const char *name : {"whisper", "ggml", "ggml-base", "ggml-cpu"})
        EXPECT_EQ(types.value(QString::fromLatin1(name)), QStringLiteral("STATIC_LIBRARY")) << name;
    QStringList shared;
    for (auto it = types.cbegin(); it != types.cend(); ++it)
        if (it.value() == QStringLiteral("SHARED_LIBRARY") || it.value() == QStringLiteral("MODULE_LIBRARY"))
            shared << it.key();
    EXPECT_EQ(shared, QStringList());
}

TEST_F(Install, TheInstalledBundleStartsWhereverItIsMovedAndItsEntryNamesTheCommand)
{
    // The bundle in the build folder needs nothing from the build folder.
    const TestSupport::ClientResult libraries = runClient(QStringLiteral("ldd"), {QStringLiteral(KIVARO_EXECUTABLE)});
    ASSERT_TRUE(libraries.finished && libraries.exitCode == 0);
    QByteArrayList unresolved;
    for (const QByteArray &line : libraries.output.split('\n'))
        if (line.contains(QFile::encodeName(QStringLiteral(KIVARO_BUILD_DIR))) || line.contains("not found"))
            unresolved << line.trimmed();
    EXPECT_EQ(unresolved, QByteArrayList());

    const QString prefix = home.filePath(QStringLiteral("Apps %u/Kivaro \"test\" $HOME `id`"));
    const CMakeRun installed =
        cmake({QStringLiteral("--install"), QStringLiteral(KIVARO_BUILD_DIR), QStringLiteral("--prefix"), prefix}, true);
    ASSERT_TRUE(installed.ok) << installed.output.constData();

    // Every folder the install made is 0755, every file 0644 but the program.
    const QString program = prefix + QStringLiteral("/opt/Kivaro.app/bin/kivaro");
    const QString command = prefix + QStringLiteral("/bin/kivaro");
    QStringList made{home.filePath(QStringLiteral("Apps %u")), prefix};
    QDirIterator it(prefix, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        made << it.next();
    for (const QString &path : std::as_const(made)) {
        const QFileInfo info(path);
        if (info.isSymLink())
            EXPECT_EQ(path, command);
        else if (info.isDir())
            EXPECT_EQ(mode(path), 0755) << path.toStdString();
        else
            EXPECT_EQ(mode(path), path == program ? 0755 : 0644) << path.toStdString();
    }
    EXPECT_EQ(QFileInfo(command).symLinkTarget(), program);

    // The desktop entry, read by the entry rules, runs exactly the installed command.
    const auto entry = Platform::DesktopEntry::parse(prefix + QStringLiteral("/share/applications/app.kivaro.Kivaro.desktop"),
                                                     QStringLiteral("app.kivaro.Kivaro.desktop"), {});
    ASSERT_TRUE(entry.has_value());
    EXPECT_TRUE(entry->isApplication);
    const QString shot = home.filePath(QStringLiteral("shot.png"));
    EXPECT_EQ(entry->command(shot), (QStringList{command, shot}));

    // The bundle moved elsewhere starts, maps its settings window and ends on SIGTERM.
    const QString moved = home.filePath(QStringLiteral("moved/Kivaro.app"));
    ASSERT_TRUE(QDir().mkpath(home.filePath(QStringLiteral("moved"))));
    ASSERT_TRUE(QDir().rename(prefix + QStringLiteral("/opt/Kivaro.app"), moved));
    app.setProcessEnvironment(privateEnvironment(QStringLiteral("zh_CN"), QStringLiteral("xcb")));
    app.start(moved + QStringLiteral("/bin/kivaro"), {});
    ASSERT_TRUE(app.waitForStarted(5000));
    ASSERT_TRUE(waitUntil([&] { return app.state() == QProcess::NotRunning || settingsWindowMapped(); }, 15000));
    ASSERT_EQ(app.state(), QProcess::Running) << "ended with " << app.exitCode() << ": " << app.readAllStandardError().constData();
    ::kill(pid_t(app.processId()), SIGTERM);
    ASSERT_TRUE(waitUntil([&] { return app.state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
}

int main(int argc, char **argv)
{
    return TestSupport::runTestsOnOwnXServer(argc, argv, QSize(1280, 800));
}
