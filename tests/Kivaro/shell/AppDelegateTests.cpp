#include "ShellFixtures.h"

#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/controls/KivaroTextLabel.h"
#include "Kivaro/editor/HoldOverlay.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/editor/CompactStatusLabel.h"
#include "Kivaro/recent/RecentShots.h"
#include "Kivaro/shell/ApplicationVisibility.h"
#include "Kivaro/shell/CaptureShortcutRow.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativePopupButton.h"
#include "Kivaro/shell/KivaroApplication.h"
#include "Kivaro/shell/ShortcutSettingsController.h"
#include "Kivaro/shell/SingleInstance.h"
#include "Kivaro/shell/TerminationSignals.h"
#include "Kivaro/shell/capture/GlobalShortcut.h"
#include "KivaroCore/CaptureModeShortcuts.h"
#include "KivaroCore/Localization.h"
#include "KivaroCore/EvidenceFolder.h"
#include "KivaroCore/VerificationRun.h"
#include "Kivaro/update/KivaroUpdateConfiguration.h"
#include "Kivaro/update/KivaroUpdatePrompts.h"
#include "Kivaro/update/UpdateSettingsView.h"
#include "NativeAppUpdater/NativeUpdater.h"
#include "Support/LaunchArgumentsScope.h"
#include "UpdaterTestSupport.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLocalServer>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Kivaro;
using ShellTesting::controlCommand5;
using ShellTesting::waitUntil;

