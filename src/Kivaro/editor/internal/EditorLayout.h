#pragma once
// Where the editor window's parts go, from the root view's size and the preferred sizes of the
// dock and the voice panel (points, origin top left):
// - the dock centred, 16 above the bottom edge;
// - the canvas host 12 from the left, right and top edges, `canvasBottomGap` above the dock;
// - the status line centred 5 above the dock, at most 0.9 × the width;
// - the voice panel centred 12 above the dock, at most 0.9 × the width.
// The window's content is never smaller than `minimumSize`.

#include <QRect>
#include <QSize>

namespace Kivaro::detail {

struct EditorLayout {
    static constexpr QSize minimumSize{760, 540};
    static constexpr QSize preferredSize{1080, 760};
    static constexpr int statusHeight = 16;

    QRect canvasHost;
    QRect dock;
    QRect status;
    QRect voicePanel;

    static EditorLayout place(QSize root, QSize dock, QSize voicePanel, int canvasBottomGap);
};

} // namespace Kivaro::detail
