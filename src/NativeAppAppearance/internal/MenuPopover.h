#pragma once
// The transient window that carries a menu's content view: a frameless popup, shaped to the
// content's rounded rectangle, that the window system closes on a click outside it. It tells
// its owner when it closed, however that happened. Once it is closed, a window the window
// system gave the keyboard to while it was open is the application's active window.

#include <QPointer>
#include <QRect>
#include <QWidget>

namespace NativeAppAppearance {

class MenuPopover final : public QWidget {
    Q_OBJECT
public:
    MenuPopover();

    QWidget *contentView() const { return m_content; }
    // Shows `view` in place of the current content (which is deleted later) and fits the window.
    void setContentView(QWidget *view);
    // Places the window against `anchor` (global coordinates) and shows it.
    void present(const QRect &anchor);

    // Below the anchor, centred on it, kept inside `screen`; above it when there is no room below.
    static QPoint origin(const QRect &anchor, const QSize &size, const QRect &screen);
    static constexpr int gap = 6;

Q_SIGNALS:
    void closed(MenuPopover *popover);

protected:
    void hideEvent(QHideEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void place();

    QPointer<QWidget> m_content;
    QRect m_anchor;
    bool m_announced = false;
    bool m_forwardingKey = false;
};

} // namespace NativeAppAppearance
