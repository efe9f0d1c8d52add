#include "KivaroCore/CaptureModeShortcuts.h"
#include "KivaroCore/CaptureShortcut.h"
#include "KivaroCore/Localization.h"
#include "KivaroCore/PreferencesMigration.h"
#include "KivaroCore/ShotError.h"

#include "Support/PrivateConfigHome.h"

#include <QUuid>

#include <gtest/gtest.h>

using namespace Kivaro;
using Platform::UserDefaults;
using Mode = CaptureSelectionMode;

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
const CaptureShortcutPreferences windowDefault{{21, ctrl | opt | cmd, QStringLiteral("4")}, true};
const CaptureShortcutPreferences regionDefault{{23, ctrl | cmd, QStringLiteral("5")}, false};
} // namespace

TEST(CaptureShortcutValidity, KeysModifiersAndNamesFollowTheAcceptanceRules)
{
    for (std::uint32_t key : {12u, 13u, 43u}) { // Q, W and comma
        EXPECT_FALSE(chord(key, cmd).isValid()) << key;
        EXPECT_TRUE(chord(key, ctrl | cmd).isValid()) << key;
        EXPECT_TRUE(chord(key, shift | cmd).isValid()) << key;
    }
    for (std::uint32_t key = 53; key <= 63; ++key) // Escape and the modifier keys
        EXPECT_FALSE(chord(key, ctrl | cmd).isValid()) << key;
    QString flags; // 20 characters of four UTF-16 units each
    for (int i = 0; i < 20; ++i)
        flags += QStringLiteral("🇨🇳");
    const QString twenty(20, QLatin1Char('x')), twentyOne(21, QLatin1Char('x'));
    const std::vector<std::pair<CaptureShortcut, bool>> cases = {
        {chord(52, ctrl | cmd), true},          {chord(64, ctrl | cmd), true},         {chord(127, ctrl | cmd), true},
        {chord(128, ctrl | cmd), false},        {chord(0, shift), false},              {chord(0, 0), false},
        {chord(0, cmd | 0x400), false},         {chord(0, cmd | 0x1), false},          {chord(0, opt), true},
        {chord(0, ctrl | opt | shift | cmd), true}, {chord(0, cmd | ctrl, QString()), false}, {chord(0, cmd | ctrl, twenty), true},
        {chord(0, cmd | ctrl, twentyOne), false}, {chord(0, cmd | ctrl, flags), true},
    };
    for (const auto &[shortcut, valid] : cases)
        EXPECT_EQ(shortcut.isValid(), valid) << shortcut.keyCode << " " << shortcut.modifiers << " " << shortcut.keyName.size();
}

TEST(CaptureShortcutTitle, GlyphOrderIsFixedAndSpaceUsesTheLookedUpName)
{
    StringTable::overrideLanguage(QStringLiteral("zh-Hans"));
    EXPECT_EQ(CaptureShortcut::standard().title(), QStringLiteral("⌃⌥⌘4"));
    EXPECT_EQ(chord(49, cmd | shift, QStringLiteral("whatever")).title(), QStringLiteral("⇧⌘空格"));
    EXPECT_EQ(chord(0, cmd | shift | opt | ctrl, QStringLiteral("A")).title(), QStringLiteral("⌃⌥⇧⌘A"));
    StringTable::overrideLanguage(QStringLiteral("en"));
    EXPECT_EQ(chord(49, cmd, QStringLiteral(" ")).title(), QStringLiteral("⌘Space"));
    StringTable::overrideLanguage({});
}

TEST(CaptureShortcutStorage, SaveThenReadGivesAnEqualSettingStoredAsCompactJSONData)
{
    auto defaults = freshDefaults();
    const CaptureShortcutPreferences setting{chord(40, shift | cmd), false};
    setting.save(defaults, QStringLiteral("k"));
    EXPECT_EQ(CaptureShortcutPreferences::read(defaults, QStringLiteral("k"), {CaptureShortcut::standard(), true}), setting);
    EXPECT_EQ(defaults.data(QStringLiteral("k")),
              QByteArray(R"({"binding":{"keyCode":40,"keyName":"K","modifiers":768},"enabled":false})"));

    const CaptureShortcutPreferences invalid{chord(12, cmd, QStringLiteral("Q")), true};
    EXPECT_THROW(invalid.save(defaults, QStringLiteral("other")), CodingError);
    EXPECT_FALSE(defaults.contains(QStringLiteral("other")));
}

