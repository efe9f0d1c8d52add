#include "KivaroCore/RecognizedTextHistory.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Kivaro;

namespace {

int mode(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
}

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

QByteArray recordJson(const QString &id, const QString &text, double date = 100)
{
    return RecognizedTextRecord{id, text, false, *RecognizedTextRecord::fromReferenceSeconds(date)}.toJson();
}

QDateTime at(int seconds)
{
    return QDateTime(QDate(2024, 3, 14), QTime(9, 0), Qt::UTC).addSecs(seconds);
}

RecognizedTextHistoryError::Code failureCode(const std::function<void()> &call)
{
    try {
        call();
    } catch (const RecognizedTextHistoryError &error) {
        return error.code();
    }
    ADD_FAILURE() << "no error";
    return RecognizedTextHistoryError::fileSystem;
}

class HistoryTest : public ::testing::Test {
protected:
    QTemporaryDir home;
    QString folder = home.filePath(QStringLiteral("Recent/OCR"));
    RecognizedTextHistory history{folder};

    QStringList files() const { return QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::System | QDir::NoDotAndDotDot, QDir::Name); }
};

} // namespace

TEST(RecognizedTextRecordJson, WritesTheKeysInOrderAndReadsThemBackByName)
{
    const RecognizedTextRecord record{QStringLiteral("0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0"),
                                      QStringLiteral("第一行 \"引号\"\\\n\t\x01 𠀀 end"), true,
                                      QDateTime::fromMSecsSinceEpoch(978'307'200'000 + 733'000'123'456, Qt::UTC)};
    const QByteArray json = record.toJson();
    EXPECT_TRUE(json.startsWith("{\"id\":\"0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0\",\"text\":\"")) << json.toStdString();
    EXPECT_TRUE(json.endsWith(",\"polished\":true,\"date\":733000123.456}")) << json.toStdString();
    EXPECT_TRUE(json.contains("\\u0001"));
    EXPECT_EQ(RecognizedTextRecord::fromJson(json), record);

    const auto reordered = RecognizedTextRecord::fromJson(
        R"({"extra":[1,2],"date":-1.5,"polished":false,"text":"x","id":"A"})");
    ASSERT_TRUE(reordered);
    EXPECT_EQ(reordered->date, QDateTime(QDate(2000, 12, 31), QTime(23, 59, 58, 500), Qt::UTC));
}

TEST(RecognizedTextRecordJson, RefusesMissingKeysWrongTypesAndImpossibleDates)
{
    for (const char *json : {R"({"text":"x","polished":false,"date":1})", R"({"id":"A","polished":false,"date":1})",
                             R"({"id":"A","text":"x","date":1})", R"({"id":"A","text":"x","polished":false})",
                             R"({"id":1,"text":"x","polished":false,"date":1})", R"({"id":"A","text":["x"],"polished":false,"date":1})",
                             R"({"id":"A","text":"x","polished":0,"date":1})", R"({"id":"A","text":"x","polished":false,"date":"1"})",
                             R"({"id":"A","text":"x","polished":false,"date":1e300})", R"(["A","x",false,1])", "", "{", "null"}) {
        EXPECT_FALSE(RecognizedTextRecord::fromJson(json)) << json;
    }
}

TEST_F(HistoryTest, AppendStoresTheUntrimmedTextInAPrivateFileNamedByItsId)
{
    EXPECT_TRUE(history.entries().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(folder)) << "reading creates nothing";

    const auto appended = history.append(QStringLiteral("  截图识字 2024 \n"), true, at(0));
    const RecognizedTextRecord &record = appended.record;
    EXPECT_FALSE(appended.pruneFailure);
    EXPECT_TRUE(QUuid::fromString(record.id).isNull() == false && record.id == record.id.toUpper());
    EXPECT_EQ(record.text, QStringLiteral("  截图识字 2024 \n"));
    EXPECT_TRUE(record.polished);
    EXPECT_EQ(record.date, at(0));

    const QString file = folder + QLatin1Char('/') + record.id + QStringLiteral(".json");
    EXPECT_EQ(files(), QStringList{record.id + QStringLiteral(".json")});
    EXPECT_EQ(mode(folder), 0700);
    EXPECT_EQ(mode(home.filePath(QStringLiteral("Recent"))), 0700) << "a missing parent is private too";
    EXPECT_EQ(mode(file), 0600);
    QFile stored(file);
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), record.toJson());
    EXPECT_EQ(history.entries(), QList<RecognizedTextRecord>{record});
}

