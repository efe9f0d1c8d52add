#include "Platform/Defaults/UserDefaults.h"
#include "Platform/Files/PrivateFiles.h"
#include "Platform/PropertyList/PropertyList.h"

#include "Support/HandMadePropertyList.h"
#include "Support/PrivateConfigHome.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointF>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <limits>

#include <sys/stat.h>
#include <unistd.h>

using Platform::UserDefaults;

namespace {
QString uniqueName()
{
    return QStringLiteral("test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}
QString fileOf(const QString &domain)
{
    return UserDefaults::folder() + QLatin1Char('/') + domain + QStringLiteral(".plist");
}
int modeOf(const QString &path)
{
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return int(info.st_mode & 07777);
}
QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(UserDefaults, TypedGettersFollowTheCoercionRules)
{
    auto d = UserDefaults::suite(uniqueName());
    const auto k = [](const char *name) { return QString::fromLatin1(name); };
    d.set(k("t"), true);
    d.set(k("n"), qint64(3));
    d.set(k("z"), 0.0);
    d.set(k("r"), 2.75);
    d.set(k("yes"), QStringLiteral("  YES"));
    d.set(k("t1"), QStringLiteral("true"));
    d.set(k("no"), QStringLiteral("no"));
    d.set(k("zeros"), QStringLiteral("-007x"));
    d.set(k("data"), QByteArray("1"));

    EXPECT_TRUE(d.boolean(k("t")));
    EXPECT_TRUE(d.boolean(k("n")));
    EXPECT_FALSE(d.boolean(k("z")));
    EXPECT_TRUE(d.boolean(k("yes")));
    EXPECT_TRUE(d.boolean(k("t1")));
    EXPECT_FALSE(d.boolean(k("no")));
    EXPECT_TRUE(d.boolean(k("zeros")));
    EXPECT_FALSE(d.boolean(k("data")));
    EXPECT_FALSE(d.boolean(k("absent")));

    EXPECT_EQ(d.integer(k("t")), 1);
    EXPECT_EQ(d.integer(k("r")), 2);
    EXPECT_EQ(d.integer(k("zeros")), -7);
    EXPECT_EQ(d.integer(k("data")), 0);
    EXPECT_DOUBLE_EQ(d.real(k("r")), 2.75);
    EXPECT_DOUBLE_EQ(d.real(k("n")), 3.0);

    EXPECT_EQ(d.string(k("yes")), QStringLiteral("  YES"));
    EXPECT_EQ(d.string(k("n")), QStringLiteral("3"));
    EXPECT_FALSE(d.string(k("data")).has_value());
    EXPECT_EQ(d.data(k("data")), QByteArray("1"));
    EXPECT_FALSE(d.data(k("yes")).has_value()) << "a string is not data";
}

TEST(UserDefaults, ValuesPersistWithTheirTypesInAPrivateFile)
{
    const QString name = uniqueName();
    {
        auto d = UserDefaults::suite(name);
        EXPECT_TRUE(d.set(QStringLiteral("list"), QVariantList{1, QStringLiteral("a")}));
        EXPECT_TRUE(d.set(QStringLiteral("flag"), false));
        EXPECT_FALSE(d.set(QStringLiteral("point"), QPointF(1, 2))) << "a type a property list cannot hold";
        EXPECT_FALSE(d.contains(QStringLiteral("point")));
        EXPECT_FALSE(d.set(QStringLiteral("huge"), std::numeric_limits<quint64>::max())) << "an integer a property list cannot hold";
    }
    EXPECT_EQ(modeOf(fileOf(name)), 0600);
    EXPECT_EQ(modeOf(UserDefaults::folder()), 0700);
    const auto stored = UserDefaults::persistentDomain(name);
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->value(QStringLiteral("flag")).typeId(), QMetaType::Bool);
    // What is on disk matches what is in memory.
    QFile file(fileOf(name));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(Platform::decodePropertyList(file.readAll()).toMap(), UserDefaults::suite(name).dictionaryRepresentation());
}

TEST(UserDefaults, SharedStoreChangeSignalAndRemovingASuite)
{
    const QString name = uniqueName();
    auto a = UserDefaults::suite(name);
    auto b = UserDefaults::suite(name);
    QSignalSpy spy(a.notifier(), &Platform::DefaultsNotifier::changed);
    b.set(QStringLiteral("k"), QStringLiteral("v"));
    EXPECT_EQ(a.string(QStringLiteral("k")), QStringLiteral("v"));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.first().first().toString(), QStringLiteral("k"));

    UserDefaults::removePersistentDomain(name);
    EXPECT_FALSE(QFile::exists(fileOf(name)));
    EXPECT_FALSE(a.contains(QStringLiteral("k")));
    EXPECT_FALSE(UserDefaults::persistentDomain(name).has_value());
    EXPECT_FALSE(UserDefaults::persistentDomain(uniqueName()).has_value()) << "a domain without a file is nothing";
}

TEST(UserDefaults, AForgottenDomainIsReadFromItsFileAgain)
{
    const QString name = uniqueName();
    auto before = UserDefaults::suite(name);
    before.set(QStringLiteral("k"), QStringLiteral("old"));
    ASSERT_FALSE(Platform::writePrivateFile(fileOf(name), Platform::encodePropertyList(QVariantMap{{QStringLiteral("k"), QStringLiteral("new")}})));
    EXPECT_EQ(UserDefaults::suite(name).string(QStringLiteral("k")), QStringLiteral("old")) << "a domain is read once";

    UserDefaults::forgetDomain(name);
    auto after = UserDefaults::suite(name);
    EXPECT_EQ(after.string(QStringLiteral("k")), QStringLiteral("new"));
    EXPECT_FALSE(after == before);
    EXPECT_EQ(before.string(QStringLiteral("k")), QStringLiteral("old"));
}

TEST(UserDefaults, ACorruptFileReadsEmptyAndIsKeptAsideByTheNextWrite)
{
    const QString name = uniqueName();
    ASSERT_FALSE(Platform::ensurePrivateFolder(UserDefaults::folder()));
    const QByteArray garbage("bplist00 this is not really a property list, and never was........");
    ASSERT_FALSE(Platform::writePrivateFile(fileOf(name), garbage));

    auto d = UserDefaults::suite(name);
    EXPECT_TRUE(d.dictionaryRepresentation().isEmpty());
    EXPECT_FALSE(UserDefaults::persistentDomain(name).has_value());
    QFile untouched(fileOf(name));
    ASSERT_TRUE(untouched.open(QIODevice::ReadOnly));
    EXPECT_EQ(untouched.readAll(), garbage) << "reading never rewrites the file";
    untouched.close();

    d.set(QStringLiteral("k"), 1);
    QFile aside(fileOf(name) + QStringLiteral(".corrupt"));
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), garbage);
    EXPECT_EQ(UserDefaults::persistentDomain(name)->value(QStringLiteral("k")).toLongLong(), 1);
}

