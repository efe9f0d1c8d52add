#include "NativeAppUpdater/UpdateFetch.h"

#include "NativeAppUpdater/UpdaterCopy.h"

#include "Platform/Async/Awaitables.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
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
    case QNetworkReply::InsecureRedirectError:
        return Reason::insecure;
    case QNetworkReply::TooManyRedirectsError:
        return Reason::untrustedAddress;
    default:
        return Reason::other;
    }
}

bool isAllowed(const QUrl &url, const QSet<QString> &hosts)
{
    return url.isValid() && url.scheme() == QLatin1String("https") && !url.host().isEmpty() && hosts.contains(url.host().toLower());
}

// What the reply's handlers found; shared with the handlers, which may outlive the task.
struct Transfer {
    QByteArray body;
    std::optional<UpdateNetworkError> failure;
    int hops = 0;
};

} // namespace

UpdateNetworkError::UpdateNetworkError(Reason reason, QString detail) : UpdaterError(std::move(detail)), m_reason(reason) {}

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
    return updaterFormat("网络请求失败：%@", {detail()});
}

Platform::Task<QByteArray> fetchForUpdate(QNetworkAccessManager *network, UpdateFetchRequest request)
{
    using Reason = UpdateNetworkError::Reason;
    if (!isAllowed(request.url, request.allowedHosts))
        throw UpdateNetworkError(Reason::untrustedAddress, QStringLiteral("not an allowed https address: ") + request.url.toString());
    if (!network)
        throw UpdateNetworkError(Reason::other, QStringLiteral("no network access"));

    QNetworkRequest httpRequest(request.url);
    httpRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    httpRequest.setMaximumRedirectsAllowed(request.maxRedirects);
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
    auto stop = [guard, transfer](UpdateNetworkError error) {
        if (!transfer->failure)
            transfer->failure = std::move(error);
        if (guard)
            guard->abort();
    };

    const QSet<QString> hosts = request.allowedHosts;
    const int maxRedirects = request.maxRedirects;
    QObject::connect(reply, &QNetworkReply::redirected, reply, [guard, transfer, hosts, maxRedirects, stop](const QUrl &url) {
        if (++transfer->hops > maxRedirects)
            stop(UpdateNetworkError(Reason::untrustedAddress, QStringLiteral("too many redirects")));
        else if (!isAllowed(url, hosts))
            stop(UpdateNetworkError(Reason::untrustedAddress, QStringLiteral("redirect to a refused address: ") + url.toString()));
        else if (guard)
            Q_EMIT guard->redirectAllowed();
    });
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
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply, [stop] {
        stop(UpdateNetworkError(Reason::timedOut, QStringLiteral("overall deadline passed")));
    });
    deadline.start(request.deadlineMs);

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
    deadline.stop();
    reply->disconnect();
    reply->deleteLater();

    if (transfer->failure)
        throw *transfer->failure;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299))
        throw UpdateNetworkError(Reason::badServerResponse, QStringLiteral("status %1").arg(status.toInt()));
    if (reply->error() != QNetworkReply::NoError)
        throw UpdateNetworkError(reasonOf(reply->error()), reply->errorString());
    if (!status.isValid())
        throw UpdateNetworkError(Reason::badServerResponse, QStringLiteral("not an HTTP response"));
    const qint64 room = request.maxBytes - transfer->body.size();
    transfer->body += reply->read(room + 1);
    if (transfer->body.size() > request.maxBytes)
        throw UpdateNetworkError(Reason::tooLarge, QStringLiteral("body beyond the cap"));
    co_return transfer->body;
}

} // namespace NativeAppUpdater
