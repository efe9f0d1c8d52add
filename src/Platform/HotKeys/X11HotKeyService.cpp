#include "Platform/HotKeys/X11HotKeyService.h"

#include "Platform/HotKeys/HotKeyRegistry.h"
#include "Platform/Keys/KeyTable.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QHash>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <bitset>
#include <cstdlib>
#include <vector>

namespace Platform {

namespace {

constexpr std::uint32_t numLockKeysym = 0xff7f;
constexpr std::uint8_t badAccess = 10;
// The modifiers a chord is made of; every other bit (locks, buttons, groups) is ignored.
constexpr std::uint16_t chordModifiers = XModifier::shift | XModifier::control | XModifier::mod1 | XModifier::mod4;

struct Grab {
    std::vector<xcb_keycode_t> keyCodes;
    std::uint16_t modifiers = 0;
    // The lock variants grabbed, kept: NumLock may sit on another modifier by the time of the ungrab.
    std::vector<std::uint16_t> locks;
    HotKeyIdentity identity;
};

} // namespace

struct X11HotKeyService::Private {
    xcb_connection_t *connection = nullptr;
    xcb_window_t root = XCB_WINDOW_NONE;
    xcb_key_symbols_t *symbols = nullptr;
    std::uint16_t numLockMask = 0;
    QSocketNotifier *notifier = nullptr;
    HotKeyRegistry registry;
    QHash<std::uint64_t, Grab> grabs;
    // A held key repeats. To this connection (which never asks for detectable auto-repeat) the
    // server sends each repeat as a release and a press with one time stamp; a server that sends
    // presses alone is covered by `held`, the keys pressed and not yet released. A release is
    // never lost: the press made the grab active, and only its release ends it.
    xcb_keycode_t releasedKey = 0;
    xcb_timestamp_t releasedAt = 0;
    std::bitset<256> held;

    bool valid() const { return connection && !xcb_connection_has_error(connection); }

    std::vector<std::uint16_t> lockVariants() const
    {
        std::vector<std::uint16_t> variants{0, XModifier::lock};
        if (numLockMask) {
            variants.push_back(numLockMask);
            variants.push_back(std::uint16_t(numLockMask | XModifier::lock));
        }
        return variants;
    }

    void readNumLockMask()
    {
        numLockMask = 0;
        auto *reply = xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr);
        if (!reply)
            return;
        xcb_keycode_t *numLock = xcb_key_symbols_get_keycode(symbols, numLockKeysym);
        const xcb_keycode_t *map = xcb_get_modifier_mapping_keycodes(reply);
        const int perModifier = reply->keycodes_per_modifier;
        for (int modifier = 0; modifier < 8 && numLock; ++modifier)
            for (int k = 0; k < perModifier; ++k)
                for (const xcb_keycode_t *n = numLock; *n != XCB_NO_SYMBOL; ++n)
                    if (map[modifier * perModifier + k] == *n && *n != 0)
                        numLockMask = std::uint16_t(1u << modifier);
        std::free(numLock);
        std::free(reply);
    }

    void ungrab(const Grab &grab)
    {
        for (xcb_keycode_t code : grab.keyCodes)
            for (std::uint16_t lock : grab.locks)
                xcb_ungrab_key(connection, code, root, std::uint16_t(grab.modifiers | lock));
        // A round trip, so that the keys are free for other clients when this returns.
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    }
};

X11HotKeyService::X11HotKeyService(QObject *parent) : HotKeyService(parent), d(std::make_unique<Private>())
{
    int screenNumber = 0;
    d->connection = xcb_connect(nullptr, &screenNumber);
    if (!d->valid())
        return;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(d->connection));
    for (int i = 0; it.rem; ++i, xcb_screen_next(&it))
        if (i == screenNumber)
            d->root = it.data->root;
    d->symbols = xcb_key_symbols_alloc(d->connection);
    d->readNumLockMask();
    d->notifier = new QSocketNotifier(xcb_get_file_descriptor(d->connection), QSocketNotifier::Read, this);
    connect(d->notifier, &QSocketNotifier::activated, this, &X11HotKeyService::readEvents);
}

X11HotKeyService::~X11HotKeyService()
{
    if (d->symbols)
        xcb_key_symbols_free(d->symbols);
    // Disconnecting releases every grab of this connection.
    if (d->connection)
        xcb_disconnect(d->connection);
}

