#pragma once
// The six accent palettes an application can offer, each with a stable identifier (its raw
// value, which is what gets stored), a title in English, Simplified and Traditional Chinese, and
// one opaque colour. `allCases` is in declaration order: terracotta, coral, amber, forest,
// ocean, violet.

#include "Platform/Defaults/UserDefaults.h"

#include <QColor>
#include <QList>
#include <QString>

#include <optional>

namespace NativeAppAppearance {

class NativeAccentPalette final {
public:
    enum Value { terracotta, coral, amber, forest, ocean, violet };

    static constexpr const char *standardDefaultsKey = "appearance.accentPalette";

    constexpr NativeAccentPalette(Value value) : m_value(value) {}
    // Exact, case-sensitive raw values only.
    static std::optional<NativeAccentPalette> fromRawValue(const QString &rawValue);
    static QList<NativeAccentPalette> allCases();

    Value value() const { return m_value; }
    QString rawValue() const;
    QString id() const { return rawValue(); }
    // In the system's language.
    QString title() const;
    QString title(const QString &language) const;
    QColor color() const;

    // The palette stored under `key`, or `fallback` when nothing or no palette's raw value is.
    static NativeAccentPalette current(NativeAccentPalette fallback, const QString &key, const Platform::UserDefaults &defaults);

    bool operator==(const NativeAccentPalette &other) const = default;

private:
    Value m_value;
};

size_t qHash(const NativeAccentPalette &palette, size_t seed = 0);

} // namespace NativeAppAppearance
