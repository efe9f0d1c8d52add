#include "Kivaro/shell/AppDelegate.h"

#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/editor/InlineCaptureEditor.h"
#include "Kivaro/shell/ApplicationVisibility.h"
#include "Kivaro/shell/ShortcutSettingsController.h"
#include "Kivaro/shell/capture/CaptureIntent.h"
#include "Kivaro/shell/capture/GlobalShortcut.h"
#include "Kivaro/update/UpdateShellHooks.h"
#include "KivaroCore/CaptureModeShortcuts.h"
#include "KivaroCore/LaunchArguments.h"
#include "KivaroCore/Localization.h"
#include "KivaroCore/PreferencesMigration.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeEditingMenu.h"
#include "NativeAppAppearance/NativeMenuStyle.h"
#include "NativeAppAppearance/NativeStatusMenu.h"
#include "NativeAppAppearance/NativeSymbols.h"
#include "NativeAppAppearance/NativeWindowMenu.h"
#include "NativeAppUpdater/NativeUpdater.h"
#include "Platform/Defaults/UserDefaults.h"
#include "Platform/Markup/MarkupCanvas.h"
#include "Platform/Markup/UndoManager.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QSystemTrayIcon>

namespace Kivaro {

using Platform::UserDefaults;

namespace {
AppDelegate *g_shared = nullptr;
const char *const menuBarKey = "kivaro.showMenuBar";

// The kit's Edit and Window menus name their texts by these keys; they are looked up here so
// that the string tables carry them.
QString translate(const QString &key)
{
    if (key == u"撤销")
        return kivaroCopy("撤销");
    if (key == u"重做")
        return kivaroCopy("重做");
    if (key == u"剪切")
        return kivaroCopy("剪切");
    if (key == u"复制")
        return kivaroCopy("复制");
    if (key == u"粘贴")
        return kivaroCopy("粘贴");
    if (key == u"全选")
        return kivaroCopy("全选");
    if (key == u"窗口")
        return kivaroCopy("窗口");
    return kivaroCopy(key);
}
} // namespace

AppDelegate::AppDelegate(Services services, QObject *parent)
    : QObject(parent), m_services(std::move(services)), m_visibility(new ApplicationVisibility(this))
{
    if (!g_shared)
        g_shared = this;
}

AppDelegate::~AppDelegate()
{
    // The tray icon goes before the menus its binding shares.
    delete m_statusItem;
    m_statusItem = nullptr;
    delete m_shortcutSettings;
    m_shortcutSettings = nullptr;
    if (m_editor)
        m_editor->setShell(nullptr);
    delete m_editor;
    delete m_menuBar;
    if (g_shared == this)
        g_shared = nullptr;
}

AppDelegate *AppDelegate::shared()
{
    return g_shared;
}

void AppDelegate::setUpdater(NativeAppUpdater::NativeUpdater *updater, KivaroUpdatePrompts *prompts)
{
    m_updater = updater;
    m_updatePrompts = prompts;
    if (m_checkUpdatesItem)
        m_checkUpdatesItem->setEnabled(m_updater != nullptr);
}

std::function<void()> AppDelegate::terminationRequest()
{
    return [self = QPointer<AppDelegate>(this)] {
        if (self)
            self->terminate();
    };
}

// ---- launch --------------------------------------------------------------------------------------

void AppDelegate::applicationDidFinishLaunching()
{
    using PrototypeVerification::hasFlag;
    const UserDefaults defaults = UserDefaults::standard();

    // 1. Preferences of the earlier build; never in a verification run.
    if (!hasFlag(QStringLiteral("--verify")) && !hasFlag(QStringLiteral("--ui-session"))) {
        if (const std::optional<QVariantMap> legacy = UserDefaults::persistentDomain(QString::fromLatin1(UserDefaults::legacyDomain)))
            PreferencesMigration::migrate(defaults, *legacy);
    }

    // 2, 3. The icon and the policy.
    const QIcon icon(QStringLiteral(":/kivaro/shell/AppIcon.png"));
    if (!icon.isNull())
        QApplication::setWindowIcon(icon);
    ApplicationActivationPolicy::set(ActivationPolicy::regular);

    // 4. The update prompts: the application's own window while it exists.
    if (m_updater && m_updatePrompts)
        installUpdatePrompts(*m_updater, m_updatePrompts);

    // 5. The tracker.
    m_visibility->start();

    // 6, 7. The editor and the menus.
    m_editor = new EditorController(m_services.editor);
    m_editor->setShell(this);
    installMenu();

    // 8. The editor window: the controller's own, hidden until the editor shows itself.
    m_window = m_editor->window();
    if (m_window) {
        m_window->setContentMinSize({760, 540});
        m_window->setContentSize({1080, 760});
        m_window->center();
        attachMenuShortcuts(m_window);
        // Not deferred: the window exists on the display from launch on, unmapped.
        m_window->winId();
    }

    // 9. The hot keys, window capture first.
    QPointer<AppDelegate> self(this);
    m_shortcut = new GlobalShortcut([self] { if (self) self->windowHotKeyPressed(); }, {}, this);
    m_alternateShortcut = new GlobalShortcut([self] { if (self) self->regionHotKeyPressed(); }, {}, this);

    // 10. The settings controller.
    m_shortcutSettings = new Shell::ShortcutSettingsController(m_shortcut, m_alternateShortcut, m_updater, defaults, [self] {
        if (self)
            self->refreshShortcutTitles();
    });
    m_shortcutSettings->setMenuBar(m_menuBar);

    // 11. The stored bindings.
    try {
        m_shortcutSettings->configure(CaptureModeShortcuts::read(CaptureSelectionMode::window, m_shortcutSettings->defaults()),
                                      CaptureModeShortcuts::read(CaptureSelectionMode::region, m_shortcutSettings->defaults()));
    } catch (...) {
        m_editor->show(std::current_exception());
    }

    // 12. The settings window, the only window shown at launch.
    showSettings();
    if (QWidget *settings = m_shortcutSettings->window())
        attachMenuShortcuts(settings);

    // 13. Titles and the tray icon.
    refreshShortcutTitles();
    updateMenuBar();

    // 14. The automatic update checks (4 s, then every 6 hours, while the user has them on),
    // unless the published update is being verified.
    if (m_updater)
        startAutomaticUpdateChecks(*m_updater, PrototypeVerification::processArguments());

    // "--verify-updater", the interactive verification session and the "--verify" scenario
    // dispatch are started by main() right after this returns (Kivaro::Verification::startLaunchRuns).
}

void AppDelegate::appendMainMenu(QMenu *menu)
{
    if (!m_mainMenu || !menu)
        return;
    m_mainMenu->addMenu(menu);
    if (m_menuBar)
        m_menuBar->addMenu(menu);
    // Windows that already carry the menus' shortcuts get this one's too.
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window->property("kivaroMenusAttached").toBool())
            window->addAction(menu->menuAction());
}

