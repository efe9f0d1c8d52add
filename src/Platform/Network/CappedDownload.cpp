#include "Platform/Network/CappedDownload.h"

#include "Platform/Async/Awaitables.h"

#include <QDeadlineTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>

#include <memory>

namespace Platform {

namespace {

using Reason = DownloadError::Reason;

Reason reasonOf(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
        return Reason::cannotConnect;
    case QNetworkReply::TimeoutError:
    // Qt's transfer timeout aborts the reply: it ends as cancelled.
    case QNetworkReply::OperationCanceledError:
        return Reason::timedOut;
    case QNetworkReply::SslHandshakeFailedError:
        return Reason::insecure;
    default:
        return Reason::other;
    }
}

bool isSuccess(int status)
{
    return status >= 200 && status <= 299;
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// What the reply's handlers found; shared with the handlers, which may outlive the task.
struct Transfer {
    qint64 received = 0;
    qint64 declared = -1;
    std::optional<DownloadError> failure;
};

struct Answer {
    int status = 0;
    QUrl location;
};

// One request, without following redirects.
Task<Answer> fetchOnce(QNetworkAccessManager *network, QUrl url, const DownloadRequest &request,
                       const QDeadlineTimer &deadline, const DownloadSink &sink)
{
    QNetworkRequest httpRequest(url);
    httpRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    httpRequest.setTransferTimeout(request.idleTimeoutMs);
    httpRequest.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    httpRequest.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    if (request.bypassCache) {
        httpRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
        httpRequest.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    }
    if (request.tls)
        httpRequest.setSslConfiguration(*request.tls);

    QNetworkReply *reply = network->get(httpRequest);
    QPointer<QNetworkReply> guard(reply);
    auto transfer = std::make_shared<Transfer>();
    // Aborting inside one of the reply's own signals makes Qt report its error twice; the abort
    // is queued, and nothing more is taken from the reply meanwhile.
    auto stop = [guard, transfer](DownloadError error) {
        if (transfer->failure)
            return;
        transfer->failure = std::move(error);
        if (guard)
            QMetaObject::invokeMethod(guard.data(), &QNetworkReply::abort, Qt::QueuedConnection);
    };
    const qint64 maxBytes = request.maxBytes;
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [guard, transfer, maxBytes, stop] {
        bool known = false;
        const qint64 declared = guard ? guard->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known) : 0;
        transfer->declared = known ? declared : -1;
        if (known && declared > maxBytes)
            stop(DownloadError(Reason::tooLarge, QStringLiteral("declared length %1 beyond the cap").arg(declared)));
    });
    // Only a success's body reaches the sink; a redirect's or an error page's is counted and
    // dropped.
    auto take = [guard, transfer, maxBytes, stop, sink] {
        if (!guard || transfer->failure || !guard->isOpen())
            return;
        const QByteArray chunk = guard->read(maxBytes - transfer->received + 1);
        if (chunk.isEmpty())
            return;
        transfer->received += chunk.size();
        if (transfer->received > maxBytes) {
            stop(DownloadError(Reason::tooLarge, QStringLiteral("body beyond the cap")));
            return;
        }
        if (isSuccess(guard->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt()) && !sink(chunk, transfer->declared))
            stop(DownloadError(Reason::stopped, QStringLiteral("the receiver stopped the download")));
    };
    QObject::connect(reply, &QNetworkReply::readyRead, reply, take);
    QTimer overall;
    overall.setSingleShot(true);
    QObject::connect(&overall, &QTimer::timeout, reply, [stop] {
        stop(DownloadError(Reason::timedOut, QStringLiteral("overall deadline passed")));
    });
    if (!deadline.isForever())
        overall.start(int(qMax<qint64>(0, deadline.remainingTime())));

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
    overall.stop();
    take();
    reply->disconnect();
    reply->deleteLater();

    if (transfer->failure)
        throw *transfer->failure;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        if (reply->error() != QNetworkReply::NoError)
            throw DownloadError(reasonOf(reply->error()), reply->errorString(), int(reply->error()));
        throw DownloadError(Reason::badServerResponse, QStringLiteral("not an HTTP response"));
    }
    Answer answer;
    answer.status = status.toInt();
    if (isRedirect(answer.status)) {
        answer.location = url.resolved(QUrl::fromEncoded(reply->rawHeader("Location"), QUrl::StrictMode));
        co_return answer;
    }
    if (!isSuccess(answer.status))
        throw DownloadError(Reason::badServerResponse, QStringLiteral("status %1").arg(answer.status));
    if (reply->error() != QNetworkReply::NoError)
        throw DownloadError(reasonOf(reply->error()), reply->errorString(), int(reply->error()));
    co_return answer;
}

} // namespace

bool DownloadError::hostUnreachable() const
{
    return m_networkError == QNetworkReply::HostNotFoundError || m_networkError == QNetworkReply::ConnectionRefusedError;
}

Task<int> download(QNetworkAccessManager *network, DownloadRequest request, DownloadSink sink)
{
    if (!network)
        throw DownloadError(Reason::other, QStringLiteral("no network access"));
    const QDeadlineTimer deadline = request.deadlineMs > 0 ? QDeadlineTimer(request.deadlineMs) : QDeadlineTimer(QDeadlineTimer::Forever);
    QUrl url = request.url;
    for (int hops = 0;; ++hops) {
        if (!url.isValid() || !request.allowAddress || !request.allowAddress(url))
            throw DownloadError(Reason::untrustedAddress, QStringLiteral("not an allowed address: ") + url.toString());
        const Answer answer = co_await fetchOnce(network, url, request, deadline, sink);
        if (!isRedirect(answer.status))
            co_return answer.status;
        if (hops + 1 > request.maxRedirects)
            throw DownloadError(Reason::untrustedAddress, QStringLiteral("too many redirects"));
        if (!answer.location.isValid())
            throw DownloadError(Reason::badServerResponse, QStringLiteral("a redirect without a usable address"));
        url = answer.location;
    }
}

} // namespace Platform
