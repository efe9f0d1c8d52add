#include "Platform/Keys/KeyTable.h"

#include <QKeyEvent>
#include <QSet>

#include <gtest/gtest.h>

using namespace Platform;

TEST(KeyTable, KeyCodesKeysymsAndQtKeysAgree)
{
    // Every key code appears once, and its keysym leads back to it.
    QSet<std::uint32_t> seen;
    for (std::uint32_t code = 0; code < 128; ++code) {
        const KeyInfo *key = Keys::byKeyCode(code);
        if (!key)
            continue;
        EXPECT_FALSE(seen.contains(code));
        seen.insert(code);
        if (key->keysym) {
            EXPECT_EQ(Keys::byKeysym(key->keysym), key) << "key code " << code;
        }
    }
    EXPECT_EQ(Keys::byKeyCode(21)->keysym, 0x34u); // "4", the default chord's key
    EXPECT_EQ(Keys::byKeyCode(43)->qtKey, int(Qt::Key_Comma));
}

TEST(KeyTable, ShiftedKeysymsAndKeypadKeysFindTheirKey)
{
    EXPECT_EQ(Keys::byKeysym('K')->keyCode, 40u);
    EXPECT_EQ(Keys::byKeysym('!')->keyCode, 18u);
    EXPECT_EQ(Keys::byKeysym(0xfe20)->keyCode, 48u); // Shift+Tab
    EXPECT_EQ(Keys::byQtKey(Qt::Key_4)->keyCode, 21u);
    EXPECT_EQ(Keys::byQtKey(Qt::Key_4, Qt::KeypadModifier)->keyCode, 86u);
    EXPECT_EQ(Keys::byQtKey(Qt::Key_Enter, Qt::KeypadModifier)->keyCode, 76u);
    EXPECT_EQ(Keys::byKeysym(0), nullptr);
    EXPECT_EQ(Keys::byKeysym(0x12345), nullptr);
}

TEST(KeyTable, NamesTheRecorderShows)
{
    EXPECT_EQ(Keys::name(21), QStringLiteral("4"));
    EXPECT_EQ(Keys::name(49), QStringLiteral("空格"));
    EXPECT_EQ(Keys::name(36), Keys::name(76)) << "Return and keypad Enter read alike";
    EXPECT_EQ(Keys::name(200), QString());
    // F1 to F20 are all there, each once.
    QSet<QString> functionKeys;
    for (std::uint32_t code = 0; code < 128; ++code)
        if (Keys::name(code).startsWith(QLatin1Char('F')) && Keys::name(code).size() > 1)
            functionKeys.insert(Keys::name(code));
    EXPECT_EQ(functionKeys.size(), 20);
}

TEST(KeyTable, ModifierMasksTranslateBothWays)
{
    const std::uint32_t all = HotKeyModifier::command | HotKeyModifier::shift | HotKeyModifier::option | HotKeyModifier::control;
    EXPECT_EQ(Keys::hotKeyMaskFromQt(Keys::qtFromHotKeyMask(all)), all);
    EXPECT_EQ(Keys::hotKeyMaskFromEventFlags(Keys::eventFlagsFromHotKeyMask(all)), all);
    EXPECT_EQ(Keys::hotKeyMaskFromXModifiers(Keys::xModifiersFromHotKeyMask(all)), all);
    EXPECT_EQ(Keys::hotKeyMaskFromQt(Qt::MetaModifier | Qt::ShiftModifier), 0x300u) << "Super is Command";
    EXPECT_EQ(Keys::xModifiersFromHotKeyMask(HotKeyModifier::command), XModifier::mod4);
    EXPECT_EQ(Keys::xModifiersFromHotKeyMask(HotKeyModifier::option), XModifier::mod1);
    EXPECT_EQ(Keys::hotKeyMaskFromXModifiers(XModifier::mod2 | XModifier::lock | XModifier::control), HotKeyModifier::control)
        << "NumLock and CapsLock are ignored";
}

TEST(KeyTable, KeyEventsUseTheirNativeKeysymFirst)
{
    QKeyEvent shifted(QEvent::KeyPress, Qt::Key_K, Qt::ShiftModifier | Qt::MetaModifier, 0, 'K', 0, QStringLiteral("K"));
    EXPECT_EQ(Keys::fromEvent(shifted)->keyCode, 40u);
    QKeyEvent noNative(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier);
    EXPECT_EQ(Keys::fromEvent(noNative)->keyCode, 96u);
}