TEST_F(HistoryTest, EmptyOrOversizedTextIsRefusedWithCode517AndNothingIsWritten)
{
    for (const QString &text : {QString(), QStringLiteral("   "), QStringLiteral("\n\n\t "), QStringLiteral("\u3000"),
                                QString(1'000'001, QLatin1Char('a')), QString(400'000, QChar(0x5B57))}) {
        EXPECT_EQ(failureCode([&] { (void)history.append(text, false, at(0)); }), RecognizedTextHistoryError::invalidText);
    }
    EXPECT_FALSE(QFileInfo::exists(folder));
    const QString limit = QStringLiteral("字") + QString(1'000'000 - 3, QLatin1Char('a'));
    EXPECT_EQ(history.append(limit, false, at(0)).record.text.toUtf8().size(), 1'000'000);
}

TEST_F(HistoryTest, FolderThatIsALinkOrAFileIsRefusedWith258)
{
    const QString real = home.filePath(QStringLiteral("real"));
    ASSERT_TRUE(QDir().mkpath(real));
    ASSERT_TRUE(QDir().mkpath(home.filePath(QStringLiteral("Recent"))));
    ASSERT_EQ(::symlink(QFile::encodeName(real).constData(), QFile::encodeName(folder).constData()), 0);
    EXPECT_EQ(failureCode([&] { (void)history.entries(); }), RecognizedTextHistoryError::notAFolder);
    EXPECT_EQ(failureCode([&] { (void)history.append(QStringLiteral("x"), false, at(0)); }), RecognizedTextHistoryError::notAFolder);
    EXPECT_TRUE(QDir(real).isEmpty());

    ASSERT_TRUE(QFile::remove(folder));
    writeFile(folder, "not a folder");
    EXPECT_EQ(failureCode([&] { (void)history.entries(); }), RecognizedTextHistoryError::notAFolder);
    EXPECT_EQ(failureCode([&] { (void)history.append(QStringLiteral("x"), false, at(0)); }), RecognizedTextHistoryError::notAFolder);

    ASSERT_TRUE(QFile::remove(folder));
    ASSERT_EQ(::symlink("/nonexistent/target", QFile::encodeName(folder).constData()), 0);
    EXPECT_EQ(failureCode([&] { (void)history.entries(); }), RecognizedTextHistoryError::notAFolder) << "a dangling link is no folder";
}

TEST_F(HistoryTest, AWiderExistingFolderIsNarrowedOnTheNextAppend)
{
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    (void)history.append(QStringLiteral("x"), false, at(0));
    EXPECT_EQ(mode(folder), 0700);
}

TEST_F(HistoryTest, KeepsTheNewestTwentyAndNeverPrunesTheNewEntry)
{
    QList<RecognizedTextRecord> appended;
    for (int i = 0; i < 21; ++i)
        appended << history.append(QStringLiteral("text %1").arg(i), false, at(i)).record;
    EXPECT_EQ(files().size(), 20);
    EXPECT_FALSE(files().contains(appended[0].id + QStringLiteral(".json")));
    for (int i = 21; i < 25; ++i)
        appended << history.append(QStringLiteral("text %1").arg(i), false, at(i)).record;
    const QList<RecognizedTextRecord> entries = history.entries();
    ASSERT_EQ(entries.size(), 20);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(entries[i], appended[24 - i]) << i;

    // An entry dated before all others (a clock set back) still stands after its append.
    const RecognizedTextRecord old = history.append(QStringLiteral("from the past"), false, at(-1000)).record;
    const QList<RecognizedTextRecord> after = history.entries();
    ASSERT_EQ(after.size(), 20);
    EXPECT_EQ(after.back(), old);
    EXPECT_FALSE(after.contains(appended[5]));
    EXPECT_TRUE(after.contains(appended[6]));
}

TEST_F(HistoryTest, EqualDatesPutTheGreaterIdFirst)
{
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString low = QStringLiteral("10000000-0000-4000-8000-000000000000"), high = QStringLiteral("F0000000-0000-4000-8000-000000000000");
    writeFile(folder + QLatin1Char('/') + low + QStringLiteral(".json"), recordJson(low, QStringLiteral("low")));
    writeFile(folder + QLatin1Char('/') + high + QStringLiteral(".json"), recordJson(high, QStringLiteral("high")));
    const auto entries = history.entries();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0].id, high);
    EXPECT_EQ(entries[1].id, low);
}

