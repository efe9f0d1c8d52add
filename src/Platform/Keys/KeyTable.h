#pragma once
// Keys and modifiers across the three vocabularies the application meets:
//
// - virtual key codes: the layout-independent key numbers stored in bindings and preferences
//   (21 is the key "4", 23 is "5", 49 the space bar, 53 Escape, 36 Return, ...);
// - X keysyms: what the X server reports and grabs (resolved to X key codes by the hot-key
//   backend, which knows the server's keyboard mapping);
// - Qt::Key values: what Qt's key events carry inside our own windows.
//
// Modifier masks likewise: stored bindings use the hot-key mask (Command 0x100, Shift 0x200,
// Option 0x800, Control 0x1000); event flags use their own bits (Shift 0x20000, Control
// 0x40000, Option 0x80000, Command 0x100000). On X11 Command is Super (Mod4) and Option is
// Alt (Mod1).

#include <QString>
#include <Qt>

#include <cstdint>
#include <optional>

class QKeyEvent;

namespace Platform {

namespace HotKeyModifier {
constexpr std::uint32_t command = 0x100;
constexpr std::uint32_t shift = 0x200;
constexpr std::uint32_t capsLock = 0x400;
constexpr std::uint32_t option = 0x800;
constexpr std::uint32_t control = 0x1000;
} // namespace HotKeyModifier

namespace EventFlag {
constexpr std::uint64_t capsLock = 0x10000;
constexpr std::uint64_t shift = 0x20000;
constexpr std::uint64_t control = 0x40000;
constexpr std::uint64_t option = 0x80000;
constexpr std::uint64_t command = 0x100000;
constexpr std::uint64_t numericPad = 0x200000;
constexpr std::uint64_t function = 0x800000;
} // namespace EventFlag

// X core modifier bits (the values of the X protocol's modifier masks).
namespace XModifier {
constexpr std::uint16_t shift = 1 << 0;
constexpr std::uint16_t lock = 1 << 1;
constexpr std::uint16_t control = 1 << 2;
constexpr std::uint16_t mod1 = 1 << 3; // Alt
constexpr std::uint16_t mod2 = 1 << 4; // usually NumLock
constexpr std::uint16_t mod4 = 1 << 6; // Super
} // namespace XModifier

struct KeyInfo {
    std::uint32_t keyCode;  // virtual key code
    std::uint32_t keysym;   // X keysym of the unshifted key; 0 when X has none
    int qtKey;              // Qt::Key; 0 when Qt has none
    bool keypad;            // the key lives on the numeric keypad
    const char16_t *name;   // display name; the space bar's is the source text "空格"
};

namespace Keys {

constexpr std::uint32_t escape = 53;
constexpr std::uint32_t space = 49;
constexpr std::uint32_t returnKey = 36;
constexpr std::uint32_t keypadEnter = 76;
constexpr std::uint32_t leftArrow = 123;
constexpr std::uint32_t rightArrow = 124;
constexpr std::uint32_t downArrow = 125;
constexpr std::uint32_t upArrow = 126;

const KeyInfo *byKeyCode(std::uint32_t keyCode);
// Accepts shifted keysyms too ("A", "!" ...), as a US layout produces them.
const KeyInfo *byKeysym(std::uint32_t keysym);
const KeyInfo *byQtKey(int qtKey, Qt::KeyboardModifiers modifiers = {});
// The key of a Qt key event: its native keysym when the platform gives one, else its Qt key.
const KeyInfo *fromEvent(const QKeyEvent &event);

// The display name of a key, or an empty text for a key code outside the table.
QString name(std::uint32_t keyCode);

std::uint32_t hotKeyMaskFromQt(Qt::KeyboardModifiers modifiers);
Qt::KeyboardModifiers qtFromHotKeyMask(std::uint32_t mask);
std::uint32_t hotKeyMaskFromEventFlags(std::uint64_t flags);
std::uint64_t eventFlagsFromHotKeyMask(std::uint32_t mask);
std::uint64_t eventFlagsFromQt(Qt::KeyboardModifiers modifiers);
std::uint16_t xModifiersFromHotKeyMask(std::uint32_t mask);
std::uint32_t hotKeyMaskFromXModifiers(std::uint16_t state);

} // namespace Keys
} // namespace Platform
