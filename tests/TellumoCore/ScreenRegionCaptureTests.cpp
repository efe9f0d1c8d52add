#include "TellumoCore/ScreenRegionCapture.h"
#include "RegionCaptureChecks.h"

#include "Support/TaskTesting.h"

#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>
#include <zlib.h>

using namespace Tellumo;

namespace {

// A PNG written by hand, so that huge images cost almost nothing to make: greyscale at one bit
// a pixel, every row zero. Without `withPixels` the file is a header only.
QByteArray handMadePng(quint32 width, quint32 height, bool withPixels)
{
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    const auto chunk = [&png](const char *type, const QByteArray &data) {
        QByteArray body(type, 4);
        body += data;
        quint32 length = qToBigEndian(quint32(data.size()));
        png.append(reinterpret_cast<const char *>(&length), 4);
        png += body;
        quint32 crc = qToBigEndian(quint32(crc32(0, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size()))));
        png.append(reinterpret_cast<const char *>(&crc), 4);
    };
    QByteArray header(13, '\0');
    qToBigEndian(width, header.data());
    qToBigEndian(height, header.data() + 4);
    header[8] = 1; // bit depth
    header[9] = 0; // greyscale
    chunk("IHDR", header);
    if (withPixels) {
        const QByteArray raw(qsizetype(height) * (1 + (width + 7) / 8), '\0');
        uLongf size = compressBound(uLong(raw.size()));
        QByteArray compressed(qsizetype(size), '\0');
        compress2(reinterpret_cast<Bytef *>(compressed.data()), &size, reinterpret_cast<const Bytef *>(raw.constData()), uLong(raw.size()), 9);
        compressed.resize(qsizetype(size));
        chunk("IDAT", compressed);
    }
    chunk("IEND", {});
    return png;
}

class DecodeCapture : public ::testing::Test {
protected:
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = folder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    QString save(const QString &name, const QImage &image)
    {
        const QString path = folder.filePath(name);
        EXPECT_TRUE(image.save(path, "png"));
        return path;
    }
    void expectRefused(const QString &path, const QString &message)
    {
        try {
            ScreenRegionCapture::decodeCapture(path);
            ADD_FAILURE() << "decoded " << path.toStdString();
        } catch (const TellumoError &error) {
            EXPECT_EQ(error.domain(), QStringLiteral("Tellumo.Capture"));
            EXPECT_EQ(error.code(), 2);
            EXPECT_EQ(error.description(), message);
        }
    }
    QTemporaryDir folder;
};

const QString tooLarge = QStringLiteral("截图无法读取或超过 4000 万像素，请选择更小的区域。");

} // namespace

TEST_F(DecodeCapture, GivesEightBitSRGBWithPremultipliedAlpha)
{
    QImage pixel(1, 1, QImage::Format_ARGB32);
    pixel.fill(qRgba(200, 100, 50, 128));
    const QImage decoded = ScreenRegionCapture::decodeCapture(save(QStringLiteral("one.png"), pixel));
    EXPECT_EQ(decoded.size(), QSize(1, 1));
    EXPECT_EQ(decoded.format(), QImage::Format_RGBA8888_Premultiplied);
    EXPECT_EQ(decoded.colorSpace(), QColorSpace(QColorSpace::SRgb));
    EXPECT_NEAR(decoded.pixelColor(0, 0).red(), 200, 2);
    EXPECT_EQ(qRed(decoded.pixel(0, 0)), 100) << "stored premultiplied";
    EXPECT_EQ(qAlpha(decoded.pixel(0, 0)), 128);
}

TEST_F(DecodeCapture, DeepGreyAndForeignColourSpacesBecomeEightBitSRGB)
{
    QImage deep(30, 20, QImage::Format_RGBA64);
    deep.fill(QColor::fromRgba64(40000, 20000, 10000, 65535));
    QImage grey(30, 20, QImage::Format_Grayscale8);
    grey.fill(77);
    for (const QString &path : {save(QStringLiteral("deep.png"), deep), save(QStringLiteral("grey.png"), grey)}) {
        const QImage decoded = ScreenRegionCapture::decodeCapture(path);
        EXPECT_EQ(decoded.size(), QSize(30, 20));
        EXPECT_EQ(decoded.format(), QImage::Format_RGBA8888_Premultiplied);
    }
    EXPECT_EQ(qGreen(ScreenRegionCapture::decodeCapture(folder.filePath(QStringLiteral("grey.png"))).pixel(3, 3)), 77);

    QImage wide(4, 4, QImage::Format_RGB32);
    wide.fill(qRgb(40, 160, 90));
    wide.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    const QImage converted = ScreenRegionCapture::decodeCapture(save(QStringLiteral("p3.png"), wide));
    EXPECT_EQ(converted.colorSpace(), QColorSpace(QColorSpace::SRgb));
    EXPECT_NE(converted.pixel(0, 0), qRgb(40, 160, 90)) << "the pixels are converted, not relabelled";
}

TEST_F(DecodeCapture, FortyMillionPixelsIsTheLimit)
{
    const QImage limit = ScreenRegionCapture::decodeCapture(write(QStringLiteral("limit.png"), handMadePng(8000, 5000, true)));
    EXPECT_EQ(limit.size(), QSize(8000, 5000));
    // Refused from the header: this file has no pixels at all to decode.
    expectRefused(write(QStringLiteral("over.png"), handMadePng(8001, 5000, false)), tooLarge);
    expectRefused(write(QStringLiteral("huge.png"), handMadePng(100000, 100000, false)), tooLarge);
}

