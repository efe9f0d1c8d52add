// A folder held by its owner: in use while the owner holds it, whoever asks (the lock is an
// open file description's, so a second descriptor in this process asks as another process
// would); no longer in use once released; never made over something already there.

#include "Platform/Files/OwnedFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Platform;

TEST(OwnedFolder, IsInUseExactlyWhileItsOwnerHoldsIt)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("deeper/held"));
    auto held = OwnedFolder::create(path);
    ASSERT_TRUE(held);
    struct stat info {};
    ASSERT_EQ(::lstat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_TRUE(OwnedFolder::isInUse(path));
    EXPECT_TRUE(QDir(path).isEmpty()) << "the lock file is hidden";
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("deeper"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("held")})
        << "no staging folder is left";
    EXPECT_FALSE(OwnedFolder::create(path)) << "a folder already there is not taken over";
    held.reset();
    EXPECT_FALSE(OwnedFolder::isInUse(path));
    EXPECT_TRUE(QFileInfo(path).isDir()) << "releasing keeps the folder";

    const QString plain = dir.filePath(QStringLiteral("plain"));
    ASSERT_TRUE(QDir().mkpath(plain));
    EXPECT_FALSE(OwnedFolder::isInUse(plain)) << "no lock file, no owner";
}

TEST(OwnedFolder, IsNeverMadeOverALink)
{
    QTemporaryDir dir;
    const QString elsewhere = dir.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    const QString link = dir.filePath(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(elsewhere, link));
    QString error;
    EXPECT_FALSE(OwnedFolder::create(link, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(QDir(elsewhere).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}
