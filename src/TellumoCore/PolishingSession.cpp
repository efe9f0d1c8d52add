#include "TellumoCore/PolishingSession.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QPointer>

#include <algorithm>

namespace Tellumo {

namespace {

// Takes no cookies and hands none out. Requests also switch cookie handling to manual, so this
// jar is only the second line.
class RefusingCookieJar final : public QNetworkCookieJar {
public:
    using QNetworkCookieJar::QNetworkCookieJar;
    QList<QNetworkCookie> cookiesForUrl(const QUrl &) const override { return {}; }
    bool setCookiesFromUrl(const QList<QNetworkCookie> &, const QUrl &) override { return false; }
};

// Keeps the shared session until the application object goes, so that its network manager is
// destroyed while Qt still runs rather than at static destruction.
class SharedSessionHolder final : public QObject {
public:
    using QObject::QObject;
    std::shared_ptr<PolishingSession> session = std::make_shared<PolishingSession>();
};

} // namespace

PolishingSession::PolishingSession(QSslConfiguration tls, Limits limits)
    : m_tls(std::move(tls)), m_limits(limits), m_manager(std::make_unique<QNetworkAccessManager>())
{
    m_limits.idleTimeout = std::max(m_limits.idleTimeout, m_limits.deadline);
    m_tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    m_manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    m_manager->setStrictTransportSecurityEnabled(false);
    m_manager->setCookieJar(new RefusingCookieJar(m_manager.get()));
    m_manager->setCache(nullptr);
    // Requests keep their own idle timeout (TextPolisher): Qt's is a coarse timer, which may
    // fire a little before its time and so before the deadline it must never undercut.
    m_manager->setTransferTimeout(0);
}

PolishingSession::~PolishingSession() = default;

std::shared_ptr<PolishingSession> PolishingSession::shared()
{
    static QPointer<SharedSessionHolder> holder;
    if (!holder)
        holder = new SharedSessionHolder(QCoreApplication::instance());
    return holder->session;
}

} // namespace Tellumo
