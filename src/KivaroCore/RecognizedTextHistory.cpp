#include "KivaroCore/RecognizedTextHistory.h"

#include "KivaroCore/Localization.h"
#include "Platform/Files/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Kivaro {

namespace {

RecognizedTextHistoryError fileError(const QString &path, int error)
{
    return RecognizedTextHistoryError(RecognizedTextHistoryError::fileSystem,
                                      path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error)));
}

RecognizedTextHistoryError notAFolder()
{
    return RecognizedTextHistoryError(RecognizedTextHistoryError::notAFolder, kivaroCopy("识字记录目录必须是普通文件夹。"));
}

// True when something is at `path` (a dangling link included); fills `info` from lstat.
bool lstatPath(const QString &path, struct stat &info)
{
    if (::lstat(QFile::encodeName(path).constData(), &info) == 0)
        return true;
    if (errno != ENOENT)
        throw fileError(path, errno);
    return false;
}

bool isEntryStem(const QString &stem)
{
    static const QRegularExpression uuid(
        QStringLiteral("^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$"));
    return uuid.match(stem).hasMatch();
}

// The contents of a regular file of at most `limit` bytes; nothing for anything else. The size
// is known from the directory entry before the file is opened, and checked again on the open
// file, which may have been replaced in between.
std::optional<QByteArray> readBoundedFile(const QString &path, qint64 limit)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > limit)
        return std::nullopt;
    const int fd = ::open(native.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    const std::unique_ptr<int, void (*)(int *)> closer(new int(fd), [](int *f) {
        ::close(*f);
        delete f;
    });
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > limit)
        return std::nullopt;
    QByteArray bytes(qsizetype(info.st_size), Qt::Uninitialized);
    qsizetype filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            // The file may have grown since fstat: one more byte tells whether it passed the limit.
            if (bytes.size() > limit)
                return std::nullopt;
            bytes.resize(std::min<qsizetype>(limit + 1, bytes.size() + 65536));
        }
        const ssize_t got = ::read(fd, bytes.data() + filled, size_t(bytes.size() - filled));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (got == 0)
            break;
        filled += got;
    }
    if (filled > limit)
        return std::nullopt;
    bytes.truncate(filled);
    return bytes;
}

} // namespace

RecognizedTextHistoryError::RecognizedTextHistoryError(Code code, QString description)
    : m_code(code), m_description(std::move(description)), m_utf8(m_description.toUtf8())
{
}

RecognizedTextHistory::RecognizedTextHistory(QString directory, RemoveFile removeFile)
    : m_directory(QDir::cleanPath(directory)), m_removeFile(std::move(removeFile))
{
    if (!m_removeFile) {
        m_removeFile = [](const QString &path) { return ::unlink(QFile::encodeName(path).constData()) == 0 ? 0 : errno; };
    }
}

QString RecognizedTextHistory::fileOf(const QString &id) const
{
    return m_directory + QLatin1Char('/') + id + QStringLiteral(".json");
}

void RecognizedTextHistory::prepareFolder() const
{
    struct stat info {};
    if (lstatPath(m_directory, info) && (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode)))
        throw notAFolder();
    if (const auto error = Platform::ensurePrivateFolder(m_directory)) {
        // Something may have appeared at the path meanwhile; a link or a file is still a refusal.
        if (lstatPath(m_directory, info) && (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode)))
            throw notAFolder();
        throw RecognizedTextHistoryError(RecognizedTextHistoryError::fileSystem, *error);
    }
}

RecognizedTextHistory::Appended RecognizedTextHistory::append(const QString &text, bool polished, const QDateTime &date)
{
    if (text.trimmed().isEmpty() || text.toUtf8().size() > kMaxTextBytes)
        throw RecognizedTextHistoryError(RecognizedTextHistoryError::invalidText, kivaroCopy("识字文本为空或超过 100 万字节。"));
    prepareFolder();
    RecognizedTextRecord record{QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(), text, polished, date.toUTC()};
    if (const auto error = Platform::writePrivateFile(fileOf(record.id), record.toJson(), Platform::StaleTemporaries::remove))
        throw RecognizedTextHistoryError(RecognizedTextHistoryError::fileSystem, *error);
    return {record, prune(record.id)};
}

std::optional<RecognizedTextHistoryError> RecognizedTextHistory::prune(const QString &keep) const
{
    QList<RecognizedTextRecord> others;
    try {
        others = entries();
    } catch (const RecognizedTextHistoryError &error) {
        return error;
    }
    others.removeIf([&](const RecognizedTextRecord &record) { return record.id == keep; });
    std::optional<RecognizedTextHistoryError> failure;
    for (qsizetype i = kMaxEntries - 1; i < others.size(); ++i) {
        const QString path = fileOf(others[i].id);
        const int error = m_removeFile(path);
        if (error != 0 && error != ENOENT && !failure)
            failure = fileError(path, error);
    }
    return failure;
}

QList<RecognizedTextRecord> RecognizedTextHistory::entries() const
{
    struct stat info {};
    if (!lstatPath(m_directory, info))
        return {};
    if (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode))
        throw notAFolder();
    const std::unique_ptr<DIR, int (*)(DIR *)> folder(::opendir(QFile::encodeName(m_directory).constData()), &::closedir);
    if (!folder)
        throw fileError(m_directory, errno);

    QList<RecognizedTextRecord> records;
    for (;;) {
        errno = 0;
        const dirent *item = ::readdir(folder.get());
        if (!item) {
            if (errno != 0)
                throw fileError(m_directory, errno);
            break;
        }
        const QString name = QFile::decodeName(item->d_name);
        if (!name.endsWith(QStringLiteral(".json")))
            continue;
        const QString stem = name.chopped(5);
        if (!isEntryStem(stem))
            continue;
        const std::optional<QByteArray> bytes = readBoundedFile(fileOf(stem), kMaxFileBytes);
        if (!bytes)
            continue;
        std::optional<RecognizedTextRecord> record = RecognizedTextRecord::fromJson(*bytes);
        if (!record || record->id != stem || record->text.isEmpty())
            continue;
        records.append(std::move(*record));
    }
    std::stable_sort(records.begin(), records.end(), [](const RecognizedTextRecord &a, const RecognizedTextRecord &b) {
        return a.date != b.date ? a.date > b.date : a.id > b.id;
    });
    return records;
}

} // namespace Kivaro
