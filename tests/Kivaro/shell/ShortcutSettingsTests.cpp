#include "ShellFixtures.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroTextLabel.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/shell/CaptureShortcutRow.h"
#include "Kivaro/shell/ShortcutSettingsController.h"
#include "Kivaro/shell/capture/CaptureCompletion.h"
#include "Kivaro/shell/capture/GlobalShortcut.h"
#include "KivaroCore/CaptureModeShortcuts.h"
#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "NativeAppAppearance/NativePopupButton.h"
#include "Support/KeyboardTesting.h"

#include <QAccessible>
#include <QTest>

using namespace Kivaro;
using Platform::HotKeyChord;
using ShellTesting::controlCommand5;
using ShellTesting::controlOptionCommand4;

namespace {

class SettingsTest : public ShellTesting::ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        windowShortcut = std::make_unique<GlobalShortcut>([] {}, service);
        regionShortcut = std::make_unique<GlobalShortcut>([] {}, service);
        controller = std::make_unique<Shell::ShortcutSettingsController>(windowShortcut.get(), regionShortcut.get(), nullptr,
                                                                         defaults(), [this] { ++changes; });
        controller->configure(CaptureModeShortcuts::read(CaptureSelectionMode::window, defaults()),
                              CaptureModeShortcuts::read(CaptureSelectionMode::region, defaults()));
        controller->makeWindow();
    }
    void TearDown() override
    {
        controller.reset();
        ShellTest::TearDown();
    }
    CaptureShortcutPreferences stored(CaptureSelectionMode mode) const { return CaptureModeShortcuts::read(mode, defaults()); }
    QString message() const { return controller->message()->text(); }

    std::unique_ptr<GlobalShortcut> windowShortcut;
    std::unique_ptr<GlobalShortcut> regionShortcut;
    std::unique_ptr<Shell::ShortcutSettingsController> controller;
    int changes = 0;
};

} // namespace

TEST_F(SettingsTest, AFreshInstallationRegistersTheWindowHotKeyWithItsOptionVariantOnly)
{
    EXPECT_EQ(service->registeredChords(), (QList<HotKeyChord>{{21, 0x1900}}));
    EXPECT_EQ(controller->windowRow()->recorder()->text(), controlOptionCommand4.title());
    EXPECT_EQ(controller->regionRow()->recorder()->text(), kivaroCopy(QStringLiteral("未设置")));
    EXPECT_FALSE(controller->regionRow()->clear()->isEnabled());
    EXPECT_EQ(controller->captureAction()->indexOfSelectedItem(), 0);
}

TEST_F(SettingsTest, ARecordedChordIsRegisteredStoredAndReported)
{
    controller->regionRow()->record();
    EXPECT_TRUE(service->registeredChords().isEmpty()) << "recording pauses both hot keys";
    controller->regionRow()->changed(CaptureShortcutPreferences{controlCommand5, true});
    controller->regionRow()->recorder()->cancel(); // the recorder ends its recording after reporting

    EXPECT_EQ(stored(CaptureSelectionMode::region), (CaptureShortcutPreferences{controlCommand5, true}));
    const QList<HotKeyChord> chords = service->registeredChords();
    EXPECT_EQ(chords.size(), 3) << "⌃⌥⌘4, ⌃⌘5 and its Option variant ⌃⌥⌘5";
    EXPECT_TRUE(chords.contains(HotKeyChord{23, 0x1100}));
    EXPECT_TRUE(chords.contains(HotKeyChord{23, 0x1900}));
    EXPECT_EQ(message(), kivaroCopy(QStringLiteral("已保存，立即生效。")));
    EXPECT_EQ(controller->regionRow()->recorder()->text(), controlCommand5.title());
    EXPECT_EQ(changes, 1);
}