TEST(UserDefaults, AFileWithAnotherRootTypeReadsEmpty)
{
    const QString name = uniqueName();
    ASSERT_FALSE(Platform::ensurePrivateFolder(UserDefaults::folder()));
    ASSERT_FALSE(Platform::writePrivateFile(fileOf(name), Platform::encodePropertyList(QVariantList{1, 2})));
    EXPECT_TRUE(UserDefaults::suite(name).dictionaryRepresentation().isEmpty());
}

TEST(PrivateFiles, SymbolicLinkFoldersAreRefused)
{
    const QString base = QDir::tempPath() + QStringLiteral("/") + uniqueName();
    ASSERT_TRUE(QDir().mkpath(base + QStringLiteral("/real")));
    ASSERT_TRUE(QFile::link(base + QStringLiteral("/real"), base + QStringLiteral("/link")));
    EXPECT_TRUE(Platform::ensurePrivateFolder(base + QStringLiteral("/link")).has_value());
    EXPECT_FALSE(Platform::ensurePrivateFolder(base + QStringLiteral("/fresh/inner")).has_value());
    EXPECT_EQ(modeOf(base + QStringLiteral("/fresh/inner")), 0700);
    EXPECT_EQ(modeOf(base + QStringLiteral("/fresh")), 0700) << "parents created on the way are private too";
    ASSERT_FALSE(Platform::writePrivateFile(base + QStringLiteral("/fresh/inner/f"), "x"));
    EXPECT_TRUE(Platform::ensurePrivateFolder(base + QStringLiteral("/fresh/inner/f")).has_value()) << "a file is not a folder";
    EXPECT_TRUE(Platform::writePrivateFile(base + QStringLiteral("/missing/f"), "x").has_value());
    // A link where the file should be is refused, and its target is left as it was.
    ASSERT_FALSE(Platform::writePrivateFile(base + QStringLiteral("/real/target"), "theirs"));
    ASSERT_TRUE(QFile::link(base + QStringLiteral("/real/target"), base + QStringLiteral("/fresh/inner/linked")));
    EXPECT_TRUE(Platform::writePrivateFile(base + QStringLiteral("/fresh/inner/linked"), "ours").has_value());
    QFile target(base + QStringLiteral("/real/target"));
    ASSERT_TRUE(target.open(QIODevice::ReadOnly));
    EXPECT_EQ(target.readAll(), QByteArray("theirs"));
    QDir(base).removeRecursively();
}

