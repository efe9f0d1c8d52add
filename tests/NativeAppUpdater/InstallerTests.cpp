// The installer mode as a real child process: the staged bundle's own executable swaps a fake
// installed bundle in a temporary folder, starts the new build, and rolls back when it dies.

#include "InstallerFixture.h"

#include "NativeAppUpdater/NativeCodeSignature.h"
#include "NativeAppUpdater/CodeSeal.h"
#include "NativeAppUpdater/NativeUpdateHelper.h"
#include "NativeAppUpdater/NativeUpdater.h"
#include "NativeAppUpdater/internal/BundlePaths.h"
#include "NativeAppUpdater/internal/StagingFolder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>
#include <QUuid>

#include <ctime>
#include <fcntl.h>
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
    // The staging folder, with its archive, went once the update was installed.
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(staged).absolutePath()));
    EXPECT_TRUE(QDir(staging()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
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
    // Rolled back: the staging folder goes too.
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(staged).absolutePath()));
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

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// The failure checkReplaceable reports for `bundle`, or nothing when it is replaceable.
std::optional<QString> replaceRefusal(const QString &bundle)
{
    try {
        NativeUpdateInstaller::checkReplaceable(bundle, configuration());
        return std::nullopt;
    } catch (const NativeUpdateInstaller::Error &error) {
        EXPECT_EQ(error.failure(), NativeUpdateInstaller::Failure::cannotReplace);
        return error.detail();
    }
}

} // namespace

// The application unpacked straight into a folder of the user's ("~/.local": bin/kivaro and
// Info.plist beside the user's files), a bundle folder with something of the user's added, and
// one under another name: none is swapped, and nothing of theirs is touched.
TEST_F(Installer, AFolderHoldingMoreThanTheApplicationIsNeverTheTarget)
{
    const QString staged = stage(newRecipe());
    const QString local = m_root.path() + QStringLiteral("/local");
    ASSERT_TRUE(QDir().rename(makeBundle(m_root.path() + QStringLiteral("/unpacked"), installedRecipe()), local));
    writeFile(local + QStringLiteral("/share/notes/diary.txt"), "mine");
    writeFile(local + QStringLiteral("/Documents/letter.txt"), "Dear mum");
    const QString renamed = m_root.path() + QStringLiteral("/renamed/Kivaro Old.app");
    ASSERT_TRUE(QDir().mkpath(QFileInfo(renamed).absolutePath()));
    ASSERT_TRUE(QDir().rename(makeBundle(m_root.path() + QStringLiteral("/other"), installedRecipe()), renamed));
    const QString withUserFile = m_installed;
    writeFile(withUserFile + QStringLiteral("/lib/notes.txt"), "mine too");

    for (const QString &target : {local, renamed, withUserFile})
        EXPECT_NE(replaceRefusal(target), std::nullopt) << target.toStdString();
    EXPECT_TRUE(replaceRefusal(local)->contains(QStringLiteral("Kivaro.app")));
    EXPECT_TRUE(replaceRefusal(withUserFile)->contains(QStringLiteral("Kivaro.app in a folder of its own")));

    const QStringList before = treeListing(m_root.path());
    for (const QString &target : {local, renamed, withUserFile})
        EXPECT_EQ(runInstaller(staged, target, QString::number(endedProcess())), 0) << target.toStdString();
    EXPECT_EQ(treeListing(m_root.path()), before);
    QThread::msleep(300);
    EXPECT_EQ(QDir(markers()).entryList(QDir::Files), QStringList()); // nothing was started
}