bool X11HotKeyService::isAvailable() const
{
    return d->valid() && d->root != XCB_WINDOW_NONE;
}

HotKeyRegistration X11HotKeyService::registerHotKey(HotKeyChord chord, HotKeyIdentity identity)
{
    if (!isAvailable())
        return {HotKeyStatus::unavailable, 0};
    if (d->registry.holds(chord))
        return {HotKeyStatus::occupied, 0};
    const KeyInfo *key = Keys::byKeyCode(chord.keyCode);
    if (!key || key->keysym == 0)
        return {HotKeyStatus::unknownKey, 0};
    Grab grab;
    grab.modifiers = std::uint16_t(Keys::xModifiersFromHotKeyMask(chord.modifiers) & chordModifiers);
    grab.identity = identity;
    if (xcb_keycode_t *codes = xcb_key_symbols_get_keycode(d->symbols, key->keysym)) {
        for (const xcb_keycode_t *code = codes; *code != XCB_NO_SYMBOL; ++code)
            if (std::find(grab.keyCodes.begin(), grab.keyCodes.end(), *code) == grab.keyCodes.end())
                grab.keyCodes.push_back(*code);
        std::free(codes);
    }
    if (grab.keyCodes.empty())
        return {HotKeyStatus::unknownKey, 0};

    grab.locks = d->lockVariants();
    std::vector<xcb_void_cookie_t> cookies;
    for (xcb_keycode_t code : grab.keyCodes)
        for (std::uint16_t lock : grab.locks)
            cookies.push_back(xcb_grab_key_checked(d->connection, 1, d->root, std::uint16_t(grab.modifiers | lock), code,
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    bool refused = false;
    bool failed = false;
    for (xcb_void_cookie_t cookie : cookies)
        if (xcb_generic_error_t *error = xcb_request_check(d->connection, cookie)) {
            refused = refused || error->error_code == badAccess;
            failed = true;
            std::free(error);
        }
    // The checks above may have read events into xcb's queue, where the notifier cannot see them.
    QTimer::singleShot(0, this, &X11HotKeyService::readEvents);
    if (failed) {
        // Ungrabbing a combination we never got is harmless: it only removes our own grabs.
        d->ungrab(grab);
        return {refused ? HotKeyStatus::occupied : HotKeyStatus::unavailable, 0};
    }
    const std::uint64_t reference = d->registry.add(chord, identity);
    d->grabs.insert(reference, grab);
    return {HotKeyStatus::registered, reference};
}

void X11HotKeyService::unregisterHotKey(std::uint64_t reference)
{
    if (!d->registry.remove(reference))
        return;
    const Grab grab = d->grabs.take(reference);
    if (d->valid())
        d->ungrab(grab);
}

void X11HotKeyService::readEvents()
{
    if (!d->valid())
        return;
    while (xcb_generic_event_t *event = xcb_poll_for_event(d->connection)) {
        const std::uint8_t type = event->response_type & 0x7f;
        if (type == XCB_KEY_RELEASE) {
            const auto *release = reinterpret_cast<xcb_key_release_event_t *>(event);
            d->releasedKey = release->detail;
            d->releasedAt = release->time;
            d->held.reset(release->detail);
        } else if (type == XCB_KEY_PRESS) {
            const auto *press = reinterpret_cast<xcb_key_press_event_t *>(event);
            const bool repeat = d->held.test(press->detail) || (press->detail == d->releasedKey && press->time == d->releasedAt);
            d->releasedKey = 0;
            d->held.set(press->detail);
            const auto modifiers = std::uint16_t(press->state & chordModifiers);
            if (!repeat)
                for (const Grab &grab : std::as_const(d->grabs))
                    if (grab.modifiers == modifiers
                        && std::find(grab.keyCodes.begin(), grab.keyCodes.end(), press->detail) != grab.keyCodes.end()) {
                        Q_EMIT hotKeyPressed(grab.identity);
                        break;
                    }
        } else if (type == XCB_MAPPING_NOTIFY) {
            // Key codes of existing grabs stay as they were; new registrations see the new map.
            xcb_refresh_keyboard_mapping(d->symbols, reinterpret_cast<xcb_mapping_notify_event_t *>(event));
            d->readNumLockMask();
        }
        std::free(event);
    }
}

} // namespace Platform
