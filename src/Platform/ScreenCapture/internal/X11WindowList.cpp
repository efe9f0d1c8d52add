#include "Platform/ScreenCapture/internal/X11WindowList.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <vector>

namespace Platform::detail {

namespace {

struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

xcb_get_property_cookie_t requestProperty(XConnection &x, xcb_window_t window, const char *name, xcb_atom_t type,
                                          std::uint32_t length = 1024)
{
    return xcb_get_property(x.get(), 0, window, x.atom(name), type, 0, length);
}

template <typename T>
std::vector<T> propertyValues(xcb_connection_t *c, xcb_get_property_cookie_t cookie)
{
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, nullptr));
    std::vector<T> values;
    if (!reply || reply->format != sizeof(T) * 8)
        return values;
    const auto *data = static_cast<const T *>(xcb_get_property_value(reply.get()));
    values.assign(data, data + xcb_get_property_value_length(reply.get()) / int(sizeof(T)));
    return values;
}

bool hasWindowManager(XConnection &x)
{
    xcb_connection_t *c = x.get();
    const auto check = propertyValues<std::uint32_t>(c, requestProperty(x, x.root(), "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW));
    if (check.empty())
        return false;
    // A stale property names a window that is gone, or one that does not point to itself.
    const auto self = propertyValues<std::uint32_t>(c, requestProperty(x, check.front(), "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW));
    return !self.empty() && self.front() == check.front();
}

struct Pending {
    xcb_window_t window;
    xcb_get_window_attributes_cookie_t attributes;
    xcb_get_geometry_cookie_t geometry;
    xcb_translate_coordinates_cookie_t position;
    xcb_get_property_cookie_t pid;
    xcb_get_property_cookie_t type;
    xcb_get_property_cookie_t state;
    xcb_get_property_cookie_t desktop;
    xcb_get_property_cookie_t extents;
};

// `window` grown by _NET_FRAME_EXTENTS (left, right, top, bottom). Whoever wrote them, each is
// at most the screens' size along its axis, and the result reaches beyond the screens no further
// than the window itself does: a frame is never bigger than the screens and the window together.
// All of it fits an int (protocol sizes are 16-bit).
QRect decoratedFrame(const QRect &window, const std::vector<std::uint32_t> &extents, const QRect &screens)
{
    const auto bounded = [](std::uint32_t extent, int limit) { return int(std::min(extent, std::uint32_t(std::max(limit, 0)))); };
    const int left = bounded(extents[0], screens.width()), right = bounded(extents[1], screens.width());
    const int top = bounded(extents[2], screens.height()), bottom = bounded(extents[3], screens.height());
    return window.adjusted(-left, -top, right, bottom).intersected(screens.united(window));
}

} // namespace

xcb_window_t topLevelAncestor(XConnection &x, xcb_window_t window)
{
    xcb_connection_t *c = x.get();
    for (int depth = 0; depth < 64; ++depth) {
        Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
        if (!tree)
            return XCB_WINDOW_NONE;
        if (tree->parent == tree->root || tree->parent == XCB_WINDOW_NONE)
            return window;
        window = tree->parent;
    }
    return XCB_WINDOW_NONE;
}

QList<NativeWindow> listWindows(XConnection &x, const QRect &screens)
{
    xcb_connection_t *c = x.get();
    const bool managed = hasWindowManager(x);

    std::vector<xcb_window_t> bottomToTop;
    if (managed) {
        bottomToTop = propertyValues<std::uint32_t>(c, requestProperty(x, x.root(), "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW, 65536));
    } else {
        Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, x.root()), nullptr));
        if (tree) {
            const xcb_window_t *children = xcb_query_tree_children(tree.get());
            bottomToTop.assign(children, children + xcb_query_tree_children_length(tree.get()));
        }
    }
    std::uint32_t currentDesktop = 0xffffffffu;
    if (managed) {
        const auto desktop = propertyValues<std::uint32_t>(c, requestProperty(x, x.root(), "_NET_CURRENT_DESKTOP", XCB_ATOM_CARDINAL));
        if (!desktop.empty())
            currentDesktop = desktop.front();
    }

    // Every question for every window goes out before the first answer is read: one round trip.
    std::vector<Pending> pending;
    pending.reserve(bottomToTop.size());
    for (auto it = bottomToTop.rbegin(); it != bottomToTop.rend(); ++it) {
        const xcb_window_t w = *it;
        pending.push_back({w, xcb_get_window_attributes(c, w), xcb_get_geometry(c, w), xcb_translate_coordinates(c, w, x.root(), 0, 0),
                           requestProperty(x, w, "_NET_WM_PID", XCB_ATOM_CARDINAL, 1),
                           requestProperty(x, w, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM, 32),
                           requestProperty(x, w, "_NET_WM_STATE", XCB_ATOM_ATOM, 64),
                           requestProperty(x, w, "_NET_WM_DESKTOP", XCB_ATOM_CARDINAL, 1),
                           requestProperty(x, w, "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL, 4)});
    }

    const xcb_atom_t hidden = x.atom("_NET_WM_STATE_HIDDEN");
    const xcb_atom_t normalTypes[] = {x.atom("_NET_WM_WINDOW_TYPE_NORMAL"), x.atom("_NET_WM_WINDOW_TYPE_DIALOG"),
                                      x.atom("_NET_WM_WINDOW_TYPE_UTILITY"), x.atom("_NET_WM_WINDOW_TYPE_TOOLBAR"),
                                      x.atom("_NET_WM_WINDOW_TYPE_SPLASH")};
    const xcb_atom_t otherTypes[] = {x.atom("_NET_WM_WINDOW_TYPE_DESKTOP"), x.atom("_NET_WM_WINDOW_TYPE_DOCK"),
                                     x.atom("_NET_WM_WINDOW_TYPE_MENU"), x.atom("_NET_WM_WINDOW_TYPE_DROPDOWN_MENU"),
                                     x.atom("_NET_WM_WINDOW_TYPE_POPUP_MENU"), x.atom("_NET_WM_WINDOW_TYPE_TOOLTIP"),
                                     x.atom("_NET_WM_WINDOW_TYPE_NOTIFICATION"), x.atom("_NET_WM_WINDOW_TYPE_COMBO"),
                                     x.atom("_NET_WM_WINDOW_TYPE_DND")};
    const auto isOneOf = [](xcb_atom_t type, const auto &list) {
        return type != XCB_ATOM_NONE && std::find(std::begin(list), std::end(list), type) != std::end(list);
    };

    QList<NativeWindow> result;
    for (const Pending &p : pending) {
        Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(c, p.attributes, nullptr));
        Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, p.geometry, nullptr));
        Reply<xcb_translate_coordinates_reply_t> position(xcb_translate_coordinates_reply(c, p.position, nullptr));
        const auto pid = propertyValues<std::uint32_t>(c, p.pid);
        const auto types = propertyValues<std::uint32_t>(c, p.type);
        const auto states = propertyValues<std::uint32_t>(c, p.state);
        const auto desktop = propertyValues<std::uint32_t>(c, p.desktop);
        const auto extents = propertyValues<std::uint32_t>(c, p.extents);

        if (!attributes || !geometry || !position)
            continue; // gone meanwhile
        if (attributes->map_state != XCB_MAP_STATE_VIEWABLE || attributes->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT)
            continue;
        // Override-redirect windows are menus, tool tips and the capture's overlays; a window
        // manager never lists them, the tree does.
        if (attributes->override_redirect)
            continue;
        // Types are listed in order of preference, and the first one we know counts (a desktop's
        // own type may come first). A window that names none we know is a normal window.
        const auto known = std::find_if(types.begin(), types.end(),
                                        [&](xcb_atom_t type) { return isOneOf(type, normalTypes) || isOneOf(type, otherTypes); });
        if (known != types.end() && !isOneOf(*known, normalTypes))
            continue;
        bool isHidden = false;
        for (std::uint32_t state : states)
            isHidden = isHidden || (hidden != XCB_ATOM_NONE && state == hidden);
        if (isHidden)
            continue;
        if (managed && !desktop.empty() && desktop.front() != 0xffffffffu && currentDesktop != 0xffffffffu
            && desktop.front() != currentDesktop)
            continue;
        const std::int64_t processID = pid.empty() ? 0 : std::int64_t(pid.front());

        const int border = geometry->border_width;
        QRect frame(position->dst_x - border, position->dst_y - border, geometry->width + 2 * border, geometry->height + 2 * border);
        if (managed && extents.size() == 4)
            frame = decoratedFrame(QRect(position->dst_x, position->dst_y, geometry->width, geometry->height), extents, screens);
        result.append({p.window, frame, processID});
    }
    return result;
}

} // namespace Platform::detail
