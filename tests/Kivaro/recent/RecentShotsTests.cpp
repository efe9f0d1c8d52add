#include "RecentFixtures.h"

#include "Kivaro/document/FileError.h"
#include "Kivaro/document/LinkedAnnotations.h"
#include "Kivaro/document/ProjectArchive.h"
#include "Kivaro/recent/RecentShots.h"

#include "KivaroCore/ShotError.h"
#include "Support/TaskTesting.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

using namespace Kivaro;
using namespace RecentFixtures;

namespace {

struct Store : ::testing::Test {
    QTemporaryDir root;
    QString folder = root.filePath("data/Recent");
    std::unique_ptr<RecentShots> store = std::make_unique<RecentShots>(folder);
    ShotDocument document;
    int saves = 0;
    QList<std::exception_ptr> failures;

    void SetUp() override
    {
        store->didSave = [this] { ++saves; };
        store->didFail = [this](std::exception_ptr error) { failures << error; };
        document.load(picture(480, 320), false);
        addShape(document, QRectF(20, 20, 80, 50));
    }
    // Writes now; the message of a ShotError, empty when none.
    QString flush()
    {
        try {
            TestSupport::run(store->flush(&document));
        } catch (const ShotError &error) {
            return error.text();
        }
        return {};
    }
    RecentShot current() const { return RecentShot::named(folder, store->sessionID()); }
    // The session's project file holds the document as it is now.
    void expectWritten() { EXPECT_EQ(ProjectArchive::decode(contents(current().projectURL)), LinkedAnnotations::reconcile(document.state())); }
};

} // namespace

// Mended: the variable won over the verification folder, so a verification run could write into
// and prune the user's own history.
TEST(RecentShotsFolder, ExplicitThenVerificationThenVariableThenDataHome)
{
    QProcessEnvironment environment;
    environment.insert("HOME", "/home/u");
    const QStringList plain{"kivaro"};
    EXPECT_EQ(RecentShots::defaultDirectory(plain, environment), QStringLiteral("/home/u/.local/share/Kivaro/Recent"));
    environment.insert("XDG_DATA_HOME", "/data");
    EXPECT_EQ(RecentShots::defaultDirectory(plain, environment), QStringLiteral("/data/Kivaro/Recent"));
    environment.insert("KIVARO_DATA_DIR", "/elsewhere");
    EXPECT_EQ(RecentShots::defaultDirectory(plain, environment), QStringLiteral("/elsewhere"));

    EXPECT_EQ(RecentShots::defaultDirectory({"kivaro", "--verify", "--evidence-dir", "/tmp/ev"}, environment), QStringLiteral("/tmp/ev/recent-data"));
    EXPECT_EQ(RecentShots::defaultDirectory({"kivaro", "--verify-basics"}, environment), QStringLiteral("/elsewhere")) << "only the exact flag";
}

// Mended: only the last folder of the path was made private; its parents were 0755.
TEST(RecentShotsFolder, EveryFolderTheStoreCreatesIsPrivate)
{
    QTemporaryDir dataHome;
    QProcessEnvironment environment;
    environment.insert("XDG_DATA_HOME", dataHome.path());
    RecentShots store(RecentShots::defaultDirectory({"kivaro"}, environment));
    ShotDocument document;
    document.load(picture(40, 30), false);
    TestSupport::run(store.flush(&document));
    ASSERT_EQ(store.directory(), dataHome.filePath("Kivaro/Recent"));
    EXPECT_EQ(mode(dataHome.filePath("Kivaro")), 0700);
    EXPECT_EQ(mode(dataHome.filePath("Kivaro/Recent")), 0700);
    EXPECT_EQ(store.entries().size(), 1);
}

TEST(RecentShotsSession, IdentitiesAreUUIDsAndOnlyEntryIDsResume)
{
    RecentShots store(QStringLiteral("/nowhere"));
    const QString first = store.sessionID();
    EXPECT_TRUE(RecentShots::isEntryID(first));
    store.beginSession();
    EXPECT_NE(store.sessionID(), first);
    EXPECT_EQ(store.generation(), 1);

    for (const QString &bad : QStringList{QString(), QStringLiteral("../etc/passwd"), "{" + first + "}", first + "0"}) {
        store.resumeSession(bad);
        EXPECT_EQ(store.generation(), 1) << bad.toStdString();
    }
    store.resumeSession(first.toLower());
    EXPECT_EQ(store.sessionID(), first.toLower()) << "kept as given, so it names the listed files";
    EXPECT_EQ(store.generation(), 2);

    // Nothing is written for an empty document or the sample; a missing folder lists as empty.
    ShotDocument empty, sample;
    sample.load(picture(240, 160), true);
    TestSupport::run(store.flush(&empty));
    TestSupport::run(store.flush(&sample));
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/nowhere")));
    EXPECT_TRUE(store.entries().isEmpty());
}

