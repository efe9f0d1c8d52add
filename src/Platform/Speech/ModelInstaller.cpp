#include "Platform/Speech/ModelInstaller.h"

#include "Platform/Files/PrivateFiles.h"
#include "Platform/Files/RegularFile.h"
#include "Platform/Network/CappedDownload.h"
#include "Platform/Speech/SpeechEngine.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace Platform {

ModelAsset whisperBaseModel()
{
    ModelAsset asset;
    asset.url = QUrl(QStringLiteral("https://huggingface.co/ggerganov/whisper.cpp/resolve/main/ggml-base.bin"));
    asset.sha1 = QByteArrayLiteral("465707469ff3a37a2b9b8d8f89f2f99de7299dac");
    asset.maxBytes = 160LL << 20; // the file is 142 MiB
    asset.fileName = QStringLiteral("ggml-base.bin");
    return asset;
}

QString speechModelFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/kivaro/speech");
}

QString ModelInstaller::installedPath(const ModelAsset &asset, const QString &folder)
{
    const QString path = folder + QLatin1Char('/') + asset.fileName;
    if (isSymbolicLink(folder) || isSymbolicLink(path))
        return QString();
    const QFileInfo info(path);
    if (!info.isFile() || info.size() == 0 || info.size() > asset.maxBytes)
        return QString();
    return path;
}

namespace {

QString checkedStampPath(const QString &path)
{
    return path + QStringLiteral(".checked");
}

// What the remembered check says of the file open as `fd`: its digest, size, modification time
// and inode, on one line.
QByteArray stampOf(const QByteArray &sha1, const struct stat &info)
{
    return sha1.toLower() + ' ' + QByteArray::number(qint64(info.st_size)) + ' ' + QByteArray::number(qint64(info.st_mtim.tv_sec))
        + '.' + QByteArray::number(qint64(info.st_mtim.tv_nsec)) + ' ' + QByteArray::number(quint64(info.st_ino)) + '\n';
}

// The SHA-1 of what is left to read of `fd`, in hexadecimal; empty when reading fails.
QByteArray digestOf(int fd)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    std::vector<char> block(1 << 20);
    for (;;) {
        const ssize_t n = ::read(fd, block.data(), block.size());
        if (n == 0)
            return hash.result().toHex();
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return QByteArray();
        }
        hash.addData(QByteArrayView(block.data(), n));
    }
}

// Remembers that the file described by `info` matched `sha1`; failures only cost a check.
void rememberCheck(const QString &path, const QByteArray &sha1, const struct stat &info)
{
    writePrivateFile(checkedStampPath(path), stampOf(sha1, info));
}

} // namespace

ModelInstaller::Installed ModelInstaller::checkInstalled(const ModelAsset &asset, const QString &folder, bool remember)
{
    const QString path = installedPath(asset, folder);
    if (path.isEmpty())
        return Installed::missing;
    const RegularFile file(path, FollowLinks::No);
    struct stat info {};
    if (file.failure() || ::fstat(file.descriptor(), &info) != 0 || info.st_size > asset.maxBytes)
        return Installed::damaged;
    const QByteArray expected = stampOf(asset.sha1, info);
    const FileBytes stamp = readRegularFile(checkedStampPath(path), 256, FollowLinks::No);
    if (stamp.ok() && stamp.bytes == expected)
        return Installed::intact;
    if (digestOf(file.descriptor()) != asset.sha1.toLower())
        return Installed::damaged;
    if (remember)
        rememberCheck(path, asset.sha1, info);
    return Installed::intact;
}

