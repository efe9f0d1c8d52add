#include "RecentFixtures.h"

#include "Kivaro/document/FileError.h"
#include "Kivaro/document/LinkedAnnotations.h"
#include "Kivaro/document/ProjectArchive.h"
#include "Kivaro/recent/RecentShots.h"

#include "KivaroCore/ShotError.h"
#include "Support/TaskTesting.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

using namespace Kivaro;
using namespace RecentFixtures;

namespace {

QString errorText(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const ShotError &e) {
        return e.text();
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

// Runs the event loop for `ms`, whatever happens meanwhile.
void pump(int ms)
{
    TestSupport::waitUntil([] { return false; }, ms);
}

struct Store : ::testing::Test {
    QTemporaryDir root;
    QString folder;
    std::unique_ptr<RecentShots> store;
    ShotDocument document;
    int saves = 0;
    QList<std::exception_ptr> failures;

    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        folder = root.filePath(QStringLiteral("data/Recent"));
        store = std::make_unique<RecentShots>(folder);
        store->didSave = [this] { ++saves; };
        store->didFail = [this](std::exception_ptr error) { failures << error; };
        document.load(picture(480, 320), false);
        addShape(document, QRectF(20, 20, 80, 50));
    }

    void flush() { TestSupport::run(store->flush(&document)); }
    QString flushError()
    {
        try {
            flush();
        } catch (...) {
            return errorText(std::current_exception());
        }
        return {};
    }
    RecentShot current() const { return RecentShot::named(folder, store->sessionID()); }
};

} // namespace

TEST(RecentShotsFolder, ExplicitThenVerificationThenVariableThenDataHome)
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), QStringLiteral("/home/u"));
    const QStringList plain{QStringLiteral("kivaro")};
    EXPECT_EQ(RecentShots::defaultDirectory(plain, environment), QStringLiteral("/home/u/.local/share/Kivaro/Recent"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), QStringLiteral("/data"));
    EXPECT_EQ(RecentShots::defaultDirectory(plain, environment), QStringLiteral("/data/Kivaro/Recent"));
    environment.insert(QStringLiteral("KIVARO_DATA_DIR"), QStringLiteral("/elsewhere"));
    EXPECT_EQ(RecentShots::defaultDirectory(plain, environment), QStringLiteral("/elsewhere"));

    // A verification run never touches the user's history, even with the variable set.
    const QStringList verify{QStringLiteral("kivaro"), QStringLiteral("--verify"), QStringLiteral("--evidence-dir"), QStringLiteral("/tmp/ev")};
    EXPECT_EQ(RecentShots::defaultDirectory(verify, environment), QStringLiteral("/tmp/ev/recent-data"));
    const QStringList session{QStringLiteral("kivaro"), QStringLiteral("--ui-session")};
    EXPECT_EQ(RecentShots::defaultDirectory(session, environment), QStringLiteral("/tmp/kivaro-verification/recent-data"));
    const QStringList lookalike{QStringLiteral("kivaro"), QStringLiteral("--verify-basics")};
    EXPECT_EQ(RecentShots::defaultDirectory(lookalike, environment), QStringLiteral("/elsewhere")) << "only the exact flag counts";

    EXPECT_EQ(RecentShots(QStringLiteral("/given")).directory(), QStringLiteral("/given"));
}

TEST(RecentShotsSession, IdentitiesAreUpperCaseUUIDsAndOnlyEntryIDsResume)
{
    RecentShots store(QStringLiteral("/nowhere"));
    const QString first = store.sessionID();
    EXPECT_TRUE(RecentShots::isEntryID(first));
    EXPECT_EQ(first, first.toUpper());
    EXPECT_EQ(store.generation(), 0);

    store.beginSession();
    EXPECT_NE(store.sessionID(), first);
    EXPECT_EQ(store.generation(), 1);

    for (const QString &bad : QStringList{QString(), QStringLiteral("../etc/passwd"), QStringLiteral("{") + first + QStringLiteral("}"), first + QStringLiteral("0")}) {
        store.resumeSession(bad);
        EXPECT_EQ(store.generation(), 1) << bad.toStdString();
    }
    store.resumeSession(first.toLower());
    EXPECT_EQ(store.sessionID(), first.toLower()) << "kept as given, so it names the listed files";
    EXPECT_EQ(store.generation(), 2);
    store.resumeSession(first.toLower());
    EXPECT_EQ(store.generation(), 3) << "resuming the current session still moves the generation";
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/nowhere")));
}

