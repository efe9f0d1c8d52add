// The editor's costs on a 3840 × 2160 screenshot with 500 annotations, in a 1080 × 760 editor
// window on Qt's offscreen platform:
// - OpenToFirstPaint: "打开…" answered with the project until the window's first complete
//   paint (target under 150 ms);
// - DragRepaint: one annotation dragged, the canvas host repainted after every pointer move
//   (target: 95th percentile frame under 8 ms; counters p50/p95/max in ms);
// - ExportPNG against QImageSave: the editor's PNG export of the annotated shot, and
//   QImage::save with default settings on the same rendered image (target: export at most
//   0.15 × the save).

#include "Kivaro/editor/EditorController.h"
#include "Kivaro/editor/TransparencyGridView.h"

#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/document/ShotRenderer.h"
#include "Platform/Dialogs/ScriptedAlertPresenter.h"
#include "Platform/Dialogs/ScriptedFilePanels.h"
#include "Platform/Pasteboard/Pasteboard.h"
#include "Platform/Pointer/InProcessPointerSource.h"
#include "Platform/Sharing/FixedSharingServices.h"
#include "support/AnnotatedShot.h"
#include "support/RunTask.h"
#include "support/ScreenshotLikeImage.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>

using namespace Kivaro;
using namespace Platform;

namespace {

using BenchSupport::wait;

// The annotated shot saved as projects that differ only in their bubbles' texts, so that each
// opening lays its texts out afresh, as opening a project the first time does.
struct Project {
    static constexpr int variants = 6;
    QTemporaryDir dir;
    QStringList paths;
    QString path;
    Project()
    {
        ShotDocument document;
        document.load(BenchSupport::screenshotLikeImage(), false);
        const ShotState annotated = BenchSupport::annotated(document.state());
        for (int variant = 0; variant < variants; ++variant) {
            ShotState state = annotated;
            for (const MarkupElement &element : annotated.markup.subelements()) {
                const ShapeElement *shape = element.shape();
                if (!shape || shape->attributedText.isEmpty())
                    continue;
                ShapeElement renamed = *shape;
                const auto attributes = renamed.attributedText.attributesAt(0);
                renamed.attributedText = AttributedText(shape->attributedText.string() + QStringLiteral(" #%1").arg(variant), *attributes);
                state.markup.subelements().updateOrAppend(renamed);
            }
            document.replace(state, document.state(), QStringLiteral("bench"));
            paths << dir.filePath(QStringLiteral("bench-%1.kivaro").arg(variant));
            wait(document.save(paths.last()));
        }
        path = paths.first();
    }
};

const Project &project()
{
    static const Project shared;
    return shared;
}

struct Editor {
    QTemporaryDir recent;
    std::shared_ptr<ScriptedFilePanels> panels = std::make_shared<ScriptedFilePanels>();
    std::shared_ptr<InProcessPointerSource> pointer = std::make_shared<InProcessPointerSource>();
    std::unique_ptr<EditorController> controller;
    Editor()
    {
        EditorController::Services services;
        services.pasteboard = Pasteboard::withUniqueName();
        services.filePanels = panels;
        services.alerts = std::make_shared<ScriptedAlertPresenter>();
        services.pointer = pointer;
        services.sharingServices = std::make_shared<FixedSharingServices>(QList<SharingService>());
        services.recentDirectory = recent.path();
        controller = std::make_unique<EditorController>(services);
        controller->window()->show();
        QCoreApplication::processEvents();
    }
    void open(const QString &path)
    {
        panels->answer(path);
        controller->openImage();
        while (!controller->document()->hasImage() || controller->busy())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
};

void OpenToFirstPaint(benchmark::State &state)
{
    project();
    int variant = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Editor editor;
        state.ResumeTiming();
        editor.open(project().paths.at(variant++ % Project::variants));
        editor.controller->window()->repaint();
    }
}
BENCHMARK(OpenToFirstPaint)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(Project::variants);


double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

void DragRepaint(benchmark::State &state)
{
    Editor editor;
    editor.open(project().path);
    ShotDocument &document = *editor.controller->document();
    MarkupCanvas *canvas = document.canvas();
    QWidget *host = editor.controller->canvasHost();
    // A bubble near the middle of the picture.
    const AnnotationLink link = document.links().at(document.links().size() / 2);
    const QRectF bubble = document.markup().subelements().shape(link.bubbleID)->frame;
    canvas->setSelection({link.bubbleID});
    const QPointF start = canvas->viewPoint(bubble.center());
    editor.pointer->setPressedButtons(Qt::LeftButton);
    canvas->pressAt(start);
    host->repaint();

    std::vector<double> frames;
    int step = 0;
    QElapsedTimer clock;
    for (auto _ : state) {
        ++step;
        clock.start();
        canvas->dragTo(start + QPointF(step % 200, (step * 3) % 120));
        host->repaint();
        frames.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    canvas->releaseAt(start);
    editor.pointer->setPressedButtons(Qt::NoButton);
    state.counters["p50_ms"] = percentile(frames, 0.50);
    state.counters["p95_ms"] = percentile(frames, 0.95);
    state.counters["max_ms"] = percentile(frames, 1.0);
}
BENCHMARK(DragRepaint)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(300);

// The annotated shot as the export renders it.
struct RenderedShot {
    ShotDocument document;
    QImage image;
    RenderedShot()
    {
        document.open(project().path);
        image = ShotRenderer::render(document.state(), std::nullopt, false);
    }
};

const RenderedShot &renderedShot()
{
    static const RenderedShot shared;
    return shared;
}

void ExportPNG(benchmark::State &state)
{
    ShotDocument &document = const_cast<ShotDocument &>(renderedShot().document);
    for (auto _ : state)
        benchmark::DoNotOptimize(wait(document.png(std::nullopt, false)));
}
BENCHMARK(ExportPNG)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void QImageSave(benchmark::State &state)
{
    const QImage &image = renderedShot().image;
    for (auto _ : state) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(QImageSave)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

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
