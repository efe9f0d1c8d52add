#pragma once
// The application's window: a frameless top-level window that draws its own 32-point title bar
// across its top (the title centred, and round close, minimise and zoom buttons at the left).
// Dragging the bar moves the window through the window system's move request; a resizable
// window can be resized from its edges through the window system's resize request.
//
// Callers choose the style mask, the content size and the content view. The content sits
// below the title area of a titled window and fills a borderless one. The title bar is built by
// `installChrome()`, which `makeKeyAndOrderFront()` calls every time: until then a titled
// window shows an empty title area, and each call replaces the bar, so its buttons follow the
// current style mask. A borderless window never gets one.
//
// Escape closes a closable window (`performClose`) when nothing inside it took the key: a
// focused control that uses Escape, or a window shortcut on it, keeps it.

#include <QPointer>
#include <QWidget>

namespace Kivaro {

class KivaroWindow : public QWidget {
    Q_OBJECT
public:
    enum StyleMaskFlag {
        Borderless = 0,
        Titled = 1 << 0,
        Closable = 1 << 1,
        Miniaturizable = 1 << 2,
        Resizable = 1 << 3,
    };
    Q_DECLARE_FLAGS(StyleMask, StyleMaskFlag)

    static constexpr int titleBarHeight = 32;

    // `contentRect`: the content's size, and where the window's top-left corner goes.
    KivaroWindow(const QRect &contentRect, StyleMask styleMask, QWidget *parent = nullptr);

    QString title() const { return windowTitle(); }
    void setTitle(const QString &title);

    StyleMask styleMask() const { return m_styleMask; }
    void setStyleMask(StyleMask styleMask);

    QWidget *contentView() const { return m_content; }
    // Takes ownership; the previous content view is deleted later.
    void setContentView(QWidget *view);
    QSize contentSize() const;
    void setContentSize(const QSize &size);
    void setContentMinSize(const QSize &size);
    // Centres the window on its screen's available area.
    void center();

    // The installed title bar, null before the first installation or on a borderless window.
    QWidget *chrome() const { return m_chrome; }
    void installChrome();
    // Shows the window, restored and on the user's desktop, in front and active: every window
    // of the application comes forward this one way (Platform::bringForward).
    void makeKeyAndOrderFront();

    void performClose();
    void performMiniaturize();
    void performZoom();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    int contentTop() const { return m_styleMask.testFlag(Titled) ? titleBarHeight : 0; }
    void layoutChildren();
    void updateGrips();

    StyleMask m_styleMask;
    QPointer<QWidget> m_content;
    QPointer<QWidget> m_chrome;
    QWidget *m_outline = nullptr;
    QList<QWidget *> m_grips;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(KivaroWindow::StyleMask)

} // namespace Kivaro
