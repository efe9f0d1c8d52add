// The general pasteboard on a real X server: another client (xclip) reads what we wrote, byte
// for byte, and our change count follows what other clients write. Our process serves the
// selection from its event loop, so every xclip run spins the loop until xclip has ended.

#include "Platform/Pasteboard/Pasteboard.h"
#include "Support/ClientProcess.h"
#include "Support/TaskTesting.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <cstdlib>

using namespace Platform;

namespace {

using TestSupport::ClientResult;

ClientResult runXclip(const QStringList &arguments, int timeoutMs = 10000)
{
    return TestSupport::runClient(QStringLiteral("xclip"), arguments, timeoutMs);
}

ClientResult readClipboard(const QString &target)
{
    return runXclip({QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"), target, QStringLiteral("-o")});
}

QByteArray pngOf(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Incompressible pixels, so the PNG is several megabytes and crosses X's single-request size.
QByteArray noisePng(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<quint32 *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = random.generate();
    }
    return pngOf(image);
}

// The CLIPBOARD selection's owner window, asked on a connection of its own so that our Qt
// connection sees no event of it.
class SelectionOwnerProbe final {
public:
    SelectionOwnerProbe() : m_connection(xcb_connect(nullptr, nullptr))
    {
        auto reply = xcb_intern_atom_reply(m_connection, xcb_intern_atom(m_connection, 0, 9, "CLIPBOARD"), nullptr);
        if (reply)
            m_clipboard = reply->atom;
        std::free(reply);
    }
    ~SelectionOwnerProbe() { xcb_disconnect(m_connection); }
    xcb_window_t owner() const
    {
        auto reply = xcb_get_selection_owner_reply(m_connection, xcb_get_selection_owner(m_connection, m_clipboard), nullptr);
        const xcb_window_t window = reply ? reply->owner : XCB_NONE;
        std::free(reply);
        return window;
    }

private:
    xcb_connection_t *m_connection;
    xcb_atom_t m_clipboard = XCB_NONE;
};

// Another client owning the CLIPBOARD selection: xclip serving `text` until another client
// takes the selection, when it ends by itself.
class ForeignOwner final {
public:
    explicit ForeignOwner(const QByteArray &text)
    {
        m_process.start(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-i"), QStringLiteral("-quiet")});
        m_started = m_process.waitForStarted(5000);
        m_process.write(text);
        // QProcess writes from the event loop; push the bytes and the end of input out now.
        m_started = m_started && m_process.waitForBytesWritten(5000);
        m_process.closeWriteChannel();
    }
    ~ForeignOwner()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }
    bool started() const { return m_started; }
    // Runs our event loop until xclip has lost the selection and ended.
    bool waitUntilReplaced() { return TestSupport::waitUntil([&] { return m_process.state() == QProcess::NotRunning; }, 10000); }

private:
    QProcess m_process;
    bool m_started = false;
};

class GeneralPasteboardX11 : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QGuiApplication::platformName() != QStringLiteral("xcb"))
            GTEST_SKIP() << "needs the X server of the test run";
    }
};

} // namespace

TEST_F(GeneralPasteboardX11, AnotherClientReadsOurPngByteForByte)
{
    auto general = generalPasteboard();
    QImage small(40, 30, QImage::Format_ARGB32);
    small.fill(QColor(20, 110, 240, 128));
    for (const QByteArray &bytes : {pngOf(small), noisePng(1200, 900)}) {
        SCOPED_TRACE(bytes.size());
        const long long before = general->changeCount();
        ASSERT_TRUE(general->setContents({{PasteboardType::png, bytes}}));
        EXPECT_EQ(general->changeCount(), before + 1);
        EXPECT_EQ(general->data(PasteboardType::png), bytes);

        const ClientResult read = readClipboard(PasteboardType::png);
        ASSERT_TRUE(read.finished);
        EXPECT_EQ(read.exitCode, 0);
        EXPECT_EQ(read.output.size(), bytes.size());
        EXPECT_TRUE(read.output == bytes);

        const ClientResult targets = readClipboard(QStringLiteral("TARGETS"));
        EXPECT_TRUE(targets.output.contains("image/png")) << targets.output.toStdString();
        // The selection-owner notification of our own write must not count a second time.
        TestSupport::waitUntil([] { return false; }, 200);
        EXPECT_EQ(general->changeCount(), before + 1);
    }
}

