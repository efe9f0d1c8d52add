// The installer mode as a real child process: the staged bundle's own executable swaps a fake
// installed bundle in a temporary folder, starts the new build, and rolls back when it dies.

#include "InstallerFixture.h"

#include "NativeAppUpdater/NativeCodeSignature.h"
#include "NativeAppUpdater/NativeUpdateHelper.h"
#include "NativeAppUpdater/internal/StagingFolder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

using namespace NativeAppUpdater;
using namespace UpdaterTesting;

namespace {
using Installer = InstallerFixture;
} // namespace

TEST(InstallerCommandLine, OnlyExactlyFourItemsWithANumberAreTheInstallerMode)
{
    const NativeUpdateConfiguration config = configuration();
    for (const QStringList &arguments : {QStringList{QStringLiteral("kivaro"), QStringLiteral("--native-update-helper"), QStringLiteral("/x"), QStringLiteral("abc")},
                                         QStringList{QStringLiteral("kivaro"), QStringLiteral("--native-update-helper"), QStringLiteral("/x"), QStringLiteral("12"), QStringLiteral("5")},
                                         QStringList{QStringLiteral("kivaro"), QStringLiteral("--native-update-helper"), QStringLiteral("/x")},
                                         QStringList{QStringLiteral("kivaro"), QStringLiteral("--other"), QStringLiteral("/x"), QStringLiteral("12")},
                                         QStringList{QStringLiteral("kivaro"), QStringLiteral("--native-update-helper"), QStringLiteral("/x"), QStringLiteral("99999999999")}})
        EXPECT_FALSE(NativeUpdateHelper::runIfRequested(arguments, config)) << arguments.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(NativeUpdateHelper::parseProcessId(QStringLiteral("+12")), 12);
    EXPECT_EQ(NativeUpdateHelper::parseProcessId(QStringLiteral("-1")), -1);
    EXPECT_EQ(NativeUpdateHelper::parseProcessId(QStringLiteral("1 ")), std::nullopt);
}

TEST_F(Installer, OldProcessGoneSwapsStartsTheNewBuildAndRemovesTheBackup)
{
    const QString staged = stage(newRecipe());
    EXPECT_EQ(runInstaller(staged, m_installed, QString::number(endedProcess())), 0);
    EXPECT_EQ(installedVersion(), QStringLiteral("2.0"));
    EXPECT_TRUE(waitForMarker("started-2.0"));
    EXPECT_TRUE(marked("started-1.0").isEmpty());
    EXPECT_EQ(hiddenSiblings(), QStringList());
    EXPECT_FALSE(QFileInfo::exists(staged)); // moved into place, not copied
    EXPECT_NO_THROW(NativeCodeSignature::verifyBundle(m_installed, configuration(), {QStringLiteral("2.0"), 2}));
}

TEST_F(Installer, WaitsForTheOldProcessToEnd)
{
    const QString staged = stage(newRecipe());
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(runInstaller(staged, m_installed, QString::number(startSleeper(QStringLiteral("0.5")))), 0);
    EXPECT_GE(timer.elapsed(), 500);
    EXPECT_EQ(installedVersion(), QStringLiteral("2.0"));
    EXPECT_TRUE(waitForMarker("started-2.0"));
}

