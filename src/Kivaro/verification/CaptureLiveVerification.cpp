#include "Kivaro/verification/CaptureLiveVerification.h"

#include "Kivaro/document/SampleImage.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/EditorController.h"
#include "Kivaro/editor/EditorShell.h"
#include "Kivaro/shell/capture/RegionCapture.h"
#include "Kivaro/verification/CaptureVerificationSupport.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "Kivaro/verification/RunRecords.h"
#include "Kivaro/verification/support/EvidenceFiles.h"
#include "Kivaro/verification/support/VerificationChecks.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Async/Cancellation.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QVBoxLayout>

#include <chrono>
#include <cmath>
#include <memory>

namespace Kivaro::CaptureLiveVerification {

using namespace std::chrono_literals;
using namespace CaptureVerificationSupport;

const QStringList &checkNames()
{
    static const QStringList names{
        QStringLiteral("real window capture"),
        QStringLiteral("real region crop"),
        QStringLiteral("Option both directions"),
        QStringLiteral("Escape in both capture modes"),
        QStringLiteral("Escape with child focus"),
        QStringLiteral("footer button cancels both modes"),
    };
    return names;
}

QByteArray passRecord(QSize windowPixels, QSize regionPixels)
{
    return orderedJson({{QStringLiteral("status"), QStringLiteral("passed")},
                        {QStringLiteral("environment"), QStringLiteral("native-linux-screen-capture")},
                        {QStringLiteral("checks"), QJsonArray::fromStringList(checkNames())},
                        {QStringLiteral("windowPixels"), QJsonArray{windowPixels.width(), windowPixels.height()}},
                        {QStringLiteral("regionPixels"), QJsonArray{regionPixels.width(), regionPixels.height()}},
                        {QStringLiteral("physicalMouseVerified"), false}},
                       true);
}

namespace {

using VerificationSupport::failWith;

QByteArray encodePNG(const QImage &image)
{
    const QByteArray png = VerificationSupport::encodePNG(image);
    if (png.isEmpty())
        failWith("截图无法编码");
    return png;
}

// One capture of its own: started in `mode` without Option, chosen at `at` (global model
// points) with the Option state `option` and an optional drag to `end`.
Platform::Task<QImage> choose(QPointF at, CaptureSelectionMode mode, bool option, std::optional<QPointF> end)
{
    auto capture = std::make_unique<RegionCapture>();
    const auto task = Platform::start(capture->capture(mode, false));
    bool chosen = false;
    for (int poll = 0; poll < 100 && !chosen && !task.isFinished(); ++poll) {
        co_await Platform::sleep(50ms);
        chosen = capture->verifyChoose(at, option, end);
    }
    if (!chosen)
        task.cancel();
    std::optional<QImage> image;
    try {
        image = co_await task;
    } catch (const Platform::CancellationError &) {
        image.reset(); // cancelled after nothing was chosen: reported below
    }
    if (!image)
        failWith("截图被取消或目标未选中");
    const std::optional<CapturePlacement> &placement = capture->lastPlacement();
    if (!placement || !placement->screen.contains(at) || !placement->frame.contains(at))
        failWith("截图原地标注坐标未保留");
    if (end
        && (placement->frame.width() != std::abs(end->x() - at.x()) || placement->frame.height() != std::abs(end->y() - at.y())))
        failWith("截图选区原地标注尺寸不一致");
    co_return *image;
}

// One cancel variant: Escape, Escape with a focused text field, or the footer's button (after
// a picture of the footer).
Platform::Task<void> verifyCancel(CaptureSelectionMode mode, bool button, bool child, const PrototypeVerification::StandaloneRun &run)
{
    auto capture = std::make_unique<RegionCapture>();
    const auto task = Platform::start(capture->capture(mode, false));
    bool shown = false;
    for (int poll = 0; poll < 100 && !shown && !task.isFinished(); ++poll) {
        co_await Platform::sleep(50ms);
        shown = capture->hasPendingSelection();
    }
    bool cancelled = false;
    std::exception_ptr hookError;
    if (shown) {
        try {
            if (button) {
                const QString name = mode == CaptureSelectionMode::window ? QStringLiteral("cancel-footer-window.png")
                                                                          : QStringLiteral("cancel-footer-region.png");
                co_await capture->verifyFooter(run.path(name));
            }
            cancelled = capture->verifyCancel(button, child);
        } catch (...) {
            hookError = std::current_exception();
        }
    }
    if (!cancelled)
        task.cancel();
    std::optional<QImage> image;
    try {
        image = co_await task;
    } catch (const Platform::CancellationError &) {
        image.reset(); // the hook did not finish the overlay: reported below
    }
    if (hookError)
        std::rethrow_exception(hookError);
    if (!cancelled || image || capture->isRunning())
        failWith("Capture cancellation did not close overlays");
}

} // namespace

Platform::Task<void> run(EditorController *editor)
{
    const PrototypeVerification::StandaloneRun standalone(
        QStringLiteral("Live capture verification failed: "), RunRecords::names(RunRecords::Run::captureLive),
        QStringLiteral("capture-live.json"));
    WindowList windows;
    QByteArray record;
    try {
        standalone.requireFolder();
        if (!editor || !editor->document() || !editor->view())
            failWith("The application has no editor to drive");
        // Nothing of the application's own stands over the fixture: the settings window, shown
        // at launch, may reach the screen after the fixture does.
        if (QWidget *editorWindow = editor->view()->window())
            editorWindow->hide();
        if (ShortcutSettingsController *settings = editor->shell() ? editor->shell()->shortcutSettings() : nullptr)
            if (QWidget *settingsWindow = settings->window())
                settingsWindow->hide();

        // The fixture: a plain window showing the sample picture at 960 x 600 points.
        auto *fixture = windows.add(new QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint));
        fixture->setWindowTitle(QStringLiteral("Kivaro 截图验证目标"));
        auto *layout = new QVBoxLayout(fixture);
        layout->setContentsMargins(0, 0, 0, 0);
        auto *picture = new QLabel(fixture);
        picture->setPixmap(QPixmap::fromImage(SampleImage::make().scaled(960, 600, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
        picture->setAlignment(Qt::AlignCenter);
        layout->addWidget(picture);
        fixture->setFixedSize(960, 600);
        if (QScreen *screen = QGuiApplication::primaryScreen())
            fixture->move(screen->availableGeometry().center() - QPoint(480, 300));
        if (!co_await showAtFront(fixture))
            failWith("The capture target window was never shown");
        co_await Platform::sleep(350ms);

        const QRectF frame = modelFrame(fixture);
        const QImage windowImage = co_await choose(frame.center(), CaptureSelectionMode::window, false, std::nullopt);
        standalone.write(QStringLiteral("captured-window.png"), encodePNG(windowImage));

        const QPointF start = frame.topLeft() + QPointF(100, 100); // model points: the frame's bottom-left corner
        const QImage region = co_await choose(start, CaptureSelectionMode::window, true, start + QPointF(420, 260));
        const double scale = fixture->devicePixelRatioF();
        if (region.width() != int(scale * 420) || region.height() != int(scale * 260))
            failWith("选区截图像素尺寸错误");
        standalone.write(QStringLiteral("captured-region.png"), encodePNG(region));

        const QImage picked = co_await choose(frame.center(), CaptureSelectionMode::region, true, std::nullopt);
        if (picked.size() != windowImage.size())
            failWith("Option 切换窗口截图尺寸错误");

        editor->document()->load(windowImage, true);
        for (const CaptureSelectionMode mode : {CaptureSelectionMode::window, CaptureSelectionMode::region}) {
            co_await verifyCancel(mode, false, false, standalone);
            co_await verifyCancel(mode, false, true, standalone);
            co_await verifyCancel(mode, true, false, standalone);
        }

        windows.closeAll();
        editor->showEditor();
        co_await Platform::sleep(350ms);
        PrototypeVerification::snapshot(editor->view(), standalone.path(QStringLiteral("live-captured-editor.png")));
        record = passRecord(windowImage.size(), region.size());
    } catch (...) {
        windows.closeAll();
        standalone.fail(std::current_exception());
    }
    standalone.pass(record);
}

} // namespace Kivaro::CaptureLiveVerification
