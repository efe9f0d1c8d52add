// The model installation against a loopback HTTP server of the test's own: a good file, a wrong
// digest, an oversized file (declared and undeclared), an interrupted transfer and a cancelled
// one. Whatever fails leaves nothing in the model folder.

#include "Platform/Speech/ModelInstaller.h"
#include "Platform/Speech/SpeechEngine.h"

#include "Platform/Async/Cancellation.h"
#include "Support/TaskTesting.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Platform;

namespace {

// Serves one body to every GET. `declared` is the Content-Length sent (none when negative);
// `cutAfter` closes the connection after that many body bytes; `stall` keeps the connection
// open without sending the rest.
class ModelServer : public QObject {
public:
    QByteArray body;
    qint64 declared = -2; // -2: the body's real length
    qint64 cutAfter = -1;
    bool stall = false;
    int requests = 0;

    ModelServer()
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    m_request[socket] += socket->readAll();
                    if (!m_request[socket].contains("\r\n\r\n"))
                        return;
                    ++requests;
                    answer(socket);
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/ggml-base.bin").arg(m_server.serverPort())); }

private:
    void answer(QTcpSocket *socket)
    {
        QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n";
        const qint64 length = declared == -2 ? body.size() : declared;
        if (length >= 0)
            head += "Content-Length: " + QByteArray::number(length) + "\r\n";
        head += "\r\n";
        socket->write(head);
        const QByteArray sent = cutAfter >= 0 ? body.left(cutAfter) : body;
        socket->write(sent);
        if (stall)
            return;
        socket->flush();
        socket->disconnectFromHost();
    }
    QTcpServer m_server;
    std::map<QTcpSocket *, QByteArray> m_request;
};

class ModelInstallerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server.body = QByteArray(300000, '\0');
        for (int i = 0; i < server.body.size(); ++i)
            server.body[i] = char(i * 7 + i / 13);
        asset.url = server.url();
        asset.sha1 = QCryptographicHash::hash(server.body, QCryptographicHash::Sha1).toHex();
        asset.maxBytes = 400000;
        asset.fileName = QStringLiteral("ggml-base.bin");
        folder = dir.filePath(QStringLiteral("kivaro/speech"));
    }
    QStringList leftInFolder() const { return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System); }
    SpeechError::Kind failureOf(ModelInstaller::Progress progress = {}, int idleTimeoutMs = ModelInstaller::defaultIdleTimeoutMs)
    {
        try {
            TestSupport::run(ModelInstaller::install(asset, folder, std::move(progress), nullptr, idleTimeoutMs), 10000);
        } catch (const SpeechError &error) {
            return error.kind();
        }
        ADD_FAILURE() << "the installation succeeded";
        return SpeechError::Kind::failed;
    }

    QTemporaryDir dir;
    ModelServer server;
    ModelAsset asset;
    QString folder;
};

} // namespace

TEST_F(ModelInstallerTest, InstallsTheCheckedFilePrivatelyWithProgress)
{
    EXPECT_TRUE(ModelInstaller::installedPath(asset, folder).isEmpty());
    qint64 lastReceived = -1, lastTotal = -1;
    int reports = 0;
    const QString path = TestSupport::run(ModelInstaller::install(asset, folder, [&](qint64 received, qint64 total) {
        EXPECT_GE(received, lastReceived);
        lastReceived = received;
        lastTotal = total;
        ++reports;
    }), 10000);
    EXPECT_EQ(path, folder + QStringLiteral("/ggml-base.bin"));
    EXPECT_GT(reports, 0);
    EXPECT_EQ(lastReceived, server.body.size());
    EXPECT_EQ(lastTotal, server.body.size());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), server.body);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // Beside the model, the record that its digest was checked (it is not read again).
    EXPECT_EQ(leftInFolder(), (QStringList{QStringLiteral("ggml-base.bin"), QStringLiteral("ggml-base.bin.checked")}));
    EXPECT_EQ(ModelInstaller::installedPath(asset, folder), path);
    EXPECT_EQ(ModelInstaller::checkInstalled(asset, folder), ModelInstaller::Installed::intact);
}

TEST_F(ModelInstallerTest, AWrongDigestKeepsNothing)
{
    asset.sha1 = QByteArray(40, '0');
    EXPECT_EQ(failureOf(), SpeechError::Kind::digest);
    EXPECT_TRUE(leftInFolder().isEmpty()) << leftInFolder().join(u' ').toStdString();
}

TEST_F(ModelInstallerTest, AFileOverTheCapIsAbandonedWhetherDeclaredOrNot)
{
    asset.maxBytes = 100000;
    EXPECT_EQ(failureOf(), SpeechError::Kind::tooLarge);
    EXPECT_TRUE(leftInFolder().isEmpty());
    server.declared = -1; // no length: the cap is met while the bytes arrive
    EXPECT_EQ(failureOf(), SpeechError::Kind::tooLarge);
    EXPECT_TRUE(leftInFolder().isEmpty());
}