// ---- menus ---------------------------------------------------------------------------------------

void AppDelegate::installMenu()
{
    if (m_mainMenu)
        return;
    buildMainMenu();
    qApp->installEventFilter(this);
    NativeAppAppearance::NativeWindowMenu::install(m_mainMenu.get(), translate);
    NativeAppAppearance::NativeMenuStyle::install();
    NativeAppAppearance::NativeMenuStyle::decorate(m_mainMenu.get(), true);

    m_menuBar = new QMenuBar;
    m_menuBar->setNativeMenuBar(false);
    m_menuBar->setObjectName(QStringLiteral("mainMenuBar"));
    for (QAction *item : m_mainMenu->actions())
        if (item->menu())
            m_menuBar->addMenu(item->menu());
    NativeAppAppearance::NativeMenuStyle::decorate(m_menuBar);
}

void AppDelegate::buildMainMenu()
{
    m_mainMenu = std::make_unique<QMenu>();
    m_mainMenu->setObjectName(QStringLiteral("mainMenu"));

    // The application menu.
    QMenu *application = m_mainMenu->addMenu(QStringLiteral("Kivaro"));
    QAction *settings = application->addAction(kivaroCopy(QStringLiteral("设置…")), this, &AppDelegate::showSettings);
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    m_checkUpdatesItem = application->addAction(kivaroCopy(QStringLiteral("检查更新…")), this, &AppDelegate::checkUpdates);
    m_checkUpdatesItem->setEnabled(m_updater != nullptr);
    QAction *quit = application->addAction(kivaroCopy(QStringLiteral("退出 Kivaro")), this, &AppDelegate::terminate);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setMenuRole(QAction::QuitRole);
    m_menuBarPreference = new QAction(kivaroCopy(QStringLiteral("显示菜单栏图标")), application);
    m_menuBarPreference->setCheckable(true);
    connect(m_menuBarPreference, &QAction::triggered, this, &AppDelegate::toggleMenuBar);
    application->insertAction(settings, m_menuBarPreference);
    application->insertSeparator(m_checkUpdatesItem);

    // "文件": the capture items and the editor's commands.
    QMenu *file = m_mainMenu->addMenu(kivaroCopy(QStringLiteral("文件")));
    m_captureMenuItem = file->addAction(GlobalShortcut::menuItemText(CaptureSelectionMode::window), this, &AppDelegate::captureRegion);
    m_regionCaptureMenuItem =
        file->addAction(GlobalShortcut::menuItemText(CaptureSelectionMode::region), this, &AppDelegate::captureDrawRegion);
    QPointer<AppDelegate> self(this);
    const auto toEditor = [self](void (EditorController::*action)()) {
        return [self, action] {
            if (self && self->m_editor)
                (self->m_editor->*action)();
        };
    };
    file->addAction(kivaroCopy(QStringLiteral("选区识字并复制")), this, [self] {
        if (self && self->m_editor)
            self->m_editor->captureRegion(CaptureIntent::text);
    });
    file->addAction(kivaroCopy(QStringLiteral("选区识字并 AI 润色")), this, [self] {
        if (self && self->m_editor)
            self->m_editor->captureRegion(CaptureIntent::polishedText);
    });
    file->addAction(kivaroCopy(QStringLiteral("识字与 AI 设置…")), this, toEditor(&EditorController::showTellumoSettings));
    file->addAction(kivaroCopy(QStringLiteral("录屏权限…")), this, toEditor(&EditorController::showCapturePermission));
    file->addAction(kivaroCopy(QStringLiteral("分享…")), this, [self] {
        if (self && self->m_editor)
            self->m_editor->shareImage();
    });
    file->addAction(kivaroCopy(QStringLiteral("识字记录…")), this, toEditor(&EditorController::showTextHistory));
    QAction *recent = file->addAction(kivaroCopy(QStringLiteral("最近截图…")), this, &AppDelegate::showRecent);
    recent->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    QAction *open = file->addAction(kivaroCopy(QStringLiteral("打开图片或工程…")), this, toEditor(&EditorController::openImage));
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    QAction *save = file->addAction(kivaroCopy(QStringLiteral("保存工程…")), this, toEditor(&EditorController::saveProject));
    save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));

    // "编辑": the standard commands go to the focused control; then the annotated image.
    QMenu *edit = NativeAppAppearance::NativeEditingMenu::install(m_mainMenu.get(), translate);
    // Undo and redo reach the markup canvas of the active window as well (the editor's shot),
    // whose undo manager holds the edits, when no focused control takes them.
    for (int index : {0, 1}) {
        QAction *item = edit->actions().value(index);
        if (!item)
            continue;
        const bool redo = index == 1;
        disconnect(item, &QAction::triggered, item, nullptr);
        connect(item, &QAction::triggered, this, [this, redo] { undoInActiveWindow(redo); });
    }
    if (QAction *redo = edit->actions().value(1))
        edit->insertSeparator(edit->actions().value(2, redo));
    QAction *copyImage = edit->addAction(kivaroCopy(QStringLiteral("复制标注图片")), this, toEditor(&EditorController::copyImage));
    copyImage->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
}

