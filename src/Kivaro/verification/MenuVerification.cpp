#include "Kivaro/verification/MenuVerification.h"

#include "Kivaro/verification/ShareMenuCapture.h"
#include "Kivaro/verification/support/EvidenceFiles.h"
#include "Kivaro/verification/support/SavedAppearance.h"
#include "Kivaro/verification/support/VerificationChecks.h"

#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/EditorController.h"
#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/MenuContentView.h"
#include "NativeAppAppearance/NativeMenu.h"
#include "NativeAppAppearance/NativePopupButton.h"
#include "Platform/Async/Awaitables.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QMenu>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QWindow>

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>

namespace Kivaro::MenuVerification {

using namespace std::chrono_literals;
using NativeAppAppearance::Appearance;
using NativeAppAppearance::AppearanceManager;
using NativeAppAppearance::MenuContentView;
using NativeAppAppearance::NativeMenu;

namespace {

enum Key : int { escape = 53, down = 125, right = 124, left = 123, enter = 36 };

using VerificationSupport::failWith;

MenuContentView *openMenu()
{
    return NativeMenu::shared().contentView();
}

void press(MenuContentView *view, int key)
{
    if (!view)
        failWith("No menu to send the key to");
    view->keyDown(key);
}

// Closes the shared menu, then gives the application its appearance back (the saved
// appearance, destroyed after), however the run ends.
class Restore final {
public:
    Restore() = default;
    ~Restore() { NativeMenu::shared().close(); }
    Restore(const Restore &) = delete;
    Restore &operator=(const Restore &) = delete;
    const VerificationSupport::SavedAppearance &appearance() const { return m_appearance; }

private:
    VerificationSupport::SavedAppearance m_appearance;
};

// Counts how often its action ran.
struct MenuProbe {
    int calls = 0;
    void invoke() { ++calls; }
};

} // namespace

QWidget *findMore(QWidget *view)
{
    if (!view)
        return nullptr;
    if (qobject_cast<QAbstractButton *>(view) && view->objectName() == QStringLiteral("showMore:"))
        return view;
    for (QObject *child : view->children())
        if (auto *subview = qobject_cast<QWidget *>(child))
            if (QWidget *found = findMore(subview))
                return found;
    return nullptr;
}

Platform::Task<void> run(EditorController *editor, QString output)
{
    if (!editor || !editor->document() || !editor->mode() || !editor->mosaicGrainControl())
        failWith("The application has no editor to drive");
    const Restore restore;
    const qint64 startingGrain = editor->document()->mosaicGrain();
    NativeAppAppearance::NativePopupButton *grain = editor->mosaicGrainControl();
    const auto file = [&output](const QString &name) -> QString { return output + u'/' + name; };

    editor->showEditor();
    editor->mode()->setSelectedSegment(EditorController::mosaicSegment);
    editor->updateMode();

    for (const Appearance appearance : {Appearance::light, Appearance::dark}) {
        const QString name = NativeAppAppearance::appearanceName(appearance);
        AppearanceManager::shared().setApplicationAppearance(appearance);
        grain->performClick();
        co_await Platform::sleep(300ms);
        MenuContentView *grainMenu = openMenu();
        if (!grainMenu)
            failWith("Custom grain menu did not open");
        co_await SharingVerification::captureShareMenu(file(QStringLiteral("menu-grain-") + name + QStringLiteral(".png")));
        press(grainMenu, escape);
        if (openMenu())
            failWith("Escape did not close menu");
        // Clicked as the user clicks it: the button's own wiring opens the menu.
        auto *more = qobject_cast<QAbstractButton *>(findMore(editor->view()));
        if (!more)
            failWith("More button missing");
        more->click();
        co_await Platform::sleep(300ms);
        if (!openMenu())
            failWith("Custom tools menu did not open");
        co_await SharingVerification::captureShareMenu(file(QStringLiteral("menu-tools-") + name + QStringLiteral(".png")));
        NativeMenu::shared().close();
    }
    restore.appearance().restore();

    // A grain chosen from the keyboard.
    grain->selectItemWithTag(24);
    grain->performClick();
    MenuContentView *grainMenu = openMenu();
    if (!grainMenu)
        failWith("Grain menu missing");
    press(grainMenu, down);
    press(grainMenu, enter);
    for (int pass = 0; pass < 100; ++pass)
        if (editor->busy())
            co_await Platform::sleep(20ms);
    if (!(editor->document()->mosaicGrain() == 40 && grain->selectedItem() && grain->selectedItem()->data().toLongLong() == 40))
        failWith("Keyboard selection did not update mosaic grain");
    co_await editor->document()->setMosaicGrain(startingGrain);
    grain->selectItemWithTag(startingGrain);

    // A menu driven from the keyboard alone: the disabled row is skipped, the submenu opens and
    // goes back, and its item runs once.
    MenuProbe probe;
    QMenu root;
    QAction *remove = root.addAction(kivaroCopy(QStringLiteral("删除标注")));
    QObject::connect(remove, &QAction::triggered, [&probe] { probe.invoke(); });
    remove->setEnabled(false);
    QMenu submenu(kivaroCopy(QStringLiteral("语音语言")));
    QAction *english = submenu.addAction(QStringLiteral("English"));
    QObject::connect(english, &QAction::triggered, [&probe] { probe.invoke(); });
    root.addMenu(&submenu);
    NativeMenu::shared().show(&root, grain, nullptr, {});
    MenuContentView *rootView = openMenu();
    if (!rootView)
        failWith("Menu missing");
    press(rootView, down);
    press(rootView, right);
    QPointer<MenuContentView> submenuView = openMenu();
    if (!submenuView || submenuView == rootView)
        failWith("Submenu did not open or disabled row was selected");
    press(submenuView, left);
    MenuContentView *returned = openMenu();
    if (!returned)
        failWith("Submenu return failed");
    press(returned, down);
    press(returned, right);
    MenuContentView *secondSubmenu = openMenu();
    if (!secondSubmenu)
        failWith("Submenu missing");
    press(secondSubmenu, down);
    press(secondSubmenu, enter);
    if (probe.calls != 1 || openMenu())
        failWith("Custom menu action did not execute once");

    editor->setActiveDrawingTool(std::nullopt);
    editor->mode()->setSelectedSegment(EditorController::selectSegment);
    editor->updateMode();
    VerificationSupport::writeEvidence(file(QStringLiteral("menus-result.json")), QByteArray(passResult));
}

} // namespace Kivaro::MenuVerification
