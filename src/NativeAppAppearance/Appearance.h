#pragma once
// The two appearances every view of the kit draws in, and the dynamic colours it draws with.
//
// A dynamic colour is a role (label, accent, separator, ...) that resolves to a concrete colour
// only for a given appearance, so that light and dark need no drawing code of their own.
// "At alpha a" in drawing code always replaces the resolved colour's alpha by a; it never
// multiplies (a label colour of alpha 0.85 "at alpha 0.05" is 0.05).

#include <QColor>
#include <QString>

#include <optional>

namespace NativeAppAppearance {

enum class Appearance { light, dark };

enum class DynamicColor {
    label,
    secondaryLabel,
    disabledControlText,
    controlAccent,
    separator,
    windowBackground,
    controlBackground,
    systemRed,
    systemYellow,
    systemGreen,
    systemBlue,
};

// The concrete colour of a role in an appearance.
QColor resolve(DynamicColor color, Appearance appearance);

// `color` with its alpha replaced by `alpha` (0...1).
QColor withAlpha(QColor color, double alpha);

// "light" / "dark"; parsing accepts exactly these.
QString appearanceName(Appearance appearance);
std::optional<Appearance> appearanceFromName(const QString &name);

} // namespace NativeAppAppearance
