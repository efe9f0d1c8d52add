#include "Kivaro/document/FileError.h"
#include "Kivaro/sharing/SharePresenter.h"

#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "NativeAppAppearance/MenuContentView.h"
#include "NativeAppAppearance/NativeMenu.h"
#include "Platform/Sharing/FixedSharingServices.h"
#include "Support/TaskTesting.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

using namespace Kivaro;
using NativeAppAppearance::NativeMenu;
using namespace std::chrono_literals;
using TestSupport::waitUntil;

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

struct Outcome {
    int calls = 0;
    std::exception_ptr error;
    SharePresenter::Completion completion() { return [this](std::exception_ptr e) { ++calls, error = e; }; }
};

// A presenter over a fixed registry, with an anchor on screen and no waits unless a test sets a
// retention time.
struct Sharing : ::testing::Test {
    std::shared_ptr<Platform::FixedSharingServices> registry = std::make_shared<Platform::FixedSharingServices>(QList<Platform::SharingService>{
        {QStringLiteral("viewer.desktop"), QStringLiteral("Viewer"), {}}, {QStringLiteral("mailer.desktop"), QStringLiteral("邮件"), {}}});
    std::unique_ptr<SharePresenter> presenter = std::make_unique<SharePresenter>(registry, SharePresenter::Options{0ms, 0ms});
    QWidget anchor;
    Outcome outcome;

    void SetUp() override { anchor.setGeometry(0, 0, 80, 30), anchor.show(); }
    void TearDown() override { NativeMenu::shared().close(); }

    void retain(std::chrono::milliseconds retention) { presenter = std::make_unique<SharePresenter>(registry, SharePresenter::Options{0ms, retention}); }
    // A prepared file presented at the anchor.
    QString present(Outcome &to)
    {
        const QString file = SharePresenter::prepare("PNG bytes", QStringLiteral("Kivaro.png"));
        presenter->present(file, &anchor, to.completion());
        return file;
    }
    void choose(int row) { NativeMenu::shared().contentView()->rows().at(row)->activate(); }
    static bool gone(const QString &file) { return waitUntil([&] { return !QFileInfo::exists(folderOf(file)); }); }
};

} // namespace

TEST(SharePresenterPrepare, WritesOnePrivateFileInAFreshPrivateFolderOrNothing)
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
    EXPECT_EQ(QDir(folderOf(first)).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Kivaro-OCR.txt")});
    QDir(folderOf(first)).removeRecursively();
    QDir(folderOf(second)).removeRecursively();

    const auto before = QDir(QDir::tempPath()).entryList({QStringLiteral("Kivaro-share-*")}, QDir::Dirs);
    EXPECT_THROW(SharePresenter::prepare("x", QString(300, QLatin1Char('n'))), FileError) << "a name the file system refuses";
    for (const QString &name : {QString(), QStringLiteral(".."), QStringLiteral("../escape.png"), QStringLiteral("a/b.png")})
        EXPECT_THROW(SharePresenter::prepare("x", name), FileError) << name.toStdString();
    EXPECT_EQ(QDir(QDir::tempPath()).entryList({QStringLiteral("Kivaro-share-*")}, QDir::Dirs), before);
}

TEST_F(Sharing, DismissingTheMenuEndsOnceWithoutErrorAndRemovesTheFolder)
{
    const QString file = present(outcome);
    ASSERT_TRUE(NativeMenu::shared().isOpen());
    ASSERT_EQ(presenter->sessions().size(), 1);
    EXPECT_EQ(presenter->sessions().begin().value()->serviceTitles(), (QStringList{QStringLiteral("Viewer"), QStringLiteral("邮件")}));
    EXPECT_EQ(presenter->activeFiles(), QStringList{file});

    NativeMenu::shared().close();
    NativeMenu::shared().close();
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_FALSE(outcome.error);
    EXPECT_TRUE(presenter->sessions().isEmpty());
    EXPECT_TRUE(gone(file));
    EXPECT_TRUE(registry->performed().isEmpty());

    // An anchor that is not on screen ends the share at once.
    QWidget hidden;
    Outcome offScreen;
    const QString another = SharePresenter::prepare("x", QStringLiteral("Kivaro.png"));
    presenter->present(another, &hidden, offScreen.completion());
    EXPECT_EQ(offScreen.calls, 1);
    EXPECT_FALSE(offScreen.error);
    EXPECT_FALSE(NativeMenu::shared().isOpen());
    EXPECT_TRUE(gone(another));
}

TEST_F(Sharing, AStartedApplicationEndsTheShareButKeepsItsFileUntilItExits)
{
    const QString file = present(outcome);
    choose(1);
    ASSERT_TRUE(waitUntil([&] { return outcome.calls == 1; }));
    EXPECT_FALSE(outcome.error) << "started is success";
    ASSERT_EQ(registry->performed().size(), 1);
    EXPECT_EQ(registry->performed()[0].service, QStringLiteral("mailer.desktop"));
    EXPECT_EQ(registry->performed()[0].filePath, file);
    EXPECT_TRUE(presenter->sessions().isEmpty()) << "the editor is free again";

    waitUntil([] { return false; }, 50);
    EXPECT_TRUE(QFileInfo::exists(file)) << "the application may still read it";
    EXPECT_EQ(presenter->pendingRemovals(), QStringList{folderOf(file)});
    registry->endAll();
    EXPECT_TRUE(gone(file));
    EXPECT_EQ(outcome.calls, 1);
}

