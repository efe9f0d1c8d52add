#include "NativeAppAppearance/NativeAccentPalette.h"

#include "NativeAppAppearance/NativeAppearanceLanguage.h"

#include <QHashFunctions>

namespace NativeAppAppearance {

namespace {
struct Entry {
    const char *rawValue;
    const char *english;
    const char *simplified;
    const char *traditional;
    double red, green, blue;
};

const Entry entries[] = {
    {"terracotta", "Terracotta", "陶土", "陶土", 0.706, 0.357, 0.263},
    {"coral", "Coral", "珊瑚", "珊瑚", 0.835, 0.267, 0.302},
    {"amber", "Amber", "琥珀", "琥珀", 0.706, 0.424, 0.102},
    {"forest", "Forest", "森林", "森林", 0.161, 0.455, 0.345},
    {"ocean", "Ocean", "海蓝", "海藍", 0.125, 0.42, 0.682},
    {"violet", "Violet", "紫罗兰", "紫羅蘭", 0.408, 0.302, 0.655},
};
} // namespace

std::optional<NativeAccentPalette> NativeAccentPalette::fromRawValue(const QString &rawValue)
{
    for (int i = 0; i < int(std::size(entries)); ++i) {
        if (rawValue == QLatin1String(entries[i].rawValue))
            return NativeAccentPalette(Value(i));
    }
    return std::nullopt;
}

QList<NativeAccentPalette> NativeAccentPalette::allCases()
{
    return {terracotta, coral, amber, forest, ocean, violet};
}

QString NativeAccentPalette::rawValue() const
{
    return QString::fromLatin1(entries[m_value].rawValue);
}

QString NativeAccentPalette::title() const
{
    return title(QStringLiteral("system"));
}

QString NativeAccentPalette::title(const QString &language) const
{
    const Entry &entry = entries[m_value];
    switch (NativeAppearanceLanguage::from(language)) {
    case NativeAppearanceLanguage::simplifiedChinese: return QString::fromUtf8(entry.simplified);
    case NativeAppearanceLanguage::traditionalChinese: return QString::fromUtf8(entry.traditional);
    case NativeAppearanceLanguage::english: break;
    }
    return QString::fromUtf8(entry.english);
}

QColor NativeAccentPalette::color() const
{
    const Entry &entry = entries[m_value];
    return QColor::fromRgbF(float(entry.red), float(entry.green), float(entry.blue), 1.0f);
}

NativeAccentPalette NativeAccentPalette::current(NativeAccentPalette fallback, const QString &key, const Platform::UserDefaults &defaults)
{
    const auto stored = defaults.string(key);
    if (!stored)
        return fallback;
    return fromRawValue(*stored).value_or(fallback);
}

size_t qHash(const NativeAccentPalette &palette, size_t seed)
{
    return ::qHash(palette.rawValue(), seed);
}

} // namespace NativeAppAppearance
