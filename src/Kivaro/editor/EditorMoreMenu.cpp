// The dock's "更多" menu: the editor's secondary commands, shown through the shared popover menu.
//
// Every item is listed in its place and follows its own rules: "删除标注" only with a drawing
// selected, re-pointing only with a linked note selected. The settings item is always enabled;
// it asks the shell, when there is one, to open the settings.

#include "Kivaro/editor/EditorController.h"

#include "Kivaro/editor/EditorShell.h"

#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/shell/capture/GlobalShortcut.h"
#include "KivaroCore/Localization.h"
#include "NativeAppAppearance/NativeMenu.h"
#include "NativeAppAppearance/NativeMenuRow.h"

#include <QAction>
#include <QMenu>

using namespace NativeAppAppearance;

namespace Kivaro {

namespace {

QAction *addItem(QMenu *menu, const QString &title, std::function<void()> action, bool enabled = true)
{
    QAction *item = menu->addAction(title);
    item->setEnabled(enabled && bool(action));
    if (action)
        QObject::connect(item, &QAction::triggered, menu, std::move(action));
    return item;
}

} // namespace

void EditorController::showMore(QWidget *sender)
{
    if (m_busy)
        return;
    if (m_moreMenu) {
        if (NativeMenu::isShowing(m_moreMenu))
            NativeMenu::shared().close();
        delete m_moreMenu.data();
    }
    auto *menu = new QMenu;
    m_moreMenu = menu;
    const QPointer<EditorController> self(this);
    const auto command = [self](void (EditorController::*action)()) {
        return [self, action] {
            if (self)
                (self.data()->*action)();
        };
    };

    addItem(menu, GlobalShortcut::menuItemText(CaptureSelectionMode::window), command(&EditorController::captureWithShortcutAction));
    addItem(menu, GlobalShortcut::menuItemText(CaptureSelectionMode::region), command(&EditorController::captureRegionWithShortcutAction));
    addItem(menu, NativeMenuRow::withShortcut(kivaroCopy("打开…"), QKeySequence(Qt::CTRL | Qt::Key_O)), command(&EditorController::openImage));
    addItem(menu, NativeMenuRow::withShortcut(kivaroCopy("最近截图…"), QKeySequence(Qt::CTRL | Qt::Key_R)), command(&EditorController::showRecent));
    addItem(menu, kivaroCopy("识字记录…"), command(&EditorController::showTextHistory));
    addItem(menu, NativeMenuRow::withShortcut(kivaroCopy("保存工程…"), QKeySequence(Qt::CTRL | Qt::Key_S)), command(&EditorController::saveProject));
    addItem(menu, kivaroCopy("适应窗口"), command(&EditorController::fit));
    menu->addSeparator();
    addItem(menu, kivaroCopy("识字并复制"), command(&EditorController::recognizeImageText));
    addItem(menu, kivaroCopy("识字并 AI 润色"), command(&EditorController::recognizePolishedText));
    addItem(menu, kivaroCopy("识字与 AI 设置…"), command(&EditorController::showTellumoSettings));
    menu->addSeparator();
    // Re-pointing takes the next click on the picture.
    addItem(menu, kivaroCopy("修改指向"), command(&EditorController::retarget), m_document->selectedLink().has_value());
    addItem(menu, kivaroCopy("删除标注"), command(&EditorController::deleteAnnotation), !m_document->selectedDrawingIDs().isEmpty());
    menu->addSeparator();

    QMenu *languages = menu->addMenu(kivaroCopy("语音语言"));
    const QString languageNames[] = {kivaroCopy("普通话"), QStringLiteral("English")};
    for (int tag = 0; tag < 2; ++tag) {
        QAction *item = addItem(languages, languageNames[tag], [self, tag] {
            if (self)
                self->selectSpeechLanguage(tag);
        });
        item->setData(tag);
        item->setCheckable(true);
        item->setChecked(tag == m_localeIndex);
    }
    menu->addSeparator();
    addItem(menu, NativeMenuRow::withShortcut(kivaroCopy("设置…"), QKeySequence(Qt::CTRL | Qt::Key_Comma)), [self] {
        if (self && self->m_shell)
            self->m_shell->showSettings();
    });

    NativeMenu::shared().show(menu, sender);
}

} // namespace Kivaro
