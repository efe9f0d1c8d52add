#pragma once
// The screen-recording permission helpers, the bounded decoding of a captured image file, and
// an interactive region capture through the system's command-line screenshot tool.
//
// Errors are TellumoError in the domain "Tellumo.Capture": code 1 asks the user to allow
// screen recording, code 2 carries any other failure (decoding, a capture already running, a
// tool that cannot be started). Their messages are looked up where they are shown.
//
// The permission is answered by a replaceable ScreenRecordingPermission (a reachable X display
// by default), so that tests and verification runs can refuse it.
//
// `capture()` runs scrot (Debian's package "scrot") with `--select`: the user drags a
// rectangle on the X display, or clicks a window, or presses Escape to cancel. The tool writes
// "region.png" into a private folder "tellumo-capture-<uuid>" (0700) in the temporary folder,
// which is removed in every outcome. The result is the decoded region; none when the user
// cancelled; the permission error when the tool could not open the display (or complains of a
// permission). The application's own capture does not use it.

#include "Platform/Async/Task.h"
#include "TellumoCore/ScreenRecordingPermission.h"
#include "TellumoCore/TellumoError.h"

#include <QImage>
#include <QString>

#include <memory>
#include <optional>

namespace Tellumo {

class ScreenRegionCapture final {
public:
    static constexpr const char *errorDomain = "Tellumo.Capture";
    static constexpr qint64 maxDecodedPixels = 40'000'000;
    static constexpr const char *defaultTool = "/usr/bin/scrot";

    static bool permissionGranted();
    static void requestPermission();
    static TellumoError permissionError();

    // The permission every helper asks; an empty pointer restores the display check.
    static void setPermission(std::shared_ptr<ScreenRecordingPermission> permission);
    static std::shared_ptr<ScreenRecordingPermission> permission();

    // Decodes the first image of the file at `path` into 8-bit sRGB RGBA with premultiplied
    // alpha (Format_RGBA8888_Premultiplied), whatever the file held. Refuses, from the header and
    // before any pixel is decoded, an empty image or one of more than 40,000,000 pixels; a file
    // that is not an image is refused the same way (code 2).
    static QImage decodeCapture(const QString &path);

    // `tool` is the screenshot program, called as `tool --select --silent -- FILE`.
    explicit ScreenRegionCapture(QString tool = QString::fromLatin1(defaultTool));
    // A capture still running is ended: the tool is killed and the capture returns none.
    ~ScreenRegionCapture();
    ScreenRegionCapture(const ScreenRegionCapture &) = delete;
    ScreenRegionCapture &operator=(const ScreenRegionCapture &) = delete;

    // The region the user chose, or none when they cancelled. Main thread; the event loop runs
    // while the user selects. A second call while one runs is refused (code 2, "…按 Esc 取消。")
    // and leaves the first undisturbed. Cancelling the awaiting task kills the tool.
    Platform::Task<std::optional<QImage>> capture();
    // Whether a capture is in progress (from the tool's start until it has ended).
    bool isRunning() const;

    struct Running;

private:
    QString m_tool;
    std::shared_ptr<Running> m_running;
};

} // namespace Tellumo
