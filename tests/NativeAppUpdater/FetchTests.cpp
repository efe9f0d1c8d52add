// Bounded downloads against the loopback HTTPS server: statuses, both size caps, redirect hops,
// the idle timeout and the overall deadline, and TLS trust.

#include "LoopbackHttpsServer.h"

#include "NativeAppUpdater/UpdateFetch.h"

#include "Support/TaskTesting.h"

#include <QNetworkAccessManager>

#include <gtest/gtest.h>

using namespace NativeAppUpdater;
using namespace UpdaterTesting;
using Reason = UpdateNetworkError::Reason;

namespace {

class Fetch : public ::testing::Test {
protected:
    UpdateFetchRequest request(const QString &path) const
    {
        UpdateFetchRequest r;
        r.url = m_server.url(path);
        r.allowedHosts = {QStringLiteral("127.0.0.1")};
        r.maxBytes = 1024;
        r.idleTimeoutMs = 5000;
        r.deadlineMs = 10000;
        r.bypassCache = true;
        r.tls = m_server.clientConfiguration();
        return r;
    }

    // The body, or the reason of the refusal.
    std::variant<QByteArray, Reason> fetch(const UpdateFetchRequest &r)
    {
        try {
            return TestSupport::run(fetchForUpdate(&m_network, r), 20000);
        } catch (const UpdateNetworkError &error) {
            m_lastDetail = error.detail();
            return error.reason();
        }
    }

    LoopbackHttpsServer m_server;
    QNetworkAccessManager m_network;
    QString m_lastDetail;
};

} // namespace

TEST_F(Fetch, ReturnsTheBodyOfA2xxAnswer)
{
    m_server.serve(QStringLiteral("/update.json"), "{\"a\":1}");
    EXPECT_EQ(fetch(request(QStringLiteral("/update.json"))), (std::variant<QByteArray, Reason>(QByteArray("{\"a\":1}"))));
}

TEST_F(Fetch, OtherStatusesAreBadServerResponses)
{
    m_server.route(QStringLiteral("/gone"), {ScriptedReply::Kind::body, 404, "missing", {}, {}});
    m_server.route(QStringLiteral("/same"), {ScriptedReply::Kind::body, 304, {}, {}, {}});
    EXPECT_EQ(fetch(request(QStringLiteral("/gone"))), (std::variant<QByteArray, Reason>(Reason::badServerResponse)));
    EXPECT_EQ(fetch(request(QStringLiteral("/same"))), (std::variant<QByteArray, Reason>(Reason::badServerResponse)));
}

TEST_F(Fetch, CapsByDeclaredLengthAndByTheRunningCount)
{
    m_server.route(QStringLiteral("/declared"), {ScriptedReply::Kind::body, 200, QByteArray(10, 'x'), {}, qint64(1) << 40});
    m_server.route(QStringLiteral("/endless"), {ScriptedReply::Kind::endless, 200, {}, {}, {}});
    m_server.serve(QStringLiteral("/exact"), QByteArray(1024, 'x'));
    m_server.serve(QStringLiteral("/over"), QByteArray(1025, 'x'));
    EXPECT_EQ(fetch(request(QStringLiteral("/declared"))), (std::variant<QByteArray, Reason>(Reason::tooLarge)));
    EXPECT_EQ(fetch(request(QStringLiteral("/endless"))), (std::variant<QByteArray, Reason>(Reason::tooLarge)));
    EXPECT_EQ(fetch(request(QStringLiteral("/exact"))), (std::variant<QByteArray, Reason>(QByteArray(1024, 'x'))));
    EXPECT_EQ(fetch(request(QStringLiteral("/over"))), (std::variant<QByteArray, Reason>(Reason::tooLarge)));
}

TEST_F(Fetch, StalledBodiesTimeOutByIdleTimeAndByDeadline)
{
    m_server.route(QStringLiteral("/stall"), {ScriptedReply::Kind::stall, 200, "partial", {}, {}});
    UpdateFetchRequest idle = request(QStringLiteral("/stall"));
    idle.idleTimeoutMs = 300;
    EXPECT_EQ(fetch(idle), (std::variant<QByteArray, Reason>(Reason::timedOut)));
    UpdateFetchRequest deadline = request(QStringLiteral("/stall"));
    deadline.deadlineMs = 400;
    EXPECT_EQ(fetch(deadline), (std::variant<QByteArray, Reason>(Reason::timedOut)));
}

