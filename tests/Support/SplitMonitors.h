#pragma once
// One X screen split into RandR monitors side by side, which Qt then shows as that many
// QScreens: how the tests put a capture on several screens of a private Xvfb (XvfbSession),
// before Qt connects. Link xcb and xcb-randr.

#include "Support/TestRun.h"
#include "Support/XvfbSession.h"

#include <QByteArray>
#include <QScopeGuard>
#include <QSize>

#include <xcb/randr.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <cstdio>
#include <cstdlib>

#include <sys/uio.h>

namespace TestSupport {

// Splits the display's root window into `count` monitors of `size` side by side, the first one
// primary. The request is written out here: libxcb 1.15's xcb_randr_set_monitor sends it with a
// wrong length, and the connection is dropped.
inline bool splitIntoMonitors(QSize size, int count)
{
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    const auto done = qScopeGuard([c] { xcb_disconnect(c); });
    if (xcb_connection_has_error(c))
        return false;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    auto *version = xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr);
    const bool monitors = version && (version->major_version > 1 || version->minor_version >= 5);
    std::free(version);
    auto *resources = xcb_randr_get_screen_resources_reply(c, xcb_randr_get_screen_resources(c, root), nullptr);
    if (!monitors || !resources || resources->num_outputs < 1) {
        std::free(resources);
        return false;
    }
    // The first monitor takes the server's one output, which then has no monitor of its own.
    const xcb_randr_output_t output = xcb_randr_get_screen_resources_outputs(resources)[0];
    std::free(resources);
    bool ok = true;
    for (int i = 0; i < count && ok; ++i) {
        const QByteArray name = "KIVARO-TEST-" + QByteArray::number(i);
        auto *atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::uint16_t(name.size()), name.constData()), nullptr);
        struct {
            std::uint8_t major = 0, minor = 0;
            std::uint16_t length = 0;
            xcb_window_t window;
            xcb_randr_monitor_info_t monitor;
            xcb_randr_output_t output;
        } request{};
        request.window = root;
        request.monitor = {atom ? atom->atom : xcb_atom_t(XCB_ATOM_NONE), std::uint8_t(i == 0), 0, std::uint16_t(i == 0 ? 1 : 0),
                           std::int16_t(i * size.width()), 0, std::uint16_t(size.width()), std::uint16_t(size.height()), 340, 212};
        request.output = output;
        std::free(atom);
        iovec parts[4] = {};
        parts[2] = {&request, sizeof request - (i == 0 ? 0 : sizeof request.output)};
        xcb_protocol_request_t info{2, &xcb_randr_id, XCB_RANDR_SET_MONITOR, 1};
        const xcb_void_cookie_t cookie{xcb_send_request(c, XCB_REQUEST_CHECKED, parts + 2, &info)};
        xcb_generic_error_t *error = xcb_request_check(c, cookie);
        ok = !error && !xcb_connection_has_error(c);
        std::free(error);
    }
    return ok;
}

// The main() of a test executable on `count` monitors of `size`: a private Xvfb split into
// them, then the tests on Qt's xcb platform.
inline int runTestsOnMonitors(QSize size, int count, int argc, char **argv)
{
    XvfbSession xvfb(QSize(count * size.width(), size.height()));
    if (!xvfb.isRunning() || !splitIntoMonitors(size, count)) {
        std::fprintf(stderr, "could not start an X server with %d monitors\n", count);
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    return runTests(argc, argv);
}

} // namespace TestSupport
