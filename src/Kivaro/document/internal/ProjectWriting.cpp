#include "Kivaro/document/internal/ProjectWriting.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <climits>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Kivaro::ProjectWriting {

namespace {

constexpr char kMarker[] = ".kivaro-save-";
constexpr int kRandomLength = 6;
constexpr int kStaleSeconds = 60;
constexpr int kMaxLinks = 128;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Where the bytes go: `path`, or the file its chain of symbolic links ends at.
QString target(const QString &path)
{
    QFileInfo info(path);
    for (int depth = 0; depth < kMaxLinks && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return info.isSymLink() ? path : info.filePath();
}

QString randomPart()
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString part;
    for (int k = 0; k < kRandomLength; ++k)
        part += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof(letters) - 1))]);
    return part;
}

void removeStaleTemporaries(const QString &folder, const QString &prefix)
{
    const QRegularExpression pattern(QStringLiteral("^%1[A-Za-z0-9]{%2}$").arg(QRegularExpression::escape(prefix)).arg(kRandomLength));
    const qint64 before = QDateTime::currentSecsSinceEpoch() - kStaleSeconds;
    QDirIterator entries(folder, QDir::Files | QDir::Hidden | QDir::System);
    while (entries.hasNext()) {
        entries.next();
        if (!pattern.match(entries.fileName()).hasMatch())
            continue;
        const QByteArray native = QFile::encodeName(entries.filePath());
        struct stat info {};
        if (::lstat(native.constData(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid() || info.st_mtime > before)
            continue;
        ::unlink(native.constData());
    }
}

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

} // namespace

QString temporaryPrefix(const QString &fileName)
{
    QString name = fileName;
    const auto length = [](const QString &n) { return QFile::encodeName(n).size() + 1 + qsizetype(sizeof(kMarker) - 1) + kRandomLength; };
    while (!name.isEmpty() && length(name) > NAME_MAX) {
        name.chop(1);
        if (!name.isEmpty() && name.back().isHighSurrogate())
            name.chop(1);
    }
    return QLatin1Char('.') + name + QLatin1String(kMarker);
}

std::optional<QString> write(const QString &path, const QByteArray &bytes)
{
    const QString final = target(path);
    const QByteArray finalName = QFile::encodeName(final);
    struct stat existing {};
    const bool replacing = ::stat(finalName.constData(), &existing) == 0;
    if (replacing && S_ISDIR(existing.st_mode))
        return systemError(EISDIR);
    if (replacing && ::access(finalName.constData(), W_OK) != 0)
        return systemError(errno);

    const QFileInfo finalInfo(final);
    const QString folder = finalInfo.absolutePath();
    const QString prefix = temporaryPrefix(finalInfo.fileName());
    removeStaleTemporaries(folder, prefix);

    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = QFile::encodeName(QDir(folder).filePath(prefix + randomPart()));
        // A replaced file's bits are set below; until then nobody else may open the temporary.
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, replacing ? 0600 : 0666);
        if (fd < 0 && errno != EEXIST)
            return systemError(errno);
    }
    if (fd < 0)
        return systemError(EEXIST);

    int error = 0;
    if (replacing && ::fchmod(fd, existing.st_mode & 0777) != 0)
        error = errno;
    if (!error && !writeAll(fd, bytes))
        error = errno;
    if (!error && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && !error)
        error = errno;
    if (!error && ::rename(temporary.constData(), finalName.constData()) != 0)
        error = errno;
    if (error) {
        ::unlink(temporary.constData());
        return systemError(error);
    }
    // The rename itself reaches the disk with the folder; a folder that cannot be synced (some
    // file systems refuse) still holds the file.
    if (const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return std::nullopt;
}

} // namespace Kivaro::ProjectWriting
