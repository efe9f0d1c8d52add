// What a process run cannot see of the verification frame: the launch rules, the folder policy,
// the window picture's own check and where a run keeps the editor's history.

#include "Kivaro/recent/RecentShots.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "Kivaro/verification/ScenarioDispatch.h"
#include "KivaroCore/ShotError.h"
#include "KivaroCore/VerificationRun.h"
#include "Support/LaunchArgumentsScope.h"
#include "Support/TaskTesting.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Kivaro;
using namespace Kivaro::PrototypeVerification;

namespace {

QStringList args(std::initializer_list<const char *> items)
{
    QStringList list{QStringLiteral("kivaro")};
    for (const char *item : items)
        list.append(QString::fromLatin1(item));
    return list;
}

QString shotErrorOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const ShotError &error) {
        return error.text();
    }
    return QString();
}

class Painted : public QWidget {
public:
    explicit Painted(QColor colour) : m_colour(colour)
    {
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_NoSystemBackground);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(rect(), m_colour);
    }

private:
    QColor m_colour;
};

} // namespace

TEST(VerificationLaunch, OneModeAtMostOneScenarioAndAFolderAfterItsFlag)
{
    EXPECT_FALSE(launchUsageError(args({})));
    EXPECT_FALSE(launchUsageError(args({"--verify"})));
    EXPECT_FALSE(launchUsageError(args({"--verify", "--verify-basics", "--evidence-dir", "/x"})));
    EXPECT_FALSE(launchUsageError(args({"--verify-updater", "--evidence-dir", "relative"})));
    EXPECT_TRUE(launchUsageError(args({"--verify", "--verify-icon", "--verify-privacy"})));
    EXPECT_TRUE(launchUsageError(args({"--verify", "--verify-basics", "--verify-basics"})));
    EXPECT_TRUE(launchUsageError(args({"--verify", "--verify-updater"})));
    EXPECT_TRUE(launchUsageError(args({"--ui-session", "--verify"})));
    EXPECT_TRUE(launchUsageError(args({"--verify", "--evidence-dir"})));
    EXPECT_TRUE(launchUsageError(args({"--verify", "--evidence-dir", "--verify-basics"})));
    EXPECT_TRUE(launchUsageError(args({"--verify", "--evidence-dir", "/a", "--evidence-dir", "/b"})));
    // The program path is not an option, whatever it is called.
    EXPECT_FALSE(launchUsageError({QStringLiteral("--verify"), QStringLiteral("--verify")}));
    // A misspelled scenario would run the full suite in its place.
    EXPECT_EQ(launchUsageError(args({"--verify", "--verify-basic"})), QStringLiteral("--verify-basic is not a scenario of --verify"));
    EXPECT_TRUE(launchUsageError(args({"--verify-basics", "--verify", "--verify-Basics"})));
    // A folder name is taken as the bytes it is: one that is no UTF-8 text is refused, whatever
    // text its decoding would give; a UTF-8 one (Chinese here) is the folder's own name.
    const QList<QByteArray> notText = {"kivaro", "--verify", "--evidence-dir", "/tmp/\xe8\xaf\x81-\xff"};
    EXPECT_EQ(launchUsageError(notText), QStringLiteral("the folder after --evidence-dir is not UTF-8 text: /tmp/证-\\xff"));
    EXPECT_FALSE(launchUsageError(QList<QByteArray>{"kivaro", "--verify", "--evidence-dir", "/tmp/\xe8\xaf\x81\xe6\x8d\xae"}));
    EXPECT_TRUE(launchUsageError(QList<QByteArray>{"kivaro", "--verify", "--evidence-dir"}));
}