namespace {

QImage picture()
{
    QImage image(320, 200, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    return image;
}

QStringList titles(const QMenu *menu)
{
    QStringList list;
    for (const QAction *item : menu->actions())
        list << (item->isSeparator() ? QStringLiteral("-") : item->text());
    return list;
}

class DelegateTest : public ShellTesting::ShellTest {
protected:
    QMenu *submenu(int index) const { return delegate->mainMenu()->actions().at(index)->menu(); }
    // Makes the recent-shots folder unwritable: a file where the folder belongs.
    void breakRecentFolder()
    {
        QDir(folder.filePath(QStringLiteral("recent"))).removeRecursively();
        QFile file(folder.filePath(QStringLiteral("recent")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
};

} // namespace

TEST_F(DelegateTest, AFreshLaunchShowsOnlyTheSettingsWindowWithEveryMemberBuilt)
{
    TestSupport::LaunchArgumentsScope arguments({QStringLiteral("kivaro")});
    launch();
    ASSERT_TRUE(delegate->editor());
    ASSERT_TRUE(delegate->window());
    EXPECT_FALSE(delegate->window()->isVisible()) << "the editor window exists hidden";
    EXPECT_EQ(delegate->window()->contentSize(), QSize(1080, 760));
    ASSERT_TRUE(delegate->shortcutSettings() && delegate->shortcutSettings()->window());
    EXPECT_TRUE(delegate->shortcutSettings()->window()->isVisible());
    EXPECT_EQ(delegate->shortcut()->identifier() + 1, delegate->alternateShortcut()->identifier()) << "window hot key first";
    EXPECT_TRUE(delegate->shortcut()->isRegistered());
    EXPECT_FALSE(delegate->alternateShortcut()->isRegistered());
    EXPECT_FALSE(delegate->statusItem()) << "kivaro.showMenuBar is absent";
    EXPECT_FALSE(delegate->menuBarPreference()->isChecked());
    EXPECT_FALSE(delegate->uiSession());
    EXPECT_EQ(AppDelegate::shared(), delegate.get());

    EXPECT_EQ(titles(submenu(0)), (QStringList{kivaroCopy(QStringLiteral("显示菜单栏图标")), kivaroCopy(QStringLiteral("设置…")),
                                                QStringLiteral("-"), kivaroCopy(QStringLiteral("检查更新…")),
                                                kivaroCopy(QStringLiteral("退出 Kivaro"))}));
    EXPECT_EQ(submenu(1)->actions().size(), 11);
    EXPECT_EQ(submenu(2)->actions().last()->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    EXPECT_EQ(delegate->mainMenu()->actions().size(), 4) << "Kivaro, 文件, 编辑, 窗口";
}

TEST_F(DelegateTest, TheMenuBarPreferenceShowsAndRemovesTheTrayIcon)
{
    launch();
    delegate->menuBarPreference()->trigger();
    ASSERT_TRUE(delegate->statusItem());
    EXPECT_TRUE(delegate->menuBarPreference()->isChecked());
    EXPECT_TRUE(defaults().boolean(QStringLiteral("kivaro.showMenuBar")));
    ASSERT_TRUE(delegate->statusMenu());
    const QStringList items = titles(delegate->statusMenu());
    ASSERT_EQ(items.size(), 8);
    EXPECT_EQ(items.at(6), kivaroCopy(QStringLiteral("隐藏菜单栏图标")));

    // "隐藏菜单栏图标" in the status menu.
    delegate->statusMenu()->actions().at(6)->trigger();
    EXPECT_FALSE(delegate->statusItem());
    EXPECT_FALSE(delegate->menuBarPreference()->isChecked());
    EXPECT_TRUE(delegate->statusMenu()) << "the menu stays";

    // The item follows the presence of the icon, not the stored value.
    defaults().set(QStringLiteral("kivaro.showMenuBar"), true);
    delegate->toggleMenuBar();
    EXPECT_TRUE(delegate->statusItem());
}

TEST_F(DelegateTest, ABindingChangeRetitlesTheCaptureItemsEverywhere)
{
    launch();
    delegate->toggleMenuBar();
    auto *settings = delegate->shortcutSettings();
    settings->regionRow()->changed(CaptureShortcutPreferences{controlCommand5, true});
    const QString region = GlobalShortcut::menuItemText(CaptureSelectionMode::region);
    EXPECT_TRUE(region.endsWith(QStringLiteral("\t") + controlCommand5.title()))
        << region.toStdString() << ": the hot key stands in the shortcut column";
    EXPECT_EQ(GlobalShortcut::menuTitle(CaptureSelectionMode::region), QString(region).replace(u'\t', QStringLiteral("  ")));
    EXPECT_EQ(delegate->regionCaptureMenuItem()->text(), region);
    EXPECT_EQ(delegate->statusMenu()->actions().at(1)->text(), region);

    settings->captureAction()->selectItemAt(1);
    settings->changeCaptureAction();
    EXPECT_TRUE(delegate->captureMenuItem()->text().contains(QStringLiteral(" · ")));
}

TEST_F(DelegateTest, KeyEquivalentsReportWhetherAnEnabledItemMatched)
{
    launch();
    // Every window of the application answers the menus' shortcuts once shown.
    QWidget other;
    other.show();
    EXPECT_TRUE(other.actions().contains(delegate->mainMenu()->actions().first()));
    EXPECT_TRUE(delegate->window()->actions().contains(delegate->mainMenu()->actions().first()));
    delegate->shortcutSettings()->window()->hide();
    EXPECT_TRUE(delegate->performKeyEquivalent(QKeySequence(Qt::CTRL | Qt::Key_Comma)));
    EXPECT_TRUE(delegate->shortcutSettings()->window()->isVisible()) << "⌘, opened the settings";
    EXPECT_TRUE(delegate->performKeyEquivalent(QKeySequence(Qt::CTRL | Qt::Key_W)));
    EXPECT_FALSE(delegate->performKeyEquivalent(QKeySequence(Qt::CTRL | Qt::Key_K)));
    submenu(0)->actions().at(1)->setEnabled(false);
    EXPECT_FALSE(delegate->performKeyEquivalent(QKeySequence(Qt::CTRL | Qt::Key_Comma))) << "a disabled item does not count";
}

TEST(HotKeyOption, OptionSwitchesTheModeOnlyForABindingWithoutOption)
{
    const CaptureShortcutPreferences withOption{ShellTesting::controlOptionCommand4, true};
    const CaptureShortcutPreferences withoutOption{controlCommand5, true};
    EXPECT_FALSE(AppDelegate::optionHeldFor(withOption, true)) << "⌃⌥⌘4 never reports Option held";
    EXPECT_TRUE(AppDelegate::optionHeldFor(withoutOption, true)) << "⌃⌥⌘5 on a ⌃⌘5 binding does";
    EXPECT_FALSE(AppDelegate::optionHeldFor(withoutOption, false));
}

TEST_F(DelegateTest, VerificationRunsNeverMigrateTheEarlierBuildsPreferences)
{
    Platform::UserDefaults legacy = Platform::UserDefaults::suite(QString::fromLatin1(Platform::UserDefaults::legacyDomain));
    legacy.set(QStringLiteral("kivaro.showMenuBar"), true);
    for (const QString &flag : {QStringLiteral("--verify"), QStringLiteral("--ui-session")}) {
        // A run's evidence goes into a folder of the test's, which it removes.
        QTemporaryDir evidence;
        TestSupport::LaunchArgumentsScope arguments({QStringLiteral("kivaro"), flag, QStringLiteral("--evidence-dir"), evidence.path()});
        launch();
        EXPECT_FALSE(defaults().contains(QStringLiteral("kivaro.showMenuBar"))) << flag.toStdString();
        delegate.reset();
        // The run's fresh evidence folder, made in the temporary folder, goes with the test.
        if (const auto folder = PrototypeVerification::evidenceFolder())
            QDir(*folder).removeRecursively();
    }
    TestSupport::LaunchArgumentsScope arguments({QStringLiteral("kivaro")});
    launch();
    EXPECT_TRUE(defaults().boolean(QStringLiteral("kivaro.showMenuBar")));
    EXPECT_TRUE(delegate->statusItem());
}

TEST_F(DelegateTest, QuitIsRefusedWhileTheEditorIsBusyWithoutACapture)
{
    launch();
    delegate->editor()->setBusy(true);
    EXPECT_EQ(delegate->applicationShouldTerminate(), TerminateReply::cancel);
    EXPECT_EQ(delegate->editor()->status()->stringValue(), kivaroCopy(QStringLiteral("请先完成当前操作，或按 Esc 取消语音。")));
    delegate->editor()->setBusy(false);
}

TEST_F(DelegateTest, QuitWritesTheShotThenStopsTheHotKeys)
{
    launch();
    delegate->editor()->document()->load(picture(), false);
    delegate->terminate();
    EXPECT_TRUE(delegate->isTerminationPending());
    ASSERT_TRUE(waitUntil([&] { return delegate->hasTerminated(); }));
    EXPECT_EQ(delegate->editor()->recent()->entries().size(), 1);
    EXPECT_TRUE(service->registeredChords().isEmpty());
    EXPECT_FALSE(delegate->shortcut()->hasEventHandler());
}

TEST_F(DelegateTest, AFailingHistoryWriteIsShownOnceThenTheNextQuitAsks)
{
    launch();
    delegate->editor()->document()->load(picture(), false);
    breakRecentFolder();

    delegate->terminate();
    ASSERT_TRUE(waitUntil([&] { return !delegate->isTerminationPending(); }));
    EXPECT_FALSE(delegate->hasTerminated());
    EXPECT_TRUE(delegate->window()->isVisible()) << "the editor comes forward with the error";
    EXPECT_TRUE(alerts->alerts().isEmpty());
    EXPECT_TRUE(delegate->shortcut()->isRegistered()) << "nothing was stopped";

    // The second attempt asks; "取消" keeps the application.
    alerts->answer(0);
    delegate->terminate();
    ASSERT_TRUE(waitUntil([&] { return !delegate->isTerminationPending(); }));
    EXPECT_FALSE(delegate->hasTerminated());
    ASSERT_EQ(alerts->alerts().size(), 1);
    EXPECT_EQ(alerts->alerts().first().message, kivaroCopy(QStringLiteral("截图无法保存到最近截图。仍要退出吗？")));

    // And "不保存并退出" quits.
    alerts->answer(1);
    delegate->terminate();
    ASSERT_TRUE(waitUntil([&] { return delegate->hasTerminated(); }));
    EXPECT_TRUE(service->registeredChords().isEmpty());
}

TEST_F(DelegateTest, ASignalEndsTheProcessEvenWhenTheShotCannotBeWritten)
{
    launch();
    delegate->editor()->document()->load(picture(), false);
    breakRecentFolder();
    QElapsedTimer clock;
    clock.start();
    delegate->terminateForSignal();
    ASSERT_TRUE(waitUntil([&] { return delegate->hasTerminated(); }, int(AppDelegate::forcedSaveLimit.count()) + 2000));
    EXPECT_TRUE(alerts->alerts().isEmpty()) << "nobody is asked";
}

TEST_F(DelegateTest, ASignalDuringAQuitsWriteEndsTheProcessOnlyAfterItsOwnWrite)
{
    launch();
    delegate->editor()->document()->load(picture(), false);
    int entriesAtTheEnd = -1;
    QObject::connect(delegate.get(), &AppDelegate::terminated, [&] { entriesAtTheEnd = int(delegate->editor()->recent()->entries().size()); });
    delegate->terminate();
    ASSERT_TRUE(delegate->isTerminationPending());
    // SIGTERM or the end of the session while the quit's write waits: that write is cancelled.
    delegate->terminateForSignal();
    ASSERT_TRUE(waitUntil([&] { return delegate->hasTerminated(); }, int(AppDelegate::forcedSaveLimit.count()) + 2000));
    EXPECT_EQ(entriesAtTheEnd, 1) << "the process ended on the cancelled write, before the forced quit wrote the shot";
}

TEST_F(DelegateTest, TheTrayIconFollowsTheAppearanceAndAMenuBarPreferenceNotStoredIsShown)
{
    using NativeAppAppearance::Appearance;
    using NativeAppAppearance::AppearanceManager;
    launch();
    delegate->menuBarPreference()->trigger();
    ASSERT_TRUE(delegate->statusItem());
    // The lightness of the symbol's most opaque pixel.
    const auto ink = [&] {
        const QImage image = delegate->statusItem()->icon().pixmap(32).toImage().convertToFormat(QImage::Format_ARGB32);
        QColor strongest(Qt::transparent);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y).alpha() > strongest.alpha())
                    strongest = image.pixelColor(x, y);
        return strongest.lightness();
    };
    AppearanceManager::shared().setApplicationAppearance(Appearance::light);
    EXPECT_LT(ink(), 64);
    AppearanceManager::shared().setApplicationAppearance(Appearance::dark);
    EXPECT_GT(ink(), 192) << "the icon keeps the ink of the appearance it was made in";
    AppearanceManager::shared().setApplicationAppearance(std::nullopt);

    // "隐藏菜单栏图标" of the tray menu, with the settings window closed, when the preferences
    // cannot be written: the icon stays as stored and the settings window says why.
    delegate->shortcutSettings()->window()->close();
    ASSERT_TRUE(configHome.breakFolder());
    delegate->statusMenu()->actions().at(6)->trigger();
    EXPECT_TRUE(delegate->statusItem());
    EXPECT_TRUE(delegate->menuBarPreference()->isChecked());
    EXPECT_TRUE(delegate->shortcutSettings()->window()->isVisible());
    EXPECT_EQ(delegate->shortcutSettings()->message()->text(),
              kivaroFormat(QStringLiteral("设置无法保存：无法写入“%@”。"), Platform::UserDefaults::folder() + QStringLiteral("/app.kivaro.Kivaro.plist")));
    EXPECT_TRUE(configHome.mendFolder());
}

TEST_F(DelegateTest, ReopenBringsTheSettingsWindowBack)
{
    launch();
    delegate->shortcutSettings()->window()->close();
    delegate->editor()->document()->load(picture(), false);
    delegate->editor()->showEditor();
    EXPECT_TRUE(delegate->applicationShouldHandleReopen(true));
    EXPECT_TRUE(delegate->shortcutSettings()->window()->isVisible());
    EXPECT_FALSE(delegate->applicationShouldTerminateAfterLastWindowClosed());
}

TEST_F(DelegateTest, TheQuitKeyGoesThroughOnlyWhileASelectionIsPending)
{
    launch();
    QKeyEvent quit(QEvent::KeyPress, Qt::Key_Q, Qt::ControlModifier);
    QKeyEvent other(QEvent::KeyPress, Qt::Key_Q, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(KivaroApplication::isQuitKey(quit));
    EXPECT_FALSE(KivaroApplication::isQuitKey(other));
    EXPECT_FALSE(KivaroApplication::quitsDuringCapture(delegate.get(), quit)) << "no capture: the menu's shortcut acts";
}

TEST(ApplicationVisibility, ThePolicyFollowsTheTitledWindows)
{
    ApplicationVisibility visibility;
    visibility.start();
    visibility.start();
    EXPECT_TRUE(visibility.isObserving());
    KivaroWindow titled(QRect(0, 0, 200, 100), KivaroWindow::Titled | KivaroWindow::Closable);
    KivaroWindow borderless(QRect(0, 0, 200, 100), KivaroWindow::Borderless);
    borderless.show();
    ASSERT_TRUE(waitUntil([] { return ApplicationActivationPolicy::current() == ActivationPolicy::accessory; }))
        << "only a borderless window is up: " << [] {
               QStringList open;
               for (QWidget *w : QApplication::topLevelWidgets())
                   if (ApplicationVisibility::isOrdinaryOpenWindow(w))
                       open << QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') + w->windowTitle();
               return open.join(QLatin1Char(',')).toStdString();
           }();
    titled.show();
    ASSERT_TRUE(waitUntil([] { return ApplicationActivationPolicy::current() == ActivationPolicy::regular; }));
    titled.showMinimized();
    waitUntil([] { return false; }, 50);
    EXPECT_EQ(ApplicationActivationPolicy::current(), ActivationPolicy::regular) << "a minimised window keeps it";
    titled.close();
    ASSERT_TRUE(waitUntil([] { return ApplicationActivationPolicy::current() == ActivationPolicy::accessory; }));
    EXPECT_FALSE(titled.isVisible()) << "hidden windows stay hidden";
    borderless.close();
}

TEST(SingleInstance, ASecondLaunchHandsItsRequestToTheFirst)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("instance"));
    SingleInstance first(path);
    EXPECT_EQ(first.handOff(200), SingleInstance::Answer::missing) << "nobody serves yet";
    // A socket left behind by a process that died: bound, nobody listening.
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray native = QFile::encodeName(path);
        std::copy(native.begin(), native.end(), address.sun_path);
        ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
        ::close(fd);
    }
    EXPECT_EQ(first.handOff(200), SingleInstance::Answer::refused);
    ASSERT_EQ(first.claim(200), SingleInstance::Claim::serving) << "the stale socket was replaced";
    int reopened = 0;
    QObject::connect(&first, &SingleInstance::reopenRequested, [&] { ++reopened; });

    SingleInstance::Answer answer = SingleInstance::Answer::missing;
    QThread *client = QThread::create([&] { answer = SingleInstance(path).handOff(3000); });
    client->start();
    EXPECT_TRUE(waitUntil([&] { return client->isFinished(); }, 5000));
    client->wait();
    delete client;
    EXPECT_EQ(answer, SingleInstance::Answer::taken);
    EXPECT_EQ(reopened, 1);

    // Another instance put its socket at the path (after this one stopped answering): when
    // this one stops serving, that socket stays.
    ASSERT_TRUE(QFile::remove(path));
    QLocalServer other;
    ASSERT_TRUE(other.listen(path));
    first.stopServing();
    EXPECT_TRUE(QFileInfo::exists(path));
    EXPECT_FALSE(first.isListening());

    EXPECT_TRUE(SingleInstance::serverName(QStringLiteral(":1.0")).endsWith(QStringLiteral("-_1_0")));
    EXPECT_EQ(SingleInstance::location(QStringLiteral(":1")).path,
              QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).filePath(SingleInstance::serverName(QStringLiteral(":1"))))
        << "the test's runtime folder is private";
}

