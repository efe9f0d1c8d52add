#pragma once
// The application's own X connection (Qt's) and atom look-ups, for the window helpers here.

#include <xcb/xcb.h>

namespace Platform::detail {

// Qt's connection to the X server, or null on another platform (offscreen in tests).
xcb_connection_t *x11Connection();
// The atom of `name`, or XCB_ATOM_NONE when the server does not answer.
xcb_atom_t internAtom(xcb_connection_t *connection, const char *name);

} // namespace Platform::detail