TEST_F(SettingsTest, RefusedChangesKeepTheOldHotKeysAndStoreNothing)
{
    // The window chord for the region as well.
    controller->regionRow()->changed(CaptureShortcutPreferences{controlOptionCommand4, true});
    EXPECT_EQ(message(), kivaroCopy(QStringLiteral("两种截图方式不能使用相同的快捷键。")));
    EXPECT_FALSE(stored(CaptureSelectionMode::region).enabled);

    // A chord without ⌘, ⌥ or ⌃.
    controller->regionRow()->changed(CaptureShortcutPreferences{CaptureShortcut{23, 0x200, QStringLiteral("5")}, true});
    EXPECT_EQ(message(), kivaroCopy(QStringLiteral("组合键需要 ⌘、⌥ 或 ⌃；⌃,、⌃W、⌃Q 留给应用菜单。")));

    // The application's own menu keys as they are pressed here: Ctrl+Q, Ctrl+W and Ctrl+,.
    for (const auto &[code, name] : {std::pair{12u, "Q"}, std::pair{13u, "W"}, std::pair{43u, ","}}) {
        controller->regionRow()->changed(CaptureShortcutPreferences{CaptureShortcut{code, 0x1000, QString::fromLatin1(name)}, true});
        EXPECT_EQ(message(), kivaroCopy(QStringLiteral("组合键需要 ⌘、⌥ 或 ⌃；⌃,、⌃W、⌃Q 留给应用菜单。"))) << name;
    }
    EXPECT_FALSE(stored(CaptureSelectionMode::region).enabled);

    // A chord another application holds.
    service->occupyElsewhere({23, 0x1100});
    controller->regionRow()->changed(CaptureShortcutPreferences{controlCommand5, true});
    EXPECT_EQ(message(), kivaroFormat(QStringLiteral("%@ 已被系统或其他应用占用，请换一组快捷键。"), controlCommand5.title()));
    EXPECT_FALSE(stored(CaptureSelectionMode::region).enabled);
    EXPECT_EQ(service->registeredChords(), (QList<HotKeyChord>{{21, 0x1900}})) << "the window hot key works as before";
    EXPECT_EQ(changes, 0);
}

TEST_F(SettingsTest, ClearingKeepsTheChordSwitchedOff)
{
    controller->windowRow()->removeBinding();
    EXPECT_EQ(stored(CaptureSelectionMode::window), (CaptureShortcutPreferences{controlOptionCommand4, false}));
    EXPECT_TRUE(service->registeredChords().isEmpty());
    EXPECT_EQ(controller->windowRow()->recorder()->text(), kivaroCopy(QStringLiteral("未设置")));
    EXPECT_FALSE(controller->windowRow()->clear()->isEnabled());
}

TEST_F(SettingsTest, OnlyOneRowRecordsAndEndingTheRecordingRegistersTheStoredKeysAgain)
{
    controller->windowRow()->record();
    controller->regionRow()->record();
    EXPECT_FALSE(controller->windowRow()->recorder()->recording);
    EXPECT_TRUE(controller->regionRow()->recorder()->recording);
    EXPECT_TRUE(service->registeredChords().isEmpty());
    EXPECT_FALSE(service->press({21, 0x1900})) << "no capture starts while recording";

    controller->windowWillClose();
    EXPECT_FALSE(controller->regionRow()->recorder()->recording);
    EXPECT_EQ(service->registeredChords(), (QList<HotKeyChord>{{21, 0x1900}}));
}

TEST_F(SettingsTest, ResetWhileRecordingStoresTheDefaultsButNotTheCaptureAction)
{
    controller->regionRow()->changed(CaptureShortcutPreferences{controlCommand5, true});
    controller->captureAction()->selectItemAt(1);
    controller->changeCaptureAction();
    EXPECT_EQ(defaults().string(QStringLiteral("kivaro.captureIntent")), QStringLiteral("text"));

    controller->windowRow()->record();
    controller->resetDefault();
    EXPECT_FALSE(controller->windowRow()->recorder()->recording);
    EXPECT_EQ(stored(CaptureSelectionMode::window), CaptureModeShortcuts::fallback(CaptureSelectionMode::window));
    EXPECT_EQ(stored(CaptureSelectionMode::region), CaptureModeShortcuts::fallback(CaptureSelectionMode::region));
    EXPECT_TRUE(defaults().contains(CaptureModeShortcuts::key(CaptureSelectionMode::region)));
    EXPECT_EQ(message(), kivaroCopy(QStringLiteral("已恢复默认")));
    EXPECT_EQ(defaults().string(QStringLiteral("kivaro.captureIntent")), QStringLiteral("text"));
    EXPECT_EQ(service->registeredChords(), (QList<HotKeyChord>{{21, 0x1900}}));
}

TEST_F(SettingsTest, AnUnwritablePreferenceFolderRestoresTheHotKeysAndSaysSo)
{
    ASSERT_TRUE(configHome.breakFolder());
    controller->regionRow()->changed(CaptureShortcutPreferences{controlCommand5, true});
    EXPECT_TRUE(message().contains(QStringLiteral("kivaro"))) << message().toStdString();
    EXPECT_EQ(service->registeredChords(), (QList<HotKeyChord>{{21, 0x1900}}));
    EXPECT_EQ(changes, 0);
    ASSERT_TRUE(configHome.mendFolder());
}

