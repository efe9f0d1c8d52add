#include "Platform/Keys/KeyTable.h"

#include <QKeyEvent>

#include <array>

namespace Platform {
namespace {

// Virtual key code, unshifted X keysym, Qt key, keypad flag, display name.
constexpr KeyInfo kKeys[] = {
    {0, 0x61, Qt::Key_A, false, u"A"},
    {1, 0x73, Qt::Key_S, false, u"S"},
    {2, 0x64, Qt::Key_D, false, u"D"},
    {3, 0x66, Qt::Key_F, false, u"F"},
    {4, 0x68, Qt::Key_H, false, u"H"},
    {5, 0x67, Qt::Key_G, false, u"G"},
    {6, 0x7a, Qt::Key_Z, false, u"Z"},
    {7, 0x78, Qt::Key_X, false, u"X"},
    {8, 0x63, Qt::Key_C, false, u"C"},
    {9, 0x76, Qt::Key_V, false, u"V"},
    {11, 0x62, Qt::Key_B, false, u"B"},
    {12, 0x71, Qt::Key_Q, false, u"Q"},
    {13, 0x77, Qt::Key_W, false, u"W"},
    {14, 0x65, Qt::Key_E, false, u"E"},
    {15, 0x72, Qt::Key_R, false, u"R"},
    {16, 0x79, Qt::Key_Y, false, u"Y"},
    {17, 0x74, Qt::Key_T, false, u"T"},
    {18, 0x31, Qt::Key_1, false, u"1"},
    {19, 0x32, Qt::Key_2, false, u"2"},
    {20, 0x33, Qt::Key_3, false, u"3"},
    {21, 0x34, Qt::Key_4, false, u"4"},
    {22, 0x36, Qt::Key_6, false, u"6"},
    {23, 0x35, Qt::Key_5, false, u"5"},
    {24, 0x3d, Qt::Key_Equal, false, u"="},
    {25, 0x39, Qt::Key_9, false, u"9"},
    {26, 0x37, Qt::Key_7, false, u"7"},
    {27, 0x2d, Qt::Key_Minus, false, u"-"},
    {28, 0x38, Qt::Key_8, false, u"8"},
    {29, 0x30, Qt::Key_0, false, u"0"},
    {30, 0x5d, Qt::Key_BracketRight, false, u"]"},
    {31, 0x6f, Qt::Key_O, false, u"O"},
    {32, 0x75, Qt::Key_U, false, u"U"},
    {33, 0x5b, Qt::Key_BracketLeft, false, u"["},
    {34, 0x69, Qt::Key_I, false, u"I"},
    {35, 0x70, Qt::Key_P, false, u"P"},
    {36, 0xff0d, Qt::Key_Return, false, u"↩"},
    {37, 0x6c, Qt::Key_L, false, u"L"},
    {38, 0x6a, Qt::Key_J, false, u"J"},
    {39, 0x27, Qt::Key_Apostrophe, false, u"'"},
    {40, 0x6b, Qt::Key_K, false, u"K"},
    {41, 0x3b, Qt::Key_Semicolon, false, u";"},
    {42, 0x5c, Qt::Key_Backslash, false, u"\\"},
    {43, 0x2c, Qt::Key_Comma, false, u","},
    {44, 0x2f, Qt::Key_Slash, false, u"/"},
    {45, 0x6e, Qt::Key_N, false, u"N"},
    {46, 0x6d, Qt::Key_M, false, u"M"},
    {47, 0x2e, Qt::Key_Period, false, u"."},
    {48, 0xff09, Qt::Key_Tab, false, u"Tab"},
    {49, 0x20, Qt::Key_Space, false, u"空格"},
    {50, 0x60, Qt::Key_QuoteLeft, false, u"`"},
    {51, 0xff08, Qt::Key_Backspace, false, u"⌫"},
    {53, 0xff1b, Qt::Key_Escape, false, u"⎋"},
    {54, 0xffec, Qt::Key_Meta, false, u"⌘"},
    {55, 0xffeb, Qt::Key_Meta, false, u"⌘"},
    {56, 0xffe1, Qt::Key_Shift, false, u"⇧"},
    {57, 0xffe5, Qt::Key_CapsLock, false, u"⇪"},
    {58, 0xffe9, Qt::Key_Alt, false, u"⌥"},
    {59, 0xffe3, Qt::Key_Control, false, u"⌃"},
    {60, 0xffe2, Qt::Key_Shift, false, u"⇧"},
    {61, 0xffea, Qt::Key_Alt, false, u"⌥"},
    {62, 0xffe4, Qt::Key_Control, false, u"⌃"},
    {63, 0, 0, false, u"fn"},
    {64, 0xffce, Qt::Key_F17, false, u"F17"},
    {65, 0xffae, Qt::Key_Period, true, u"."},
    {67, 0xffaa, Qt::Key_Asterisk, true, u"*"},
    {69, 0xffab, Qt::Key_Plus, true, u"+"},
    {71, 0xff7f, Qt::Key_Clear, true, u"⌧"},
    {72, 0x1008ff13, Qt::Key_VolumeUp, false, u"🔊"},
    {73, 0x1008ff11, Qt::Key_VolumeDown, false, u"🔉"},
    {74, 0x1008ff12, Qt::Key_VolumeMute, false, u"🔇"},
    {75, 0xffaf, Qt::Key_Slash, true, u"/"},
    {76, 0xff8d, Qt::Key_Enter, true, u"↩"},
    {78, 0xffad, Qt::Key_Minus, true, u"-"},
    {79, 0xffcf, Qt::Key_F18, false, u"F18"},
    {80, 0xffd0, Qt::Key_F19, false, u"F19"},
    {81, 0xffbd, Qt::Key_Equal, true, u"="},
    {82, 0xffb0, Qt::Key_0, true, u"0"},
    {83, 0xffb1, Qt::Key_1, true, u"1"},
    {84, 0xffb2, Qt::Key_2, true, u"2"},
    {85, 0xffb3, Qt::Key_3, true, u"3"},
    {86, 0xffb4, Qt::Key_4, true, u"4"},
    {87, 0xffb5, Qt::Key_5, true, u"5"},
    {88, 0xffb6, Qt::Key_6, true, u"6"},
    {89, 0xffb7, Qt::Key_7, true, u"7"},
    {90, 0xffd1, Qt::Key_F20, false, u"F20"},
    {91, 0xffb8, Qt::Key_8, true, u"8"},
    {92, 0xffb9, Qt::Key_9, true, u"9"},
    {96, 0xffc2, Qt::Key_F5, false, u"F5"},
    {97, 0xffc3, Qt::Key_F6, false, u"F6"},
    {98, 0xffc4, Qt::Key_F7, false, u"F7"},
    {99, 0xffc0, Qt::Key_F3, false, u"F3"},
    {100, 0xffc5, Qt::Key_F8, false, u"F8"},
    {101, 0xffc6, Qt::Key_F9, false, u"F9"},
    {103, 0xffc8, Qt::Key_F11, false, u"F11"},
    {105, 0xffca, Qt::Key_F13, false, u"F13"},
    {106, 0xffcd, Qt::Key_F16, false, u"F16"},
    {107, 0xffcb, Qt::Key_F14, false, u"F14"},
    {109, 0xffc7, Qt::Key_F10, false, u"F10"},
    {111, 0xffc9, Qt::Key_F12, false, u"F12"},
    {113, 0xffcc, Qt::Key_F15, false, u"F15"},
    {114, 0xff6a, Qt::Key_Help, false, u"Help"},
    {115, 0xff50, Qt::Key_Home, false, u"↖"},
    {116, 0xff55, Qt::Key_PageUp, false, u"⇞"},
    {117, 0xffff, Qt::Key_Delete, false, u"⌦"},
    {118, 0xffc1, Qt::Key_F4, false, u"F4"},
    {119, 0xff57, Qt::Key_End, false, u"↘"},
    {120, 0xffbf, Qt::Key_F2, false, u"F2"},
    {121, 0xff56, Qt::Key_PageDown, false, u"⇟"},
    {122, 0xffbe, Qt::Key_F1, false, u"F1"},
    {123, 0xff51, Qt::Key_Left, false, u"←"},
    {124, 0xff53, Qt::Key_Right, false, u"→"},
    {125, 0xff54, Qt::Key_Down, false, u"↓"},
    {126, 0xff52, Qt::Key_Up, false, u"↑"},
};

// Keysyms a US layout produces with Shift held, mapped to the unshifted keysym of their key.
constexpr std::pair<std::uint32_t, std::uint32_t> kShiftedKeysyms[] = {
    {0x21, 0x31}, {0x40, 0x32}, {0x23, 0x33}, {0x24, 0x34}, {0x25, 0x35}, {0x5e, 0x36},
    {0x26, 0x37}, {0x2a, 0x38}, {0x28, 0x39}, {0x29, 0x30}, {0x5f, 0x2d}, {0x2b, 0x3d},
    {0x7b, 0x5b}, {0x7d, 0x5d}, {0x3a, 0x3b}, {0x22, 0x27}, {0x7c, 0x5c}, {0x3c, 0x2c},
    {0x3e, 0x2e}, {0x3f, 0x2f}, {0x7e, 0x60},
    {0xfe20, 0xff09}, // ISO_Left_Tab is Shift+Tab
    {0xff9e, 0xffb0}, {0xff9c, 0xffb1}, {0xff99, 0xffb2}, {0xff9b, 0xffb3}, {0xff96, 0xffb4},
    {0xff9d, 0xffb5}, {0xff98, 0xffb6}, {0xff95, 0xffb7}, {0xff97, 0xffb8}, {0xff9a, 0xffb9},
    {0xff9f, 0xffae}, // keypad digits and decimal with NumLock off
};

} // namespace

namespace Keys {

const KeyInfo *byKeyCode(std::uint32_t keyCode)
{
    for (const KeyInfo &key : kKeys)
        if (key.keyCode == keyCode)
            return &key;
    return nullptr;
}

const KeyInfo *byKeysym(std::uint32_t keysym)
{
    if (keysym == 0)
        return nullptr;
    if (keysym >= 0x41 && keysym <= 0x5a)
        keysym += 0x20; // upper-case letters share the key of their lower case
    for (const auto &[shifted, plain] : kShiftedKeysyms)
        if (shifted == keysym) {
            keysym = plain;
            break;
        }
    for (const KeyInfo &key : kKeys)
        if (key.keysym == keysym)
            return &key;
    return nullptr;
}

const KeyInfo *byQtKey(int qtKey, Qt::KeyboardModifiers modifiers)
{
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (qtKey == Qt::Key_Backtab)
        qtKey = Qt::Key_Tab;
    const KeyInfo *fallback = nullptr;
    for (const KeyInfo &key : kKeys) {
        if (key.qtKey != qtKey || qtKey == 0)
            continue;
        if (key.keypad == keypad)
            return &key;
        if (!fallback)
            fallback = &key;
    }
    return fallback;
}

const KeyInfo *fromEvent(const QKeyEvent &event)
{
    if (const KeyInfo *key = byKeysym(event.nativeVirtualKey()))
        return key;
    return byQtKey(event.key(), event.modifiers());
}

QString name(std::uint32_t keyCode)
{
    const KeyInfo *key = byKeyCode(keyCode);
    return key ? QString::fromUtf16(key->name) : QString();
}

std::uint32_t hotKeyMaskFromQt(Qt::KeyboardModifiers modifiers)
{
    std::uint32_t mask = 0;
    if (modifiers & Qt::MetaModifier)
        mask |= HotKeyModifier::command;
    if (modifiers & Qt::ShiftModifier)
        mask |= HotKeyModifier::shift;
    if (modifiers & Qt::AltModifier)
        mask |= HotKeyModifier::option;
    if (modifiers & Qt::ControlModifier)
        mask |= HotKeyModifier::control;
    return mask;
}

Qt::KeyboardModifiers qtFromHotKeyMask(std::uint32_t mask)
{
    Qt::KeyboardModifiers modifiers;
    if (mask & HotKeyModifier::command)
        modifiers |= Qt::MetaModifier;
    if (mask & HotKeyModifier::shift)
        modifiers |= Qt::ShiftModifier;
    if (mask & HotKeyModifier::option)
        modifiers |= Qt::AltModifier;
    if (mask & HotKeyModifier::control)
        modifiers |= Qt::ControlModifier;
    return modifiers;
}

std::uint32_t hotKeyMaskFromEventFlags(std::uint64_t flags)
{
    std::uint32_t mask = 0;
    if (flags & EventFlag::command)
        mask |= HotKeyModifier::command;
    if (flags & EventFlag::shift)
        mask |= HotKeyModifier::shift;
    if (flags & EventFlag::option)
        mask |= HotKeyModifier::option;
    if (flags & EventFlag::control)
        mask |= HotKeyModifier::control;
    return mask;
}

std::uint64_t eventFlagsFromHotKeyMask(std::uint32_t mask)
{
    std::uint64_t flags = 0;
    if (mask & HotKeyModifier::command)
        flags |= EventFlag::command;
    if (mask & HotKeyModifier::shift)
        flags |= EventFlag::shift;
    if (mask & HotKeyModifier::option)
        flags |= EventFlag::option;
    if (mask & HotKeyModifier::control)
        flags |= EventFlag::control;
    if (mask & HotKeyModifier::capsLock)
        flags |= EventFlag::capsLock;
    return flags;
}

std::uint64_t eventFlagsFromQt(Qt::KeyboardModifiers modifiers)
{
    std::uint64_t flags = eventFlagsFromHotKeyMask(hotKeyMaskFromQt(modifiers));
    if (modifiers & Qt::KeypadModifier)
        flags |= EventFlag::numericPad;
    return flags;
}

std::uint16_t xModifiersFromHotKeyMask(std::uint32_t mask)
{
    std::uint16_t state = 0;
    if (mask & HotKeyModifier::command)
        state |= XModifier::mod4;
    if (mask & HotKeyModifier::shift)
        state |= XModifier::shift;
    if (mask & HotKeyModifier::option)
        state |= XModifier::mod1;
    if (mask & HotKeyModifier::control)
        state |= XModifier::control;
    if (mask & HotKeyModifier::capsLock)
        state |= XModifier::lock;
    return state;
}

std::uint32_t hotKeyMaskFromXModifiers(std::uint16_t state)
{
    std::uint32_t mask = 0;
    if (state & XModifier::mod4)
        mask |= HotKeyModifier::command;
    if (state & XModifier::shift)
        mask |= HotKeyModifier::shift;
    if (state & XModifier::mod1)
        mask |= HotKeyModifier::option;
    if (state & XModifier::control)
        mask |= HotKeyModifier::control;
    return mask;
}

} // namespace Keys
} // namespace Platform
