#include "NativeAppUpdater/UpdateFetch.h"

#include "NativeAppUpdater/UpdaterCopy.h"

#include "Platform/Async/Awaitables.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QDeadlineTimer>
#include <QPointer>
#include <QTimer>

#include <memory>

namespace NativeAppUpdater {

namespace {

UpdateNetworkError::Reason reasonOf(QNetworkReply::NetworkError error)
{
    using Reason = UpdateNetworkError::Reason;
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

// An address a download may go to: https, one of the allowed hosts, and the port of the first
// address (443 where none is written), so that a redirect cannot lead to another service on an
// allowed host.
bool isAllowed(const QUrl &url, const UpdateFetchRequest &request)
{
    constexpr int httpsPort = 443;
    return url.isValid() && url.scheme() == QLatin1String("https") && !url.host().isEmpty()
        && request.allowedHosts.contains(url.host().toLower()) && url.port(httpsPort) == request.url.port(httpsPort);
}

// What the reply's handlers found; shared with the handlers, which may outlive the task.
struct Transfer {
    QByteArray body;
    std::optional<UpdateNetworkError> failure;
};

struct Answer {
    int status = 0;
    QByteArray body;
    QUrl location;
};

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// One request, without following redirects: Qt's own following with a user-verified policy
// follows a hop once for every hop before it (Qt 6.4), so the hops are ours.
Platform::Task<Answer> fetchOnce(QNetworkAccessManager *network, const QUrl &url, const UpdateFetchRequest &request,
                                 const QDeadlineTimer &deadline)
{
    using Reason = UpdateNetworkError::Reason;
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
    auto stop = [guard, transfer](UpdateNetworkError error) {
        if (transfer->failure)
            return;
        transfer->failure = std::move(error);
        if (guard)
            QMetaObject::invokeMethod(guard.data(), &QNetworkReply::abort, Qt::QueuedConnection);
    };
    const qint64 maxBytes = request.maxBytes;
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [guard, maxBytes, stop] {
        bool known = false;
        const qint64 declared = guard ? guard->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known) : 0;
        if (known && declared > maxBytes)
            stop(UpdateNetworkError(Reason::tooLarge, QStringLiteral("declared length %1 beyond the cap").arg(declared)));
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [guard, transfer, maxBytes, stop] {
        if (!guard || transfer->failure)
            return;
        const qint64 room = maxBytes - transfer->body.size();
        transfer->body += guard->read(room + 1);
        if (transfer->body.size() > maxBytes)
            stop(UpdateNetworkError(Reason::tooLarge, QStringLiteral("body beyond the cap")));
    });
    QTimer overall;
    overall.setSingleShot(true);
    QObject::connect(&overall, &QTimer::timeout, reply, [stop] {
        stop(UpdateNetworkError(Reason::timedOut, QStringLiteral("overall deadline passed")));
    });
    overall.start(int(qMax<qint64>(0, deadline.remainingTime())));

    auto finished = Platform::signal(reply, &QNetworkReply::finished, [guard] {
        if (guard)
            guard->abort();
    });
    try {
        co_await finished;
    } catch (...) {
        if (guard)
            guard->deleteLater();
        throw;
    }
    overall.stop();
    reply->disconnect();
    reply->deleteLater();

    if (transfer->failure)
        throw *transfer->failure;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        if (reply->error() != QNetworkReply::NoError)
            throw UpdateNetworkError(reasonOf(reply->error()), reply->errorString(), int(reply->error()));
        throw UpdateNetworkError(Reason::badServerResponse, QStringLiteral("not an HTTP response"));
    }
    Answer answer;
    answer.status = status.toInt();
    if (isRedirect(answer.status)) {
        answer.location = url.resolved(QUrl::fromEncoded(reply->rawHeader("Location"), QUrl::StrictMode));
        co_return answer;
    }
    if (answer.status < 200 || answer.status > 299)
        throw UpdateNetworkError(Reason::badServerResponse, QStringLiteral("status %1").arg(answer.status));
    if (reply->error() != QNetworkReply::NoError)
        throw UpdateNetworkError(reasonOf(reply->error()), reply->errorString(), int(reply->error()));
    const qint64 room = request.maxBytes - transfer->body.size();
    transfer->body += reply->read(room + 1);
    if (transfer->body.size() > request.maxBytes)
        throw UpdateNetworkError(Reason::tooLarge, QStringLiteral("body beyond the cap"));
    answer.body = transfer->body;
    co_return answer;
}

} // namespace

UpdateNetworkError::UpdateNetworkError(Reason reason, QString detail, int networkError)
    : UpdaterError(std::move(detail)), m_reason(reason), m_networkError(networkError)
{
}

QString UpdateNetworkError::localizedDescription() const
{
    switch (m_reason) {
    case Reason::badServerResponse:
        return updaterCopy("服务器的响应无效。");
    case Reason::tooLarge:
        return updaterCopy("下载的内容超过了大小上限。");
    case Reason::untrustedAddress:
        return updaterCopy("下载被重定向到不受信任的地址。");
    case Reason::timedOut:
        return updaterCopy("连接更新服务器超时。");
    case Reason::cannotConnect:
        return updaterCopy("无法连接到更新服务器。");
    case Reason::insecure:
        return updaterCopy("无法与更新服务器建立安全连接。");
    case Reason::other:
        break;
    }
    // Qt's groups of errors: the connection (1-99) and a proxy (100-199), the content the server
    // refused (200-299) or failed on (400-499), and the protocol (300-399).
    QString cause;
    if (m_networkError >= 1 && m_networkError < 200)
        cause = updaterCopy("连接中断");
    else if ((m_networkError >= 200 && m_networkError < 300) || (m_networkError >= 400 && m_networkError < 500))
        cause = updaterCopy("服务器拒绝了请求");
    else if (m_networkError >= 300 && m_networkError < 400)
        cause = updaterCopy("协议错误");
    else
        cause = updaterCopy("未知原因");
    return updaterFormat("网络请求失败：%@", {cause});
}

Platform::Task<QByteArray> fetchForUpdate(QNetworkAccessManager *network, UpdateFetchRequest request)
{
    const UpdateFetchResponse response = co_await fetchResponseForUpdate(network, std::move(request));
    co_return response.body;
}

Platform::Task<UpdateFetchResponse> fetchResponseForUpdate(QNetworkAccessManager *network, UpdateFetchRequest request)
{
    using Reason = UpdateNetworkError::Reason;
    if (!network)
        throw UpdateNetworkError(Reason::other, QStringLiteral("no network access"));
    const QDeadlineTimer deadline(request.deadlineMs);
    QUrl url = request.url;
    for (int hops = 0;; ++hops) {
        if (!isAllowed(url, request))
            throw UpdateNetworkError(Reason::untrustedAddress, QStringLiteral("not an allowed https address: ") + url.toString());
        const Answer answer = co_await fetchOnce(network, url, request, deadline);
        if (!isRedirect(answer.status))
            co_return UpdateFetchResponse{answer.status, answer.body};
        if (hops + 1 > request.maxRedirects)
            throw UpdateNetworkError(Reason::untrustedAddress, QStringLiteral("too many redirects"));
        if (!answer.location.isValid())
            throw UpdateNetworkError(Reason::badServerResponse, QStringLiteral("a redirect without a usable address"));
        url = answer.location;
    }
}

} // namespace NativeAppUpdater