TEST_F(Fetch, EveryRedirectHopIsChecked)
{
    const auto to = [&](const QString &location) { return ScriptedReply{ScriptedReply::Kind::redirect, 302, {}, location, {}}; };
    m_server.serve(QStringLiteral("/target"), "arrived");
    m_server.route(QStringLiteral("/good"), to(m_server.url(QStringLiteral("/target")).toString()));
    m_server.route(QStringLiteral("/other-host"),
                   to(QStringLiteral("https://localhost:%1/target").arg(m_server.port())));
    m_server.route(QStringLiteral("/plain"), to(QStringLiteral("http://127.0.0.1:%1/target").arg(m_server.port())));
    for (int i = 0; i < 6; ++i)
        m_server.route(QStringLiteral("/hop%1").arg(i), to(m_server.url(QStringLiteral("/hop%1").arg(i + 1)).toString()));
    m_server.route(QStringLiteral("/hop6"), to(m_server.url(QStringLiteral("/target")).toString()));

    EXPECT_EQ(fetch(request(QStringLiteral("/good"))), (std::variant<QByteArray, Reason>(QByteArray("arrived"))));
    EXPECT_EQ(fetch(request(QStringLiteral("/other-host"))), (std::variant<QByteArray, Reason>(Reason::untrustedAddress)));
    EXPECT_EQ(fetch(request(QStringLiteral("/plain"))), (std::variant<QByteArray, Reason>(Reason::untrustedAddress)));
    EXPECT_EQ(fetch(request(QStringLiteral("/hop2"))), (std::variant<QByteArray, Reason>(QByteArray("arrived")))) << m_lastDetail.toStdString(); // 5 hops
    EXPECT_EQ(fetch(request(QStringLiteral("/hop1"))), (std::variant<QByteArray, Reason>(Reason::untrustedAddress))); // 6 hops
    // The target was reached by the good redirect and the five hops, never after a sixth.
    EXPECT_EQ(m_server.requests().count(QStringLiteral("/target")), 2);
}

// A redirect to another port of an allowed host reaches another service there: refused before
// it is asked, though its certificate is the trusted one.
TEST_F(Fetch, ARedirectToAnotherPortOfTheSameHostIsRefused)
{
    LoopbackHttpsServer elsewhere(&m_server);
    elsewhere.serve(QStringLiteral("/target"), "elsewhere");
    m_server.route(QStringLiteral("/moved"), {ScriptedReply::Kind::redirect, 302, {}, elsewhere.url(QStringLiteral("/target")).toString(), {}});
    EXPECT_EQ(fetch(request(QStringLiteral("/moved"))), (std::variant<QByteArray, Reason>(Reason::untrustedAddress)));
    EXPECT_TRUE(elsewhere.requests().isEmpty());
}

TEST_F(Fetch, RefusesUntrustedCertificatesAndPlainAddresses)
{
    m_server.serve(QStringLiteral("/update.json"), "{}");
    UpdateFetchRequest stranger = request(QStringLiteral("/update.json"));
    QSslConfiguration trust = QSslConfiguration::defaultConfiguration();
    trust.setCaCertificates({LoopbackHttpsServer::otherCertificate()});
    stranger.tls = trust;
    EXPECT_EQ(fetch(stranger), (std::variant<QByteArray, Reason>(Reason::insecure)));

    UpdateFetchRequest plain = request(QStringLiteral("/update.json"));
    plain.url.setScheme(QStringLiteral("http"));
    EXPECT_EQ(fetch(plain), (std::variant<QByteArray, Reason>(Reason::untrustedAddress)));
    UpdateFetchRequest elsewhere = request(QStringLiteral("/update.json"));
    elsewhere.allowedHosts = {QStringLiteral("updates.example.org")};
    EXPECT_EQ(fetch(elsewhere), (std::variant<QByteArray, Reason>(Reason::untrustedAddress)));
    EXPECT_TRUE(m_server.requests().isEmpty());
}

TEST_F(Fetch, CancellingAbortsTheReply)
{
    m_server.route(QStringLiteral("/stall"), {ScriptedReply::Kind::stall, 200, "partial", {}, {}});
    auto handle = Platform::start(fetchForUpdate(&m_network, request(QStringLiteral("/stall"))));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !m_server.requests().isEmpty(); }, 10000));
    handle.cancel();
    ASSERT_TRUE(TestSupport::waitFor(handle, 5000));
    EXPECT_TRUE(handle.endedByCancellation());
}