TEST(TerminationSignals, SIGTERMArrivesAsACallOnTheMainThread)
{
    int received = 0;
    {
        TerminationSignals signalsSeen([&] { ++received; });
        ASSERT_TRUE(signalsSeen.isInstalled());
        ::raise(SIGTERM);
        EXPECT_TRUE(waitUntil([&] { return received == 1; }));
    }
    struct sigaction current = {};
    ::sigaction(SIGTERM, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_DFL) << "the handler is restored";
}

TEST_F(DelegateTest, TheQuitDuringCaptureRunWritesItsSummaryWhenNothingOfTheCaptureIsLeft)
{
    const QString evidence = folder.filePath(QStringLiteral("evidence"));
    ASSERT_TRUE(QDir().mkpath(evidence));
    TestSupport::LaunchArgumentsScope arguments(
        {QStringLiteral("kivaro"), QStringLiteral("--verify-quit-capture"), QStringLiteral("--evidence-dir"), evidence});
    launch();
    // As the scenario does once its capture waits for the user.
    PrototypeVerification::noteQuitPostedDuringCapture();
    delegate->terminate();
    const bool terminated = waitUntil([&] { return delegate->hasTerminated(); });
    PrototypeVerification::noteQuitPostedDuringCapture(false);
    ASSERT_TRUE(terminated);
    QFile summary(evidence + QStringLiteral("/summary.json"));
    ASSERT_TRUE(summary.open(QIODevice::ReadOnly));
    EXPECT_EQ(summary.readAll(), QByteArrayLiteral("{\"status\":\"passed\",\"quitDuringCapture\":true,\"captureCleanedUp\":true}"));
    EXPECT_EQ(summary.size(), 68);
}