bool AppDelegate::eventFilter(QObject *watched, QEvent *event)
{
    // Every window of the application answers the main menu's shortcuts, as a menu bar shared
    // by all of them would: attach them when a window is first shown.
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto *widget = static_cast<QWidget *>(watched);
        const Qt::WindowType type = widget->windowType();
        if (widget->isWindow() && (type == Qt::Window || type == Qt::Dialog)
            && !widget->windowFlags().testFlag(Qt::X11BypassWindowManagerHint)
            && !widget->windowFlags().testFlag(Qt::BypassWindowManagerHint))
            attachMenuShortcuts(widget);
    }
    return QObject::eventFilter(watched, event);
}

void AppDelegate::attachMenuShortcuts(QWidget *window)
{
    if (!window || !m_mainMenu || window->property("kivaroMenusAttached").toBool())
        return;
    window->setProperty("kivaroMenusAttached", true);
    for (QAction *item : m_mainMenu->actions())
        if (item->menu())
            window->addAction(item);
}

bool AppDelegate::undoInActiveWindow(bool redo)
{
    QWidget *focus = QApplication::focusWidget();
    if (NativeAppAppearance::NativeEditingMenu::sendToFocusChain(focus, redo ? "redo" : "undo"))
        return true;
    Platform::MarkupCanvas *canvas = nullptr;
    for (QWidget *widget = focus; widget && !canvas; widget = widget->parentWidget())
        canvas = qobject_cast<Platform::MarkupCanvas *>(widget);
    if (!canvas)
        if (QWidget *window = QApplication::activeWindow())
            canvas = window->findChild<Platform::MarkupCanvas *>();
    if (!canvas || !canvas->isVisible())
        return false;
    // A long operation of the editor owns its shot until it ends.
    if (m_editor && m_editor->busy() && canvas == m_editor->document()->canvas())
        return false;
    Platform::UndoManager *manager = canvas->undoManager();
    if (redo ? !manager->canRedo() : !manager->canUndo())
        return false;
    redo ? manager->redo() : manager->undo();
    return true;
}

