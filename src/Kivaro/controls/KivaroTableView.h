#pragma once
// A list of the application's windows (recent shots, recognised text): rows of one fixed height
// stacked from the top, the width of the list, with single selection. A press selects the row under it, a double-click selects
// it and reports it (-1 below the last row). Rows are KivaroTableRow widgets holding their
// cells; presses the cells do not take (everything but the share button) reach the list.

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
    void rowDoubleClicked(int row);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void layoutRows();

    int m_rowHeight;
    QList<KivaroTableRow *> m_rows;
    int m_selected = -1;
};

} // namespace Kivaro