// Mended: any quit wrote the pass, also one that came before the scenario had seen its capture
// wait and posted the quit itself.
TEST_F(DelegateTest, TheQuitDuringCaptureRunFailsWhenTheQuitWasNotTheScenarios)
{
    const QString evidence = folder.filePath(QStringLiteral("evidence"));
    ASSERT_TRUE(QDir().mkpath(evidence));
    TestSupport::LaunchArgumentsScope arguments(
        {QStringLiteral("kivaro"), QStringLiteral("--verify-quit-capture"), QStringLiteral("--evidence-dir"), evidence});
    launch();
    delegate->terminate();
    ASSERT_TRUE(waitUntil([&] { return delegate->hasTerminated(); }));
    QFile summary(evidence + QStringLiteral("/summary.json"));
    ASSERT_TRUE(summary.open(QIODevice::ReadOnly));
    EXPECT_EQ(summary.readAll(), QByteArrayLiteral("{\"error\":\"the application ended without the scenario's quit during its capture\","
                                                   "\"status\":\"failed\"}"));
}

TEST_F(DelegateTest, UndoAndRedoOfTheEditMenuReachTheEditorsCanvas)
{
    launch();
    EditorController *editor = delegate->editor();
    editor->document()->load(picture(), false);
    editor->window()->show();
    QApplication::setActiveWindow(editor->window());
    ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == editor->window(); }));
    editor->mode()->setSelectedSegment(EditorController::mosaicSegment);
    editor->modeChanged();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(editor->window()));
    const QSizeF overlay = editor->overlay()->size();
    ASSERT_GT(overlay.width(), 0);
    editor->addMask(QRectF(overlay.width() * 0.3, overlay.height() * 0.3, overlay.width() * 0.3, overlay.height() * 0.3));
    ASSERT_TRUE(waitUntil([&] { return !editor->busy() && editor->document()->masks().size() == 1; }));

    QAction *undo = submenu(2)->actions().at(0);
    QAction *redo = submenu(2)->actions().at(1);
    EXPECT_EQ(undo->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    undo->trigger();
    EXPECT_TRUE(waitUntil([&] { return editor->document()->masks().isEmpty(); }));
    redo->trigger();
    EXPECT_TRUE(waitUntil([&] { return editor->document()->masks().size() == 1; }));

    editor->setBusy(true);
    EXPECT_FALSE(delegate->undoInActiveWindow(false)) << "nothing is undone while the editor is busy";
    editor->setBusy(false);
}

