#include "Kivaro/controls/KivaroTableView.h"

#include "Kivaro/controls/KivaroTableRow.h"
#include "Kivaro/controls/internal/ChoiceKeys.h"
#include "NativeAppAppearance/AppearanceManager.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>

using namespace NativeAppAppearance;

namespace Kivaro {

KivaroTableView::KivaroTableView(int rowHeight, QWidget *parent) : QWidget(parent), m_rowHeight(rowHeight)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setFocusPolicy(Qt::StrongFocus);
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
        row->setFocusRingShown(m_focusRing && hasFocus());
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
    showFocusRing(false);
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
    Q_EMIT rowActivated(row);
}

void KivaroTableView::keyPressEvent(QKeyEvent *event)
{
    const int count = int(m_rows.size());
    const bool plain = !(event->modifiers() & ~Qt::KeypadModifier);
    const int key = event->key();
    if (plain && (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) && m_selected >= 0) {
        if (!event->isAutoRepeat())
            Q_EMIT rowActivated(m_selected);
        return;
    }
    const std::optional<int> target = detail::steppedChoice(*event, m_selected, count, Qt::Vertical);
    if (!target) {
        event->ignore();
        return;
    }
    showFocusRing(true);
    selectRow(*target);
    scrollToSelection();
}

void KivaroTableView::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    showFocusRing(event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason || m_focusRing);
}

void KivaroTableView::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    // The window losing activation keeps the keyboard's ring for its return.
    const bool keep = m_focusRing && event->reason() == Qt::ActiveWindowFocusReason;
    showFocusRing(false);
    m_focusRing = keep;
}

void KivaroTableView::showFocusRing(bool shown)
{
    m_focusRing = shown;
    for (KivaroTableRow *row : std::as_const(m_rows))
        row->setFocusRingShown(shown && hasFocus());
}

void KivaroTableView::scrollToSelection()
{
    if (m_selected < 0)
        return;
    // The list is the widget of a scroll area, inside its viewport.
    QWidget *viewport = parentWidget();
    if (auto *area = viewport ? qobject_cast<QScrollArea *>(viewport->parentWidget()) : nullptr)
        area->ensureWidgetVisible(m_rows.at(m_selected), 0, 0);
}

} // namespace Kivaro