TEST(CaptureShortcutStorage, AFailedWriteReachesTheCallerAndNothingReadsBack)
{
    PrivateConfigHome home;
    auto defaults = UserDefaults::standard();
    ASSERT_TRUE(home.breakFolder());
    const CaptureShortcutPreferences setting{chord(40, shift | cmd), true};
    const QString key = QString::fromLatin1(CaptureModeShortcuts::windowKey);
    StringTable::overrideLanguage(QStringLiteral("zh-Hans"));
    try {
        setting.save(defaults, key);
        ADD_FAILURE() << "saving into a folder that is a file succeeded";
    } catch (const ShotError &error) {
        EXPECT_EQ(error.text(), QStringLiteral("设置无法保存：无法写入“%1/app.kivaro.Kivaro.plist”。").arg(UserDefaults::folder()));
    }
    StringTable::overrideLanguage({});
    EXPECT_FALSE(defaults.contains(key));
    EXPECT_EQ(CaptureModeShortcuts::read(Mode::window, defaults), windowDefault);
    EXPECT_THROW(CaptureSelectionModes::save(Mode::region, defaults), ShotError);
    EXPECT_EQ(CaptureSelectionModes::read(defaults), Mode::window);
    EXPECT_THROW(CaptureModeShortcuts::migrate(defaults), ShotError);

    // The copy from the earlier build stays best effort: nothing is stored, nothing thrown.
    const QVariantMap legacy{{QStringLiteral("kivaro.showMenuBar"), true}};
    EXPECT_NO_THROW(PreferencesMigration::migrate(defaults, legacy));
    EXPECT_FALSE(defaults.contains(QStringLiteral("kivaro.showMenuBar")));
    ASSERT_TRUE(home.mendFolder());
    PreferencesMigration::migrate(defaults, legacy);
    EXPECT_TRUE(defaults.boolean(QStringLiteral("kivaro.showMenuBar"))) << "copied at the next chance";
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
        QVariant(QByteArray(R"({"binding":{"keyCode":12,"modifiers":256,"keyName":"Q"},"enabled":true})")), // invalid chord
        QVariant(QByteArray(R"({"binding":{"keyCode":40,"modifiers":768,"keyName":7},"enabled":true})")),
        QVariant(QByteArray("\xff\xfe garbage")),
        QVariant(true),
    };
    for (const QVariant &value : bad) {
        defaults.set(key, value);
        EXPECT_EQ(CaptureShortcutPreferences::read(defaults, key, fallback), fallback) << value.toString().toStdString();
        EXPECT_EQ(defaults.object(key), value) << "a bad value is left in place";
    }
    // Extra keys and any key order are fine.
    defaults.set(key, QByteArray(R"({"enabled":true,"extra":1,"binding":{"keyName":"K","modifiers":768,"keyCode":40}})"));
    EXPECT_EQ(CaptureShortcutPreferences::read(defaults, key, fallback), (CaptureShortcutPreferences{chord(40, shift | cmd), true}));
}

TEST(CaptureSelectionMode, OptionSwapsTheModeAndOnlyTheExactRawValueIsRead)
{
    EXPECT_EQ(CaptureSelectionModes::effective(Mode::window, true), Mode::region);
    EXPECT_EQ(CaptureSelectionModes::effective(Mode::region, true), Mode::window);
    EXPECT_EQ(CaptureSelectionModes::effective(Mode::window, false), Mode::window);
    EXPECT_EQ(CaptureSelectionModes::effective(Mode::region, false), Mode::region);

    auto defaults = freshDefaults();
    const QString key = QString::fromLatin1(CaptureSelectionModes::preferenceKey);
    EXPECT_EQ(CaptureSelectionModes::read(defaults), Mode::window);
    defaults.set(key, QStringLiteral("Region"));
    EXPECT_EQ(CaptureSelectionModes::read(defaults), Mode::window);
    defaults.set(key, QByteArray("region"));
    EXPECT_EQ(CaptureSelectionModes::read(defaults), Mode::window);
    CaptureSelectionModes::save(Mode::region, defaults);
    EXPECT_EQ(CaptureSelectionModes::read(defaults), Mode::region);
}

