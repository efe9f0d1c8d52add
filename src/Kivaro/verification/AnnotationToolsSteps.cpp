// The numbered steps and the straight line of the annotation tools run.

#include "Kivaro/verification/AnnotationToolsVerification.h"

#include "Kivaro/document/ProjectArchive.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/EditorController.h"
#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "Kivaro/verification/support/EvidenceFiles.h"
#include "Kivaro/verification/support/VerificationChecks.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Markup/MarkupCanvas.h"
#include "Platform/Markup/UndoManager.h"

#include <QStringList>

#include <chrono>

namespace Kivaro::AnnotationToolsVerification::detail {

using namespace std::chrono_literals;
using Platform::ShapeElement;

namespace {

using VerificationSupport::check;

QList<qint64> lastNumbers(const QList<NumberedStep> &steps, int count)
{
    QList<qint64> numbers;
    for (qsizetype i = qMax<qsizetype>(0, steps.size() - count); i < steps.size(); ++i)
        numbers.append(steps.at(i).number);
    return numbers;
}

QString numberList(const QList<NumberedStep> &steps)
{
    QStringList numbers;
    for (const NumberedStep &step : steps)
        numbers.append(QString::number(step.number));
    return u'[' + numbers.join(QStringLiteral(", ")) + u']';
}

} // namespace

Platform::Task<void> numberedSteps(const RunContext &run)
{
    EditorController *editor = run.editor;
    ShotDocument *document = editor->document();
    Platform::MarkupCanvas *canvas = document->canvas();
    Platform::UndoManager *undo = canvas ? canvas->undoManager() : nullptr;

    const qint64 first = document->nextStepNumber();
    chooseTool(editor, DrawingTool::step);
    for (int k = 0; k < 3; ++k) {
        const QPointF point = run.at(0.18 + 0.19 * k, 0.86);
        drag(editor, point, point);
        co_await Platform::sleep(100ms);
    }
    check(lastNumbers(document->steps(), 3) == QList<qint64>{first, first + 1, first + 2},
          QStringLiteral("Step clicks did not produce sequential numbers"));

    if (undo)
        undo->undo();
    check(undo && document->nextStepNumber() == first + 2,
          QStringLiteral("Step undo failed: next=%1, initial=%2, metadata=%3, undo=%4")
              .arg(document->nextStepNumber())
              .arg(first)
              .arg(numberList(document->steps()), undo ? undo->undoActionName() : QStringLiteral("nil")));
    undo->redo();
    document->deleteSelectedAnnotation();
    check(document->nextStepNumber() == first + 2, QStringLiteral("Step deletion failed"));
    undo->undo();

    const QByteArray archive = co_await document->archiveData();
    const ShotState decoded = ProjectArchive::decode(archive);
    check(decoded.steps == document->steps(), QStringLiteral("Step archive lost numbering"));
    VerificationSupport::writeEvidence(run.path(QStringLiteral("numbered-steps.kivaro")), archive);
    {
        ShotDocument fresh;
        fresh.open(run.path(QStringLiteral("numbered-steps.kivaro")));
        check(fresh.nextStepNumber() == first + 3, QStringLiteral("Reopened numbering incorrect"));
    }
    document->applyGesture(decoded);
    check(document->nextStepNumber() == first + 3, QStringLiteral("Restored numbering incorrect"));

    chooseTool(editor, DrawingTool::line);
    drag(editor, run.at(0.65, 0.48), run.at(0.87, 0.48));
    const QList<Platform::MarkupID<ShapeElement>> selected = document->selectedDrawingIDs();
    const Platform::Markup markup = document->markup();
    const ShapeElement *line = selected.isEmpty() ? nullptr : markup.subelements().shape(selected.first());
    check(line && line->endLineMarker == ShapeElement::LineMarker::None,
          QStringLiteral("Straight line did not render without an arrowhead"));
    editor->setActiveDrawingTool(std::nullopt);
    editor->mode()->setSelectedSegment(EditorController::selectSegment);
    editor->updateMode();
    co_await Platform::sleep(300ms);

    PrototypeVerification::snapshot(editor->view(), run.path(QStringLiteral("numbered-steps.png")));
    VerificationSupport::writeEvidence(run.path(QStringLiteral("numbered-steps-export.png")), co_await document->png(std::nullopt, false));
}

} // namespace Kivaro::AnnotationToolsVerification::detail