TEST(SealedRemoval, TakesOnlyWhatTheSealLists)
{
    QTemporaryDir root;
    const QString bundle = makeBundle(root.path(), {});
    QFile sealFile(bundle + QStringLiteral("/_CodeSignature/CodeResources"));
    ASSERT_TRUE(sealFile.open(QIODevice::ReadOnly));
    const CodeSeal seal = CodeSeal::parse(sealFile.readAll());
    sealFile.close();
    writeFile(bundle + QStringLiteral("/lib/user-notes.txt"), "mine");
    writeFile(bundle + QStringLiteral("/photos/cat.png"), "meow");
    QFile::setPermissions(bundle + QStringLiteral("/lib"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);

    detail::UniqueFd parent = detail::openDirectoryPath(root.path());
    EXPECT_FALSE(detail::removeSealedTreeAt(parent.get(), "Kivaro.app", seal));
    QStringList left = treeListing(bundle);
    for (QString &line : left)
        line = line.section(QLatin1Char(' '), 0, 0);
    EXPECT_EQ(left, (QStringList{QStringLiteral("lib"), QStringLiteral("lib/user-notes.txt"), QStringLiteral("photos"),
                                 QStringLiteral("photos/cat.png")}));

    // A bundle holding only what its seal lists goes whole.
    const QString clean = makeBundle(root.path() + QStringLiteral("/clean"), {});
    detail::UniqueFd cleanParent = detail::openDirectoryPath(QFileInfo(clean).absolutePath());
    EXPECT_TRUE(detail::removeSealedTreeAt(cleanParent.get(), "Kivaro.app", seal));
    EXPECT_FALSE(QFileInfo::exists(clean));
    // Writable again, so that the temporary folder can go when the test is not run as root.
    QFile::setPermissions(bundle + QStringLiteral("/lib"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST_F(Installer, AFolderOtherUsersCanWriteToIsNotReplaceable)
{
    const QString staged = stage(newRecipe());
    const auto withMode = [this](mode_t mode) { return ::chmod(QFile::encodeName(applications()).constData(), mode) == 0; };
    // Writable by its group: refused when that group is one of other users too ("nogroup").
    const bool sharedGroup = ::geteuid() == 0 && ::chown(QFile::encodeName(applications()).constData(), 0, 65534) == 0;
    for (const mode_t mode : {mode_t(0777), mode_t(0775), mode_t(0757)}) {
        if (mode == 0775 && !sharedGroup)
            continue;
        ASSERT_TRUE(withMode(mode));
        EXPECT_NE(replaceRefusal(m_installed), std::nullopt) << std::oct << mode;
    }
    ASSERT_TRUE(withMode(0777));
    const QStringList before = treeListing(applications());
    EXPECT_EQ(runInstaller(staged, m_installed, QString::number(endedProcess())), 0);
    EXPECT_EQ(treeListing(applications()), before);
    EXPECT_EQ(installedVersion(), QStringLiteral("1.0"));
    // Sticky, as /tmp: nobody else can rename what is ours there.
    ASSERT_TRUE(withMode(01777));
    EXPECT_EQ(replaceRefusal(m_installed), std::nullopt);
    ASSERT_TRUE(withMode(0755));
    EXPECT_EQ(replaceRefusal(m_installed), std::nullopt);
}

// Debian's per-user groups with umask 002 make ~/.local/opt 0775: writable by the user's own
// group, which nobody else is in. The update installs there; a group of other users' is refused,
// saying which folder and which group.
TEST_F(Installer, AFolderWritableOnlyByTheUsersPrivateGroupIsReplaceable)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving the folder to root's group and to a shared one needs root";
    const QByteArray folder = QFile::encodeName(applications());
    ASSERT_EQ(::chmod(folder.constData(), 0775), 0);
    // Root's own group on Debian: named "root", nobody else in it.
    ASSERT_EQ(::chown(folder.constData(), 0, 0), 0);
    EXPECT_EQ(replaceRefusal(m_installed), std::nullopt);
    const QString staged = stage(newRecipe());
    EXPECT_EQ(runInstaller(staged, m_installed, QString::number(endedProcess())), 0);
    EXPECT_EQ(installedVersion(), QStringLiteral("2.0"));
    EXPECT_TRUE(waitForMarker("started-2.0"));

    ASSERT_EQ(::chown(folder.constData(), 0, 65534), 0);
    const auto refusal = replaceRefusal(m_installed);
    ASSERT_NE(refusal, std::nullopt);
    EXPECT_TRUE(refusal->contains(applications())) << refusal->toStdString();
    EXPECT_TRUE(refusal->contains(QStringLiteral("\"nogroup\""))) << refusal->toStdString();
}

// The same build, and an older one over a newer installation, started by hand: nothing is
// swapped, and the installed application (whose old process asked to end) starts again.
TEST_F(Installer, NeverInstallsABuildThatIsNotNewer)
{
    const QString same = stage(installedRecipe());
    BundleRecipe newer = newRecipe();
    newer.version = QStringLiteral("3.0");
    newer.build = 3;
    const QString newerInstalled = makeBundle(m_root.path() + QStringLiteral("/Newer"), newer);
    const QString older = stage(newRecipe());
    const QStringList before = allButMarkers();
    EXPECT_EQ(runInstaller(same, m_installed, QString::number(endedProcess())), 0);
    EXPECT_EQ(runInstaller(older, newerInstalled, QString::number(endedProcess())), 0);
    EXPECT_EQ(allButMarkers(), before);
    EXPECT_TRUE(waitForMarker("started-1.0"));
    EXPECT_TRUE(waitForMarker("started-3.0"));
    QThread::msleep(300);
    EXPECT_EQ(marked("started-1.0").size(), 1);
    EXPECT_EQ(marked("started-3.0").size(), 1);
    EXPECT_TRUE(marked("started-2.0").isEmpty());
}

// While an update waited, the installed build was replaced by hand with a newer one; the old
// process has asked to end. The installer leaves the newer build in place and, once the old
// process is gone, starts it: the user is not left without the application.
TEST_F(Installer, AnInstallationReplacedByHandWithANewerBuildIsStartedAgain)
{
    const QString staged = stage(newRecipe());
    ASSERT_TRUE(QDir(m_installed).removeRecursively());
    BundleRecipe newer = newRecipe();
    newer.version = QStringLiteral("3.0");
    newer.build = 3;
    ASSERT_EQ(makeBundle(applications(), newer), m_installed);
    const QStringList before = allButMarkers();
    EXPECT_EQ(runInstaller(staged, m_installed, QString::number(startSleeper(QStringLiteral("0.5")))), 0);
    EXPECT_EQ(allButMarkers(), before);
    EXPECT_EQ(installedVersion(), QStringLiteral("3.0"));
    EXPECT_TRUE(waitForMarker("started-3.0"));
    EXPECT_TRUE(marked("started-2.0").isEmpty());
}

TEST(StagingFolder, ARootOfAnotherUserIsRefused)
{
    QTemporaryDir home;
    const QString root = home.path() + QStringLiteral("/theirs");
    ASSERT_TRUE(QDir().mkpath(root));
    ::chmod(QFile::encodeName(root).constData(), 0700);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(QFile::encodeName(root).constData(), 65534, 65534), 0);
    }
    const QString foreign = ::geteuid() == 0 ? root : QStringLiteral("/usr");
    try {
        detail::createStagingFolder(foreign, QStringLiteral("kivaro"));
        ADD_FAILURE() << "a staging root of another user was taken";
    } catch (const UpdateFileError &error) {
        EXPECT_TRUE(error.detail().contains(QStringLiteral("belongs to another user"))) << error.what();
    }
    // Nor is it chosen as the cache's staging root.
    if (::geteuid() == 0) {
        const QByteArray savedCache = qgetenv("XDG_CACHE_HOME");
        QDir().mkpath(home.path() + QStringLiteral("/cache/kivaro"));
        QDir().rename(root, home.path() + QStringLiteral("/cache/kivaro/updates"));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(home.path() + QStringLiteral("/cache")));
        EXPECT_NE(detail::chooseStagingRoot(std::nullopt), home.path() + QStringLiteral("/cache/kivaro/updates"));
        EXPECT_FALSE(detail::stagingRoots().isEmpty());
        qputenv("XDG_CACHE_HOME", savedCache);
    }
    // The shared temporary folder, sticky and root's, stays usable.
    const detail::StagingFolder shared = detail::createStagingFolder(QDir::tempPath(), QStringLiteral("kivaro-test"));
    EXPECT_TRUE(detail::removeTree(shared.path));
}

