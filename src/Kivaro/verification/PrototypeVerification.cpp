#include "Kivaro/verification/PrototypeVerification.h"

#include "Kivaro/controls/KivaroWindow.h"

#include "Kivaro/verification/RunRecords.h"
#include "Kivaro/verification/support/EvidenceFiles.h"
#include "Kivaro/verification/support/VerificationChecks.h"
#include "KivaroCore/ShotError.h"
#include "NativeAppAppearance/NativeAppearanceAudit.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Async/Cancellation.h"
#include "Platform/Files/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLayout>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <unistd.h>

namespace Kivaro::PrototypeVerification {

void require(bool condition, const QString &message)
{
    VerificationSupport::check(condition, QString::fromUtf8(VerificationSupport::assertionFailed) + message);
}

void snapshot(QWidget *view, const QString &path)
{
    QWidget *window = view ? view->window() : nullptr;
    if (!window)
        throw ShotError::message(QStringLiteral("原生窗口不存在"));
    if (!window->isVisible() || !window->windowHandle() || !window->windowHandle()->isExposed())
        throw ShotError::message(QStringLiteral("找不到当前应用窗口"));
    if (QLayout *layout = view->layout())
        layout->activate();
    const QImage image = NativeAppAppearance::NativeAppearanceAudit::render(window);
    const QByteArray png = VerificationSupport::encodePNG(image);
    if (png.isEmpty())
        throw ShotError::message(QStringLiteral("窗口截图编码失败"));
    VerificationSupport::writeEvidence(path, png);
    std::fprintf(stdout, "SCREENSHOT: %s\n", QFile::encodeName(path).constData());
    std::fflush(stdout);
    const QPoint centre(image.width() / 2, image.height() / 2);
    if (!(image.rect().contains(centre) && qAlpha(image.pixel(centre)) / 255.0 > 0.9) || !drawsSomething(view))
        throw ShotError::message(QStringLiteral("断言失败：native-canvas-visible"));
}

bool drawsSomething(QWidget *view)
{
    // The content alone: a window's background (Qt's, or the one a KivaroWindow paints behind
    // its content view) is opaque whatever the content drew.
    QWidget *content = view;
    if (auto *window = qobject_cast<KivaroWindow *>(view); window && window->contentView())
        content = window->contentView();
    if (!content || content->size().isEmpty())
        return false;
    QImage image(content->size() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::transparent);
    content->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(line[x]) > 229) // above 0.9
                return true;
    }
    return false;
}

Platform::Task<void> snapshotAfterEvents(QWidget *view, QString path)
{
    co_await Platform::yieldToEventLoop();
    snapshot(view, path);
}

QString describe(std::exception_ptr error)
{
    try {
        if (error)
            std::rethrow_exception(error);
        return QStringLiteral("unknown error");
    } catch (const ShotError &shot) {
        return shot.text();
    } catch (const Platform::CancellationError &) {
        return QStringLiteral("the run was cancelled");
    } catch (const std::exception &other) {
        return QString::fromUtf8(other.what());
    } catch (...) {
        return QStringLiteral("unknown error");
    }
}

StandaloneRun::StandaloneRun(QString prefix, const QStringList &records, QString result)
    : m_prefix(std::move(prefix)), m_result(std::move(result))
{
    if (const auto folder = evidenceFolder())
        m_folder = *folder;
    if (m_folder.isEmpty())
        return;
    // An earlier run's records go first: a failure of this one must never leave a pass behind.
    QStringList names = records;
    if (!names.contains(m_result))
        names.append(m_result);
    RunRecords::remove(m_folder, names);
}

QString StandaloneRun::path(const QString &name) const
{
    return QDir(m_folder).filePath(name);
}

const QString &StandaloneRun::requireFolder() const
{
    if (m_folder.isEmpty())
        throw ShotError::message(QStringLiteral("no evidence folder"));
    return m_folder;
}

void StandaloneRun::write(const QString &name, const QByteArray &bytes) const
{
    requireFolder();
    VerificationSupport::writeEvidence(path(name), bytes);
}

void StandaloneRun::pass(const QByteArray &record) const
{
    try {
        write(m_result, record);
    } catch (...) {
        fail(std::current_exception());
    }
    end(0);
}

void StandaloneRun::fail(std::exception_ptr error) const
{
    fail(describe(error));
}

void StandaloneRun::fail(const QString &description) const
{
    const QJsonObject record{{QStringLiteral("status"), QStringLiteral("failed")}, {QStringLiteral("error"), description}};
    fail(description, QJsonDocument(record).toJson(QJsonDocument::Compact));
}

void StandaloneRun::fail(const QString &description, const QByteArray &record) const
{
    if (!m_folder.isEmpty())
        Platform::writePrivateFile(path(m_result), record);
    const QByteArray line = (m_prefix + description + u'\n').toUtf8();
    std::fflush(stdout);
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    end(1);
}

void StandaloneRun::end(int status)
{
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(status);
}

} // namespace Kivaro::PrototypeVerification
