#pragma once
// Installs a speech model file on first use: downloaded from the publisher's address (through
// the application's one download loop, Platform/Network/CappedDownload.h), checked against the
// published SHA-1 digest, capped in size, with progress, into a private folder (0700) as a
// private file (0600). The download goes to a temporary file beside the target that is renamed
// into place only after the digest matched, and removed on every failure and on cancellation: a
// half-downloaded model is never kept. A temporary that a crash left behind is removed before
// the next installation. A transfer that stays silent for the idle timeout fails.
//
// An installed file is checked against the same digest before it is used (`checkInstalled`): a
// damaged model must never reach the recogniser, whose loader ends the process on some damage.

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

    static constexpr int defaultIdleTimeoutMs = 30'000;

    // The installed file of `asset` in `folder`: a regular file (not a link) of at most the
    // cap. Empty when there is none.
    static QString installedPath(const ModelAsset &asset, const QString &folder);

    enum class Installed { missing, intact, damaged };
    // Whether the installed file of `asset` in `folder` is the published one: its SHA-1 against
    // the asset's. The answer for a file that matched is remembered beside it ("<name>.checked":
    // digest, size, modification time and inode), so the file is read once and not at every
    // launch; with `remember` false nothing is written. Reads the whole file when it is not
    // remembered: call it off the main thread.
    static Installed checkInstalled(const ModelAsset &asset, const QString &folder, bool remember = true);

    // Downloads and installs `asset` into `folder` and returns the file's path. Throws
    // SpeechError (download, unreachable, digest, tooLarge, storage) or CancellationError;
    // nothing is left behind then. Redirects are followed only to https, or to http from an
    // http address (the digest guards the content). A transfer silent for `idleTimeoutMs`
    // fails with SpeechError(download).
    static Task<QString> install(ModelAsset asset, QString folder, Progress progress = {},
                                 QNetworkAccessManager *network = nullptr, int idleTimeoutMs = defaultIdleTimeoutMs);
};

} // namespace Platform
