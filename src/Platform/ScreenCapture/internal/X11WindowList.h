#pragma once
// The windows a user can pick on an X display, front-most first, in native pixels.
//
// Under a window manager (one that names itself through _NET_SUPPORTING_WM_CHECK) the list is
// _NET_CLIENT_LIST_STACKING, which the manager keeps bottom to top; frames grow by
// _NET_FRAME_EXTENTS to include the decorations. Without one it is the root's children from
// xcb_query_tree (also bottom to top), minus override-redirect windows (menus, tool tips, our
// own overlays). Either way only viewable windows of a normal kind on the current desktop
// remain, and windows whose _NET_WM_PID is `ownProcess` are left out.

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

QList<NativeWindow> listWindows(XConnection &connection, std::int64_t ownProcess);

// The child of the root that holds `window` (its window-manager frame, or itself).
xcb_window_t topLevelAncestor(XConnection &connection, xcb_window_t window);

} // namespace Platform::detail
