// From a global hot key to the capture overlay on the screen, on its own 1920 x 1080 Xvfb.
//
// A second client presses the chord through XTEST and watches one pixel of the screen until
// the veil darkens it: that is when the user sees the overlay. The capture's screen source is
// wrapped to time its window listing and freezing. Printed: medians over the runs of the whole
// latency and of its parts (hot-key delivery, the deliberate 0.18 s settle delay, listing the
// windows, freezing the screen, showing and painting the overlay).

#include "Kivaro/shell/capture/GlobalShortcut.h"
#include "Kivaro/shell/capture/RegionCapture.h"
#include "Platform/HotKeys/X11HotKeyService.h"
#include "Platform/ScreenCapture/X11ScreenSource.h"
#include "XvfbSession.h"
#include "support/ScreenshotLikeImage.h"

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int runs = 25;
constexpr QSize screenSize(1920, 1080);
const QPoint probe(960, 300);

// Times what the capture asks of the real screen source.
class TimedSource final : public Platform::ScreenSource {
public:
    Platform::X11ScreenSource real;
    Clock::time_point listStart, listEnd, freezeStart, freezeEnd;

    QList<Platform::CaptureScreen> screens() const override { return real.screens(); }
    Platform::ScreenCoordinates coordinates() const override { return real.coordinates(); }
    QPointF pointerLocation() const override { return real.pointerLocation(); }
    QList<Platform::ShareableWindow> windows() override
    {
        listStart = Clock::now();
        auto list = real.windows();
        listEnd = Clock::now();
        return list;
    }
    QImage freeze(const Platform::CaptureScreen &screen) override
    {
        freezeStart = Clock::now();
        QImage image = real.freeze(screen);
        freezeEnd = Clock::now();
        return image;
    }
    QImage windowImage(const Platform::ShareableWindow &w, double scale, const QList<Platform::FrozenScreen> &frozen) override
    {
        return real.windowImage(w, scale, frozen);
    }
    void prepare() override { real.prepare(); }
    bool grabInput(QWindow *window) override { return real.grabInput(window); }
    void releaseInput() override { real.releaseInput(); }
};

struct Sample {
    double total, delivery, settle, listing, freezing, showing;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// The watching client: its own connection, XTEST for the keys.
class Observer final {
public:
    Observer() : m_c(xcb_connect(nullptr, nullptr)), m_screen(xcb_setup_roots_iterator(xcb_get_setup(m_c)).data) {}
    ~Observer() { xcb_disconnect(m_c); }

    std::uint32_t pixel()
    {
        auto *reply = xcb_get_image_reply(
            m_c, xcb_get_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_screen->root, int16_t(probe.x()), int16_t(probe.y()), 1, 1, ~0u), nullptr);
        std::uint32_t value = 0;
        if (reply)
            std::memcpy(&value, xcb_get_image_data(reply), 4);
        std::free(reply);
        return value & 0xffffff;
    }
    xcb_keycode_t keyCode(std::uint32_t keysym)
    {
        const xcb_setup_t *setup = xcb_get_setup(m_c);
        const int count = setup->max_keycode - setup->min_keycode + 1;
        auto *map = xcb_get_keyboard_mapping_reply(m_c, xcb_get_keyboard_mapping(m_c, setup->min_keycode, uint8_t(count)), nullptr);
        xcb_keycode_t found = 0;
        const xcb_keysym_t *syms = xcb_get_keyboard_mapping_keysyms(map);
        for (int i = 0; i < count && !found; ++i)
            if (syms[i * map->keysyms_per_keycode] == keysym)
                found = xcb_keycode_t(setup->min_keycode + i);
        std::free(map);
        return found;
    }
    void key(xcb_keycode_t code, bool press)
    {
        xcb_test_fake_input(m_c, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, code, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    }
    void flush() { xcb_flush(m_c); }

private:
    xcb_connection_t *m_c;
    xcb_screen_t *m_screen;
};


} // namespace