TEST_F(DelegateTest, TheKitsEditAndWindowMenusSpeakTheUsersLanguage)
{
    StringTable::overrideLanguage(QStringLiteral("en"));
    launch();
    QStringList titles;
    for (QAction *action : delegate->mainMenu()->actions())
        if (action->menu())
            titles << action->menu()->title();
    EXPECT_TRUE(titles.contains(QStringLiteral("Edit"))) << titles.join(u',').toStdString();
    EXPECT_TRUE(titles.contains(QStringLiteral("Window"))) << titles.join(u',').toStdString();
    for (QAction *action : delegate->mainMenu()->actions()) {
        if (!action->menu() || action->menu()->title() != u"Edit")
            continue;
        QStringList items;
        for (QAction *item : action->menu()->actions())
            if (!item->isSeparator())
                items << item->text();
        EXPECT_EQ(items.mid(0, 2), (QStringList{QStringLiteral("Undo"), QStringLiteral("Redo")}));
        EXPECT_TRUE(items.contains(QStringLiteral("Select All"))) << items.join(u',').toStdString();
    }
    StringTable::overrideLanguage(QString());
}

// ---- the updater, as main() wires it -------------------------------------------------------------

namespace {

class UpdaterWiring : public DelegateTest {
protected:
    // What main() does before launching, with an updater that is enabled, keeps its switch in
    // the test's preferences and runs on a clock the test moves.
    void wire()
    {
        delegate = std::make_unique<AppDelegate>(services());
        NativeAppUpdater::NativeUpdaterServices updaterServices;
        updaterServices.clock = clock;
        updaterServices.requestTermination = delegate->terminationRequest();
        updaterServices.runningBundle = [] { return std::optional<NativeAppUpdater::NativeBundle>(); };
        updaterServices.prepareOptions.stagingRoot = folder.filePath(QStringLiteral("updates"));
        NativeAppUpdater::NativeUpdateConfiguration configuration = kivaroUpdateConfiguration(std::nullopt, {});
        configuration.isEnabled = true;
        configuration.trust = UpdaterTesting::configuration().trust;
        // A check would go nowhere reachable.
        configuration.manifestURL = QUrl(QStringLiteral("https://127.0.0.1:1/downloads/update.json"));
        configuration.allowedDownloadHosts = {QStringLiteral("127.0.0.1")};
        updater = new NativeAppUpdater::NativeUpdater(configuration, defaults(), updaterServices, delegate.get());
        prompts = new KivaroUpdatePrompts(delegate.get());
        delegate->setUpdater(updater, prompts);
    }
    void wireAndLaunch()
    {
        wire();
        delegate->applicationDidFinishLaunching();
    }

