#include "Kivaro/document/FileError.h"
#include "Kivaro/sharing/SharePresenter.h"

#include "KivaroCore/ShotError.h"
#include "NativeAppAppearance/MenuContentView.h"
#include "NativeAppAppearance/NativeMenu.h"
#include "Platform/Sharing/FixedSharingServices.h"
#include "Support/TaskTesting.h"

#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

using namespace Kivaro;
using NativeAppAppearance::NativeMenu;
using namespace std::chrono_literals;

namespace {

int mode(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

QString folderOf(const QString &file)
{
    return QFileInfo(file).absolutePath();
}

QString messageOf(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const ShotError &e) {
        return e.text();
    } catch (...) {
    }
    return QStringLiteral("not a ShotError");
}

struct Outcome {
    int calls = 0;
    std::exception_ptr error;
    SharePresenter::Completion completion()
    {
        return [this](std::exception_ptr e) {
            ++calls;
            error = e;
        };
    }
};

// A presenter over a fixed registry, with an anchor on screen and waits short enough to watch.
struct Sharing : ::testing::Test {
    std::shared_ptr<Platform::FixedSharingServices> registry = std::make_shared<Platform::FixedSharingServices>(QList<Platform::SharingService>{
        {QStringLiteral("viewer.desktop"), QStringLiteral("Viewer"), {}}, {QStringLiteral("mailer.desktop"), QStringLiteral("邮件"), {}}});
    SharePresenter::Options options{0ms, 0ms};
    std::unique_ptr<SharePresenter> presenter;
    QWidget anchor;

    void SetUp() override
    {
        presenter = std::make_unique<SharePresenter>(registry, options);
        anchor.resize(80, 30);
        anchor.show();
    }
    void TearDown() override { NativeMenu::shared().close(); }

    QString prepared() { return SharePresenter::prepare("PNG bytes", QStringLiteral("Kivaro.png")); }
    void choose(int row) { NativeMenu::shared().contentView()->rows().at(row)->activate(); }
    bool gone(const QString &file) { return TestSupport::waitUntil([&] { return !QFileInfo::exists(folderOf(file)); }); }
};

} // namespace

TEST(SharePresenterPrepare, WritesOnePrivateFileInAFreshPrivateFolder)
{
    const QString first = SharePresenter::prepare("hello", QStringLiteral("Kivaro-OCR.txt"));
    const QString second = SharePresenter::prepare("hello", QStringLiteral("Kivaro-OCR.txt"));
    EXPECT_NE(folderOf(first), folderOf(second));
    EXPECT_EQ(QFileInfo(folderOf(first)).absolutePath(), QFileInfo(QDir::tempPath()).absoluteFilePath());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Kivaro-share-[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$"))
                    .match(QFileInfo(folderOf(first)).fileName())
                    .hasMatch());
    EXPECT_EQ(mode(folderOf(first)), 0700);
    EXPECT_EQ(mode(first), 0600);
    QFile file(first);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("hello"));
    EXPECT_EQ(QDir(folderOf(first)).entryList(QDir::Files | QDir::Hidden).size(), 1);
    QDir(folderOf(first)).removeRecursively();
    QDir(folderOf(second)).removeRecursively();
}

TEST(SharePresenterPrepare, AFailedWriteLeavesNoFolderAndNamesMustBePlain)
{
    const auto before = QDir(QDir::tempPath()).entryList({QStringLiteral("Kivaro-share-*")}, QDir::Dirs);
    EXPECT_THROW(SharePresenter::prepare("x", QString(300, QLatin1Char('n'))), FileError) << "a name the file system refuses";
    for (const QString &name : {QString(), QStringLiteral(".."), QStringLiteral("../escape.png"), QStringLiteral("a/b.png")})
        EXPECT_THROW(SharePresenter::prepare("x", name), FileError) << name.toStdString();
    EXPECT_EQ(QDir(QDir::tempPath()).entryList({QStringLiteral("Kivaro-share-*")}, QDir::Dirs), before);
}