TEST_F(Store, AWriteIsAPrivateProjectAndASmallPreviewNamedBySession)
{
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther);
    EXPECT_EQ(flush(), QString());
    EXPECT_EQ(mode(folder), 0700) << "an existing folder is made private too";
    EXPECT_EQ(mode(current().projectURL), 0600);
    EXPECT_EQ(mode(current().previewURL), 0600);
    expectWritten();
    EXPECT_EQ(QImage::fromData(contents(current().previewURL), "PNG").size(), QSize(320, 213)) << "longest side 320";
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 2) << "no temporary files stay behind";
}

// A strip one or two pixels high (or wide) keeps a preview of at least a pixel a side, and is
// written like any other shot.
TEST_F(Store, ThinPicturesAreWrittenWithAPreviewOfAtLeastOnePixelASide)
{
    const QList<std::pair<QSize, QSize>> cases = {{QSize(400, 1), QSize(320, 1)},
                                                  {QSize(700, 2), QSize(320, 1)},
                                                  {QSize(1300, 4), QSize(320, 1)},
                                                  {QSize(16000, 1), QSize(320, 1)},
                                                  {QSize(1, 16000), QSize(1, 320)}};
    for (const auto &[size, previewSize] : cases) {
        SCOPED_TRACE(::testing::PrintToString(size));
        store->beginSession();
        document.load(picture(size.width(), size.height()), false);
        ASSERT_EQ(flush(), QString());
        expectWritten();
        const QImage preview = QImage::fromData(contents(current().previewURL), "PNG");
        ASSERT_EQ(preview.size(), previewSize);
        EXPECT_EQ(preview.pixel(0, 0), picture(1, 1).pixel(0, 0)) << "the strip itself, not a faint trace of it";
    }
}

TEST_F(Store, ScheduledWritesWaitForTheLastOfABurst)
{
    store->schedule(&document);
    TestSupport::waitUntil([] { return false; }, 50);
    addShape(document, QRectF(150, 90, 40, 40));
    store->schedule(&document);
    QElapsedTimer sinceLast;
    sinceLast.start();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return saves == 1; }));
    // A lower bound only: a slow machine makes the wait longer, never shorter.
    EXPECT_GE(sinceLast.elapsed(), 640) << "0.65 s after the last change";
    TestSupport::waitUntil([] { return false; }, 800);
    EXPECT_EQ(saves, 1) << "the first schedule was replaced, not added";
    expectWritten();
}

TEST_F(Store, ASessionChangeCancelsTheScheduledWriteAndOvertakesARunningOne)
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
    TestSupport::waitUntil([] { return false; }, 800);
    EXPECT_EQ(saves, 0);
    EXPECT_TRUE(failures.isEmpty()) << "cancellation is not an error";

    const QString old = store->sessionID();
    auto write = Platform::start(store->flush(&document));
    // Runs after the write has started and suspended in its encoding.
    QMetaObject::invokeMethod(QCoreApplication::instance(), [this] { store->beginSession(); }, Qt::QueuedConnection);
    ASSERT_TRUE(TestSupport::waitFor(write));
    EXPECT_FALSE(write.error()) << "a stale write ends quietly";
    EXPECT_FALSE(QFileInfo::exists(RecentShot::named(folder, old).projectURL));
    flush();
    EXPECT_TRUE(QFileInfo::exists(current().projectURL)) << "the next write uses the new identity";
}

// Mended: a write started with a queued start read its store and document on its first run,
// freed or not.
TEST_F(Store, AQueuedWriteWhoseDocumentOrStoreIsGoneEndsCancelled)
{
    auto doomed = std::make_unique<ShotDocument>();
    doomed->load(picture(40, 30), false);
    const auto documentGone = Platform::start(store->flush(doomed.get()));
    doomed.reset();
    const auto storeGone = Platform::start(store->flush(&document));
    store.reset();
    ASSERT_TRUE(TestSupport::waitFor(documentGone) && TestSupport::waitFor(storeGone));
    EXPECT_THROW(std::rethrow_exception(documentGone.error()), Platform::CancellationError);
    EXPECT_THROW(std::rethrow_exception(storeGone.error()), Platform::CancellationError);
    EXPECT_FALSE(QFileInfo::exists(folder));
}