int main(int argc, char **argv)
{
    BenchCapture::XvfbSession xvfb(screenSize);
    if (!xvfb.isRunning()) {
        std::fprintf(stderr, "bench-hotkey-to-overlay: could not start Xvfb\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    BenchCapture::paintRoot(screenSize);

    auto source = std::make_shared<TimedSource>();
    Kivaro::RegionCapture capture(source);
    Platform::TaskHandle<std::optional<QImage>> running;
    std::atomic<bool> visible{false};
    std::atomic<bool> dismissed{true};
    Clock::time_point actionAt;

    auto service = std::make_shared<Platform::X11HotKeyService>();
    Kivaro::GlobalShortcut shortcut(
        [&] {
            actionAt = Clock::now();
            running = Platform::start(capture.capture(Kivaro::CaptureSelectionMode::window, false));
        },
        service);
    shortcut.registerBinding(Kivaro::CaptureShortcut{21, 0x1900, QStringLiteral("4")}, false);

    std::vector<Sample> samples;
    std::vector<Clock::time_point> sentAt(runs), seenAt(runs);
    std::atomic<int> completed{0};

    // The main thread ends each capture once the observer has seen it, and keeps the records.
    QTimer steward;
    steward.setInterval(1);
    QObject::connect(&steward, &QTimer::timeout, [&] {
        if (visible.load() && running && !running.isFinished()) {
            const int i = completed.load();
            samples.push_back({ms(seenAt[i] - sentAt[i]), ms(actionAt - sentAt[i]), ms(source->listStart - actionAt),
                               ms(source->listEnd - source->listStart), ms(source->freezeEnd - source->freezeStart),
                               ms(seenAt[i] - source->freezeEnd)});
            running.cancel();
        }
        if (visible.load() && running && running.isFinished() && !capture.isRunning()) {
            visible = false;
            completed.fetch_add(1);
            dismissed = true;
        }
        if (completed.load() >= runs)
            app.quit();
    });
    steward.start();

    std::thread observer([&] {
        Observer eye;
        const xcb_keycode_t control = eye.keyCode(0xffe3), alt = eye.keyCode(0xffe9), super = eye.keyCode(0xffeb), four = eye.keyCode(0x34);
        for (int i = 0; i < runs; ++i) {
            while (!dismissed.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            dismissed = false;
            const std::uint32_t before = eye.pixel();
            std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the previous overlay's unmap settles
            eye.key(control, true);
            eye.key(alt, true);
            eye.key(super, true);
            eye.flush();
            eye.pixel(); // a round trip: the modifiers are down before the clock starts
            sentAt[i] = Clock::now();
            eye.key(four, true);
            eye.flush();
            eye.key(four, false);
            eye.key(super, false);
            eye.key(alt, false);
            eye.key(control, false);
            eye.flush();
            while (eye.pixel() == before)
                ;
            seenAt[i] = Clock::now();
            visible = true;
        }
    });
    app.exec();
    observer.join();

    std::vector<double> total, delivery, settle, listing, freezing, showing;
    for (const Sample &s : samples) {
        total.push_back(s.total);
        delivery.push_back(s.delivery);
        settle.push_back(s.settle);
        listing.push_back(s.listing);
        freezing.push_back(s.freezing);
        showing.push_back(s.showing);
    }
    const double work = median(total) - median(settle);
    std::printf("hot key to overlay visible, 1920x1080, median of %zu runs\n", samples.size());
    std::printf("  total                    %7.1f ms\n", median(total));
    std::printf("  hot-key delivery         %7.1f ms\n", median(delivery));
    std::printf("  settle delay (0.18 s)    %7.1f ms\n", median(settle));
    std::printf("  listing windows          %7.1f ms\n", median(listing));
    std::printf("  freezing the screen      %7.1f ms\n", median(freezing));
    std::printf("  showing the overlay      %7.1f ms\n", median(showing));
    std::printf("  without the settle delay %7.1f ms: freezing %.0f %%, showing %.0f %%\n", work, 100 * median(freezing) / work,
                100 * median(showing) / work);
    return 0;
}
