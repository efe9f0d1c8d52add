#pragma once
// A colour as callers hand it to the kit's controls: either a dynamic role, which follows the
// effective appearance of the view that draws it, or a fixed colour.

#include "NativeAppAppearance/Appearance.h"

#include <QColor>

#include <variant>

namespace NativeAppAppearance {

class NativeColor final {
public:
    NativeColor(DynamicColor role) : m_value(role) {}
    NativeColor(const QColor &fixed) : m_value(fixed) {}
    NativeColor(Qt::GlobalColor fixed) : m_value(QColor(fixed)) {}

    bool isDynamic() const { return std::holds_alternative<DynamicColor>(m_value); }
    QColor resolved(Appearance appearance) const
    {
        if (const auto *role = std::get_if<DynamicColor>(&m_value))
            return resolve(*role, appearance);
        return std::get<QColor>(m_value);
    }
    bool operator==(const NativeColor &other) const { return m_value == other.m_value; }

private:
    std::variant<DynamicColor, QColor> m_value;
};

} // namespace NativeAppAppearance
