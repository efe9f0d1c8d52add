// One running kivaro per user and display, whatever the running one is doing: stopped, flooded
// with connections, or without a runtime folder while someone else holds the usual name.

#include "ShellProcessFixture.h"

#include <QLocalServer>
#include <QLocalSocket>

#include <algorithm>
#include <csignal>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

using namespace ShellProcessTesting;

namespace {

struct stat statusOf(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        info.st_mode = 0;
    return info;
}

// The sockets in `folder`.
QStringList socketsIn(const QString &folder)
{
    QStringList found;
    for (const QString &name : QDir(folder).entryList(QDir::System | QDir::Hidden | QDir::NoDotAndDotDot))
        if (S_ISSOCK(statusOf(folder + QLatin1Char('/') + name).st_mode))
            found << folder + QLatin1Char('/') + name;
    return found;
}

class SingleInstanceProcess : public ShellProcess {
protected:
    QString runtime() const { return home.filePath(QStringLiteral("runtime")); }
    // Starts `app` in `env`, its standard error kept for the test.
    static bool startKeepingErrors(QProcess &app, const QProcessEnvironment &env)
    {
        app.setProcessEnvironment(env);
        app.setProcessChannelMode(QProcess::SeparateChannels);
        app.start(QStringLiteral(KIVARO_EXECUTABLE), {});
        return app.waitForStarted(5000);
    }
    static QString errors(QProcess &app) { return QString::fromLocal8Bit(app.readAllStandardError()); }
};

} // namespace

TEST_F(SingleInstanceProcess, ALaunchBesideAStoppedInstanceSaysItIsBusyAndLeavesItsSocketAlone)
{
    ASSERT_TRUE(launch());
    const QStringList sockets = socketsIn(runtime());
    ASSERT_EQ(sockets.size(), 1);
    const ino_t served = statusOf(sockets.first()).st_ino;

    // Stopped, the instance's socket takes the connection but nothing answers.
    ASSERT_EQ(::kill(pid_t(first.processId()), SIGSTOP), 0);
    ASSERT_TRUE(startKeepingErrors(second, environment()));
    const bool secondEnded = ended(second, 15000);
    ::kill(pid_t(first.processId()), SIGCONT);
    ASSERT_TRUE(secondEnded) << "the second launch runs as an instance of its own";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_TRUE(errors(second).contains(QStringLiteral("Kivaro 已在运行，但没有响应"))) << "it says why it did not start";
    EXPECT_EQ(socketsIn(runtime()), sockets);
    EXPECT_EQ(statusOf(sockets.first()).st_ino, served) << "the socket is still the first instance's";

    // Going again, the instance takes the next launch's request.
    ASSERT_TRUE(start(third));
    ASSERT_TRUE(ended(third));
    EXPECT_EQ(third.exitCode(), 0);
    EXPECT_TRUE(waitUntil([&] { return !settingsWindow(first).isEmpty(); }));
    first.terminate();
    ASSERT_TRUE(ended(first));
    EXPECT_TRUE(socketsIn(runtime()).isEmpty()) << "the instance removes its socket when it quits";
}

TEST_F(SingleInstanceProcess, AnInstanceServesOnAfterMoreConnectionsThanItHasDescriptors)
{
    // The instance gets the usual 1,024 descriptors; this side holds more than that.
    rlimit own {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &own), 0);
    own.rlim_cur = std::max<rlim_t>(own.rlim_cur, std::min<rlim_t>(own.rlim_max, 2048));
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &own), 0);
    ASSERT_GE(own.rlim_cur, rlim_t(1100));
    first.setChildProcessModifier([] {
        const rlimit usual{1024, 1024};
        ::setrlimit(RLIMIT_NOFILE, &usual);
    });
    ASSERT_TRUE(launch());
    const QStringList sockets = socketsIn(runtime());
    ASSERT_EQ(sockets.size(), 1);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(sockets.first());
    ASSERT_LT(size_t(path.size()), sizeof address.sun_path);
    std::copy(path.begin(), path.end(), address.sun_path);

    std::vector<int> held;
    for (int i = 0; i < 1019; ++i) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const timeval patience{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
        if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
            ::close(fd);
            break;
        }
        held.push_back(fd);
    }
    EXPECT_EQ(held.size(), 1019u);
    // Each ends from the instance's side: at once beyond the few served together, the others
    // when their request does not come.
    EXPECT_TRUE(waitUntil(
        [&] {
            return std::all_of(held.begin(), held.end(), [](int fd) {
                char byte = 0;
                return ::recv(fd, &byte, 1, MSG_DONTWAIT) == 0;
            });
        },
        15000));
    for (const int fd : held)
        ::close(fd);
    EXPECT_EQ(socketsIn(runtime()), sockets);

    ASSERT_TRUE(start(second));
    ASSERT_TRUE(ended(second)) << "the second launch runs as an instance of its own";
    EXPECT_EQ(second.exitCode(), 0);
    first.terminate();
    EXPECT_TRUE(ended(first));
}

