#include "Kivaro/shell/capture/CaptureShortcutConfiguration.h"
#include "Kivaro/shell/capture/GlobalShortcut.h"
#include "KivaroCore/CaptureModeShortcuts.h"
#include "KivaroCore/ShotError.h"
#include "Platform/HotKeys/InProcessHotKeyService.h"
#include "Support/TaskTesting.h"

#include <gtest/gtest.h>

using namespace Kivaro;
using Platform::HotKeyChord;
using Platform::InProcessHotKeyService;

namespace {

const CaptureShortcut controlOptionCommand4{21, 0x1900, QStringLiteral("4")};
const CaptureShortcut controlCommand5{23, 0x1100, QStringLiteral("5")};

QString messageOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const ShotError &error) {
        return error.text();
    }
    return {};
}

class GlobalShortcutTest : public ::testing::Test {
protected:
    std::shared_ptr<InProcessHotKeyService> service = std::make_shared<InProcessHotKeyService>();
    int invoked = 0;
    GlobalShortcut shortcut{[this] { ++invoked; }, service};
    GlobalShortcut other{[] {}, service};
};

} // namespace

TEST_F(GlobalShortcutTest, TheSameBindingTwiceRegistersOnceAndAgainAfterPause)
{
    shortcut.registerBinding(controlCommand5, true);
    EXPECT_EQ(service->registeredChords(), (QList<HotKeyChord>{{23, 0x1100}, {23, 0x1900}})) << "with its Option variant";
    shortcut.registerBinding(controlCommand5, true);
    EXPECT_EQ(service->registeredChords().size(), 2);
    shortcut.pause();
    EXPECT_TRUE(service->registeredChords().isEmpty());
    EXPECT_TRUE(shortcut.hasEventHandler());
    shortcut.registerBinding(controlCommand5, true);
    EXPECT_EQ(service->registeredChords().size(), 2);

    // A binding that holds Option reserves no variant; another flag replaces the registration.
    shortcut.registerBinding(controlOptionCommand4, true);
    EXPECT_EQ(service->registeredChords(), (QList<HotKeyChord>{{21, 0x1900}}));
    shortcut.registerBinding(controlCommand5, false);
    EXPECT_EQ(service->registeredChords(), (QList<HotKeyChord>{{23, 0x1100}}));
}

TEST_F(GlobalShortcutTest, RefusalsKeepTheEarlierRegistration)
{
    shortcut.registerBinding(controlOptionCommand4, true);
    EXPECT_EQ(messageOf([&] { shortcut.registerBinding({21, 0x200, QStringLiteral("4")}); }), QStringLiteral("请使用包含 ⌘、⌥ 或 ⌃ 的组合键。"));
    service->occupyElsewhere({23, 0x1100});
    EXPECT_EQ(messageOf([&] { shortcut.registerBinding(controlCommand5); }), QStringLiteral("⌃⌘5 已被系统或其他应用占用，请换一组快捷键。"));
    service->releaseElsewhere({23, 0x1100});

    // The main chord is free but its Option variant is taken: the new chord is not leaked.
    service->occupyElsewhere({23, 0x1900});
    EXPECT_EQ(messageOf([&] { shortcut.registerBinding(controlCommand5, true); }), QStringLiteral("带 Alt 的切换快捷键已被占用，请换一组快捷键。"));
    EXPECT_EQ(service->registeredChords(), (QList<HotKeyChord>{{21, 0x1900}}));
    EXPECT_EQ(shortcut.registeredBinding(), controlOptionCommand4);

    service->setAvailable(false);
    GlobalShortcut unavailable([] {}, service);
    EXPECT_EQ(messageOf([&] { unavailable.registerBinding(controlOptionCommand4); }), QStringLiteral("无法注册全局快捷键，可从窗口点击“截图”。"));
    EXPECT_FALSE(unavailable.hasEventHandler());
}

TEST_F(GlobalShortcutTest, APressRunsTheActionLaterAndOnlyForItsOwnIdentity)
{
    EXPECT_EQ(other.identifier(), shortcut.identifier() + 1) << "numbered in creation order";
    shortcut.registerBinding(controlCommand5, true);
    EXPECT_FALSE(shortcut.handleHotKey(std::nullopt));
    EXPECT_FALSE(shortcut.handleHotKey(Platform::HotKeyIdentity{0x41424344, shortcut.identifier()}));
    EXPECT_FALSE(shortcut.handleHotKey(Platform::HotKeyIdentity{GlobalShortcut::signature, other.identifier()}));
    EXPECT_TRUE(shortcut.handleHotKey(Platform::HotKeyIdentity{GlobalShortcut::signature, shortcut.identifier()}));
    EXPECT_EQ(invoked, 0) << "the action never runs inside the handler";
    ASSERT_TRUE(TestSupport::waitUntil([&] { return invoked == 1; }));
    service->press({23, 0x1900});
    ASSERT_TRUE(TestSupport::waitUntil([&] { return invoked == 2; })) << "the Option variant reaches the same action";
    shortcut.stop();
    EXPECT_FALSE(shortcut.hasEventHandler());
    EXPECT_TRUE(service->registeredChords().isEmpty());
}