bool AppDelegate::performKeyEquivalent(const QKeySequence &key)
{
    if (!m_mainMenu || key.isEmpty())
        return false;
    const std::function<bool(QMenu *)> search = [&](QMenu *menu) {
        for (QAction *item : menu->actions()) {
            if (!item->isEnabled() || !item->isVisible() || item->isSeparator())
                continue;
            if (QMenu *submenu = item->menu()) {
                if (search(submenu))
                    return true;
                continue;
            }
            if (item->shortcut() == key) {
                item->trigger();
                return true;
            }
        }
        return false;
    };
    return search(m_mainMenu.get());
}

void AppDelegate::refreshShortcutTitles()
{
    const QString window = GlobalShortcut::menuItemText(CaptureSelectionMode::window);
    const QString region = GlobalShortcut::menuItemText(CaptureSelectionMode::region);
    if (m_captureMenuItem)
        m_captureMenuItem->setText(window);
    if (m_regionCaptureMenuItem)
        m_regionCaptureMenuItem->setText(region);
    if (m_statusMenu) {
        const QList<QAction *> items = m_statusMenu->actions();
        if (items.size() >= 1)
            items.at(0)->setText(window);
        if (items.size() >= 2)
            items.at(1)->setText(region);
    }
}

QMenu *AppDelegate::buildStatusMenu()
{
    auto *menu = new QMenu;
    menu->setObjectName(QStringLiteral("statusMenu"));
    menu->addAction(GlobalShortcut::menuItemText(CaptureSelectionMode::window), this, &AppDelegate::captureRegion);
    menu->addAction(GlobalShortcut::menuItemText(CaptureSelectionMode::region), this, &AppDelegate::captureDrawRegion);
    menu->addAction(kivaroCopy(QStringLiteral("设置…")), this, &AppDelegate::showSettings);
    menu->addAction(kivaroCopy(QStringLiteral("最近截图…")), this, &AppDelegate::showRecent);
    menu->addSeparator();
    QAction *updates = menu->addAction(kivaroCopy(QStringLiteral("检查更新…")), this, &AppDelegate::checkUpdates);
    updates->setEnabled(m_updater != nullptr);
    menu->addAction(kivaroCopy(QStringLiteral("隐藏菜单栏图标")), this, &AppDelegate::toggleMenuBar);
    QAction *quit = menu->addAction(kivaroCopy(QStringLiteral("退出")), this, &AppDelegate::terminate);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    // Shown for the reader only: the main menu's quit item owns the shortcut.
    quit->setShortcutContext(Qt::WidgetShortcut);
    return menu;
}

