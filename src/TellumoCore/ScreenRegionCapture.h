#pragma once
// The screen-recording permission helpers and the bounded decoding of a captured image file.
//
// Errors are TellumoError in the domain "Tellumo.Capture": code 1 asks the user to allow
// screen recording, code 2 carries a decoding failure. Their messages are used as they stand.
//
// The permission is answered by a replaceable ScreenRecordingPermission (a reachable X display
// by default), so that tests and verification runs can refuse it.

#include "TellumoCore/ScreenRecordingPermission.h"
#include "TellumoCore/TellumoError.h"

#include <QImage>
#include <QString>

#include <memory>

namespace Tellumo::ScreenRegionCapture {

constexpr const char *errorDomain = "Tellumo.Capture";
constexpr qint64 maxDecodedPixels = 40'000'000;

bool permissionGranted();
void requestPermission();
TellumoError permissionError();

// The permission every helper asks; an empty pointer restores the display check.
void setPermission(std::shared_ptr<ScreenRecordingPermission> permission);
std::shared_ptr<ScreenRecordingPermission> permission();

// Decodes the first image of the file at `path` into 8-bit sRGB RGBA with premultiplied alpha
// (Format_RGBA8888_Premultiplied), whatever the file held. Refuses, from the header and before
// any pixel is decoded, an empty image or one of more than 40,000,000 pixels; a file that is
// not an image is refused the same way (code 2).
QImage decodeCapture(const QString &path);

} // namespace Tellumo::ScreenRegionCapture
