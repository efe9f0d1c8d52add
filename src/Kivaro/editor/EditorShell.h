#pragma once
// What the editor needs of the application shell, as small interfaces the shell implements:
// the application delegate's settings action and its capture settings window. The editor holds
// the shell weakly in spirit (a plain pointer the shell clears before it goes) and works
// without one: then nothing opens the settings window.

#include <QColor>
#include <QString>

class QWidget;

namespace Kivaro {

// The capture settings window controller.
class ShortcutSettingsController {
public:
    virtual ~ShortcutSettingsController() = default;
    // The settings window, null until made.
    virtual QWidget *window() const = 0;
    virtual void makeWindow() = 0;
    // Reloads the window's controls from the stored preferences.
    virtual void refresh() = 0;
    // Shows `text` in the window's message line in `color`.
    virtual void setMessage(const QString &text, const QColor &color) = 0;
};

// The application delegate.
class EditorShell {
public:
    virtual ~EditorShell() = default;
    // Null when the shell has no settings controller.
    virtual ShortcutSettingsController *shortcutSettings() const = 0;
    // Opens the settings window (the More menu's last item).
    virtual void showSettings() = 0;
};

} // namespace Kivaro
