#pragma once
// The title bar of a KivaroWindow: the window background, the title centred in the 13-point
// medium font (cut in the middle when long), and the three window-control buttons. Pressing the
// bar anywhere but on a button starts a window move.

#include "NativeAppAppearance/Appearance.h"

#include <QPoint>
#include <QWidget>

#include <optional>

namespace Kivaro {

class KivaroWindow;
class WindowControlButton;

class KivaroTitlebar final : public QWidget {
    Q_OBJECT
public:
    explicit KivaroTitlebar(KivaroWindow *window);

    QList<WindowControlButton *> buttons() const { return m_buttons; }
    // The title's rectangle in a bar of `width` (points, y down).
    static QRectF titleRect(qreal width);
    static void paint(QPainter &painter, const QSizeF &size, const QString &title, NativeAppAppearance::Appearance appearance);
    // The window's title as Qt shows it: its "[*]" placeholder becomes "*" while the window is
    // marked modified and disappears otherwise.
    static QString shownTitle(const QWidget *window);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QList<WindowControlButton *> m_buttons;
    // Where the press happened relative to the window, while this bar moves it by itself
    // (when the window system refuses the move request).
    std::optional<QPoint> m_manualDrag;
};

} // namespace Kivaro
