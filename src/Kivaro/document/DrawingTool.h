#pragma once
// The shape tools of the select-and-edit mode, by their stored raw values (4 to 9; 0 to 3 name
// no tool), in the order of the tool buttons.

#include <QList>
#include <QString>

#include <optional>

namespace Kivaro {

enum class DrawingTool { arrow = 4, rectangle = 5, ellipse = 6, step = 7, line = 8, pen = 9 };

namespace DrawingTools {
QList<DrawingTool> all();
int rawValue(DrawingTool tool);
// The tool of a raw value; nothing outside 4...9.
std::optional<DrawingTool> fromRawValue(int raw);
// The looked-up name: the button title and the undo name.
QString label(DrawingTool tool);
// The symbol name (NativeSymbols).
QString symbol(DrawingTool tool);
} // namespace DrawingTools

} // namespace Kivaro