TEST_F(Store, NothingIsWrittenForAnEmptyDocumentOrTheSample)
{
    ShotDocument empty;
    TestSupport::run(store->flush(&empty));
    ShotDocument sample;
    sample.load(picture(), true);
    TestSupport::run(store->flush(&sample));
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_EQ(saves, 0);
    EXPECT_TRUE(store->entries().isEmpty()) << "a missing folder lists as empty";
}

TEST_F(Store, AWriteIsAPrivateProjectAndASmallPreviewNamedBySession)
{
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                      | QFileDevice::ExeOther);
    flush();
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(mode(folder), 0700) << "an existing folder is made private too";
    const RecentShot entry = current();
    EXPECT_EQ(mode(entry.projectURL), 0600);
    EXPECT_EQ(mode(entry.previewURL), 0600);
    EXPECT_EQ(ProjectArchive::decode(contents(entry.projectURL)), LinkedAnnotations::reconcile(document.state()));
    const QImage preview = QImage::fromData(contents(entry.previewURL), "PNG");
    EXPECT_EQ(preview.size(), QSize(320, 213)) << "longest side 320";

    const QList<RecentShot> entries = store->entries();
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].id, entry.id);
    EXPECT_EQ(entries[0].projectURL, entry.projectURL);
    EXPECT_EQ(entries[0].previewURL, entry.previewURL);
    EXPECT_EQ(entries[0].date, QFileInfo(entry.projectURL).lastModified());
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 2) << "no temporary files stay behind";

    // The same session overwrites its own files.
    addShape(document, QRectF(120, 60, 40, 40));
    flush();
    EXPECT_EQ(store->entries().size(), 1);
    EXPECT_EQ(ProjectArchive::decode(contents(entry.projectURL)), LinkedAnnotations::reconcile(document.state()));
}

TEST_F(Store, ScheduledWritesWaitForTheLastOfABurst)
{
    store->schedule(&document);
    pump(50);
    addShape(document, QRectF(150, 90, 40, 40));
    store->schedule(&document);
    QElapsedTimer sinceLast;
    sinceLast.start();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return saves == 1; }));
    // A lower bound only: a slow machine makes the wait longer, never shorter.
    EXPECT_GE(sinceLast.elapsed(), 640) << "0.65 s after the last change";
    pump(800);
    EXPECT_EQ(saves, 1) << "the first schedule was replaced, not added";
    EXPECT_EQ(ProjectArchive::decode(contents(current().projectURL)), LinkedAnnotations::reconcile(document.state()));
    EXPECT_TRUE(failures.isEmpty());
}

TEST_F(Store, ASessionChangeCancelsTheScheduledWrite)
{
    store->schedule(&document);
    const auto scheduled = store->pending();
    store->beginSession();
    EXPECT_TRUE(scheduled.isCancelled());
    store->schedule(&document);
    store->resumeSession(QStringLiteral("not an id"));
    EXPECT_FALSE(store->pending().isCancelled()) << "a refused resume changes nothing";
    store->resumeSession(store->sessionID());
    EXPECT_TRUE(store->pending().isCancelled());
    ASSERT_TRUE(TestSupport::waitFor(store->pending()));
    pump(800);
    EXPECT_EQ(saves, 0);
    EXPECT_TRUE(failures.isEmpty()) << "cancellation is not an error";
}

