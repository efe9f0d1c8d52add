#include "Kivaro/document/DrawingTool.h"

#include "KivaroCore/Localization.h"

namespace Kivaro::DrawingTools {

QList<DrawingTool> all()
{
    return {DrawingTool::arrow, DrawingTool::rectangle, DrawingTool::ellipse, DrawingTool::step, DrawingTool::line, DrawingTool::pen};
}

int rawValue(DrawingTool tool)
{
    return int(tool);
}

std::optional<DrawingTool> fromRawValue(int raw)
{
    if (raw < int(DrawingTool::arrow) || raw > int(DrawingTool::pen))
        return std::nullopt;
    return DrawingTool(raw);
}

QString label(DrawingTool tool)
{
    switch (tool) {
    case DrawingTool::arrow:
        return kivaroCopy("箭头");
    case DrawingTool::rectangle:
        return kivaroCopy("矩形");
    case DrawingTool::ellipse:
        return kivaroCopy("椭圆");
    case DrawingTool::step:
        return kivaroCopy("数字步骤");
    case DrawingTool::line:
        return kivaroCopy("直线");
    case DrawingTool::pen:
        return kivaroCopy("画笔");
    }
    return {};
}

QString symbol(DrawingTool tool)
{
    switch (tool) {
    case DrawingTool::arrow:
        return QStringLiteral("arrow.up.right");
    case DrawingTool::rectangle:
        return QStringLiteral("rectangle");
    case DrawingTool::ellipse:
        return QStringLiteral("oval");
    case DrawingTool::step:
        return QStringLiteral("1.circle");
    case DrawingTool::line:
        return QStringLiteral("line.diagonal");
    case DrawingTool::pen:
        return QStringLiteral("pencil.tip");
    }
    return {};
}

} // namespace Kivaro::DrawingTools
