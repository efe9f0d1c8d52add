#pragma once
// One bounded HTTPS download of the updater (a manifest or an archive).
//
// Every address, the first and each redirect hop, must use https, name one of the allowed hosts
// and keep the first address's port (443 where none is written); at most `maxRedirects` hops are
// followed, each checked before it is requested. The body is capped twice: by a declared
// Content-Length and by the running count of received bytes, the reply being aborted at the
// first byte beyond the cap. Besides Qt's transfer timeout (the longest silence; Qt's default is
// none) an overall deadline ends a reply that trickles. Only a 2xx status is a success. TLS is
// always verified, against the given configuration's certificates when one is given (tests) and
// the system's otherwise; cookies are neither sent nor stored. Cancelling the task aborts the
// reply and throws CancellationError.

#include "NativeAppUpdater/UpdaterError.h"

#include "Platform/Async/Task.h"

#include <QByteArray>
#include <QSet>
#include <QSslConfiguration>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;

namespace NativeAppUpdater {

class UpdateNetworkError final : public UpdaterError {
public:
    enum class Reason { badServerResponse, tooLarge, untrustedAddress, timedOut, cannotConnect, insecure, other };
    // `networkError`: the QNetworkReply::NetworkError behind it, if any, which names the cause
    // shown for `other` (Qt's own error text is English and goes to the detail only).
    UpdateNetworkError(Reason reason, QString detail, int networkError = 0);
    Reason reason() const { return m_reason; }
    QString localizedDescription() const override;

private:
    Reason m_reason;
    int m_networkError;
};

struct UpdateFetchRequest {
    QUrl url;
    QSet<QString> allowedHosts; // lower case
    qint64 maxBytes = 0;
    int maxRedirects = 5;
    int idleTimeoutMs = 20'000;
    int deadlineMs = 60'000;
    bool bypassCache = false;
    std::optional<QSslConfiguration> tls;
};

// What a download ended with: the HTTP status of the last hop (a 2xx one) and the body.
struct UpdateFetchResponse {
    int status = 0;
    QByteArray body;
};

// Throws UpdateNetworkError.
Platform::Task<UpdateFetchResponse> fetchResponseForUpdate(QNetworkAccessManager *network, UpdateFetchRequest request);
// The same, for the body alone.
Platform::Task<QByteArray> fetchForUpdate(QNetworkAccessManager *network, UpdateFetchRequest request);

} // namespace NativeAppUpdater
