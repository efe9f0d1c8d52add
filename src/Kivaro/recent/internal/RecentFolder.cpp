#include "Kivaro/recent/internal/RecentFolder.h"

#include "Kivaro/document/FileError.h"
#include "Kivaro/recent/RecentShots.h"

#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Files/PrivateFiles.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Kivaro::RecentFolder {

namespace {

[[noreturn]] void failWithErrno(const QString &path, int error)
{
    throw FileError(path, QString::fromLocal8Bit(std::strerror(error)));
}

[[noreturn]] void refuseFolder()
{
    throw ShotError::message(kivaroCopy("最近截图目录必须是普通文件夹。"));
}

// True when something is at `path` (a dangling link included); fills `info` from lstat.
bool lstatPath(const QString &path, struct stat &info)
{
    if (::lstat(QFile::encodeName(path).constData(), &info) == 0)
        return true;
    if (errno != ENOENT)
        failWithErrno(path, errno);
    return false;
}

struct Listed {
    RecentShot shot;
    qint64 seconds;
    long nanoseconds;
};

// The "<id>.kivaro" or "<id>.png" whose interrupted write left `name`, a temporary named
// "<file name>.XXXXXX"; empty for any other name.
QString writtenBy(const QString &name)
{
    static const QRegularExpression temporary(QStringLiteral("^((.*)\\.(?:kivaro|png))\\.[A-Za-z0-9]{6}$"));
    const QRegularExpressionMatch match = temporary.match(name);
    return match.hasMatch() && RecentShots::isEntryID(match.captured(2)) ? match.captured(1) : QString();
}

// Removes what interrupted work of the store left in `folder`: previews whose project is gone
// (the store deletes the project first, and a preview is only written after its project) and
// the stale temporaries of any entry's atomic writes. Best effort: a failure leaves the file.
void removeLeftovers(const QString &folder, const QStringList &previews, const QSet<QString> &temporariesOf)
{
    for (const QString &name : previews) {
        const RecentShot shot = RecentShot::named(folder, name.chopped(4));
        struct stat info {};
        if (::lstat(QFile::encodeName(shot.projectURL).constData(), &info) == 0 || errno != ENOENT)
            continue;
        if (::lstat(QFile::encodeName(shot.previewURL).constData(), &info) == 0 && S_ISREG(info.st_mode))
            ::unlink(QFile::encodeName(shot.previewURL).constData());
    }
    for (const QString &name : temporariesOf)
        Platform::removeStaleTemporaries(folder + QLatin1Char('/') + name);
}

} // namespace

void prepare(const QString &folder)
{
    struct stat info {};
    if (lstatPath(folder, info) && (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode)))
        refuseFolder();
    if (const auto error = Platform::ensurePrivateFolder(folder)) {
        // Something may have appeared at the path meanwhile; a link or file is still a refusal.
        if (lstatPath(folder, info) && (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode)))
            refuseFolder();
        throw FileError(folder, *error);
    }
}

QList<RecentShot> list(const QString &folder)
{
    const QByteArray native = QFile::encodeName(folder);
    struct stat info {};
    if (::stat(native.constData(), &info) != 0) {
        if (errno == ENOENT)
            return {};
        failWithErrno(folder, errno);
    }
    const std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(native.constData()), &::closedir);
    if (!dir)
        failWithErrno(folder, errno);

    QList<Listed> found;
    QStringList previews;
    QSet<QString> temporariesOf;
    for (;;) {
        errno = 0;
        const dirent *item = ::readdir(dir.get());
        if (!item) {
            if (errno != 0)
                failWithErrno(folder, errno);
            break;
        }
        const QString name = QFile::decodeName(item->d_name);
        if (name.endsWith(QStringLiteral(".png")) && RecentShots::isEntryID(name.chopped(4))) {
            previews.append(name);
            continue;
        }
        if (const QString written = writtenBy(name); !written.isEmpty()) {
            temporariesOf.insert(written);
            continue;
        }
        if (!name.endsWith(QStringLiteral(".kivaro"))) // the extension is case-sensitive
            continue;
        const QString id = name.chopped(7);
        if (!RecentShots::isEntryID(id))
            continue;
        RecentShot shot = RecentShot::named(folder, id);
        if (!lstatPath(shot.projectURL, info))
            continue; // deleted between the listing and this look
        if (!S_ISREG(info.st_mode))
            continue;
        shot.date = QDateTime::fromMSecsSinceEpoch(qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1'000'000);
        found.append({std::move(shot), qint64(info.st_mtim.tv_sec), info.st_mtim.tv_nsec});
    }
    removeLeftovers(folder, previews, temporariesOf);
    // Full file-system precision: two entries written within one millisecond still have an order.
    std::sort(found.begin(), found.end(), [](const Listed &a, const Listed &b) {
        if (a.seconds != b.seconds)
            return a.seconds > b.seconds;
        if (a.nanoseconds != b.nanoseconds)
            return a.nanoseconds > b.nanoseconds;
        return a.shot.id < b.shot.id;
    });
    QList<RecentShot> shots;
    shots.reserve(found.size());
    for (Listed &listed : found)
        shots.append(std::move(listed.shot));
    return shots;
}

void remove(const RecentShot &shot)
{
    if (::unlink(QFile::encodeName(shot.projectURL).constData()) != 0 && errno != ENOENT)
        failWithErrno(shot.projectURL, errno);
    struct stat info {};
    if (!lstatPath(shot.previewURL, info) || S_ISDIR(info.st_mode))
        return;
    if (::unlink(QFile::encodeName(shot.previewURL).constData()) != 0 && errno != ENOENT)
        failWithErrno(shot.previewURL, errno);
}

} // namespace Kivaro::RecentFolder
