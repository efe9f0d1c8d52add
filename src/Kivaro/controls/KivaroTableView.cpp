#include "Kivaro/controls/KivaroTableView.h"

#include "Kivaro/controls/KivaroTableRow.h"
#include "NativeAppAppearance/AppearanceManager.h"

#include <QMouseEvent>
#include <QPainter>

using namespace NativeAppAppearance;

namespace Kivaro {

KivaroTableView::KivaroTableView(int rowHeight, QWidget *parent) : QWidget(parent), m_rowHeight(rowHeight)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void KivaroTableView::setRows(const QList<KivaroTableRow *> &rows)
{
    for (KivaroTableRow *row : std::as_const(m_rows)) {
        row->hide();
        row->deleteLater(); // a row's button may be the sender of what led here
    }
    m_rows = rows;
    m_selected = -1;
    for (KivaroTableRow *row : std::as_const(m_rows)) {
        row->setParent(this);
        row->setSelected(false);
        row->show();
    }
    setMinimumHeight(int(m_rows.size()) * m_rowHeight);
    layoutRows();
    updateGeometry();
    update();
}

void KivaroTableView::selectRow(int row)
{
    if (row < -1 || row >= m_rows.size())
        row = -1;
    m_selected = row;
    for (int i = 0; i < m_rows.size(); ++i)
        m_rows[i]->setSelected(i == row);
}

int KivaroTableView::rowAt(const QPoint &point) const
{
    if (point.y() < 0 || point.x() < 0 || point.x() >= width())
        return -1;
    const int row = point.y() / m_rowHeight;
    return row < m_rows.size() ? row : -1;
}

QSize KivaroTableView::sizeHint() const
{
    return {550, int(m_rows.size()) * m_rowHeight};
}

void KivaroTableView::layoutRows()
{
    for (int i = 0; i < m_rows.size(); ++i)
        m_rows[i]->setGeometry(0, i * m_rowHeight, width(), m_rowHeight);
}

void KivaroTableView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), AppearanceManager::shared().color(DynamicColor::windowBackground, this));
}

void KivaroTableView::resizeEvent(QResizeEvent *)
{
    layoutRows();
}

void KivaroTableView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    selectRow(rowAt(event->position().toPoint()));
}

void KivaroTableView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const int row = rowAt(event->position().toPoint());
    selectRow(row);
    Q_EMIT rowDoubleClicked(row);
}

} // namespace Kivaro