TEST(VerificationLaunch, TheDispatchPicksOneRunnerAndNamesItsFolder)
{
    EXPECT_TRUE(Verification::selectedScenario(args({"--verify-visibility"})).isNull()) << "a scenario flag alone starts nothing";
    EXPECT_EQ(Verification::selectedScenario(args({"--verify"})), QString(""));
    EXPECT_FALSE(Verification::selectedScenario(args({"--verify"})).isNull());
    EXPECT_EQ(Verification::selectedScenario(args({"--capture-live", "--verify"})), QStringLiteral("--capture-live"));
    EXPECT_EQ(scenarioFlags().indexOf(QStringLiteral("--verify-visibility")), 1);
    EXPECT_EQ(scenarioFlags().indexOf(QStringLiteral("--verify-quit-capture")), 2);
    EXPECT_EQ(scenarioFlags().indexOf(QStringLiteral("--verify-basics")), 3);
    EXPECT_TRUE(Verification::isBuilt(QStringLiteral("--verify-basics")));
    EXPECT_TRUE(Verification::isBuilt(QStringLiteral("--verify-privacy")));
    EXPECT_TRUE(Verification::isBuilt(QStringLiteral("--verify-localization")));
    for (const QString &flag : scenarioFlags())
        EXPECT_TRUE(Verification::isBuilt(flag)) << flag.toStdString() << ": every scenario of its own is built";
    EXPECT_TRUE(Verification::isBuilt(QString(""))) << "the full suite";
    EXPECT_FALSE(Verification::isBuilt(QString())) << "no run without --verify";

    // A run whose folder cannot be used says so with the line of its runner: the full suite's
    // failure line for "--verify" alone, the launcher's otherwise.
    EXPECT_EQ(Verification::launchRefusal(args({"--verify"}), QStringLiteral("no folder")),
              QStringLiteral("Kivaro verification failed: no folder\n"));
    EXPECT_EQ(Verification::launchRefusal(args({"--verify", "--verify-basics"}), QStringLiteral("no folder")),
              QStringLiteral("kivaro: no folder\n"));
    EXPECT_EQ(Verification::launchRefusal(args({"--ui-session"}), QStringLiteral("no folder")), QStringLiteral("kivaro: no folder\n"));

    EXPECT_EQ(runnerName(args({"--verify", "--verify-quit-capture"})), QStringLiteral("quit-capture"));
    EXPECT_EQ(runnerName(args({"--verify", "--capture-live"})), QStringLiteral("capture-live"));
    EXPECT_EQ(runnerName(args({"--verify"})), QStringLiteral("verification"));
    EXPECT_EQ(runnerName(args({"--ui-session"})), QStringLiteral("verification"));
    EXPECT_EQ(runnerName(args({"--verify-updater"})), QStringLiteral("updater"));
}

TEST(VerificationFolder, ANamedFolderIsMadePrivateOrMustBeTheUsersOwn)
{
    QTemporaryDir home;
    const QString made = home.filePath(QStringLiteral("a/b"));
    EXPECT_FALSE(checkNamedFolder(made));
    struct stat info = {};
    ASSERT_EQ(::lstat(QFile::encodeName(made).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    const QString open = home.filePath(QStringLiteral("open"));
    ASSERT_EQ(::mkdir(QFile::encodeName(open).constData(), 0700), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 0702), 0);
    EXPECT_TRUE(checkNamedFolder(open)->endsWith(QStringLiteral("is writable by others")));
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 0755), 0);
    EXPECT_FALSE(checkNamedFolder(open)) << "readable by others is fine";

    QFile file(home.filePath(QStringLiteral("file")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_TRUE(checkNamedFolder(file.fileName())->endsWith(QStringLiteral("is not a folder")));
    ASSERT_TRUE(QFile::link(made, home.filePath(QStringLiteral("link"))));
    EXPECT_TRUE(checkNamedFolder(home.filePath(QStringLiteral("link")))->endsWith(QStringLiteral("is a symbolic link")));
    ASSERT_TRUE(QFile::link(home.filePath(QStringLiteral("nowhere")), home.filePath(QStringLiteral("dangling"))));
    EXPECT_TRUE(checkNamedFolder(home.filePath(QStringLiteral("dangling")))->endsWith(QStringLiteral("is a symbolic link")));
    EXPECT_FALSE(QFileInfo::exists(home.filePath(QStringLiteral("nowhere")))) << "nothing made at a dangling link's target";
}

// The run's preferences move under its folder; the user's folder is never named again.
TEST(VerificationFolder, IsolatingARunPointsThePreferencesIntoItsFolder)
{
    QTemporaryDir home;
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    const QByteArray savedDataHome = qgetenv("XDG_DATA_HOME");
    const QByteArray savedCache = qgetenv("XDG_CACHE_HOME");
    const auto restore = [](const char *name, const QByteArray &value) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    };
    const QString folder = home.filePath(QStringLiteral("evidence"));
    const QStringList arguments = args({"--verify", "--verify-basics", "--evidence-dir"}) + QStringList{folder};
    TestSupport::LaunchArgumentsScope scope(arguments);
    EXPECT_FALSE(isolateRun(arguments));
    EXPECT_EQ(QFile::decodeName(qgetenv("XDG_CONFIG_HOME")), folder + QStringLiteral("/config"));
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/config")).isDir());
    EXPECT_EQ(RecentShots::defaultDirectory(arguments, QProcessEnvironment()), folder + QStringLiteral("/recent-data"));
    // Desktop entries, caches and anything else kept in the data and cache folders go there too;
    // the user's data folder stays known for reading what the user installed.
    EXPECT_EQ(QFile::decodeName(qgetenv("XDG_DATA_HOME")), folder + QStringLiteral("/data"));
    EXPECT_EQ(QFile::decodeName(qgetenv("XDG_CACHE_HOME")), folder + QStringLiteral("/cache"));
    for (const char *made : {"/data", "/cache"}) {
        struct stat info = {};
        ASSERT_EQ(::lstat(QFile::encodeName(folder + QLatin1String(made)).constData(), &info), 0) << made;
        EXPECT_EQ(info.st_mode & 07777, 0700u) << made;
    }
    EXPECT_EQ(userDataHome(), savedDataHome.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/share") : QFile::decodeName(savedDataHome));
    qputenv("XDG_CONFIG_HOME", savedConfig);
    restore("XDG_DATA_HOME", savedDataHome);
    restore("XDG_CACHE_HOME", savedCache);

    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0777), 0);
    EXPECT_TRUE(isolateRun(arguments));

    // The updater's check keeps its history there as well.
    const QByteArray savedData = qgetenv("KIVARO_DATA_DIR");
    const QString updater = home.filePath(QStringLiteral("updater"));
    const QStringList updaterArguments = args({"--verify-updater", "--evidence-dir"}) + QStringList{updater};
    TestSupport::LaunchArgumentsScope updaterScope(updaterArguments);
    EXPECT_FALSE(isolateRun(updaterArguments));
    EXPECT_EQ(QFile::decodeName(qgetenv("KIVARO_DATA_DIR")), updater + QStringLiteral("/recent-data"));
    EXPECT_EQ(userDataHome(), savedDataHome.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/share") : QFile::decodeName(savedDataHome))
        << "the user's folder, not the first run's";
    qputenv("XDG_CONFIG_HOME", savedConfig);
    restore("XDG_DATA_HOME", savedDataHome);
    restore("XDG_CACHE_HOME", savedCache);
    if (savedData.isNull())
        qunsetenv("KIVARO_DATA_DIR");
    else
        qputenv("KIVARO_DATA_DIR", savedData);
}

