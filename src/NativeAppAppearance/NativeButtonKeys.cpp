#include "NativeAppAppearance/NativeButtonKeys.h"

#include <QAbstractButton>
#include <QKeyEvent>

namespace NativeAppAppearance::NativeButtonKeys {

namespace {

class ReturnPress final : public QObject {
public:
    explicit ReturnPress(QAbstractButton *button) : QObject(button), m_button(button) { button->installEventFilter(this); }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_button || (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride))
            return false;
        auto *key = static_cast<QKeyEvent *>(event);
        if (!presses(*key))
            return false;
        if (event->type() == QEvent::ShortcutOverride) {
            // Delivered as a key press to the button instead of triggering the window's shortcut.
            event->accept();
            return true;
        }
        if (!key->isAutoRepeat())
            m_button->click();
        return true;
    }

private:
    bool presses(const QKeyEvent &key) const
    {
        const bool returnKey = key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
        const Qt::KeyboardModifiers held = key.modifiers() & ~Qt::KeypadModifier;
        return returnKey && held == Qt::NoModifier && m_button->isEnabled();
    }

    QAbstractButton *m_button;
};

} // namespace

void install(QAbstractButton *button)
{
    if (button)
        new ReturnPress(button);
}

} // namespace NativeAppAppearance::NativeButtonKeys