    std::shared_ptr<UpdaterTesting::ManualClock> clock = std::make_shared<UpdaterTesting::ManualClock>();
    NativeAppUpdater::NativeUpdater *updater = nullptr;
    KivaroUpdatePrompts *prompts = nullptr;
};

} // namespace

TEST_F(UpdaterWiring, TheMenuItemTheSettingsBlockAndThePromptWindowBelongToTheUpdater)
{
    {
        // Without an updater the item stays off and the settings window has no update block.
        TestSupport::LaunchArgumentsScope arguments({QStringLiteral("kivaro")});
        launch();
        EXPECT_FALSE(submenu(0)->actions().at(3)->isEnabled());
        EXPECT_FALSE(delegate->shortcutSettings()->window()->findChild<UpdateSettingsView *>());
        delegate.reset();
    }
    TestSupport::LaunchArgumentsScope arguments({QStringLiteral("kivaro")});
    wireAndLaunch();
    QAction *item = submenu(0)->actions().at(3);
    EXPECT_EQ(item->text(), kivaroCopy(QStringLiteral("检查更新…")));
    EXPECT_TRUE(item->isEnabled());
    ASSERT_TRUE(delegate->shortcutSettings()->window()->findChild<UpdateSettingsView *>());
    EXPECT_EQ(delegate->updater(), updater);
    EXPECT_EQ(delegate->updatePrompts(), prompts);

    // The tray menu's item too.
    delegate->menuBarPreference()->trigger();
    ASSERT_TRUE(delegate->statusMenu());
    bool trayItemEnabled = false;
    for (QAction *action : delegate->statusMenu()->actions())
        trayItemEnabled |= action->text() == kivaroCopy(QStringLiteral("检查更新…")) && action->isEnabled();
    EXPECT_TRUE(trayItemEnabled);

    // The updater's prompts open the application's own window; the answer comes back once.
    ASSERT_TRUE(updater->promptPresenter());
    NativeAppUpdater::NativeUpdatePrompt prompt;
    prompt.title = QStringLiteral("Kivaro 2.0");
    prompt.detail = QStringLiteral("detail");
    prompt.primary = QStringLiteral("OK");
    QList<bool> answers;
    updater->promptPresenter()(prompt, [&](bool accepted) { answers << accepted; });
    ASSERT_TRUE(prompts->window());
    EXPECT_TRUE(prompts->window()->isVisible());
    prompts->accept();
    EXPECT_EQ(answers, QList<bool>{true});
}

