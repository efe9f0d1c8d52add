#include "KivaroCore/PointerTrace.h"

#include "KivaroCore/LaunchArguments.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Kivaro::detail::PointerTrace {

std::optional<QString> folder(const QStringList &arguments)
{
    if (!arguments.mid(1).contains(QStringLiteral("--ui-session")))
        return std::nullopt;
    return PrototypeVerification::argument(QStringLiteral("--evidence-dir"), arguments);
}

QByteArray line(int type, double received, double timestamp, int pressedButtons, qint64 sourcePID)
{
    QJsonObject object;
    object.insert(QStringLiteral("type"), type);
    object.insert(QStringLiteral("received"), received);
    object.insert(QStringLiteral("timestamp"), timestamp);
    object.insert(QStringLiteral("pressedButtons"), pressedButtons);
    object.insert(QStringLiteral("sourcePID"), qint64(sourcePID));
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

namespace {

bool isPrivateFolder(const struct stat &info)
{
    return S_ISDIR(info.st_mode) && info.st_uid == geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

class Descriptor final {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

bool isValidFolder(const QString &path)
{
    if (path.isEmpty())
        return false;
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && isPrivateFolder(info);
}

bool append(const QString &folder, const QByteArray &line, qint64 maxBytes)
{
    return appendTo(folder, kFileName, line, maxBytes);
}

bool appendTo(const QString &folder, const char *fileName, const QByteArray &line, qint64 maxBytes)
{
    if (folder.isEmpty())
        return false;
    // The folder is opened once and checked through that descriptor, so a folder swapped for a
    // link after the check is not followed.
    const Descriptor directory(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat folderInfo {};
    if (directory.get() < 0 || ::fstat(directory.get(), &folderInfo) != 0 || !isPrivateFolder(folderInfo))
        return false;
    const Descriptor file(::openat(directory.get(), fileName, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    struct stat info {};
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0)
        return false;
    if (!S_ISREG(info.st_mode) || info.st_uid != geteuid() || info.st_nlink != 1)
        return false;
    if (info.st_size + line.size() > maxBytes)
        return false;
    qsizetype written = 0;
    while (written < line.size()) {
        const ssize_t n = ::write(file.get(), line.constData() + written, size_t(line.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += n;
    }
    return true;
}

} // namespace Kivaro::detail::PointerTrace