TEST_F(GeneralPasteboardX11, AnotherClientReadsOurTextAsUtf8)
{
    auto general = generalPasteboard();
    const QString text = QStringLiteral("已复制识别文字 · plain ✓ 😀\nsecond line");
    ASSERT_TRUE(general->setString(text));
    for (const QString &target : {QStringLiteral("UTF8_STRING"), QStringLiteral("text/plain")}) {
        SCOPED_TRACE(target.toStdString());
        const ClientResult read = readClipboard(target);
        ASSERT_TRUE(read.finished);
        EXPECT_EQ(read.exitCode, 0);
        EXPECT_EQ(read.output, text.toUtf8());
    }
    // A text write replaces an earlier PNG: nothing of it is offered any more.
    EXPECT_FALSE(readClipboard(QStringLiteral("TARGETS")).output.contains("image/png"));
}

TEST_F(GeneralPasteboardX11, AnotherClientsWriteMovesTheCountAndReplacesOurContents)
{
    auto general = generalPasteboard();
    ASSERT_TRUE(general->setContents({{PasteboardType::png, noisePng(8, 8)}}));
    const long long before = general->changeCount();

    // xclip takes the selection and serves it until another client takes it back.
    ForeignOwner owner(QStringLiteral("来自别的程序").toUtf8());
    ASSERT_TRUE(owner.started());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return general->changeCount() > before; }, 10000));
    EXPECT_EQ(general->changeCount(), before + 1);
    EXPECT_EQ(general->string(), QStringLiteral("来自别的程序"));
    EXPECT_FALSE(general->data(PasteboardType::png));

    // Taking it back ends xclip's ownership; our contents are served again.
    ASSERT_TRUE(general->setString(QStringLiteral("ours again")));
    EXPECT_TRUE(owner.waitUntilReplaced());
    EXPECT_EQ(readClipboard(QStringLiteral("UTF8_STRING")).output, QByteArray("ours again"));
    EXPECT_EQ(general->changeCount(), before + 2);
}

// X refuses a SetSelectionOwner stamped earlier than the selection's last change. Qt stamps
// its request with the last server time it has seen, so a write made before our process has
// noticed another client's newer ownership is refused by the server: the write must report
// the refusal and the other client's contents must stay.
TEST_F(GeneralPasteboardX11, AWriteTheServerRefusesIsReportedAndChangesNothing)
{
    auto general = generalPasteboard();
    ASSERT_TRUE(general->setString(QStringLiteral("before")));
    TestSupport::waitUntil([] { return false; }, 50);
    SelectionOwnerProbe probe;
    const xcb_window_t ours = probe.owner();
    ASSERT_NE(ours, xcb_window_t(XCB_NONE));

    ForeignOwner owner("newer owner");
    ASSERT_TRUE(owner.started());
    // Wait without running our event loop, so our process has not seen xclip's ownership.
    const QDeadlineTimer deadline(20000);
    while (probe.owner() == ours && !deadline.hasExpired())
        QThread::msleep(10);
    ASSERT_NE(probe.owner(), ours);
    const long long before = general->changeCount();
    EXPECT_FALSE(general->setContents({{PasteboardType::png, noisePng(8, 8)}}));
    EXPECT_EQ(general->changeCount(), before);

    EXPECT_EQ(general->string(), QStringLiteral("newer owner"));
    EXPECT_FALSE(general->data(PasteboardType::png));
    // Once our event loop has seen the newer ownership, a write takes the selection back.
    ASSERT_TRUE(TestSupport::waitUntil([&] { return general->changeCount() > before; }, 10000));
    ASSERT_TRUE(general->setString(QStringLiteral("ours again")));
    EXPECT_TRUE(owner.waitUntilReplaced());
}
