#pragma once
// One bounded download: the loop every download of the application goes through (the updater's
// manifests and archives, the speech model).
//
// Redirects are followed by hand, at most `maxRedirects` hops, each address (the first one
// included) checked with `allowAddress` before it is requested: Qt's own following with a
// user-verified policy follows a hop once for every hop before it (Qt 6.4). The body is capped
// twice: by a declared Content-Length and by the running count of received bytes, the reply
// being aborted at the first byte beyond the cap. The longest silence is bounded by
// `idleTimeoutMs` (Qt's transfer timeout: a stalled connection fails rather than waiting for
// ever) and, when `deadlineMs` is set, the whole transfer too (a reply that trickles). Only a
// 2xx status of the last hop is a success. TLS is always verified, against `tls`'s
// certificates when one is given (tests) and the system's otherwise; cookies are neither sent
// nor stored. Cancelling the task aborts the reply and throws CancellationError.
//
// The body goes to the sink chunk by chunk as it arrives, so that a large file never sits in
// memory; a sink that returns false stops the download, which then throws
// DownloadError(stopped). Main thread only.

#include "Platform/Async/Task.h"

#include <QByteArray>
#include <QSslConfiguration>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>
#include <stdexcept>

class QNetworkAccessManager;

namespace Platform {

class DownloadError final : public std::runtime_error {
public:
    enum class Reason {
        badServerResponse, // not HTTP, or a status other than 2xx
        tooLarge,          // past the cap, declared or counted
        untrustedAddress,  // an address `allowAddress` refused, or too many redirects
        timedOut,          // the idle timeout or the deadline passed
        cannotConnect,     // the host was not found, refused, or the network is down
        insecure,          // TLS failed
        stopped,           // the sink stopped it
        other,
    };
    // `networkError`: the QNetworkReply::NetworkError behind it, 0 when there is none.
    DownloadError(Reason reason, const QString &detail, int networkError = 0)
        : std::runtime_error(detail.toStdString()), m_reason(reason), m_detail(detail), m_networkError(networkError)
    {
    }
    Reason reason() const { return m_reason; }
    QString detail() const { return m_detail; }
    int networkError() const { return m_networkError; }
    // Whether the host could not be reached at all: its name was not found or it refused the
    // connection (as when the machine is offline).
    bool hostUnreachable() const;

private:
    Reason m_reason;
    QString m_detail;
    int m_networkError;
};

struct DownloadRequest {
    QUrl url;
    // Whether an address may be requested; the first one and every redirect hop are asked.
    std::function<bool(const QUrl &)> allowAddress;
    qint64 maxBytes = 0;
    int maxRedirects = 5;
    int idleTimeoutMs = 30'000;
    int deadlineMs = 0; // 0: no deadline
    bool bypassCache = false;
    std::optional<QSslConfiguration> tls;
};

// Takes a piece of the body and the length the server declared (-1 when it declared none);
// false stops the download.
using DownloadSink = std::function<bool(const QByteArray &chunk, qint64 declaredLength)>;

// Downloads `request.url` into `sink` and returns the 2xx status of the last hop. Throws
// DownloadError or CancellationError.
Task<int> download(QNetworkAccessManager *network, DownloadRequest request, DownloadSink sink);

} // namespace Platform