TEST_F(Sharing, AnApplicationThatExitsAtOnceStillHasItsRetentionTime)
{
    retain(std::chrono::hours(1));
    const QString file = present(outcome);
    choose(0);
    registry->endAll(); // the process is gone before its start is even reported
    ASSERT_TRUE(waitUntil([&] { return outcome.calls == 1; }));
    waitUntil([] { return false; }, 50);
    EXPECT_TRUE(QFileInfo::exists(file)) << "within the retention time";
    presenter.reset();
    EXPECT_TRUE(QFileInfo::exists(file)) << "left for the next launch's sweep";
    QDir(folderOf(file)).removeRecursively();
}

TEST_F(Sharing, AnApplicationThatCannotStartIsTheShareErrorGivingTheCauseInTheUsersLanguage)
{
    using Platform::LaunchFailure;
    const QList<std::pair<LaunchFailure, QString>> causes{
        {LaunchFailure::programNotFound, QStringLiteral("找不到它的程序")},
        {LaunchFailure::notExecutable, QStringLiteral("它的程序不是可执行文件")},
        {LaunchFailure::permissionDenied, QStringLiteral("没有运行它的权限")},
        {LaunchFailure::other, QStringLiteral("系统未能启动它")},
    };
    const auto failure = [&](LaunchFailure cause) {
        registry->failNextStart(QStringLiteral("viewer.desktop"), cause);
        Outcome failed;
        const QString file = present(failed);
        choose(0);
        EXPECT_TRUE(waitUntil([&] { return failed.calls == 1; }));
        EXPECT_TRUE(gone(file)) << "nobody has the file";
        try {
            std::rethrow_exception(failed.error);
        } catch (const ShotError &error) {
            return error.text();
        } catch (...) {
        }
        return QString();
    };
    for (const auto &[cause, reason] : causes)
        EXPECT_EQ(failure(cause), QStringLiteral("无法启动“Viewer”：") + reason);

    Kivaro::StringTable::overrideLanguage(QStringLiteral("en"));
    EXPECT_EQ(failure(LaunchFailure::permissionDenied), QStringLiteral("Could not start “Viewer”: you do not have permission to run it"));
    Kivaro::StringTable::overrideLanguage(QStringLiteral("zh-Hant"));
    EXPECT_EQ(failure(LaunchFailure::programNotFound), QStringLiteral("無法啟動「Viewer」：找不到它的程式"));
    Kivaro::StringTable::overrideLanguage(QString());
}

TEST_F(Sharing, NoApplicationForTheFileShowsOneDisabledRow)
{
    presenter = std::make_unique<SharePresenter>(std::make_shared<Platform::FixedSharingServices>(QList<Platform::SharingService>{}),
                                                 SharePresenter::Options{0ms, 0ms});
    present(outcome);
    ASSERT_TRUE(NativeMenu::shared().isOpen());
    const auto rows = NativeMenu::shared().contentView()->rows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0]->look().title, QStringLiteral("没有可以打开这个文件的应用"));
    EXPECT_FALSE(rows[0]->look().enabled);
    presenter->cancelPickers();
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_FALSE(outcome.error);
}

TEST_F(Sharing, CancellingPickersEndsOpenSharesOnlyAndEachOnce)
{
    retain(std::chrono::hours(1));
    const QString chosenFile = present(outcome);
    choose(0);
    Outcome a, b;
    const QString first = present(a);
    const QString second = present(b); // the shared menu shows one at a time
    EXPECT_EQ(a.calls, 1) << "the second menu dismissed the first";
    EXPECT_EQ(presenter->activeFiles().size(), 2) << "the chosen share waits for its start";

    presenter->cancelPickers();
    EXPECT_EQ(b.calls, 1);
    EXPECT_FALSE(b.error);
    EXPECT_FALSE(NativeMenu::shared().isOpen());
    EXPECT_EQ(presenter->activeFiles(), QStringList{chosenFile});
    EXPECT_TRUE(gone(first));
    EXPECT_TRUE(gone(second));
    ASSERT_TRUE(waitUntil([&] { return outcome.calls == 1; }));
    registry->endAll();
    presenter.reset();
    QDir(folderOf(chosenFile)).removeRecursively();
}

TEST_F(Sharing, APresenterGoneWithAMenuOpenClosesItAndRemovesTheFolder)
{
    const QString file = present(outcome);
    presenter.reset();
    EXPECT_FALSE(NativeMenu::shared().isOpen());
    EXPECT_FALSE(QFileInfo::exists(folderOf(file)));
    EXPECT_EQ(outcome.calls, 0);
}

