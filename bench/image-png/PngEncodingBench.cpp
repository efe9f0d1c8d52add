// PNG encoding of a 3840 × 2160 screenshot-like picture: the fast encoder against
// QImage::save with Qt's default PNG settings. Counters report the file sizes.

#include "Platform/Image/PngEncoder.h"
#include "support/ScreenshotLikeImage.h"

#include <QBuffer>
#include <QGuiApplication>

#include <benchmark/benchmark.h>

namespace {

const QImage &picture()
{
    static const QImage image = BenchSupport::screenshotLikeImage();
    return image;
}

void QtDefaultPng(benchmark::State &state)
{
    QByteArray bytes;
    for (auto _ : state) {
        bytes.clear();
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        picture().save(&buffer, "PNG");
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["bytes"] = double(bytes.size());
}
BENCHMARK(QtDefaultPng)->Unit(benchmark::kMillisecond)->UseRealTime();

void FastPng(benchmark::State &state)
{
    QByteArray bytes;
    for (auto _ : state) {
        bytes = Platform::encodePng(picture(), {int(state.range(0)), 64});
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["bytes"] = double(bytes.size());
}
BENCHMARK(FastPng)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
