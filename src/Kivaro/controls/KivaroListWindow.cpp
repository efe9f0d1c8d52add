#include "Kivaro/controls/KivaroListWindow.h"

#include "Kivaro/controls/KivaroScroller.h"
#include "Kivaro/controls/KivaroTableRow.h"
#include "Kivaro/controls/KivaroTableView.h"
#include "Kivaro/controls/KivaroWindow.h"

#include <QHBoxLayout>
#include <QScrollArea>
#include <QVBoxLayout>

namespace Kivaro {

KivaroListWindow::KivaroListWindow(Frame frame, QObject *parent) : QObject(parent), m_frame(std::move(frame)) {}

KivaroListWindow::~KivaroListWindow()
{
    delete m_window.data();
}

void KivaroListWindow::present(const QList<KivaroTableRow *> &rows)
{
    if (!m_window)
        build();
    m_table->setRows(rows);
    m_window->makeKeyAndOrderFront();
}

void KivaroListWindow::build()
{
    auto *window = new KivaroWindow(QRect(0, 0, 580, 480), KivaroWindow::Titled | KivaroWindow::Closable | KivaroWindow::Resizable);
    window->setTitle(m_frame.title());

    auto *table = new KivaroTableView(m_frame.rowHeight);
    connect(table, &KivaroTableView::rowActivated, this, [this](int row) { rowActivated(row); });
    auto *scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus); // the list takes the focus and scrolls its selection into view
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBar(new KivaroScroller(Qt::Vertical));
    scroll->setWidgetResizable(true);
    scroll->setWidget(table);
    scroll->viewport()->setAutoFillBackground(false);

    auto *content = new QWidget;
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 16);
    column->setSpacing(12);
    column->addWidget(scroll, 1);
    auto *hintRow = new QHBoxLayout;
    hintRow->setContentsMargins(16, 0, 16, 0);
    hintRow->addWidget(m_frame.makeHint());
    column->addLayout(hintRow);

    window->setContentView(content);
    window->setContentMinSize(m_frame.minimumSize);
    window->center();
    table->setFocus();
    m_window = window;
    m_table = table;
}

QList<KivaroTableRow *> KivaroListWindow::rows() const
{
    return m_table ? m_table->rows() : QList<KivaroTableRow *>{};
}

int KivaroListWindow::selectedRow() const
{
    return m_table ? m_table->selectedRow() : -1;
}

void KivaroListWindow::selectRow(int row)
{
    if (m_table)
        m_table->selectRow(row);
}

} // namespace Kivaro
