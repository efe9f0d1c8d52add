// The copy receipt of a verification run. CopyReceiptRun.* runs in its own CTest test, started
// with "--ui-session --evidence-dir <folder>"; the other cases read the rules directly.

#include "EditorFixtures.h"

#include "Kivaro/editor/internal/CopyReceipt.h"

#include "KivaroCore/LaunchArguments.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace Kivaro;
using namespace EditorTesting;

TEST(CopyReceipt, IsDueOnlyWithBothTheSessionFlagAndAnEvidenceFolder)
{
    const QString program = QStringLiteral("kivaro");
    EXPECT_EQ(detail::CopyReceipt::folder({program, QStringLiteral("--ui-session"), QStringLiteral("--evidence-dir"), QStringLiteral("/e")}),
              QStringLiteral("/e"));
    EXPECT_FALSE(detail::CopyReceipt::folder({program, QStringLiteral("--ui-session")}));
    EXPECT_FALSE(detail::CopyReceipt::folder({program, QStringLiteral("--evidence-dir"), QStringLiteral("/e")}));
    EXPECT_FALSE(detail::CopyReceipt::folder({program, QStringLiteral("--ui-session"), QStringLiteral("--evidence-dir")}));
}

TEST(CopyReceipt, NamesTheBytesBySizeAndDigest)
{
    QByteArray png;
    QBuffer buffer(&png);
    picture(30, 20).save(&buffer, "PNG");
    const QJsonObject receipt = QJsonDocument::fromJson(detail::CopyReceipt::json(png, true, false)).object();
    EXPECT_EQ(receipt.value(QStringLiteral("copied")), true);
    EXPECT_EQ(receipt.value(QStringLiteral("clipboardMatchedAtCopy")), true);
    EXPECT_EQ(receipt.value(QStringLiteral("windowVisible")), false);
    EXPECT_EQ(receipt.value(QStringLiteral("width")), 30);
    EXPECT_EQ(receipt.value(QStringLiteral("height")), 20);
    EXPECT_EQ(receipt.value(QStringLiteral("sha256")).toString(),
              QString::fromLatin1(QCryptographicHash::hash(png, QCryptographicHash::Sha256).toHex()));
    const QJsonObject broken = QJsonDocument::fromJson(detail::CopyReceipt::json("not png", false, true)).object();
    EXPECT_EQ(broken.value(QStringLiteral("width")), 0);
    EXPECT_EQ(broken.value(QStringLiteral("height")), 0);
}

// A folder that was opened to others or replaced by a link since the launch gets no receipt,
// and the copy hears of it.
TEST(CopyReceipt, IsWrittenOnlyIntoAPrivateFolder)
{
    QTemporaryDir dir;
    const QByteArray native = QFile::encodeName(dir.path());
    ::chmod(native.constData(), 0700);
    const QString receipt = dir.filePath(QStringLiteral("copy-receipt.json"));
    EXPECT_NO_THROW(detail::CopyReceipt::write(dir.path(), QByteArrayLiteral("{}")));
    EXPECT_TRUE(QFile::exists(receipt));
    QFile::remove(receipt);
    ::chmod(native.constData(), 0777);
    EXPECT_ANY_THROW(detail::CopyReceipt::write(dir.path(), QByteArrayLiteral("{}")));
    ::chmod(native.constData(), 0700);
    const QString link = dir.path() + QStringLiteral("-link");
    ASSERT_TRUE(QFile::link(dir.path(), link));
    EXPECT_ANY_THROW(detail::CopyReceipt::write(link, QByteArrayLiteral("{}")));
    QFile::remove(link);
    EXPECT_FALSE(QFile::exists(receipt));
}

using CopyReceiptRun = EditorTest;

TEST_F(CopyReceiptRun, ACopyInAVerificationSessionLeavesItsReceipt)
{
    const std::optional<QString> evidence = PrototypeVerification::argument(QStringLiteral("--evidence-dir"));
    if (!evidence || !PrototypeVerification::hasFlag(QStringLiteral("--ui-session")))
        GTEST_SKIP() << "runs as KivaroEditorCopyReceipt, with the session's arguments";
    ASSERT_TRUE(QDir().mkpath(*evidence));
    QFile::remove(QDir(*evidence).filePath(QStringLiteral("copy-receipt.json")));
    loadPicture();
    editor->copyImage();
    ASSERT_TRUE(waitIdle());
    QFile file(QDir(*evidence).filePath(QStringLiteral("copy-receipt.json")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonObject receipt = QJsonDocument::fromJson(file.readAll()).object();
    const QByteArray png = *pasteboard->data(QStringLiteral("image/png"));
    EXPECT_EQ(receipt.value(QStringLiteral("clipboardMatchedAtCopy")), true);
    EXPECT_EQ(receipt.value(QStringLiteral("windowVisible")), false);
    EXPECT_EQ(receipt.value(QStringLiteral("width")), 640);
    EXPECT_EQ(receipt.value(QStringLiteral("sha256")).toString(),
              QString::fromLatin1(QCryptographicHash::hash(png, QCryptographicHash::Sha256).toHex()));
    EXPECT_EQ(file.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);
}
