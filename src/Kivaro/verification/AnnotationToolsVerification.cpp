#include "Kivaro/verification/AnnotationToolsVerification.h"

#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/document/ProjectArchive.h"
#include "Kivaro/document/SampleImage.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/editor/AnnotationFloatingPanel.h"
#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/EditorController.h"
#include "Kivaro/editor/HoldOverlay.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "Kivaro/verification/RunRecords.h"
#include "Kivaro/verification/support/EvidenceFiles.h"
#include "Kivaro/verification/support/SavedAppearance.h"
#include "Kivaro/verification/support/VerificationChecks.h"
#include "KivaroCore/ShotError.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Markup/MarkupCanvas.h"
#include "Platform/Markup/UndoManager.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QWindow>

#include <chrono>

namespace Kivaro::AnnotationToolsVerification {

using namespace std::chrono_literals;
using NativeAppAppearance::AppearanceManager;
using Platform::ShapeElement;

namespace detail {

QString RunContext::path(const QString &name) const
{
    return QDir(output).filePath(name);
}

void chooseTool(EditorController *editor, std::optional<DrawingTool> tool)
{
    editor->cancelVoice();
    editor->setActiveDrawingTool(tool);
    editor->mode()->setSelectedSegment(EditorController::selectSegment);
    editor->updateMode();
    editor->showFloatingTools();
}

namespace {

qint64 uptime()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}

} // namespace

void drag(EditorController *editor, QPointF from, QPointF to)
{
    KivaroWindow *window = editor->window();
    HoldOverlay *overlay = editor->overlay();
    Platform::MarkupCanvas *canvas = editor->document() ? editor->document()->canvas() : nullptr;
    QWindow *handle = window ? window->windowHandle() : nullptr;
    if (!window || !window->isVisible() || !handle || !overlay || !canvas)
        throw ShotError::message(QStringLiteral("The editor window is not shown: no window to deliver the gesture to"));
    const QRectF visible = canvas->contentVisibleFrame();
    if (visible.isEmpty() || overlay->size().isEmpty())
        throw ShotError::message(QStringLiteral("The canvas shows nothing: no point to deliver the gesture to"));
    const auto windowPoint = [&](QPointF p) {
        const QPointF local((p.x() - visible.x()) / visible.width() * overlay->width(),
                            (p.y() - visible.y()) / visible.height() * overlay->height());
        return QPointF(overlay->mapTo(window, local));
    };
    struct Step {
        QEvent::Type type;
        QPointF point;
        Qt::MouseButton button;
        Qt::MouseButtons buttons;
    };
    const Step steps[] = {
        {QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton},
        {QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton},
        {QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton},
    };
    for (const Step &step : steps) {
        const QPointF local = windowPoint(step.point);
        auto *event = new QMouseEvent(step.type, local, local, window->mapToGlobal(local), step.button, step.buttons, Qt::NoModifier,
                                      QPointingDevice::primaryPointingDevice());
        event->setTimestamp(quint64(uptime()));
        // Each event goes through the queue and is delivered before the next one is built: the
        // events of one pointing device share its point's state until they are delivered.
        QCoreApplication::postEvent(handle, event);
        QCoreApplication::sendPostedEvents(handle, 0);
    }
}

} // namespace detail

using namespace detail;