TEST(CaptureModeShortcuts, EmptyDefaultsGiveTheModeDefaultsAndMigrateWritesExactlyThem)
{
    auto defaults = freshDefaults();
    EXPECT_EQ(CaptureModeShortcuts::read(Mode::window, defaults), windowDefault);
    EXPECT_EQ(CaptureModeShortcuts::read(Mode::region, defaults), regionDefault);
    CaptureModeShortcuts::migrate(defaults);
    EXPECT_EQ(CaptureShortcutPreferences::read(defaults, CaptureModeShortcuts::key(Mode::window), regionDefault), windowDefault);
    EXPECT_EQ(CaptureShortcutPreferences::read(defaults, CaptureModeShortcuts::key(Mode::region), windowDefault), regionDefault);

    const QVariantMap before = defaults.dictionaryRepresentation();
    CaptureModeShortcuts::migrate(defaults);
    EXPECT_EQ(defaults.dictionaryRepresentation(), before) << "a second migration changes nothing";
}

TEST(CaptureModeShortcuts, EarlierLayoutFallbacksBelongToTheRolesAndAnyPerModeValueDecidesAlone)
{
    auto defaults = freshDefaults();
    CaptureSelectionModes::save(Mode::region, defaults);
    const CaptureShortcutPreferences controlShift4{{21, ctrl | shift, QStringLiteral("4")}, true};
    controlShift4.save(defaults, QString::fromLatin1(CaptureModeShortcuts::legacyMainKey));
    EXPECT_EQ(CaptureModeShortcuts::read(Mode::region, defaults), controlShift4);
    EXPECT_EQ(CaptureModeShortcuts::read(Mode::window, defaults), regionDefault) << "the alternate role's fallback";

    defaults.set(CaptureModeShortcuts::key(Mode::window), QStringLiteral("not data"));
    EXPECT_EQ(CaptureModeShortcuts::read(Mode::window, defaults), windowDefault) << "its own default, not the earlier layout's";
    CaptureModeShortcuts::migrate(defaults);
    EXPECT_EQ(CaptureModeShortcuts::read(Mode::region, defaults), controlShift4);
    EXPECT_EQ(defaults.object(CaptureModeShortcuts::key(Mode::window)), QVariant(QStringLiteral("not data")))
        << "a key that holds any value is never overwritten";
}

TEST(PreferencesMigration, CopiesOnlyValidValuesOfTheRightTypeWhereTheKeyIsAbsent)
{
    const QString shortcutKey = QString::fromLatin1(CaptureModeShortcuts::legacyMainKey);
    const QString menuBarKey = QStringLiteral("kivaro.showMenuBar");
    const QVariantMap earlier{{shortcutKey, CaptureShortcutPreferences{{40, ctrl | cmd, QStringLiteral("K")}, true}.encoded()},
                              {menuBarKey, true}};
    const auto migrated = [](const QVariantMap &legacy, const QVariantMap &current) {
        auto defaults = freshDefaults();
        for (auto it = current.cbegin(); it != current.cend(); ++it)
            defaults.set(it.key(), it.value());
        PreferencesMigration::migrate(defaults, legacy);
        return defaults.dictionaryRepresentation();
    };
    EXPECT_EQ(migrated(earlier, {}), earlier);
    const QVariantMap mine{{shortcutKey, QByteArray("mine")}, {menuBarKey, false}};
    EXPECT_EQ(migrated(earlier, mine), mine);
    const QByteArray commandQ = CaptureShortcutPreferences{{12, cmd, QStringLiteral("Q")}, true}.encoded();
    EXPECT_TRUE(migrated({{shortcutKey, commandQ}, {menuBarKey, QStringLiteral("YES")}}, {}).isEmpty());
    EXPECT_TRUE(migrated({}, {}).isEmpty());
}

TEST(PreferencesMigration, ACopiedBindingFlowsIntoThePerModeKey)
{
    auto defaults = freshDefaults();
    const CaptureShortcutPreferences copied{{40, ctrl | cmd, QStringLiteral("K")}, true};
    PreferencesMigration::migrate(defaults, {{QString::fromLatin1(CaptureModeShortcuts::legacyMainKey), copied.encoded()}});
    CaptureModeShortcuts::migrate(defaults);
    EXPECT_EQ(CaptureShortcutPreferences::read(defaults, CaptureModeShortcuts::key(Mode::window), windowDefault), copied);
}
