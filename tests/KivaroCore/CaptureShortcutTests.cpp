#include "KivaroCore/CaptureShortcut.h"
#include "KivaroCore/Localization.h"

#include <QUuid>

#include <gtest/gtest.h>

using namespace Kivaro;
using Platform::UserDefaults;

namespace {
constexpr std::uint32_t cmd = HotKeyMask::command, shift = HotKeyMask::shift, opt = HotKeyMask::option, ctrl = HotKeyMask::control;

CaptureShortcut chord(std::uint32_t keyCode, std::uint32_t modifiers, QString name = QStringLiteral("K"))
{
    return {keyCode, modifiers, std::move(name)};
}

UserDefaults freshDefaults()
{
    return UserDefaults::suite(QStringLiteral("test-") + QUuid::createUuid().toString(QUuid::WithoutBraces));
}
} // namespace

TEST(CaptureShortcutValidity, CommandAloneWithQWOrCommaIsRefusedButNotWithMoreModifiers)
{
    for (std::uint32_t key : {12u, 13u, 43u}) {
        EXPECT_FALSE(chord(key, cmd).isValid()) << key;
        EXPECT_TRUE(chord(key, ctrl | cmd).isValid()) << key;
        EXPECT_TRUE(chord(key, shift | cmd).isValid()) << key;
    }
}

TEST(CaptureShortcutValidity, ModifierRules)
{
    EXPECT_FALSE(chord(0, shift).isValid());
    EXPECT_FALSE(chord(0, 0).isValid());
    EXPECT_FALSE(chord(0, cmd | 0x400).isValid()) << "Caps Lock is not a chord modifier";
    EXPECT_FALSE(chord(0, cmd | 0x1).isValid());
    EXPECT_TRUE(chord(0, opt).isValid());
    EXPECT_TRUE(chord(0, ctrl | opt | shift | cmd).isValid());
}

TEST(CaptureShortcutValidity, KeyCodeRules)
{
    for (std::uint32_t key = 53; key <= 63; ++key)
        EXPECT_FALSE(chord(key, ctrl | cmd).isValid()) << key;
    EXPECT_TRUE(chord(52, ctrl | cmd).isValid());
    EXPECT_TRUE(chord(64, ctrl | cmd).isValid());
    EXPECT_TRUE(chord(127, ctrl | cmd).isValid());
    EXPECT_FALSE(chord(128, ctrl | cmd).isValid());
}

TEST(CaptureShortcutValidity, NameLengthCountsCharactersNotBytes)
{
    EXPECT_FALSE(chord(0, cmd | ctrl, QString()).isValid());
    EXPECT_TRUE(chord(0, cmd | ctrl, QString(20, QLatin1Char('x'))).isValid());
    EXPECT_FALSE(chord(0, cmd | ctrl, QString(21, QLatin1Char('x'))).isValid());
    QString flags;
    for (int i = 0; i < 20; ++i)
        flags += QStringLiteral("🇨🇳"); // one character, four UTF-16 units
    EXPECT_TRUE(chord(0, cmd | ctrl, flags).isValid());
}

TEST(CaptureShortcutTitle, GlyphOrderIsFixedAndSpaceUsesTheLookedUpName)
{
    StringTable::overrideLanguage(QStringLiteral("zh-Hans"));
    EXPECT_EQ(CaptureShortcut::standard().title(), QStringLiteral("⌃⌥⌘4"));
    EXPECT_EQ(chord(23, cmd | ctrl, QStringLiteral("5")).title(), QStringLiteral("⌃⌘5"));
    EXPECT_EQ(chord(49, cmd | shift, QStringLiteral("whatever")).title(), QStringLiteral("⇧⌘空格"));
    EXPECT_EQ(chord(0, cmd | shift | opt | ctrl, QStringLiteral("A")).title(), QStringLiteral("⌃⌥⇧⌘A"));
    StringTable::overrideLanguage(QStringLiteral("en"));
    EXPECT_EQ(chord(49, cmd, QStringLiteral(" ")).title(), QStringLiteral("⌘Space"));
    StringTable::overrideLanguage({});
}

TEST(CaptureShortcutStorage, SaveThenReadGivesAnEqualSettingStoredAsData)
{
    auto defaults = freshDefaults();
    const CaptureShortcutPreferences setting{chord(40, shift | cmd), false};
    setting.save(defaults, QStringLiteral("k"));
    EXPECT_TRUE(defaults.data(QStringLiteral("k")).has_value());
    const CaptureShortcutPreferences fallback{CaptureShortcut::standard(), true};
    EXPECT_EQ(CaptureShortcutPreferences::read(defaults, QStringLiteral("k"), fallback), setting);
    EXPECT_EQ(*defaults.data(QStringLiteral("k")),
              QByteArray(R"({"binding":{"keyCode":40,"keyName":"K","modifiers":768},"enabled":false})"));
}

TEST(CaptureShortcutStorage, SavingAnInvalidChordThrowsAndWritesNothing)
{
    auto defaults = freshDefaults();
    const CaptureShortcutPreferences bad{chord(12, cmd, QStringLiteral("Q")), true};
    try {
        bad.save(defaults, QStringLiteral("k"));
        FAIL() << "expected CodingError";
    } catch (const CodingError &error) {
        EXPECT_EQ(error.code(), CodingError::Code::invalidValue);
    }
    EXPECT_FALSE(defaults.contains(QStringLiteral("k")));
}

TEST(CaptureShortcutStorage, BadStoredValuesReadAsTheFallbackAndStayInPlace)
{
    auto defaults = freshDefaults();
    const CaptureShortcutPreferences fallback{CaptureShortcut::standard(), true};
    const QString key = QStringLiteral("k");
    const QList<QVariant> bad = {
        QVariant(QStringLiteral(R"({"binding":{"keyCode":40,"modifiers":768,"keyName":"K"},"enabled":true})")), // a string
        QVariant(QByteArray(R"({"binding":{"keyCode":40,"modifiers":768,"keyName":"K"}})")),                    // no "enabled"
        QVariant(QByteArray(R"({"binding":{"keyCode":-1,"modifiers":768,"keyName":"K"},"enabled":true})")),
        QVariant(QByteArray(R"({"binding":{"keyCode":40.5,"modifiers":768,"keyName":"K"},"enabled":true})")),
        QVariant(QByteArray(R"({"binding":{"keyCode":12,"modifiers":256,"keyName":"Q"},"enabled":true})")), // invalid chord
        QVariant(QByteArray(R"({"binding":{"keyCode":40,"modifiers":768,"keyName":7},"enabled":true})")),
        QVariant(QByteArray("[1,2]")),
        QVariant(QByteArray("\xff\xfe garbage")),
        QVariant(true),
    };
    for (const QVariant &value : bad) {
        defaults.set(key, value);
        EXPECT_EQ(CaptureShortcutPreferences::read(defaults, key, fallback), fallback) << value.toString().toStdString();
        EXPECT_EQ(defaults.object(key), value) << "a bad value is left in place";
    }
    defaults.remove(key);
    EXPECT_EQ(CaptureShortcutPreferences::read(defaults, key, fallback), fallback);
    // Extra keys and any key order are fine.
    defaults.set(key, QByteArray(R"({"enabled":true,"extra":1,"binding":{"keyName":"K","modifiers":768,"keyCode":40}})"));
    EXPECT_EQ(CaptureShortcutPreferences::read(defaults, key, fallback), (CaptureShortcutPreferences{chord(40, shift | cmd), true}));
}
