#include "Kivaro/verification/InlineCaptureVerification.h"

#include "Kivaro/document/ProjectArchive.h"
#include "Kivaro/document/SampleImage.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/editor/AnnotationFloatingPanel.h"
#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/EditorController.h"
#include "Kivaro/editor/EditorDockView.h"
#include "Kivaro/editor/HoldOverlay.h"
#include "Kivaro/editor/InlineCaptureEditor.h"
#include "Kivaro/editor/TransparencyGridView.h"
#include "Kivaro/recent/RecentShots.h"
#include "Kivaro/shell/AppDelegate.h"
#include "Kivaro/shell/ShortcutSettingsController.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "Kivaro/verification/RunRecords.h"
#include "Kivaro/verification/support/VerificationChecks.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Files/RegularFile.h"
#include "Platform/Markup/DocumentLimits.h"
#include "Platform/Markup/MarkupCanvas.h"
#include "Platform/Markup/UndoManager.h"
#include "Platform/Pasteboard/Pasteboard.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeySequence>
#include <QShortcut>
#include <QWindow>

#include <chrono>

namespace Kivaro::InlineCaptureVerification {

using namespace std::chrono_literals;

const QStringList &checkTexts()
{
    static const QStringList texts{
        QStringLiteral("same capture position"),       QStringLiteral("reused canvas and tools"),
        QStringLiteral("no standalone editor"),        QStringLiteral("exact image scale"),
        QStringLiteral("annotation and mosaic"),       QStringLiteral("undo and redo"),
        QStringLiteral("floating text editor host"),   QStringLiteral("image-only export"),
        QStringLiteral("exit restores host"),          QStringLiteral("cancel active voice gesture"),
        QStringLiteral("history saved"),               QStringLiteral("completion preferences"),
    };
    return texts;
}

bool newestHolds(const RecentShots &store, qsizetype links, qsizetype masks)
{
    const QList<RecentShot> entries = store.entries();
    if (entries.isEmpty())
        return false;
    const Platform::FileBytes project =
        Platform::readRegularFile(entries.first().projectURL, Platform::DocumentLimits::kMaxFileBytes, Platform::FollowLinks::No);
    if (!project.ok())
        return false;
    try {
        const ShotState state = ProjectArchive::decode(project.bytes);
        return state.links.size() == links && state.masks.size() == masks;
    } catch (...) {
        return false; // an entry that does not decode holds nothing
    }
}

namespace {

using VerificationSupport::check;

// The frame of `view` in its parent's points with the origin at the bottom left.
QRectF frameYUp(const QWidget *view)
{
    const QRect frame = view->geometry();
    const int height = view->parentWidget() ? view->parentWidget()->height() : 0;
    return QRectF(frame.x(), height - frame.y() - frame.height(), frame.width(), frame.height());
}

// What Escape does in the inline window: its Escape binding, activated.
bool sendEscape(QWidget *window)
{
    for (QShortcut *shortcut : window->findChildren<QShortcut *>()) {
        if (shortcut->key() == QKeySequence(Qt::Key_Escape) && shortcut->isEnabled()) {
            Q_EMIT shortcut->activated();
            return true;
        }
    }
    return false;
}

} // namespace

Platform::Task<void> run(EditorController *editor)
{
    const PrototypeVerification::StandaloneRun standalone(
        QStringLiteral("Inline capture verification failed: "), RunRecords::names(RunRecords::Run::inlineCapture));
    try {
        standalone.requireFolder();
        if (!editor || !editor->document() || !editor->inlineEditor() || !editor->recent())
            throw ShotError::message(QStringLiteral("Inline capture: the application has no editor to drive"));
        ShotDocument *document = editor->document();
        InlineCaptureEditor *inlineEditor = editor->inlineEditor();
        const std::shared_ptr<Platform::PrivatePasteboard> pasteboard = Platform::Pasteboard::withUniqueName();
        struct Release {
            std::shared_ptr<Platform::PrivatePasteboard> board;
            ~Release() { board->releaseGlobally(); }
        } release{pasteboard};

        QWidget *editorWindow = editor->view() ? editor->view()->window() : nullptr;
        if (!editorWindow)
            throw ShotError::message(QStringLiteral("Inline capture: the editor view has no window"));
        const QImage full = SampleImage::make();
        const QImage captured = full.copy(160, 100, 640, 360);
        if (captured.size() != QSize(640, 360))
            throw ShotError::message(QStringLiteral("Inline capture: the sample picture cannot be cropped to the capture"));
        const CapturePlacement placement{QRectF(0, 0, 960, 600), QRectF(160, 140, 640, 360), full};

        editorWindow->hide();
        if (AppDelegate *delegate = AppDelegate::shared(); delegate && delegate->shortcutSettings())
            if (QWidget *settings = delegate->shortcutSettings()->window())
                settings->hide();
        document->load(captured, false);
        editor->recent()->beginSession();
        if (!pasteboard->setString(QStringLiteral("unchanged")))
            throw ShotError::message(QStringLiteral("Inline capture: the private pasteboard refused its fixture"));
        const long long changeCount = pasteboard->changeCount();

        CaptureCompletionPreferences annotate;
        annotate.opensEditor = true;
        annotate.copiesImage = false;
        co_await editor->finishImageCapture(annotate, pasteboard, placement);
        co_await Platform::sleep(450ms);

        QWidget *canvasHost = editor->canvasHost();
        check(inlineEditor->window() && !editorWindow->isVisible(), "Inline capture: inline without standalone editor");
        check(frameYUp(canvasHost) == QRectF(160, 140, 640, 360), "Inline capture: canvas remains at capture position");
        check(canvasHost->window() == inlineEditor->window(), "Inline capture: existing canvas is rehosted");
        check(editor->dock() && editor->dock()->window() == inlineEditor->window(), "Inline capture: existing tools are rehosted");
        check(pasteboard->changeCount() == changeCount, "Inline capture: disabled clipboard copy is preserved");
        Platform::MarkupCanvas *canvas = document->canvas();
        check(canvas != nullptr, "Inline capture: the document has no canvas");
        const QRectF visible = canvas->contentVisibleFrame();
        check(qAbs(visible.width() - 640) < 1.0 && qAbs(visible.height() - 360) < 1.0,
              "Inline capture: exact canvas scale without editor padding");

        PrototypeVerification::snapshot(canvasHost, standalone.path(QStringLiteral("inline-before.png")));
        document->addAnnotation(QStringLiteral("在这里直接反馈"), QPointF(240, 140));
        co_await document->addMask(QRectF(420, 180, 100, 70));
        Platform::UndoManager *undo = canvas->undoManager();
        check(undo != nullptr, "Inline capture: the canvas has no undo manager");
        undo->undo();
        co_await Platform::sleep(150ms);
        check(document->masks().isEmpty() && document->links().size() == 1, "Inline capture: inline undo");
        undo->redo();
        co_await Platform::sleep(150ms);
        check(document->masks().size() == 1, "Inline capture: inline redo");

        inlineEditor->refresh();
        co_await Platform::sleep(350ms);
        const QByteArray exported = co_await document->png(std::nullopt, false);
        const QImage bitmap = QImage::fromData(exported, "PNG");
        check(!bitmap.isNull(), "Inline capture: the export is not a PNG");
        check(bitmap.size() == QSize(640, 360), "Inline capture: export contains only capture");
        check(document->links().size() == 1 && document->masks().size() == 1, "Inline capture: shared annotation and mosaic work");

        standalone.write(QStringLiteral("inline-export.png"), exported);
        PrototypeVerification::snapshot(canvasHost, standalone.path(QStringLiteral("inline-annotated.png")));
        editor->showTextEditor(QPointF(300, 200), std::nullopt);
        AnnotationFloatingPanel *panel = editor->annotationPanel();
        QWidget *panelWindow = panel ? panel->panel() : nullptr;
        check(panelWindow && panelWindow->isVisible(), "Inline capture: floating text editor opens");
        const QWindow *parentHandle = panelWindow->windowHandle() ? panelWindow->windowHandle()->transientParent() : nullptr;
        check(panel->host() == inlineEditor->window() && parentHandle && parentHandle == inlineEditor->window()->windowHandle(),
              "Inline capture: floating text belongs to inline host");

        co_await Platform::sleep(200ms);
        PrototypeVerification::snapshot(panelWindow, standalone.path(QStringLiteral("inline-text-panel.png")));
        panel->dismiss();
        // A voice gesture in progress: the press at image point (200, 100), then busy.
        const QRectF shown = canvas->contentVisibleFrame();
        const QSizeF overlay = editor->overlay()->size();
        editor->begin(QPointF((200 - shown.x()) / shown.width() * overlay.width(), (100 - shown.y()) / shown.height() * overlay.height()));
        check(editor->anchor().has_value(), "Inline capture: the voice gesture could not be started");
        // Busy as voice work makes it: Escape ends only that kind of busy, never an export's.
        editor->setVoiceBusy(true);
        if (QWidget *window = inlineEditor->window())
            check(sendEscape(window), "Inline capture: the inline window has no Escape binding");
        for (int poll = 0; poll < 100 && inlineEditor->window(); ++poll)
            co_await Platform::sleep(30ms);
        check(!inlineEditor->window() && canvasHost->parentWidget() == editor->view(), "Inline capture: exit restores shared canvas");
        check(!editorWindow->isVisible(), "Inline capture: exit does not open standalone window");
        check(!editor->anchor() && !editor->busy(), "Inline capture: exit cancels active voice gesture");
        // What the editor wrote on its own: a write it still has scheduled is awaited, never made
        // here.
        for (int poll = 0; poll < 100 && editor->recent()->pending() && !editor->recent()->pending().isFinished(); ++poll)
            co_await Platform::sleep(30ms);
        check(newestHolds(*editor->recent(), 1, 1), "Inline capture: annotation saved to history");

        co_await editor->finishImageCapture(CaptureCompletionPreferences{}, pasteboard, placement);
        check(!inlineEditor->window() && pasteboard->data(Platform::PasteboardType::png) == exported,
              "Inline capture: default copy without auto annotation");

        const QJsonObject summary{
            {QStringLiteral("status"), QStringLiteral("passed")},
            {QStringLiteral("environment"), QStringLiteral("native-linux")},
            {QStringLiteral("checks"), QJsonArray::fromStringList(checkTexts())},
            {QStringLiteral("background"), QStringLiteral("synthetic fixture")},
            {QStringLiteral("physicalMouseVerified"), false},
        };
        standalone.write(QStringLiteral("summary.json"), QJsonDocument(summary).toJson(QJsonDocument::Indented));
    } catch (...) {
        if (editor && editor->inlineEditor())
            editor->inlineEditor()->dismiss();
        standalone.fail(std::current_exception());
    }
    PrototypeVerification::StandaloneRun::end(0);
}

} // namespace Kivaro::InlineCaptureVerification