TEST_F(ModelInstallerTest, AnInterruptedTransferKeepsNothing)
{
    server.cutAfter = 120000;
    EXPECT_EQ(failureOf(), SpeechError::Kind::download);
    EXPECT_TRUE(leftInFolder().isEmpty());
    // Without a declared length the digest still catches the short file.
    server.declared = -1;
    EXPECT_EQ(failureOf(), SpeechError::Kind::digest);
    EXPECT_TRUE(leftInFolder().isEmpty());
}

TEST_F(ModelInstallerTest, ACancelledTransferKeepsNothing)
{
    server.cutAfter = 50000;
    server.stall = true;
    bool progressed = false;
    auto handle = Platform::start(ModelInstaller::install(asset, folder, [&](qint64 received, qint64) {
        progressed = progressed || received > 0;
    }));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return progressed; }, 5000));
    handle.cancel();
    ASSERT_TRUE(TestSupport::waitFor(handle, 5000));
    ASSERT_TRUE(handle.error());
    EXPECT_THROW(std::rethrow_exception(handle.error()), CancellationError);
    EXPECT_TRUE(leftInFolder().isEmpty());
}

// A stalled connection would keep the editor busy, and the capture keys blocked, until the user
// cancels: it fails after the idle time with the download's own error, keeping nothing.
TEST_F(ModelInstallerTest, AStalledTransferFailsAfterItsIdleTime)
{
    server.cutAfter = 50000;
    server.stall = true;
    qint64 received = 0;
    EXPECT_EQ(failureOf([&](qint64 bytes, qint64) { received = bytes; }, 500), SpeechError::Kind::download);
    EXPECT_EQ(received, 50000);
    EXPECT_TRUE(leftInFolder().isEmpty()) << leftInFolder().join(u' ').toStdString();
}

// A crash in the middle of a download leaves its temporary in the model folder; the next
// installation removes it. A temporary still being written (by another instance) stays.
TEST_F(ModelInstallerTest, TheTemporaryOfACrashedDownloadIsRemovedBeforeTheNextOne)
{
    ASSERT_TRUE(QDir().mkpath(folder));
    const auto plant = [&](const QString &name, int ageSeconds) {
        QFile file(folder + QLatin1Char('/') + name);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(70000, 'x'));
        EXPECT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds), QFileDevice::FileModificationTime));
    };
    plant(QStringLiteral("ggml-base.bin.a1B2c3"), 3600);
    plant(QStringLiteral("ggml-base.bin.LiveXy"), 0);
    plant(QStringLiteral("ggml-base.bin.notes"), 3600); // not a temporary's name
    TestSupport::run(ModelInstaller::install(asset, folder), 10000);
    EXPECT_EQ(leftInFolder(), (QStringList{QStringLiteral("ggml-base.bin"), QStringLiteral("ggml-base.bin.checked"),
                                           QStringLiteral("ggml-base.bin.LiveXy"), QStringLiteral("ggml-base.bin.notes")}));
}

// The installed file is checked against the digest before it is used; a file that matched is
// remembered and not read again, a changed one is damaged.
TEST_F(ModelInstallerTest, AnInstalledFileIsCheckedAgainstItsDigest)
{
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/ggml-base.bin");
    EXPECT_EQ(ModelInstaller::checkInstalled(asset, folder), ModelInstaller::Installed::missing);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(server.body);
    file.close();
    EXPECT_EQ(ModelInstaller::checkInstalled(asset, folder, false), ModelInstaller::Installed::intact);
    EXPECT_EQ(leftInFolder(), QStringList{QStringLiteral("ggml-base.bin")}) << "nothing remembered when asked not to";
    EXPECT_EQ(ModelInstaller::checkInstalled(asset, folder), ModelInstaller::Installed::intact);
    EXPECT_TRUE(QFileInfo::exists(path + QStringLiteral(".checked")));

    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.seek(1000);
    file.write("damage");
    // Written after the check, as any later write is (set outright: two writes within one
    // tick of the file system's clock carry the same time).
    file.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime);
    file.close();
    EXPECT_EQ(ModelInstaller::checkInstalled(asset, folder), ModelInstaller::Installed::damaged);
    ASSERT_TRUE(file.resize(100));
    EXPECT_EQ(ModelInstaller::checkInstalled(asset, folder), ModelInstaller::Installed::damaged);
}

TEST_F(ModelInstallerTest, RefusesALinkInPlaceOfTheModelOrItsFolder)
{
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString elsewhere = dir.filePath(QStringLiteral("elsewhere"));
    QFile(elsewhere).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(elsewhere, folder + QStringLiteral("/ggml-base.bin")));
    EXPECT_TRUE(ModelInstaller::installedPath(asset, folder).isEmpty());
    EXPECT_EQ(failureOf(), SpeechError::Kind::storage);
    EXPECT_EQ(QFileInfo(elsewhere).size(), 0);

    const QString linkedFolder = dir.filePath(QStringLiteral("kivaro/linked"));
    ASSERT_TRUE(QFile::link(dir.path(), linkedFolder));
    folder = linkedFolder;
    EXPECT_EQ(failureOf(), SpeechError::Kind::storage);
}
