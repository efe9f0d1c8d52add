#include "KivaroCore/CaptureModeShortcuts.h"
#include "KivaroCore/PreferencesMigration.h"

#include <QUuid>

#include <gtest/gtest.h>

using namespace Kivaro;
using Platform::UserDefaults;
using Mode = CaptureSelectionMode;

namespace {
constexpr std::uint32_t cmd = HotKeyMask::command, shift = HotKeyMask::shift, opt = HotKeyMask::option, ctrl = HotKeyMask::control;

UserDefaults freshDefaults()
{
    return UserDefaults::suite(QStringLiteral("test-") + QUuid::createUuid().toString(QUuid::WithoutBraces));
}
const CaptureShortcutPreferences windowDefault{{21, ctrl | opt | cmd, QStringLiteral("4")}, true};
const CaptureShortcutPreferences regionDefault{{23, ctrl | cmd, QStringLiteral("5")}, false};
} // namespace

TEST(CaptureSelectionMode, RawValuesAlternateAndOption)
{
    EXPECT_EQ(CaptureSelectionModes::effective(Mode::window, true), Mode::region);
    EXPECT_EQ(CaptureSelectionModes::effective(Mode::region, true), Mode::window);
    EXPECT_EQ(CaptureSelectionModes::effective(Mode::window, false), Mode::window);
    EXPECT_EQ(CaptureSelectionModes::effective(Mode::region, false), Mode::region);
    EXPECT_EQ(CaptureSelectionModes::fromRawValue(QStringLiteral("region")), Mode::region);
    EXPECT_FALSE(CaptureSelectionModes::fromRawValue(QStringLiteral("Region")).has_value());

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

TEST(CaptureModeShortcuts, EarlierLayoutFallbacksBelongToTheRoles)
{
    auto defaults = freshDefaults();
    CaptureSelectionModes::save(Mode::region, defaults);
    const CaptureShortcutPreferences controlShift4{{21, ctrl | shift, QStringLiteral("4")}, true};
    controlShift4.save(defaults, QString::fromLatin1(CaptureModeShortcuts::legacyMainKey));
    EXPECT_EQ(CaptureModeShortcuts::read(Mode::region, defaults), controlShift4);
    EXPECT_EQ(CaptureModeShortcuts::read(Mode::window, defaults), regionDefault) << "the alternate role's fallback";

    CaptureModeShortcuts::migrate(defaults);
    EXPECT_EQ(CaptureModeShortcuts::read(Mode::region, defaults), controlShift4);
    EXPECT_EQ(CaptureModeShortcuts::read(Mode::window, defaults), regionDefault);
}

TEST(CaptureModeShortcuts, APerModeKeyHoldingAnythingDecidesAlone)
{
    auto defaults = freshDefaults();
    const CaptureShortcutPreferences legacy{{40, ctrl | cmd, QStringLiteral("K")}, true};
    legacy.save(defaults, QString::fromLatin1(CaptureModeShortcuts::legacyMainKey));
    defaults.set(CaptureModeShortcuts::key(Mode::window), QStringLiteral("not data"));
    EXPECT_EQ(CaptureModeShortcuts::read(Mode::window, defaults), windowDefault);
    CaptureModeShortcuts::migrate(defaults);
    EXPECT_EQ(defaults.object(CaptureModeShortcuts::key(Mode::window)), QVariant(QStringLiteral("not data")))
        << "a key that holds any value is never overwritten";
}

TEST(PreferencesMigration, CopiesOnlyValidValuesOfTheRightTypeWhereTheKeyIsAbsent)
{
    const QString shortcutKey = QString::fromLatin1(CaptureModeShortcuts::legacyMainKey);
    const QString menuBarKey = QStringLiteral("kivaro.showMenuBar");
    const QByteArray valid = CaptureShortcutPreferences{{40, ctrl | cmd, QStringLiteral("K")}, true}.encoded();
    const QByteArray commandQ = CaptureShortcutPreferences{{12, cmd, QStringLiteral("Q")}, true}.encoded();

    auto fresh = freshDefaults();
    PreferencesMigration::migrate(fresh, {{shortcutKey, valid}, {menuBarKey, true}});
    EXPECT_EQ(fresh.data(shortcutKey), valid);
    EXPECT_EQ(fresh.object(menuBarKey), QVariant(true));

    auto invalid = freshDefaults();
    PreferencesMigration::migrate(invalid, {{shortcutKey, commandQ}, {menuBarKey, QStringLiteral("YES")}});
    EXPECT_FALSE(invalid.contains(shortcutKey));
    EXPECT_FALSE(invalid.contains(menuBarKey));

    auto existing = freshDefaults();
    existing.set(shortcutKey, QByteArray("mine"));
    existing.set(menuBarKey, false);
    PreferencesMigration::migrate(existing, {{shortcutKey, valid}, {menuBarKey, true}});
    EXPECT_EQ(existing.data(shortcutKey), QByteArray("mine"));
    EXPECT_EQ(existing.object(menuBarKey), QVariant(false));

    auto empty = freshDefaults();
    PreferencesMigration::migrate(empty, {});
    EXPECT_TRUE(empty.dictionaryRepresentation().isEmpty());
}

TEST(PreferencesMigration, ACopiedBindingFlowsIntoThePerModeKey)
{
    auto defaults = freshDefaults();
    const CaptureShortcutPreferences copied{{40, ctrl | cmd, QStringLiteral("K")}, true};
    PreferencesMigration::migrate(defaults, {{QString::fromLatin1(CaptureModeShortcuts::legacyMainKey), copied.encoded()}});
    CaptureModeShortcuts::migrate(defaults);
    EXPECT_EQ(CaptureShortcutPreferences::read(defaults, CaptureModeShortcuts::key(Mode::window), windowDefault), copied);
}
