#pragma once
// Appends a menu built for a parent to a menu bar, or to a menu standing for one.

#include <QMenu>
#include <QMenuBar>

namespace NativeAppAppearance {

template <typename Bar, typename Build>
QMenu *appendBuiltMenu(Bar *bar, Build build)
{
    if (!bar)
        return nullptr;
    QMenu *menu = build(bar);
    bar->addMenu(menu);
    return menu;
}

} // namespace NativeAppAppearance
