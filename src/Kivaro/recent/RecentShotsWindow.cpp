#include "Kivaro/recent/RecentShotsWindow.h"

#include "Kivaro/recent/internal/RecentShotCaption.h"
#include "Kivaro/recent/internal/RecentShotPreview.h"
#include "Kivaro/sharing/ShareRowButton.h"

#include "Kivaro/controls/KivaroScroller.h"
#include "Kivaro/controls/KivaroTableRow.h"
#include "Kivaro/controls/KivaroTableView.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "KivaroCore/Localization.h"

#include <QHBoxLayout>
#include <QLocale>
#include <QScrollArea>
#include <QVBoxLayout>

namespace Kivaro {

using detail::RecentShotCaption;
using detail::RecentShotPreview;

RecentShotsWindow::RecentShotsWindow(QObject *parent) : QObject(parent) {}

RecentShotsWindow::~RecentShotsWindow()
{
    delete m_window.data();
}

QString RecentShotsWindow::caption(const RecentShot &shot)
{
    const QString date = QLocale().toString(shot.date.toLocalTime(), QStringLiteral("MM-dd HH:mm:ss"));
    return kivaroFormat("%@\n双击继续标注", date);
}

void RecentShotsWindow::show(const QList<RecentShot> &shots, ShareAction share, OpenAction open)
{
    m_shots = shots;
    m_shareShot = std::move(share);
    m_openShot = std::move(open);
    if (!m_window)
        build();
    QList<KivaroTableRow *> rows;
    for (const RecentShot &shot : std::as_const(m_shots))
        rows << makeRow(shot);
    m_table->setRows(rows);
    m_window->makeKeyAndOrderFront();
}

void RecentShotsWindow::build()
{
    auto *window = new KivaroWindow(QRect(0, 0, 580, 480), KivaroWindow::Titled | KivaroWindow::Closable | KivaroWindow::Resizable);
    window->setTitle(kivaroCopy("最近截图 — 最多保留 20 张"));

    auto *table = new KivaroTableView(kRowHeight);
    connect(table, &KivaroTableView::rowDoubleClicked, this, [this](int) { openSelected(); });
    auto *scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBar(new KivaroScroller(Qt::Vertical));
    scroll->setWidgetResizable(true);
    scroll->setWidget(table);
    scroll->viewport()->setAutoFillBackground(false);

    auto *hint = new RecentShotCaption(kivaroCopy("双击继续编辑，点击分享发送标注后的 PNG。"), RecentShotCaption::Style::hint);
    auto *content = new QWidget;
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 16);
    column->setSpacing(12);
    column->addWidget(scroll, 1);
    auto *hintRow = new QHBoxLayout;
    hintRow->setContentsMargins(16, 0, 16, 0);
    hintRow->addWidget(hint);
    column->addLayout(hintRow);

    window->setContentView(content);
    window->setContentMinSize(QSize(560, 300));
    window->center();
    m_window = window;
    m_table = table;
}

KivaroTableRow *RecentShotsWindow::makeRow(const RecentShot &shot)
{
    auto *row = new KivaroTableRow;
    auto *cell = new QHBoxLayout(row);
    cell->setContentsMargins(12, 6, 12, 6);
    cell->setSpacing(16);
    cell->addWidget(new RecentShotPreview(shot.previewURL), 0, Qt::AlignVCenter);
    cell->addWidget(new RecentShotCaption(caption(shot), RecentShotCaption::Style::entry), 1);
    const QPointer<RecentShotsWindow> self(this);
    cell->addWidget(new ShareRowButton([self, shot](ShareRowButton *button) {
                        if (self && self->m_shareShot)
                            self->m_shareShot(shot, button);
                    }),
                    0, Qt::AlignVCenter);
    return row;
}

QList<KivaroTableRow *> RecentShotsWindow::rows() const
{
    return m_table ? m_table->rows() : QList<KivaroTableRow *>{};
}

int RecentShotsWindow::selectedRow() const
{
    return m_table ? m_table->selectedRow() : -1;
}

void RecentShotsWindow::selectRow(int row)
{
    if (m_table)
        m_table->selectRow(row);
}

void RecentShotsWindow::openSelected()
{
    const int row = selectedRow();
    if (row < 0 || row >= m_shots.size())
        return;
    const RecentShot shot = m_shots[row];
    if (m_openShot)
        m_openShot(shot);
    if (m_window)
        m_window->hide();
}

} // namespace Kivaro