TEST_F(Store, AStateThatKeepsChangingWhileItIsEncodedFailsAfterThreeRetakes)
{
    QTimer editing;
    QObject::connect(&editing, &QTimer::timeout, [&] { addShape(document, QRectF(5, 5, 30, 30), Qt::red, false); });
    editing.start(0);
    EXPECT_EQ(flush(), QStringLiteral("标注仍在变化，请结束编辑后重新保存。"));
    editing.stop();
    EXPECT_FALSE(QFileInfo::exists(current().projectURL));
}

TEST_F(Store, PruningKeepsTheTwentyNewestAndDeletesPreviewsWithTheirProjects)
{
    const QDateTime base = QDateTime::currentDateTime().addDays(-2);
    QList<RecentShot> made;
    for (int i = 0; i < 19; ++i)
        made << makeEntry(folder, base.addSecs(60 * i), i != 0);
    flush();
    EXPECT_EQ(store->entries().size(), 20) << "exactly twenty: nothing deleted";

    store->beginSession();
    flush();
    ASSERT_EQ(store->entries().size(), 20);
    EXPECT_EQ(store->entries()[0].id, store->sessionID()) << "newest first";
    EXPECT_FALSE(QFileInfo::exists(made[0].projectURL)) << "the oldest went, though it had no preview";

    store->beginSession();
    flush();
    EXPECT_FALSE(QFileInfo::exists(made[1].projectURL));
    EXPECT_FALSE(QFileInfo::exists(made[1].previewURL)) << "its preview went with it";
}

// Mended: pruning went by dates alone, so entries dated in the future deleted the shot just written.
TEST_F(Store, PruningNeverDeletesTheShotJustWrittenWhateverOtherDatesSay)
{
    QList<RecentShot> made;
    for (int i = 0; i < 20; ++i)
        made << makeEntry(folder, QDateTime::currentDateTime().addDays(30).addSecs(60 * i));
    flush();
    EXPECT_TRUE(QFileInfo::exists(current().projectURL));
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
    const QStringList strangers{folder + "/notes.txt", folder + "/holiday.kivaro", folder + "/" + id + ".KIVARO", folder + "/OCR/" + id + ".json"};
    QDir().mkpath(folder + "/OCR");
    for (const QString &path : strangers)
        writeFile(path, "x", old.addYears(-1));
    const QString subfolder = folder + "/" + QUuid::createUuid().toString(QUuid::WithoutBraces) + ".kivaro";
    const QString link = folder + "/" + QUuid::createUuid().toString(QUuid::WithoutBraces) + ".kivaro";
    QDir().mkpath(subfolder);
    ASSERT_TRUE(QFile::link(made[5].projectURL, link));
    const RecentShot lower = makeEntry(folder, old.addSecs(100));
    ASSERT_TRUE(QFile::rename(lower.projectURL, folder + "/" + lower.id.toLower() + ".kivaro"));

    EXPECT_EQ(store->entries().size(), 21) << "a lower-case UUID is an entry too";
    flush();
    EXPECT_EQ(store->entries().size(), 20);
    for (const QString &path : strangers)
        EXPECT_TRUE(QFileInfo::exists(path)) << path.toStdString();
    EXPECT_TRUE(QFileInfo(subfolder).isDir());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(made[1].projectURL)) << "the two oldest entries went";
}

// Mended: a kill between deleting an entry's project and its preview left the preview for ever,
// and a kill during a write its temporary, unless that very entry was written again.
TEST_F(Store, ListingOrWritingRemovesOrphanPreviewsAndStaleTemporariesOfAnyEntry)
{
    const RecentShot orphan = makeEntry(folder, QDateTime::currentDateTime().addDays(-1));
    QFile::remove(orphan.projectURL);
    const RecentShot bare = makeEntry(folder, QDateTime::currentDateTime().addDays(-1), false);
    const QString old = QDateTime::currentDateTime().addSecs(-120).toString(Qt::ISODate);
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const QStringList stale{folder + "/" + id + ".kivaro.Ab12Cd", folder + "/" + id + ".png.x9Y8z7", bare.projectURL + ".QwErTy"};
    for (const QString &path : stale)
        writeFile(path, "interrupted", QDateTime::currentDateTime().addSecs(-120));
    const QStringList kept{folder + "/" + id + ".kivaro.fresh1", folder + "/notes.png", folder + "/" + id + ".PNG",
                           folder + "/" + id + ".kivaro.bak", folder + "/holiday.kivaro.Ab12Cd"};
    for (const QString &path : kept)
        writeFile(path, "x", path.endsWith("fresh1") ? QDateTime() : QDateTime::currentDateTime().addDays(-1));
    const QString linkedPreview = folder + "/" + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + ".png";
    ASSERT_TRUE(QFile::link(bare.projectURL, linkedPreview));
    const QString folderPreview = folder + "/" + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + ".png";
    QDir().mkpath(folderPreview);

    const QList<RecentShot> listed = store->entries();
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed[0].id, bare.id) << "a project without a preview is a whole entry";
    EXPECT_FALSE(QFileInfo::exists(orphan.previewURL));
    for (const QString &path : stale)
        EXPECT_FALSE(QFileInfo::exists(path)) << path.toStdString();
    for (const QString &path : kept)
        EXPECT_TRUE(QFileInfo::exists(path)) << path.toStdString();
    EXPECT_TRUE(QFileInfo(linkedPreview).isSymLink()) << "only regular files are ours to delete";
    EXPECT_TRUE(QFileInfo(folderPreview).isDir());

    // Writing lists the folder too.
    const RecentShot later = makeEntry(folder, QDateTime::currentDateTime().addDays(-1));
    QFile::remove(later.projectURL);
    EXPECT_EQ(flush(), QString());
    EXPECT_FALSE(QFileInfo::exists(later.previewURL));
    EXPECT_TRUE(QFileInfo::exists(current().previewURL));
}

