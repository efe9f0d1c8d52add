#pragma once
// A list of the application's windows (recent shots, recognised text): rows of one fixed height
// stacked from the top, the width of the list, with single selection. A press selects the row
// under it, a double-click selects it and reports it activated (-1 below the last row). Rows are
// KivaroTableRow widgets holding their cells; presses the cells do not take (everything but the
// share button) reach the list.
//
// The list takes the focus by Tab or a click. Up and Down, Home and End select (the first
// arrow press selects the first or last row) and scroll the row into view; Return, Enter and
// Space report the selected row activated. While the focus came from the keyboard, the
// selected row shows the focus ring. Other keys, Escape among them, pass on to the window.

#include <QList>
#include <QWidget>

namespace Kivaro {

class KivaroTableRow;

class KivaroTableView final : public QWidget {
    Q_OBJECT
public:
    explicit KivaroTableView(int rowHeight, QWidget *parent = nullptr);

    int rowHeight() const { return m_rowHeight; }

    // Replaces the rows; takes ownership. Nothing is selected afterwards.
    void setRows(const QList<KivaroTableRow *> &rows);
    const QList<KivaroTableRow *> &rows() const { return m_rows; }

    int selectedRow() const { return m_selected; }
    void selectRow(int row);
    // The row at a point of the list, or -1.
    int rowAt(const QPoint &point) const;

    QSize sizeHint() const override;

Q_SIGNALS:
    void rowActivated(int row);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void layoutRows();
    void showFocusRing(bool shown);
    void scrollToSelection();

    int m_rowHeight;
    QList<KivaroTableRow *> m_rows;
    int m_selected = -1;
    bool m_focusRing = false;
};

} // namespace Kivaro
