// Freezing a 3840 x 2160 screen into an image the overlay can draw, against the bare MIT-SHM
// read it is built on. Runs its own Xvfb of that size. The last line gives the ratio of the
// two, measured in this run.

#include "Platform/ScreenCapture/X11ScreenSource.h"
#include "XvfbSession.h"
#include "support/ScreenshotLikeImage.h"

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdio>
#include <map>

namespace {

constexpr QSize screenSize(3840, 2160);


// The bare read: one xcb_shm_get_image of the whole screen into an attached segment.
void RawShmGetImage(benchmark::State &state)
{
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const std::size_t bytes = std::size_t(screenSize.width()) * screenSize.height() * 4;
    const int shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    void *address = shmat(shmid, nullptr, 0);
    const xcb_shm_seg_t segment = xcb_generate_id(c);
    std::free(xcb_request_check(c, xcb_shm_attach_checked(c, segment, std::uint32_t(shmid), 0)));
    shmctl(shmid, IPC_RMID, nullptr);
    for (auto _ : state) {
        auto *reply = xcb_shm_get_image_reply(c,
                                              xcb_shm_get_image(c, screen->root, 0, 0, uint16_t(screenSize.width()),
                                                                uint16_t(screenSize.height()), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment, 0),
                                              nullptr);
        benchmark::DoNotOptimize(reply);
        std::free(reply);
    }
    xcb_shm_detach(c, segment);
    shmdt(address);
    xcb_disconnect(c);
}
BENCHMARK(RawShmGetImage)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// What a capture does per screen: the frozen image, drawable as it is.
void Freeze(benchmark::State &state)
{
    Platform::X11ScreenSource source;
    const Platform::CaptureScreen screen = source.screens().first();
    for (auto _ : state) {
        QImage image = source.freeze(screen);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["shm"] = source.usesSharedMemory() ? 1 : 0;
}
BENCHMARK(Freeze)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The first capture of a session: a fresh source, warmed during the settle delay.
void FreezeFirstCapture(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto source = std::make_unique<Platform::X11ScreenSource>();
        const Platform::CaptureScreen screen = source->screens().first();
        source->prepare();
        state.ResumeTiming();
        QImage image = source->freeze(screen);
        benchmark::DoNotOptimize(image.constBits());
        state.PauseTiming();
        image = QImage();
        source.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(FreezeFirstCapture)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

class CollectingReporter final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs)
            times[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char **argv)
{
    BenchCapture::XvfbSession xvfb(screenSize);
    if (!xvfb.isRunning()) {
        std::fprintf(stderr, "bench-screen-freeze: could not start Xvfb\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    BenchCapture::paintRoot(screenSize);
    benchmark::Initialize(&argc, argv);
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double raw = reporter.times["RawShmGetImage/min_time:2.000/real_time"];
    const double frozen = reporter.times["Freeze/min_time:2.000/real_time"];
    if (raw > 0 && frozen > 0)
        std::printf("freeze / raw xcb_shm_get_image at 3840x2160: %.3f (%.2f ms / %.2f ms)\n", frozen / raw, frozen, raw);
    benchmark::Shutdown();
    return 0;
}