TEST_F(Store, AWriteOverTakenByANewSessionLandsNowhere)
{
    const QString old = store->sessionID();
    auto write = Platform::start(store->flush(&document));
    // Runs after the write has started and suspended in its encoding.
    QMetaObject::invokeMethod(QCoreApplication::instance(), [this] { store->beginSession(); }, Qt::QueuedConnection);
    ASSERT_TRUE(TestSupport::waitFor(write));
    EXPECT_FALSE(write.error()) << "a stale write ends quietly";
    EXPECT_FALSE(QFileInfo::exists(RecentShot::named(folder, old).projectURL));
    EXPECT_EQ(saves, 0);

    flush();
    EXPECT_TRUE(QFileInfo::exists(current().projectURL)) << "the next write uses the new identity";
}

TEST_F(Store, AStateThatChangedOnceIsTakenAgainAndTheLatestIsWritten)
{
    auto write = Platform::start(store->flush(&document));
    QMetaObject::invokeMethod(QCoreApplication::instance(), [this] { nudge(document, QRectF(5, 5, 30, 30)); }, Qt::QueuedConnection);
    ASSERT_TRUE(TestSupport::waitFor(write));
    EXPECT_FALSE(write.error());
    EXPECT_EQ(ProjectArchive::decode(contents(current().projectURL)), LinkedAnnotations::reconcile(document.state()));
}

TEST_F(Store, AStateThatKeepsChangingFailsAfterThreeRetakes)
{
    QTimer editing;
    double x = 0;
    QObject::connect(&editing, &QTimer::timeout, [&] { nudge(document, QRectF(x += 1, 5, 30, 30)); });
    editing.start(0);
    EXPECT_EQ(flushError(), QStringLiteral("标注仍在变化，请结束编辑后重新保存。"));
    editing.stop();
    EXPECT_FALSE(QFileInfo::exists(current().projectURL));
    EXPECT_EQ(saves, 0);
}

TEST_F(Store, PruningKeepsTheTwentyNewestAndDeletesPreviewsWithTheirProjects)
{
    const QDateTime base = QDateTime::currentDateTime().addDays(-2);
    QList<RecentShot> made;
    for (int i = 0; i < 19; ++i)
        made << makeEntry(folder, base.addSecs(60 * i), i != 0);
    flush();
    EXPECT_EQ(store->entries().size(), 20) << "exactly twenty: nothing deleted";
    EXPECT_TRUE(QFileInfo::exists(made[0].projectURL));

    store->beginSession();
    flush();
    const QList<RecentShot> entries = store->entries();
    ASSERT_EQ(entries.size(), 20);
    EXPECT_FALSE(QFileInfo::exists(made[0].projectURL)) << "the oldest went, though it had no preview";
    EXPECT_TRUE(QFileInfo::exists(made[1].projectURL));
    EXPECT_EQ(entries[0].id, store->sessionID()) << "newest first";
    for (int i = 1; i < entries.size(); ++i)
        EXPECT_GE(entries[i - 1].date, entries[i].date);

    store->beginSession();
    flush();
    EXPECT_FALSE(QFileInfo::exists(made[1].projectURL));
    EXPECT_FALSE(QFileInfo::exists(made[1].previewURL)) << "its preview went with it";
}

TEST_F(Store, PruningNeverDeletesTheShotJustWrittenWhateverOtherDatesSay)
{
    const QDateTime future = QDateTime::currentDateTime().addDays(30);
    QList<RecentShot> made;
    for (int i = 0; i < 20; ++i)
        made << makeEntry(folder, future.addSecs(60 * i));
    flush();
    const QList<RecentShot> entries = store->entries();
    ASSERT_EQ(entries.size(), 20);
    EXPECT_TRUE(QFileInfo::exists(current().projectURL));
    EXPECT_TRUE(QFileInfo::exists(current().previewURL));
    EXPECT_FALSE(QFileInfo::exists(made[0].projectURL)) << "the oldest other entry made room";
    EXPECT_TRUE(QFileInfo::exists(made[1].projectURL));
}