void AppDelegate::updateMenuBar()
{
    const bool shown = UserDefaults::standard().boolean(QString::fromLatin1(menuBarKey));
    if (m_menuBarPreference)
        m_menuBarPreference->setChecked(shown);
    if (shown && !m_statusItem) {
        m_statusItem = new QSystemTrayIcon(statusIcon(), this);
        m_statusItem->setToolTip(QStringLiteral("Kivaro"));
        // Its ink follows the appearance, as every view of the application does.
        connect(&NativeAppAppearance::AppearanceManager::shared(), &NativeAppAppearance::AppearanceManager::effectiveAppearanceChanged,
                m_statusItem, [this] {
                    if (m_statusItem)
                        m_statusItem->setIcon(statusIcon());
                });
        m_statusMenu.reset(buildStatusMenu());
        NativeAppAppearance::NativeStatusMenu::attach(m_statusItem, m_statusMenu);
        m_statusItem->show();
    } else if (!shown && m_statusItem) {
        NativeAppAppearance::NativeStatusMenu::detach(m_statusItem);
        m_statusItem->hide();
        delete m_statusItem;
        m_statusItem = nullptr;
    }
}

// ---- menu actions --------------------------------------------------------------------------------

void AppDelegate::captureRegion()
{
    if (m_editor)
        m_editor->captureRegion(CaptureIntents::read(UserDefaults::standard()), CaptureSelectionMode::window);
}

void AppDelegate::captureDrawRegion()
{
    if (m_editor)
        m_editor->captureRegion(CaptureIntents::read(UserDefaults::standard()), CaptureSelectionMode::region);
}

void AppDelegate::showRecent()
{
    if (m_editor && !m_editor->busy())
        m_editor->showRecent();
}

void AppDelegate::showSettings()
{
    if (m_editor)
        m_editor->inlineEditor()->dismiss();
    if (m_shortcutSettings) {
        m_shortcutSettings->show();
        if (QWidget *window = m_shortcutSettings->window())
            attachMenuShortcuts(window);
    }
}

void AppDelegate::checkUpdates()
{
    if (m_updater)
        m_updater->checkForUpdates(true);
}

QIcon AppDelegate::statusIcon()
{
    const bool dark =
        NativeAppAppearance::AppearanceManager::shared().effectiveApplicationAppearance() == NativeAppAppearance::Appearance::dark;
    return NativeAppAppearance::NativeSymbols::icon(QStringLiteral("viewfinder"), dark ? QColor(Qt::white) : QColor(Qt::black));
}

void AppDelegate::toggleMenuBar()
{
    try {
        UserDefaults::standard().set(QString::fromLatin1(menuBarKey), m_statusItem == nullptr);
    } catch (const Platform::DefaultsWriteError &) {
        // Not stored: the icon and the item stay as stored, and the settings window says why.
        const std::exception_ptr error = std::current_exception();
        updateMenuBar();
        showSettings();
        if (m_shortcutSettings)
            m_shortcutSettings->showError(error);
        return;
    }
    updateMenuBar();
}

void AppDelegate::showStatusMenu()
{
    if (m_statusItem && m_statusMenu)
        m_statusItem->activated(QSystemTrayIcon::Trigger);
}

// ---- hot keys ------------------------------------------------------------------------------------

void AppDelegate::windowHotKeyPressed()
{
    hotKeyPressed(CaptureSelectionMode::window, QGuiApplication::queryKeyboardModifiers().testFlag(Qt::AltModifier));
}

void AppDelegate::regionHotKeyPressed()
{
    hotKeyPressed(CaptureSelectionMode::region, QGuiApplication::queryKeyboardModifiers().testFlag(Qt::AltModifier));
}

void AppDelegate::hotKeyPressed(CaptureSelectionMode mode, bool keyboardOptionHeld)
{
    const UserDefaults defaults = UserDefaults::standard();
    const CaptureShortcutPreferences binding = CaptureModeShortcuts::read(mode, defaults);
    if (!m_editor)
        return;
    const CaptureIntent intent = CaptureIntents::read(defaults);
    m_editor->captureRegion(intent, mode, optionHeldFor(binding, keyboardOptionHeld));
}

bool AppDelegate::optionHeldFor(const CaptureShortcutPreferences &binding, bool keyboardOptionHeld)
{
    return (binding.binding.modifiers & HotKeyMask::option) == 0 && keyboardOptionHeld;
}

} // namespace Kivaro
