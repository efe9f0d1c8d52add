#include "NativeAppAppearance/NativeEditingMenu.h"

#include "NativeAppAppearance/internal/MenuInstallation.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMetaMethod>

namespace NativeAppAppearance::NativeEditingMenu {

namespace {
struct Command {
    const char *title;
    const char *slot;
    QKeySequence shortcut;
};

QMenu *build(QWidget *parent, const Translate &translate)
{
    auto *menu = new QMenu(translate(QStringLiteral("编辑")), parent);
    menu->setTitle(translate(QStringLiteral("编辑")));
    const Command commands[] = {
        {"撤销", "undo", QKeySequence(Qt::CTRL | Qt::Key_Z)},
        {"重做", "redo", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
        {"剪切", "cut", QKeySequence(Qt::CTRL | Qt::Key_X)},
        {"复制", "copy", QKeySequence(Qt::CTRL | Qt::Key_C)},
        {"粘贴", "paste", QKeySequence(Qt::CTRL | Qt::Key_V)},
        {"全选", "selectAll", QKeySequence(Qt::CTRL | Qt::Key_A)},
    };
    for (const Command &command : commands) {
        QAction *action = menu->addAction(translate(QString::fromUtf8(command.title)));
        action->setShortcut(command.shortcut);
        const QByteArray slot(command.slot);
        QObject::connect(action, &QAction::triggered, action, [slot] { sendToFocusChain(QApplication::focusWidget(), slot.constData()); });
    }
    return menu;
}
} // namespace

bool sendToFocusChain(QWidget *start, const char *slot)
{
    const QByteArray signature = QByteArray(slot) + "()";
    for (QWidget *widget = start; widget; widget = widget->parentWidget()) {
        const QMetaObject *meta = widget->metaObject();
        const int index = meta->indexOfMethod(signature.constData());
        if (index >= 0 && meta->method(index).methodType() != QMetaMethod::Signal)
            return meta->method(index).invoke(widget, Qt::DirectConnection);
    }
    return false;
}

QMenu *install(QMenuBar *menuBar, const Translate &translate)
{
    return appendBuiltMenu(menuBar, [&](QWidget *parent) { return build(parent, translate); });
}

QMenu *install(QMenu *mainMenu, const Translate &translate)
{
    return appendBuiltMenu(mainMenu, [&](QWidget *parent) { return build(parent, translate); });
}

} // namespace NativeAppAppearance::NativeEditingMenu
