#include "Platform/Files/OwnedFolder.h"

#include "Platform/Files/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {

const char *const lockName = "/.owner";

void failure(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

std::unique_ptr<OwnedFolder> OwnedFolder::create(const QString &path, QString *error)
{
    const QString target = QDir::cleanPath(path);
    const QByteArray native = QFile::encodeName(target);
    struct stat existing {};
    if (::lstat(native.constData(), &existing) == 0) {
        failure(error, QStringLiteral("%1 already exists").arg(target));
        return nullptr;
    }
    // Missing folders above it are made private, as any folder of ours.
    const QString parent = QFileInfo(target).absolutePath();
    if (!QFileInfo::exists(parent)) {
        if (const auto fault = ensurePrivateFolder(parent)) {
            failure(error, *fault);
            return nullptr;
        }
    }
    // The staging name is no name a sweep looks for.
    const QString staging = target + QStringLiteral(".new-") + QUuid::createUuid().toString(QUuid::Id128);
    const QByteArray stagingNative = QFile::encodeName(staging);
    if (::mkdir(stagingNative.constData(), 0700) != 0) {
        failure(error, QStringLiteral("cannot create %1: %2").arg(staging, QString::fromLocal8Bit(std::strerror(errno))));
        return nullptr;
    }
    const QByteArray lockPath = stagingNative + lockName;
    const int lock = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (lock < 0 || ::flock(lock, LOCK_EX | LOCK_NB) != 0
        || ::rename(stagingNative.constData(), native.constData()) != 0) {
        // rename(2) refuses to put a folder over a link, a file or a folder with contents.
        failure(error, QStringLiteral("cannot create %1: %2").arg(target, QString::fromLocal8Bit(std::strerror(errno))));
        if (lock >= 0)
            ::close(lock);
        ::unlink(lockPath.constData());
        ::rmdir(stagingNative.constData());
        return nullptr;
    }
    return std::unique_ptr<OwnedFolder>(new OwnedFolder(target, lock));
}

bool OwnedFolder::isInUse(const QString &path)
{
    const QByteArray lockPath = QFile::encodeName(QDir::cleanPath(path)) + lockName;
    const int lock = ::open(lockPath.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (lock < 0)
        return false;
    const bool held = ::flock(lock, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(lock); // also drops a shared lock taken just now
    return held;
}

OwnedFolder::~OwnedFolder()
{
    ::close(m_lock);
}

} // namespace Platform