TEST_F(DecodeCapture, WhatIsNotAnImageIsRefused)
{
    expectRefused(write(QStringLiteral("text.png"), "not an image at all"), tooLarge);
    expectRefused(folder.filePath(QStringLiteral("missing.png")), tooLarge);
    expectRefused(write(QStringLiteral("empty.png"), handMadePng(0, 0, false)), tooLarge);
}

namespace {
struct FakePermission final : ScreenRecordingPermission {
    bool granted = false;
    int requests = 0;
    bool isGranted() const override { return granted; }
    void request() override { ++requests; }
};
} // namespace

TEST(ScreenRecordingPermission, TheHelpersAskTheInstalledPermission)
{
    auto fake = std::make_shared<FakePermission>();
    ScreenRegionCapture::setPermission(fake);
    EXPECT_FALSE(ScreenRegionCapture::permissionGranted());
    ScreenRegionCapture::requestPermission();
    EXPECT_EQ(fake->requests, 1);
    fake->granted = true;
    EXPECT_TRUE(ScreenRegionCapture::permissionGranted());

    const TellumoError error = ScreenRegionCapture::permissionError();
    EXPECT_EQ(error.domain(), QStringLiteral("Tellumo.Capture"));
    EXPECT_EQ(error.code(), 1);
    EXPECT_EQ(error.description(), QStringLiteral("请先在系统设置的“录屏与系统录音”中允许当前应用，再重新打开应用。"));
    EXPECT_STREQ(error.what(), error.description().toUtf8().constData());

    ScreenRegionCapture::setPermission({});
}

namespace {
// Region capture with stand-ins for the screenshot tool: shell scripts called as the real tool
// is (`TOOL --select --silent -- FILE`), so that the ways the tool can fail are reached without
// a display. The real tool's drag and Escape are in ScreenRegionCaptureX11Tests.
class RegionCaptureTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        permission->granted = true;
        ScreenRegionCapture::setPermission(permission);
    }
    void TearDown() override { ScreenRegionCapture::setPermission({}); }

    QString tool(const QString &name, const QByteArray &body)
    {
        const QString path = scripts.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + body + "\n");
        file.close();
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        return path;
    }
    // The capture folders left in the temporary folder.
    static QStringList leftovers()
    {
        return QDir(QDir::tempPath()).entryList({QStringLiteral("tellumo-capture-*")}, QDir::AllEntries | QDir::Hidden);
    }
    static int errorCode(ScreenRegionCapture &capture)
    {
        try {
            TestSupport::run(capture.capture());
        } catch (const TellumoError &error) {
            return error.code();
        }
        return 0;
    }

    std::shared_ptr<FakePermission> permission = std::make_shared<FakePermission>();
    QTemporaryDir scripts;
};
} // namespace

TEST_F(RegionCaptureTool, CancelledOrFailedRunsReturnNothingButPermissionComplaintsAndStartFailuresThrow)
{
    // Escape in the real tool: status 1, no file.
    ScreenRegionCapture cancelled(tool(QStringLiteral("escape"), "echo 'scrot: Key was pressed, aborting shot' >&2\nexit 1"));
    EXPECT_FALSE(TestSupport::run(cancelled.capture()));
    // Status 0 without a file is no picture either.
    ScreenRegionCapture empty(tool(QStringLiteral("empty"), "exit 0"));
    EXPECT_FALSE(TestSupport::run(empty.capture()));
    // A display the tool cannot open, or a permission it names in any case, asks for access.
    ScreenRegionCapture display(tool(QStringLiteral("display"), "echo \"scrot: Can't open X display. It *is* running, yeah? [:99]\" >&2\nexit 1"));
    EXPECT_EQ(errorCode(display), 1);
    ScreenRegionCapture denied(tool(QStringLiteral("denied"), "echo 'PERMISSION denied' >&2\nexit 1"));
    EXPECT_EQ(errorCode(denied), 1);
    // A file that is no picture is refused as the decoding refuses it.
    ScreenRegionCapture garbage(tool(QStringLiteral("garbage"), "echo nonsense > \"$4\""));
    EXPECT_EQ(errorCode(garbage), 2);
    // A tool that is not there is an error, not a cancelled selection.
    ScreenRegionCapture missing(scripts.filePath(QStringLiteral("absent")));
    try {
        TestSupport::run(missing.capture());
        ADD_FAILURE() << "a missing tool gave a result";
    } catch (const TellumoError &error) {
        EXPECT_EQ(error.code(), 2);
        EXPECT_TRUE(error.description().startsWith(QStringLiteral("截图工具无法启动"))) << error.description().toStdString();
    }
    // Without the permission the tool is never started.
    permission->granted = false;
    const QString marker = scripts.filePath(QStringLiteral("started"));
    ScreenRegionCapture refused(tool(QStringLiteral("refused"), "touch \"" + marker.toUtf8() + "\""));
    EXPECT_EQ(errorCode(refused), 1);
    EXPECT_FALSE(QFile::exists(marker));
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(RegionCaptureTool, ASecondCaptureIsRefusedAndCancellingTheTaskEndsTheTool)
{
    ScreenRegionCapture capture(tool(QStringLiteral("slow"), "exec sleep 30"));
    auto first = Platform::start(capture.capture());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return capture.isRunning() && leftovers().size() == 1; }));
    expectASecondCaptureRefused(capture);
    EXPECT_EQ(leftovers().size(), 1);
    first.cancel();
    ASSERT_TRUE(TestSupport::waitFor(first));
    EXPECT_TRUE(Platform::isCancellation(first.error()));
    EXPECT_FALSE(capture.isRunning());
    EXPECT_TRUE(leftovers().isEmpty());
}
