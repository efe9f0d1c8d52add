// Global hot keys against the real X server, pressed through XTEST like a keyboard would.

#include "Platform/HotKeys/X11HotKeyService.h"

#include "Platform/ScreenCapture/X11TestDisplay.h"

#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>

#include <gtest/gtest.h>

// Last: Xlib defines macros (None, Bool, Status) that other headers use as names.
#include <X11/XKBlib.h>

using namespace Platform;

namespace {

constexpr std::uint32_t keysym4 = 0x34;
constexpr std::uint32_t keysymControl = 0xffe3;
constexpr std::uint32_t keysymAlt = 0xffe9;
constexpr std::uint32_t keysymNumLock = 0xff7f;
constexpr HotKeyChord controlOption4{21, 0x1800}; // ⌃⌥4
constexpr HotKeyIdentity identity{0x4B56524F, 7};

class X11HotKeys : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(display.isValid());
        ASSERT_TRUE(service.isAvailable());
    }
    // Presses and releases the chord with the modifiers held, as a person would.
    void pressChord(std::initializer_list<std::uint32_t> modifiers, std::uint32_t keysym)
    {
        for (std::uint32_t m : modifiers)
            display.key(display.keyCode(m), true);
        display.key(display.keyCode(keysym), true);
        display.key(display.keyCode(keysym), false);
        for (std::uint32_t m : modifiers)
            display.key(display.keyCode(m), false);
    }
    void toggleNumLock()
    {
        display.key(display.keyCode(keysymNumLock), true);
        display.key(display.keyCode(keysymNumLock), false);
    }

    // The server's modifier map: 8 rows (Shift, Lock, Control, Mod1..Mod5) of key codes.
    std::vector<xcb_keycode_t> modifierMap(int &perModifier)
    {
        xcb_connection_t *c = display.connection();
        auto *reply = xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr);
        std::vector<xcb_keycode_t> map;
        perModifier = reply ? reply->keycodes_per_modifier : 0;
        if (reply)
            map.assign(xcb_get_modifier_mapping_keycodes(reply), xcb_get_modifier_mapping_keycodes(reply) + 8 * perModifier);
        std::free(reply);
        return map;
    }
    bool setModifierMap(int perModifier, const std::vector<xcb_keycode_t> &map)
    {
        xcb_connection_t *c = display.connection();
        auto *reply = xcb_set_modifier_mapping_reply(c, xcb_set_modifier_mapping(c, std::uint8_t(perModifier), map.data()), nullptr);
        const bool ok = reply && reply->status == XCB_MAPPING_STATUS_SUCCESS;
        std::free(reply);
        return ok;
    }

    TestSupport::X11TestDisplay display;
    X11HotKeyService service;
};

} // namespace

TEST_F(X11HotKeys, APressOfTheChordIsDeliveredWithItsIdentity)
{
    const HotKeyRegistration registration = service.registerHotKey(controlOption4, identity);
    ASSERT_EQ(registration.status, HotKeyStatus::registered);
    QSignalSpy pressed(&service, &HotKeyService::hotKeyPressed);

    pressChord({keysymControl}, keysym4); // not the chord: Option is missing
    pressChord({keysymControl, keysymAlt}, keysym4);
    ASSERT_TRUE(TestSupport::pollUntil([&] { return pressed.count() >= 1; }));
    EXPECT_EQ(pressed.count(), 1);
    EXPECT_EQ(pressed.first().first().value<HotKeyIdentity>(), identity);

    service.unregisterHotKey(registration.reference);
    pressChord({keysymControl, keysymAlt}, keysym4);
    display.sync();
    QCoreApplication::processEvents();
    EXPECT_EQ(pressed.count(), 1);
}