namespace {

using VerificationSupport::check;

qsizetype countOf(const Platform::MarkupCanvas *canvas)
{
    return canvas && canvas->markup() ? canvas->markup()->subelements().size() : 0;
}

QString rectText(const QRectF &r)
{
    return QStringLiteral("(%1, %2, %3, %4)")
        .arg(QString::number(r.x(), 'f', 1), QString::number(r.y(), 'f', 1), QString::number(r.width(), 'f', 1),
             QString::number(r.height(), 'f', 1));
}

QString toolName(DrawingTool tool)
{
    switch (tool) {
    case DrawingTool::arrow:
        return QStringLiteral("arrow");
    case DrawingTool::rectangle:
        return QStringLiteral("rectangle");
    case DrawingTool::ellipse:
        return QStringLiteral("ellipse");
    case DrawingTool::step:
        return QStringLiteral("step");
    case DrawingTool::line:
        return QStringLiteral("line");
    case DrawingTool::pen:
        return QStringLiteral("pen");
    }
    return QString();
}

const char *truth(bool value)
{
    return value ? "true" : "false";
}

QString dragDiagnostic(EditorController *editor, DrawingTool tool)
{
    const QWidget *window = editor->window();
    const HoldOverlay *overlay = editor->overlay();
    return QStringLiteral("Drag did not create %1: mode=%2, active=%3, busy=%4, view=%5, visible=%6, windowVisible=%7, key=%8")
        .arg(toolName(tool))
        .arg(editor->mode()->selectedSegment())
        .arg(QLatin1String(truth(overlay && overlay->active())), QLatin1String(truth(editor->busy())),
             rectText(overlay ? QRectF(overlay->rect()) : QRectF()), rectText(editor->document()->canvas()->contentVisibleFrame()),
             QLatin1String(truth(window && window->isVisible())), QLatin1String(truth(window && window->isActiveWindow())));
}

struct DragRow {
    DrawingTool tool;
    QPointF from;
    QPointF to;
};

Platform::Task<void> drawingTools(const RunContext &run, const QByteArray &baseline, qsizetype n0)
{
    EditorController *editor = run.editor;
    ShotDocument *document = editor->document();
    Platform::MarkupCanvas *canvas = document->canvas();
    const DragRow rows[] = {
        {DrawingTool::arrow, {0.10, 0.20}, {0.38, 0.20}},     {DrawingTool::arrow, {0.10, 0.30}, {0.10, 0.55}},
        {DrawingTool::arrow, {0.40, 0.65}, {0.20, 0.40}},     {DrawingTool::rectangle, {0.48, 0.15}, {0.78, 0.40}},
        {DrawingTool::ellipse, {0.80, 0.80}, {0.50, 0.55}},
    };
    QList<Platform::MarkupID<ShapeElement>> created;
    for (int index = 0; index < 5; ++index) {
        const DragRow &row = rows[index];
        chooseTool(editor, row.tool);
        drag(editor, run.at(row.from.x(), row.from.y()), run.at(row.to.x(), row.to.y()));
        co_await Platform::sleep(100ms);
        check(countOf(canvas) == n0 + index + 1, dragDiagnostic(editor, row.tool));
        for (const Platform::ElementID &id : canvas->selection()) {
            if (id.kind() == Platform::MarkupKind::Shape) {
                created.append(id.as<ShapeElement>());
                break;
            }
        }
    }

    QList<ShapeElement> shapes;
    const Platform::Markup markup = canvas->markup().value_or(Platform::Markup());
    for (const auto &id : created)
        if (const ShapeElement *shape = markup.subelements().shape(id))
            shapes.append(*shape);
    bool styled = shapes.size() == 5;
    for (int i = 0; styled && i < 5; ++i) {
        const ShapeElement &shape = shapes.at(i);
        if (i < 3)
            styled = shape.endLineMarker == ShapeElement::LineMarker::Arrow && shape.lineWidth == 5.0;
        else if (i == 3)
            styled = shape.shape.kind == ShapeElement::Shape::Kind::Rectangle;
        else
            styled = shape.shape.kind == ShapeElement::Shape::Kind::Ellipse;
        styled = styled && !shape.fillColor && shape.allowedInteractions.testFlag(Platform::MarkupInteraction::Move);
    }
    check(styled, QStringLiteral("Drawing styles or interaction capabilities incorrect"));

    const QByteArray drawn = co_await document->png(std::nullopt, false);
    check(drawn != baseline, QStringLiteral("Shapes did not render into PNG"));
    const QByteArray archive = co_await document->archiveData();
    const qsizetype decoded = ProjectArchive::decode(archive).markup.subelements().size();
    check(decoded == n0 + 5, QStringLiteral("Shapes did not survive project round-trip"));

    co_await Platform::sleep(200ms);
    PrototypeVerification::snapshot(editor->view(), run.path(QStringLiteral("drawing-tools-before-undo.png")));

    Platform::UndoManager *undo = canvas->undoManager();
    check(undo != nullptr, QStringLiteral("The canvas has no undo manager"));
    undo->undo();
    const qsizetype afterUndo = countOf(canvas);
    check(afterUndo == n0 + 4, QStringLiteral("Drawing undo failed"));
    undo->redo();
    check(countOf(canvas) == decoded, QStringLiteral("Drawing redo failed"));
    document->deleteSelectedAnnotation();
    check(countOf(canvas) == afterUndo, QStringLiteral("Drawing deletion failed"));
    undo->undo();
    check(countOf(canvas) == decoded, QStringLiteral("Drawing deletion undo failed"));

    editor->setActiveDrawingTool(std::nullopt);
    editor->mode()->setSelectedSegment(EditorController::selectSegment);
    editor->updateMode();
    co_await Platform::sleep(300ms);
    check(countOf(canvas) == decoded, QStringLiteral("Switching to edit mode lost drawings: %1 / %2").arg(countOf(canvas)).arg(decoded));

    VerificationSupport::writeEvidence(run.path(QStringLiteral("drawing-tools-export.png")), drawn);
    PrototypeVerification::snapshot(editor->view(), run.path(QStringLiteral("drawing-tools.png")));
}

} // namespace

