#include "Kivaro/editor/internal/EditorLayout.h"

#include <QtGlobal>

namespace Kivaro::detail {

EditorLayout EditorLayout::place(QSize root, QSize dock, QSize voicePanel, int canvasBottomGap)
{
    const int w = root.width(), h = root.height();
    const int band = int(0.9 * w);
    EditorLayout layout;
    layout.dock = QRect((w - dock.width()) / 2, h - 16 - dock.height(), dock.width(), dock.height());
    const int top = layout.dock.top();
    layout.canvasHost = QRect(12, 12, qMax(0, w - 24), qMax(0, top - canvasBottomGap - 12));
    layout.status = QRect((w - band) / 2, top - 5 - statusHeight, band, statusHeight);
    const int panelWidth = qMin(voicePanel.width(), band);
    layout.voicePanel = QRect((w - panelWidth) / 2, top - 12 - voicePanel.height(), panelWidth, voicePanel.height());
    return layout;
}

} // namespace Kivaro::detail
