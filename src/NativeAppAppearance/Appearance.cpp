#include "NativeAppAppearance/Appearance.h"

namespace NativeAppAppearance {

namespace {
QColor rgba(int r, int g, int b, double a = 1.0)
{
    QColor c(r, g, b);
    c.setAlphaF(float(a));
    return c;
}
} // namespace

QColor resolve(DynamicColor color, Appearance appearance)
{
    const bool dark = appearance == Appearance::dark;
    // Text and hairline roles are translucent black or white so that they sit correctly on any
    // of the window, control and highlight backgrounds; fills are opaque.
    switch (color) {
    case DynamicColor::label:
        return dark ? rgba(255, 255, 255, 0.85) : rgba(0, 0, 0, 0.85);
    case DynamicColor::secondaryLabel:
        return dark ? rgba(255, 255, 255, 0.55) : rgba(0, 0, 0, 0.5);
    case DynamicColor::disabledControlText:
        return dark ? rgba(255, 255, 255, 0.25) : rgba(0, 0, 0, 0.25);
    case DynamicColor::controlAccent:
        return dark ? rgba(10, 132, 255) : rgba(0, 122, 255);
    case DynamicColor::separator:
        return dark ? rgba(255, 255, 255, 0.1) : rgba(0, 0, 0, 0.1);
    case DynamicColor::windowBackground:
        return dark ? rgba(50, 50, 50) : rgba(236, 236, 236);
    case DynamicColor::controlBackground:
        return dark ? rgba(30, 30, 30) : rgba(255, 255, 255);
    case DynamicColor::systemRed:
        return dark ? rgba(255, 69, 58) : rgba(255, 59, 48);
    case DynamicColor::systemYellow:
        return dark ? rgba(255, 214, 10) : rgba(255, 204, 0);
    case DynamicColor::systemGreen:
        return dark ? rgba(50, 215, 75) : rgba(40, 205, 65);
    case DynamicColor::systemBlue:
        return dark ? rgba(10, 132, 255) : rgba(0, 122, 255);
    }
    return {};
}

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(float(qBound(0.0, alpha, 1.0)));
    return color;
}

QString appearanceName(Appearance appearance)
{
    return appearance == Appearance::dark ? QStringLiteral("dark") : QStringLiteral("light");
}

std::optional<Appearance> appearanceFromName(const QString &name)
{
    if (name == QLatin1String("light"))
        return Appearance::light;
    if (name == QLatin1String("dark"))
        return Appearance::dark;
    return std::nullopt;
}

} // namespace NativeAppAppearance
