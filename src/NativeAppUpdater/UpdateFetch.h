#pragma once
// One bounded HTTPS download of the updater (a manifest or an archive), through the
// application's one download loop (Platform/Network/CappedDownload.h: caps, idle timeout,
// deadline, redirect hops, TLS, cancellation).
//
// Every address, the first and each redirect hop, must use https, name one of the allowed hosts
// and keep the first address's port (443 where none is written); at most `maxRedirects` hops are
// followed. Besides the idle timeout an overall deadline
// ends a reply that trickles. The body is kept in memory.

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
