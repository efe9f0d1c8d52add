// The document's costs on a 3840 × 2160 screenshot with 500 annotations: project save plus
// reopen, state equality, the mosaic background at grain 24, and one pass of the
// linked-annotation rules as a bubble drag runs it at every pointer movement. Then a bubble
// holding one long word (no break point, the costliest text to lay out): the consistency pass
// and a repaint of the canvas, and a project of 100,000 numbered steps refused on opening.
//
// SaveAndReopen/cold loads a fresh picture every iteration, so the picture's PNG is encoded
// anew; /warm saves the same document again, as the recent shots do after every edit, reusing
// the picture's encoding.

#include "Kivaro/document/LinkedAnnotations.h"
#include "Kivaro/document/MosaicRenderer.h"
#include "Kivaro/document/ProjectArchive.h"
#include "Kivaro/document/ShotDocument.h"
#include "support/AnnotatedShot.h"
#include "support/RunTask.h"
#include "support/ScreenshotLikeImage.h"

#include "Platform/PropertyList/PropertyList.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace Kivaro;
using namespace Platform;

namespace {

using BenchSupport::wait;

const QImage &picture()
{
    static const QImage image = BenchSupport::screenshotLikeImage();
    return image;
}

struct Scene {
    QTemporaryDir dir;
    ShotDocument document;
    explicit Scene()
    {
        document.load(picture(), false);
        const ShotState edited = BenchSupport::annotated(document.state());
        document.replace(edited, document.state(), QStringLiteral("bench"));
    }
};

void saveAndReopen(Scene &scene, benchmark::State &state)
{
    const QString path = scene.dir.filePath(QStringLiteral("bench.kivaro"));
    wait(scene.document.save(path));
    ShotDocument reopened;
    reopened.open(path);
    benchmark::DoNotOptimize(reopened.hasImage());
    state.counters["bytes"] = double(QFileInfo(path).size());
}

void SaveAndReopenCold(benchmark::State &state)
{
    std::optional<Scene> scene;
    for (auto _ : state) {
        state.PauseTiming();
        scene.reset();
        scene.emplace(); // a new picture: its PNG is not encoded yet
        state.ResumeTiming();
        saveAndReopen(*scene, state);
    }
}
BENCHMARK(SaveAndReopenCold)->Name("SaveAndReopen/cold")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(7);

void SaveAndReopenWarm(benchmark::State &state)
{
    Scene scene;
    saveAndReopen(scene, state);
    for (auto _ : state)
        saveAndReopen(scene, state);
}
BENCHMARK(SaveAndReopenWarm)->Name("SaveAndReopen/warm")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(7);

void StateEquality(benchmark::State &state)
{
    Scene scene;
    const ShotState a = scene.document.state();
    // Built apart: no element, list or picture shares storage with `a`.
    const ShotState b = ProjectArchive::decode(ProjectArchive::encodeNow(a));
    if (!(a == b))
        state.SkipWithError("states differ");
    for (auto _ : state)
        benchmark::DoNotOptimize(a == b);
}
BENCHMARK(StateEquality)->Unit(benchmark::kMicrosecond);

// A drag moves one bubble; the pass restyles every bubble, rebuilds every arrow and refits
// every mask.
void ReconcileDuringDrag(benchmark::State &state)
{
    Scene scene;
    ShotState moved = scene.document.state();
    ShapeElement bubble = *moved.markup.subelements().shape(moved.links.first().bubbleID);
    bubble.frame.translate(5, 3);
    moved.markup.subelements().updateOrAppend(bubble);
    for (auto _ : state)
        benchmark::DoNotOptimize(LinkedAnnotations::reconcile(moved));
}
BENCHMARK(ReconcileDuringDrag)->Unit(benchmark::kMillisecond);

void MosaicBackground(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(MosaicRenderer::background(picture(), 24));
}
BENCHMARK(MosaicBackground)->Unit(benchmark::kMillisecond)->UseRealTime();

// A linked bubble whose text is one word of `length` letters, on a 1600 × 900 picture.
ShotState longWord(int length, int variant)
{
    ShotDocument document;
    document.load(picture().copy(0, 0, 1600, 900), false);
    document.addAnnotation(QStringLiteral("x"), QPointF(800, 450));
    ShotState s = document.state();
    ShapeElement bubble = *s.markup.subelements().shape(s.links.first().bubbleID);
    const TextAttributes attributes = *bubble.attributedText.attributesAt(0);
    // A different word each time: the layout of an earlier one is not reused.
    bubble.attributedText = AttributedText(QString::number(variant) + QString(length, u'w'), attributes);
    s.markup.subelements().updateOrAppend(bubble);
    return s;
}

void LongWordReconcile(benchmark::State &state)
{
    int variant = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const ShotState s = longWord(int(state.range(0)), ++variant);
        state.ResumeTiming();
        benchmark::DoNotOptimize(LinkedAnnotations::reconcile(s));
    }
}
BENCHMARK(LongWordReconcile)->Name("LongWord/reconcile")->Arg(500)->Arg(8000)->Arg(30000)->Unit(benchmark::kMillisecond)->Iterations(3);

// Repaints of a shown canvas: the first lays the text out, the others draw it again.
void LongWordRepaint(benchmark::State &state)
{
    ShotDocument document;
    document.canvas()->resize(1600, 900);
    const ShotState s = LinkedAnnotations::reconcile(longWord(int(state.range(0)), 0));
    document.replace(s, document.state(), QStringLiteral("bench"));
    document.fit();
    QImage target(document.canvas()->size(), QImage::Format_ARGB32_Premultiplied);
    document.canvas()->render(&target);
    for (auto _ : state)
        document.canvas()->render(&target);
}
BENCHMARK(LongWordRepaint)->Name("LongWord/repaint")->Arg(500)->Arg(8000)->Arg(30000)->Unit(benchmark::kMillisecond)->Iterations(3);

// A project whose record holds 100,000 numbered steps, over what any shot can hold. The
// counter "parse_ms" is one decoding of its bytes as a property list, for comparison: refusing
// the file takes that and little more.
void ManyStepsRefused(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("steps.kivaro"));
    QByteArray bytes;
    {
        ShotDocument document;
        document.load(picture().copy(0, 0, 400, 300), false);
        QVariantMap record = decodePropertyList(ProjectArchive::encodeNow(document.state())).toMap();
        QVariantList steps;
        for (int k = 0; k < 100'000; ++k)
            steps << QVariantMap{{QStringLiteral("shapeID"), MarkupID<ShapeElement>::make().toString()}, {QStringLiteral("number"), qint64(k)}};
        record[QStringLiteral("steps")] = steps;
        bytes = encodePropertyList(record);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) < 0)
            state.SkipWithError("cannot write the project");
    }
    QElapsedTimer parsing;
    parsing.start();
    benchmark::DoNotOptimize(decodePropertyList(bytes, PropertyListLimits{bytes.size(), 8, 2'100'000}));
    state.counters["parse_ms"] = double(parsing.elapsed());
    for (auto _ : state) {
        ShotDocument document;
        try {
            document.open(path);
            state.SkipWithError("the project was opened");
        } catch (const std::exception &) {
        }
    }
}
BENCHMARK(ManyStepsRefused)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

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
