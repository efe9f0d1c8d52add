#include "NativeAppUpdater/UpdateFetch.h"

#include "NativeAppUpdater/UpdaterCopy.h"

#include "Platform/Network/CappedDownload.h"

#include <memory>

namespace NativeAppUpdater {

namespace {

UpdateNetworkError::Reason reasonOf(Platform::DownloadError::Reason reason)
{
    using Reason = UpdateNetworkError::Reason;
    using Download = Platform::DownloadError::Reason;
    switch (reason) {
    case Download::badServerResponse:
        return Reason::badServerResponse;
    case Download::tooLarge:
        return Reason::tooLarge;
    case Download::untrustedAddress:
        return Reason::untrustedAddress;
    case Download::timedOut:
        return Reason::timedOut;
    case Download::cannotConnect:
        return Reason::cannotConnect;
    case Download::insecure:
        return Reason::insecure;
    case Download::stopped:
    case Download::other:
        break;
    }
    return Reason::other;
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
    Platform::DownloadRequest download;
    download.url = request.url;
    const QSet<QString> hosts = request.allowedHosts;
    // The first address's port (443 where none is written) as well: a redirect cannot lead to
    // another service on an allowed host.
    constexpr int httpsPort = 443;
    const int port = request.url.port(httpsPort);
    download.allowAddress = [hosts, port](const QUrl &url) {
        return url.scheme() == QLatin1String("https") && !url.host().isEmpty() && hosts.contains(url.host().toLower())
            && url.port(httpsPort) == port;
    };
    download.maxBytes = request.maxBytes;
    download.maxRedirects = request.maxRedirects;
    download.idleTimeoutMs = request.idleTimeoutMs;
    download.deadlineMs = request.deadlineMs;
    download.bypassCache = request.bypassCache;
    download.tls = request.tls;
    auto body = std::make_shared<QByteArray>();
    // Named outside the co_await expression: GCC 12 destroys a lambda temporary inside one twice.
    const Platform::DownloadSink keep = [body](const QByteArray &chunk, qint64) {
        body->append(chunk);
        return true;
    };
    UpdateFetchResponse response;
    std::optional<Platform::DownloadError> failure;
    try {
        response.status = co_await Platform::download(network, std::move(download), keep);
    } catch (const Platform::DownloadError &error) {
        failure = error;
    }
    if (failure)
        throw UpdateNetworkError(reasonOf(failure->reason()), failure->detail(), failure->networkError());
    response.body = *body;
    co_return response;
}

} // namespace NativeAppUpdater
