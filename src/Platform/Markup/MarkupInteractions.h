#pragma once
// What the canvas lets the user do with an element. An empty set makes the element inert
// (the picture, mosaic patches).

#include <QFlags>
#include <QStringList>

namespace Platform {

enum class MarkupInteraction : quint8 {
    Select = 0x1,
    Move = 0x2,
    Resize = 0x4,
    Style = 0x8,
    Delete = 0x10,
};
Q_DECLARE_FLAGS(MarkupInteractions, MarkupInteraction)
Q_DECLARE_OPERATORS_FOR_FLAGS(MarkupInteractions)

// Stored by name ("select", "move", "resize", "style", "delete"), never by bit value.
QStringList interactionNames(MarkupInteractions interactions);
// Unknown names are ignored.
MarkupInteractions interactionsFromNames(const QStringList &names);

} // namespace Platform