Task<QString> ModelInstaller::install(ModelAsset asset, QString folder, Progress progress,
                                      QNetworkAccessManager *network, int idleTimeoutMs)
{
    if (const auto parent = ensurePrivateFolder(QFileInfo(folder).path()))
        throw SpeechError(SpeechError::Kind::storage, *parent);
    if (const auto error = ensurePrivateFolder(folder))
        throw SpeechError(SpeechError::Kind::storage, *error);
    const QString target = folder + QLatin1Char('/') + asset.fileName;
    if (isSymbolicLink(target))
        throw SpeechError(SpeechError::Kind::storage, target + QStringLiteral(" is a symbolic link"));
    // What an installation that crashed left behind. A download under way in another instance
    // keeps its temporary: it writes at least once per idle timeout (30 s, half the age it
    // takes here to count as stale), or fails and removes it.
    removeStaleTemporaries(target, 60);

    // QTemporaryFile creates its file new and 0600, and removes it when it goes out of scope
    // unless it was renamed into place.
    auto file = std::make_shared<QTemporaryFile>(target + QStringLiteral(".XXXXXX"));
    if (!file->open())
        throw SpeechError(SpeechError::Kind::storage, file->errorString());

    std::unique_ptr<QNetworkAccessManager> ownNetwork;
    if (!network) {
        ownNetwork = std::make_unique<QNetworkAccessManager>();
        network = ownNetwork.get();
    }
    DownloadRequest request;
    request.url = asset.url;
    const QString scheme = asset.url.scheme();
    request.allowAddress = [scheme](const QUrl &url) {
        return !url.host().isEmpty()
            && (url.scheme() == QLatin1String("https") || (scheme == QLatin1String("http") && url.scheme() == scheme));
    };
    request.maxBytes = asset.maxBytes;
    request.idleTimeoutMs = idleTimeoutMs;
    request.bypassCache = true;

    struct Received {
        QCryptographicHash hash{QCryptographicHash::Sha1};
        qint64 bytes = 0;
        qint64 declared = -1;
        std::optional<QString> storageError;
    };
    auto received = std::make_shared<Received>();
    // Progress is reported as the bytes are taken (Qt's own progress signal is throttled and
    // would say nothing of a transfer that stalls). Each piece reaches the disk at once, which
    // keeps the temporary's modification time current for the sweep above.
    auto sink = [received, file, progress](const QByteArray &chunk, qint64 declared) {
        received->bytes += chunk.size();
        received->declared = declared;
        received->hash.addData(chunk);
        if (file->write(chunk) != chunk.size() || !file->flush()) {
            received->storageError = file->errorString();
            return false;
        }
        if (progress)
            progress(received->bytes, declared);
        return true;
    };
    std::optional<DownloadError> failure;
    try {
        co_await Platform::download(network, std::move(request), sink);
    } catch (const DownloadError &error) {
        failure = error;
    }
    if (failure) {
        if (failure->reason() == DownloadError::Reason::stopped && received->storageError)
            throw SpeechError(SpeechError::Kind::storage, *received->storageError);
        if (failure->reason() == DownloadError::Reason::tooLarge)
            throw SpeechError(SpeechError::Kind::tooLarge, failure->detail());
        if (failure->hostUnreachable())
            throw SpeechError(SpeechError::Kind::unreachable, failure->detail());
        throw SpeechError(SpeechError::Kind::download, failure->detail());
    }
    if (received->declared >= 0 && received->declared != received->bytes)
        throw SpeechError(SpeechError::Kind::download, QStringLiteral("the download ended early"));
    const QByteArray sha1 = received->hash.result().toHex();
    if (sha1 != asset.sha1.toLower())
        throw SpeechError(SpeechError::Kind::digest, QStringLiteral("the model's digest does not match the published one"));
    if (!file->flush() || ::fsync(file->handle()) != 0)
        throw SpeechError(SpeechError::Kind::storage, file->errorString());
    if (isSymbolicLink(target))
        throw SpeechError(SpeechError::Kind::storage, target + QStringLiteral(" is a symbolic link"));
    // rename(2) replaces whatever is at the target (a link included) without following it.
    if (::rename(QFile::encodeName(file->fileName()).constData(), QFile::encodeName(target).constData()) != 0)
        throw SpeechError(SpeechError::Kind::storage, QString::fromLocal8Bit(std::strerror(errno)));
    file->setAutoRemove(false);
    // The digest was checked on the way in: the installed file need not be read again.
    struct stat info {};
    if (::fstat(file->handle(), &info) == 0)
        rememberCheck(target, sha1, info);
    co_return target;
}

} // namespace Platform