TEST_F(Store, AFolderThatIsALinkOrAFileIsRefusedAndNothingIsWritten)
{
    const QString real = root.filePath("real");
    QDir().mkpath(real);
    QDir().mkpath(QFileInfo(folder).absolutePath());
    ASSERT_TRUE(QFile::link(real, folder));
    EXPECT_EQ(flush(), QStringLiteral("最近截图目录必须是普通文件夹。"));
    RecentShots slashed(folder + "/"); // Mended: the trailing slash made lstat follow the link
    EXPECT_THROW(TestSupport::run(slashed.flush(&document)), ShotError);
    EXPECT_TRUE(QDir(real).isEmpty());

    QFile::remove(folder);
    writeFile(folder, "not a folder");
    store->schedule(&document);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !failures.isEmpty(); }));
    EXPECT_THROW(std::rethrow_exception(failures[0]), ShotError) << "scheduled writes report through didFail";
    EXPECT_EQ(contents(folder), QByteArray("not a folder"));
    EXPECT_EQ(saves, 0);
}

TEST_F(Store, AFolderThatCannotBeWrittenReportsTheErrorAndKeepsWhatIsStored)
{
    const QList<RecentShot> made{makeEntry(folder, QDateTime::currentDateTime().addDays(-1)),
                                 makeEntry(folder, QDateTime::currentDateTime().addDays(-2))};
    QDir().mkpath(current().projectURL); // something the store cannot replace sits where the project goes
    EXPECT_THROW(TestSupport::run(store->flush(&document)), FileError);
    for (const RecentShot &shot : made) {
        EXPECT_EQ(contents(shot.projectURL), "project " + shot.id.toUtf8());
        EXPECT_EQ(contents(shot.previewURL), QByteArray("preview"));
    }
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 4) << "no half-written files";
    EXPECT_EQ(saves, 0);
}

// Flushing a document that has not changed since its entry was written leaves the entry alone;
// an entry that went missing, a change, an undo back to the written state after another write,
// and a new session are all written again.
TEST_F(Store, AnUnchangedShotWhoseEntryIsThereIsNotWrittenAgain)
{
    EXPECT_EQ(flush(), QString());
    ASSERT_EQ(saves, 1);
    const QDateTime written = QDateTime::currentDateTime().addSecs(-60);
    {
        QFile project(current().projectURL);
        ASSERT_TRUE(project.open(QIODevice::ReadWrite));
        ASSERT_TRUE(project.setFileTime(written, QFileDevice::FileModificationTime));
    }
    EXPECT_EQ(flush(), QString());
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(QFileInfo(current().projectURL).lastModified(), written) << "the entry was not touched";

    QFile::remove(current().previewURL);
    EXPECT_EQ(flush(), QString());
    EXPECT_EQ(saves, 2) << "a missing preview is written again";
    EXPECT_TRUE(QFileInfo::exists(current().previewURL));

    const ShotState before = document.state();
    addShape(document, QRectF(200, 100, 60, 60));
    EXPECT_EQ(flush(), QString());
    EXPECT_EQ(saves, 3);
    expectWritten();
    document.canvas()->undoManager()->undo();
    ASSERT_EQ(document.state(), before);
    EXPECT_EQ(flush(), QString());
    EXPECT_EQ(saves, 4) << "the entry holds the later state";
    expectWritten();

    const RecentShot first = current();
    store->beginSession();
    EXPECT_EQ(flush(), QString());
    EXPECT_EQ(saves, 5) << "a new session is a new entry";
    EXPECT_TRUE(QFileInfo::exists(first.projectURL));
    expectWritten();
}
