#include "NativeAppAppearance/NativeFonts.h"

#include <QGuiApplication>

namespace NativeAppAppearance::NativeFonts {

QFont system(qreal size, QFont::Weight weight)
{
    QFont font = QGuiApplication::font();
    QStringList families = font.families();
    if (families.isEmpty())
        families << font.family();
    for (const char *fallback : {"Noto Sans CJK SC", "WenQuanYi Micro Hei"}) {
        if (!families.contains(QLatin1String(fallback)))
            families << QString::fromLatin1(fallback);
    }
    font.setFamilies(families);
    // Pixel sizes keep the layout's point measurements independent of the screen's DPI setting.
    font.setPixelSize(qMax(1, qRound(size)));
    font.setWeight(weight);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

} // namespace NativeAppAppearance::NativeFonts
