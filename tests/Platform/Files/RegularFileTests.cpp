#include "Platform/Files/RegularFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

using namespace Platform;
using Kind = ReadFailure::Kind;

namespace {

class RegularFiles : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString path(const char *name) const { return m_dir.filePath(QLatin1String(name)); }
    QString write(const char *name, const QByteArray &bytes) const
    {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }
    void append(const QString &file, const QByteArray &bytes) const
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::Append));
        ASSERT_EQ(out.write(bytes), bytes.size());
    }
    static std::optional<Kind> failureOf(const FileBytes &read)
    {
        return read.failure ? std::optional(read.failure->kind) : std::nullopt;
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(RegularFiles, ReadUpToTheBoundInclusiveAndNoFurther)
{
    const QByteArray bytes = "0123456789";
    const QString file = write("ten", bytes);
    EXPECT_EQ(readRegularFile(file, 10, FollowLinks::No).bytes, bytes);
    EXPECT_EQ(readRegularFile(file, 1 << 20, FollowLinks::No).bytes, bytes);
    EXPECT_EQ(failureOf(readRegularFile(file, 9, FollowLinks::No)), Kind::TooLarge);
    EXPECT_EQ(failureOf(readRegularFile(file, 0, FollowLinks::No)), Kind::TooLarge);

    const FileBytes empty = readRegularFile(write("empty", {}), 0, FollowLinks::No);
    EXPECT_TRUE(empty.ok());
    EXPECT_TRUE(empty.bytes.isEmpty());

    // Larger than the first chunk a file that says it is empty is read into.
    QByteArray large(300 * 1024, '\0');
    for (qsizetype i = 0; i < large.size(); ++i)
        large[i] = char(i * 7);
    EXPECT_EQ(readRegularFile(write("large", large), large.size(), FollowLinks::Yes).bytes, large);
}

// Files of /proc say they are empty and are not.
TEST_F(RegularFiles, AFileThatSaysItIsEmptyIsReadToItsEndWithinTheBound)
{
    const FileBytes status = readRegularFile(QStringLiteral("/proc/self/status"), 1 << 20, FollowLinks::Yes);
    ASSERT_TRUE(status.ok()) << status.failure->description().toStdString();
    EXPECT_TRUE(status.bytes.contains("Pid:"));
    EXPECT_EQ(failureOf(readRegularFile(QStringLiteral("/proc/self/status"), 16, FollowLinks::Yes)), Kind::TooLarge);
}

TEST_F(RegularFiles, AFileThatGrowsWhileOpenIsReadWithinTheBoundAndRefusedPastIt)
{
    const QString file = write("growing", "start");
    {
        RegularFile opened(file, FollowLinks::No);
        ASSERT_FALSE(opened.failure());
        EXPECT_EQ(opened.size(), 5);
        append(file, QByteArray(200 * 1024, 'g'));
        const FileBytes read = opened.readAll(1 << 20);
        ASSERT_TRUE(read.ok());
        EXPECT_EQ(read.bytes, "start" + QByteArray(200 * 1024, 'g'));
    }
    RegularFile opened(file, FollowLinks::No);
    append(file, "x");
    EXPECT_EQ(failureOf(opened.readAll(opened.size())), Kind::TooLarge);
}

// A mapping of a file cut short ends the process with SIGBUS; a read gives what is left.
TEST_F(RegularFiles, AFileCutShortWhileOpenGivesWhatIsLeft)
{
    const QString file = write("shrinking", QByteArray(100 * 1024, 's'));
    RegularFile opened(file, FollowLinks::Yes);
    ASSERT_TRUE(QFile::resize(file, 10));
    const FileBytes read = opened.readAll(1 << 20);
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read.bytes, QByteArray(10, 's'));
}

TEST_F(RegularFiles, LinksAreFollowedOnlyWhenAsked)
{
    const QString target = write("target", "through the link");
    ASSERT_TRUE(QFile::link(target, path("link")));
    ASSERT_TRUE(QFile::link(path("nowhere"), path("dangling")));
    EXPECT_EQ(readRegularFile(path("link"), 100, FollowLinks::Yes).bytes, "through the link");
    EXPECT_EQ(failureOf(readRegularFile(path("link"), 100, FollowLinks::No)), Kind::SymbolicLink);
    EXPECT_EQ(failureOf(readRegularFile(path("dangling"), 100, FollowLinks::No)), Kind::SymbolicLink);
    EXPECT_EQ(failureOf(readRegularFile(path("dangling"), 100, FollowLinks::Yes)), Kind::NotFound);
    // Links among the folders above are always followed.
    ASSERT_TRUE(QFile::link(m_dir.path(), path("folder-link")));
    EXPECT_EQ(readRegularFile(path("folder-link/target"), 100, FollowLinks::No).bytes, "through the link");
}

TEST_F(RegularFiles, NothingButARegularFileIsReadAndNothingWaits)
{
    write("plain", "plain");
    EXPECT_EQ(failureOf(readRegularFile(path("missing"), 100, FollowLinks::Yes)), Kind::NotFound);
    EXPECT_EQ(failureOf(readRegularFile(path("plain/child"), 100, FollowLinks::Yes)), Kind::NotFound);

    // Opening a FIFO for reading would wait for a writer; /dev/zero would read without end.
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(path("fifo"), path("fifo-link")));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path("zero-link")));
    for (const QString &other : {path("fifo"), path("fifo-link"), path("zero-link"), QStringLiteral("/dev/zero"), m_dir.path()}) {
        const FileBytes read = readRegularFile(other, 100, FollowLinks::Yes);
        EXPECT_EQ(failureOf(read), Kind::NotRegularFile) << other.toStdString();
        EXPECT_EQ(read.failure->description(), QStringLiteral("not a regular file"));
    }
    EXPECT_EQ(failureOf(readRegularFile(path("fifo"), 100, FollowLinks::No)), Kind::NotRegularFile);
}

TEST_F(RegularFiles, AnOpenFileTellsItsSizeAndPermissions)
{
    const QString file = write("key", "secret");
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0640), 0);
    RegularFile opened(file, FollowLinks::No);
    ASSERT_FALSE(opened.failure());
    EXPECT_GE(opened.descriptor(), 0);
    EXPECT_EQ(opened.size(), 6);
    EXPECT_EQ(opened.permissions(), 0640u);

    RegularFile missing(path("missing"), FollowLinks::No);
    ASSERT_TRUE(missing.failure());
    EXPECT_EQ(missing.failure()->systemError, ENOENT);
    EXPECT_EQ(missing.descriptor(), -1);
    EXPECT_EQ(failureOf(missing.readAll(100)), Kind::NotFound);
}
