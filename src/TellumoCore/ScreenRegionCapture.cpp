#include "TellumoCore/ScreenRegionCapture.h"

#include "Platform/Async/Awaitables.h"
#include "Platform/Files/PrivateFiles.h"
#include "Platform/Image/ImageDecoding.h"

#include <QColorSpace>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QScopeGuard>
#include <QStringDecoder>
#include <QUuid>

namespace Tellumo {

// The tool while it runs; shared with the capture's task, which may outlive the capture object.
struct ScreenRegionCapture::Running {
    QPointer<QProcess> process;
};

namespace {
std::shared_ptr<ScreenRecordingPermission> &permissionSlot()
{
    static std::shared_ptr<ScreenRecordingPermission> slot;
    return slot;
}

TellumoError failure(const QString &key, QList<QVariant> arguments = {}, QString detail = {})
{
    return TellumoError(QString::fromLatin1(ScreenRegionCapture::errorDomain), 2, key, std::move(arguments), std::move(detail));
}

QString readableText(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    return decoder.hasError() ? QString() : text;
}

// What the tool says when it may not read the screen: the display refused it, or a permission.
bool complainsOfPermission(const QString &errors)
{
    return errors.contains(QLatin1String("permission"), Qt::CaseInsensitive)
        || errors.contains(QLatin1String("can't open x display"), Qt::CaseInsensitive);
}
} // namespace

void ScreenRegionCapture::setPermission(std::shared_ptr<ScreenRecordingPermission> permission)
{
    permissionSlot() = std::move(permission);
}

std::shared_ptr<ScreenRecordingPermission> ScreenRegionCapture::permission()
{
    auto &slot = permissionSlot();
    if (!slot)
        slot = std::make_shared<DisplayScreenRecordingPermission>();
    return slot;
}

bool ScreenRegionCapture::permissionGranted()
{
    return permission()->isGranted();
}

void ScreenRegionCapture::requestPermission()
{
    permission()->request();
}

TellumoError ScreenRegionCapture::permissionError()
{
    return TellumoError(QString::fromLatin1(errorDomain), 1, tellumoKey("请先在系统设置的“录屏与系统录音”中允许当前应用，再重新打开应用。"));
}

QImage ScreenRegionCapture::decodeCapture(const QString &path)
{
    Platform::ImageLimits limits;
    limits.maxPixels = maxDecodedPixels;
    limits.maxSide = int(maxDecodedPixels); // only the pixel count bounds a capture
    const Platform::DecodedImage decoded = Platform::decodeImageFile(path, limits);
    if (!decoded.ok())
        throw failure(tellumoKey("截图无法读取或超过 4000 万像素，请选择更小的区域。"));

    // Decoding converted the pixels of any other colour space to sRGB.
    QImage image = decoded.image;
    image.convertTo(QImage::Format_RGBA8888_Premultiplied);
    if (image.isNull() || image.size() != decoded.image.size())
        throw failure(tellumoKey("截图像素解码失败，请重试。"));
    image.setColorSpace(QColorSpace(QColorSpace::SRgb));
    return image;
}

ScreenRegionCapture::ScreenRegionCapture(QString tool) : m_tool(std::move(tool)), m_running(std::make_shared<Running>()) {}

ScreenRegionCapture::~ScreenRegionCapture()
{
    if (m_running->process)
        m_running->process->kill();
}

bool ScreenRegionCapture::isRunning() const
{
    return m_running->process != nullptr;
}

Platform::Task<std::optional<QImage>> ScreenRegionCapture::capture()
{
    co_await Platform::checkCancellation();
    if (isRunning())
        throw failure(tellumoKey("截图选区正在进行，请先完成或按 Esc 取消。"));
    if (!permissionGranted())
        throw permissionError();

    const QString folder = QDir(QDir::tempPath()).filePath(QStringLiteral("tellumo-capture-") + QUuid::createUuid().toString(QUuid::WithoutBraces));
    if (const std::optional<QString> error = Platform::ensurePrivateFolder(folder)) {
        QDir(folder).removeRecursively();
        throw failure(tellumoKey("无法创建截图的临时文件夹"), {}, *error);
    }
    const QString file = QDir(folder).filePath(QStringLiteral("region.png"));

    // From here on, whatever happens (an error, the task cancelled, the capture object gone):
    // the tool is let go and the folder removed.
    const std::shared_ptr<Running> running = m_running;
    const QString tool = m_tool; // `this` may be gone once the tool has ended
    auto *process = new QProcess();
    running->process = process;
    const auto cleanup = qScopeGuard([running, process, folder] {
        if (running->process == process)
            running->process = nullptr;
        process->disconnect();
        if (process->state() != QProcess::NotRunning)
            process->kill();
        process->deleteLater();
        QDir(folder).removeRecursively();
    });

    process->setProgram(tool);
    process->setArguments({QStringLiteral("--select"), QStringLiteral("--silent"), QStringLiteral("--"), file});
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->start();
    // The state moves on from the event loop (Starting, Running, NotRunning); a tool that cannot
    // be started ends there too.
    while (process->state() != QProcess::NotRunning) {
        auto changed = Platform::signal(process, &QProcess::stateChanged, [process] { process->kill(); });
        co_await changed;
    }
    if (process->error() == QProcess::FailedToStart)
        throw failure(tellumoKey("截图工具无法启动（%@）"), {tool}, process->errorString());
    co_await Platform::checkCancellation();

    const QString errors = readableText(process->readAllStandardError());
    const bool succeeded = process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
    if (succeeded && QFileInfo(file).isFile())
        co_return decodeCapture(file);
    if (complainsOfPermission(errors))
        throw permissionError();
    co_return std::nullopt; // the user cancelled the selection
}

} // namespace Tellumo