TEST_F(X11HotKeys, HoldingTheChordDeliversItOnceWhileTheKeyRepeats)
{
    ASSERT_EQ(service.registerHotKey(controlOption4, identity).status, HotKeyStatus::registered);
    QSignalSpy pressed(&service, &HotKeyService::hotKeyPressed);
    const xcb_keycode_t four = display.keyCode(keysym4);

    // The server repeats the key while it is held: after the delay, once per interval.
    xcb_connection_t *c = display.connection();
    auto *control = xcb_get_keyboard_control_reply(c, xcb_get_keyboard_control(c), nullptr);
    ASSERT_TRUE(control);
    const bool repeats = control->global_auto_repeat == XCB_AUTO_REPEAT_MODE_ON && (control->auto_repeats[four / 8] >> (four % 8)) & 1;
    std::free(control);
    ASSERT_TRUE(repeats);
    Display *xlib = XOpenDisplay(nullptr);
    ASSERT_TRUE(xlib);
    unsigned int delay = 0, interval = 0;
    const bool known = XkbGetAutoRepeatRate(xlib, XkbUseCoreKbd, &delay, &interval);
    XCloseDisplay(xlib);
    ASSERT_TRUE(known);

    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("keydown"), QStringLiteral("ctrl+alt+4")}), 0);
    for (int i = 0; i < 3; ++i)
        display.key(four, true); // presses of a held key, as a client might send them
    TestSupport::waitUntil([] { return false; }, int(delay + 8 * interval)); // held: the server repeats
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("keyup"), QStringLiteral("4"), QStringLiteral("alt"),
                                                            QStringLiteral("ctrl")}),
              0);
    display.sync();
    TestSupport::waitUntil([] { return false; }, 50);
    EXPECT_EQ(pressed.count(), 1);

    pressChord({keysymControl, keysymAlt}, keysym4);
    ASSERT_TRUE(TestSupport::pollUntil([&] { return pressed.count() == 2; })) << "released, the chord delivers again";
}

TEST_F(X11HotKeys, TheChordWorksWhateverTheStateOfNumLock)
{
    ASSERT_EQ(service.registerHotKey(controlOption4, identity).status, HotKeyStatus::registered);
    QSignalSpy pressed(&service, &HotKeyService::hotKeyPressed);
    toggleNumLock();
    pressChord({keysymControl, keysymAlt}, keysym4);
    toggleNumLock();
    ASSERT_TRUE(TestSupport::pollUntil([&] { return pressed.count() == 1; }));
}

TEST_F(X11HotKeys, UnregisteringAfterNumLockMovedReleasesTheVariantsThatWereGrabbed)
{
    int perModifier = 0;
    const std::vector<xcb_keycode_t> original = modifierMap(perModifier);
    const xcb_keycode_t numLock = display.keyCode(keysymNumLock);
    const int mod2 = 4, mod3 = 5;
    if (std::find(original.begin() + mod2 * perModifier, original.begin() + (mod2 + 1) * perModifier, numLock)
        == original.begin() + (mod2 + 1) * perModifier)
        GTEST_SKIP() << "NumLock is not on Mod2 in this server's map";
    const HotKeyRegistration registration = service.registerHotKey(controlOption4, identity);
    ASSERT_EQ(registration.status, HotKeyStatus::registered);

    // NumLock moves to Mod3 (as xmodmap would) while the chord is held with its Mod2 variants.
    std::vector<xcb_keycode_t> moved = original;
    std::swap_ranges(moved.begin() + mod2 * perModifier, moved.begin() + (mod2 + 1) * perModifier, moved.begin() + mod3 * perModifier);
    ASSERT_TRUE(setModifierMap(perModifier, moved));
    const auto restore = qScopeGuard([&] { setModifierMap(perModifier, original); });
    TestSupport::waitUntil([] { return false; }, 50); // the service reads the mapping notice
    service.unregisterHotKey(registration.reference);

    const xcb_keycode_t four = display.keyCode(keysym4);
    const std::uint16_t withNumLock = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_2;
    EXPECT_TRUE(display.grabKey(four, withNumLock));
    display.ungrabKey(four, withNumLock);
}

TEST_F(X11HotKeys, AChordAnotherClientHoldsIsOccupiedAndNothingStaysGrabbed)
{
    const xcb_keycode_t four = display.keyCode(keysym4);
    const std::uint16_t controlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
    // The other client holds only the Caps Lock variant: a partial grab must not stay behind.
    ASSERT_TRUE(display.grabKey(four, controlAlt | XCB_MOD_MASK_LOCK));
    EXPECT_EQ(service.registerHotKey(controlOption4, identity).status, HotKeyStatus::occupied);
    display.ungrabKey(four, controlAlt | XCB_MOD_MASK_LOCK);
    EXPECT_TRUE(display.grabKey(four, controlAlt)) << "the refused registration released what it had grabbed";
    display.ungrabKey(four, controlAlt);
}

TEST_F(X11HotKeys, TheProcessRefusesAChordItAlreadyHolds)
{
    ASSERT_EQ(service.registerHotKey(controlOption4, identity).status, HotKeyStatus::registered);
    EXPECT_EQ(service.registerHotKey(controlOption4, {identity.signature, 8}).status, HotKeyStatus::occupied);
    // Another service of this process is another X client: the server refuses it too.
    X11HotKeyService second;
    EXPECT_EQ(second.registerHotKey(controlOption4, identity).status, HotKeyStatus::occupied);
}