// Without "--evidence-dir" the history of a run lies in its fresh folder, never in a fixed
// folder of the shared temporary folder.
TEST(VerificationFolder, WithoutANamedFolderTheHistoryLiesInTheRunsFreshFolder)
{
    QTemporaryDir temporary;
    const QByteArray saved = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temporary.path()));
    {
        const QStringList arguments = args({"--verify", "--verify-basics"});
        TestSupport::LaunchArgumentsScope scope(arguments);
        const QString recent = RecentShots::defaultDirectory(arguments, QProcessEnvironment());
        EXPECT_TRUE(recent.startsWith(temporary.path() + QStringLiteral("/kivaro-basics-"))) << recent.toStdString();
        EXPECT_TRUE(recent.endsWith(QStringLiteral("/recent-data")));
    }
    qputenv("TMPDIR", saved);
}

TEST(VerificationSnapshot, APictureOfAWindowThatDrewNothingFailsAfterItIsWritten)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("window.png"));
    EXPECT_EQ(shotErrorOf([&] { snapshot(nullptr, path); }), QStringLiteral("原生窗口不存在"));
    Painted hidden(Qt::red);
    hidden.resize(120, 80);
    EXPECT_EQ(shotErrorOf([&] { snapshot(&hidden, path); }), QStringLiteral("找不到当前应用窗口"));
    EXPECT_FALSE(QFileInfo::exists(path));

    Painted opaque(Qt::red);
    opaque.resize(120, 80);
    opaque.show();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return opaque.windowHandle() && opaque.windowHandle()->isExposed(); }));
    EXPECT_EQ(shotErrorOf([&] { snapshot(&opaque, path); }), QString());
    EXPECT_EQ(QImage(path).size(), QSize(240, 160));

    Painted clear(Qt::transparent);
    clear.resize(120, 80);
    clear.show();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return clear.windowHandle() && clear.windowHandle()->isExposed(); }));
    QFile::remove(path);
    EXPECT_EQ(shotErrorOf([&] { snapshot(&clear, path); }), QStringLiteral("断言失败：native-canvas-visible"));
    const QImage written(path);
    ASSERT_FALSE(written.isNull()) << "the picture stays for the record";
    EXPECT_EQ(qAlpha(written.pixel(120, 80)), 0);
}
