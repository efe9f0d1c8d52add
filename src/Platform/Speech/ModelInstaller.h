#pragma once
// Installs a speech model file on first use: downloaded from the publisher's address, checked
// against the published SHA-1 digest, capped in size, with progress, into a private folder
// (0700) as a private file (0600). The download goes to a temporary file beside the target
// that is renamed into place only after the digest matched, and removed on every failure and
// on cancellation: a half-downloaded model is never kept.

#include "Platform/Async/Task.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;

namespace Platform {

struct ModelAsset {
    QUrl url;
    QByteArray sha1;     // lower-case hexadecimal
    qint64 maxBytes = 0; // the download is abandoned past this size
    QString fileName;    // name inside the model folder
};

// whisper's multilingual "base" model, as its publisher lists it.
ModelAsset whisperBaseModel();

// $XDG_DATA_HOME/kivaro/speech
QString speechModelFolder();

class ModelInstaller {
public:
    // Bytes received so far and the declared length (-1 when the server declares none).
    using Progress = std::function<void(qint64 received, qint64 total)>;

    // The installed file of `asset` in `folder`: a regular file (not a link) of at most the
    // cap. Empty when there is none.
    static QString installedPath(const ModelAsset &asset, const QString &folder);

    // Downloads and installs `asset` into `folder` and returns the file's path. Throws
    // SpeechError (download, digest, tooLarge, storage) or CancellationError; nothing is left
    // behind then. Redirects are followed only to https (the digest guards the content).
    static Task<QString> install(ModelAsset asset, QString folder, Progress progress = {},
                                 QNetworkAccessManager *network = nullptr);
};

} // namespace Platform