TEST_F(Installer, GivesUpAfterTwentySecondsAndStartsTheInstalledApplicationAgain)
{
    const QString staged = stage(newRecipe());
    const QStringList before = treeListing(applications());
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(runInstaller(staged, m_installed, QString::number(startSleeper(QStringLiteral("120")))), 0);
    EXPECT_GE(timer.elapsed(), 19'500);
    EXPECT_EQ(treeListing(applications()), before);
    EXPECT_TRUE(waitForMarker("started-1.0"));
    EXPECT_TRUE(marked("started-2.0").isEmpty());
    EXPECT_TRUE(QFileInfo::exists(staged));
}

TEST_F(Installer, ANewBuildThatDiesAtStartIsRolledBack)
{
    const QString staged = stage(newRecipe(Behaviour::crash));
    EXPECT_EQ(runInstaller(staged, m_installed, QString::number(endedProcess())), 0);
    EXPECT_TRUE(waitForMarker("crashed-2.0"));
    EXPECT_EQ(installedVersion(), QStringLiteral("1.0"));
    EXPECT_TRUE(waitForMarker("started-1.0"));
    EXPECT_EQ(hiddenSiblings(), QStringList());
    EXPECT_NO_THROW(NativeCodeSignature::verifyBundle(m_installed, configuration(), {QStringLiteral("1.0"), 1}));
}

TEST_F(Installer, TargetsThatAreNotTheInstalledBundleAreLeftAlone)
{
    const QString staged = stage(newRecipe());
    // A link to the bundle.
    const QString link = applications() + QStringLiteral("/Linked.app");
    ASSERT_TRUE(QFile::link(m_installed, link));
    // A bundle of another application.
    BundleRecipe other;
    other.identifier = QStringLiteral("app.other.Thing");
    const QString foreign = makeBundle(m_root.path() + QStringLiteral("/Other"), other);
    // A folder of the user's ("--native-update-helper ~/Documents 1").
    const QString documents = m_root.path() + QStringLiteral("/Documents");
    QDir().mkpath(documents + QStringLiteral("/letters"));
    QFile letter(documents + QStringLiteral("/letters/to-mum.txt"));
    ASSERT_TRUE(letter.open(QIODevice::WriteOnly));
    letter.write("Dear mum");
    letter.close();

    const QStringList before = treeListing(m_root.path());
    for (const QString &target : QStringList{link, foreign, documents, staged, m_root.path() + QStringLiteral("/missing")})
        EXPECT_EQ(runInstaller(staged, target, QString::number(endedProcess())), 0) << target.toStdString();
    EXPECT_EQ(treeListing(m_root.path()), before);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    QThread::msleep(300);
    EXPECT_EQ(QDir(markers()).entryList(QDir::Files), QStringList()); // nothing was started
}

TEST_F(Installer, ProcessIdsThatNameGroupsCannotBeWaitedFor)
{
    const QString staged = stage(newRecipe());
    const QStringList before = treeListing(applications());
    for (const char *pid : {"0", "-1"})
        EXPECT_EQ(runInstaller(staged, m_installed, QString::fromLatin1(pid)), 0);
    EXPECT_EQ(treeListing(applications()), before);
    EXPECT_TRUE(waitForMarker("started-1.0"));
    EXPECT_TRUE(marked("started-2.0").isEmpty());
}

TEST_F(Installer, ATamperedStagedBundleIsNotInstalled)
{
    const QString staged = stage(newRecipe());
    QFile library(staged + QStringLiteral("/lib/libkivaro-test.so.1"));
    ASSERT_TRUE(library.open(QIODevice::Append));
    library.write("tampered");
    library.close();
    const QStringList before = treeListing(applications());
    EXPECT_EQ(runInstaller(staged, m_installed, QString::number(endedProcess())), 0);
    EXPECT_EQ(treeListing(applications()), before);
    EXPECT_TRUE(waitForMarker("started-1.0"));
    EXPECT_TRUE(marked("started-2.0").isEmpty());
}

TEST_F(Installer, TwoInstallersAtOnceInstallOnce)
{
    const QString first = stage(newRecipe());
    const QString second = stage(newRecipe());
    // The old process lives long enough for both installers to be waiting for it.
    const QString pid = QString::number(startSleeper(QStringLiteral("3")));
    std::unique_ptr<QProcess> a(startInstaller(first, m_installed, pid));
    std::unique_ptr<QProcess> b(startInstaller(second, m_installed, pid));
    ASSERT_TRUE(a->waitForFinished(60'000));
    ASSERT_TRUE(b->waitForFinished(60'000));
    EXPECT_EQ(installedVersion(), QStringLiteral("2.0"));
    EXPECT_TRUE(waitForMarker("started-2.0"));
    QThread::msleep(300);
    EXPECT_EQ(marked("started-2.0").size(), 1);
    EXPECT_TRUE(marked("started-1.0").isEmpty());
    EXPECT_EQ(hiddenSiblings(), QStringList());
    // Exactly one staged bundle went into place.
    EXPECT_NE(QFileInfo::exists(first), QFileInfo::exists(second));
}

TEST_F(Installer, CopiesAcrossFileSystems)
{
    const QString shm = QStringLiteral("/dev/shm");
    if (!QFileInfo(shm).isWritable() || !detail::allowsExecution(shm) || detail::deviceOf(shm) == detail::deviceOf(m_root.path()))
        GTEST_SKIP() << "no second, executable file system at /dev/shm";
    QTemporaryDir elsewhere(shm + QStringLiteral("/kivaro-installer-XXXXXX"));
    const QString staged = stage(newRecipe(), elsewhere.path());
    EXPECT_EQ(runInstaller(staged, m_installed, QString::number(endedProcess())), 0);
    EXPECT_EQ(installedVersion(), QStringLiteral("2.0"));
    // Copied; the staging folder it came from is removed once installed.
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(staged).absolutePath()));
    EXPECT_EQ(hiddenSiblings(), QStringList());
    EXPECT_NO_THROW(NativeCodeSignature::verifyBundle(m_installed, configuration(), {QStringLiteral("2.0"), 2}));
}

// The staging folder goes where the installer can run it and, preferably, where a rename
// reaches the installed bundle.
TEST(StagingRoot, PrefersAnExecutableFolderOnTheInstalledBundlesFileSystem)
{
    const QString shm = QStringLiteral("/dev/shm");
    QTemporaryDir home;
    if (!QFileInfo(shm).isWritable() || !detail::allowsExecution(shm) || detail::deviceOf(shm) == detail::deviceOf(home.path()))
        GTEST_SKIP() << "no second, executable file system at /dev/shm";
    QTemporaryDir installedElsewhere(shm + QStringLiteral("/kivaro-installed-XXXXXX"));
    QTemporaryDir cacheElsewhere(shm + QStringLiteral("/kivaro-cache-XXXXXX"));
    const QByteArray savedCache = qgetenv("XDG_CACHE_HOME");

    // The temporary folder shares the installed bundle's file system: it is used.
    EXPECT_EQ(detail::chooseStagingRoot(home.path() + QStringLiteral("/Kivaro.app")), QDir::tempPath());
    // It does not, but the user's cache does: the cache, made private.
    qputenv("XDG_CACHE_HOME", cacheElsewhere.path().toLocal8Bit());
    const QString chosen = detail::chooseStagingRoot(installedElsewhere.path() + QStringLiteral("/Kivaro.app"));
    EXPECT_EQ(chosen, cacheElsewhere.path() + QStringLiteral("/kivaro/updates"));
    struct stat info {};
    ASSERT_EQ(::lstat(QFile::encodeName(chosen).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    // Neither does: the temporary folder, and the installer copies.
    qputenv("XDG_CACHE_HOME", home.path().toLocal8Bit());
    EXPECT_EQ(detail::chooseStagingRoot(installedElsewhere.path() + QStringLiteral("/Kivaro.app")), QDir::tempPath());
    qputenv("XDG_CACHE_HOME", savedCache);
}

TEST(StagingFolder, IsCreatedExclusivelyAndPrivately)
{
    QTemporaryDir root;
    const detail::StagingFolder first = detail::createStagingFolder(root.path(), QStringLiteral("kivaro"));
    const detail::StagingFolder second = detail::createStagingFolder(root.path(), QStringLiteral("kivaro"));
    EXPECT_NE(first.path, second.path);
    EXPECT_TRUE(QFileInfo(first.path).fileName().contains(QRegularExpression(QStringLiteral("^kivaro-update-[0-9A-F-]{36}$"))));
    struct stat info {};
    ASSERT_EQ(::lstat(QFile::encodeName(first.path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
}

TEST(Replaceability, AFolderThatCannotBeWrittenToIsNotReplaceable)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes everywhere";
    QTemporaryDir root;
    const QString bundle = makeBundle(root.path() + QStringLiteral("/locked"), {});
    QFile::setPermissions(root.path() + QStringLiteral("/locked"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    try {
        NativeUpdateInstaller::checkReplaceable(bundle, configuration());
        ADD_FAILURE() << "a bundle in a read-only folder counted as replaceable";
    } catch (const NativeUpdateInstaller::Error &error) {
        EXPECT_EQ(error.failure(), NativeUpdateInstaller::Failure::cannotReplace);
    }
    QFile::setPermissions(root.path() + QStringLiteral("/locked"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}