TEST_F(UpdaterWiring, AutomaticChecksStartAtLaunchUnlessThePublishedUpdateIsVerified)
{
    defaults().set(QStringLiteral("NativeUpdater.kivaro.automaticallyChecksForUpdates"), true);
    {
        TestSupport::LaunchArgumentsScope arguments({QStringLiteral("kivaro")});
        wire();
        EXPECT_TRUE(clock->pending().empty()) << "nothing before launch";
        delegate->applicationDidFinishLaunching();
        EXPECT_EQ(clock->pending(), (std::vector<double>{4, 21600}));
        delegate.reset();
    }
    TestSupport::LaunchArgumentsScope arguments({QStringLiteral("kivaro"), QStringLiteral("--verify-updater")});
    clock = std::make_shared<UpdaterTesting::ManualClock>();
    wireAndLaunch();
    EXPECT_TRUE(updater->automaticallyChecksForUpdates());
    EXPECT_TRUE(clock->pending().empty());
}

TEST_F(UpdaterWiring, TheUpdatersQuitIsTheDelegatesOwnAndWaitsForABusyEditor)
{
    TestSupport::LaunchArgumentsScope arguments({QStringLiteral("kivaro")});
    wireAndLaunch();
    ASSERT_TRUE(updater->terminationRequest());
    delegate->editor()->setBusy(true);
    updater->terminationRequest()();
    EXPECT_FALSE(delegate->isTerminationPending());
    EXPECT_FALSE(delegate->hasTerminated());
    EXPECT_EQ(delegate->editor()->status()->stringValue(), kivaroCopy(QStringLiteral("请先完成当前操作，或按 Esc 取消语音。")));

    delegate->editor()->setBusy(false);
    delegate->editor()->document()->load(picture(), false);
    updater->terminationRequest()();
    ASSERT_TRUE(waitUntil([&] { return delegate->hasTerminated(); }));
    EXPECT_EQ(delegate->editor()->recent()->entries().size(), 1) << "the shot was written, as on any quit";

    // A request arriving after the delegate is gone does nothing.
    const std::function<void()> request = updater->terminationRequest();
    delegate.reset();
    request();
}
