#pragma once
// The windows a user can pick on an X display, front-most first, in native pixels.
//
// Under a window manager (one that names itself through _NET_SUPPORTING_WM_CHECK) the list is
// _NET_CLIENT_LIST_STACKING, which the manager keeps bottom to top; frames grow by
// _NET_FRAME_EXTENTS to include the decorations. Without one it is the root's children from
// xcb_query_tree (also bottom to top). Either way only viewable windows of a normal kind on the
// current desktop remain: override-redirect windows (menus, tool tips, the capture's own
// overlays) never do. This process's other windows are listed like any other.
//
// Frames are bounded: the decorations _NET_FRAME_EXTENTS adds (any client may write that
// property on its own window) are each at most the size of `screens`, and the decorated frame
// reaches beyond `screens` (the screens' union, root pixels) no further than the window itself.

#include "Platform/ScreenCapture/internal/XConnection.h"

#include <QList>
#include <QRect>

#include <cstdint>

namespace Platform::detail {

struct NativeWindow {
    std::uint32_t windowID = 0; // the client window
    QRect frame;                // root pixels, decorations included
    std::int64_t processID = 0;
};

QList<NativeWindow> listWindows(XConnection &connection, const QRect &screens);

// The child of the root that holds `window` (its window-manager frame, or itself).
xcb_window_t topLevelAncestor(XConnection &connection, xcb_window_t window);

} // namespace Platform::detail