TEST(PrivateFiles, AWriteRemovesTheStaleTemporariesOfAnInterruptedOne)
{
    const QString base = QDir::tempPath() + QStringLiteral("/") + uniqueName();
    ASSERT_FALSE(Platform::ensurePrivateFolder(base));
    const QString target = base + QStringLiteral("/shot.kivaro");
    const auto make = [&](const QString &name, qint64 ageSeconds) {
        QFile file(base + QLatin1Char('/') + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("partial");
        file.flush(); // closing must not write again after the time is set
        const QDateTime when = QDateTime::currentDateTime().addSecs(-ageSeconds);
        ASSERT_TRUE(file.setFileTime(when, QFileDevice::FileModificationTime));
    };
    make(QStringLiteral("shot.kivaro.Ab12Cd"), 3600);  // a writer killed an hour ago
    make(QStringLiteral("shot.kivaro.Ef34Gh"), 0);     // a write that may still be going on
    make(QStringLiteral("shot.kivaro.old"), 3600);  // not a temporary's name
    make(QStringLiteral("other.kivaro.Ij56Kl"), 3600); // another file's temporary
    ASSERT_TRUE(QFile::link(base + QStringLiteral("/other.kivaro.Ij56Kl"), base + QStringLiteral("/shot.kivaro.Mn78Op")));

    ASSERT_FALSE(Platform::writePrivateFile(target, "whole", Platform::StaleTemporaries::remove));
    QStringList left = QDir(base).entryList(QDir::Files | QDir::System);
    left.sort();
    EXPECT_EQ(left, (QStringList{QStringLiteral("other.kivaro.Ij56Kl"), QStringLiteral("shot.kivaro"),
                                 QStringLiteral("shot.kivaro.Ef34Gh"), QStringLiteral("shot.kivaro.Mn78Op"),
                                 QStringLiteral("shot.kivaro.old")}));
    QDir(base).removeRecursively();
}

// In a folder the user named, a file of theirs may carry a temporary's name: an ordinary write
// leaves every other file as it was, however old.
TEST(PrivateFiles, AWriteLeavesTheOtherFilesOfItsFolderAlone)
{
    const QString base = QDir::tempPath() + QStringLiteral("/") + uniqueName();
    ASSERT_FALSE(Platform::ensurePrivateFolder(base));
    QFile backup(base + QStringLiteral("/icon-light.png.Backup"));
    ASSERT_TRUE(backup.open(QIODevice::WriteOnly));
    backup.write("the user's backup");
    backup.flush();
    ASSERT_TRUE(backup.setFileTime(QDateTime::currentDateTime().addSecs(-7200), QFileDevice::FileModificationTime));
    backup.close();

    ASSERT_FALSE(Platform::writePrivateFile(base + QStringLiteral("/icon-light.png"), "picture"));
    EXPECT_EQ(QDir(base).entryList(QDir::Files, QDir::Name), (QStringList{QStringLiteral("icon-light.png"), QStringLiteral("icon-light.png.Backup")}));
    QDir(base).removeRecursively();
}

TEST(UserDefaults, AFailedWriteThrowsAndTheDomainReadsAsBefore)
{
    PrivateConfigHome home;
    const QString name = uniqueName();
    auto d = UserDefaults::suite(name);
    ASSERT_TRUE(d.set(QStringLiteral("kept"), 1));
    QSignalSpy spy(d.notifier(), &Platform::DefaultsNotifier::changed);
    ASSERT_TRUE(home.breakFolder());

    EXPECT_THROW(d.set(QStringLiteral("new"), 2), Platform::DefaultsWriteError);
    EXPECT_THROW(d.set(QStringLiteral("kept"), 3), Platform::DefaultsWriteError);
    EXPECT_THROW(d.remove(QStringLiteral("kept")), Platform::DefaultsWriteError);
    try {
        d.set(QStringLiteral("new"), 2);
    } catch (const Platform::DefaultsWriteError &error) {
        EXPECT_EQ(error.path(), fileOf(name));
    }
    EXPECT_FALSE(d.contains(QStringLiteral("new"))) << "a value that is not on disk does not read back";
    EXPECT_EQ(d.integer(QStringLiteral("kept")), 1);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_THROW(UserDefaults::removePersistentDomain(name), Platform::DefaultsWriteError);
    EXPECT_EQ(d.integer(QStringLiteral("kept")), 1);

    ASSERT_TRUE(home.mendFolder());
    ASSERT_TRUE(d.set(QStringLiteral("new"), 2));
    EXPECT_EQ(Platform::decodePropertyList(contentsOf(fileOf(name))).toMap(),
              (QVariantMap{{QStringLiteral("kept"), qint64(1)}, {QStringLiteral("new"), qint64(2)}}));
}

TEST(UserDefaults, AFifoALinkToADeviceAndAHostileFileReadAsUnreadableAndAreKeptAside)
{
    PrivateConfigHome home;
    ASSERT_FALSE(Platform::ensurePrivateFolder(UserDefaults::folder()));
    // A FIFO would block the read for ever; a device would read without end.
    const QString fifo = uniqueName();
    ASSERT_EQ(::mkfifo(QFile::encodeName(fileOf(fifo)).constData(), 0600), 0);
    const QString device = uniqueName();
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), fileOf(device)));
    // A key in UTF-16 holding U+0000, and 3,000 references to one 64 KB data object.
    const QString nulKey = uniqueName();
    const QByteArray nulFile = HandMade::List{{QByteArray("\xD1\x01\x02", 3), HandMade::utf16(QStringLiteral("k") + QChar(0)),
                                               QByteArray("\x09", 1)}}
                                   .bytes();
    ASSERT_FALSE(Platform::writePrivateFile(fileOf(nulKey), nulFile));
    const QString bomb = uniqueName();
    HandMade::List shared;
    shared.refSize = 2;
    shared.objects = {HandMade::marker(0xA, 3000) + QByteArray(3000, '\0').replace('\0', QByteArray("\x00\x01", 2)),
                      HandMade::data(QByteArray(64 * 1024, 'x'))};
    ASSERT_FALSE(Platform::writePrivateFile(fileOf(bomb), shared.bytes()));

    for (const QString &name : {fifo, device, nulKey, bomb}) {
        auto d = UserDefaults::suite(name);
        EXPECT_TRUE(d.dictionaryRepresentation().isEmpty()) << name.toStdString();
        EXPECT_FALSE(UserDefaults::persistentDomain(name).has_value());
        ASSERT_TRUE(d.set(QStringLiteral("k"), 1));
        EXPECT_TRUE(QFileInfo(fileOf(name)).isFile()) << "the next write puts a domain in its place";
        struct stat aside {};
        EXPECT_EQ(::lstat(QFile::encodeName(fileOf(name) + QStringLiteral(".corrupt")).constData(), &aside), 0) << "kept aside";
    }
    EXPECT_EQ(contentsOf(fileOf(nulKey) + QStringLiteral(".corrupt")), nulFile);
}

