#include "Kivaro/verification/BasicWorkflowVerification.h"

#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/document/SampleImage.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/document/ShotState.h"
#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/EditorController.h"
#include "Kivaro/recent/RecentShots.h"
#include "Kivaro/shell/AppDelegate.h"
#include "Kivaro/shell/capture/RegionCapture.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "Kivaro/verification/RunRecords.h"
#include "Kivaro/verification/support/VerificationChecks.h"
#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "NativeAppAppearance/Appearance.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Async/Cancellation.h"
#include "Platform/Files/PrivateFiles.h"
#include "Platform/Markup/Markup.h"
#include "Platform/Markup/MarkupCanvas.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <memory>

namespace Kivaro::BasicWorkflowVerification {

using namespace std::chrono_literals;
using Platform::MarkupID;
using Platform::ShapeElement;

const QStringList &checkTexts()
{
    static const QStringList texts{
        QStringLiteral("设置入口错误可见，不打开空白编辑器"),
        QStringLiteral("保存、复制、分享准备时禁止并发编辑，完成后恢复"),
        QStringLiteral("损坏工程打开失败保留上一张截图"),
        QStringLiteral("工程像素上限与 PNG 导出一致，失败不替换旧图"),
        QStringLiteral("拖动马赛克到画布边缘，几何和像素同时裁切"),
        QStringLiteral("真实截图覆盖层 Esc 取消、释放窗口、原文档不变"),
        QStringLiteral("截图准备阶段取消，任务不挂起"),
        QStringLiteral("历史最多20条，恢复编辑不新增重复记录，保留无关文件"),
    };
    return texts;
}

namespace {

using VerificationSupport::check;
using VerificationSupport::failWith;

bool opens(ShotDocument *document, const QString &path)
{
    try {
        document->open(path);
        return true;
    } catch (...) {
        return false; // the refusal is what this phase expects
    }
}

QImage fixtureImage()
{
    QImage image(16, 16, QImage::Format_RGBA8888_Premultiplied);
    image.fill(NativeAppAppearance::resolve(NativeAppAppearance::DynamicColor::systemBlue, NativeAppAppearance::Appearance::light));
    return image;
}

void hide(QWidget *window)
{
    if (window)
        window->hide();
}

} // namespace

Platform::Task<void> run(EditorController *editor)
{
    const PrototypeVerification::StandaloneRun standalone(
        QStringLiteral("Basic workflow verification failed: "), RunRecords::names(RunRecords::Run::basicWorkflow));
    QStringList checks;
    try {
        standalone.requireFolder();
        AppDelegate *delegate = AppDelegate::shared();
        if (!delegate || !editor || !editor->document())
            failWith("The application has no editor to drive");
        ShotDocument *document = editor->document();

        // 1. An error with only the settings window open stays in that window.
        editor->show(std::make_exception_ptr(
            ShotError::message(kivaroCopy(QStringLiteral("无法读取图片。图片每边最多 16000 像素，总像素最多 4000 万。")))));
        QWidget *settings = delegate->shortcutSettings() ? delegate->shortcutSettings()->window() : nullptr;
        check(settings && settings->isVisible() && !(delegate->window() && delegate->window()->isVisible()),
              "Errors from settings must remain visible without an empty editor");
        co_await Platform::sleep(400ms);
        PrototypeVerification::snapshot(settings, standalone.path(QStringLiteral("settings-error.png")));
        checks.append(checkTexts().at(0));

        // 2. No canvas edits while the editor is busy.
        document->load(SampleImage::make(), true);
        editor->showEditor();
        editor->setActiveDrawingTool(std::nullopt);
        if (!editor->mode())
            failWith("The editor has no mode control");
        editor->mode()->setSelectedSegment(EditorController::selectSegment);
        editor->updateMode();
        if (!document->canvas())
            failWith("The document has no canvas");
        editor->setBusy(true);
        check(!document->canvas()->isEditable() && !editor->mode()->isEnabled(), "Busy operations still allow native editing");
        editor->setBusy(false);
        check(document->canvas()->isEditable(), "Editing did not resume");
        checks.append(checkTexts().at(1));

        // 3. A broken project is refused and the shot stays.
        const ShotState reference = document->state();
        standalone.write(QStringLiteral("broken.kivaro"), QByteArrayLiteral("not a project"));
        check(!opens(document, standalone.path(QStringLiteral("broken.kivaro"))) && document->state() == reference,
              "Invalid project was accepted or discarded the previous document");
        checks.append(checkTexts().at(2));

        // 4. A project over the pixel limit is refused the same way.
        standalone.write(QStringLiteral("oversized.kivaro"), Platform::Markup(QRectF(0, 0, 10000, 5000)).dataRepresentation());
        check(!opens(document, standalone.path(QStringLiteral("oversized.kivaro"))) && document->state() == reference,
              "Oversized project was accepted");
        checks.append(checkTexts().at(3));

        // 5. A mask dragged past the canvas edge is clipped to it.
        co_await document->addMask(QRectF(100, 100, 80, 80));
        ShotState edited = document->state();
        if (edited.masks.isEmpty())
            failWith("The privacy mask was not added");
        const MarkupID<ShapeElement> maskID = edited.masks.first();
        const ShapeElement *added = edited.markup.subelements().shape(maskID);
        if (!added)
            failWith("The privacy mask has no shape");
        ShapeElement moved = *added;
        const QRectF bounds = edited.markup.bounds();
        moved.frame = QRectF(bounds.right() - 30, bounds.bottom() - 40, 100, 100);
        edited.markup.subelements().updateOrAppend(moved);
        document->applyGesture(edited);
        document->reconcile();
        const Platform::Markup shown = document->canvas()->markup().value_or(Platform::Markup());
        const ShapeElement *clipped = shown.subelements().shape(maskID);
        check(clipped && clipped->frame.width() == 30 && clipped->frame.height() == 40, "Edge mosaic geometry was stretched");
        co_await Platform::sleep(350ms);
        PrototypeVerification::snapshot(editor->view(), standalone.path(QStringLiteral("edge-mosaic.png")));
        checks.append(checkTexts().at(4));
        co_await Platform::sleep(250ms);

        // 6. Escape ends a real capture overlay and changes nothing.
        const ShotState escapeReference = document->state();
        const QByteArray referencePNG = co_await document->png(std::nullopt, false);
        hide(delegate->window());
        hide(settings);
        auto escapeCapture = std::make_unique<RegionCapture>();
        const auto escapeTask = Platform::start(escapeCapture->capture(CaptureSelectionMode::region, false));
        bool cancelled = false;
        for (int poll = 0; poll < 100 && !cancelled; ++poll) {
            co_await Platform::sleep(50ms);
            cancelled = escapeCapture->verifyCancel(false, false);
        }
        if (!cancelled)
            escapeTask.cancel();
        const std::optional<QImage> escaped = co_await escapeTask;
        check(cancelled && !escaped && !escapeCapture->isRunning() && document->masks() == escapeReference.masks
                  && document->links() == escapeReference.links,
              "Escape cancellation changed the document or left overlays running");
        const QByteArray afterPNG = co_await document->png(std::nullopt, false);
        check(afterPNG == referencePNG, "Escape cancellation changed the document or left overlays running");
        checks.append(checkTexts().at(5));

        // 7. A capture cancelled before it starts ends at once.
        auto earlyCapture = std::make_unique<RegionCapture>();
        const auto earlyTask = Platform::start(earlyCapture->capture(CaptureSelectionMode::window, false));
        earlyTask.cancel();
        bool endedByCancellation = false;
        try {
            co_await earlyTask;
        } catch (const Platform::CancellationError &) {
            endedByCancellation = true;
        }
        check(endedByCancellation && !earlyCapture->isRunning(), "Early capture cancellation left a running capture");
        checks.append(checkTexts().at(6));

        // 8. The history keeps 20 entries, resuming adds none, other files stay.
        const QString retention = standalone.path(QStringLiteral("retention"));
        if (const auto error = Platform::ensurePrivateFolder(retention))
            throw ShotError::message(*error);
        standalone.write(QStringLiteral("retention/keep.txt"), QByteArrayLiteral("fixture"));
        {
            RecentShots store(retention);
            ShotDocument shot;
            shot.load(fixtureImage(), false);
            for (int i = 0; i < 23; ++i) {
                store.beginSession();
                co_await store.flush(&shot);
            }
            const QList<RecentShot> entries = store.entries();
            check(entries.size() == 20 && QFileInfo::exists(QDir(retention).filePath(QStringLiteral("keep.txt"))),
                  "History retention did not preserve its boundary");
            store.resumeSession(entries.first().id);
            co_await store.flush(&shot);
            check(store.entries().size() == 20, "Editing history created a duplicate entry");
        }
        checks.append(checkTexts().at(7));

        editor->showEditor();
    } catch (...) {
        standalone.fail(std::current_exception());
    }
    const QJsonObject summary{
        {QStringLiteral("status"), QStringLiteral("passed")},
        {QStringLiteral("environment"), QStringLiteral("native-linux")},
        {QStringLiteral("checks"), QJsonArray::fromStringList(checks)},
        {QStringLiteral("limitations"), QJsonArray{QString::fromUtf8(limitation)}},
    };
    standalone.pass(QJsonDocument(summary).toJson(QJsonDocument::Indented));
}

} // namespace Kivaro::BasicWorkflowVerification