TEST_F(Store, OnlyRegularUUIDProjectFilesAreEntries)
{
    const QDateTime old = QDateTime::currentDateTime().addYears(-1);
    QList<RecentShot> made;
    for (int i = 0; i < 20; ++i)
        made << makeEntry(folder, old.addSecs(i));
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const QStringList strangers{QStringLiteral("notes.txt"), QStringLiteral("holiday.kivaro"), id + QStringLiteral(".KIVARO"),
                                QStringLiteral("OCR/") + id + QStringLiteral(".json")};
    for (const QString &name : strangers) {
        QDir().mkpath(QFileInfo(folder + QLatin1Char('/') + name).absolutePath());
        writeFile(folder + QLatin1Char('/') + name, "x");
        setModified(folder + QLatin1Char('/') + name, old.addYears(-1));
    }
    const QString subfolder = folder + QLatin1Char('/') + QUuid::createUuid().toString(QUuid::WithoutBraces) + QStringLiteral(".kivaro");
    QDir().mkpath(subfolder);
    const QString link = folder + QLatin1Char('/') + QUuid::createUuid().toString(QUuid::WithoutBraces) + QStringLiteral(".kivaro");
    ASSERT_TRUE(QFile::link(made[5].projectURL, link));
    const RecentShot lower = makeEntry(folder, old.addSecs(100));
    ASSERT_TRUE(QFile::rename(lower.projectURL, lower.projectURL.toLower().replace(folder.toLower(), folder)));

    EXPECT_EQ(store->entries().size(), 21) << "a lower-case UUID is an entry too";
    flush();
    EXPECT_EQ(store->entries().size(), 20);
    for (const QString &name : strangers)
        EXPECT_TRUE(QFileInfo::exists(folder + QLatin1Char('/') + name)) << name.toStdString();
    EXPECT_TRUE(QFileInfo(subfolder).isDir());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(made[0].projectURL));
    EXPECT_FALSE(QFileInfo::exists(made[1].projectURL));
}

TEST_F(Store, AFolderThatIsALinkOrAFileIsRefusedAndNothingIsWritten)
{
    const QString real = root.filePath(QStringLiteral("real"));
    QDir().mkpath(real);
    QDir().mkpath(QFileInfo(folder).absolutePath());
    ASSERT_TRUE(QFile::link(real, folder));
    EXPECT_EQ(flushError(), QStringLiteral("最近截图目录必须是普通文件夹。"));
    EXPECT_TRUE(QDir(real).isEmpty());

    QFile::remove(folder);
    writeFile(folder, "not a folder");
    EXPECT_EQ(flushError(), QStringLiteral("最近截图目录必须是普通文件夹。"));
    EXPECT_EQ(contents(folder), QByteArray("not a folder"));
    EXPECT_EQ(saves, 0);

    store->schedule(&document);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !failures.isEmpty(); }));
    EXPECT_EQ(errorText(failures[0]), QStringLiteral("最近截图目录必须是普通文件夹。")) << "scheduled writes report through didFail";
}

TEST_F(Store, AFolderThatCannotBeWrittenReportsTheErrorAndKeepsWhatIsStored)
{
    const QList<RecentShot> made{makeEntry(folder, QDateTime::currentDateTime().addDays(-1)),
                                 makeEntry(folder, QDateTime::currentDateTime().addDays(-2))};
    // Something the store cannot replace sits where the session's project file goes.
    QDir().mkpath(current().projectURL);
    EXPECT_THROW(flush(), FileError);
    for (const RecentShot &shot : made) {
        EXPECT_EQ(contents(shot.projectURL), "project " + shot.id.toUtf8());
        EXPECT_EQ(contents(shot.previewURL), QByteArray("preview"));
    }
    EXPECT_FALSE(QFileInfo::exists(current().previewURL));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 4) << "no half-written files";
    EXPECT_EQ(saves, 0);

    // A folder that cannot be created.
    writeFile(root.filePath(QStringLiteral("plain")), "file");
    RecentShots blocked(root.filePath(QStringLiteral("plain/Recent")));
    EXPECT_THROW(TestSupport::run(blocked.flush(&document)), FileError);
    EXPECT_EQ(contents(root.filePath(QStringLiteral("plain"))), QByteArray("file"));
}