TEST(StagingFolder, StaleOnesAreSweptFreshOnesAndOthersKept)
{
    QTemporaryDir root;
    const auto folder = [&root](const QString &name, mode_t mode, qint64 ageSeconds) {
        const QString path = root.path() + QLatin1Char('/') + name;
        QDir().mkpath(path + QStringLiteral("/Kivaro.app/bin"));
        writeFile(path + QStringLiteral("/update.zip"), "zip");
        ::chmod(QFile::encodeName(path).constData(), mode);
        const struct timespec times[2] = {{time(nullptr) - ageSeconds, 0}, {time(nullptr) - ageSeconds, 0}};
        ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW);
        return path;
    };
    const QString stale = folder(QStringLiteral("kivaro-update-1"), 0700, 7200);
    const QString fresh = folder(QStringLiteral("kivaro-update-2"), 0700, 60);
    const QString shared = folder(QStringLiteral("kivaro-update-3"), 0755, 7200);
    const QString otherProduct = folder(QStringLiteral("other-update-4"), 0700, 7200);
    const QString target = folder(QStringLiteral("target"), 0700, 7200);
    ASSERT_TRUE(QFile::link(target, root.path() + QStringLiteral("/kivaro-update-5")));
    EXPECT_EQ(detail::removeStaleStagingFolders({root.path()}, QStringLiteral("kivaro"), 3600), 1);
    EXPECT_FALSE(QFileInfo::exists(stale));
    for (const QString &kept : QStringList{fresh, shared, otherProduct, target + QStringLiteral("/update.zip")})
        EXPECT_TRUE(QFileInfo::exists(kept)) << kept.toStdString();

    // An enabled updater sweeps its staging root when it is made.
    const QString another = folder(QStringLiteral("kivaro-update-6"), 0700, 7200);
    NativeUpdaterServices services;
    services.prepareOptions.stagingRoot = root.path();
    services.clock = std::make_shared<ManualClock>();
    {
        const NativeUpdater updater(configuration(), Platform::UserDefaults::suite(QStringLiteral("sweep-") + QUuid::createUuid().toString(QUuid::Id128)), services);
    }
    EXPECT_FALSE(QFileInfo::exists(another));
    EXPECT_TRUE(QFileInfo::exists(fresh));
}
