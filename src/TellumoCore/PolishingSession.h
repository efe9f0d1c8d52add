#pragma once
// The one connection object through which polishing requests reach a chat-completions service.
//
// It owns one QNetworkAccessManager set up for requests that carry an API key and the user's
// text: redirects are never followed (the reply to a 3xx is handed back as it is, so neither
// the key nor the text reaches another origin), there is no cookie jar and no cache, and TLS is
// always verified against the configuration given (the system's certificate authorities by
// default; tests pass their own authority). Each request has an overall deadline and an idle
// timeout, and the response body is capped. The idle timeout is never shorter than the
// deadline: a service that does not stream sends nothing until its whole answer is ready, so a
// shorter silence limit would end requests the deadline still allows.
//
// Main thread only. The application shares one session (`shared()`); a request in flight keeps
// its session alive. Destroying a session aborts its requests.

#include <QSslConfiguration>

#include <chrono>
#include <memory>

class QNetworkAccessManager;

namespace Tellumo {

struct PolishingLimits {
    // From sending the request to the last byte of the answer.
    std::chrono::milliseconds deadline{60'000};
    // Longest silence of the connection while a request is under way. A session raises a
    // shorter value to the deadline.
    std::chrono::milliseconds idleTimeout{60'000};
    // A longer answer is aborted as soon as it passes this size.
    qint64 maxResponseBytes = 4 * 1024 * 1024;
};

class PolishingSession final {
public:
    using Limits = PolishingLimits;

    // Peer verification is switched on whatever `tls` says. `limits().idleTimeout` is at least
    // `limits().deadline`.
    explicit PolishingSession(QSslConfiguration tls = QSslConfiguration::defaultConfiguration(), Limits limits = {});
    ~PolishingSession();
    PolishingSession(const PolishingSession &) = delete;
    PolishingSession &operator=(const PolishingSession &) = delete;

    // The application's session, with the default configuration; it is released with the
    // application object. Needs a QCoreApplication.
    static std::shared_ptr<PolishingSession> shared();

    QNetworkAccessManager *manager() const { return m_manager.get(); }
    const QSslConfiguration &tlsConfiguration() const { return m_tls; }
    const Limits &limits() const { return m_limits; }

private:
    QSslConfiguration m_tls;
    Limits m_limits;
    std::unique_ptr<QNetworkAccessManager> m_manager;
};

} // namespace Tellumo
