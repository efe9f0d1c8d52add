#pragma once
// What a capture produces once the area is chosen, stored by its raw value under
// "kivaro.captureIntent": "image" (the default), "text" (recognise the text and copy it) or
// "polishedText" (recognise, polish through the AI service, copy).

#include "Platform/Defaults/UserDefaults.h"

#include <QString>

#include <optional>

namespace Kivaro {

enum class CaptureIntent { image, text, polishedText };

namespace CaptureIntents {
constexpr const char *preferenceKey = "kivaro.captureIntent";

QString rawValue(CaptureIntent intent);
std::optional<CaptureIntent> fromRawValue(const QString &raw);
// Exactly "text" or "polishedText" gives that intent; anything else, or nothing, gives image.
CaptureIntent read(const Platform::UserDefaults &defaults);
} // namespace CaptureIntents

} // namespace Kivaro