TEST_F(Sharing, DismissingTheMenuEndsOnceWithoutErrorAndRemovesTheFolder)
{
    const QString file = prepared();
    Outcome outcome;
    presenter->present(file, &anchor, outcome.completion());
    ASSERT_TRUE(NativeMenu::shared().isOpen());
    ASSERT_EQ(presenter->sessions().size(), 1);
    const ShareSession *session = presenter->sessions().begin().value();
    EXPECT_EQ(session->file(), file);
    EXPECT_EQ(session->serviceTitles(), (QStringList{QStringLiteral("Viewer"), QStringLiteral("邮件")}));
    EXPECT_EQ(presenter->activeFiles(), QStringList{file});

    NativeMenu::shared().close();
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_FALSE(outcome.error);
    EXPECT_TRUE(presenter->sessions().isEmpty());
    EXPECT_TRUE(gone(file));
    NativeMenu::shared().close();
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_TRUE(registry->performed().isEmpty());
}

TEST_F(Sharing, AnAnchorOffScreenEndsTheShareAtOnce)
{
    const QString file = prepared();
    QWidget hidden;
    Outcome outcome;
    presenter->present(file, &hidden, outcome.completion());
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_FALSE(outcome.error);
    EXPECT_FALSE(NativeMenu::shared().isOpen());
    EXPECT_TRUE(presenter->activeFiles().isEmpty());
    EXPECT_TRUE(gone(file));
}

TEST_F(Sharing, AStartedApplicationEndsTheShareButKeepsItsFileUntilItExits)
{
    const QString file = prepared();
    Outcome outcome;
    presenter->present(file, &anchor, outcome.completion());
    choose(1);
    EXPECT_FALSE(NativeMenu::shared().isOpen());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return outcome.calls == 1; }));
    EXPECT_FALSE(outcome.error) << "started is success";
    ASSERT_EQ(registry->performed().size(), 1);
    EXPECT_EQ(registry->performed()[0].service, QStringLiteral("mailer.desktop"));
    EXPECT_EQ(registry->performed()[0].filePath, file);
    EXPECT_TRUE(presenter->sessions().isEmpty()) << "the editor is free again";

    TestSupport::waitUntil([] { return false; }, 50);
    EXPECT_TRUE(QFileInfo::exists(file)) << "the application may still read it";
    EXPECT_EQ(presenter->pendingRemovals(), QStringList{folderOf(file)});
    registry->endAll();
    EXPECT_TRUE(gone(file));
    EXPECT_EQ(outcome.calls, 1);
}

TEST_F(Sharing, AnApplicationThatExitsAtOnceStillHasItsRetentionTime)
{
    presenter = std::make_unique<SharePresenter>(registry, SharePresenter::Options{0ms, std::chrono::hours(1)});
    const QString file = prepared();
    Outcome outcome;
    presenter->present(file, &anchor, outcome.completion());
    choose(0);
    registry->endAll(); // the process is gone before its start is even reported
    ASSERT_TRUE(TestSupport::waitUntil([&] { return outcome.calls == 1; }));
    TestSupport::waitUntil([] { return false; }, 50);
    EXPECT_TRUE(QFileInfo::exists(file)) << "within the retention time";
    EXPECT_EQ(presenter->pendingRemovals(), QStringList{folderOf(file)});
    presenter.reset();
    EXPECT_TRUE(QFileInfo::exists(file)) << "left for the next launch's sweep";
    QDir(folderOf(file)).removeRecursively();
}

TEST_F(Sharing, AnApplicationThatCannotStartIsTheShareError)
{
    registry->failNextStart(QStringLiteral("viewer.desktop"), QStringLiteral("no such program"));
    const QString file = prepared();
    Outcome outcome;
    presenter->present(file, &anchor, outcome.completion());
    choose(0);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return outcome.calls == 1; }));
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(messageOf(outcome.error), QStringLiteral("无法启动“Viewer”：no such program"));
    EXPECT_TRUE(gone(file)) << "nobody has the file";
}

TEST_F(Sharing, NoApplicationForTheFileShowsOneDisabledRow)
{
    presenter = std::make_unique<SharePresenter>(std::make_shared<Platform::FixedSharingServices>(QList<Platform::SharingService>{}), options);
    const QString file = prepared();
    Outcome outcome;
    presenter->present(file, &anchor, outcome.completion());
    ASSERT_TRUE(NativeMenu::shared().isOpen());
    const auto rows = NativeMenu::shared().contentView()->rows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0]->look().title, QStringLiteral("没有可以打开这个文件的应用"));
    EXPECT_FALSE(rows[0]->look().enabled);
    EXPECT_TRUE(presenter->sessions().begin().value()->serviceTitles().isEmpty());
    rows[0]->activate();
    EXPECT_EQ(outcome.calls, 0) << "a disabled row chooses nothing";
    presenter->cancelPickers();
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_FALSE(outcome.error);
}