TEST(GlobalShortcutMenuTitle, NamesTheModeTheIntentAndAnEnabledBinding)
{
    Platform::UserDefaults defaults = Platform::UserDefaults::suite(QStringLiteral("menu-title-test"));
    EXPECT_EQ(GlobalShortcut::menuTitle(CaptureSelectionMode::window, defaults), QStringLiteral("选中窗口  ⌃⌥⌘4"));
    EXPECT_EQ(GlobalShortcut::menuItemText(CaptureSelectionMode::window, defaults), QStringLiteral("选中窗口\t⌃⌥⌘4"));
    EXPECT_EQ(GlobalShortcut::menuItemText(CaptureSelectionMode::region, defaults), QStringLiteral("画框选区"));
    EXPECT_EQ(GlobalShortcut::menuTitle(CaptureSelectionMode::region, defaults), QStringLiteral("画框选区")) << "disabled: no trailing spaces";
    defaults.set(QStringLiteral("kivaro.captureIntent"), QStringLiteral("polishedText"));
    EXPECT_EQ(GlobalShortcut::menuTitle(CaptureSelectionMode::window, defaults), QStringLiteral("选中窗口 · 识字并 AI 润色  ⌃⌥⌘4"));
    defaults.set(QStringLiteral("kivaro.captureIntent"), QByteArray("text")); // data, not a string
    EXPECT_EQ(GlobalShortcut::menuTitle(CaptureSelectionMode::region, defaults), QStringLiteral("画框选区"));
    Platform::UserDefaults::removePersistentDomain(QStringLiteral("menu-title-test"));
}

TEST_F(GlobalShortcutTest, ThePairRefusesEqualChordsAndOneRefusalDoesNotStopTheOther)
{
    GlobalShortcut &window = shortcut, &region = other;
    window.registerBinding(controlOptionCommand4);
    EXPECT_EQ(messageOf([&] { CaptureShortcutConfiguration::configure(window, region, {controlOptionCommand4, true}, {controlOptionCommand4, true}); }),
              QStringLiteral("两种截图方式不能使用相同的快捷键。"));
    EXPECT_TRUE(window.isRegistered()) << "refused before anything changed";

    window.pause();
    service->occupyElsewhere({21, 0x1900});
    const auto configure = [&] {
        return messageOf([&] { CaptureShortcutConfiguration::configure(window, region, {controlOptionCommand4, true}, {controlCommand5, true}); });
    };
    EXPECT_EQ(configure(), QStringLiteral("⌃⌥⌘4 已被系统或其他应用占用，请换一组快捷键。"));
    EXPECT_FALSE(window.isRegistered());
    EXPECT_TRUE(region.isRegistered()) << "the region hot key works although the window hot key failed";
    service->occupyElsewhere({23, 0x1100});
    const QString both = configure();
    EXPECT_EQ(both.split(QLatin1Char('\n')).size(), 2);
    EXPECT_TRUE(both.startsWith(QStringLiteral("⌃⌥⌘4 "))) << "both reported, window first";
}

TEST_F(GlobalShortcutTest, AModesChordPlusOptionThatIsTheOtherModesChordIsNotReserved)
{
    // Window ⌃⌘5 and region ⌃⌥⌘5, both enabled: both register, neither reserves a variant.
    const CaptureShortcut controlOptionCommand5{23, 0x1900, QStringLiteral("5")};
    CaptureShortcutConfiguration::configure(shortcut, other, {controlCommand5, true}, {controlOptionCommand5, true});
    EXPECT_FALSE(shortcut.reservesOptionVariant());
    EXPECT_EQ(service->registeredChords(), (QList<HotKeyChord>{{23, 0x1100}, {23, 0x1900}}));
    // A disabled mode registers nothing and keeps the other's variant.
    CaptureShortcutConfiguration::configure(shortcut, other, {controlCommand5, true}, {controlOptionCommand5, false});
    EXPECT_TRUE(shortcut.hasOptionVariant());
    EXPECT_FALSE(other.isRegistered());
}
