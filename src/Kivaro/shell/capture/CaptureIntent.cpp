#include "Kivaro/shell/capture/CaptureIntent.h"

namespace Kivaro::CaptureIntents {

QString rawValue(CaptureIntent intent)
{
    switch (intent) {
    case CaptureIntent::image:
        return QStringLiteral("image");
    case CaptureIntent::text:
        return QStringLiteral("text");
    case CaptureIntent::polishedText:
        return QStringLiteral("polishedText");
    }
    return QStringLiteral("image");
}

std::optional<CaptureIntent> fromRawValue(const QString &raw)
{
    for (CaptureIntent intent : {CaptureIntent::image, CaptureIntent::text, CaptureIntent::polishedText})
        if (raw == rawValue(intent))
            return intent;
    return std::nullopt;
}

CaptureIntent read(const Platform::UserDefaults &defaults)
{
    const QVariant value = defaults.object(QString::fromLatin1(preferenceKey));
    if (value.typeId() != QMetaType::QString)
        return CaptureIntent::image;
    return fromRawValue(value.toString()).value_or(CaptureIntent::image);
}

} // namespace Kivaro::CaptureIntents