TEST_F(HistoryTest, ForeignDamagedAndOversizedItemsAreIgnoredAndSurvivePruning)
{
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString outside = home.filePath(QStringLiteral("outside.json"));
    const QString linkedId = newId();
    writeFile(outside, recordJson(linkedId, QStringLiteral("behind a link")));
    auto path = [&](const QString &name) -> QString { return folder + QLatin1Char('/') + name; };

    const QString upperExtension = newId(), mismatched = newId(), lowerStem = newId().toLower(), big = newId(), empty = newId(),
                  broken = newId(), folderLike = newId();
    writeFile(path(QStringLiteral("notes.json")), recordJson(QStringLiteral("notes"), QStringLiteral("x")));
    writeFile(path(upperExtension + QStringLiteral(".JSON")), recordJson(upperExtension, QStringLiteral("x")));
    writeFile(path(mismatched + QStringLiteral(".json")), recordJson(newId(), QStringLiteral("x")));
    writeFile(path(lowerStem + QStringLiteral(".json")), recordJson(lowerStem.toUpper(), QStringLiteral("x")));
    writeFile(path(empty + QStringLiteral(".json")), recordJson(empty, QString()));
    writeFile(path(broken + QStringLiteral(".json")), "{\"id\":");
    // A valid record padded with blanks past 2,000,000 bytes.
    QByteArray padded = recordJson(big, QStringLiteral("x"));
    padded.append(QByteArray(2'000'001 - padded.size(), ' '));
    writeFile(path(big + QStringLiteral(".json")), padded);
    ASSERT_TRUE(QDir().mkpath(path(folderLike + QStringLiteral(".json"))));
    ASSERT_EQ(::symlink(QFile::encodeName(outside).constData(), QFile::encodeName(path(linkedId + QStringLiteral(".json"))).constData()), 0);
    const QStringList foreign = files();

    EXPECT_TRUE(history.entries().isEmpty());
    for (int i = 0; i < 22; ++i)
        (void)history.append(QStringLiteral("text %1").arg(i), false, at(i));
    EXPECT_EQ(history.entries().size(), 20);
    for (const QString &name : foreign)
        EXPECT_TRUE(files().contains(name)) << name.toStdString();
    EXPECT_TRUE(QFile::exists(outside));
}

TEST_F(HistoryTest, ItemsThatCannotBeReadSafelyAreSkippedWithoutReadingThem)
{
    ASSERT_TRUE(QDir().mkpath(folder));
    // A sparse file of 8 GiB: reading it before checking its size would take the memory.
    const QString huge = folder + QLatin1Char('/') + newId() + QStringLiteral(".json");
    const int fd = ::open(QFile::encodeName(huge).constData(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 8LL << 30), 0);
    ::close(fd);
    // A named pipe: opening it for reading would wait for a writer for ever.
    const QString fifo = folder + QLatin1Char('/') + newId() + QStringLiteral(".json");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const RecognizedTextRecord kept = history.append(QStringLiteral("kept"), false, at(0)).record;

    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(history.entries(), QList<RecognizedTextRecord>{kept});
    EXPECT_LT(clock.elapsed(), 5000);
}

TEST_F(HistoryTest, APruningFailureIsReportedWhileTheNewRecordStands)
{
    for (int i = 0; i < 20; ++i)
        (void)history.append(QStringLiteral("text %1").arg(i), false, at(i));
    int attempts = 0;
    RecognizedTextHistory failing(folder, [&](const QString &) {
        ++attempts;
        return EACCES;
    });
    const auto appended = failing.append(QStringLiteral("newest"), true, at(100));
    ASSERT_TRUE(appended.pruneFailure);
    EXPECT_EQ(appended.pruneFailure->code(), RecognizedTextHistoryError::fileSystem);
    EXPECT_TRUE(appended.pruneFailure->description().contains(folder)) << appended.pruneFailure->description().toStdString();
    EXPECT_EQ(attempts, 1);
    EXPECT_EQ(failing.entries().size(), 21);
    EXPECT_EQ(failing.entries().front(), appended.record);

    // The next append that can delete brings the folder back to twenty.
    EXPECT_FALSE(history.append(QStringLiteral("again"), false, at(101)).pruneFailure);
    EXPECT_EQ(history.entries().size(), 20);
}

TEST_F(HistoryTest, AFolderThatCannotBeCreatedIsAFileSystemError)
{
    writeFile(home.filePath(QStringLiteral("Recent")), "a file where the parent folder should be");
    const RecognizedTextHistoryError::Code code = failureCode([&] { (void)history.append(QStringLiteral("x"), false, at(0)); });
    EXPECT_EQ(code, RecognizedTextHistoryError::fileSystem);
    EXPECT_EQ(failureCode([&] { (void)history.entries(); }), RecognizedTextHistoryError::fileSystem);
}