TEST_F(Sharing, AFileFromOutsideAShareFolderNeverLosesItsFolder)
{
    QTemporaryDir recent; // say, the recent shots' folder holding a preview
    const QString file = recent.filePath(QStringLiteral("preview.png"));
    ASSERT_TRUE(QFile(file).open(QIODevice::WriteOnly));
    Outcome dismissed, started, abandoned;
    presenter->present(file, &anchor, dismissed.completion());
    NativeMenu::shared().close();
    presenter->present(file, &anchor, started.completion());
    choose(0);
    ASSERT_TRUE(waitUntil([&] { return started.calls == 1; }));
    registry->endAll();
    presenter->present(file, &anchor, abandoned.completion());
    presenter.reset();
    waitUntil([] { return false; }, 50);
    EXPECT_EQ(dismissed.calls, 1);
    EXPECT_TRUE(QFileInfo::exists(file));
}

TEST_F(Sharing, AShareFolderSwappedForALinkLosesNothingOfTheLinksTarget)
{
    QTemporaryDir elsewhere; // the user's folder someone points the share's name at
    const QString kept = elsewhere.filePath(QStringLiteral("holiday.png"));
    ASSERT_TRUE(QFile(kept).open(QIODevice::WriteOnly));

    // Swapped before the delayed removal runs: the link stays, the target keeps its files.
    const QString file = present(outcome);
    const QString folder = folderOf(file);
    NativeMenu::shared().close();
    ASSERT_EQ(presenter->pendingRemovals(), QStringList{folder});
    ASSERT_TRUE(QDir(folder).removeRecursively());
    ASSERT_TRUE(QFile::link(elsewhere.path(), folder));
    ASSERT_TRUE(waitUntil([&] { return presenter->pendingRemovals().isEmpty(); }));
    waitUntil([] { return false; }, 20);
    EXPECT_TRUE(QFileInfo::exists(kept));
    EXPECT_TRUE(QFileInfo(folder).isSymLink());
    QFile::remove(folder);

    // A link inside a real share folder goes as a link; what it points at stays.
    Outcome second;
    const QString inner = present(second);
    ASSERT_TRUE(QDir().mkpath(folderOf(inner) + QStringLiteral("/nested")));
    ASSERT_TRUE(QFile::link(elsewhere.path(), folderOf(inner) + QStringLiteral("/nested/escape")));
    ASSERT_TRUE(QFile::link(kept, folderOf(inner) + QStringLiteral("/picture.png")));
    NativeMenu::shared().close();
    EXPECT_TRUE(gone(inner));
    EXPECT_TRUE(QFileInfo::exists(kept));
    EXPECT_EQ(QDir(elsewhere.path()).entryList(QDir::Files), QStringList{QStringLiteral("holiday.png")});
}

TEST_F(Sharing, TheLaunchSweepRemovesOnlyOldShareFoldersOfOurOwn)
{
    QTemporaryDir temporary;
    const QByteArray previous = qgetenv("TMPDIR");
    qputenv("TMPDIR", temporary.path().toLocal8Bit());
    retain(std::chrono::minutes(1));
    const auto age = [](const QString &path, int seconds) {
        const time_t when = time_t(QDateTime::currentSecsSinceEpoch() - seconds);
        const struct timespec times[2] = {{when, 0}, {when, 0}};
        ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
    };
    const auto makeFolder = [&](const QString &name, int ageSeconds) {
        const QString path = temporary.filePath(name);
        QDir().mkpath(path);
        QFile(path + QStringLiteral("/Kivaro.png")).open(QIODevice::WriteOnly);
        age(path, ageSeconds);
        return path;
    };
    const QString old = makeFolder(QStringLiteral("Kivaro-share-0F8FAD5B-D9CB-469F-A165-70867728950E"), 3600);
    const QString fresh = makeFolder(QStringLiteral("Kivaro-share-1B4E28BA-2FA1-11D2-883F-0016D3CCA427"), 0);
    const QString unrelated = makeFolder(QStringLiteral("Kivaro-share-notes"), 3600);
    const QString target = makeFolder(QStringLiteral("keep"), 3600);
    const QString link = temporary.filePath(QStringLiteral("Kivaro-share-6FA459EA-EE8A-3CA4-894E-DB77E160355E"));
    ASSERT_TRUE(QFile::link(target, link));
    const QString live = present(outcome); // this run's own share, old enough to be swept but for being ours
    age(folderOf(live), 3600);

    EXPECT_EQ(presenter->removeLeftoverFolders(), 1);
    EXPECT_FALSE(QFileInfo::exists(old));
    EXPECT_TRUE(QFileInfo::exists(fresh)) << "may belong to an application that just got it";
    EXPECT_TRUE(QFileInfo::exists(unrelated));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(target + QStringLiteral("/Kivaro.png")));
    EXPECT_TRUE(QFileInfo::exists(live));
    NativeMenu::shared().close();
    presenter.reset();
    if (previous.isEmpty())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", previous);
}