TEST_F(Sharing, CancellingPickersEndsOpenSharesOnlyAndEachOnce)
{
    presenter = std::make_unique<SharePresenter>(registry, SharePresenter::Options{0ms, std::chrono::hours(1)});
    const QString chosenFile = prepared();
    Outcome chosen;
    presenter->present(chosenFile, &anchor, chosen.completion());
    choose(0);
    const QString first = prepared(), second = prepared();
    Outcome a, b;
    presenter->present(first, &anchor, a.completion());
    presenter->present(second, &anchor, b.completion()); // the shared menu shows one at a time
    EXPECT_EQ(a.calls, 1) << "the second menu dismissed the first";
    EXPECT_EQ(presenter->activeFiles().size(), 2) << "the chosen share waits for its start";

    presenter->cancelPickers();
    EXPECT_EQ(b.calls, 1);
    EXPECT_FALSE(b.error);
    EXPECT_FALSE(NativeMenu::shared().isOpen());
    EXPECT_EQ(presenter->activeFiles(), QStringList{chosenFile});
    EXPECT_TRUE(gone(first));
    EXPECT_TRUE(gone(second));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return chosen.calls == 1; }));
    EXPECT_TRUE(presenter->activeFiles().isEmpty());
    EXPECT_EQ(a.calls + b.calls + chosen.calls, 3);
    registry->endAll();
    presenter.reset();
    QDir(folderOf(chosenFile)).removeRecursively();
}

TEST_F(Sharing, APresenterGoneWithAMenuOpenClosesItAndRemovesTheFolder)
{
    const QString file = prepared();
    Outcome outcome;
    presenter->present(file, &anchor, outcome.completion());
    presenter.reset();
    EXPECT_FALSE(NativeMenu::shared().isOpen());
    EXPECT_FALSE(QFileInfo::exists(folderOf(file)));
    EXPECT_EQ(outcome.calls, 0);
}

TEST_F(Sharing, TheLaunchSweepRemovesOnlyOldShareFoldersOfOurOwn)
{
    QTemporaryDir temporary;
    const QByteArray previous = qgetenv("TMPDIR");
    qputenv("TMPDIR", temporary.path().toLocal8Bit());
    presenter = std::make_unique<SharePresenter>(registry, SharePresenter::Options{0ms, std::chrono::minutes(1)});
    const auto age = [](const QString &path, int seconds) {
        const time_t when = time_t(QDateTime::currentSecsSinceEpoch() - seconds);
        const struct timespec times[2] = {{when, 0}, {when, 0}};
        ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
    };
    const auto makeFolder = [&](const QString &name, int ageSeconds) {
        const QString path = temporary.filePath(name);
        QDir().mkpath(path);
        QFile file(path + QStringLiteral("/Kivaro.png"));
        file.open(QIODevice::WriteOnly);
        file.write("x");
        file.close();
        age(path, ageSeconds);
        return path;
    };
    const QString id = QStringLiteral("0F8FAD5B-D9CB-469F-A165-70867728950E");
    const QString old = makeFolder(QStringLiteral("Kivaro-share-") + id, 3600);
    const QString fresh = makeFolder(QStringLiteral("Kivaro-share-1B4E28BA-2FA1-11D2-883F-0016D3CCA427"), 0);
    const QString unrelated = makeFolder(QStringLiteral("Kivaro-share-notes"), 3600);
    const QString target = makeFolder(QStringLiteral("keep"), 3600);
    const QString link = temporary.filePath(QStringLiteral("Kivaro-share-6FA459EA-EE8A-3CA4-894E-DB77E160355E"));
    ASSERT_TRUE(QFile::link(target, link));
    const QString live = prepared(); // this run's own share, old enough to be swept but for being ours
    age(folderOf(live), 3600);
    Outcome outcome;
    presenter->present(live, &anchor, outcome.completion());

    EXPECT_EQ(presenter->removeLeftoverFolders(), 1);
    EXPECT_FALSE(QFileInfo::exists(old));
    EXPECT_TRUE(QFileInfo::exists(fresh)) << "may belong to an application that just got it";
    EXPECT_TRUE(QFileInfo::exists(unrelated));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(target + QStringLiteral("/Kivaro.png")));
    EXPECT_TRUE(QFileInfo::exists(live));
    NativeMenu::shared().close();
    presenter.reset();
    qputenv("TMPDIR", previous);
    if (previous.isEmpty())
        qunsetenv("TMPDIR");
}
