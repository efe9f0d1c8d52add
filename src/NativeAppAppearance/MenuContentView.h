#pragma once
// The list shown inside the popover menu: one NativeMenuRow per visible item of a QMenu, with
// separators between, and keyboard focus.
//
// Geometry (points, y down): width = the widest title (13-point font) + 90, between 240 and
// 420; 8 points of padding above and below; rows 34 high at x 8, width − 16; a separator takes
// 12. Keys are handled by `keyDown` with virtual key codes (Escape 53, Down 125, Up 126,
// Left 123, Return 36, Right 124, Space 49); `keyPressEvent` translates Qt's keys to them.

#include "NativeAppAppearance/NativeMenuRow.h"

#include <QList>
#include <QWidget>

#include <functional>

class QAction;
class QMenu;

namespace NativeAppAppearance {

class MenuContentView final : public QWidget {
    Q_OBJECT
public:
    MenuContentView(QMenu *menu, QAction *selected, std::function<void()> back, NativeMenuRow::Choose choose,
                    QWidget *parent = nullptr);

    QMenu *menu() const { return m_menu; }
    const QList<NativeMenuRow *> &rows() const { return m_rows; }
    int focused() const { return m_focused; }
    QList<QRectF> separators() const { return m_separators; }

    // Focuses a row; ignored outside the rows and for a disabled row.
    void focus(int index);
    // Handles a key by its virtual key code; false when the key was passed on.
    bool keyDown(int keyCode);

    static int widthFor(const QMenu *menu);
    static void paintBackground(QPainter &painter, const QSizeF &size, Appearance appearance);

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QMenu *m_menu;
    QList<NativeMenuRow *> m_rows;
    QList<QRectF> m_separators;
    int m_focused = -1;
    std::function<void()> m_back;
};

} // namespace NativeAppAppearance
