#pragma once
// The frame of the application's list windows (recent shots, recognised text): a titled,
// closable and resizable window of 580 × 480 points holding a scrolling table of rows of one
// height and a hint line below it, 16 points in from the left and the bottom.
//
// The window is built on the first `present` and kept: closing only hides it, and later calls
// keep its place and size and replace the rows. It belongs to this object. A subclass makes the
// rows and says what activating one (a double-click, or Return or Space on the selected row)
// does. The list has the keyboard focus when the window is built; Escape closes the window.

#include "Kivaro/controls/KivaroWindow.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSize>

#include <functional>

class QWidget;

namespace Kivaro {

class KivaroTableRow;
class KivaroTableView;

class KivaroListWindow : public QObject {
    Q_OBJECT
public:
    ~KivaroListWindow() override;

    // Null until the first present.
    KivaroWindow *window() const { return m_window; }
    // The row widgets, in order (empty before the first present).
    QList<KivaroTableRow *> rows() const;
    int selectedRow() const;
    void selectRow(int row);

protected:
    // Made when the window is built, so that texts are looked up then.
    struct Frame {
        std::function<QString()> title;
        int rowHeight = 0;
        QSize minimumSize;
        std::function<QWidget *()> makeHint;
    };

    KivaroListWindow(Frame frame, QObject *parent);

    // Builds the window on first use, replaces the rows (taking them) and brings the window to
    // the front with the keyboard focus.
    void present(const QList<KivaroTableRow *> &rows);
    // A row was double-clicked or chosen with the keyboard; it is the selected row now (-1: a
    // double-click below the last row).
    virtual void rowActivated(int row) = 0;

private:
    void build();

    Frame m_frame;
    QPointer<KivaroWindow> m_window;
    KivaroTableView *m_table = nullptr; // inside m_window
};

} // namespace Kivaro
