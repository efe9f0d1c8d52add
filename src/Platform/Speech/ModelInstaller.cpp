#include "Platform/Speech/ModelInstaller.h"

#include "Platform/Async/Awaitables.h"
#include "Platform/Files/PrivateFiles.h"
#include "Platform/Speech/SpeechEngine.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

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

struct Transfer {
    std::optional<SpeechError> failure;
    QCryptographicHash hash{QCryptographicHash::Sha1};
    qint64 received = 0;
    qint64 total = -1; // the declared length, when there is one
};

} // namespace

Task<QString> ModelInstaller::install(ModelAsset asset, QString folder, Progress progress,
                                      QNetworkAccessManager *network)
{
    if (const auto parent = ensurePrivateFolder(QFileInfo(folder).path()))
        throw SpeechError(SpeechError::Kind::storage, *parent);
    if (const auto error = ensurePrivateFolder(folder))
        throw SpeechError(SpeechError::Kind::storage, *error);
    const QString target = folder + QLatin1Char('/') + asset.fileName;
    if (isSymbolicLink(target))
        throw SpeechError(SpeechError::Kind::storage, target + QStringLiteral(" is a symbolic link"));

    // QTemporaryFile creates its file new and 0600, and removes it when it goes out of scope
    // unless it was renamed into place.
    auto file = std::make_shared<QTemporaryFile>(folder + QLatin1Char('/') + asset.fileName + QStringLiteral(".XXXXXX"));
    if (!file->open())
        throw SpeechError(SpeechError::Kind::storage, file->errorString());

    std::unique_ptr<QNetworkAccessManager> ownNetwork;
    if (!network) {
        ownNetwork = std::make_unique<QNetworkAccessManager>();
        network = ownNetwork.get();
    }
    QNetworkRequest request(asset.url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setMaximumRedirectsAllowed(5);
    QNetworkReply *reply = network->get(request);
    QPointer<QNetworkReply> guard(reply);
    auto transfer = std::make_shared<Transfer>();
    const qint64 maxBytes = asset.maxBytes;

    auto stop = [guard, transfer](SpeechError error) {
        if (transfer->failure)
            return;
        transfer->failure = std::move(error);
        if (guard)
            QMetaObject::invokeMethod(guard.data(), &QNetworkReply::abort, Qt::QueuedConnection);
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [guard, transfer, maxBytes, stop] {
        bool known = false;
        const qint64 declared = guard ? guard->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known) : 0;
        transfer->total = known ? declared : -1;
        if (known && declared > maxBytes)
            stop(SpeechError(SpeechError::Kind::tooLarge, QStringLiteral("declared length %1 beyond the cap").arg(declared)));
    });
    // Progress is reported as the bytes are taken (Qt's own progress signal is throttled and
    // would say nothing of a transfer that stalls).
    auto take = [guard, transfer, file, maxBytes, stop, progress] {
        if (!guard || transfer->failure)
            return;
        const QByteArray chunk = guard->read(maxBytes - transfer->received + 1);
        if (chunk.isEmpty())
            return;
        transfer->received += chunk.size();
        if (transfer->received > maxBytes) {
            stop(SpeechError(SpeechError::Kind::tooLarge, QStringLiteral("download beyond the cap")));
            return;
        }
        transfer->hash.addData(chunk);
        if (file->write(chunk) != chunk.size()) {
            stop(SpeechError(SpeechError::Kind::storage, file->errorString()));
            return;
        }
        if (progress)
            progress(transfer->received, transfer->total);
    };
    QObject::connect(reply, &QNetworkReply::readyRead, reply, take);

    auto finished = Platform::signal(reply, &QNetworkReply::finished, [guard] {
        if (guard)
            guard->abort();
    });
    try {
        co_await finished;
    } catch (...) {
        if (guard) {
            guard->disconnect();
            guard->deleteLater();
        }
        throw;
    }
    take();
    reply->disconnect();
    reply->deleteLater();

    if (transfer->failure)
        throw *transfer->failure;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError)
        throw SpeechError(SpeechError::Kind::download, reply->errorString());
    if (status < 200 || status > 299)
        throw SpeechError(SpeechError::Kind::download, QStringLiteral("status %1").arg(status));
    bool known = false;
    const qint64 declared = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
    if (known && declared != transfer->received)
        throw SpeechError(SpeechError::Kind::download, QStringLiteral("the download ended early"));
    if (transfer->hash.result().toHex() != asset.sha1.toLower())
        throw SpeechError(SpeechError::Kind::digest, QStringLiteral("the model's digest does not match the published one"));
    if (!file->flush() || ::fsync(file->handle()) != 0)
        throw SpeechError(SpeechError::Kind::storage, file->errorString());
    if (isSymbolicLink(target))
        throw SpeechError(SpeechError::Kind::storage, target + QStringLiteral(" is a symbolic link"));
    // rename(2) replaces whatever is at the target (a link included) without following it.
    if (::rename(QFile::encodeName(file->fileName()).constData(), QFile::encodeName(target).constData()) != 0)
        throw SpeechError(SpeechError::Kind::storage, QString::fromLocal8Bit(std::strerror(errno)));
    file->setAutoRemove(false);
    co_return target;
}

} // namespace Platform