Platform::Task<void> run(EditorController *editor, QString output)
{
    if (!editor || !editor->document() || !editor->mode() || !editor->annotationPanel())
        throw ShotError::message(QStringLiteral("The application has no editor to drive"));
    ShotDocument *document = editor->document();
    RunContext context;
    context.editor = editor;
    context.output = output;
    context.saved = document->state();
    const VerificationSupport::SavedAppearance savedAppearance;
    const int savedMode = editor->mode()->selectedSegment();
    const auto restore = [&] {
        editor->annotationPanel()->dismiss();
        document->applyGesture(context.saved);
        editor->mode()->setSelectedSegment(savedMode);
        editor->updateMode();
        savedAppearance.restore();
    };
    try {
        Platform::MarkupCanvas *canvas = document->canvas();
        if (!canvas)
            throw ShotError::message(QStringLiteral("The document has no canvas"));
        const Platform::Markup markup = canvas->markup().value_or(Platform::Markup());
        context.width = markup.bounds().width();
        context.height = markup.bounds().height();
        const qsizetype n0 = markup.subelements().size();
        const QByteArray baseline = co_await document->png(std::nullopt, false);

        co_await drawingTools(context, baseline, n0);
        co_await numberedSteps(context);
        co_await floatingText(context);
        VerificationSupport::writeEvidence(context.path(QStringLiteral("annotation-tools-result.json")), QByteArray(resultRecord));
    } catch (...) {
        restore();
        throw;
    }
    restore();
}

Platform::Task<void> standalone(EditorController *editor)
{
    const PrototypeVerification::StandaloneRun standaloneRun(
        QStringLiteral("Annotation tools verification failed: "), RunRecords::names(RunRecords::Run::annotationToolsAlone));
    try {
        const QString folder = standaloneRun.requireFolder();
        if (!editor || !editor->document())
            throw ShotError::message(QStringLiteral("The application has no editor to drive"));
        co_await Platform::sleep(700ms);
        editor->document()->load(SampleImage::make(), true);
        editor->showEditor();
        co_await Platform::sleep(500ms);
        co_await run(editor, folder);
    } catch (...) {
        standaloneRun.fail(std::current_exception());
    }
    standaloneRun.pass(QByteArray(standalonePass));
}

} // namespace Kivaro::AnnotationToolsVerification
