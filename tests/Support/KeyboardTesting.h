#pragma once
// Drives a shown window from the keyboard as a user does: a key goes to the window, and Qt hands
// it to the window's shortcuts and its focused control, not straight to a widget the test picks.

#include <QApplication>
#include <QList>
#include <QTest>
#include <QWidget>
#include <QWindow>

namespace TestSupport {

// Presses and releases `key` in the window of `widget`.
inline void press(QWidget *widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *window = widget->window();
    QTest::keyClick(window->windowHandle(), key, modifiers);
}

// The controls Tab visits in `window`, starting from its focused control (or from the first
// control Tab reaches when nothing has the focus), until the first comes round again; at most
// `limit` presses.
inline QList<QWidget *> tabRound(QWidget *window, int limit = 40)
{
    QList<QWidget *> visited;
    if (!window->focusWidget())
        press(window, Qt::Key_Tab);
    for (QWidget *focused = window->focusWidget(); focused && !visited.contains(focused) && visited.size() < limit;
         focused = window->focusWidget()) {
        visited << focused;
        press(window, Qt::Key_Tab);
    }
    return visited;
}

// Whether `controls` stand in reading order on the screen: each one's top edge lies lower than
// the one before's, or level with it (within `tolerance` pixels) and its left edge further
// right. Top-left corners, not centres: a list comes before the buttons inside its rows.
inline bool inScreenOrder(const QList<QWidget *> &controls, int tolerance = 8)
{
    for (int i = 1; i < controls.size(); ++i) {
        const QPoint before = controls[i - 1]->mapToGlobal(QPoint(0, 0));
        const QPoint now = controls[i]->mapToGlobal(QPoint(0, 0));
        const bool level = qAbs(now.y() - before.y()) <= tolerance;
        if (level ? now.x() <= before.x() : now.y() < before.y())
            return false;
    }
    return true;
}

} // namespace TestSupport