TEST_F(SingleInstanceProcess, WithoutARuntimeFolderTheSocketIsInAPrivateFolderNobodyElseCanTake)
{
    QProcessEnvironment env = environment();
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    const QString temporary = home.filePath(QStringLiteral("tmp"));
    ASSERT_TRUE(QDir().mkpath(temporary));
    env.insert(QStringLiteral("TMPDIR"), temporary);

    // Another user listens first at the name launches used in the shared temporary folder and
    // answers every request.
    QString display = env.value(QStringLiteral("DISPLAY"));
    for (QChar &c : display)
        if (!c.isLetterOrNumber())
            c = QLatin1Char('_');
    QLocalServer squatter;
    squatter.setSocketOptions(QLocalServer::WorldAccessOption);
    ASSERT_TRUE(squatter.listen(QStringLiteral("%1/kivaro-%2-%3").arg(temporary).arg(::getuid()).arg(display)));
    int swallowed = 0;
    QObject::connect(&squatter, &QLocalServer::newConnection, [&] {
        while (QLocalSocket *client = squatter.nextPendingConnection()) {
            ++swallowed;
            client->write("ok\n");
            client->flush();
        }
    });

    ASSERT_TRUE(startKeepingErrors(first, env));
    EXPECT_TRUE(waitUntil([&] { return !settingsWindow(first).isEmpty(); }, 10000)) << errors(first).toStdString();
    EXPECT_EQ(swallowed, 0);
    const QString folder = QStringLiteral("%1/kivaro-runtime-%2").arg(temporary).arg(::geteuid());
    EXPECT_TRUE(S_ISDIR(statusOf(folder).st_mode));
    EXPECT_EQ(statusOf(folder).st_mode & 07777, 0700u);
    EXPECT_EQ(socketsIn(folder).size(), 1);
    ASSERT_TRUE(startKeepingErrors(second, env));
    ASSERT_TRUE(ended(second));
    EXPECT_EQ(second.exitCode(), 0) << "the next launch found the instance there";
    first.terminate();
    ASSERT_TRUE(ended(first));

    // A link in the folder's place, or a folder open to others, is refused and names the fault.
    const QString elsewhere = home.filePath(QStringLiteral("elsewhere"));
    ASSERT_EQ(::mkdir(QFile::encodeName(elsewhere).constData(), 0700), 0);
    ASSERT_TRUE(QDir(folder).removeRecursively());
    ASSERT_EQ(::symlink(QFile::encodeName(elsewhere).constData(), QFile::encodeName(folder).constData()), 0);
    ASSERT_TRUE(startKeepingErrors(third, env));
    ASSERT_TRUE(ended(third));
    EXPECT_EQ(third.exitCode(), 1);
    EXPECT_TRUE(errors(third).contains(QStringLiteral("是符号链接"))) << "it says why";
    ASSERT_EQ(::unlink(QFile::encodeName(folder).constData()), 0);
    ASSERT_EQ(::mkdir(QFile::encodeName(folder).constData(), 0700), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    ASSERT_TRUE(startKeepingErrors(third, env));
    ASSERT_TRUE(ended(third));
    EXPECT_EQ(third.exitCode(), 1);
    EXPECT_TRUE(errors(third).contains(QStringLiteral("755")));
    EXPECT_TRUE(QDir(elsewhere).isEmpty());
    EXPECT_TRUE(socketsIn(folder).isEmpty());
    EXPECT_EQ(swallowed, 0);
}
