// Drawing on a 3840 × 2160 screenshot holding 500 annotations, in a 1080 × 760 editor window
// on Qt's offscreen platform:
// - PenStrokeFrame: one pointer move of a pen stroke, from the mouse event reaching the overlay
//   to the painted frame: the event is delivered (the overlay's filter and its handler run) and
//   the area the new segment dirtied is painted synchronously, the canvas with its 500
//   annotations beneath it (rendered once, at the press: counter press_ms) included (target: median under 4 ms, 95th percentile under 8 ms;
//   counters p50/p95/max in ms).
// - FinishFreehand: a pen stroke of 10,000 points finished into its element and committed as
//   one undo step, from the overlay's points to the document (target under 20 ms).

#include "Kivaro/editor/EditorController.h"
#include "Kivaro/editor/HoldOverlay.h"

#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/document/ShotDocument.h"
#include "Platform/Dialogs/ScriptedAlertPresenter.h"
#include "Platform/Dialogs/ScriptedFilePanels.h"
#include "Platform/Pasteboard/Pasteboard.h"
#include "Platform/Pointer/InProcessPointerSource.h"
#include "Platform/Sharing/FixedSharingServices.h"
#include "support/AnnotatedShot.h"
#include "support/ScreenshotLikeImage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>

using namespace Kivaro;
using namespace Platform;

namespace {

struct Editor {
    QTemporaryDir recent;
    std::shared_ptr<InProcessPointerSource> pointer = std::make_shared<InProcessPointerSource>();
    std::unique_ptr<EditorController> controller;
    Editor()
    {
        EditorController::Services services;
        services.pasteboard = Pasteboard::withUniqueName();
        services.filePanels = std::make_shared<ScriptedFilePanels>();
        services.alerts = std::make_shared<ScriptedAlertPresenter>();
        services.pointer = pointer;
        services.sharingServices = std::make_shared<FixedSharingServices>(QList<SharingService>());
        services.recentDirectory = recent.path();
        controller = std::make_unique<EditorController>(services);
        ShotDocument &document = *controller->document();
        document.load(BenchSupport::screenshotLikeImage(), false);
        document.replace(BenchSupport::annotated(document.state()), document.state(), QStringLiteral("bench"));
        controller->window()->resize(1080, 760);
        controller->window()->show();
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents();
        controller->chooseTool(int(DrawingTool::pen));
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }
};

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

// A wandering path over the middle of the canvas.
QPointF pathPoint(const QWidget *overlay, int step)
{
    const double t = step * 0.05;
    return QPointF(overlay->width() * (0.5 + 0.35 * std::sin(t)), overlay->height() * (0.5 + 0.3 * std::sin(t * 1.7)));
}

void PenStrokeFrame(benchmark::State &state)
{
    Editor editor;
    HoldOverlay *overlay = editor.controller->overlay();
    editor.pointer->setPressedButtons(Qt::LeftButton);
    QPointF last = pathPoint(overlay, 0);
    QElapsedTimer pressClock;
    pressClock.start();
    {
        QMouseEvent press(QEvent::MouseButtonPress, last, overlay->mapToGlobal(last), Qt::LeftButton, Qt::LeftButton, {});
        QApplication::sendEvent(overlay, &press);
    }
    overlay->repaint();
    // The press itself renders what lies beneath once.
    state.counters["press_ms"] = double(pressClock.nsecsElapsed()) / 1e6;

    std::vector<double> frames;
    int step = 0;
    QElapsedTimer clock;
    for (auto _ : state) {
        const QPointF next = pathPoint(overlay, ++step);
        clock.start();
        QMouseEvent move(QEvent::MouseMove, next, overlay->mapToGlobal(next), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(overlay, &move);
        const qreal reach = overlay->inkWidth / 2 + 2;
        overlay->repaint(QRectF(last, next).normalized().adjusted(-reach, -reach, reach, reach).toAlignedRect());
        frames.push_back(double(clock.nsecsElapsed()) / 1e6);
        last = next;
    }
    editor.pointer->setPressedButtons(Qt::NoButton);
    state.counters["p50_ms"] = percentile(frames, 0.50);
    state.counters["p95_ms"] = percentile(frames, 0.95);
    state.counters["max_ms"] = percentile(frames, 1.0);
    state.counters["points"] = double(overlay->strokePoints().size());
    // 1 when the frames were painted over the picture rendered at the press.
    state.counters["backdrop"] = overlay->testAttribute(Qt::WA_OpaquePaintEvent) ? 1 : 0;
}
BENCHMARK(PenStrokeFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(500);

void FinishFreehand(benchmark::State &state)
{
    Editor editor;
    HoldOverlay *overlay = editor.controller->overlay();
    QList<QPointF> points;
    for (int i = 0; i < 10'000; ++i)
        points << pathPoint(overlay, i);
    auto *undo = editor.controller->document()->canvas()->undoManager();
    qsizetype strokePoints = 0;
    for (auto _ : state) {
        editor.controller->completeFreehand(points);
        state.PauseTiming();
        const Markup markup = editor.controller->document()->markup();
        const MarkupElement &top = markup.subelements().at(markup.subelements().size() - 1);
        strokePoints = top.stroke() ? top.stroke()->points.size() : 0;
        undo->undo();
        state.ResumeTiming();
    }
    // 10,000 when the stroke was made.
    state.counters["points"] = double(strokePoints);
}
BENCHMARK(FinishFreehand)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