TEST_F(SettingsTest, TheWindowFollowsTheInterfaceLanguageAndKeepsItsOrder)
{
    StringTable::overrideLanguage(QStringLiteral("en"));
    EXPECT_EQ(Shell::ShortcutSettingsController::windowWidth(), 640);
    StringTable::overrideLanguage(QStringLiteral("zh-Hans"));
    EXPECT_EQ(Shell::ShortcutSettingsController::windowWidth(), 460);
    StringTable::overrideLanguage(QString());

    auto *window = controller->settingsWindow();
    ASSERT_TRUE(window);
    EXPECT_LT(window->contentSize().height(), 560) << "no update block without an updater";
    EXPECT_GE(window->contentSize().height(), 400);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    // The window is as tall as its content needs: nothing is squeezed below its padding.
    for (const QAbstractButton *button : window->findChildren<QAbstractButton *>()) {
        if (button->isVisible()) {
            EXPECT_GE(button->height(), std::min(button->sizeHint().height(), button->maximumHeight()))
                << button->metaObject()->className() << " " << button->text().toStdString();
        }
    }
    const auto top = [window](QWidget *w) { return w->mapTo(window, QPoint(0, 0)).y(); };
    EXPECT_LT(top(controller->windowRow()), top(controller->regionRow()));
    EXPECT_LT(top(controller->regionRow()), top(controller->captureAction()));
    EXPECT_LT(top(controller->completionSettings()->copiesImage()), top(controller->completionSettings()->opensEditor()));
    EXPECT_LT(top(controller->completionSettings()), top(controller->resetButton()));
    window->close();
    EXPECT_TRUE(controller->settingsWindow()) << "kept when closed";
}

TEST_F(SettingsTest, AssistiveTechnologyReadsEachRowsChordAndTellsTheClearButtonsApart)
{
    ShortcutRecorder *windowRecorder = controller->windowRow()->recorder();
    QAccessibleInterface *window = QAccessible::queryAccessibleInterface(windowRecorder);
    QAccessibleInterface *region = QAccessible::queryAccessibleInterface(controller->regionRow()->recorder());
    ASSERT_TRUE(window && region);
    EXPECT_EQ(window->role(), QAccessible::Button);
    EXPECT_EQ(window->text(QAccessible::Name), CaptureSelectionModes::title(CaptureSelectionMode::window));
    EXPECT_EQ(window->text(QAccessible::Value), controlOptionCommand4.title());
    EXPECT_EQ(window->text(QAccessible::Description), controlOptionCommand4.title()) << "what the Linux bridge passes on";
    EXPECT_EQ(region->text(QAccessible::Value), kivaroCopy(QStringLiteral("未设置")));

    // Pressed through its action it records; the recorded chord becomes its value.
    ASSERT_TRUE(window->actionInterface());
    window->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(windowRecorder->recording);
    EXPECT_EQ(window->text(QAccessible::Value), kivaroCopy(QStringLiteral("按下组合键…")));
    QTest::keyClick(windowRecorder, Qt::Key_5, Qt::ControlModifier | Qt::MetaModifier);
    EXPECT_EQ(window->text(QAccessible::Value), controlCommand5.title());

    const QString windowClear = QAccessible::queryAccessibleInterface(controller->windowRow()->clear())->text(QAccessible::Name);
    const QString regionClear = QAccessible::queryAccessibleInterface(controller->regionRow()->clear())->text(QAccessible::Name);
    EXPECT_EQ(windowClear, kivaroFormat(QStringLiteral("清除“%@”的快捷键"), CaptureSelectionModes::title(CaptureSelectionMode::window)));
    EXPECT_EQ(regionClear, kivaroFormat(QStringLiteral("清除“%@”的快捷键"), CaptureSelectionModes::title(CaptureSelectionMode::region)));
}

TEST_F(SettingsTest, TabGoesDownTheWindowAsOnTheScreen)
{
    auto *window = controller->settingsWindow();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    const QList<QWidget *> round = TestSupport::tabRound(window);
    EXPECT_TRUE(TestSupport::inScreenOrder(round));
    const QList<QWidget *> controls = {controller->windowRow()->recorder(), controller->captureAction(),
                                       controller->completionSettings()->copiesImage(), controller->completionSettings()->opensEditor(),
                                       controller->resetButton()};
    for (QWidget *control : controls)
        EXPECT_TRUE(round.contains(control)) << "Tab reaches every control";
}
