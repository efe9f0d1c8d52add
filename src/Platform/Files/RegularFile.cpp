#include "Platform/Files/RegularFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {

// What a file that says it is empty (as those of /proc do) is first read into.
constexpr qint64 kFirstChunk = 64 * 1024;

} // namespace

QString ReadFailure::description() const
{
    if (systemError != 0)
        return QString::fromLocal8Bit(std::strerror(systemError));
    switch (kind) {
    case Kind::NotFound:
        return QStringLiteral("no such file");
    case Kind::SymbolicLink:
        return QStringLiteral("a symbolic link");
    case Kind::NotRegularFile:
        return QStringLiteral("not a regular file");
    case Kind::TooLarge:
        return QStringLiteral("too large");
    case Kind::IOError:
        break;
    }
    return QStringLiteral("cannot be read");
}

RegularFile::RegularFile(const QString &path, FollowLinks follow)
{
    int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    if (follow == FollowLinks::No)
        flags |= O_NOFOLLOW;
    m_fd = ::open(QFile::encodeName(path).constData(), flags);
    if (m_fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            m_failure = ReadFailure{ReadFailure::Kind::NotFound, error};
        else if (error == ELOOP && follow == FollowLinks::No)
            m_failure = ReadFailure{ReadFailure::Kind::SymbolicLink, error};
        else
            m_failure = ReadFailure{ReadFailure::Kind::IOError, error};
        return;
    }
    struct stat info {};
    if (::fstat(m_fd, &info) != 0)
        m_failure = ReadFailure{ReadFailure::Kind::IOError, errno};
    else if (!S_ISREG(info.st_mode))
        m_failure = ReadFailure{ReadFailure::Kind::NotRegularFile, 0};
    if (m_failure) {
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_size = qint64(info.st_size);
    m_permissions = uint(info.st_mode & 07777);
}

RegularFile::~RegularFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

FileBytes RegularFile::readAll(qint64 maxBytes)
{
    if (m_failure)
        return {{}, m_failure};
    maxBytes = qMax<qint64>(maxBytes, 0);
    const ReadFailure tooLarge{ReadFailure::Kind::TooLarge, 0};
    if (m_size > maxBytes)
        return {{}, tooLarge};
    // One byte more than expected: a file that grew since it was looked at is noticed without a
    // second pass, and one that grew past the bound is noticed after one byte more than it.
    const qint64 expected = m_size > 0 ? m_size : kFirstChunk - 1;
    QByteArray bytes(qsizetype(qMin(expected, maxBytes) + 1), Qt::Uninitialized);
    qsizetype length = 0;
    for (;;) {
        if (length == bytes.size()) {
            if (length > maxBytes)
                return {{}, tooLarge};
            bytes.resize(qsizetype(qMin<qint64>(qint64(bytes.size()) * 2, maxBytes + 1)));
        }
        const ssize_t got = ::read(m_fd, bytes.data() + length, size_t(bytes.size() - length));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return {{}, ReadFailure{ReadFailure::Kind::IOError, errno}};
        }
        if (got == 0)
            break;
        length += got;
    }
    if (length > maxBytes)
        return {{}, tooLarge};
    bytes.truncate(length);
    return {std::move(bytes), std::nullopt};
}

FileBytes readRegularFile(const QString &path, qint64 maxBytes, FollowLinks follow)
{
    RegularFile file(path, follow);
    return file.readAll(maxBytes);
}

} // namespace Platform