TEST(UserDefaults, AnXmlDomainReadsWithItsTypes)
{
    PrivateConfigHome home;
    ASSERT_FALSE(Platform::ensurePrivateFolder(UserDefaults::folder()));
    const QString name = uniqueName();
    ASSERT_FALSE(Platform::writePrivateFile(fileOf(name), R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>appearance.accentPalette</key><string>ocean</string>
  <key>kivaro.showMenuBar</key><true/>
  <key>kivaro.captureShortcut</key><data>e30=</data>
</dict></plist>)"));
    auto d = UserDefaults::suite(name);
    EXPECT_EQ(d.string(QStringLiteral("appearance.accentPalette")), QStringLiteral("ocean"));
    EXPECT_EQ(d.object(QStringLiteral("kivaro.showMenuBar")).typeId(), QMetaType::Bool);
    EXPECT_EQ(d.data(QStringLiteral("kivaro.captureShortcut")), QByteArray("{}"));
    EXPECT_TRUE(UserDefaults::persistentDomain(name).has_value());
}

// A suite kept in a folder of its own (a verification run's evidence folder) is shared and
// private like any other and leaves the preference folder alone; without a folder nothing is
// ever written.
TEST(UserDefaults, ASuiteInAFolderOfItsOwnStaysThereAndOneWithoutAFolderWritesNothing)
{
    QTemporaryDir root;
    const QString folder = root.path() + QStringLiteral("/evidence/preferences");
    const QString name = uniqueName();
    UserDefaults::suite(name, folder).set(QStringLiteral("k"), QStringLiteral("v"));
    EXPECT_EQ(UserDefaults::suite(name, folder + QStringLiteral("/")).string(QStringLiteral("k")), QStringLiteral("v"));
    EXPECT_EQ(modeOf(folder + u'/' + name + QStringLiteral(".plist")), 0600);
    EXPECT_EQ(modeOf(folder), 0700);
    EXPECT_FALSE(QFile::exists(fileOf(name)));
    EXPECT_FALSE(UserDefaults::suite(name).contains(QStringLiteral("k")));

    for (const QString &unusable : {QString(), QStringLiteral("relative/folder")}) {
        UserDefaults nowhere = UserDefaults::suite(name, unusable);
        EXPECT_THROW(nowhere.set(QStringLiteral("k"), QStringLiteral("v")), Platform::DefaultsWriteError);
        EXPECT_FALSE(nowhere.contains(QStringLiteral("k")));
    }
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("relative")));
    EXPECT_FALSE(QFile::exists(fileOf(name)));
}
